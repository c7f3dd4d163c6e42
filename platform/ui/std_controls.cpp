// The standard controls.
#include "platform/ui/std_controls.h"

#include <algorithm>

#include "platform/base/strings.h"
#include "platform/gdi/dc.h"
#include "platform/gdi/edges.h"
#include "platform/gdi/objects.h"
#include "platform/gdi/text.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/menus.h"
#include "platform/ui/message_queue.h"

namespace {

void Fill(TCanvas* C, const TRect& R, TColor Color) {
  C->Brush()->SetStyle(bsSolid);
  C->Brush()->SetColor(Color);
  C->FillRect(R);
}

void Line(TCanvas* C, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor Color) {
  C->Pen()->SetColor(Color);
  C->Pen()->SetStyle(psSolid);
  C->Pen()->SetWidth(1);
  C->MoveTo(X1, Y1);
  C->LineTo(X2, Y2);
}

// The sunken field of edits and check boxes.
void SunkenField(TCanvas* C, TRect R) {
  Frame3D(C, R, clBtnShadow, clBtnHighlight, 1);
  Frame3D(C, R, cl3DDkShadow, clBtnFace, 1);
}

void RaisedButton(TCanvas* C, TRect& R, bool Pushed, bool IsDefault) {
  if (IsDefault) Frame3D(C, R, clWindowFrame, clWindowFrame, 1);
  if (Pushed) {
    Frame3D(C, R, clBtnShadow, clBtnShadow, 1);
    Fill(C, R, clBtnFace);
    return;
  }
  Frame3D(C, R, clBtnHighlight, cl3DDkShadow, 1);
  Frame3D(C, R, clBtnFace, clBtnShadow, 1);
  Fill(C, R, clBtnFace);
}

int32_t ClampInt(int32_t V, int32_t Lo, int32_t Hi) { return std::max(Lo, std::min(V, Hi)); }


}  // namespace

void Frame3D(TCanvas* Canvas, TRect& R, TColor TopColor, TColor BottomColor, int32_t Width) {
  for (int32_t i = 0; i < Width; ++i) {
    --R.Bottom;
    --R.Right;
    Line(Canvas, R.Left, R.Bottom, R.Left, R.Top, TopColor);
    Canvas->LineTo(R.Right, R.Top);
    Line(Canvas, R.Right, R.Top, R.Right, R.Bottom, BottomColor);
    Canvas->LineTo(R.Left - 1, R.Bottom);
    ++R.Left;
    ++R.Top;
  }
}

void DrawStateText(HDC DC, const std::string& Text, TRect R, uint32_t Flags, bool Enabled, TColor Color) {
  int32_t oldMode = SetBkMode(DC, TRANSPARENT);
  if (!Enabled) {
    SetTextColor(DC, ColorToRGB(clBtnHighlight));
    TRect r2{R.Left + 1, R.Top + 1, R.Right + 1, R.Bottom + 1};
    DrawText(DC, Text, &r2, Flags);
    SetTextColor(DC, ColorToRGB(clBtnShadow));
  } else {
    SetTextColor(DC, ColorToRGB(Color));
  }
  DrawText(DC, Text, &R, Flags);
  SetBkMode(DC, oldMode);
}

void DrawCaption(TCanvas* Canvas, const std::string& Caption, TRect R, uint32_t Flags, bool Enabled) {
  HDC dc = Canvas->Handle();
  HGDIOBJ old = SelectObject(dc, Canvas->Font()->Handle());
  DrawStateText(dc, Caption, R, Flags, Enabled, Canvas->Font()->Color());
  SelectObject(dc, old);
  Canvas->Refresh();
}

TRect MeasureCaption(TCanvas* Canvas, const std::string& Caption, TRect R, uint32_t Flags) {
  HDC dc = Canvas->Handle();
  HGDIOBJ old = SelectObject(dc, Canvas->Font()->Handle());
  DrawText(dc, Caption, &R, Flags | DT_CALCRECT);
  SelectObject(dc, old);
  Canvas->Refresh();
  return R;
}

// ===========================================================================
// TPanel

TPanel::TPanel(TComponent* AOwner) : TCustomControl(AOwner) {
  FControlStyle = csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csOpaque | csDoubleClicks;
  FWidth = 185;
  FHeight = 41;
  FColor = clBtnFace;
  FParentColor = false;
}

void TPanel::Changed() {
  Realign();
  Invalidate();
}
void TPanel::SetBevelInner(TBevelCut Value) { FBevelInner = Value, Changed(); }
void TPanel::SetBevelOuter(TBevelCut Value) { FBevelOuter = Value, Changed(); }
void TPanel::SetBevelWidth(int32_t Value) { FBevelWidth = std::max(1, Value), Changed(); }
void TPanel::SetBorderWidth(int32_t Value) { FBorderWidth = std::max(0, Value), Changed(); }
void TPanel::SetAlignment(TAlignment Value) { FAlignment = Value, Invalidate(); }

void TPanel::SetBorderStyle(TBorderStyle Value) {
  if (Value == FBorderStyle) return;
  FBorderStyle = Value;
  RecreateWnd();
  Changed();
}

void TPanel::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  if (FBorderStyle == bsSingle) Params.Style |= WS_BORDER;
}

void TPanel::AdjustClientRect(TRect& Rect) {
  int32_t w = FBorderWidth + (FBevelOuter != bvNone ? FBevelWidth : 0) + (FBevelInner != bvNone ? FBevelWidth : 0);
  Rect.Left += w;
  Rect.Top += w;
  Rect.Right -= w;
  Rect.Bottom -= w;
}

void TPanel::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  auto bevel = [&](TBevelCut cut) {
    if (cut == bvNone) return;
    TColor top = cut == bvLowered ? clBtnShadow : clBtnHighlight;
    TColor bottom = cut == bvLowered ? clBtnHighlight : clBtnShadow;
    if (cut == bvSpace) top = bottom = FColor;
    Frame3D(c, r, top, bottom, FBevelWidth);
  };
  bevel(FBevelOuter);
  Frame3D(c, r, FColor, FColor, FBorderWidth);
  bevel(FBevelInner);
  Fill(c, r, FColor);
  if (!Caption().empty()) {
    c->Font()->Assign(Font());
    uint32_t align = FAlignment == taCenter ? DT_CENTER : FAlignment == taRightJustify ? DT_RIGHT : DT_LEFT;
    DrawCaption(c, Caption(), r, align | DT_VCENTER | DT_SINGLELINE, Enabled());
  }
}

// ===========================================================================
// TLabel

TLabel::TLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
  FControlStyle |= csReplicatable | csOpaque;
  FWidth = 65;
  FHeight = 17;
}

void TLabel::SetAlignment(TAlignment Value) { FAlignment = Value, Invalidate(); }
void TLabel::SetLayout(TTextLayout Value) { FLayout = Value, Invalidate(); }
void TLabel::SetWordWrap(bool Value) { FWordWrap = Value, AdjustBounds(), Invalidate(); }
void TLabel::SetTransparent(bool Value) {
  FTransparent = Value;
  if (Value) FControlStyle &= ~csOpaque;
  else FControlStyle |= csOpaque;
  Invalidate();
}
void TLabel::SetAutoSize(bool Value) { FAutoSize = Value, AdjustBounds(); }
void TLabel::SetShowAccelChar(bool Value) { FShowAccelChar = Value, AdjustBounds(), Invalidate(); }

void TLabel::SetFocusControl(TWinControl* Value) {
  if (FFocusControl) FFocusControl->RemoveFreeNotification(this);
  FFocusControl = Value;
  if (Value) Value->FreeNotification(this);
}

void TLabel::Notification(TComponent* AComponent, TOperation Operation) {
  TGraphicControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FFocusControl) FFocusControl = nullptr;
}

uint32_t TLabel::TextFlags() const {
  uint32_t f = DT_EXPANDTABS;
  if (FWordWrap) f |= DT_WORDBREAK;
  f |= FAlignment == taCenter ? DT_CENTER : FAlignment == taRightJustify ? DT_RIGHT : DT_LEFT;
  if (!FShowAccelChar) f |= DT_NOPREFIX;
  return f;
}

void TLabel::DoDrawText(TRect& Rect, uint32_t Flags) {
  std::string text = Caption();
  if ((Flags & DT_CALCRECT) && (text.empty() || (FShowAccelChar && text == "&"))) text = " ";
  TCanvas* c = Canvas();
  c->Font()->Assign(Font());
  if (Flags & DT_CALCRECT) {
    Rect = MeasureCaption(c, text, Rect, Flags);
    return;
  }
  DrawCaption(c, text, Rect, Flags, Enabled());
}

void TLabel::Paint() {
  TRect r = ClientRect();
  if (!FTransparent) Fill(Canvas(), r, FColor);
  uint32_t flags = TextFlags();
  if (FLayout != tlTop) {
    TRect calc = r;
    DoDrawText(calc, flags | DT_CALCRECT);
    int32_t h = calc.Height();
    r.Top = FLayout == tlBottom ? r.Bottom - h : r.Top + (r.Height() - h) / 2;
  }
  DoDrawText(r, flags);
}

void TLabel::AdjustBounds() {
  if (!FAutoSize || FAdjusting || (ComponentState() & csLoading)) return;
  // Measured on a screen DC: the label may not have a parent window yet.
  HDC dc = GetScreenDC();
  TRect r{0, 0, FWordWrap ? FWidth : 0, 0};
  std::string text = Caption();
  if (text.empty() || (FShowAccelChar && text == "&")) text = " ";
  HGDIOBJ old = SelectObject(dc, Font()->Handle());
  DrawText(dc, text, &r, (TextFlags() & ~(DT_CENTER | DT_RIGHT)) | DT_CALCRECT);
  SelectObject(dc, old);
  ReleaseScreenDC(dc);
  int32_t x = FLeft;
  if (FAlignment == taRightJustify) x = FLeft + FWidth - r.Width();
  FAdjusting = true;
  SetBounds(x, FTop, r.Width(), r.Height());
  FAdjusting = false;
}

