// The main window's commands that open the separate dialogs.
#include "app/about.h"
#include "app/border.h"
#include "app/pal_edit.h"
#include "app/pg_tools.h"
#include "app/preview.h"
#include "app/form_tips.h"
#include "app/qln_main.h"
#include "controls/toolbars.h"
#include "imaging/viewer/pg_image.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/dc.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/menus.h"
#include "platform/ui/window.h"

void TForm1::ShowTips1Click(TObject*) {
  try {
    FShowTips = ShowTipDialog(FTipIndex, FShowTips);
  } catch (const std::exception& E) {
    Application->ShowException(E);
  }
}

void TForm1::About1Click(TObject*) {
  if (AboutForm) AboutForm->ShowModal();
}

void TForm1::AddBorder1Click(TObject*) {
  if (!BorderEdit) return;
  BorderEdit->Prepare(Image1);
  if (BorderEdit->ShowModal() == mrOk && BorderStyleSetting() != 0) {
    if (!EditPicture("Adding the border...", [this] {
          AddSoftBorder(Image1, BorderStyleSetting() == 2, BorderWidthSetting(), BorderColorSetting());
        }))
      return;
    Reset1->SetEnabled(true);
    MarkModified();
  }
}

void TForm1::EditPalette1Click(TObject*) {
  if (!PalEditor) return;
  PalEditor->Prepare(Image1);
  if (PalEditor->ShowModal() == mrOk) {
    if (!EditPicture("Changing the palette...", [this] { TPalEditor::CopyToImage(PalEditor->Img, Image1); })) return;
    Image1->RealizeParentPalette();
    btnTransparent->SetDown(false);
    Reset1->SetEnabled(true);
    MarkModified();
  }
}

void TForm1::PreviewColours1Click(TObject*) {
  if (Form2) Form2->ShowPreview(Image1->PixelGraphicNoWait(), Pristine(), RGBWeight1->Checked(), Dithering1->Checked());
}

void TForm1::Copyscreen1Click(TObject*) {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetWidth(800);
  bitmap->SetHeight(600);
  // What the screen shows from the top-left of the client area: the viewer,
  // the bars and all, not only the form's own background.
  HDC screen = GetDC(nullptr);
  TPoint origin = ClientOrigin();
  BitBlt(bitmap->Canvas()->Handle(), 0, 0, 800, 600, screen, origin.X, origin.Y, SRCCOPY);
  ReleaseDC(nullptr, screen);
  Clipboard()->Assign(bitmap.get());
}
