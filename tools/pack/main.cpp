// panvester-pack: the distributor's tool that turns a game folder into a setup program.
#include <cstdio>
#include <vector>

#include "commands.h"

namespace {

std::vector<CommandSetup>& Commands() {
  static std::vector<CommandSetup> commands;
  return commands;
}

}  // namespace

bool RegisterCommand(CommandSetup setup) {
  Commands().push_back(setup);
  return true;
}

int main(int argc, char** argv) {
  CLI::App app{"panvester-pack: packs a game folder into a Panvester setup program"};
  app.require_subcommand(1);
  int exit_code = 0;
  for (CommandSetup setup : Commands()) setup(app, exit_code);
  CLI11_PARSE(app, argc, argv);
  return exit_code;
}
