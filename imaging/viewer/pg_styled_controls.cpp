// The see-through labels, check boxes, radio buttons, group boxes, panels
// and bevels.
#include "imaging/viewer/pg_styled_controls.h"

#include "platform/gdi/dc.h"
#include "platform/gdi/text.h"

bool IsTransparentPGControl(TControl* Control) {
  if (auto* l = dynamic_cast<TPGLabel*>(Control)) return l->Transparent();
  if (auto* c = dynamic_cast<TPGCheckBox*>(Control)) return c->Transparent();
  if (auto* r = dynamic_cast<TPGRadioButton*>(Control)) return r->Transparent();
  if (auto* g = dynamic_cast<TPGGroupBox*>(Control)) return g->Transparent();
  if (auto* p = dynamic_cast<TPGPanel*>(Control)) return p->Transparent();
  return dynamic_cast<TPGBevel*>(Control) != nullptr;
}

void InvalidateTransparentArea(TControl* Control, bool& InInvalidate) {
  TWinControl* parent = Control->Parent();
  if (InInvalidate || !parent || !parent->HandleAllocated()) return;
  if (IsTransparentPGControl(parent)) {
    InInvalidate = true;
    try {
      parent->Invalidate();
    } catch (...) {
      InInvalidate = false;
      throw;
    }
    InInvalidate = false;
  } else {
    TRect r = Control->BoundsRect();
    InvalidateRect(parent->Handle(), &r, (parent->ControlStyle() & csOpaque) == 0);
  }
}

namespace {
void InvalidateTransparentChildren(TWinControl* Control) {
  for (int32_t i = 0; i < Control->ControlCount(); ++i)
    if (IsTransparentPGControl(Control->Controls(i))) Control->Controls(i)->Invalidate();
}
}  // namespace

// ---------------------------------------------------------------------------

TPGLabel::TPGLabel(TComponent* AOwner) : TLabel(AOwner) { SetTransparent(true); }

void TPGLabel::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
  Invalidate();
  TLabel::SetBounds(ALeft, ATop, AWidth, AHeight);
}

void TPGLabel::Invalidate() {
  InvalidateTransparentArea(this, FInInvalidate);
  TLabel::Invalidate();
}

TPGBevel::TPGBevel(TComponent* AOwner) : TBevel(AOwner) {}

void TPGBevel::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
  Invalidate();
  TBevel::SetBounds(ALeft, ATop, AWidth, AHeight);
}

void TPGBevel::Invalidate() {
  InvalidateTransparentArea(this, FInInvalidate);
  TBevel::Invalidate();
}

// ---------------------------------------------------------------------------

template <class Base>
void TPGTransparentControl<Base>::SetTransparent(bool Value) {
  if (Value == FTransparent) return;
  FTransparent = Value;
  if (!this->HandleAllocated()) return;
  HWND h = this->Handle();
  uint32_t ex = static_cast<uint32_t>(GetWindowLong(h, GWL_EXSTYLE)) & ~static_cast<uint32_t>(WS_EX_CONTROLPARENT);
  if (Value) {
    this->SetControlStyle(this->ControlStyle() & ~csOpaque);
    ex |= WS_EX_TRANSPARENT;
  } else {
    this->SetControlStyle(this->ControlStyle() | csOpaque);
    ex &= ~static_cast<uint32_t>(WS_EX_TRANSPARENT);
  }
  SetWindowLong(h, GWL_EXSTYLE, static_cast<int32_t>(ex));
  Invalidate();
}

template <class Base>
void TPGTransparentControl<Base>::Invalidate() {
  InvalidateTransparentArea(this, FInInvalidate);
  Base::Invalidate();
}

