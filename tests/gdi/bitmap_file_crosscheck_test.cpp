// TBitmap reads the bitmap files that ImageMagick, netpbm and Python's
// imaging library write, in every header, depth and compression they offer;
// the pixels are compared with the image each tool was given.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/gdi/bitmap.h"

namespace {

using Bytes = std::vector<uint8_t>;

const char* const ImageMagick = "/usr/bin/convert-im6.q16";
const char* const PpmToBmp = "/usr/bin/ppmtobmp";
const char* const Python = "/usr/bin/python3";

constexpr int32_t W = 37, H = 23;  // odd sizes: every row is padded

struct TImage {
  Bytes Rgb;  // red, green, blue, rows from the top
};

TImage Make(const std::function<TColor(int32_t, int32_t)>& Color) {
  TImage im;
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) {
      const TColor c = Color(x, y);
      im.Rgb.insert(im.Rgb.end(), {GetRValue(c), GetGValue(c), GetBValue(c)});
    }
  return im;
}

// The i-th of a set of distinct colours.
TColor Listed(int32_t i) { return RGB(uint8_t(i), uint8_t(255 - i), uint8_t(i * 7 + 3)); }

void WritePpm(const std::string& Name, const TImage& Im) {
  std::ofstream f(Name, std::ios::binary);
  f << "P6\n" << W << " " << H << "\n255\n";
  f.write(reinterpret_cast<const char*>(Im.Rgb.data()), static_cast<std::streamsize>(Im.Rgb.size()));
}

Bytes ReadAll(const std::string& Name) {
  std::ifstream f(Name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), {});
}

bool RunTool(const std::string& Command) { return std::system(("(" + Command + ") >/dev/null 2>&1").c_str()) == 0; }

class BitmapFileCrossCheck : public ::testing::Test {
protected:
  void SetUp() override {
    if (access(ImageMagick, X_OK) != 0 || access(PpmToBmp, X_OK) != 0 ||
        !RunTool(std::string(Python) + " -c 'import PIL'"))
      GTEST_SKIP() << "ImageMagick, netpbm or python3-pil is not installed";
    char tmpl[] = "/tmp/quillon-bmp-XXXXXX";
    Dir = std::string(mkdtemp(tmpl)) + "/";
    Sources = {
        {"true", Make([](int32_t x, int32_t y) { return RGB(uint8_t(x * 7 + y * 3), uint8_t(y * 11 + x), uint8_t(x * y + 40)); })},
        {"c200", Make([](int32_t x, int32_t y) { return Listed((x * 5 + y * 7) % 200); })},
        {"c12", Make([](int32_t x, int32_t y) { return Listed(((x / 3) + y) % 12 * 20); })},
        {"c2", Make([](int32_t x, int32_t y) { return (x + y / 2) % 3 == 0 ? clBlack : clWhite; })},
        {"grey", Make([](int32_t x, int32_t y) { const uint8_t g = uint8_t(x * 6 + y * 5); return RGB(g, g, g); })},
    };
    for (auto& [name, image] : Sources) WritePpm(Dir + name + ".ppm", image);
  }
  void TearDown() override {
    if (!Dir.empty()) std::filesystem::remove_all(Dir);
  }

  // Loads File with TBitmap and compares every pixel with Expected, each
  // channel within Tolerance. Counts the file and its pixels.
  void Compare(const std::string& File, const Bytes& Expected, int32_t Tolerance = 0) {
    SCOPED_TRACE(File);
    TBitmap b;
    ASSERT_NO_THROW(b.LoadFromFile(Dir + File));
    ASSERT_EQ(b.Width(), W);
    ASSERT_EQ(b.Height(), H);
    ASSERT_EQ(Expected.size(), size_t(W * H * 3));
    int32_t wrong = 0;
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) {
        const TColor c = b.Canvas()->Pixels(x, y);
        const uint8_t* e = &Expected[size_t(y * W + x) * 3];
        const int32_t got[3] = {GetRValue(c), GetGValue(c), GetBValue(c)};
        for (int k = 0; k < 3; ++k)
          if (std::abs(got[k] - e[k]) > Tolerance && wrong++ < 3)
            ADD_FAILURE() << "pixel " << x << "," << y << " channel " << k << ": " << got[k] << " for " << int(e[k]);
      }
    EXPECT_EQ(wrong, 0);
    ++Files;
    Pixels += W * H;
  }

  std::string Dir;
  std::vector<std::pair<std::string, TImage>> Sources;
  int32_t Files = 0, Pixels = 0;
  const TImage& Source(const std::string& Name) {
    for (auto& s : Sources)
      if (s.first == Name) return s.second;
    throw std::runtime_error(Name);
  }
};

