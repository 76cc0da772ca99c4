#include "lint_rules.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <vector>

#include "pack_common.h"

namespace {

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t up = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = up;
    }
  }
  return row[b.size()];
}

// The value as a UTF-8 terminal shows it.
std::string Quoted(const std::string& cp932) { return "\"" + Cp932ToUtf8(cp932) + "\""; }

std::string CutToBuffer(const SettingKey& key, const std::string& value) {
  // A number has no buffer; it is held to the text keys' length all the same, since no longer
  // value is a number the program takes as written.
  const std::size_t limit = key.buffer == 0 ? kSettingBuffer - 1 : key.Limit();
  if (value.size() <= limit) return "";
  return std::string(key.name) + " is " + std::to_string(value.size()) + " bytes long; the program uses the first " +
         std::to_string(limit);
}

std::string NotANumber(const SettingKey& key, const std::string& value) {
  const int number = std::atoi(value.c_str());
  if (value == std::to_string(number)) return "";
  return std::string(key.name) + " " + Quoted(value) + " reads as " + std::to_string(number);
}

// The single-instance check names a kernel object after the title, and a backslash there
// means a namespace; a double-byte character's 0x5C trail byte does not count.
std::string BackslashInTitle(const SettingKey& key, const std::string& value) {
  if (FindCharMb(value, '\\') == std::string::npos) return "";
  return std::string(key.name) +
         " contains \"\\\": the single-instance check cannot use such a title, and the setup program stops at "
         "start-up";
}

using ValueCheck = std::string (*)(const SettingKey& key, const std::string& value);

struct KindChecks {
  SettingKind kind;
  std::vector<ValueCheck> checks;
};

// What is checked in a value of each kind of key, in this order. A stand-in (HELP_FILE, in a
// path buffer of its own) has no check.
const KindChecks kKindChecks[] = {
    {SettingKind::kText, {CutToBuffer}},
    {SettingKind::kTitle, {CutToBuffer, BackslashInTitle}},
    {SettingKind::kNumber, {CutToBuffer, NotANumber}},
    {SettingKind::kStandIn, {}},
};

}  // namespace

std::string LookAlike(const std::string& key, bool* case_only) {
  *case_only = false;
  if (key.size() < 4) return "";
  const std::string upper = Upper(key);
  std::string best;
  std::size_t best_distance = 3;
  for (const SettingKey& row : kSettingKeys) {
    const std::string known = row.name;
    if (upper == known) {
      *case_only = true;
      return known;
    }
    const std::size_t limit = known.size() <= 6 ? 1 : 2;
    const std::size_t distance = EditDistance(upper, known);
    if (distance <= limit && distance < best_distance) {
      best = known;
      best_distance = distance;
    }
  }
  return best;
}

std::vector<std::string> ValueWarnings(const SettingKey& key, const std::string& value) {
  std::vector<std::string> warnings;
  for (const KindChecks& kind : kKindChecks) {
    if (kind.kind != key.kind) continue;
    for (ValueCheck check : kind.checks) {
      std::string warning = check(key, value);
      if (!warning.empty()) warnings.push_back(std::move(warning));
    }
  }
  return warnings;
}
