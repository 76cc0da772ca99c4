#include "lint.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string_view>
#include <vector>

#include "common/cp932.h"
#include "pack_common.h"
#include "platform.h"
#include "settings/section_lists.h"
#include "settings/setting_list.h"
#include "uninst/delete_rules.h"

namespace {

// Keys the program reads. All but HELP_FILE land in 128-byte buffers somewhere.
constexpr const char* kKnownKeys[] = {"REG_GLOBAL", "REG_LOCAL",  "INI_FILE",    "INI_SECTION", "TITLEBAR",
                                      "INST_GROUP", "INSTTO",     "INSTFOL",     "EXENAME",     "INSTMAKEFOL",
                                      "INSTREADME", "INSTREADMEFL", "HELP_FILE"};
constexpr std::size_t kLongestInstallFolder = kPathMaxText;  // REP_INSTALL grows a line by up to 248 bytes

enum class Level { kInfo, kWarning, kError };

struct Message {
  int line;
  Level level;
  std::string text;
};

// Where each fgets read of the program falls: both readers read in 512-byte steps, so a
// line longer than 511 bytes is read as several.
struct ReadSpan {
  int line;
  bool continued;  // not the first read of its line
};

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The program opens the file in text mode: CR LF reads as LF and Ctrl-Z ends the file.
std::string AsTextMode(const std::string& bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\x1A') break;
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    text.push_back(bytes[i]);
  }
  return text;
}

std::vector<ReadSpan> ReadSpans(const std::string& text) {
  std::vector<ReadSpan> spans;
  int line = 1;
  bool continued = false;
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t take = 0;
    while (take < kSettingLineBuffer - 1 && pos + take < text.size()) {
      if (text[pos + take++] == '\n') break;
    }
    spans.push_back({line, continued});
    continued = text[pos + take - 1] != '\n';
    if (!continued) ++line;
    pos += take;
  }
  return spans;
}

// CP932 for a UTF-8 terminal; bytes that do not convert are shown as \xNN.
std::string Show(std::string_view cp932) { return Cp932ToUtf8(std::string(cp932)); }

std::string Quoted(std::string_view cp932) { return "\"" + Show(cp932) + "\""; }

bool IsKnownKey(const std::string& key) {
  return std::any_of(std::begin(kKnownKeys), std::end(kKnownKeys), [&](const char* k) { return key == k; });
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t up = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = up;
    }
  }
  return row[b.size()];
}

// The known key an unknown key was probably meant to be, or "".
std::string LookAlike(const std::string& key, bool* case_only) {
  *case_only = false;
  if (key.size() < 4) return "";
  const std::string upper = Upper(key);
  std::string best;
  std::size_t best_distance = 3;
  for (const char* known : kKnownKeys) {
    if (upper == known) {
      *case_only = true;
      return known;
    }
    const std::size_t limit = std::strlen(known) <= 6 ? 1 : 2;
    const std::size_t distance = EditDistance(upper, known);
    if (distance <= limit && distance < best_distance) {
      best = known;
      best_distance = distance;
    }
  }
  return best;
}

// What "|" would make of the rest of the line: the value and the words after it, joined.
std::string WithBars(const std::string& raw, const std::string& key) {
  std::string rest = raw.substr(std::min(raw.size(), key.size()));
  const std::size_t first = rest.find_first_not_of(" \t");
  const std::size_t last = rest.find_last_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  rest = rest.substr(first, last - first + 1);
  for (char& c : rest) {
    if (c == ' ' || c == '\t') c = '|';
  }
  return rest;
}

class Linter {
 public:
  Linter(std::vector<ReadSpan> spans) : spans_(std::move(spans)) {}

  void Settings(std::FILE* file);
  void Sections(std::FILE* file);
  void Report();
  int Print(const std::string& path, std::ostream& out, bool warnings_only) const;

 private:
  struct SettingRead {
    SettingLine parsed;
    std::string raw;
    enum { kRead, kAfterEnd, kBeyondLimit } reach = kRead;
  };
  struct SectionRead {
    bool seen = false;  // false: after the EOF line, never read as sections
    SectionLineEvent event{};
    std::string line;
    Section open_before = kSectionNone;
  };

  void Add(std::size_t read, Level level, std::string text) {
    if (spans_[read].continued) text += " [read on from the part before]";
    messages_.push_back({spans_[read].line, level, std::move(text)});
  }
  void ReportSetting(std::size_t read, bool in_section);
  void ReportSectionLine(std::size_t read);
  void ReportIniLine(std::size_t read, const std::string& line);
  void ReportRegLine(std::size_t read, const std::string& line);
  void ReportDeleteLine(std::size_t read, const std::string& name, const std::string& line);

