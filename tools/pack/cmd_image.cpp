// panvester-pack image IN -o OUT: a PNG or BMP picture to the title picture format, or a
// title picture back to PNG or BMP (chosen by the input's magic), with a size report.
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "commands.h"
#include "image_convert.h"
#include "platform.h"

namespace {

struct ImageOptions {
  std::string input;
  std::string output;
  std::string variant = "TC00";
  std::string name;
};

bool IsTitleImage(const std::string& path) {
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  unsigned char head[8] = {};
  TitleVariant variant;
  return in.read(reinterpret_cast<char*>(head), sizeof head) && MatchTitleHeader(head, &variant);
}

long long FileSize(const std::string& path) {
  std::ifstream in(PathFromUtf8(path), std::ios::binary | std::ios::ate);
  return in ? static_cast<long long>(in.tellg()) : -1;
}

TitleVariant ParseVariant(const std::string& word) {
  for (TitleVariant v : {TitleVariant::kTC00, TitleVariant::kTS00, TitleVariant::kTC01, TitleVariant::kTS01}) {
    if (word == TitleVariantName(v)) return v;
  }
  return TitleVariant::kTC00;
}

int Fail(const std::string& error) {
  std::fprintf(stderr, "panvester-pack image: %s\n", error.c_str());
  return 1;
}

int RunImage(const ImageOptions& options) {
  std::string error;
  RgbPicture picture;
  if (IsTitleImage(options.input)) {
    TitleVariant variant;
    if (!ReadTitleImageFile(options.input, &picture, &variant, &error)) return Fail(error);
    if (!WritePictureFile(options.output, picture, &error)) return Fail(error);
    std::printf("%s: %dx%d from %s (%lld bytes) -> %s (%lld bytes)\n", options.input.c_str(),
                picture.width, picture.height, TitleVariantName(variant), FileSize(options.input),
                options.output.c_str(), FileSize(options.output));
    return 0;
  }
  if (!ReadPictureFile(options.input, &picture, &error)) return Fail(error);
  std::size_t bytes = 0;
  const TitleVariant variant = ParseVariant(options.variant);
  if (!WriteTitleImageFile(options.output, picture, variant, options.name, &bytes, &error)) {
    return Fail(error);
  }
  const double raw = 3.0 * picture.width * picture.height;
  const long long source = FileSize(options.input);
  std::printf("%s: %dx%d %s, %zu bytes: %.1f%% of the raw pixels, %.2f x the %s (%lld bytes)\n",
              options.output.c_str(), picture.width, picture.height, TitleVariantName(variant),
              bytes, 100.0 * static_cast<double>(bytes) / raw,
              static_cast<double>(bytes) / static_cast<double>(source), options.input.c_str(), source);
  return 0;
}

}  // namespace

void SetUpImageCommand(CLI::App& app, int& exit_code) {
  auto options = std::make_shared<ImageOptions>();
  const bool png = PngSupported();
  CLI::App* command = app.add_subcommand(
      "image", png ? "Convert a PNG or BMP picture to a title picture (insttscr.rct), or back"
                   : "Convert a BMP picture to a title picture (insttscr.rct), or back (this build has no PNG)");
  command->add_option("input", options->input, png ? "picture (.png, .bmp) or title picture" : "picture (.bmp) or title picture")
      ->required()
      ->check(ExistingFile());
  command->add_option("-o,--output", options->output,
                      png ? "title picture to write, or .png/.bmp when the input is a title picture"
                          : "title picture to write, or .bmp when the input is a title picture")
      ->required();
  command->add_option("--variant", options->variant, "variant written: TC00 (default), TS00, TC01, TS01")
      ->check(CLI::IsMember({"TC00", "TS00", "TC01", "TS01"}));
  command->add_option("--name", options->name, "name stored by the TC01 and TS01 variants");
  command->callback([options, &exit_code] { exit_code = RunImage(*options); });
}
