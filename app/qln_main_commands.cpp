// The main window's transparency, crop, flip, rotation, view and TWAIN
// source commands.
#include <memory>

#include "app/busy.h"
#include "app/pg_tools.h"
#include "app/qln_main.h"
#include "controls/toolbars.h"
#include "gif/control/gif_img.h"
#include "gif/gif_encoder.h"
#include "gif/gif_read_write.h"
#include "imaging/core/pixel_graphic.h"
#include "imaging/twain/pg_twain.h"
#include "imaging/viewer/pg_image.h"
#include "platform/base/files.h"
#include "platform/base/settings.h"
#include "platform/base/stream.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/cursors.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/menus.h"
#include "platform/ui/shell.h"
#include "platform/ui/std_controls.h"

namespace {
// Set while the crop spins move the selection: its change reports then
// leave the spins' text as typed.
bool SpinsMoveSelection = false;
}  // namespace

void TForm1::SetTransparentMode(bool On) {
  if (On == FPickMode) return;
  StatBar->Panels()->Items(3)->SetStyle(On ? psOwnerDraw : psText);
  FPickMode = On;
  GIFTransparent = On;
  btnTransparent->SetDown(FPickMode);
  Transparent1->SetChecked(btnTransparent->Down());
  StatBar->Invalidate();
}

void TForm1::btnTransparentClick(TObject*) {
  if (btnTransparent->Down() != FPickMode) MarkModified();  // the GIF's transparency
  SetTransparentMode(btnTransparent->Down());
  btnCropClick(btnCrop);
}

void TForm1::Transparent1Click(TObject*) {
  MarkModified();
  SetTransparentMode(!FPickMode);
}

void TForm1::btnCropClick(TObject*) {
  // A frame still shown when crop mode ends was not cropped to (Apply's crop
  // takes it away first): it is no longer a change waiting for Apply.
  const bool uncropped = !btnCrop->Down() && Image1->Selection();
  Image1->SetSelection(btnCrop->Down() && Image1->SelectionWidth() > 1 && Image1->SelectionHeight() > 1);
  if (!btnCrop->Down()) {
    SaveCropBarPosition();
    Image1->SetActionMode(amNone);
    CropBar->SetVisible(false);
    if (uncropped && (FPending & 4)) {
      FPending &= static_cast<uint8_t>(~4u);
      if (FPending == 0 && QLNLoadingIdle) {
        btnRefresh->SetEnabled(false);
        UpdateSizeInfo();
      }
    }
  } else {
    TSettingsFile s(QLNSettingsFileName());
    const int32_t defaultLeft = Left() + Width() - CropBar->Width(), defaultTop = Top() + 100;
    int32_t left = s.ReadInteger("cropbarleft", defaultLeft), top = s.ReadInteger("cropbartop", defaultTop);
    // A stored place the work area no longer holds whole gives the default.
    const TRect work = Screen ? Screen->WorkAreaRect() : TRect{};
    if (Screen && (left < work.Left || top < work.Top || left + CropBar->Width() > work.Right ||
                   top + CropBar->Height() > work.Bottom)) {
      left = defaultLeft;
      top = defaultTop;
    }
    CropBar->SetLeft(left);
    CropBar->SetTop(top);
    CropBar->SetVisible(true);
    Image1->SetActionMode(amMoveResizeCreateSelection);
  }
}

void TForm1::Crop1Click(TObject*) {
  btnCrop->SetDown(!btnCrop->Down());
  btnCropClick(btnCrop);
}

void TForm1::SelectionToSpins() {
  // Only a frame shown in crop mode is a crop waiting for Apply.
  if (btnCrop->Down() && Image1->Selection()) {
    FPending |= 4;
    MarkDirty();
  }
  if (SpinsMoveSelection) return;
  QLNSelectionSync = false;
  SelLeft->SetValue(Image1->SelectionLeft());
  SelTop->SetValue(Image1->SelectionTop());
  SelWidth->SetValue(Image1->SelectionWidth());
  SelHeight->SetValue(Image1->SelectionHeight());
  QLNSelectionSync = true;
}

void TForm1::Image1SelectionChange(TObject*) { SelectionToSpins(); }

void TForm1::Image1PicBoxOnMouseMove(TObject*, TShiftState, int32_t X, int32_t Y) {
  StatBar->Panels()->Items(4)->SetText(std::to_string(X) + "," + std::to_string(Y));
  if (btnCrop->Down()) SelectionToSpins();
}

void TForm1::SelChange(TObject*) {
  if (!QLNSelectionSync) return;
  // Showing a hidden selection reports its old bounds: written back into the
  // spins they would replace the digit just typed, and a spin rewritten as
  // it is typed in moves its caret.
  SpinsMoveSelection = true;
  Image1->SetSelection(true);
  Image1->SetSelectionLeft(SelLeft->Value());
  Image1->SetSelectionTop(SelTop->Value());
  Image1->SetSelectionWidth(SelWidth->Value());
  Image1->SetSelectionHeight(SelHeight->Value());
  SpinsMoveSelection = false;
}