void TLabel::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
  TGraphicControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  if (FWordWrap && !FAdjusting) AdjustBounds();
}

void TLabel::WndProc(TMessage& Message) {
  if (Message.Msg == CM_DIALOGCHAR) {
    // The hotkey gives the focus to the label's control.
    if (FFocusControl && FShowAccelChar && Enabled() && IsAccel(static_cast<uint32_t>(Message.WParam), Caption()) &&
        FFocusControl->CanFocus()) {
      FFocusControl->SetFocus();
      Message.Result = 1;
    }
    return;
  }
  TGraphicControl::WndProc(Message);
  if (Message.Msg == CM_TEXTCHANGED || Message.Msg == CM_FONTCHANGED) AdjustBounds();
}

// ===========================================================================
// TBevel

TBevel::TBevel(TComponent* AOwner) : TGraphicControl(AOwner) {
  FWidth = 50;
  FHeight = 50;
}
void TBevel::SetShape(TBevelShape Value) { FShape = Value, Invalidate(); }
void TBevel::SetStyle(TBevelStyle Value) { FStyle = Value, Invalidate(); }

void TBevel::Paint() {
  TCanvas* c = Canvas();
  TColor c1 = FStyle == bsLowered ? clBtnShadow : clBtnHighlight;
  TColor c2 = FStyle == bsLowered ? clBtnHighlight : clBtnShadow;
  int32_t w = FWidth, h = FHeight;
  switch (FShape) {
    case bsBox: {
      TRect r{0, 0, w, h};
      Frame3D(c, r, c1, c2, 1);
      break;
    }
    case bsFrame: {
      TRect r{0, 0, w - 1, h - 1};
      Frame3D(c, r, c1, c1, 1);
      TRect r2{1, 1, w, h};
      Frame3D(c, r2, c2, c2, 1);
      break;
    }
    case bsTopLine:
      Line(c, 0, 0, w, 0, c1);
      Line(c, 0, 1, w, 1, c2);
      break;
    case bsBottomLine:
      Line(c, 0, h - 2, w, h - 2, c1);
      Line(c, 0, h - 1, w, h - 1, c2);
      break;
    case bsLeftLine:
      Line(c, 0, 0, 0, h, c1);
      Line(c, 1, 0, 1, h, c2);
      break;
    case bsRightLine:
      Line(c, w - 2, 0, w - 2, h, c1);
      Line(c, w - 1, 0, w - 1, h, c2);
      break;
    case bsSpacer: break;
  }
}

// ===========================================================================
// TImage

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner) {
  FControlStyle |= csReplicatable;
  FWidth = 105;
  FHeight = 105;
  FPicture = std::make_unique<TPicture>();
  FPicture->OnChange = [this](TObject*) { PictureChanged(); };
}

TImage::~TImage() { FPicture->OnChange = nullptr; }

void TImage::SetStretch(bool Value) { FStretch = Value, Invalidate(); }
void TImage::SetCenter(bool Value) { FCenter = Value, Invalidate(); }
void TImage::SetTransparent(bool Value) {
  FTransparent = Value;
  if (TGraphic* g = FPicture->Graphic()) g->SetTransparent(Value);
  Invalidate();
}
void TImage::SetAutoSize(bool Value) {
  FAutoSize = Value;
  PictureChanged();
}

void TImage::PictureChanged() {
  TGraphic* g = FPicture->Graphic();
  if (g && FTransparent) g->SetTransparent(true);
  if (FAutoSize && g && !g->Empty()) SetBounds(FLeft, FTop, g->Width(), g->Height());
  if (g && !g->GetTransparent() && !FStretch && g->Width() >= FWidth && g->Height() >= FHeight)
    FControlStyle |= csOpaque;
  else
    FControlStyle &= ~csOpaque;
  Invalidate();
}

TRect TImage::DestRect() {
  TGraphic* g = FPicture->Graphic();
  if (!g) return TRect{};
  if (FStretch) return TRect{0, 0, FWidth, FHeight};
  int32_t w = g->Width(), h = g->Height();
  if (FCenter) {
    int32_t x = (FWidth - w) / 2, y = (FHeight - h) / 2;
    return TRect{x, y, x + w, y + h};
  }
  return TRect{0, 0, w, h};
}

void TImage::Paint() {
  TGraphic* g = FPicture->Graphic();
  if (!g || g->Empty()) return;
  TGraphicControl::Canvas()->StretchDraw(DestRect(), g);
}

// ===========================================================================
// TScrollBox

TScrollBox::TScrollBox(TComponent* AOwner) : TWinControl(AOwner) {
  FControlStyle = csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
  FWidth = 185;
  FHeight = 41;
  FColor = clBtnFace;
  FParentColor = false;
}

void TScrollBox::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  if (FBorderStyle == bsSingle) Params.ExStyle |= WS_EX_CLIENTEDGE;
}

void TScrollBox::SetBorderStyle(TBorderStyle Value) {
  if (Value == FBorderStyle) return;
  FBorderStyle = Value;
  RecreateWnd();
}

void TScrollBox::AlignControls(TControl* AControl, TRect& Rect) {
  TWinControl::AlignControls(AControl, Rect);
  UpdateScrollBars();
}

void TScrollBox::UpdateScrollBars() {
  if (!HandleAllocated() || FUpdating) return;
  FUpdating = true;
  // The extent of the children in content coordinates (unscrolled).
  int32_t right = 0, bottom = 0;
  for (int32_t i = 0; i < ControlCount(); ++i) {
    TControl* c = Controls(i);
    if (!c->Visible() || c->Align() != alNone) continue;
    right = std::max(right, c->Left() + c->Width() + FPos[0]);
    bottom = std::max(bottom, c->Top() + c->Height() + FPos[1]);
  }
  FRange[0] = right;
  FRange[1] = bottom;
  for (int32_t bar = 0; bar < 2; ++bar) {
    TRect cr;
    ::GetClientRect(Handle(), cr);
    TScrollInfo si;
    si.fMask = SIF_ALL;
    si.nMin = 0;
    si.nMax = std::max(FRange[bar] - 1, 0);
    si.nPage = static_cast<uint32_t>(bar == 0 ? cr.Width() : cr.Height());
    si.nPos = FPos[bar];
    SetScrollInfo(Handle(), bar == 0 ? SB_HORZ : SB_VERT, si, true);
  }
  FUpdating = false;
  // A bar that appeared or went away may leave the position out of range.
  TRect cr;
  ::GetClientRect(Handle(), cr);
  int32_t maxX = std::max(0, FRange[0] - cr.Width()), maxY = std::max(0, FRange[1] - cr.Height());
  if (FPos[0] > maxX || FPos[1] > maxY) ScrollTo(std::min(FPos[0], maxX), std::min(FPos[1], maxY));
}

void TScrollBox::ScrollTo(int32_t X, int32_t Y) {
  TRect cr = GetClientRect();
  X = ClampInt(X, 0, std::max(0, FRange[0] - cr.Width()));
  Y = ClampInt(Y, 0, std::max(0, FRange[1] - cr.Height()));
  int32_t dx = FPos[0] - X, dy = FPos[1] - Y;
  if (!dx && !dy) return;
  FPos[0] = X;
  FPos[1] = Y;
  ScrollBy(dx, dy);
  if (HandleAllocated()) {
    SetScrollPos(Handle(), SB_HORZ, X, true);
    SetScrollPos(Handle(), SB_VERT, Y, true);
  }
}

void TScrollBox::WndProc(TMessage& Message) {
  if (Message.Msg == WM_HSCROLL || Message.Msg == WM_VSCROLL) {
    int32_t bar = Message.Msg == WM_HSCROLL ? 0 : 1;
    TRect cr = GetClientRect();
    int32_t page = bar == 0 ? cr.Width() : cr.Height();
    int32_t pos = FPos[bar];
    switch (ScrollCode(Message.WParam)) {
      case SB_LINEUP: pos -= 8; break;
      case SB_LINEDOWN: pos += 8; break;
      case SB_PAGEUP: pos -= page; break;
      case SB_PAGEDOWN: pos += page; break;
      case SB_THUMBTRACK:
      case SB_THUMBPOSITION: pos = ScrollPos(Message.WParam); break;
      case SB_TOP: pos = 0; break;
      case SB_BOTTOM: pos = FRange[bar]; break;
      default: return;
    }
    if (bar == 0) ScrollTo(pos, FPos[1]);
    else ScrollTo(FPos[0], pos);
    return;
  }
  if (Message.Msg == WM_MOUSEWHEEL) {
    ScrollByWheel(Handle(), Message.WParam, FWheelRest);
    return;
  }
  if ((Message.Msg == WM_LBUTTONDOWN || Message.Msg == WM_RBUTTONDOWN || Message.Msg == WM_MBUTTONDOWN) &&
      CanFocus() && !Focused())
    SetFocus();
  TWinControl::WndProc(Message);
  if (Message.Msg == WM_SIZE || Message.Msg == CM_CONTROLLISTCHANGE) UpdateScrollBars();
}

void TScrollBox::KeyDown(uint16_t& Key, TShiftState Shift) {
  TWinControl::KeyDown(Key, Shift);
  ScrollByKey(Handle(), Key, Shift);
}

// ===========================================================================
// TCustomEdit

