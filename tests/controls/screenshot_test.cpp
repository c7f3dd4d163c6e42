// Screenshots for a person to look at: a form with docked and floating
// toolbars, written under the build folder.
#include <gtest/gtest.h>

#include "controls/gradient_fill.h"
#include "controls/styled_label.h"
#include "controls/toolbars.h"
#include "controls/url_label.h"
#include "platform/ui/test_driver.h"
#include "toolbar_form.h"

namespace {

// A 16 x 16 glyph: a coloured shape on the teal transparent background.
void PaintGlyph(TBitmap& B, int32_t Kind) {
  B.SetSize(16, 16);
  TCanvas* c = B.Canvas();
  c->Brush()->SetColor(0x808000);
  c->FillRect(TRect{0, 0, 16, 16});
  static const TColor colors[] = {0x0000C0, 0x008000, 0xC00000, 0x00A0E0, 0x800080};
  c->Brush()->SetColor(colors[Kind % 5]);
  c->Pen()->SetColor(clBlack);
  switch (Kind % 3) {
    case 0: c->Rectangle(2, 2, 14, 14); break;
    case 1: c->Ellipse(1, 1, 15, 15); break;
    default: c->Polygon({TPoint{8, 1}, TPoint{15, 14}, TPoint{1, 14}}); break;
  }
}

// Copies a window's pixels into a larger picture at (X, Y).
void Paste(TWindowImage& Into, const TWindowImage& From, int32_t X, int32_t Y) {
  for (int32_t y = 0; y < From.Height; ++y)
    for (int32_t x = 0; x < From.Width; ++x) {
      int32_t tx = X + x, ty = Y + y;
      if (tx < 0 || ty < 0 || tx >= Into.Width || ty >= Into.Height) continue;
      for (int32_t k = 0; k < 4; ++k)
        Into.Pixels[static_cast<size_t>((ty * Into.Width + tx) * 4 + k)] =
            From.Pixels[static_cast<size_t>((y * From.Width + x) * 4 + k)];
    }
}

TEST(ControlsScreenshot, DockedAndFloatingToolbars) {
  TUiTestDriver driver;
  InitializeToolbars();
  TToolbarForm* form = nullptr;
  Application->CreateForm(form);
  form->Show();
  form->TopDock->SetBoundLines(BoundLine(blTop) | BoundLine(blBottom));
  TToolbar* main = form->MakeBar("Main", 7, {2, 4}, form->TopDock);
  TToolbar* second = form->MakeBar("View", 3, {0}, form->TopDock);
  second->SetDockRow(1);
  TToolbar* left = form->MakeBar("Tools", 4, {1}, form->LeftDock);
  TToolbar* bottom = form->MakeBar("Status", 2, {}, form->BottomDock);
  TToolbar* floating = form->MakeBar("Floating palette", 6, {2}, nullptr);
  int32_t k = 0;
  for (TToolbarButton* b : form->Buttons_) {
    TBitmap g;
    PaintGlyph(g, k++);
    b->SetGlyph(&g);
  }
  // Grouped, down, disabled and captioned buttons on the main bar.
  form->Buttons_[3]->SetGroupIndex(1);
  form->Buttons_[4]->SetGroupIndex(1);
  form->Buttons_[4]->SetDown(true);
  form->Buttons_[1]->SetEnabled(false);
  form->Buttons_[6]->SetCaption("Text");
  form->Buttons_[6]->SetWidth(56);
  bottom->SetDockPos(120);
  main->SetDockPos(0);
  auto* label = new TStyledLabel(form);
  label->SetParent(form);
  label->SetAutoSize(false);
  label->SetBounds(200, 150, 200, 24);
  label->Font()->SetSize(14);
  label->SetCaption("Styled label");
  label->SetColor(clWindow);
  auto* url = new TUrlLabel(form);
  url->SetParent(form);
  url->SetBounds(200, 180, 200, 20);
  url->SetCaption("www.example.com");
  auto* gradient = new TGradientFill(form);
  gradient->SetParent(form);
  gradient->SetBounds(60, 150, 120, 120);
  main->UpdateToolbarLayout();
  form->TopDock->ArrangeToolbars();
  floating->SetBounds(420, 240, floating->Width(), floating->Height());
  floating->ArrangeControls(true, true, nullptr, 77, nullptr, 0);
  UpdateFloatingVisibility(form, true);
  // The pointer over a button shows its hot look.
  driver.MouseMove(TUiTestDriver::ScreenPoint(form->Buttons_[0], 8, 8));
  driver.ProcessMessages();
  std::string dir = std::string(QUILLON_BUILD_DIR) + "/";
  TWindowImage shot = driver.ReadWindow(form->Handle(), false);
  TWindowImage bar = driver.ReadWindow(floating->Handle(), false);
  TRect fr, br;
  GetWindowRect(form->Handle(), fr);
  GetWindowRect(floating->Handle(), br);
  EXPECT_TRUE(driver.SaveWindowPng(floating->Handle(), dir + "controls_floating_toolbar.png"));
  // The floating bar overlaps the form's corner, as on a desktop.
  Paste(shot, bar, br.Left - fr.Left, br.Top - fr.Top);
  EXPECT_TRUE(shot.SavePng(dir + "controls_toolbars.png"));

  // What the picture shows. Each bar lies in its dock, the second row below
  // the first; each button shows its glyph's colour, but the disabled one,
  // whose glyph is greyed; the floating bar has its caption.
  auto onShot = [&](TControl* C) {
    const TPoint p = TUiTestDriver::ScreenPoint(C, 0, 0);
    return TRect{p.X - fr.Left, p.Y - fr.Top, p.X - fr.Left + C->Width(), p.Y - fr.Top + C->Height()};
  };
  auto count = [&](const TRect& R, TColor Colour) {
    int32_t n = 0;
    for (int32_t y = R.Top; y < R.Bottom; ++y)
      for (int32_t x = R.Left; x < R.Right; ++x) n += shot.Pixel(x, y) == Colour;
    return n;
  };
  auto inside = [](const TRect& In, const TRect& R) {
    return R.Left >= In.Left && R.Top >= In.Top && R.Right <= In.Right && R.Bottom <= In.Bottom;
  };
  for (auto [b, dock] : {std::pair{main, form->TopDock}, {second, form->TopDock}, {left, form->LeftDock},
                         {bottom, form->BottomDock}})
    EXPECT_TRUE(inside(onShot(dock), onShot(b))) << b->Caption();
  EXPECT_GE(onShot(second).Top, onShot(main).Bottom);
  EXPECT_GT(onShot(left).Height(), onShot(left).Width());
  static const TColor colors[] = {0x0000C0, 0x008000, 0xC00000, 0x00A0E0, 0x800080};
  for (size_t i = 0; i < form->Buttons_.size(); ++i) {
    const int32_t n = count(onShot(form->Buttons_[i]), colors[i % 5]);
    if (i == 1) EXPECT_EQ(n, 0) << "the disabled button";
    else EXPECT_GE(n, 30) << "button " << i;
  }
  const TRect caption{br.Left - fr.Left, br.Top - fr.Top, br.Right - fr.Left, onShot(floating->Controls(0)).Top};
  EXPECT_GE(count(caption, ColorToRGB(GetSysColor(COLOR_ACTIVECAPTION))), caption.Width() * 4);
  form->Free();
  FinalizeToolbars();
}

}  // namespace
