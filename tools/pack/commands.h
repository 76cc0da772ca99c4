// panvester-pack subcommands, one file each (cmd_<name>.cpp), listed in main.cpp. A setup
// function adds its CLI11 subcommand and a callback that sets the exit code.
#pragma once

#include <CLI/CLI.hpp>

using CommandSetup = void (*)(CLI::App& app, int& exit_code);

void SetUpBuild(CLI::App& app, int& exit_code);
void SetUpExtract(CLI::App& app, int& exit_code);
void SetUpImageCommand(CLI::App& app, int& exit_code);
void SetUpLint(CLI::App& app, int& exit_code);
void SetUpList(CLI::App& app, int& exit_code);
void SetUpVerify(CLI::App& app, int& exit_code);

// Existence checks for path arguments, which are UTF-8: CLI11's own hand the bytes to the
// system unchanged, which Windows reads in the ANSI code page.
CLI::Validator ExistingFile();
CLI::Validator ExistingFolder();
