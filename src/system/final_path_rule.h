// Whether an open handle holds the very path that was opened. A folder on the way can be
// swapped for a link at any time, and some systems follow a link whatever the open asked, so
// an elevated program decides by what the handle says: the final path the system gives for
// it, and the volume it lies on. Paths in UTF-16: the system's folders may have no CP932 form.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct HandleFacts {
  bool final_path_known = false;  // false: the system gave none (or has no such call)
  std::u16string final_path;      // as the system spells it, "\\?\" or "\\?\UNC\" in front
  bool volumes_known = false;     // both serial numbers below could be read
  std::uint32_t handle_volume = 0;
  std::uint32_t root_volume = 0;  // of the opened path's root
};

// True only when the final path is `path` (letter case aside) and, where both are known, the
// handle's volume is the one of the path's root. No final path is never a match.
bool HandleIsAtPath(std::u16string_view path, const HandleFacts& facts);

// The root whose volume counts: "X:\" or "\\server\share\"; empty for any other form.
std::u16string PathRoot(std::u16string_view path);