  std::vector<ReadSpan> spans_;
  std::vector<SettingRead> settings_;
  std::vector<SectionRead> sections_;
  std::map<std::string, int> first_line_of_key_;
  std::map<Section, int> opened_at_;
  int end_line_ = 0;  // of "[EOF]"
  Section unterminated_ = kSectionNone;
  int unterminated_since_ = 0;
  std::vector<Message> messages_;
};

void Linter::Settings(std::FILE* file) {
  char buffer[kSettingLineBuffer];
  bool ended = false;
  for (std::size_t read = 0; ReadSettingLine(file, buffer); ++read) {
    SettingRead entry;
    entry.raw.assign(buffer, strnlen(buffer, sizeof buffer));
    entry.parsed = ParseSettingLine(buffer);
    if (ended) {
      entry.reach = SettingRead::kAfterEnd;
    } else if (read >= static_cast<std::size_t>(kMaxSettingLines)) {
      entry.reach = SettingRead::kBeyondLimit;
    } else if (entry.parsed.kind == SettingLineKind::kEnd) {
      ended = true;
      end_line_ = spans_[read].line;
    }
    settings_.push_back(std::move(entry));
  }
}

void Linter::Sections(std::FILE* file) {
  ClearAllSectionLists();
  sections_.resize(spans_.size());
  std::size_t read = 0;
  Section open = kSectionNone;
  Section open_at_end = kSectionNone;
  const SectionFileStatus status = ReadSectionStream(file, &open_at_end, [&](const SectionLineEvent& event) {
    if (read >= sections_.size()) return;
    SectionRead& entry = sections_[read++];
    entry.seen = true;
    entry.line = event.line;
    entry.event = event;
    entry.event.line = nullptr;
    entry.open_before = open;
    open = event.open;
  });
  if (status == SectionFileStatus::kUnterminated) unterminated_ = open_at_end;
}

void Linter::Report() {
  for (std::size_t read = 0; read < spans_.size() && read < settings_.size(); ++read) {
    const SectionRead& section = sections_[read];
    const bool in_section = section.seen && (section.open_before != kSectionNone ||
                                             section.event.kind == SectionLineKind::kHeader ||
                                             section.event.kind == SectionLineKind::kEnd);
    if (!spans_[read].continued && read + 1 < spans_.size() && spans_[read + 1].continued) {
      Add(read, Level::kWarning, "longer than 511 bytes: the program reads it in pieces, each as a line of its own");
    }
    if (section.seen) ReportSectionLine(read);
    ReportSetting(read, in_section);
  }
}

void Linter::ReportSetting(std::size_t read, bool in_section) {
  const SettingRead& entry = settings_[read];
  const SettingLine& parsed = entry.parsed;
  const bool continued = spans_[read].continued;

  if (entry.reach != SettingRead::kRead) {
    if (parsed.kind == SettingLineKind::kEntry && !in_section) {
      const std::string why = entry.reach == SettingRead::kAfterEnd
                                  ? "it comes after [EOF] (line " + std::to_string(end_line_) + ")"
                                  : "the program reads no more than " + std::to_string(kMaxSettingLines) + " lines";
      Add(read, IsKnownKey(parsed.key) ? Level::kWarning : Level::kInfo,
          Show(parsed.key) + " is never read as a setting: " + why);
    }
    return;
  }

  switch (parsed.kind) {
    case SettingLineKind::kEnd:
      Add(read, Level::kInfo, "[EOF]: the settings end here (sections are read on up to a line EOF)");
      return;
    case SettingLineKind::kComment:
      if (!in_section) Add(read, Level::kInfo, "comment");
      return;
    case SettingLineKind::kBlank: {
      const std::size_t text = entry.raw.find_first_not_of(" \t\r\n");
      if (text == std::string::npos || in_section) return;
      const std::string word = entry.raw.substr(text, entry.raw.find_first_of(" \t\r\n", text) - text);
      Add(read, IsKnownKey(word) ? Level::kWarning : Level::kInfo,
          "indented: ignored" + (IsKnownKey(word) ? " (" + word + " is not set here)" : std::string()));
      return;
    }
    case SettingLineKind::kNoValue:
      if (in_section) return;
      Add(read, IsKnownKey(parsed.key) && !continued ? Level::kWarning : Level::kInfo,
          Show(parsed.key) + " has no value: the line gives nothing");
      return;
    case SettingLineKind::kValueTooFar:
      if (in_section) return;
      Add(read, Level::kWarning,
          "the value of " + Show(parsed.key) + " starts more than " + std::to_string(kMaxValueGap) +
              " blanks after the key: the line gives nothing");
      return;
    case SettingLineKind::kEntry:
      break;
  }

  const auto first = first_line_of_key_.find(parsed.key);
  const bool duplicate = first != first_line_of_key_.end();
  if (!duplicate) first_line_of_key_[parsed.key] = spans_[read].line;

  if (in_section) {
    // Section lines pass through the settings reader too; one that looks like a setting
    // would really set it.
    if (IsKnownKey(parsed.key) && !duplicate) {
      Add(read, Level::kWarning,
          "this section line also sets " + parsed.key + " = " + Quoted(parsed.value) + " for the settings");
    }
    return;
  }
  if (duplicate) {
    Add(read, IsKnownKey(parsed.key) ? Level::kWarning : Level::kInfo,
        Show(parsed.key) + " again: the first one (line " + std::to_string(first->second) +
            ") wins and this value is never used");
    return;
  }

  Add(read, Level::kInfo, Show(parsed.key) + " = " + Quoted(parsed.value));
  if (parsed.ignored_from != 0) {
    Add(read, Level::kWarning,
        "value cut at a blank: " + Show(parsed.key) + " gets " + Quoted(parsed.value) +
            " and the rest is ignored; write " + Show(WithBars(entry.raw, parsed.key)) + " (\"|\" stands for a space)");
  }
  if (IsKnownKey(parsed.key)) {
    if (parsed.key != "HELP_FILE" && parsed.value.size() > kSettingBuffer - 1) {
      Add(read, Level::kWarning,
          Show(parsed.key) + " is " + std::to_string(parsed.value.size()) + " bytes long; the program uses the first " +
              std::to_string(kSettingBuffer - 1));
    }
    if (parsed.key == "INSTMAKEFOL") {
      const int value = std::atoi(parsed.value.c_str());
      if (parsed.value != std::to_string(value)) {
        Add(read, Level::kWarning, "INSTMAKEFOL " + Quoted(parsed.value) + " reads as " + std::to_string(value));
      }
    }
    return;
  }
  bool case_only = false;
  const std::string like = LookAlike(parsed.key, &case_only);
  if (case_only) {
    Add(read, Level::kWarning, Show(parsed.key) + " is not " + like + ": keys are case-sensitive, this one is never read");
  } else if (!like.empty()) {
    Add(read, Level::kWarning, "unknown key " + Show(parsed.key) + ": did you mean " + like + "?");
  }
}