TCustomEdit::TCustomEdit(TComponent* AOwner) : TCustomControl(AOwner) {
  FControlStyle = csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks | csFixedHeight;
  FWidth = 121;
  FHeight = 21;
  FTabStop = true;
  FColor = clWindow;
  FParentColor = false;
  FCursor = crIBeam;
}

std::string TCustomEdit::Cased(const std::string& S) const {
  if (FCharCase == ecUpperCase) return UpperCase(S);
  if (FCharCase == ecLowerCase) return LowerCase(S);
  return S;
}

void TCustomEdit::SetText(const std::string& Value) {
  std::string v = Cased(Value);
  if (FMaxLength > 0 && static_cast<int32_t>(v.size()) > FMaxLength) v.resize(static_cast<size_t>(FMaxLength));
  if (v == Text()) return;
  TCustomControl::SetText(v);
  FCaret = FAnchor = std::min(FCaret, static_cast<int32_t>(v.size()));
  Change();
}

void TCustomEdit::SetCharCase(TEditCharCase Value) {
  FCharCase = Value;
  SetText(Text());
}

void TCustomEdit::SetBorderStyle(TBorderStyle Value) { FBorderStyle = Value, Invalidate(); }

void TCustomEdit::SetSelStart(int32_t Value) {
  FCaret = FAnchor = ClampInt(Value, 0, static_cast<int32_t>(Text().size()));
  Invalidate();
}

int32_t TCustomEdit::SelLength() const { return std::abs(FCaret - FAnchor); }

void TCustomEdit::SetSelLength(int32_t Value) {
  FAnchor = std::min(FCaret, FAnchor);
  FCaret = ClampInt(FAnchor + Value, 0, static_cast<int32_t>(Text().size()));
  Invalidate();
}

void TCustomEdit::SelectAll() {
  FAnchor = 0;
  FCaret = static_cast<int32_t>(Text().size());
  Invalidate();
}

void TCustomEdit::Change() {
  Invalidate();
  if (OnChange) OnChange(this);
}

bool TCustomEdit::IsValidChar(char) { return true; }

void TCustomEdit::InsertText(const std::string& S) {
  if (FReadOnly) return;
  std::string t = Text();
  int32_t a = std::min(FCaret, FAnchor), b = std::max(FCaret, FAnchor);
  std::string ins = Cased(S);
  if (FMaxLength > 0) {
    int32_t room = FMaxLength - (static_cast<int32_t>(t.size()) - (b - a));
    if (room <= 0) return;
    if (static_cast<int32_t>(ins.size()) > room) ins.resize(static_cast<size_t>(room));
  }
  t = t.substr(0, static_cast<size_t>(a)) + ins + t.substr(static_cast<size_t>(b));
  int32_t caret = a + static_cast<int32_t>(ins.size());
  TCustomControl::SetText(t);
  FCaret = FAnchor = caret;
  Change();
}

TRect TCustomEdit::EditRect() {
  TRect r = ClientRect();
  if (FBorderStyle == bsSingle) {
    r.Left += 2;
    r.Top += 2;
    r.Right -= 2;
    r.Bottom -= 2;
  }
  return r;
}

int32_t TCustomEdit::TextLeft() const { return 2; }

void TCustomEdit::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  if (FBorderStyle == bsSingle) SunkenField(c, r);
  TRect e = EditRect();
  Fill(c, e, Enabled() ? FColor : clBtnFace);
  c->Font()->Assign(Font());
  const std::string& t = Text();
  int32_t th = c->TextHeight("Wg");
  int32_t y = e.Top + std::max(0, (e.Height() - th) / 2);
  // Scrolls the text so that the caret stays inside the box.
  int32_t caretX = c->TextWidth(t.substr(0, static_cast<size_t>(FCaret)));
  int32_t room = std::max(1, e.Width() - 2 * TextLeft());
  if (caretX - FScroll > room) FScroll = caretX - room;
  if (caretX < FScroll) FScroll = caretX;
  if (c->TextWidth(t) - FScroll < room) FScroll = std::max(0, c->TextWidth(t) - room);
  int32_t x = e.Left + TextLeft() - FScroll;
  int32_t a = std::min(FCaret, FAnchor), b = std::max(FCaret, FAnchor);
  bool focused = Focused();
  int32_t saved = SaveDC(c->Handle());
  IntersectClipRect(c->Handle(), e.Left, e.Top, e.Right, e.Bottom);
  c->Brush()->SetStyle(bsClear);
  c->Font()->SetColor(Enabled() ? Font()->Color() : clGrayText);
  c->TextOut(x, y, t);
  if (focused && b > a) {
    int32_t x1 = x + c->TextWidth(t.substr(0, static_cast<size_t>(a)));
    int32_t x2 = x + c->TextWidth(t.substr(0, static_cast<size_t>(b)));
    Fill(c, TRect{x1, y, x2, y + th}, clHighlight);
    c->Brush()->SetStyle(bsClear);
    c->Font()->SetColor(clHighlightText);
    c->TextOut(x1, y, t.substr(static_cast<size_t>(a), static_cast<size_t>(b - a)));
  }
  if (focused && !FReadOnly) Line(c, x + caretX, y, x + caretX, y + th, clWindowText);
  RestoreDC(c->Handle(), saved);
  c->Refresh();
}

void TCustomEdit::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  int32_t n = static_cast<int32_t>(Text().size());
  bool shift = (Shift & ssShift) != 0;
  auto move = [&](int32_t to) {
    FCaret = ClampInt(to, 0, n);
    if (!shift) FAnchor = FCaret;
    Invalidate();
  };
  if ((Shift & ssCtrl) && !(Shift & ssAlt)) {
    // The clipboard keys of a text box.
    int32_t a = std::min(FCaret, FAnchor), b = std::max(FCaret, FAnchor);
    std::string selected = Text().substr(static_cast<size_t>(a), static_cast<size_t>(b - a));
    switch (Key) {
      case 'A': SelectAll(); Key = 0; return;
      case 'C':
        if (b > a) Clipboard()->SetAsText(selected);
        Key = 0;
        return;
      case 'X':
        if (b > a && !FReadOnly) {
          Clipboard()->SetAsText(selected);
          InsertText("");
        }
        Key = 0;
        return;
      case 'V':
        if (!FReadOnly && Clipboard()->HasFormat(CF_TEXT)) {
          std::string t = Clipboard()->AsText();
          // A one-line box takes the first line.
          if (!dynamic_cast<TMemo*>(this)) t = t.substr(0, t.find_first_of("\r\n"));
          InsertText(t);
        }
        Key = 0;
        return;
      default: break;
    }
  }
  switch (Key) {
    case VK_LEFT: move(FCaret - 1); Key = 0; break;
    case VK_RIGHT: move(FCaret + 1); Key = 0; break;
    case VK_HOME: move(0); Key = 0; break;
    case VK_END: move(n); Key = 0; break;
    case VK_DELETE:
      if (!FReadOnly) {
        if (FCaret == FAnchor && FCaret < n) FAnchor = FCaret + 1;
        if (FCaret != FAnchor) InsertText("");
      }
      Key = 0;
      break;
    default: break;
  }
}

void TCustomEdit::KeyPress(char& Key) {
  TCustomControl::KeyPress(Key);
  if (Key == 0 || FReadOnly) return;
  if (Key == '\b') {
    if (FCaret == FAnchor && FCaret > 0) FAnchor = FCaret - 1;
    if (FCaret != FAnchor) InsertText("");
    return;
  }
  if (static_cast<unsigned char>(Key) < 32 || !IsValidChar(Key)) return;
  InsertText(std::string(1, Key));
}

