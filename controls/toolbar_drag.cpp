// Moving a toolbar between docks and floating, and resizing a floating bar
// into its distinct wrapped shapes: modal loops that read the queue
// themselves and draw an inverted outline on the desktop.
#include <algorithm>
#include <climits>

#include "controls/toolbars_internal.h"
#include "platform/base/numeric.h"
#include "platform/gdi/dc.h"
#include "platform/gdi/objects.h"
#include "platform/gdi/surface.h"
#include "platform/ui/message_queue.h"

void DrawDragOutline(HDC DC, const TRect* NewRect, bool NewThin, const TRect* OldRect, bool OldThin) {
  int32_t f = TToolbar::FrameWidth();
  auto band = [f](const TRect* R, bool Thin) {
    if (!R) return CreateRectRgn(0, 0, 0, 0);
    HRGN outer = CreateRectRgnIndirect(*R);
    TRect in = *R;
    int32_t t = Thin ? 1 : f;
    InflateRect(in, -t, -t);
    if (!IsRectEmpty(in)) {
      HRGN inner = CreateRectRgnIndirect(in);
      CombineRgn(outer, outer, inner, RGN_XOR);
      DeleteObject(inner);
    }
    return outer;
  };
  HRGN newBand = band(NewRect, NewThin);
  HRGN oldBand = band(OldRect, OldThin);
  HRGN change = CreateRectRgn(0, 0, 0, 0);
  CombineRgn(change, newBand, oldBand, RGN_XOR);
  SelectClipRgn(DC, change);
  TRect box;
  GetClipBox(DC, box);
  static const uint16_t pattern[8] = {0x5555, 0xAAAA, 0x5555, 0xAAAA, 0x5555, 0xAAAA, 0x5555, 0xAAAA};
  HBITMAP bits = CreateBitmap(8, 8, 1, 1, pattern);
  HBRUSH brush = CreatePatternBrush(bits);
  HGDIOBJ old = SelectObject(DC, brush);
  // The set cells of the checkerboard flip the top bit of every channel
  // (the pattern's set bits take the background colour, its clear ones the
  // text colour): each such pixel moves by half the scale, so the outline
  // shows on any background, the work area's middle grey too, where a full
  // inversion (128 -> 127) would not; flipping again restores it.
  const TColor oldBk = SetBkColor(DC, 0x808080), oldText = SetTextColor(DC, 0x000000);
  if (!IsRectEmpty(box)) PatBlt(DC, box.Left, box.Top, box.Width(), box.Height(), PATINVERT);
  SetBkColor(DC, oldBk);
  SetTextColor(DC, oldText);
  SelectObject(DC, old);
  DeleteObject(brush);
  DeleteObject(bits);
  SelectClipRgn(DC, nullptr);
  DeleteObject(change);
  DeleteObject(newBand);
  DeleteObject(oldBand);
}

namespace {

// Everything a loop changes on the desktop and the application, given back
// on every way out.
class TDesktopSession {
public:
  TDesktopSession() {
    // Windows waiting to paint do so before the desktop is locked.
    TMsg msg;
    while (PeekMessage(msg, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE)) {
      if (GetMessage(msg, nullptr, WM_PAINT, WM_PAINT) <= 0) {
        PostQuitMessage(static_cast<int32_t>(msg.wParam));
        break;
      }
      DispatchMessage(msg);
    }
    LockWindowUpdate(GetDesktopWindow());
    DC = GetDCEx(GetDesktopWindow(), nullptr, DCX_WINDOW | DCX_CACHE | DCX_LOCKWINDOWUPDATE);
    if (Application) {
      FShowHint = Application->ShowHint();
      Application->SetShowHint(false);
    }
  }
  ~TDesktopSession() {
    if (Application) Application->SetShowHint(FShowHint);
  }
  void Release() {
    if (!DC) return;
    ReleaseDC(GetDesktopWindow(), DC);
    DC = nullptr;
    LockWindowUpdate(nullptr);
  }
  HDC DC = nullptr;

private:
  bool FShowHint = true;
};

// What a loop does with one message: go on, end accepting, end cancelling.
enum class TLoopStep { Continue, Accept, Cancel };

// Reads the queue while Wnd holds the capture; Handle decides on the
// messages the loops treat specially.
bool RunCaptureLoop(HWND Wnd, const std::function<bool(const TMsg&)>& OnKey,
                    const std::function<void()>& OnMouseMove) {
  TMsg msg;
  while (GetCapture() == Wnd) {
    int32_t got = GetMessage(msg, nullptr, 0, 0);
    if (got < 0) return false;
    if (got == 0 || msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int32_t>(msg.wParam));
      return false;
    }
    switch (msg.message) {
      case WM_KEYDOWN:
      case WM_KEYUP:
      case WM_SYSKEYDOWN:
      case WM_SYSKEYUP:
        OnKey(msg);
        continue;
      case WM_MOUSEMOVE: OnMouseMove(); continue;
      case WM_LBUTTONUP: return true;
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK: return false;
    }
    if (msg.message >= WM_RBUTTONDOWN && msg.message <= WM_MBUTTONDBLCLK) continue;
    TranslateMessage(msg);
    DispatchMessage(msg);
  }
  return false;
}

