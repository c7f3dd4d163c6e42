// TControl, TWinControl, TGraphicControl, TCustomControl and TControlCanvas.
#include "platform/ui/controls.h"

#include <algorithm>
#include <map>

#include "platform/base/numeric.h"
#include "platform/gdi/dc.h"
#include "platform/ui/forms.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/window_internal.h"

std::function<bool(TPopupMenu*, TControl*, TPoint)> PopupMenuHook;
bool NewStyleControls = true;
std::function<bool(TWinControl*, uint16_t, TShiftState)> ShortCutHook;
std::function<bool(TWinControl*, uint16_t, TShiftState)> DialogKeyHook;

namespace {
// The windowless control that has the mouse captured through its parent.
TControl* CaptureControl = nullptr;
std::vector<TControlCanvas*> CanvasList;
int32_t WndProcDepth = 0;

bool InRect(const TRect& R, const TPoint& P) {
  return P.X >= R.Left && P.X < R.Right && P.Y >= R.Top && P.Y < R.Bottom;
}
bool Overlap(const TRect& A, const TRect& B) {
  return A.Left < B.Right && B.Left < A.Right && A.Top < B.Bottom && B.Top < A.Bottom;
}
}  // namespace

TShiftState KeysToShiftState(uint32_t Keys) {
  TShiftState s = 0;
  if (Keys & MK_SHIFT) s |= ssShift;
  if (Keys & MK_CONTROL) s |= ssCtrl;
  if (Keys & MK_LBUTTON) s |= ssLeft;
  if (Keys & MK_RBUTTON) s |= ssRight;
  if (Keys & MK_MBUTTON) s |= ssMiddle;
  if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
  return s;
}

TShiftState KeyboardStateToShiftState() {
  TShiftState s = 0;
  if (GetKeyState(VK_SHIFT) < 0) s |= ssShift;
  if (GetKeyState(VK_CONTROL) < 0) s |= ssCtrl;
  if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
  if (GetKeyState(VK_LBUTTON) < 0) s |= ssLeft;
  if (GetKeyState(VK_RBUTTON) < 0) s |= ssRight;
  if (GetKeyState(VK_MBUTTON) < 0) s |= ssMiddle;
  return s;
}

// ===========================================================================
// TControl

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {
  FFont = std::make_unique<TFont>();
  FFont->OnChange = [this](TObject*) { FontChanged(); };
  WindowProc = [this](TMessage& M) { WndProc(M); };
}

void ForgetDragControl(TControl* Control);  // drag_drop.cpp

TControl::~TControl() {
  ForgetDragControl(this);
  if (CaptureControl == this) CaptureControl = nullptr;
  if (FWindowed)
    if (TCustomForm* f = ParentForm(); f && static_cast<TControl*>(f) != this) f->ControlRemoved(this);
  if (FParent) FParent->RemoveControl(this);
}

void TControl::BeforeDestruction() {
  TComponent::BeforeDestruction();
  if (CaptureControl == this) SetMouseCapture(false);
  if (FParent) SetParent(nullptr);
}

void TControl::SetParent(TWinControl* AParent) {
  if (AParent == FParent) return;
  if (AParent == this) throw EInvalidOperation("A control cannot have itself as its parent");
  if (FParent) FParent->RemoveControl(this);
  if (AParent) AParent->InsertControl(this);
}

void TControl::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
  if (AWidth < 0) AWidth = 0;
  if (AHeight < 0) AHeight = 0;
  if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight) return;
  TRect old = BoundsRect();
  bool sized = AWidth != FWidth || AHeight != FHeight;
  FLeft = ALeft;
  FTop = ATop;
  FWidth = AWidth;
  FHeight = AHeight;
  BoundsChanged(old);
  RequestAlign();
  if (sized && !(ComponentState() & (csLoading | csDestroying))) Resize();
}

void TControl::BoundsChanged(const TRect& Old) {
  if (FParent && FParent->HandleAllocated() && FVisible) {
    bool erase = !(FControlStyle & csOpaque);
    InvalidateRect(FParent->Handle(), &Old, true);
    TRect now = BoundsRect();
    InvalidateRect(FParent->Handle(), &now, erase);
  }
}

TRect TControl::GetClientRect() { return TRect{0, 0, FWidth, FHeight}; }

void TControl::SetClientSize(int32_t AWidth, int32_t AHeight) {
  TRect c = GetClientRect();
  SetBounds(FLeft, FTop, FWidth - c.Width() + AWidth, FHeight - c.Height() + AHeight);
}

TPoint TControl::ClientOrigin() {
  if (!FParent) return TPoint{FLeft, FTop};
  TPoint p = FParent->ClientOrigin();
  return TPoint{p.X + FLeft, p.Y + FTop};
}

TPoint TControl::ClientToScreen(const TPoint& P) {
  TPoint o = ClientOrigin();
  return TPoint{P.X + o.X, P.Y + o.Y};
}

TPoint TControl::ScreenToClient(const TPoint& P) {
  TPoint o = ClientOrigin();
  return TPoint{P.X - o.X, P.Y - o.Y};
}

void TControl::SetAlign(TAlign Value) {
  if (Value == FAlign) return;
  FAlign = Value;
  RequestAlign();
}

void TControl::SetVisible(bool Value) {
  if (Value == FVisible) return;
  VisibleChanging();
  FVisible = Value;
  Perform(CM_VISIBLECHANGED, Value ? 1 : 0, 0);
  RequestAlign();
}

