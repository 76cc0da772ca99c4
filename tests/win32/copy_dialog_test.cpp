// The full pass behind the copy dialog, and the failure path, as a separate process: this
// test program copies itself next to a side-car archive and runs the copy there, so the
// locator finds that archive beside "its own" executable.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "archive/archive_walk_win.h"
#include "archive/archive_writer.h"
#include "archive/copy_dialog_win.h"
#include "archive/sha256_win.h"
#include "archive/volume_set.h"
#include "common/message_win.h"
#include "driver/work_folder_win.h"
#include "support/setup_builder.h"
#include "support/wine_test.h"

namespace {

constexpr char kChildTarget[] = "PV_COPY_TARGET";
// Set for a child whose heap refuses requests of this many bytes.
constexpr char kChildRefusedSize[] = "PV_COPY_REFUSE_MALLOC";
constexpr char kCopyTitle[] = "ファイルのコピー中...";
constexpr char kFailureText[] = "ファイルの読み込みに失敗しました。ファイルが壊れている可能性があります。";
constexpr std::uint64_t kStamp = 131000000000000000ull;  // 2016-02-11

// The child: a stand-in main window that slows every pump down, so the dialog stays long
// enough to be watched, then the full pass into the given folder. The timer is re-armed
// after each wait, or it would always be due and the pump would never find the queue empty.
LRESULT CALLBACK SlowWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_TIMER) {
    Sleep(80);
    SetTimer(window, 1, 10, nullptr);
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

// Memory running out, for the child only: this program's own import of malloc (the walk, the
// allocate service and zlib are linked into it) refuses one request size, from any thread.
using MallocFn = void*(__cdecl*)(std::size_t);
MallocFn g_real_malloc = nullptr;
std::size_t g_refused_size = 0;

void* __cdecl RefusingMalloc(std::size_t size) { return size == g_refused_size ? nullptr : g_real_malloc(size); }

bool RefuseMalloc(std::size_t size) {
  auto* base = reinterpret_cast<unsigned char*>(GetModuleHandleA(nullptr));
  const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  auto* module = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
  for (; module->Name; ++module) {
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* by_name = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(by_name->Name), "malloc") != 0) continue;
      DWORD protection = 0;
      if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection)) return false;
      g_real_malloc = reinterpret_cast<MallocFn>(slots->u1.Function);
      g_refused_size = size;
      slots->u1.Function = reinterpret_cast<ULONG_PTR>(&RefusingMalloc);
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
      return true;
    }
  }
  return false;
}

int RunChild(const char* target) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = SlowWindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "PvCopyTestMain";
  RegisterClassA(&wc);
  HWND main = CreateWindowA("PvCopyTestMain", "copy test main", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                            wc.hInstance, nullptr);
  SetMainWindowHandle(main);
  SetTimer(main, 1, 10, nullptr);
  CreateWorkFolder();
  if (const char* refused = std::getenv(kChildRefusedSize)) {
    if (!RefuseMalloc(std::strtoul(refused, nullptr, 10))) return 3;
  }
  WalkArchive(target, 0, RemoveWorkFolder);
  RemoveWorkFolder();
  return 0;
}

const bool g_child = [] {
  if (const char* target = std::getenv(kChildTarget)) std::exit(RunChild(target));
  return false;
}();


struct Entry {
  std::string name;
  std::string content;
};

std::string Archive(const std::vector<Entry>& entries, bool damage_last) {
  std::FILE* f = std::tmpfile();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    if (!e.name.empty() && e.name.back() == '\\') {
      WriteFolderEntry(f, e.name);
      continue;
    }
    std::vector<unsigned char> z;
    CompressStream(reinterpret_cast<const unsigned char*>(e.content.data()), e.content.size(), &z);
    if (damage_last && i + 1 == entries.size()) z[z.size() / 2] ^= 0xFF;
    WriteFileEntry(f, e.name, static_cast<std::int32_t>(e.content.size()), kStamp, z);
  }
  WriteEndMarker(f);
  std::string bytes(static_cast<std::size_t>(std::ftell(f)), '\0');
  std::rewind(f);
  std::fread(&bytes[0], 1, bytes.size(), f);
  std::fclose(f);
  return bytes;
}