void TCustomEdit::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  if (CanFocus() && !Focused()) SetFocus();
  if (Button == mbLeft) {
    // The caret goes to the character boundary nearest to the click.
    TCanvas* c = Canvas();
    c->Font()->Assign(Font());
    const std::string& t = Text();
    int32_t x0 = EditRect().Left + TextLeft() - FScroll, best = 0, bestDist = INT32_MAX;
    for (int32_t i = 0; i <= static_cast<int32_t>(t.size()); ++i) {
      int32_t d = std::abs(x0 + c->TextWidth(t.substr(0, static_cast<size_t>(i))) - X);
      if (d < bestDist) bestDist = d, best = i;
    }
    FCaret = best;
    if (!(Shift & ssShift)) FAnchor = best;
    Invalidate();
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TCustomEdit::WndProc(TMessage& Message) {
  TCustomControl::WndProc(Message);
  if (Message.Msg == WM_SETFOCUS || Message.Msg == WM_KILLFOCUS) Invalidate();
}

// ===========================================================================
// TMemo

int32_t TMemoLines::Count() const {
  const std::string& t = FMemo->Text();
  if (t.empty()) return 0;
  int32_t n = 1 + static_cast<int32_t>(std::count(t.begin(), t.end(), '\n'));
  if (t.back() == '\n') --n;
  return n;
}

namespace {
std::vector<std::string> SplitLines(const std::string& T) {
  std::vector<std::string> v;
  if (T.empty()) return v;
  size_t s = 0;
  for (;;) {
    size_t e = T.find('\n', s);
    if (e == std::string::npos) {
      v.push_back(T.substr(s));
      break;
    }
    v.push_back(T.substr(s, e - s));
    s = e + 1;
    if (s == T.size()) break;
  }
  return v;
}
std::string JoinLines(const std::vector<std::string>& V) {
  std::string t;
  for (size_t i = 0; i < V.size(); ++i) {
    if (i) t += '\n';
    t += V[i];
  }
  return t;
}
}  // namespace

std::string TMemoLines::Strings(int32_t Index) const {
  auto v = SplitLines(FMemo->Text());
  if (Index < 0 || Index >= static_cast<int32_t>(v.size())) throw EInvalidOperation("List index out of bounds");
  return v[static_cast<size_t>(Index)];
}

void TMemoLines::SetStrings(int32_t Index, const std::string& Value) {
  auto v = SplitLines(FMemo->Text());
  if (Index < 0 || Index >= static_cast<int32_t>(v.size())) throw EInvalidOperation("List index out of bounds");
  v[static_cast<size_t>(Index)] = Value;
  FMemo->SetText(JoinLines(v));
}

int32_t TMemoLines::Add(const std::string& S) {
  int32_t n = Count();
  Insert(n, S);
  return n;
}

void TMemoLines::Insert(int32_t Index, const std::string& S) {
  auto v = SplitLines(FMemo->Text());
  Index = ClampInt(Index, 0, static_cast<int32_t>(v.size()));
  v.insert(v.begin() + Index, S);
  // An added empty last line still counts: keep a line feed behind it.
  std::string t = JoinLines(v);
  if (!v.empty() && v.back().empty()) t += '\n';
  FMemo->SetText(t);
}

void TMemoLines::Delete(int32_t Index) {
  auto v = SplitLines(FMemo->Text());
  if (Index < 0 || Index >= static_cast<int32_t>(v.size())) throw EInvalidOperation("List index out of bounds");
  v.erase(v.begin() + Index);
  FMemo->SetText(JoinLines(v));
}

void TMemoLines::Clear() { FMemo->SetText(""); }
std::string TMemoLines::Text() const { return FMemo->Text(); }
void TMemoLines::SetText(const std::string& Value) { FMemo->SetText(Value); }

TMemo::TMemo(TComponent* AOwner) : TCustomEdit(AOwner) {
  FControlStyle &= ~csFixedHeight;
  FWidth = 185;
  FHeight = 89;
}

void TMemo::SetAlignment(TAlignment Value) { FAlignment = Value, Invalidate(); }
void TMemo::SetWordWrap(bool Value) { FWordWrap = Value, Invalidate(); }

void TMemo::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  if (BorderStyle() == bsSingle) SunkenField(c, r);
  TRect e = EditRect();
  Fill(c, e, Color());
  c->Font()->Assign(Font());
  TRect tr{e.Left + 2, e.Top + 1, e.Right - 2, e.Bottom};
  uint32_t flags = DT_NOPREFIX | DT_EXPANDTABS | (FWordWrap ? static_cast<uint32_t>(DT_WORDBREAK) : 0u);
  flags |= FAlignment == taCenter ? DT_CENTER : FAlignment == taRightJustify ? DT_RIGHT : DT_LEFT;
  int32_t th = c->TextHeight("Wg");
  int32_t y = tr.Top;
  int32_t caretLine = 0, caretCol = FCaret, pos = 0;
  auto lines = SplitLines(Text());
  for (size_t i = 0; i < lines.size(); ++i) {
    if (FCaret >= pos && FCaret <= pos + static_cast<int32_t>(lines[i].size()))
      caretLine = static_cast<int32_t>(i), caretCol = FCaret - pos;
    pos += static_cast<int32_t>(lines[i].size()) + 1;
  }
  if (!Text().empty() && Text().back() == '\n' && FCaret == static_cast<int32_t>(Text().size()))
    caretLine = static_cast<int32_t>(lines.size()), caretCol = 0;
  int32_t caretY = y;
  for (size_t i = 0; i < lines.size(); ++i) {
    TRect lr{tr.Left, y, tr.Right, tr.Bottom};
    if (static_cast<int32_t>(i) == caretLine) caretY = y;
    DrawCaption(c, lines[i].empty() ? " " : lines[i], lr, flags, Enabled());
    TRect calc = MeasureCaption(c, lines[i].empty() ? " " : lines[i], TRect{tr.Left, 0, tr.Right, 0}, flags);
    y += std::max(calc.Height(), th);
  }
  if (caretLine == static_cast<int32_t>(lines.size())) caretY = y;
  if (Focused() && !ReadOnly() && FAlignment == taLeftJustify) {
    std::string line = caretLine < static_cast<int32_t>(lines.size()) ? lines[static_cast<size_t>(caretLine)] : "";
    int32_t cx = tr.Left + c->TextWidth(line.substr(0, static_cast<size_t>(std::max(0, caretCol))));
    Line(c, cx, caretY, cx, caretY + th, clWindowText);
  }
}

void TMemo::KeyDown(uint16_t& Key, TShiftState Shift) {
  if (Key == VK_UP || Key == VK_DOWN) {
    // Moves to the same column of the line above or below.
    auto lines = SplitLines(Text());
    int32_t pos = 0, line = 0, col = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
      if (FCaret >= pos && FCaret <= pos + static_cast<int32_t>(lines[i].size())) line = static_cast<int32_t>(i), col = FCaret - pos;
      pos += static_cast<int32_t>(lines[i].size()) + 1;
    }
    int32_t target = line + (Key == VK_UP ? -1 : 1);
    if (target >= 0 && target < static_cast<int32_t>(lines.size())) {
      int32_t p = 0;
      for (int32_t i = 0; i < target; ++i) p += static_cast<int32_t>(lines[static_cast<size_t>(i)].size()) + 1;
      FCaret = p + std::min(col, static_cast<int32_t>(lines[static_cast<size_t>(target)].size()));
      if (!(Shift & ssShift)) FAnchor = FCaret;
      Invalidate();
    }
    Key = 0;
    return;
  }
  TCustomEdit::KeyDown(Key, Shift);
}

void TMemo::KeyPress(char& Key) {
  if (Key == '\r') {
    if (FWantReturns) InsertText("\n");
    Key = 0;
    return;
  }
  TCustomEdit::KeyPress(Key);
}

void TMemo::WndProc(TMessage& Message) {
  if (Message.Msg == CM_WANTSPECIALKEY) {
    Message.Result = (Message.WParam == VK_RETURN && FWantReturns) ? 1 : 0;
    return;
  }
  TCustomEdit::WndProc(Message);
}

// ===========================================================================
// Buttons

TButtonControl::TButtonControl(TComponent* AOwner) : TCustomControl(AOwner) {
  FControlStyle = csCaptureMouse | csSetCaption | csDoubleClicks | csOpaque;
  FTabStop = true;
}

void TButtonControl::DrawFocus(const TRect& R) {
  if (!Focused()) return;
  Canvas()->Brush()->SetStyle(bsSolid);
  Canvas()->Brush()->SetColor(clBtnFace);
  Canvas()->Font()->SetColor(clBtnText);
  Canvas()->DrawFocusRect(R);
}

void TButtonControl::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  if (Button == mbLeft) {
    if (CanFocus() && !Focused()) SetFocus();
    FPressed = true;
    Invalidate();
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TButtonControl::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  if (MouseCapture() && (Shift & ssLeft)) {
    bool inside = X >= 0 && Y >= 0 && X < Width() && Y < Height();
    if (inside != FPressed) {
      FPressed = inside;
      Invalidate();
    }
  }
  TCustomControl::MouseMove(Shift, X, Y);
}

void TButtonControl::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  bool fire = false;
  if (Button == mbLeft) {
    fire = FPressed && X >= 0 && Y >= 0 && X < Width() && Y < Height();
    FPressed = false;
    Invalidate();
  }
  TCustomControl::MouseUp(Button, Shift, X, Y);
  if (fire) Activate();
}

void TButtonControl::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  if (Key == VK_SPACE) {
    FKeyPressed = FPressed = true;
    Invalidate();
    Key = 0;
  }
}

void TButtonControl::KeyUp(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyUp(Key, Shift);
  if (Key == VK_SPACE && FKeyPressed) {
    FKeyPressed = FPressed = false;
    Invalidate();
    Activate();
  }
}

void TButtonControl::WndProc(TMessage& Message) {
  if (Message.Msg == CM_DIALOGCHAR) {
    // The hotkey acts as a press: a button clicks, a check box toggles, a
    // radio button is checked.
    if (IsAccel(static_cast<uint32_t>(Message.WParam), Caption()) && CanFocus()) {
      SetFocus();
      Activate();
      Message.Result = 1;
    }
    return;
  }
  TCustomControl::WndProc(Message);
  if (Message.Msg == WM_SETFOCUS || Message.Msg == WM_KILLFOCUS) {
    if (Message.Msg == WM_KILLFOCUS) FKeyPressed = FPressed = false;
    Invalidate();
  }
}

TButton::TButton(TComponent* AOwner) : TButtonControl(AOwner) {
  FWidth = 75;
  FHeight = 25;
  FColor = clBtnFace;
  FParentColor = false;
}

void TButton::SetDefault(bool Value) {
  FDefault = Value;
  Invalidate();
}

void TButton::Click() {
  if (TCustomForm* f = ParentForm(); f && FModalResult != mrNone) f->SetModalResult(FModalResult);
  TButtonControl::Click();
}

void TButton::PaintContent(TRect R, bool Pushed) {
  if (Pushed) OffsetRect(R, 1, 1);
  DrawCaption(Canvas(), Caption(), R, DT_CENTER | DT_VCENTER | DT_SINGLELINE, Enabled());
}

void TButton::Paint() {
  TCanvas* c = Canvas();
  c->Font()->Assign(Font());
  TRect r = ClientRect();
  // The default look: the default button, or any button while it has the focus.
  TWinControl* focus = Screen ? Screen->ActiveControl() : nullptr;
  bool isDefault = Focused() || (FDefault && !dynamic_cast<TButton*>(focus));
  RaisedButton(c, r, FPressed, isDefault);
  PaintContent(r, FPressed);
  TRect f = ClientRect();
  InflateRect(f, -4, -4);
  DrawFocus(f);
}

// ---- glyphs of the bitmap button kinds ----

