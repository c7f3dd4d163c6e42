// The main window's commands that open the separate dialogs.
#include "app/about.h"
#include "app/form_tips.h"
#include "app/qln_main.h"

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
