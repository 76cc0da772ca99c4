// Panvester.exe's start-up around install.env, run as the user would start it.
#include <gtest/gtest.h>

#include <string>

#include "support/setup_builder.h"
#include "support/wine_test.h"

namespace {

const char kMissingFiles[] =
    "起動に必要なファイルが不足しています。\nインストールの異常終了、起動するフォルダ異常、等を確認してください。";

std::vector<std::string> WorkFolders() { return wt::ListNames(wt::TempDir(), "TempRVInstallFolder_*"); }

// An archive without install.env: the setup pass succeeds, the settings file is missing.
TEST(SettingsStartup, MissingSettingsFileEndsWithMinusOneAndNoWorkFolder) {
  const std::string start = wt::TempDir() + "\\pv_start_empty";
  const std::string program = wt::MakeSetup(start, {{"readme.txt", "read me"}});
  ASSERT_FALSE(program.empty());
  ASSERT_TRUE(WorkFolders().empty());
  wt::SetClipboardText("before");

  wt::Process process = wt::Start(program, start);
  ASSERT_NE(process.handle, nullptr);
  HWND box = wt::WaitFor([&] { return wt::FindMessageBox(process.id); }, 20000);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(wt::MessageBoxText(box), kMissingFiles);
  EXPECT_EQ(wt::Text(box), "");  // no main window yet: empty caption
  EXPECT_EQ(GetDlgItem(box, IDRETRY), nullptr);
  EXPECT_EQ(WorkFolders().size(), 1u);  // still there while the box is up
  wt::Press(box, IDOK);

  DWORD code = 0;
  ASSERT_TRUE(wt::WaitExit(process, 20000, &code));
  EXPECT_EQ(code, 0xFFFFFFFFu);
  EXPECT_TRUE(WorkFolders().empty());
  EXPECT_EQ(wt::ClipboardText(), kMissingFiles);
  wt::RemoveTree(start);
}

}  // namespace
