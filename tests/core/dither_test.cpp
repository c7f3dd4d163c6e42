// The ditherer's tables and arithmetic, and the unscaled copy that drives it.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "imaging/core/dither.h"

namespace {

constexpr TColor Rgb(uint8_t R, uint8_t G, uint8_t B) {
  return TColor(R) | TColor(G) << 8 | TColor(B) << 16;
}
constexpr TColor Grey(uint8_t V) { return Rgb(V, V, V); }

// Opens the ditherer state to the tests.
class TProbe : public TPixelGraphic {
public:
  const std::vector<int32_t>& Limits() const { return FErrorLimitTable; }
  const std::vector<int32_t>& CurrentErrors() const { return FCurrentErrors; }
  const std::vector<int32_t>& NextErrors() const { return FNextErrors; }
  int32_t Limit(int32_t Error) const { return FErrorLimitTable[ErrorLimitTableCentre + Error]; }
};

class Dither : public ::testing::Test {
protected:
  void SetUp() override { InitClampTable(); }

  // A 24-bit image whose rows are given top first.
  static void FillRows(TPixelGraphic& Image, const std::vector<std::vector<TColor>>& Rows) {
    Image.NewImage(int32_t(Rows[0].size()), int32_t(Rows.size()), pf24Bit);
    for (size_t y = 0; y < Rows.size(); ++y)
      for (size_t x = 0; x < Rows[y].size(); ++x) Image.SetPixel(int32_t(x), int32_t(y), Rows[y][x]);
  }
  // An 8-bit image of the given size with a custom palette, exact search.
  static void MakeIndexed(TPixelGraphic& Image, int32_t Width, int32_t Height,
                          const std::vector<TColor>& Palette) {
    Image.NewImage(Width, Height, pf8Bit);
    Image.SetPaletteCount(int32_t(Palette.size()));
    for (size_t i = 0; i < Palette.size(); ++i) Image.SetPaletteEntry(int32_t(i), Palette[i]);
    Image.SetUseColorCache(false);
  }
  static std::vector<std::vector<uint32_t>> Indexes(TPixelGraphic& Image) {
    std::vector<std::vector<uint32_t>> rows(Image.GetHeight());
    for (int32_t y = 0; y < Image.GetHeight(); ++y)
      for (int32_t x = 0; x < Image.GetWidth(); ++x) rows[y].push_back(Image.GetPixel(x, y));
    return rows;
  }
};

TEST_F(Dither, ClampTable) {
  const int32_t* clamp = ClampTable();
  EXPECT_EQ(clamp[-510], 0);
  EXPECT_EQ(clamp[-1], 0);
  EXPECT_EQ(clamp[0], 0);
  EXPECT_EQ(clamp[128], 128);
  EXPECT_EQ(clamp[255], 255);
  EXPECT_EQ(clamp[256], 255);
  EXPECT_EQ(clamp[510], 255);
}

TEST_F(Dither, AutoStepByPaletteKind) {
  const std::pair<TPaletteIdent, int32_t> steps[] = {
      {pNone, 32},         {pTrueColor, 32},   {pUnknown, 32},  {pBlackWhite, 255},
      {pSysGray4, 128},    {pSys16, 128},      {pGray4, 128},   {pGray16, 32},
      {pGray236, 3},       {pGray256, 2},      {pSpecial125, 104}, {pSpecial216, 86},
      {pSpecial252, 104},  {pOptimized252Sys16, 0}, {pSource, 0}};
  for (const auto& [ident, step] : steps) EXPECT_EQ(AutoErrorLimitStep(ident), step) << int(ident);
}

TEST_F(Dither, ErrorLimitTables) {
  // Black and white, automatic: step 255 with the soft ramp from 127 on.
  TProbe image;
  image.NewImage(2, 1, pf1Bit);
  image.SetPaletteIdent(pBlackWhite);
  image.InitDither();
  ASSERT_EQ(image.Limits().size(), size_t(ErrorLimitTableSize));
  const std::pair<int32_t, int32_t> blackWhite[] = {
      {0, 0}, {126, 126}, {127, 126}, {200, 163}, {254, 190}, {255, 255}, {-127, -126}, {-255, -255}};
  for (const auto& [error, limit] : blackWhite) EXPECT_EQ(image.Limit(error), limit) << error;
  EXPECT_TRUE(image.IsGrayPalette());

  // Step 32 with the ramp from 16 to 48.
  image.SetDitherErrorLimitAuto(false);
  image.SetDitherErrorLimit(32);
  image.SetDitherErrorLimitSoft(true);
  image.InitDither();
  const std::pair<int32_t, int32_t> soft32[] = {
      {15, 15}, {16, 16}, {30, 23}, {47, 31}, {48, 32}, {49, 32}, {255, 32}, {-30, -23}, {-255, -32}};
  for (const auto& [error, limit] : soft32) EXPECT_EQ(image.Limit(error), limit) << error;

  // Without the ramp the identity meets the step directly.
  image.SetDitherErrorLimitSoft(false);
  image.InitDither();
  EXPECT_EQ(image.Limit(31), 31);
  EXPECT_EQ(image.Limit(32), 32);
  EXPECT_EQ(image.Limit(-200), -32);

  // Step 0 passes no error on.
  image.SetDitherErrorLimit(0);
  image.InitDither();
  for (int32_t e = -255; e <= 255; ++e) ASSERT_EQ(image.Limit(e), 0) << e;

  image.FreeDitherBuffers();
  EXPECT_TRUE(image.Limits().empty());
  EXPECT_TRUE(image.CurrentErrors().empty());
  image.FreeDitherBuffers();  // nothing allocated: no harm
}

TEST_F(Dither, SixteenthsRoundHalvesAwayFromZero) {
  EXPECT_EQ(RoundSixteenths(8), 1);
  EXPECT_EQ(RoundSixteenths(-8), -1);
  EXPECT_EQ(RoundSixteenths(7), 0);
  EXPECT_EQ(RoundSixteenths(-7), 0);
  EXPECT_EQ(RoundSixteenths(24), 2);
  EXPECT_EQ(RoundSixteenths(-24), -2);
  EXPECT_EQ(RoundSixteenths(16 * 255), 255);
}

TEST_F(Dither, EightSixteenthsApplyOneLevelSevenNone) {
  // 2 x 2 pictures, greys 0, 7, 255 (grey path, step 32: small errors pass
  // unchanged). Row 0: (0,0) wants 3 -> 0, error 3; (1,0) gets 21/16 -> +1,
  // wants 1 -> 0, error 1. Pixel (1,1) then holds 3 + 5 * 1 = 8 sixteenths:
  // +1 makes its 3 a 4, nearer to 7 than to 0.
  TPixelGraphic source, dest;
  FillRows(source, {{Grey(3), Grey(0)}, {Grey(0), Grey(3)}});
  MakeIndexed(dest, 2, 2, {Grey(0), Grey(7), Grey(255)});
  dest.CopyRectUnscaled(0, 0, 2, 2, 0, 0, &source);
  EXPECT_EQ(Indexes(dest), (std::vector<std::vector<uint32_t>>{{0, 0}, {0, 1}}));
  // With 2 at (0,0): 2 + 5 * 1 = 7 sixteenths apply nothing; (1,1) stays 3 -> 0.
  FillRows(source, {{Grey(2), Grey(0)}, {Grey(0), Grey(3)}});
  dest.CopyRectUnscaled(0, 0, 2, 2, 0, 0, &source);
  EXPECT_EQ(Indexes(dest), (std::vector<std::vector<uint32_t>>{{0, 0}, {0, 0}}));

  // The mirror image near white: greys 248, 255. (0,0) wants 252 -> 255,
  // error -3; (1,0) gets -21/16 -> -1 and errs by -1; (1,1) holds -8: its 252
  // becomes 251, nearer to 248.
  MakeIndexed(dest, 2, 2, {Grey(248), Grey(255)});
  FillRows(source, {{Grey(252), Grey(255)}, {Grey(255), Grey(252)}});
  dest.CopyRectUnscaled(0, 0, 2, 2, 0, 0, &source);
  EXPECT_EQ(Indexes(dest), (std::vector<std::vector<uint32_t>>{{1, 1}, {1, 0}}));
  // -2 at (0,0): -7 sixteenths at (1,1) apply nothing; 252 stays with 255.
  FillRows(source, {{Grey(253), Grey(255)}, {Grey(255), Grey(252)}});
  dest.CopyRectUnscaled(0, 0, 2, 2, 0, 0, &source);
  EXPECT_EQ(Indexes(dest), (std::vector<std::vector<uint32_t>>{{1, 1}, {1, 1}}));
}

TEST_F(Dither, ColourErrorsSpreadPerChannel) {
  // One pixel on an even row: its error goes 7/16 right, 3/16 below left,
  // 5/16 below and 1/16 below right, each channel on its own.
  TProbe dest;
  MakeIndexed(dest, 3, 2, {Rgb(0, 0, 0), Rgb(255, 255, 255), Rgb(255, 0, 0)});
  dest.InitDither();
  EXPECT_FALSE(dest.IsGrayPalette());
  dest.NextDitherRow();
  dest.DitherPixel(1, 0, 200, 20, 90);  // nearest (255, 0, 0): error (-55, 20, 90)
  EXPECT_EQ(dest.GetPixel(1, 0), 2u);
  const std::vector<int32_t>& current = dest.CurrentErrors();
  const std::vector<int32_t>& next = dest.NextErrors();
  ASSERT_EQ(current.size(), 15u);
  EXPECT_EQ((std::vector<int32_t>(current.begin() + 9, current.begin() + 12)),
            (std::vector<int32_t>{-385, 140, 630}));
  EXPECT_EQ((std::vector<int32_t>(next.begin() + 3, next.begin() + 12)),
            (std::vector<int32_t>{-165, 60, 270, -275, 100, 450, -55, 20, 90}));
  // On an odd row "ahead" is to the left. Pixel (2,1) carries (-55, 20, 90)
  // sixteenths: -3, +1, +6 levels, so it wants (0, 1, 16) and takes black;
  // its error (0, 1, 16) goes 7/16 to (1,1), and below to x = 3, 2, 1.
  dest.NextDitherRow();
  dest.DitherPixel(2, 1, 0, 0, 10);
  EXPECT_EQ(dest.GetPixel(2, 1), 0u);
  EXPECT_EQ((std::vector<int32_t>(dest.CurrentErrors().begin() + 6, dest.CurrentErrors().begin() + 9)),
            (std::vector<int32_t>{-275, 107, 562}));
  EXPECT_EQ((std::vector<int32_t>(dest.NextErrors().begin() + 6, dest.NextErrors().end())),
            (std::vector<int32_t>{0, 1, 16, 0, 5, 80, 0, 3, 48}));
}

TEST_F(Dither, PixelsOutsideTheRowSpreadNothing) {
  // Columns -1 and Width have no error position: nothing is stored and no
  // error reaches the rows (nor past their ends), on even and odd rows.
  TProbe dest;
  MakeIndexed(dest, 3, 2, {Rgb(0, 0, 0), Rgb(255, 0, 0)});
  dest.InitDither();
  for (int32_t y = 0; y < 2; ++y) {
    dest.NextDitherRow();
    for (int32_t x : {-1, 3, 4}) dest.DitherPixel(x, y, 200, 100, 50);
    EXPECT_EQ(dest.CurrentErrors(), std::vector<int32_t>(15, 0)) << y;
    EXPECT_EQ(dest.NextErrors(), std::vector<int32_t>(15, 0)) << y;
  }
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(dest.GetPixel(x, y), 0u);
}

TEST_F(Dither, GreyPathUsesGreenOnly) {
  // Pure red on a black and white palette of kind pUnknown: weighted, its grey
  // is 255 * 299 * 3 div 1000 div 3 = 76; unweighted 255 div 3 = 85.
  for (const bool weighted : {true, false}) {
    TProbe dest;
    MakeIndexed(dest, 2, 2, {Grey(0), Grey(255)});
    dest.SetRGBWeighting(weighted);
    dest.InitDither();
    EXPECT_TRUE(dest.IsGrayPalette());
    dest.NextDitherRow();
    dest.DitherPixel(0, 0, 255, 0, 0);
    const int32_t level = weighted ? 76 : 85;
    EXPECT_EQ(dest.CurrentErrors()[6 + 0], 0);
    EXPECT_EQ(dest.CurrentErrors()[6 + 1], 7 * level);
    EXPECT_EQ(dest.CurrentErrors()[6 + 2], 0);
    EXPECT_EQ(dest.NextErrors()[3 + 1], 5 * level);
    for (size_t i = 0; i < dest.NextErrors().size(); i += 3) {
      EXPECT_EQ(dest.NextErrors()[i], 0);
      EXPECT_EQ(dest.NextErrors()[i + 2], 0);
    }
  }
}

TEST_F(Dither, OddRowStartsOnTheRight) {
  // Black and white greys (step 32): row 0 is exact. Row 1 (120, 120, 10)
  // runs right to left: 10 -> 0 (error 10), 120 + 70/16 -> 124 -> 0 (error
  // 124), 120 + t[54] = 152 -> 1. Left to right it would give 0, 1, 0.
  TPixelGraphic source, dest;
  FillRows(source, {{Grey(0), Grey(255), Grey(0)}, {Grey(120), Grey(120), Grey(10)}});
  MakeIndexed(dest, 3, 2, {Grey(0), Grey(255)});
  dest.CopyRectUnscaled(0, 0, 3, 2, 0, 0, &source);
  EXPECT_EQ(Indexes(dest), (std::vector<std::vector<uint32_t>>{{0, 1, 0}, {1, 0, 0}}));
}

TEST_F(Dither, GradientToBlackAndWhiteByHand) {
  // Greys 30 + 40x + 20y on a 1-bit black and white image (step 255 with the
  // soft ramp), worked through pixel by pixel.
  std::vector<std::vector<TColor>> rows(3);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 4; ++x) rows[y].push_back(Grey(uint8_t(30 + 40 * x + 20 * y)));
  TPixelGraphic source, dest;
  FillRows(source, rows);
  dest.NewImage(4, 3, pf1Bit);
  dest.SetPaletteIdent(pBlackWhite);
  dest.CopyRectUnscaled(0, 0, 4, 3, 0, 0, &source);
  EXPECT_EQ(Indexes(dest),
            (std::vector<std::vector<uint32_t>>{{0, 0, 1, 0}, {0, 1, 0, 1}, {0, 0, 1, 1}}));
  // CopyFrom of an image of the same size is the same copy.
  TPixelGraphic whole;
  whole.NewImage(4, 3, pf1Bit);
  whole.SetPaletteIdent(pBlackWhite);
  whole.CopyFrom(&source);
  EXPECT_EQ(Indexes(whole), Indexes(dest));
  // Without dithering every pixel takes its own nearest colour.
  dest.SetDither(false);
  dest.CopyRectUnscaled(0, 0, 4, 3, 0, 0, &source);
  EXPECT_EQ(Indexes(dest),
            (std::vector<std::vector<uint32_t>>{{0, 0, 0, 1}, {0, 0, 1, 1}, {0, 0, 1, 1}}));
}

