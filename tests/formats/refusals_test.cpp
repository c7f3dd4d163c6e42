// README's "What it does not do" held against the readers and writers: for
// every refusal it lists, a file made here that is refused, and one just
// inside the limit that loads; every item of the list has its cases. Then
// the image size limit in every reader of files whose header gives sizes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "codec_test_util.h"
#include "empty_scans_jpeg.h"
#include "imaging/core/exceptions.h"
#include "platform/gdi/bitmap.h"
#include "raster_test_util.h"

namespace {

using rastertest::Bytes;
using rastertest::PutLe;

const char* const Convert = "/usr/bin/convert-im6.q16";

// The items of README's section, each joined into one line.
std::vector<std::string> ReadmeRefusals() {
  // The test data folder is tests/data of the source tree.
  std::ifstream in(std::filesystem::path(QUILLON_TEST_DATA).parent_path().parent_path() / "README.md");
  std::string line, item;
  std::vector<std::string> items;
  bool inSection = false;
  while (std::getline(in, line)) {
    if (line.rfind("## ", 0) == 0) inSection = line == "## What it does not do";
    if (!inSection) continue;
    if (line.rfind("- ", 0) == 0) {
      items.push_back(line.substr(2));
    } else if (line.rfind("  ", 0) == 0 && !items.empty()) {
      items.back() += " " + line.substr(2);
    }
  }
  return items;
}

// A file ImageMagick writes from a 32 x 16 gradient with Options (in the
// format Prefix names, when given).
Bytes Magick(const std::string& Options, const std::string& Extension, const std::string& Prefix = "") {
  const std::string name = rastertest::TempFile("made." + Extension);
  EXPECT_TRUE(rastertest::RunTool(std::string(Convert) + " -size 32x16 gradient:red-blue " + Options + " " + Prefix + name));
  return rastertest::LoadFile(name);
}

// A 2 x 2 TGA of Depth bits, or with a colour map of MapBits-bit entries.
Bytes TGA(uint8_t Depth, uint8_t MapBits = 0) {
  Bytes b = {0, uint8_t(MapBits ? 1 : 0), uint8_t(MapBits ? 1 : 2), 0, 0, uint8_t(MapBits ? 2 : 0), 0, MapBits};
  b.insert(b.end(), 4, 0);
  PutLe(b, 2, 2);
  PutLe(b, 2, 2);
  b.insert(b.end(), {Depth, 0});
  b.insert(b.end(), size_t(MapBits ? 2 * ((MapBits + 7) / 8) : 0), 0x55);
  b.insert(b.end(), size_t(4 * ((Depth + 7) / 8)), 0x66);
  return b;
}

// A W x H PCX of the given bits and planes, its scan lines runs of 0x21,
// the palette at its end when Palette is set.
Bytes PCX(uint8_t Bits, uint8_t Planes, bool Palette = false, uint16_t W = 8, uint16_t H = 2) {
  Bytes b(128, 0);
  const uint16_t perLine = uint16_t((W * Bits + 7) / 8);
  b[0] = 10, b[1] = 5, b[2] = 1, b[3] = Bits, b[65] = Planes;
  b[8] = uint8_t(W - 1), b[9] = uint8_t((W - 1) >> 8), b[10] = uint8_t(H - 1), b[11] = uint8_t((H - 1) >> 8);
  b[66] = uint8_t(perLine), b[67] = uint8_t(perLine >> 8);
  for (int32_t line = 0; line < H; ++line)
    for (int32_t left = Planes * perLine; left > 0; left -= 63) b.insert(b.end(), {uint8_t(0xC0 | std::min(left, 63)), 0x21});
  if (Palette) {
    b.push_back(12);
    b.insert(b.end(), 768, 0x40);
  }
  return b;
}

// A 2 x 2 BMP of Bits bits with Compression (Data its pixel bytes), its
// information header HeaderSize bytes long, Masks after it, a colour table
// of Used entries (0: all its depth takes).
Bytes BMP(int32_t Height, uint16_t Bits, uint32_t Compression, const Bytes& Data, uint32_t HeaderSize = 40,
          uint32_t Used = 0, const Bytes& Masks = {}) {
  const uint32_t table = 4 * (Used ? Used : Bits <= 8 ? 1u << Bits : 0);
  const uint32_t offset = 14 + HeaderSize + uint32_t(Masks.size()) + table;
  Bytes b{'B', 'M'};
  for (uint32_t v : {offset + uint32_t(Data.size()), 0u, offset, HeaderSize, 2u, uint32_t(Height)}) PutLe(b, v, 4);
  PutLe(b, 1, 2);
  PutLe(b, Bits, 2);
  for (uint32_t v : {Compression, uint32_t(Data.size()), 0u, 0u, Used, 0u}) PutLe(b, v, 4);
  b.insert(b.end(), Masks.begin(), Masks.end());
  b.insert(b.end(), HeaderSize - 40 + table, 0);
  b.insert(b.end(), Data.begin(), Data.end());
  return b;
}

// The BMP of an OS/2 bitmap (12-byte header) of 2 x 2 pixels at 8 bits whose
// colour table has Entries of 3 bytes.
Bytes OS2BMP(uint32_t Entries) {
  const uint32_t offset = 14 + 12 + 3 * Entries;
  Bytes b{'B', 'M'};
  for (uint32_t v : {offset + 8, 0u, offset, 12u}) PutLe(b, v, 4);
  for (uint32_t v : {2, 2, 1, 8}) PutLe(b, v, 2);
  b.insert(b.end(), 3 * Entries + 8, 0x44);
  return b;
}

// File with the 32-bit value V at byte At.
Bytes With(Bytes File, size_t At, uint32_t V) {
  for (int i = 0; i < 4; ++i) File[At + size_t(i)] = uint8_t(V >> (8 * i));
  return File;
}

// File with byte At set to V.
Bytes WithByte(Bytes File, size_t At, uint8_t V) {
  File[At] = V;
  return File;
}

Bytes Text(const std::string& S) { return Bytes(S.begin(), S.end()); }

// Bit-field masks: red, green, blue.
Bytes Masks(std::initializer_list<uint32_t> RGB = {0xFF0000u, 0xFF00u, 0xFFu}) {
  Bytes b;
  for (uint32_t m : RGB) PutLe(b, m, 4);
  return b;
}

// A JPEG whose frame header says Precision bits and Frame (0xC0 baseline,
// 0xC3 lossless).
Bytes JPEGFrame(uint8_t Precision, uint8_t Frame) {
  Bytes b = MakeJPEG(TJPEGMaker{});
  for (size_t i = 2; i + 4 < b.size(); ++i)
    if (b[i] == 0xFF && b[i + 1] == 0xC0) {
      b[i + 1] = Frame;
      b[i + 4] = Precision;
      break;
    }
  return b;
}

struct TCase {
  std::string Phrase;     // words of the README item the case stands for
  std::string Extension;  // read through the registry with this extension, or "TBitmap" by the lite edition
  std::function<Bytes()> Refused, Inside;
  std::string Message = "";  // the refusal's message, when the README gives it
};

// Loads Data; empty when it loads, else the message of the refusal (a
// reader's own error, or the stream's when the file is cut short).
std::string Load(const Bytes& Data, const std::string& Extension) {
  TMemoryStream s;
  s.WriteBuffer(Data.data(), int64_t(Data.size()));
  s.SetPosition(0);
  if (Extension == "TBitmap") {
    TBitmap b;
    try {
      b.LoadFromStream(s);
    } catch (const Exception& e) {
      return e.Message();
    }
    return b.Empty() ? "empty" : "";
  }
  TPixelGraphic g;
  g.SetReadWarningAction(pgwaIgnore);
  try {
    g.LoadImageFromStream(s, Extension, 0);
  } catch (const Exception& e) {
    return e.Message();
  }
  return g.GetEmpty() ? "empty" : "";
}

using Refusals = rastertest::TStartedLibraryTest;

}  // namespace

