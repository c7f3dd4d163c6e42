// TStyledLabel: the text with a one-pixel copy in the shadow (raised) or
// highlight (recessed) colour below and to the right.
#include "controls/styled_label.h"

#include "platform/gdi/dc.h"
#include "platform/gdi/text.h"

void TStyledLabel::SetTextStyle(TTextStyle Value) {
  if (Value == FTextStyle) return;
  FTextStyle = Value;
  Invalidate();
}

void TStyledLabel::Paint() {
  TRect r = ClientRect();
  if (!Transparent()) {
    Canvas()->Brush()->SetColor(Color());
    Canvas()->FillRect(r);
  }
  Canvas()->Brush()->SetStyle(bsClear);
  static const uint32_t align[] = {DT_LEFT, DT_RIGHT, DT_CENTER};
  DoDrawText(r, align[Alignment()] | DT_EXPANDTABS | DT_WORDBREAK);
  Canvas()->Brush()->SetStyle(bsSolid);
}

void TStyledLabel::DoDrawText(TRect& Rect, uint32_t Flags) {
  std::string text = Caption().substr(0, 255);
  if ((Flags & DT_CALCRECT) && (text.empty() || (ShowAccelChar() && text == "&"))) text.assign(1, ' ');
  if (!ShowAccelChar()) Flags |= DT_NOPREFIX;
  TCanvas* c = Canvas();
  c->Font()->Assign(Font());
  HDC dc = c->Handle();
  HGDIOBJ old = SelectObject(dc, c->Font()->Handle());
  int32_t oldMode = SetBkMode(dc, TRANSPARENT);
  if (!(Flags & DT_CALCRECT) && FTextStyle != tsNone) {
    TRect shifted{Rect.Left + 1, Rect.Top + 1, Rect.Right + 1, Rect.Bottom + 1};
    SetTextColor(dc, ColorToRGB(FTextStyle == tsRaised ? clBtnShadow : clBtnHighlight));
    DrawText(dc, text, &shifted, Flags);
  }
  SetTextColor(dc, ColorToRGB(Enabled() ? c->Font()->Color() : clGrayText));
  DrawText(dc, text, &Rect, Flags);
  SetBkMode(dc, oldMode);
  SelectObject(dc, old);
  c->Refresh();
}
