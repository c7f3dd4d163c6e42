// The hyperlink label, the styled label and the gradient fill.
#include <gtest/gtest.h>

#include "controls/gradient_fill.h"
#include "controls/styled_label.h"
#include "controls/url_label.h"
#include "platform/gdi/colors.h"
#include "platform/gdi/objects.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/menus.h"
#include "platform/ui/shell.h"
#include "platform/ui/test_driver.h"

namespace {

class TPlainForm : public TForm {
public:
  explicit TPlainForm(TComponent* AOwner) : TForm(AOwner) {
    SetBorderStyle(bsNone);
    SetBounds(100, 80, 300, 200);
    SetColor(clBtnFace);
  }
};

class SmallControlsTest : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeMenus();
    Application->CreateForm(Form);
    Form->Show();
    driver.ProcessMessages();
  }
  void TearDown() override {
    Form->Free();
    FinalizeMenus();
  }
  TUiTestDriver driver;
  TPlainForm* Form = nullptr;
};

// Pixels of the form's client area that have exactly the colour.
int32_t CountColor(const TWindowImage& Img, TColor Color) {
  int32_t n = 0;
  for (int32_t y = 0; y < Img.Height; ++y)
    for (int32_t x = 0; x < Img.Width; ++x) n += Img.Pixel(x, y) == (ColorToRGB(Color) & 0xFFFFFF);
  return n;
}

TEST_F(SmallControlsTest, UrlLabelOpensAddressOrCaption) {
  TShellRecorder shell;
  auto* label = new TUrlLabel(Form);
  label->SetParent(Form);
  label->SetBounds(10, 10, 150, 20);
  label->SetAutoSize(false);
  label->SetCaption("www.example.com");
  label->SetURL("   ");
  int32_t clicks = 0;
  label->OnClick = [&](TObject*) { ++clicks; };
  EXPECT_EQ(label->Font()->Color(), 0xFF0000u);
  EXPECT_TRUE(label->Font()->Style() & fsUnderline);
  EXPECT_EQ(label->Cursor(), crUrlHand);
  driver.Click(TUiTestDriver::ScreenPoint(label, 5, 5));
  driver.ProcessMessages();
  EXPECT_EQ(clicks, 1);
  ASSERT_EQ(shell.Requests.size(), 1u);
  ASSERT_FALSE(shell.Requests[0].Arguments.empty());
  EXPECT_EQ(shell.Requests[0].Arguments.back(), "www.example.com");
  label->SetURL("mailto:someone@example.com");
  driver.AdvanceClock(1000);
  driver.Click(TUiTestDriver::ScreenPoint(label, 5, 5));
  driver.ProcessMessages();
  ASSERT_EQ(shell.Requests.size(), 2u);
  EXPECT_EQ(shell.Requests[1].Arguments.back(), "mailto:someone@example.com");
  // Both blank: only OnClick.
  label->SetURL(" ");
  label->SetCaption("  ");
  driver.AdvanceClock(1000);
  driver.Click(TUiTestDriver::ScreenPoint(label, 5, 5));
  driver.ProcessMessages();
  EXPECT_EQ(clicks, 3);
  EXPECT_EQ(shell.Requests.size(), 2u);
}

TEST_F(SmallControlsTest, UrlLabelActiveColorAndCopyMenu) {
  TShellRecorder shell;
  auto* label = new TUrlLabel(Form);
  label->SetParent(Form);
  label->SetBounds(10, 10, 150, 20);
  label->SetAutoSize(false);
  label->SetCaption("www.example.com");
  TPoint p = TUiTestDriver::ScreenPoint(label, 5, 5);
  driver.MouseDown(p);
  driver.ProcessMessages();
  EXPECT_EQ(label->Font()->Color(), 0x800080u);
  driver.MouseUp(p);
  driver.ProcessMessages();
  EXPECT_EQ(label->Font()->Color(), 0xFF0000u);
  // The right button opens "Copy" and leaves the colour alone.
  driver.AdvanceClock(1000);
  driver.Click(p, MK_RBUTTON);
  driver.WhenIdle([&] {
    EXPECT_FALSE(OpenMenuWindows().empty());
    EXPECT_EQ(label->Font()->Color(), 0xFF0000u);
    TRect r = MenuItemScreenRect(label->CopyItem());
    driver.Click(TPoint{r.Left + 5, r.Top + 3});
  });
  driver.ProcessMessages();
  EXPECT_EQ(driver.PendingSteps(), 0u);
  EXPECT_EQ(Clipboard()->AsText(), "www.example.com");
  EXPECT_EQ(shell.Requests.size(), 1u);
}