void TControl::SetEnabled(bool Value) {
  if (Value == FEnabled) return;
  FEnabled = Value;
  Perform(CM_ENABLEDCHANGED, 0, 0);
}

void TControl::SetColor(TColor Value) {
  if (Value != FColor) {
    FColor = Value;
    Perform(CM_COLORCHANGED, 0, 0);
  }
  FParentColor = false;
}

void TControl::SetParentColor(bool Value) {
  if (Value == FParentColor) return;
  FParentColor = Value;
  if (Value) ParentColorChanged();
}

void TControl::ParentColorChanged() {
  if (!FParentColor || !FParent) return;
  if (FParent->Color() != FColor) {
    FColor = FParent->Color();
    Perform(CM_COLORCHANGED, 0, 0);
  }
}

namespace {
bool ApplyingParentFont = false;
}

void TControl::SetFont(TFont* Value) {
  if (Value) FFont->Assign(Value);
}

void TControl::SetParentFont(bool Value) {
  if (Value == FParentFont) return;
  FParentFont = Value;
  if (Value) ParentFontChanged();
}

void TControl::ParentFontChanged() {
  if (!FParentFont || !FParent) return;
  ApplyingParentFont = true;
  FFont->Assign(FParent->Font());
  ApplyingParentFont = false;
  FParentFont = true;
}

void TControl::FontChanged() {
  if (!ApplyingParentFont) FParentFont = false;
  Perform(CM_FONTCHANGED, 0, 0);
}

void TControl::SetCursor(TCursor Value) {
  if (Value == FCursor) return;
  FCursor = Value;
  Perform(CM_CURSORCHANGED, 0, 0);
}

void TControl::SetShowHint(bool Value) {
  FShowHint = Value;
  FParentShowHint = false;
}

void TControl::SetParentShowHint(bool Value) {
  FParentShowHint = Value;
  if (Value && FParent) FShowHint = FParent->ShowHint();
}

void TControl::SetText(const std::string& Value) {
  if (Value == FText) return;
  FText = Value;
  Perform(CM_TEXTCHANGED, 0, 0);
}

bool TControl::MouseCapture() {
  if (FWindowed) {
    auto* w = static_cast<TWinControl*>(this);
    return w->HandleAllocated() && GetCapture() == w->Handle();
  }
  return CaptureControl == this;
}

void TControl::SetMouseCapture(bool Value) {
  if (Value == MouseCapture()) return;
  if (FWindowed) {
    auto* w = static_cast<TWinControl*>(this);
    if (Value) SetCapture(w->Handle());
    else ReleaseCapture();
    return;
  }
  if (Value) {
    if (!FParent) return;
    CaptureControl = this;
    SetCapture(FParent->Handle());
  } else {
    CaptureControl = nullptr;
    if (FParent && FParent->HandleAllocated() && GetCapture() == FParent->Handle()) ReleaseCapture();
  }
}

void TControl::Invalidate() {
  if (FParent && FParent->HandleAllocated() && (FVisible || (ComponentState() & csDesigning))) {
    TRect r = BoundsRect();
    InvalidateRect(FParent->Handle(), &r, !(FControlStyle & csOpaque));
  }
}

void TControl::Update() {
  if (FParent) FParent->Update();
}

void TControl::Repaint() {
  if (!FParent || !FParent->HandleAllocated() || !FVisible) return;
  if (FControlStyle & csOpaque) {
    // Paints straight onto the parent's window.
    HWND h = FParent->Handle();
    HDC dc = GetDC(h);
    int32_t saved = SaveDC(dc);
    OffsetViewportOrgEx(dc, FLeft, FTop, nullptr);
    IntersectClipRect(dc, 0, 0, FWidth, FHeight);
    Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
    RestoreDC(dc, saved);
    ReleaseDC(h, dc);
  } else {
    Invalidate();
    Update();
  }
}

void TControl::BringToFront() {
  if (!FParent) return;
  auto& v = FParent->FControls;
  v.erase(std::remove(v.begin(), v.end(), this), v.end());
  v.push_back(this);
  if (FWindowed) {
    auto* w = static_cast<TWinControl*>(this);
    if (w->HandleAllocated()) SetWindowPos(w->Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  } else {
    Invalidate();
  }
}

LRESULT TControl::Perform(uint32_t Msg, WPARAM WParam, LPARAM LParam) {
  TMessage m{Msg, WParam, LParam, 0};
  if (WindowProc) WindowProc(m);
  else WndProc(m);
  return m.Result;
}

TCustomForm* TControl::ParentForm() {
  TControl* c = this;
  while (c->FParent) c = c->FParent;
  return dynamic_cast<TCustomForm*>(c);
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}
void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}
void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}
void TControl::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}
void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}
void TControl::Resize() {
  if (OnResize && !(ComponentState() & (csLoading | csDestroying))) OnResize(this);
}

void TControl::ChangeScale(int32_t M, int32_t D) {
  if (M == D || D == 0) return;
  SetBounds(MulDiv(FLeft, M, D), MulDiv(FTop, M, D), MulDiv(FWidth, M, D), MulDiv(FHeight, M, D));
}

void TControl::RequestAlign() {
  if (FParent && !(FParent->ComponentState() & csLoading)) FParent->Realign();
}

