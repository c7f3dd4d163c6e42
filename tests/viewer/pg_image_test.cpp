// Handing pictures to the viewer by copy and by ownership, loading and
// saving, and the settings that react or only store.
#include <cstdio>

#include "imaging/core/exceptions.h"
#include "tests/viewer/viewer_fixture.h"

TEST_F(ViewerTest, AssignCopiesAndTakeOwns) {
  auto mine = Gradient(6, 4);
  int changes = 0;
  Viewer->OnPixelGraphicChange = [&](TObject* S) {
    EXPECT_EQ(S, Viewer);
    ++changes;
  };
  Viewer->AssignPixelGraphic(mine.get());
  ASSERT_NE(Viewer->PixelGraphicNoWait(), nullptr);
  EXPECT_NE(Viewer->PixelGraphicNoWait(), mine.get());
  EXPECT_FALSE(mine->OnChange);  // the caller's image is left alone
  EXPECT_EQ(Viewer->ImageWidth(), 6);
  EXPECT_EQ(Viewer->PicBox()->Width(), 6);
  EXPECT_EQ(Viewer->PixelGraphicNoWait()->GetPixelColor(5, 3), mine->GetPixelColor(5, 3));

  TPixelGraphic* raw = mine.release();
  Viewer->TakePixelGraphic(raw);
  EXPECT_EQ(Viewer->GetPixelGraphic(), raw);
  auto copy = Viewer->CopyPixelGraphic();
  EXPECT_NE(copy.get(), raw);
  EXPECT_EQ(copy->GetPixelColor(2, 1), raw->GetPixelColor(2, 1));

  // A change of the picture itself lays the viewer out again.
  raw->NewImage(9, 7, pf24Bit);
  EXPECT_EQ(Viewer->PicBox()->Width(), 9);
  EXPECT_EQ(Viewer->PicBox()->Height(), 7);
  EXPECT_EQ(changes, 3);

  Viewer->AssignPixelGraphic(nullptr);
  EXPECT_EQ(Viewer->PixelGraphicNoWait(), nullptr);
  EXPECT_EQ(Viewer->ImageWidth(), 0);
}

TEST_F(ViewerTest, SaveAndLoadThroughFileName) {
  EXPECT_THROW(Viewer->SaveToFile("/tmp/never.bmp"), EPGEmpty);
  EXPECT_EQ(Viewer->FileName(), "");
  try {
    Viewer->SaveToFile("/tmp/never.bmp");
  } catch (const EPGEmpty& e) {
    EXPECT_STREQ(e.what(), "PixelGraphic is empty");
  }
  std::string path = std::string(QUILLON_BUILD_DIR) + "/viewer_roundtrip.bmp";
  Viewer->TakePixelGraphic(Gradient(5, 3));
  Viewer->SaveToFile(path);
  EXPECT_EQ(Viewer->FileName(), path);
  Viewer->AssignPixelGraphic(nullptr);
  Viewer->SetBackGroundColor(clLime);
  Viewer->SetFileName(path);
  ASSERT_NE(Viewer->PixelGraphicNoWait(), nullptr);
  EXPECT_EQ(Viewer->PixelGraphicNoWait()->GetPixelColor(4, 2), Gradient(5, 3)->GetPixelColor(4, 2));
  EXPECT_EQ(Viewer->PixelGraphicNoWait()->TransparentColor(), clLime);
  EXPECT_EQ(Screen->Cursor(), crDefault);
  Viewer->SetFileName("");
  EXPECT_EQ(Viewer->PixelGraphicNoWait(), nullptr);

  // A failed load keeps the picture shown and its FileName, and restores the cursor.
  Viewer->LoadFromFile(path);
  Viewer->PixelGraphicNoWait()->SetPixelColor(0, 0, clRed);  // an unsaved change
  EXPECT_ANY_THROW(Viewer->LoadFromFile(std::string(QUILLON_BUILD_DIR) + "/no_such_file.bmp"));
  ASSERT_NE(Viewer->PixelGraphicNoWait(), nullptr);
  EXPECT_EQ(Viewer->PixelGraphicNoWait()->GetPixelColor(0, 0), clRed);
  EXPECT_EQ(Viewer->FileName(), path);
  EXPECT_EQ(Screen->Cursor(), crDefault);
  std::remove(path.c_str());
}

