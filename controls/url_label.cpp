// TUrlLabel: click opens the address (or the caption) with the shell.
#include "controls/url_label.h"

#include "platform/base/strings.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/forms.h"
#include "platform/ui/shell.h"

TUrlLabel::TUrlLabel(TComponent* AOwner) : TLabel(AOwner) {
  if (Screen) Screen->SetCursors(crUrlHand, Screen->Cursors(crHandPoint));
  SetCursor(crUrlHand);
  FActiveColor = 0x800080;
  Font()->SetColor(0xFF0000);
  Font()->SetStyle(fsUnderline);
  FPopup = new TPopupMenu(this);
  FCopyItem = new TMenuItem(FPopup);
  FCopyItem->SetCaption("Copy");
  FCopyItem->OnClick = [this](TObject*) { Clipboard()->SetAsText(Caption()); };
  FPopup->Items()->Add(FCopyItem);
  SetPopupMenu(FPopup);
}

TUrlLabel::~TUrlLabel() = default;

void TUrlLabel::Click() {
  TLabel::Click();
  std::string target = Trim(FURL).empty() ? Caption() : FURL;
  if (Trim(target).empty()) return;
  ShellExecute(GetDesktopWindow(), "open", target, "", "", SW_SHOWNORMAL);
}

void TUrlLabel::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  if (Button == mbLeft) {
    FSavedColor = Font()->Color();
    Font()->SetColor(FActiveColor);
  }
  TLabel::MouseDown(Button, Shift, X, Y);
}

void TUrlLabel::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  if (Button == mbLeft) Font()->SetColor(FSavedColor);
  TLabel::MouseUp(Button, Shift, X, Y);
}
