#include "image_convert.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "archive/archive_reader.h"
#include "common/byte_order.h"
#include "platform.h"

#ifdef PV_HAVE_PNG
#include <png.h>
#endif

namespace {

std::string Extension(const std::string& path) {
  const std::size_t dot = path.find_last_of('.');
  const std::size_t slash = path.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

bool ReadBytes(const std::string& path, std::vector<unsigned char>* bytes, std::string* error) {
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  if (!in) {
    *error = "cannot open " + path;
    return false;
  }
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes, std::string* error) {
  std::ofstream out(PathFromUtf8(path), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) *error = "cannot write " + path;
  return static_cast<bool>(out);
}

bool CheckSize(std::int64_t width, std::int64_t height, std::string* error) {
  if (TitleSizeAccepted(width, height)) return true;
  *error = "picture size " + std::to_string(width) + "x" + std::to_string(height) +
           " is not between 1x1 and 16384x16384 pixels";
  return false;
}

#ifdef PV_HAVE_PNG
bool ReadPng(const std::string& path, RgbPicture* picture, std::string* error) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) {
    *error = path + ": " + image.message;
    return false;
  }
  if (!CheckSize(image.width, image.height, error)) {
    png_image_free(&image);
    return false;
  }
  image.format = PNG_FORMAT_BGR;
  picture->width = static_cast<int>(image.width);
  picture->height = static_cast<int>(image.height);
  picture->bgr.assign(PNG_IMAGE_SIZE(image), 0);
  const png_color black = {0, 0, 0};  // transparent parts are laid on black
  if (!png_image_finish_read(&image, &black, picture->bgr.data(), 0, nullptr)) {
    *error = path + ": " + image.message;
    return false;
  }
  return true;
}

bool WritePng(const std::string& path, const RgbPicture& picture, std::string* error) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(picture.width);
  image.height = static_cast<png_uint_32>(picture.height);
  image.format = PNG_FORMAT_BGR;
  if (!png_image_write_to_file(&image, path.c_str(), 0, picture.bgr.data(), 0, nullptr)) {
    *error = path + ": " + image.message;
    return false;
  }
  return true;
}

constexpr bool kHavePng = true;
#else
bool NoPng(const std::string& path, std::string* error) {
  *error = path + ": this panvester-pack was built without libpng and reads no PNG; give the picture as BMP "
                  "(panvester-pack image picture.bmp -o insttscr.rct)";
  return false;
}
constexpr bool kHavePng = false;
bool ReadPng(const std::string& path, RgbPicture*, std::string* error) { return NoPng(path, error); }
bool WritePng(const std::string& path, const RgbPicture&, std::string* error) { return NoPng(path, error); }
#endif

// Uncompressed 24- and 32-bit BMP, bottom-up or top-down.
bool ReadBmp(const std::string& path, RgbPicture* picture, std::string* error) {
  std::vector<unsigned char> b;
  if (!ReadBytes(path, &b, error)) return false;
  if (b.size() < 54 || b[0] != 'B' || b[1] != 'M' || LoadU32(&b[14]) < 40) {
    *error = path + ": not a BMP file";
    return false;
  }
  const std::int64_t width = static_cast<std::int32_t>(LoadU32(&b[18]));
  const std::int64_t raw_height = static_cast<std::int32_t>(LoadU32(&b[22]));
  const unsigned bits = LoadU16(&b[28]);
  const std::uint32_t compression = LoadU32(&b[30]);
  // 32-bit pictures usually come with bit fields (blue, green, red, alpha bytes); the
  // alpha byte is ignored, so only the colour masks must be the usual ones.
  constexpr std::uint32_t kBitFields = 3;
  const bool usual_fields = compression == kBitFields && bits == 32 && b.size() >= 66 &&
                            LoadU32(&b[54]) == 0x00FF0000 && LoadU32(&b[58]) == 0x0000FF00 && LoadU32(&b[62]) == 0x000000FF;
  if ((bits != 24 && bits != 32) || (compression != 0 && !usual_fields)) {
    *error = path + ": only uncompressed 24- and 32-bit BMP files are read (32-bit in blue, green, red order)";
    return false;
  }
  const std::int64_t height = raw_height < 0 ? -raw_height : raw_height;
  if (!CheckSize(width, height, error)) return false;
  const std::size_t step = bits / 8;
  const std::size_t stride = (step * static_cast<std::size_t>(width) + 3) / 4 * 4;
  const std::size_t offset = LoadU32(&b[10]);
  if (offset > b.size() || (b.size() - offset) / stride < static_cast<std::size_t>(height)) {
    *error = path + ": pixel data cut short";
    return false;
  }
  picture->width = static_cast<int>(width);
  picture->height = static_cast<int>(height);
  picture->bgr.resize(3 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (std::int64_t y = 0; y < height; ++y) {
    const std::int64_t stored = raw_height < 0 ? y : height - 1 - y;
    const unsigned char* row = &b[offset + static_cast<std::size_t>(stored) * stride];
    for (std::int64_t x = 0; x < width; ++x) {
      std::memcpy(&picture->bgr[3 * static_cast<std::size_t>(y * width + x)], row + step * x, 3);
    }
  }
  return true;
}

bool WriteBmp(const std::string& path, const RgbPicture& picture, std::string* error) {
  const std::size_t row = 3 * static_cast<std::size_t>(picture.width);
  const std::size_t stride = (row + 3) / 4 * 4;
  std::vector<unsigned char> b(54 + stride * static_cast<std::size_t>(picture.height), 0);
  b[0] = 'B', b[1] = 'M';
  StoreU32(&b[2], static_cast<std::uint32_t>(b.size()));
  StoreU32(&b[10], 54);
  StoreU32(&b[14], 40);
  StoreU32(&b[18], static_cast<std::uint32_t>(picture.width));
  StoreU32(&b[22], static_cast<std::uint32_t>(-picture.height));  // top-down
  b[26] = 1, b[28] = 24;
  for (int y = 0; y < picture.height; ++y) {
    std::memcpy(&b[54 + y * stride], &picture.bgr[y * row], row);
  }
  return WriteBytes(path, b, error);
}

}  // namespace