void TControl::MouseMessage(TMessage& Message, TMouseButton Button, bool Down, bool Double) {
  int32_t x = GetXLParam(Message.LParam), y = GetYLParam(Message.LParam);
  TShiftState shift = KeysToShiftState(static_cast<uint32_t>(Message.WParam));
  if (Down && Button == mbLeft && FDragMode == dmAutomatic) {
    BeginDrag(true);
    return;
  }
  if (Down) {
    if (Double && Button == mbLeft && (FControlStyle & csDoubleClicks)) DblClick();
    if (Button == mbLeft) {
      if (FControlStyle & csCaptureMouse) SetMouseCapture(true);
      if (FControlStyle & csClickEvents) FControlState |= csClicked;
      FControlState |= csLButtonDown;
    }
    if (!(FControlStyle & csNoStdEvents)) MouseDown(Button, shift | (Double ? static_cast<uint32_t>(ssDouble) : 0u), x, y);
  } else {
    if (Button == mbLeft) {
      bool clicked = (FControlState & csClicked) != 0;
      FControlState &= ~(csClicked | csLButtonDown);
      if (clicked && InRect(GetClientRect(), TPoint{x, y})) Click();
    }
    if (Button == mbLeft || !(GetKeyState(VK_LBUTTON) < 0)) SetMouseCapture(false);
    if (!(FControlStyle & csNoStdEvents)) MouseUp(Button, shift, x, y);
    if (Button == mbRight && PopupMenuHook) PopupMenuHook(FPopupMenu, this, ClientToScreen(TPoint{x, y}));
  }
}

void TControl::WndProc(TMessage& Message) {
  if (Dragging() && DragMessage(Message)) return;
  switch (Message.Msg) {
    case WM_LBUTTONDOWN: MouseMessage(Message, mbLeft, true, false); return;
    case WM_LBUTTONDBLCLK: MouseMessage(Message, mbLeft, true, true); return;
    case WM_LBUTTONUP: MouseMessage(Message, mbLeft, false, false); return;
    case WM_RBUTTONDOWN: MouseMessage(Message, mbRight, true, false); return;
    case WM_RBUTTONDBLCLK: MouseMessage(Message, mbRight, true, true); return;
    case WM_RBUTTONUP: MouseMessage(Message, mbRight, false, false); return;
    case WM_MBUTTONDOWN: MouseMessage(Message, mbMiddle, true, false); return;
    case WM_MBUTTONDBLCLK: MouseMessage(Message, mbMiddle, true, true); return;
    case WM_MBUTTONUP: MouseMessage(Message, mbMiddle, false, false); return;
    case WM_MOUSEMOVE:
      if (!(FControlStyle & csNoStdEvents))
        MouseMove(KeysToShiftState(static_cast<uint32_t>(Message.WParam)), GetXLParam(Message.LParam),
                  GetYLParam(Message.LParam));
      return;
    case WM_CAPTURECHANGED: FControlState &= ~(csClicked | csLButtonDown); break;
    case CM_VISIBLECHANGED:
      if (!FWindowed && FParent && FParent->HandleAllocated()) {
        TRect r = BoundsRect();
        InvalidateRect(FParent->Handle(), &r, true);
      }
      return;
    case CM_ENABLEDCHANGED:
    case CM_COLORCHANGED:
    case CM_TEXTCHANGED:
    case CM_FONTCHANGED: Invalidate(); return;
    case CM_PARENTCOLORCHANGED: ParentColorChanged(); return;
    case CM_PARENTFONTCHANGED: ParentFontChanged(); return;
    case CM_PARENTSHOWHINTCHANGED:
      if (FParentShowHint && FParent) FShowHint = FParent->ShowHint();
      return;
  }
  DefaultHandler(Message);
}

void TControl::DefaultHandler(TMessage&) {}

// ===========================================================================
// TWinControl

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {
  FWindowed = true;
  FBrush = std::make_unique<TBrush>();
  FBrush->SetColor(FColor);
  DefWndProc = [](HWND h, uint32_t m, WPARAM w, LPARAM l) { return DefWindowProc(h, m, w, l); };
}

TWinControl::~TWinControl() {
  // Children go with us (a plain delete skips BeforeDestruction).
  while (!FControls.empty()) {
    TControl* c = FControls.back();
    RemoveControl(c);
    c->Free();
  }
  if (FHandle) DestroyHandle();
}

void TWinControl::BeforeDestruction() {
  TComponent::BeforeDestruction();
  if (TCustomForm* f = ParentForm(); f && f != this) f->ControlRemoved(this);
  while (!FControls.empty()) {
    TControl* c = FControls.back();
    RemoveControl(c);
    c->Free();
  }
  if (FHandle) DestroyHandle();
  TControl::BeforeDestruction();
}

TWinControl* TWinControl::FindControl(HWND Wnd) {
  if (!Wnd || !IsWindow(Wnd)) return nullptr;
  return static_cast<TWinControl*>(GetWindowUserData(Wnd));
}

HWND TWinControl::Handle() {
  if (!FHandle) CreateHandle();
  return FHandle;
}

bool TWinControl::Showing() {
  if (!FHandle) return false;
  return IsWindowVisible(FHandle);
}

void TWinControl::CreateParams(TCreateParams& Params) {
  Params = TCreateParams{};
  Params.Caption = FText;
  Params.Style = WS_CHILD | WS_CLIPSIBLINGS;
  if (FControlStyle & csAcceptsControls) Params.Style |= WS_CLIPCHILDREN;
  if (!FEnabled) Params.Style |= WS_DISABLED;
  if (FTabStop) Params.Style |= WS_TABSTOP;
  Params.X = FLeft;
  Params.Y = FTop;
  Params.Width = FWidth;
  Params.Height = FHeight;
  Params.WndParent = FParent ? FParent->Handle() : nullptr;
  Params.WindowClassStyle = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
}

