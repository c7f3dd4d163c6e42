// The twelve stretch modes, zoom, centring, scroll bars and tiles.
#include <tuple>

#include "platform/ui/message_queue.h"
#include "platform/ui/window.h"
#include "platform/ui/window_internal.h"
#include "tests/viewer/viewer_fixture.h"

namespace {
// Frame 2 with a client edge: a control of available size (W, H).
void SetAvailable(TPGImage* V, int32_t W, int32_t H) {
  V->SetBounds(0, 0, W + 2 * V->FrameWidth(), H + 2 * V->FrameWidth());
}
}  // namespace

TEST_F(ViewerTest, StretchModesPlaceTheBoxExactly) {
  Viewer->SetBorderStyle(bsNone);
  SetAvailable(Viewer, 100, 100);
  Viewer->TakePixelGraphic(Gradient(3, 2));
  EXPECT_EQ(Viewer->PicBox()->Width(), 3);  // sNeverKAR
  Viewer->SetStretch(sAlwaysKAR);
  EXPECT_EQ(Viewer->PicBox()->Width(), 100);
  EXPECT_EQ(Viewer->PicBox()->Height(), 66);  // Trunc(100 / 1.5)
  EXPECT_EQ(Viewer->EffectiveZoom(), 100.0L / 3);

  int zooms = 0;
  Viewer->OnZoomFactorChange = [&](TObject*) { ++zooms; };
  Viewer->SetStretch(sAlways);
  EXPECT_EQ(Viewer->EffectiveZoom(), -1.0L);
  EXPECT_EQ(zooms, 1);
  EXPECT_EQ(Viewer->PicBox()->Width(), 100);
  EXPECT_EQ(Viewer->PicBox()->Height(), 100);

  Viewer->SetStretch(sEnlarge);
  EXPECT_EQ(Viewer->PicBox()->Width(), 100);
  EXPECT_EQ(Viewer->PicBox()->Height(), 100);

  Viewer->TakePixelGraphic(Gradient(101, 51));
  Viewer->SetStretch(sZoomKAR);
  Viewer->SetZoomFactor(0.5L);
  EXPECT_EQ(Viewer->PicBox()->Width(), 50);   // 50.5 to even
  EXPECT_EQ(Viewer->PicBox()->Height(), 26);  // 25.5 to even
  EXPECT_EQ(Viewer->ZoomFactor(), 0.5L);
  Viewer->SetZoomFactor(0);
  EXPECT_EQ(Viewer->PicBox()->Width(), 101);  // zoom 0 shows 1:1
  Viewer->SetStretch(sAlwaysKAR);
  EXPECT_EQ(Viewer->ZoomFactor(), 0.0L);  // the stored factor, not the effective one

  Viewer->SetStretch(sShrink);
  Viewer->TakePixelGraphic(Gradient(150, 40));
  EXPECT_EQ(Viewer->PicBox()->Width(), 100);
  EXPECT_EQ(Viewer->PicBox()->Height(), 40);
  Viewer->SetStretch(sShrinkKAR);
  EXPECT_EQ(Viewer->PicBox()->Width(), 100);
  EXPECT_EQ(Viewer->PicBox()->Height(), 26);

  // Wider than the area, and its height fits under a horizontal bar: 1:1.
  int32_t bar = GetSystemMetrics(SM_CYHSCROLL);
  Viewer->TakePixelGraphic(Gradient(150, 100 - bar));
  Viewer->SetStretch(sShrinkLongerEdgeKAR);
  EXPECT_EQ(Viewer->PicBox()->Width(), 150);
  Viewer->SetStretch(sAlwaysLongerEdgeKAR);
  EXPECT_EQ(Viewer->PicBox()->Height(), 100 - bar);
  EXPECT_GE(Viewer->PicBox()->Width(), 100);

  // Without a picture the box is 0 by 0 and the zoom 1.
  Viewer->AssignPixelGraphic(nullptr);
  EXPECT_EQ(Viewer->PicBox()->Width(), 0);
  EXPECT_EQ(Viewer->EffectiveZoom(), 1.0L);
}

