// build: packs a game folder into a setup program (stub + archive + trailer) or a side-car.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "archive/archive_format.h"
#include "archive/archive_reader.h"
#include "archive/archive_writer.h"
#include "archive/install_list.h"
#include "commands.h"
#include "common/cp932.h"
#include "pack_common.h"
#include "platform.h"

namespace {

struct BuildOptions {
  std::string source;
  std::string output;
  std::string stub;
  std::string sidecar;
  std::string uninstaller;
  unsigned jobs = 0;
  bool quiet = false;
};

// One compressed file waiting to be written, filled by a worker.
struct Slot {
  bool done = false;
  bool ok = false;
  std::uint64_t size = 0;
  std::vector<unsigned char> stream;
  std::string error;
};

bool CompressEntry(const PackEntry& entry, Slot* slot) {
  if (entry.source_path.empty()) {
    slot->size = entry.data.size();
    if (!CompressStream(entry.data.data(), entry.data.size(), &slot->stream)) {
      slot->error = "compression failed";
      return false;
    }
    return true;
  }
  FilePtr in(OpenFile(entry.source_path, "rb"));
  if (!in) {
    slot->error = "cannot open " + entry.source_path;
    return false;
  }
  if (!CompressFile(in.get(), &slot->stream, &slot->size)) {
    slot->error = "cannot read " + entry.source_path;
    return false;
  }
  return true;
}

class Progress {
 public:
  Progress(bool enabled, std::size_t total) : enabled_(enabled), total_(total) {}
  void Show(std::size_t done, std::uint64_t bytes, const std::string& name) {
    if (!enabled_) return;
    std::printf("\r\033[K[%zu/%zu] %.1f MB  %s", done, total_, bytes / 1048576.0, name.c_str());
    std::fflush(stdout);
  }
  void Finish() {
    if (!enabled_) return;
    std::printf("\r\033[K");
    std::fflush(stdout);
  }

 private:
  bool enabled_;
  std::size_t total_;
};

// Writes the entries in order while workers compress ahead of the writer. Each file is
// its own zlib stream, so the bytes do not depend on how many workers ran.
bool WriteEntries(std::FILE* out, const std::vector<PackEntry>& entries, std::int64_t start, unsigned jobs,
                  Progress& progress, std::string* error) {
  std::vector<Slot> slots(entries.size());
  std::mutex mutex;
  std::condition_variable changed;
  std::size_t written = 0;        // entries handed to the file so far
  std::atomic<std::size_t> next{0};
  bool stop = false;
  // Workers stay within a window ahead of the writer, so memory holds a few files at most.
  const std::size_t window = std::max<std::size_t>(2 * jobs, 4);

  auto worker = [&] {
    for (;;) {
      const std::size_t i = next.fetch_add(1);
      if (i >= entries.size()) return;
      {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return stop || i < written + window; });
        if (stop) return;
      }
      Slot slot;
      if (!entries[i].folder) slot.ok = CompressEntry(entries[i], &slot);
      else slot.ok = true;
      std::lock_guard<std::mutex> lock(mutex);
      slot.done = true;
      slots[i] = std::move(slot);
      changed.notify_all();
    }
  };
  std::vector<std::thread> threads;
  for (unsigned t = 0; t < jobs; ++t) threads.emplace_back(worker);

  bool ok = true;
  std::int64_t offset = start;
  for (std::size_t i = 0; i < entries.size() && ok; ++i) {
    Slot slot;
    {
      std::unique_lock<std::mutex> lock(mutex);
      changed.wait(lock, [&] { return slots[i].done; });
      slot = std::move(slots[i]);
    }
    const PackEntry& entry = entries[i];
    if (!slot.ok) {
      *error = entry.display + ": " + slot.error;
      ok = false;
    } else if (entry.folder) {
      ok = WriteFolderEntry(out, entry.name);
      offset += entry.name.size() + 1 + kEntryFixedBytes;
    } else if (slot.size > static_cast<std::uint64_t>(kArchiveLimit)) {
      *error = entry.display + ": larger than 2 GiB";
      ok = false;
    } else {
      ok = WriteFileEntry(out, entry.name, static_cast<std::int32_t>(slot.size), entry.filetime, slot.stream);
      offset += entry.name.size() + 1 + kEntryFixedBytes + kTimeBytes + slot.stream.size();
      if (!ok) *error = "write error";
    }
    if (ok && offset + 8 > kArchiveLimit) {
      *error = "the archive would reach 2 GiB";
      ok = false;
    }
    progress.Show(i + 1, static_cast<std::uint64_t>(offset - start), entry.display);
    std::lock_guard<std::mutex> lock(mutex);
    written = i + 1;
    if (!ok) stop = true;
    changed.notify_all();
  }
  for (std::thread& t : threads) t.join();
  return ok;
}

