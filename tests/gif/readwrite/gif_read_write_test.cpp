// GIF through the reader and writer registries: identification, the first
// frame, the information texts, the writer's options and the start-up.
#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gif/gif_decoder.h"
#include "gif/gif_encoder.h"
#include "gif/gif_read_write.h"
#include "imaging/core/exceptions.h"
#include "imaging/core/file_formats.h"
#include "imaging/core/median_cut.h"
#include "imaging/core/pixel_graphic.h"
#include "imaging/formats/pg_startup.h"
#include "platform/gdi/bitmap.h"
#include "tests/gif/control/gif_anim_util.h"
#include "tests/gif/gif_test_util.h"

namespace {

// A name in the temporary folder that no other test process uses at once.
std::string ProcessTempName(const std::string& Name) {
  return ::testing::TempDir() + "/" + std::to_string(getpid()) + "_" + Name;
}

class GIFRegistry : public ::testing::Test {
protected:
  void SetUp() override {
    PGraphicInitialization();
    GIFReadWriteInitialization();
    GIFInterlaced = false;
    GIFTransparent = false;
    GIFTransparentColor = 0xFFFFFF;
  }
  void TearDown() override {
    GIFReadWriteFinalization();
    PGraphicFinalization();
  }
};

TMemoryStream StreamOf(const std::vector<uint8_t>& Bytes) {
  TMemoryStream s;
  s.Bytes() = Bytes;
  return s;
}

// A palette image whose pixel (x, y) is Color(x, y), through a 24-bit image.
void FillImage(TPixelGraphic& G, int32_t W, int32_t H, const std::function<uint32_t(int32_t, int32_t)>& Color) {
  G.NewImage(W, H, pf24Bit);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) G.SetPixelColor(x, y, Color(x, y));
}

// The file written for G by the save path.
std::vector<uint8_t> SaveAsGIF(TPixelGraphic& G) {
  TMemoryStream s;
  G.SaveToStreamAs(s, "gif");
  return s.Bytes();
}

// The file the GIF writer itself writes for G.
std::vector<uint8_t> WriteGIFFile(TPixelGraphic& G) {
  TMemoryStream s;
  TGIFFileFormatWriter writer;
  writer.Write(s, G);
  return s.Bytes();
}

}  // namespace

TEST_F(GIFRegistry, StartUpAppendsOneReaderAndOneWriterAfterTheBuiltInOnes) {
  ASSERT_EQ(FileFormatReaders->Count(), 15);
  ASSERT_EQ(FileFormatWriters->Count(), 13);
  GIFReadWriteInitialization();  // counted, adds nothing
  EXPECT_EQ(FileFormatReaders->Count(), 15);
  GIFReadWriteFinalization();
  auto* reader = dynamic_cast<TGIFFileFormatReader*>(FileFormatReaders->Items(14));
  auto* writer = dynamic_cast<TGIFFileFormatWriter*>(FileFormatWriters->Items(12));
  ASSERT_NE(reader, nullptr);
  ASSERT_NE(writer, nullptr);
  EXPECT_TRUE(reader->Listed());
  EXPECT_TRUE(reader->IdentifiedByContent());
  EXPECT_EQ(reader->Extension(), "gif");
  EXPECT_EQ(reader->Description(), "GIF-Format");
  EXPECT_EQ(writer->Description(), "GIF-Format");
  EXPECT_EQ(writer->GetCanWriteResolutions(), 0x40);
  EXPECT_FALSE(writer->MultiPage());
  SortFileFormatReaders();
  SortFileFormatWriters();
  EXPECT_EQ(FileFormatReaders->Items(2)->Extension(), "gif");
  EXPECT_EQ(FileFormatWriters->Items(2)->Extension(), "gif");
  EXPECT_EQ(FindFileFormatWriter(".GIF"), writer);
}