void TWinControl::CreateWindowHandle(const TCreateParams& Params) {
  HWND h = CreateWindowEx(Params.ExStyle, Params.Caption, Params.Style & ~WS_VISIBLE, Params.X, Params.Y, Params.Width,
                          Params.Height, Params.WndParent,
                          [this](HWND W, uint32_t M, WPARAM Wp, LPARAM Lp) { return MainWndProc(W, M, Wp, Lp); },
                          Params.WindowClassStyle);
  if (!h) throw EOutOfResources("Error creating window");
  FHandle = h;
}

void TWinControl::CreateWnd() {
  TCreateParams p;
  CreateParams(p);
  // Making the parent's window (for a grandchild asked first) makes its
  // children's too, this one included: a second window would be orphaned.
  if (FHandle) return;
  if ((p.Style & WS_CHILD) && !p.WndParent) throw EInvalidOperation("Control '" + Name() + "' has no parent window");
  FControlState |= csCreating;
  CreateWindowHandle(p);
  FControlState &= ~csCreating;
  UpdateBounds();
}

void TWinControl::CreateHandle() {
  if (FHandle) return;
  CreateWnd();
  std::vector<TWinControl*> kids = FWinControls;
  for (TWinControl* c : kids) c->CreateHandle();
  Realign();
  UpdateShowing();
}

void TWinControl::DestroyWnd() {
  HWND h = FHandle;
  if (h) DestroyWindow(h);
  FHandle = nullptr;
}

void TWinControl::DestroyHandle() {
  if (!FHandle) return;
  FControlState |= csDestroyingHandle;
  DestroyWnd();
  for (TWinControl* c : FWinControls) c->FHandle = nullptr;
  FControlState &= ~csDestroyingHandle;
}

void TWinControl::RecreateWnd() {
  if (!FHandle || FRecreating) return;
  FRecreating = true;
  bool hadFocus = GetFocus() == FHandle;
  const HWND old = FHandle;
  DestroyHandle();
  CreateHandle();
  if (FHandle) ui_internal::ClipboardViewerRecreated(old, FHandle);
  if (hadFocus && FHandle) ::SetFocus(FHandle);
  FRecreating = false;
}

void TWinControl::UpdateShowing() {
  if (!FHandle) return;
  uint32_t style = GetWindowStyle(FHandle);
  bool top = !(style & WS_CHILD);
  if (top && dynamic_cast<TCustomForm*>(this)) return;  // forms show themselves
  ShowWindow(FHandle, FVisible ? SW_SHOWNA : SW_HIDE);
}

LRESULT TWinControl::MainWndProc(HWND Wnd, uint32_t Msg, WPARAM WParam, LPARAM LParam) {
  if (!FHandle) {
    FHandle = Wnd;
    SetWindowUserData(Wnd, this);
  }
  TMessage m{Msg, WParam, LParam, 0};
  ++WndProcDepth;
  try {
    if (WindowProc) WindowProc(m);
    else WndProc(m);
  } catch (...) {
    --WndProcDepth;
    HandleApplicationException(this);
    ++WndProcDepth;
  }
  if (--WndProcDepth == 0) TControlCanvas::FreeDeviceContexts();
  return m.Result;
}

void TWinControl::DefaultHandler(TMessage& Message) {
  if (!FHandle) return;
  Message.Result = CallWindowProc(DefWndProc, FHandle, Message.Msg, Message.WParam, Message.LParam);
}

void TWinControl::UpdateBounds() {
  if (!FHandle) return;
  TRect b = GetWindowBoundsInParent(FHandle);
  TRect old = BoundsRect();
  FLeft = b.Left;
  FTop = b.Top;
  FWidth = b.Width();
  FHeight = b.Height();
  if (!(old == BoundsRect())) RequestAlign();
}

void TWinControl::BoundsChanged(const TRect&) {}

void TWinControl::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
  if (AWidth < 0) AWidth = 0;
  if (AHeight < 0) AHeight = 0;
  if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight) return;
  if (FHandle) {
    SetWindowPos(FHandle, nullptr, ALeft, ATop, AWidth, AHeight, SWP_NOZORDER | SWP_NOACTIVATE);
  } else {
    FLeft = ALeft;
    FTop = ATop;
    FWidth = AWidth;
    FHeight = AHeight;
    RequestAlign();
  }
}

TRect TWinControl::GetClientRect() {
  if (FHandle) {
    TRect r;
    ::GetClientRect(FHandle, r);
    return r;
  }
  return TRect{0, 0, FWidth, FHeight};
}

void TWinControl::Loaded() {
  TControl::Loaded();
  // Alignment asked for while loading runs now.
  if (FControlState & csAlignmentNeeded) Realign();
}

void TWinControl::SetClientSize(int32_t AWidth, int32_t AHeight) {
  // A top-level window knows its frame only once it exists.
  if (!FParent && !FHandle) HandleNeeded();
  TRect c = GetClientRect();
  SetBounds(FLeft, FTop, FWidth - c.Width() + AWidth, FHeight - c.Height() + AHeight);
}

TPoint TWinControl::ClientOrigin() {
  if (FHandle) {
    TPoint p{0, 0};
    ::ClientToScreen(FHandle, p);
    return p;
  }
  return TControl::ClientOrigin();
}

void TWinControl::SetVisible(bool Value) { TControl::SetVisible(Value); }

void TWinControl::SetEnabled(bool Value) { TControl::SetEnabled(Value); }

void TWinControl::SetText(const std::string& Value) {
  if (Value == FText) return;
  FText = Value;
  if (FHandle) SetWindowText(FHandle, Value);
  Perform(CM_TEXTCHANGED, 0, 0);
}

