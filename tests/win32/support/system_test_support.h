// In-process helpers for the system-integration tests (beside the general ones of
// wine_test.h): scratch folders, settings loaded from a text, raw registry access, a
// stand-in main window, and a script thread that drives the modal dialogs which the code
// under test runs on the test's own thread.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

// A fresh folder under %TEMP% (no trailing separator).
std::string MakeScratchFolder(const std::string& name);
std::string CurrentDirectory();

// Writes `text` as install.env into a scratch folder, enters it and reads the setting list
// and the section lists from it, in the program's own start-up order.
void LoadSettingsText(const std::string& text);
// Replaces the setting list only; the accessors that re-read on every call see the change.
void ReloadSettingList(const std::string& text);

// Raw registry access in the test's own view.
struct RegValue {
  bool found = false;
  DWORD type = 0;
  std::string data;  // the raw bytes, terminator included when stored
};
RegValue QueryValue(HKEY root, const std::string& key, const char* name);
void SetRawValue(HKEY root, const std::string& key, const char* name, DWORD type,
                 const void* data, DWORD size);
void SetStringValue(HKEY root, const std::string& key, const char* name, const std::string& text);
bool KeyExists(HKEY root, const std::string& key);
void DeleteTree(HKEY root, const std::string& key);
// The names of a key's subkeys.
std::vector<std::string> SubkeyNames(HKEY root, const std::string& key);
// Makes HKLM\Software\<global> a volatile key, which cannot hold the non-volatile key the
// rights test creates: Wine's stand-in for the refusal a missing right gives on Windows.
// False when the volatile key could not be made.
bool RefuseMachineKeysUnder(const std::string& global);

// The access that the folder's list gives Everyone (S-1-1-0) by allowing entries, with
// the list as SDDL for messages; 0 when the list cannot be read.
struct EveryoneAccess {
  DWORD mask = 0;
  std::string sddl;
};
EveryoneAccess ReadEveryoneAccess(const std::string& path);
// Everyone may add files and folders (what Wine's mode bits show of full control).
bool EveryoneMayWrite(const EveryoneAccess& access);

// A shortcut file read back through the shell-link object.
struct ShortcutInfo {
  bool loaded = false;
  std::string target, description, working_folder;
  // The target as the link's item list names it: a shell that stores the path only in the
  // ANSI code page (Wine) keeps the Japanese names there alone.
  std::string listed_target;
};
ShortcutInfo ReadShortcut(const std::string& path);

// A window titled kStandInCaption that stands in for the main window: owner and caption of
// the boxes, and the instance whose templates (linked into the test) the dialogs load.
HWND MakeStandInMainWindow();
constexpr char kStandInCaption[] = "PvTest";

// For the script thread: dialogs of this process by exact title, or any other than one.
HWND WaitForDialog(const char* title, DWORD timeout_ms = 15000);
HWND WaitForOtherDialog(HWND not_this, DWORD timeout_ms = 15000);
HWND WaitForBox(DWORD timeout_ms = 15000);
void WaitUntilGone(HWND window, DWORD timeout_ms = 15000);
bool IsChecked(HWND dialog, int id);
void SetChecked(HWND dialog, int id, bool checked);
// Cancels every dialog of this process: a script that gives up still lets the test end.
void CancelAllDialogs();

// Runs the script on its own thread while the test's thread runs the modal UI; joins in
// the destructor.
class UiScript {
 public:
  explicit UiScript(std::function<void()> script) : thread_(std::move(script)) {}
  UiScript(const UiScript&) = delete;
  UiScript& operator=(const UiScript&) = delete;
  ~UiScript() { thread_.join(); }

 private:
  std::thread thread_;
};