TEST_F(GIFRegistry, IdentifiesBothVersionsAndNothingElse) {
  TGIFFileFormatReader reader;
  auto header = [](const std::string& Text) {
    TPGFileHeader h{};
    std::copy(Text.begin(), Text.end(), h.begin());
    return h;
  };
  EXPECT_TRUE(reader.Identify(header("GIF87a")));
  EXPECT_TRUE(reader.Identify(header("GIF89a")));
  EXPECT_FALSE(reader.Identify(header("GIF88a")));
  EXPECT_FALSE(reader.Identify(header("GIF8")));
  EXPECT_FALSE(reader.Identify(header("GIF97a")));
  // A GIF is read as GIF whatever its name; a non-GIF named .gif finds no reader.
  TMemoryStream gif = StreamOf(MakeGIF({SolidFrame(kRed)}));
  EXPECT_TRUE(dynamic_cast<TGIFFileFormatReader*>(FindFileFormatReader(gif, "bmp")));
  TMemoryStream other = StreamOf({'G', 'I', 'F', '8', '8', 'a', 0, 0});
  EXPECT_EQ(FindFileFormatReader(other, "gif"), nullptr);
}

TEST_F(GIFRegistry, ReadingGivesTheFirstFrameWithItsStoredPixels) {
  TTestFrame f1 = SolidFrame(kRed, 6, 5);
  f1.Transparent = true;
  f1.Color = [](int32_t x, int32_t y) { return x == 0 ? kWhite : (y == 0 ? kBlue : kRed); };
  TTestFrame f2 = SolidFrame(kGreen, 9, 9);
  // Embedded behind other bytes: the reader starts at the stream's position.
  std::vector<uint8_t> bytes = {1, 2, 3};
  const std::vector<uint8_t> gif = MakeGIF({f1, f2});
  bytes.insert(bytes.end(), gif.begin(), gif.end());
  TMemoryStream s = StreamOf(bytes);
  s.SetPosition(3);
  TPixelGraphic g;
  g.LoadImageFromStream(s, "", 5);
  ASSERT_EQ(g.Width(), 6);
  ASSERT_EQ(g.Height(), 5);
  EXPECT_EQ(g.PixelFormat(), pf8Bit);
  EXPECT_EQ(g.GetPixelColor(0, 3), kWhite);  // under the transparent index, as stored
  EXPECT_EQ(g.GetPixelColor(3, 0), kBlue);
  EXPECT_EQ(g.GetPixelColor(5, 4), kRed);
}

TEST_F(GIFRegistry, InformationOfStillAndAnimatedFiles) {
  std::string description;
  TPGGraphicInfo info;
  TMemoryStream still = StreamOf(MakeGIF({SolidFrame(kRed, 7, 3)}));
  TGIFFileFormatReader reader;
  info.FormatText = "kept";
  reader.GetInfo(still, 0, info);
  EXPECT_EQ(info.FormatText, "kept");
  EXPECT_EQ(info.ImageCount, 1);
  EXPECT_EQ(info.Width, 7);
  EXPECT_EQ(info.Height, 3);
  EXPECT_EQ(info.ColorsText, "8");
  EXPECT_EQ(info.BitsPerPixel, 1);

  // Local tables only: the depth is the largest local table's.
  TTestFrame f2 = SolidFrame(kGreen, 2, 2);
  f2.Left = 10;
  f2.Interlaced = true;
  f2.Color = [](int32_t x, int32_t y) { return 0x101010u * static_cast<uint32_t>(x + 2 * y + 1); };
  TMemoryStream anim = StreamOf(MakeGIF({SolidFrame(kRed, 4, 6), f2}, 3, false));
  ASSERT_TRUE(GetGraphicStreamInfo(anim, "", 0, description, info));
  EXPECT_EQ(description, "GIF-Format");
  EXPECT_EQ(info.FormatText, "Animated (3 iterations)");
  EXPECT_EQ(info.ExtraText, "Interlaced");
  EXPECT_EQ(info.ImageCount, 2);
  EXPECT_EQ(info.Width, 12);
  EXPECT_EQ(info.Height, 6);
  EXPECT_EQ(info.BitsPerPixel, 2);
  EXPECT_EQ(info.ColorsText, "2");
  // A loop count of 0 plays for ever, not 0 times.
  TMemoryStream forever = StreamOf(MakeGIF({SolidFrame(kRed, 4, 6), SolidFrame(kGreen, 4, 6)}, 0));
  ASSERT_TRUE(GetGraphicStreamInfo(forever, "", 0, description, info));
  EXPECT_EQ(info.FormatText, "Animated (loops for ever)");
}

