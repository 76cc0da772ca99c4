// The program's reading of the sections of install.env, with its fatal ends, and the
// CD-ROM probe behind REP_CDROMDRIVE / REP_CDROM.
#pragma once

#include "settings/section_lists.h"

// Returns only when the file was read with every section closed. A file that cannot be
// opened, an unterminated section or exhausted memory ends the process with -1 (after the
// retry/abort box, whatever its answer); the work folder is left as it is.
void ReadSectionLists(const char* file);

// "X:\" of the first drive whose type is DRIVE_CDROM, scanned afresh on every call; "E:\"
// when there is none. Valid until the next call.
const char* FirstCdromRoot();
