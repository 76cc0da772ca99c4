// The key table against the accessors that read it and against docs/install-env.md, the
// distributor's reference: a key, default or limit changed on one side shows here.
#include "settings/setting_keys.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform.h"  // ConvertCp932ToUtf8, from the pack tool's platform layer
#include "settings/resource_opener.h"
#include "settings/section_lists.h"
#include "settings/setting_list.h"
#include "settings_fixture.h"

namespace {

// The table's texts are CP932 in this binary, the document is UTF-8.
std::string Utf8(const std::string& cp932) {
  std::string utf8;
  EXPECT_EQ(ConvertCp932ToUtf8(cp932, &utf8), std::string::npos) << cp932;
  return utf8;
}

std::string ReadSourceFile(const std::string& relative) {
  std::ifstream in(std::string(PV_SOURCE_DIR) + "/" + relative, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The text between a line `heading` and the next line starting with `until`.
std::string Part(const std::string& doc, const std::string& heading, const std::string& until) {
  const std::size_t start = doc.find("\n" + heading + "\n");
  if (start == std::string::npos) return "";
  const std::size_t body = start + heading.size() + 2;
  return doc.substr(body, doc.find("\n" + until, body) - body);
}

// The rows of the document's key table: the key and its other cells.
std::map<std::string, std::vector<std::string>> DocumentedKeys(const std::string& doc) {
  std::map<std::string, std::vector<std::string>> rows;
  std::istringstream lines(Part(doc, "## Keys", "## "));
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("| `", 0) != 0) continue;
    std::vector<std::string> cells;
    for (std::size_t at = 2; at < line.size();) {
      const std::size_t end = line.find(" | ", at);
      cells.push_back(line.substr(at, end == std::string::npos ? line.size() - at - 2 : end - at));
      at = end == std::string::npos ? line.size() : end + 3;
    }
    const std::string key = cells.front().substr(1, cells.front().size() - 2);
    EXPECT_TRUE(rows.emplace(key, std::vector<std::string>(cells.begin() + 1, cells.end())).second) << key;
  }
  return rows;
}

TEST(SettingKeyTable, TheDistributorsReferenceShowsEveryRow) {
  const std::string doc = ReadSourceFile("docs/install-env.md");
  const auto documented = DocumentedKeys(doc);
  for (const SettingKey& key : kSettingKeys) {
    const auto row = documented.find(key.name);
    ASSERT_NE(row, documented.end()) << key.name << " is not in the document's key table";
    const std::string fallback = key.fallback[0] ? "`" + Utf8(key.fallback) + "`" : "(none)";
    const std::string limit = key.buffer ? std::to_string(key.Limit()) + " bytes" : "a number";
    EXPECT_EQ(row->second, (std::vector<std::string>{fallback, limit, Utf8(key.meaning)})) << key.name;
  }
  for (const auto& row : documented) EXPECT_NE(FindSettingKey(row.first), nullptr) << row.first << " is no key";
  EXPECT_NE(doc.find(Utf8(kReadmeShortcutFallback)), std::string::npos);
  for (Section section : {kSectionDelFiles, kSectionDelFilesUser, kSectionIni, kSectionReg}) {
    EXPECT_NE(doc.find(std::string("| `[") + SectionName(section) + "]` |"), std::string::npos) << SectionName(section);
  }

  // The worked example is the sample that `./build.sh run` installs.
  std::string sample = Utf8(ReadSourceFile("examples/sample/install.env"));
  for (std::size_t cr; (cr = sample.find('\r')) != std::string::npos;) sample.erase(cr, 1);
  EXPECT_EQ(Part(Part(doc, "## Worked example", "## "), "```", "```") + "\n", sample);
}

class SettingKeyAccessors : public LoadedSettingsTest {
 protected:
  void Load(const std::string& text) {
    ResetSettingsForTesting();
    LoadedSettingsTest::Load(text);
  }
};

TEST_F(SettingKeyAccessors, GiveTheRowsDefaultAndLimit) {
  struct Accessor {
    const SettingKey& key;
    const char* (*get)();
  };
  const Accessor accessors[] = {{kRegGlobalKey, SettingRegGlobal}, {kRegLocalKey, SettingRegLocal},
                                {kIniFileKey, SettingIniFile},     {kIniSectionKey, SettingIniSection},
                                {kTitleBarKey, SettingTitleBar},   {kInstGroupKey, SettingInstGroup},
                                {kInstToKey, SettingInstTo},       {kInstFolKey, SettingInstFol},
                                {kExeNameKey, SettingExeName}};
  Load("");
  for (const Accessor& a : accessors) {
    if (a.key.fallback[0] == '\0') {
      EXPECT_EQ(a.get(), nullptr) << a.key.name;
    } else {
      EXPECT_STREQ(a.get(), a.key.fallback) << a.key.name;
    }
  }
  EXPECT_EQ(SettingInstMakeFol(), std::atoi(kInstMakeFolKey.fallback));

  std::string file;
  for (const Accessor& a : accessors) file += std::string(a.key.name) + " " + std::string(300, 'v') + "\n";
  Load(file);
  for (const Accessor& a : accessors) EXPECT_EQ(std::strlen(a.get()), a.key.Limit()) << a.key.name;
}

}  // namespace