void TWinControl::Invalidate() {
  if (FHandle) InvalidateRect(FHandle, nullptr, !(FControlStyle & csOpaque));
}

void TWinControl::Update() {
  if (FHandle) UpdateWindow(FHandle);
}

void TWinControl::Repaint() {
  Invalidate();
  if (FHandle) UpdateWindow(FHandle);
}

void TWinControl::InsertControl(TControl* AControl) {
  AControl->FParent = this;
  FControls.push_back(AControl);
  if (AControl->FWindowed) {
    auto* w = static_cast<TWinControl*>(AControl);
    FWinControls.push_back(w);
    if (FHandle) {
      if (w->FHandle) {
        // Moves the existing window (and its children) under the new parent,
        // as a child window or as an owned top-level one.
        TCreateParams p;
        w->CreateParams(p);
        bool child = (p.Style & WS_CHILD) != 0;
        ::SetParent(w->FHandle, child ? p.WndParent : nullptr);
        if (!child) SetWindowOwner(w->FHandle, p.WndParent);
        SetWindowLong(w->FHandle, GWL_STYLE, static_cast<int32_t>(p.Style));
        SetWindowLong(w->FHandle, GWL_EXSTYLE, static_cast<int32_t>(p.ExStyle));
        SetWindowPos(w->FHandle, nullptr, w->FLeft, w->FTop, w->FWidth, w->FHeight,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
        w->UpdateShowing();
      } else {
        w->CreateHandle();
      }
    } else if (w->FHandle) {
      w->DestroyHandle();
    }
  } else {
    AControl->Invalidate();
  }
  if (AControl->FParentColor) AControl->ParentColorChanged();
  if (AControl->FParentFont) AControl->ParentFontChanged();
  if (AControl->FParentShowHint) AControl->FShowHint = FShowHint;
  if (AControl->FWindowed) {
    auto* w = static_cast<TWinControl*>(AControl);
    if (w->FParentCtl3D) w->SetParentCtl3D(true);
  }
  Perform(CM_CONTROLLISTCHANGE, reinterpret_cast<WPARAM>(AControl), 1);
  Realign();
}

void TWinControl::RemoveControl(TControl* AControl) {
  if (AControl->FParent != this) return;
  Perform(CM_CONTROLLISTCHANGE, reinterpret_cast<WPARAM>(AControl), 0);
  if (!AControl->FWindowed) AControl->Invalidate();
  if (CaptureControl == AControl) AControl->SetMouseCapture(false);
  FControls.erase(std::remove(FControls.begin(), FControls.end(), AControl), FControls.end());
  if (AControl->FWindowed)
    FWinControls.erase(std::remove(FWinControls.begin(), FWinControls.end(), static_cast<TWinControl*>(AControl)),
                       FWinControls.end());
  AControl->FParent = nullptr;
  if (!(ComponentState() & csDestroying)) Realign();
}

void TWinControl::SetParent(TWinControl* AParent) {
  if (AParent == FParent) return;
  if (AParent == this) throw EInvalidOperation("A control cannot have itself as its parent");
  if (FParent) FParent->RemoveControl(this);
  if (AParent) AParent->InsertControl(this);
  else if (FHandle && !dynamic_cast<TCustomForm*>(this)) DestroyHandle();
}

TControl* TWinControl::ControlAtPos(const TPoint& Pos, bool AllowDisabled, bool AllowWinControls) {
  for (auto it = FControls.rbegin(); it != FControls.rend(); ++it) {
    TControl* c = *it;
    if (c->FWindowed) {
      if (!AllowWinControls) continue;
      auto* w = static_cast<TWinControl*>(c);
      if (w->FHandle && !(GetWindowStyle(w->FHandle) & WS_CHILD)) continue;
    }
    if (!c->FVisible && !(c->ComponentState() & csDesigning)) continue;
    if (!c->FEnabled && !AllowDisabled) continue;
    if (InRect(c->BoundsRect(), Pos)) return c;
  }
  return nullptr;
}

bool TWinControl::ContainsControl(TControl* Control) {
  for (TControl* c = Control; c; c = c->FParent)
    if (c == this) return true;
  return false;
}

void TWinControl::Realign() {
  if (ComponentState() & (csLoading | csDestroying)) {
    FControlState |= csAlignmentNeeded;
    return;
  }
  if (FAligning) return;
  FControlState &= ~csAlignmentNeeded;
  FAligning = true;
  try {
    TRect r = GetClientRect();
    AdjustClientRect(r);
    AlignControls(nullptr, r);
  } catch (...) {
    FAligning = false;
    throw;
  }
  FAligning = false;
}

void TWinControl::AlignControls(TControl*, TRect& Rect) {
  for (TAlign a : {alTop, alBottom, alLeft, alRight, alClient}) {
    std::vector<TControl*> list;
    for (TControl* c : FControls)
      if (c->FAlign == a && (c->FVisible || (c->ComponentState() & csDesigning))) list.push_back(c);
    std::stable_sort(list.begin(), list.end(), [a](TControl* x, TControl* y) {
      switch (a) {
        case alTop: return x->FTop < y->FTop;
        case alBottom: return x->FTop + x->FHeight > y->FTop + y->FHeight;
        case alLeft: return x->FLeft < y->FLeft;
        case alRight: return x->FLeft + x->FWidth > y->FLeft + y->FWidth;
        default: return false;
      }
    });
    for (TControl* c : list) {
      int32_t w = std::max(Rect.Width(), 0), h = std::max(Rect.Height(), 0);
      switch (a) {
        case alTop:
          c->SetBounds(Rect.Left, Rect.Top, w, c->FHeight);
          Rect.Top += c->FHeight;
          break;
        case alBottom:
          c->SetBounds(Rect.Left, Rect.Bottom - c->FHeight, w, c->FHeight);
          Rect.Bottom -= c->FHeight;
          break;
        case alLeft:
          c->SetBounds(Rect.Left, Rect.Top, c->FWidth, h);
          Rect.Left += c->FWidth;
          break;
        case alRight:
          c->SetBounds(Rect.Right - c->FWidth, Rect.Top, c->FWidth, h);
          Rect.Right -= c->FWidth;
          break;
        case alClient: c->SetBounds(Rect.Left, Rect.Top, w, h); break;
        default: break;
      }
    }
  }
}

void TWinControl::ScrollBy(int32_t DeltaX, int32_t DeltaY) {
  if (FHandle && IsWindowVisible(FHandle)) ScrollWindow(FHandle, DeltaX, DeltaY, nullptr, nullptr);
  for (TControl* c : FControls) {
    if (c->FWindowed && static_cast<TWinControl*>(c)->FHandle && FHandle) continue;  // moved with the window
    c->FLeft += DeltaX;
    c->FTop += DeltaY;
  }
  Realign();
}

bool TWinControl::CanFocus() {
  for (TControl* c = this; c; c = c->FParent)
    if (!c->FVisible || !c->FEnabled) return false;
  return true;
}

bool TWinControl::Focused() { return FHandle && GetFocus() == FHandle; }

void TWinControl::SetFocus() {
  TCustomForm* form = ParentForm();
  if (form && form != this && !form->Active() && form->HandleAllocated() && !IsWindowVisible(form->Handle())) {
    form->SetActiveControl(this);
    return;
  }
  ::SetFocus(Handle());
}

void TWinControl::SetCtl3D(bool Value) {
  FParentCtl3D = false;
  if (Value == FCtl3D) return;
  FCtl3D = Value;
  Perform(CM_CTL3DCHANGED, 0, 0);
  for (TWinControl* c : std::vector<TWinControl*>(FWinControls))
    if (c->FParentCtl3D) {
      c->SetCtl3D(Value);
      c->FParentCtl3D = true;
    }
}

void TWinControl::SetParentCtl3D(bool Value) {
  FParentCtl3D = Value;
  if (Value && FParent && FParent->FCtl3D != FCtl3D) {
    SetCtl3D(FParent->FCtl3D);
    FParentCtl3D = true;
  }
}

void TWinControl::DoEnter() {
  if (OnEnter) OnEnter(this);
}
void TWinControl::DoExit() {
  if (OnExit) OnExit(this);
}

void TWinControl::KeyDown(uint16_t& Key, TShiftState Shift) {
  if (OnKeyDown) OnKeyDown(this, Key, Shift);
}
void TWinControl::KeyUp(uint16_t& Key, TShiftState Shift) {
  if (OnKeyUp) OnKeyUp(this, Key, Shift);
}
void TWinControl::KeyPress(char& Key) {
  if (OnKeyPress) OnKeyPress(this, Key);
}

void TWinControl::PaintWindow(HDC) {}

void TWinControl::PaintHandler(TMessage& Message) {
  HDC dc = reinterpret_cast<HDC>(Message.WParam);
  TPaintStruct ps;
  bool own = dc == nullptr;
  if (own) dc = BeginPaint(FHandle, ps);
  if (!dc) return;
  int32_t saved = SaveDC(dc);
  try {
    PaintWindow(dc);
    RestoreDC(dc, saved);
    saved = SaveDC(dc);
    PaintControls(dc, nullptr);
  } catch (...) {
    RestoreDC(dc, saved);
    if (own) EndPaint(FHandle, ps);
    throw;
  }
  RestoreDC(dc, saved);
  if (own) EndPaint(FHandle, ps);
}

void TWinControl::PaintControls(HDC DC, TControl* First) {
  auto it = FControls.begin();
  if (First) it = std::find(FControls.begin(), FControls.end(), First);
  TRect clip;
  GetClipBox(DC, clip);
  for (; it != FControls.end(); ++it) {
    TControl* c = *it;
    if (c->FWindowed) continue;
    if (!c->FVisible && !(c->ComponentState() & csDesigning)) continue;
    if (!Overlap(c->BoundsRect(), clip)) continue;
    int32_t saved = SaveDC(DC);
    OffsetViewportOrgEx(DC, c->FLeft, c->FTop, nullptr);
    IntersectClipRect(DC, 0, 0, c->FWidth, c->FHeight);
    c->Perform(WM_PAINT, reinterpret_cast<WPARAM>(DC), 0);
    RestoreDC(DC, saved);
  }
}

bool TWinControl::IsControlMouseMsg(TMessage& Message) {
  TControl* c = nullptr;
  if (GetCapture() == FHandle) {
    if (CaptureControl && CaptureControl->FParent == this) c = CaptureControl;
  } else {
    c = ControlAtPos(PointFromLParam(Message.LParam), false);
  }
  if (!c) return false;
  TPoint p = PointFromLParam(Message.LParam);
  Message.Result = c->Perform(Message.Msg, Message.WParam, MakeLParam(p.X - c->FLeft, p.Y - c->FTop));
  return true;
}

void TWinControl::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_PAINT: PaintHandler(Message); return;
    case WM_ERASEBKGND: {
      HDC dc = reinterpret_cast<HDC>(Message.WParam);
      FBrush->SetColor(FColor);
      TRect r = GetClientRect();
      HBRUSH b = CreateSolidBrush(ColorToRGB(FColor));
      FillRect(dc, r, b);
      DeleteObject(b);
      Message.Result = 1;
      return;
    }
    case WM_SIZE:
      UpdateBounds();
      DefaultHandler(Message);
      Realign();
      if (!(ComponentState() & csLoading)) Resize();
      return;
    case WM_MOVE: UpdateBounds(); DefaultHandler(Message); return;
    case WM_WINDOWPOSCHANGED: UpdateBounds(); DefaultHandler(Message); return;
    case WM_NCDESTROY:
      DefaultHandler(Message);
      FHandle = nullptr;
      return;
    case WM_SETFOCUS:
      DefaultHandler(Message);
      if (TCustomForm* f = ParentForm()) f->SetFocusedControl(this);
      return;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
      uint16_t key = static_cast<uint16_t>(Message.WParam);
      TShiftState shift = KeyboardStateToShiftState();
      if (ShortCutHook && ShortCutHook(this, key, shift)) return;
      // A form with KeyPreview sees its controls' keys before they do.
      if (TCustomForm* f = ParentForm(); f && f != this && f->KeyPreview()) {
        static_cast<TWinControl*>(f)->KeyDown(key, shift);
        if (key == 0) return;
      }
      KeyDown(key, shift);
      if (key == 0) return;
      if (DialogKeyHook && DialogKeyHook(this, key, shift)) return;
      Message.WParam = key;
      break;
    }
    case WM_KEYUP:
    case WM_SYSKEYUP: {
      uint16_t key = static_cast<uint16_t>(Message.WParam);
      KeyUp(key, KeyboardStateToShiftState());
      if (key == 0) return;
      Message.WParam = key;
      break;
    }
    case WM_SYSCHAR:
      // Alt and a letter: the control whose caption has it as accelerator.
      if (TCustomForm* f = ParentForm(); f && f->DialogChar(static_cast<uint32_t>(Message.WParam))) return;
      break;
    case WM_CHAR: {
      char ch = static_cast<char>(Message.WParam);
      KeyPress(ch);
      if (ch == 0) return;
      Message.WParam = static_cast<unsigned char>(ch);
      break;
    }
    case WM_SETCURSOR:
      if (reinterpret_cast<HWND>(Message.WParam) == FHandle &&
          static_cast<int16_t>(LoWord(static_cast<uintptr_t>(Message.LParam))) == HTCLIENT) {
        TCursor cur = Screen ? Screen->Cursor() : crDefault;
        if (cur == crDefault) {
          TPoint p;
          GetCursorPos(p);
          TControl* c = ControlAtPos(ScreenToClient(p), false);
          if (c) cur = c->FCursor;
          if (cur == crDefault) cur = FCursor;
        }
        if (cur != crDefault && Screen) {
          ::SetCursor(Screen->Cursors(cur));
          Message.Result = 1;
          return;
        }
      }
      break;
    case WM_CAPTURECHANGED:
      if (CaptureControl && CaptureControl->FParent == this && reinterpret_cast<HWND>(Message.LParam) != FHandle) {
        TControl* c = CaptureControl;
        CaptureControl = nullptr;
        c->Perform(WM_CAPTURECHANGED, 0, Message.LParam);
      }
      break;
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC: {
      // Notifications go back to the child that sent them.
      HWND child = Message.Msg == WM_CTLCOLORSTATIC || Message.Msg == WM_COMMAND ? reinterpret_cast<HWND>(Message.LParam)
                                                                                 : nullptr;
      if (TWinControl* c = FindControl(child)) {
        Message.Result = c->Perform(CN_BASE + Message.Msg, Message.WParam, Message.LParam);
        return;
      }
      break;
    }
    case CM_VISIBLECHANGED:
      UpdateShowing();
      return;
    case CM_ENABLEDCHANGED:
      if (FHandle) EnableWindow(FHandle, FEnabled);
      Invalidate();
      return;
    case CM_COLORCHANGED:
      FBrush->SetColor(FColor);
      Invalidate();
      for (TControl* c : std::vector<TControl*>(FControls)) c->Perform(CM_PARENTCOLORCHANGED, 0, 0);
      return;
    case CM_FONTCHANGED:
      Invalidate();
      for (TControl* c : std::vector<TControl*>(FControls)) c->Perform(CM_PARENTFONTCHANGED, 0, 0);
      return;
    case CM_SHOWHINTCHANGED:
      for (TControl* c : std::vector<TControl*>(FControls)) c->Perform(CM_PARENTSHOWHINTCHANGED, 0, 0);
      return;
    case CM_ENTER: DoEnter(); return;
    case CM_EXIT: DoExit(); return;
    default: break;
  }
  if (Message.Msg >= WM_MOUSEFIRST && Message.Msg <= WM_MOUSELAST && Message.Msg != WM_MOUSEWHEEL) {
    if (IsControlMouseMsg(Message)) return;
  }
  TControl::WndProc(Message);
}