TEST_F(GIFRegistry, DamagedFilesAreReportedNotLoadedEmpty) {
  std::vector<uint8_t> good = MakeGIF({SolidFrame(kRed, 10, 10)});
  size_t image = 13 + 3 * 2;  // header, screen descriptor, 2-entry table
  while (good[image] != 0x2C) ++image;
  std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(image) + 4);
  std::vector<uint8_t> zero = good;
  zero[image + 5] = zero[image + 6] = 0;
  std::vector<uint8_t> noImage(good.begin(), good.begin() + 13 + 6);
  noImage.push_back(0x3B);
  // A right signature over wrong data says that the data is damaged.
  std::vector<uint8_t> codeSize0 = good, codeSize12 = good;
  codeSize0[image + 10] = 0;
  codeSize12[image + 10] = 12;
  const std::pair<std::vector<uint8_t>, std::string> cases[] = {
      {cut, "GIF: Unexpected end of file"},
      {zero, "GIF: Width = 0 or Height = 0"},
      {noImage, "GIF: Unexpected end of file"},
      {codeSize0, "GIF: Invalid value for LZW minimum code size"},
      {codeSize12, "GIF: Invalid value for LZW minimum code size"},
  };
  for (const auto& [bytes, message] : cases) {
    TMemoryStream s = StreamOf(bytes);
    TPixelGraphic g;
    try {
      g.LoadImageFromStream(s, "gif", 0);
      ADD_FAILURE() << "loaded";
    } catch (const EPixelGraphic& e) {
      EXPECT_EQ(e.Message(), message);
    }
    std::string description;
    TPGGraphicInfo info;
    s.SetPosition(0);
    EXPECT_FALSE(GetGraphicStreamInfo(s, "gif", 0, description, info));
  }
  // Only a file that is no GIF at all is called one.
  TMemoryStream other = StreamOf({'B', 'M', 0, 0, 0, 0, 0, 0});
  TPixelGraphic g;
  TGIFFileFormatReader reader;
  try {
    reader.Read(other, g, 0);
    ADD_FAILURE() << "read";
  } catch (const EPixelGraphic& e) {
    EXPECT_EQ(e.Message(), "GIF: Not a GIF file");
  }
}

// A frame that no image could hold is refused before it is decoded, with the
// error of every other format; one that fits is decoded straight into the
// image, whose palette is the frame's colour table (2^bits entries).
TEST_F(GIFRegistry, FrameSizesAreHeldToTheImageCapAndDecodedOnce) {
  const uint8_t huge[] = {'G', 'I', 'F', '8', '9', 'a', 0xB0, 0xB3, 0xB0, 0xB3, 0x80, 0, 0, 0, 0, 0, 255, 255, 255,
                          0x2C, 0, 0, 0, 0, 0xB0, 0xB3, 0xB0, 0xB3, 0, 2, 2, 0x4C, 0x01, 0, 0x3B};  // 46000 x 46000
  TMemoryStream s = StreamOf(std::vector<uint8_t>(std::begin(huge), std::end(huge)));
  TPixelGraphic g;
  EXPECT_THROW(g.LoadImageFromStream(s, "", 0), EPGInvalidSize);
  s.SetPosition(0);
  std::string description;
  TPGGraphicInfo info;
  EXPECT_FALSE(GetGraphicStreamInfo(s, "", 0, description, info));

  TMemoryStream small = StreamOf(MakeGIF({SolidFrame(kRed, 3, 2)}));
  g.LoadImageFromStream(small, "", 0);
  EXPECT_EQ(g.PixelFormat(), pf8Bit);
  EXPECT_EQ(g.PaletteCount(), 2);
  EXPECT_EQ(g.GetPixelColor(2, 1), kRed);
  EXPECT_EQ(g.GetPaletteEntry(1), 0u);

  // Nine colours: a 16-entry table; a local table counts as the global one.
  TTestFrame nine = SolidFrame(kRed, 9, 2);
  nine.Color = [](int32_t x, int32_t) { return 0x0D0B05u * static_cast<uint32_t>(x + 1); };
  for (bool global : {true, false}) {
    TMemoryStream colours = StreamOf(MakeGIF({nine, SolidFrame(kRed)}, 0, global));
    g.LoadImageFromStream(colours, "", 0);
    ASSERT_EQ(g.PaletteCount(), 16);
    for (int32_t x = 0; x < 9; ++x) EXPECT_EQ(g.GetPixelColor(x, 1), 0x0D0B05u * static_cast<uint32_t>(x + 1));
  }
}

