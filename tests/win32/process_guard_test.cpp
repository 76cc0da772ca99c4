// The programs' first call: DLLs are no longer looked for in the current folder (nor beside
// the program), and the system's error boxes for missing disks stay away.
#include "common/process_guard_win.h"

#include <gtest/gtest.h>

#include <string>

#include "support/system_test_support.h"
#include "support/wine_test.h"

namespace {

TEST(GuardProcess, NoDllFromTheCurrentFolderAndNoErrorBoxes) {
  const std::string planted = wt::BinDir() + "\\planted\\planted.dll";
  ASSERT_TRUE(wt::FileExists(planted)) << planted;
  const std::string folder = MakeScratchFolder("pv-guard");
  ASSERT_TRUE(CopyFileA(planted.c_str(), (folder + "\\pv_guard_probe.dll").c_str(), FALSE));
  ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));

  // Before: found by its bare name in the current folder, as any DLL there would be.
  HMODULE before = LoadLibraryA("pv_guard_probe.dll");
  ASSERT_TRUE(before) << "the probe must load before the guard, or the test proves nothing";
  FreeLibrary(before);
  ASSERT_TRUE(DeleteFileA((folder + "\\pv_guard_probe.dll.loaded").c_str()));

  GuardProcess();
  EXPECT_EQ(LoadLibraryA("pv_guard_probe.dll"), nullptr);
  EXPECT_FALSE(wt::FileExists(folder + "\\pv_guard_probe.dll.loaded"));
  // System DLLs still load by name.
  EXPECT_NE(LoadLibraryA("version.dll"), nullptr);

  const UINT mode = SetErrorMode(0);
  SetErrorMode(mode);
  EXPECT_EQ(mode & (SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX),
            static_cast<UINT>(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX));
}

}  // namespace
