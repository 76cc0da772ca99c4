// The checks and conversions that `build` runs over a distribution before packing it:
// install.env is read the way the program will read it, and a title picture given as PNG
// is converted to the program's own format.
#include "build_steps.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "common/cp932.h"
#include "common/setup_names.h"
#include "image_convert.h"
#include "lint.h"
#include "pack_common.h"

namespace {

PackEntry* TopLevel(PackTree& tree, const char* lower_name) {
  for (PackEntry& entry : tree.entries) {
    if (!entry.folder && LowerMb(entry.name) == lower_name) return &entry;
  }
  return nullptr;
}

}  // namespace

bool LintStep(PackTree& tree, std::string* error) {
  PackEntry* env = TopLevel(tree, kSettingsFileName);
  if (!env || env->source_path.empty()) return true;
  std::ostringstream report;
  const int result = LintSettingsFile(env->source_path, report, true);
  std::istringstream lines(report.str());
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty()) tree.warnings.push_back(line);
  }
  if (result != 0) {
    *error = "install.env would stop the setup program at start-up (see the messages above; "
             "`panvester-pack lint` explains every line)";
    for (const std::string& warning : tree.warnings) *error = warning + "\n" + *error;
    tree.warnings.clear();
    return false;
  }
  return true;
}

// insttscr.png stands in for insttscr.rct when the distribution has no picture of the
// program's own format; the PNG itself is a source and is not shipped.
bool TitlePictureStep(PackTree& tree, std::string* error) {
  if (TopLevel(tree, kTitlePictureName)) return true;
  PackEntry* png = TopLevel(tree, "insttscr.png");
  if (!png) return true;
  std::vector<unsigned char> bytes;
  std::string why;
  if (!ConvertPngToTitleImage(png->source_path, &bytes, &why)) {
    *error = png->display + ": " + why;
    return false;
  }
  PackEntry picture;
  picture.name = kTitlePictureName;
  picture.display = kTitlePictureName;
  picture.filetime = png->filetime;
  picture.size = bytes.size();
  picture.data = std::move(bytes);
  tree.warnings.push_back(png->display + ": converted to insttscr.rct (" + std::to_string(picture.size) +
                          " bytes); the PNG itself is not packed");
  tree.entries.erase(std::find_if(tree.entries.begin(), tree.entries.end(),
                                  [](const PackEntry& e) { return LowerMb(e.name) == "insttscr.png"; }));
  tree.entries.push_back(std::move(picture));
  return true;
}
