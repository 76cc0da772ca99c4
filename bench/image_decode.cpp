// Title picture decoding against libpng decoding the same picture, and the encoder's output
// size against the PNG's. bench/image_decode.sh prints the ratios.
#include <benchmark/benchmark.h>
#include <png.h>

#include <cmath>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "image/title_codec.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct Picture {
  int width, height;
  Bytes pixels;  // packed blue, green, red
};

unsigned char Clamp(double v) { return static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : v); }

// Smooth light and colour with sensor-like noise on every pixel, as a photograph has.
Picture Photo(int w, int h) {
  Picture p{w, h, Bytes(3 * static_cast<std::size_t>(w) * h)};
  std::mt19937 random(42);
  std::normal_distribution<double> noise(0.0, 2.0);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const double u = static_cast<double>(x) / w, v = static_cast<double>(y) / h;
      const double light = 0.5 + 0.35 * std::sin(6.0 * u + 2.0 * v) * std::cos(4.0 * v - u);
      unsigned char* px = &p.pixels[3 * (static_cast<std::size_t>(y) * w + x)];
      px[0] = Clamp(255 * light * (0.6 + 0.4 * v) + noise(random));
      px[1] = Clamp(255 * light * (0.8 - 0.3 * u) + noise(random));
      px[2] = Clamp(255 * (0.3 + 0.5 * light * u) + noise(random));
    }
  }
  return p;
}

// Title art: a vertical sky gradient, flat shapes with hard edges and a horizontal band.
Picture TitleArt(int w, int h) {
  Picture p{w, h, Bytes(3 * static_cast<std::size_t>(w) * h)};
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      unsigned char* px = &p.pixels[3 * (static_cast<std::size_t>(y) * w + x)];
      const double v = static_cast<double>(y) / h;
      px[0] = Clamp(200 - 120 * v), px[1] = Clamp(120 - 60 * v), px[2] = Clamp(40 + 100 * v);
      const double dx = x - 0.3 * w, dy = y - 0.35 * h;
      if (dx * dx + dy * dy < 0.04 * w * w) px[0] = 60, px[1] = 220, px[2] = 250;
      if (y > 0.7 * h + 0.05 * h * std::sin(x * 0.02)) {
        const double s = static_cast<double>(x) / w;
        px[0] = Clamp(30 + 40 * s), px[1] = Clamp(90 + 30 * s), px[2] = 40;
      }
    }
  }
  return p;
}

Bytes ToPng(const Picture& p) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = p.width;
  image.height = p.height;
  image.format = PNG_FORMAT_BGR;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, p.pixels.data(), 0, nullptr)) {
    throw std::runtime_error(image.message);
  }
  Bytes out(size);
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, p.pixels.data(), 0, nullptr)) {
    throw std::runtime_error(image.message);
  }
  out.resize(size);
  return out;
}

bool FromPng(const Bytes& png, Bytes* pixels) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return false;
  image.format = PNG_FORMAT_BGR;
  pixels->resize(PNG_IMAGE_SIZE(image));
  return png_image_finish_read(&image, nullptr, pixels->data(), 0, nullptr) != 0;
}

Picture MakePicture(int kind, int w, int h) { return kind == 0 ? Photo(w, h) : TitleArt(w, h); }
const char* KindName(int kind) { return kind == 0 ? "photo" : "title_art"; }

void DecodeTitle(benchmark::State& state) {
  const Picture p = MakePicture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                                static_cast<int>(state.range(2)));
  const Bytes stream = EncodeTitlePixels(p.pixels.data(), p.width, p.height);
  const std::size_t stride = (3 * static_cast<std::size_t>(p.width) + 3) / 4 * 4;
  Bytes surface(stride * p.height);
  for (auto _ : state) {
    DecodeTitlePixels(stream.data(), stream.size(), p.width, p.height, surface.data());
    SpreadTitleRows(surface.data(), p.width, p.height, stride);
    benchmark::DoNotOptimize(surface.data());
    benchmark::ClobberMemory();
  }
  if (std::memcmp(surface.data(), p.pixels.data(), 3 * static_cast<std::size_t>(p.width)) != 0) {
    state.SkipWithError("decoded pixels differ");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(p.pixels.size()));
  state.SetLabel(KindName(static_cast<int>(state.range(0))));
}

void DecodePng(benchmark::State& state) {
  const Picture p = MakePicture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                                static_cast<int>(state.range(2)));
  const Bytes png = ToPng(p);
  Bytes pixels;
  for (auto _ : state) {
    if (!FromPng(png, &pixels)) state.SkipWithError("libpng failed");
    benchmark::DoNotOptimize(pixels.data());
  }
  if (pixels != p.pixels) state.SkipWithError("PNG pixels differ");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(p.pixels.size()));
  state.SetLabel(KindName(static_cast<int>(state.range(0))));
}

// Encoding time, with the sizes of both formats as counters.
void EncodeTitle(benchmark::State& state) {
  const Picture p = MakePicture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                                static_cast<int>(state.range(2)));
  Bytes stream;
  for (auto _ : state) {
    stream = EncodeTitlePixels(p.pixels.data(), p.width, p.height);
    benchmark::DoNotOptimize(stream.data());
  }
  const double png = static_cast<double>(ToPng(p).size());
  state.counters["title_bytes"] = static_cast<double>(stream.size());
  state.counters["png_bytes"] = png;
  state.counters["title_per_png"] = static_cast<double>(stream.size()) / png;
  state.SetLabel(KindName(static_cast<int>(state.range(0))));
}

void Sizes(benchmark::internal::Benchmark* b) {
  for (int kind : {0, 1}) {
    b->Args({kind, 640, 480});
    b->Args({kind, 1920, 1080});
  }
  b->ArgNames({"kind", "w", "h"});
  b->Unit(benchmark::kMicrosecond);
}

BENCHMARK(DecodeTitle)->Apply(Sizes);
BENCHMARK(DecodePng)->Apply(Sizes);
BENCHMARK(EncodeTitle)->Apply(Sizes)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
