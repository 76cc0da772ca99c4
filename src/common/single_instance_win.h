// One running instance per product: a named mutex owned by the process until it ends.
#pragma once

enum class InstanceStatus { kOnly, kAlreadyRunning, kNoMutex };

// Shown when the mutex cannot be made, most often because the title holds a "\", which
// mutex names cannot contain: without the check a second copy could run unnoticed.
constexpr char kNoInstanceCheckText[] =
    "[ %s ] の起動確認ができませんでした。\nTITLEBARに「\\」が含まれていないか確認して下さい。";

// Creates the mutex `name` owned by the caller. kAlreadyRunning when another process holds
// it: the box "[ <name> ] は既に起動中です" with the caption has been shown then. kNoMutex
// when none could be made: the error box kNoInstanceCheckText has been shown then. The
// handle stays open until the process ends.
InstanceStatus TakeSingleInstance(const char* name, const char* caption);

// For a process that another instance hands its work to: opens the same mutex and waits up
// to `timeout_ms` for it to be released or abandoned by the instance that is ending. False
// (nothing shown) when it stays taken.
bool InheritSingleInstance(const char* name, unsigned long timeout_ms);
