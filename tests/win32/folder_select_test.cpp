// The "SETUP" dialog, the proposal, the previous folder and the boxes after it.
#include "system/folder_select_win.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstring>
#include <string>

#include "common/message_win.h"
#include "settings/setting_list.h"
#include "support/system_test_support.h"
#include "support/wine_test.h"

namespace {

constexpr char kSetupTitle[] = "インストール先のフォルダの指定";
const std::string kUserKey = "Software\\PvSel\\Local";
constexpr char kUntouched[] = "untouched";

struct Outcome {
  int result = 0;
  std::string folder;      // the caller's buffer afterwards
  std::string shown;       // the edit box when the dialog opened
  std::string box;         // the text of the box that followed, if any
};

enum class Answer { kNone, kYes, kNo, kOk, kRetry };

// Opens the selection, reads the proposal, types `typed` (unless null), presses `button`
// and answers the box that follows.
Outcome Select(const char* typed, int button = IDOK, Answer answer = Answer::kNone) {
  Outcome outcome;
  char folder[260];
  std::strcpy(folder, kUntouched);
  {
    UiScript script([&] {
      HWND dialog = WaitForDialog(kSetupTitle);
      if (!dialog) return CancelAllDialogs();
      outcome.shown = wt::ControlText(dialog, 1000);
      if (typed) SetDlgItemTextA(dialog, 1000, typed);
      wt::Press(dialog, button);
      WaitUntilGone(dialog);
      if (answer == Answer::kNone) return;
      HWND box = WaitForBox();
      if (!box) return CancelAllDialogs();
      outcome.box = wt::MessageBoxText(box);
      const int id = answer == Answer::kYes ? IDYES : answer == Answer::kNo ? IDNO
                   : answer == Answer::kRetry ? IDRETRY : IDOK;
      wt::Press(box, id);
    });
    outcome.result = SelectInstallFolder(folder);
  }
  outcome.folder = folder;
  return outcome;
}

class FolderSelect : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    CoInitialize(nullptr);
    LoadSettingsText("REG_GLOBAL PvSel\nREG_LOCAL Local\nINSTTO Game\n");
    SetMainWindowHandle(MakeStandInMainWindow());
  }
  void SetUp() override {
    DeleteTree(HKEY_CURRENT_USER, "Software\\PvSel");
    ReloadSettingList("REG_GLOBAL PvSel\nREG_LOCAL Local\nINSTTO Game\n");
    before_ = CurrentDirectory();
  }
  void TearDown() override { EXPECT_EQ(CurrentDirectory(), before_) << "current directory kept"; }
  std::string before_;
};

TEST_F(FolderSelect, ProposesUnderProgramFilesAndCancels) {
  Outcome outcome = Select(nullptr, IDCANCEL);
  EXPECT_EQ(outcome.shown, "C:\\Program Files\\Game");
  EXPECT_EQ(outcome.result, -1);
  EXPECT_EQ(outcome.folder, kUntouched);

  ReloadSettingList("REG_GLOBAL PvSel\nREG_LOCAL Local\nINSTTO Game\nINSTFOL Maker\n");
  outcome = Select(nullptr, IDCANCEL);
  EXPECT_EQ(outcome.shown, "C:\\Program Files\\Maker\\Game");
}

TEST_F(FolderSelect, PreviousFolderOnlyWhenIsInstIsDecimalText) {
  SetStringValue(HKEY_CURRENT_USER, kUserKey, "InstTo", "E:\\Old\\Game");
  struct Row {
    const char* is_inst;  // nullptr: a REG_DWORD 1
    const char* shown;
  };
  const Row rows[] = {{"1", "E:\\Old\\Game"}, {"0", "C:\\Program Files\\Game"},
                      {nullptr, "C:\\Program Files\\Game"}};
  for (const Row& row : rows) {
    if (row.is_inst) {
      SetStringValue(HKEY_CURRENT_USER, kUserKey, "IsInst", row.is_inst);
    } else {
      const DWORD one = 1;
      SetRawValue(HKEY_CURRENT_USER, kUserKey, "IsInst", REG_DWORD, &one, sizeof one);
    }
    EXPECT_EQ(Select(nullptr, IDCANCEL).shown, row.shown) << (row.is_inst ? row.is_inst : "dword");
  }
  // IsInst set but no InstTo: the proposal stays.
  DeleteTree(HKEY_CURRENT_USER, "Software\\PvSel");
  SetStringValue(HKEY_CURRENT_USER, kUserKey, "IsInst", "1");
  EXPECT_EQ(Select(nullptr, IDCANCEL).shown, "C:\\Program Files\\Game");
}

