// panvester-pack: the distributor's tool that turns a game folder into a setup program.
#include <cstdio>
#include <filesystem>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "commands.h"
#include "platform.h"

namespace {

// The subcommands, in the order the help lists them.
constexpr CommandSetup kCommands[] = {SetUpBuild, SetUpExtract, SetUpImageCommand, SetUpLint, SetUpList, SetUpVerify};

CLI::Validator ExistenceCheck(bool folder) {
  return CLI::Validator(
      [folder](std::string& path) -> std::string {
        std::error_code ec;
        const std::filesystem::file_status status = std::filesystem::status(PathFromUtf8(path), ec);
        if (!std::filesystem::exists(status)) return (folder ? "Directory does not exist: " : "File does not exist: ") + path;
        if (std::filesystem::is_directory(status) != folder) {
          return (folder ? "Directory is actually a file: " : "File is actually a directory: ") + path;
        }
        return std::string();
      },
      folder ? "DIR" : "FILE");
}

}  // namespace

CLI::Validator ExistingFile() { return ExistenceCheck(false); }
CLI::Validator ExistingFolder() { return ExistenceCheck(true); }

int main(int argc, char** argv) {
  CLI::App app{"panvester-pack: packs a game folder into a Panvester setup program"};
  app.require_subcommand(1);
  int exit_code = 0;
  for (CommandSetup setup : kCommands) setup(app, exit_code);
  PrepareConsole();
  const std::vector<std::string> args = Utf8Arguments(argc, argv);
  std::vector<const char*> arg_pointers;
  for (const std::string& arg : args) arg_pointers.push_back(arg.c_str());
  // Running out of memory anywhere (a picture, a list, a compressed file) ends the command
  // with a message and exit code 1; `build` removes its partial output first.
  try {
    CLI11_PARSE(app, static_cast<int>(arg_pointers.size()), arg_pointers.data());
  } catch (const std::bad_alloc&) {
    std::fputs("panvester-pack: out of memory\n", stderr);
    return 1;
  }
  return exit_code;
}
