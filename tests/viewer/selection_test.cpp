// The crop selection through injected mouse input: create, move, resize,
// marching ants on timer ticks, and dragging the picture.
#include "imaging/core/pg_resources.h"
#include "platform/ui/cursors.h"
#include "tests/viewer/viewer_fixture.h"

namespace {
class SelectionTest : public ViewerTest {
protected:
  void SetUp() override {
    ViewerTest::SetUp();
    Viewer->SetBorderStyle(bsNone);
    Viewer->SetBounds(0, 0, 200, 200);
    Viewer->TakePixelGraphic(Solid(50, 50, clGray));
    Viewer->SetStretch(sAlwaysKAR);  // 4 box pixels per image pixel
    Viewer->SetActionMode(amMoveResizeCreateSelection);
    Viewer->OnSelectionChange = [this](TObject*) { ++Changes; };
    Viewer->OnSelectionMade = [this](TObject*) { ++Made; };
    Show();
  }
  TPoint At(int32_t X, int32_t Y) { return TUiTestDriver::ScreenPoint(Viewer->PicBox(), X, Y); }
  int Changes = 0, Made = 0;
};
}  // namespace

TEST_F(SelectionTest, ClickMakesOnePixelAndDragDrawsIt) {
  Driver.Click(At(41, 42));
  Driver.ProcessMessages();
  EXPECT_TRUE(Viewer->Selection());
  EXPECT_EQ(Viewer->SelectionLeft(), 10);
  EXPECT_EQ(Viewer->SelectionTop(), 10);
  EXPECT_EQ(Viewer->SelectionWidth(), 1);
  EXPECT_EQ(Viewer->SelectionHeight(), 1);
  EXPECT_GE(Changes, 1);
  EXPECT_EQ(Made, 1);

  Driver.Drag(At(120, 100), At(40, 20));  // anchor at the lower right
  Driver.ProcessMessages();
  EXPECT_EQ(Viewer->SelectionLeft(), 10);
  EXPECT_EQ(Viewer->SelectionTop(), 5);
  EXPECT_EQ(Viewer->SelectionWidth(), 21);
  EXPECT_EQ(Viewer->SelectionHeight(), 21);
  EXPECT_EQ(Made, 2);
  EXPECT_EQ(Viewer->DragState(), dsNone);
  EXPECT_EQ(Viewer->AutoScrollTimerObject(), nullptr);
  // The ants frame one pixel outside the box rectangle (40, 20, 124, 104),
  // in the two colours; the picture inside and outside it untouched.
  auto ant = [this](int32_t X, int32_t Y) {
    const TColor c = ClientPixel(X, Y);
    return c == clWhite || c == clRed;
  };
  for (int32_t x : {39, 124}) {
    EXPECT_TRUE(ant(x, 60)) << x;
    EXPECT_EQ(ClientPixel(x == 39 ? 40 : 123, 60), clGray) << x;
    EXPECT_EQ(ClientPixel(x == 39 ? 38 : 125, 60), clGray) << x;
  }
  for (int32_t y : {19, 104}) {
    EXPECT_TRUE(ant(80, y)) << y;
    EXPECT_EQ(ClientPixel(80, y == 19 ? 20 : 103), clGray) << y;
    EXPECT_EQ(ClientPixel(80, y == 19 ? 18 : 105), clGray) << y;
  }
  // The eight handles: frames of 5 x 5 pixels, 3 to 8 pixels outside the
  // rectangle, at its corners and the middles of its sides (82, 62).
  for (int32_t left : {32, 80, 127})
    for (int32_t top : {12, 60, 107}) {
      if (left == 80 && top == 60) continue;
      EXPECT_TRUE(ant(left, top + 2) && ant(left + 4, top + 2) && ant(left + 2, top) && ant(left + 2, top + 4))
          << left << "," << top;
      for (auto [x, y] : {std::pair{2, 2}, std::pair{-1, 2}, std::pair{5, 2}, std::pair{2, -1}, std::pair{2, 5}})
        EXPECT_EQ(ClientPixel(left + x, top + y), clGray) << left << "," << top << " + " << x << "," << y;
    }
  SavePng("selection");

  // Ants march on timer ticks.
  uint8_t phase = Viewer->AntsPhase();
  Driver.AdvanceClock(100);
  EXPECT_EQ(Viewer->AntsPhase(), (phase + 2) % 8);
}

