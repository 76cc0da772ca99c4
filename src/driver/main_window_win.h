// The start-up window "MAINDIALOG": title picture on the left, two to four buttons on the right.
#pragma once

#include <windows.h>

INT_PTR CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
