// The main window's title picture, checked on screen: the dialog runs on the test's thread
// with the real template and procedure while a second thread reads its client area back.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/message_win.h"
#include "driver/main_window_win.h"
#include "driver/work_folder_win.h"
#include "image/surface_win.h"
#include "image/title_codec.h"
#include "settings/resource_opener.h"
#include "support/wine_test.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct Picture {
  int width = 0, height = 0;
  Bytes bgr;  // packed rows
};

Picture Decode(const Bytes& file) {
  Picture p;
  TitleFile parsed;
  EXPECT_EQ(ParseTitleFile(file.data(), file.size(), &parsed), TitleRead::kOk);
  p.width = parsed.width;
  p.height = parsed.height;
  p.bgr.assign(3 * static_cast<std::size_t>(p.width) * p.height, 0);
  EXPECT_EQ(DecodeTitleFile(&parsed, p.bgr.data(), 3 * static_cast<std::size_t>(p.width)), TitleDecode::kComplete);
  return p;
}

// What the second thread saw.
struct Observed {
  int client_width = 0, client_height = 0;
  std::vector<COLORREF> client;  // the client area, row by row
  bool alive_after_keys = false;
  std::string focus_class;
};

COLORREF At(const Observed& o, int x, int y) { return o.client[static_cast<std::size_t>(y) * o.client_width + x]; }

void Capture(HWND window, Observed* o) {
  RECT rect;
  GetClientRect(window, &rect);
  o->client_width = rect.right;
  o->client_height = rect.bottom;
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Sleep(300);
  HDC screen = GetDC(window);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = rect.right;
  info.bmiHeader.biHeight = -rect.bottom;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP shot = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, shot);
  BitBlt(memory, 0, 0, rect.right, rect.bottom, screen, 0, 0, SRCCOPY);
  GdiFlush();
  const unsigned char* p = static_cast<const unsigned char*>(bits);
  o->client.resize(static_cast<std::size_t>(rect.right) * rect.bottom);
  for (std::size_t i = 0; i < o->client.size(); ++i) o->client[i] = RGB(p[4 * i + 2], p[4 * i + 1], p[4 * i]);
  SelectObject(memory, old);
  DeleteObject(shot);
  DeleteDC(memory);
  ReleaseDC(window, screen);
}

// Runs the main window over a work folder holding `file` as insttscr.rct. The observer
// captures the client area, presses Esc and Enter, sends the commands 1 and 2 that the
// dialog manager makes of them, then closes the window with its close box.
Observed RunMainWindow(const Bytes& file) {
  Observed o;
  SetPlainFileSwitch(1);
  CreateWorkFolder();
  const std::string work = WorkFolderPath();
  EXPECT_TRUE(wt::WriteFile("insttscr.rct", std::string(file.begin(), file.end())));
  SetMainWindowHandle(nullptr);

  std::atomic<bool> done{false};
  std::thread observer([&] {
    HWND window = wt::WaitFor([] {
      HWND w = MainWindowHandle();
      return w && IsWindowVisible(w) ? w : nullptr;
    }, 10000);
    if (!window) return;
    Sleep(300);
    Capture(window, &o);
    GUITHREADINFO gui = {};
    gui.cbSize = sizeof gui;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &gui) && gui.hwndFocus) {
      o.focus_class = wt::ClassOf(gui.hwndFocus);
    }
    for (WPARAM key : {VK_ESCAPE, VK_RETURN}) {
      PostMessageA(window, WM_KEYDOWN, key, 0);
      PostMessageA(window, WM_KEYUP, key, 0);
    }
    for (WPARAM id : {IDOK, IDCANCEL}) PostMessageA(window, WM_COMMAND, id, 0);
    Sleep(500);
    o.alive_after_keys = IsWindow(window) && IsWindowVisible(window);
    PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    done = true;
  });
  const INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), "MAINDIALOG", nullptr, MainWindowProc, 0);
  observer.join();
  EXPECT_TRUE(done) << "the window never showed";
  EXPECT_EQ(result, 0);
  EXPECT_EQ(NewestSurface(), nullptr) << "the close path released the title surface";
  EXPECT_FALSE(wt::DirectoryExists(work)) << "the close path removed the work folder";
  return o;
}

