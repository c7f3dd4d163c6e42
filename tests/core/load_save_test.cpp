// Loading and saving through the registries: round trips in every colour
// resolution, the fallback and its warning, gamma correction, and saves that
// fail without harming the file they were to replace.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>

#include "imaging/core/dither.h"
#include "imaging/core/exceptions.h"
#include "imaging/core/file_formats.h"
#include "imaging/core/options.h"
#include "imaging/core/pixel_graphic.h"
#include "platform/base/files.h"

namespace {

// A raw test format: "QR", width, height, pixel format, palette count,
// gamma x 1000 (all 32-bit), the palette, then the pixel memory.
class TRawReader : public TFileFormatReader {
public:
  TRawReader() {
    FExtension = "qrw";
    FDescription = "Raw";
    FIdentifiedByContent = true;
  }
  bool Identify(const TPGFileHeader& H) override { return H[0] == 'Q' && H[1] == 'R'; }
  void Read(TStream& S, TPixelGraphic& G, int32_t) override {
    int32_t h[7];
    S.ReadBuffer(h, sizeof h);
    G.NewImage(h[1], h[2], uint8_t(h[3]));
    G.SetPaletteCount(h[4]);
    for (int i = 0; i < h[4]; ++i) {
      TColor c;
      S.ReadBuffer(&c, 4);
      G.SetPaletteEntry(i, c);
    }
    G.SetGamma(h[5] == INT32_MIN ? std::numeric_limits<long double>::quiet_NaN() : h[5] / 1000.0L);
    S.ReadBuffer(G.GetBits(), G.ImageSize());
  }
};

class TRawWriter : public TFileFormatWriter {
public:
  explicit TRawWriter(TPGColorResolutions Can, const std::string& Ext = "qrw") {
    FExtension = Ext;
    FDescription = "Raw";
    FCanWriteResolutions = Can;
  }
  void Write(TStream& S, TPixelGraphic& G) override {
    int32_t h[7] = {0x5251, G.GetWidth(), G.GetHeight(), G.PixelFormat(), G.PaletteCount(),
                    int32_t(std::lround(double(G.Gamma()) * 1000)), 0};
    S.WriteBuffer(h, sizeof h);
    for (int i = 0; i < G.PaletteCount(); ++i) {
      TColor c = G.GetPaletteEntry(i);
      S.WriteBuffer(&c, 4);
    }
    S.WriteBuffer(G.GetBits(), FailAfterHeader ? 1 : G.ImageSize());
    if (FailAfterHeader) throw EWriteError("disk full");
  }
  bool FailAfterHeader = false;
};

class LoadSave : public ::testing::Test {
protected:
  void SetUp() override {
    InitClampTable();
    InitPGOptions();
    InitFileFormatRegistries();
    RegisterFileFormatReader(std::make_unique<TRawReader>());
    auto w = std::make_unique<TRawWriter>(AllColorResolutions);
    Writer = w.get();
    RegisterFileFormatWriter(std::move(w));
    previous = SetPGWarningBoxHook([this](const std::string& Text, const std::string& Caption, TPGBoxButtons B) {
      Boxes.push_back(Caption + "|" + Text);
      Buttons = B;
      return Answer;
    });
  }
  void TearDown() override {
    SetPGWarningBoxHook(previous);
    FreeFileFormatRegistries();
  }

  // An image in a given colour resolution with a recognisable pattern.
  static void Make(TPixelGraphic& G, int Resolution) {
    static const uint8_t format[8] = {pf1Bit, pf1Bit, pf4Bit, pf4Bit, pf4Bit, pf8Bit, pf8Bit, pf24Bit};
    static const TPaletteIdent ident[8] = {pBlackWhite, pUnknown, pGray16, pSys16, pUnknown, pGray256, pUnknown, pTrueColor};
    G.NewImage(7, 5, format[Resolution]);
    if (ident[Resolution] == pUnknown) {
      G.SetPaletteCount(G.GetMaxColors());
      for (int i = 0; i < G.GetMaxColors(); ++i) G.SetPaletteEntry(i, TColor(i * 0x030507 + 0x112233) & 0xFFFFFF);
    } else if (ident[Resolution] != pTrueColor) {
      G.SetPaletteIdent(ident[Resolution]);
    }
    const uint32_t mod = format[Resolution] == pf24Bit ? 1u << 24 : uint32_t(G.GetMaxColors());
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 7; ++x) G.SetPixel(x, y, uint32_t(x * 97 + y * 31 + x * y * 65537) % mod);
  }

