// The resource set: every dialog template holds exactly the controls the program addresses
// and builds into windows with them, the copy animation opens and plays, and Panvester.exe
// carries the same resources as this test (both link the one .rc file).
//
// PV_RESOURCES_SHOW_MS=N keeps all six dialogs on screen for N ms (animation playing),
// for a look or a screenshot.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/wine_test.h"

namespace {

struct ControlRow {
  int id;
  const char* cls;
  const char* text;
  DWORD style;  // complete: child and visible included
  int x, y, w, h;
};

struct DialogRow {
  const char* name;
  DWORD style;
  const char* title;
  int w, h;
  std::vector<ControlRow> controls;  // in template order
};

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kPush = kChild | BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD kFrame = DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION;
const char kCancel[] = "ｷｬﾝｾﾙ";
const char kEndText[] =
    "インストールを終了しました。\nプログラムの起動は [ スタート ] メニューまたは、\n"
    "デスクトップ上のショートカットから行ってください。\n\n"
    "以下のメニューを選択してＯＫを押して下さい。";

const std::vector<DialogRow>& Dialogs() {
  static const std::vector<DialogRow> dialogs = {
      {"MAINDIALOG", kFrame | WS_SYSMENU | DS_SETFOREGROUND,
       "ＶＥＬＵＮＡ アプリケーション スタートアップ", 234, 179,
       {{1007, "Button", "Button8", kPush, 155, 55, 75, 14},
        {1006, "Button", "Button7", kPush, 155, 70, 75, 14},
        {1005, "Button", "Button6", kPush, 155, 85, 75, 14},
        {1004, "Button", "Button5", kPush, 155, 100, 75, 14},
        {1003, "Button", "Button4", kPush, 155, 115, 75, 14},
        {1002, "Button", "Button3", kPush, 155, 130, 75, 14},
        {1001, "Button", "Button2", kPush, 155, 145, 75, 14},
        {1000, "Button", "Button1", kPush, 155, 160, 75, 14},
        {1008, "Button", "Button9", kPush, 177, 7, 50, 14}}},
      {"SETUP", kFrame | WS_SYSMENU | WS_VISIBLE, "インストール先のフォルダの指定", 203, 95,
       {{1, "Button", "次へ", kPush, 115, 75, 40, 14},
        {2, "Button", kCancel, kPush, 160, 75, 40, 14},
        {1000, "Edit", "", kChild | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 10, 26, 130, 12},
        {1021, "Button", "参照(&B)", kPush, 145, 25, 50, 14},
        {-1, "Button", "", kChild | BS_GROUPBOX, 5, 15, 195, 30},
        {-1, "Static",
         "[参照]ボタンで、既存のフォルダを参照できます\n[次へ]ボタンでインストールを開始します",
         kChild | SS_LEFT, 5, 50, 191, 20},
        {-1, "Static", "インストール先フォルダを指定してください", kChild | SS_LEFT, 10, 5, 190, 8}}},
      {"COPYINGDELUX", kFrame | WS_VISIBLE | DS_SETFOREGROUND, "ファイルのコピー中...", 194, 109,
       {{1020, "SysAnimate32", "Animate1", kChild | ACS_CENTER | ACS_TRANSPARENT, 5, 5, 180, 40},
        {1010, "msctls_progress32", "Progress1", kChild | WS_BORDER | PBS_SMOOTH, 5, 50, 185, 10},
        {1019, "msctls_progress32", "Progress2", kChild | WS_BORDER | PBS_SMOOTH, 5, 60, 185, 10},
        {1012, "Static", "コピー中ファイル名", kChild | SS_CENTER | SS_CENTERIMAGE, 5, 75, 185, 10},
        {2, "Button", kCancel, kPush, 140, 90, 50, 14}}},
      {"MAKESHORTCUT", kFrame | WS_SYSMENU, "ショートカットの作成", 174, 75,
       {{1, "Button", "OK", kChild | BS_DEFPUSHBUTTON, 65, 55, 50, 14},
        {2, "Button", kCancel, kChild | BS_PUSHBUTTON, 120, 55, 50, 14},
        {-1, "Static", "デスクトップ上に、ゲームを起動するショートカットを\n作成できます",
         kChild | SS_LEFT, 5, 5, 165, 20},
        {1007, "Button", "デスクトップにショートカットを作成", kChild | BS_AUTOCHECKBOX, 5, 35, 160, 10}}},
      {"ENDINSTALL_VISTA", kFrame | WS_SYSMENU, "インストール終了", 194, 95,
       {{1, "Button", "OK", kChild | BS_DEFPUSHBUTTON, 140, 75, 50, 14},
        {-1, "Static", kEndText, kChild | SS_LEFT, 5, 10, 185, 45},
        {1007, "Button", "readmeを開く", kChild | BS_AUTOCHECKBOX, 5, 65, 160, 10}}},
      {"ENDINSTALL_VISTA_SHORT", kFrame | WS_SYSMENU, "インストール終了", 195, 85,
       {{1, "Button", "OK", kChild | BS_DEFPUSHBUTTON, 138, 64, 50, 14},
        {-1, "Static", kEndText, kChild | SS_LEFT, 5, 10, 185, 45}}},
  };
  return dialogs;
}

// Returning FALSE leaves the focus alone, so no push button turns into the default one.
INT_PTR CALLBACK IdleProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

struct WindowCloser {
  void operator()(HWND window) const { DestroyWindow(window); }
};
using Dialog = std::unique_ptr<std::remove_pointer_t<HWND>, WindowCloser>;

struct ModuleCloser {
  void operator()(HMODULE module) const { FreeLibrary(module); }
};
using Module = std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleCloser>;

void CheckDialog(HWND dialog, const DialogRow& row) {
  SCOPED_TRACE(row.name);
  const DWORD style = static_cast<DWORD>(GetWindowLongPtrA(dialog, GWL_STYLE));
  constexpr DWORD kDialogBits = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME |
                                DS_SETFOREGROUND | DS_SETFONT;
  EXPECT_EQ(style & kDialogBits, row.style) << std::hex << style;
  EXPECT_EQ(wt::Text(dialog), row.title);

  HWND child = GetWindow(dialog, GW_CHILD);
  for (const ControlRow& control : row.controls) {
    const std::string what = std::string("control ") + std::to_string(control.id) + " " + control.text;
    ASSERT_NE(child, nullptr) << "missing " << what;
    EXPECT_EQ(static_cast<WORD>(GetDlgCtrlID(child)), static_cast<WORD>(control.id)) << what;
    char cls[64] = "";
    GetClassNameA(child, cls, sizeof cls);
    EXPECT_EQ(lstrcmpiA(cls, control.cls), 0) << what << ": class " << cls;
    // The animation control keeps no title; the stored template has its text.
    if (lstrcmpiA(cls, "SysAnimate32") != 0) {
      EXPECT_EQ(wt::Text(child), control.text) << what;
    }
    child = GetWindow(child, GW_HWNDNEXT);
  }
  EXPECT_EQ(child, nullptr) << "more controls than the template lists";
}

// --- The templates as stored: DLGTEMPLATEEX and its items, read straight from the resource.

struct StoredItem {
  DWORD style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  int id = 0;
  std::string cls;   // standard classes stored as ordinals are given their names
  std::string text;  // converted to code page 932
};

struct StoredDialog {
  DWORD style = 0;
  short cx = 0, cy = 0;
  std::string title;
  WORD point_size = 0;
  std::string font;
  int charset = -1;
  std::vector<StoredItem> items;
};

class TemplateReader {
 public:
  TemplateReader(const BYTE* data, std::size_t size) : data_(data), size_(size) {}
  bool ok() const { return ok_; }
  WORD Word() { return static_cast<WORD>(Take(2)); }
  DWORD Dword() { return static_cast<DWORD>(Take(4)); }
  short Short() { return static_cast<short>(Word()); }
  void Align() { at_ = (at_ + 3) & ~std::size_t{3}; }
  void Skip(std::size_t bytes) { at_ += bytes; }
  // A string, or an ordinal (0xFFFF then the value), or nothing (0).
  std::string NameOrOrdinal() {
    const WORD first = Word();
    if (first == 0xFFFF) {
      static const char* const kStandard[] = {"Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox"};
      const WORD ordinal = Word();
      return ordinal >= 0x80 && ordinal <= 0x85 ? kStandard[ordinal - 0x80] : "#" + std::to_string(ordinal);
    }
    std::wstring text;
    for (WORD c = first; ok_ && c != 0; c = Word()) text.push_back(static_cast<wchar_t>(c));
    return ToCodePage932(text);
  }