// ===========================================================================
// TControlCanvas, TGraphicControl, TCustomControl

TControlCanvas::~TControlCanvas() { FreeHandle(); }

void TControlCanvas::SetControl(TControl* Value) {
  if (FControl == Value) return;
  FreeHandle();
  FControl = Value;
}

void TControlCanvas::CreateHandle() {
  if (!FControl) return;
  HWND h = nullptr;
  if (FControl->IsWindowed()) {
    h = static_cast<TWinControl*>(FControl)->Handle();
  } else {
    TWinControl* p = FControl->Parent();
    if (!p) return;
    h = p->Handle();
  }
  HDC dc = GetDC(h);
  if (!dc) return;
  if (!FControl->IsWindowed()) {
    OffsetViewportOrgEx(dc, FControl->Left(), FControl->Top(), nullptr);
    IntersectClipRect(dc, 0, 0, FControl->Width(), FControl->Height());
  }
  FDeviceContext = dc;
  FWindowHandle = h;
  CanvasList.push_back(this);
  SetHandle(dc);
}

void TControlCanvas::FreeHandle() {
  if (!FDeviceContext) return;
  SetHandle(nullptr);
  ReleaseDC(FWindowHandle, FDeviceContext);
  FDeviceContext = nullptr;
  FWindowHandle = nullptr;
  CanvasList.erase(std::remove(CanvasList.begin(), CanvasList.end(), this), CanvasList.end());
}

