// TToolbar: a bar of controls, docked in a TDock or floating in a tool
// window of its own; its layout into lines, the floating frame, caption and
// close button, and how floating bars follow their form.
#include <algorithm>
#include <climits>

#include "controls/toolbars.h"
#include "controls/toolbars_internal.h"
#include "platform/gdi/dc.h"
#include "platform/gdi/edges.h"
#include "platform/gdi/objects.h"
#include "platform/gdi/text.h"
#include "platform/ui/message_queue.h"

namespace {

// Layout margins by bar type (floating, type 1, type 2).
constexpr int32_t AlongStartGrip[3] = {4, 11, 11};
constexpr int32_t AlongStartNoGrip[3] = {4, 2, 2};
constexpr int32_t AlongEnd[3] = {4, 2, 2};
constexpr int32_t AcrossStart[3] = {2, 2, 2};
constexpr int32_t AcrossEnd[3] = {1, 2, 2};

bool IsSeparator(TControl* C) { return dynamic_cast<TToolbarSep*>(C) != nullptr; }

}  // namespace

static bool FloatingBarsHidden(TCustomForm* Form, bool AppActive);

// ---- TFloatParent ----

TFloatParent::TFloatParent(TComponent* AOwner) : TWinControl(AOwner) {}

void TFloatParent::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  Params.Style = WS_CHILD;
  Params.ExStyle = 0;
}

// ---- TToolbar ----

TToolbar::TToolbar(TComponent* AOwner) : TCustomControl(AOwner) {
  auto* form = dynamic_cast<TCustomForm*>(AOwner);
  if (!form) throw EInvalidOperation("TToolbar must be owned by a form");
  EnsureToolbarsInitialized();
  FTopForm = form;
  if (form->FormStyle() == fsMDIChild && Application && Application->MainForm()) FTopForm = Application->MainForm();
  ++FLayoutLock;
  FControlStyle = (FControlStyle | csAcceptsControls | csClickEvents | csSetCaption | csDoubleClicks) &
                  ~(csOpaque | csCaptureMouse);
  if (!(ComponentState() & csDesigning)) {
    FFloatParent = new TFloatParent(form);
    FFloatParent->SetBounds(0, 0, 0, 0);
    FFloatParent->SetParent(FTopForm);
    RegisterToolbarSubclass(this, FTopForm, skTopForm);
    if (FTopForm != form) RegisterToolbarSubclass(this, form, skMDIChild);
    FSubclassed = true;
    FFloatHidden = true;
  }
  FCanDockLeftRight = true;
  FCloseButton = true;
  FDockPos = -1;
  FBarSize.HorzThickness = FBarSize.VertThickness = 8;
  SetColor(clBtnFace);
  SetDockedTo(nullptr);
  --FLayoutLock;
  UpdateToolbarLayout();
}

TToolbar::~TToolbar() { ReleaseSubclassing(); }

void TToolbar::ReleaseSubclassing() {
  if (FSubclassed) {
    FSubclassed = false;
    ReleaseToolbarSubclass(FTopForm, skTopForm);
    if (Owner() && FTopForm != Owner()) ReleaseToolbarSubclass(static_cast<TWinControl*>(Owner()), skMDIChild);
  }
}

void TToolbar::BeforeDestruction() {
  TCustomControl::BeforeDestruction();
  ReleaseSubclassing();
}

void TToolbar::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  if (FFloatParent && FParent == FFloatParent) {
    if (!(ComponentState() & csDesigning)) Params.Style = WS_POPUP;
    else Params.Style &= ~(WS_BORDER | WS_THICKFRAME);
    Params.ExStyle = WS_EX_TOOLWINDOW;
  }
}

void TToolbar::UpdateShowing() {
  // A floating bar waits hidden, in its place, while its form cannot be seen
  // or the application is inactive.
  if (FFloatHidden && Floating() && HandleAllocated()) {
    ShowWindow(FHandle, SW_HIDE);
    return;
  }
  TCustomControl::UpdateShowing();
}

bool TToolbar::Floating() const { return FParent && FParent == FFloatParent; }

TDock* TToolbar::DockedTo() const { return dynamic_cast<TDock*>(FParent); }

TSize TToolbar::NonClientSize() const {
  if (!Floating()) return TSize{0, 0};
  int32_t f = FrameWidth();
  return TSize{2 * f, 2 * f + CaptionHeight()};
}

