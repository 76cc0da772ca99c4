// Builds a distribution for end-to-end tests: a copy of the program under test beside a
// side-car archive made with the core writer, or with the archive appended to the copy.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wt {

struct PayloadFile {
  std::string name;   // CP932, '\\'-separated; a folder entry ends with '\\'
  std::string bytes;  // ignored for folders
  std::uint64_t time = 0;  // last-write FILETIME; 0 for the builder's fixed stamp
};

enum class Container { kSidecar, kAppended };

// Writes `folder`\<exe name> (a copy of `program`, by default the Panvester.exe of this build
// tree) and the archive of `files`, ordered the way the packer orders them. Like the packer it
// adds the UnInst.exe of this build tree when `files` has none, and always the install list.
// Returns the path of the program copy, or "" on failure.
std::string MakeSetup(const std::string& folder, const std::vector<PayloadFile>& files,
                      Container container = Container::kSidecar, const std::string& program = "");

// The same distribution with its archive split into volumes: the first (side-car or
// appended) holding every setup file, then `further` volumes instdat.002, ... of about equal
// size beside it, each recorded in the first by its size and SHA-256.
std::string MakeVolumeSetup(const std::string& folder, const std::vector<PayloadFile>& files, int further,
                            Container container = Container::kAppended);

// The Panvester.exe and the UnInst.exe of this build tree.
std::string ProgramUnderTest();
std::string UninstallerUnderTest();

// A title picture of one colour (blue, green, red), in the plain variant without a name.
std::string SolidTitlePicture(int width, int height, unsigned char blue, unsigned char green,
                              unsigned char red);

// Incompressible bytes, the same for the same seed.
std::string Noise(std::size_t size, std::uint32_t seed);

// TempRVInstallFolder_* names currently in the temporary folder.
std::vector<std::string> WorkFolders();

}  // namespace wt
