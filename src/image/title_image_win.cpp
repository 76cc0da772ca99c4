#include "image/title_image_win.h"

#include <cstdio>
#include <memory>

#include "image/title_codec.h"
#include "settings/resource_opener_win.h"

namespace {

// A file still being written (or a flaky medium) gets a few fresh opens; a file that is
// simply too short would otherwise be read for ever.
constexpr int kReadAttempts = 3;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

TitleRead ReadOnce(const char* name, TitleFile* file) {
  std::unique_ptr<std::FILE, FileCloser> stream(OpenSetupFile(name, "rb"));
  return ReadTitleFile(stream.get(), file);
}

}  // namespace

Surface* LoadTitleImage(const char* name) {
  TitleFile file;
  TitleRead result = ReadOnce(name, &file);
  for (int attempt = 1; attempt < kReadAttempts; ++attempt) {
    if (result != TitleRead::kShortHeader && result != TitleRead::kShortData) break;
    result = ReadOnce(name, &file);
  }
  if (result != TitleRead::kOk && result != TitleRead::kShortData) return nullptr;

  Surface* surface = CreateSurface24(file.width, file.height, 0);
  if (surface && !surface->pixels) {
    ReleaseSurface(surface, 1);
    return nullptr;
  }
  if (surface && result == TitleRead::kOk) {
    DecodeTitleFile(&file, surface->pixels, static_cast<std::size_t>(surface->stride));
  }
  return surface;
}