namespace {

// An 18 x 18 glyph drawn on olive (the transparent colour).
void MakeKindGlyph(TBitmap* B, TBitBtnKind Kind) {
  B->SetPixelFormat(pf24bit);
  B->SetSize(18, 18);
  TCanvas* c = B->Canvas();
  Fill(c, TRect{0, 0, 18, 18}, clOlive);
  auto thick = [c](int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor col) {
    c->Pen()->SetColor(col);
    c->Pen()->SetWidth(2);
    c->MoveTo(x1, y1);
    c->LineTo(x2, y2);
    c->Pen()->SetWidth(1);
  };
  switch (Kind) {
    case bkOK:
    case bkYes:
    case bkAll:
      thick(3, 9, 7, 13, clGreen);
      thick(7, 13, 15, 4, clGreen);
      break;
    case bkCancel:
    case bkAbort:
      thick(4, 4, 14, 14, clRed);
      thick(14, 4, 4, 14, clRed);
      break;
    case bkNo:
    case bkIgnore:
      c->Pen()->SetColor(clRed);
      c->Pen()->SetWidth(2);
      c->Brush()->SetStyle(bsClear);
      c->Ellipse(3, 3, 15, 15);
      c->Pen()->SetWidth(1);
      thick(5, 13, 13, 5, clRed);
      break;
    case bkHelp:
      c->Font()->SetColor(clBlue);
      c->Font()->SetStyle(fsBold);
      c->Brush()->SetStyle(bsClear);
      c->TextOut(5, 2, "?");
      break;
    case bkClose:
      Fill(c, TRect{4, 2, 13, 16}, clGray);
      Fill(c, TRect{10, 8, 12, 10}, clYellow);
      break;
    case bkRetry:
      c->Pen()->SetColor(clGreen);
      c->Pen()->SetWidth(2);
      c->Brush()->SetStyle(bsClear);
      c->Ellipse(3, 3, 15, 15);
      c->Pen()->SetWidth(1);
      break;
    case bkCustom: break;
  }
  B->FreeContext();
}

const char* KindCaption(TBitBtnKind K) {
  switch (K) {
    case bkOK: return "OK";
    case bkCancel: return "Cancel";
    case bkHelp: return "&Help";
    case bkYes: return "&Yes";
    case bkNo: return "&No";
    case bkClose: return "&Close";
    case bkAbort: return "Abort";
    case bkRetry: return "&Retry";
    case bkIgnore: return "&Ignore";
    case bkAll: return "&All";
    case bkCustom: break;
  }
  return "";
}

TModalResult KindResult(TBitBtnKind K) {
  switch (K) {
    case bkOK: return mrOk;
    case bkCancel: return mrCancel;
    case bkYes: return mrYes;
    case bkNo: return mrNo;
    case bkAbort: return mrAbort;
    case bkRetry: return mrRetry;
    case bkIgnore: return mrIgnore;
    case bkAll: return mrAll;
    default: return mrNone;
  }
}

}  // namespace

void DrawButtonFace(TCanvas* Canvas, TRect R, TBitmap* Glyph, int32_t NumGlyphs, const std::string& Caption,
                    TButtonLayout Layout, int32_t Margin, int32_t Spacing, bool Enabled, bool Pushed) {
  if (Pushed) OffsetRect(R, 1, 1);
  bool hasGlyph = Glyph && !Glyph->Empty();
  int32_t n = std::max(1, NumGlyphs);
  int32_t gw = hasGlyph ? Glyph->Width() / n : 0, gh = hasGlyph ? Glyph->Height() : 0;
  TSize ts{0, 0};
  if (!Caption.empty()) {
    TRect calc = MeasureCaption(Canvas, Caption, TRect{0, 0, R.Width(), 0}, DT_SINGLELINE);
    ts = TSize{calc.Width(), calc.Height()};
  }
  int32_t space = (hasGlyph && !Caption.empty()) ? Spacing : 0;
  bool horizontal = Layout == blGlyphLeft || Layout == blGlyphRight;
  int32_t total = horizontal ? gw + space + ts.cx : gh + space + ts.cy;
  int32_t extent = horizontal ? R.Width() : R.Height();
  int32_t start = Margin >= 0 ? Margin : (extent - total) / 2;
  TPoint gp, tp;
  if (horizontal) {
    int32_t gx = Layout == blGlyphLeft ? start : start + ts.cx + space;
    int32_t tx = Layout == blGlyphLeft ? start + gw + space : start;
    if (Layout == blGlyphRight && Margin >= 0) gx = extent - Margin - gw, tx = gx - space - ts.cx;
    gp = TPoint{R.Left + gx, R.Top + (R.Height() - gh) / 2};
    tp = TPoint{R.Left + tx, R.Top + (R.Height() - ts.cy) / 2};
  } else {
    int32_t gy = Layout == blGlyphTop ? start : start + ts.cy + space;
    int32_t ty = Layout == blGlyphTop ? start + gh + space : start;
    gp = TPoint{R.Left + (R.Width() - gw) / 2, R.Top + gy};
    tp = TPoint{R.Left + (R.Width() - ts.cx) / 2, R.Top + ty};
  }
  if (hasGlyph) {
    int32_t index = (!Enabled && n > 1) ? 1 : 0;
    HDC src = Glyph->Canvas()->Handle();
    TColor transparent = GetPixel(src, 0, Glyph->Height() - 1);
    HDC dest = Canvas->Handle();
    if (Enabled || n > 1) {
      TransparentBlt(dest, gp.X, gp.Y, gw, gh, src, index * gw, 0, gw, gh, transparent);
    } else {
      // Embossed: the dark pixels of the glyph in the shadow colours.
      for (int32_t y = 0; y < gh; ++y)
        for (int32_t x = 0; x < gw; ++x) {
          TColor c = GetPixel(src, x, y);
          if (c == transparent) continue;
          uint32_t lum = (c & 0xFF) * 30 + ((c >> 8) & 0xFF) * 59 + ((c >> 16) & 0xFF) * 11;
          if (lum >= 192 * 100) continue;
          SetPixel(dest, gp.X + x + 1, gp.Y + y + 1, ColorToRGB(clBtnHighlight));
          SetPixel(dest, gp.X + x, gp.Y + y, ColorToRGB(clBtnShadow));
        }
    }
    Glyph->FreeContext();
  }
  if (!Caption.empty()) {
    TRect tr{tp.X, tp.Y, tp.X + ts.cx, tp.Y + ts.cy};
    DrawCaption(Canvas, Caption, tr, DT_SINGLELINE | DT_LEFT | DT_TOP, Enabled);
  }
}

TBitBtn::TBitBtn(TComponent* AOwner) : TButton(AOwner) { FGlyph = std::make_unique<TBitmap>(); }
TBitBtn::~TBitBtn() = default;

void TBitBtn::SetKind(TBitBtnKind Value) {
  FKind = Value;
  if (Value == bkCustom) return;
  SetCaption(KindCaption(Value));
  SetModalResult(KindResult(Value));
  SetDefault(Value == bkOK || Value == bkYes);
  SetCancel(Value == bkCancel || Value == bkNo);
  MakeKindGlyph(FGlyph.get(), Value);
  FNumGlyphs = 1;
  Invalidate();
}

void TBitBtn::SetGlyph(TBitmap* Value) {
  FGlyph->Assign(Value);
  if (Value && Value->Height() > 0 && Value->Width() % Value->Height() == 0)
    FNumGlyphs = std::clamp(Value->Width() / Value->Height(), 1, 4);
  Invalidate();
}
void TBitBtn::SetNumGlyphs(int32_t Value) { FNumGlyphs = std::clamp(Value, 1, 4), Invalidate(); }
void TBitBtn::SetLayout(TButtonLayout Value) { FLayout = Value, Invalidate(); }
void TBitBtn::SetSpacing(int32_t Value) { FSpacing = Value, Invalidate(); }
void TBitBtn::SetMargin(int32_t Value) { FMargin = Value, Invalidate(); }

void TBitBtn::PaintContent(TRect R, bool Pushed) {
  DrawButtonFace(Canvas(), R, FGlyph.get(), FNumGlyphs, Caption(), FLayout, FMargin, FSpacing, Enabled(), Pushed);
}

// ===========================================================================
// TSpeedButton

TSpeedButton::TSpeedButton(TComponent* AOwner) : TGraphicControl(AOwner) {
  FControlStyle = csCaptureMouse | csDoubleClicks;
  FWidth = 23;
  FHeight = 22;
  FGlyph = std::make_unique<TBitmap>();
}
TSpeedButton::~TSpeedButton() = default;

void TSpeedButton::SetGlyph(TBitmap* Value) {
  FGlyph->Assign(Value);
  if (Value && Value->Height() > 0 && Value->Width() % Value->Height() == 0)
    FNumGlyphs = std::clamp(Value->Width() / Value->Height(), 1, 4);
  Invalidate();
}
void TSpeedButton::SetNumGlyphs(int32_t Value) { FNumGlyphs = std::clamp(Value, 1, 4), Invalidate(); }
void TSpeedButton::SetGroupIndex(int32_t Value) { FGroupIndex = Value; }
void TSpeedButton::SetAllowAllUp(bool Value) {
  FAllowAllUp = Value;
  // The buttons of a group share the setting.
  if (FParent && FGroupIndex)
    for (int32_t i = 0; i < FParent->ControlCount(); ++i)
      if (auto* b = dynamic_cast<TSpeedButton*>(FParent->Controls(i)); b && b->FGroupIndex == FGroupIndex)
        b->FAllowAllUp = Value;
}
void TSpeedButton::SetFlat(bool Value) { FFlat = Value, Invalidate(); }
void TSpeedButton::SetLayout(TButtonLayout Value) { FLayout = Value, Invalidate(); }
void TSpeedButton::SetSpacing(int32_t Value) { FSpacing = Value, Invalidate(); }
void TSpeedButton::SetMargin(int32_t Value) { FMargin = Value, Invalidate(); }