TEST_F(Dither, StepZeroEqualsPlainNearest) {
  std::vector<std::vector<TColor>> rows(5);
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 7; ++x) rows[y].push_back(Rgb(uint8_t(x * 37), uint8_t(y * 50), 90));
  TPixelGraphic source, plain, dithered;
  FillRows(source, rows);
  const std::vector<TColor> palette{Rgb(0, 0, 0), Rgb(255, 0, 0), Rgb(0, 255, 0), Rgb(200, 200, 100)};
  MakeIndexed(plain, 7, 5, palette);
  plain.SetDither(false);
  plain.CopyRectUnscaled(0, 0, 7, 5, 0, 0, &source);
  MakeIndexed(dithered, 7, 5, palette);
  dithered.SetDitherErrorLimitAuto(false);
  dithered.SetDitherErrorLimit(0);
  dithered.CopyRectUnscaled(0, 0, 7, 5, 0, 0, &source);
  EXPECT_EQ(Indexes(dithered), Indexes(plain));
  dithered.SetDitherErrorLimit(32);
  dithered.CopyRectUnscaled(0, 0, 7, 5, 0, 0, &source);
  EXPECT_NE(Indexes(dithered), Indexes(plain));
}

TEST_F(Dither, TrueColourCopiesBytesWithoutProgressPerRow) {
  TPixelGraphic source, dest;
  FillRows(source, {{Rgb(1, 2, 3), Rgb(4, 5, 6)}, {Rgb(7, 8, 9), Rgb(250, 251, 252)}});
  dest.NewImage(2, 2, pf24Bit);
  std::vector<std::string> calls;
  dest.OnProgressStart = [&](TObject*) { calls.push_back("start"); };
  dest.OnProgress = [&](TObject*, int32_t, int32_t, bool&) { calls.push_back("row"); };
  dest.OnProgressEnd = [&](TObject*) { calls.push_back("end"); };
  int32_t changes = 0;
  dest.OnChange = [&](TObject*) { ++changes; };
  dest.CopyFrom(&source);  // Dither is on: no effect on 24 bit
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 2; ++x) EXPECT_EQ(dest.GetPixel(x, y), source.GetPixel(x, y));
  EXPECT_EQ(calls, (std::vector<std::string>{"start", "end"}));
  EXPECT_EQ(changes, 1);
}