struct TCandidate {
  TDock* Dock;
  int32_t Width;
  int32_t Height;
};

}  // namespace

// The state of one drag of a bar.
class TToolbarDragger {
public:
  explicit TToolbarDragger(TToolbar* Bar) : FBar(Bar) {}

  void Move(int32_t X, int32_t Y);
  void Size(int32_t HitCode);

private:
  // Runs a loop with the desktop locked and the mouse captured; Erase
  // takes the outline away on every way out. True when accepted.
  bool RunLoop(const std::function<void()>& Start, const std::function<bool(const TMsg&)>& OnKey,
               const std::function<void()>& OnMouseMove, const std::function<void()>& Erase);
  TRect PlaceCandidate(const TCandidate& C, TPoint P) const;
  const TCandidate& CandidateOf(TDock* Dock) const;
  bool DockHitTest(TDock* Dock, TPoint P) const;
  void MouseMoved();
  void ApplyMove();
  void BuildSizes();
  void SizingMouseMoved();

  TToolbar* FBar;
  TPoint FGrab{};
  int32_t FW1 = 0, FH1 = 0;
  bool FNoDock = false;
  std::vector<TCandidate> FCandidates;
  TDock* FTarget = nullptr;
  bool FHasOutline = false;
  TRect FOutline{};
  bool FOutlineThin = false;
  HDC FDC = nullptr;
  // Resizing.
  int32_t FHit = 0;
  std::vector<TSize> FSizes;
  int32_t FTolerance = 12;
  TRect FStart{};
  int32_t FNewWrapWidth = 0;
  bool FMovedAway = false;
  bool FLastShrinking = false;
};

bool TToolbarDragger::RunLoop(const std::function<void()>& Start, const std::function<bool(const TMsg&)>& OnKey,
                              const std::function<void()>& OnMouseMove, const std::function<void()>& Erase) {
  HWND wnd = FBar->Handle();
  // Captured first, so that input already queued keeps its way to the bar.
  SetCapture(wnd);
  TDesktopSession session;
  FDC = session.DC;
  auto finish = [&] {
    if (GetCapture() == wnd) ReleaseCapture();
    Erase();
    session.Release();
  };
  bool accept = false;
  try {
    Start();
    accept = RunCaptureLoop(wnd, OnKey, OnMouseMove);
  } catch (...) {
    finish();
    throw;
  }
  finish();
  return accept;
}

TRect TToolbarDragger::PlaceCandidate(const TCandidate& C, TPoint P) const {
  int32_t left = P.X - MulDiv(C.Width - 1, FGrab.X, FW1);
  int32_t top = P.Y - MulDiv(C.Height - 1, FGrab.Y, FH1);
  return TRect{left, top, left + C.Width, top + C.Height};
}

const TCandidate& TToolbarDragger::CandidateOf(TDock* Dock) const {
  for (const TCandidate& c : FCandidates)
    if (c.Dock == Dock) return c;
  return FCandidates.front();
}

