// Folder creation level by level, the write test and the access grant.
#include "system/folder_checks_win.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <string>

#include "support/system_test_support.h"
#include "system/folder_rules.h"
#include "support/wine_test.h"

namespace {

std::string TempFolder() {
  char temp[MAX_PATH] = "";
  GetTempPathA(sizeof temp, temp);
  return temp;
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

TEST(GrantEveryoneFullAccess, EveryoneMayWriteWithoutABatch) {
  const std::string temp = TempFolder();
  // Japanese and a blank: the path reaches the system as UTF-16, not through a console.
  const std::string folder = MakeScratchFolder("pv-grant My ゲーム");
  GrantEveryoneFullAccess(folder.c_str());

  const EveryoneAccess access = ReadEveryoneAccess(folder);
  EXPECT_TRUE(EveryoneMayWrite(access)) << access.sddl;
  EXPECT_FALSE(wt::FileExists(temp + "Panvester_fullaccess.bat"));
  EXPECT_EQ(CurrentDirectory() + "\\", temp) << "the install sequence goes on from the temporary folder";

  // Text that is no CP932 path, and a missing folder, change nothing and report nothing.
  GrantEveryoneFullAccess((folder + "\x81").c_str());
  GrantEveryoneFullAccess((folder + "\\missing").c_str());
  EXPECT_FALSE(wt::DirectoryExists(folder + "\\missing"));
}

// What the descriptor string means to the system: one entry allowing Everyone full control,
// inherited by files and folders, in a list protected from the parent's entries.
TEST(GrantEveryoneFullAccess, TheListAsTheSystemReadsIt) {
  const std::string sddl = EveryoneFullAccessSddl();
  const std::wstring wide(sddl.begin(), sddl.end());
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(wide.c_str(), SDDL_REVISION_1, &descriptor,
                                                                    nullptr));
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
  EXPECT_TRUE(control & SE_DACL_PROTECTED);
  BOOL present = FALSE, defaulted = FALSE;
  PACL list = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted));
  ASSERT_TRUE(present && list);
  ASSERT_EQ(list->AceCount, 1);
  void* entry = nullptr;
  ASSERT_TRUE(GetAce(list, 0, &entry));
  const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
  EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
  EXPECT_EQ(allowed->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
  EXPECT_EQ(allowed->Mask, static_cast<DWORD>(FILE_ALL_ACCESS));
  BYTE everyone[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof everyone;
  ASSERT_TRUE(CreateWellKnownSid(WinWorldSid, nullptr, everyone, &size));
  EXPECT_TRUE(EqualSid(const_cast<DWORD*>(&allowed->SidStart), everyone));
  LocalFree(descriptor);
}

}  // namespace
