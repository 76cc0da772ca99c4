// Message services: the three boxes, the clipboard copy, the main window handle and
// caption, the message pump, centring, allocation and the two launchers.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdio>  // __MINGW_PRINTF_FORMAT: the format the C runtime in use understands
#include <string>

// Every formatted message fits 1023 bytes and the terminator; longer ones are cut.
constexpr std::size_t kMessageBuffer = 1024;
constexpr std::size_t kCaptionBuffer = 260;

// The boxes format like the C runtime's printf, so the compiler checks their arguments.
#define PV_PRINTF_LIKE __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)))

void SetMainWindowHandle(HWND window);
HWND MainWindowHandle();
// The main window's instance: dialogs other than the main window load their templates with it.
HINSTANCE MainWindowInstance();
// The main window's current title (empty before it exists); valid until the next call.
const char* MainWindowCaption();

// OK, error icon; the text is copied to the clipboard.
void ErrorBox(const char* format, ...) PV_PRINTF_LIKE;
// Retry and Cancel, error icon; copied to the clipboard. Cancel ends the process with -1.
void RetryAbortBox(const char* format, ...) PV_PRINTF_LIKE;
// Yes and No, question icon; not copied. 1 for Yes, 0 otherwise.
int YesNoBox(const char* format, ...) PV_PRINTF_LIKE;
// Retry and Cancel, warning icon; copied to the clipboard. 1 for Retry, 0 for Cancel, which
// lets the caller skip what failed and go on (nothing ends the process here).
int RetrySkipBox(const char* format, ...) PV_PRINTF_LIKE;
// OK, information icon; not copied.
void InfoBox(const char* format, ...) PV_PRINTF_LIKE;

// Replaces the clipboard's text. 0 when handed over, -1 when no memory block could be had.
int CopyTextToClipboard(const char* text);

// Dispatches every queued message of the thread and returns how many; a quit message
// ends the process with its exit code.
int PumpMessages();

// Centres on the whole screen (not the work area); odd differences are halved toward zero.
void CenterWindow(HWND window);

// malloc with 32 bytes of slack; on exhaustion the "malloc" box and null.
void* Allocate(std::size_t size);
// The same without the box, for callers that report exhaustion once themselves (the walk,
// whose blocks are taken several at a time and whose failure path shows the box).
void* AllocateQuietly(std::size_t size);
// The "malloc" box of Allocate: no owner, not copied to the clipboard.
void OutOfMemoryBox();

// Opens a document with the shell's "open" verb, relative to the current directory.
void ShellOpen(const char* file);

// The dialog templates name a Japanese face with the Japanese character set. Where the
// system gave the dialog a face without Japanese characters (that face is not installed, or
// the dialog manager ignored the character set), its controls get the same face and size
// asked with the Japanese character set, so the system picks one that has them. On a
// Japanese system the dialog is left as it is.
void UseJapaneseDialogFont(HWND dialog);

// Starts a program by its quoted path without waiting. Non-zero when the process was
// created; 0 also for a path that would not fit the 260-byte command line.
int LaunchProcess(const char* path);
// The same for a path from the system, which may have no CP932 form (260 characters).
int LaunchProcessW(const std::wstring& path);