TEST_F(Dither, RectanglesAreClippedToBothImages) {
  TPixelGraphic source, dest;
  FillRows(source, {{Rgb(1, 0, 0), Rgb(2, 0, 0), Rgb(3, 0, 0)},
                    {Rgb(4, 0, 0), Rgb(5, 0, 0), Rgb(6, 0, 0)}});
  dest.NewImage(3, 3, pf24Bit);
  // Source (1,0) to dest (-1,1): only source column 2 lands, on dest column 0
  // of rows 1 and 2.
  dest.CopyRectUnscaled(-1, 1, 5, 5, 1, 0, &source);
  std::vector<std::vector<uint32_t>> got(3);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 3; ++x) got[y].push_back(dest.GetPixel(x, y) & 0xFF);
  EXPECT_EQ(got, (std::vector<std::vector<uint32_t>>{{0, 0, 0}, {3, 0, 0}, {6, 0, 0}}));
  // Rectangles that miss either image change nothing but still notify.
  int32_t changes = 0;
  dest.OnChange = [&](TObject*) { ++changes; };
  dest.CopyRectUnscaled(0, 0, 3, 3, 3, 0, &source);
  dest.CopyRectUnscaled(-2147483647, 0, 3, 3, 0, 0, &source);
  EXPECT_EQ(changes, 2);
  TPixelGraphic empty;
  dest.CopyRectUnscaled(0, 0, 3, 3, 0, 0, &empty);
  EXPECT_EQ(changes, 2);
}