int32_t TToolbar::CaptionHeight() {
  return NewStyleControls ? GetSystemMetrics(SM_CYSMCAPTION) : GetSystemMetrics(SM_CYCAPTION) - 1;
}

int32_t TToolbar::FrameWidth() { return GetSystemMetrics(SM_CXFRAME); }

TRect TToolbar::WorkArea() {
  TRect r;
  if (!SystemParametersInfo(SPI_GETWORKAREA, 0, &r, 0))
    r = TRect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  return r;
}

TRect TToolbar::CaptionRect(bool WithoutCloseButton) {
  int32_t f = FrameWidth(), c = CaptionHeight();
  TRect r{f, f, Width() - f, f + c - 1};
  if (WithoutCloseButton) r.Right -= c - 1;
  return r;
}

TRect TToolbar::CloseButtonRect() {
  TRect r = CaptionRect(false);
  r.Left = r.Right - (CaptionHeight() - 1);
  return r;
}

void TToolbar::SetParent(TWinControl* AParent) {
  if (AParent && AParent == Owner() && FFloatParent && !(ComponentState() & csDesigning)) AParent = FFloatParent;
  if (AParent && !dynamic_cast<TDock*>(AParent) && AParent != Owner() && !dynamic_cast<TFloatParent*>(AParent))
    throw EInvalidOperation("TToolbar can only be placed on a TDock or directly on the form");
  if (AParent == FParent) return;
  bool destroying = (ComponentState() & csDestroying) != 0;
  if (!destroying && OnRecreating) OnRecreating(this);
  bool visible = Visible() || FRedockCount > 0;
  if (auto* old = dynamic_cast<TDock*>(FParent)) old->InsertRemoveBar(false, this, visible);
  TCustomControl::SetParent(AParent);
  if (auto* dock = dynamic_cast<TDock*>(AParent)) dock->InsertRemoveBar(true, this, visible);
  if (!destroying && OnRecreated) OnRecreated(this);
}

void TToolbar::SetDockPos(int32_t Value) {
  FDockPos = Value;
  if (TDock* d = DockedTo()) d->ArrangeToolbars();
}

void TToolbar::SetDockRow(int32_t Value) {
  FDockRow = Value;
  if (TDock* d = DockedTo()) d->ArrangeToolbars();
}

void TToolbar::SetDefaultDock(TDock* Value) {
  FDefaultDock = Value;
  if (Value) Value->FreeNotification(this);
}

void TToolbar::SetCloseButton(bool Value) {
  FCloseButton = Value;
  if (Floating() && HandleAllocated()) PaintNonClient(nullptr, false, true, true);
}

void TToolbar::Notification(TComponent* AComponent, TOperation Operation) {
  TCustomControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FDefaultDock) FDefaultDock = nullptr;
}

void TToolbar::SetDockedTo(TDock* NewDock) {
  TDock* old = DockedTo();
  if (OnDockChanging && NewDock != old) OnDockChanging(this);
  if (NewDock) NewDock->LockArrangement();
  bool reshow = false;
  if (!(ComponentState() & csDesigning) && NewDock != old && Visible()) {
    ++FRedockCount;
    if (old) old->LockArrangement();
    Hide();
    if (old) old->UnlockArrangement();
    reshow = true;
  }
  if (NewDock) {
    if (FParent) ArrangeControls(true, false, nullptr, FFloatingWrapWidth, NewDock, DockTypeOf(old));
    if (FParent != NewDock) {
      ++FLayoutLock;
      SetParent(NewDock);
      --FLayoutLock;
    }
  } else {
    if (IsRectEmpty(FFloatingRect)) {
      int32_t f = FrameWidth();
      FFloatingRect = TRect{0, 0, Width() + 2 * f, Height() + 2 * f + CaptionHeight()};
    }
    if (FParent) ArrangeControls(true, false, nullptr, FFloatingWrapWidth, nullptr, DockTypeOf(old));
    // Floating from now on: shown exactly when the form's floating bars are.
    if (FTopForm && !(ComponentState() & csDesigning))
      FFloatHidden = FloatingBarsHidden(FTopForm, Application && Application->Active());
    ++FLayoutLock;
    if (FFloatParent && FParent != FFloatParent) SetParent(FFloatParent);
    SetBounds(FFloatingRect.Left, FFloatingRect.Top, FFloatingRect.Width(), FFloatingRect.Height());
    --FLayoutLock;
  }
  UpdateToolbarLayout();
  if (reshow) {
    --FRedockCount;
    Show();
  }
  if (NewDock) {
    NewDock->UnlockArrangement();
    NewDock->ArrangeToolbars();
  }
  if (OnDockChanged && NewDock != old) OnDockChanged(this);
}

