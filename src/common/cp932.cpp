#include "common/cp932.h"

#include <cstring>

int IsLeadByte(int c) {
  const unsigned b = static_cast<unsigned>(c) & 0xFFu;
  return ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) ? 1 : 0;
}

std::size_t CharLengthAt(std::string_view s, std::size_t i) {
  if (IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() && s[i + 1] != '\0') return 2;
  return 1;
}

std::size_t FindCharMb(std::string_view s, char c, std::size_t from) {
  for (std::size_t i = from; i < s.size(); i += CharLengthAt(s, i)) {
    if (s[i] == c) return i;
  }
  return std::string_view::npos;
}

std::size_t FindLastCharMb(std::string_view s, char c) {
  std::size_t found = std::string_view::npos;
  for (std::size_t i = 0; i < s.size(); i += CharLengthAt(s, i)) {
    if (s[i] == c) found = i;
  }
  return found;
}

std::size_t FindSubstrMb(std::string_view hay, std::string_view needle, std::size_t from) {
  if (needle.empty()) return from <= hay.size() ? from : std::string_view::npos;
  for (std::size_t i = from; i < hay.size(); i += CharLengthAt(hay, i)) {
    if (hay.size() - i >= needle.size() && hay.compare(i, needle.size(), needle) == 0) return i;
  }
  return std::string_view::npos;
}

bool EndsWithBackslash(std::string_view path) {
  const std::size_t n = path.size();
  if (n == 0 || path[n - 1] != '\\') return false;
  return n == 1 || !IsLeadByte(static_cast<unsigned char>(path[n - 2]));
}

std::string& AddBackslash(std::string& path) {
  if (!EndsWithBackslash(path)) path.push_back('\\');
  return path;
}

std::string& StripBackslash(std::string& path) {
  if (EndsWithBackslash(path)) path.pop_back();
  return path;
}

unsigned LowerDoubleByte(unsigned code) {
  // Full-width Latin Ａ-Ｚ -> ａ-ｚ.
  if (code >= 0x8260 && code <= 0x8279) return code + 0x21;
  // Greek Α-Ω -> α-ω.
  if (code >= 0x839F && code <= 0x83B6) return code + 0x20;
  // Cyrillic А-Я -> а-я; the lower-case run skips the trail byte 0x7F.
  if (code >= 0x8440 && code <= 0x8460) {
    const unsigned i = code - 0x8440;
    return i < 15 ? 0x8470 + i : 0x8480 + (i - 15);
  }
  // Roman numerals Ⅰ-Ⅹ, in the NEC row and in the IBM extension, -> ⅰ-ⅹ (IBM extension,
  // the code the system converts the small numerals back to).
  if (code >= 0x8754 && code <= 0x875D) return 0xFA40 + (code - 0x8754);
  if (code >= 0xFA4A && code <= 0xFA53) return 0xFA40 + (code - 0xFA4A);
  return code;
}

std::string LowerMb(std::string_view s) {
  std::string out(s);
  for (std::size_t i = 0; i < out.size();) {
    const std::size_t len = CharLengthAt(out, i);
    if (len == 2) {
      const unsigned code = (static_cast<unsigned char>(out[i]) << 8) | static_cast<unsigned char>(out[i + 1]);
      const unsigned lower = LowerDoubleByte(code);
      out[i] = static_cast<char>(lower >> 8);
      out[i + 1] = static_cast<char>(lower & 0xFF);
    } else if (out[i] >= 'A' && out[i] <= 'Z') {
      out[i] = static_cast<char>(out[i] + ('a' - 'A'));
    }
    i += len;
  }
  return out;
}

bool CopyTruncated(char* dst, std::size_t size, std::string_view src) {
  if (size == 0) return src.empty();
  const std::size_t n = src.size() < size - 1 ? src.size() : size - 1;
  std::memcpy(dst, src.data(), n);
  dst[n] = '\0';
  return n == src.size();
}
