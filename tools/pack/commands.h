// panvester-pack subcommands register themselves here, one file each (cmd_<name>.cpp):
//   static const bool registered = RegisterCommand(&SetUpMyCommand);
// The setup function adds its CLI11 subcommand and a callback that sets the exit code.
#pragma once

#include <CLI/CLI.hpp>

using CommandSetup = void (*)(CLI::App& app, int& exit_code);

bool RegisterCommand(CommandSetup setup);

// Existence checks for path arguments, which are UTF-8: CLI11's own hand the bytes to the
// system unchanged, which Windows reads in the ANSI code page.
CLI::Validator ExistingFile();
CLI::Validator ExistingFolder();
