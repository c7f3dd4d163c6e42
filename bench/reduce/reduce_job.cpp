// The product's main job as a command for peers.sh: an optimal palette of N
// colours for a PPM picture, the picture mapped onto it (dithered unless
// --no-dither), saved as OUT: a GIF file through the writer registry, which
// codes the rows while they are mapped, or a PPM of the reduced colours;
// also writes the test pictures. Prints the time of each stage: reading,
// the palette, the mapping and save (and within it when the last row was
// mapped). --web maps onto the 216-colour web palette instead of an
// optimal one; --interlaced writes an interlaced GIF.
//   reduce_job pictures DIR              writes DIR/photo.ppm, fractal.ppm, flat.ppm
//   reduce_job IN.ppm OUT.gif|OUT.ppm [--no-dither] [--colors N] [--web] [--interlaced]

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "bench/reduce/test_images.h"
#include "gif/gif_read_write.h"
#include "imaging/core/dither.h"
#include "imaging/core/file_formats.h"
#include "imaging/core/median_cut.h"
#include "imaging/core/pixel_graphic.h"
#include "imaging/formats/pg_startup.h"
#include "platform/base/strings.h"

namespace {

using TFile = std::unique_ptr<FILE, int (*)(FILE*)>;

// Writes the colours of an 8-bit palette image as a binary PPM.
void WritePpmImage(const char* FileName, TPixelGraphic& Image) {
  TFile f(std::fopen(FileName, "wb"), std::fclose);
  if (!f) throw std::runtime_error(std::string("cannot create ") + FileName);
  const int32_t width = Image.GetWidth(), height = Image.GetHeight();
  std::fprintf(f.get(), "P6\n%d %d\n255\n", width, height);
  uint8_t palette[256][3] = {};
  for (int32_t i = 0; i < Image.PaletteCount(); ++i) {
    const TColor c = Image.GetPaletteEntry(i);
    palette[i][0] = uint8_t(c), palette[i][1] = uint8_t(c >> 8), palette[i][2] = uint8_t(c >> 16);
  }
  std::vector<uint8_t> out(size_t(width) * 3);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* row = Image.ScanLine(y);
    for (int32_t x = 0; x < width; ++x) std::memcpy(&out[3 * size_t(x)], palette[row[x]], 3);
    if (std::fwrite(out.data(), 1, out.size(), f.get()) != out.size())
      throw std::runtime_error(std::string("cannot write ") + FileName);
  }
}

}  // namespace

int main(int argc, char** argv) {
  try {
    PGraphicInitialization();
    GIFReadWriteInitialization();
    if (argc == 3 && std::strcmp(argv[1], "pictures") == 0) {
      for (const std::string& name : TestPictureNames())
        WritePpm(std::string(argv[2]) + "/" + name + ".ppm", MakeTestPicture(name, 4000, 3000));
      return 0;
    }
    if (argc < 3) {
      std::fprintf(stderr, "usage: reduce_job IN.ppm OUT.gif|OUT.ppm [--no-dither] [--colors N] [--web] [--interlaced]\n"
                           "       reduce_job pictures DIR\n");
      return 2;
    }
    bool dither = true, web = false;
    int32_t colors = 256;
    for (int i = 3; i < argc; ++i) {
      if (std::strcmp(argv[i], "--no-dither") == 0)
        dither = false;
      else if (std::strcmp(argv[i], "--web") == 0)
        web = true;
      else if (std::strcmp(argv[i], "--interlaced") == 0)
        GIFInterlaced = true;
      else if (std::strcmp(argv[i], "--colors") == 0 && i + 1 < argc)
        colors = std::atoi(argv[++i]);
    }
    TPixelGraphic source, dest;
    const auto opened = std::chrono::steady_clock::now();
    source.LoadFromFile(argv[1]);  // as the program opens it: the registry's reader
    const auto start = std::chrono::steady_clock::now();
    dest.NewImage(source.GetWidth(), source.GetHeight(), pf8Bit);
    if (web)
      dest.SetPaletteIdent(pSpecial216);
    else
      CreateOptimizedPalette(&dest, &source, colors, false);
    dest.SetDither(dither);
    const auto palette = std::chrono::steady_clock::now();
    // The mapping ends on this thread while the writer may still be coding
    // the last rows on its own.
    auto mapped = palette;
    dest.OnProgressEnd = [&](TObject*) { mapped = std::chrono::steady_clock::now(); };
    if (LowerCase(GetFileExtension(argv[2])) == "ppm") {
      dest.CopyFrom(&source);
      WritePpmImage(argv[2], dest);
    } else {
      // As the program saves: the writer codes each row as it is mapped.
      dest.CopyFromAndSaveToFile(&source, argv[2]);
    }
    const auto saved = std::chrono::steady_clock::now();
    std::printf("read %.3f s, palette %.3f s, mapping and save %.3f s (rows mapped after %.3f s), %d colours\n",
                std::chrono::duration<double>(start - opened).count(),
                std::chrono::duration<double>(palette - start).count(),
                std::chrono::duration<double>(saved - palette).count(),
                std::chrono::duration<double>(mapped - palette).count(), dest.PaletteCount());
    std::fflush(stdout);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "reduce_job: %s\n", e.what());
    return 1;
  }
}