TEST_F(GIFRegistry, WriterOptionsAndWrittenSize) {
  TPixelGraphic g;
  FillImage(g, 8, 4, [](int32_t x, int32_t) { return x < 4 ? kRed : kGreen; });

  std::vector<uint8_t> plain = WriteGIFFile(g);
  TGIFDecoder d;
  ASSERT_TRUE(DecodeGIF(d, plain));
  EXPECT_FALSE(d.Frame(1).Transparent);
  EXPECT_FALSE(d.Frame(1).Interlaced);
  EXPECT_EQ(FrameColor(d.Frame(1), 1, 1), kRed);
  EXPECT_EQ(FrameColor(d.Frame(1), 6, 3), kGreen);

  GIFInterlaced = true;
  GIFTransparent = true;
  GIFTransparentColor = kGreen;
  ASSERT_TRUE(DecodeGIF(d, WriteGIFFile(g)));
  EXPECT_TRUE(d.Frame(1).Interlaced);
  ASSERT_TRUE(d.Frame(1).Transparent);
  EXPECT_TRUE(d.Frame(1).MaskAt(6, 3));
  EXPECT_FALSE(d.Frame(1).MaskAt(1, 3));

  // A colour the image does not hold: no transparency at all.
  GIFInterlaced = false;
  GIFTransparentColor = kBlue;
  ASSERT_TRUE(DecodeGIF(d, WriteGIFFile(g)));
  EXPECT_FALSE(d.Frame(1).Transparent);

  // The written size is the size of the whole stream written to.
  TMemoryStream s;
  s.WriteBuffer("0123456789", 10);
  TGIFFileFormatWriter writer;
  writer.Write(s, g);
  EXPECT_EQ(GIFWrittenSize, s.Size());
  EXPECT_EQ(static_cast<size_t>(s.Size()), plain.size() + 10);
}

TEST_F(GIFRegistry, TrueColourIsReducedByTheSavePathAndRefusedByTheWriterItself) {
  TPixelGraphic g;
  FillImage(g, 64, 64, [](int32_t x, int32_t y) {
    return static_cast<uint32_t>(x * 4) | static_cast<uint32_t>(y * 4) << 8 | static_cast<uint32_t>(x + y) << 16;
  });
  TGIFDecoder d;
  ASSERT_TRUE(DecodeGIF(d, SaveAsGIF(g)));
  EXPECT_EQ(d.Frame(1).Width, 64);
  EXPECT_LE(d.GlobalBits(), 8);

  TMemoryStream s;
  TGIFFileFormatWriter writer;
  EXPECT_THROW(writer.Write(s, g), EPixelGraphic);
  EXPECT_EQ(s.Size(), 0);
}