template <class Base>
void TPGTransparentControl<Base>::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_ERASEBKGND:
      if (FTransparent) {
        Message.Result = 1;
        return;
      }
      break;
    case CN_CTLCOLORSTATIC:
      if (this->HandleAllocated()) {
        HDC dc = reinterpret_cast<HDC>(Message.WParam);
        TBrush* b = this->Brush();
        b->SetColor(this->Color());
        b->SetStyle(FTransparent ? bsClear : bsSolid);
        SetTextColor(dc, this->Font()->Color());
        SetBkColor(dc, b->Color());
        SetBkMode(dc, FTransparent ? TRANSPARENT : OPAQUE);
        Message.Result = reinterpret_cast<LRESULT>(b->Handle());
        return;
      }
      break;
  }
  Base::WndProc(Message);
}

template class TPGTransparentControl<TRadioButton>;
template class TPGTransparentControl<TCheckBox>;
template class TPGTransparentControl<TGroupBox>;
template class TPGTransparentControl<TPanel>;

// ---------------------------------------------------------------------------

void PaintGroupBoxFrame(TCanvas* Canvas, TFont* Font, bool Transparent, TColor Color, bool Ctl3D,
                        const std::string& Caption, int32_t Width, int32_t Height) {
  Canvas->Font()->Assign(Font);
  int32_t h = Canvas->TextHeight("0");
  HDC dc = Canvas->Handle();
  if (!Caption.empty()) {
    TRect r{8, 0, 0, 0};
    DrawText(dc, Caption, &r, DT_CALCRECT | DT_SINGLELINE);
    if (!Transparent) Canvas->Brush()->SetColor(Color);
    SetBkMode(dc, Transparent ? TRANSPARENT : OPAQUE);
    DrawText(dc, Caption, &r, DT_SINGLELINE);
    // No frame line crosses the caption.
    ExcludeClipRect(dc, r.Left - 1, r.Top, r.Right + 1, r.Bottom);
  }
  if (!Transparent) {
    Canvas->Brush()->SetStyle(bsSolid);
    Canvas->Brush()->SetColor(Color);
    Canvas->FillRect(TRect{0, 0, Width, Height});
  }
  TRect r{0, h / 2 - 1, Width, Height};
  Canvas->Brush()->SetStyle(bsSolid);
  if (Ctl3D) {
    r.Left += 1, r.Top += 1;
    Canvas->Brush()->SetColor(clBtnHighlight);
    Canvas->FrameRect(r);
    OffsetRect(r, -1, -1);
    Canvas->Brush()->SetColor(clBtnShadow);
  } else {
    Canvas->Brush()->SetColor(clWindowFrame);
  }
  Canvas->FrameRect(r);
}

void TPGGroupBox::Invalidate() {
  TPGTransparentControl::Invalidate();
  InvalidateTransparentChildren(this);
}

void TPGGroupBox::Paint() {
  PaintGroupBoxFrame(Canvas(), Font(), Transparent(), Color(), Ctl3D(), Caption(), Width(), Height());
}

void TPGPanel::Invalidate() {
  TPGTransparentControl::Invalidate();
  InvalidateTransparentChildren(this);
}

void TPGPanel::Paint() {
  if (!Transparent()) {
    TPanel::Paint();
    return;
  }
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  c->Brush()->SetStyle(bsClear);
  c->Font()->Assign(Font());
  int32_t h = c->TextHeight("W");
  r.Top = (r.Top + r.Bottom - h) / 2;
  r.Bottom = r.Top + h;
  uint32_t align = Alignment() == taCenter ? DT_CENTER : Alignment() == taRightJustify ? DT_RIGHT : DT_LEFT;
  HDC dc = c->Handle();
  SetBkMode(dc, TRANSPARENT);
  DrawText(dc, Caption(), &r, align | DT_EXPANDTABS | DT_VCENTER);
  // The panel's painting assigns the font again: nothing of ours stays selected.
  c->Refresh();
  r = ClientRect();
  int32_t inset = (BevelOuter() != bvNone ? BevelWidth() : 0) + (BevelInner() != bvNone ? BevelWidth() : 0) + BorderWidth();
  InflateRect(r, -inset, -inset);
  ExcludeClipRect(dc, r.Left, r.Top, r.Right, r.Bottom);
  // The panel's own painting now draws only the bevels and the border.
  TPanel::Paint();
}
