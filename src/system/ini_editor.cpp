#include "system/ini_editor.h"

#include <vector>

#include "common/cp932.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Blank bytes are never trail bytes (those start at 0x40), so trimming is byte-wise.
std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

std::string_view Trim(std::string_view s) {
  s = TrimLeft(s);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

enum class LineKind { kBlank, kHeader, kEntry };

struct Line {
  std::size_t begin = 0;     // first byte
  std::size_t text_end = 0;  // where its line end starts
  std::size_t end = 0;       // after its line end
  LineKind kind = LineKind::kBlank;
  std::string_view name;     // section or key name, trimmed
  std::string_view value;    // after the first '=', trimmed; entries only
  bool has_value = false;
};

Line ParseLine(std::string_view file, std::size_t begin) {
  Line line;
  line.begin = begin;
  const std::size_t newline = file.find('\n', begin);
  line.end = newline == std::string_view::npos ? file.size() : newline + 1;
  line.text_end = newline == std::string_view::npos ? file.size() : newline;
  if (line.text_end > begin && newline != std::string_view::npos && file[line.text_end - 1] == '\r') --line.text_end;
  const std::string_view text = Trim(file.substr(begin, line.text_end - begin));
  if (text.empty()) return line;
  // The name ends at the last ']' (a 0x5D trail byte is not one).
  const std::size_t close = FindLastCharMb(text, ']');
  if (text.front() == '[' && close != std::string_view::npos) {
    line.kind = LineKind::kHeader;
    line.name = Trim(text.substr(1, close - 1));
    return line;
  }
  line.kind = LineKind::kEntry;
  const std::size_t equals = FindCharMb(text, '=');
  line.name = Trim(text.substr(0, equals));
  if (equals != std::string_view::npos) {
    line.has_value = true;
    line.value = Trim(text.substr(equals + 1));
  }
  return line;
}

std::vector<Line> ParseLines(std::string_view file) {
  std::vector<Line> lines;
  for (std::size_t at = 0; at < file.size();) {
    lines.push_back(ParseLine(file, at));
    at = lines.back().end;
  }
  return lines;
}

bool SameName(std::string_view a, std::string_view b) { return LowerMb(a) == LowerMb(b); }

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// Where a section's lines are: its header, the line after its last line (the next header or
// the end), its last non-blank line and its first entry with the key (kNone if none).
struct SectionSpan {
  std::size_t header = kNone;
  std::size_t end = kNone;
  std::size_t last_filled = kNone;
  std::size_t entry = kNone;
};

SectionSpan FindSection(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
  SectionSpan span;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].kind == LineKind::kHeader && SameName(lines[i].name, section)) {
      span.header = i;
      break;
    }
  }
  if (span.header == kNone) return span;
  span.last_filled = span.header;
  std::size_t i = span.header + 1;
  for (; i < lines.size() && lines[i].kind != LineKind::kHeader; ++i) {
    if (lines[i].kind == LineKind::kBlank) continue;
    span.last_filled = i;
    if (span.entry == kNone && SameName(lines[i].name, key)) span.entry = i;
  }
  span.end = i;
  return span;
}

}  // namespace

std::string SetIniEntry(std::string_view file, std::string_view section, std::string_view key,
                        std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  value = TrimLeft(value);
  const std::vector<Line> lines = ParseLines(file);
  const SectionSpan span = FindSection(lines, section, key);
  std::string out(file);
  if (span.header == kNone) {
    if (!out.empty() && out.back() != '\n') out += "\r\n";
    out.append("[").append(section).append("]\r\n");
    out.append(key).append("=").append(value).append("\r\n");
    return out;
  }
  if (span.entry != kNone) {
    const Line& line = lines[span.entry];
    if (line.has_value && line.value == value) return out;
    // The key keeps the spelling the file has.
    std::string text(line.name);
    text.append("=").append(value);
    out.replace(line.begin, line.text_end - line.begin, text);
    return out;
  }
  const Line& last = lines[span.last_filled];
  std::string text;
  if (last.text_end == last.end) text = "\r\n";  // the file ended without a line end
  text.append(key).append("=").append(value).append("\r\n");
  out.insert(last.end, text);
  return out;
}

std::string RemoveIniEntry(std::string_view file, std::string_view section, std::string_view key) {
  const std::vector<Line> lines = ParseLines(file);
  const SectionSpan span = FindSection(lines, Trim(section), Trim(key));
  std::string out(file);
  if (span.entry == kNone) return out;
  bool emptied = true;
  for (std::size_t i = span.header + 1; i < span.end; ++i) {
    if (i != span.entry && lines[i].kind != LineKind::kBlank) emptied = false;
  }
  if (emptied) {
    const std::size_t end = span.end < lines.size() ? lines[span.end].begin : file.size();
    out.erase(lines[span.header].begin, end - lines[span.header].begin);
  } else {
    out.erase(lines[span.entry].begin, lines[span.entry].end - lines[span.entry].begin);
  }
  return out;
}

bool IsBlankIniText(std::string_view file) {
  for (const char c : file) {
    if (!IsBlank(c) && c != '\n') return false;
  }
  return true;
}

bool IsByteIniText(std::string_view file) {
  return !(file.size() >= 2 && ((file[0] == '\xFF' && file[1] == '\xFE') || (file[0] == '\xFE' && file[1] == '\xFF')));
}
