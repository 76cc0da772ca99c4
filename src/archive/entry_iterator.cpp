#include "archive/entry_iterator.h"

#include "archive/archive_format.h"

std::int64_t EntryIterator::StoredBytes() const {
  std::int64_t bytes = entry_.HeaderBytes();
  if (!entry_.IsFolder()) bytes += kTimeBytes + static_cast<std::int64_t>(entry_.packed);
  return bytes;
}

HeaderStatus EntryIterator::Next() {
  if (has_entry_) offset_ += StoredBytes();
  has_entry_ = false;
  const HeaderStatus status = ReadEntryHeader(archive_, &entry_);
  has_entry_ = status == HeaderStatus::kEntry;
  return status;
}

bool EntryIterator::SkipData() {
  if (!has_entry_ || entry_.IsFolder()) return true;
  const std::int64_t skip = static_cast<std::int64_t>(entry_.packed) + kTimeBytes;
  // fseek takes a long, 32 bits on Windows: nothing beyond the archive limit reaches it.
  if (skip > kArchiveLimit) return false;
  return std::fseek(archive_, static_cast<long>(skip), SEEK_CUR) == 0;
}
