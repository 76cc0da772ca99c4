#include "pe_signature.h"

#include "archive/signed_image.h"
#include "platform.h"

namespace {

class FileSource : public ByteSource {
 public:
  explicit FileSource(std::FILE* file) : file_(file) {}
  bool ReadAt(std::int64_t offset, void* data, std::size_t size) override {
    return SeekFile(file_, offset, SEEK_SET) && std::fread(data, 1, size, file_) == size;
  }

 private:
  std::FILE* file_;
};

}  // namespace

bool ReadPeLayout(std::FILE* file, PeLayout* layout) {
  // The program's own reading, so that the tool accepts exactly the setups the program
  // installs (an unstripped stub keeps its symbol table after the sections, for one).
  *layout = PeLayout();
  if (!SeekFile(file, 0, SEEK_END)) return false;
  const std::int64_t size = TellFile(file);
  FileSource source(file);
  ImageLayout image;
  if (size < 0 || !ReadImageLayout(source, size, &image)) return false;
  layout->certificate_offset = static_cast<std::uint32_t>(image.certificate_offset);
  layout->certificate_size = static_cast<std::uint32_t>(image.certificate_size);
  layout->image_end = image.image_end;
  return true;
}
