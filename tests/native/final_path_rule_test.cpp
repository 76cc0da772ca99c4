// Whether a handle's final path and volume show it holds the path that was opened.
#include "system/final_path_rule.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

HandleFacts Facts(std::u16string final_path, std::uint32_t handle_volume = 7, std::uint32_t root_volume = 7) {
  HandleFacts facts;
  facts.final_path_known = true;
  facts.final_path = std::move(final_path);
  facts.volumes_known = true;
  facts.handle_volume = handle_volume;
  facts.root_volume = root_volume;
  return facts;
}

TEST(FinalPathRule, WhenAHandleHoldsThePathAsked) {
  const std::u16string asked = u"C:\\Games\\Game\\save.dat";
  HandleFacts missing;
  HandleFacts volumes_unknown = Facts(u"\\\\?\\C:\\Games\\Game\\save.dat");
  volumes_unknown.volumes_known = false;
  const struct {
    const char* what;
    std::u16string path;
    HandleFacts facts;
    bool at;
  } rows[] = {
      {"no final path", asked, missing, false},
      {"same", asked, Facts(u"\\\\?\\C:\\Games\\Game\\save.dat"), true},
      {"same, no prefix", asked, Facts(u"C:\\Games\\Game\\save.dat"), true},
      {"letter case", asked, Facts(u"\\\\?\\c:\\GAMES\\game\\SAVE.DAT"), true},
      {"full-width and Greek case", u"C:\\Ｇａｍｅ\\α.dat", Facts(u"\\\\?\\C:\\ＧＡＭＥ\\Α.dat"), true},
      {"different path", asked, Facts(u"\\\\?\\C:\\Windows\\win.ini"), false},
      {"a longer path", asked, Facts(u"\\\\?\\C:\\Games\\Game\\save.dat\\x"), false},
      {"different volume", asked, Facts(u"\\\\?\\C:\\Games\\Game\\save.dat", 7, 9), false},
      {"volumes unknown", asked, volumes_unknown, true},
      {"share", u"\\\\server\\share\\x.dat", Facts(u"\\\\?\\UNC\\server\\share\\x.dat"), true},
      {"share, another server", u"\\\\server\\share\\x.dat", Facts(u"\\\\?\\UNC\\other\\share\\x.dat"), false},
      {"share taken for a drive", u"\\\\server\\share\\x.dat", Facts(u"\\\\?\\server\\share\\x.dat"), false},
      {"nothing asked", u"", Facts(u""), false},
  };
  for (const auto& row : rows) EXPECT_EQ(HandleIsAtPath(row.path, row.facts), row.at) << row.what;
}

TEST(FinalPathRule, TheRootWhoseVolumeCounts) {
  const std::vector<std::pair<std::u16string, std::u16string>> rows = {
      {u"C:\\Games\\x.dat", u"C:\\"},
      {u"d:\\x", u"d:\\"},
      {u"\\\\server\\share\\x.dat", u"\\\\server\\share\\"},
      {u"\\\\server\\share", u"\\\\server\\share\\"},
      {u"C:x.dat", u""},
      {u"\\x.dat", u""},
      {u"\\\\?\\C:\\x.dat", u""},
      {u"\\\\server", u""},
      {u"\\\\server\\\\x", u""},
  };
  for (const auto& [path, root] : rows) EXPECT_TRUE(PathRoot(path) == root) << std::string(path.begin(), path.end());
}

}  // namespace
