// UnInst.exe runs from a copy in a fresh private folder of the common application-data
// folder, so that its records folder, its own file included, can be removed: the program
// started from the records folder asks, copies itself, starts the copy with these arguments
// and ends; the copy waits for it, does the work, and leaves a batch behind that deletes the
// copy and its folder once it has ended.
#pragma once

#include <string>
#include <string_view>

struct HandOver {
  unsigned long parent_id = 0;  // the process the copy waits for
  std::string records_folder;
};

// /handover <id> "<records folder>"
std::string FormatHandOverArguments(const HandOver& hand_over);
// False for anything but exactly that form (the copy is then treated as started by hand).
bool ParseHandOverArguments(std::string_view arguments, HandOver* hand_over);

// The copy's file name in its folder, made unique by the original's process id.
std::string TemporaryCopyName(unsigned long id);

// The batch that deletes `program` as soon as it has ended (trying for about a minute), then
// `folder`, the copy's own, and itself (it lies beside the folder: a batch file still being
// read cannot leave a folder empty everywhere). It waits between tries with `pinger`, the system's
// ping.exe named by its full path: nothing is looked up in the current folder or PATH.
// Lines end in "\n"; text mode turns them into CR LF.
std::string SelfDeletingBatchText(std::string_view program, std::string_view batch, std::string_view folder,
                                  std::string_view pinger);
