// The archive walk as the program runs it: locate the payload beside or inside the running
// executable, walk it into a folder, and end the process on any failure.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the program tidies away before a failed walk ends it (its work folder).
using WalkCleanUp = void (*)();

// pass 0: full pass behind the copy dialog, every further volume checked whole before a byte
// of it is read; pass 1: setup pass (setup files only, no folders, no window), which reads the
// first volume alone. Returns only on success. Every failure shows one error box, calls
// `clean_up` (when not null) and ends the process with -1:
//   - a further volume missing, short or not the one recorded:
//     "[instdat.002]が見つからないか、壊れています。" (nothing of it has been written);
//   - a file that cannot be created or written: its path after "ファイルの書き込みに失敗しました。"
//     or, when the disk is full, after "ディスクの空き容量が不足しているため、ファイルを書き込めませんでした。";
//   - memory that ran out: the allocate service's out-of-memory box;
//   - anything else (a damaged archive, none found, an empty target, which fails before
//     anything is read or written): the read-failure message.
// A file of the full pass that another program holds gets the retry/cancel box kFileInUseText
// with its path instead; Cancel there ends the walk the same way, without a further box.
// `copies` (full pass): entries whose bytes are also written, as the walk reads them, to a
// second file, so that what a program running with administrator rights later starts or
// reads is the archive's own, never a file of the install folder that others can change.
struct WalkCopy {
  std::string entry_name;   // a top-level file entry, compared without regard to case
  std::string destination;  // created or replaced; empty: the entry is only looked for
  bool seen = false;        // the archive holds the entry
  bool copied = false;      // its bytes reached the destination whole
};
void WalkArchive(const char* target, int pass, WalkCleanUp clean_up, std::vector<WalkCopy>* copies = nullptr);

// Test seam: called with the path of each file of the full pass once it has been written,
// closed and stamped. Null (the program's own setting) calls nothing.
using WalkFileHook = void (*)(const std::string& path);
void SetWalkFileHook(WalkFileHook hook);

constexpr char kFileInUseText[] =
    "%s\nは他のプログラムが使用中のため書き込めません。\nプログラムを終了してから[再試行]を押して下さい。";

// The total uncompressed size of the archive's files, from the entry headers only (of every
// volume, unchecked), each file rounded up to whole `cluster` bytes. False (and nothing shown)
// when the archive cannot be located or read.
bool ArchiveUncompressedTotal(std::uint64_t* bytes, std::uint64_t cluster = 1);