  TRawWriter* Writer = nullptr;
  std::vector<std::string> Boxes;
  TPGBoxButtons Buttons = pgbOK;
  bool Answer = true;
  TPGWarningBoxHook previous;
};

std::string TempPath(const std::string& Name) { return std::string(QUILLON_BUILD_DIR) + "/load_save_" + Name; }

std::vector<uint8_t> FileBytes(const std::string& Name) {
  TMemoryStream m;
  m.LoadFromFile(Name);
  return m.Bytes();
}

}  // namespace

TEST_F(LoadSave, RoundTripsInEveryColourResolution) {
  for (int res = 0; res < 8; ++res) {
    TPixelGraphic g, back;
    Make(g, res);
    TMemoryStream m;
    g.SaveToStreamAs(m, ".QRW");
    m.SetPosition(0);
    back.LoadFromStream(m);
    ASSERT_EQ(back.PixelFormat(), g.PixelFormat()) << res;
    EXPECT_EQ(back.PaletteIdent(), g.PaletteIdent()) << res;
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 7; ++x) ASSERT_EQ(back.GetPixelColor(x, y), g.GetPixelColor(x, y)) << res;
  }
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(LoadSave, FallbackWarningAnsweredOKAndCancel) {
  Writer->SetCanWriteResolutions(0x01);  // black and white only
  TPixelGraphic g;
  Make(g, 7);
  TMemoryStream m;
  g.SetSaveColorResWarningAction(pgwaOKCancelBox);
  g.SaveToStreamAs(m, "qrw");
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Buttons, pgbOKCancel);
  EXPECT_NE(Boxes[0].find("Raw file with the current color resolution (16.7 million colors)"), std::string::npos);
  EXPECT_NE(Boxes[0].find("different color resolution (black and white)"), std::string::npos);
  m.SetPosition(0);
  TPixelGraphic back;
  back.LoadFromStream(m);
  EXPECT_EQ(back.PixelFormat(), pf1Bit);
  EXPECT_EQ(back.PaletteIdent(), pBlackWhite);
  EXPECT_EQ(g.PixelFormat(), pf24Bit);  // the image itself is untouched

  Answer = false;
  TMemoryStream n;
  try {
    g.SaveToStreamAs(n, "qrw");
    FAIL() << "Cancel must refuse the save";
  } catch (const EPGCannotWriteColorRes& e) {
    EXPECT_NE(std::string(e.what()).find("(16.7 million colors)"), std::string::npos);
  }
  EXPECT_EQ(n.Size(), 0);
  g.SetSaveColorResWarningAction(pgwaRaise);
  EXPECT_THROW(g.SaveToStreamAs(n, "qrw"), EPGCannotWriteColorRes);
  Boxes.clear();
  g.SetSaveColorResWarningAction(pgwaIgnore);
  g.SaveToStreamAs(n, "qrw");
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(LoadSave, FallbackRowPicksTheFirstStorableResolution) {
  Writer->SetCanWriteResolutions(0xC0);  // 256 colours and 16.7 million
  TPixelGraphic g, back;
  Make(g, 2);  // 16 shades of grey: tries 2, 4, 5, 6
  g.SetSaveColorResWarningAction(pgwaIgnore);
  TMemoryStream m;
  g.SaveToStreamAs(m, "qrw");
  m.SetPosition(0);
  back.LoadFromStream(m);
  EXPECT_EQ(back.PixelFormat(), pf8Bit);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) EXPECT_EQ(back.GetPixelColor(x, y), g.GetPixelColor(x, y));
}

TEST_F(LoadSave, WriterLookupFailures) {
  TPixelGraphic g;
  Make(g, 7);
  TMemoryStream m;
  try {
    g.SaveToStreamAs(m, ".XYZ");
    FAIL();
  } catch (const EPGUnknownExtension& e) {
    EXPECT_EQ(std::string(e.what()), "Unknown file extension \"xyz\"");
  }
  RegisterFileFormatWriter(std::make_unique<TRawWriter>(0, "nul"));
  EXPECT_THROW(g.SaveToStreamAs(m, "nul"), EPGCanWriteResolutionsEmpty);
  FileFormatWriters->Clear();
  EXPECT_THROW(g.SaveToStreamAs(m, "qrw"), EPGFileFormatWritersEmpty);
  TMemoryStream unknown;
  unknown.WriteBuffer("no such format", 14);
  unknown.SetPosition(0);
  try {
    g.LoadFromStream(unknown);
    FAIL();
  } catch (const EPGUnknownFileFormat& e) {
    EXPECT_EQ(std::string(e.what()), "Unknown file format");
  }
}

