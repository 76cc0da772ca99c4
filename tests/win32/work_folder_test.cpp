#include <gtest/gtest.h>

#include <cstring>
#include <string>

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