TEST_F(ViewerTest, CentringAndScrollBars) {
  Viewer->SetBorderStyle(bsNone);
  Viewer->SetBounds(0, 0, 200, 150);
  Show();
  Viewer->TakePixelGraphic(Gradient(50, 30));
  Viewer->SetCenter(true);
  EXPECT_EQ(Viewer->PicBox()->Left(), 75);
  EXPECT_EQ(Viewer->PicBox()->Top(), 60);

  // A larger picture gets both bars, scrolled to the middle.
  Viewer->TakePixelGraphic(Gradient(400, 300));
  Viewer->UpdateLayout(true);
  Driver.ProcessMessages();
  EXPECT_EQ(Viewer->HorzScrollBar()->Range(), 400);
  EXPECT_EQ(Viewer->HorzScrollBar()->Position(), (400 - Viewer->ClientWidth()) / 2);
  EXPECT_EQ(Viewer->VertScrollBar()->Position(), (300 - Viewer->ClientHeight()) / 2);
  EXPECT_LT(Viewer->ClientWidth(), 200);  // the window's bars take room

  Viewer->SetCenter(false);
  TPGImageScrollBar* h = Viewer->HorzScrollBar();
  EXPECT_EQ(h->Position(), 0);
  h->ScrollMessage(SB_LINEDOWN, 0);
  EXPECT_EQ(h->Position(), 8);
  EXPECT_EQ(Viewer->PicBox()->Left(), -8);
  h->ScrollMessage(SB_THUMBTRACK, 50);  // Tracking off
  EXPECT_EQ(h->Position(), 8);
  h->ScrollMessage(SB_BOTTOM, 0);
  EXPECT_EQ(h->Position(), 400 - Viewer->ClientWidth());
  EXPECT_EQ(GetScrollPos(Viewer->Handle(), SB_HORZ), h->Position());
  // The window's own bar sends WM_HSCROLL without a control handle.
  SendMessage(Viewer->Handle(), WM_HSCROLL, MakeScrollWParam(SB_TOP, 0), 0);
  EXPECT_EQ(h->Position(), 0);
  h->SetIncrement(0);
  EXPECT_EQ(h->Increment(), 1);
  h->SetIncrement(100000);
  EXPECT_EQ(h->Increment(), 32767);
  h->SetRange(50);
  EXPECT_FALSE(Viewer->AutoScroll());
  SavePng("scrolled");
}

// The wheel over the viewer scrolls it three lines a notch (sideways with
// Shift); a press focuses it, and the keys scroll it then.
TEST_F(ViewerTest, TheWheelAndTheKeysScrollThePicture) {
  Viewer->SetBorderStyle(bsNone);
  Viewer->SetBounds(0, 0, 200, 150);
  Show();
  Viewer->TakePixelGraphic(Gradient(400, 300));
  Driver.ProcessMessages();
  TPGImageScrollBar* h = Viewer->HorzScrollBar();
  TPGImageScrollBar* v = Viewer->VertScrollBar();
  const TPoint over = TUiTestDriver::ScreenPoint(Viewer, 50, 50);
  Driver.Wheel(over, -120);
  Driver.ProcessMessages();
  EXPECT_EQ(v->Position(), 24);
  EXPECT_EQ(Viewer->PicBox()->Top(), -24);
  Driver.Wheel(over, 60);  // half a notch: a line and a half
  Driver.Wheel(over, 60);
  Driver.ProcessMessages();
  EXPECT_EQ(v->Position(), 0);
  Driver.SetModifiers(MK_SHIFT);
  Driver.Wheel(over, -240);
  Driver.SetModifiers(0);
  Driver.ProcessMessages();
  EXPECT_EQ(h->Position(), 48);

  Driver.Click(over);
  Driver.ProcessMessages();
  EXPECT_TRUE(Viewer->Focused());
  for (auto [key, horizontal, want] :
       {std::tuple{VK_NEXT, false, Viewer->ClientHeight()}, std::tuple{VK_DOWN, false, Viewer->ClientHeight() + 8},
        std::tuple{VK_UP, false, Viewer->ClientHeight()}, std::tuple{VK_DOWN, false, Viewer->ClientHeight() + 8},
        std::tuple{VK_HOME, false, 0}, std::tuple{VK_DOWN, false, 8}, std::tuple{VK_END, false, v->MaximumPosition()},
        std::tuple{VK_PRIOR, false, v->MaximumPosition() - Viewer->ClientHeight()},
        std::tuple{VK_RIGHT, true, 56}, std::tuple{VK_LEFT, true, 48}}) {
    Driver.PressKey(key);
    Driver.ProcessMessages();
    EXPECT_EQ((horizontal ? h : v)->Position(), want) << key;
  }
  // With Shift, Ctrl or Alt held the keys are left to others: nothing scrolls.
  v->SetPosition(40);
  for (uint32_t held : {uint32_t(MK_SHIFT), uint32_t(MK_CONTROL), ui_internal::ModAlt}) {
    Driver.SetModifiers(held);
    for (uint32_t key : {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT, VK_PRIOR, VK_NEXT, VK_HOME, VK_END}) {
      Driver.PressKey(key);
      Driver.ProcessMessages();
      EXPECT_EQ(v->Position(), 40) << held << " " << key;
      EXPECT_EQ(h->Position(), 48) << held << " " << key;
    }
  }
  Driver.SetModifiers(0);
}

