#include "system/final_path_rule.h"

namespace {

// Upper case as the file system compares names, for the letters a CP932 path can hold (Latin,
// Greek, Cyrillic, full-width Latin); any other difference counts, which only ever refuses.
char16_t Upper(char16_t c) {
  if ((c >= u'a' && c <= u'z') || (c >= 0x00E0 && c <= 0x00FE && c != 0x00F7) ||
      (c >= 0x03B1 && c <= 0x03C9 && c != 0x03C2) || (c >= 0x0430 && c <= 0x044F) ||
      (c >= 0xFF41 && c <= 0xFF5A)) {
    return static_cast<char16_t>(c - 0x20);
  }
  if (c >= 0x0450 && c <= 0x045F) return static_cast<char16_t>(c - 0x50);
  return c;
}

bool SameNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Upper(a[i]) != Upper(b[i])) return false;
  }
  return true;
}

// The final path without the prefix the system puts in front of it.
std::u16string_view WithoutPrefix(std::u16string_view path, std::u16string* unc) {
  constexpr std::u16string_view kUnc = u"\\\\?\\UNC\\";
  constexpr std::u16string_view kLong = u"\\\\?\\";
  if (path.substr(0, kUnc.size()) == kUnc) {
    *unc = u"\\\\";
    unc->append(path.substr(kUnc.size()));
    return *unc;
  }
  if (path.substr(0, kLong.size()) == kLong) return path.substr(kLong.size());
  return path;
}

}  // namespace

bool HandleIsAtPath(std::u16string_view path, const HandleFacts& facts) {
  if (!facts.final_path_known || path.empty()) return false;
  std::u16string unc;
  if (!SameNoCase(WithoutPrefix(facts.final_path, &unc), path)) return false;
  return !facts.volumes_known || facts.handle_volume == facts.root_volume;
}

std::u16string PathRoot(std::u16string_view path) {
  const auto letter = [](char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); };
  if (path.size() >= 3 && letter(path[0]) && path[1] == u':' && path[2] == u'\\') {
    return std::u16string(path.substr(0, 3));
  }
  if (path.size() < 3 || path.substr(0, 2) != u"\\\\" || path[2] == u'\\' || path[2] == u'?' || path[2] == u'.') {
    return std::u16string();
  }
  const std::size_t server = path.find(u'\\', 2);
  if (server == std::u16string_view::npos || server + 1 >= path.size() || path[server + 1] == u'\\') {
    return std::u16string();
  }
  const std::size_t share = path.find(u'\\', server + 1);
  std::u16string root(path.substr(0, share));
  return root + u'\\';
}
