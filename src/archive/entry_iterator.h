// Steps over a payload archive's entries front to back, the way the program's walk reads
// them: one header at a time, each file's time stamp and data either read by the caller or
// skipped here.
#pragma once

#include <cstdint>

#include "archive/archive_reader.h"
#include "archive/archive_stream.h"

class EntryIterator {
 public:
  // The stream stands at the archive's first entry.
  explicit EntryIterator(ArchiveStream& archive) : archive_(archive) {}

  // Reads the next header. On kEntry, entry() holds it and the stream stands after its
  // packed size; before the following Next() the caller either reads the file entry's time
  // stamp and data itself or calls SkipData().
  HeaderStatus Next();

  // Seeks past the current file entry's time stamp and data (nothing for a folder). False
  // when the archive ends first.
  bool SkipData();

  const EntryHeader& entry() const { return entry_; }
  // Offset of the current entry (or of the header Next() failed to read) from the
  // archive's first byte.
  std::int64_t offset() const { return offset_; }
  // Stored bytes of the current entry: header, and for a file its time stamp and data.
  std::int64_t StoredBytes() const;

 private:
  ArchiveStream& archive_;
  EntryHeader entry_;
  std::int64_t offset_ = 0;
  bool has_entry_ = false;
};