bool TToolbarDragger::DockHitTest(TDock* Dock, TPoint P) const {
  TRect r = Dock->ClientRect();
  TPoint o = Dock->ClientOrigin();
  OffsetRect(r, o.X, o.Y);
  TRect c = PlaceCandidate(CandidateOf(Dock), P);
  bool vertical = DockTypeOf(Dock) == 2;
  if (r.Width() <= 0 || r.Height() <= 0) {
    // An empty dock is a 2-pixel target across.
    if (vertical) {
      r.Left -= 1;
      r.Right += 1;
    } else {
      r.Top -= 1;
      r.Bottom += 1;
    }
  }
  int32_t dx = MulDiv(32, FGrab.X, FW1);
  if (!(r.Left - (32 - dx) <= P.X && P.X <= r.Right - 1 + dx)) return false;
  if (vertical && !(r.Top <= P.Y && P.Y < r.Bottom)) return false;
  int32_t dy = MulDiv(20, FGrab.Y, FH1);
  if (!(r.Top - (20 - dy) <= P.Y && P.Y <= r.Bottom - 1 + dy)) return false;
  TRect tmp;
  return IntersectRect(tmp, c, r);
}

void TToolbarDragger::MouseMoved() {
  TDock* oldTarget = FTarget;
  TRect oldOutline = FOutline;
  bool hadOutline = FHasOutline;
  TPoint p;
  GetCursorPos(p);
  FTarget = nullptr;
  auto* form = static_cast<TComponent*>(FBar->Owner());
  if (!FNoDock) {
    for (int pass = 0; pass < 2 && !FTarget; ++pass) {
      if (pass == 1 && !FBar->CanDockLeftRight()) break;
      for (int32_t i = 0; i < form->ComponentCount() && !FTarget; ++i) {
        auto* d = dynamic_cast<TDock*>(form->Components(i));
        if (!d || (DockTypeOf(d) == 2) != (pass == 1) || !d->AllowDrag()) continue;
        if (DockHitTest(d, p)) FTarget = d;
      }
    }
  }
  TRect work = TToolbar::WorkArea();
  if (!FTarget) {
    p.X = std::clamp(p.X, work.Left, work.Right);
    p.Y = std::clamp(p.Y, work.Top, work.Bottom);
  }
  FOutline = PlaceCandidate(CandidateOf(FTarget), p);
  if (!FTarget) {
    // Some of a floating outline always stays reachable.
    int32_t m = TToolbar::FrameWidth() + 4;
    InflateRect(work, -m, -m);
    if (FOutline.Bottom < work.Top) OffsetRect(FOutline, 0, work.Top - FOutline.Bottom);
    if (FOutline.Top > work.Bottom) OffsetRect(FOutline, 0, work.Bottom - FOutline.Top);
    if (FOutline.Right < work.Left) OffsetRect(FOutline, work.Left - FOutline.Right, 0);
    if (FOutline.Left > work.Right) OffsetRect(FOutline, work.Right - FOutline.Left, 0);
  }
  FHasOutline = true;
  DrawDragOutline(FDC, &FOutline, FTarget != nullptr, hadOutline ? &oldOutline : nullptr, oldTarget != nullptr);
  FOutlineThin = FTarget != nullptr;
}

void TToolbarDragger::ApplyMove() {
  if (FTarget) {
    TPoint tl = FTarget->ScreenToClient(TPoint{FOutline.Left, FOutline.Top});
    TPoint br = FTarget->ScreenToClient(TPoint{FOutline.Right, FOutline.Bottom});
    bool vertical = DockTypeOf(FTarget) == 2;
    int32_t centre = vertical ? (tl.X + br.X) / 2 : (tl.Y + br.Y) / 2;
    bool insert = false;
    int32_t row = FTarget->GetRowOf(centre, insert);
    if (insert) FTarget->InsertRowBefore(row);
    FBar->FDockRow = row;
    FBar->FDockPos = vertical ? tl.Y : tl.X;
    FBar->SetDockedTo(FTarget);
  } else {
    FBar->FFloatingRect = FOutline;
    FBar->SetDockedTo(nullptr);
  }
  // A bar dropped at the screen's edge comes whole into the work area, where
  // its caption and close button can be reached.
  FBar->MoveOnScreen(false);
  if (!FBar->DockedTo()) FBar->FFloatingRect = FBar->BoundsRect();
}