void TToolbar::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
  TCustomControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  if ((ComponentState() & csDesigning) && !(ComponentState() & csLoading) && FDockPlacementLock == 0) {
    if (TDock* d = DockedTo()) {
      if (DockTypeOf(d) == 2) {
        FDockRow = d->GetDesignModeRowOf(Left() + Width() / 2);
        FDockPos = Top();
      } else {
        FDockRow = d->GetDesignModeRowOf(Top() + Height() / 2);
        FDockPos = Left();
      }
      d->ArrangeToolbars();
    }
  }
}

void TToolbar::SetFloatHidden(bool Value) {
  if (Value == FFloatHidden) return;
  FFloatHidden = Value;
  if (!DockedTo()) UpdateShowing();
}

void TToolbar::UpdateToolbarLayout() {
  TDock* d = DockedTo();
  ArrangeControls(true, true, nullptr, FFloatingWrapWidth, d, DockTypeOf(d));
}

void TToolbar::AlignControls(TControl* AControl, TRect& Rect) {
  TCustomControl::AlignControls(AControl, Rect);
  // A dock placing the bar has the last word on its size.
  if (FDockPlacementLock == 0) UpdateToolbarLayout();
}

void TToolbar::Loaded() {
  TCustomControl::Loaded();
  bool designing = (ComponentState() & csDesigning) != 0;
  if (!designing && Floating()) {
    // Bounds given for a floating bar are relative to its form's client area.
    auto* form = static_cast<TControl*>(Owner());
    TPoint p = form->ClientToScreen(TPoint{Left(), Top()});
    SetBounds(p.X, p.Y, Width(), Height());
    FFloatingRect = TRect{p.X, p.Y, p.X + Width(), p.Y + Height()};
    MoveOnScreen(false);
  }
  if (!designing) {
    bool vertical = DockTypeOf(DockedTo()) == 2;
    std::stable_sort(FOrderList.begin(), FOrderList.end(), [vertical](TControl* a, TControl* b) {
      return vertical ? a->Top() < b->Top() : a->Left() < b->Left();
    });
  }
  UpdateToolbarLayout();
  if (!designing) UpdateFloatingVisibility(FTopForm, Application && Application->Active());
}

void TToolbar::MoveOnScreen(bool OnlyIfOffScreen) {
  if (DockedTo()) return;
  TRect r = BoundsRect();
  TRect work = WorkArea();
  TRect tmp;
  if (OnlyIfOffScreen && IntersectRect(tmp, r, work)) return;
  if (r.Right > work.Right) OffsetRect(r, work.Right - r.Right, 0);
  if (r.Bottom > work.Bottom) OffsetRect(r, 0, work.Bottom - r.Bottom);
  if (r.Left < work.Left) OffsetRect(r, work.Left - r.Left, 0);
  if (r.Top < work.Top) OffsetRect(r, 0, work.Top - r.Top);
  SetBounds(r.Left, r.Top, r.Width(), r.Height());
}

void TToolbar::CalcBarSize(TToolbarRowSize& Size) const {
  Size.HorzThickness = Size.VertThickness = 8;
  for (TControl* c : FControls) {
    if (!c->Visible() || IsSeparator(c)) continue;
    Size.HorzThickness = std::max(Size.HorzThickness, c->Height());
    Size.VertThickness = std::max(Size.VertThickness, c->Width());
  }
  Size.HorzExtent = Size.HorzThickness + 4;
  Size.VertExtent = Size.VertThickness + 4;
}

