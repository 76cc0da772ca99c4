// Code page 932 (Shift-JIS) text helpers shared by every subsystem.
// The second byte of a double-byte character may be 0x5C ('\\') or 0x7C ('|'),
// so every search here steps character by character.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// A Windows path buffer: 259 bytes of text and the terminator.
constexpr std::size_t kPathBuffer = 260;
constexpr std::size_t kPathMaxText = kPathBuffer - 1;

// 1 for a CP932 lead byte (0x81-0x9F, 0xE0-0xFC), whatever the system code page.
int IsLeadByte(int c);

// Length in bytes of the character starting at s[i]: 2 for a lead byte followed by
// a non-NUL byte, else 1.
std::size_t CharLengthAt(std::string_view s, std::size_t i);

// First / last occurrence of a single-byte character, never matching a trail byte.
std::size_t FindCharMb(std::string_view s, char c, std::size_t from = 0);
std::size_t FindLastCharMb(std::string_view s, char c);

// Substring search that only starts a match at a character boundary.
std::size_t FindSubstrMb(std::string_view hay, std::string_view needle, std::size_t from = 0);

// Last byte '\\' and the byte before it not a lead byte.
bool EndsWithBackslash(std::string_view path);
std::string& AddBackslash(std::string& path);
std::string& StripBackslash(std::string& path);

// Single-byte A-Z and the double-byte capitals (full-width Latin, Greek, Cyrillic, Roman
// numerals), mapped as Windows maps them under code page 932.
unsigned LowerDoubleByte(unsigned code);
std::string LowerMb(std::string_view s);

// Copies src into a fixed buffer of `size` bytes the way the program's C buffers do:
// at most size-1 bytes, always terminated. Returns false when src was cut.
bool CopyTruncated(char* dst, std::size_t size, std::string_view src);
