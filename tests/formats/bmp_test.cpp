// BMP, DIB and RLE files: headers and information texts, bit fields and
// run-length data built here, registry behaviour, and cross-checks against
// ImageMagick and netpbm on pixels in both directions.
#include <gtest/gtest.h>

#include <functional>

#include "codec_test_util.h"
#include "imaging/core/exceptions.h"
#include "imaging/formats/bmp_format.h"
#include "platform/gdi/bitmap.h"
#include "raster_test_util.h"

using rastertest::Bytes;
using rastertest::PutLe;

namespace {

// A BMP file: file header, a 40-byte information header, Extra (masks or
// colour table), Gap bytes, then Bits.
Bytes InfoBMP(int32_t W, int32_t H, uint16_t Bits, uint32_t Compression, const Bytes& Extra, const Bytes& Pixels,
              uint32_t Gap = 0, uint32_t ColorsUsed = 0) {
  Bytes b{'B', 'M'};
  const uint32_t offset = 14 + 40 + uint32_t(Extra.size()) + Gap;
  for (uint32_t v : {offset + uint32_t(Pixels.size()), 0u, offset, 40u, uint32_t(W), uint32_t(H)}) PutLe(b, v, 4);
  PutLe(b, 1, 2);
  PutLe(b, Bits, 2);
  for (uint32_t v : {Compression, uint32_t(Pixels.size()), 2835u, 2835u, ColorsUsed, 0u}) PutLe(b, v, 4);
  b.insert(b.end(), Extra.begin(), Extra.end());
  b.insert(b.end(), Gap, 0xEE);
  b.insert(b.end(), Pixels.begin(), Pixels.end());
  return b;
}

Bytes CoreBMP(uint16_t W, uint16_t H, uint16_t Bits, const Bytes& Table, const Bytes& Pixels) {
  Bytes b{'B', 'M'};
  const uint32_t offset = 14 + 12 + uint32_t(Table.size());
  for (uint32_t v : {offset + uint32_t(Pixels.size()), 0u, offset, 12u}) PutLe(b, v, 4);
  for (uint32_t v : {W, H, uint16_t(1), Bits}) PutLe(b, v, 2);
  b.insert(b.end(), Table.begin(), Table.end());
  b.insert(b.end(), Pixels.begin(), Pixels.end());
  return b;
}

// The bit-field masks of 16-bit 5-6-5 pixels: red 0xF800, green 0x07E0,
// blue 0x001F.
const Bytes Masks565 = {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0};

// The file with its 40-byte information header grown to Size bytes (the
// 108- and 124-byte forms): masks after a bit-field header become the
// header's own mask fields, the colour-space bytes follow them.
Bytes LongHeader(Bytes File, uint32_t Size) {
  const bool fields = File[30] == 3;
  const uint32_t grow = Size - 40 - (fields ? 12 : 0);
  File.insert(File.begin() + 14 + 40 + (fields ? 12 : 0), grow, 0x5A);
  auto put = [&](size_t At, uint32_t V) {
    for (int i = 0; i < 4; ++i) File[At + i] = uint8_t(V >> (8 * i));
  };
  put(2, uint32_t(File.size()));
  put(10, uint32_t(File[10] | File[11] << 8 | File[12] << 16) + grow);
  put(14, Size);
  return File;
}

std::string BMPError(const Bytes& File, bool Info) {
  TBMPFileFormatReader reader;
  try {
    if (Info)
      rastertest::Info(reader, File);
    else
      rastertest::Read(reader, File);
  } catch (const EPGBMPFileFormatReader& e) {
    return e.what();
  }
  return "";
}

using BMP = rastertest::TStartedLibraryTest;

}  // namespace

