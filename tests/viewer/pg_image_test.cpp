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
