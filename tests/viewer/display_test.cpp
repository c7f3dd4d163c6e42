// The display copy: made on the paint thread for an 8-bit screen, delivered
// by a message with a serial number, progress limited to one per 50 ms.
#include "imaging/core/options.h"
#include "imaging/viewer/display_thread.h"
#include "platform/ui/message_queue.h"
#include "tests/viewer/viewer_fixture.h"

TEST_F(ViewerTest, TrueColourScreenAtOwnSizeNeedsNoCopy) {
  Viewer->SetBorderStyle(bsNone);
  Viewer->TakePixelGraphic(Solid(8, 8, clRed));
  Show();
  EXPECT_EQ(Viewer->DisplayCopy(), nullptr);
  EXPECT_EQ(ClientPixel(3, 3), clRed);
  EXPECT_EQ(ClientPixel(50, 50), ColorToRGB(Viewer->Color()));
}

TEST_F(ViewerTest, EightBitScreenGetsA252ColourCopyFromTheThread) {
  Screen->SetColorDepth(8);
  Viewer->SetBorderStyle(bsNone);
  Viewer->SetBounds(0, 0, 64, 64);
  Viewer->TakePixelGraphic(Gradient(14, 14));
  Show();
  ASSERT_NE(Viewer->DisplayCopy(), nullptr);
  EXPECT_EQ(Viewer->DisplayCopy()->PixelFormat(), pf8Bit);
  // The picture's 196 colours, then the 16 system colours.
  EXPECT_EQ(Viewer->DisplayCopy()->PaletteCount(), 196 + 16);
  EXPECT_EQ(Viewer->DisplayCopy()->GetPaletteEntry(196 + 15), clWhite);
  EXPECT_EQ(Viewer->PaintThread()->Stage, 3);  // palette, then conversion
  // The picture is shown through the copy.: the copy shows them exactly.
  // The screen shows the reduced copy: near the picture's colour.
  TColor shown = ClientPixel(5, 9), want = Viewer->PixelGraphicNoWait()->GetPixelColor(5, 9);
  for (int shift = 0; shift < 24; shift += 8)
    EXPECT_NEAR(static_cast<int>((shown >> shift) & 0xFF), static_cast<int>((want >> shift) & 0xFF), 16);
  SavePng("eight_bit");

  // A 16-colour picture on a 16-colour screen needs no copy.
  Screen->SetColorDepth(4);
  auto sys = std::make_unique<TPixelGraphic>();
  sys->NewImage(4, 4, pf4Bit);
  sys->SetPaletteIdent(pSys16);
  Viewer->TakePixelGraphic(std::move(sys));
  Driver.ProcessMessages();
  EXPECT_EQ(Viewer->DisplayCopy(), nullptr);
}

TEST_F(ViewerTest, PreciseStretchWithoutThreadAndStaleResults) {
  Viewer->SetBorderStyle(bsNone);
  Viewer->SetBounds(0, 0, 40, 40);
  Viewer->SetStretch(sAlways);
  Viewer->SetStretchMode(smPrecise);
  Viewer->SetUseThread(false);
  Viewer->TakePixelGraphic(Solid(4, 4, clBlue));
  Show();
  ASSERT_NE(Viewer->DisplayCopy(), nullptr);
  EXPECT_EQ(Viewer->DisplayCopy()->GetWidth(), 40);
  EXPECT_EQ(ClientPixel(39, 39), clBlue);

  // Threaded: a result whose conversion was replaced is dropped (and went
  // with its thread); the current one is taken.
  Viewer->SetUseThread(true);
  Viewer->TakePixelGraphic(Solid(4, 4, clLime));
  ASSERT_TRUE(Viewer->StartDisplayConversion());
  uint32_t first = Viewer->PaintThread()->Serial;
  Viewer->PaintThread()->WaitFor();
  Viewer->TakePixelGraphic(Solid(4, 4, clRed));
  ASSERT_TRUE(Viewer->StartDisplayConversion());
  EXPECT_GT(Viewer->PaintThread()->Serial, first);
  Viewer->PaintThread()->WaitFor();
  SendMessage(Viewer->Handle(), PGM_DISPLAYCOPYREADY, first, 0);
  EXPECT_EQ(Viewer->DisplayCopy(), nullptr);
  Driver.ProcessMessages();
  ASSERT_NE(Viewer->DisplayCopy(), nullptr);
  EXPECT_EQ(Viewer->DisplayCopy()->GetPixelColor(20, 20), clRed);
  EXPECT_EQ(ClientPixel(20, 20), clRed);
}

TEST_F(ViewerTest, ProgressAtMostOncePer50Milliseconds) {
  Show();
  std::vector<std::pair<WPARAM, LPARAM>> seen;
  TCreatePaintPGThread t(true, true);
  t.Window = Viewer->Handle();
  t.Stage = 2;
  t.LastReport = Driver.Now();
  bool abort = true;
  t.ProgressHook(nullptr, 10, 100, abort);  // same 50 ms bucket: nothing
  EXPECT_FALSE(abort);
  Driver.AdvanceClock(50);
  t.ProgressHook(nullptr, 10, 100, abort);
  t.ProgressHook(nullptr, 20, 100, abort);  // same bucket again
  Driver.AdvanceClock(50);
  t.ProgressHook(nullptr, 10, 100, abort);  // percent unchanged
  t.ProgressHook(nullptr, 0, 0, abort);     // Max 0 is 100 %
  Driver.ProcessMessages();
  EXPECT_EQ(Viewer->ProgressStage(), 2);
  EXPECT_EQ(Viewer->ProgressPercent(), 100);
  t.Terminate();
  t.ProgressHook(nullptr, 1, 2, abort);
  EXPECT_TRUE(abort);
}

