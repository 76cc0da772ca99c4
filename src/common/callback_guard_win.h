// The boundary between our code and the system's frames. No C++ exception may unwind through
// a window procedure, a dialog procedure or another function the system calls back: the
// i686 unwinder cannot pass the system's frames and the program would end without a word.
// Every such callback runs its body through GuardCallback, which turns an escaped exception
// into one error box and the program's fatal end.
#pragma once

#include <utility>

constexpr char kOutOfMemoryText[] = "メモリ容量が不足しています。処理を中断します。";
constexpr char kUnexpectedErrorText[] = "予期しないエラーが発生しました。処理を中断します。";

// What the program undoes before that end (Panvester removes its work folder); none by default.
void SetFatalCleanup(void (*cleanup)());

// Only inside a catch handler: shows kOutOfMemoryText for std::bad_alloc and
// kUnexpectedErrorText for anything else in the error box, runs the cleanup and ends the
// process with -1 (the exit hooks run).
[[noreturn]] void EndOnEscapedException() noexcept;

template <typename Body>
auto GuardCallback(Body&& body) noexcept -> decltype(std::forward<Body>(body)()) {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    EndOnEscapedException();
  }
}
