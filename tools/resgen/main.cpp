// pv-resgen --icon OUT.ico --avi OUT.avi: writes the program icon and the copy animation.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "resgen/artwork.h"

namespace {

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "pv-resgen: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Draws the icon and the copy animation of Panvester.exe"};
  std::string icon_path, avi_path;
  app.add_option("--icon", icon_path, "icon file to write (.ico)");
  app.add_option("--avi", avi_path, "animation file to write (.avi)");
  CLI11_PARSE(app, argc, argv);
  if (icon_path.empty() && avi_path.empty()) {
    std::fprintf(stderr, "pv-resgen: nothing to write (give --icon and/or --avi)\n");
    return 2;
  }
  if (!icon_path.empty() && !WriteFile(icon_path, resgen::BuildProgramIcon())) return 1;
  if (!avi_path.empty() && !WriteFile(avi_path, resgen::BuildRleAvi(resgen::BuildCopyAnimation()))) {
    return 1;
  }
  return 0;
}
