#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "driver/work_folder_win.h"
#include "support/wine_test.h"

namespace {

std::string CurrentDirectory() {
  char buffer[MAX_PATH] = "";
  GetCurrentDirectoryA(sizeof buffer, buffer);
  return buffer;
}

TEST(WorkFolder, IsMadeInTheTempFolderEnteredAndRemovedWithItsFiles) {
  const std::string before = CurrentDirectory();
  CreateWorkFolder();
  const std::string folder = WorkFolderPath();
  const std::string prefix = wt::TempDir() + "\\TempRVInstallFolder_";
  ASSERT_EQ(folder.compare(0, prefix.size(), prefix), 0) << folder;
  const std::string number = folder.substr(prefix.size());
  EXPECT_GE(number.size(), 9u);
  EXPECT_EQ(number.find_first_not_of("-0123456789"), std::string::npos) << number;
  EXPECT_TRUE(wt::DirectoryExists(folder));
  EXPECT_EQ(CurrentDirectory(), folder);
  EXPECT_EQ(wt::Cp932(StartupDirectoryW()), before);

  ASSERT_TRUE(wt::WriteFile("install.env", "TITLEBAR x\n"));
  ASSERT_TRUE(wt::WriteFile("readme.txt", "r"));
  ASSERT_TRUE(wt::WriteFile("insttscr.rct", "p"));
  RemoveWorkFolder();
  EXPECT_FALSE(wt::DirectoryExists(folder));
  EXPECT_EQ(CurrentDirectory(), before);
}

std::string FolderNamed(DWORD number) {
  char name[64];
  std::snprintf(name, sizeof name, "\\TempRVInstallFolder_%09d", static_cast<int>(static_cast<std::int32_t>(number)));
  return wt::TempDir() + name;
}

// Folders of the names the next `count` ticks from a little ahead would give, each with a
// marker; returns once the tick has reached the first of them.
std::vector<std::string> PlantFoldersAhead(DWORD count) {
  const DWORD first = GetTickCount() + 100 + 10 * count;  // time enough to plant them all
  std::vector<std::string> planted;
  for (DWORD i = 0; i < count; ++i) {
    planted.push_back(FolderNamed(first + i));
    EXPECT_TRUE(wt::MakeDirs(planted.back()));
    EXPECT_TRUE(wt::WriteFile(planted.back() + "\\install.env", "TITLEBAR planted\n"));
  }
  while (static_cast<std::int32_t>(GetTickCount() - first) < 0) Sleep(1);
  return planted;
}

void ExpectUntouchedAndRemove(const std::vector<std::string>& planted) {
  for (const std::string& folder : planted) {
    EXPECT_EQ(wt::ReadFile(folder + "\\install.env"), "TITLEBAR planted\n") << folder;
    wt::RemoveTree(folder);
  }
}

TEST(WorkFolder, ExistingFoldersOfItsNameAreNeverReused) {
  const std::vector<std::string> planted = PlantFoldersAhead(20);
  CreateWorkFolder();
  const std::string folder = WorkFolderPath();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(std::find(planted.begin(), planted.end(), folder), planted.end()) << folder;
  EXPECT_TRUE(wt::DirectoryExists(folder));
  EXPECT_FALSE(wt::FileExists(folder + "\\install.env"));
  EXPECT_EQ(CurrentDirectory(), folder);
  RemoveWorkFolder();
  EXPECT_FALSE(wt::DirectoryExists(folder));
  ExpectUntouchedAndRemove(planted);
}

TEST(WorkFolder, NoFolderAndNoPathWhenEveryNumberTriedIsTaken) {
  const std::string before = CurrentDirectory();
  const std::vector<std::string> planted = PlantFoldersAhead(200);
  const std::size_t folders = wt::ListNames(wt::TempDir(), "TempRVInstallFolder_*").size();
  CreateWorkFolder();
  EXPECT_STREQ(WorkFolderPath(), "");
  EXPECT_TRUE(WorkFolderW().empty());
  EXPECT_EQ(wt::ListNames(wt::TempDir(), "TempRVInstallFolder_*").size(), folders);
  EXPECT_EQ(CurrentDirectory(), before);
  RemoveWorkFolder();
  ExpectUntouchedAndRemove(planted);
}

TEST(WorkFolder, CannotBeRenamedWhileTheProgramHoldsIt) {
  const std::string before = CurrentDirectory();
  CreateWorkFolder();
  const std::wstring folder = WorkFolderW();
  ASSERT_FALSE(folder.empty());
  // Out of it, so that only the program's own hold keeps it in place.
  ASSERT_TRUE(SetCurrentDirectoryA(before.c_str()));
  EXPECT_FALSE(MoveFileW(folder.c_str(), (folder + L"_moved").c_str()));
  EXPECT_FALSE(wt::DirectoryExists(wt::Cp932(folder + L"_moved")));
  EXPECT_TRUE(wt::DirectoryExists(wt::Cp932(folder)));
  RemoveWorkFolder();
  EXPECT_FALSE(wt::DirectoryExists(wt::Cp932(folder)));
}

TEST(WorkFolder, DeleteMatchingFilesKeepsFoldersAndTheCurrentDirectory) {
  const std::string root = wt::TempDir() + "\\pv_delete_test";
  ASSERT_TRUE(wt::MakeDirs(root + "\\sub"));
  ASSERT_TRUE(wt::WriteFile(root + "\\a.txt", "a"));
  ASSERT_TRUE(wt::WriteFile(root + "\\b.bin", "b"));
  ASSERT_TRUE(wt::WriteFile(root + "\\sub\\c.txt", "c"));
  const std::string before = CurrentDirectory();
  DeleteMatchingFiles(root.c_str(), "*.*");
  EXPECT_EQ(CurrentDirectory(), before);
  EXPECT_FALSE(wt::FileExists(root + "\\a.txt"));
  EXPECT_FALSE(wt::FileExists(root + "\\b.bin"));
  EXPECT_TRUE(wt::FileExists(root + "\\sub\\c.txt"));
  wt::RemoveTree(root);
}

}  // namespace