TEST_F(Dither, PaletteSourceAndAbort) {
  // A palette source is read through its colours; an abort after row 0
  // leaves the later rows as they were.
  TPixelGraphic source, dest;
  MakeIndexed(source, 2, 3, {Rgb(10, 20, 30), Rgb(250, 0, 0)});
  source.SetPixel(1, 0, 1);
  source.SetPixel(0, 2, 1);
  dest.NewImage(2, 3, pf24Bit);
  std::vector<std::pair<int32_t, int32_t>> steps;
  dest.OnProgress = [&](TObject*, int32_t Step, int32_t Max, bool& Abort) {
    steps.emplace_back(Step, Max);
    Abort = Step == 1;
  };
  dest.CopyRectUnscaled(0, 0, 2, 3, 0, 0, &source);
  EXPECT_EQ(steps, (std::vector<std::pair<int32_t, int32_t>>{{0, 2}, {1, 2}}));
  EXPECT_EQ(dest.GetPixel(0, 0), Rgb(10, 20, 30));
  EXPECT_EQ(dest.GetPixel(1, 0), Rgb(250, 0, 0));
  EXPECT_EQ(dest.GetPixel(0, 1), Rgb(10, 20, 30));
  EXPECT_EQ(dest.GetPixel(0, 2), 0u);  // not copied
}

}  // namespace

