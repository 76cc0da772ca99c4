// The install sequence's four checks and the end dialog, in-process (the full run with the
// extraction is driven through Panvester.exe by the end-to-end tests).
#include "driver/install_sequence_win.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <string>

#include "common/message_win.h"
#include "settings/setting_list.h"
#include "support/system_test_support.h"
#include "support/wine_test.h"

namespace {

constexpr char kSetupTitle[] = "インストール先のフォルダの指定";
constexpr char kEndTitle[] = "インストール終了";
constexpr char kSettings[] = "REG_GLOBAL PvSeq\nREG_LOCAL Local\nINSTTO Game\n";

class InstallSequence : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    CoInitialize(nullptr);
    LoadSettingsText(kSettings);
    SetMainWindowHandle(MakeStandInMainWindow());
  }
};

struct Attempt {
  int result = 0;
  bool setup_shown = false;
  std::string box;
};

// Runs Install: types `typed` into the folder dialog (or cancels it when null), says Yes to
// the confirmation, and records the error box that ends the run.
Attempt RunInstall(const char* typed, bool expect_setup = true) {
  Attempt run;
  {
    UiScript script([&] {
      if (expect_setup) {
        HWND dialog = WaitForDialog(kSetupTitle);
        if (!dialog) return CancelAllDialogs();
        run.setup_shown = true;
        if (!typed) {
          wt::Press(dialog, IDCANCEL);
        } else {
          SetDlgItemTextA(dialog, 1000, typed);
          wt::Press(dialog, IDOK);
          WaitUntilGone(dialog);
          HWND question = WaitForBox();
          if (!question) return CancelAllDialogs();
          wt::Press(question, IDYES);
          WaitUntilGone(question);
        }
      }
      HWND box = WaitForBox();
      if (!box) return CancelAllDialogs();
      run.box = wt::MessageBoxText(box);
      wt::Press(box, IDOK);
    });
    run.result = Install();
  }
  return run;
}

TEST_F(InstallSequence, EachCheckStopsWithItsMessage) {
  // Without the right to create the machine key nothing else is asked.
  ASSERT_TRUE(RefuseMachineKeysUnder("PvSeq"));
  Attempt run = RunInstall(nullptr, false);
  EXPECT_EQ(run.box, "インストールにはAdministrator権限が必要です。");
  EXPECT_EQ(run.result, -1);
  DeleteTree(HKEY_LOCAL_MACHINE, "Software\\PvSeq");

  // The next attempt starts again with the machine key, which now can be made.
  run = RunInstall(nullptr);
  EXPECT_TRUE(run.setup_shown);
  EXPECT_EQ(run.box, "インストールを中止しました");
  EXPECT_EQ(run.result, -1);
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\PvSeq\\Local"));

  const std::string base = MakeScratchFolder("pv-sequence");
  wt::WriteFile(base + "\\File", "x");
  run = RunInstall((base + "\\File\\Game").c_str());
  EXPECT_EQ(run.box, "インストール先フォルダは無効又は作成できません\nインストールにはAdministrator権限が必要です。");
  EXPECT_EQ(run.result, -1);

  // A folder that exists but where the probe file cannot be made.
  wt::MakeDirs(base + "\\Locked\\UserAccountCheck.id");
  run = RunInstall((base + "\\Locked").c_str());
  EXPECT_EQ(run.box, "指定された場所には書き込み出来ません。\nインストールにはAdministrator権限が必要です。");
  EXPECT_EQ(run.result, -1);
}

TEST_F(InstallSequence, EndDialogWithoutReadme) {
  ReloadSettingList(kSettings);
  bool has_readme_box = true;
  {
    UiScript script([&] {
      HWND dialog = WaitForDialog(kEndTitle);
      if (!dialog) return CancelAllDialogs();
      has_readme_box = GetDlgItem(dialog, 1007) != nullptr;
      wt::Press(dialog, IDOK);
    });
    RunEndDialog();
  }
  EXPECT_FALSE(has_readme_box) << "the short template";
  EXPECT_EQ(EndDialogReadmeChoice(), 0);
  EXPECT_EQ(EndDialogStartChoice(), 0);
}

TEST_F(InstallSequence, EndDialogReadmeChoice) {
  ReloadSettingList(std::string(kSettings) + "INSTREADME 説明書を読む\n");
  struct Row {
    bool check;
    int button;
    int readme;
  };
  const Row rows[] = {{true, IDOK, 1}, {false, IDOK, 0}, {true, IDCANCEL, 0}};
  for (const Row& row : rows) {
    std::string label;
    bool initially_checked = true;
    {
      UiScript script([&] {
        HWND dialog = WaitForDialog(kEndTitle);
        if (!dialog) return CancelAllDialogs();
        label = wt::ControlText(dialog, 1007);
        initially_checked = IsChecked(dialog, 1007);
        SetChecked(dialog, 1007, row.check);
        if (row.button == IDCANCEL) {
          PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);  // the template has no Cancel button
        } else {
          wt::Press(dialog, row.button);
        }
      });
      RunEndDialog();
    }
    EXPECT_EQ(label, "説明書を読む");
    EXPECT_FALSE(initially_checked);
    EXPECT_EQ(EndDialogReadmeChoice(), row.readme) << row.check << " " << row.button;
    // Neither template has the start box: the game is never started from here.
    EXPECT_EQ(EndDialogStartChoice(), 0);
  }
}

}  // namespace
