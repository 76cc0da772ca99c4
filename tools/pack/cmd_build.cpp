// build: packs a game folder into a setup program (stub + archive + trailer) or a side-car.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "archive/archive_reader.h"
#include "archive/archive_writer.h"
#include "archive/install_list.h"
#include "archive/volume_set.h"
#include "build_steps.h"
#include "build_write.h"
#include "commands.h"
#include "common/cp932.h"
#include "common/setup_names.h"
#include "pack_common.h"
#include "platform.h"

namespace {

bool IsTopLevel(const PackEntry& entry, const char* name) {
  return !entry.folder && LowerMb(entry.name) == LowerMb(name);
}

struct BuildOptions {
  std::string source;
  std::string output;
  std::string stub;
  std::string sidecar;
  std::string uninstaller;
  unsigned jobs = 0;
  bool quiet = false;
  std::string volume_size;  // as given; empty for one file
  std::int64_t volume_bytes = 0;
};

// A volume cannot be smaller than this: the first holds the stub and every setup file.
constexpr std::int64_t kSmallestVolume = 1 << 20;
// Authenticode's offsets and sizes are 32-bit: a larger setup cannot carry a signature.
constexpr std::int64_t kSignableLimit = 0xFFFFFFFFll;

// "2G", "700M", "1536K" (units of 1024, an optional "iB" or "B" after them) or bytes.
bool ParseSize(const std::string& text, std::int64_t* bytes) {
  std::size_t used = 0;
  std::int64_t value = 0;
  while (used < text.size() && text[used] >= '0' && text[used] <= '9') {
    if (value > (INT64_MAX - 9) / 10) return false;
    value = value * 10 + (text[used++] - '0');
  }
  if (used == 0) return false;
  std::string unit = text.substr(used);
  for (char& c : unit) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  int shift = 0;
  if (!unit.empty() && unit != "B") {
    const std::size_t at = std::string("KMG").find(unit[0]);
    const std::string rest = unit.substr(1);
    if (at == std::string::npos || (rest != "" && rest != "B" && rest != "IB")) return false;
    shift = 10 * static_cast<int>(at + 1);
  }
  if (value > (INT64_MAX >> shift)) return false;
  *bytes = value << shift;
  return true;
}

// The folder of a path, with its separator; empty for a bare name.
std::string FolderOf(const std::string& path) {
  const std::filesystem::path parent = PathFromUtf8(path).parent_path();
  if (parent.empty()) return std::string();
  return Utf8FromPath(parent / "");
}

bool HasTopLevelInstallEnv(const PackTree& tree) {
  for (const PackEntry& entry : tree.entries) {
    if (IsTopLevel(entry, kSettingsFileName)) return true;
  }
  return false;
}

// The uninstaller every installation points to (Start menu, the system's list of programs):
// the tree's own, else the one given, else the one built beside the stub.
bool AddUninstaller(const BuildOptions& options, PackTree* tree, std::string* error) {
  for (const PackEntry& entry : tree->entries) {
    if (IsTopLevel(entry, kUninstallerName)) return true;
  }
  std::string path = options.uninstaller;
  std::error_code ec;
  if (path.empty() && !options.stub.empty()) {
    const std::filesystem::path beside = PathFromUtf8(options.stub).parent_path() / kUninstallerName;
    if (std::filesystem::is_regular_file(beside, ec)) path = Utf8FromPath(beside);
  }
  if (path.empty()) {
    tree->warnings.push_back(std::string("no ") + kUninstallerName +
                             " in the tree, beside the stub or given with --uninstaller: the uninstall shortcut "
                             "and entry will point to a program that is not there");
    return true;
  }
  PackEntry entry;
  entry.name = entry.display = kUninstallerName;
  entry.source_path = path;
  entry.size = std::filesystem::file_size(PathFromUtf8(path), ec);
  if (ec || !GetFileWriteTime(path, &entry.filetime)) {
    *error = path + ": cannot read the uninstaller";
    return false;
  }
  tree->entries.push_back(std::move(entry));
  return true;
}

// The list is always made here, from the final order; one in the tree would be stale.
void DropTreeInstallList(PackTree* tree) {
  for (auto it = tree->entries.begin(); it != tree->entries.end(); ++it) {
    if (IsTopLevel(*it, kInstallListName)) {
      tree->warnings.push_back(it->display + " in the tree is replaced by the list build makes");
      tree->entries.erase(it);
      return;
    }
  }
}

// The steps over the scanned tree, in the order they run.
constexpr NamedBuildStep kBuildSteps[] = {{"title picture", TitlePictureStep}, {"lint", LintStep}};

bool HasTitlePicture(const std::vector<PackEntry>& entries) {
  for (const PackEntry& entry : entries) {
    if (IsTopLevel(entry, kTitlePictureName)) return true;
  }
  return false;
}

// Step 1, scan: the tree as it will ship, completed by the build steps and the uninstaller,
// without the tree's own UnInst.lst.
bool ScanStep(const BuildOptions& options, PackTree* tree, std::string* error) {
  if (!ScanTree(options.source, tree, error)) return false;
  if (!HasTopLevelInstallEnv(*tree)) {
    *error = options.source + " has no " + kSettingsFileName + " at its top level; the setup program cannot start without it";
    return false;
  }
  for (const NamedBuildStep& step : kBuildSteps) {
    if (!step.step(*tree, error)) {
      *error = std::string(step.name) + ": " + *error;
      return false;
    }
  }
  DropTreeInstallList(tree);
  return AddUninstaller(options, tree, error);
}

// Step 2, check: every name one the program may write, and no two that Windows would
// take for the same file.
bool CheckStep(const PackTree& tree, std::string* error) {
  for (const PackEntry& entry : tree.entries) {
    if (!entry.folder && entry.size > static_cast<std::uint64_t>(kEntryLimit)) {
      *error = entry.display + ": " + std::to_string(entry.size) + " bytes; a file of 2 GiB (" +
               std::to_string(kEntryLimit + 1) + " bytes) or more cannot be packed: an entry holds at most " +
               std::to_string(kEntryLimit) + " bytes";
      return false;
    }
    if (const char* problem = CheckEntryName(entry.name, entry.folder)) {
      *error = entry.display + ": " + problem;
      return false;
    }
  }
  // Windows folds letter case, and a few Unicode characters share one CP932 code.
  std::vector<std::pair<std::string, const PackEntry*>> lowered;
  for (const PackEntry& entry : tree.entries) lowered.emplace_back(LowerMb(entry.name), &entry);
  std::sort(lowered.begin(), lowered.end());
  for (std::size_t i = 1; i < lowered.size(); ++i) {
    if (lowered[i].first == lowered[i - 1].first) {
      *error = lowered[i - 1].second->display + " and " + lowered[i].second->display + " would be the same file on Windows";
      return false;
    }
  }
  return true;
}

// Step 3, order: the entries in the order the program will meet them (by their CP932
// names), with UnInst.lst made from that order; the start-up pass must reach every setup
// file and the title picture.
bool OrderStep(const BuildOptions& options, PackTree* tree, std::vector<PackEntry>* ordered, std::string* error) {
  std::vector<PlannedEntry> plan;
  for (const PackEntry& entry : tree->entries) plan.push_back({entry.name, entry.folder});
  {
    // The newest time of the tree, so the same tree always packs to the same bytes.
    PackEntry list;
    for (const PackEntry& entry : tree->entries) list.filetime = std::max(list.filetime, entry.filetime);
    // Split into volumes, the setup files go first, so that the first volume holds them all.
    const std::string text = OrderWithInstallList(&plan, options.volume_bytes > 0);
    list.name = list.display = kInstallListName;
    list.data.assign(text.begin(), text.end());
    list.size = list.data.size();
    tree->entries.push_back(std::move(list));
  }
  ordered->reserve(tree->entries.size());
  std::vector<std::size_t> by_name(tree->entries.size());
  for (std::size_t i = 0; i < by_name.size(); ++i) by_name[i] = i;
  auto name_of = [&](std::size_t i) -> const std::string& { return tree->entries[i].name; };
  std::sort(by_name.begin(), by_name.end(), [&](std::size_t a, std::size_t b) { return name_of(a) < name_of(b); });
  std::vector<std::size_t> order;
  for (const PlannedEntry& p : plan) {
    order.push_back(*std::lower_bound(by_name.begin(), by_name.end(), p.name,
                                      [&](std::size_t i, const std::string& n) { return name_of(i) < n; }));
  }
  for (std::size_t i : order) ordered->push_back(std::move(tree->entries[i]));

  const std::string unreachable = FindUnreachableSetupFile(plan);
  if (!unreachable.empty()) {
    *error = Cp932ToUtf8(unreachable) +
             " lies inside a folder but its name contains \"install.env\", \"insttscr.rct\" or \".txt\": the "
             "start-up pass would try to unpack it into a folder it never creates. Rename it, move it to the top "
             "level, or add a sub-folder (two levels deep) so that the pass stops before it.";
    return false;
  }
  if (!HasTitlePicture(*ordered)) {
    *error = options.source +
             " has no title picture at its top level (insttscr.rct, or insttscr.png to convert); the setup program "
             "cannot start without one";
    return false;
  }
  return true;
}

// Step 4, compress and write: into TARGET.part, renamed to TARGET when complete and
// removed otherwise, running out of memory included.
bool WriteStep(const BuildOptions& options, const std::vector<PackEntry>& ordered, const std::string& target,
               WriteResult* result, std::string* error) {
  const std::string temp = target + ".part";
  FilePtr out(OpenFile(temp, "wb"));
  if (!out) {
    *error = "cannot create " + temp;
    return false;
  }
  bool ok = false;
  try {
    const WriteRequest request{options.stub, options.jobs, !options.quiet && ProgressWanted(), options.volume_bytes,
                               FolderOf(target)};
    ok = WriteSetup(request, ordered, out.get(), result, error);
  } catch (const std::bad_alloc&) {
    *error = "out of memory";
  }
  if (std::fclose(out.release()) != 0 && ok) *error = "write error", ok = false;
  if (ok && !RenameFile(temp, target)) *error = "cannot create " + target, ok = false;
  if (!ok) {
    RemoveFile(temp);
    for (const std::string& volume : result->volumes) RemoveFile(volume);
  }
  return ok;
}

int RunBuild(BuildOptions options) {
  if (options.stub.empty() == options.sidecar.empty()) {
    std::fprintf(stderr, "build: give either -o OUT --stub STUB or --sidecar OUT\n");
    return 2;
  }
  if (!options.stub.empty() && options.output.empty()) {
    std::fprintf(stderr, "build: --stub needs -o OUT\n");
    return 2;
  }
  if (!options.volume_size.empty() &&
      (!ParseSize(options.volume_size, &options.volume_bytes) || options.volume_bytes < kSmallestVolume)) {
    std::fprintf(stderr, "build: --volume-size %s: give a size of at least 1M (bytes, or with K, M or G)\n",
                 options.volume_size.c_str());
    return 2;
  }
  PackTree tree;
  std::vector<PackEntry> ordered;
  std::string error;
  const std::string target = options.stub.empty() ? options.sidecar : options.output;
  WriteResult written;
  bool ok = ScanStep(options, &tree, &error);
  if (ok) {
    for (const std::string& warning : tree.warnings) std::fprintf(stderr, "warning: %s\n", warning.c_str());
  }
  ok = ok && CheckStep(tree, &error) && OrderStep(options, &tree, &ordered, &error) &&
       WriteStep(options, ordered, target, &written, &error);
  if (!ok) {
    std::fprintf(stderr, "build: %s\n", error.c_str());
    return 1;
  }
  // Step 5, report.
  if (!options.stub.empty()) MakeExecutable(target);
  // A volume left from an earlier build of more volumes would be shipped by mistake.
  for (int n = kFirstFurtherVolume + static_cast<int>(written.volumes.size()); n <= kLastVolume; ++n) {
    const std::string stale = FolderOf(target) + VolumeName(n);
    std::error_code ec;
    if (!std::filesystem::exists(PathFromUtf8(stale), ec)) break;
    std::fprintf(stderr, "warning: %s is not part of this build (left from an earlier one?): do not ship it\n",
                 stale.c_str());
  }
  if (!options.stub.empty() && written.size > kSignableLimit) {
    std::fprintf(stderr,
                 "warning: %s is %lld bytes, more than the 4 GiB a signature can cover: it cannot be signed; "
                 "split it with --volume-size (e.g. --volume-size 2G)\n",
                 target.c_str(), static_cast<long long>(written.size));
  }
  if (!options.quiet) {
    std::printf("%s: %zu entries, %lld bytes%s\n", target.c_str(), ordered.size(),
                static_cast<long long>(written.size), options.stub.empty() ? " (side-car)" : "");
    for (const std::string& volume : written.volumes) std::printf("%s: further volume\n", volume.c_str());
  }
  return 0;
}

}  // namespace