// Every client pixel inside the picture's rectangle (left of the button column) shows the
// picture; the ring of pixels around it shows the dialog background.
void ExpectPictureAt(const Observed& o, const Picture& p, int x0, int y0, int right_limit) {
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  int wrong = 0, compared = 0;
  for (int y = std::max(0, y0); y < std::min(o.client_height, y0 + p.height); ++y) {
    for (int x = std::max(0, x0); x < std::min(right_limit, x0 + p.width); ++x) {
      const unsigned char* px = &p.bgr[3 * (static_cast<std::size_t>(y - y0) * p.width + (x - x0))];
      ++compared;
      if (At(o, x, y) != RGB(px[2], px[1], px[0]) && wrong++ < 5) {
        ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << At(o, x, y);
      }
    }
  }
  EXPECT_EQ(wrong, 0) << "of " << compared << " pixels";
  EXPECT_GT(compared, 0);
  auto background = [&](int x, int y) {
    if (x >= 0 && x < right_limit && y >= 0 && y < o.client_height) {
      EXPECT_EQ(At(o, x, y), face) << x << "," << y;
    }
  };
  for (int y = y0 - 1; y <= y0 + p.height; ++y) {
    background(x0 - 1, y);
    background(x0 + p.width, y);
  }
  for (int x = x0; x < x0 + p.width; ++x) {
    background(x, y0 - 1);
    background(x, y0 + p.height);
  }
}

// The button column starts at 155 dialog units; nothing of the picture is compared there.
int ButtonColumnLeft(const Observed& o) { return o.client_width * 155 / 234; }

TEST(TitleWindow, SampleTitlePictureCentredOnTheClientHeight) {
  const std::string sample = wt::ReadFile(wt::SourceDir() + "\\examples\\sample\\insttscr.rct");
  ASSERT_FALSE(sample.empty());
  const Bytes file(sample.begin(), sample.end());
  const Picture p = Decode(file);
  const Observed o = RunMainWindow(file);
  ASSERT_GT(o.client_height, 0);
  const int side = o.client_height;
  ExpectPictureAt(o, p, (side - p.width) / 2, (side - p.height) / 2, ButtonColumnLeft(o));
  EXPECT_LE((side + p.width) / 2, ButtonColumnLeft(o)) << "the sample picture fits beside the buttons";
  EXPECT_TRUE(o.alive_after_keys) << "Esc, Enter and the commands 1 and 2 leave the window open (focus: "
                                  << o.focus_class << ")";
}

TEST(TitleWindow, LargerThanTheClientHeightStartsAboveAndLeft) {
  Picture p{400, 360, {}};
  p.bgr.resize(3 * 400 * 360);
  for (int y = 0; y < 360; ++y) {
    for (int x = 0; x < 400; ++x) {
      unsigned char* px = &p.bgr[3 * (static_cast<std::size_t>(y) * 400 + x)];
      px[0] = static_cast<unsigned char>(x), px[1] = static_cast<unsigned char>(y), px[2] = static_cast<unsigned char>(x ^ y);
    }
  }
  const Observed o = RunMainWindow(EncodeTitleFile(p.bgr.data(), 400, 360, TitleVariant::kTS01, "big"));
  const int side = o.client_height;
  ASSERT_LT(side, 360);
  ExpectPictureAt(o, p, (side - 400) / 2, (side - 360) / 2, ButtonColumnLeft(o));
}

TEST(TitleWindow, ScrambledPictureWithoutCheckBytesIsABlackRectangle) {
  Picture p{120, 90, Bytes(3 * 120 * 90, 0)};
  Bytes file = EncodeTitleFile(Bytes(3 * 120 * 90, 0x77).data(), 120, 90, TitleVariant::kTS00);
  file.back() = 'Z';
  const Observed o = RunMainWindow(file);
  ExpectPictureAt(o, p, (o.client_height - 120) / 2, (o.client_height - 90) / 2, ButtonColumnLeft(o));
}

TEST(TitleWindow, UnknownVariantDrawsNothing) {
  Bytes file = EncodeTitleFile(Bytes(3 * 50 * 50, 0).data(), 50, 50, TitleVariant::kTC00);
  file[7] = '2';  // "TC02"
  const Observed o = RunMainWindow(file);
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  int other = 0;
  for (int y = 0; y < o.client_height; ++y) {
    for (int x = 0; x < ButtonColumnLeft(o); ++x) other += At(o, x, y) != face;
  }
  EXPECT_EQ(other, 0);
}

}  // namespace