// Copies this program into a fresh folder with the archive beside it as instdat.arc.
std::string StageChild(const std::string& name, const std::string& archive) {
  const std::string folder = wt::TempDir() + "\\" + name;
  wt::RemoveTree(folder);
  wt::MakeDirs(folder + "\\target");
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof self);
  CopyFileA(self, (folder + "\\child.exe").c_str(), FALSE);
  wt::WriteFile(folder + "\\instdat.arc", archive);
  return folder;
}

wt::Process StartChild(const std::string& folder) {
  SetEnvironmentVariableA(kChildTarget, (folder + "\\target").c_str());
  wt::Process p = wt::Start(folder + "\\child.exe", folder);
  SetEnvironmentVariableA(kChildTarget, nullptr);
  return p;
}

int Bar(HWND dialog, int id, UINT message, WPARAM wparam = 0) {
  return static_cast<int>(SendDlgItemMessageA(dialog, id, message, wparam, 0));
}

// The pixels of a control as they are on the screen now.
std::vector<unsigned char> Capture(HWND window, const char* bmp_path = nullptr) {
  RECT r;
  GetWindowRect(window, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  const std::size_t size = static_cast<std::size_t>(((w * 3 + 3) & ~3) * h);
  std::vector<unsigned char> pixels(static_cast<unsigned char*>(bits), static_cast<unsigned char*>(bits) + size);
  if (bmp_path) {
    BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + size), 0, 0,
                          sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
    std::string out(reinterpret_cast<char*>(&file), sizeof file);
    out.append(reinterpret_cast<char*>(&info.bmiHeader), sizeof info.bmiHeader);
    out.append(reinterpret_cast<char*>(pixels.data()), size);
    wt::WriteFile(bmp_path, out);
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

TEST(CopyDialog, ShowsFileNameBothBarsAndAMovingAnimationWhileCopying) {
  // 64 blocks of noise and 960 of zeros: the file bar's range is 1024, the archive a little
  // over 64 blocks, and the copy lasts long enough to be watched even when blocks come fast.
  const std::string big = wt::Noise(64 * 0x20000, 5) + std::string(960 * 0x20000, '\0');
  const std::string archive =
      Archive({{"small.txt", "hello"}, {"data\\", ""}, {"data\\\x83\x5C\x95\x5C.bin", big}}, false);
  const std::string folder = StageChild("pv_copy_ok", archive);
  wt::Process child = StartChild(folder);

  HWND dialog = wt::WaitFor([&] { return wt::FindDialog(child.id, kCopyTitle); }, 20000);
  ASSERT_NE(dialog, nullptr);
  // Wait until the big file is on the name line.
  const std::string big_path = folder + "\\target\\data\\\x83\x5C\x95\x5C.bin";
  ASSERT_NE(wt::WaitFor([&] { return wt::ControlText(dialog, kCopyFileName) == big_path ? dialog : nullptr; }, 20000),
            nullptr)
      << wt::ControlText(dialog, kCopyFileName);
  EXPECT_EQ(Bar(dialog, kCopyFileBar, PBM_GETRANGE, FALSE), 1024);
  EXPECT_EQ(Bar(dialog, kCopyFileBar, PBM_GETRANGE, TRUE), 0);
  EXPECT_EQ(Bar(dialog, kCopyOverallBar, PBM_GETRANGE, FALSE), static_cast<int>(archive.size() / 0x20000));
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, kCopyAnimation)));

  // The animation moves on its own; after the cancel button it stands still while the
  // bars go on.
  HWND animation = GetDlgItem(dialog, kCopyAnimation);
  const std::string shot = wt::BinDir() + "\\copy_dialog.bmp";
  Capture(dialog, shot.c_str());
  bool moved = false;
  std::vector<unsigned char> before = Capture(animation);
  for (int i = 0; i < 20 && !moved; ++i) {
    Sleep(60);
    moved = Capture(animation) != before;
  }
  EXPECT_TRUE(moved);
  const int file_position = Bar(dialog, kCopyFileBar, PBM_GETPOS);
  wt::Press(dialog, kCopyCancel);
  Sleep(300);
  before = Capture(animation);
  Sleep(400);
  EXPECT_EQ(Capture(animation), before);
  EXPECT_TRUE(IsWindow(dialog));
  EXPECT_NE(wt::WaitFor([&] { return Bar(dialog, kCopyFileBar, PBM_GETPOS) > file_position ? dialog : nullptr; }, 20000),
            nullptr);

  DWORD code = 1;
  ASSERT_TRUE(wt::WaitExit(child, 60000, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(wt::ReadFile(folder + "\\target\\small.txt"), "hello");
  EXPECT_TRUE(wt::ReadFile(big_path) == big);
  HANDLE file = CreateFileA(big_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  FILETIME written{};
  GetFileTime(file, nullptr, nullptr, &written);
  CloseHandle(file);
  EXPECT_EQ((static_cast<std::uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime, kStamp);
  wt::RemoveTree(folder);
}

TEST(CopyDialog, DamageClosesTheDialogShowsTheMessageAndEndsWithMinusOne) {
  const std::string archive =
      Archive({{"first.txt", "kept"}, {"data\\", ""}, {"data\\broken.bin", wt::Noise(6 * 0x20000, 9)}}, true);
  const std::string folder = StageChild("pv_copy_damaged", archive);
  wt::Process child = StartChild(folder);
  HWND box = wt::WaitFor([&] { return wt::FindMessageBox(child.id); }, 30000);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(wt::MessageBoxText(box), kFailureText);
  EXPECT_EQ(wt::FindDialog(child.id, kCopyTitle), nullptr);
  EXPECT_EQ(wt::ClipboardText(), kFailureText);
  wt::Press(box, IDOK);
  DWORD code = 0;
  ASSERT_TRUE(wt::WaitExit(child, 20000, &code));
  EXPECT_EQ(code, 0xFFFFFFFFu);
  // Written before the damage: stays. The work folder: removed.
  EXPECT_EQ(wt::ReadFile(folder + "\\target\\first.txt"), "kept");
  EXPECT_TRUE(wt::ListNames(wt::TempDir(), "TempRVInstallFolder_*").empty());
  wt::RemoveTree(folder);
}

// Out of memory, for the walk's blocks (taken on this thread) or for zlib's window (taken by an
// inflater thread): the allocate service's box once, on top of nothing, then the failure path.
TEST(CopyDialog, OutOfMemoryShowsTheMallocBoxOnceAndEndsWithMinusOne) {
  const std::string archive =
      Archive({{"first.txt", "kept"}, {"data\\", ""}, {"data\\big.bin", wt::Noise(3 * 0x20000, 4)}}, false);
  const struct {
    const char* label;
    std::size_t refused;
  } rows[] = {{"extraction blocks", 0x20000 + 32}, {"zlib window", std::size_t{1} << 15}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.label);
    const std::string folder = StageChild("pv_copy_no_memory", archive);
    wt::SetClipboardText("before");
    SetEnvironmentVariableA(kChildRefusedSize, std::to_string(row.refused).c_str());
    wt::Process child = StartChild(folder);
    SetEnvironmentVariableA(kChildRefusedSize, nullptr);
    HWND box = wt::WaitFor([&] { return wt::FindMessageBox(child.id); }, 30000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(wt::MessageBoxText(box), "メモリ容量が不足しています。処理を中断します。");
    EXPECT_EQ(wt::Text(box), "malloc");
    EXPECT_EQ(wt::FindDialog(child.id, kCopyTitle), nullptr);
    wt::Press(box, IDOK);
    // No second box: the process ends by itself.
    DWORD code = 0;
    const bool ended = wt::WaitExit(child, 10000, &code);
    if (!ended) {
      HWND next = wt::FindMessageBox(child.id);
      ADD_FAILURE() << "still running; box: " << (next ? wt::MessageBoxText(next) : std::string("none"));
      wt::Kill(child);
    }
    EXPECT_EQ(code, 0xFFFFFFFFu);
    EXPECT_EQ(wt::ClipboardText(), "before");
    EXPECT_TRUE(wt::ListNames(wt::TempDir(), "TempRVInstallFolder_*").empty());
    wt::RemoveTree(folder);
  }
}

// A file that cannot be made (a folder of its name stands there) is named: the archive is whole.
TEST(CopyDialog, AFileThatCannotBeWrittenIsNamedAndEndsWithMinusOne) {
  const std::string archive =
      Archive({{"first.txt", "kept"}, {"data\\", ""}, {"data\\blocked.bin", "never"}, {"last.txt", "no"}}, false);
  const std::string folder = StageChild("pv_copy_unwritable", archive);
  ASSERT_TRUE(wt::MakeDirs(folder + "\\target\\data\\blocked.bin"));
  const std::string text = "ファイルの書き込みに失敗しました。\n" + folder + "\\target\\data\\blocked.bin";
  wt::Process child = StartChild(folder);
  HWND box = wt::WaitFor([&] { return wt::FindMessageBox(child.id); }, 30000);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(wt::MessageBoxText(box), text);
  EXPECT_EQ(wt::ClipboardText(), text);
  EXPECT_EQ(wt::FindDialog(child.id, kCopyTitle), nullptr);
  wt::Press(box, IDOK);
  DWORD code = 0;
  ASSERT_TRUE(wt::WaitExit(child, 20000, &code));
  EXPECT_EQ(code, 0xFFFFFFFFu);
  EXPECT_FALSE(wt::FileExists(folder + "\\target\\last.txt"));
  EXPECT_TRUE(wt::ListNames(wt::TempDir(), "TempRVInstallFolder_*").empty());
  wt::RemoveTree(folder);
}

// The archive cut into two volumes between its first and second file: the second volume is
// read from beside the program, and one that is missing or not the one recorded is named
// before a byte of it is written.
TEST(CopyDialog, TheSecondVolumeIsReadWhenWholeAndNamedWhenMissingOrDamaged) {
  const std::vector<Entry> entries = {{"first.txt", "kept"}, {"second.txt", "from the second volume"},
                                      {"third.txt", "also"}};
  const std::string whole = Archive(entries, false);
  const std::size_t cut = Archive({entries[0]}, false).size() - 4;  // before the end marker
  const std::string rest = whole.substr(cut);
  VolumeRecord record;
  record.size = static_cast<std::int64_t>(rest.size());
  std::unique_ptr<Sha256> digest = NewSystemSha256();
  ASSERT_TRUE(digest);
  digest->Update(rest.data(), rest.size());
  ASSERT_TRUE(digest->Final(record.digest.data()));
  const std::vector<unsigned char> table = EncodeVolumeTable({record}, 0);
  const std::string first = whole.substr(0, cut) + std::string(table.begin(), table.end());
  std::string damaged = rest;
  damaged[damaged.size() / 2] ^= 0x01;
  const struct {
    const char* label;
    const char* volume;  // null: none beside the program
  } rows[] = {{"whole", rest.c_str()}, {"missing", nullptr}, {"damaged", damaged.c_str()}};
  const std::string text = "[instdat.002]が見つからないか、壊れています。";
  for (const auto& row : rows) {
    SCOPED_TRACE(row.label);
    const std::string folder = StageChild("pv_copy_volumes", first);
    if (row.volume) {
      ASSERT_TRUE(wt::WriteFile(folder + "\\instdat.002", std::string(row.volume, rest.size())));
    }
    wt::Process child = StartChild(folder);
    DWORD code = 0;
    if (row.volume == rest.c_str()) {
      ASSERT_TRUE(wt::WaitExit(child, 30000, &code));
      EXPECT_EQ(code, 0u);
      EXPECT_EQ(wt::ReadFile(folder + "\\target\\third.txt"), "also");
    } else {
      HWND box = wt::WaitFor([&] { return wt::FindMessageBox(child.id); }, 30000);
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(wt::MessageBoxText(box), text);
      EXPECT_EQ(wt::ClipboardText(), text);
      wt::Press(box, IDOK);
      ASSERT_TRUE(wt::WaitExit(child, 20000, &code));
      EXPECT_EQ(code, 0xFFFFFFFFu);
      EXPECT_FALSE(wt::FileExists(folder + "\\target\\second.txt"));
      EXPECT_TRUE(wt::ListNames(wt::TempDir(), "TempRVInstallFolder_*").empty());
    }
    // A missing volume is found before anything is written; a damaged one before its bytes are.
    EXPECT_EQ(wt::ReadFile(folder + "\\target\\first.txt"), row.volume ? "kept" : "");
    wt::RemoveTree(folder);
  }
}

TEST(CopyDialog, UnsafeNameTakesTheFailurePathAndWritesNothingOutside) {
  std::string archive = Archive({{"ok.txt", "fine"}}, false);
  archive.resize(archive.size() - 4);  // drop the end marker, append an escaping entry
  std::vector<unsigned char> z;
  CompressStream(reinterpret_cast<const unsigned char*>("evil"), 4, &z);
  std::FILE* f = std::tmpfile();
  const char name[] = "..\\escaped.txt";
  const unsigned char header[2] = {sizeof name, 0};
  std::fwrite(header, 1, 2, f);
  std::fwrite(name, 1, sizeof name, f);
  const std::uint32_t sizes[2] = {4, static_cast<std::uint32_t>(z.size())};
  std::fwrite(sizes, 4, 2, f);
  std::fwrite(&kStamp, 8, 1, f);
  std::fwrite(z.data(), 1, z.size(), f);
  std::fwrite("\0\0\0\0", 1, 4, f);
  const long n = std::ftell(f);
  std::rewind(f);
  std::string tail(static_cast<std::size_t>(n), '\0');
  std::fread(&tail[0], 1, tail.size(), f);
  std::fclose(f);
  const std::string folder = StageChild("pv_copy_unsafe", archive + tail);
  wt::Process child = StartChild(folder);
  HWND box = wt::WaitFor([&] { return wt::FindMessageBox(child.id); }, 30000);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(wt::MessageBoxText(box), kFailureText);
  wt::Press(box, IDOK);
  DWORD code = 0;
  ASSERT_TRUE(wt::WaitExit(child, 20000, &code));
  EXPECT_EQ(code, 0xFFFFFFFFu);
  EXPECT_FALSE(wt::FileExists(folder + "\\escaped.txt"));
  wt::RemoveTree(folder);
}

// Past 8 GiB an archive has more blocks than a 16-bit bar range holds.
TEST(CopyDialog, OpenSetsTheOverallRangeToAtLeastOneBlockAndCloseDestroysIt) {
  SetMainWindowHandle(nullptr);
  for (const auto& row : {std::pair<std::int64_t, int>{0, 1}, {0x1FFFF, 1}, {0x20000 * 10, 10},
                          {std::int64_t{0x20000} * 70000, 70000}}) {
    HWND dialog = OpenCopyDialog(row.first);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(CopyDialogHandle(), dialog);
    EXPECT_EQ(Bar(dialog, kCopyOverallBar, PBM_GETRANGE, FALSE), row.second) << row.first;
    EXPECT_EQ(Bar(dialog, kCopyFileBar, PBM_GETRANGE, FALSE), 1);
    EXPECT_EQ(wt::ControlText(dialog, kCopyFileName), "");
    ShowCopyFile("C:\\x\\tiny.txt", 0);
    EXPECT_EQ(Bar(dialog, kCopyFileBar, PBM_GETRANGE, FALSE), 0);
    EXPECT_EQ(wt::ControlText(dialog, kCopyFileName), "C:\\x\\tiny.txt");
    Sleep(60);  // the dialog shows a change at most every 40 ms
    ShowCopyProgress(0, row.second);
    EXPECT_EQ(Bar(dialog, kCopyOverallBar, PBM_GETPOS), row.second) << "the bar reaches its end";
    // Opening again replaces the dialog.
    HWND again = OpenCopyDialog(row.first);
    EXPECT_FALSE(IsWindow(dialog));
    CloseCopyDialog();
    EXPECT_FALSE(IsWindow(again));
    EXPECT_EQ(CopyDialogHandle(), nullptr);
  }
}

}  // namespace