namespace {

// A derived image: the unscaled copy then dithers pixel by pixel through
// DitherPixel, the reference for its row ditherer.
class TPerPixel : public TPixelGraphic {};

// A busy 24-bit picture: gradients with a hashed ripple.
void FillBusy(TPixelGraphic& Image, int32_t Width, int32_t Height) {
  Image.NewImage(Width, Height, pf24Bit);
  for (int32_t y = 0; y < Height; ++y)
    for (int32_t x = 0; x < Width; ++x) {
      uint32_t h = uint32_t(x) * 2654435761u ^ uint32_t(y) * 2246822519u;
      h ^= h >> 15;
      Image.SetPixel(x, y, Rgb(uint8_t(x * 255 / Width + (h & 15)), uint8_t(y * 255 / Height),
                               uint8_t((x + y) * 2 + (h >> 8 & 31))));
    }
}

void ExpectSameAsPerPixel(TPixelGraphic& Source, uint8_t Format,
                          const std::function<void(TPixelGraphic&)>& SetPalette, int32_t DestX,
                          int32_t DestY, int32_t SrcX, int32_t SrcY) {
  const int32_t width = Source.GetWidth(), height = Source.GetHeight();
  TPixelGraphic fast;
  TPerPixel reference;
  for (TPixelGraphic* dest : {static_cast<TPixelGraphic*>(&fast), static_cast<TPixelGraphic*>(&reference)}) {
    dest->NewImage(width, height, Format);
    SetPalette(*dest);
    // Pixels the copy does not reach keep these.
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x) dest->SetPixel(x, y, uint32_t(x + 2 * y) % uint32_t(dest->GetMaxColors()));
    dest->CopyRectUnscaled(DestX, DestY, width, height, SrcX, SrcY, &Source);
  }
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x)
      ASSERT_EQ(fast.GetPixel(x, y), reference.GetPixel(x, y)) << x << ", " << y;
}

}  // namespace