void SetUpBuild(CLI::App& app, int& exit_code) {
  auto options = std::make_shared<BuildOptions>();
  CLI::App* cmd = app.add_subcommand("build", "Pack a game folder (needs install.env at its top level)");
  cmd->add_option("folder", options->source, "The game folder to pack")->required()->check(ExistingFolder());
  cmd->add_option("-o,--output", options->output, "The setup program to write (with --stub)");
  cmd->add_option("--stub", options->stub, "Panvester.exe to which the archive is appended")
      ->check(ExistingFile());
  cmd->add_option("--sidecar", options->sidecar, "Write a side-car archive (instdat.arc) instead");
  cmd->add_option("--uninstaller", options->uninstaller,
                  "UnInst.exe to ship when the folder has none (default: the one beside --stub)")
      ->check(ExistingFile());
  cmd->add_option("--volume-size", options->volume_size,
                  "Split into volumes of at most SIZE bytes (K, M, G: units of 1024): the setup holds the first, "
                  "instdat.002, instdat.003, ... beside it the rest")
      ->type_name("SIZE");
  cmd->add_option("-j,--jobs", options->jobs, "Compression threads (default: every core)");
  cmd->add_flag("-q,--quiet", options->quiet, "No progress line or summary");
  cmd->callback([options, &exit_code] { exit_code = RunBuild(*options); });
}
