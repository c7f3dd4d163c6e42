// The product's main job as a command for peers.sh: an optimal palette of N
// colours for a PPM picture, the picture mapped onto it (dithered unless
// --no-dither), saved as OUT: a GIF file through the writer registry, which
// codes the rows while they are mapped, or a PPM of the reduced colours;
// also writes the test pictures. Prints the time of each stage: reading,
// the palette, the mapping and save (and within it when the last row was
// mapped).
//   reduce_job pictures DIR              writes DIR/photo.ppm, fractal.ppm, flat.ppm
//   reduce_job IN.ppm OUT.gif|OUT.ppm [--no-dither] [--colors N]
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
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

// Row bytes red, green, blue into To as blue, green, red: 16 pixels (three
// vectors) at a time, each output byte taken from its own place, two bytes
// ahead or two bytes behind.
void SwapRedBlue(uint8_t* To, const uint8_t* From, size_t Pixels) {
  size_t i = 0;
#if defined(__SSE2__)
  // keep[k][r]: the bytes of vector k whose place in the block leaves r
  // when divided by 3.
  struct TMasks {
    __m128i Keep[3][3];
  };
  static const TMasks masks = [] {
    TMasks m;
    for (int k = 0; k < 3; ++k)
      for (int r = 0; r < 3; ++r) {
        alignas(16) uint8_t bytes[16];
        for (int j = 0; j < 16; ++j) bytes[j] = (16 * k + j) % 3 == r ? 0xFF : 0;
        m.Keep[k][r] = _mm_load_si128(reinterpret_cast<const __m128i*>(bytes));
      }
    return m;
  }();
  for (; i + 16 <= Pixels; i += 16) {
    const uint8_t* from = From + 3 * i;
    const __m128i v[3] = {_mm_loadu_si128(reinterpret_cast<const __m128i*>(from)),
                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 16)),
                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 32))};
    for (int k = 0; k < 3; ++k) {
      __m128i ahead = _mm_srli_si128(v[k], 2), behind = _mm_slli_si128(v[k], 2);
      if (k < 2) ahead = _mm_or_si128(ahead, _mm_slli_si128(v[k + 1], 14));
      if (k > 0) behind = _mm_or_si128(behind, _mm_srli_si128(v[k - 1], 14));
      const __m128i out = _mm_or_si128(_mm_and_si128(v[k], masks.Keep[k][1]),
                                       _mm_or_si128(_mm_and_si128(ahead, masks.Keep[k][0]),
                                                    _mm_and_si128(behind, masks.Keep[k][2])));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(To + 3 * i + 16 * size_t(k)), out);
    }
  }
#endif
  for (; i < Pixels; ++i) To[3 * i] = From[3 * i + 2], To[3 * i + 1] = From[3 * i + 1], To[3 * i + 2] = From[3 * i];
}

// A part of a file mapped for reading, unmapped when it goes.
class TFileWindow {
public:
  TFileWindow(int Fd, int64_t Offset, size_t Size) {
    const int64_t page = sysconf(_SC_PAGESIZE);
    const int64_t start = Offset / page * page;
    FSize = Size + size_t(Offset - start);
    FMemory = mmap(nullptr, FSize, PROT_READ, MAP_PRIVATE | MAP_POPULATE, Fd, start);
    FData = FMemory == MAP_FAILED ? nullptr : static_cast<const uint8_t*>(FMemory) + (Offset - start);
  }
  ~TFileWindow() {
    if (FMemory != MAP_FAILED) munmap(FMemory, FSize);
  }
  TFileWindow(const TFileWindow&) = delete;
  TFileWindow& operator=(const TFileWindow&) = delete;
  const uint8_t* Data() const { return FData; }

private:
  void* FMemory = MAP_FAILED;
  size_t FSize = 0;
  const uint8_t* FData = nullptr;
};

// Reads a binary PPM straight into the rows of a 24-bit image: the file is
// mapped a few megabytes at a time (so that it never adds more than that to
// the memory in use), and each row is copied into place with red and blue
// swapped.
void ReadPpmImage(const char* FileName, TPixelGraphic& Image) {
  struct TFd {
    int Fd;
    ~TFd() {
      if (Fd >= 0) close(Fd);
    }
  } file{open(FileName, O_RDONLY | O_CLOEXEC)};
  const int fd = file.Fd;
  if (fd < 0) throw std::runtime_error(std::string("cannot open ") + FileName);
  struct stat st {};
  if (fstat(fd, &st) != 0) throw std::runtime_error(std::string("cannot read ") + FileName);
  // "P6", width, height and maximum separated by white space, one more
  // white-space byte, then the pixels.
  char head[64] = {};
  const ssize_t got = pread(fd, head, sizeof head - 1, 0);
  const std::string_view header(head, got > 0 ? size_t(got) : 0);
  size_t at = 2;
  auto number = [&]() -> int64_t {
    while (at < header.size() && std::isspace(static_cast<unsigned char>(header[at]))) ++at;
    int64_t v = 0;
    const size_t start = at;
    while (at < header.size() && std::isdigit(static_cast<unsigned char>(header[at])) && v < (int64_t(1) << 31))
      v = v * 10 + (header[at++] - '0');
    return at > start ? v : -1;
  };
  const int64_t width = header.substr(0, 2) == "P6" ? number() : -1, height = number(), maxval = number();
  if (width < 1 || height < 1 || width > INT32_MAX || height > INT32_MAX || maxval != 255 ||
      at >= header.size() || !std::isspace(static_cast<unsigned char>(header[at])))
    throw std::runtime_error(std::string(FileName) + " is not an 8-bit binary PPM");
  const int64_t dataOffset = int64_t(at) + 1, rowBytes = width * 3;
  if ((st.st_size - dataOffset) / height < rowBytes) throw std::runtime_error(std::string(FileName) + " is truncated");
  Image.NewImage(int32_t(width), int32_t(height), pf24Bit);  // refuses sizes past the library's cap
  const int64_t rowsAtOnce = std::max<int64_t>(1, (int64_t(8) << 20) / rowBytes);
  for (int64_t y = 0; y < height; y += rowsAtOnce) {
    const int64_t rows = std::min(rowsAtOnce, height - y);
    const TFileWindow window(fd, dataOffset + y * rowBytes, size_t(rows * rowBytes));
    if (!window.Data()) throw std::runtime_error(std::string("cannot read ") + FileName);
    for (int64_t r = 0; r < rows; ++r)
      SwapRedBlue(Image.ScanLine(int32_t(y + r)), window.Data() + r * rowBytes, size_t(width));
  }
}

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
      std::fprintf(stderr, "usage: reduce_job IN.ppm OUT.gif|OUT.ppm [--no-dither] [--colors N]\n"
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
    const auto opened = std::chrono::steady_clock::now();
    ReadPpmImage(argv[1], source);
    const auto start = std::chrono::steady_clock::now();
    dest.NewImage(source.GetWidth(), source.GetHeight(), pf8Bit);
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