bool PngSupported() { return kHavePng; }

bool ReadPictureFile(const std::string& path, RgbPicture* picture, std::string* error) {
  const std::string ext = Extension(path);
  if (ext == ".png") return ReadPng(path, picture, error);
  if (ext == ".bmp") return ReadBmp(path, picture, error);
  *error = path + ": pictures are read from .png or .bmp files";
  return false;
}

bool WritePictureFile(const std::string& path, const RgbPicture& picture, std::string* error) {
  const std::string ext = Extension(path);
  if (ext == ".png") return WritePng(path, picture, error);
  if (ext == ".bmp") return WriteBmp(path, picture, error);
  *error = path + ": pictures are written as .png or .bmp files";
  return false;
}

bool ReadTitleImageFile(const std::string& path, RgbPicture* picture, TitleVariant* variant,
                        std::string* error) {
  // Read from the stream, so the data block grows with what the file holds.
  FilePtr stream(OpenFile(path, "rb"));
  if (!stream) {
    *error = "cannot open " + path;
    return false;
  }
  TitleFile file;
  switch (ReadTitleFile(stream.get(), &file)) {
    case TitleRead::kOk:
      break;
    case TitleRead::kUnknown:
      *error = path + ": not a title picture (TC00, TS00, TC01 or TS01)";
      return false;
    case TitleRead::kBadSize:
      // The reader says the same when the data block could not be allocated.
      if (!CheckSize(file.width, file.height, error)) return false;
      *error = path + ": not enough memory to read the picture";
      return false;
    default:
      *error = path + ": file cut short";
      return false;
  }
  *variant = file.variant;
  picture->width = file.width;
  picture->height = file.height;
  picture->bgr.assign(3 * static_cast<std::size_t>(file.width) * static_cast<std::size_t>(file.height), 0);
  switch (DecodeTitleFile(&file, picture->bgr.data(), 3 * static_cast<std::size_t>(file.width))) {
    case TitleDecode::kComplete:
      return true;
    case TitleDecode::kUnchecked:
      *error = path + ": scrambled data without its check bytes";
      return false;
    case TitleDecode::kOverrun:
      *error = path + ": a command runs past the picture";
      return false;
    case TitleDecode::kInputEnded:
      *error = path + ": the data ends before the picture is complete";
      return false;
    case TitleDecode::kBadReference:
      *error = path + ": a back-reference points outside the picture";
      return false;
  }
  return false;
}

bool WriteTitleImageFile(const std::string& path, const RgbPicture& picture, TitleVariant variant,
                         const std::string& name, std::size_t* bytes, std::string* error) {
  if (!CheckSize(picture.width, picture.height, error)) return false;
  const std::vector<unsigned char> file =
      EncodeTitleFile(picture.bgr.data(), picture.width, picture.height, variant, name);
  if (bytes) *bytes = file.size();
  return WriteBytes(path, file, error);
}

bool ConvertPngToTitleImage(const std::string& png, std::vector<unsigned char>* rct, std::string* error) {
  RgbPicture picture;
  if (!ReadPng(png, &picture, error)) return false;
  *rct = EncodeTitleFile(picture.bgr.data(), picture.width, picture.height, TitleVariant::kTC00, "");
  return true;
}