// The writer codes a palette image from its own rows. Its files must be the
// bytes of the 24-bit path: the image handed to a bitmap, the bitmap
// widened to 24 bits, each colour numbered by first appearance.
TEST_F(GIFRegistry, PaletteRowsGiveTheBytesOfTheTwentyFourBitPath) {
  std::mt19937 random(18);
  auto below = [&random](int32_t n) { return static_cast<int32_t>(random() % static_cast<uint32_t>(n)); };
  auto check = [](TPixelGraphic& g, const std::string& what) {
    TBitmap bitmap;
    g.AssignToGraphic(&bitmap);
    TMemoryStream expected;
    ASSERT_TRUE(SaveBitmapAsGIF(expected, bitmap, GIFInterlaced, GIFTransparent, GIFTransparentColor)) << what;
    ASSERT_EQ(WriteGIFFile(g), expected.Bytes()) << what;
  };
  for (int32_t colors = 1; colors <= 256; ++colors) {
    TPixelGraphic g;
    g.NewImage(1 + below(70), 1 + below(40), pf8Bit);
    g.SetPaletteCount(colors);
    // Some entries repeat an earlier colour; both indices then share one place.
    for (int32_t i = 0; i < colors; ++i)
      g.SetPaletteEntry(i, i > 0 && below(6) == 0 ? g.GetPaletteEntry(below(i)) : random() & 0xFFFFFF);
    for (int32_t y = 0; y < g.Height(); ++y)
      for (int32_t x = 0; x < g.Width(); ++x) g.SetPixel(x, y, static_cast<uint32_t>(below(colors)));
    for (bool interlaced : {false, true})
      for (int32_t transparency = 0; transparency < 3; ++transparency) {
        GIFInterlaced = interlaced;
        GIFTransparent = transparency > 0;
        // A colour of some pixel, or one that no pixel has.
        GIFTransparentColor =
            transparency == 1 ? g.GetPixelColor(below(g.Width()), below(g.Height())) : 0x01020304 & 0xFFFFFF;
        check(g, std::to_string(colors) + " colours, interlaced " + std::to_string(interlaced) +
                     ", transparency " + std::to_string(transparency));
      }
  }
  // A palette of 256 colours whose rows use three: the table and code size
  // are those of the colours used, not of the palette.
  {
    TPixelGraphic g;
    g.NewImage(90, 7, pf8Bit);
    g.SetPaletteCount(256);
    for (int32_t i = 0; i < 256; ++i) g.SetPaletteEntry(i, 0x010203u * static_cast<uint32_t>(i));
    for (int32_t y = 0; y < g.Height(); ++y)
      for (int32_t x = 0; x < g.Width(); ++x) g.SetPixel(x, y, static_cast<uint32_t>(below(3) * 40));
    check(g, "three of 256");
  }
  // Indices past the palette show black in a bitmap; 1- and 4-bit images.
  GIFInterlaced = false;
  GIFTransparent = true;
  GIFTransparentColor = 0;
  for (uint8_t format : {pf1Bit, pf4Bit, pf8Bit}) {
    TPixelGraphic g;
    g.NewImage(37, 11, format);
    g.SetPaletteCount(format == pf1Bit ? 1 : 5);
    for (int32_t i = 0; i < g.PaletteCount(); ++i) g.SetPaletteEntry(i, 0x203040u * static_cast<uint32_t>(i + 1));
    for (int32_t y = 0; y < g.Height(); ++y)
      for (int32_t x = 0; x < g.Width(); ++x) g.SetPixel(x, y, static_cast<uint32_t>(below(g.GetMaxColors())));
    check(g, "format " + std::to_string(format));
  }
}

