// JPEG and PNG against independent tools: files they write are read by ours
// to the same pixels, and files ours writes are read by them to the same
// pixels and metadata. Decoded pixels are compared, never compressed bytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "codec_test_util.h"
#include "imaging/core/chunks.h"
#include "imaging/core/exceptions.h"
#include "imaging/core/options.h"
#include "imaging/formats/codec_glue.h"
#include "imaging/formats/jpeg_format.h"
#include "imaging/formats/png_format.h"

namespace {

const char kConvert[] = "/usr/bin/convert";
const char kCjpeg[] = "/usr/bin/cjpeg";
const char kDjpeg[] = "/usr/bin/djpeg";
const char kPngcrush[] = "/usr/bin/pngcrush";
const char kPython[] = "/usr/bin/python3";

bool Have(const char* Tool) { return std::filesystem::exists(Tool); }
bool HavePIL() { return Have(kPython) && RunTool(std::string(kPython) + " -c 'import PIL.Image'"); }

// Runs a Python program with PIL; arguments follow.
bool RunPython(const std::string& Name, const std::string& Program, const std::string& Args) {
  // One copy per test process: CTest runs the tests side by side.
  const std::string path = TempPath(Name + "_" + std::to_string(getpid()) + ".py");
  std::ofstream(path) << Program;
  return RunTool(std::string(kPython) + " " + path + " " + Args);
}

// The colours of a file as our reader decodes it.
TPlainImage ReadFile(TFileFormatReader& Reader, const std::string& Path, int32_t Channels = 3, bool Preview = false,
                     int32_t Size = 0) {
  TMemoryStream s = StreamOf(LoadBytes(Path));
  TPixelGraphic g;
  g.SetReadWarningAction(pgwaRaise);
  g.SetPreviewRead(Preview);
  g.SetPreviewSize(Size);
  Reader.Read(s, g, 0);
  return PlainFromGraphic(g, Channels);
}

void WriteFile(TFileFormatWriter& Writer, TPixelGraphic& G, const std::string& Path) {
  TMemoryStream s;
  Writer.Write(s, G);
  SaveBytes(Path, BytesOf(s));
}

void GraphicOf(const TPlainImage& Image, TPixelGraphic& g) {
  if (Image.Channels == 1) g.SetPaletteIdent(pGray256);
  g.NewImage(Image.Width, Image.Height, Image.Channels == 1 ? pf8Bit : pf24Bit);
  for (int32_t y = 0; y < Image.Height; ++y)
    for (int32_t x = 0; x < Image.Width; ++x)
      g.SetPixel(x, y, Image.Channels == 1 ? Image.At(x, y, 0)
                                           : Image.At(x, y, 0) | Image.At(x, y, 1) << 8 | Image.At(x, y, 2) << 16);
}

// Decodes any image with PIL to RGB (or L) PNM.
const char kPILToPNM[] = R"(import sys
from PIL import Image
im = Image.open(sys.argv[1])
if im.mode.startswith('I'):
    im = im.point(lambda v: v * (1 / 257))  # 16-bit samples that are 257 x an 8-bit level
im = im.convert(sys.argv[3])
im.save(sys.argv[2])
)";

class CrossCheck : public ::testing::Test {
protected:
  void SetUp() override { InitPGOptions(); }
  void TearDown() override { InitPGOptions(); }
  TJPGFileFormatReader JPGReader;
  TJPGFileFormatWriter JPGWriter;
  TPNGFileFormatReader PNGReader;
  TPNGFileFormatWriter PNGWriter;
};