TEST_F(FolderSelect, ConfirmationDecides) {
  Outcome outcome = Select("D:/Games/Game", IDOK, Answer::kYes);
  EXPECT_EQ(outcome.box, "[D:\\Games\\Game]にインストールします");
  EXPECT_EQ(outcome.result, 0);
  EXPECT_EQ(outcome.folder, "D:\\Games\\Game");

  outcome = Select("Games", IDOK, Answer::kNo);
  EXPECT_EQ(outcome.box, "[C:\\Games]にインストールします");
  EXPECT_EQ(outcome.result, -1);
  EXPECT_EQ(outcome.folder, kUntouched);

  // The next attempt starts again from the proposal, not from what was typed.
  EXPECT_EQ(Select(nullptr, IDCANCEL).shown, "C:\\Program Files\\Game");
}

TEST_F(FolderSelect, RefusedPathsShowTheirBox) {
  struct Row {
    const char* typed;
    Answer answer;
    const char* box;
  };
  const std::string too_long = "D:\\" + std::string(300, 'x');
  const Row rows[] = {
      {"\\\\server\\share\\Game", Answer::kOk,
       "ネットワークドライブには対応していません。\nローカルドライブを選択して下さい。"},
      {"C:\\\\Game", Answer::kOk,
       "ネットワークドライブには対応していません。\nローカルドライブを選択して下さい。"},
      {"D:", Answer::kRetry, "ルートにはインストールできません"},
      {"D:\\", Answer::kRetry, "ルートにはインストールできません"},
      {too_long.c_str(), Answer::kOk,
       "インストール先のパスが長すぎます。\n短いフォルダ名を指定して下さい。"},
  };
  for (const Row& row : rows) {
    const Outcome outcome = Select(row.typed, IDOK, row.answer);
    EXPECT_EQ(outcome.box, row.box) << row.typed;
    EXPECT_EQ(outcome.result, -1) << row.typed;
    EXPECT_EQ(outcome.folder, kUntouched);
  }
}

TEST_F(FolderSelect, BrowserReplacesTheTypedText) {
  ReloadSettingList("REG_GLOBAL PvSel\nREG_LOCAL Local\nINSTTO Game\nINSTFOL Maker\n");
  std::string after_cancel, after_pick;
  char folder[260] = "";
  {
    UiScript script([&] {
      HWND dialog = WaitForDialog(kSetupTitle);
      if (!dialog) return CancelAllDialogs();
      SetDlgItemTextA(dialog, 1000, "D:\\Typed");
      wt::Press(dialog, 1021);
      HWND browser = WaitForOtherDialog(dialog);
      if (!browser) return CancelAllDialogs();
      wt::Press(browser, IDCANCEL);
      WaitUntilGone(browser);
      Sleep(100);
      after_cancel = wt::ControlText(dialog, 1000);
      // OK on the browser's initial item: the picked folder gets INSTTO appended.
      wt::Press(dialog, 1021);
      browser = WaitForOtherDialog(dialog);
      if (!browser) return CancelAllDialogs();
      wt::Press(browser, IDOK);
      WaitUntilGone(browser);
      Sleep(100);
      after_pick = wt::ControlText(dialog, 1000);
      wt::Press(dialog, IDCANCEL);
    });
    EXPECT_EQ(SelectInstallFolder(folder), -1);
  }
  EXPECT_EQ(after_cancel, "C:\\Program Files\\Maker\\Game");
  // The browser starts on the desktop item.
  char desktop[MAX_PATH] = "";
  SHGetSpecialFolderPathA(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, FALSE);
  EXPECT_EQ(after_pick, std::string(desktop) + "\\Maker\\Game");
  EXPECT_EQ(std::string(InstallFolderSelection()), after_pick);
}

// The folder goes into CP932 text (INI, registry): one with no CP932 form is refused at OK,
// and the dialog stays for another choice.
TEST_F(FolderSelect, FolderWithoutCp932FormIsRefusedAndTheDialogStays) {
  ReloadSettingList("REG_GLOBAL PvSel\nREG_LOCAL Local\nINSTTO Game\n");
  std::string refusal;
  bool stayed = false;
  char folder[260] = "";
  int result = 0;
  {
    UiScript script([&] {
      HWND dialog = WaitForDialog(kSetupTitle);
      if (!dialog) return CancelAllDialogs();
      SetDlgItemTextW(dialog, 1000, L"C:\\Caf\u00e9\\Game");
      wt::Press(dialog, IDOK);
      HWND box = WaitForBox();
      if (!box) return CancelAllDialogs();
      refusal = wt::MessageBoxText(box);
      wt::Press(box, IDOK);
      WaitUntilGone(box);
      stayed = IsWindowVisible(dialog) != FALSE;
      SetDlgItemTextA(dialog, 1000, "C:\\Games\\ソ表");
      wt::Press(dialog, IDOK);
      WaitUntilGone(dialog);
      if (HWND confirm = WaitForBox()) wt::Press(confirm, IDYES);
    });
    result = SelectInstallFolder(folder);
  }
  EXPECT_EQ(refusal, kFolderNameNotCp932Text);
  EXPECT_TRUE(stayed);
  EXPECT_EQ(result, 0);
  EXPECT_STREQ(folder, "C:\\Games\\ソ表");
}

}  // namespace