TEST_F(BMP, InformationTexts) {
  TBMPFileFormatReader reader;
  TPGGraphicInfo i = rastertest::Info(reader, InfoBMP(3, -2, 24, 0, {}, Bytes(24, 0)));
  EXPECT_EQ(i.FormatText, "Windows, RGB, Top-Down");
  EXPECT_EQ(i.Height, -2);
  EXPECT_EQ(i.ColorsText, "16.7M");
  i = rastertest::Info(reader, InfoBMP(2, 1, 16, 3, Masks565, Bytes(4, 0)));
  EXPECT_EQ(i.FormatText, "Windows");
  EXPECT_EQ(i.ColorsText, "64K");
  EXPECT_EQ(i.BitsPerPixel, 16);
  i = rastertest::Info(reader, CoreBMP(5, 4, 4, Bytes(48, 0), Bytes(16, 0)));
  EXPECT_EQ(i.FormatText, "OS/2");
  EXPECT_EQ(i.Width, 5);
  EXPECT_EQ(i.ColorsText, "16");
  EXPECT_EQ(i.ImageCount, 1);
  i = rastertest::Info(reader, InfoBMP(4, 2, 8, 1, Bytes(1024, 0), {0, 1}));
  EXPECT_EQ(i.FormatText, "Windows, RLE8");

  EXPECT_EQ(BMPError(InfoBMP(4, -2, 8, 1, Bytes(1024, 0), {0, 1}), true), "BMP: BitmapInfoHeader.biCompression invalid");
  EXPECT_EQ(BMPError(InfoBMP(4, -2, 8, 1, Bytes(1024, 0), {0, 1}), false),
            "BMP: BitmapInfoHeader.biCompression invalid");
  Bytes os2v2 = LongHeader(InfoBMP(1, 1, 24, 0, {}, Bytes(4, 0)), 64);
  EXPECT_EQ(BMPError(os2v2, true), "BMP: Invalid size of BitmapInfoHeader/BitmapCoreHeader");
  EXPECT_EQ(BMPError(os2v2, false), "BMP: Invalid size of BitmapInfoHeader/BitmapCoreHeader");
  EXPECT_EQ(BMPError(CoreBMP(1, 1, 16, {}, Bytes(4, 0)), true), "BMP: BitmapCoreHeader.bcBitCount invalid");
  // One side zero: the information is refused as the picture is.
  for (bool info : {true, false}) {
    EXPECT_EQ(BMPError(InfoBMP(0, 106, 8, 0, Bytes(1024, 0), {}), info), "BMP: BitmapInfoHeader.biWidth invalid");
    EXPECT_EQ(BMPError(CoreBMP(3, 0, 24, {}, {}), info), "BMP: BitmapCoreHeader.bcHeight invalid");
  }
  // A short file: the missing header bytes read as zero and are refused.
  EXPECT_EQ(BMPError({'B', 'M', 0, 0}, true), "BMP: Invalid size of BitmapInfoHeader/BitmapCoreHeader");
  EXPECT_EQ(BMPError({'B', 'M', 0, 0}, false), "BMP: Invalid size of BitmapInfoHeader/BitmapCoreHeader");
  TMemoryStream s = StreamOf(InfoBMP(1, 1, 24, 0, {}, Bytes(4, 0)));
  EXPECT_THROW(reader.GetInfo(s, 1, i), EPGBMPFileFormatReader);
  EXPECT_THROW(reader.Read(s, *std::make_unique<TPixelGraphic>(), 1), EPGBMPFileFormatReader);
}

TEST_F(BMP, BitFieldsRunLengthsCoreHeadersAndGaps) {
  TBMPFileFormatReader reader;
  // 16-bit 5-6-5: green 63 widens to 255, green 1 to 8.
  auto g = rastertest::Read(reader, InfoBMP(2, 1, 16, 3, Masks565, {0xE0, 0x07, 0x20, 0x00}));
  EXPECT_EQ(g->GetPixelColor(0, 0), 0x00FF00u);
  EXPECT_EQ(g->GetPixelColor(1, 0), 0x000800u);
  // 32 bits: file bytes 33 22 11 00 read as red 0x11, green 0x22, blue 0x33.
  g = rastertest::Read(reader, InfoBMP(1, 1, 32, 0, {}, {0x33, 0x22, 0x11, 0x00}));
  EXPECT_EQ(g->GetPixelColor(0, 0), 0x332211u);
  // RLE8 on 4 x 2: bottom row 5 5 5, the row above 7 7.
  Bytes table;
  for (int i = 0; i < 256; ++i) PutLe(table, uint32_t(i * 0x010101), 4);
  g = rastertest::Read(reader, InfoBMP(4, 2, 8, 1, table, {3, 5, 0, 0, 2, 7, 0, 1}));
  EXPECT_EQ(g->GetPixel(0, 1), 5u);
  EXPECT_EQ(g->GetPixel(2, 1), 5u);
  EXPECT_EQ(g->GetPixel(1, 0), 7u);
  // RLE4: high nibble first.
  g = rastertest::Read(reader, InfoBMP(4, 1, 4, 2, Bytes(64, 0), {4, 0x12, 0, 1}));
  EXPECT_EQ(g->GetPixel(0, 0), 1u);
  EXPECT_EQ(g->GetPixel(3, 0), 2u);
  // OS/2 core header with a 3-byte colour table.
  g = rastertest::Read(reader, CoreBMP(2, 1, 1, {0, 0, 0, 0x30, 0x20, 0x10}, {0x40, 0, 0, 0}));
  EXPECT_EQ(g->GetPixelColor(0, 0), 0u);
  EXPECT_EQ(g->GetPixelColor(1, 0), 0x302010u);  // entries are blue, green, red
  // Bits that start after a gap behind the colour table.
  g = rastertest::Read(reader, InfoBMP(1, 1, 24, 0, {}, {1, 2, 3, 0}, 10));
  EXPECT_EQ(g->GetPixelColor(0, 0), 0x010203u);
  // Top-down rows are turned upright.
  g = rastertest::Read(reader, InfoBMP(1, 2, 24, 0, {}, {1, 1, 1, 0, 9, 9, 9, 0}));
  auto t = rastertest::Read(reader, InfoBMP(1, -2, 24, 0, {}, {9, 9, 9, 0, 1, 1, 1, 0}));
  EXPECT_EQ(rastertest::RGB(*g), rastertest::RGB(*t));
}

