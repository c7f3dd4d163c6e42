#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec_test_util.h"
#include "empty_scans_jpeg.h"
#include "imaging/core/options.h"
#include "imaging/core/exceptions.h"
#include "imaging/formats/jpeg_format.h"
#include "imaging/formats/pg_startup.h"
#include "platform/base/exception.h"

namespace {

// Red, green, blue and white squares of 16 x 16 pixels: colours that chroma
// subsampling keeps.
TPlainImage Quadrants() {
  TPlainImage img;
  img.Width = img.Height = 32;
  const uint8_t colours[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
  for (int32_t y = 0; y < 32; ++y)
    for (int32_t x = 0; x < 32; ++x)
      for (int c = 0; c < 3; ++c) img.Pixels.push_back(colours[(y / 16) * 2 + x / 16][c]);
  return img;
}

// The centres of the squares (their edges blur with the chroma).
void ExpectQuadrants(TPixelGraphic& G) {
  const TPlainImage want = Quadrants(), got = PlainFromGraphic(G);
  ASSERT_EQ(got.Width, 32);
  for (int32_t y : {8, 24})
    for (int32_t x : {8, 24})
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(got.At(x, y, c), want.At(x, y, c), 8) << x << "," << y << "," << c;
}

using JPEGFormat = TCodecTest<TJPGFileFormatReader, TJPGFileFormatWriter, EPGJPGFileFormatReaderWriter>;

TEST_F(JPEGFormat, RegistryFieldsAndIdentify) {
  EXPECT_EQ(FReader.Extension(), "jpg");
  EXPECT_EQ(FReader.Description(), "JPEG (JFIF compliant)");
  EXPECT_TRUE(FReader.IdentifiedByContent());
  EXPECT_EQ(TJIFFileFormatReader().Extension(), "jif");
  EXPECT_EQ(FWriter.GetCanWriteResolutions(), 0xA0);
  EXPECT_TRUE(FWriter.Listed());
  EXPECT_FALSE(TJPEGFileFormatWriter().Listed());
  TPGFileHeader h{};
  h[0] = 0xFF;
  h[1] = 0xD8;
  EXPECT_TRUE(FReader.Identify(h));
  h[1] = 0xD9;
  EXPECT_FALSE(FReader.Identify(h));
}

TEST_F(JPEGFormat, ColourSpacesToPixelFormats) {
  TJPEGMaker m;
  m.Components = 1;
  m.Quality = 100;
  TPixelGraphic grey;
  Read(MakeJPEG(m), grey);
  EXPECT_EQ(grey.GetBitCount(), 8);
  EXPECT_EQ(grey.PaletteIdent(), pGray256);
  EXPECT_LE(MaxDifference(PlainFromGraphic(grey, 1), Pattern(16, 16, 1)), 3);

  m.Components = 3;
  m.Source = Quadrants();
  TPixelGraphic colour;
  colour.SetGamma(1.0L);
  Read(MakeJPEG(m), colour);
  EXPECT_EQ(colour.GetBitCount(), 24);
  EXPECT_EQ(colour.Gamma(), 2.2L);
  // Colours land in the image's blue, green, red rows the right way round.
  ExpectQuadrants(colour);

  m.Components = 4;
  m.Source = TPlainImage{};
  EXPECT_EQ(ReadError(MakeJPEG(m)), "JPG: Not supported subformat");
}

TEST_F(JPEGFormat, DensityToResolution) {
  auto resolution = [&](int Unit, uint16_t X, uint16_t Y, int32_t W = 100, int32_t H = 100) {
    TJPEGMaker m;
    m.Width = W;
    m.Height = H;
    m.DensityUnit = Unit;
    m.XDensity = X;
    m.YDensity = Y;
    TPixelGraphic g;
    g.SetXResolution(-1);
    g.SetYResolution(-1);
    Read(MakeJPEG(m), g);
    return std::make_pair(g.XResolution(), g.YResolution());
  };
  EXPECT_EQ(resolution(1, 72, 72), std::make_pair(2835, 2835));
  EXPECT_EQ(resolution(2, 28, 28), std::make_pair(2800, 2800));
  EXPECT_EQ(resolution(0, 1, 2), std::make_pair(1000, 2000));
  EXPECT_EQ(resolution(0, 100, 101), std::make_pair(-1, -1));
}

TEST_F(JPEGFormat, PreviewDecodeScales) {
  auto size = [&](int32_t W, int32_t H, int32_t PreviewSize) {
    TJPEGMaker m;
    m.Width = W;
    m.Height = H;
    TPixelGraphic g;
    g.SetPreviewRead(true);
    g.SetPreviewSize(PreviewSize);
    Read(MakeJPEG(m), g);
    return std::make_pair(g.GetWidth(), g.GetHeight());
  };
  EXPECT_EQ(size(1600, 1200, 100), std::make_pair(200, 150));
  EXPECT_EQ(size(300, 200, 100), std::make_pair(150, 100));
  EXPECT_EQ(size(150, 100, 100), std::make_pair(150, 100));
  EXPECT_EQ(size(300, 200, 0), std::make_pair(300, 200));
}

TEST_F(JPEGFormat, AbortKeepsRowsAndFailsInTheLibrary) {
  TJPEGMaker m;
  m.Components = 1;
  m.Height = 32;
  TPixelGraphic g;
  int rows = 0, starts = 0, ends = 0, max = 0;
  g.OnProgressStart = [&](TObject*) { ++starts; };
  g.OnProgressEnd = [&](TObject*) { ++ends; };
  g.OnProgress = [&](TObject* Sender, int32_t Step, int32_t Max, bool& Abort) {
    EXPECT_EQ(Sender, &FReader);
    rows = Step;
    max = Max;
    Abort = Step == 10;
  };
  try {
    Read(MakeJPEG(m), g);
    FAIL() << "no exception";
  } catch (const EPGJPGFileFormatReaderWriter& e) {
    EXPECT_EQ(e.Message(), "JPG: Application transferred too few scanlines");
  }
  EXPECT_EQ(rows, 10);
  EXPECT_EQ(max, 32);
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(g.GetHeight(), 32);
  EXPECT_NEAR(int(g.GetPixel(3, 5)), Pattern(16, 32, 1).At(3, 5, 0), 8);  // rows read stay

  // The writer does not stop.
  g.OnProgress = [&](TObject*, int32_t Step, int32_t, bool& Abort) {
    rows = Step;
    Abort = true;
  };
  EXPECT_NO_THROW(Write(g));
  EXPECT_EQ(rows, 32);
}

TEST_F(JPEGFormat, InfoTexts) {
  auto info = [&](const TBytes& File) {
    TMemoryStream s = StreamOf(File);
    TPGGraphicInfo i;
    FReader.GetInfo(s, 0, i);
    return i;
  };
  TJPEGMaker m;
  m.Width = 20;
  m.Height = 10;
  TPGGraphicInfo i = info(MakeJPEG(m));
  EXPECT_EQ(i.FormatText, "JFIF, YCbCr");
  EXPECT_EQ(i.ColorsText, "16.7M");
  EXPECT_EQ(i.BitsPerPixel, 24);
  EXPECT_EQ(i.Width, 20);
  EXPECT_EQ(i.Height, 10);
  EXPECT_EQ(i.ImageCount, 1);
  m.Progressive = true;
  EXPECT_EQ(info(MakeJPEG(m)).FormatText, "JFIF, YCbCr, Progressive");
  m.Progressive = false;
  m.Components = 1;
  i = info(MakeJPEG(m));
  EXPECT_EQ(i.FormatText, "JFIF, GrayScale");
  EXPECT_EQ(i.ColorsText, "256");
  m.Components = 4;
  m.JFIF = false;
  i = info(MakeJPEG(m));
  EXPECT_EQ(i.FormatText, "Adope, CMYK");
  EXPECT_EQ(i.ColorsText, "4294.9M");
  EXPECT_EQ(i.BitsPerPixel, 32);

  TMemoryStream s = StreamOf(MakeJPEG(TJPEGMaker{}));
  EXPECT_THROW(FReader.GetInfo(s, 1, i), EPGJPGFileFormatReaderWriter);
}

TEST_F(JPEGFormat, WriterFormatsDensityAndRoundTrip) {
  TPixelGraphic g;
  g.NewImage(5, 5, pf4Bit);
  try {
    Write(g);
    FAIL();
  } catch (const EPGJPGFileFormatReaderWriter& e) {
    EXPECT_EQ(e.Message(), "JPG: Invalid value for BitCount");
  }

  g.SetPaletteIdent(pGray256);
  g.NewImage(12, 7, pf8Bit);
  for (int32_t y = 0; y < 7; ++y)
    for (int32_t x = 0; x < 12; ++x) g.SetPixel(x, y, x * 20);
  g.SetXResolution(2835);
  g.SetYResolution(5670);
  JPEGQuality = 100;
  TPixelGraphic back;
  Read(Write(g), back);
  EXPECT_EQ(back.GetBitCount(), 8);
  EXPECT_LE(MaxDifference(PlainFromGraphic(back, 1), PlainFromGraphic(g, 1)), 2);
  EXPECT_EQ(back.XResolution(), 2800);  // 28 dots per centimetre
  EXPECT_EQ(back.YResolution(), 5700);

  JPEGDensityMetric = false;
  Read(Write(g), back);
  EXPECT_EQ(back.XResolution(), 2835);  // 72 dots per inch
  EXPECT_EQ(back.YResolution(), 5669);  // 144 dots per inch

  TPixelGraphic colour;
  colour.NewImage(32, 32, pf24Bit);
  const TPlainImage q = Quadrants();
  for (int32_t y = 0; y < 32; ++y)
    for (int32_t x = 0; x < 32; ++x) colour.SetPixel(x, y, q.At(x, y, 0) | q.At(x, y, 1) << 8 | q.At(x, y, 2) << 16);
  JPEGProgressive = true;
  TBytes file = Write(colour);
  TMemoryStream s = StreamOf(file);
  TPGGraphicInfo i;
  FReader.GetInfo(s, 0, i);
  EXPECT_EQ(i.FormatText, "JFIF, YCbCr, Progressive");
  Read(file, back);
  EXPECT_EQ(back.GetBitCount(), 24);
  ExpectQuadrants(back);
}

TEST_F(JPEGFormat, DamagedFilesWarnOrFail) {
  TJPEGMaker big;
  big.Width = big.Height = 64;
  TBytes file = MakeJPEG(big);
  TBytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(file.size() / 2));
  TPixelGraphic g;
  g.SetReadWarningAction(pgwaIgnore);
  EXPECT_NO_THROW(Read(cut, g));  // a fake EOI ends the data; the rest stays grey
  EXPECT_EQ(g.GetWidth(), 64);
  EXPECT_EQ(ReadError(cut, pgwaRaise), "JPG: Premature end of JPEG file");

  auto previous = SetPGWarningBoxHook([](const std::string&, const std::string& Caption, TPGBoxButtons) {
    EXPECT_EQ(Caption, "JPG Warning");
    return false;  // Cancel
  });
  EXPECT_EQ(ReadError(cut, pgwaOKCancelBox), "JPG: Operation aborted on user request");
  SetPGWarningBoxHook(previous);

  EXPECT_EQ(ReadError(TBytes{}), "JPG: Empty input file");
  EXPECT_EQ(ReadError(TBytes{0xFF, 0xD8, 0xFF, 0xD9}), "JPG: JPEG datastream contains no image");
  EXPECT_NE(ReadError(TBytes{0xFF, 0xD8, 0x12, 0x34, 0x56}), "");
  TMemoryStream s = StreamOf(file);
  try {
    FReader.Read(s, g, 1);
    FAIL();
  } catch (const EPGJPGFileFormatReaderWriter& e) {
    EXPECT_EQ(e.Message(), "JPG: Index invalid");
  }
}

TEST_F(JPEGFormat, ScansPastTheLimitsAreRefusedBeforeDecoding) {
  EXPECT_EQ(ReadError(EmptyScansJPEG(64, 64, 500)), "");
  // Refused before the image is made.
  TPixelGraphic g;
  g.SetReadWarningAction(pgwaIgnore);
  try {
    Read(EmptyScansJPEG(64, 64, 501), g);
    FAIL() << "501 scans read";
  } catch (const EPGJPGFileFormatReaderWriter& e) {
    EXPECT_EQ(e.Message(), "JPG: Too many scans");
  }
  EXPECT_EQ(g.GetWidth(), 0);
  // Fewer scans, but passing over a larger picture's blocks more than 32 times.
  EXPECT_EQ(ReadError(EmptyScansJPEG(4096, 4096, 32)), "");
  EXPECT_EQ(ReadError(EmptyScansJPEG(4096, 4096, 33)), "JPG: Too many scans");
  // Bytes between the segments do not hide a scan from the count.
  TBytes padded = EmptyScansJPEG(64, 64, 501);
  padded.insert(padded.begin() + 2, {0x00, 0x17});
  EXPECT_EQ(ReadError(padded), "JPG: Too many scans");
  // A sequential file of one component a scan is buffered as a progressive
  // one: its scans count alike, each going over its own component's blocks
  // (three components: 96 passes over one of them are 32 over the picture).
  EXPECT_EQ(ReadError(EmptyScansJPEG(64, 64, 500, 3)), "");
  EXPECT_EQ(ReadError(EmptyScansJPEG(64, 64, 501, 3)), "JPG: Too many scans");
  EXPECT_EQ(ReadError(EmptyScansJPEG(1704, 1704, 96, 3)), "");
  EXPECT_EQ(ReadError(EmptyScansJPEG(1704, 1704, 97, 3)), "JPG: Too many scans");
}

TEST_F(JPEGFormat, GetInfoDescribesFilesThatLoadWithWarnings) {
  TBytes file = MakeJPEG(TJPEGMaker{});
  file.insert(file.begin() + 2, {0x00, 0x17});  // the library warns of extraneous bytes
  EXPECT_EQ(ReadError(file), "");
  EXPECT_NE(ReadError(file, pgwaRaise), "");
  EXPECT_EQ(Info(file).Width, 16);
}

// The picture at full size, with a multi-scan file's coefficient buffer
// beside it, stays within the image-size limit, in the load, the preview
// read (which decodes a reduced picture) and the information alike.
TEST_F(JPEGFormat, PicturesAndCoefficientsPastTheImageSizeLimitAreRefused) {
  // 2048 x 2048 grey: 4 MiB of picture, 8 MiB of coefficients (64 two-byte
  // values a block).
  PGMaxImageSize = 12u << 20;
  TPixelGraphic preview;
  preview.SetReadWarningAction(pgwaIgnore);
  preview.SetPreviewRead(true);
  preview.SetPreviewSize(64);
  const TBytes inside = EmptyScansJPEG(2048, 2048, 2), outside = EmptyScansJPEG(2056, 2048, 2);
  EXPECT_EQ(ReadError(inside), "");
  EXPECT_NO_THROW(Read(inside, preview));
  EXPECT_EQ(Info(inside).Width, 2048);
  TPixelGraphic full;
  full.SetReadWarningAction(pgwaIgnore);
  EXPECT_THROW(Read(outside, full), EPGInvalidSize);
  EXPECT_THROW(Read(outside, preview), EPGInvalidSize);
  EXPECT_THROW(Info(outside), EPGInvalidSize);
  // A single-scan picture past the limit is refused by the preview too,
  // which would decode an eighth of it.
  PGMaxImageSize = 1u << 20;
  TJPEGMaker m;
  m.Components = 1;
  m.Width = 1040;
  m.Height = 1024;
  const TBytes baseline = MakeJPEG(m);
  EXPECT_THROW(Read(baseline, full), EPGInvalidSize);
  EXPECT_THROW(Read(baseline, preview), EPGInvalidSize);
  EXPECT_THROW(Info(baseline), EPGInvalidSize);
  // So is a sequential colour file of one component a scan: three 1024 x
  // 1024 components buffer 6 MiB beside their 3 MiB picture.
  PGMaxImageSize = 9u << 20;
  EXPECT_EQ(ReadError(EmptyScansJPEG(1024, 1024, 3, 3)), "");
  EXPECT_THROW(Read(EmptyScansJPEG(1032, 1024, 3, 3), full), EPGInvalidSize);
  // A 32000 x 32000 header of 174 bytes.
  PGMaxImageSize = PGMaxImageSizeDefault;
  TBytes huge = EmptyScansJPEG(32000, 32000, 1);
  EXPECT_LT(huge.size(), 180u);
  EXPECT_THROW(Read(huge, full), EPGInvalidSize);
}

TEST_F(JPEGFormat, TheProgressHandlerStopsTheScansBeforeAnyRow) {
  std::vector<int32_t> steps;
  TPixelGraphic g;
  g.SetReadWarningAction(pgwaIgnore);
  g.OnProgress = [&](TObject*, int32_t Step, int32_t Max, bool& Abort) {
    steps.push_back(Step);
    EXPECT_EQ(Max, 512);
    Abort = true;
  };
  try {
    Read(EmptyScansJPEG(512, 512, 40), g);
    FAIL() << "no exception";
  } catch (const EPGJPGFileFormatReaderWriter& e) {
    EXPECT_EQ(e.Message(), "JPG: Application transferred too few scanlines");
  }
  EXPECT_EQ(steps, std::vector<int32_t>{0});
  // Left alone, the same file reports the scans with Step 0, then its rows.
  steps.clear();
  g.OnProgress = [&](TObject*, int32_t Step, int32_t, bool&) { steps.push_back(Step); };
  Read(EmptyScansJPEG(512, 512, 40), g);
  ASSERT_GT(steps.size(), 512u);
  EXPECT_EQ(steps[0], 0);
  EXPECT_EQ(steps.back(), 512);
}

// A stream whose reads and writes fail after a few bytes.
class TFailingStream : public TMemoryStream {
public:
  int64_t Read(void* Buffer, int64_t Count) override {
    if (Position() > 0) throw EReadError("disk gone");
    return TMemoryStream::Read(Buffer, Count);
  }
  int64_t Write(const void*, int64_t) override { throw EWriteError("disk full"); }
};

TEST_F(JPEGFormat, StreamErrorsPassThroughTheLibrary) {
  TJPEGMaker big;
  big.Width = big.Height = 200;
  TBytes file = MakeJPEG(big);
  TFailingStream s;
  s.Bytes() = file;
  TPixelGraphic g;
  EXPECT_THROW(FReader.Read(s, g, 0), EReadError);
  g.NewImage(4, 4, pf24Bit);
  TFailingStream out;
  EXPECT_THROW(FWriter.Write(out, g), EWriteError);
}

}  // namespace

// Both formats join the registries at start-up: found by content whatever
// the extension, written by extension.
TEST(JPEGPNGRegistration, LoadAndSaveThroughTheRegistries) {
  PGraphicInitialization();
  for (const char* extension : {"jpg", "jpeg", "jif", "png"}) {
    SCOPED_TRACE(extension);
    ASSERT_NE(FindFileFormatWriter(extension), nullptr);
    TPixelGraphic g;
    g.NewImage(8, 8, pf24Bit);
    g.SetPixel(2, 2, 0xFFFFFF);
    TMemoryStream s;
    g.SaveToStreamAs(s, extension);
    s.SetPosition(0);
    std::string description;
    TPGGraphicInfo info;
    ASSERT_TRUE(GetGraphicStreamInfo(s, "tga", 0, description, info));
    EXPECT_EQ(description, extension[0] == 'p' ? "Portable Network Graphics" : "JPEG (JFIF compliant)");
    TPixelGraphic back;
    back.LoadFromStream(s);
    EXPECT_EQ(back.GetWidth(), 8);
  }
  PGraphicFinalization();
}
