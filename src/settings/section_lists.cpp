#include "settings/section_lists.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "common/cp932.h"

namespace {

constexpr std::size_t kMaxSubstituted = kSectionLineBuffer - 1;
constexpr std::string_view kRegSeparator = "\"=\"";

SectionLine* g_lists[5] = {};  // indexed by Section; [0] unused
SectionAllocator g_allocate = std::malloc;
const char* g_install_folder = nullptr;
CdromRootSource g_cdrom_root = nullptr;

char g_ini_buffer[kSectionLineBuffer];
char g_reg_buffer[kSectionLineBuffer];
char g_unescape_buffer[kSectionLineBuffer];

struct Header {
  const char* marker;
  Section section;
};
constexpr Header kHeaders[] = {
    {"[delfiles]", kSectionDelFiles},
    {"[delfiles_user]", kSectionDelFilesUser},
    {"[ini]", kSectionIni},
    {"[reg]", kSectionReg},
};

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

bool StartsWith(const char* line, std::string_view marker) {
  return std::strncmp(line, marker.data(), marker.size()) == 0;
}

const char* CdromRoot() { return g_cdrom_root ? g_cdrom_root() : "E:\\"; }

// Replaces the first occurrence only: a second placeholder in the line stays as written.
void ReplaceFirst(std::string& text, std::string_view placeholder, std::string_view by) {
  const std::size_t at = FindSubstrMb(text, placeholder);
  if (at != std::string::npos) text.replace(at, placeholder.size(), by);
}

const char* Substitute(const char* line, std::string_view cdrom_placeholder,
                       char (&buffer)[kSectionLineBuffer]) {
  std::string text(line);
  ReplaceFirst(text, cdrom_placeholder, CdromRoot());
  if (g_install_folder) ReplaceFirst(text, "REP_INSTALL", g_install_folder);
  if (text.size() > kMaxSubstituted) return nullptr;
  CopyTruncated(buffer, sizeof buffer, text);
  return buffer;
}

}  // namespace

const SectionLine* SectionListHead(Section which) {
  return which >= kSectionDelFiles && which <= kSectionReg ? g_lists[which] : nullptr;
}

const char* SectionName(Section which) {
  switch (which) {
    case kSectionDelFiles: return "delfiles";
    case kSectionDelFilesUser: return "delfiles_user";
    case kSectionIni: return "ini";
    case kSectionReg: return "reg";
    default: return "";
  }
}

void SetSectionAllocator(SectionAllocator allocate) { g_allocate = allocate ? allocate : std::malloc; }

char* ReadTrimmedLine(char* buffer, int size, std::FILE* file) {
  if (!std::fgets(buffer, size, file)) return nullptr;
  std::size_t length = std::strlen(buffer);
  while (length > 0 && static_cast<unsigned char>(buffer[length - 1]) <= 32) buffer[--length] = '\0';
  return buffer;
}

void ClearSectionList(SectionLine** head) {
  SectionLine* entry = *head;
  *head = nullptr;
  while (entry) {
    SectionLine* next = entry->next;
    std::free(entry->text);
    std::free(entry);
    entry = next;
  }
}

int AppendSectionLine(SectionLine** head, const char* line) {
  auto* entry = static_cast<SectionLine*>(g_allocate(sizeof(SectionLine)));
  if (!entry) return -1;
  const std::size_t size = std::strlen(line) + 1;
  entry->text = static_cast<char*>(g_allocate(size));
  if (!entry->text) {
    std::free(entry);
    return -1;
  }
  std::memcpy(entry->text, line, size);
  entry->next = nullptr;
  SectionLine** link = head;
  while (*link) link = &(*link)->next;
  *link = entry;
  return 0;
}

SectionLineKind ClassifySectionLine(const char* line, Section* header) {
  *header = kSectionNone;
  if (line[0] == '\0') return SectionLineKind::kEmpty;
  if (StartsWith(line, "//") || StartsWith(line, ";")) return SectionLineKind::kComment;
  if (StartsWith(line, "EOF")) return SectionLineKind::kEnd;
  if (StartsWith(line, "-")) return SectionLineKind::kClose;
  for (const Header& h : kHeaders) {
    if (StartsWith(line, h.marker)) {
      *header = h.section;
      return SectionLineKind::kHeader;
    }
  }
  return SectionLineKind::kOther;
}

