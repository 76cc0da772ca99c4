// Picture conversions of panvester-pack: the title picture format to and from PNG (and
// uncompressed BMP), for the image subcommand and for the build subcommand, which turns a
// distribution's insttscr.png into insttscr.rct.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "image/title_codec.h"

struct RgbPicture {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> bgr;  // packed rows, top row first, blue, green, red
};

// By extension, case-insensitive: ".png" or ".bmp". PNG needs the tool built with libpng.
bool ReadPictureFile(const std::string& path, RgbPicture* picture, std::string* error);
bool WritePictureFile(const std::string& path, const RgbPicture& picture, std::string* error);

// A title picture file of any of the four variants. A damaged stream is an error here.
bool ReadTitleImageFile(const std::string& path, RgbPicture* picture, TitleVariant* variant,
                        std::string* error);
// Writes the picture; *bytes receives the file's size.
bool WriteTitleImageFile(const std::string& path, const RgbPicture& picture, TitleVariant variant,
                         const std::string& name, std::size_t* bytes, std::string* error);

// insttscr.png -> the bytes of insttscr.rct as "TC00".
bool ConvertPngToTitleImage(const std::string& png, std::vector<unsigned char>* rct, std::string* error);

// False when this build reads and writes no PNG (no libpng for the target, as for Windows).
bool PngSupported();
