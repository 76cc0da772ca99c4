// pv-scripted-install: installs a packed distribution the way a player would, by pressing the
// real buttons by id, saves a picture of every window on the way, and prints what the
// installation left behind (files, shortcuts, registry values, INI entries).
// Usage: pv-scripted-install SETUP.EXE SCREENSHOT_FOLDER
//        pv-scripted-install --time SETUP.EXE         the install alone, timed (the bench)
//        pv-scripted-install --time-run PROGRAM ARGS  any program, start to exit, timed
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "common/resource_ids.h"
#include "common/wide_win.h"
#include "support/wine_test.h"

namespace {

constexpr DWORD kTimeout = 30000;

// Read through the wide calls, so the listing is right on any system language.
using wt::Cp932;
using wt::Wide;
std::string g_shots;
int g_shot_number = 0;

void Shoot(HWND window, const char* name) {
  if (g_shots.empty()) return;
  char path[MAX_PATH];
  std::snprintf(path, sizeof path, "%s\\%02d-%s.bmp", g_shots.c_str(), ++g_shot_number, name);
  if (wt::SaveWindowPicture(window, path)) std::printf("screenshot: %s\n", path);
}

HWND Expect(HWND window, const char* what) {
  if (!window) {
    std::fprintf(stderr, "pv-scripted-install: %s did not appear\n", what);
    std::exit(2);
  }
  return window;
}

HWND FindMainWindow(DWORD pid) {
  return wt::FindTop(pid, [](HWND w) {
    return wt::ClassOf(w) == "#32770" && wt::ControlText(w, 1000) == "終了";
  });
}

void ListFiles(const std::string& folder, const std::string& relative) {
  for (const std::string& name : wt::ListNames(folder, "*")) {
    if (name == "." || name == "..") continue;
    const std::string path = folder + "\\" + name;
    const std::string shown = relative.empty() ? name : relative + "\\" + name;
    if (wt::DirectoryExists(path)) {
      std::printf("  %s\\\n", shown.c_str());
      ListFiles(path, shown);
      continue;
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data);
    SYSTEMTIME time;
    FileTimeToSystemTime(&data.ftLastWriteTime, &time);
    std::printf("  %-40s %10lu  %04u-%02u-%02u %02u:%02u:%02u UTC\n", shown.c_str(), data.nFileSizeLow,
                time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond);
  }
}

void ShowLinks(const std::string& folder) {
  for (const std::string& name : wt::ListNames(folder, "*")) {
    if (name == "." || name == "..") continue;
    const std::string path = folder + "\\" + name;
    if (wt::DirectoryExists(path)) {
      ShowLinks(path);
      continue;
    }
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link)))) {
      continue;
    }
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      if (SUCCEEDED(file->Load(Wide(path).c_str(), STGM_READ))) {
        wchar_t target[MAX_PATH] = L"", description[MAX_PATH] = L"", directory[MAX_PATH] = L"";
        link->GetPath(target, MAX_PATH, nullptr, 0);
        link->GetDescription(description, MAX_PATH);
        link->GetWorkingDirectory(directory, MAX_PATH);
        std::printf("  %s\n    -> %s  (%s; in %s)\n", path.c_str(), Cp932(target).c_str(), Cp932(description).c_str(),
                    Cp932(directory).c_str());
      }
      file->Release();
    }
    link->Release();
  }
}