TEST_F(CrossCheck, JPEGFromCjpegAndImageMagickMatchesDjpeg) {
  if (!Have(kCjpeg) || !Have(kDjpeg) || !Have(kConvert)) GTEST_SKIP() << "libjpeg-turbo-progs or ImageMagick missing";
  const std::string ppm = TempPath("source.ppm"), pgm = TempPath("source.pgm");
  WritePNM(ppm, Pattern(61, 37, 3));
  WritePNM(pgm, Pattern(61, 37, 1));
  struct Case {
    std::string Name, Command;
    int Channels;
  } cases[] = {
      {"cjpeg_baseline.jpg", std::string(kCjpeg) + " -quality 75 -outfile {out} " + ppm, 3},
      {"cjpeg_progressive.jpg", std::string(kCjpeg) + " -progressive -outfile {out} " + ppm, 3},
      {"cjpeg_grey.jpg", std::string(kCjpeg) + " -outfile {out} " + pgm, 1},
      {"cjpeg_444_restart.jpg", std::string(kCjpeg) + " -sample 1x1 -restart 1 -outfile {out} " + ppm, 3},
      {"magick.jpg", std::string(kConvert) + " " + ppm + " -quality 85 {out}", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string command = c.Command;
    const std::string out = TempPath(c.Name);
    command.replace(command.find("{out}"), 5, out);
    ASSERT_TRUE(RunTool(command));
    const std::string decoded = TempPath(c.Name + ".pnm");
    ASSERT_TRUE(RunTool(std::string(kDjpeg) + " -dct int -pnm -outfile " + decoded + " " + out));
    EXPECT_EQ(MaxDifference(ReadFile(JPGReader, out, c.Channels), ReadPNM(decoded)), 0);

    // A preview decode is djpeg's reduced fast decode.
    ASSERT_TRUE(RunTool(std::string(kDjpeg) + " -dct fast -scale 1/4 -pnm -outfile " + decoded + " " + out));
    EXPECT_EQ(MaxDifference(ReadFile(JPGReader, out, c.Channels, true, 8), ReadPNM(decoded)), 0);
  }
}

TEST_F(CrossCheck, JPEGWrittenByOursReadByDjpegPILAndImageMagick) {
  if (!Have(kDjpeg) || !HavePIL() || !Have(kConvert)) GTEST_SKIP() << "djpeg, PIL or ImageMagick missing";
  for (int channels : {3, 1}) {
    SCOPED_TRACE(channels);
    TPixelGraphic g;
    GraphicOf(Pattern(45, 30, channels), g);
    g.SetXResolution(11811);  // 300 dots per inch
    g.SetYResolution(11811);
    JPEGDensityMetric = false;
    const std::string out = TempPath("ours" + std::to_string(channels) + ".jpg");
    WriteFile(JPGWriter, g, out);
    const TPlainImage mine = ReadFile(JPGReader, out, channels);

    const std::string djpeg = TempPath("ours_djpeg.pnm");
    ASSERT_TRUE(RunTool(std::string(kDjpeg) + " -pnm -outfile " + djpeg + " " + out));
    EXPECT_EQ(MaxDifference(mine, ReadPNM(djpeg)), 0);
    const std::string pil = TempPath(channels == 1 ? "ours_pil.pgm" : "ours_pil.ppm");
    ASSERT_TRUE(RunPython("to_pnm", kPILToPNM, out + " " + pil + (channels == 1 ? " L" : " RGB")));
    EXPECT_LE(MaxDifference(mine, ReadPNM(pil)), 1);
    const std::string magick = TempPath(channels == 1 ? "ours_magick.pgm" : "ours_magick.ppm");
    ASSERT_TRUE(RunTool(std::string(kConvert) + " " + out + " -depth 8 " + magick));
    EXPECT_LE(MaxDifference(mine, ReadPNM(magick)), 1);
    // The density as the others see it.
    ASSERT_TRUE(RunPython("jpeg_density", R"(import sys
from PIL import Image
im = Image.open(sys.argv[1])
sys.exit(0 if im.info.get('jfif_unit') == 1 and im.info.get('jfif_density') == (300, 300) else 1)
)", out));
  }
}

TEST_F(CrossCheck, PNGFromPILAndImageMagickAndPngcrush) {
  if (!HavePIL() || !Have(kConvert) || !Have(kPngcrush)) GTEST_SKIP() << "PIL, ImageMagick or pngcrush missing";
  const std::string ppm = TempPath("png_source.ppm");
  WritePNM(ppm, Pattern(33, 21, 3));
  // PIL writes every mode it has; the colours are compared through PIL's own
  // decode.
  ASSERT_TRUE(RunPython("make_pngs", R"(import sys
from PIL import Image
src = Image.open(sys.argv[1])
d = sys.argv[2]
src.convert('1').save(d + '/pil_1.png')
src.convert('L').save(d + '/pil_L.png')
src.convert('L').point(lambda v: v * 257).convert('I').save(d + '/pil_I16.png')
p = src.convert('P', palette=Image.ADAPTIVE, colors=4)
p.save(d + '/pil_P2.png', bits=2)
p = src.convert('P', palette=Image.ADAPTIVE, colors=16)
p.save(d + '/pil_P4.png', bits=4)
src.convert('P', palette=Image.ADAPTIVE, colors=200).save(d + '/pil_P8.png')
src.save(d + '/pil_RGB.png')
src.convert('RGBA').save(d + '/pil_RGBA.png')
)",
                        ppm + " " + TempPath("")));
  ASSERT_TRUE(RunTool(std::string(kConvert) + " " + ppm + " -interlace PNG " + TempPath("magick_interlaced.png")));
  ASSERT_TRUE(RunTool(std::string(kConvert) + " " + ppm + " -depth 16 " + TempPath("magick_rgb16.png")));
  ASSERT_TRUE(RunTool(std::string(kConvert) + " " + TempPath("pil_P4.png") + " -interlace PNG " +
                      TempPath("magick_P4_interlaced.png")));
  ASSERT_TRUE(RunTool(std::string(kPngcrush) + " -q -reduce " + TempPath("pil_L.png") + " " +
                      TempPath("crush_L_reduced.png")));
  ASSERT_TRUE(RunTool(std::string(kPngcrush) + " -q -reduce " + TempPath("pil_RGBA.png") + " " +
                      TempPath("crush_RGBA_reduced.png")));
  for (const char* name : {"pil_1.png", "pil_L.png", "pil_I16.png", "pil_P2.png", "pil_P4.png", "pil_P8.png",
                           "pil_RGB.png", "pil_RGBA.png", "magick_interlaced.png", "magick_rgb16.png",
                           "magick_P4_interlaced.png", "crush_L_reduced.png", "crush_RGBA_reduced.png"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(std::filesystem::exists(TempPath(name)));
    const std::string file = TempPath(name), decoded = TempPath(std::string(name) + ".ppm");
    ASSERT_TRUE(RunPython("to_pnm", kPILToPNM, file + " " + decoded + " RGB"));
    EXPECT_EQ(MaxDifference(ReadFile(PNGReader, file), ReadPNM(decoded)), 0);
  }
}

TEST_F(CrossCheck, PNGFlatteningAgreesWithPILCompositing) {
  if (!HavePIL()) GTEST_SKIP() << "PIL missing";
  // An RGBA file with a bKGD chunk, and PIL's own compositing onto that colour.
  const std::string file = TempPath("alpha_bkgd.png"), expected = TempPath("alpha_bkgd.ppm");
  ASSERT_TRUE(RunPython("alpha", R"(import sys
from PIL import Image, PngImagePlugin
im = Image.new('RGBA', (40, 9))
for y in range(9):
    for x in range(40):
        im.putpixel((x, y), (x * 6, 255 - x * 6, y * 20, min(255, x * 7)))
info = PngImagePlugin.PngInfo()
info.add(b'bKGD', bytes([0, 30, 0, 144, 0, 255]))
im.save(sys.argv[1], pnginfo=info)
back = Image.new('RGBA', im.size, (30, 144, 255, 255))
Image.alpha_composite(back, im).convert('RGB').save(sys.argv[2])
)",
                        file + " " + expected));
  EXPECT_LE(MaxDifference(ReadFile(PNGReader, file), ReadPNM(expected)), 1);
  TMemoryStream s = StreamOf(LoadBytes(file));
  TPixelGraphic g;
  PNGReader.Read(s, g, 0);
  EXPECT_EQ(g.GetTransparentColor(), 30u | 144u << 8 | 255u << 16);
}

TEST_F(CrossCheck, PNGWrittenByOursReadByPILImageMagickAndPngcrush) {
  if (!HavePIL() || !Have(kConvert) || !Have(kPngcrush)) GTEST_SKIP() << "PIL, ImageMagick or pngcrush missing";
  TPixelGraphic rgb, grey;
  GraphicOf(Pattern(35, 19, 3), rgb);
  GraphicOf(Pattern(35, 19, 1), grey);
  TPixelGraphic pal4;
  pal4.SetPaletteIdent(pSys16);
  pal4.NewImage(35, 19, pf4Bit);
  TPixelGraphic bw;
  bw.SetPaletteIdent(pBlackWhite);
  bw.NewImage(35, 19, pf1Bit);
  for (int32_t y = 0; y < 19; ++y)
    for (int32_t x = 0; x < 35; ++x) {
      pal4.SetPixel(x, y, (x + y) % 16);
      bw.SetPixel(x, y, (x * y) % 3 == 0);
    }
  struct Case {
    const char* Name;
    TPixelGraphic* G;
  } cases[] = {{"ours_rgb.png", &rgb}, {"ours_grey.png", &grey}, {"ours_pal4.png", &pal4}, {"ours_bw.png", &bw}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    c.G->SetXResolution(3937);  // 100 dots per inch
    c.G->SetYResolution(3937);
    c.G->SetGamma(2.2L);
    const std::string file = TempPath(c.Name);
    WriteFile(PNGWriter, *c.G, file);
    const TPlainImage mine = PlainFromGraphic(*c.G);
    const std::string pil = TempPath(std::string(c.Name) + ".pil.ppm");
    ASSERT_TRUE(RunPython("to_pnm", kPILToPNM, file + " " + pil + " RGB"));
    EXPECT_EQ(MaxDifference(mine, ReadPNM(pil)), 0);
    const std::string magick = TempPath(std::string(c.Name) + ".magick.ppm");
    ASSERT_TRUE(RunTool(std::string(kConvert) + " " + file + " -depth 8 ppm:" + magick));
    EXPECT_EQ(MaxDifference(mine, ReadPNM(magick)), 0);
    // pngcrush rewrites the file; we read its result to the same pixels.
    const std::string crushed = TempPath(std::string(c.Name) + ".crushed.png");
    std::filesystem::remove(crushed);
    ASSERT_TRUE(RunTool(std::string(kPngcrush) + " -q -reduce " + file + " " + crushed));
    ASSERT_TRUE(std::filesystem::exists(crushed));
    EXPECT_EQ(MaxDifference(ReadFile(PNGReader, crushed), mine), 0);
    // The metadata as PIL sees it.
    EXPECT_TRUE(RunPython("png_info", R"(import sys
from PIL import Image
im = Image.open(sys.argv[1])
ok = abs(im.info.get('gamma', 0) - 1 / 2.2) < 1e-4 and [round(v) for v in im.info.get('dpi', (0, 0))] == [100, 100]
sys.exit(0 if ok else 1)
)",
                          file));
  }
}

}  // namespace