TEST_F(Dither, RowDithererEqualsPixelByPixel) {
  TPixelGraphic source;
  FillBusy(source, 61, 37);
  auto custom = [](bool Cache) {
    return [Cache](TPixelGraphic& Image) {
      Image.SetPaletteCount(40);
      for (int32_t i = 0; i < 40; ++i)
        Image.SetPaletteEntry(i, Rgb(uint8_t(i * 97), uint8_t(i * 53 + 20), uint8_t(255 - i * 6)));
      Image.SetUseColorCache(Cache);
    };
  };
  auto kind = [](TPaletteIdent Ident) { return [Ident](TPixelGraphic& Image) { Image.SetPaletteIdent(Ident); }; };
  auto greys = [](TPixelGraphic& Image) {
    Image.SetPaletteCount(5);
    for (int32_t i = 0; i < 5; ++i) Image.SetPaletteEntry(i, Grey(uint8_t(i * 60)));
  };
  // A palette source goes the same way; 1- and 4-bit pictures are read and
  // stored a row at a time, from and to columns inside a byte.
  TPixelGraphic indexed, four, one;
  using TPalette = std::function<void(TPixelGraphic&)>;
  for (auto [image, format, palette] : {std::tuple{&indexed, pf8Bit, TPalette(custom(false))},
                                        std::tuple{&four, pf4Bit, TPalette(kind(pSys16))},
                                        std::tuple{&one, pf1Bit, TPalette(kind(pBlackWhite))}}) {
    image->NewImage(61, 37, format);
    palette(*image);
    image->SetDither(false);
    image->CopyRectUnscaled(0, 0, 61, 37, 0, 0, &source);
  }
  ExpectSameAsPerPixel(indexed, pf4Bit, kind(pSys16), 0, 0, 0, 0);
  ExpectSameAsPerPixel(indexed, pf8Bit, greys, 0, 0, 0, 0);

  // Dithered and not: the plain nearest colours also go row by row.
  for (bool dither : {true, false}) {
    SCOPED_TRACE(dither);
    auto with = [dither](TPalette Palette) {
      return [=](TPixelGraphic& Image) {
        Palette(Image);
        Image.SetDither(dither);
      };
    };
    ExpectSameAsPerPixel(source, pf8Bit, with(custom(true)), 0, 0, 0, 0);
    ExpectSameAsPerPixel(source, pf8Bit, with(custom(false)), 0, 0, 0, 0);
    ExpectSameAsPerPixel(source, pf8Bit, with(custom(true)), 5, -3, 2, 0);
    ExpectSameAsPerPixel(source, pf8Bit, with(kind(pSpecial252)), 0, 0, 0, 0);
    ExpectSameAsPerPixel(source, pf8Bit, with(kind(pGray236)), 0, 0, 0, 0);
    ExpectSameAsPerPixel(source, pf8Bit, with(greys), -4, 1, 0, 3);
    ExpectSameAsPerPixel(source, pf4Bit, with(kind(pSys16)), 0, 0, 0, 0);
    ExpectSameAsPerPixel(source, pf4Bit, with(kind(pGray16)), 0, 0, 0, 0);
    ExpectSameAsPerPixel(source, pf1Bit, with(kind(pBlackWhite)), 3, 0, 0, 0);
    ExpectSameAsPerPixel(four, pf8Bit, with(custom(true)), 3, -1, 1, 0);
    ExpectSameAsPerPixel(four, pf1Bit, with(kind(pBlackWhite)), -5, 0, 3, 0);
    ExpectSameAsPerPixel(four, pf4Bit, with(kind(pSys16)), 1, 2, 0, 0);
    ExpectSameAsPerPixel(one, pf4Bit, with(kind(pGray16)), 1, 2, 7, 0);
    ExpectSameAsPerPixel(one, pf1Bit, with(kind(pBlackWhite)), 9, 0, 3, 1);
    ExpectSameAsPerPixel(one, pf8Bit, with(kind(pSpecial216)), 0, 0, 13, 1);
  }
}