TEST_F(BitmapFileCrossCheck, ReadsWhatTheThreePeersWrite) {
  // ImageMagick: info, core and the 124-byte header; 1, 4, 8, 24 bits; RLE8;
  // 16-bit and 32-bit bit fields.
  struct Case {
    const char* Out;
    const char* Source;
    const char* Options;
    const char* Format;
  };
  const Case magick[] = {
      {"im-info24.bmp", "true", "", "BMP3"},
      {"im-v5-24.bmp", "true", "", "BMP"},
      {"im-core24.bmp", "true", "", "BMP2"},
      {"im-v5-32.bmp", "true", "-alpha set", "BMP"},
      {"im-rle8.bmp", "c200", "-type Palette -compress RLE", "BMP3"},
      {"im-v5-rle8.bmp", "c200", "-type Palette -compress RLE", "BMP"},
      {"im-8.bmp", "c200", "-type Palette -compress None", "BMP3"},
      {"im-core8.bmp", "c200", "-type Palette", "BMP2"},
      {"im-4.bmp", "c12", "-type Palette", "BMP3"},
      {"im-v5-4.bmp", "c12", "-type Palette", "BMP"},
      {"im-1.bmp", "c2", "-type Bilevel", "BMP3"},
  };
  for (const Case& c : magick) {
    ASSERT_TRUE(RunTool(std::string(ImageMagick) + " " + Dir + c.Source + ".ppm " + c.Options + " " + c.Format + ":" +
                    Dir + c.Out))
        << c.Out;
    Compare(c.Out, Source(c.Source).Rgb);
  }
  // 16 bits lose the low bits of each channel: compared with ImageMagick's
  // own reading of its file. It widens a channel in proportion; ours are
  // shifted up with their lowest step added (a 5-bit 1 reads 16, 31 reads
  // 255), as the full edition reads them: up to 8 levels apart.
  for (const char* subtype : {"RGB565", "RGB555"}) {
    const std::string out = std::string("im-") + subtype + ".bmp";
    ASSERT_TRUE(RunTool(std::string(ImageMagick) + " " + Dir + "true.ppm -define bmp:subtype=" + subtype + " BMP:" + Dir + out));
    ASSERT_TRUE(RunTool(std::string(ImageMagick) + " " + Dir + out + " -depth 8 rgb:" + Dir + out + ".rgb"));
    Compare(out, ReadAll(Dir + out + ".rgb"), 8);
  }

  // netpbm: info and core headers at 1, 4, 8 and 24 bits.
  const std::pair<const char*, int32_t> depths[] = {{"true", 24}, {"c200", 8}, {"c12", 4}, {"c2", 1}};
  for (const char* kind : {"-windows", "-os2"})
    for (const auto& [source, bits] : depths) {
      const std::string out = std::string("netpbm") + kind + std::to_string(bits) + ".bmp";
      ASSERT_TRUE(RunTool(std::string(PpmToBmp) + " " + kind + " -bpp " + std::to_string(bits) + " " + Dir + source +
                      ".ppm > " + Dir + out))
          << out;
      Compare(out, Source(source).Rgb);
    }

  // Python's imaging library: 24 and 32 bits, grey, bilevel and palette images.
  const std::string script = Dir + "write.py";
  std::ofstream(script) << "import sys\nfrom PIL import Image\n"
                           "src, out, mode = sys.argv[1:4]\n"
                           "im = Image.open(src).convert('RGB')\n"
                           "if mode == 'P':\n"
                           "    colors = sorted(set(im.getdata()))\n"
                           "    index = {c: i for i, c in enumerate(colors)}\n"
                           "    p = Image.new('P', im.size)\n"
                           "    p.putpalette([v for c in colors for v in c])\n"
                           "    p.putdata([index[c] for c in im.getdata()])\n"
                           "    im = p\n"
                           "else:\n"
                           "    im = im.convert(mode)\n"
                           "im.save(out, 'BMP')\n";
  const std::pair<const char*, const char*> modes[] = {
      {"true", "RGB"}, {"true", "RGBA"}, {"grey", "L"}, {"c2", "1"}, {"c200", "P"}, {"c12", "P"}};
  for (const auto& [source, mode] : modes) {
    const std::string out = std::string("pil-") + source + "-" + mode + ".bmp";
    ASSERT_TRUE(RunTool(std::string(Python) + " " + script + " " + Dir + source + ".ppm " + Dir + out + " " + mode)) << out;
    Compare(out, Source(source).Rgb);
  }

  EXPECT_EQ(Files, 27);
  std::printf("bitmap files from 3 peers: %d files, %d pixels compared\n", Files, Pixels);
}

}  // namespace
