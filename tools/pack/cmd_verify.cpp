// verify: inflates every entry without writing anything, checks each stream's Adler-32,
// the stored sizes, the folder order and what the start-up pass will find.
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "archive/archive_reader.h"
#include "archive/archive_walk.h"
#include "archive/entry_iterator.h"
#include "archive/install_list.h"
#include "commands.h"
#include "common/cp932.h"
#include "common/setup_names.h"
#include "pack_common.h"
#include "platform.h"

namespace {

constexpr char kRoot[] = ".";

// Stands in for the file system: a file may only go into a folder created before it,
// the way CreateFileA fails on Windows otherwise.
class VerifySink : public WalkSink {
 public:
  std::vector<std::int64_t> written;     // inflated bytes per file, in order
  std::vector<std::string> opened;       // names relative to the root
  std::string list_text;                 // the inflated UnInst.lst, when there is one
  bool has_list = false;
  void CreateFolder(const std::string& path) override {
    // The separator is found character by character: the byte before it may be a trail byte
    // with a lead byte's value ("像" is 0x91 0x9C), which StripBackslash would take for a lead.
    std::string folder = LowerMb(path);
    const std::size_t last = FindLastCharMb(folder, '\\');
    if (last != std::string::npos && last + 1 == folder.size()) folder.pop_back();
    folders_.insert(folder);
  }
  bool OpenOutput(const std::string& path) override {
    const std::size_t slash = FindLastCharMb(path, '\\');
    const std::string parent = LowerMb(path.substr(0, slash));
    if (parent != kRoot && !folders_.count(parent)) return false;
    opened.push_back(path.substr(sizeof kRoot));
    written.push_back(0);
    capturing_ = LowerMb(opened.back()) == LowerMb(kInstallListName);
    has_list = has_list || capturing_;
    return true;
  }
  bool WriteOutput(const unsigned char* data, std::size_t size) override {
    written.back() += static_cast<std::int64_t>(size);
    if (capturing_) list_text.append(reinterpret_cast<const char*>(data), size);
    return true;
  }
  bool CloseOutput() override { return true; }
  void SetWriteTime(const std::string&, std::uint64_t) override {}

