// The setup program as downloaded and run with administrator rights: DLLs planted beside it
// stay unloaded, the install folder is opened to everyone, and a signed setup installs like
// the unsigned one, whatever lies beside it. The sample is packed (and signed) on the Linux side by signed_setup.sh.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>

#include "archive/signed_image.h"
#include "support/setup_builder.h"
#include "support/system_test_support.h"
#include "support/wine_test.h"

namespace {

constexpr DWORD kTimeout = 60000;
constexpr char kMainTitle[] = "星降る町のサンプル スタートアップ";

std::string SignedSetups() {
  const char* dir = std::getenv("PV_SIGNED_SETUPS");
  return dir ? wt::WinPath(dir) : "";
}

// The sample's settings put INSTFOL\INSTTO below the folder the player picks.
constexpr char kSampleFolders[] = "\\Panvester\\HoshifuruSample";

// Installs through the setup's own windows below the picked `folder`, answering as a player
// would. Returns "" when done, else what went wrong.
std::string Install(const std::string& setup_exe, const std::string& folder) {
  wt::Process setup = wt::Start(setup_exe);
  struct Killer {
    wt::Process* process;
    ~Killer() { wt::Kill(*process); }
  } killer{&setup};
  HWND main = wt::WaitFor([&] { return wt::FindTopWindow(setup.id, kMainTitle); }, kTimeout);
  if (!main) return "no main window";
  int install_id = 0;
  for (int id = 1000; id <= 1008 && !install_id; ++id) {
    if (wt::ControlText(main, id) == "インストール") install_id = id;
  }
  if (!install_id) return "no install button";
  wt::Press(main, install_id);
  HWND choose = wt::WaitFor([&] { return wt::FindDialog(setup.id, "インストール先のフォルダの指定"); }, kTimeout);
  if (!choose) return "no folder dialog";
  SendMessageA(GetDlgItem(choose, 1000), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder.c_str()));
  wt::Press(choose, IDOK);
  HWND question = wt::WaitFor([&] { return wt::FindMessageBox(setup.id); }, kTimeout);
  if (!question) return "no question";
  const std::string asked = wt::MessageBoxText(question);
  if (asked != "[" + folder + kSampleFolders + "]にインストールします") return "asked: " + asked;
  wt::Press(question, IDYES);
  HWND shortcut = wt::WaitFor([&] { return wt::FindDialog(setup.id, "ショートカットの作成"); }, kTimeout);
  if (!shortcut) return "no desktop shortcut question";
  wt::Press(shortcut, IDOK);
  HWND end = wt::WaitFor([&] { return wt::FindDialog(setup.id, "インストール終了"); }, kTimeout);
  if (!end) return "no end dialog";
  wt::Press(end, IDOK);
  DWORD code = 1;
  if (!wt::WaitExit(setup, kTimeout, &code)) return "the setup did not end";
  return code == 0 ? "" : "exit code " + std::to_string(code);
}

struct InstalledFile {
  std::string bytes;
  std::uint64_t time = 0;
  bool operator==(const InstalledFile& other) const { return bytes == other.bytes && time == other.time; }
};

// Every file and folder below `folder` by relative name (folders end with '\').
void ReadTree(const std::string& folder, const std::string& relative, std::map<std::string, InstalledFile>* tree) {
  for (const std::string& name : wt::ListNames(folder, "*")) {
    if (name == "." || name == "..") continue;
    const std::string path = folder + "\\" + name;
    if (wt::DirectoryExists(path)) {
      (*tree)[relative + name + "\\"] = {};
      ReadTree(path, relative + name + "\\", tree);
      continue;
    }
    InstalledFile& file = (*tree)[relative + name];
    file.bytes = wt::ReadFile(path);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
      file.time = (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                  data.ftLastWriteTime.dwLowDateTime;
    }
  }
}

std::map<std::string, InstalledFile> Tree(const std::string& folder) {
  std::map<std::string, InstalledFile> tree;
  ReadTree(folder, "", &tree);
  return tree;
}

class FileSource : public ByteSource {
 public:
  explicit FileSource(const std::string& bytes) : bytes_(bytes) {}
  bool ReadAt(std::int64_t offset, void* data, std::size_t size) override {
    if (offset < 0 || static_cast<std::size_t>(offset) + size > bytes_.size()) return false;
    bytes_.copy(static_cast<char*>(data), size, static_cast<std::size_t>(offset));
    return true;
  }

 private:
  const std::string& bytes_;
};

// The DLL the programs used to import; it is no known DLL, so Windows looks for it beside the
// program first. (Wine's own system DLLs import others, such as uxtheme and version, in ways
// Windows does not: planting those would test Wine, not the setup.)
const char* const kPlantedNames[] = {"winmm.dll"};