TEST_F(Refusals, EveryRefusalTheReadmeListsHoldsAndStopsAtItsLimit) {
  if (!rastertest::RunTool(std::string(Convert) + " -version")) GTEST_SKIP() << "ImageMagick missing";
  const Bytes bits24(16, 0x33), rle8 = {2, 1, 0, 0, 2, 1, 0, 1};
  const TCase cases[] = {
      {"LZW", "tif", [] { return Magick("-depth 8 -compress LZW", "tif"); }, [] { return Magick("-depth 8 -compress None", "tif"); }},
      {"Deflate", "tif", [] { return Magick("-depth 8 -compress Zip", "tif"); }, [] { return Magick("-depth 8 -compress RLE", "tif"); }},
      {"JPEG, or", "tif", [] { return Magick("-depth 8 -compress JPEG", "tif"); }, nullptr},
      {"Group 3", "tif", [] { return Magick("-monochrome -compress Fax", "tif"); }, [] { return Magick("-monochrome -depth 1 -compress None", "tif"); }},
      {"Group 4", "tif", [] { return Magick("-monochrome -compress Group4", "tif"); }, nullptr},
      {"planar", "tif", [] { return Magick("-depth 8 -interlace Plane", "tif"); }, nullptr},
      {"tiled", "tif", [] { return Magick("-depth 8 -define tiff:tile-geometry=16x16", "tif"); }, nullptr},
      {"16-bit samples", "tif", [] { return Magick("-depth 16", "tif"); }, nullptr},
      {"depths other than 8, 16, 24 and 32", "tga", [] { return TGA(15); }, [] { return TGA(16); }},
      {"15-bit entries", "tga", [] { return TGA(8, 15); }, [] { return TGA(8, 16); }},
      {"2-bit CGA", "pcx", [] { return PCX(2, 1); }, [] { return PCX(1, 4); }},
      {"4-plane RGBA", "pcx", [] { return PCX(8, 4); }, [] { return PCX(8, 3); }},
      {"without the 256-colour palette", "pcx", [] { return PCX(8, 1); }, [] { return PCX(8, 1, true); }},
      {"JPEG or PNG data", "bmp", [&] { return BMP(2, 24, 4, bits24); }, [&] { return BMP(2, 24, 0, bits24); }},
      {"run-length BMP files stored top-down", "bmp", [&] { return BMP(-2, 8, 1, rle8); }, [&] { return BMP(2, 8, 1, rle8); }},
      {"12, 40, 108 or 124", "bmp", [&] { return BMP(2, 24, 0, bits24, 64); }, [&] { return BMP(2, 24, 0, bits24, 124); }},
      {"256 or more", "pgm", [] { return Text("P5 1 1 256\n\x01\x01"); }, [] { return Text("P5 1 1 255\n\x01"); }},
      {"P4) have no maximum", "pbm", nullptr, [] { return Text("P4 8 1\n\x0F"); }},
      {"P6", "ppm", [] { return Text("P6 1 1 256\n123456"); }, [] { return Text("P2 1 1 65535\n300"); }},
      {"CMYK and YCCK", "jpg", [] { TJPEGMaker m; m.Components = 4; return MakeJPEG(m); },
       [] { TJPEGMaker m; m.Components = 3; return MakeJPEG(m); }},
      {"12-bit", "jpg", [] { return JPEGFrame(12, 0xC0); }, [] { return JPEGFrame(8, 0xC0); }},
      {"lossless", "jpg", [] { return JPEGFrame(8, 0xC3); }, nullptr},
      {"1 GiB", "bmp", [] { return With(With(BMP(2, 24, 0, {}), 18, 18919), 22, 18919); },
       // 32768 x 32768 at 8 bits: 1 GiB of run-length picture that ends at once.
       [] { return With(With(BMP(2, 8, 1, {0, 1}), 18, 32768), 22, 32768); }, "Invalid size of 18919 x 18919"},
      {"more than 500 scans", "jpg", [] { return EmptyScansJPEG(8, 8, 501); }, [] { return EmptyScansJPEG(8, 8, 500); }},
      {"more than 32 passes", "jpg", [] { return EmptyScansJPEG(2048, 4096, 33); },
       [] { return EmptyScansJPEG(2048, 4096, 32); }},
      {"uncompressed", "pcx",
       [] {
         Bytes b = PCX(8, 1, true);
         b.resize(128);
         b[2] = 0;
         b.insert(b.end(), 16, 0x21);
         b.push_back(12);
         b.insert(b.end(), 768, 0x40);
         return b;
       },
       [] { return PCX(8, 1, true); }},
      {"reserved byte", "pcx", [] { return WithByte(PCX(8, 1, true), 64, 1); }, [] { return PCX(8, 1, true); }},
      {"palette information is above 2", "pcx", [] { return WithByte(PCX(8, 1, false), 68, 3); },
       [] { return WithByte(PCX(8, 1, false), 68, 2); }},
      {"BigTIFF", "tif", [] { return Magick("-depth 8 -compress None", "tif", "TIFF64:"); },
       [] { return Magick("-depth 8 -compress None", "tif"); }},
      {"YCbCr", "tif", [] { return Magick("-depth 8 -colorspace YCbCr -compress None", "tif"); },
       [] { return Magick("-depth 8 -compress None", "tif"); }},
      {"Lab", "tif", [] { return Magick("-depth 8 -colorspace Lab -compress None", "tif"); }, nullptr},
      {"2 or 64 bits", "bmp", [] { return BMP(2, 2, 0, Bytes(8, 0)); }, [] { return BMP(2, 4, 0, Bytes(8, 0)); }},
      {"2 or 64 bits", "bmp", [] { return BMP(2, 64, 0, Bytes(32, 0)); }, [] { return BMP(2, 32, 0, Bytes(16, 0)); }},
      {"compression 6", "bmp", [] { return BMP(2, 32, 6, Bytes(16, 0), 40, 0, Masks()); },
       [] { return BMP(2, 32, 3, Bytes(16, 0), 40, 0, Masks()); }},
      {"not one run", "bmp", [] { return BMP(2, 16, 3, Bytes(8, 0), 40, 0, Masks({0xF00F, 0x07E0, 0x001F})); },
       [] { return BMP(2, 16, 3, Bytes(8, 0), 40, 0, Masks({0xF800, 0x07E0, 0x001F})); }},
      {"more colours", "bmp", [] { return BMP(2, 1, 0, Bytes(8, 0), 40, 3); }, [] { return BMP(2, 1, 0, Bytes(8, 0), 40, 2); }},
      {"short colour table", "bmp", [] { return OS2BMP(2); }, [] { return OS2BMP(256); }},
      {"\"BA\"", "bmp",
       [] {
         Bytes b = {'B', 'A', 14, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
         const Bytes bmp = BMP(2, 24, 0, Bytes(16, 0x33));
         b.insert(b.end(), bmp.begin(), bmp.end());
         return b;
       },
       [] { return BMP(2, 24, 0, Bytes(16, 0x33)); }},
      {"In the lite edition", "TBitmap", [] { return With(With(BMP(2, 32, 0, {}), 18, 16385), 22, 16384); }, nullptr,
       "Bitmap image is too large"},
      {"In the lite edition", "TBitmap", [] { return With(With(BMP(2, 1, 0, Bytes(32772, 0)), 18, 262141), 22, 1); },
       [] { return With(With(BMP(2, 1, 0, Bytes(32768, 0)), 18, 262140), 22, 1); }},
      {"without separators", "pbm", [] { return Text("P1 3 1\n101\n"); }, [] { return Text("P1 3 1\n1 0 1\n"); }},
  };
  const std::vector<std::string> items = ReadmeRefusals();
  ASSERT_FALSE(items.empty());
  std::vector<int> covered(items.size(), 0);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Phrase);
    size_t item = 0;
    while (item < items.size() && items[item].find(c.Phrase) == std::string::npos) ++item;
    ASSERT_LT(item, items.size()) << "not in the README";
    ++covered[item];
    if (c.Refused) {
      const std::string message = Load(c.Refused(), c.Extension);
      EXPECT_NE(message, "");
      if (!c.Message.empty()) {
        EXPECT_EQ(message, c.Message);
      }
    }
    if (c.Inside) {
      EXPECT_EQ(Load(c.Inside(), c.Extension), "");
    }
  }
  // No writer for PCX or RLE; BMP beside them is written.
  const std::string item = "Writing PCX or RLE";
  auto writes = [](const std::string& Extension) {
    TPixelGraphic g;
    g.NewImage(2, 2, pf24Bit);
    TMemoryStream s;
    try {
      g.SaveToStreamAs(s, Extension);
    } catch (const EPGUnknownExtension&) {
      return false;
    }
    return s.Size() > 0;
  };
  EXPECT_FALSE(writes("pcx"));
  EXPECT_FALSE(writes("rle"));
  EXPECT_TRUE(writes("bmp"));
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i].find(item) != std::string::npos) ++covered[i];
  for (size_t i = 0; i < items.size(); ++i) EXPECT_GT(covered[i], 0) << "no case for: " << items[i];
}