void TControlCanvas::FreeDeviceContexts() {
  for (size_t i = CanvasList.size(); i > 0; --i) {
    TControlCanvas* c = CanvasList[i - 1];
    if (c->LockCount() == 0) c->FreeHandle();
  }
}

TGraphicControl::TGraphicControl(TComponent* AOwner) : TControl(AOwner) {
  FCanvas = std::make_unique<TControlCanvas>();
  FCanvas->SetControl(this);
}

void TControlCanvas::PaintOn(HDC DC, const std::function<void()>& Paint) {
  Lock();
  SetHandle(DC);
  try {
    Paint();
  } catch (...) {
    SetHandle(nullptr);
    Unlock();
    throw;
  }
  SetHandle(nullptr);
  Unlock();
}

TGraphicControl::~TGraphicControl() { FCanvas->SetControl(nullptr); }

void TGraphicControl::WndProc(TMessage& Message) {
  if (Message.Msg == WM_PAINT && Message.WParam) {
    HDC dc = reinterpret_cast<HDC>(Message.WParam);
    FCanvas->PaintOn(dc, [this] { Paint(); });
    return;
  }
  TControl::WndProc(Message);
}

TCustomControl::TCustomControl(TComponent* AOwner) : TWinControl(AOwner) {
  FCanvas = std::make_unique<TControlCanvas>();
  FCanvas->SetControl(this);
}