std::vector<TToolbar::TGroup> TToolbar::MakeGroups(int32_t OldType, bool Sort) {
  std::vector<TControl*> list;
  bool designing = (ComponentState() & csDesigning) != 0;
  if (designing) {
    auto byPos = [OldType](TControl* a, TControl* b) {
      return OldType == 2 ? a->Top() < b->Top() : a->Left() < b->Left();
    };
    if (Sort) std::stable_sort(FOrderList.begin(), FOrderList.end(), byPos);
    for (TControl* c : FControls) list.push_back(c);
    std::stable_sort(list.begin(), list.end(), byPos);
  } else {
    for (TControl* c : FOrderList) list.push_back(c);
  }
  std::vector<TGroup> groups;
  TGroup g;
  for (TControl* c : list) {
    if (!c->Visible() && !designing) continue;
    g.Controls.push_back(c);
    if (IsSeparator(c)) {
      groups.push_back(std::move(g));
      g = TGroup{};
    } else {
      g.Width += c->Width();
      g.Height += c->Height();
    }
  }
  if (!g.Controls.empty()) groups.push_back(std::move(g));
  return groups;
}

void TToolbar::ArrangeControls(bool CanMove, bool CanResize, TSize* NewClientSize, int32_t WrapWidth, TDock* Dock,
                               int32_t OldType) {
  if (FLayoutLock > 0 || (ComponentState() & (csLoading | csDestroying)) ||
      (FParent && (FParent->ComponentState() & csDestroying)))
    return;
  int32_t type = DockTypeOf(Dock);
  if (!(type == 0 && WrapWidth != 0)) WrapWidth = INT32_MAX;
  TDock* current = DockedTo();
  bool grip = !current || current->AllowDrag();
  ++FLayoutLock;
  TToolbarRowSize saved = FBarSize;
  CalcBarSize(FBarSize);
  int32_t HT = FBarSize.HorzThickness, VT = FBarSize.VertThickness;
  int32_t hExtent = FBarSize.HorzExtent, vExtent = FBarSize.VertExtent;
  if (CanMove && Dock && FParent == Dock) {
    Dock->BuildRowSizes();
    TToolbarRowSize rs;
    Dock->GetRowSize(FDockRow, this, rs);
    HT = rs.HorzThickness;
    VT = rs.VertThickness;
    hExtent = rs.HorzExtent;
    vExtent = rs.VertExtent;
  }
  std::vector<TGroup> groups = MakeGroups(OldType, CanMove);
  if (CanMove) FWrapLines.clear();

  const int32_t alongStart = grip ? AlongStartGrip[type] : AlongStartNoGrip[type];
  const int32_t alongEnd = AlongEnd[type];
  int32_t T = type == 2 ? VT : HT;
  int32_t a = 0, y = AcrossStart[type], E = 0;
  bool first = true, lineStarted = true;
  TToolbarSep* S = nullptr;
  int32_t eBeforeS = 0;
  for (size_t gi = 0; gi < groups.size(); ++gi) {
    TGroup& G = groups[gi];
    int32_t L = type == 2 ? G.Height : G.Width;
    bool stays = false;
    if (type != 0 || lineStarted) {
      if (first) {
        first = false;
        a += alongStart;
      }
      if (static_cast<int64_t>(L) + a + alongEnd <= WrapWidth) {
        E = std::max(E, a);
        stays = true;
      }
    }
    if (!stays) {
      a = alongStart;
      E = std::max(E, a);
      if (gi > 0) {
        y += T + 6;
        if (S) {
          E = eBeforeS;
          if (CanMove) {
            S->SetBounds(S->Left(), S->Top(), 0, S->Height());
            FWrapLines.push_back((static_cast<uint32_t>(y) & 0xFFFF) | (S->Blank() ? 0x10000u : 0u));
          }
        }
      }
    }
    lineStarted = true;
    for (TControl* C : G.Controls) {
      auto* sep = dynamic_cast<TToolbarSep*>(C);
      int32_t len = sep ? (type == 2 ? sep->SizeVert() : sep->SizeHorz()) : (type == 2 ? C->Height() : C->Width());
      if (!sep && static_cast<int64_t>(len) + a + alongEnd > WrapWidth) {
        a = alongStart;
        E = std::max(E, a);
        y += HT;
        lineStarted = false;
      }
      if (CanMove) {
        if (type != 2) {
          if (sep) sep->SetBounds(a, y, sep->SizeHorz(), HT);
          else C->SetBounds(a, y + (HT - C->Height()) / 2, C->Width(), C->Height());
        } else {
          if (sep) sep->SetBounds(y, a, VT, sep->SizeVert());
          else C->SetBounds(y + (VT - C->Width()) / 2, a, C->Width(), C->Height());
        }
      }
      if (sep) eBeforeS = E;
      a += len;
      S = sep;
      E = std::max(E, a);
    }
  }
  if (groups.empty()) {
    E = alongStart + 8;
    y = AcrossStart[type];
    if (type == 0) {
      T = 8;
    } else {
      TToolbarRowSize rs;
      Dock->GetRowSize(FDockRow, this, rs);
      T = type == 2 ? rs.VertExtent : rs.HorzExtent;
    }
  }
  if (ComponentState() & csDesigning) Invalidate();

  TSize client{0, 0};
  if (CanMove) client = TSize{ClientWidth(), ClientHeight()};
  int32_t along = E + alongEnd;
  int32_t across = y + T + AcrossEnd[type];
  if (type != 0) across = std::max(across, type == 2 ? vExtent : hExtent);
  if (type == 2) client = TSize{across, along};
  else client = TSize{along, across};
  if (CanResize && (client.cx != ClientWidth() || client.cy != ClientHeight())) {
    TSize nc = NonClientSize();
    ++FDockPlacementLock;
    SetBounds(Left(), Top(), client.cx + nc.cx, client.cy + nc.cy);
    --FDockPlacementLock;
  }
  if (NewClientSize) *NewClientSize = client;
  if (!CanMove) FBarSize = saved;
  --FLayoutLock;
}

