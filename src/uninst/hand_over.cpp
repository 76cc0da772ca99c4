#include "uninst/hand_over.h"

#include <cstdlib>

namespace {

constexpr std::string_view kSwitch = "/handover";

std::string_view SkipBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}

}  // namespace

std::string FormatHandOverArguments(const HandOver& hand_over) {
  return std::string(kSwitch) + ' ' + std::to_string(hand_over.parent_id) + " \"" + hand_over.records_folder + '"';
}

bool ParseHandOverArguments(std::string_view arguments, HandOver* hand_over) {
  std::string_view rest = SkipBlanks(arguments);
  if (rest.substr(0, kSwitch.size()) != kSwitch) return false;
  rest.remove_prefix(kSwitch.size());
  if (rest.empty() || (rest.front() != ' ' && rest.front() != '\t')) return false;
  rest = SkipBlanks(rest);
  std::size_t digits = 0;
  while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
  if (digits == 0 || digits > 10) return false;
  const unsigned long long id = std::strtoull(std::string(rest.substr(0, digits)).c_str(), nullptr, 10);
  if (id > 0xFFFFFFFFull) return false;
  rest = rest.substr(digits);
  if (rest.empty() || (rest.front() != ' ' && rest.front() != '\t')) return false;
  rest = SkipBlanks(rest);
  // A path cannot hold a double quote, and '"' is never the second byte of a character.
  if (rest.size() < 2 || rest.front() != '"') return false;
  const std::size_t close = rest.find('"', 1);
  if (close == std::string_view::npos || close == 1 || !SkipBlanks(rest.substr(close + 1)).empty()) return false;
  hand_over->parent_id = static_cast<unsigned long>(id);
  hand_over->records_folder.assign(rest.substr(1, close - 1));
  return true;
}

std::string TemporaryCopyName(unsigned long id) { return "PvUnInst_" + std::to_string(id) + ".exe"; }

std::string SelfDeletingBatchText(std::string_view program, std::string_view batch, std::string_view folder,
                                  std::string_view pinger) {
  const std::string exe(program);
  std::string text;
  text += "@echo off\n";
  text += "set n=0\n";
  text += ":again\n";
  text += "del \"" + exe + "\" >nul 2>&1\n";
  text += "if not exist \"" + exe + "\" goto done\n";
  // About a second between tries, without a sleep command that old systems lack.
  text += "\"" + std::string(pinger) + "\" -n 2 127.0.0.1 >nul\n";
  text += "set /a n=n+1\n";
  text += "if %n% lss 60 goto again\n";
  text += ":done\n";
  text += "rmdir \"" + std::string(folder) + "\"\n";
  text += "del \"" + std::string(batch) + "\"\n";
  return text;
}