void TForm1::FlipHorizontal1Click(TObject*) {
  if (!EditPicture("Flipping the picture...", [this] {
        if (TPixelGraphic* p = Image1->GetPixelGraphic(); p && !p->Empty()) p->FlipHorizontal();
      }))
    return;
  FlipHorizontal1->SetChecked(!FlipHorizontal1->Checked());
  Reset1->SetEnabled(true);
  MarkModified();
}

void TForm1::FlipVertical1Click(TObject*) {
  if (!EditPicture("Flipping the picture...", [this] {
        if (TPixelGraphic* p = Image1->GetPixelGraphic(); p && !p->Empty()) p->FlipVertical();
      }))
    return;
  FlipVertical1->SetChecked(!FlipVertical1->Checked());
  Reset1->SetEnabled(true);
  MarkModified();
}

void TForm1::RotateBy(int32_t Degrees) {
  if (!EditPicture("Rotating the picture...", [&] { RotateImage(Image1, Degrees); })) return;
  FRotationAngle += Degrees;
  if (FRotationAngle > 360) FRotationAngle -= 360;
  Reset1->SetEnabled(true);
  MarkModified();
}

void TForm1::MainMenu2Click(TObject*) {
  MainMenu2->SetChecked(!MainMenu2->Checked());
  if (MainMenu2->Checked()) {
    SetFormMenu(this, MainMenu1);
    SetBorderStyle(bsSizeable);
  } else {
    SetFormMenu(this, nullptr);
    SetBorderStyle(bsNone);
  }
}

void TForm1::Status1Click(TObject*) {
  Status1->SetChecked(!Status1->Checked());
  StatBar->SetVisible(Status1->Checked());
}

void TForm1::DockToolbar(TMenuItem* Item, TDock* Dock) {
  Item->SetChecked(true);
  Toolbar1->SetVisible(!None1->Checked());
  Toolbar1->SetDockedTo(Dock);
}

void TForm1::None1Click(TObject*) {
  None1->SetChecked(!None1->Checked());
  if (None1->Checked())
    Toolbar1->SetVisible(false);
  else
    DockToolbar(Top1, DockTop);
}

void TForm1::StretchClick(TObject* Sender) {
  auto* item = dynamic_cast<TMenuItem*>(Sender);
  if (!item) return;
  Image1->SetStretchMode(static_cast<TStretchMode>(item->Tag()));
  item->SetChecked(true);
}

void TForm1::SetToolbarButtonWidth(int32_t Width) {
  for (int32_t i = 0; i < ComponentCount(); ++i)
    if (auto* b = dynamic_cast<TToolbarButton*>(Components(i))) b->SetWidth(Width);
}

void TForm1::Select1Click(TObject*) {
  // Listing the scanners takes a while: the busy cursor says so (the
  // source dialog itself shows the ordinary one).
  Screen->SetCursor(crHourGlass);
  Update();  // the menu that chose this goes from the screen first
  bool selected = false;
  try {
    selected = TWAIN_SelectImageSource(Handle());
  } catch (...) {
    Screen->SetCursor(crDefault);
    throw;
  }
  Screen->SetCursor(crDefault);
  // A source chosen earlier stays the default when the person cancels;
  // the button says what its next press does: acquire from that source, or
  // choose one when none was.
  const bool source = selected || TWAIN_DefaultSourceKept();
  Acquire1->SetEnabled(source);
  btnTwain->SetCaption(source ? "Acquire" : "Select");
  btnTwain->SetHint(source ? "Acquire Image" : "Select Source");
}

void TForm1::btnTwainClick(TObject*) {
  if (!Acquire1->Enabled())
    Select1Click(Select1);
  else
    Acquire1->Click();
}

void TForm1::SetTileMode(bool On) {
  if (On == FTileMode) return;
  if (On) {
    // The tiles are the GIF that Save writes.
    TPixelGraphic* picture = Image1->GetPixelGraphic();
    if (!picture || picture->Empty()) return;
    try {
      TBusyCommand busy("Making the tiles...");
      TMemoryStream& gif = *ShownGIF(picture, BoxWidth(), BoxHeight(), true).Bytes;
      gif.SetPosition(0);
      GIFImage1->LoadFromStream(gif);
    } catch (const ECommandCancelled&) {
      btnTile->SetDown(false);
      return;
    }
    SetColor(FBackgroundColor);
  } else {
    SetColor(clAppWorkSpace);
  }
  FTileMode = On;
  GIFImage1->SetVisible(On);
  Image1->SetVisible(!On);
  UpdateControls(On);
  Tile1->SetEnabled(true);
  btnTile->SetEnabled(true);
  Tile1->SetChecked(On);
  btnTile->SetDown(On);
  btnPaste->SetEnabled(!On && Clipboard()->HasFormat(CF_BITMAP));
  Paste1->SetEnabled(btnPaste->Enabled());
  btnOpen->SetEnabled(!On);
  btnTwain->SetEnabled(!On);
  Open1->SetEnabled(!On);
  Select1->SetEnabled(!On);
  Acquire1->SetEnabled(!On);
}