 private:
  static std::string ToCodePage932(const std::wstring& text) {
    if (text.empty()) return "";
    std::string out(text.size() * 2, '\0');
    const int n = WideCharToMultiByte(932, 0, text.data(), static_cast<int>(text.size()), &out[0],
                                      static_cast<int>(out.size()), nullptr, nullptr);
    out.resize(n > 0 ? n : 0);
    return out;
  }
  unsigned long Take(int bytes) {
    if (at_ + bytes > size_) {
      ok_ = false;
      return 0;
    }
    unsigned long value = 0;
    for (int i = 0; i < bytes; ++i) value |= static_cast<unsigned long>(data_[at_ + i]) << (8 * i);
    at_ += bytes;
    return value;
  }
  const BYTE* data_;
  std::size_t size_;
  std::size_t at_ = 0;
  bool ok_ = true;
};

bool ReadTemplate(HMODULE module, const char* name, StoredDialog* dialog) {
  HRSRC found = FindResourceExA(module, MAKEINTRESOURCEA(5), name, MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
  if (!found) return false;
  TemplateReader in(static_cast<const BYTE*>(LockResource(LoadResource(module, found))),
                    SizeofResource(module, found));
  if (in.Word() != 1 || in.Word() != 0xFFFF) return false;  // extended template
  in.Dword();                                                // help id
  in.Dword();                                                // extended style
  dialog->style = in.Dword();
  const WORD count = in.Word();
  in.Short();
  in.Short();
  dialog->cx = in.Short();
  dialog->cy = in.Short();
  if (!in.NameOrOrdinal().empty() || !in.NameOrOrdinal().empty()) return false;  // no menu, no class
  dialog->title = in.NameOrOrdinal();
  if (dialog->style & DS_SETFONT) {
    dialog->point_size = in.Word();
    in.Word();  // weight
    dialog->charset = in.Word() >> 8;  // italic in the low byte
    dialog->font = in.NameOrOrdinal();
  }
  for (WORD i = 0; i < count && in.ok(); ++i) {
    in.Align();
    StoredItem item;
    in.Dword();  // help id
    in.Dword();  // extended style
    item.style = in.Dword();
    item.x = in.Short();
    item.y = in.Short();
    item.cx = in.Short();
    item.cy = in.Short();
    item.id = static_cast<int>(in.Dword());
    item.cls = in.NameOrOrdinal();
    item.text = in.NameOrOrdinal();
    const WORD extra = in.Word();
    in.Skip(extra);
    dialog->items.push_back(item);
  }
  return in.ok();
}

TEST(Resources, TemplatesHoldExactlyTheTabledDialogs) {
  const HMODULE self = GetModuleHandleA(nullptr);
  for (const DialogRow& row : Dialogs()) {
    SCOPED_TRACE(row.name);
    StoredDialog stored;
    ASSERT_TRUE(ReadTemplate(self, row.name, &stored)) << "no Japanese template, or a damaged one";
    EXPECT_EQ(stored.style, row.style) << std::hex << stored.style;
    EXPECT_EQ(stored.title, row.title);
    EXPECT_EQ(stored.cx, row.w);
    EXPECT_EQ(stored.cy, row.h);
    EXPECT_EQ(stored.point_size, 9);
    EXPECT_EQ(stored.font, "ＭＳ Ｐゴシック");
    EXPECT_EQ(stored.charset, SHIFTJIS_CHARSET) << "a Western system would pick a face without Japanese";
    ASSERT_EQ(stored.items.size(), row.controls.size());
    for (std::size_t i = 0; i < row.controls.size(); ++i) {
      const ControlRow& want = row.controls[i];
      const StoredItem& got = stored.items[i];
      SCOPED_TRACE(std::string("control ") + std::to_string(want.id) + " " + want.text);
      EXPECT_EQ(got.id, want.id);
      EXPECT_EQ(lstrcmpiA(got.cls.c_str(), want.cls), 0) << got.cls;
      EXPECT_EQ(got.text, want.text);
      EXPECT_EQ(got.style, want.style) << std::hex << got.style;
      EXPECT_EQ(got.x, want.x);
      EXPECT_EQ(got.y, want.y);
      EXPECT_EQ(got.cx, want.w);
      EXPECT_EQ(got.cy, want.h);
    }
  }
}

// The control's client area as shown, top row first.
std::vector<COLORREF> Capture(HWND window) {
  RECT client;
  GetClientRect(window, &client);
  const int w = client.right, h = client.bottom;
  std::vector<COLORREF> pixels;
  if (w <= 0 || h <= 0) return pixels;
  HDC screen = GetDC(window);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, screen, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  std::vector<DWORD> bgr(static_cast<std::size_t>(w) * h);
  GetDIBits(memory, bitmap, 0, h, bgr.data(), &info, DIB_RGB_COLORS);
  for (DWORD v : bgr) pixels.push_back(RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF));
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(window, screen);
  return pixels;
}

void PumpFor(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < milliseconds) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    Sleep(10);
  }
}

