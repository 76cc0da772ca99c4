// The [ini] editor against what the system's profile functions write on a Japanese system
// (checked under Wine), and where it keeps the lines they would reformat.
#include "system/ini_editor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct SetRow {
  const char* label;
  std::string before;
  const char* section;
  const char* key;
  const char* value;
  std::string after;
};

TEST(SetIniEntry, WritesWhatTheProfileFunctionsWrite) {
  const std::string game = "[Install]\r\nPath=C:\\Games\r\n";
  const std::vector<SetRow> rows = {
      {"new file", "", "Install", "Path", "C:\\Games", game},
      {"key added at the end of its section", game, "Install", "Data", "D",
       "[Install]\r\nPath=C:\\Games\r\nData=D\r\n"},
      {"new section appended, no blank line", game, "Other", "K", "v", game + "[Other]\r\nK=v\r\n"},
      {"value replaced in place", game + "[Other]\r\nK=v\r\n", "Install", "Path", "C:\\Longer\\Path",
       "[Install]\r\nPath=C:\\Longer\\Path\r\n[Other]\r\nK=v\r\n"},
      {"names match in any case; the file keeps its spelling", game, "iNSTALL", "PATH", "X",
       "[Install]\r\nPath=X\r\n"},
      {"empty value", game, "Install", "Path", "", "[Install]\r\nPath=\r\n"},
      {"blanks before the value go, after it stay", game, "Install", "Lead", "  lead  ",
       game + "Lead=lead  \r\n"},
      {"blanks around names go", game, " Install ", " Sp ", "v", game + "Sp=v\r\n"},
      {"a value holding '='", game, "Install", "Expr", "a=b", game + "Expr=a=b\r\n"},
      {"the same value leaves the file alone", "[A]\r\nk = v  \r\n", "A", "k", "v", "[A]\r\nk = v  \r\n"},
      {"an entry written with blanks is matched", "[A]\r\n  k = v\r\n", "A", "k", "2", "[A]\r\nk=2\r\n"},
      {"a file without a final line end", "[A]\r\nk=v", "A", "n", "1", "[A]\r\nk=v\r\nn=1\r\n"},
      {"a section after a file without a final line end", "[A]\r\nk=v", "B", "n", "1",
       "[A]\r\nk=v\r\n[B]\r\nn=1\r\n"},
      {"inserted before the next section", "[A]\r\nk=v\r\n[B]\r\nx=1\r\n", "A", "n", "1",
       "[A]\r\nk=v\r\nn=1\r\n[B]\r\nx=1\r\n"},
      {"the first of two equal sections", "[A]\r\nx=1\r\n[B]\r\n[A]\r\ny=2\r\n", "A", "z", "3",
       "[A]\r\nx=1\r\nz=3\r\n[B]\r\n[A]\r\ny=2\r\n"},
      {"keys above any section are not the section's", "top=1\r\n[A]\r\nk=v\r\n", "A", "top", "2",
       "top=1\r\n[A]\r\nk=v\r\ntop=2\r\n"},
      {"text after the header's bracket", "[A] old\r\nk=v\r\n", "A", "n", "1", "[A] old\r\nk=v\r\nn=1\r\n"},
      {"an empty section", "[A]\r\n[B]\r\n", "A", "n", "1", "[A]\r\nn=1\r\n[B]\r\n"},
      // Trail bytes 0x5C and 0x5D: "ソ表" is 83 5C 95 5C, "評" is 95 5D.
      {"double-byte names and values", "", "ソ表", "能", "十\\ソ", "[ソ表]\r\n能=十\\ソ\r\n"},
      {"double-byte section found again", "[ソ表]\r\n能=1\r\n", "ソ表", "十", "2", "[ソ表]\r\n能=1\r\n十=2\r\n"},
      {"a trail byte 0x5D is not the bracket", "[A]評\r\nk=v\r\n", "A", "n", "1", "[A]評\r\nk=v\r\nn=1\r\n"},
      {"full-width capitals match their small forms", "[ＡＢ]\r\nＫ=1\r\n", "ａｂ", "ｋ", "2", "[ＡＢ]\r\nＫ=2\r\n"},
      // Lines the profile functions would rewrite are left: blank lines, comments, spacing.
      {"blank lines and comments stay", "[A]\r\nk = v\r\n\r\n; note\r\n\r\n[B]\r\nx=1\r\n", "A", "n", "1",
       "[A]\r\nk = v\r\n\r\n; note\r\nn=1\r\n\r\n[B]\r\nx=1\r\n"},
      {"a blank line before the next section stays", "[A]\r\nk=v\r\n\r\n[B]\r\n", "A", "n", "1",
       "[A]\r\nk=v\r\nn=1\r\n\r\n[B]\r\n"},
      {"LF line ends stay, new lines get CR LF", "[A]\nk=v\n", "A", "n", "1", "[A]\nk=v\nn=1\r\n"},
  };
  for (const SetRow& row : rows) {
    EXPECT_EQ(SetIniEntry(row.before, row.section, row.key, row.value), row.after) << row.label;
  }
}

struct RemoveRow {
  const char* label;
  std::string before;
  const char* section;
  const char* key;
  std::string after;
};

TEST(RemoveIniEntry, TakesTheKeyAndAnEmptiedSection) {
  const std::vector<RemoveRow> rows = {
      {"the only key takes its section", "[A]\r\nk=v\r\n", "A", "K", ""},
      {"another key keeps it", "[A]\r\nk=v\r\nm=w\r\n", "a", "k", "[A]\r\nm=w\r\n"},
      {"the emptied section goes with its blank lines", "[A]\r\nk=v\r\n\r\n[B]\r\nx=1\r\n", "A", "k",
       "[B]\r\nx=1\r\n"},
      {"the last section goes, the one before stays", "[A]\r\nk=v\r\n[B]\r\nx=1\r\n", "B", "x", "[A]\r\nk=v\r\n"},
      {"a comment keeps the section", "[A]\r\n; note\r\nk=v\r\n", "A", "k", "[A]\r\n; note\r\n"},
      {"a missing key changes nothing", "[A]\r\nk=v\r\n", "A", "n", "[A]\r\nk=v\r\n"},
      {"a missing section changes nothing", "[A]\r\nk=v\r\n", "B", "k", "[A]\r\nk=v\r\n"},
      {"another section's key stays", "[B]\r\nk=1\r\n[A]\r\nk=v\r\n", "A", "k", "[B]\r\nk=1\r\n"},
      {"double-byte key", "[ソ表]\r\n能=1\r\n十=2\r\n", "ソ表", "能", "[ソ表]\r\n十=2\r\n"},
      {"without a final line end", "[A]\r\nm=w\r\nk=v", "A", "k", "[A]\r\nm=w\r\n"},
  };
  for (const RemoveRow& row : rows) {
    EXPECT_EQ(RemoveIniEntry(row.before, row.section, row.key), row.after) << row.label;
  }
}

TEST(IniText, BlankAndUtf16Files) {
  EXPECT_TRUE(IsBlankIniText(""));
  EXPECT_TRUE(IsBlankIniText(" \r\n\t\n"));
  EXPECT_FALSE(IsBlankIniText("\r\n[A]\r\n"));
  EXPECT_TRUE(IsByteIniText("[A]\r\n"));
  EXPECT_TRUE(IsByteIniText("\xEF\xBB\xBF[A]"));
  EXPECT_FALSE(IsByteIniText(std::string("\xFF\xFE[\0", 4)));
  EXPECT_FALSE(IsByteIniText(std::string("\xFE\xFF\0[", 4)));
}

}  // namespace
