#include "common/callback_guard_win.h"

#include <cstdlib>
#include <new>

#include "common/message_win.h"

namespace {

void (*g_cleanup)() = nullptr;

}  // namespace

void SetFatalCleanup(void (*cleanup)()) { g_cleanup = cleanup; }

void EndOnEscapedException() noexcept {
  const char* text = kUnexpectedErrorText;
  try {
    throw;
  } catch (const std::bad_alloc&) {
    text = kOutOfMemoryText;
  } catch (...) {
  }
  ErrorBox("%s", text);
  // The cleanup may run out of memory in turn; the end comes all the same.
  try {
    if (g_cleanup) g_cleanup();
  } catch (...) {
  }
  std::exit(-1);
}