namespace {

TEST_F(CrossCheck, ChunksWrittenByOursSeenByPILAndImageMagick) {
  if (!HavePIL() || !Have(kConvert) || !Have(kPngcrush)) GTEST_SKIP() << "PIL, ImageMagick or pngcrush missing";
  PGWriteChunks = true;
  PGReadChunks = true;
  TPixelGraphic g;
  g.NewImage(16, 16, pf24Bit);
  auto com = std::make_unique<TTextChunk>("JFIF COM");
  com->GetStrings() = {"first", "second"};
  g.AddChunk(std::move(com));
  auto app = std::make_unique<TBinaryChunk>("JFIF APP1");
  app->SetSize(3);
  app->Data()[0] = 'x';
  g.AddChunk(std::move(app));
  const std::string jpg = TempPath("chunks.jpg");
  WriteFile(JPGWriter, g, jpg);
  EXPECT_TRUE(RunPython("jpeg_chunks", R"(import sys
from PIL import Image
im = Image.open(sys.argv[1])
names = [n for n, _ in im.applist]
ok = names == ['APP0', 'COM', 'APP1'] and im.applist[2][1] == b'x\0\0'
ok = ok and im.info.get('comment') == b'first\r\nsecond\r\n\0'
sys.exit(0 if ok else 1)
)", jpg));

  g.FreeChunks();
  auto title = std::make_unique<TTextChunk>("PNG TEXT Title");
  title->GetStrings() = {"a", "b"};
  g.AddChunk(std::move(title));
  double when = 0;
  ASSERT_TRUE(EncodeDateTimeValue(2020, 5, 17, 8, 9, 10, when));
  auto time = std::make_unique<TDateTimeChunk>("PNG TIME");
  time->SetValue(when);
  g.AddChunk(std::move(time));
  const std::string png = TempPath("chunks.png");
  WriteFile(PNGWriter, g, png);
  EXPECT_TRUE(RunPython("png_text", R"(import sys
from PIL import Image
sys.exit(0 if Image.open(sys.argv[1]).text == {'Title': 'a\nb\n'} else 1)
)", png));
  EXPECT_TRUE(RunTool(std::string("/usr/bin/identify -verbose ") + png + " | grep -q 'png:tIME: 2020-05-17T08:09:10Z'"));

  // pngcrush adds a text entry after the image data; ours reads it too.
  const std::string crushed = TempPath("chunks_crushed.png");
  std::filesystem::remove(crushed);
  ASSERT_TRUE(RunTool(std::string(kPngcrush) + " -q -text a Comment later " + png + " " + crushed));
  TMemoryStream s = StreamOf(LoadBytes(crushed));
  TPixelGraphic back;
  PNGReader.Read(s, back, 0);
  auto* later = dynamic_cast<TTextChunk*>(back.FindChunk("PNG TEXT Comment", ckText));
  ASSERT_NE(later, nullptr);
  EXPECT_EQ(later->GetStrings(), std::vector<std::string>{"later"});
  EXPECT_NE(back.FindChunk("PNG TEXT Title", ckText), nullptr);
  EXPECT_NE(back.FindChunk("PNG TIME", ckDateTime), nullptr);
}

}  // namespace
