// The four sections of install.env ([delfiles], [delfiles_user], [ini], [reg]) and the
// splitters that turn [ini] and [reg] lines into key/value pairs with their placeholders
// (REP_CDROMDRIVE, REP_CDROM, REP_INSTALL) replaced.
// The program's reader with its fatal boxes is ReadSectionLists in section_lists_win.h.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>

// One read line and every substituted or split result: 511 bytes and the terminator.
constexpr std::size_t kSectionLineBuffer = 512;

enum Section : int {
  kSectionNone = 0,
  kSectionDelFiles = 1,
  kSectionDelFilesUser = 2,
  kSectionIni = 3,
  kSectionReg = 4,
};

// A stored line; lists keep the file's order.
struct SectionLine {
  char* text;
  SectionLine* next;
};

// Head of a section's list (null when empty). The lists live until the process ends.
const SectionLine* SectionListHead(Section which);
// "delfiles", "delfiles_user", "ini", "reg" (the header without brackets); "" for none.
const char* SectionName(Section which);

// Entries and their texts come from this allocator (std::malloc unless the program installs
// its allocate service); null means the memory ran out.
using SectionAllocator = void* (*)(std::size_t size);
void SetSectionAllocator(SectionAllocator allocate);

// fgets, then the trailing bytes of 32 or less cut. Null at end of file.
char* ReadTrimmedLine(char* buffer, int size, std::FILE* file);
// Frees every entry and its text; the head is null afterwards.
void ClearSectionList(SectionLine** head);
// Appends a copy of line at the end. -1 when the allocator gave nothing (list unchanged).
int AppendSectionLine(SectionLine** head, const char* line);

// What a (trimmed) line is to the section reader; the tests run in this order.
enum class SectionLineKind {
  kEmpty,
  kComment,  // "//" or ";"
  kEnd,      // "EOF": nothing after it is read
  kClose,    // "-"
  kHeader,   // one of the four headers
  kOther,    // stored when a section is open, else ignored
};
SectionLineKind ClassifySectionLine(const char* line, Section* header);

enum class SectionFileStatus { kRead, kCannotOpen, kUnterminated, kOutOfMemory };

// Seen by an observer for each line read, after the reader acted on it.
struct SectionLineEvent {
  const char* line;  // trimmed
  SectionLineKind kind;
  Section open;      // the open section after the line
  bool stored;       // appended to the open section's list
};
using SectionObserver = std::function<void(const SectionLineEvent&)>;

// Reads an open stream into the lists. kUnterminated leaves the unclosed section in
// *open_at_end. The stream is not closed.
SectionFileStatus ReadSectionStream(std::FILE* file, Section* open_at_end,
                                    const SectionObserver& observe = {});
// Opens `file` (directly, relative to the current directory, text mode) and reads it.
SectionFileStatus ReadSectionFile(const char* file, Section* open_at_end);

// The text that replaces REP_INSTALL; not copied. While null, REP_INSTALL stays as written.
void SetInstallFolderPointer(const char* folder);
// Where the CD-ROM root comes from: the program installs FirstCdromRoot; without it the
// root is "E:\", as on a machine without a CD-ROM drive.
using CdromRootSource = const char* (*)();
void SetCdromRootSource(CdromRootSource source);

// First REP_CDROMDRIVE and first REP_INSTALL replaced, into a static buffer. Null when the
// result would not fit 511 bytes: a cut line would write a wrong value.
const char* SubstituteIniPlaceholders(const char* line);
// The same with REP_CDROM in place of REP_CDROMDRIVE, into its own buffer.
const char* SubstituteRegistryPlaceholders(const char* line);
// Each backslash takes the following byte literally; a final lone backslash disappears.
// Static buffer; null for a text longer than 511 bytes.
const char* UnescapeBackslashes(const char* text);

// key=value, split at the first "=" after substitution. key and value need
// kSectionLineBuffer bytes each. 0 when filled; -1 with nothing written when the line has
// no "=" or would not fit once substituted.
int SplitIniLine(const char* line, char* key, char* value);
// "name"="value" in registry-export escaping, unescaped then substituted. name and value need
// kSectionLineBuffer bytes each. 0 when filled; -1 with nothing written when there is no
// name/value separator or the line would not fit once substituted.
int SplitRegLine(const char* line, char* name, char* value);

// Empties all four lists (tools and tests that read more than one file).
void ClearAllSectionLists();
