// UnInst.exe runs from a copy in the temporary folder, so that the install folder, its own
// included, can be removed: the program started from the install folder asks, copies itself,
// starts the copy with these arguments and ends; the copy waits for it, does the work, and
// leaves a batch behind that deletes the copy once it has ended.
#pragma once

#include <string>
#include <string_view>

struct HandOver {
  unsigned long parent_id = 0;  // the process the copy waits for
  std::string install_folder;
};

// /handover <id> "<install folder>"
std::string FormatHandOverArguments(const HandOver& hand_over);
// False for anything but exactly that form (the copy is then treated as started by hand).
bool ParseHandOverArguments(std::string_view arguments, HandOver* hand_over);

// The copy's file name in the temporary folder, made unique by the original's process id.
std::string TemporaryCopyName(unsigned long id);

// The batch that deletes `program` as soon as it has ended (trying for about a minute), and
// then itself. Lines end in "\n"; text mode turns them into CR LF.
std::string SelfDeletingBatchText(std::string_view program, std::string_view batch);
