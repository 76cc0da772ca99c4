// Folder creation level by level, the write test and the access-grant batch.
#include "system/folder_checks_win.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "support/system_test_support.h"
#include "support/wine_test.h"

namespace {

// This executable doubles as the "cacls" the batch runs: copied into the temporary folder
// (where the batch starts, and which the command interpreter searches first) it records its
// command line, standard input and priority, then holds the batch until the test has read it.
constexpr char kCaclsLog[] = "pv-cacls.log";
constexpr char kCaclsRelease[] = "pv-cacls.release";

std::string TempFolder() {
  char temp[MAX_PATH] = "";
  GetTempPathA(sizeof temp, temp);
  return temp;
}

struct FakeCacls {
  FakeCacls() {
    char module[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, module, sizeof module);
    std::string name(module);
    name = name.substr(name.find_last_of('\\') + 1);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name != "cacls.exe") return;
    std::string input;
    char block[256];
    DWORD n = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), block, sizeof block, &n, nullptr) && n > 0) {
      input.append(block, n);
    }
    const std::string log = std::string(GetCommandLineA()) + "\n" + input + "\n" +
                            std::to_string(GetPriorityClass(GetCurrentProcess()));
    wt::WriteFile(TempFolder() + kCaclsLog, log);
    const DWORD start = GetTickCount();
    while (!wt::FileExists(TempFolder() + kCaclsRelease) && GetTickCount() - start < 30000) Sleep(50);
    ExitProcess(0);
  }
} g_fake_cacls;

bool WaitFor(const std::function<bool()>& condition, DWORD timeout_ms = 30000) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start > timeout_ms) return false;
    Sleep(50);
  }
  return true;
}

TEST(CreateInstallFolder, CreatesEveryMissingLevel) {
  const std::string base = MakeScratchFolder("pv-levels");
  CreateDirectoryA((base + "\\Games").c_str(), nullptr);
  const std::string before = CurrentDirectory();

  EXPECT_EQ(CreateInstallFolder((base + "\\Games\\Maker\\Game").c_str()), 0);
  EXPECT_TRUE(wt::DirectoryExists(base + "\\Games\\Maker"));
  EXPECT_TRUE(wt::DirectoryExists(base + "\\Games\\Maker\\Game"));
  EXPECT_EQ(CurrentDirectory(), before);

  // Existing levels and a trailing separator are fine; so is a path ending in ソ (83 5C).
  EXPECT_EQ(CreateInstallFolder((base + "\\Games\\Maker\\Game\\").c_str()), 0);
  EXPECT_EQ(CreateInstallFolder((base + "\\ソ\\表").c_str()), 0);
  EXPECT_TRUE(wt::DirectoryExists(base + "\\ソ\\表"));
  EXPECT_EQ(CurrentDirectory(), before);
}

TEST(CreateInstallFolder, RefusesWhatCannotBeAFolder) {
  const std::string base = MakeScratchFolder("pv-refuse");
  wt::WriteFile(base + "\\File", "x");
  const std::string before = CurrentDirectory();

  // A level that exists as a file.
  EXPECT_EQ(CreateInstallFolder((base + "\\File\\Sub").c_str()), 1);
  EXPECT_FALSE(wt::DirectoryExists(base + "\\File\\Sub"));
  // A level that cannot be created: the levels made before it stay.
  EXPECT_EQ(CreateInstallFolder((base + "\\New\\bad|name\\Sub").c_str()), 1);
  EXPECT_TRUE(wt::DirectoryExists(base + "\\New"));
  EXPECT_EQ(CurrentDirectory(), before);

  struct Row {
    const char* path;
    int expected;
  };
  const Row rows[] = {{"", 1}, {"C:", 1}, {"C:\\", 0}, {"Q:\\Nowhere", 1}};
  for (const Row& row : rows) EXPECT_EQ(CreateInstallFolder(row.path), row.expected) << row.path;

  // Too long for a path buffer: refused whole, not cut to a shorter folder.
  const std::string deep = base + "\\" + std::string(259 - base.size(), 'a');
  ASSERT_EQ(deep.size(), 260u);
  EXPECT_EQ(CreateInstallFolder(deep.c_str()), 1);
  EXPECT_FALSE(wt::DirectoryExists(deep.substr(0, 259)));
  EXPECT_EQ(CurrentDirectory(), before);
}

TEST(TestFolderWritable, CreatesAndRemovesTheProbe) {
  const std::string folder = MakeScratchFolder("pv-write");
  const std::string probe = folder + "\\UserAccountCheck.id";
  wt::WriteFile(probe, "left over");
  EXPECT_EQ(TestFolderWritable(folder.c_str()), 0);
  EXPECT_FALSE(wt::FileExists(probe));
  EXPECT_EQ(TestFolderWritable((folder + "\\").c_str()), 0);
  EXPECT_EQ(TestFolderWritable((folder + "\\missing").c_str()), 1);
  // A folder named like the probe cannot be opened as a file.
  CreateDirectoryA((folder + "\\sub").c_str(), nullptr);
  CreateDirectoryA((folder + "\\sub\\UserAccountCheck.id").c_str(), nullptr);
  EXPECT_EQ(TestFolderWritable((folder + "\\sub").c_str()), 1);
}

TEST(GrantEveryoneFullAccess, WritesRunsAndRemovesTheBatch) {
  const std::string temp = TempFolder();
  char self[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, self, sizeof self);
  ASSERT_TRUE(CopyFileA(self, (temp + "cacls.exe").c_str(), FALSE));
  DeleteFileA((temp + kCaclsLog).c_str());
  DeleteFileA((temp + kCaclsRelease).c_str());
  const std::string batch = temp + "Panvester_fullaccess.bat";
  const std::string companion = temp + "Panvester_fullaccess.pif";
  wt::WriteFile(companion, "leftover");

  const std::string folder = MakeScratchFolder("pv-grant My ゲーム");
  GrantEveryoneFullAccess(folder.c_str());

  // The current directory is left in the temporary folder.
  EXPECT_EQ(CurrentDirectory() + "\\", temp);
  ASSERT_TRUE(WaitFor([&] { return wt::FileExists(temp + kCaclsLog); })) << "cacls never ran";
  EXPECT_EQ(wt::ReadFile(batch), "echo y| cacls \"" + folder + "\" /p everyone:F\r\n"
                              "del \"" + companion + "\"\r\n"
                              "del \"" + batch + "\"\r\n");
  const std::string log = wt::ReadFile(temp + kCaclsLog);
  EXPECT_NE(log.find("\"" + folder + "\" /p everyone:F"), std::string::npos) << log;
  EXPECT_NE(log.find("\ny"), std::string::npos) << "the piped answer: " << log;

  wt::WriteFile(temp + kCaclsRelease, "");
  EXPECT_TRUE(WaitFor([&] { return !wt::FileExists(batch) && !wt::FileExists(companion); }))
      << "the batch removes the companion and itself";
}

}  // namespace