SectionFileStatus ReadSectionStream(std::FILE* file, Section* open_at_end, const SectionObserver& observe) {
  Section open = kSectionNone;
  char buffer[kSectionLineBuffer];
  while (ReadTrimmedLine(buffer, static_cast<int>(sizeof buffer), file)) {
    Section header;
    const SectionLineKind kind = ClassifySectionLine(buffer, &header);
    bool stored = false;
    switch (kind) {
      case SectionLineKind::kHeader:
        ClearSectionList(&g_lists[header]);
        open = header;
        break;
      case SectionLineKind::kClose:
        open = kSectionNone;
        break;
      case SectionLineKind::kOther:
        if (open != kSectionNone) {
          if (AppendSectionLine(&g_lists[open], buffer) != 0) return SectionFileStatus::kOutOfMemory;
          stored = true;
        }
        break;
      default:
        break;
    }
    if (observe) observe({buffer, kind, open, stored});
    if (kind == SectionLineKind::kEnd) break;
  }
  if (open != kSectionNone) {
    *open_at_end = open;
    return SectionFileStatus::kUnterminated;
  }
  *open_at_end = kSectionNone;
  return SectionFileStatus::kRead;
}

SectionFileStatus ReadSectionFile(const char* file, Section* open_at_end) {
  *open_at_end = kSectionNone;
  std::unique_ptr<std::FILE, FileCloser> stream(std::fopen(file, "rt"));
  if (!stream) return SectionFileStatus::kCannotOpen;
  return ReadSectionStream(stream.get(), open_at_end);
}

void SetInstallFolderPointer(const char* folder) { g_install_folder = folder; }

void SetCdromRootSource(CdromRootSource source) { g_cdrom_root = source; }

const char* SubstituteIniPlaceholders(const char* line) { return Substitute(line, "REP_CDROMDRIVE", g_ini_buffer); }

const char* SubstituteRegistryPlaceholders(const char* line) { return Substitute(line, "REP_CDROM", g_reg_buffer); }

const char* UnescapeBackslashes(const char* text) {
  std::string out(text);
  if (out.size() > kMaxSubstituted) return nullptr;
  // The byte after a removed backslash is kept and never examined, even a backslash.
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = FindCharMb(out, '\\', from);
    if (at == std::string::npos) break;
    out.erase(at, 1);
    from = at + 1;
  }
  CopyTruncated(g_unescape_buffer, sizeof g_unescape_buffer, out);
  return g_unescape_buffer;
}

int SplitIniLine(const char* line, char* key, char* value) {
  if (FindCharMb(line, '=') == std::string_view::npos) return -1;
  const char* substituted = SubstituteIniPlaceholders(line);
  if (!substituted) return -1;
  const std::string_view text(substituted);
  const std::size_t equals = FindCharMb(text, '=');
  if (equals == std::string_view::npos) return -1;
  CopyTruncated(key, kSectionLineBuffer, text.substr(0, equals));
  CopyTruncated(value, kSectionLineBuffer, text.substr(equals + 1));
  return 0;
}

int SplitRegLine(const char* line, char* name, char* value) {
  if (FindSubstrMb(line, kRegSeparator) == std::string_view::npos) return -1;
  // Unescape first, so the backslashes of the inserted root and folder survive.
  const char* unescaped = UnescapeBackslashes(line);
  if (!unescaped) return -1;
  const char* substituted = SubstituteRegistryPlaceholders(unescaped);
  if (!substituted) return -1;
  const std::string_view text(substituted);
  if (text.empty()) return -1;
  const std::size_t name_end = FindSubstrMb(text, kRegSeparator, 1);
  const std::size_t value_start = FindSubstrMb(text, kRegSeparator);
  if (name_end == std::string_view::npos || value_start == std::string_view::npos) return -1;
  std::string_view data = text.substr(value_start + kRegSeparator.size());
  if (!data.empty()) data.remove_suffix(1);  // the closing quote
  CopyTruncated(name, kSectionLineBuffer, text.substr(1, name_end - 1));
  CopyTruncated(value, kSectionLineBuffer, data);
  return 0;
}

void ClearAllSectionLists() {
  for (Section s : {kSectionDelFiles, kSectionDelFilesUser, kSectionIni, kSectionReg}) ClearSectionList(&g_lists[s]);
}