TEST_F(ViewerTest, TilesMirrorAroundTheBox) {
  Viewer->SetBorderStyle(bsNone);
  Viewer->SetBounds(0, 0, 40, 40);
  auto g = Solid(10, 10, clRed);
  for (int32_t y = 0; y < 10; ++y) g->SetPixelColor(0, y, clBlue);  // left column blue
  for (int32_t x = 0; x < 10; ++x) g->SetPixelColor(x, 0, clLime);  // top row green
  Viewer->TakePixelGraphic(std::move(g));
  Viewer->SetCenter(true);  // box at (15, 15)
  Viewer->SetTiling(tMirror);
  Show();
  EXPECT_EQ(ClientPixel(15, 20), clBlue);   // the box itself
  EXPECT_EQ(ClientPixel(20, 15), clLime);
  EXPECT_EQ(ClientPixel(34, 20), clBlue);   // one column right: mirrored left-right
  EXPECT_EQ(ClientPixel(26, 20), clRed);
  EXPECT_EQ(ClientPixel(20, 34), clLime);   // one row below: mirrored top-bottom
  EXPECT_EQ(ClientPixel(20, 26), clRed);
  EXPECT_EQ(ClientPixel(14, 20), clBlue);   // one column left: mirrored
  EXPECT_EQ(ClientPixel(34, 30), clBlue);   // diagonal: both ways
  EXPECT_EQ(ClientPixel(30, 34), clLime);
  SavePng("tiles_mirror");
  Viewer->SetTiling(tRepeat);
  Driver.ProcessMessages();
  EXPECT_EQ(ClientPixel(25, 20), clBlue);   // repeated unmirrored
  EXPECT_EQ(ClientPixel(34, 20), clRed);
  Viewer->SetTiling(tNone);
  Viewer->SetFlipHorizontal(true);
  Driver.ProcessMessages();
  EXPECT_EQ(ClientPixel(24, 20), clBlue);   // the box mirrored
  EXPECT_EQ(ClientPixel(5, 5), ColorToRGB(Viewer->Color()));  // around the box
  // A box of no size with tiling on: no tiles, the background everywhere.
  Viewer->SetColor(clYellow);
  Viewer->SetTiling(tRepeat);
  Viewer->SetStretch(sZoomKAR);
  Viewer->SetZoomFactor(0.01L);
  Driver.ProcessMessages();
  ASSERT_EQ(Viewer->PicBox()->Width(), 0);
  EXPECT_EQ(ClientPixel(20, 20), clYellow);
  EXPECT_EQ(ClientPixel(1, 1), clYellow);
}

TEST_F(ViewerTest, AutoSizeWithinBoundsMakesRoomForABar) {
  Viewer->SetBorderStyle(bsNone);
  Viewer->SetAutoSizeMaxWidth(200);
  Viewer->SetAutoSize(true);
  Viewer->TakePixelGraphic(Gradient(300, 50));
  EXPECT_EQ(Viewer->Width(), 200);
  EXPECT_EQ(Viewer->Height(), 50 + GetSystemMetrics(SM_CYHSCROLL));
  Viewer->SetAutoSizeMinHeight(120);
  EXPECT_EQ(Viewer->Height(), 120);
  Viewer->AssignPixelGraphic(nullptr);
  EXPECT_EQ(Viewer->Width(), 0);
}
