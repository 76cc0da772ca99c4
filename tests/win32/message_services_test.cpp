// The three boxes, the clipboard copy, the pump, centring, allocation and the launchers,
// exercised in-process; boxes are answered by a watcher thread by button id.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "common/message_win.h"
#include "support/wine_test.h"

namespace {

struct SeenBox {
  std::string text;
  std::string caption;
  bool has_retry = false;
  bool has_yes = false;
};

// Waits for this process's next message box, records it and presses `answer`.
std::thread AnswerNextBox(int answer, SeenBox* seen) {
  return std::thread([answer, seen] {
    HWND box = wt::WaitFor([] { return wt::FindMessageBox(GetCurrentProcessId()); }, 10000);
    if (!box) return;
    seen->text = wt::MessageBoxText(box);
    seen->caption = wt::Text(box);
    seen->has_retry = GetDlgItem(box, IDRETRY) != nullptr;
    seen->has_yes = GetDlgItem(box, IDYES) != nullptr;
    wt::Press(box, answer);
  });
}

class MessageServices : public ::testing::Test {
 protected:
  void TearDown() override {
    if (main_window_) DestroyWindow(main_window_);
    SetMainWindowHandle(nullptr);
  }
  void MakeMainWindow(const char* title) {
    main_window_ = CreateWindowA("STATIC", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetMainWindowHandle(main_window_);
  }
  HWND main_window_ = nullptr;
};

TEST_F(MessageServices, ErrorBoxFormatsCopiesAndTakesTheMainWindowTitle) {
  wt::SetClipboardText("older text");
  SeenBox seen;
  std::thread watcher = AnswerNextBox(IDOK, &seen);
  ErrorBox("[%s] %s", "ファイル", "壊れています");
  watcher.join();
  EXPECT_EQ(seen.text, "[ファイル] 壊れています");
  EXPECT_EQ(seen.caption, "");  // no main window yet
  EXPECT_FALSE(seen.has_retry);
  EXPECT_EQ(wt::ClipboardText(), "[ファイル] 壊れています");

  MakeMainWindow("テスト スタートアップ");
  std::thread second = AnswerNextBox(IDOK, &seen);
  ErrorBox("二回目");
  second.join();
  EXPECT_EQ(seen.caption, "テスト スタートアップ");
  EXPECT_EQ(wt::ClipboardText(), "二回目");
}

TEST_F(MessageServices, LongMessagesAreCutToTheBuffer) {
  const std::string long_text(3000, 'x');
  SeenBox seen;
  std::thread watcher = AnswerNextBox(IDOK, &seen);
  ErrorBox("%s", long_text.c_str());
  watcher.join();
  EXPECT_EQ(wt::ClipboardText(), std::string(kMessageBuffer - 1, 'x'));
}

TEST_F(MessageServices, YesNoAnswersAndLeavesTheClipboardAlone) {
  wt::SetClipboardText("keep me");
  SeenBox seen;
  std::thread yes = AnswerNextBox(IDYES, &seen);
  EXPECT_EQ(YesNoBox("[%s]にインストールします", "C:\\Game"), 1);
  yes.join();
  EXPECT_TRUE(seen.has_yes);
  EXPECT_EQ(seen.text, "[C:\\Game]にインストールします");
  std::thread no = AnswerNextBox(IDNO, &seen);
  EXPECT_EQ(YesNoBox("no"), 0);
  no.join();
  EXPECT_EQ(wt::ClipboardText(), "keep me");
}

TEST_F(MessageServices, RetryReturnsAndCopies) {
  SeenBox seen;
  std::thread watcher = AnswerNextBox(IDRETRY, &seen);
  RetryAbortBox("Ffopen : ファイル[%s]の読み込みで失敗しました", "insttscr.rct");
  watcher.join();
  EXPECT_TRUE(seen.has_retry);
  EXPECT_EQ(wt::ClipboardText(), "Ffopen : ファイル[insttscr.rct]の読み込みで失敗しました");
}

TEST(MessageServicesDeathTest, CancelEndsTheProcessWithMinusOne) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(
      {
        SeenBox seen;
        std::thread watcher = AnswerNextBox(IDCANCEL, &seen);
        watcher.detach();
        RetryAbortBox("abort me");
      },
      ::testing::ExitedWithCode(-1), "");
}

TEST(MessageServicesDeathTest, QuitMessageInThePumpEndsWithItsCode) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(
      {
        PostQuitMessage(7);
        PumpMessages();
      },
      ::testing::ExitedWithCode(7), "");
}

TEST(MessageServicesPump, CountsDispatchedMessagesAndNeverWaits) {
  HWND window = CreateWindowA("STATIC", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  PumpMessages();  // whatever creation queued
  PostMessageA(window, WM_USER, 0, 0);
  PostMessageA(window, WM_USER + 1, 0, 0);
  EXPECT_EQ(PumpMessages(), 2);
  EXPECT_EQ(PumpMessages(), 0);
  DestroyWindow(window);
}

TEST(MessageServicesCentre, UsesTheWholeScreenAndHalvesTowardZero) {
  const int screen_w = GetSystemMetrics(SM_CXSCREEN);
  const int screen_h = GetSystemMetrics(SM_CYSCREEN);
  struct Size { int w, h; };
  const Size sizes[] = {{201, 101}, {screen_w + 5, screen_h + 7}};
  for (const Size& size : sizes) {
    HWND window = CreateWindowA("STATIC", "", WS_POPUP, 3, 3, size.w, size.h, nullptr, nullptr, nullptr,
                                nullptr);
    CenterWindow(window);
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.left, (screen_w - size.w) / 2);
    EXPECT_EQ(rect.top, (screen_h - size.h) / 2);
    EXPECT_EQ(rect.right - rect.left, size.w);
    DestroyWindow(window);
  }
}

TEST(MessageServicesAllocate, ExhaustionShowsTheMallocBoxAndReturnsNull) {
  void* block = Allocate(100);
  ASSERT_NE(block, nullptr);
  free(block);
  SeenBox seen;
  std::thread watcher = AnswerNextBox(IDOK, &seen);
  EXPECT_EQ(Allocate(SIZE_MAX - 8), nullptr);
  watcher.join();
  EXPECT_EQ(seen.caption, "malloc");
  EXPECT_EQ(seen.text, "メモリ容量が不足しています。処理を中断します。");
}

TEST(MessageServicesLaunch, QuotesPathsWithBlanksAndRefusesOverlongOnes) {
  const std::string folder = wt::TempDir() + "\\launch with blanks";
  ASSERT_TRUE(wt::MakeDirs(folder));
  char system[MAX_PATH];
  GetSystemDirectoryA(system, sizeof system);
  const std::string program = folder + "\\host name.exe";
  ASSERT_TRUE(CopyFileA((std::string(system) + "\\hostname.exe").c_str(), program.c_str(), FALSE));
  EXPECT_NE(LaunchProcess(program.c_str()), 0);
  EXPECT_EQ(LaunchProcess((folder + "\\missing.exe").c_str()), 0);
  // A path from the system with no CP932 form starts as it is.
  const std::wstring cafe = wt::Wide(folder) + L"\\caf\u00e9.exe";
  ASSERT_TRUE(CopyFileW(wt::Wide(program).c_str(), cafe.c_str(), FALSE));
  EXPECT_NE(LaunchProcessW(cafe), 0);
  // 258 bytes plus two quotes and the terminator would not fit 260: refused, not cut.
  EXPECT_EQ(LaunchProcess(("C:\\" + std::string(255, 'a')).c_str()), 0);
}

}  // namespace
