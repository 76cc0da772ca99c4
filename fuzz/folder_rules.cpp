// The install folder rules on arbitrary typed text and settings: whatever comes in, an
// accepted folder fits a path buffer, is absolute on a drive and has no final separator.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/cp932.h"
#include "system/folder_rules.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Fields separated by 0x00: typed text, Windows folder, INSTTO, INSTFOL; one flag byte.
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string_view fields[4];
  for (std::string_view& field : fields) {
    const std::size_t end = input.find('\0');
    field = input.substr(0, end);
    input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
  }
  const int make_fol = !input.empty() && (input[0] & 1);
  const FolderNames names{fields[2], fields[3], make_fol};

  const NormalisedFolder result = NormaliseInstallFolder(fields[0], fields[1], names);
  if (result.verdict == FolderVerdict::kAccepted) {
    Check(result.path.size() <= kPathMaxText);
    Check(!EndsWithBackslash(result.path));
    const std::size_t colon = FindCharMb(result.path, ':');
    if (colon != std::string::npos) {
      Check(colon + 1 < result.path.size() && result.path[colon + 1] == '\\');
    }
    // Levels climb to the whole path and never past it.
    std::string previous;
    for (int level = 1; level <= 300; ++level) {
      const std::string prefix = FolderPrefix(result.path, level);
      Check(prefix.size() >= previous.size() && prefix.size() <= result.path.size());
      if (prefix == result.path) break;
      previous = prefix;
    }
  } else {
    Check(result.path.empty());
  }

  const std::string proposal = ProposeInstallFolder(fields[1], names);
  Check(proposal.size() <= fields[1].size() + fields[2].size() + fields[3].size() + 15);
  const std::string browsed = AppendBrowsedFolder(fields[0], names);
  Check(browsed.size() >= fields[0].size());
  std::string parent;
  if (ParentFolderOf(fields[0], &parent)) Check(parent.size() < fields[0].size());
  const std::string replaced = ReplaceExtension(fields[0], "pif");
  Check(replaced.size() <= fields[0].size() + 4);
  return 0;
}