// The 108- and 124-byte headers that current programs write: their first 40
// bytes are the information header, bit-field masks sit inside them, the
// colour table and the bits follow them.
TEST_F(BMP, LongerInformationHeadersAreRead) {
  TBMPFileFormatReader reader;
  Bytes table;
  for (int i = 0; i < 256; ++i) PutLe(table, uint32_t(i * 0x010203), 4);
  const Bytes files[] = {InfoBMP(2, 1, 24, 0, {}, {1, 2, 3, 4, 5, 6, 0, 0}),
                         InfoBMP(2, 1, 8, 0, table, {7, 200, 0, 0}),
                         InfoBMP(2, 1, 16, 3, Masks565, {0xE0, 0x07, 0x1F, 0x00})};
  for (const Bytes& file : files)
    for (uint32_t size : {108u, 124u}) {
      SCOPED_TRACE(size);
      auto want = rastertest::Read(reader, file);
      auto got = rastertest::Read(reader, LongHeader(file, size));
      EXPECT_EQ(rastertest::RGB(*got), rastertest::RGB(*want));
      EXPECT_EQ(got->PixelFormat(), want->PixelFormat());
      EXPECT_EQ(rastertest::Info(reader, LongHeader(file, size)).FormatText,
                rastertest::Info(reader, file).FormatText);
    }
  // What ImageMagick writes by default (a 124-byte header).
  const char* convert = "/usr/bin/convert-im6.q16";
  if (!rastertest::RunTool(std::string(convert) + " -version")) GTEST_SKIP() << "ImageMagick missing";
  const std::string rose = rastertest::TempFile("rose.bmp");
  ASSERT_TRUE(rastertest::RunTool(std::string(convert) + " rose: " + rose));
  ASSERT_EQ(rastertest::LoadFile(rose)[14], 124);
  TPixelGraphic g;
  g.LoadFromFile(rose);
  ASSERT_TRUE(rastertest::RunTool(std::string(convert) + " " + rose + " -depth 8 " + rose + ".ppm"));
  EXPECT_EQ(MaxDifference(PlainFromGraphic(g), ReadPNM(rose + ".ppm")), 0);
}