void TForm1::Tile1Click(TObject*) { SetTileMode(!FTileMode); }

void TForm1::BackgroundColor1Click(TObject*) {
  ColorDialog1->SetColor(FBackgroundColor);
  if (!ColorDialog1->Execute()) return;
  FBackgroundColor = ColorDialog1->Color();
  if (btnTile->Down()) SetColor(FBackgroundColor);
}

void TForm1::Image1MouseDown(TObject*, TMouseButton, TShiftState, int32_t X, int32_t Y) {
  // Only while the pick button is down: in crop mode (which releases it)
  // the presses drag a selection and keep the colour already picked.
  if (!FPickMode || !btnTransparent->Down()) return;
  // The image pixel shown at the clicked box pixel, by the rule the viewer
  // displays with (whatever the zoom, its rounding and the stretch mode).
  const TPoint image = Image1->ShownImagePixel(TPoint{X, Y});
  GIFTransparentColor = Image1->PicBox()->Canvas()->Pixels(X, Y);
  if (FSwatch) {
    TCanvas* c = FSwatch->Canvas();
    c->Pen()->SetStyle(psClear);
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(GIFTransparentColor);
    c->Rectangle(0, 0, FSwatch->Width() + 1, FSwatch->Height() + 1);
  }
  FLastPickX = image.X;
  FLastPickY = image.Y;
  PickTransparentFromGif();
  MarkModified();
  StatBar->Invalidate();
}

// The colour the GIF file will hold at the picked pixel, not the possibly
// dithered screen colour.
void TForm1::PickTransparentFromGif() {
  TPixelGraphic* picture = Image1->GetPixelGraphic();
  if (!picture || picture->Empty()) return;
  try {
    // Shown at its own size, the picture's GIF is the one Save writes.
    TBusyCommand busy("Picking the colour...");
    const int32_t width = picture->GetWidth(), height = picture->GetHeight();
    TMemoryStream own;
    TMemoryStream& gif = width == BoxWidth() && height == BoxHeight() ? *ShownGIF(picture, width, height, true).Bytes
                                                                       : own;
    if (&gif == &own) CodePictureGIF(own, picture);
    gif.SetPosition(0);
    if (!GIFImage1->LoadFromStream(gif)) return;
  } catch (const ECommandCancelled&) {
    return;  // the screen's colour stays picked
  }
  TBitmap* first = GIFImage1->GetBitmap();
  if (first && FLastPickX >= 0 && FLastPickY >= 0 && FLastPickX < first->Width() && FLastPickY < first->Height())
    GIFTransparentColor = first->Canvas()->Pixels(FLastPickX, FLastPickY);
}

void TForm1::HelpContent1Click(TObject*) {
  // The desktop's opener may start and then find no program for the page:
  // its exit is watched, and the person learns where the page is.
  const std::string page = HelpPageFileName();
  auto notShown = [page] {
    ShowMessage("The help page could not be shown: the desktop has no program for web pages.\n"
                "Open it in a web browser: " + page);
  };
  const intptr_t started = ShellExecute(Handle(), "open", page, "", "", SW_SHOW, [notShown](int32_t ExitCode) {
    if (ExitCode != 0) notShown();
  });
  if (started <= 32) notShown();
}

void TForm1::Acquire1Click(TObject*) {
  if (!QueryCloseSave()) return;
  Screen->SetCursor(crHourGlass);
  // The menu that chose this is gone from the screen before the source is
  // opened, which may take seconds: the window shows at once what is under it.
  Update();
  HGLOBAL dib = TWAIN_AcquireDib(Handle(), 0);
  BringToFront();
  Update();
  if (dib) {
    // The scan goes to a file of its own in the person's private runtime
    // (or cache) folder, under a name nobody can guess beforehand: the
    // program folder is read-only once installed, and a shared folder would
    // let another user put something in its place.
    const std::string folder = UserRuntimeFolder();
    const std::string name = folder + "~source-" + RandomNamePart() + ".bmp";
    try {
      if (folder.empty()) throw EWriteError("Cannot create file \"~source.bmp\": No such file or directory");
      // A scan that could not be written is not loaded: an older file of
      // that name would show the wrong image.
      const int32_t saved = TWAIN_SaveDibToBmpFile(dib, name);
      TWAIN_ReleaseDib(dib);
      dib = 0;
      if (saved != 0) throw EWriteError("Cannot create file \"" + name + "\"");
      try {
        LoadFile(name);
      } catch (...) {
        DeleteFile(name);
        throw;
      }
      DeleteFile(name);
      // The scan names no file of the person's: it is untitled, like a paste.
      SetUntitled();
    } catch (const ECommandCancelled&) {
      QLNLoadingIdle = true;  // the picture shown stays
    } catch (const std::exception&) {
      QLNLoadingIdle = true;
      ShowMessage("Unable to aquire image");
    }
  }
  if (dib) TWAIN_ReleaseDib(dib);
  Screen->SetCursor(crDefault);
}