void TToolbarDragger::Move(int32_t X, int32_t Y) {
  FGrab = TPoint{X, Y};
  if (!FBar->DockedTo()) {
    TPoint s = FBar->ClientToScreen(FGrab);
    TRect wr;
    GetWindowRect(FBar->Handle(), wr);
    FGrab = TPoint{s.X - wr.Left, s.Y - wr.Top};
  }
  FW1 = FBar->Width() - 1;
  FH1 = FBar->Height() - 1;
  FNoDock = GetKeyState(VK_CONTROL) < 0;
  int32_t f = TToolbar::FrameWidth(), c = TToolbar::CaptionHeight();
  TSize sz{};
  FBar->ArrangeControls(false, false, &sz, FBar->FFloatingWrapWidth, nullptr, DockTypeOf(FBar->DockedTo()));
  FCandidates.push_back(TCandidate{nullptr, sz.cx + 2 * f, sz.cy + 2 * f + c});
  auto* form = static_cast<TComponent*>(FBar->Owner());
  for (int32_t i = 0; i < form->ComponentCount(); ++i) {
    auto* d = dynamic_cast<TDock*>(form->Components(i));
    if (!d) continue;
    if (d == FBar->DockedTo()) {
      FCandidates.push_back(TCandidate{d, FBar->ClientWidth(), FBar->ClientHeight()});
    } else {
      FBar->ArrangeControls(false, false, &sz, FBar->FFloatingWrapWidth, d, DockTypeOf(FBar->DockedTo()));
      FCandidates.push_back(TCandidate{d, sz.cx, sz.cy});
    }
  }
  FTarget = nullptr;
  FHasOutline = false;
  bool accept = RunLoop([this] { MouseMoved(); },
                        [this](const TMsg& M) {
                          if (M.wParam == VK_CONTROL && (M.message == WM_KEYDOWN) != FNoDock) {
                            FNoDock = M.message == WM_KEYDOWN;
                            MouseMoved();
                          }
                          return true;
                        },
                        [this] { MouseMoved(); },
                        [this] {
                          if (FHasOutline) DrawDragOutline(FDC, nullptr, false, &FOutline, FOutlineThin);
                        });
  if (accept) ApplyMove();
}

void TToolbarDragger::BuildSizes() {
  int32_t f = TToolbar::FrameWidth(), c = TToolbar::CaptionHeight();
  bool vertical = FHit == HTTOP || FHit == HTBOTTOM;
  TSize sz{};
  FBar->ArrangeControls(false, false, &sz, 0, nullptr, 0);
  int32_t w0 = sz.cx, h0 = sz.cy;
  FSizes.push_back(TSize{w0 + 2 * f, h0 + 2 * f + c});
  int32_t minW = FBar->FBarSize.VertThickness + 4 + 4;
  if (minW <= w0 - 1) {
    int32_t lastH = h0;
    int32_t skip = INT32_MAX;
    for (int32_t W = w0 - 1; W >= minW; --W) {
      if (W > skip) continue;
      FBar->ArrangeControls(false, false, &sz, W, nullptr, 0);
      if (sz.cx == W) {
        // A narrower shape of the same height replaces the wider one.
        if (sz.cy == lastH) FSizes.pop_back();
        TSize s{sz.cx + 2 * f, sz.cy + 2 * f + c};
        if (std::none_of(FSizes.begin(), FSizes.end(), [&](const TSize& e) { return e.cx == s.cx && e.cy == s.cy; }))
          FSizes.push_back(s);
        lastH = sz.cy;
      } else {
        skip = sz.cx;
      }
    }
  }
  std::stable_sort(FSizes.begin(), FSizes.end(), [vertical](const TSize& a, const TSize& b) {
    return vertical ? a.cy > b.cy : a.cx > b.cx;
  });
}

void TToolbarDragger::SizingMouseMoved() {
  TPoint p;
  GetCursorPos(p);
  TRect wr;
  GetWindowRect(FBar->Handle(), wr);
  p.X -= FStart.Left;
  p.Y -= FStart.Top;
  int32_t ncLeft = FBar->ClientOrigin().X - wr.Left;
  if (FHit == HTLEFT) p.X = FBar->Width() - p.X;
  if (FHit == HTTOP) p.Y = FBar->Height() - p.Y;
  bool horizontal = FHit == HTLEFT || FHit == HTRIGHT;
  int32_t cur = horizontal ? FBar->Width() : FBar->Height();
  int32_t asked = horizontal ? p.X : p.Y;
  bool shrinking = cur > asked;
  if (!(FMovedAway && shrinking == FLastShrinking)) {
    FMovedAway = false;
    FLastShrinking = shrinking;
    if (cur - FTolerance <= asked && asked < cur + FTolerance) asked = cur;
  }
  bool growing = cur < asked;
  TRect old = FOutline;
  auto apply = [&](const TSize& e) {
    FNewWrapWidth = e.cx - ncLeft;
    if (horizontal) {
      if (FHit == HTRIGHT) FOutline.Right = FOutline.Left + e.cx;
      else FOutline.Left = FOutline.Right - e.cx;
      FOutline.Bottom = FOutline.Top + e.cy;
    } else {
      if (FHit == HTBOTTOM) FOutline.Bottom = FOutline.Top + e.cy;
      else FOutline.Top = FOutline.Bottom - e.cy;
      FOutline.Right = FOutline.Left + e.cx;
    }
    FMovedAway = !(FOutline == FStart);
  };
  auto sizeOf = [horizontal](const TSize& e) { return horizontal ? e.cx : e.cy; };
  size_t n = FSizes.size();
  if (growing) {
    for (size_t i = 0; i < n; ++i)
      if (i == 0 || sizeOf(FSizes[i]) > asked) apply(FSizes[i]);
  } else {
    for (size_t i = n; i-- > 0;)
      if (i == n - 1 || sizeOf(FSizes[i]) <= asked) apply(FSizes[i]);
  }
  if (!(old == FOutline)) DrawDragOutline(FDC, &FOutline, false, &old, false);
}

