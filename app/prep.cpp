#include "app/prep.h"

#include "platform/gdi/colors.h"
#include "platform/ui/std_controls.h"

TPrepForm* PrepForm = nullptr;

TPrepForm::TPrepForm(TComponent* AOwner) : TForm(AOwner) {
  SetCaption("Preparing Images...");
  SetBorderStyle(bsDialog);
  // Its close button, and Escape, cancel the preparation (TForm2::ShowPreview).
  SetBorderIcons(biSystemMenu);
  SetKeyPreview(true);
  OnKeyDown = [this](TObject*, uint16_t& Key, TShiftState) {
    if (Key != VK_ESCAPE) return;
    Key = 0;
    Close();
  };
  SetFormStyle(fsStayOnTop);
  SetPosition(poDesktopCenter);
  SetClientSize(305, 123);

  ProgressBar1 = new TProgressBar(this);
  ProgressBar1->SetParent(this);
  ProgressBar1->SetAlign(alBottom);
  ProgressBar1->SetHeight(16);
  ProgressBar1->SetMin(0);
  ProgressBar1->SetMax(80);
  ProgressBar1->SetStep(10);

  Panel1 = new TPanel(this);
  Panel1->SetParent(this);
  Panel1->SetAlign(alClient);
  Panel1->SetBorderWidth(10);
  Panel1->SetCaption("");
  Memo1 = new TMemo(this);
  Memo1->SetParent(Panel1);
  Memo1->SetAlign(alClient);
  Memo1->SetColor(clBtnFace);
}

TPrepForm::~TPrepForm() {
  if (PrepForm == this) PrepForm = nullptr;
}
