// The settings' Win32 side in-process: the opener's retry loop and lock, the exists check,
// the fatal ends of the section reader, and the CD-ROM probe. Boxes are answered by a
// watcher thread by button id.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "common/message_win.h"
#include "driver/main_window_win.h"
#include "settings/resource_opener_win.h"
#include "settings/section_lists_win.h"
#include "settings/setting_list.h"
#include "support/wine_test.h"

namespace {

struct SeenBox {
  std::string text;
  bool has_retry = false;
};

// Waits for this process's next box, records it, runs `meanwhile` (the box still up) and
// presses `answer`.
std::thread AnswerNextBox(int answer, SeenBox* seen, std::function<void()> meanwhile = {}) {
  return std::thread([=] {
    HWND box = wt::WaitFor([] { return wt::FindMessageBox(GetCurrentProcessId()); }, 10000);
    if (!box) return;
    seen->text = wt::MessageBoxText(box);
    seen->has_retry = GetDlgItem(box, IDRETRY) != nullptr;
    if (meanwhile) meanwhile();
    wt::Press(box, answer);
    // Wait until the box is gone so the next watcher cannot find this one.
    wt::WaitFor([box] { return IsWindow(box) ? nullptr : box; }, 10000);
  });
}

// Inside a death test: answers the next box and reports on stderr whether its text was
// the expected one (the parent matches the marker).
void AnswerAndCheck(int answer, const std::string& expected) {
  std::thread([=] {
    HWND box = wt::WaitFor([] { return wt::FindMessageBox(GetCurrentProcessId()); }, 10000);
    if (!box) return;
    const bool same = wt::MessageBoxText(box) == expected && GetDlgItem(box, IDRETRY) != nullptr;
    std::fputs(same ? "BOX-AS-EXPECTED\n" : "BOX-DIFFERENT\n", stderr);
    wt::Press(box, answer);
  }).detach();
}

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    GetCurrentDirectoryA(sizeof saved_, saved_);
    folder_ = wt::TempDir() + "\\pv_settings_shell";
    wt::RemoveTree(folder_);
    ASSERT_TRUE(wt::MakeDirs(folder_));
    SetCurrentDirectoryA(folder_.c_str());
    SetPlainFileSwitch(1);
    ClearRegisteredPlaces();
  }
  void TearDown() override {
    SetCurrentDirectoryA(saved_);
    wt::RemoveTree(folder_);
  }
  char saved_[MAX_PATH] = "";
  std::string folder_;
};

std::string ReadAndClose(std::FILE* file) {
  std::string text;
  char buffer[128];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  std::fclose(file);
  return text;
}

TEST_F(ShellTest, PresentFileOpensWithoutABox) {
  ASSERT_TRUE(wt::WriteFile("install.env", "TITLEBAR t\r\n"));
  EXPECT_EQ(SetupFileExists("install.env"), 1);
  std::FILE* file = OpenSetupFile("install.env", "rt");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(ReadAndClose(file), "TITLEBAR t\n");  // text mode
  EXPECT_EQ(SetupFileExists("absent.env"), 0);
}

TEST_F(ShellTest, RetryFindsAFileCopiedWhileTheBoxIsUp) {
  const std::string message = "Ffopen : ファイル[insttscr.rct]の読み込みで失敗しました";
  SeenBox first, second;
  int exists_before = -1, exists_after = -1;
  // The first Retry finds nothing yet; during the second box the file appears. The lock
  // must be free while a box is up, or the exists checks of the watcher would hang.
  std::thread watcher([&] {
    std::thread a = AnswerNextBox(IDRETRY, &first, [&] { exists_before = SetupFileExists("insttscr.rct"); });
    a.join();
    std::thread b = AnswerNextBox(IDRETRY, &second, [&] {
      wt::WriteFile("insttscr.rct", "picture");
      exists_after = SetupFileExists("insttscr.rct");
    });
    b.join();
  });
  std::FILE* file = OpenSetupFile("insttscr.rct", "rb");
  watcher.join();
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(ReadAndClose(file), "picture");
  EXPECT_EQ(first.text, message);
  EXPECT_TRUE(first.has_retry);
  EXPECT_EQ(second.text, message);
  EXPECT_EQ(exists_before, 0);
  EXPECT_EQ(exists_after, 1);
  EXPECT_EQ(wt::ClipboardText(), message);
}

TEST_F(ShellTest, CancelInTheRetryBoxEndsWithMinusOne) {
  EXPECT_EXIT(
      {
        AnswerAndCheck(IDCANCEL, "Ffopen : ファイル[gone.env]の読み込みで失敗しました");
        OpenSetupFile("gone.env", "rt");
      },
      ::testing::ExitedWithCode(-1), "BOX-AS-EXPECTED");
}

TEST_F(ShellTest, WithoutThePlainSwitchNothingIsFound) {
  ASSERT_TRUE(wt::WriteFile("install.env", "x"));
  SetPlainFileSwitch(0);
  EXPECT_EQ(SetupFileExists("install.env"), 0);
  EXPECT_EXIT(
      {
        AnswerAndCheck(IDCANCEL, "Ffopen : ファイル[install.env]の読み込みで失敗しました");
        OpenSetupFile("install.env", "rt");
      },
      ::testing::ExitedWithCode(-1), "BOX-AS-EXPECTED");
  SetPlainFileSwitch(1);
}

TEST_F(ShellTest, SectionsReadAndReturn) {
  ASSERT_TRUE(wt::WriteFile("install.env", "INSTTO x\r\n[ini]\r\nDisc=REP_CDROMDRIVE\r\n-\r\nEOF\r\n"));
  ReadSectionLists("install.env");
  const SectionLine* line = SectionListHead(kSectionIni);
  ASSERT_NE(line, nullptr);
  EXPECT_STREQ(line->text, "Disc=REP_CDROMDRIVE");
  char key[kSectionLineBuffer], value[kSectionLineBuffer];
  ASSERT_EQ(SplitIniLine(line->text, key, value), 0);
  EXPECT_STREQ(value, FirstCdromRoot());  // the program's probe is in place
}