bool HasTopLevelInstallEnv(const PackTree& tree) {
  for (const PackEntry& entry : tree.entries) {
    if (!entry.folder && LowerMb(entry.name) == "install.env") return true;
  }
  return false;
}

bool CopyStub(const std::string& stub, std::FILE* out, std::int64_t* size, std::string* error) {
  FilePtr in(OpenFile(stub, "rb"));
  if (!in) {
    *error = stub + ": cannot open the stub";
    return false;
  }
  std::vector<char> buffer(1 << 20);
  *size = 0;
  while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), in.get())) {
    if (std::fwrite(buffer.data(), 1, n, out) != n) {
      *error = "write error";
      return false;
    }
    *size += static_cast<std::int64_t>(n);
  }
  if (*size < 2 || *size > kArchiveLimit) {
    *error = stub + ": not a usable stub";
    return false;
  }
  return true;
}

bool IsTopLevel(const PackEntry& entry, const char* name) { return !entry.folder && LowerMb(entry.name) == LowerMb(name); }

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

int RunBuild(const BuildOptions& options) {
  if (options.stub.empty() == options.sidecar.empty()) {
    std::fprintf(stderr, "build: give either -o OUT --stub STUB or --sidecar OUT\n");
    return 2;
  }
  if (!options.stub.empty() && options.output.empty()) {
    std::fprintf(stderr, "build: --stub needs -o OUT\n");
    return 2;
  }
  PackTree tree;
  std::string error;
  if (!ScanTree(options.source, &tree, &error)) {
    std::fprintf(stderr, "build: %s\n", error.c_str());
    return 1;
  }
  if (!HasTopLevelInstallEnv(tree)) {
    std::fprintf(stderr, "build: %s has no install.env at its top level; the setup program cannot start without it\n",
                 options.source.c_str());
    return 1;
  }
  for (const NamedBuildStep& step : BuildSteps()) {
    if (!step.step(tree, &error)) {
      std::fprintf(stderr, "build: %s: %s\n", step.name, error.c_str());
      return 1;
    }
  }
  DropTreeInstallList(&tree);
  if (!AddUninstaller(options, &tree, &error)) {
    std::fprintf(stderr, "build: %s\n", error.c_str());
    return 1;
  }
  for (const std::string& warning : tree.warnings) std::fprintf(stderr, "warning: %s\n", warning.c_str());

  for (const PackEntry& entry : tree.entries) {
    if (const char* problem = CheckEntryName(entry.name, entry.folder)) {
      std::fprintf(stderr, "build: %s: %s\n", entry.display.c_str(), problem);
      return 1;
    }
  }
  // Windows folds letter case, and a few Unicode characters share one CP932 code.
  {
    std::vector<std::pair<std::string, const PackEntry*>> lowered;
    for (const PackEntry& entry : tree.entries) lowered.emplace_back(LowerMb(entry.name), &entry);
    std::sort(lowered.begin(), lowered.end());
    for (std::size_t i = 1; i < lowered.size(); ++i) {
      if (lowered[i].first == lowered[i - 1].first) {
        std::fprintf(stderr, "build: %s and %s would be the same file on Windows\n",
                     lowered[i - 1].second->display.c_str(), lowered[i].second->display.c_str());
        return 1;
      }
    }
  }
  // Order by the CP932 names, the way the program will meet them.
  std::vector<PlannedEntry> plan;
  for (const PackEntry& entry : tree.entries) plan.push_back({entry.name, entry.folder});
  {
    // The newest time of the tree, so the same tree always packs to the same bytes.
    PackEntry list;
    for (const PackEntry& entry : tree.entries) list.filetime = std::max(list.filetime, entry.filetime);
    const std::string text = OrderWithInstallList(&plan);
    list.name = list.display = kInstallListName;
    list.data.assign(text.begin(), text.end());
    list.size = list.data.size();
    tree.entries.push_back(std::move(list));
  }
  std::vector<PackEntry> ordered;
  ordered.reserve(tree.entries.size());
  {
    std::vector<std::size_t> by_name(tree.entries.size());
    for (std::size_t i = 0; i < by_name.size(); ++i) by_name[i] = i;
    auto name_of = [&](std::size_t i) -> const std::string& { return tree.entries[i].name; };
    std::sort(by_name.begin(), by_name.end(), [&](std::size_t a, std::size_t b) { return name_of(a) < name_of(b); });
    std::vector<std::size_t> order;
    for (const PlannedEntry& p : plan) {
      order.push_back(*std::lower_bound(by_name.begin(), by_name.end(), p.name,
                                        [&](std::size_t i, const std::string& n) { return name_of(i) < n; }));
    }
    for (std::size_t i : order) ordered.push_back(std::move(tree.entries[i]));
  }
  const std::string unreachable = FindUnreachableSetupFile(plan);
  if (!unreachable.empty()) {
    std::fprintf(stderr,
                 "build: %s lies inside a folder but its name contains \"install.env\", \"insttscr.rct\" or "
                 "\".txt\": the start-up pass would try to unpack it into a folder it never creates. Rename it, "
                 "move it to the top level, or add a sub-folder (two levels deep) so that the pass stops before it.\n",
                 Cp932ToUtf8(unreachable).c_str());
    return 1;
  }

  const std::string target = options.stub.empty() ? options.sidecar : options.output;
  const std::string temp = target + ".part";
  FilePtr out(OpenFile(temp, "wb"));
  if (!out) {
    std::fprintf(stderr, "build: cannot create %s\n", temp.c_str());
    return 1;
  }
  std::int64_t start = 0;
  bool ok = options.stub.empty() || CopyStub(options.stub, out.get(), &start, &error);
  unsigned jobs = options.jobs ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
  Progress progress(!options.quiet && ProgressWanted(), ordered.size());
  ok = ok && WriteEntries(out.get(), ordered, start, jobs, progress, &error);
  progress.Finish();
  ok = ok && WriteEndMarker(out.get());
  if (ok && !options.stub.empty()) ok = WriteTrailer(out.get(), static_cast<std::uint32_t>(start));
  if (ok && std::fflush(out.get()) != 0) error = "write error", ok = false;
  const long size = std::ftell(out.get());
  if (std::fclose(out.release()) != 0 && ok) error = "write error", ok = false;
  if (ok && !RenameFile(temp, target)) error = "cannot create " + target, ok = false;
  if (!ok) {
    RemoveFile(temp);
    std::fprintf(stderr, "build: %s\n", error.c_str());
    return 1;
  }
  if (!options.stub.empty()) MakeExecutable(target);
  if (!options.quiet) {
    std::printf("%s: %zu entries, %ld bytes%s\n", target.c_str(), ordered.size(), size,
                options.stub.empty() ? " (side-car)" : "");
  }
  return 0;
}

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
  cmd->add_option("-j,--jobs", options->jobs, "Compression threads (default: every core)");
  cmd->add_flag("-q,--quiet", options->quiet, "No progress line or summary");
  cmd->callback([options, &exit_code] { exit_code = RunBuild(*options); });
}

const bool registered = RegisterCommand(&SetUpBuild);

}  // namespace
