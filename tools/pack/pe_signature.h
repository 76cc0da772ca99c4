// What the pack tool reads of a Windows executable's headers: its certificate table
// (Authenticode signature) and where its image ends.
#pragma once

#include <cstdint>
#include <cstdio>

struct PeLayout {
  std::uint32_t certificate_offset = 0;  // file offset of the certificate table, 0 when none
  std::uint32_t certificate_size = 0;
  std::int64_t image_end = 0;            // end of the sections (and of a COFF symbol table after them)
  bool Signed() const { return certificate_size != 0; }
};

// False when the file is not a PE executable (no "PE" header where the DOS header points).
bool ReadPeLayout(std::FILE* file, PeLayout* layout);