// A palette picture copied onto a palette that holds its colours maps each
// pixel straight to its colour's entry; wherever a colour lands elsewhere
// (missing, or two colours in one cell of the colour cache) the copy dithers
// as before. Either way the pixels are those of the pixel-by-pixel copy.
TEST_F(Dither, PaletteCopyOntoItsOwnColoursEqualsPixelByPixel) {
  TPixelGraphic busy, indexed;
  FillBusy(busy, 61, 37);
  auto colours = [](int32_t I) { return Rgb(uint8_t(I * 97), uint8_t(I * 53 + 20), uint8_t(255 - I * 6)); };
  indexed.NewImage(61, 37, pf8Bit);
  indexed.SetPaletteCount(40);
  for (int32_t i = 0; i < 40; ++i) indexed.SetPaletteEntry(i, colours(i));
  indexed.SetPaletteEntry(39, Rgb(101, 100, 100));  // one cell with (100, 100, 100) below
  indexed.SetDither(false);
  indexed.CopyRectUnscaled(0, 0, 61, 37, 0, 0, &busy);
  indexed.SetPixel(0, 0, 38);
  indexed.SetPixel(1, 0, 39);

  auto own = [&](int32_t Drop, bool Neighbour) {
    return [=](TPixelGraphic& Image) {
      // The source's colours in reverse order, and some others.
      Image.SetPaletteCount(60);
      for (int32_t i = 0; i < 60; ++i)
        Image.SetPaletteEntry(i, i < 40 ? (39 - i == Drop ? Rgb(1, 2, 3) : colours(39 - i)) : Rgb(7, uint8_t(i), 9));
      Image.SetPaletteEntry(0, Rgb(101, 100, 100));
      if (Neighbour) Image.SetPaletteEntry(45, Rgb(100, 100, 100));
    };
  };
  for (bool dither : {true, false})
    for (auto palette : {own(-1, false), own(17, false), own(-1, true)}) {
      SCOPED_TRACE(dither);
      auto set = [&](TPixelGraphic& Image) {
        palette(Image);
        Image.SetDither(dither);
      };
      ExpectSameAsPerPixel(indexed, pf8Bit, set, 3, -2, 0, 0);
    }

  // A 4-bit picture of the system colours onto the 252-colour table, which
  // begins with them.
  TPixelGraphic sys;
  sys.NewImage(23, 9, pf4Bit);
  sys.SetPaletteIdent(pSys16);
  for (int32_t y = 0; y < 9; ++y)
    for (int32_t x = 0; x < 23; ++x) sys.SetPixel(x, y, uint32_t(x * 7 + y) % 16);
  ExpectSameAsPerPixel(sys, pf8Bit, [](TPixelGraphic& Image) { Image.SetPaletteIdent(pSpecial252); }, 0, 0, 0, 0);

  // Greys onto a grey palette that holds their levels, which dithers their
  // brightness (weighted or not), with and without a colour among them that
  // is not grey.
  TPixelGraphic grey;
  grey.NewImage(23, 9, pf8Bit);
  grey.SetPaletteCount(16);
  for (int32_t i = 0; i < 16; ++i) grey.SetPaletteEntry(i, i == 15 ? Rgb(200, 40, 90) : Rgb(i * 17, i * 17, i * 17));
  for (int32_t levels : {15, 16})
    for (bool weighted : {false, true}) {
      for (int32_t y = 0; y < 9; ++y)
        for (int32_t x = 0; x < 23; ++x) grey.SetPixel(x, y, uint32_t(x * 5 + y * 3) % uint32_t(levels));
      ExpectSameAsPerPixel(grey, pf8Bit, [=](TPixelGraphic& Image) {
        Image.SetPaletteIdent(pGray256);
        Image.SetRGBWeighting(weighted);
        Image.SetDither(true);
      }, 0, 0, 0, 0);
    }
}