 private:
  std::set<std::string> folders_;
  bool capturing_ = false;
};

// The uninstaller removes exactly what its list names: the list must be the archive's
// entries, in archive order, itself included.
int CheckInstallList(const VerifySink& full, const std::vector<PlannedEntry>& archived, std::string* summary) {
  if (!full.has_list) {
    std::fprintf(stderr, "verify: no top-level %s: UnInst.exe will not know what to remove\n", kInstallListName);
    return 1;
  }
  std::vector<PlannedEntry> listed;
  std::string error;
  if (!ParseInstallList(full.list_text, &listed, &error)) {
    std::fprintf(stderr, "verify: %s: %s\n", kInstallListName, error.c_str());
    return 1;
  }
  for (std::size_t i = 0; i < listed.size() || i < archived.size(); ++i) {
    const bool same = i < listed.size() && i < archived.size() && listed[i].name == archived[i].name &&
                      listed[i].folder == archived[i].folder;
    if (!same) {
      std::fprintf(stderr, "verify: %s differs from the archive at entry %zu (%s)\n", kInstallListName, i + 1,
                   i < archived.size() ? Cp932ToUtf8(archived[i].name).c_str() : "past the archive's end");
      return 1;
    }
  }
  bool has_uninstaller = false;
  for (const PlannedEntry& entry : archived) {
    has_uninstaller = has_uninstaller || (!entry.folder && LowerMb(entry.name) == LowerMb(kUninstallerName));
  }
  if (!has_uninstaller) {
    std::fprintf(stderr, "warning: no top-level %s: the uninstall shortcut and entry will point to nothing\n",
                 kUninstallerName);
  }
  *summary = std::string("; ") + kInstallListName + " lists all " + std::to_string(listed.size()) + " entries" +
             (has_uninstaller ? std::string(", ") + kUninstallerName + " present" : std::string());
  return 0;
}

bool Fail(const LocatedArchive& archive, const WalkOutcome& outcome, const char* pass) {
  if (outcome.error == WalkError::kVolumeBad) {
    std::fprintf(stderr, "verify: %s%s: %s\n", pass, outcome.volume.c_str(), WalkErrorText(outcome.error));
    return false;
  }
  std::fprintf(stderr, "verify: %s%s: %s (entry at byte %lld)\n", pass,
               outcome.entry_name.empty() ? "end of archive" : Cp932ToUtf8(outcome.entry_name).c_str(),
               WalkErrorText(outcome.error), static_cast<long long>(archive.start + outcome.entry_offset));
  return false;
}

int RunVerify(const std::string& path) {
  LocatedArchive archive;
  std::string error;
  ArchiveContainer container;
  if (!OpenAnyArchive(path, &archive, &error, &container)) {
    std::fprintf(stderr, "verify: %s\n", error.c_str());
    return 1;
  }
  FolderVolumeOpener volumes(path);

  // Stored sizes first, to compare with what the streams inflate to.
  std::vector<std::pair<std::string, std::int32_t>> stored;
  std::vector<PlannedEntry> archived;
  // A header or size that does not hold ends this listing; the walk below names the fault.
  {
    // Headers only: the walk below checks each volume before reading it.
    ArchiveStream in(archive, &volumes, VolumeUse::kUnchecked);
    EntryIterator entries(in);
    while (entries.Next() == HeaderStatus::kEntry) {
      const EntryHeader& entry = entries.entry();
      archived.push_back({entry.name, entry.IsFolder()});
      if (entry.IsFolder()) continue;
      stored.emplace_back(entry.name, entry.size);
      if (!entries.SkipData()) break;
    }
  }

  VerifySink full;
  ArchiveStream full_stream(archive, &volumes, VolumeUse::kChecked);
  const WalkOutcome outcome = WalkEntries(full_stream, kRoot, WalkPass::kFull, full);
  if (!outcome.Ok()) {
    Fail(archive, outcome, "");
    return 1;
  }
  int problems = 0;
  for (std::size_t i = 0; i < full.written.size() && i < stored.size(); ++i) {
    if (full.written[i] != stored[i].second) {
      std::fprintf(stderr, "verify: %s: stored size %d, inflates to %lld bytes\n",
                   Cp932ToUtf8(stored[i].first).c_str(), stored[i].second, static_cast<long long>(full.written[i]));
      ++problems;
    }
  }

  // The start-up pass creates no folders and must find install.env.
  // It reads only the first volume, as the program's does.
  VerifySink setup;
  ArchiveStream setup_stream(archive, &volumes, VolumeUse::kFirstOnly);
  const WalkOutcome setup_outcome = WalkEntries(setup_stream, kRoot, WalkPass::kSetup, setup);
  if (!setup_outcome.Ok()) {
    Fail(archive, setup_outcome, "start-up pass: ");
    return 1;
  }
  bool has_env = false;
  for (const std::string& name : setup.opened) has_env = has_env || LowerMb(name) == kSettingsFileName;
  if (!has_env) {
    std::fprintf(stderr, "verify: the start-up pass does not reach a top-level install.env\n");
    ++problems;
  }
  std::string list_summary;
  problems += CheckInstallList(full, archived, &list_summary);
  if (problems) return 1;
  std::printf("%s: %zu files OK, %zu of them unpacked at start-up%s\n", path.c_str(), full.written.size(),
              setup.opened.size(), list_summary.c_str());
  const std::string signature = SignatureSummary(container);
  if (!signature.empty()) std::printf("%s\n", signature.c_str());
  return 0;
}

}  // namespace

void SetUpVerify(CLI::App& app, int& exit_code) {
  auto path = std::make_shared<std::string>();
  CLI::App* cmd = app.add_subcommand("verify", "Check every entry of a setup program or side-car");
  cmd->add_option("archive", *path, "Setup program (with trailer) or instdat.arc")->required()->check(ExistingFile());
  cmd->callback([path, &exit_code] { exit_code = RunVerify(*path); });
}