TEST_F(BMP, RegistryRoundTripsAndTheDibExtension) {
  const std::string dir = rastertest::TempFile("bmp");
  std::filesystem::create_directories(dir);
  // Every colour resolution through the bmp writer and back by content.
  std::vector<std::unique_ptr<TPixelGraphic>> images;
  images.push_back(rastertest::PatternIndexed(13, 7, pf1Bit, pBlackWhite));
  images.push_back(rastertest::PatternIndexed(13, 7, pf1Bit, pUnknown));
  images.push_back(rastertest::PatternIndexed(13, 7, pf4Bit, pGray16));
  images.push_back(rastertest::PatternIndexed(13, 7, pf4Bit, pSys16));
  images.push_back(rastertest::PatternIndexed(13, 7, pf4Bit, pUnknown));
  images.push_back(rastertest::PatternIndexed(13, 7, pf8Bit, pGray256));
  images.push_back(rastertest::PatternIndexed(13, 7, pf8Bit, pUnknown));
  images.push_back(rastertest::Pattern24(13, 7));
  for (auto& image : images) {
    const std::string name = dir + "/round.bmp";
    image->SaveToFile(name);
    TPixelGraphic back;
    back.LoadFromFile(name);
    EXPECT_EQ(back.PixelFormat(), image->PixelFormat());
    EXPECT_EQ(back.PaletteIdent(), image->PaletteIdent());
    EXPECT_EQ(rastertest::RGB(back), rastertest::RGB(*image));
  }
  // A BMP named .tga is read as BMP; saving as .DIB writes a whole BMP file.
  auto g = rastertest::Pattern24(5, 3);
  g->SaveToFile(dir + "/picture.DIB");
  Bytes file = rastertest::LoadFile(dir + "/picture.DIB");
  ASSERT_GE(file.size(), 54u);
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[10], 54);
  std::filesystem::rename(dir + "/picture.DIB", dir + "/photo.tga");
  TPixelGraphic back;
  back.LoadFromFile(dir + "/photo.tga");
  EXPECT_EQ(rastertest::RGB(back), rastertest::RGB(*g));
  std::string description;
  TPGGraphicInfo info;
  ASSERT_TRUE(GetGraphicFileInfo(dir + "/photo.tga", 0, description, info));
  EXPECT_EQ(description, "Bitmap");
  EXPECT_EQ(info.FormatText, "Windows, RGB");
  EXPECT_EQ(info.Width, 5);
  // The default writer streams the same file.
  TMemoryStream m;
  g->SaveToStream(m);
  EXPECT_EQ(m.Bytes(), file);
}

TEST_F(BMP, CrossCheckedWithImageMagickAndNetpbm) {
  if (!rastertest::HaveTool("convert") || !rastertest::HaveTool("bmptopnm") || !rastertest::HaveTool("ppmtobmp"))
    GTEST_SKIP() << "ImageMagick or netpbm missing";
  const std::string dir = rastertest::TempFile("bmpx");
  std::filesystem::create_directories(dir);
  // Ours written, theirs reading.
  std::vector<std::unique_ptr<TPixelGraphic>> images;
  images.push_back(rastertest::PatternIndexed(37, 11, pf1Bit, pUnknown));
  images.push_back(rastertest::PatternIndexed(37, 11, pf4Bit, pSys16));
  images.push_back(rastertest::PatternIndexed(37, 11, pf8Bit, pUnknown));
  images.push_back(rastertest::Pattern24(37, 11));
  for (auto& image : images) {
    const TPlainImage ours = PlainFromGraphic(*image);
    image->SaveToFile(dir + "/ours.bmp");
    ASSERT_TRUE(rastertest::RunTool("bmptopnm " + dir + "/ours.bmp | ppmtoppm > " + dir + "/n.ppm"));
    EXPECT_EQ(MaxDifference(ReadPNM(dir + "/n.ppm"), ours), 0) << int(image->PixelFormat());
    ASSERT_TRUE(rastertest::RunTool("convert " + dir + "/ours.bmp -depth 8 " + dir + "/m.ppm"));
    EXPECT_EQ(MaxDifference(ReadPNM(dir + "/m.ppm"), ours), 0) << int(image->PixelFormat());
  }
  // Theirs written, ours reading: netpbm 24-bit, 8-bit and OS/2; ImageMagick
  // 24-bit and RLE8.
  const TPlainImage pattern = Pattern(29, 9, 3);
  WritePNM(dir + "/p.ppm", pattern);
  TPlainImage few = pattern;
  for (auto& v : few.Pixels) v &= 0xC0;  // at most 64 colours
  WritePNM(dir + "/few.ppm", few);
  struct TCase {
    std::string Command;
    const TPlainImage* Expected;
  } cases[] = {
      {"ppmtobmp -windows " + dir + "/p.ppm > " + dir + "/t.bmp", &pattern},
      {"ppmtobmp -os2 " + dir + "/p.ppm > " + dir + "/t.bmp", &pattern},
      {"ppmtobmp -bpp 8 " + dir + "/few.ppm > " + dir + "/t.bmp", &few},
      {"convert " + dir + "/few.ppm -type Palette -compress RLE BMP3:" + dir + "/t.bmp", &few},
      {"convert " + dir + "/p.ppm BMP3:" + dir + "/t.bmp", &pattern},
  };
  for (auto& c : cases) {
    ASSERT_TRUE(rastertest::RunTool(c.Command)) << c.Command;
    TPixelGraphic g;
    SCOPED_TRACE(c.Command);
    g.LoadFromFile(dir + "/t.bmp");
    ASSERT_TRUE(rastertest::RunTool("convert " + dir + "/t.bmp -depth 8 " + dir + "/t.ppm")) << c.Command;
    const TPlainImage theirs = ReadPNM(dir + "/t.ppm");
    EXPECT_EQ(MaxDifference(PlainFromGraphic(g), theirs), 0) << c.Command;
    EXPECT_EQ(MaxDifference(PlainFromGraphic(g), *c.Expected), 0) << c.Command;
  }
}