TCustomControl::~TCustomControl() { FCanvas->SetControl(nullptr); }

void TCustomControl::PaintWindow(HDC DC) {
  FCanvas->PaintOn(DC, [this] { Paint(); });
}

// ===========================================================================

TWinControl* FindVCLWindow(const TPoint& Pos) {
  HWND h = WindowFromPoint(Pos);
  while (h) {
    if (TWinControl* c = TWinControl::FindControl(h)) return c;
    h = (GetWindowStyle(h) & WS_CHILD) ? GetParent(h) : nullptr;
  }
  return nullptr;
}

TControl* FindDragTarget(const TPoint& Pos, bool AllowDisabled) {
  TWinControl* w = FindVCLWindow(Pos);
  if (!w) return nullptr;
  TControl* c = w->ControlAtPos(w->ScreenToClient(Pos), AllowDisabled);
  return c ? c : w;
}

HWND AllocateHWnd(std::function<void(TMessage&)> Method) {
  return CreateWindowEx(WS_EX_TOOLWINDOW, "", WS_POPUP, 0, 0, 0, 0, nullptr,
                        [Method = std::move(Method)](HWND, uint32_t M, WPARAM W, LPARAM L) -> LRESULT {
                          TMessage msg{M, W, L, 0};
                          try {
                            Method(msg);
                          } catch (...) {
                            HandleApplicationException(nullptr);
                          }
                          return msg.Result;
                        });
}

void DeallocateHWnd(HWND Wnd) {
  if (Wnd) DestroyWindow(Wnd);
}

void ScrollByWheel(HWND Wnd, WPARAM WParam, int32_t& WheelRest) {
  constexpr int32_t Line = 120 / 3;  // a notch of 120 scrolls three lines
  const uint32_t message = (LoWord(WParam) & MK_SHIFT) ? WM_HSCROLL : WM_VSCROLL;
  WheelRest += static_cast<int16_t>(HiWord(WParam));
  for (; WheelRest >= Line && IsWindow(Wnd); WheelRest -= Line)
    SendMessage(Wnd, message, MakeScrollWParam(SB_LINEUP, 0), 0);
  for (; WheelRest <= -Line && IsWindow(Wnd); WheelRest += Line)
    SendMessage(Wnd, message, MakeScrollWParam(SB_LINEDOWN, 0), 0);
}

void ScrollByKey(HWND Wnd, uint16_t& Key, TShiftState Shift) {
  if (Shift & (ssShift | ssAlt | ssCtrl)) return;
  uint32_t message = WM_VSCROLL;
  int32_t code;
  switch (Key) {
    case VK_UP: code = SB_LINEUP; break;
    case VK_DOWN: code = SB_LINEDOWN; break;
    case VK_LEFT: code = SB_LINEUP, message = WM_HSCROLL; break;
    case VK_RIGHT: code = SB_LINEDOWN, message = WM_HSCROLL; break;
    case VK_PRIOR: code = SB_PAGEUP; break;
    case VK_NEXT: code = SB_PAGEDOWN; break;
    case VK_HOME: code = SB_TOP; break;
    case VK_END: code = SB_BOTTOM; break;
    default: return;
  }
  SendMessage(Wnd, message, MakeScrollWParam(code, 0), 0);
  Key = 0;
}
