// The checks of `lint`: install.env read the way the program reads it (settings and
// sections), each line judged against the rules (lint_rules.h) and reported (lint_report.h).
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
#include "lint_report.h"
#include "lint_rules.h"
#include "pack_common.h"
#include "platform.h"
#include "settings/section_lists.h"
#include "settings/setting_keys.h"
#include "settings/setting_list.h"
#include "system/delete_rules.h"

namespace {

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

  void Add(std::size_t read, LintLevel level, std::string text) {
    if (spans_[read].continued) text += " [read on from the part before]";
    messages_.push_back({spans_[read].line, level, std::move(text)});
  }
  void ReportSetting(std::size_t read, bool in_section);
  void ReportUnread(std::size_t read, bool in_section);
  void ReportNoEntry(std::size_t read, bool in_section);
  void ReportValue(std::size_t read);
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
  std::vector<LintMessage> messages_;
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
      Add(read, LintLevel::kWarning, "longer than 511 bytes: the program reads it in pieces, each as a line of its own");
    }
    if (section.seen) ReportSectionLine(read);
    ReportSetting(read, in_section);
  }
}

// What the settings reader makes of a line: nothing, a duplicate, or a value of a key.
void Linter::ReportSetting(std::size_t read, bool in_section) {
  const SettingRead& entry = settings_[read];
  if (entry.reach != SettingRead::kRead) return ReportUnread(read, in_section);
  if (entry.parsed.kind != SettingLineKind::kEntry) return ReportNoEntry(read, in_section);

  const SettingLine& parsed = entry.parsed;
  const bool known = FindSettingKey(parsed.key) != nullptr;
  const auto first = first_line_of_key_.find(parsed.key);
  const bool duplicate = first != first_line_of_key_.end();
  if (!duplicate) first_line_of_key_[parsed.key] = spans_[read].line;
  if (in_section) {
    // Section lines pass through the settings reader too; one that looks like a setting
    // would really set it.
    if (known && !duplicate) {
      Add(read, LintLevel::kWarning,
          "this section line also sets " + parsed.key + " = " + Quoted(parsed.value) + " for the settings");
    }
  } else if (duplicate) {
    Add(read, known ? LintLevel::kWarning : LintLevel::kInfo,
        Show(parsed.key) + " again: the first one (line " + std::to_string(first->second) +
            ") wins and this value is never used");
  } else {
    ReportValue(read);
  }
}

// A line after [EOF] or beyond the reader's limit: only one that would set something is named.
void Linter::ReportUnread(std::size_t read, bool in_section) {
  const SettingRead& entry = settings_[read];
  const SettingLine& parsed = entry.parsed;
  if (parsed.kind != SettingLineKind::kEntry || in_section) return;
  const std::string why = entry.reach == SettingRead::kAfterEnd
                              ? "it comes after [EOF] (line " + std::to_string(end_line_) + ")"
                              : "the program reads no more than " + std::to_string(kMaxSettingLines) + " lines";
  Add(read, FindSettingKey(parsed.key) ? LintLevel::kWarning : LintLevel::kInfo,
      Show(parsed.key) + " is never read as a setting: " + why);
}

void Linter::ReportNoEntry(std::size_t read, bool in_section) {
  const SettingRead& entry = settings_[read];
  const SettingLine& parsed = entry.parsed;
  switch (parsed.kind) {
    case SettingLineKind::kEnd:
      Add(read, LintLevel::kInfo, "[EOF]: the settings end here (sections are read on up to a line EOF)");
      return;
    case SettingLineKind::kComment:
      if (!in_section) Add(read, LintLevel::kInfo, "comment");
      return;
    case SettingLineKind::kBlank: {
      const std::size_t text = entry.raw.find_first_not_of(" \t\r\n");
      if (text == std::string::npos || in_section) return;
      const std::string word = entry.raw.substr(text, entry.raw.find_first_of(" \t\r\n", text) - text);
      const bool known = FindSettingKey(word) != nullptr;
      Add(read, known ? LintLevel::kWarning : LintLevel::kInfo,
          "indented: ignored" + (known ? " (" + word + " is not set here)" : std::string()));
      return;
    }
    case SettingLineKind::kNoValue:
      if (in_section) return;
      Add(read, FindSettingKey(parsed.key) && !spans_[read].continued ? LintLevel::kWarning : LintLevel::kInfo,
          Show(parsed.key) + " has no value: the line gives nothing");
      return;
    case SettingLineKind::kValueTooFar:
      if (in_section) return;
      Add(read, LintLevel::kWarning,
          "the value of " + Show(parsed.key) + " starts more than " + std::to_string(kMaxValueGap) +
              " blanks after the key: the line gives nothing");
      return;
    case SettingLineKind::kEntry:
      return;
  }
}

// The first value of a key: what it is set to, and what the key's row finds in it.
void Linter::ReportValue(std::size_t read) {
  const SettingRead& entry = settings_[read];
  const SettingLine& parsed = entry.parsed;
  Add(read, LintLevel::kInfo, Show(parsed.key) + " = " + Quoted(parsed.value));
  if (parsed.ignored_from != 0) {
    Add(read, LintLevel::kWarning,
        "value cut at a blank: " + Show(parsed.key) + " gets " + Quoted(parsed.value) +
            " and the rest is ignored; write " + Show(WithBars(entry.raw, parsed.key)) + " (\"|\" stands for a space)");
  }
  if (const SettingKey* key = FindSettingKey(parsed.key)) {
    for (std::string& warning : ValueWarnings(*key, parsed.value)) Add(read, LintLevel::kWarning, std::move(warning));
    return;
  }
  bool case_only = false;
  const std::string like = LookAlike(parsed.key, &case_only);
  if (case_only) {
    Add(read, LintLevel::kWarning, Show(parsed.key) + " is not " + like + ": keys are case-sensitive, this one is never read");
  } else if (!like.empty()) {
    Add(read, LintLevel::kWarning, "unknown key " + Show(parsed.key) + ": did you mean " + like + "?");
  }
}

