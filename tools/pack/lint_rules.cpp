#include "lint_rules.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>
#include <vector>

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

}  // namespace

bool IsKnownKey(const std::string& key) {
  return std::any_of(std::begin(kKnownKeys), std::end(kKnownKeys), [&](const char* k) { return key == k; });
}

std::string LookAlike(const std::string& key, bool* case_only) {
  *case_only = false;
  if (key.size() < 4) return "";
  const std::string upper = Upper(key);
  std::string best;
  std::size_t best_distance = 3;
  for (const char* known : kKnownKeys) {
    if (upper == known) {
      *case_only = true;
      return known;
    }
    const std::size_t limit = std::strlen(known) <= 6 ? 1 : 2;
    const std::size_t distance = EditDistance(upper, known);
    if (distance <= limit && distance < best_distance) {
      best = known;
      best_distance = distance;
    }
  }
  return best;
}

