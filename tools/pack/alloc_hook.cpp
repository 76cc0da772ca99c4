// Test hook (host build only): with PANVESTER_PACK_ALLOC_LIMIT=N in the environment, every
// allocation of N bytes or more fails as if memory had run out, in any thread. The tests
// use it to prove that running out of memory ends in a message and exit code 1.
#include <cstdlib>
#include <new>

namespace {

std::size_t AllocationLimit() {
  static const std::size_t limit = [] {
    const char* text = std::getenv("PANVESTER_PACK_ALLOC_LIMIT");
    return text && *text ? static_cast<std::size_t>(std::strtoull(text, nullptr, 10)) : static_cast<std::size_t>(-1);
  }();
  return limit;
}

}  // namespace

void* operator new(std::size_t size) {
  if (size >= AllocationLimit()) throw std::bad_alloc();
  for (;;) {
    if (void* p = std::malloc(size ? size : 1)) return p;
    const std::new_handler handler = std::get_new_handler();
    if (!handler) throw std::bad_alloc();
    handler();
  }
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
