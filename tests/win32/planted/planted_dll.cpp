// A DLL as it would be planted beside a downloaded setup program: loaded into a process, it
// leaves "<its file name>.loaded" beside itself. It carries the one function the programs
// once imported from winmm.dll, so an import of it would load it.
// Lean: the full header declares the multimedia functions as imports.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

extern "C" __declspec(dllexport) DWORD WINAPI timeGetTime() { return GetTickCount(); }

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(instance, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return TRUE;
  const std::wstring marker = std::wstring(path, n) + L".loaded";
  HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return TRUE;
}