void ShowKey(HKEY root, const std::string& name, REGSAM view) {
  HKEY key;
  if (RegOpenKeyCp932(root, name.c_str(), KEY_READ | view, &key) != ERROR_SUCCESS) {
    std::printf("  (%s: missing)\n", name.c_str());
    return;
  }
  std::printf("  [%s]\n", name.c_str());
  for (DWORD i = 0;; ++i) {
    wchar_t value[256];
    DWORD value_size = 256, type = 0;
    if (RegEnumValueW(key, i, value, &value_size, nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS) break;
    const std::string name_text = Cp932(value);
    std::string data;
    if (RegQueryValueCp932(key, name_text.c_str(), &type, &data) != ERROR_SUCCESS) continue;
    if (type == REG_SZ) {
      std::printf("    %s = \"%s\"\n", name_text.c_str(), data.c_str());
    } else if (type == REG_DWORD && data.size() == sizeof(DWORD)) {
      DWORD number = 0;
      std::memcpy(&number, data.data(), sizeof number);
      std::printf("    %s = dword:%lu\n", name_text.c_str(), number);
    }
  }
  RegCloseKey(key);
}

// The uninstaller's boxes, of whichever process shows them (it hands over to a copy).
HWND FindUninstallBox(const std::string& caption) {
  return wt::FindTop(wt::kAnyProcess, [&](HWND window) {
    return wt::ClassOf(window) == "#32770" && GetDlgItem(window, 0xFFFF) && wt::Text(window) == caption;
  });
}

std::string UninstallString(const std::string& entry) {
  HKEY key;
  if (RegOpenKeyCp932(HKEY_LOCAL_MACHINE, entry.c_str(), KEY_READ, &key) != ERROR_SUCCESS) return "";
  std::string value;
  RegQueryValueCp932(key, "UninstallString", nullptr, &value);
  RegCloseKey(key);
  std::string command = value.c_str();
  if (command.size() >= 2 && command.front() == '"') command = command.substr(1, command.find('"', 1) - 1);
  return command;
}

// Runs the uninstaller the entry names as the player would: Yes to every question, OK to the
// closing report. Returns false when a box does not come.
bool Uninstall(const std::string& product, const std::string& entry) {
  const std::string command = UninstallString(entry);
  std::printf("\nuninstalling with %s\n", command.c_str());
  if (command.empty()) return false;
  wt::Process uninstaller = wt::Start(command);
  const std::string caption = product + " アンインストール";
  for (int boxes = 0; boxes < 8; ++boxes) {
    HWND box = wt::WaitFor([&] { return FindUninstallBox(caption); }, kTimeout);
    if (!box) return false;
    const std::string text = wt::MessageBoxText(box);
    std::printf("  box: %s\n", text.c_str());
    const bool question = GetDlgItem(box, IDYES) != nullptr;
    Shoot(box, question ? "uninstall-question" : "uninstall-report");
    wt::Press(box, question ? IDYES : IDOK);
    while (IsWindow(box)) Sleep(20);
    if (!question) {
      DWORD code = 0;  // the first process handed over long ago; it must have ended
      return wt::WaitExit(uninstaller, kTimeout, &code);
    }
  }
  return false;
}

std::string Between(const std::string& text, char open, char close) {
  const std::size_t a = text.find(open), b = text.rfind(close);
  return a == std::string::npos || b == std::string::npos || b <= a ? "" : text.substr(a + 1, b - a - 1);
}

// Milliseconds since the first call.
double Clock() {
  static LARGE_INTEGER frequency, start;
  if (!frequency.QuadPart) {
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
  }
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// Presses through the install as a player would, from the main window to the end dialog.
// `*copying` gets the milliseconds from the folder confirmed to the shortcut question.
void DriveInstall(wt::Process& setup, std::string* title, std::string* install_folder, double* copying) {
  HWND main_window = Expect(wt::WaitFor([&] { return FindMainWindow(setup.id); }, kTimeout), "the main window");
  *title = wt::Text(main_window);
  if (!g_shots.empty()) Sleep(500);
  Shoot(main_window, "main-window");
  int install_id = 0;
  for (int id = IDC_SLOT2; id <= IDC_SLOT9 && !install_id; ++id) {
    if (wt::ControlText(main_window, id) == "インストール") install_id = id;
  }
  wt::Press(main_window, install_id);

  HWND folder_dialog = Expect(
      wt::WaitFor([&] { return wt::FindDialog(setup.id, "インストール先のフォルダの指定"); }, kTimeout),
      "the folder dialog");
  Shoot(folder_dialog, "folder-dialog");
  // PV_INSTALL_FOLDER: a folder typed over the proposal (a small drive, say).
  if (const char* typed = std::getenv("PV_INSTALL_FOLDER")) {
    SendMessageA(GetDlgItem(folder_dialog, IDC_FOLDER_EDIT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed));
  }
  wt::Press(folder_dialog, IDOK);

  HWND question = Expect(wt::WaitFor([&] { return wt::FindMessageBox(setup.id); }, kTimeout),
                         "the confirmation box");
  *install_folder = Between(wt::MessageBoxText(question), '[', ']');
  Shoot(question, "confirm-folder");
  const double confirmed = Clock();
  wt::Press(question, IDYES);

  // The copy dialog may come and go quickly; picture it when it is caught.
  HWND shortcut_dialog = nullptr;
  bool copy_shot = g_shots.empty();
  const DWORD start = GetTickCount();
  const DWORD limit = g_shots.empty() ? 20 * kTimeout : kTimeout;  // a big payload takes a while
  while (!shortcut_dialog && GetTickCount() - start < limit) {
    if (!copy_shot) {
      if (HWND copy = wt::FindDialog(setup.id, "ファイルのコピー中...")) {
        Shoot(copy, "copy-dialog");
        copy_shot = true;
      }
    }
    shortcut_dialog = wt::FindDialog(setup.id, "ショートカットの作成");
    if (shortcut_dialog) break;
    // A box on the way (too little space, a missing volume, a full disk) is pictured, and
    // answered Yes (go on) or OK. The program's dialogs have labels that make them look
    // like boxes to FindMessageBox.
    HWND box = wt::FindMessageBox(setup.id);
    if (box && wt::Text(box) != "ファイルのコピー中..." && wt::Text(box) != "ショートカットの作成") {
      std::printf("  box: %s\n", wt::MessageBoxText(box).c_str());
      Shoot(box, "box");
      const bool question = GetDlgItem(box, IDYES) != nullptr;
      wt::Press(box, question ? IDYES : IDOK);
      while (IsWindow(box)) Sleep(20);
      if (!question) break;
    }
    Sleep(g_shots.empty() ? 5 : 20);
  }
  *copying = Clock() - confirmed;
  Expect(shortcut_dialog, "the desktop shortcut question");
  Shoot(shortcut_dialog, "desktop-shortcut");
  wt::Press(shortcut_dialog, IDOK);

  HWND end_dialog =
      Expect(wt::WaitFor([&] { return wt::FindDialog(setup.id, "インストール終了"); }, kTimeout), "the end dialog");
  Shoot(end_dialog, "end-dialog");
  wt::Press(end_dialog, IDOK);
}

// Prints "whole MS" (start to exit) and, for the setup, "copying MS"; the exit code is its own.
int Timed(int argc, char** argv) {
  const bool setup_program = std::strcmp(argv[1], "--time") == 0;
  std::string arguments;
  for (int i = 3; i < argc; ++i) arguments += std::string(i > 3 ? " " : "") + argv[i];
  const double start = Clock();
  wt::Process process = wt::Start(argv[2], "", arguments);
  if (!process.handle) return 2;
  double copying = 0;
  if (setup_program) {
    std::string title, folder;
    DriveInstall(process, &title, &folder, &copying);
  }
  DWORD code = 0;
  if (!wt::WaitExit(process, 20 * kTimeout, &code)) return 2;
  std::printf("whole %.0f\n", Clock() - start);
  if (setup_program) std::printf("copying %.0f\n", copying);
  return static_cast<int>(code);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && (std::strcmp(argv[1], "--time") == 0 || std::strcmp(argv[1], "--time-run") == 0)) {
    return Timed(argc, argv);
  }
  if (argc != 3) {
    std::fprintf(stderr, "usage: pv-scripted-install SETUP.EXE SCREENSHOT_FOLDER\n");
    return 2;
  }
  g_shots = argv[2];
  CoInitialize(nullptr);
  wt::Process setup = wt::Start(argv[1]);
  std::string title, install_folder;
  double copying = 0;
  DriveInstall(setup, &title, &install_folder, &copying);

  DWORD code = 0;
  if (!wt::WaitExit(setup, kTimeout, &code)) {
    std::fprintf(stderr, "pv-scripted-install: the setup program did not end\n");
    wt::Kill(setup);
    return 2;
  }
  std::printf("\nsetup program ended with exit code %ld; work folders left: %u\n", static_cast<long>(code),
              static_cast<unsigned>(wt::ListNames(wt::TempDir(), "TempRVInstallFolder_*").size()));
  std::printf("\ninstalled into %s:\n", install_folder.c_str());
  ListFiles(install_folder, "");

  const std::string programs = Cp932(SpecialFolderW(nullptr, CSIDL_COMMON_PROGRAMS));
  const std::string desktop = Cp932(SpecialFolderW(nullptr, CSIDL_COMMON_DESKTOPDIRECTORY));
  std::printf("\nshortcuts in the Start menu (%s):\n", programs.c_str());
  ShowLinks(programs);
  std::printf("\nshortcuts on the desktop (%s):\n", desktop.c_str());
  ShowLinks(desktop);

  const std::string product = title.substr(0, title.rfind(" スタートアップ"));
  std::printf("\nuninstall entry:\n");
  ShowKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\RvApp" + product,
          0);
  std::printf("\nper-user values:\n");
  const char* env_values = std::getenv("PV_SHOW_KEYS");  // "Global\\Local;..." chosen by the caller
  if (env_values) {
    std::string keys = env_values;
    for (std::size_t at = 0; at <= keys.size();) {
      const std::size_t end = keys.find(';', at) == std::string::npos ? keys.size() : keys.find(';', at);
      if (end > at) ShowKey(HKEY_CURRENT_USER, "Software\\" + keys.substr(at, end - at), 0);
      at = end + 1;
    }
  }
  if (const char* ini = std::getenv("PV_SHOW_INI")) {
    // A name without a folder lives in the Windows folder, as the profile functions put it.
    std::string path = ini;
    if (path.find('\\') == std::string::npos) {
      path = Cp932(WindowsFolderW()) + "\\" + path;
    }
    std::printf("\nINI file %s:\n%s\n", path.c_str(), wt::ReadFile(path).c_str());
  }
  const std::string entry = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\RvApp" + product;
  const bool uninstalled = Uninstall(product, entry);
  // The hand-over copy ends shortly after its report.
  for (int i = 0; i < 100 && !wt::ListNames(wt::TempDir(), "PvUnInst_*").empty(); ++i) Sleep(100);
  std::printf("\nafter uninstalling:\n  install folder %s: %s\n", install_folder.c_str(),
              wt::DirectoryExists(install_folder) ? "still there" : "gone");
  std::printf("  Start-menu shortcuts:\n");
  ShowLinks(programs);
  std::printf("  desktop shortcuts:\n");
  ShowLinks(desktop);
  ShowKey(HKEY_LOCAL_MACHINE, entry, 0);
  CoUninitialize();
  return code == 0 && uninstalled ? 0 : 1;
}
