// The product's main job as a command for peers.sh: an optimal palette of N
// colours for a PPM picture, the picture mapped onto it (dithered unless
// --no-dither), written back as a PPM; also writes the test pictures.
//   reduce_job pictures DIR              writes DIR/photo.ppm, fractal.ppm, flat.ppm
//   reduce_job IN.ppm OUT.ppm [--no-dither] [--colors N]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "bench/reduce/test_images.h"
#include "imaging/core/dither.h"
#include "imaging/core/median_cut.h"
#include "imaging/core/pixel_graphic.h"

namespace {

void LoadPicture(const TRgbPicture& Picture, TPixelGraphic& Image) {
  Image.NewImage(Picture.Width, Picture.Height, pf24Bit);
  for (int32_t y = 0; y < Picture.Height; ++y) {
    const uint8_t* from = Picture.Row(y);
    uint8_t* to = Image.ScanLine(y);
    for (int32_t x = 0; x < Picture.Width; ++x)
      to[3 * x] = from[3 * x + 2], to[3 * x + 1] = from[3 * x + 1], to[3 * x + 2] = from[3 * x];
  }
}

TRgbPicture SavePicture(TPixelGraphic& Image) {
  TRgbPicture picture;
  picture.Width = Image.GetWidth();
  picture.Height = Image.GetHeight();
  picture.Pixels.resize(size_t(picture.Width) * picture.Height * 3);
  for (int32_t y = 0; y < picture.Height; ++y) {
    const uint8_t* from = Image.ScanLine(y);
    uint8_t* to = picture.Row(y);
    for (int32_t x = 0; x < picture.Width; ++x) {
      const TColor c = Image.GetPaletteEntry(from[x]);
      to[3 * x] = uint8_t(c), to[3 * x + 1] = uint8_t(c >> 8), to[3 * x + 2] = uint8_t(c >> 16);
    }
  }
  return picture;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    InitClampTable();
    InitPGPalettes();
    if (argc == 3 && std::strcmp(argv[1], "pictures") == 0) {
      for (const std::string& name : TestPictureNames())
        WritePpm(std::string(argv[2]) + "/" + name + ".ppm", MakeTestPicture(name, 4000, 3000));
      return 0;
    }
    if (argc < 3) {
      std::fprintf(stderr, "usage: reduce_job IN.ppm OUT.ppm [--no-dither] [--colors N]\n"
                           "       reduce_job pictures DIR\n");
      return 2;
    }
    bool dither = true;
    int32_t colors = 256;
    for (int i = 3; i < argc; ++i) {
      if (std::strcmp(argv[i], "--no-dither") == 0)
        dither = false;
      else if (std::strcmp(argv[i], "--colors") == 0 && i + 1 < argc)
        colors = std::atoi(argv[++i]);
    }
    TPixelGraphic source, dest;
    LoadPicture(ReadPpm(argv[1]), source);
    const auto start = std::chrono::steady_clock::now();
    dest.NewImage(source.GetWidth(), source.GetHeight(), pf8Bit);
    CreateOptimizedPalette(&dest, &source, colors, false);
    dest.SetDither(dither);
    dest.CopyRectUnscaled(0, 0, dest.GetWidth(), dest.GetHeight(), 0, 0, &source);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    WritePpm(argv[2], SavePicture(dest));
    std::printf("job %.3f s, %d colours\n", seconds, dest.PaletteCount());
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "reduce_job: %s\n", e.what());
    return 1;
  }
}