// Lays the dialogs out left to right, wrapping, so a screenshot shows all of them.
void ShowAll(const std::vector<Dialog>& dialogs) {
  int x = 0, y = 0, row_height = 0;
  const int screen = GetSystemMetrics(SM_CXSCREEN);
  for (const Dialog& dialog : dialogs) {
    RECT rect;
    GetWindowRect(dialog.get(), &rect);
    const int w = rect.right - rect.left, h = rect.bottom - rect.top;
    if (x > 0 && x + w > screen) {
      x = 0;
      y += row_height;
      row_height = 0;
    }
    SetWindowPos(dialog.get(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
    x += w;
    row_height = std::max(row_height, h);
  }
}

TEST(Resources, DialogsBuildFromTheTemplatesAndTheAnimationPlays) {
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_ANIMATE_CLASS | ICC_PROGRESS_CLASS};
  ASSERT_TRUE(InitCommonControlsEx(&classes));
  const HINSTANCE self = GetModuleHandleA(nullptr);

  std::vector<Dialog> dialogs;
  for (const DialogRow& row : Dialogs()) {
    Dialog dialog(CreateDialogParamA(self, row.name, nullptr, IdleProc, 0));
    ASSERT_NE(dialog, nullptr) << row.name << ": error " << GetLastError();
    CheckDialog(dialog.get(), row);
    dialogs.push_back(std::move(dialog));
  }

  HWND copying = dialogs[2].get();
  HWND animation = GetDlgItem(copying, 1020);
  ASSERT_NE(animation, nullptr);
  EXPECT_FALSE(SendMessageA(animation, ACM_OPENA, reinterpret_cast<WPARAM>(self),
                            reinterpret_cast<LPARAM>("AVI_NOSUCHCLIP")));
  ASSERT_TRUE(SendMessageA(animation, ACM_OPENA, reinterpret_cast<WPARAM>(self),
                           reinterpret_cast<LPARAM>("AVI_FILECOPY")));
  ASSERT_TRUE(SendMessageA(animation, ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF)));
  ShowWindow(animation, SW_SHOW);

  // Look at the control until the picture changes (a frame lasts 100 ms; a busy machine
  // gets two seconds), and check the drawing's colours.
  SetWindowPos(copying, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW);
  PumpFor(150);
  const std::vector<COLORREF> first = Capture(animation);
  ASSERT_FALSE(first.empty());
  bool moved = false;
  for (int look = 0; look < 20 && !moved; ++look) {
    PumpFor(100);
    moved = Capture(animation) != first;
  }
  EXPECT_TRUE(moved) << "the animation does not move";
  std::map<COLORREF, int> seen;
  for (COLORREF c : first) ++seen[c];
  EXPECT_GT(seen[RGB(0xFF, 0xFF, 0x00)], 100) << "no folder";
  EXPECT_GT(seen[RGB(0xC0, 0xC0, 0xC0)], 100) << "no disc";
  // The clip's background is the top-left pixel's colour, shown transparent.
  EXPECT_EQ(seen[RGB(0xF0, 0xF0, 0xF0)], 0) << "background not transparent";
  EXPECT_GT(seen[GetSysColor(COLOR_BTNFACE)], static_cast<int>(first.size() / 2)) << "not the dialog's face";

  if (const char* hold = std::getenv("PV_RESOURCES_SHOW_MS")) {
    ShowAll(dialogs);
    PumpFor(static_cast<DWORD>(std::atoi(hold)));
  }
  EXPECT_TRUE(SendMessageA(animation, ACM_STOP, 0, 0));
}