// ---- painting ----

void TToolbar::Paint() {
  TRect r = ClientRect();
  HDC dc = Canvas()->Handle();
  if (TDock* dock = DockedTo()) {
    TRect edge = r;
    DrawEdge(dc, &edge, BDR_RAISEDINNER, BF_RECT);
    if (!dock->Background()->Empty()) {
      TRect inside = r;
      InflateRect(inside, -1, -1);
      TPoint off = dock->HandleAllocated() ? GetClientOffset(dock->Handle()) : TPoint{0, 0};
      TRect tile = r;
      OffsetRect(tile, -(dock->Left() + off.X + Left()), -(dock->Top() + off.Y + Top()));
      tile.Right = r.Right;
      tile.Bottom = r.Bottom;
      dock->DrawBackground(Canvas(), inside, tile);
    }
    if (dock->AllowDrag()) {
      int32_t w = r.Width(), h = r.Height();
      TColor hl = GetSysColor(COLOR_BTNHIGHLIGHT);
      if (DockTypeOf(dock) == 1) {
        TRect g1{4, 2, 7, h - 2}, g2{7, 2, 10, h - 2};
        DrawEdge(dc, &g1, BDR_RAISEDINNER, BF_RECT | BF_MIDDLE);
        DrawEdge(dc, &g2, BDR_RAISEDINNER, BF_RECT | BF_MIDDLE);
        SetPixel(dc, 4, h - 3, hl);
        SetPixel(dc, 7, h - 3, hl);
      } else {
        TRect g1{2, 4, w - 2, 7}, g2{2, 7, w - 2, 10};
        DrawEdge(dc, &g1, BDR_RAISEDINNER, BF_RECT | BF_MIDDLE);
        DrawEdge(dc, &g2, BDR_RAISEDINNER, BF_RECT | BF_MIDDLE);
        SetPixel(dc, w - 3, 4, hl);
        SetPixel(dc, w - 3, 7, hl);
      }
    }
  } else {
    for (uint32_t entry : FWrapLines) {
      if ((entry >> 16) & 0xFF) continue;
      int32_t y = static_cast<int32_t>(entry & 0xFFFF);
      Canvas()->Pen()->SetColor(clBtnShadow);
      Canvas()->MoveTo(1, y - 4);
      Canvas()->LineTo(r.Width() - 1, y - 4);
      Canvas()->Pen()->SetColor(clBtnHighlight);
      Canvas()->MoveTo(1, y - 3);
      Canvas()->LineTo(r.Width() - 1, y - 3);
    }
  }
}

namespace {

// The caption shortened with "..." to fit Width, never below five characters.
std::string FitCaption(HDC DC, const std::string& Text, int32_t Width) {
  if (TextExtent(DC, Text).cx <= Width) return Text;
  std::string s = Text + "...";
  while (TextExtent(DC, s).cx > Width && s.size() > 5) s.erase(s.size() - 4, 1);
  return s;
}

}  // namespace

std::string ToolbarCaptionText(HDC DC, const std::string& Text, int32_t Width) { return FitCaption(DC, Text, Width); }

