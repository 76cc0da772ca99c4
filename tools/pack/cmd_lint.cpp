// panvester-pack lint: what the program will make of an install.env, line by line.
#include <iostream>
#include <string>

#include "commands.h"
#include "lint.h"

void SetUpLint(CLI::App& app, int& exit_code) {
  auto* command = app.add_subcommand("lint", "Explain how the setup program reads an install.env");
  auto path = std::make_shared<std::string>();
  auto warnings_only = std::make_shared<bool>(false);
  command->add_option("file", *path, "the settings file (CP932)")->required();
  command->add_flag("-w,--warnings-only", *warnings_only, "print only warnings and errors");
  command->callback([path, warnings_only, &exit_code] {
    exit_code = LintSettingsFile(*path, std::cout, *warnings_only);
  });
}
