// extract: unpacks a setup program or side-car into a folder, with the program's own
// walk and name rules (nothing lands outside the folder).
#include <cstdio>
#include <string>

#include "archive/archive_walk.h"
#include "commands.h"
#include "host_sink.h"
#include "pack_common.h"

namespace {

// The target is a host path already; the names after it are CP932 and become UTF-8. The
// separators are found in the CP932 form: in UTF-8 the byte before a backslash may look
// like a CP932 lead byte ("像" ends in 0x8F) and hide it.
class ExtractSink : public HostSink {
 public:
  explicit ExtractSink(std::string target) : target_(std::move(target)) {}
  int files = 0;
  void SetWriteTime(const std::string& path, std::uint64_t filetime) override {
    ++files;
    HostSink::SetWriteTime(path, filetime);
  }

 protected:
  std::string ToHost(const std::string& path) override {
    return target_ + Cp932ToUtf8(HostPath(path.substr(target_.size())));
  }

 private:
  std::string target_;
};

int RunExtract(const std::string& archive_path, const std::string& folder, int threads) {
  LocatedArchive archive;
  std::string error;
  if (!OpenAnyArchive(archive_path, &archive, &error)) {
    std::fprintf(stderr, "extract: %s\n", error.c_str());
    return 1;
  }
  MakeFolder(folder);
  ExtractSink sink(folder);
  FolderVolumeOpener volumes(archive_path);
  ArchiveStream stream(archive, &volumes, VolumeUse::kChecked);
  const WalkOutcome outcome = WalkEntries(stream, folder, WalkPass::kFull, sink,
                                          threads == 1 ? WalkThreads::kSingle : WalkThreads::kOverlapped);
  if (outcome.error == WalkError::kVolumeBad) {
    std::fprintf(stderr, "extract: %s: %s\n", outcome.volume.c_str(), WalkErrorText(outcome.error));
    return 1;
  }
  if (!outcome.Ok()) {
    std::fprintf(stderr, "extract: %s: %s (entry at byte %lld)\n",
                 outcome.entry_name.empty() ? "end of archive" : Cp932ToUtf8(outcome.entry_name).c_str(),
                 WalkErrorText(outcome.error), static_cast<long long>(archive.start + outcome.entry_offset));
    return 1;
  }
  std::printf("%d files extracted into %s\n", sink.files, folder.c_str());
  return 0;
}

}  // namespace

void SetUpExtract(CLI::App& app, int& exit_code) {
  auto archive = std::make_shared<std::string>();
  auto folder = std::make_shared<std::string>();
  auto threads = std::make_shared<int>(2);
  CLI::App* cmd = app.add_subcommand("extract", "Unpack a setup program or side-car into a folder");
  cmd->add_option("archive", *archive, "Setup program (with trailer) or instdat.arc")->required()->check(ExistingFile());
  cmd->add_option("folder", *folder, "Target folder (created when missing)")->required();
  cmd->add_option("-j,--threads", *threads, "1: inflate and write on one thread, as older setups did")
      ->check(CLI::Range(1, 2));
  cmd->callback([archive, folder, threads, &exit_code] { exit_code = RunExtract(*archive, *folder, *threads); });
}