namespace {

// What one edition made of a bitmap file: nothing, or the picture.
struct TDecoded {
  bool Read = false;
  int32_t Width = 0, Height = 0;
  std::vector<TColor> Colours;  // row by row from the top
  bool operator==(const TDecoded&) const = default;
};

void PrintTo(const TDecoded& D, std::ostream* Out) {
  if (!D.Read) {
    *Out << "refused";
    return;
  }
  *Out << D.Width << " x " << D.Height << ":" << std::hex;
  for (TColor c : D.Colours) *Out << " " << c;
  *Out << std::dec;
}

// The full edition reads through the registry's reader and the image's codec.
TDecoded FullEdition(const Bytes& File) {
  TMemoryStream s;
  s.Bytes() = File;
  TPixelGraphic g;
  g.SetReadWarningAction(pgwaIgnore);
  try {
    g.LoadImageFromStream(s, "bmp", 0);
  } catch (const Exception&) {
    return {};
  }
  TDecoded d{true, g.GetWidth(), g.GetHeight(), {}};
  for (int32_t y = 0; y < d.Height; ++y)
    for (int32_t x = 0; x < d.Width; ++x) d.Colours.push_back(g.GetPixelColor(x, y) & 0xFFFFFF);
  return d;
}

// The lite edition reads into a TBitmap.
TDecoded LiteEdition(const Bytes& File) {
  TMemoryStream s;
  s.Bytes() = File;
  TBitmap b;
  try {
    b.LoadFromStream(s);
  } catch (const Exception&) {
    return {};
  }
  TDecoded d{true, b.Width(), b.Height(), {}};
  for (int32_t y = 0; y < d.Height; ++y)
    for (int32_t x = 0; x < d.Width; ++x) d.Colours.push_back(b.Canvas()->Pixels(x, y) & 0xFFFFFF);
  return d;
}

// Rows of W x H values of Bits bits (Value(x, y), y from the top), stored
// bottom-up (top-down when TopDown), each padded to 4 bytes.
Bytes Rows(int32_t W, int32_t H, int Bits, bool TopDown, const std::function<uint32_t(int32_t, int32_t)>& Value) {
  Bytes b;
  for (int32_t r = 0; r < H; ++r) {
    const int32_t y = TopDown ? r : H - 1 - r;
    Bytes row((size_t(W) * Bits + 31) / 32 * 4, 0);
    for (int32_t x = 0; x < W; ++x) {
      const uint32_t v = Value(x, y);
      if (Bits < 8) {
        row[size_t(x * Bits / 8)] |= uint8_t(v << (8 - Bits - x * Bits % 8));
      } else {
        for (int k = 0; k < Bits / 8; ++k) row[size_t(x * Bits / 8 + k)] = uint8_t(v >> (8 * k));
      }
    }
    b.insert(b.end(), row.begin(), row.end());
  }
  return b;
}

// A colour table of N entries, Entry bytes each.
Bytes Table(uint32_t N, int Entry) {
  Bytes b;
  for (uint32_t i = 0; i < N; ++i) PutLe(b, 0x0F2B47u * (i + 1) ^ (i << 3), Entry);
  return b;
}

void Put32At(Bytes& B, size_t At, uint32_t V) {
  for (int i = 0; i < 4; ++i) B[At + i] = uint8_t(V >> (8 * i));
}

// Every form both editions read: core headers of 1, 4, 8 and 24 bits;
// information headers of 40, 108 and 124 bytes with every depth, bottom-up
// and top-down, bit fields of 16 and 32 bits (and a mask with a hole, which
// both refuse), RLE8 and RLE4 (with and without their data size), colour
// tables shortened by their count; bits after a gap, at an offset inside
// the colour table, or at offset 0.
std::vector<std::pair<std::string, Bytes>> BothEditionsForms() {
  const int32_t W = 5, H = 3;
  auto hash = [](int32_t x, int32_t y) { return uint32_t(x * 2654435761u ^ y * 40503u ^ (x + y) * 97u); };
  std::vector<std::pair<std::string, Bytes>> forms;
  for (uint16_t bits : {1, 4, 8, 24}) {
    const uint32_t colours = bits == 24 ? 0 : 1u << bits;
    forms.push_back({"core " + std::to_string(bits),
                     CoreBMP(W, H, bits, Table(colours, 3),
                             Rows(W, H, bits, false, [&](int32_t x, int32_t y) { return colours ? hash(x, y) % colours : hash(x, y); }))});
  }
  std::vector<std::pair<std::string, Bytes>> info;
  for (bool topDown : {false, true})
    for (uint16_t bits : {1, 4, 8, 16, 24, 32}) {
      const int32_t h = topDown ? -H : H;
      const std::string name = std::to_string(bits) + (topDown ? " top-down" : "");
      for (uint32_t used : {0u, 3u}) {
        if ((bits == 1 || bits > 8) && used) continue;
        const uint32_t colours = bits > 8 ? 0 : used ? used : 1u << bits;
        auto value = [&](int32_t x, int32_t y) { return colours ? hash(x, y) % colours : hash(x, y); };
        info.push_back({name + (used ? " used 3" : ""),
                        InfoBMP(W, h, bits, 0, Table(colours, 4), Rows(W, H, bits, topDown, value), 0, used)});
      }
    }
  info.push_back({"16 fields", InfoBMP(W, H, 16, 3, Masks565, Rows(W, H, 16, false, hash))});
  const Bytes holed = {0x0F, 0xF0, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0};  // red 0xF00F: refused
  info.push_back({"16 fields with a hole", InfoBMP(W, H, 16, 3, holed, Rows(W, H, 16, false, hash))});
  Bytes masks10;
  for (uint32_t m : {0x3FF00000u, 0x000FFC00u, 0x000003FFu}) PutLe(masks10, m, 4);
  info.push_back({"32 fields", InfoBMP(W, H, 32, 3, masks10, Rows(W, H, 32, false, hash))});
  // Bottom row: 1 2 3 literal, two of 4; the middle row: two of 6, then a
  // move one right and one up; the top row from x = 3: two of 7.
  const Bytes rle8 = {0, 3, 1, 2, 3, 0, 2, 4, 0, 0, 2, 6, 0, 2, 1, 1, 2, 7, 0, 1};
  const Bytes rle4 = {0, 3, 0x12, 0x30, 2, 0x45, 0, 0, 2, 0x66, 0, 2, 1, 1, 2, 0x77, 0, 1};
  info.push_back({"rle8", InfoBMP(W, H, 8, 1, Table(256, 4), rle8)});
  info.push_back({"rle4", InfoBMP(W, H, 4, 2, Table(16, 4), rle4)});
  Bytes unsized = info.back().second;
  Put32At(unsized, 34, 0);
  info.push_back({"rle4 unsized", unsized});
  info.push_back({"8 gap", InfoBMP(W, H, 8, 0, Table(256, 4), Rows(W, H, 8, false, hash), 6)});
  Bytes inside = info.back().second;
  Put32At(inside, 10, 54 + 16);
  info.push_back({"8 offset in table", inside});
  Bytes none = InfoBMP(W, H, 24, 0, {}, Rows(W, H, 24, false, hash));
  Put32At(none, 10, 0);
  info.push_back({"24 offset 0", none});
  for (auto& [name, file] : info) {
    forms.push_back({name, file});
    for (uint32_t size : {108u, 124u}) forms.push_back({name + " header " + std::to_string(size), LongHeader(file, size)});
  }
  return forms;
}

}  // namespace

// The full edition's reader and the lite edition's TBitmap take the same
// files and give the same pixels, and refuse the same files cut short:
// inside the file or bitmap header, the masks or colour table, or the bits.
TEST_F(BMP, BothEditionsReadTheSameFilesAlike) {
  for (const auto& [name, file] : BothEditionsForms()) {
    const size_t bits = size_t(file[10] | file[11] << 8);
    for (size_t cut : {size_t(10), size_t(30), bits - 1, bits + 1, (bits + file.size()) / 2, file.size() - 2,
                       file.size() - 1, file.size()}) {
      if (cut < 1 || cut > file.size()) continue;
      const Bytes part(file.begin(), file.begin() + ptrdiff_t(cut));
      const TDecoded full = FullEdition(part);
      EXPECT_EQ(full, LiteEdition(part)) << name << ", " << cut << " of " << file.size() << " bytes";
      if (cut == file.size()) {
        EXPECT_EQ(full.Read, name.find("hole") == std::string::npos) << name;
      }
    }
  }
}