TEST_F(LoadSave, GammaCorrectionOnlyForASoundGammaOutsideFivePercent) {
  auto load = [](TPixelGraphic& G, uint8_t Format, long double Gamma) {
    TPixelGraphic src;
    src.NewImage(2, 1, Format);
    if (Format == pf8Bit) {
      src.SetPaletteCount(2);
      src.SetPaletteEntry(0, 0x000000);
      src.SetPaletteEntry(1, 0x804020);
      src.SetPixel(1, 0, 1);
    } else {
      src.SetPixel(1, 0, 0x804020);
    }
    src.SetGamma(Gamma);
    TMemoryStream m;
    src.SaveToStreamAs(m, "qrw");
    if (std::isnan(Gamma)) {
      int32_t nan = INT32_MIN;
      m.SetPosition(20);
      m.WriteBuffer(&nan, 4);
    }
    m.SetPosition(0);
    G.LoadFromStream(m);
  };
  // The default gamma is 2.2: a picture of gamma 1.8 is corrected to it.
  auto corrected = [](int v, long double gamma) {
    return int(std::nearbyint(255 * std::pow(v / 255.0L, gamma / 2.2L)));
  };
  for (uint8_t format : {pf8Bit, pf24Bit}) {
    TPixelGraphic g;
    load(g, format, 1.8L);
    EXPECT_EQ(g.Gamma(), 2.2L);
    const TColor c = g.GetPixelColor(1, 0);
    EXPECT_EQ(int(c & 0xFF), corrected(0x20, 1.8L));
    EXPECT_EQ(int((c >> 8) & 0xFF), corrected(0x40, 1.8L));
    EXPECT_EQ(int((c >> 16) & 0xFF), corrected(0x80, 1.8L));
    EXPECT_EQ(g.GetPixelColor(0, 0), 0u);
    for (long double gamma : {2.25L, 0.0L, -2.0L, std::numeric_limits<long double>::quiet_NaN()}) {
      load(g, format, gamma);
      EXPECT_EQ(g.GetPixelColor(1, 0), 0x804020u) << double(gamma);
    }
    PGGammaCorrectOnLoad = false;
    load(g, format, 1.8L);
    EXPECT_EQ(g.GetPixelColor(1, 0), 0x804020u);
    EXPECT_NEAR(double(g.Gamma()), 1.8, 1e-9);
    PGGammaCorrectOnLoad = true;
  }
}

TEST_F(LoadSave, FailedSaveLeavesTheOriginalByteForByte) {
  const std::string dir = TempPath("dir");
  std::filesystem::remove_all(dir);
  ASSERT_TRUE(ForceDirectories(dir));
  const std::string name = dir + "/picture.QRW";
  TPixelGraphic g, back;
  Make(g, 6);
  g.SaveToFile(name);
  const std::vector<uint8_t> original = FileBytes(name);
  back.LoadFromFile(name);
  EXPECT_EQ(back.GetPixelColor(3, 2), g.GetPixelColor(3, 2));

  Writer->FailAfterHeader = true;
  TPixelGraphic other;
  Make(other, 7);
  EXPECT_THROW(other.SaveToFile(name), EWriteError);
  EXPECT_EQ(FileBytes(name), original);
  EXPECT_THROW(other.SaveToFile(dir + "/new.qrw"), EWriteError);
  EXPECT_FALSE(FileExists(dir + "/new.qrw"));
  int files = 0;
  for (auto& e : std::filesystem::directory_iterator(dir)) files += e.is_regular_file();
  EXPECT_EQ(files, 1);  // no temporary file left behind

  Writer->FailAfterHeader = false;
  other.SaveToFile(name);
  back.LoadFromFile(name);
  EXPECT_EQ(back.PixelFormat(), pf24Bit);
  std::filesystem::remove_all(dir);
}