TEST(Resources, IconGroupHoldsSixteenColourImagesOfBothSizes) {
  const HINSTANCE self = GetModuleHandleA(nullptr);
  HRSRC group = FindResourceA(self, MAKEINTRESOURCEA(104), MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
  ASSERT_NE(group, nullptr);
  auto* directory = static_cast<BYTE*>(LockResource(LoadResource(self, group)));
  ASSERT_NE(directory, nullptr);
  for (int size : {32, 16}) {
    SCOPED_TRACE(size);
    const int id = LookupIconIdFromDirectoryEx(directory, TRUE, size, size, LR_DEFAULTCOLOR);
    ASSERT_NE(id, 0);
    HRSRC image = FindResourceA(self, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(3));  // RT_ICON
    ASSERT_NE(image, nullptr);
    const auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(self, image)));
    EXPECT_EQ(header->biWidth, size);  // the directory holds this size itself, not a scaled one
    EXPECT_EQ(header->biHeight, 2 * size);
    EXPECT_EQ(header->biBitCount, 4);

    HICON icon = static_cast<HICON>(LoadImageA(self, MAKEINTRESOURCEA(104), IMAGE_ICON, size, size, 0));
    ASSERT_NE(icon, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP bitmap{};
    GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, size);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }
}

std::string ResourceBytes(HMODULE module, const char* name, const char* type) {
  HRSRC found = FindResourceA(module, name, type);
  if (!found) return "";
  const auto* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
  return data ? std::string(data, SizeofResource(module, found)) : "";
}

