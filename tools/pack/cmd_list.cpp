// list: the entries of a setup program or side-car with their sizes and times.
#include <cstdio>
#include <string>

#include "archive/archive_format.h"
#include "archive/archive_reader.h"
#include "archive/entry_iterator.h"
#include "common/byte_order.h"
#include "commands.h"
#include "pack_common.h"

namespace {

int RunList(const std::string& path) {
  LocatedArchive archive;
  std::string error;
  ArchiveContainer container;
  if (!OpenAnyArchive(path, &archive, &error, &container)) {
    std::fprintf(stderr, "list: %s\n", error.c_str());
    return 1;
  }
  FolderVolumeOpener volumes(path);
  ArchiveStream in(archive, &volumes, VolumeUse::kChecked);
  std::printf("%12s %12s %6s  %-19s  %s\n", "size", "compressed", "ratio", "modified (UTC)", "name");
  std::uint64_t total = 0, total_packed = 0;
  std::size_t files = 0, folders = 0;
  EntryIterator entries(in);
  for (;;) {
    const HeaderStatus status = entries.Next();
    const EntryHeader& entry = entries.entry();
    if (status == HeaderStatus::kEnd) break;
    if (status != HeaderStatus::kEntry) {
      std::fprintf(stderr, "list: %s\n",
                   status == HeaderStatus::kShort ? StreamEndProblem(in).c_str() : "malformed entry name");
      return 1;
    }
    const std::string name = Cp932ToUtf8(entry.name);
    if (entry.IsFolder()) {
      ++folders;
      std::printf("%12s %12s %6s  %-19s  %s\n", "<folder>", "", "", "", name.c_str());
      continue;
    }
    unsigned char stamp[8];
    if (in.Read(stamp, 8) != 8 || !in.Skip(entry.packed)) {
      if (!in.bad_volume().empty()) {
        std::fprintf(stderr, "list: %s\n", StreamEndProblem(in).c_str());
      } else {
        std::fprintf(stderr, "list: %s: its data runs past the end of the archive\n", name.c_str());
      }
      return 1;
    }
    const std::uint64_t filetime = LoadU64(stamp);
    const double ratio = entry.size > 0 ? 100.0 * entry.packed / entry.size : 100.0;
    std::printf("%12d %12u %5.1f%%  %-19s  %s\n", entry.size, entry.packed, ratio, FormatFiletime(filetime).c_str(),
                name.c_str());
    ++files;
    total += static_cast<std::uint64_t>(entry.size);
    total_packed += entry.packed;
  }
  std::printf("%12llu %12llu %5.1f%%  %zu files, %zu folders\n", static_cast<unsigned long long>(total),
              static_cast<unsigned long long>(total_packed), total ? 100.0 * total_packed / total : 100.0, files,
              folders);
  const std::string signature = SignatureSummary(container);
  if (!signature.empty()) std::printf("%s\n", signature.c_str());
  return 0;
}

}  // namespace

void SetUpList(CLI::App& app, int& exit_code) {
  auto path = std::make_shared<std::string>();
  CLI::App* cmd = app.add_subcommand("list", "List the entries of a setup program or side-car");
  cmd->add_option("archive", *path, "Setup program (with trailer) or instdat.arc")->required()->check(ExistingFile());
  cmd->callback([path, &exit_code] { exit_code = RunList(*path); });
}
