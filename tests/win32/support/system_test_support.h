// In-process helpers for the system-integration tests: scratch folders and files, settings
// loaded from a text, raw registry access, and a script thread that drives the modal
// dialogs the code under test runs on the test's own thread.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <thread>

// A fresh folder under %TEMP% (Windows path, no trailing separator).
std::string MakeScratchFolder(const char* name);
void WriteBytes(const std::string& path, const std::string& bytes);
// The file's bytes; empty when it cannot be read. `exists` reports whether it opened.
std::string ReadBytes(const std::string& path, bool* exists = nullptr);
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
std::string CurrentDirectory();

// Writes `text` as install.env into a scratch folder, enters it and reads both the setting
// list and the section lists from it (the program's own start-up order).
void LoadSettingsText(const std::string& text);
// Replaces the setting list only (the re-read accessors see the new values).
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

// A top-level window titled "PvTest" that stands in for the main window: owner and caption
// of the boxes, instance handle for the templates linked into the test.
HWND MakeStandInMainWindow();
constexpr char kStandInCaption[] = "PvTest";

// Dialog driving from a second thread. Windows are found by exact title among the visible
// dialogs of this process.
HWND WaitForDialog(const char* title, HWND not_this = nullptr, DWORD timeout_ms = 15000);
// Any visible dialog of this process other than `not_this` (for windows whose title the
// system chooses, such as the folder browser).
HWND WaitForOtherDialog(HWND not_this, DWORD timeout_ms = 15000);
void WaitUntilGone(HWND window, DWORD timeout_ms = 15000);
std::string ItemText(HWND dialog, int id);
void SetItemText(HWND dialog, int id, const std::string& text);
bool IsChecked(HWND dialog, int id);
void SetChecked(HWND dialog, int id, bool checked);
// Posts the command of a button (or a message box answer): never blocks on what it starts.
void PressButton(HWND dialog, int id);
// The text of a message box (its static -1).
std::string BoxText(HWND box);
// Cancels every dialog of this process: used when a script gives up, so the test ends.
void CancelAllDialogs();

// Runs the script on its own thread; joins in the destructor.
class UiScript {
 public:
  explicit UiScript(std::function<void()> script) : thread_(std::move(script)) {}
  UiScript(const UiScript&) = delete;
  UiScript& operator=(const UiScript&) = delete;
  ~UiScript() { thread_.join(); }

 private:
  std::thread thread_;
};
