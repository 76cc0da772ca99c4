#include "support/setup_builder.h"

#include <windows.h>

#include <cstdio>
#include <map>
#include <memory>

#include <algorithm>

#include "archive/archive_format.h"
#include "archive/archive_writer.h"
#include "archive/entry_names.h"
#include "archive/install_list.h"
#include "archive/sha256_win.h"
#include "archive/volume_set.h"
#include "common/byte_order.h"
#include "image/title_codec.h"
#include "support/wine_test.h"

namespace wt {

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool WriteArchive(std::FILE* out, std::vector<PayloadFile> files, bool setup_files_first = false) {
  std::vector<PlannedEntry> plan;
  for (const PayloadFile& file : files) {
    PlannedEntry entry;
    entry.name = file.name;
    entry.folder = !file.name.empty() && file.name.back() == '\\';
    plan.push_back(entry);
  }
  // As the packer does: the built uninstaller when the distribution has none, and the list.
  if (!HasTopLevelFile(plan, kUninstallerName)) {
    const std::string uninstaller = ReadFile(UninstallerUnderTest());
    if (!uninstaller.empty()) {
      files.push_back({kUninstallerName, uninstaller});
      plan.push_back({kUninstallerName, false});
    }
  }
  const std::string list = OrderWithInstallList(&plan, setup_files_first);
  files.erase(std::remove_if(files.begin(), files.end(),
                             [](const PayloadFile& f) { return f.name == kInstallListName; }),
              files.end());
  files.push_back({kInstallListName, list});
  std::map<std::string, const PayloadFile*> by_name;
  for (const PayloadFile& file : files) by_name[file.name] = &file;
  // A fixed time stamp, so tests can check that it arrives: 2020-01-02 03:04:05 UTC.
  const std::uint64_t filetime = FiletimeFromUnix(1577934245, 0);
  for (const PlannedEntry& entry : plan) {
    if (entry.folder) {
      if (!WriteFolderEntry(out, entry.name)) return false;
      continue;
    }
    const auto found = by_name.find(entry.name);
    if (found == by_name.end()) return false;
    const PayloadFile& file = *found->second;
    const std::string& bytes = file.bytes;
    std::vector<unsigned char> stream;
    if (!CompressStream(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &stream)) return false;
    if (!WriteFileEntry(out, entry.name, static_cast<std::int32_t>(bytes.size()),
                        file.time ? file.time : filetime, stream)) return false;
  }
  return WriteEndMarker(out);
}

std::string LeafOf(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }

// Where the last top-level setup file's entry ends in archive bytes.
std::size_t SetupFilesEnd(const std::string& archive) {
  std::size_t at = 0, end = 0;
  const auto* b = reinterpret_cast<const unsigned char*>(archive.data());
  while (at + 2 <= archive.size()) {
    const std::size_t n = LoadU16(b + at);
    if (n == 0 || at + 2 + n + 8 > archive.size()) break;
    const std::string name = archive.substr(at + 2, n - 1);
    const std::uint32_t packed = LoadU32(b + at + 2 + n + 4);
    at += 2 + n + 8;
    if (packed == kFolderPacked) continue;
    at += kTimeBytes + packed;
    if (name.find('\\') == std::string::npos && MatchesAnySetupPattern(name)) end = at;
  }
  return end;
}

}  // namespace

std::string ProgramUnderTest() { return BinDir() + "\\Panvester.exe"; }

std::string UninstallerUnderTest() { return BinDir() + "\\" + kUninstallerName; }

std::string MakeSetup(const std::string& folder, const std::vector<PayloadFile>& files, Container container,
                      const std::string& program) {
  const std::string source = program.empty() ? ProgramUnderTest() : program;
  if (!MakeDirs(folder)) return "";
  const std::string exe = folder + "\\" + LeafOf(source);
  if (!CopyFileA(source.c_str(), exe.c_str(), FALSE)) return "";
  if (container == Container::kSidecar) {
    File out(std::fopen((folder + "\\instdat.arc").c_str(), "wb"));
    return out && WriteArchive(out.get(), files) ? exe : "";
  }
  File out(std::fopen(exe.c_str(), "r+b"));
  if (!out || std::fseek(out.get(), 0, SEEK_END) != 0) return "";
  const long start = std::ftell(out.get());
  if (!WriteArchive(out.get(), files) || !WriteTrailer(out.get(), static_cast<std::uint32_t>(start))) return "";
  return exe;
}

std::string MakeVolumeSetup(const std::string& folder, const std::vector<PayloadFile>& files, int further,
                            Container container) {
  if (!MakeDirs(folder)) return "";
  std::string archive;
  {
    File scratch(std::tmpfile());
    if (!scratch || !WriteArchive(scratch.get(), files, true)) return "";
    const long size = std::ftell(scratch.get());
    archive.resize(static_cast<std::size_t>(size));
    std::rewind(scratch.get());
    if (std::fread(&archive[0], 1, archive.size(), scratch.get()) != archive.size()) return "";
  }
  const std::size_t first = SetupFilesEnd(archive);
  const std::size_t piece = (archive.size() - first + further - 1) / further;
  if (first == 0 || piece == 0) return "";
  std::vector<VolumeRecord> records;
  for (int v = 0; v < further; ++v) {
    const std::size_t from = first + v * piece;
    const std::string bytes = archive.substr(from, std::min(piece, archive.size() - from));
    VolumeRecord record;
    record.size = static_cast<std::int64_t>(bytes.size());
    std::unique_ptr<Sha256> digest = NewSystemSha256();
    if (!digest) return "";
    digest->Update(bytes.data(), bytes.size());
    if (!digest->Final(record.digest.data()) || !WriteFile(folder + "\\" + VolumeName(v + 2), bytes)) return "";
    records.push_back(record);
  }
  const std::vector<unsigned char> table = EncodeVolumeTable(records, 0);
  const std::string first_volume = archive.substr(0, first) + std::string(table.begin(), table.end());
  const std::string source = ProgramUnderTest();
  const std::string exe = folder + "\\" + LeafOf(source);
  if (!CopyFileA(source.c_str(), exe.c_str(), FALSE)) return "";
  if (container == Container::kSidecar) return WriteFile(folder + "\\instdat.arc", first_volume) ? exe : "";
  const std::string program = ReadFile(exe);
  std::string trailer(4, '\0');
  StoreU32(reinterpret_cast<unsigned char*>(&trailer[0]), static_cast<std::uint32_t>(program.size()));
  return WriteFile(exe, program + first_volume + trailer) ? exe : "";
}

std::string SolidTitlePicture(int width, int height, unsigned char blue, unsigned char green,
                              unsigned char red) {
  std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height * 3);
  for (std::size_t i = 0; i < pixels.size(); i += 3) {
    pixels[i] = blue;
    pixels[i + 1] = green;
    pixels[i + 2] = red;
  }
  const std::vector<unsigned char> file = EncodeTitleFile(pixels.data(), width, height, TitleVariant::kTC00);
  return std::string(file.begin(), file.end());
}

std::string Noise(std::size_t size, std::uint32_t seed) {
  std::string bytes(size, '\0');
  for (char& c : bytes) {
    seed = seed * 1664525u + 1013904223u;
    c = static_cast<char>(seed >> 24);
  }
  return bytes;
}

std::vector<std::string> WorkFolders() { return ListNames(TempDir(), "TempRVInstallFolder_*"); }

}  // namespace wt