TEST_F(ViewerTest, SettingsThatRunPictureChangedAndThoseThatDoNot) {
  int autoSizes = 0;
  Viewer->OnNewAutoSize = [&](TObject*, int32_t W, int32_t H) {
    ++autoSizes;
    EXPECT_EQ(W, 6 + 2 * Viewer->FrameWidth());
    EXPECT_EQ(H, 4 + 2 * Viewer->FrameWidth());
  };
  Viewer->TakePixelGraphic(Gradient(6, 4));
  EXPECT_EQ(autoSizes, 1);  // AutoSize off: the event fires all the same
  Viewer->SetAutoSize(false);
  EXPECT_EQ(autoSizes, 2);  // unchanged value, still a picture change
  Viewer->SetDither(false);
  int before = autoSizes;
  Viewer->SetDitherErrorLimit(10);  // Dither off: nothing
  EXPECT_EQ(autoSizes, before);
  Viewer->SetAutoSize(true);
  EXPECT_EQ(Viewer->Width(), 6 + 2 * Viewer->FrameWidth());

  // Unchanged bounds: no layout at all (a layout would put the box moved
  // here back in its place); changed bounds lay out.
  Viewer->PicBox()->SetBounds(3, 4, 5, 6);
  Viewer->SetBounds(Viewer->Left(), Viewer->Top(), Viewer->Width(), Viewer->Height());
  EXPECT_EQ(Viewer->PicBox()->BoundsRect(), (TRect{3, 4, 8, 10}));
  Viewer->SetBounds(Viewer->Left(), Viewer->Top(), Viewer->Width() + 1, Viewer->Height());
  EXPECT_EQ(Viewer->PicBox()->BoundsRect(), (TRect{0, 0, 6, 4}));
  EXPECT_THROW(Viewer->SetPalette8BitSys24BitGraphic(pSource), EPixelGraphic);
}

// The picture box drags as PicBoxDragMode says. Manual (the default), a
// press is the viewer's own (here it draws a selection); automatic, a press
// starts a drag instead, the pointer shows PicBoxDragCursor over a control
// that accepts it and crNoDrop elsewhere, and the release drops it there.
TEST_F(ViewerTest, PictureBoxDragsAndDropsOnAControlThatTakesIt) {
  EXPECT_EQ(Viewer->PicBoxDragMode(), dmManual);
  EXPECT_EQ(Viewer->PicBoxDragCursor(), crDrag);
  Viewer->SetBounds(0, 0, 100, 100);
  Viewer->SetActionMode(amCreateSelection);
  Viewer->TakePixelGraphic(Solid(60, 60, clBlue));
  auto* target = new TPanel(Form);
  target->SetParent(Form);
  target->SetBounds(200, 0, 100, 100);
  TPicBox* box = Viewer->PicBox();
  int32_t starts = 0;
  TPoint dropped{-1, -1}, ended{-1, -1};
  TObject* endTarget = Form;
  Viewer->PicBoxOnStartDrag() = [&](TObject* Sender, TDragObject*&) { starts += Sender == box; };
  target->OnDragOver = [&](TObject*, TObject* Source, int32_t, int32_t, TDragState, bool& Accept) {
    Accept = Source == box;
  };
  target->OnDragDrop = [&](TObject*, TObject* Source, int32_t X, int32_t Y) {
    if (Source == box) dropped = {X, Y};
  };
  Viewer->PicBoxOnEndDrag() = [&](TObject*, TObject* Target, int32_t X, int32_t Y) {
    endTarget = Target;
    ended = {X, Y};
  };
  Show();
  auto at = [](TControl* C, int32_t X, int32_t Y) { return TUiTestDriver::ScreenPoint(C, X, Y); };
  Driver.Drag(at(box, 5, 5), at(box, 30, 30));
  Driver.ProcessMessages();
  EXPECT_EQ(starts, 0);
  EXPECT_TRUE(Viewer->Selection());
  Viewer->SetSelection(false);

  Viewer->SetPicBoxDragMode(dmAutomatic);
  Viewer->SetPicBoxDragCursor(crHandPoint);
  Driver.MouseMove(at(box, 5, 5));
  Driver.MouseDown(at(box, 5, 5));
  Driver.MouseMove(at(box, 20, 20));
  Driver.ProcessMessages();
  EXPECT_EQ(starts, 1);
  EXPECT_TRUE(box->Dragging());
  EXPECT_EQ(GetCursor(), Screen->Cursors(crNoDrop));
  Driver.MouseMove(at(target, 30, 40));
  Driver.ProcessMessages();
  EXPECT_EQ(GetCursor(), Screen->Cursors(crHandPoint));
  Driver.MouseUp(at(target, 30, 40));
  Driver.ProcessMessages();
  EXPECT_FALSE(box->Dragging());
  EXPECT_EQ(dropped, (TPoint{30, 40}));
  EXPECT_EQ(endTarget, target);
  EXPECT_EQ(ended, (TPoint{30, 40}));
  EXPECT_FALSE(Viewer->Selection());

  // Released over a control that takes nothing: no drop, no target.
  dropped = {-1, -1};
  Driver.Drag(at(box, 5, 5), at(box, 40, 40));
  Driver.ProcessMessages();
  EXPECT_EQ(starts, 2);
  EXPECT_EQ(endTarget, nullptr);
  EXPECT_EQ(dropped, (TPoint{-1, -1}));
  EXPECT_FALSE(box->Dragging());
}