TEST_F(SmallControlsTest, StyledLabelCopies) {
  auto* label = new TStyledLabel(Form);
  label->SetParent(Form);
  label->SetAutoSize(false);
  label->SetBounds(10, 10, 200, 60);
  label->SetColor(clWhite);
  label->Font()->SetSize(28);
  label->Font()->SetColor(clBlack);
  label->SetCaption("Wm");
  label->SetTextStyle(tsRaised);
  driver.ProcessMessages();
  TWindowImage img = driver.ReadWindow(Form->Handle());
  EXPECT_GT(CountColor(img, clBtnShadow), 10);
  label->SetTextStyle(tsNone);
  driver.ProcessMessages();
  img = driver.ReadWindow(Form->Handle());
  EXPECT_EQ(CountColor(img, clBtnShadow), 0);
  EXPECT_GT(CountColor(img, clBlack), 10);
  // Disabled: grey text; the raised copy keeps its colour.
  label->SetColor(clBlack);
  label->SetTextStyle(tsRecessed);
  label->SetEnabled(false);
  driver.ProcessMessages();
  img = driver.ReadWindow(Form->Handle());
  EXPECT_GT(CountColor(img, clGrayText), 10);
  EXPECT_GT(CountColor(img, clBtnHighlight), 10);
  img.SavePng(std::string(QUILLON_BUILD_DIR) + "/controls_styled_label.png");
}

TEST_F(SmallControlsTest, GradientBands) {
  auto* g = new TGradientFill(Form);
  g->SetParent(Form);
  EXPECT_EQ(g->Width(), 105);
  EXPECT_EQ(g->Height(), 105);
  g->SetRealize(false);
  g->PaintGradient();
  TBitmap* b = g->Bitmap();
  // Bands of 6 or 7 rows: boundaries 0, 7, 13, 20.
  EXPECT_EQ(b->Canvas()->Pixels(50, 0), 0xFF0000u);
  EXPECT_EQ(b->Canvas()->Pixels(50, 6), 0xFF0000u);
  EXPECT_EQ(b->Canvas()->Pixels(50, 7), 0xEF0000u);   // 255 + MulDiv(1, -255, 16) = 239
  EXPECT_EQ(b->Canvas()->Pixels(50, 12), 0xEF0000u);
  EXPECT_EQ(b->Canvas()->Pixels(50, 13), 0xDF0000u);  // 255 + MulDiv(2, -255, 16) = 223
  EXPECT_EQ(b->Canvas()->Pixels(50, 104), 0x100000u);  // 255 + MulDiv(15, -255, 16) = 16
  // Bottom to top puts the begin colour at the bottom.
  g->SetFillDirection(fdBottomToTop);
  EXPECT_EQ(b->Canvas()->Pixels(50, 104), 0xFF0000u);
  EXPECT_EQ(b->Canvas()->Pixels(50, 0), 0x100000u);
  g->SetFillDirection(fdLeftToRight);
  EXPECT_EQ(b->Canvas()->Pixels(7, 50), 0xEF0000u);
  g->SetFillDirection(fdRightToLeft);
  EXPECT_EQ(b->Canvas()->Pixels(104, 50), 0xFF0000u);
  // One colour: all begin colour.
  g->SetNumberOfColors(1);
  g->SetFillDirection(fdTopToBottom);
  EXPECT_EQ(b->Canvas()->Pixels(0, 0), 0xFF0000u);
  EXPECT_EQ(b->Canvas()->Pixels(104, 104), 0xFF0000u);
  // 256 colours without a palette: 256 bands.
  g->SetNumberOfColors(256);
  EXPECT_EQ(g->BandCount(), 256);
  EXPECT_EQ(g->GetPalette(), nullptr);
}

TEST_F(SmallControlsTest, GradientThroughPalette) {
  auto* g = new TGradientFill(Form);
  g->SetParent(Form);
  g->SetBounds(10, 10, 120, 150);
  g->SetBeginColor(clRed);
  g->SetEndColor(clBlue);
  g->SetNumberOfColors(256);
  EXPECT_EQ(g->BandCount(), 255);
  ASSERT_NE(g->GetPalette(), nullptr);
  EXPECT_EQ(GetPaletteEntryCount(g->GetPalette()), 256u);
  PALETTEENTRY e[3];
  GetPaletteEntries(g->GetPalette(), 0, 3, e);
  EXPECT_EQ(e[0].peRed, 255);
  EXPECT_EQ(e[1].peRed, 255);
  EXPECT_EQ(e[2].peRed, 254);  // 255 + MulDiv(1, -255, 254)
  // Toggling Realize keeps the band count chosen.
  g->SetRealize(false);
  EXPECT_EQ(g->BandCount(), 255);
  driver.ProcessMessages();
  EXPECT_EQ(driver.Pixel(Form->Handle(), 15, 10), ColorToRGB(clRed));
  driver.ReadWindow(Form->Handle()).SavePng(std::string(QUILLON_BUILD_DIR) + "/controls_gradient_fill.png");
}

}  // namespace
