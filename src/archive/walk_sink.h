// What the archive walk asks of the outside world, and how it reports the end: everything it
// does goes through a WalkSink, so the same walk runs under Win32 behind the copy dialog,
// natively in tests and benchmarks, and in the pack tool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

enum class WalkPass : int {
  kFull = 0,   // every folder and file
  kSetup = 1,  // top-level setup files only, no folders; ends at the first nested folder
};

class WalkSink {
 public:
  virtual ~WalkSink() = default;
  // Result ignored: a folder that cannot be made shows up when a file is written into it.
  virtual void CreateFolder(const std::string& path) = 0;
  // Creates or replaces the file for binary writing; one output is open at a time.
  virtual bool OpenOutput(const std::string& path) = 0;
  virtual bool WriteOutput(const unsigned char* data, std::size_t size) = 0;
  // Closes a file the walk gives up on; false when buffered data could not be written out.
  virtual bool CloseOutput() = 0;
  // Closes a file written whole and gives it its stored time; false as for CloseOutput. By
  // default CloseOutput, then SetWriteTime; a sink that can stamp the open file does both
  // through the one handle.
  virtual bool FinishOutput(const std::string& path, std::uint64_t filetime);
  // Result ignored: a time that cannot be set leaves the file as it is.
  virtual void SetWriteTime(const std::string& /*path*/, std::uint64_t /*filetime*/) {}

  // Extraction buffers, asked for on the walk's calling thread. Null when memory has run
  // out: the walk then ends as kNoMemory, so a sink tells nobody here and the caller reports
  // the outcome once, however many blocks the walk had asked for.
  virtual void* AllocateBlock(std::size_t size);
  virtual void FreeBlock(void* block);

  // A file starts: `file_range` is its size in whole blocks (0 for a file under one block).
  virtual void BeginFile(const std::string& /*path*/, int /*file_range*/) {}
  // Written output and consumed archive bytes, both in whole blocks.
  virtual void UpdateProgress(int /*file_position*/, int /*overall_position*/) {}
  // Drains the message queue; called after every block of output.
  virtual void Pump() {}
  // Called now and then while the calling thread waits for the archive's next bytes (a volume
  // being checked, slow media), so that windows keep answering; by default nothing.
  virtual void Waiting() {}
};

// Output files through the C runtime's streams ("wb": created or replaced), for every sink
// that writes real files. `SystemPath` turns an archive path into the system's form, and
// `OpenStream` opens that ("wb"); a sink whose paths are not in the C runtime's code page
// opens them itself.
class StdioOutputSink : public WalkSink {
 public:
  ~StdioOutputSink() override;
  bool OpenOutput(const std::string& path) override;
  bool WriteOutput(const unsigned char* data, std::size_t size) override;
  bool CloseOutput() override;

 protected:
  virtual std::string SystemPath(const std::string& path) { return path; }
  virtual std::FILE* OpenStream(const std::string& system_path) { return std::fopen(system_path.c_str(), "wb"); }

 private:
  std::FILE* out_ = nullptr;
};

enum class WalkError {
  kNone = 0,
  kShortRead,        // the archive ended inside an entry header or time stamp
  kBadName,          // the name would leave the target folder or is malformed
  kPathTooLong,      // target + name does not fit a 260-byte path buffer
  kPastEnd,          // a skipped file's data runs past anything an archive can hold
  kNoMemory,
  kCreateFailed,     // the output file could not be created
  kInflateInit,
  kCorruptStream,    // inflate reported damage (bad data, bad Adler-32, ...)
  kTruncatedStream,  // the stream needs more than its stored length
  kLengthMismatch,   // the stream ended before its stored length was used up
  kWriteFailed,
  kVolumeBad,        // a further volume is missing, short or not the one the first records
};

const char* WalkErrorText(WalkError error);

struct WalkOutcome {
  WalkError error = WalkError::kNone;
  std::string entry_name;        // the entry that failed (empty for the end of the stream)
  std::int64_t entry_offset = 0; // its offset from the archive's first byte
  std::string volume;            // kVolumeBad: the volume's file name
  bool Ok() const { return error == WalkError::kNone; }
};

// Progress-bar arithmetic: whole blocks, never negative, and the overall bar's range
// is at least one block.
int BlocksOf(std::int64_t bytes);
int OverallRange(std::int64_t archive_length);