TEST_F(ViewerTest, ProgressClocksOnTheEmptyBox) {
  Viewer->SetBorderStyle(bsNone);
  Viewer->SetBounds(0, 0, 120, 120);
  Viewer->SetStretch(sAlways);
  Viewer->SetPicBoxColor(clWhite);
  Show();
  // An empty box with a picture's size: only the frame and clocks show.
  Viewer->PicBox()->SetBounds(0, 0, 101, 101);
  SendMessage(Viewer->Handle(), PGM_PROGRESS, 1, 50);
  // The middle clock at (43, 43): long hand straight down from its centre,
  // short hand a twenty-fourth of a turn past the top.
  TColor line = ColorToRGB(Viewer->ProgressClockLineColor());
  EXPECT_EQ(ClientPixel(50, 56), line);
  EXPECT_EQ(ClientPixel(51, 47), line);
  EXPECT_EQ(ClientPixel(53, 53), ColorToRGB(Viewer->ProgressClockBkColor()));
  EXPECT_EQ(ClientPixel(12, 18), line);  // a corner clock
  SavePng("clocks");
}

TEST_F(ViewerTest, ChangingThePictureStopsARunningConversion) {
  Viewer->SetBorderStyle(bsNone);
  Viewer->SetBounds(0, 0, 300, 300);
  Viewer->SetStretch(sAlways);
  Viewer->SetStretchMode(smPrecise);
  Show();
  // The conversion of a large picture, started and not waited for.
  Viewer->TakePixelGraphic(Solid(2000, 1500, clBlue));
  ASSERT_TRUE(Viewer->StartDisplayConversion());
  TCreatePaintPGThread* first = Viewer->PaintThread();
  const bool converting = !first->Finished();
  Viewer->TakePixelGraphic(Solid(3, 3, clLime));
  // It was told to stop and has ended; stopped while it ran, it delivers
  // nothing.
  ASSERT_EQ(Viewer->PaintThread(), first);
  EXPECT_TRUE(first->Terminated());
  EXPECT_TRUE(first->Finished());
  if (converting) {
    EXPECT_EQ(first->DisplayCopy, nullptr);
  }
  EXPECT_EQ(Viewer->DisplayCopy(), nullptr);
  Driver.ProcessMessages();
  ASSERT_NE(Viewer->DisplayCopy(), nullptr);
  EXPECT_EQ(Viewer->DisplayCopy()->GetPixelColor(150, 150), clLime);
  EXPECT_EQ(ClientPixel(150, 150), clLime);

  // Keeping the old copy: a new size paints the old copy until the new one is there.
  Viewer->SetKeepOldPaintPixelGraphic(true);
  TPixelGraphic* old = Viewer->DisplayCopy();
  Viewer->SetBounds(0, 0, 200, 200);
  EXPECT_EQ(Viewer->DisplayCopy(), old);
  Driver.ProcessMessages();
  ASSERT_NE(Viewer->DisplayCopy(), nullptr);
  EXPECT_EQ(Viewer->DisplayCopy()->GetWidth(), 200);
}

TEST_F(ViewerTest, ReduceOnLoadReplacesThePicture) {
  Screen->SetColorDepth(8);
  Viewer->SetReduceOnLoad(true);
  Viewer->TakePixelGraphic(Gradient(8, 8));
  Show();
  ASSERT_NE(Viewer->PixelGraphicNoWait(), nullptr);
  EXPECT_EQ(Viewer->PixelGraphicNoWait()->PixelFormat(), pf8Bit);
  EXPECT_EQ(Viewer->DisplayCopy(), nullptr);
  // Reduced once: painting again starts no conversion.
  Viewer->Invalidate();
  Driver.ProcessMessages();
  EXPECT_FALSE(Viewer->StartDisplayConversion());
}

// A conversion that fails is reported once and the picture is painted as it
// is (stretched by the drawing call), never the empty box with its clocks
// for ever; the next change of picture tries again.
TEST_F(ViewerTest, FailedConversionIsReportedAndThePictureShownAsItIs) {
  const uint32_t limit = PGMaxImageSize;
  Viewer->SetBorderStyle(bsNone);
  Viewer->SetBounds(0, 0, 40, 40);
  Viewer->SetStretch(sAlways);
  Viewer->SetStretchMode(smPrecise);
  Screen->SetColorDepth(8);
  // The 4 x 4 picture fits; an 8-bit copy of the 40 x 40 box does not.
  PGMaxImageSize = 40 * 40 - 1;
  for (bool threaded : {true, false}) {
    SCOPED_TRACE(threaded ? "with the paint thread" : "without a thread");
    Driver.ClearMessageBoxes();
    Viewer->SetUseThread(threaded);
    Viewer->TakePixelGraphic(Solid(4, 4, clBlue));
    Show();
    Viewer->Invalidate();
    Driver.ProcessMessages();
    ASSERT_EQ(Driver.MessageBoxes().size(), 1u);
    EXPECT_NE(Driver.MessageBoxes()[0].Text.find("40 x 40"), std::string::npos);
    EXPECT_EQ(Viewer->DisplayCopy(), nullptr);
    EXPECT_EQ(ClientPixel(39, 39), clBlue);
  }
  PGMaxImageSize = limit;
  Screen->SetColorDepth(32);
  Viewer->TakePixelGraphic(Solid(4, 4, clLime));
  Driver.ProcessMessages();
  ASSERT_NE(Viewer->DisplayCopy(), nullptr);
  EXPECT_EQ(ClientPixel(20, 20), clLime);
}