// With the limit at 64 KiB, a 24-bit picture of 128 x 170 (65,280 bytes of
// pixel memory) loads and one of 128 x 171 is refused before it is made.
TEST_F(Refusals, TheImageSizeLimitHoldsInEveryReader) {
  rastertest::TOptionsGuard options;
  for (const char* extension : {"bmp", "png", "tif", "tga", "ppm", "pcx"}) {
    SCOPED_TRACE(extension);
    for (int32_t height : {170, 171}) {
      TMemoryStream s;
      if (std::string(extension) == "pcx") {
        const Bytes file = PCX(8, 3, false, 128, uint16_t(height));
        s.WriteBuffer(file.data(), int64_t(file.size()));
      } else {
        rastertest::Pattern24(128, height)->SaveToStreamAs(s, extension);
      }
      PGMaxImageSize = 65536;
      s.SetPosition(0);
      TPixelGraphic g;
      if (height == 170) {
        g.LoadImageFromStream(s, extension, 0);
        EXPECT_EQ(g.GetHeight(), 170);
      } else {
        EXPECT_THROW(g.LoadImageFromStream(s, extension, 0), EPGInvalidSize);
        EXPECT_TRUE(g.GetEmpty());
      }
      PGMaxImageSize = PGMaxImageSizeDefault;
    }
  }
}
