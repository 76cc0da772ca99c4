// Panvester.exe from the outside: start-up, the main window's buttons, closing, and the
// single-instance rule. Each test builds its own distribution in the temporary folder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/resource_ids.h"
#include "support/setup_builder.h"
#include "support/wine_test.h"

namespace {

constexpr DWORD kTimeout = 20000;

std::string Folder(const char* name) { return wt::TempDir() + "\\" + name; }

std::vector<wt::PayloadFile> Distribution(const std::string& env) {
  return {{"install.env", env},  {"insttscr.rct", wt::SolidTitlePicture(64, 48, 200, 120, 40)},
          {"readme.txt", "readme"}, {"game.exe", "MZ"}, {"data\\", ""}, {"data\\a.dat", "a"}};
}

// The window's buttons from the bottom of the column up, as (id, text); destroyed slots are absent.
std::vector<std::pair<int, std::string>> Buttons(HWND window) {
  std::vector<std::pair<int, std::string>> buttons;
  for (int id = IDC_SLOT1; id <= IDC_SLOT9; ++id) {
    if (HWND button = GetDlgItem(window, id)) buttons.emplace_back(id, wt::Text(button));
  }
  return buttons;
}

TEST(StartupE2E, MainWindowShowsExitAndInstallAndClosesCleanly) {
  const std::string exe = wt::MakeSetup(Folder("plain"), Distribution("TITLEBAR テスト|ゲーム\n"));
  ASSERT_FALSE(exe.empty());
  wt::Process program = wt::Start(exe);
  const std::string title = "テスト ゲーム スタートアップ";
  HWND window = wt::WaitFor([&] { return wt::FindTopWindow(program.id, title); }, kTimeout);
  ASSERT_NE(window, nullptr);
  const std::vector<std::pair<int, std::string>> expected = {{1000, "終了"}, {1001, "インストール"}};
  EXPECT_EQ(Buttons(window), expected);
  EXPECT_EQ(wt::WorkFolders().size(), 1u);

  // Enter and Esc reach the window as commands 1 and 2, which match no button.
  PostMessageA(window, WM_COMMAND, IDOK, 0);
  PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
  Sleep(300);
  EXPECT_TRUE(IsWindow(window));

  PostMessageA(window, WM_CLOSE, 0, 0);
  DWORD code = 1;
  ASSERT_TRUE(wt::WaitExit(program, kTimeout, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(wt::WorkFolders().empty());
}

TEST(StartupE2E, ExitButtonEndsWithZeroFromAnAppendedArchive) {
  const std::string exe =
      wt::MakeSetup(Folder("appended"), Distribution("TITLEBAR Appended\n"), wt::Container::kAppended);
  ASSERT_FALSE(exe.empty());
  wt::Process program = wt::Start(exe);
  HWND window = wt::WaitFor([&] { return wt::FindTopWindow(program.id, "Appended スタートアップ"); }, kTimeout);
  ASSERT_NE(window, nullptr);
  wt::Press(window, 1000);
  DWORD code = 1;
  ASSERT_TRUE(wt::WaitExit(program, kTimeout, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(wt::WorkFolders().empty());
}

TEST(StartupE2E, ReadmeAndDirectXButtonsFillTheColumnFromTheBottom) {
  const struct {
    const char* label;
    bool directx;
    const char* readme_line;
    std::vector<std::pair<int, std::string>> buttons;
  } rows[] = {
      {"neither", false, "INSTREADME -\n", {{1000, "終了"}, {1001, "インストール"}}},
      {"DirectX", true, "", {{1000, "終了"}, {1001, "DirectXインストール"}, {1002, "インストール"}}},
      {"readme", false, "INSTREADME お読み下さい\n", {{1000, "終了"}, {1001, "お読み下さい"}, {1002, "インストール"}}},
      {"both", true, "INSTREADME お読み下さい\n",
       {{1000, "終了"}, {1001, "DirectXインストール"}, {1002, "お読み下さい"}, {1003, "インストール"}}},
  };
  int n = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.label);
    const std::string folder = Folder("layout") + std::to_string(++n);
    const std::string title = "Layout" + std::to_string(n);
    const std::string exe = wt::MakeSetup(folder, Distribution("TITLEBAR " + title + "\n" + row.readme_line));
    ASSERT_FALSE(exe.empty());
    if (row.directx) {
      ASSERT_TRUE(wt::MakeDirs(folder + "\\DirectX"));
    }
    wt::Process program = wt::Start(exe);
    HWND window = wt::WaitFor([&] { return wt::FindTopWindow(program.id, title + " スタートアップ"); }, kTimeout);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(Buttons(window), row.buttons);
    PostMessageA(window, WM_CLOSE, 0, 0);
    DWORD code = 1;
    ASSERT_TRUE(wt::WaitExit(program, kTimeout, &code));
    EXPECT_EQ(code, 0u);
  }
}

TEST(StartupE2E, AnUnterminatedSectionStopsStartUpWithMinusOne) {
  const std::string exe = wt::MakeSetup(Folder("open_section"),
                                        Distribution("TITLEBAR Open\n[ini]\nPath=REP_INSTALL\n-\n[reg]\n\"a\"=\"b\"\n"));
  ASSERT_FALSE(exe.empty());
  wt::Process program = wt::Start(exe);
  HWND box = wt::WaitFor([&] { return wt::FindMessageBox(program.id); }, kTimeout);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(wt::MessageBoxText(box), "[設定.env]の[reg]が終了していません");
  EXPECT_EQ(wt::Text(box), "");  // before the main window exists
  wt::Press(box, IDRETRY);  // whatever the answer, start-up cannot go on
  DWORD code = 0;
  ASSERT_TRUE(wt::WaitExit(program, kTimeout, &code));
  EXPECT_EQ(code, 0xFFFFFFFFu);
  EXPECT_EQ(wt::ClipboardText(), "[設定.env]の[reg]が終了していません");
  // A fatal end through this box leaves the work folder behind, as the other fatal boxes do.
  const std::vector<std::string> left = wt::WorkFolders();
  ASSERT_EQ(left.size(), 1u);
  wt::RemoveTree(wt::TempDir() + "\\" + left[0]);
}

TEST(StartupE2E, AFileNamedDirectXGivesNoDirectXButton) {
  const std::string folder = Folder("dxfile");
  const std::string exe = wt::MakeSetup(folder, Distribution("TITLEBAR DxFile\n"));
  ASSERT_FALSE(exe.empty());
  ASSERT_TRUE(wt::WriteFile(folder + "\\DirectX", "not a folder"));
  wt::Process program = wt::Start(exe);
  HWND window = wt::WaitFor([&] { return wt::FindTopWindow(program.id, "DxFile スタートアップ"); }, kTimeout);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(Buttons(window).size(), 2u);
  PostMessageA(window, WM_CLOSE, 0, 0);
  DWORD code = 1;
  ASSERT_TRUE(wt::WaitExit(program, kTimeout, &code));
}

TEST(StartupE2E, SecondInstanceSaysItIsRunningAndLeavesTheFirstAlone) {
  const std::string exe = wt::MakeSetup(Folder("twice"), Distribution("TITLEBAR 二重起動\n"));
  ASSERT_FALSE(exe.empty());
  const std::string title = "二重起動 スタートアップ";
  wt::Process first = wt::Start(exe);
  HWND window = wt::WaitFor([&] { return wt::FindTopWindow(first.id, title); }, kTimeout);
  ASSERT_NE(window, nullptr);

  wt::Process second = wt::Start(exe);
  HWND box = wt::WaitFor([&] { return wt::FindMessageBox(second.id); }, kTimeout);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(wt::MessageBoxText(box), "[ 二重起動 スタートアップ ] は既に起動中です");
  EXPECT_EQ(wt::Text(box), "二重起動");
  EXPECT_EQ(wt::WorkFolders().size(), 2u);
  wt::Press(box, IDOK);
  DWORD code = 1;
  ASSERT_TRUE(wt::WaitExit(second, kTimeout, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(wt::WorkFolders().size(), 1u);  // the second removed its own

  EXPECT_TRUE(IsWindow(window));
  PostMessageA(window, WM_CLOSE, 0, 0);
  ASSERT_TRUE(wt::WaitExit(first, kTimeout, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(wt::WorkFolders().empty());
}

// Sets TMP and TEMP for the programs this process starts, and restores them.
class TemporaryFolderVariables {
 public:
  explicit TemporaryFolderVariables(const std::string& value) {
    for (const char* name : {"TMP", "TEMP"}) {
      char old[4096] = "";
      const DWORD n = GetEnvironmentVariableA(name, old, sizeof old);
      saved_.push_back({name, n > 0 && n < sizeof old, old});
      SetEnvironmentVariableA(name, value.c_str());
    }
  }
  ~TemporaryFolderVariables() {
    for (const Saved& s : saved_) SetEnvironmentVariableA(s.name, s.present ? s.value.c_str() : nullptr);
  }

 private:
  struct Saved {
    const char* name;
    bool present;
    std::string value;
  };
  std::vector<Saved> saved_;
};

TEST(StartupE2E, AnUnusableTemporaryFolderFailsTheSetupPassAndWritesNothing) {
  const std::string temp = wt::TempDir();
  // Fits itself, but the work folder's name does not fit behind it.
  const std::string crowded = temp + "\\" + std::string(240 - temp.size(), 'c');
  ASSERT_TRUE(wt::MakeDirs(crowded));
  const struct {
    const char* label;
    std::string value;
  } rows[] = {
      {"longer than a path", "C:\\" + std::string(300, 'x')},
      {"no room for the work folder", crowded},
      {"missing", "C:\\no-such-temporary-folder"},
  };
  int n = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.label);
    const std::string folder = Folder("badtemp") + std::to_string(++n);
    const std::string exe = wt::MakeSetup(folder, Distribution("TITLEBAR BadTemp\n"));
    ASSERT_FALSE(exe.empty());
    const std::vector<std::string> root_before = wt::ListNames("C:", "*");
    const std::vector<std::string> folder_before = wt::ListNames(folder, "*");
    wt::Process program;
    {
      TemporaryFolderVariables variables(row.value);
      program = wt::Start(exe);
    }
    HWND box = wt::WaitFor([&] { return wt::FindMessageBox(program.id); }, kTimeout);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(wt::MessageBoxText(box), "ファイルの読み込みに失敗しました。ファイルが壊れている可能性があります。");
    wt::Press(box, IDOK);
    DWORD code = 0;
    ASSERT_TRUE(wt::WaitExit(program, kTimeout, &code));
    EXPECT_EQ(code, 0xFFFFFFFFu);
    EXPECT_EQ(wt::ListNames("C:", "*"), root_before);
    EXPECT_EQ(wt::ListNames(folder, "*"), folder_before);
    EXPECT_EQ(wt::ListNames(crowded, "*"), (std::vector<std::string>{".", ".."}));
  }
}

// A "\" in the title makes the mutex name invalid: the program must say so, not vanish.
TEST(StartupE2E, ATitleWithABackslashIsReportedInsteadOfEndingSilently) {
  const std::string exe = wt::MakeSetup(Folder("backslash"), Distribution("TITLEBAR 体験版\\第1章\n"));
  ASSERT_FALSE(exe.empty());
  wt::Process program = wt::Start(exe);
  HWND box = wt::WaitFor([&] { return wt::FindMessageBox(program.id); }, kTimeout);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(wt::MessageBoxText(box),
            "[ 体験版\\第1章 スタートアップ ] の起動確認ができませんでした。\n"
            "TITLEBARに「\\」が含まれていないか確認して下さい。");
  wt::Press(box, IDOK);
  DWORD code = 0;
  ASSERT_TRUE(wt::WaitExit(program, kTimeout, &code));
  EXPECT_EQ(code, 0xFFFFFFFFu);
  EXPECT_TRUE(wt::WorkFolders().empty());
}

}  // namespace