void TToolbarDragger::Size(int32_t HitCode) {
  FHit = HitCode;
  FNewWrapWidth = FBar->FFloatingWrapWidth;
  bool vertical = HitCode == HTTOP || HitCode == HTBOTTOM;
  FMovedAway = false;
  BuildSizes();
  FTolerance = 12;
  for (size_t i = 0; i < FSizes.size(); ++i) {
    if (FSizes[i].cx != FBar->Width() || FSizes[i].cy != FBar->Height()) continue;
    auto dim = [vertical](const TSize& s) { return vertical ? s.cy : s.cx; };
    int32_t present = dim(FSizes[i]);
    if (i > 0) FTolerance = std::min(FTolerance, dim(FSizes[i - 1]) - present - 1);
    if (i + 1 < FSizes.size()) FTolerance = std::min(FTolerance, present - dim(FSizes[i + 1]) - 1);
    break;
  }
  if (FTolerance < 0) FTolerance = 0;
  FOutline = FBar->BoundsRect();
  FStart = FOutline;
  bool accept = RunLoop([this] { DrawDragOutline(FDC, &FOutline, false, nullptr, false); },
                        [](const TMsg&) { return true; }, [this] { SizingMouseMoved(); },
                        [this] { DrawDragOutline(FDC, nullptr, false, &FOutline, false); });
  if (accept) {
    FBar->FFloatingWrapWidth = FNewWrapWidth;
    FBar->FFloatingRect = FOutline;
    FBar->SetBounds(FOutline.Left, FOutline.Top, FOutline.Width(), FOutline.Height());
    FBar->UpdateToolbarLayout();
    FBar->MoveOnScreen(false);
    FBar->FFloatingRect = FBar->BoundsRect();
  }
}

void TToolbar::BeginMoving(int32_t X, int32_t Y) {
  TToolbarDragger drag(this);
  drag.Move(X, Y);
}

void TToolbar::BeginSizing(int32_t HitCode) {
  if (DockedTo()) return;
  TToolbarDragger drag(this);
  drag.Size(HitCode);
}

int32_t TToolbar::NCHitTest(TPoint P) {
  int32_t f = FrameWidth();
  if (PtInRect(CaptionRect(false), P)) {
    if (FCloseButton && PtInRect(CloseButtonRect(), P)) return HTCLOSE;
    return HTCLIENT;
  }
  if (P.Y >= 0 && P.Y <= f) return HTTOP;
  if (P.Y >= Height() - f - 1 && P.Y <= Height() - 1) return HTBOTTOM;
  if (P.X >= 0 && P.X <= f) return HTLEFT;
  if (P.X >= Width() - f - 1 && P.X <= Width() - 1) return HTRIGHT;
  return HTNOWHERE;
}

void TToolbar::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  if (TDock* d = DockedTo(); d && !d->AllowDrag()) return;
  for (TControl* c : FControls)
    if (c->Visible() && !dynamic_cast<TToolbarSep*>(c) && PtInRect(c->BoundsRect(), TPoint{X, Y})) return;
  if (Shift & ssDouble) {
    if (DockedTo()) {
      SetDockedTo(nullptr);
    } else {
      FDockRow = 0;
      FDockPos = -8;
      SetDockedTo(FDefaultDock);
    }
    return;
  }
  BeginMoving(X, Y);
}
