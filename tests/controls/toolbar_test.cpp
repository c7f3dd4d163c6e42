// Toolbars: floating layout and wrapping, dragging between docks and
// floating, floating resizing and the close button, through injected input.
#include <gtest/gtest.h>

#include <cstdlib>

#include "controls/toolbars.h"
#include "controls/toolbars_internal.h"
#include "platform/gdi/colors.h"
#include "platform/gdi/dc.h"
#include "platform/gdi/text.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/std_controls.h"
#include "platform/ui/test_driver.h"
#include "toolbar_form.h"

namespace {

class ToolbarTest : public TToolbarFormTest {
protected:
  void SetUp() override {
    TToolbarFormTest::SetUp();
    f = TToolbar::FrameWidth();
    c = TToolbar::CaptionHeight();
  }
  // A floating bar placed at a screen position, shown.
  TToolbar* Floating(int32_t Buttons, std::vector<int32_t> Seps, int32_t X, int32_t Y) {
    TToolbar* bar = Form->MakeBar("Float", Buttons, std::move(Seps), nullptr);
    bar->SetBounds(X, Y, bar->Width(), bar->Height());
    UpdateFloatingVisibility(Form, true);
    driver.ProcessMessages();
    return bar;
  }
  TPoint WindowPoint(TToolbar* Bar, int32_t X, int32_t Y) {
    TRect r;
    GetWindowRect(Bar->Handle(), r);
    return TPoint{r.Left + X, r.Top + Y};
  }
  int32_t f = 0, c = 0;
};

TEST_F(ToolbarTest, FloatingBarSizeAndFrame) {
  TToolbar* bar = Floating(3, {}, 300, 300);
  EXPECT_EQ(bar->DockedTo(), nullptr);
  EXPECT_EQ(bar->ClientWidth(), 4 + 69 + 4);
  EXPECT_EQ(bar->ClientHeight(), 2 + 22 + 1);
  EXPECT_EQ(bar->Width(), 77 + 2 * f);
  EXPECT_EQ(bar->Height(), 25 + 2 * f + c);
  TRect wr;
  GetWindowRect(bar->Handle(), wr);
  EXPECT_EQ(wr.Left, 300);
  EXPECT_EQ(Form->Buttons_[0]->Left(), 4);
  EXPECT_EQ(Form->Buttons_[0]->Top(), 2);
}

TEST_F(ToolbarTest, HiddenFloatingBarIsHiddenInItsPlace) {
  TToolbar* bar = Floating(2, {}, 300, 300);
  UpdateFloatingVisibility(Form, false);
  // Hidden, not moved off screen (a monitor on the left would show it).
  EXPECT_FALSE(IsWindowVisible(bar->Handle()));
  EXPECT_TRUE(bar->Visible());
  TRect wr;
  GetWindowRect(bar->Handle(), wr);
  EXPECT_EQ(wr.Left, 300);
  EXPECT_EQ(bar->Left(), 300);
  // Moves while hidden are kept.
  bar->SetBounds(320, 310, bar->Width(), bar->Height());
  UpdateFloatingVisibility(Form, true);
  EXPECT_TRUE(IsWindowVisible(bar->Handle()));
  GetWindowRect(bar->Handle(), wr);
  EXPECT_EQ(wr.Left, 320);
  // A bar closed by the person stays closed when its form comes back.
  bar->Hide();
  UpdateFloatingVisibility(Form, false);
  UpdateFloatingVisibility(Form, true);
  EXPECT_FALSE(IsWindowVisible(bar->Handle()));
}

TEST_F(ToolbarTest, WrapsAtSeparator) {
  TToolbar* bar = Floating(6, {2}, 300, 300);
  // Exactly as wide as its one line the bar keeps it; a pixel less wraps it.
  bar->ArrangeControls(true, true, nullptr, 1000, nullptr, 0);
  const int32_t line = bar->ClientWidth();
  for (int32_t less : {0, 1}) {
    bar->ArrangeControls(true, true, nullptr, line - less, nullptr, 0);
    EXPECT_EQ(bar->WrapLines().size(), size_t(less)) << line << " - " << less;
  }
  bar->ArrangeControls(true, true, nullptr, 77, nullptr, 0);
  TToolbarSep* sep = Form->Seps_[0];
  EXPECT_EQ(sep->Width(), 0);
  ASSERT_EQ(bar->WrapLines().size(), 1u);
  EXPECT_EQ(bar->WrapLines()[0] & 0xFFFF, 2u + 22 + 6);
  EXPECT_EQ(Form->Buttons_[3]->Left(), 4);
  EXPECT_EQ(Form->Buttons_[3]->Top(), 30);
  EXPECT_EQ(bar->ClientWidth(), 77);
  EXPECT_EQ(bar->ClientHeight(), 30 + 22 + 1);
  driver.ProcessMessages();
  TColor shadow = ColorToRGB(clBtnShadow), light = ColorToRGB(clBtnHighlight);
  EXPECT_EQ(driver.Pixel(bar->Handle(), 20, 26), shadow);
  EXPECT_EQ(driver.Pixel(bar->Handle(), 20, 27), light);
  // A blank separator breaks the line without the etched line.
  sep->SetBlank(true);
  bar->ArrangeControls(true, true, nullptr, 77, nullptr, 0);
  bar->Invalidate();
  driver.ProcessMessages();
  EXPECT_NE(driver.Pixel(bar->Handle(), 20, 26), shadow);
}

TEST_F(ToolbarTest, GroupWiderThanWrapBreaksInside) {
  TToolbar* bar = Floating(6, {}, 300, 300);
  bar->ArrangeControls(true, true, nullptr, 77, nullptr, 0);
  EXPECT_TRUE(bar->WrapLines().empty());
  EXPECT_EQ(Form->Buttons_[2]->Left(), 50);
  EXPECT_EQ(Form->Buttons_[3]->Left(), 4);
  EXPECT_EQ(Form->Buttons_[3]->Top(), 2 + 22);
}

TEST_F(ToolbarTest, LongCaptionEndsInDots) {
  HDC dc = GetScreenDC();
  EXPECT_EQ(ToolbarCaptionText(dc, "Tools", 500), "Tools");
  std::string s = ToolbarCaptionText(dc, "A very long toolbar caption", 60);
  EXPECT_EQ(s.substr(s.size() - 3), "...");
  EXPECT_LE(TextExtent(dc, s).cx, 60);
  EXPECT_EQ(ToolbarCaptionText(dc, "A very long toolbar caption", 1).size(), 5u);
  ReleaseScreenDC(dc);
}

// Windowed controls on a bar (the zoom and colour panels) are shown where the
// bar's client area is, after floating (under the caption) and after docking
// again (no longer pushed down by the caption that has gone).
TEST_F(ToolbarTest, WindowedControlsFollowTheClientAreaBetweenDockAndFloating) {
  TToolbar* bar = Form->MakeBar("Panels", 2, {}, Form->TopDock);
  auto* panel = new TPanel(Form);
  panel->SetParent(bar);
  panel->SetBevelOuter(bvNone);
  panel->SetColor(clRed);
  panel->SetBounds(0, 0, 40, 30);
  driver.ProcessMessages();
  auto shownAt = [&](int32_t X, int32_t Y) {
    TPoint p = panel->ClientToScreen(TPoint{X, Y});
    return driver.ReadScreen(TRect{p.X, p.Y, p.X + 1, p.Y + 1}).Pixel(0, 0);
  };
  for (TDock* dock : {static_cast<TDock*>(nullptr), Form->LeftDock, static_cast<TDock*>(nullptr), Form->RightDock}) {
    bar->SetDockedTo(dock);
    UpdateFloatingVisibility(Form, true);
    driver.ProcessMessages();
    EXPECT_EQ(shownAt(1, 1), clRed) << (dock ? "docked" : "floating");
    EXPECT_EQ(shownAt(38, 28), clRed) << (dock ? "docked" : "floating");
  }
}

TEST_F(ToolbarTest, DragFloatingBarOntoTopDock) {
  TToolbar* bar = Floating(3, {}, 300, 300);
  driver.Drag(WindowPoint(bar, f + 6, f + 3), TPoint{160, 82}, 6);
  driver.ProcessMessages();
  EXPECT_EQ(bar->DockedTo(), Form->TopDock);
  EXPECT_EQ(bar->DockRow(), 0);
  EXPECT_EQ(Form->TopDock->Height(), 26);
  EXPECT_TRUE(Application->ShowHint());
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(ToolbarTest, DragBetweenDocksAndNewRows) {
  TToolbar* a = Form->MakeBar("A", 3, {}, Form->TopDock);
  TToolbar* b = Form->MakeBar("B", 3, {}, Form->TopDock);
  driver.ProcessMessages();
  ASSERT_EQ(b->DockRow(), 0);
  // Dropped on the lower boundary of row 0: a new row 1.
  TPoint grip = TUiTestDriver::ScreenPoint(b, 5, 5);
  TPoint below = TUiTestDriver::ScreenPoint(Form->TopDock, 150, 26 - 3);
  driver.Drag(grip, below, 4);
  driver.ProcessMessages();
  EXPECT_EQ(b->DockedTo(), Form->TopDock);
  EXPECT_EQ(b->DockRow(), 1);
  EXPECT_EQ(a->DockRow(), 0);
  EXPECT_EQ(Form->TopDock->Height(), 52);
  // Across to the left dock.
  driver.AdvanceClock(1000);
  grip = TUiTestDriver::ScreenPoint(b, 5, 5);
  TPoint left = TUiTestDriver::ScreenPoint(Form, 2, 150);
  driver.Drag(grip, left, 4);
  driver.ProcessMessages();
  EXPECT_EQ(b->DockedTo(), Form->LeftDock);
  EXPECT_EQ(b->Width(), 27);
  EXPECT_EQ(b->Height(), 11 + 66 + 2);
  EXPECT_EQ(Form->Buttons_[3]->Left(), 2);
  EXPECT_EQ(Form->Buttons_[3]->Top(), 11);
}

TEST_F(ToolbarTest, NoLeftRightDockingWhenNotAllowed) {
  TToolbar* b = Form->MakeBar("B", 3, {}, Form->TopDock);
  b->SetCanDockLeftRight(false);
  driver.ProcessMessages();
  driver.Drag(TUiTestDriver::ScreenPoint(b, 5, 5), TUiTestDriver::ScreenPoint(Form, 2, 150), 4);
  driver.ProcessMessages();
  EXPECT_EQ(b->DockedTo(), nullptr);
  // A dock that refuses drags is no target either.
  Form->TopDock->SetAllowDrag(false);
  driver.Drag(WindowPoint(b, f + 6, f + 3), TPoint{160, 82}, 4);
  driver.ProcessMessages();
  EXPECT_EQ(b->DockedTo(), nullptr);
}

TEST_F(ToolbarTest, CtrlKeepsTheBarFloating) {
  TToolbar* b = Form->MakeBar("B", 3, {}, Form->TopDock);
  driver.ProcessMessages();
  TPoint grip = TUiTestDriver::ScreenPoint(b, 5, 5);
  TPoint inDock = TUiTestDriver::ScreenPoint(b, 60, 8);
  driver.SetModifiers(MK_CONTROL);
  driver.Drag(grip, inDock, 3);
  driver.SetModifiers(0);
  driver.ProcessMessages();
  EXPECT_EQ(b->DockedTo(), nullptr);
  // Releasing Ctrl during the drag docks again without moving the mouse.
  driver.AdvanceClock(1000);
  TPoint caption = WindowPoint(b, f + 6, f + 3);
  driver.SetModifiers(MK_CONTROL);
  driver.MouseDown(caption);
  driver.MouseMove(TPoint{160, 82});
  driver.WhenIdle([&] {
    driver.SetModifiers(0);
    driver.KeyUp(VK_CONTROL);
    driver.MouseUp(TPoint{160, 82});
  });
  driver.ProcessMessages();
  EXPECT_EQ(b->DockedTo(), Form->TopDock);
}

TEST_F(ToolbarTest, RightButtonIgnoredLeftPressCancels) {
  TToolbar* bar = Floating(3, {}, 300, 300);
  TPoint from = WindowPoint(bar, f + 6, f + 3);
  driver.MouseDown(from);
  driver.MouseMove(TPoint{160, 82});
  driver.MouseDown(TPoint{160, 82}, MK_RBUTTON);
  driver.MouseUp(TPoint{160, 82}, MK_RBUTTON);
  driver.MouseMove(TPoint{170, 82});
  driver.MouseDown(TPoint{170, 82});
  driver.MouseUp(TPoint{170, 82});
  driver.ProcessMessages();
  EXPECT_EQ(bar->DockedTo(), nullptr);
  TRect wr;
  GetWindowRect(bar->Handle(), wr);
  EXPECT_EQ(wr.Left, 300);
}

// A bar dropped with most of it beyond the screen's edge comes whole into
// the work area, its caption and close button within reach.
TEST_F(ToolbarTest, AFloatingBarDroppedAtTheEdgeIsKeptOnScreen) {
  TToolbar* bar = Floating(3, {}, 300, 300);
  const TRect work = TToolbar::WorkArea();
  // Grabbed at the right end of its client area and pulled far left, then
  // by its left end far down right.
  driver.Drag(TUiTestDriver::ScreenPoint(bar, bar->ClientWidth() - 2, 12), TPoint{-500, 200}, 3);
  driver.ProcessMessages();
  TRect wr;
  GetWindowRect(bar->Handle(), wr);
  EXPECT_EQ(wr.Left, work.Left);
  driver.AdvanceClock(1000);
  driver.Drag(WindowPoint(bar, f + 6, f + 3), TPoint{work.Right + 400, work.Bottom + 400}, 3);
  driver.ProcessMessages();
  GetWindowRect(bar->Handle(), wr);
  EXPECT_EQ(wr.Right, work.Right);
  EXPECT_EQ(wr.Bottom, work.Bottom);
  // Docked and floated again, it comes back where it was kept.
  bar->SetDockedTo(Form->TopDock);
  bar->SetDockedTo(nullptr);
  GetWindowRect(bar->Handle(), wr);
  EXPECT_EQ(wr.Right, work.Right);
}

// The drag outline is shown by thin windows along it, not by one window over
// the whole screen (which a desktop without a compositor shows black).
TEST_F(ToolbarTest, DragOutlineCoversOnlyTheOutline) {
  TToolbar* bar = Floating(3, {}, 300, 300);
  driver.MouseDown(WindowPoint(bar, f + 6, f + 3));
  driver.MouseMove(TPoint{420, 450});
  std::vector<TRect> pieces;
  driver.WhenIdle([&] {
    pieces = TUiTestDriver::DesktopOverlay();
    driver.MouseUp(TPoint{420, 450});
  });
  driver.ProcessMessages();
  EXPECT_TRUE(TUiTestDriver::DesktopOverlay().empty());
  TRect outline;
  GetWindowRect(bar->Handle(), outline);  // dropped where the outline was
  ASSERT_FALSE(pieces.empty());
  EXPECT_LE(pieces.size(), 8u);
  TRect all = pieces[0];
  TPoint centre{(outline.Left + outline.Right) / 2, (outline.Top + outline.Bottom) / 2};
  for (const TRect& r : pieces) {
    EXPECT_LE(std::min(r.Width(), r.Height()), f + 2);
    EXPECT_FALSE(PtInRect(r, centre));
    UnionRect(all, all, r);
  }
  // The pieces follow the outline to the pixel pair.
  EXPECT_LE(std::abs(all.Left - outline.Left) + std::abs(all.Top - outline.Top), 2);
  EXPECT_LE(std::abs(all.Right - outline.Right) + std::abs(all.Bottom - outline.Bottom), 2);
}

TEST_F(ToolbarTest, DoubleClickTogglesFloating) {
  TToolbar* a = Form->MakeBar("A", 2, {}, Form->TopDock);
  TToolbar* b = Form->MakeBar("B", 2, {}, Form->TopDock);
  b->SetDefaultDock(Form->TopDock);
  b->SetDockPos(200);
  driver.ProcessMessages();
  driver.DoubleClick(TUiTestDriver::ScreenPoint(b, 5, 5));
  driver.ProcessMessages();
  EXPECT_EQ(b->DockedTo(), nullptr);
  driver.AdvanceClock(1000);
  driver.DoubleClick(WindowPoint(b, f + 6, f + 3));
  driver.ProcessMessages();
  EXPECT_EQ(b->DockedTo(), Form->TopDock);
  EXPECT_EQ(b->DockRow(), 0);
  EXPECT_EQ(b->Left(), 0);
  EXPECT_EQ(a->Left(), b->Width());
}

TEST_F(ToolbarTest, ResizeSnapsToWrappedShapes) {
  TToolbar* bar = Floating(6, {}, 300, 300);
  int32_t w0 = bar->Width();
  ASSERT_EQ(w0, 146 + 2 * f);
  TPoint edge = WindowPoint(bar, w0 - 2, bar->Height() - f - 4);
  // A tiny move stays within the snap tolerance.
  driver.Drag(edge, TPoint{edge.X - 5, edge.Y}, 2);
  driver.ProcessMessages();
  EXPECT_EQ(bar->Width(), w0);
  driver.AdvanceClock(1000);
  // Asking for 100 pixels gives the three-a-line shape.
  driver.Drag(edge, TPoint{edge.X - (w0 - 100 - 2 * f), edge.Y}, 3);
  driver.ProcessMessages();
  EXPECT_EQ(bar->Width(), 77 + 2 * f);
  EXPECT_EQ(bar->ClientHeight(), 2 + 44 + 1);
  // The wrap width counts the left frame too.
  EXPECT_EQ(bar->FloatingWrapWidth(), 77 + f);
  EXPECT_EQ(Form->Buttons_[3]->Top(), 24);
  driver.AdvanceClock(1000);
  // Growing asks for the next larger shape.
  edge = WindowPoint(bar, bar->Width() - 2, bar->Height() - f - 4);
  driver.Drag(edge, TPoint{edge.X + 40, edge.Y}, 3);
  driver.ProcessMessages();
  EXPECT_EQ(bar->Width(), w0);
  driver.AdvanceClock(1000);
  // From the bottom: tall shapes.
  edge = WindowPoint(bar, 20, bar->Height() - 2);
  driver.Drag(edge, TPoint{edge.X, edge.Y + 200}, 3);
  driver.ProcessMessages();
  EXPECT_EQ(bar->ClientWidth(), 31);
}

TEST_F(ToolbarTest, CloseButtonLoop) {
  TToolbar* bar = Floating(3, {}, 300, 300);
  int32_t closed = 0;
  bar->OnClose = [&](TObject*) { ++closed; };
  TRect cb = bar->CloseButtonRect();
  TPoint on = WindowPoint(bar, cb.Left + 3, cb.Top + 3);
  // Pressed, moved away, released: nothing.
  driver.Drag(on, TPoint{on.X - 60, on.Y + 40}, 2);
  driver.ProcessMessages();
  EXPECT_TRUE(bar->Visible());
  EXPECT_EQ(closed, 0);
  // Moved back onto it before release: closes.
  driver.AdvanceClock(1000);
  driver.MouseDown(on);
  driver.MouseMove(TPoint{on.X - 60, on.Y});
  driver.MouseMove(on);
  driver.MouseUp(on);
  driver.ProcessMessages();
  EXPECT_FALSE(bar->Visible());
  EXPECT_EQ(closed, 1);
  EXPECT_FALSE(bar->CloseButtonDown());
}

// The outline shows on any background, the work area's grey too: each of
// its pixels differs from what lies below by half the scale in every channel;
// drawing it again over the same place restores the pixels.
TEST_F(ToolbarTest, DrawDragOutlineShowsOnAnyBackgroundAndRestores) {
  for (TColor background : {clWhite, clBlack, TColor(0x808080), TColor(0x7F7F7F), TColor(0x3070C0)}) {
    TBitmap bmp;
    bmp.SetPixelFormat(pf24bit);
    bmp.SetSize(60, 40);
    bmp.Canvas()->Brush()->SetColor(background);
    bmp.Canvas()->FillRect(TRect{0, 0, 60, 40});
    HDC dc = bmp.Canvas()->Handle();
    TRect a{5, 5, 40, 30}, b{10, 8, 50, 35};
    DrawDragOutline(dc, &a, true, nullptr, false);
    int32_t changed = 0;
    for (int32_t y = 0; y < 40; ++y)
      for (int32_t x = 0; x < 60; ++x) {
        const TColor c = bmp.Canvas()->Pixels(x, y);
        if (c == background) continue;
        ++changed;
        for (int32_t shift : {0, 8, 16})
          ASSERT_EQ(std::abs(int32_t((c >> shift) & 0xFF) - int32_t((background >> shift) & 0xFF)), 128)
              << std::hex << background << " at " << std::dec << x << "," << y;
      }
    // A checkerboard over the one-pixel band.
    EXPECT_GT(changed, 40);
    EXPECT_EQ(bmp.Canvas()->Pixels(20, 20), background);
    DrawDragOutline(dc, &b, false, &a, true);
    DrawDragOutline(dc, nullptr, false, &b, false);
    for (int32_t y = 0; y < 40; ++y)
      for (int32_t x = 0; x < 60; ++x) ASSERT_EQ(bmp.Canvas()->Pixels(x, y), background) << x << "," << y;
  }
}

TEST_F(ToolbarTest, SubclassingIsCounted) {
  TToolbar* a = Floating(2, {}, 300, 300);
  TToolbar* b = Floating(2, {}, 400, 300);
  a->Free();
  // The other bar still follows its form.
  UpdateFloatingVisibility(Form, false);
  EXPECT_TRUE(b->FloatHidden());
  SetWindowPos(Form->Handle(), nullptr, 120, 90, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  driver.ProcessMessages();
  EXPECT_EQ(b->FloatHidden(), !Application->Active());
}

}  // namespace

namespace {

// A form that makes a floating bar while it is being built: the bar's
// bounds are given relative to the form's client area.
class TFloatingBarForm : public TForm {
public:
  explicit TFloatingBarForm(TComponent* AOwner) : TForm(AOwner) {
    SetBorderStyle(bsNone);
    SetBounds(200, 150, 300, 200);
    Bar = new TToolbar(this);
    Bar->SetParent(this);
    auto* b = new TToolbarButton(this);
    b->SetParent(Bar);
    Bar->SetBounds(40, 30, 50, 50);
  }
  TToolbar* Bar;
};

TEST(ToolbarLifecycle, FloatingBarFollowsFormAndApplication) {
  TUiTestDriver driver;
  InitializeToolbars();
  TFloatingBarForm* form = nullptr;
  Application->CreateForm(form);
  TToolbar* bar = form->Bar;
  EXPECT_EQ(bar->Parent(), bar->FloatParent());
  EXPECT_EQ(bar->Left(), 240);
  EXPECT_EQ(bar->Top(), 180);
  form->Show();
  driver.ProcessMessages();
  SendMessage(Application->Handle(), CM_ACTIVATE, 0, 0);
  TRect wr;
  GetWindowRect(bar->Handle(), wr);
  EXPECT_EQ(wr.Left, 240);
  EXPECT_FALSE(bar->FloatHidden());
  SendMessage(Application->Handle(), CM_DEACTIVATE, 0, 0);
  EXPECT_TRUE(bar->FloatHidden());
  EXPECT_FALSE(IsWindowVisible(bar->Handle()));
  EXPECT_EQ(bar->Left(), 240);
  SendMessage(Application->Handle(), CM_ACTIVATE, 0, 0);
  EXPECT_TRUE(IsWindowVisible(bar->Handle()));
  GetWindowRect(bar->Handle(), wr);
  EXPECT_EQ(wr.Left, 240);
  // Hiding the form takes its floating bars away too.
  form->Hide();
  driver.ProcessMessages();
  EXPECT_TRUE(bar->FloatHidden());
  form->Free();
  FinalizeToolbars();
}

}  // namespace
