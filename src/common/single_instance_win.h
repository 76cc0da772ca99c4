// One running instance per product: a named mutex owned by the process until it ends.
#pragma once

enum class InstanceStatus { kOnly, kAlreadyRunning, kNoMutex };

// Creates the mutex `name` owned by the caller. kAlreadyRunning when another process holds
// it: the box "[ <name> ] は既に起動中です" with the caption has been shown then. kNoMutex
// when none could be made (nothing shown). The handle stays open until the process ends.
InstanceStatus TakeSingleInstance(const char* name, const char* caption);

// For a process that another instance hands its work to: opens the same mutex and waits up
// to `timeout_ms` for it to be released or abandoned by the instance that is ending. False
// (nothing shown) when it stays taken.
bool InheritSingleInstance(const char* name, unsigned long timeout_ms);