void TSpeedButton::ReleaseGroup() {
  if (!FParent || !FGroupIndex) return;
  for (int32_t i = 0; i < FParent->ControlCount(); ++i)
    if (auto* b = dynamic_cast<TSpeedButton*>(FParent->Controls(i));
        b && b != this && b->FGroupIndex == FGroupIndex && b->FDown) {
      b->FDown = false;
      b->Invalidate();
    }
}

void TSpeedButton::SetDown(bool Value) {
  if (FGroupIndex == 0) Value = false;
  if (Value == FDown) return;
  if (FDown && !FAllowAllUp) {
    // The last down button of a group stays down unless all may be up.
    bool other = false;
    if (FParent)
      for (int32_t i = 0; i < FParent->ControlCount(); ++i)
        if (auto* b = dynamic_cast<TSpeedButton*>(FParent->Controls(i));
            b && b != this && b->FGroupIndex == FGroupIndex && b->FDown)
          other = true;
    if (!other) return;
  }
  FDown = Value;
  if (Value) ReleaseGroup();
  Invalidate();
}

void TSpeedButton::Click() { TGraphicControl::Click(); }

void TSpeedButton::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TGraphicControl::MouseDown(Button, Shift, X, Y);
  if (Button == mbLeft && Enabled()) {
    FPressed = true;
    Invalidate();
  }
}

void TSpeedButton::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  TGraphicControl::MouseMove(Shift, X, Y);
  if (MouseCapture() && (Shift & ssLeft)) {
    bool inside = X >= 0 && Y >= 0 && X < Width() && Y < Height();
    if (inside != FPressed) {
      FPressed = inside;
      Invalidate();
    }
  }
}

void TSpeedButton::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TGraphicControl::MouseUp(Button, Shift, X, Y);
  if (Button != mbLeft || !FPressed) return;
  FPressed = false;
  bool inside = X >= 0 && Y >= 0 && X < Width() && Y < Height();
  if (inside && FGroupIndex) {
    if (!FDown) {
      FDown = true;
      ReleaseGroup();
    } else if (FAllowAllUp) {
      FDown = false;
    }
  }
  Invalidate();
  if (inside) Click();
}

void TSpeedButton::WndProc(TMessage& Message) {
  if (Message.Msg == CM_DIALOGCHAR) {
    if (IsAccel(static_cast<uint32_t>(Message.WParam), Caption()) && Enabled() && Visible()) {
      if (FGroupIndex) SetDown(!FDown || !FAllowAllUp);
      Click();
      Message.Result = 1;
    }
    return;
  }
  TGraphicControl::WndProc(Message);
  if (Message.Msg == CM_MOUSEENTER || Message.Msg == CM_MOUSELEAVE) {
    FMouseInside = Message.Msg == CM_MOUSEENTER;
    if (FFlat) Invalidate();
  }
}

void TSpeedButton::Paint() {
  TCanvas* c = Canvas();
  c->Font()->Assign(Font());
  TRect r = ClientRect();
  bool pushed = FPressed || FDown;
  if (FFlat) {
    Fill(c, r, FColor == clWindow ? clBtnFace : FColor);
    if (pushed) Frame3D(c, r, clBtnShadow, clBtnHighlight, 1);
    else if (FMouseInside && Enabled()) Frame3D(c, r, clBtnHighlight, clBtnShadow, 1);
    else InflateRect(r, -1, -1);
  } else if (pushed) {
    Frame3D(c, r, cl3DDkShadow, clBtnHighlight, 1);
    Frame3D(c, r, clBtnShadow, clBtnFace, 1);
    Fill(c, r, FDown && !FPressed ? cl3DLight : clBtnFace);
  } else {
    Frame3D(c, r, clBtnHighlight, cl3DDkShadow, 1);
    Frame3D(c, r, clBtnFace, clBtnShadow, 1);
    Fill(c, r, clBtnFace);
  }
  DrawButtonFace(c, r, FGlyph.get(), FNumGlyphs, Caption(), FLayout, FMargin, FSpacing, Enabled(), pushed);
}

// ===========================================================================
// TCheckBox, TRadioButton

TCheckBox::TCheckBox(TComponent* AOwner) : TButtonControl(AOwner) {
  FWidth = 97;
  FHeight = 17;
  FColor = clBtnFace;
  FParentColor = true;
}

void TCheckBox::SetState(TCheckBoxState Value) {
  if (Value == FState) return;
  FState = Value;
  Invalidate();
  Click();
}

void TCheckBox::SetAlignment(TAlignment Value) { FAlignment = Value, Invalidate(); }

void TCheckBox::Activate() {
  switch (FState) {
    case cbUnchecked: SetState(FAllowGrayed ? cbGrayed : cbChecked); break;
    case cbGrayed: SetState(cbChecked); break;
    case cbChecked: SetState(cbUnchecked); break;
  }
}

namespace {
// The check box square or radio circle and the caption beside it.
void PaintCheck(TButtonControl* B, TCanvas* C, TAlignment Alignment, bool Radio, int32_t State, bool Pressed,
                bool Enabled, const std::string& Caption, TColor Color) {
  TRect r{0, 0, B->Width(), B->Height()};
  // The control's text colours come from CN_CTLCOLORSTATIC, as for the
  // system's buttons: a handler that sets the transparent background mode
  // leaves what lies below showing.
  HDC dc = C->Handle();
  int32_t mode = SetBkMode(dc, OPAQUE);
  B->Perform(CN_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), B->HandleAllocated() ? reinterpret_cast<LPARAM>(B->Handle()) : 0);
  bool transparent = GetBkMode(dc) == TRANSPARENT;
  SetBkMode(dc, mode);
  if (!transparent) Fill(C, r, Color);
  int32_t box = 13;
  int32_t bx = Alignment == taRightJustify ? 0 : B->Width() - box;
  int32_t by = (B->Height() - box) / 2;
  TRect br{bx, by, bx + box, by + box};
  TColor inside = (Pressed || !Enabled) ? clBtnFace : clWindow;
  if (Radio) {
    C->Pen()->SetColor(clBtnShadow);
    C->Brush()->SetStyle(bsSolid);
    C->Brush()->SetColor(inside);
    C->Ellipse(br.Left, br.Top, br.Right, br.Bottom);
    if (State) {
      C->Pen()->SetColor(clWindowText);
      C->Brush()->SetColor(Enabled ? clWindowText : clBtnShadow);
      C->Ellipse(br.Left + 4, br.Top + 4, br.Right - 4, br.Bottom - 4);
    }
  } else {
    TRect f = br;
    SunkenField(C, f);
    InflateRect(f, -2, -2);
    Fill(C, f, State == cbGrayed ? clBtnFace : inside);
    if (State != cbUnchecked) {
      TColor mark = (State == cbGrayed || !Enabled) ? clBtnShadow : clWindowText;
      int32_t x = f.Left + 1, y = f.Top + 3;
      for (int32_t i = 0; i < 7; ++i) {
        int32_t dy = i < 3 ? i : 4 - (i - 2);
        Line(C, x + i, y + dy, x + i, y + dy + 3, mark);
      }
    }
  }
  C->Font()->Assign(B->Font());
  TRect tr = Alignment == taRightJustify ? TRect{box + 4, 0, B->Width(), B->Height()}
                                         : TRect{0, 0, B->Width() - box - 4, B->Height()};
  DrawCaption(C, Caption, tr, DT_LEFT | DT_VCENTER | DT_SINGLELINE, Enabled);
  if (B->Focused() && !Caption.empty()) {
    TRect calc = MeasureCaption(C, Caption, tr, DT_LEFT | DT_SINGLELINE);
    int32_t h = calc.Height();
    TRect focus{tr.Left - 1, (B->Height() - h) / 2 - 1, tr.Left + calc.Width() + 1, (B->Height() + h) / 2 + 1};
    C->Brush()->SetColor(Color);
    C->DrawFocusRect(focus);
  }
}
}  // namespace

void TCheckBox::Paint() {
  PaintCheck(this, Canvas(), FAlignment, false, FState, FPressed, Enabled(), Caption(), Color());
}

TRadioButton::TRadioButton(TComponent* AOwner) : TButtonControl(AOwner) {
  FWidth = 113;
  FHeight = 17;
  FColor = clBtnFace;
  FParentColor = true;
}

void TRadioButton::SetChecked(bool Value) {
  if (Value == FChecked) return;
  FChecked = Value;
  SetTabStop(Value);
  Invalidate();
  if (!Value) return;
  if (FParent)
    for (int32_t i = 0; i < FParent->ControlCount(); ++i)
      if (auto* r = dynamic_cast<TRadioButton*>(FParent->Controls(i)); r && r != this) r->SetChecked(false);
  Click();
}

void TRadioButton::SetAlignment(TAlignment Value) { FAlignment = Value, Invalidate(); }
void TRadioButton::Activate() { SetChecked(true); }

void TRadioButton::Paint() {
  PaintCheck(this, Canvas(), FAlignment, true, FChecked ? 1 : 0, FPressed, Enabled(), Caption(), Color());
}

// ===========================================================================
// TGroupBox, TRadioGroup

TCustomGroupBox::TCustomGroupBox(TComponent* AOwner) : TCustomControl(AOwner) {
  FControlStyle = csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
  FWidth = 185;
  FHeight = 105;
  FColor = clBtnFace;
}

void TCustomGroupBox::AdjustClientRect(TRect& Rect) {
  int32_t th = 14;
  Rect.Top += th;
  InflateRect(Rect, -2, -2);
}