void TToolbar::PaintNonClient(HRGN Clip, bool Frame, bool Caption, bool Close) {
  if (!HandleAllocated() || !Floating()) return;
  HDC dc = GetWindowDC(FHandle);
  if (Clip) SelectClipRgn(dc, Clip);
  int32_t f = FrameWidth();
  if (Frame) {
    TRect r{0, 0, Width(), Height()};
    DrawEdge(dc, &r, EDGE_RAISED, BF_RECT | BF_ADJUST);
    HBRUSH face = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    for (int32_t i = 2; i < f; ++i) {
      FrameRect(dc, r, face);
      InflateRect(r, -1, -1);
    }
    DeleteObject(face);
  }
  if (Caption) {
    TRect full = CaptionRect(false);
    TRect r = CaptionRect(FCloseButton);
    HBRUSH caption = CreateSolidBrush(GetSysColor(COLOR_ACTIVECAPTION));
    FillRect(dc, r, caption);
    DeleteObject(caption);
    r.Left += 1;
    r.Right -= 1;
    LOGFONT lf;
    lf.lfHeight = -11;
    lf.lfWeight = FW_NORMAL;
    lf.lfFaceName = "MS Sans Serif";
    HFONT font = CreateFontIndirect(lf);
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetTextColor(dc, GetSysColor(COLOR_CAPTIONTEXT));
    SetBkColor(dc, GetSysColor(COLOR_ACTIVECAPTION));
    SetBkMode(dc, OPAQUE);
    std::string text = FitCaption(dc, FText, r.Width());
    DrawText(dc, text, &r, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    SelectObject(dc, oldFont);
    DeleteObject(font);
    HPEN pen = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNFACE));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    MoveToEx(dc, full.Left, full.Bottom, nullptr);
    LineTo(dc, full.Right, full.Bottom);
    SelectObject(dc, oldPen);
    DeleteObject(pen);
  }
  if (Close && FCloseButton) {
    TRect cr = CloseButtonRect();
    TRect inner = cr;
    InflateRect(inner, -1, -1);
    DrawFrameControl(dc, &inner, DFC_CAPTION, static_cast<uint32_t>(DFCS_CAPTIONCLOSE) | (FCloseButtonDown ? static_cast<uint32_t>(DFCS_PUSHED) : 0u));
    if (Caption) {
      HBRUSH caption = CreateSolidBrush(GetSysColor(COLOR_ACTIVECAPTION));
      FrameRect(dc, cr, caption);
      DeleteObject(caption);
    }
  }
  (void)f;
  SelectClipRgn(dc, nullptr);
  ReleaseDC(FHandle, dc);
}

void TToolbar::CloseButtonLoop() {
  // Hints stay off while the button is held.
  bool showHint = Application && Application->ShowHint();
  if (Application) Application->SetShowHint(false);
  FCloseButtonDown = true;
  PaintNonClient(nullptr, false, false, true);
  SetCapture(FHandle);
  bool accept = false;
  TMsg msg;
  while (GetCapture() == FHandle) {
    int32_t got = GetMessage(msg, nullptr, 0, 0);
    if (got < 0) break;
    if (got == 0 || msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int32_t>(msg.wParam));
      break;
    }
    if (msg.message == WM_LBUTTONUP) {
      accept = FCloseButtonDown;
      break;
    }
    if (msg.message == WM_KEYDOWN || msg.message == WM_KEYUP) continue;
    if (msg.message == WM_MOUSEMOVE) {
      TPoint p;
      GetCursorPos(p);
      TRect wr;
      GetWindowRect(FHandle, wr);
      p.X -= wr.Left;
      p.Y -= wr.Top;
      bool inside = PtInRect(CloseButtonRect(), p);
      if (inside != FCloseButtonDown) {
        FCloseButtonDown = inside;
        PaintNonClient(nullptr, false, false, true);
      }
      continue;
    }
    if (msg.message == WM_LBUTTONDOWN || msg.message == WM_LBUTTONDBLCLK) break;
    if (msg.message >= WM_RBUTTONDOWN && msg.message <= WM_MBUTTONDBLCLK) continue;
    TranslateMessage(msg);
    DispatchMessage(msg);
  }
  if (GetCapture() == FHandle) ReleaseCapture();
  if (Application) Application->SetShowHint(showHint);
  if (FCloseButtonDown) {
    FCloseButtonDown = false;
    PaintNonClient(nullptr, false, false, true);
  }
  if (accept) {
    Hide();
    if (OnClose) OnClose(this);
  }
}

