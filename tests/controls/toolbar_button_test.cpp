// Toolbar buttons: groups, clicks by injected input, drop-down menus, hot
// tracking, glyph cells and the embossed disabled glyph; separators.
#include <gtest/gtest.h>

#include "controls/toolbars.h"
#include "platform/gdi/colors.h"
#include "platform/ui/menus.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/test_driver.h"
#include "toolbar_form.h"

namespace {

class ButtonTest : public TToolbarFormTest {
protected:
  void SetUp() override {
    TToolbarFormTest::SetUp();
    Bar = Form->MakeBar("Tools", 4, {1}, Form->TopDock);
    for (TToolbarButton* b : Form->Buttons_)
      b->OnClick = [this, b](TObject*) { Clicks.push_back(b); };
    driver.ProcessMessages();
  }
  TPoint At(TControl* C, int32_t X = 8, int32_t Y = 8) { return TUiTestDriver::ScreenPoint(C, X, Y); }
  std::vector<TToolbarButton*> Clicks;
  TToolbar* Bar = nullptr;
};

TEST_F(ButtonTest, DefaultsAndLayoutOnTheBar) {
  TToolbarButton* b = Form->Buttons_[0];
  EXPECT_EQ(b->Width(), 23);
  EXPECT_EQ(b->Height(), 22);
  EXPECT_TRUE(b->Flat());
  EXPECT_EQ(b->Spacing(), 4);
  EXPECT_EQ(b->Margin(), -1);
  // Two buttons, a separator, two buttons.
  EXPECT_EQ(Form->Buttons_[1]->Left(), 11 + 23);
  EXPECT_EQ(Form->Seps_[0]->Left(), 11 + 46);
  EXPECT_EQ(Form->Seps_[0]->Width(), 6);
  EXPECT_EQ(Form->Seps_[0]->Height(), 22);
  EXPECT_EQ(Form->Buttons_[2]->Left(), 11 + 46 + 6);
  // A separator's new size runs the bar's layout.
  Form->Seps_[0]->SetSizeHorz(10);
  EXPECT_EQ(Form->Buttons_[2]->Left(), 11 + 46 + 10);
}

TEST_F(ButtonTest, GroupIndexZeroNeverStaysDown) {
  TToolbarButton* b = Form->Buttons_[0];
  b->SetDown(true);
  EXPECT_FALSE(b->Down());
}

TEST_F(ButtonTest, RadioGroup) {
  TToolbarButton* a = Form->Buttons_[2];
  TToolbarButton* b = Form->Buttons_[3];
  a->SetGroupIndex(1);
  b->SetGroupIndex(1);
  a->SetDown(true);
  EXPECT_EQ(a->State(), bsExclusive);
  driver.Click(At(b));
  driver.ProcessMessages();
  EXPECT_TRUE(b->Down());
  EXPECT_FALSE(a->Down());
  // Clicking the down button keeps it down.
  driver.AdvanceClock(1000);
  driver.Click(At(b));
  driver.ProcessMessages();
  EXPECT_TRUE(b->Down());
  EXPECT_EQ(Clicks.size(), 2u);
  // AllowAllUp set on one member reaches the others.
  b->SetAllowAllUp(true);
  EXPECT_TRUE(a->AllowAllUp());
  driver.AdvanceClock(1000);
  driver.Click(At(b));
  driver.ProcessMessages();
  EXPECT_FALSE(b->Down());
}

TEST_F(ButtonTest, ClickOnlyWhenReleasedInside) {
  TToolbarButton* b = Form->Buttons_[0];
  TPoint in = At(b), out = At(b, 8, 60);
  driver.MouseDown(in);
  driver.MouseMove(out);
  driver.ProcessMessages();
  EXPECT_EQ(b->State(), bsUp);
  driver.MouseUp(out);
  driver.ProcessMessages();
  EXPECT_TRUE(Clicks.empty());
  driver.AdvanceClock(1000);
  driver.MouseDown(in);
  driver.MouseMove(out);
  driver.MouseMove(in);
  driver.ProcessMessages();
  EXPECT_EQ(b->State(), bsDown);
  driver.MouseUp(in);
  driver.ProcessMessages();
  ASSERT_EQ(Clicks.size(), 1u);
  EXPECT_EQ(Clicks[0], b);
}

TEST_F(ButtonTest, DropdownMenus) {
  auto* menu = new TPopupMenu(Form);
  auto* item = new TMenuItem(menu);
  item->SetCaption("Item");
  menu->Items()->Add(item);
  int32_t popups = 0;
  menu->OnPopup = [&](TObject*) { ++popups; };
  TToolbarButton* b = Form->Buttons_[0];
  b->SetDropdownMenu(menu);
  // Whole button: the menu opens on the press; a click on the button
  // closes it and does not open it again.
  driver.MouseDown(At(b));
  driver.WhenIdle([&] {
    EXPECT_FALSE(OpenMenuWindows().empty());
    EXPECT_EQ(menu->PopupComponent(), b);
    driver.Click(At(b, 16, 15));
  });
  driver.ProcessMessages();
  driver.MouseUp(At(b));
  driver.ProcessMessages();
  EXPECT_EQ(popups, 1);
  EXPECT_TRUE(Clicks.empty());
  EXPECT_TRUE(OpenMenuWindows().empty());
  // Combo: the main part clicks, the 11-pixel arrow part opens the menu.
  b->SetDropdownCombo(true);
  EXPECT_EQ(b->Width(), 34);
  driver.AdvanceClock(1000);
  driver.Click(At(b, 5, 8));
  driver.ProcessMessages();
  EXPECT_EQ(Clicks.size(), 1u);
  EXPECT_EQ(popups, 1);
  driver.AdvanceClock(1000);
  driver.MouseDown(At(b, 30, 8));
  driver.WhenIdle([&] { driver.PressKey(VK_ESCAPE); });
  driver.ProcessMessages();
  driver.MouseUp(At(b, 30, 8));
  driver.ProcessMessages();
  EXPECT_EQ(popups, 2);
  EXPECT_EQ(Clicks.size(), 1u);
  b->SetDropdownCombo(false);
  EXPECT_EQ(b->Width(), 23);
  menu->Free();
  EXPECT_EQ(b->DropdownMenu(), nullptr);
}

TEST_F(ButtonTest, HotTracking) {
  TToolbarButton* b = Form->Buttons_[0];
  int32_t enters = 0, exits = 0;
  b->OnMouseEnter = [&](TObject*) { ++enters; };
  b->OnMouseExit = [&](TObject*) { ++exits; };
  TColor face = ColorToRGB(clBtnFace);
  // Flat: no edge until the pointer is over it.
  EXPECT_EQ(driver.Pixel(Bar->Handle(), b->Left(), b->Top() + 5), face);
  driver.MouseMove(At(b));
  driver.ProcessMessages();
  EXPECT_TRUE(b->MouseIn());
  EXPECT_EQ(TToolbarButton::HotButton(), b);
  EXPECT_EQ(enters, 1);
  EXPECT_EQ(driver.Pixel(Bar->Handle(), b->Left(), b->Top() + 5), ColorToRGB(clBtnHighlight));
  // Onto the next button: the hot button changes.
  driver.MouseMove(At(Form->Buttons_[1]));
  driver.ProcessMessages();
  EXPECT_FALSE(b->MouseIn());
  EXPECT_EQ(TToolbarButton::HotButton(), Form->Buttons_[1]);
  // Away onto the form: gone within the timer's 125 ms.
  driver.MouseMove(TUiTestDriver::ScreenPoint(Form, 250, 200));
  driver.AdvanceClock(125);
  EXPECT_EQ(TToolbarButton::HotButton(), nullptr);
  EXPECT_FALSE(Form->Buttons_[1]->MouseIn());
  EXPECT_EQ(exits, 1);
  EXPECT_EQ(driver.Pixel(Bar->Handle(), b->Left(), b->Top() + 5), face);
  // The application losing activation clears it too.
  driver.MouseMove(At(b));
  driver.ProcessMessages();
  ASSERT_EQ(TToolbarButton::HotButton(), b);
  SendMessage(Application->Handle(), CM_DEACTIVATE, 0, 0);
  EXPECT_EQ(TToolbarButton::HotButton(), nullptr);
  EXPECT_FALSE(b->MouseIn());
}

TEST_F(ButtonTest, GlyphCells) {
  TToolbarButton* b = Form->Buttons_[0];
  TBitmap two;
  two.SetSize(32, 16);
  b->SetGlyph(&two);
  EXPECT_EQ(b->NumGlyphs(), 2);
  TBitmap six;
  six.SetSize(96, 16);
  b->SetGlyph(&six);
  EXPECT_EQ(b->NumGlyphs(), 1);
  b->SetNumGlyphs(9);
  EXPECT_EQ(b->NumGlyphs(), 5);
}

TEST_F(ButtonTest, DisabledGlyphIsEmbossed) {
  TToolbarButton* b = Form->Buttons_[0];
  // 16 x 16: teal background (the transparent corner), a black bar, a
  // white bar and a light grey bar.
  TBitmap g;
  g.SetSize(16, 16);
  g.Canvas()->Brush()->SetColor(0x808000);
  g.Canvas()->FillRect(TRect{0, 0, 16, 16});
  g.Canvas()->Brush()->SetColor(clBlack);
  g.Canvas()->FillRect(TRect{2, 2, 5, 14});
  g.Canvas()->Brush()->SetColor(clWhite);
  g.Canvas()->FillRect(TRect{7, 2, 10, 14});
  g.Canvas()->Brush()->SetColor(0xC0C0C0);
  g.Canvas()->FillRect(TRect{11, 2, 14, 14});
  b->SetGlyph(&g);
  ASSERT_EQ(b->NumGlyphs(), 1);
  int32_t index = b->ButtonGlyph()->CreateButtonGlyph(bsDisabled);
  ASSERT_GE(index, 0);
  TGlyphList* list = b->ButtonGlyph()->GlyphList();
  EXPECT_EQ(list->Width(), 17);
  EXPECT_EQ(list->Height(), 17);
  EXPECT_EQ(list->Pixel(index, 3, 5), ColorToRGB(clBtnShadow));
  // The white copy shows one pixel right of the black bar's right edge.
  EXPECT_EQ(list->Pixel(index, 5, 5), ColorToRGB(clBtnHighlight));
  // White and light grey areas are left out, like the background.
  EXPECT_TRUE(list->IsTransparent(index, 8, 5));
  EXPECT_TRUE(list->IsTransparent(index, 12, 5));
  EXPECT_TRUE(list->IsTransparent(index, 0, 0));
  // The up image keeps its colours, the background left out.
  int32_t up = b->ButtonGlyph()->CreateButtonGlyph(bsUp);
  EXPECT_EQ(list->Pixel(up, 8, 5), 0xFFFFFFu);
  EXPECT_TRUE(list->IsTransparent(up, 0, 0));
  // A disabled button paints the embossed image.
  b->SetEnabled(false);
  driver.ProcessMessages();
  EXPECT_EQ(b->State(), bsDisabled);
}

TEST_F(ButtonTest, SeparatorPaintsEtchedLine) {
  TToolbarSep* sep = Form->Seps_[0];
  int32_t x = sep->Left() + sep->Width() / 2;
  EXPECT_EQ(driver.Pixel(Bar->Handle(), x - 1, sep->Top() + 5), ColorToRGB(clBtnShadow));
  EXPECT_EQ(driver.Pixel(Bar->Handle(), x, sep->Top() + 5), ColorToRGB(clBtnHighlight));
  sep->SetBlank(true);
  driver.ProcessMessages();
  EXPECT_EQ(driver.Pixel(Bar->Handle(), x - 1, sep->Top() + 5), ColorToRGB(clBtnFace));
  // A drag may start on a separator.
  driver.Drag(At(sep, 2, 5), TUiTestDriver::ScreenPoint(Form, 250, 200), 3);
  driver.ProcessMessages();
  EXPECT_EQ(Bar->DockedTo(), nullptr);
}

}  // namespace
