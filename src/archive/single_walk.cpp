#include "archive/single_walk.h"

#include "archive/archive_stream.h"
#include "archive/entry_steps.h"

namespace {

// Packed data read straight from the archive into one block, output written from another.
class DirectIo : public InflateIo {
 public:
  DirectIo(ArchiveStream& archive, unsigned char* in, unsigned char* out, FileOutput& output)
      : archive_(archive), in_(in), out_(out), output_(output) {}
  unsigned char* OutputBlock() override { return out_; }
  bool Input(std::uint32_t size, const unsigned char** data, std::size_t* length) override {
    *length = archive_.Read(in_, size);
    *data = in_;
    return true;
  }
  // Stops only when the output cannot be written.
  bool Output(unsigned char* block, std::size_t length, std::int64_t consumed) override {
    return output_.Write(block, length, consumed);
  }

 private:
  ArchiveStream& archive_;
  unsigned char* in_;
  unsigned char* out_;
  FileOutput& output_;
};

// The two blocks are taken at the first file and kept to the walk's end.
WalkError ExtractFile(ArchiveStream& archive, const EntryStep& step, BlockPool& blocks, WalkSink& sink,
                      std::int64_t* consumed) {
  if (!blocks.FillTo(2)) return WalkError::kNoMemory;
  FileOutput output(sink, step.path);
  if (const WalkError error = output.Open(step.size); error != WalkError::kNone) return error;
  DirectIo io(archive, blocks.blocks()[0], blocks.blocks()[1], output);
  const InflateResult inflated = InflateEntryData(step.packed, *consumed, io);
  *consumed += step.packed;
  return output.Finish(inflated.stopped ? WalkError::kWriteFailed : inflated.error, step.filetime);
}

}  // namespace

WalkOutcome WalkEntriesSingle(ArchiveStream& archive, const std::string& target, WalkPass pass, WalkSink& sink) {
  EntryIterator entries(archive);
  BlockPool blocks(sink);
  std::int64_t consumed = 0;
  EntryStep step;
  for (;;) {
    NextEntry(entries, archive, target, pass, &consumed, &step);
    WalkError error = WalkError::kNone;
    switch (step.kind) {
      case EntryStep::Kind::kEnd: return WalkOutcome();
      case EntryStep::Kind::kSkipped: continue;
      case EntryStep::Kind::kFolder: sink.CreateFolder(step.path); continue;
      case EntryStep::Kind::kFailure: error = step.error; break;
      case EntryStep::Kind::kFile: error = ExtractFile(archive, step, blocks, sink, &consumed); break;
    }
    if (error != WalkError::kNone) return WalkOutcome{error, step.name, entries.offset(), {}};
  }
}
