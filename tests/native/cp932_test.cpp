#include "common/cp932.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// "ソ" (83 5C) and "表" (95 5C) end in a byte that looks like a backslash.
const std::string kSo = "\x83\x5C";
const std::string kHyo = "\x95\x5C";

TEST(Cp932, LeadByteTableIgnoresHigherBitsAndCoversBothRanges) {
  struct Row { int value; int lead; };
  const Row rows[] = {{0x80, 0}, {0x81, 1}, {0x9F, 1}, {0xA0, 0}, {0xDF, 0}, {0xE0, 1},
                      {0xFC, 1}, {0xFD, 0}, {0x5C, 0}, {0x181, 1}, {-127, 1} /* 0x...81 */};
  for (const Row& row : rows) EXPECT_EQ(IsLeadByte(row.value), row.lead) << std::hex << row.value;
}

TEST(Cp932, SearchesNeverMatchATrailByte) {
  const std::string path = "C:\\" + kSo + "\\" + kHyo + "x";
  EXPECT_EQ(FindCharMb(path, '\\'), 2u);
  EXPECT_EQ(FindCharMb(path, '\\', 3), 5u);
  EXPECT_EQ(FindLastCharMb(path, '\\'), 5u);
  EXPECT_EQ(FindLastCharMb(kSo + kHyo, '\\'), std::string::npos);
  // A pipe as trail byte (e.g. 0x83 0x7C) is not a pipe.
  EXPECT_EQ(FindCharMb("\x83\x7C", '|'), std::string::npos);
  // A lead byte at the very end stands alone and does not swallow the terminator.
  EXPECT_EQ(FindCharMb(std::string("a\x83"), '\x83'), 1u);
}

TEST(Cp932, SubstringSearchStartsOnlyAtCharacterBoundaries) {
  // "\x83\x5C" followed by "ab": the needle "\x5C" "ab" must not match from the trail byte.
  const std::string hay = kSo + "ab\\ab";
  EXPECT_EQ(FindSubstrMb(hay, "\\ab"), 4u);
  EXPECT_EQ(FindSubstrMb("readme.TXT.bak", ".TXT"), 6u);
  EXPECT_EQ(FindSubstrMb("abc", "abcd"), std::string::npos);
  EXPECT_EQ(FindSubstrMb("abc", ""), 0u);
}

TEST(Cp932, BackslashHelpersRespectLeadBytes) {
  struct Row { std::string in; bool ends; std::string added; std::string stripped; };
  const Row rows[] = {
      {"", false, "\\", ""},
      {"C:", false, "C:\\", "C:"},
      {"C:\\", true, "C:\\", "C:"},
      {"D:\\Games\\", true, "D:\\Games\\", "D:\\Games"},
      {"D:\\" + kSo, false, "D:\\" + kSo + "\\", "D:\\" + kSo},
      {"D:\\" + kSo + "\\", true, "D:\\" + kSo + "\\", "D:\\" + kSo},
      {"\\", true, "\\", ""},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(EndsWithBackslash(row.in), row.ends) << row.in;
    std::string a = row.in;
    EXPECT_EQ(AddBackslash(a), row.added);
    std::string s = row.in;
    EXPECT_EQ(StripBackslash(s), row.stripped);
  }
}

TEST(Cp932, LowerCaseMapsAsciiAndFullWidthCapitalsOnly) {
  // "ＡＺ" full-width -> "ａｚ"; Greek Α/Ω; Cyrillic А, Н (before the 0x7F gap) and Я (after it).
  EXPECT_EQ(LowerMb("ReadMe.TXT"), "readme.txt");
  EXPECT_EQ(LowerMb("\x82\x60\x82\x79"), "\x82\x81\x82\x9A");
  EXPECT_EQ(LowerMb("\x83\x9F\x83\xB6"), "\x83\xBF\x83\xD6");
  EXPECT_EQ(LowerMb("\x84\x40\x84\x4E\x84\x4F\x84\x60"), "\x84\x70\x84\x7E\x84\x80\x84\x91");
  // Roman numeral Ⅰ from either row becomes ⅰ of the IBM row; the small ones stay.
  EXPECT_EQ(LowerMb("\x87\x54\xFA\x53\xFA\x40"), "\xFA\x40\xFA\x49\xFA\x40");
  // The trail byte 0x41..0x5A of a double-byte character is not an ASCII capital.
  EXPECT_EQ(LowerMb("\x83\x41"), "\x83\x41");
  // Half-width katakana and a dangling lead byte stay as they are.
  EXPECT_EQ(LowerMb("\xB1Z\x83"), "\xB1z\x83");
}

TEST(Cp932, CopyTruncatedAlwaysTerminates) {
  char buffer[4];
  EXPECT_TRUE(CopyTruncated(buffer, sizeof buffer, "abc"));
  EXPECT_STREQ(buffer, "abc");
  EXPECT_FALSE(CopyTruncated(buffer, sizeof buffer, "abcdef"));
  EXPECT_STREQ(buffer, "abc");
}

}  // namespace
