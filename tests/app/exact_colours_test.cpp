// Pictures whose colours fit the palette go through open, reduce (optimal
// palette, dithering on and off), Save As GIF and reopen with every pixel
// as it was: a flat graphic with anti-aliased edges, a greyscale PNG, GIFs of
// 2, 16 and 256 colours and a 16-colour BMP, all made here.
#include <set>
#include <string>
#include <vector>

#include "app_fixture.h"
#include "imaging/viewer/pg_image.h"
#include "platform/ui/menus.h"

namespace {

constexpr TColor Rgb(uint32_t R, uint32_t G, uint32_t B) { return R | G << 8 | B << 16; }

// 640 x 480, white, with a red rectangle, a blue circle and a green
// triangle; each pixel mixes 4 x 4 samples, so the edges are anti-aliased.
void DrawFlatGraphic(TPixelGraphic& G) {
  G.NewImage(640, 480, pf24Bit);
  auto sample = [](double X, double Y) -> TColor {
    const auto side = [&](double AX, double AY, double BX, double BY) { return (BX - AX) * (Y - AY) - (BY - AY) * (X - AX); };
    if (side(400, 60, 600, 300) >= 0 && side(600, 300, 330, 260) >= 0 && side(330, 260, 400, 60) >= 0)
      return Rgb(0, 170, 0);
    if ((X - 250) * (X - 250) + (Y - 300) * (Y - 300) <= 110.5 * 110.5) return Rgb(0, 0, 255);
    if (X >= 60.3 && X <= 300.7 && Y >= 40.2 && Y <= 200.6) return Rgb(255, 0, 0);
    return Rgb(255, 255, 255);
  };
  for (int32_t y = 0; y < 480; ++y)
    for (int32_t x = 0; x < 640; ++x) {
      uint32_t sum[3] = {0, 0, 0};
      for (int32_t s = 0; s < 16; ++s) {
        const TColor c = sample(x + (s % 4 + 0.5) / 4, y + (s / 4 + 0.5) / 4);
        for (int32_t k = 0; k < 3; ++k) sum[k] += (c >> (8 * k)) & 0xFF;
      }
      G.SetPixel(x, y, Rgb((sum[0] + 8) / 16, (sum[1] + 8) / 16, (sum[2] + 8) / 16));
    }
}

// An 8-bit picture of Colors palette entries, Entry(i) each, whose pixels use
// every entry.
void DrawIndexed(TPixelGraphic& G, uint8_t Format, int32_t Colors, TColor (*Entry)(int32_t)) {
  G.NewImage(97, 61, Format);
  G.SetPaletteCount(Colors);
  for (int32_t i = 0; i < Colors; ++i) G.SetPaletteEntry(i, Entry(i));
  for (int32_t y = 0; y < 61; ++y)
    for (int32_t x = 0; x < 97; ++x) G.SetPixel(x, y, static_cast<uint32_t>((x * 13 + y * 7 + x * y / 9) % Colors));
}

// Colours that share 5-6-5 cells in twos and fours, as a photo's 256 colours do.
TColor Crowded(int32_t I) { return Rgb(I, 255 - I / 2, (I * 3) & 0xFF); }
TColor Sixteen(int32_t I) {
  const TColor c[16] = {Rgb(255, 255, 255), Rgb(252, 254, 252), Rgb(0, 0, 255),   Rgb(4, 2, 252),
                        Rgb(0, 170, 0),     Rgb(0, 155, 0),     Rgb(255, 0, 0),   Rgb(250, 1, 3),
                        Rgb(0, 0, 0),       Rgb(1, 1, 1),       Rgb(128, 128, 128), Rgb(130, 129, 131),
                        Rgb(90, 60, 30),    Rgb(91, 61, 31),    Rgb(200, 200, 0), Rgb(30, 200, 200)};
  return c[I];
}
TColor Two(int32_t I) { return I ? Rgb(250, 250, 250) : Rgb(255, 255, 255); }

class ExactColours : public AppTest {
protected:
  void SetUp() override {
    AppTest::SetUp();
    Start();
  }
  // Opens Name, reduces to Colors colours (optimal palette) with dithering
  // as asked, saves as GIF and compares the file's pixels with the picture.
  void ExpectKept(const std::string& Name, int32_t Colors, bool Dither) {
    SCOPED_TRACE(Name + ", " + std::to_string(Colors) + " colours, dithering " + std::to_string(Dither));
    TPixelGraphic original;
    original.LoadFromFile(Dir + Name);
    Form->LoadFile(Dir + Name);
    if (Form->Dithering1->Checked() != Dither) Form->Dithering1Click(Form->Dithering1);
    Form->edColors->SetValue(Colors);
    Form->btnRefreshClick(nullptr);
    ASSERT_TRUE(Form->Color1->Checked());
    Form->SaveFile(Dir + "saved.gif");
    TPixelGraphic saved;
    saved.LoadFromFile(Dir + "saved.gif");
    TPixelGraphic* shown = Form->Image1->GetPixelGraphic();
    ASSERT_EQ(saved.Width(), original.Width());
    ASSERT_EQ(saved.Height(), original.Height());
    int32_t changed = 0, shownChanged = 0;
    for (int32_t y = 0; y < original.Height(); ++y)
      for (int32_t x = 0; x < original.Width(); ++x) {
        changed += saved.GetPixelColor(x, y) != original.GetPixelColor(x, y);
        shownChanged += shown->GetPixelColor(x, y) != original.GetPixelColor(x, y);
      }
    EXPECT_EQ(changed, 0);
    EXPECT_EQ(shownChanged, 0);
  }
};

TEST_F(ExactColours, PicturesThatFitThePaletteKeepEveryPixel) {
  TPixelGraphic flat;
  DrawFlatGraphic(flat);
  std::set<TColor> colours;
  for (int32_t y = 0; y < 480; ++y)
    for (int32_t x = 0; x < 640; ++x) colours.insert(flat.GetPixel(x, y));
  ASSERT_LE(colours.size(), 256u);
  ASSERT_GT(colours.size(), 16u);
  flat.SaveToFile(Dir + "flat.png");

  TPixelGraphic picture;
  picture.NewImage(300, 200, pf8Bit);
  picture.SetPaletteIdent(pGray256);
  for (int32_t y = 0; y < 200; ++y)
    for (int32_t x = 0; x < 300; ++x) picture.SetPixel(x, y, static_cast<uint32_t>(40 + (x + 3 * y) % 167));
  picture.SaveToFile(Dir + "grey.png");
  DrawIndexed(picture, pf8Bit, 256, Crowded);
  picture.SaveToFile(Dir + "c256.gif");
  DrawIndexed(picture, pf8Bit, 16, Sixteen);
  picture.SaveToFile(Dir + "c16.gif");
  DrawIndexed(picture, pf8Bit, 2, Two);
  picture.SaveToFile(Dir + "c2.gif");
  DrawIndexed(picture, pf4Bit, 16, Sixteen);
  picture.SaveToFile(Dir + "c16.bmp");
  // The same sixteen colours in a true-colour picture.
  TPixelGraphic wide;
  wide.NewImage(picture.Width(), picture.Height(), pf24Bit);
  wide.CopyFrom(&picture);
  wide.SaveToFile(Dir + "c16.png");

  for (bool dither : {true, false}) {
    for (const char* name : {"flat.png", "grey.png", "c256.gif", "c16.bmp", "c2.gif", "c16.gif"})
      ExpectKept(name, 256, dither);
    for (const char* name : {"c16.bmp", "c16.png", "c16.gif"}) ExpectKept(name, 16, dither);
  }
}

}  // namespace