// Another window taking the mouse ends a drag as a release would: the
// selection no longer follows the pointer, auto-scroll stops and the
// selection counts as made.
TEST_F(SelectionTest, LosingTheCaptureEndsTheDrag) {
  Driver.MouseDown(At(40, 40));
  Driver.MouseMove(At(80, 80));
  Driver.ProcessMessages();
  ASSERT_EQ(Viewer->DragState(), dsCreateSelection);
  ASSERT_NE(Viewer->AutoScrollTimerObject(), nullptr);
  HWND other = CreateWindowEx(0, "", WS_POPUP | WS_VISIBLE, 600, 500, 20, 20, nullptr, nullptr);
  SetCapture(other);
  EXPECT_EQ(Viewer->DragState(), dsNone);
  EXPECT_EQ(Viewer->AutoScrollTimerObject(), nullptr);
  EXPECT_EQ(Made, 1);
  ReleaseCapture();
  const int32_t width = Viewer->SelectionWidth();
  Driver.MouseMove(At(150, 150));
  Driver.ProcessMessages();
  EXPECT_EQ(Viewer->SelectionWidth(), width);
  DestroyWindow(other);
  EXPECT_EQ(Made, 1);
}

TEST_F(SelectionTest, MoveAndResize) {
  Viewer->SetSelection(true);
  Viewer->SetSelectionBounds(10, 10, 5, 5);  // box 40..60
  Driver.Drag(At(50, 50), At(10, 50));       // 10 image pixels left
  Driver.ProcessMessages();
  EXPECT_EQ(Viewer->SelectionLeft(), 0);
  Driver.Drag(At(2, 50), At(0, 50));         // into the margin: it stops at 1 - Width
  Driver.ProcessMessages();
  EXPECT_EQ(Viewer->SelectionLeft(), 0);
  Viewer->SetSelectionBounds(40, 10, 5, 5);
  Driver.Drag(At(162, 50), At(199, 50));
  Driver.ProcessMessages();
  EXPECT_EQ(Viewer->SelectionLeft(), 49);     // first column on the last image column

  // Top-left handle dragged past the bottom-right corner: 1 by 1 at the old corner pixel.
  Viewer->SetSelectionBounds(10, 10, 5, 5);
  Driver.Drag(At(40 - 5, 40 - 5), At(120, 120));
  Driver.ProcessMessages();
  EXPECT_EQ(Viewer->SelectionLeft(), 14);
  EXPECT_EQ(Viewer->SelectionTop(), 14);
  EXPECT_EQ(Viewer->SelectionWidth(), 1);
  EXPECT_EQ(Viewer->SelectionHeight(), 1);

  // Bottom-right handle: the pointer keeps its offset from the edge it grabbed
  // (pressed 11 image pixels past the width).
  Viewer->SetSelectionBounds(10, 10, 5, 5);
  Driver.Drag(At(60 + 5, 60 + 5), At(100, 80));
  Driver.ProcessMessages();
  EXPECT_EQ(Viewer->SelectionLeft(), 10);
  EXPECT_EQ(Viewer->SelectionWidth(), 25 - 11);
  EXPECT_EQ(Viewer->SelectionHeight(), 20 - 11);

  int before = Changes;
  Viewer->SetSelectionWidth(Viewer->SelectionWidth());
  EXPECT_EQ(Changes, before);
}