TEST(Resources, ManifestIsTheSourceFile) {
  const std::string text = wt::ReadFile(wt::SourceDir() + "\\res\\panvester.manifest");
  ASSERT_FALSE(text.empty());
  const std::string manifest =
      ResourceBytes(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  EXPECT_EQ(manifest, text);
  for (const char* part : {"version=\"1.0.0.0\" processorArchitecture=\"X86\" name=\"Panvester.exe\"",
                           "<description>VELUNA autorun</description>",
                           "level=\"requireAdministrator\"",
                           "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""}) {
    EXPECT_NE(manifest.find(part), std::string::npos) << part;
  }
  // The dependency resolves for this build's architecture too: the common controls come
  // from the side-by-side store, where version 6 lives, not from the system folder.
  InitCommonControls();
  HMODULE controls = GetModuleHandleA("comctl32.dll");
  ASSERT_NE(controls, nullptr);
  char path[MAX_PATH] = "";
  GetModuleFileNameA(controls, path, sizeof path);
  CharLowerA(path);
  EXPECT_NE(std::string(path).find("\\winsxs\\"), std::string::npos) << path;
  EXPECT_NE(std::string(path).find("common-controls_6595b64144ccf1df_6.0."), std::string::npos) << path;
}

TEST(Resources, ProgramCarriesTheSameResources) {
  Module program(LoadLibraryExA((wt::BinDir() + "\\Panvester.exe").c_str(), nullptr,
                                LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_NE(program, nullptr) << GetLastError();
  const HMODULE self = GetModuleHandleA(nullptr);
  struct Item {
    const char* name;
    const char* type;
  };
  std::vector<Item> items = {{"AVI_FILECOPY", "AVI"},
                             {MAKEINTRESOURCEA(104), MAKEINTRESOURCEA(14)},
                             {MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)}};
  for (const DialogRow& row : Dialogs()) items.push_back({row.name, MAKEINTRESOURCEA(5)});
  for (const Item& item : items) {
    const std::string mine = ResourceBytes(self, item.name, item.type);
    EXPECT_FALSE(mine.empty());
    EXPECT_EQ(ResourceBytes(program.get(), item.name, item.type), mine);
  }
}

}  // namespace
