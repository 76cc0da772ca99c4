// The list of installed entries that the packer writes and UnInst.exe removes by.
#include "archive/install_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/archive_reader.h"

namespace {

bool operator==(const PlannedEntry& a, const PlannedEntry& b) { return a.name == b.name && a.folder == b.folder; }

TEST(InstallList, RoundTripInArchiveOrder) {
  // "ソ" and "表" end in 0x5C: a reader that split on bytes would see separators.
  std::vector<PlannedEntry> plan = {
      {"data\\ソース\\表.ks", false}, {"install.env", false}, {"data\\", false},
      {"data\\ソース\\", true},      {"UnInst.exe", false},  {"data\\", true},
  };
  plan.erase(plan.begin() + 2);  // a file and a folder of one name cannot both exist
  const std::string text = OrderWithInstallList(&plan);
  const std::vector<PlannedEntry> expected = {
      {"UnInst.exe", false}, {"UnInst.lst", false},     {"install.env", false},
      {"data\\", true},      {"data\\ソース\\", true}, {"data\\ソース\\表.ks", false},
  };
  ASSERT_EQ(plan.size(), expected.size());
  for (std::size_t i = 0; i < plan.size(); ++i) EXPECT_TRUE(plan[i] == expected[i]) << i << " " << plan[i].name;
  EXPECT_EQ(text.substr(0, 24), "PanvesterInstallList 1\r\n");
  EXPECT_NE(text.find("\r\nF UnInst.lst\r\n"), std::string::npos);

  std::vector<PlannedEntry> parsed;
  std::string error;
  ASSERT_TRUE(ParseInstallList(text, &parsed, &error)) << error;
  ASSERT_EQ(parsed.size(), plan.size());
  for (std::size_t i = 0; i < plan.size(); ++i) EXPECT_TRUE(parsed[i] == plan[i]) << i;

  // A second pass adds no second list; LF-only line ends and blank lines read the same.
  const std::string again = OrderWithInstallList(&plan);
  EXPECT_EQ(again, text);
  std::string lf;
  for (char c : text) {
    if (c != '\r') lf += c;
  }
  ASSERT_TRUE(ParseInstallList(lf + "\n\n", &parsed, &error)) << error;
  EXPECT_EQ(parsed.size(), plan.size());
}

TEST(InstallList, RefusesDamagedOrForeignLists) {
  const char* const rows[] = {
      "",
      "Hello\r\n",
      "PanvesterInstallList\r\n",
      "PanvesterInstallList 2\r\nF a.txt\r\n",
      "PanvesterInstallList 1x\r\n",
      "PanvesterInstallList 1\r\nX a.txt\r\n",
      "PanvesterInstallList 1\r\nFa.txt\r\n",
      "PanvesterInstallList 1\r\nF \r\n",
      "PanvesterInstallList 1\r\nF ..\\evil.dll\r\n",
      "PanvesterInstallList 1\r\nF C:\\Windows\\evil.dll\r\n",
      "PanvesterInstallList 1\r\nF \\Windows\\evil.dll\r\n",
      "PanvesterInstallList 1\r\nF data\\\r\n",
      "PanvesterInstallList 1\r\nD data\\..\\..\\\r\n",
      "PanvesterInstallList 1\r\nF nul\r\n",
  };
  for (const char* text : rows) {
    std::vector<PlannedEntry> entries;
    std::string error;
    EXPECT_FALSE(ParseInstallList(text, &entries, &error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
}

TEST(InstallList, NeverUnpackedAtStartUp) {
  // The start-up pass writes names holding a setup pattern into the work folder.
  EXPECT_FALSE(MatchesAnySetupPattern(kInstallListName));
  EXPECT_FALSE(MatchesAnySetupPattern(kUninstallerName));
}

}  // namespace