// Rows are coded once. A palette of more colours than the picture uses
// writes the image data once; interlaced rows whose code size the first row
// settles are each read once by the coder, the first row once more for its
// colours.
TEST_F(GIFRegistry, RowsAreCodedOnce) {
  class TCountingStream : public TMemoryStream {
  public:
    int64_t Write(const void* Buffer, int64_t Count) override {
      Written += Count;
      return TMemoryStream::Write(Buffer, Count);
    }
    int64_t Written = 0;
  };
  std::mt19937 random(7);
  TPixelGraphic g;
  g.NewImage(300, 200, pf8Bit);
  g.SetPaletteCount(256);
  for (int32_t i = 0; i < 256; ++i) g.SetPaletteEntry(i, 0x010203u * static_cast<uint32_t>(i));
  for (int32_t y = 0; y < g.Height(); ++y)
    for (int32_t x = 0; x < g.Width(); ++x) g.SetPixel(x, y, random() % 3);
  TCountingStream padded;
  ASSERT_TRUE(SavePixelGraphicAsGIF(padded, g, false, false, 0));
  EXPECT_LT(padded.Written - padded.Size(), 64);  // the headers, written into their room

  constexpr int32_t width = 50, height = 23;
  std::vector<uint8_t> pixels(width * height);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i % 4);
  std::vector<int32_t> reads(height, 0);
  TGIFRows rows;
  rows.Width = width;
  rows.Height = height;
  rows.PaletteSize = 4;
  rows.Colors = {kRed, kGreen, kBlue, kWhite};
  rows.Row = [&](int32_t y) {
    ++reads[static_cast<size_t>(y)];
    return pixels.data() + y * width;
  };
  TMemoryStream interlaced;
  ASSERT_TRUE(SaveRowsAsGIF(interlaced, rows, true, false, 0));
  std::vector<int32_t> once(height, 1);
  once[0] = 2;
  EXPECT_EQ(reads, once);

  // Rows still coming, one at a time, are coded for the palette's colours
  // until their count settles the code size: the bytes are those of rows
  // all there, whether the count settles early, late, on fewer colours than
  // the palette's (the last row brings the fourth colour, or never does) or
  // on more (an index past the palette).
  // The rows there so far; outlives the passes, whose row readers keep it.
  int32_t there = 0;
  for (int32_t last : {0, 1, 2, 3}) {
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i % 3 == 2 && last > 0 ? 1 : i % 3);
    if (last == 1) pixels.back() = 3;
    if (last == 3) pixels.back() = 9;
    for (bool interlace : {false, true}) {
      rows.Ready = nullptr;
      TMemoryStream all, coming;
      ASSERT_TRUE(SaveRowsAsGIF(all, rows, interlace, false, 0));
      there = 0;
      rows.Ready = [&] { return there; };
      rows.Row = [&](int32_t y) {
        there = std::max(there, y + 1);
        return pixels.data() + y * width;
      };
      ASSERT_TRUE(SaveRowsAsGIF(coming, rows, interlace, false, 0));
      EXPECT_EQ(coming.Bytes(), all.Bytes()) << last << " " << interlace;
    }
  }
}

namespace {

// A busy 24-bit picture: gradients with a hashed ripple.
void FillBusy(TPixelGraphic& G, int32_t W, int32_t H) {
  G.NewImage(W, H, pf24Bit);
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* row = G.ScanLine(y);
    for (int32_t x = 0; x < W; ++x) {
      uint32_t h = static_cast<uint32_t>(x) * 2654435761u ^ static_cast<uint32_t>(y) * 2246822519u;
      h ^= h >> 15;
      row[3 * x] = static_cast<uint8_t>(x * 255 / W + (h & 15));
      row[3 * x + 1] = static_cast<uint8_t>(y * 255 / H);
      row[3 * x + 2] = static_cast<uint8_t>((x + y) * 2 + (h >> 8 & 31));
    }
  }
}

// An 8-bit image of Source's size with the optimal palette of Colors
// colours, its pixels not mapped yet.
void Prepare(TPixelGraphic& G, TPixelGraphic& Source, int32_t Colors) {
  G.NewImage(Source.Width(), Source.Height(), pf8Bit);
  CreateOptimizedPalette(&G, &Source, Colors, false);
}

}  // namespace