void TCustomGroupBox::Paint() {
  TCanvas* c = Canvas();
  c->Font()->Assign(Font());
  Fill(c, ClientRect(), Color());
  int32_t th = c->TextHeight("0");
  TRect r{0, th / 2 - 1, Width(), Height()};
  TRect outer{r.Left, r.Top, r.Right - 1, r.Bottom - 1};
  Frame3D(c, outer, clBtnShadow, clBtnShadow, 1);
  TRect inner{r.Left + 1, r.Top + 1, r.Right, r.Bottom};
  Frame3D(c, inner, clBtnHighlight, clBtnHighlight, 1);
  if (!Caption().empty()) {
    TRect calc = MeasureCaption(c, Caption(), TRect{0, 0, Width(), 0}, DT_SINGLELINE);
    TRect tr{8, 0, 8 + calc.Width(), calc.Height()};
    Fill(c, tr, Color());
    DrawCaption(c, Caption(), tr, DT_SINGLELINE | DT_LEFT, Enabled());
  }
}

TRadioGroup::TRadioGroup(TComponent* AOwner) : TCustomGroupBox(AOwner) {
  FTabStop = true;
  // OnClick tells of a change of the chosen item only.
  FControlStyle &= ~csClickEvents;
}

void TRadioGroup::SetItems(const std::vector<std::string>& Value) {
  FItems = Value;
  if (FItemIndex >= static_cast<int32_t>(FItems.size())) FItemIndex = -1;
  Invalidate();
}

void TRadioGroup::SetItemIndex(int32_t Value) {
  if (Value < -1 || Value >= static_cast<int32_t>(FItems.size())) Value = -1;
  if (Value == FItemIndex) return;
  FItemIndex = Value;
  Invalidate();
  Click();
}

void TRadioGroup::SetColumns(int32_t Value) {
  FColumns = std::clamp(Value, 1, 16);
  Invalidate();
}

TRect TRadioGroup::ItemRect(int32_t Index) {
  int32_t n = static_cast<int32_t>(FItems.size());
  if (Index < 0 || Index >= n) return TRect{};
  TRect area = ClientRect();
  AdjustClientRect(area);
  int32_t perColumn = (n + FColumns - 1) / FColumns;
  int32_t col = Index / perColumn, row = Index % perColumn;
  int32_t cw = area.Width() / FColumns;
  int32_t rh = perColumn > 0 ? area.Height() / perColumn : area.Height();
  int32_t x = area.Left + 6 + col * cw, y = area.Top + row * rh;
  return TRect{x, y, x + cw - 6, y + rh};
}

void TRadioGroup::Paint() {
  TCustomGroupBox::Paint();
  TCanvas* c = Canvas();
  for (int32_t i = 0; i < static_cast<int32_t>(FItems.size()); ++i) {
    TRect r = ItemRect(i);
    int32_t box = 13, by = r.Top + (r.Height() - box) / 2;
    c->Pen()->SetColor(clBtnShadow);
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(Enabled() ? clWindow : clBtnFace);
    c->Ellipse(r.Left, by, r.Left + box, by + box);
    if (i == FItemIndex) {
      c->Pen()->SetColor(clWindowText);
      c->Brush()->SetColor(Enabled() ? clWindowText : clBtnShadow);
      c->Ellipse(r.Left + 4, by + 4, r.Left + box - 4, by + box - 4);
    }
    c->Font()->Assign(Font());
    TRect tr{r.Left + box + 4, r.Top, r.Right, r.Bottom};
    DrawCaption(c, FItems[static_cast<size_t>(i)], tr, DT_LEFT | DT_VCENTER | DT_SINGLELINE, Enabled());
    if (i == FItemIndex && Focused()) {
      c->Brush()->SetColor(Color());
      c->DrawFocusRect(TRect{tr.Left - 1, tr.Top + 1, tr.Right, tr.Bottom - 1});
    }
  }
}

void TRadioGroup::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  if (Button == mbLeft) {
    if (CanFocus() && !Focused()) SetFocus();
    for (int32_t i = 0; i < static_cast<int32_t>(FItems.size()); ++i) {
      TRect r = ItemRect(i);
      if (X >= r.Left && X < r.Right && Y >= r.Top && Y < r.Bottom) SetItemIndex(i);
    }
  }
  TCustomGroupBox::MouseDown(Button, Shift, X, Y);
}

void TRadioGroup::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomGroupBox::KeyDown(Key, Shift);
  int32_t n = static_cast<int32_t>(FItems.size());
  if (!n) return;
  if (Key == VK_DOWN || Key == VK_RIGHT) SetItemIndex(std::min(FItemIndex + 1, n - 1)), Key = 0;
  else if (Key == VK_UP || Key == VK_LEFT) SetItemIndex(std::max(FItemIndex - 1, 0)), Key = 0;
}

void TRadioGroup::WndProc(TMessage& Message) {
  if (Message.Msg == CM_DIALOGCHAR) {
    // An item's hotkey chooses it; the caption's gives the group the focus.
    uint32_t key = static_cast<uint32_t>(Message.WParam);
    for (int32_t i = 0; i < static_cast<int32_t>(FItems.size()); ++i)
      if (IsAccel(key, FItems[static_cast<size_t>(i)]) && CanFocus()) {
        SetFocus();
        SetItemIndex(i);
        Message.Result = 1;
        return;
      }
    if (IsAccel(key, Caption()) && CanFocus()) {
      SetFocus();
      Message.Result = 1;
    }
    return;
  }
  TCustomGroupBox::WndProc(Message);
  if (Message.Msg == WM_SETFOCUS || Message.Msg == WM_KILLFOCUS) Invalidate();
}

// ===========================================================================
// TSpinEdit

TSpinEdit::TSpinEdit(TComponent* AOwner) : TCustomEdit(AOwner) {
  FHeight = 22;
  TCustomControl::SetText("0");
}

int32_t TSpinEdit::CheckValue(int32_t V) const {
  if (FMaxValue != FMinValue) V = std::clamp(V, std::min(FMinValue, FMaxValue), std::max(FMinValue, FMaxValue));
  return V;
}

int32_t TSpinEdit::Value() { return CheckValue(static_cast<int32_t>(StrToIntDef(Trim(Text()), FMinValue))); }

void TSpinEdit::SetValue(int32_t AValue) { SetText(IntToStr(CheckValue(AValue))); }

void TSpinEdit::SetMinValue(int32_t Value) {
  FMinValue = Value;
  if (StrToIntDef(Trim(Text()), INT64_MIN) != INT64_MIN) SetValue(this->Value());
}

void TSpinEdit::SetMaxValue(int32_t Value) {
  FMaxValue = Value;
  if (StrToIntDef(Trim(Text()), INT64_MIN) != INT64_MIN) SetValue(this->Value());
}

bool TSpinEdit::IsValidChar(char Key) { return (Key >= '0' && Key <= '9') || Key == '-' || Key == '+'; }

TRect TSpinEdit::UpButtonRect() {
  TRect c = ClientRect();
  return TRect{c.Right - 17, 2, c.Right - 2, c.Height() / 2};
}

TRect TSpinEdit::DownButtonRect() {
  TRect c = ClientRect();
  return TRect{c.Right - 17, c.Height() / 2, c.Right - 2, c.Bottom - 2};
}

void TSpinEdit::Paint() {
  TCustomEdit::Paint();
  TCanvas* c = Canvas();
  for (int32_t k = 0; k < 2; ++k) {
    TRect r = k == 0 ? UpButtonRect() : DownButtonRect();
    RaisedButton(c, r, false, false);
    int32_t cx = (r.Left + r.Right) / 2, cy = (r.Top + r.Bottom) / 2;
    for (int32_t i = 0; i < 3; ++i) {
      int32_t y = k == 0 ? cy - 1 + i : cy + 1 - i;
      Line(c, cx - i, y, cx + i + 1, y, Enabled() ? clBtnText : clGrayText);
    }
  }
}

void TSpinEdit::KeyDown(uint16_t& Key, TShiftState Shift) {
  if (Key == VK_UP || Key == VK_DOWN) {
    if (!ReadOnly()) SetValue(Value() + (Key == VK_UP ? FIncrement : -FIncrement));
    Key = 0;
    return;
  }
  TCustomEdit::KeyDown(Key, Shift);
}

void TSpinEdit::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  auto in = [X, Y](const TRect& r) { return X >= r.Left && X < r.Right && Y >= r.Top && Y < r.Bottom; };
  if (Button == mbLeft && (in(UpButtonRect()) || in(DownButtonRect()))) {
    if (CanFocus() && !Focused()) SetFocus();
    if (!ReadOnly()) SetValue(Value() + (in(UpButtonRect()) ? FIncrement : -FIncrement));
    return;
  }
  TCustomEdit::MouseDown(Button, Shift, X, Y);
}

void TSpinEdit::WndProc(TMessage& Message) {
  TCustomEdit::WndProc(Message);
  // Leaving the box puts a typed value in its limits.
  if (Message.Msg == CM_EXIT && !Text().empty() && StrToIntDef(Trim(Text()), INT64_MIN) != Value()) SetValue(Value());
}

// ===========================================================================
// TProgressBar

TProgressBar::TProgressBar(TComponent* AOwner) : TWinControl(AOwner) {
  FWidth = 150;
  FHeight = 16;
  FColor = clBtnFace;
  FParentColor = false;
}

