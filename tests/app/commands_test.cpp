#include <filesystem>
#include <fstream>
#include <vector>

#include "app/pg_tools.h"
#include "app_fixture.h"
#include "controls/toolbars.h"
#include "gif/control/gif_img.h"
#include "gif/gif_read_write.h"
#include "imaging/viewer/pg_image.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/menus.h"
#include "platform/ui/shell.h"
#include "platform/ui/std_controls.h"

namespace {

class Commands : public AppTest {
protected:
  void SetUp() override {
    AppTest::SetUp();
    WritePhoto("cmd.bmp", 30, 20);
    Start();
    Form->LoadFile(Dir + "cmd.bmp");
  }
  void TearDown() override {
    GIFTransparent = false;
    AppTest::TearDown();
  }
};

TEST_F(Commands, RotationAngleWrapsAboveButKeepsExactly360) {
  Form->RotateBy(270);
  // The status bar shows the turned picture's size; its angle panel keeps
  // reading "0 °".
  EXPECT_EQ(Panel(0), "20 x 30");
  EXPECT_EQ(Panel(1), "0 \xC2\xB0");
  Form->RotateBy(180);
  EXPECT_EQ(Form->RotationAngle(), 90);
  Form->RotateBy(270);
  EXPECT_EQ(Form->RotationAngle(), 360);
  EXPECT_TRUE(Form->Reset1->Enabled());
  EXPECT_EQ(Form->Image1->GetPixelGraphic()->GetWidth(), 30);  // two full turns
}

TEST_F(Commands, PickModeFollowsMenuAndEndsOnAColourCountChange) {
  Form->Transparent1Click(nullptr);
  EXPECT_TRUE(Form->PickMode());
  EXPECT_TRUE(GIFTransparent);
  EXPECT_TRUE(Form->btnTransparent->Down());
  EXPECT_TRUE(Form->Transparent1->Checked());
  EXPECT_EQ(Form->StatBar->Panels()->Items(3)->Style(), psOwnerDraw);
  Form->edColors->SetValue(50);
  EXPECT_FALSE(Form->PickMode());
  EXPECT_FALSE(GIFTransparent);
  EXPECT_EQ(Form->StatBar->Panels()->Items(3)->Style(), psText);
}

TEST_F(Commands, CropModeShowsTheBarAndApplyCrops) {
  Form->Image1->SetSelectionBounds(0, 0, 1, 1);
  Form->Crop1Click(nullptr);
  EXPECT_TRUE(Form->btnCrop->Down());
  EXPECT_TRUE(Form->CropBar->Visible());
  EXPECT_FALSE(Form->Image1->Selection());  // a 1 x 1 selection stays hidden
  EXPECT_EQ(Form->Image1->ActionMode(), amMoveResizeCreateSelection);

  // What is typed into the spins moves the selection and stays as typed,
  // the first digit too, though showing the selection reports its old bounds.
  Form->SelLeft->SetText("5");
  EXPECT_TRUE(Form->Image1->Selection());
  EXPECT_EQ(Form->SelLeft->Text(), "5");
  Form->SelTop->SetText("4");
  Form->SelTop->SetText("");  // erased to type anew: not rewritten as "0"
  EXPECT_EQ(Form->SelTop->Text(), "");
  Form->SelTop->SetText("4");
  Form->SelWidth->SetValue(10);
  Form->SelHeight->SetValue(6);
  EXPECT_EQ(Form->Image1->SelectionLeft(), 5);
  EXPECT_EQ(Form->Image1->SelectionTop(), 4);
  EXPECT_EQ(Form->Image1->SelectionWidth(), 10);
  EXPECT_TRUE(Form->Pending() & 4);
  Form->SelectionToSpins();
  EXPECT_TRUE(Form->Pending() & 4);
  EXPECT_TRUE(Form->btnRefresh->Enabled());
  Form->btnRefreshClick(nullptr);
  EXPECT_EQ(Form->Image1->GetPixelGraphic()->GetWidth(), 10);
  EXPECT_EQ(Form->Image1->GetPixelGraphic()->GetHeight(), 6);
  // Crop mode is over: the bar goes away and dragging selects nothing.
  EXPECT_FALSE(Form->btnCrop->Down());
  EXPECT_FALSE(Form->CropBar->Visible());
  EXPECT_EQ(Form->Image1->ActionMode(), amNone);
  EXPECT_FALSE(Form->Image1->Selection());
  EXPECT_TRUE(TSettingsFile(QLNSettingsFileName()).KeyExists("cropbarleft"));
}

// Crop mode left without Apply leaves no crop waiting: Apply goes out and
// the size shows again, unless another change still waits.
TEST_F(Commands, LeavingCropModeWithoutACropLeavesNothingPending) {
  const std::string size = Panel(2);
  Form->Crop1Click(nullptr);
  Form->Image1PicBoxOnMouseMove(Form->Image1, {}, 5, 5);
  Form->Crop1Click(nullptr);
  EXPECT_FALSE(Form->btnRefresh->Enabled());
  EXPECT_EQ(Panel(2), size);
  for (const bool zoomed : {false, true}) {
    if (zoomed) Form->edZoom->SetValue(50);
    Form->Crop1Click(nullptr);
    Form->SelLeft->SetText(zoomed ? "2" : "5");
    Form->SelWidth->SetValue(zoomed ? 4 : 10);
    Form->SelHeight->SetValue(4);
    EXPECT_EQ(Form->Pending(), zoomed ? 5 : 4);
    Form->Crop1Click(nullptr);
    EXPECT_EQ(Form->Pending(), zoomed ? 1 : 0);
    EXPECT_EQ(Form->btnRefresh->Enabled(), zoomed);
    EXPECT_EQ(Panel(2), zoomed ? "Size: ?" : size);
  }
}

// The keyboard alone: Enter in the zoom or colour box applies what was
// typed there; Escape leaves crop mode.
TEST_F(Commands, EnterInABoxAppliesEscapeLeavesCropMode) {
  Form->edZoom->SetFocus();
  Form->edZoom->SetText("50");
  ASSERT_TRUE(Form->btnRefresh->Enabled());
  Driver.PressKey(VK_RETURN);
  Driver.ProcessMessages();
  EXPECT_FALSE(Form->btnRefresh->Enabled());
  EXPECT_EQ(Panel(0), "15 x 10");
  EXPECT_NE(Panel(2), "Size: ?");
  Form->edColors->SetFocus();
  Form->edColors->SetText("8");
  Driver.PressKey(VK_RETURN);
  Driver.ProcessMessages();
  EXPECT_FALSE(Form->btnRefresh->Enabled());
  EXPECT_LE(ColourCount(*Form->Image1->GetPixelGraphic()), 8u);

  Form->Crop1Click(nullptr);
  ASSERT_TRUE(Form->CropBar->Visible());
  Form->Image1->SetFocus();
  Driver.PressKey(VK_ESCAPE);
  Driver.ProcessMessages();
  EXPECT_FALSE(Form->btnCrop->Down());
  EXPECT_FALSE(Form->CropBar->Visible());
  EXPECT_EQ(Form->Image1->ActionMode(), amNone);
}

// The toolbar dragged out to float and back onto its dock, again and again,
// looks each time as before: no floating frame or caption is left on it, and
// every button shows its glyph and caption as it did.
TEST_F(Commands, AToolbarDockedBackByDragLooksAsBefore) {
  TToolbar* bar = Form->Toolbar1;
  const int32_t f = TToolbar::FrameWidth();
  Driver.ProcessMessages();
  auto looks = [&] {
    std::vector<int32_t> ink;
    for (TToolbarButton* b : {Form->btnOpen, Form->btnSave, Form->btnCopy, Form->btnCrop, Form->btnExit})
      ink.push_back(CountColour(b, ColorToRGB(clBtnText)));
    return ink;
  };
  const std::vector<int32_t> docked = looks();
  const TColor caption = ColorToRGB(clActiveCaption);
  for (int32_t i = 0; i < 5; ++i) {
    Driver.AdvanceClock(1000);
    Driver.Drag(TUiTestDriver::ScreenPoint(bar, 5, 5), TUiTestDriver::ScreenPoint(Form->Image1, 60 + 9 * i, 80), 2 + i);
    Driver.ProcessMessages();
    ASSERT_EQ(bar->DockedTo(), nullptr) << i;
    Driver.AdvanceClock(1000);
    TRect wr;
    GetWindowRect(bar->Handle(), wr);
    Driver.Drag(TPoint{wr.Left + f + 20 + 7 * i, wr.Top + f + 3}, TUiTestDriver::ScreenPoint(Form->DockTop, 30 + 9 * i, 0),
                2 + i);
    Driver.ProcessMessages();
    ASSERT_EQ(bar->DockedTo(), Form->DockTop) << i;
    EXPECT_EQ(bar->ClientHeight(), bar->Height()) << i;
    EXPECT_EQ(bar->ClientWidth(), bar->Width()) << i;
    EXPECT_EQ(CountColour(bar, caption), 0) << i;
    EXPECT_EQ(looks(), docked) << i;
  }
}

// Apply shows in the spins the count and zoom it applied, not a value typed
// beyond their limits.
TEST_F(Commands, ApplyShowsTheCountAndZoomItApplied) {
  Form->edColors->SetText("999");
  Form->edZoom->SetText("5000");
  Form->btnRefreshClick(nullptr);
  EXPECT_EQ(Form->edColors->Text(), "256");
  EXPECT_EQ(Form->edZoom->Text(), "800");
  EXPECT_EQ(Form->Image1->ZoomFactor(), 8.0L);
  EXPECT_FALSE(Form->btnRefresh->Enabled());
}

// The crop bar's place is stored only once the bar was shown (pressing
// Color releases Crop without crop mode having been on), and a stored place
// the work area does not hold whole gives the default place again.
TEST_F(Commands, TheCropBarsPlaceIsStoredOnlyOnceShownAndComesBackInsideTheWorkArea) {
  Form->btnTransparent->SetDown(true);
  Form->btnTransparentClick(nullptr);
  EXPECT_FALSE(TSettingsFile(QLNSettingsFileName()).KeyExists("cropbarleft"));
  const TPoint place{Form->Left() + Form->Width() - Form->CropBar->Width(), Form->Top() + 100};
  for (int32_t left : {-4000, 30000}) {
    Form->Crop1Click(nullptr);
    EXPECT_EQ(Form->CropBar->Left(), place.X);
    EXPECT_EQ(Form->CropBar->Top(), place.Y);
    Form->Crop1Click(nullptr);
    TSettingsFile s(QLNSettingsFileName());
    EXPECT_EQ(s.ReadInteger("cropbarleft", 0), place.X);
    s.WriteInteger("cropbarleft", left);
    s.UpdateFile();
  }
}

// A colour picked before crop mode stays the GIF's transparent colour: the
// presses that drag the crop selection pick nothing.
TEST_F(Commands, CropDragsLeaveThePickedColour) {
  Form->Transparent1Click(nullptr);
  Form->Image1MouseDown(Form->Image1, mbLeft, {}, 2, 2);
  const TColor picked = GIFTransparentColor;
  ASSERT_NE(picked, Form->Image1->GetPixelGraphic()->GetPixelColor(25, 15));
  Form->Crop1Click(nullptr);
  EXPECT_FALSE(Form->btnTransparent->Down());
  Form->Image1MouseDown(Form->Image1, mbLeft, {}, 25, 15);
  EXPECT_EQ(GIFTransparentColor, picked);
  EXPECT_TRUE(GIFTransparent);
}

TEST_F(Commands, ViewOptionsToggleMenuStatusBarToolbarAndStretch) {
  Form->MainMenu2Click(nullptr);
  EXPECT_FALSE(Form->MainMenu2->Checked());
  EXPECT_EQ(GetFormMenu(Form), nullptr);
  EXPECT_EQ(Form->BorderStyle(), bsNone);
  Form->MainMenu2Click(nullptr);
  EXPECT_EQ(GetFormMenu(Form), Form->MainMenu1);
  EXPECT_EQ(Form->BorderStyle(), bsSizeable);

  Form->Status1Click(nullptr);
  EXPECT_FALSE(Form->StatBar->Visible());

  Form->Left1->Click();
  EXPECT_EQ(Form->Toolbar1->DockedTo(), Form->DockLeft);
  Form->None1Click(nullptr);
  EXPECT_FALSE(Form->Toolbar1->Visible());
  Form->None1Click(nullptr);
  EXPECT_TRUE(Form->Toolbar1->Visible());
  EXPECT_EQ(Form->Toolbar1->DockedTo(), Form->DockTop);
  // Dragged elsewhere (a drag ends by docking or floating the bar), the
  // Toolbar menu follows.
  Form->Toolbar1->SetDockedTo(nullptr);
  EXPECT_TRUE(Form->Floating1->Checked());
  Form->Toolbar1->SetDockedTo(Form->DockBottom);
  EXPECT_TRUE(Form->Bottom1->Checked());
  EXPECT_FALSE(Form->Floating1->Checked());

  Form->StretchClick(Form->HighQuality1);
  EXPECT_EQ(Form->Image1->StretchMode(), smPrecise);
  EXPECT_TRUE(Form->HighQuality1->Checked());

  Form->SetToolbarButtonWidth(62);
  EXPECT_EQ(Form->btnOpen->Width(), 62);
}

// With the main menu hidden, the form's popup menu (right-click, Ctrl+F1,
// Ctrl+F2, Ctrl+F3) is the way back.
TEST_F(Commands, PopupMenuBringsBackTheHiddenMenuBarsAndToolbar) {
  Form->MainMenu2Click(nullptr);
  ASSERT_EQ(GetFormMenu(Form), nullptr);
  Driver.Click(TUiTestDriver::ScreenPoint(Form->Image1, 5, 5));  // focus inside the form
  Driver.ProcessMessages();
  Driver.SetModifiers(MK_CONTROL);
  Driver.PressKey(VK_F1);
  Driver.PressKey(VK_F3);
  Driver.PressKey(VK_F2);
  Driver.SetModifiers(0);
  Driver.ProcessMessages();
  EXPECT_EQ(GetFormMenu(Form), Form->MainMenu1);
  EXPECT_EQ(Form->BorderStyle(), bsSizeable);
  EXPECT_FALSE(Form->StatBar->Visible());
  EXPECT_FALSE(Form->Toolbar1->Visible());

  Form->MainMenu2Click(nullptr);
  bool opened = false;
  Driver.WhenIdle([&] {
    opened = OpenMenuWindows().size() == 1;
    TRect r = MenuItemScreenRect(Form->PopupMenu1->Items()->Find("Main Menu"));
    Driver.Click(TPoint{r.Left + 10, r.Top + 5});
  });
  Driver.Click(TUiTestDriver::ScreenPoint(Form->Image1, 20, 20), MK_RBUTTON);
  Driver.ProcessMessages();
  EXPECT_TRUE(opened);
  EXPECT_EQ(GetFormMenu(Form), Form->MainMenu1);
  EXPECT_EQ(Driver.PendingSteps(), 0u);
}

TEST_F(Commands, FlipsMirrorThePictureAndToggleTheirMark) {
  const TColor left = Form->Image1->GetPixelGraphic()->GetPixelColor(0, 0);
  Form->FlipHorizontal1Click(nullptr);
  EXPECT_EQ(Form->Image1->GetPixelGraphic()->GetPixelColor(29, 0), left);
  EXPECT_TRUE(Form->FlipHorizontal1->Checked());
  Form->FlipVertical1Click(nullptr);
  EXPECT_EQ(Form->Image1->GetPixelGraphic()->GetPixelColor(29, 19), left);
}

TEST_F(Commands, TileViewDisablesEditingAndUsesTheBackgroundColour) {
  Driver.WhenIdle([&] { ExecutingColorDialog()->CancelDialog(); });
  Form->BackgroundColor1Click(nullptr);
  EXPECT_EQ(Form->BackgroundColor(), static_cast<TColor>(0xFFFFFF));
  Driver.WhenIdle([&] {
    ExecutingColorDialog()->PickColor(0x00336699);
    ExecutingColorDialog()->Accept();
  });
  Form->BackgroundColor1Click(nullptr);
  EXPECT_EQ(Form->BackgroundColor(), static_cast<TColor>(0x00336699));
  Form->Tile1Click(nullptr);
  EXPECT_TRUE(Form->TileMode());
  EXPECT_TRUE(Form->GIFImage1->Visible());
  EXPECT_FALSE(Form->Image1->Visible());
  EXPECT_EQ(Form->Color(), static_cast<TColor>(0x00336699));
  EXPECT_FALSE(Form->btnSave->Enabled());
  EXPECT_FALSE(Form->Open1->Enabled());
  EXPECT_TRUE(Form->Tile1->Enabled());
  EXPECT_TRUE(Form->btnTile->Down());
  Form->Tile1Click(nullptr);
  EXPECT_FALSE(Form->TileMode());
  EXPECT_EQ(Form->Color(), clAppWorkSpace);
  EXPECT_TRUE(Form->btnSave->Enabled());
  EXPECT_TRUE(Form->Open1->Enabled());
}

// Pick mode and the picked colour end with the image they were picked from,
// but a saved GIF, loaded back, keeps them.
TEST_F(Commands, NewImageLeavesPickModeButTheSavedGifKeepsIt) {
  Form->Transparent1Click(nullptr);
  Form->Image1MouseDown(Form->Image1, mbLeft, {}, 2, 2);
  const TColor picked = GIFTransparentColor;
  ASSERT_NE(picked, static_cast<TColor>(0xFFFFFF));
  Form->SaveFile(Dir + "t.gif");
  EXPECT_TRUE(Form->PickMode());
  EXPECT_TRUE(GIFTransparent);
  EXPECT_EQ(GIFTransparentColor, picked);

  WritePhoto("other.bmp", 12, 12);
  Form->LoadFile(Dir + "other.bmp");
  EXPECT_FALSE(Form->PickMode());
  EXPECT_FALSE(Form->btnTransparent->Down());
  EXPECT_FALSE(Form->Transparent1->Checked());
  EXPECT_FALSE(GIFTransparent);
  EXPECT_EQ(GIFTransparentColor, static_cast<TColor>(0xFFFFFF));
  EXPECT_EQ(Form->StatBar->Panels()->Items(3)->Style(), psText);
}

// A second colour picked after the first one's estimate is the one saved as
// transparent, as the first is when saved before the second pick.
TEST_F(Commands, TheColourPickedLastIsTheOneSavedAsTransparent) {
  Form->Transparent1Click(nullptr);
  Form->Image1MouseDown(Form->Image1, mbLeft, {}, 2, 2);
  const TColor first = GIFTransparentColor;
  Form->UpdateSizeInfo();
  Form->SaveFile(Dir + "first.gif");
  EXPECT_EQ(GifTransparentColour(FileBytes(Dir + "first.gif")), first);
  Form->Image1MouseDown(Form->Image1, mbLeft, {}, 25, 15);
  const TColor second = GIFTransparentColor;
  ASSERT_NE(second, first);
  Form->UpdateSizeInfo();
  Form->SaveFile(Dir + "second.gif");
  EXPECT_EQ(GifTransparentColour(FileBytes(Dir + "second.gif")), second);
  // The file's pixel where the second colour was picked is transparent.
  TPixelGraphic back;
  back.LoadFromFile(Dir + "second.gif");
  EXPECT_EQ(back.GetPixelColor(25, 15), second);
}

// The picked pixel is the one the viewer shows under the cursor: checked on
// screen at whole zooms (odd box pixels included), and against the viewer's
// box-to-image mapping at other zooms and with the smoothing zoom modes.
TEST_F(Commands, PickingStoresTheColourUnderTheCursorAtAnyZoom) {
  // 16 x 12 pixels of five colours, each pixel unlike its eight neighbours.
  const TColor five[5] = {0x0000FF, 0x00FF00, 0xFF0000, 0x00FFFF, 0x000000};
  TPixelGraphic g;
  g.NewImage(16, 12, pf24Bit);
  for (int32_t y = 0; y < 12; ++y)
    for (int32_t x = 0; x < 16; ++x) g.SetPixelColor(x, y, five[(x + 3 * y) % 5]);
  g.SaveToFile(Dir + "cells.bmp");
  Form->LoadFile(Dir + "cells.bmp");
  Form->Transparent1Click(nullptr);
  TPixelGraphic* p = Form->Image1->GetPixelGraphic();
  ASSERT_EQ(ColourCount(*p), 5u);

  for (int32_t zoom : {200, 300}) {
    Form->edZoom->SetValue(zoom);
    Driver.ProcessMessages();
    TPicBox* box = Form->Image1->PicBox();
    for (TPoint at : {TPoint{3, 5}, TPoint{5, 4}, TPoint{11, 1}, TPoint{31, 23}}) {
      Form->Image1MouseDown(Form->Image1, mbLeft, {}, at.X, at.Y);
      EXPECT_EQ(GIFTransparentColor, Driver.Pixel(Form->Image1->Handle(), box->Left() + at.X, box->Top() + at.Y))
          << zoom << "% at " << at.X << "," << at.Y;
    }
  }
  Form->edZoom->SetValue(200);
  Form->Image1MouseDown(Form->Image1, mbLeft, {}, 3, 3);
  EXPECT_EQ(GIFTransparentColor, p->GetPixelColor(1, 1));

  // At zooms that are no whole multiple, every box pixel picks the colour
  // the fast display shows there (read back, exact: the drawing call's
  // stretch), in every stretch mode: a resampled display blends around that
  // same pixel.
  for (int32_t zoom : {150, 70, 33}) {
    Form->StretchClick(Form->Fast1);
    Form->edZoom->SetValue(zoom);
    Driver.ProcessMessages();
    TPicBox* box = Form->Image1->PicBox();
    std::vector<TColor> shown;
    for (int32_t y = 0; y < box->Height(); ++y)
      for (int32_t x = 0; x < box->Width(); ++x)
        shown.push_back(Driver.Pixel(Form->Image1->Handle(), box->Left() + x, box->Top() + y));
    for (TMenuItem* mode : {Form->Fast1, Form->Medium1, Form->HighQuality1}) {
      Form->StretchClick(mode);
      Driver.ProcessMessages();
      for (int32_t y = 0; y < box->Height(); ++y)
        for (int32_t x = 0; x < box->Width(); ++x) {
          Form->Image1MouseDown(Form->Image1, mbLeft, {}, x, y);
          ASSERT_EQ(GIFTransparentColor, shown[static_cast<size_t>(y * box->Width() + x)])
              << mode->Caption() << " " << zoom << "% at " << x << "," << y;
        }
    }
  }
}

// Help > Contents: when the desktop's opener cannot show the page (it ends
// with an error after it started, or it cannot start), the person is told
// where the page is.
TEST_F(Commands, HelpThatCannotBeShownGivesThePagesPath) {
  const std::string page = HelpPageFileName();
  const bool made = !FileExists(page);
  if (made) {
    ASSERT_TRUE(ForceDirectories(ExtractFilePath(page)));
    std::ofstream(page) << "<p>";
  }
  {
    TShellRecorder shell;
    Form->HelpContent1Click(nullptr);
    ASSERT_EQ(shell.Requests.size(), 1u);
    EXPECT_EQ(shell.Requests[0].Arguments, std::vector<std::string>{page});
    ASSERT_TRUE(shell.Requests[0].OnExit);
    shell.Requests[0].OnExit(0);
    EXPECT_TRUE(Driver.MessageBoxes().empty());
    shell.Requests[0].OnExit(3);
    ASSERT_EQ(Driver.MessageBoxes().size(), 1u);
    EXPECT_NE(Driver.MessageBoxes()[0].Text.find(page), std::string::npos);
    shell.Result = SE_ERR_FNF;
    Form->HelpContent1Click(nullptr);
    EXPECT_EQ(Driver.MessageBoxes().size(), 2u);
  }
  if (made) {
    DeleteFile(page);
    std::error_code ec;
    std::filesystem::remove(ExtractFilePath(page), ec);  // the folder made for it, when empty
  }
}

}  // namespace