void TToolbar::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case CM_CONTROLLISTCHANGE: {
      TCustomControl::WndProc(Message);
      auto* c = reinterpret_cast<TControl*>(Message.WParam);
      FOrderList.erase(std::remove(FOrderList.begin(), FOrderList.end(), c), FOrderList.end());
      if (Message.LParam) FOrderList.push_back(c);
      return;
    }
    case CM_VISIBLECHANGED:
      if (!(ComponentState() & csDesigning) && FRedockCount == 0)
        if (TDock* d = DockedTo()) d->InsertRemoveBar(Visible(), this, Visible());
      TCustomControl::WndProc(Message);
      return;
    case CM_TEXTCHANGED:
      TCustomControl::WndProc(Message);
      PaintNonClient(nullptr, false, true, true);
      return;
    case WM_MOVE:
      TCustomControl::WndProc(Message);
      if (TDock* d = DockedTo(); d && !d->Background()->Empty()) Invalidate();
      return;
    case WM_GETMINMAXINFO: {
      TCustomControl::WndProc(Message);
      auto* mm = reinterpret_cast<TMinMaxInfo*>(Message.LParam);
      if (mm) mm->ptMinTrackSize = TPoint{1, 1};
      return;
    }
    case WM_ACTIVATE:
      if (FTopForm && FTopForm->HandleAllocated())
        SendMessage(FTopForm->Handle(), WM_NCACTIVATE, (Message.WParam & 0xFFFF) != 0 ? 1 : 0, 0);
      TCustomControl::WndProc(Message);
      return;
    case WM_MOUSEACTIVATE:
      if (Floating() && !(ComponentState() & csDesigning)) {
        Message.Result = MA_NOACTIVATE;
        SetWindowPos(FHandle, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
        if (Screen && Screen->ActiveForm() != FTopForm && FTopForm->HandleAllocated())
          SetActiveWindow(FTopForm->Handle());
        return;
      }
      break;
    case WM_NCCALCSIZE:
      TCustomControl::WndProc(Message);
      if (Floating()) {
        auto* p = reinterpret_cast<TNCCalcSizeParams*>(Message.LParam);
        int32_t f = FrameWidth();
        InflateRect(p->rgrc[0], -f, -f);
        p->rgrc[0].Top += CaptionHeight();
      }
      return;
    case WM_NCPAINT:
      TCustomControl::WndProc(Message);
      PaintNonClient(nullptr, true, true, true);
      return;
    case WM_NCHITTEST:
      TCustomControl::WndProc(Message);
      // The frame and caption are ours: only a point the default leaves
      // unclaimed (nowhere, or the bare border) is sorted out here.
      if (Floating() && (Message.Result == HTNOWHERE || Message.Result == HTBORDER)) {
        TPoint p = PointFromLParam(Message.LParam);
        TRect wr;
        GetWindowRect(FHandle, wr);
        Message.Result = NCHitTest(TPoint{p.X - wr.Left, p.Y - wr.Top});
      }
      return;
    case WM_NCLBUTTONDOWN:
      if (Floating()) {
        switch (Message.WParam) {
          case HTLEFT:
          case HTRIGHT:
          case HTTOP:
          case HTBOTTOM: BeginSizing(static_cast<int32_t>(Message.WParam)); return;
          case HTCLOSE: CloseButtonLoop(); return;
        }
      }
      break;
  }
  TCustomControl::WndProc(Message);
}

// ---- floating visibility ----

// Whether the floating bars of Form wait hidden.
static bool FloatingBarsHidden(TCustomForm* Form, bool AppActive) {
  bool hide = !AppActive;
  if (Application && Application->Handle() && IsIconic(Application->Handle())) hide = true;
  if (!Form->HandleAllocated() || !IsWindowVisible(Form->Handle()) || IsIconic(Form->Handle())) hide = true;
  return hide;
}

void UpdateFloatingVisibility(TCustomForm* Form, bool AppActive) {
  if (!Form) return;
  bool hide = FloatingBarsHidden(Form, AppActive);
  for (int32_t i = 0; i < Form->ComponentCount(); ++i)
    if (auto* bar = dynamic_cast<TToolbar*>(Form->Components(i))) bar->SetFloatHidden(!bar->DockedTo() && hide);
}
