// The registry values and INI entries of an install are the same Japanese text on any
// system language. CTest runs this program twice: on a Japanese system (code page 932) and
// on an English one (1252, PV_WINE_LANG=en_US.UTF-8), where the ...A calls would read our
// CP932 bytes as Western text. The names hold 0x5C trail bytes ("ソ", "表", "能", "十"),
// which a non-Japanese system takes for backslashes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "common/message_win.h"
#include "common/wide_win.h"
#include "settings/section_lists.h"
#include "settings/setting_list.h"
#include "support/system_test_support.h"
#include "support/wine_test.h"
#include "system/registry_win.h"

namespace {

// Reads a REG_SZ value through the wide call; "(none)" when it is not there.
std::wstring QueryWide(const wchar_t* key_name, const wchar_t* value_name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, key_name, 0, KEY_READ, &key) != ERROR_SUCCESS) return L"(none)";
  wchar_t data[512] = {};
  DWORD size = sizeof data - sizeof(wchar_t);
  DWORD type = 0;
  const LONG status =
      RegQueryValueExW(key, value_name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ) return L"(none)";
  // The terminator is stored with the text.
  return size >= sizeof(wchar_t) && data[size / sizeof(wchar_t) - 1] == L'\0'
             ? std::wstring(data, size / sizeof(wchar_t) - 1)
             : L"(no terminator)";
}

bool KeyExistsWide(const wchar_t* key_name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, key_name, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

std::string ReadWide(const std::wstring& path) {
  std::string bytes;
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "(none)";
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
  CloseHandle(file);
  return bytes;
}

std::vector<std::wstring> NamesInWindowsFolder(const wchar_t* pattern) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  const HANDLE find = FindFirstFileW((WindowsFolderW() + L"\\" + pattern).c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return names;
  do names.push_back(found.cFileName);
  while (FindNextFileW(find, &found));
  FindClose(find);
  return names;
}

TEST(SystemLanguage, TheRunHasTheCodePageAsked) {
  const char* asked = std::getenv("PV_EXPECT_ACP");
  EXPECT_EQ(GetACP(), static_cast<UINT>(asked ? std::atoi(asked) : 932));
}

TEST(SystemLanguage, ConversionsNeverMangle) {
  std::string narrow;
  EXPECT_TRUE(NarrowCp932(L"C:\\ソ表", &narrow));
  EXPECT_EQ(narrow, "C:\\ソ表");
  // A look-alike would change a name: "e" for "é", a folder level for the yen sign.
  EXPECT_FALSE(NarrowCp932(L"Caf\u00E9", &narrow));
  EXPECT_FALSE(NarrowCp932(L"\u00A5", &narrow));
  EXPECT_TRUE(narrow.empty());
  std::wstring wide;
  EXPECT_FALSE(WidenCp932("Pv\x83", &wide)) << "a lead byte without its trail";
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyCp932(HKEY_CURRENT_USER, "Software\\Pv\x83", KEY_ALL_ACCESS, &key),
            ERROR_NO_UNICODE_TRANSLATION);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(MessageBoxCp932(nullptr, "\x83", "Pv", MB_OK), 0) << "no box with broken text";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

// A system path that has no CP932 form ("é" in a user name) stays exact: our CP932 part is
// joined onto it in UTF-16.
TEST(SystemLanguage, SystemPathsWithoutACp932FormStayExact) {
  const std::wstring folder = L"C:\\users\\Public\\Caf\u00E9";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  ASSERT_TRUE(SetEnvironmentVariableW(L"TMP", folder.c_str()));
  std::wstring path = TempFolderW();
  EXPECT_TRUE(path == folder + L"\\");
  ASSERT_TRUE(AppendCp932(&path, "ソ表.txt"));
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  EXPECT_TRUE(GetFileAttributesW((folder + L"\\ソ表.txt").c_str()) != INVALID_FILE_ATTRIBUTES);
  const std::wstring module = ModuleFileNameW(nullptr);
  EXPECT_TRUE(module.size() > 30 && module.substr(module.size() - 30) == L"win32_system_language_test.exe");
}

// One settings file for the process: the accessors read REG_GLOBAL and INI_FILE once.
TEST(SystemLanguage, RegistryAndIniHoldTheJapaneseText) {
  LoadSettingsText("REG_GLOBAL Pvソフト\n"
                   "REG_LOCAL 表能\n"
                   "INI_FILE pvソ表.ini\n"
                   "INI_SECTION 十能\n"
                   "[ini]\n"
                   "表示=REP_INSTALL\\能力\n"
                   "Path=REP_INSTALL\n"
                   "-\n"
                   "[reg]\n"
                   "\"InstTo\"=\"REP_INSTALL\"\n"
                   "\"ソ表\"=\"十\"\n"
                   "-\n");
  static char install[] = "C:\\ゲーム\\ソ表";
  SetInstallFolderPointer(install);
  const std::wstring ini = WindowsFolderW() + L"\\pvソ表.ini";
  // Someone else's section, in CP932, stays as it is.
  const HANDLE seed = CreateFileW(ini.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(seed, INVALID_HANDLE_VALUE);
  const std::string other = "[他]\r\n名前=値\r\n";
  DWORD written = 0;
  ::WriteFile(seed, other.data(), static_cast<DWORD>(other.size()), &written, nullptr);
  CloseHandle(seed);

  char key[kSplitBuffer];
  char value[kSplitBuffer];
  WriteIniEntries(key, value);
  WriteRegValues(key, value);

  EXPECT_EQ(ReadWide(ini), other + "[十能]\r\n表示=C:\\ゲーム\\ソ表\\能力\r\nPath=C:\\ゲーム\\ソ表\r\n")
      << "the bytes a Japanese system writes";
  EXPECT_EQ(NamesInWindowsFolder(L"pv*"), std::vector<std::wstring>{L"pvソ表.ini"}) << "no mangled name";

  const wchar_t* user_key = L"Software\\Pvソフト\\表能";
  EXPECT_TRUE(QueryWide(user_key, L"InstTo") == L"C:\\ゲーム\\ソ表");
  EXPECT_TRUE(QueryWide(user_key, L"ソ表") == L"十");
  // What the program wrote reads back as the same CP932 bytes.
  char read[260];
  EXPECT_EQ(ReadUserRegString(SettingRegGlobal(), SettingRegLocal(), "InstTo", "", read, sizeof read), 0);
  EXPECT_STREQ(read, install);
  EXPECT_EQ(TestMachineKey(SettingRegGlobal(), SettingRegLocal()), 0);

  RemoveIniEntries(key, value);
  RemoveUserKey(key, value, false);
  RemoveMachineTestKey();
  EXPECT_EQ(ReadWide(ini), other);
  EXPECT_FALSE(KeyExistsWide(L"Software\\Pvソフト"));
}

INT_PTR CALLBACK FontDialogProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (message == WM_INITDIALOG) UseJapaneseDialogFont(dialog);
  return FALSE;
}

TEST(SystemLanguage, DialogControlsGetAFaceWithJapanese) {
  HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), L"ENDINSTALL_VISTA", nullptr, FontDialogProc, 0);
  ASSERT_TRUE(dialog);
  int controls = 0;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT), ++controls) {
    HDC dc = GetDC(child);
    const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)));
    EXPECT_EQ(GetTextCharset(dc), SHIFTJIS_CHARSET) << "control " << GetDlgCtrlID(child);
    SelectObject(dc, old);
    ReleaseDC(child, dc);
  }
  EXPECT_GT(controls, 0);
  DestroyWindow(dialog);
}

}  // namespace