// The save path codes each row on a second thread as soon as it is mapped:
// the files are those of mapping every row first and writing after.
TEST_F(GIFRegistry, RowsCodedWhileMappedGiveTheBytesOfMappingFirst) {
  TPixelGraphic source;
  FillBusy(source, 613, 419);
  const std::string name = ProcessTempName("quillon_mapped_while_coded.gif");
  for (bool dither : {true, false})
    for (int32_t colors : {256, 100, 3}) {
      // Reference: map, then write.
      TPixelGraphic mapped;
      Prepare(mapped, source, colors);
      mapped.SetDither(dither);
      mapped.CopyFrom(&source);
      const std::vector<uint8_t> expected = WriteGIFFile(mapped);

      TPixelGraphic dest;
      Prepare(dest, source, colors);
      dest.SetDither(dither);
      dest.CopyFromAndSaveToFile(&source, name);
      EXPECT_EQ(ReadFile(name), expected) << colors << " colours, dither " << dither;
      EXPECT_EQ(dest.RowGate(), nullptr);
      for (int32_t y = 0; y < source.Height(); y += 97)
        ASSERT_EQ(std::vector<uint8_t>(dest.ScanLine(y), dest.ScanLine(y) + dest.Width()),
                  std::vector<uint8_t>(mapped.ScanLine(y), mapped.ScanLine(y) + mapped.Width()));
    }
  // A writer that wants the whole picture (BMP) gets it mapped first.
  TPixelGraphic mapped, dest;
  for (TPixelGraphic* g : {&mapped, &dest}) Prepare(*g, source, 200);
  mapped.CopyFrom(&source);
  mapped.SaveToFile(name + ".bmp");
  dest.CopyFromAndSaveToFile(&source, name + ".2.bmp");
  EXPECT_EQ(ReadFile(name + ".2.bmp"), ReadFile(name + ".bmp"));
  std::remove((name + ".bmp").c_str());
  std::remove((name + ".2.bmp").c_str());

  // The colour-resolution fallback of a 24-bit picture: 236 optimal colours
  // and the 16 system colours, mapped while written.
  TPixelGraphic reduced;
  reduced.NewImage(0, 0, pf8Bit);
  CreateOptimizedPalette(&reduced, &source, 252, true);
  reduced.NewImage(source.Width(), source.Height(), pf8Bit);
  reduced.CopyFrom(&source);
  EXPECT_EQ(SaveAsGIF(source), WriteGIFFile(reduced));
  std::remove(name.c_str());

  // The size estimate codes 1- and 4-bit pictures while they are mapped,
  // their rows widened one at a time: the bytes of mapping first.
  for (TPaletteIdent kind : {pBlackWhite, pSysGray4, pGray16})
    for (bool dither : {true, false}) {
      TPixelGraphic serial, dest;
      for (TPixelGraphic* g : {&serial, &dest}) {
        g->NewImage(source.Width(), source.Height(), kind == pBlackWhite ? pf1Bit : pf4Bit);
        g->SetPaletteIdent(kind);
        g->SetDither(dither);
      }
      serial.CopyFrom(&source);
      std::vector<uint8_t> coded;
      dest.CopyFromWhile(&source, [&] { coded = WriteGIFFile(dest); });
      EXPECT_EQ(coded, WriteGIFFile(serial)) << "palette " << kind << ", dither " << dither;
    }
}

// A copy that stops keeps the bytes of the serial way; one that fails
// leaves no file and its own error; a write that fails raises after the
// whole picture is mapped.
TEST_F(GIFRegistry, RowsCodedWhileMappedWhenTheCopyStopsOrFails) {
  TPixelGraphic source;
  FillBusy(source, 200, 300);
  const std::string name = ProcessTempName("quillon_mapped_stops.gif");
  std::remove(name.c_str());
  TPixelGraphic serial, dest;
  for (TPixelGraphic* g : {&serial, &dest}) {
    Prepare(*g, source, 64);
    g->OnProgress = [](TObject*, int32_t Step, int32_t, bool& Abort) { Abort = Step == 150; };
  }
  serial.CopyFrom(&source);
  dest.CopyFromAndSaveToFile(&source, name);
  EXPECT_EQ(ReadFile(name), WriteGIFFile(serial));
  std::remove(name.c_str());

  dest.OnProgress = [](TObject*, int32_t Step, int32_t, bool&) {
    if (Step == 40) throw EPGEmpty("stopped at row 40");
  };
  try {
    dest.CopyFromAndSaveToFile(&source, name);
    ADD_FAILURE() << "no error";
  } catch (const EPGEmpty& e) {
    EXPECT_EQ(e.Message(), "stopped at row 40");
  }
  EXPECT_EQ(dest.RowGate(), nullptr);
  TMemoryStream none;
  EXPECT_THROW(none.LoadFromFile(name), Exception);

  int32_t rows = 0;
  dest.OnProgress = [&rows](TObject*, int32_t, int32_t, bool&) { ++rows; };
  EXPECT_THROW(dest.CopyFromAndSaveToFile(&source, ::testing::TempDir() + "/no such folder/x.gif"), Exception);
  EXPECT_EQ(rows, source.Height());
}
