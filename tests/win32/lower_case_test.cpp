// The core's CP932 lower-casing table against the system's own letter-case mapping, over
// every double-byte code: the setup-file test must agree with what Windows would say.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "common/cp932.h"

namespace {

TEST(LowerCase, TableAgreesWithTheSystemForEveryDoubleByteCharacter) {
  ASSERT_EQ(GetACP(), 932u);
  int compared = 0, changed = 0;
  for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
    if (!IsLeadByte(static_cast<int>(lead))) continue;
    for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
      if (trail == 0x7F) continue;
      const char bytes[3] = {static_cast<char>(lead), static_cast<char>(trail), 0};
      wchar_t wide[4] = {};
      if (MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes, 2, wide, 4) != 1) continue;  // unassigned
      ++compared;
      wchar_t lower[2] = {wide[0], 0};
      CharLowerBuffW(lower, 1);
      const unsigned code = (lead << 8) | trail;
      if (lower[0] == wide[0]) {
        EXPECT_EQ(LowerDoubleByte(code), code) << std::hex << code;
        continue;
      }
      ++changed;
      char expected[4] = {};
      ASSERT_EQ(WideCharToMultiByte(932, 0, lower, 1, expected, sizeof expected, nullptr, nullptr), 2);
      const unsigned expected_code = (static_cast<unsigned char>(expected[0]) << 8) | static_cast<unsigned char>(expected[1]);
      EXPECT_EQ(LowerDoubleByte(code), expected_code) << std::hex << code;
    }
  }
  EXPECT_GT(compared, 7000);
  EXPECT_GT(changed, 80);  // Latin, Greek and Cyrillic capitals at least
}

TEST(LowerCase, SingleBytesMatchTheSystemForLettersOnly) {
  for (int c = 1; c < 0x80; ++c) {
    char system[2] = {static_cast<char>(c), 0};
    CharLowerBuffA(system, 1);
    EXPECT_EQ(LowerMb(std::string(1, static_cast<char>(c))), std::string(system)) << c;
  }
}

}  // namespace