void Linter::ReportIniLine(std::size_t read, const std::string& line) {
  char key[kSectionLineBuffer], value[kSectionLineBuffer];
  SetInstallFolderPointer(nullptr);
  if (SplitIniLine(line.c_str(), key, value) != 0) {
    Add(read, Level::kWarning, "[ini] line without \"=\": skipped when installing");
    return;
  }
  Add(read, Level::kInfo, "[ini] " + Quoted(key) + " = " + Quoted(value));
  if (FindSubstrMb(line, "REP_CDROM") != std::string::npos &&
      FindSubstrMb(line, "REP_CDROMDRIVE") == std::string::npos) {
    Add(read, Level::kWarning, "REP_CDROM is not replaced in [ini] lines (REP_CDROMDRIVE is)");
  }
  const std::string long_folder(kLongestInstallFolder, 'x');
  SetInstallFolderPointer(long_folder.c_str());
  if (SplitIniLine(line.c_str(), key, value) != 0) {
    Add(read, Level::kWarning,
        "longer than 511 bytes once REP_INSTALL becomes a long install folder: the program would skip it");
  } else if (FindSubstrMb(SubstituteIniPlaceholders(line.c_str()), "REP_INSTALL") != std::string::npos) {
    Add(read, Level::kWarning, "only the first REP_INSTALL of a line is replaced");
  }
  SetInstallFolderPointer(nullptr);
}

void Linter::ReportRegLine(std::size_t read, const std::string& line) {
  char name[kSectionLineBuffer], value[kSectionLineBuffer];
  SetInstallFolderPointer(nullptr);
  if (SplitRegLine(line.c_str(), name, value) != 0) {
    Add(read, Level::kWarning, "[reg] line not of the form \"name\"=\"value\": skipped when installing");
    return;
  }
  Add(read, Level::kInfo, "[reg] " + Quoted(name) + " = " + Quoted(value));
  if (line.front() != '"') {
    Add(read, Level::kWarning, "the first byte (meant as the opening quote) is dropped from the name");
  }
  if (line.back() != '"') {
    Add(read, Level::kWarning, "the last byte (meant as the closing quote) is dropped from the value");
  }
  if (FindSubstrMb(line, "REP_CDROMDRIVE") != std::string::npos) {
    Add(read, Level::kWarning, "in [reg] lines REP_CDROM is replaced, so REP_CDROMDRIVE becomes the drive root and DRIVE");
  }
  const std::string long_folder(kLongestInstallFolder, 'x');
  SetInstallFolderPointer(long_folder.c_str());
  if (SplitRegLine(line.c_str(), name, value) != 0) {
    Add(read, Level::kWarning,
        "longer than 511 bytes once REP_INSTALL becomes a long install folder: the program would skip it");
  }
  SetInstallFolderPointer(nullptr);
}