TEST_F(SelectionTest, AntsPatternsAndMovingThePicture) {
  Viewer->UpdateAntsBrushes();
  EXPECT_EQ(Viewer->AntsBitmap(0)->Canvas()->Pixels(0, 0), clWhite);
  EXPECT_EQ(Viewer->AntsBitmap(0)->Canvas()->Pixels(4, 0), clRed);
  EXPECT_EQ(Viewer->AntsBitmap(1)->Canvas()->Pixels(0, 0), clRed);
  EXPECT_EQ(Viewer->AntsBitmap(1)->Canvas()->Pixels(1, 0), clWhite);
  Viewer->SetSelectionColor1(clBlue);
  EXPECT_EQ(Viewer->AntsBitmap(0), nullptr);

  // A right press starts nothing but reaches the box's own handler.
  int rightPresses = 0;
  Viewer->PicBoxOnMouseDown() = [&](TObject*, TMouseButton B, TShiftState, int32_t, int32_t) {
    if (B == mbRight) ++rightPresses;
  };
  Driver.MouseDown(At(10, 10), MK_RBUTTON);
  Driver.MouseUp(At(10, 10), MK_RBUTTON);
  Driver.ProcessMessages();
  EXPECT_EQ(rightPresses, 1);
  EXPECT_EQ(Viewer->DragState(), dsNone);

  // Moving the picture: only when it is larger than the client area.
  Viewer->SetActionMode(amMoveImage);
  Driver.Drag(At(100, 100), At(50, 50));
  Driver.ProcessMessages();
  EXPECT_EQ(Viewer->HorzScrollBar()->Position(), 0);
  Viewer->SetStretch(sZoomKAR);
  Viewer->SetZoomFactor(8);  // 400 by 400
  Driver.ProcessMessages();
  Driver.Drag(At(100, 100), At(70, 60));
  Driver.ProcessMessages();
  EXPECT_EQ(Viewer->HorzScrollBar()->Position(), 30);
  EXPECT_EQ(Viewer->VertScrollBar()->Position(), 40);
}

TEST_F(SelectionTest, CursorTellsWhatAPressWouldDo) {
  Viewer->SetSelection(true);
  Viewer->SetSelectionBounds(10, 10, 5, 5);  // box 40..60
  Driver.MouseMove(At(100, 100));
  Driver.ProcessMessages();
  EXPECT_EQ(GetCursor(), PGCursorSelect);
  Driver.MouseMove(At(50, 50));
  Driver.ProcessMessages();
  EXPECT_EQ(GetCursor(), PGCursorMoveSelection);
  Driver.MouseMove(At(65, 65));  // bottom-right handle
  Driver.ProcessMessages();
  EXPECT_EQ(GetCursor(), Screen->Cursors(crSizeNWSE));
  Driver.MouseMove(At(50, 35));  // top-middle handle
  Driver.ProcessMessages();
  EXPECT_EQ(GetCursor(), Screen->Cursors(crSizeNS));
  HCURSOR offered = nullptr;
  Viewer->PicBoxOnSetCursor = [&](TObject*, HCURSOR& C) { offered = C, C = Screen->Cursors(crCross); };
  Driver.MouseMove(At(100, 101));
  Driver.ProcessMessages();
  EXPECT_EQ(offered, PGCursorSelect);
  EXPECT_EQ(GetCursor(), Screen->Cursors(crCross));

  // A picture that fits, with amMoveImage: the ordinary cursor.
  Viewer->PicBoxOnSetCursor = nullptr;
  Viewer->SetActionMode(amMoveImage);
  Driver.MouseMove(At(100, 100));
  Driver.ProcessMessages();
  EXPECT_EQ(GetCursor(), Screen->Cursors(crDefault));
}

TEST_F(SelectionTest, DraggingPastTheEdgeScrollsOnTimerTicks) {
  Viewer->SetStretch(sZoomKAR);
  Viewer->SetZoomFactor(8);  // 400 by 400 in a 200 by 200 viewer
  Driver.ProcessMessages();
  Driver.MouseDown(At(100, 100));
  Driver.MouseMove(TUiTestDriver::ScreenPoint(Viewer, 230, 100));
  Driver.ProcessMessages();
  ASSERT_NE(Viewer->AutoScrollTimerObject(), nullptr);
  Driver.AdvanceClock(100);
  EXPECT_EQ(Viewer->HorzScrollBar()->Position(), 10);
  EXPECT_EQ(Viewer->VertScrollBar()->Position(), 0);
  Driver.MouseUp(TUiTestDriver::ScreenPoint(Viewer, 230, 100));
  Driver.ProcessMessages();
  EXPECT_EQ(Viewer->AutoScrollTimerObject(), nullptr);
  EXPECT_EQ(Made, 1);
  EXPECT_EQ(Viewer->SelectionLeft(), 12);
  Driver.AdvanceClock(100);
  EXPECT_EQ(Viewer->HorzScrollBar()->Position(), 10);
}
