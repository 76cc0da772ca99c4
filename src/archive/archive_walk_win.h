// The archive walk as the program runs it: locate the payload beside or inside the running
// executable, walk it into a folder, and end the process on any failure.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the program tidies away before a failed walk ends it (its work folder).
using WalkCleanUp = void (*)();

// pass 0: full pass behind the copy dialog; pass 1: setup pass (setup files only, no
// folders, no window). Returns only on success; every failure shows the read-failure
// message (the allocate service's out-of-memory box instead when memory ran out), calls
// `clean_up` (when not null) and ends the process with -1. An empty target
// fails before anything is read or written. A file of the full pass that another program
// holds gets the retry/cancel box kFileInUseText with its path instead; Cancel there ends the
// walk the same way, without the read-failure message.
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

// The total uncompressed size of the archive's files, from the entry headers only.
// False (and nothing shown) when the archive cannot be located or read.
bool ArchiveUncompressedTotal(std::uint64_t* bytes);
