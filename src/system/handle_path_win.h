// The shell of final_path_rule: what the system says of an open handle.
#pragma once

#include <windows.h>

#include <string>

// True when `handle` holds `path` itself (a full path, long names): its final path is that
// path and it lies on the volume of the path's root. False whenever the system cannot tell,
// so an elevated caller that acts on the handle fails closed.
bool HandleIsAt(HANDLE handle, const std::wstring& path);

// `folder` opened with `access` without following a link and without sharing deletion, so that
// it can be neither renamed nor replaced while the handle is held; INVALID_HANDLE_VALUE unless
// the handle holds that very folder, a plain one.
HANDLE OpenFolderItself(const std::wstring& folder, DWORD access);
