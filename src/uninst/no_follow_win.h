// Deleting without following links. Everything the uninstaller removes lies in folders that
// others may write, so a folder can be swapped for a junction or symbolic link at any time.
// Each operation decides by handle: no component from the root down may be a reparse point,
// the object is opened without following one, the handle's final path must be the path asked
// for, and the deletion goes through that same handle.
#pragma once

#include <windows.h>

#include <string>

#include "common/wide_win.h"

enum class NoFollow {
  kDone,       // deleted, or (for a check) a plain folder where it must be
  kGone,       // nothing there (or no longer)
  kLinkLeft,   // a reparse point on the way or at the end, left alone; `where` names it
  kElsewhere,  // the handle's final path is not the path asked for
  kWrongKind,  // a folder where a file was expected or the other way round
  kFailed,     // the system refused; `error` says why
};

struct NoFollowResult {
  NoFollow status = NoFollow::kFailed;
  DWORD error = 0;
  std::string where;  // the reparse point met, for kLinkLeft
};

// Deletes a file. When `named` (the install list or an exact line names it) a reparse point
// at the end is itself removed, provided the handle holds the link and not what it points to.
NoFollowResult DeleteFileNoFollow(const std::string& path, bool named);

// Removes an empty folder, under the same rules.
NoFollowResult RemoveFolderNoFollow(const std::string& path, bool named);

// kDone when `folder` is a plain folder reached through plain folders only, so that a search
// in it stays in it.
NoFollowResult CheckFolderNoFollow(const std::string& folder);