void Linter::ReportSectionLine(std::size_t read) {
  const SectionRead& entry = sections_[read];
  const std::string name = SectionName(entry.event.open);
  switch (entry.event.kind) {
    case SectionLineKind::kHeader: {
      Add(read, Level::kInfo, "opens [" + name + "]");
      const auto before = opened_at_.find(entry.event.open);
      if (before != opened_at_.end()) {
        Add(read, Level::kWarning,
            "[" + name + "] again: the lines of the one at line " + std::to_string(before->second) + " are dropped");
      }
      opened_at_[entry.event.open] = spans_[read].line;
      unterminated_since_ = spans_[read].line;
      return;
    }
    case SectionLineKind::kClose:
      if (entry.open_before != kSectionNone) {
        Add(read, Level::kInfo, "closes [" + std::string(SectionName(entry.open_before)) + "]");
      }
      return;
    case SectionLineKind::kEnd:
      Add(read, Level::kInfo, "EOF: the sections end here");
      return;
    case SectionLineKind::kComment:
      if (entry.open_before != kSectionNone) Add(read, Level::kInfo, "comment (not stored)");
      return;
    default:
      break;
  }
  if (!entry.event.stored) return;
  if (entry.open_before == kSectionIni) {
    ReportIniLine(read, entry.line);
  } else if (entry.open_before == kSectionReg) {
    ReportRegLine(read, entry.line);
  } else {
    ReportDeleteLine(read, name, entry.line);
  }
}

// The uninstaller skips a line its rules refuse, without a word to the player: say so here.
// Only what holds on every machine is checked; the install folder and %NAME% values stand in.
void Linter::ReportDeleteLine(std::size_t read, const std::string& name, const std::string& line) {
  DeleteContext context;
  context.install_folder = "C:\\InstallFolder";
  context.environment = [](const std::string& variable, std::string* value) {
    *value = "C:\\" + variable;
    return true;
  };
  // The data folders as their usual variables name them.
  context.data_folders = {"C:\\APPDATA", "C:\\LOCALAPPDATA", "C:\\PROGRAMDATA", "C:\\ALLUSERSPROFILE",
                          "C:\\USERPROFILE\\Documents", "C:\\USERPROFILE\\Saved Games", "C:\\PUBLIC\\Documents"};
  const DeleteVerdict verdict = ResolveDeleteLine(line, context).verdict;
  switch (verdict) {
    case DeleteVerdict::kAccepted:
    case DeleteVerdict::kTooLong:  // depends on the folder the player chooses
    case DeleteVerdict::kProtected:
      Add(read, Level::kInfo, "[" + name + "] " + Quoted(line) + " (kept for the uninstaller)");
      return;
    default:
      Add(read, Level::kWarning,
          "[" + name + "] " + Quoted(line) + ": the uninstaller refuses this line (" + DeleteVerdictText(verdict) +
              ") and deletes nothing for it");
  }
}

int Linter::Print(const std::string& path, std::ostream& out, bool warnings_only) const {
  std::vector<Message> all = messages_;
  int errors = 0, warnings = 0;
  if (unterminated_ != kSectionNone) {
    all.push_back({unterminated_since_, Level::kError,
                   "[" + std::string(SectionName(unterminated_)) +
                       "] is not closed with a line \"-\" before EOF or the end of the file: the program "
                       "stops at start-up with an error"});
  }
  std::stable_sort(all.begin(), all.end(), [](const Message& a, const Message& b) { return a.line < b.line; });
  for (const Message& m : all) {
    if (m.level == Level::kError) ++errors;
    if (m.level == Level::kWarning) ++warnings;
    if (warnings_only && m.level == Level::kInfo) continue;
    out << path << ':' << m.line << ": "
        << (m.level == Level::kError ? "error: " : m.level == Level::kWarning ? "warning: " : "") << m.text << '\n';
  }
  if (!warnings_only) {
    out << path << ": " << first_line_of_key_.size() << " settings, " << warnings << " warnings, " << errors
        << " errors\n";
  }
  return errors ? 1 : 0;
}

}  // namespace

int LintSettingsFile(const std::string& path, std::ostream& out, bool warnings_only) {
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  if (!in) {
    out << path << ": error: cannot be read; the program does not start without install.env\n";
    return 1;
  }
  const std::string text = AsTextMode(std::string(std::istreambuf_iterator<char>(in), {}));
  File file(OpenTemporaryFile());
  if (!file || std::fwrite(text.data(), 1, text.size(), file.get()) != text.size()) {
    out << path << ": error: no temporary file for reading\n";
    return 1;
  }

  Linter linter(ReadSpans(text));
  std::rewind(file.get());
  linter.Settings(file.get());
  std::rewind(file.get());
  linter.Sections(file.get());
  linter.Report();
  return linter.Print(path, out, warnings_only);
}