struct FatalRow {
  const char* name;
  const char* file_text;  // null: no file at all
  const char* message;
  int answer;
};

class SectionFatal : public ShellTest, public ::testing::WithParamInterface<FatalRow> {};

TEST_P(SectionFatal, BoxThenMinusOneWhateverTheAnswer) {
  const FatalRow& row = GetParam();
  if (row.file_text) {
    ASSERT_TRUE(wt::WriteFile("install.env", row.file_text));
  }
  EXPECT_EXIT(
      {
        AnswerAndCheck(row.answer, row.message);
        ReadSectionLists("install.env");
        std::fputs("RETURNED\n", stderr);
        std::exit(0);
      },
      ::testing::ExitedWithCode(-1), "BOX-AS-EXPECTED");
  EXPECT_EQ(wt::ClipboardText(), row.message);
}

INSTANTIATE_TEST_SUITE_P(
    Sections, SectionFatal,
    ::testing::Values(
        FatalRow{"UnterminatedRegRetry", "[reg]\r\n\"a\"=\"b\"\r\n", "[設定.env]の[reg]が終了していません", IDRETRY},
        FatalRow{"UnterminatedRegCancel", "[reg]\r\n", "[設定.env]の[reg]が終了していません", IDCANCEL},
        FatalRow{"OpenAtEof", "[delfiles_user]\r\nx\r\nEOF\r\n", "[設定.env]の[delfiles_user]が終了していません",
                 IDRETRY},
        FatalRow{"MissingFileRetry", nullptr, "[install.env]ファイルを開けませんでした。", IDRETRY},
        FatalRow{"MissingFileCancel", nullptr, "[install.env]ファイルを開けませんでした。", IDCANCEL}),
    [](const ::testing::TestParamInfo<FatalRow>& info) { return std::string(info.param.name); });

// Wine's mount manager takes drive definitions at run time (as its configuration tool does).
bool DefineCdromDrive(char letter, const std::string& unix_folder) {
  return wt::DefineUnixDrive(letter, unix_folder, DRIVE_CDROM);
}

TEST(CdromProbe, FirstCdromDriveOrE) {
  EXPECT_STREQ(FirstCdromRoot(), "E:\\");  // a fresh prefix has fixed drives only
  ASSERT_TRUE(DefineCdromDrive('q', "/tmp")) << GetLastError();
  ASSERT_EQ(GetDriveTypeA("Q:\\"), static_cast<UINT>(DRIVE_CDROM));
  EXPECT_STREQ(FirstCdromRoot(), "Q:\\");  // scanned afresh
  ASSERT_TRUE(DefineCdromDrive('m', "/tmp"));
  EXPECT_STREQ(FirstCdromRoot(), "M:\\");  // the first letter wins

  SetCdromRootSource(FirstCdromRoot);
  char key[kSectionLineBuffer], value[kSectionLineBuffer];
  ASSERT_EQ(SplitRegLine("\"Disc\"=\"REP_CDROMDRIVE\"", key, value), 0);
  EXPECT_STREQ(value, "M:\\DRIVE");
}

}  // namespace

namespace {

struct WindowRow {
  const char* name;
  const char* settings;
  const char* title;
  const char* third_button;  // null: the slot is gone (no readme button)
};

class MainWindowSettings : public ShellTest, public ::testing::WithParamInterface<WindowRow> {};

TEST_P(MainWindowSettings, TitleAndReadmeButtonComeFromTheSettings) {
  const WindowRow& row = GetParam();
  ResetSettingsForTesting();
  ASSERT_TRUE(wt::WriteFile("install.env", row.settings));
  SetSettingFileOpener(OpenSetupFile);
  ASSERT_EQ(LoadSettingList("install.env"), 0);
  // The window loads its title picture on creation: one it does not recognise gives none.
  ASSERT_TRUE(wt::WriteFile("insttscr.rct", std::string(20, 'x')));
  // Modeless, and destroyed directly: the close path would remove a work folder.
  HWND window = CreateDialogParamA(GetModuleHandleA(nullptr), "MAINDIALOG", nullptr, MainWindowProc, 0);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(wt::Text(window), row.title);
  EXPECT_EQ(wt::ControlText(window, 1000), "終了");
  if (row.third_button) {
    EXPECT_EQ(wt::ControlText(window, 1001), row.third_button);
    EXPECT_EQ(wt::ControlText(window, 1002), "インストール");
  } else {
    EXPECT_EQ(wt::ControlText(window, 1001), "インストール");
    EXPECT_EQ(GetDlgItem(window, 1002), nullptr);
  }
  DestroyWindow(window);
  SetMainWindowHandle(nullptr);
  ResetSettingsForTesting();
}

INSTANTIATE_TEST_SUITE_P(
    Settings, MainWindowSettings,
    ::testing::Values(
        WindowRow{"Defaults", "INSTTO x\r\n", "ＶＥＬＵＮＡ アプリケーション スタートアップ", nullptr},
        WindowRow{"TitleAndReadme", "TITLEBAR 私の|ゲーム\r\nINSTREADME お読み|ください\r\n",
                  "私の ゲーム スタートアップ", "お読み ください"},
        WindowRow{"DashMeansNoReadme", "TITLEBAR T\r\nINSTREADME -readme\r\n", "T スタートアップ", nullptr}),
    [](const ::testing::TestParamInfo<WindowRow>& info) { return std::string(info.param.name); });

}  // namespace