TEST(Hardening, PlantedDllsStayUnloadedAndEveryoneMayWriteTheInstallation) {
  const std::string setups = SignedSetups();
  ASSERT_FALSE(setups.empty()) << "PV_SIGNED_SETUPS is not set (signed_setups fixture)";
  const std::string planted = wt::BinDir() + "\\planted\\planted.dll";
  ASSERT_TRUE(wt::FileExists(planted)) << planted;
  // The stub does leave its marker when something loads it.
  const std::string probe = wt::TempDir() + "\\pv-probe";
  ASSERT_TRUE(wt::MakeDirs(probe));
  ASSERT_TRUE(CopyFileA(planted.c_str(), (probe + "\\probe.dll").c_str(), FALSE));
  HMODULE loaded = LoadLibraryA((probe + "\\probe.dll").c_str());
  ASSERT_TRUE(loaded);
  FreeLibrary(loaded);
  ASSERT_TRUE(wt::FileExists(probe + "\\probe.dll.loaded"));

  // A Downloads folder with the setup program and the DLLs beside it.
  const std::string downloads = wt::TempDir() + "\\Downloads";
  ASSERT_TRUE(wt::MakeDirs(downloads));
  const std::string setup = downloads + "\\setup.exe";
  ASSERT_TRUE(CopyFileA((setups + "\\unsigned\\setup.exe").c_str(), setup.c_str(), FALSE));
  for (const char* name : kPlantedNames) {
    ASSERT_TRUE(CopyFileA(planted.c_str(), (downloads + "\\" + name).c_str(), FALSE)) << name;
  }
  // Wine prefers its own DLLs to any found on the search path; with this override it looks
  // for these names as Windows does for DLLs that are no known DLLs: beside the program first.
  for (const std::string name : kPlantedNames) {
    SetStringValue(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\setup.exe\\DllOverrides",
                   name.substr(0, name.rfind('.')).c_str(), "native,builtin");
  }
  const std::string installed = Install(setup, "C:\\Games\\植えられた DLL");
  for (const char* name : kPlantedNames) {
    EXPECT_FALSE(wt::FileExists(downloads + "\\" + name + ".loaded")) << name << " was loaded by the setup";
  }
  ASSERT_EQ(installed, "");
  const std::string folder = std::string("C:\\Games\\植えられた DLL") + kSampleFolders;
  ASSERT_TRUE(wt::FileExists(folder + "\\game.exe")) << "installed";

  // Wine keeps no access lists: it shows an Everyone entry by the folder's mode bits.
  const EveryoneAccess access = ReadEveryoneAccess(folder);
  EXPECT_TRUE(EveryoneMayWrite(access)) << access.sddl;
}

TEST(Hardening, SignedSetupInstallsLikeTheUnsigned) {
  const std::string setups = SignedSetups();
  ASSERT_FALSE(setups.empty()) << "PV_SIGNED_SETUPS is not set (signed_setups fixture)";
  const std::string unsigned_exe = setups + "\\unsigned\\setup.exe";
  const std::string signed_exe = setups + "\\signed\\setup.exe";
  // The signature really follows the trailer: a table that ends the file.
  const std::string bytes = wt::ReadFile(signed_exe);
  FileSource source(bytes);
  ImageLayout layout;
  ASSERT_TRUE(ReadImageLayout(source, static_cast<std::int64_t>(bytes.size()), &layout));
  ASSERT_GT(layout.certificate_size, 0) << "not signed";
  EXPECT_EQ(layout.certificate_offset + layout.certificate_size, static_cast<std::int64_t>(bytes.size()));

  const std::string plain_folder = "C:\\Games\\Unsigned";
  const std::string signed_folder = "C:\\Games\\Signed";
  ASSERT_EQ(Install(unsigned_exe, plain_folder), "");
  // Downloaded beside an instdat.arc someone put there: the signed archive is what installs
  // (the planted one would show another title).
  const std::string planted =
      wt::MakeSetup(wt::TempDir() + "\\planted", {{"install.env", "TITLEBAR Planted\r\n"}}, wt::Container::kSidecar,
                    signed_exe);
  ASSERT_FALSE(planted.empty());
  ASSERT_TRUE(wt::FileExists(wt::TempDir() + "\\planted\\instdat.arc"));
  ASSERT_EQ(Install(planted, signed_folder), "");
  const auto plain = Tree(plain_folder + kSampleFolders);
  const auto signed_tree = Tree(signed_folder + kSampleFolders);
  ASSERT_GT(plain.size(), 5u);
  EXPECT_TRUE(plain == signed_tree);
  for (const auto& [name, file] : plain) {
    const auto other = signed_tree.find(name);
    if (other == signed_tree.end()) {
      ADD_FAILURE() << name << " missing from the signed installation";
    } else if (!(other->second == file)) {
      ADD_FAILURE() << name << " differs";
    }
  }
}

}  // namespace
