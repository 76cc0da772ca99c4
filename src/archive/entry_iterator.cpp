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
  return archive_.Skip(static_cast<std::int64_t>(entry_.packed) + kTimeBytes);
}