void Linter::ReportIniLine(std::size_t read, const std::string& line) {
  char key[kSectionLineBuffer], value[kSectionLineBuffer];
  SetInstallFolderPointer(nullptr);
  if (SplitIniLine(line.c_str(), key, value) != 0) {
    Add(read, LintLevel::kWarning, "[ini] line without \"=\": skipped when installing");
    return;
  }
  Add(read, LintLevel::kInfo, "[ini] " + Quoted(key) + " = " + Quoted(value));
  if (FindSubstrMb(line, "REP_CDROM") != std::string::npos &&
      FindSubstrMb(line, "REP_CDROMDRIVE") == std::string::npos) {
    Add(read, LintLevel::kWarning, "REP_CDROM is not replaced in [ini] lines (REP_CDROMDRIVE is)");
  }
  const std::string long_folder(kLongestInstallFolder, 'x');
  SetInstallFolderPointer(long_folder.c_str());
  if (SplitIniLine(line.c_str(), key, value) != 0) {
    Add(read, LintLevel::kWarning,
        "longer than 511 bytes once REP_INSTALL becomes a long install folder: the program would skip it");
  } else if (FindSubstrMb(SubstituteIniPlaceholders(line.c_str()), "REP_INSTALL") != std::string::npos) {
    Add(read, LintLevel::kWarning, "only the first REP_INSTALL of a line is replaced");
  }
  SetInstallFolderPointer(nullptr);
}

void Linter::ReportRegLine(std::size_t read, const std::string& line) {
  char name[kSectionLineBuffer], value[kSectionLineBuffer];
  SetInstallFolderPointer(nullptr);
  if (SplitRegLine(line.c_str(), name, value) != 0) {
    Add(read, LintLevel::kWarning, "[reg] line not of the form \"name\"=\"value\": skipped when installing");
    return;
  }
  Add(read, LintLevel::kInfo, "[reg] " + Quoted(name) + " = " + Quoted(value));
  if (line.front() != '"') {
    Add(read, LintLevel::kWarning, "the first byte (meant as the opening quote) is dropped from the name");
  }
  if (line.back() != '"') {
    Add(read, LintLevel::kWarning, "the last byte (meant as the closing quote) is dropped from the value");
  }
  if (FindSubstrMb(line, "REP_CDROMDRIVE") != std::string::npos) {
    Add(read, LintLevel::kWarning, "in [reg] lines REP_CDROM is replaced, so REP_CDROMDRIVE becomes the drive root and DRIVE");
  }
  const std::string long_folder(kLongestInstallFolder, 'x');
  SetInstallFolderPointer(long_folder.c_str());
  if (SplitRegLine(line.c_str(), name, value) != 0) {
    Add(read, LintLevel::kWarning,
        "longer than 511 bytes once REP_INSTALL becomes a long install folder: the program would skip it");
  }
  SetInstallFolderPointer(nullptr);
}

void Linter::ReportSectionLine(std::size_t read) {
  const SectionRead& entry = sections_[read];
  const std::string name = SectionName(entry.event.open);
  switch (entry.event.kind) {
    case SectionLineKind::kHeader: {
      Add(read, LintLevel::kInfo, "opens [" + name + "]");
      const auto before = opened_at_.find(entry.event.open);
      if (before != opened_at_.end()) {
        Add(read, LintLevel::kWarning,
            "[" + name + "] again: the lines of the one at line " + std::to_string(before->second) + " are dropped");
      }
      opened_at_[entry.event.open] = spans_[read].line;
      unterminated_since_ = spans_[read].line;
      return;
    }
    case SectionLineKind::kClose:
      if (entry.open_before != kSectionNone) {
        Add(read, LintLevel::kInfo, "closes [" + std::string(SectionName(entry.open_before)) + "]");
      }
      return;
    case SectionLineKind::kEnd:
      Add(read, LintLevel::kInfo, "EOF: the sections end here");
      return;
    case SectionLineKind::kComment:
      if (entry.open_before != kSectionNone) Add(read, LintLevel::kInfo, "comment (not stored)");
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
      Add(read, LintLevel::kInfo, "[" + name + "] " + Quoted(line) + " (kept for the uninstaller)");
      return;
    default:
      Add(read, LintLevel::kWarning,
          "[" + name + "] " + Quoted(line) + ": the uninstaller refuses this line (" + DeleteVerdictText(verdict) +
              ") and deletes nothing for it");
  }
}

int Linter::Print(const std::string& path, std::ostream& out, bool warnings_only) const {
  std::vector<LintMessage> all = messages_;
  if (unterminated_ != kSectionNone) {
    all.push_back({unterminated_since_, LintLevel::kError,
                   "[" + std::string(SectionName(unterminated_)) +
                       "] is not closed with a line \"-\" before EOF or the end of the file: the program "
                       "stops at start-up with an error"});
  }
  return PrintLintReport(path, std::move(all), first_line_of_key_.size(), out, warnings_only);
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
