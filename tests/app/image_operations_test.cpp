#include <fstream>

#include "app/pg_tools.h"
#include "app_fixture.h"
#include "gif/gif_encoder.h"
#include "imaging/viewer/pg_image.h"
#include "platform/gdi/bitmap.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/std_controls.h"
#include "controls/toolbars.h"

namespace {

class ImageOperations : public AppTest {
protected:
  void SetUp() override {
    AppTest::SetUp();
    WritePhoto("ops.bmp", 30, 20);
    Start();
    Form->LoadFile(Dir + "ops.bmp");
    Image = Form->Image1;
  }
  TPixelGraphic* Picture() { return Image->GetPixelGraphic(); }
  TPGImage* Image = nullptr;
};

TEST_F(ImageOperations, SelectionIsClampedToThePicture) {
  Image->SetSelectionBounds(-5, -3, 20, 10);
  ClampSelection(Image);
  EXPECT_EQ(Image->SelectionLeft(), 0);
  EXPECT_EQ(Image->SelectionTop(), 0);
  EXPECT_EQ(Image->SelectionWidth(), 15);
  EXPECT_EQ(Image->SelectionHeight(), 7);

  Image->SetSelectionBounds(25, 15, 20, 10);
  ClampSelection(Image);
  EXPECT_EQ(Image->SelectionWidth(), 5);
  EXPECT_EQ(Image->SelectionHeight(), 5);
}

TEST_F(ImageOperations, CropTakesTheClampedRectangleAndHidesTheSelection) {
  const TColor corner = Picture()->GetPixelColor(25, 15);
  Image->SetSelectionBounds(25, 15, 20, 10);
  Image->SetSelection(true);
  CropToSelection(Image);
  EXPECT_EQ(Picture()->GetWidth(), 5);
  EXPECT_EQ(Picture()->GetHeight(), 5);
  EXPECT_EQ(Picture()->GetPixelColor(0, 0), corner);
  EXPECT_FALSE(Image->Selection());
}

TEST_F(ImageOperations, ReduceTakesThePaletteFromThePristineImage) {
  ReduceColors(Image, Form->Pristine(), pUnknown, true, false, 2, 2);
  EXPECT_EQ(Picture()->PixelFormat(), pf8Bit);
  EXPECT_LE(Picture()->PaletteCount(), 2);
  ReduceColors(Image, Form->Pristine(), pBlackWhite, true, true, 256, 0);
  EXPECT_EQ(Picture()->PixelFormat(), pf1Bit);
  EXPECT_EQ(Picture()->GetWidth(), 30);
}

TEST_F(ImageOperations, ResampleToTheSameSizeStillResetsTheZoom) {
  Image->SetZoomFactor(2.0L);
  Resample(Image, 30, 20);
  EXPECT_EQ(Image->ZoomFactor(), 1.0L);
  Resample(Image, 15, 10);
  EXPECT_EQ(Picture()->GetWidth(), 15);
  EXPECT_EQ(Picture()->PixelFormat(), pf8Bit);
}

TEST_F(ImageOperations, RotateAndBorderKeepFormatAndFailureKeepsThePicture) {
  RotateImage(Image, 270);
  EXPECT_EQ(Picture()->GetWidth(), 20);
  EXPECT_EQ(Picture()->GetHeight(), 30);
  AddSoftBorder(Image, true, 4, clWhite);
  EXPECT_EQ(Picture()->PixelFormat(), pf8Bit);
  // An impossible size raises inside; the old picture stays.
  TPixelGraphic* before = Picture();
  Resample(Image, -1, 5);
  EXPECT_EQ(Picture(), before);
  EXPECT_EQ(Picture()->GetWidth(), 20);
}

TEST_F(AppTest, PasteTakesTheClipboardBitmapAndEmptyClipboardDoesNothing) {
  Start();
  Clipboard()->Clear();
  Driver.ProcessMessages();
  EXPECT_FALSE(Form->btnPaste->Enabled());
  Form->btnPasteClick(nullptr);
  EXPECT_EQ(Form->FileName(), "");

  TBitmap bmp;
  bmp.SetPixelFormat(pf24bit);
  bmp.SetWidth(12);
  bmp.SetHeight(9);
  bmp.Canvas()->Brush()->SetColor(clRed);
  bmp.Canvas()->FillRect(TRect{0, 0, 12, 9});
  Clipboard()->Assign(&bmp);
  Driver.ProcessMessages();
  EXPECT_TRUE(Form->btnPaste->Enabled());
  EXPECT_TRUE(Form->Paste1->Enabled());
  Form->btnPasteClick(nullptr);
  EXPECT_EQ(Form->FileName(), "Untitled");
  EXPECT_EQ(Panel(5), "Untitled");
  EXPECT_EQ(Form->Image1->GetPixelGraphic()->GetWidth(), 12);
  const TColor c = Form->Image1->GetPixelGraphic()->GetPixelColor(3, 3);
  EXPECT_GE(c & 0xFF, 0xF0u);
  EXPECT_LE((c >> 8) & 0xFF, 0x10u);
  EXPECT_TRUE(Form->btnSave->Enabled());
  // One colour: the count stops at the spin edit's minimum of 2.
  EXPECT_EQ(Form->edColors->Value(), std::max(2, GIFColorCount));
  EXPECT_TRUE(Form->Modified());

  // Untitled: Save proposes a neutral name in the person's pictures folder,
  // as no file was opened or saved yet.
  ASSERT_TRUE(ForceDirectories(Dir + "pictures") && ForceDirectories(Dir + "config"));
  std::ofstream(Dir + "config/user-dirs.dirs") << "XDG_PICTURES_DIR=\"" << Dir << "pictures\"\n";
  Driver.WhenIdle([&] {
    EXPECT_EQ(ExecutingFileDialog()->FileName(), Dir + "pictures/Untitled");
    ExecutingFileDialog()->CancelDialog();
  });
  Form->SaveAs1Click(nullptr);

  // Copy puts the picture as shown on the clipboard, at zoom 200 doubled,
  // and leaves the picture, its zoom, the change pending and Reset as they
  // were.
  Form->btnRefreshClick(nullptr);
  Form->edZoom->SetValue(200);
  const bool resetOn = Form->Reset1->Enabled();
  Clipboard()->Clear();
  Form->btnCopyClick(nullptr);
  ASSERT_TRUE(Clipboard()->HasFormat(CF_DIB));
  TBitmap copied;
  copied.Assign(Clipboard());
  EXPECT_EQ(copied.Width(), 24);
  EXPECT_EQ(copied.Height(), 18);
  EXPECT_EQ(Form->Image1->GetPixelGraphic()->GetWidth(), 12);
  EXPECT_EQ(Form->edZoom->Value(), 200);
  EXPECT_EQ(Form->Pending(), 1);
  EXPECT_TRUE(Form->btnRefresh->Enabled());
  EXPECT_EQ(Form->Reset1->Enabled(), resetOn);
  EXPECT_EQ(Panel(0), "24 x 18");
}

TEST_F(AppTest, ViewerLeavingTheChainHandsOnItsSuccessor) {
  TForm* other = new TForm(nullptr);
  other->AfterConstruction();
  const HWND otherWnd = other->Handle();
  const HWND before = SetClipboardViewer(otherWnd);
  Start();
  EXPECT_EQ(Form->NextClipboardViewer(), otherWnd);
  ChangeClipboardChain(otherWnd, before);
  EXPECT_EQ(Form->NextClipboardViewer(), before);
  other->Free();
}

}  // namespace