// A picture whose every colour is a palette entry keeps its colours through
// the colour cache, dithered or not, also where entries share a 5-6-5 cell
// (white and (252, 254, 252), blue and (4, 2, 252), neighbouring greys): an
// exact match leaves no error to spread.
TEST_F(Dither, PaletteColoursStayExact) {
  std::vector<TColor> palette{Rgb(252, 254, 252), Rgb(255, 255, 255), Rgb(4, 2, 252), Rgb(0, 0, 255),
                              Rgb(0, 170, 0),     Rgb(0, 171, 1),     Rgb(200, 0, 0)};
  std::vector<TColor> greys;
  for (int32_t v = 0; v < 256; v += 3) greys.push_back(Grey(uint8_t(v)));
  greys.push_back(Grey(1));
  for (const std::vector<TColor>* colors : {&palette, &greys}) {
    TPixelGraphic source;
    source.NewImage(53, 31, pf24Bit);
    for (int32_t y = 0; y < 31; ++y)
      for (int32_t x = 0; x < 53; ++x)
        source.SetPixel(x, y, (*colors)[size_t(x * 7 + y * 3 + x / 5 * y) % colors->size()]);
    TPixelGraphic fast;
    TPerPixel reference;
    for (bool dither : {true, false})
      for (TPixelGraphic* dest : {static_cast<TPixelGraphic*>(&fast), static_cast<TPixelGraphic*>(&reference)}) {
        dest->NewImage(53, 31, pf8Bit);
        dest->SetPaletteCount(int32_t(colors->size()));
        for (size_t i = 0; i < colors->size(); ++i) dest->SetPaletteEntry(int32_t(i), (*colors)[i]);
        dest->SetDither(dither);
        dest->CopyFrom(&source);
        for (int32_t y = 0; y < 31; ++y)
          for (int32_t x = 0; x < 53; ++x)
            ASSERT_EQ(dest->GetPixelColor(x, y), source.GetPixel(x, y)) << x << ", " << y << " dither " << dither;
      }
  }
}
