// The first thing both programs do: keep DLLs that lie beside the program or in the current
// folder (a Downloads folder, the temporary folder, the install folder) out of every later
// load, and keep the system's "no disk" boxes away while drives are probed.
#pragma once

// Searches only the system folder for DLLs loaded from here on (`SetDefaultDllDirectories`
// where the system has it, else at least without the current folder), and sets the error
// mode. Call before anything else.
void GuardProcess();