void TProgressBar::SetMin(int32_t Value) {
  FMin = Value;
  FPosition = std::max(FPosition, FMin);
  Invalidate();
}
void TProgressBar::SetMax(int32_t Value) {
  FMax = Value;
  FPosition = std::min(FPosition, FMax);
  Invalidate();
}
void TProgressBar::SetPosition(int32_t Value) {
  Value = std::clamp(Value, std::min(FMin, FMax), std::max(FMin, FMax));
  if (Value == FPosition) return;
  FPosition = Value;
  Invalidate();
}
void TProgressBar::StepBy(int32_t Delta) {
  int32_t p = FPosition + Delta;
  if (p > FMax) p = FMin + (p - FMax);
  SetPosition(p);
}
void TProgressBar::StepIt() { StepBy(FStep); }

void TProgressBar::Paint(HDC DC) {
  TCanvas c;
  c.SetHandle(DC);
  TRect r = GetClientRect();
  Frame3D(&c, r, clBtnShadow, clBtnHighlight, 1);
  Fill(&c, r, clBtnFace);
  int32_t range = FMax - FMin;
  if (range > 0 && FPosition > FMin) {
    int32_t inner = r.Width() - 2;
    int32_t filled = static_cast<int32_t>(static_cast<int64_t>(inner) * (FPosition - FMin) / range);
    int32_t block = std::max(4, (r.Height() - 2) * 2 / 3), x = r.Left + 1;
    while (x < r.Left + 1 + filled) {
      int32_t w = std::min(block, r.Left + 1 + filled - x);
      Fill(&c, TRect{x, r.Top + 1, x + w, r.Bottom - 1}, clHighlight);
      x += block + 2;
    }
  }
  c.SetHandle(nullptr);
}

void TProgressBar::WndProc(TMessage& Message) {
  if (Message.Msg == WM_PAINT) {
    TPaintStruct ps;
    HDC dc = reinterpret_cast<HDC>(Message.WParam);
    bool own = !dc;
    if (own) dc = BeginPaint(Handle(), ps);
    Paint(dc);
    if (own) EndPaint(Handle(), ps);
    return;
  }
  if (Message.Msg == WM_ERASEBKGND) {
    Message.Result = 1;
    return;
  }
  TWinControl::WndProc(Message);
}

// ===========================================================================
// TStatusBar

int32_t TStatusPanel::Index() const {
  for (int32_t i = 0; i < FBar->Panels()->Count(); ++i)
    if (FBar->Panels()->Items(i) == this) return i;
  return -1;
}
void TStatusPanel::Changed() { FBar->Invalidate(); }
void TStatusPanel::SetText(const std::string& Value) {
  if (Value == FText) return;
  FText = Value;
  Changed();
}
void TStatusPanel::SetWidth(int32_t Value) { FWidth = Value, Changed(); }
void TStatusPanel::SetAlignment(TAlignment Value) { FAlignment = Value, Changed(); }
void TStatusPanel::SetStyle(TStatusPanelStyle Value) { FStyle = Value, Changed(); }
void TStatusPanel::SetBevel(TStatusPanelBevel Value) { FBevel = Value, Changed(); }

TStatusPanel* TStatusPanels::Add() {
  FItems.push_back(std::make_unique<TStatusPanel>(FBar));
  FBar->Invalidate();
  return FItems.back().get();
}

TStatusBar::TStatusBar(TComponent* AOwner) : TCustomControl(AOwner) {
  FControlStyle = csCaptureMouse | csClickEvents | csDoubleClicks | csOpaque;
  FColor = clBtnFace;
  FParentColor = false;
  FHeight = 19;
  FWidth = 200;
  FAlign = alBottom;
}

void TStatusBar::SetSimplePanel(bool Value) { FSimplePanel = Value, Invalidate(); }
void TStatusBar::SetSimpleText(const std::string& Value) { FSimpleText = Value, Invalidate(); }
void TStatusBar::SetSizeGrip(bool Value) { FSizeGrip = Value, Invalidate(); }

TRect TStatusBar::PanelRect(int32_t Index) {
  TRect c = ClientRect();
  int32_t x = 0;
  for (int32_t i = 0; i < FPanels.Count(); ++i) {
    int32_t w = FPanels.Items(i)->Width();
    bool last = i == FPanels.Count() - 1;
    TRect r{x, 2, last ? c.Right : std::min(x + w, c.Right), c.Bottom};
    if (i == Index) return r;
    x += w + 2;
  }
  return TRect{};
}

void TStatusBar::Paint() {
  TCanvas* c = Canvas();
  c->Font()->Assign(Font());
  TRect all = ClientRect();
  Fill(c, all, Color());
  if (FSimplePanel || FPanels.Count() == 0) {
    TRect r{all.Left, 2, all.Right, all.Bottom};
    Frame3D(c, r, clBtnShadow, clBtnHighlight, 1);
    TRect tr{r.Left + 2, r.Top, r.Right - 2, r.Bottom};
    DrawCaption(c, FSimpleText, tr, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX, true);
    return;
  }
  for (int32_t i = 0; i < FPanels.Count(); ++i) {
    TStatusPanel* p = FPanels.Items(i);
    TRect r = PanelRect(i);
    if (r.Width() <= 0) continue;
    if (p->Bevel() != pbNone) {
      TColor a = p->Bevel() == pbLowered ? clBtnShadow : clBtnHighlight;
      TColor b = p->Bevel() == pbLowered ? clBtnHighlight : clBtnShadow;
      Frame3D(c, r, a, b, 1);
    }
    if (p->Style() == psOwnerDraw) {
      if (OnDrawPanel) {
        int32_t saved = SaveDC(c->Handle());
        IntersectClipRect(c->Handle(), r.Left, r.Top, r.Right, r.Bottom);
        OnDrawPanel(this, p, r);
        RestoreDC(c->Handle(), saved);
        c->Refresh();
      }
      continue;
    }
    TRect tr{r.Left + 2, r.Top, r.Right - 2, r.Bottom};
    uint32_t align = p->Alignment() == taCenter ? DT_CENTER : p->Alignment() == taRightJustify ? DT_RIGHT : DT_LEFT;
    DrawCaption(c, p->Text(), tr, align | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX, true);
  }
}

// ===========================================================================
// Focus order, dialog keys, accelerators

namespace {

void CollectTabOrder(TWinControl* Parent, std::vector<TWinControl*>& Out) {
  std::vector<TWinControl*> kids;
  for (int32_t i = 0; i < Parent->ControlCount(); ++i)
    if (auto* w = dynamic_cast<TWinControl*>(Parent->Controls(i)); w && !dynamic_cast<TCustomForm*>(w))
      kids.push_back(w);
  // TabOrder -1 keeps the order of insertion after the numbered ones.
  std::stable_sort(kids.begin(), kids.end(), [](TWinControl* a, TWinControl* b) {
    int32_t x = a->TabOrder() < 0 ? INT32_MAX : a->TabOrder(), y = b->TabOrder() < 0 ? INT32_MAX : b->TabOrder();
    return x < y;
  });
  for (TWinControl* w : kids) {
    Out.push_back(w);
    CollectTabOrder(w, Out);
  }
}

TButton* FindButton(TWinControl* Parent, bool Default) {
  for (int32_t i = 0; i < Parent->ControlCount(); ++i) {
    TControl* c = Parent->Controls(i);
    if (auto* b = dynamic_cast<TButton*>(c); b && (Default ? b->Default() : b->Cancel()) && b->Visible() && b->Enabled())
      return b;
    if (auto* w = dynamic_cast<TWinControl*>(c); w && w->Visible())
      if (TButton* f = FindButton(w, Default)) return f;
  }
  return nullptr;
}

bool DialogKey(TWinControl* Control, uint16_t Key, TShiftState Shift) {
  TCustomForm* form = Control->ParentForm();
  if (!form) return false;
  if (Control->Perform(CM_WANTSPECIALKEY, Key, 0)) return false;
  switch (Key) {
    case VK_TAB:
      if (Shift & (ssCtrl | ssAlt)) return false;
      SelectNext(form, Control == form ? nullptr : Control, !(Shift & ssShift));
      return true;
    case VK_RETURN: {
      if (Shift & (ssCtrl | ssAlt)) return false;
      if (auto* b = dynamic_cast<TButton*>(Control)) {
        b->Click();
        return true;
      }
      if (TButton* d = FindButton(form, true)) {
        d->Click();
        return true;
      }
      return false;
    }
    case VK_ESCAPE:
      if (TButton* c = FindButton(form, false)) {
        c->Click();
        return true;
      }
      return false;
    default: return false;
  }
}

}  // namespace

TWinControl* FindNextControl(TCustomForm* Form, TWinControl* Current, bool GoForward) {
  std::vector<TWinControl*> order;
  CollectTabOrder(Form, order);
  std::vector<TWinControl*> stops;
  for (TWinControl* w : order)
    if (w->TabStop() && w->CanFocus()) stops.push_back(w);
  if (stops.empty()) return nullptr;
  auto it = std::find(stops.begin(), stops.end(), Current);
  if (it == stops.end()) {
    // From a control that is no stop: the stop after it in the full order.
    auto pos = std::find(order.begin(), order.end(), Current);
    if (pos != order.end() && GoForward)
      for (auto o = pos + 1; o != order.end(); ++o)
        if (std::find(stops.begin(), stops.end(), *o) != stops.end()) return *o;
    return GoForward ? stops.front() : stops.back();
  }
  size_t i = static_cast<size_t>(it - stops.begin());
  if (GoForward) return stops[(i + 1) % stops.size()];
  return stops[(i + stops.size() - 1) % stops.size()];
}

void SelectNext(TCustomForm* Form, TWinControl* Current, bool GoForward) {
  if (TWinControl* n = FindNextControl(Form, Current, GoForward)) n->SetFocus();
}

void InitializeStdControls() {
  InitializeMenus();
  DialogKeyHook = DialogKey;
}

void FinalizeStdControls() {
  DialogKeyHook = nullptr;
  FinalizeMenus();
}
