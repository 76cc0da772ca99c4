// Shared by the pack tool's subcommands: the source tree, name conversion, opening an
// archive in either container.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/archive_stream.h"

// One entry of the tree to pack. A generated entry (from a build step) carries its bytes
// in `data` and has no source path.
struct PackEntry {
  std::string name;         // CP932, '\\'-separated; folders end with '\\'
  std::string display;      // the same name in UTF-8, for messages
  bool folder = false;
  std::string source_path;  // host path of the file, empty for folders and generated files
  std::vector<unsigned char> data;
  std::uint64_t filetime = 0;
  std::uint64_t size = 0;
};

struct PackTree {
  std::string root;  // the source folder as given
  std::vector<PackEntry> entries;
  std::vector<std::string> warnings;
};

// Name conversion. False (with a message naming the character) when not representable.
bool Utf8ToCp932(const std::string& utf8, std::string* cp932, std::string* error);
// Best effort for display: bytes that do not convert are shown as \xNN.
std::string Cp932ToUtf8(const std::string& cp932);

// Empty when Windows can create a file or folder of this (UTF-8) name, else why not:
// reserved characters, control characters, device names, a trailing dot or space.
std::string WindowsNameProblem(const std::string& name);

// Reads the folder recursively in byte order of the names. Regular files and folders only,
// with names that Windows can create.
bool ScanTree(const std::string& root, PackTree* tree, std::string* error);

// What holds an archive: a side-car, or a setup program, signed or not.
struct ArchiveContainer {
  bool executable = false;
  bool is_signed = false;
  std::uint32_t certificate_size = 0;
};

// Opens a setup executable (by its trailer) or a side-car; an executable starts with "MZ",
// which as a side-car's first name length (23117) could never be valid. A signed setup's
// trailer is the last 4 bytes before its certificate table (and the zero bytes a signing
// tool may have added for alignment), and it must point at the end of the image.
bool OpenAnyArchive(const std::string& path, LocatedArchive* found, std::string* error,
                    ArchiveContainer* container = nullptr);
// For list and verify: whether a setup program is signed, and that the archive is covered
// (empty for a side-car).
std::string SignatureSummary(const ArchiveContainer& container);

// The further volumes of an archive, from the folder its first volume is in.
class FolderVolumeOpener : public VolumeOpener {
 public:
  explicit FolderVolumeOpener(const std::string& first_volume_path);
  std::unique_ptr<ArchiveFile> OpenVolume(const std::string& name) override;
  std::unique_ptr<Sha256> NewDigest() override;

 private:
  std::string folder_;  // with its separator
};

// "the archive ends inside an entry", or the volume that failed its check.
std::string StreamEndProblem(const ArchiveStream& stream);

// "2024-05-01 12:34:56" (UTC) for a FILETIME.
std::string FormatFiletime(std::uint64_t filetime);

// True when standard output is a terminal: only then is a progress line drawn.
bool ProgressWanted();

// File operations on UTF-8 paths (see platform.h). RenameFile replaces an existing `to`.
bool RenameFile(const std::string& from, const std::string& to);
bool RemoveFile(const std::string& path);
void MakeExecutable(const std::string& path);
bool MakeFolder(const std::string& path);
