// Helpers for the tests that run under Wine: paths of the build tree, starting programs,
// finding their windows and answering their boxes by control id (never by pixel).
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace wt {

// Stands for a name or text that has no CP932 form (a mangled or a foreign one).
constexpr char kNoCp932Form[] = "(no CP932 form)";

// Text read back through the wide calls as CP932 (kNoCp932Form when it has none), and CP932
// text for them (empty when it is not CP932).
std::string Cp932(const std::wstring& wide);
std::wstring Wide(const std::string& text);

// A Unix path of the build host as the Windows side sees it (drive Z:).
std::string WinPath(const std::string& unix_path);
// The cross build tree (PV_BIN_DIR) and the source tree (PV_SOURCE_DIR), as Windows paths.
std::string BinDir();
std::string SourceDir();
std::string TempDir();  // GetTempPathA without the trailing backslash

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
std::string ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const std::string& bytes);
// Creates every missing level of a folder.
bool MakeDirs(const std::string& path);
// Deletes a folder tree (test scratch only).
void RemoveTree(const std::string& path);
// Names (not paths) of the entries of a folder matching a pattern such as "TempRV*".
std::vector<std::string> ListNames(const std::string& folder, const std::string& pattern);

struct Process {
  HANDLE handle = nullptr;
  DWORD id = 0;
};
// Starts a program with its folder as the current directory (or `directory` when given).
Process Start(const std::string& exe, const std::string& directory = "", const std::string& arguments = "");
// The same for paths from the system, which may have no CP932 form.
Process Start(const std::wstring& exe, const std::wstring& directory = L"", const std::wstring& arguments = L"");
// Waits for the end; returns false on time-out. The exit code is stored in *code.
bool WaitExit(Process& process, DWORD timeout_ms, DWORD* code);
void Kill(Process& process);

// Polls until `find` yields a window or the time runs out.
HWND WaitFor(const std::function<HWND()>& find, DWORD timeout_ms);
// The first visible top-level window of the process (of any with kAnyProcess) that `match`
// accepts.
constexpr DWORD kAnyProcess = 0;  // the idle process, which owns no window
HWND FindTop(DWORD process_id, std::function<bool(HWND)> match);
// A visible top-level window of the process with this exact (CP932) title.
HWND FindTopWindow(DWORD process_id, const std::string& title);
// A message box (#32770 with a static of id 0xFFFF) of the process.
HWND FindMessageBox(DWORD process_id);
// A dialog (#32770) of the process with this title.
HWND FindDialog(DWORD process_id, const std::string& title);

std::string Text(HWND window);
std::string ControlText(HWND dialog, int id);
std::string ClassOf(HWND window);
std::string MessageBoxText(HWND box);
// Presses a button of a dialog or box as the user would (BM_CLICK on the control,
// or WM_COMMAND when the control does not exist).
void Press(HWND dialog, int id);

// Clipboard text (CF_TEXT) or "" when empty.
std::string ClipboardText();
void SetClipboardText(const std::string& text);

// Saves the window's pixels as read from the screen, as a 24-bit BMP (for looking only).
bool SaveWindowPicture(HWND window, const std::string& path);

// A Unix symbolic link `link` to `target`, made from the Linux side; false when none appeared.
bool MakeUnixLink(const std::string& link, const std::string& target);

// The Unix path of a Windows path of this prefix; empty when Wine gives none.
std::string UnixPath(const std::string& windows_path);
// Runs a shell script on the Linux side and waits for its end; its exit status (-1 when it
// could not be started or did not end in time), what it printed in `output`.
int RunUnixScript(const std::string& script, std::string* output = nullptr);
// Maps a drive letter to a Unix folder through Wine's mount manager (`type` DRIVE_FIXED,
// DRIVE_CDROM, ...); an empty folder removes the letter again.
bool DefineUnixDrive(char letter, const std::string& unix_folder, DWORD type);

}  // namespace wt
