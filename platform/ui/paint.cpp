// Update regions, WM_PAINT, device contexts on a window's back buffer,
// composition of windows for read-back and for transparent windows,
// scrolling and the locked desktop.
#include <algorithm>
#include <cstring>

#include "platform/gdi/dc.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/window.h"
#include "platform/ui/window_internal.h"

using namespace ui_internal;

namespace {
HWND LockedWindow = nullptr;

TRect Intersect(const TRect& A, const TRect& B) {
  TRect r{std::max(A.Left, B.Left), std::max(A.Top, B.Top), std::min(A.Right, B.Right), std::min(A.Bottom, B.Bottom)};
  if (r.Right < r.Left) r.Right = r.Left;
  if (r.Bottom < r.Top) r.Bottom = r.Top;
  return r;
}
bool Empty(const TRect& R) { return R.Right <= R.Left || R.Bottom <= R.Top; }
TRect Offset(TRect R, int32_t dx, int32_t dy) {
  R.Left += dx;
  R.Right += dx;
  R.Top += dy;
  R.Bottom += dy;
  return R;
}
TRect Bound(const std::vector<TRect>& V) {
  TRect b{};
  bool first = true;
  for (const TRect& r : V) {
    if (Empty(r)) continue;
    if (first) b = r;
    else b = TRect{std::min(b.Left, r.Left), std::min(b.Top, r.Top), std::max(b.Right, r.Right), std::max(b.Bottom, r.Bottom)};
    first = false;
  }
  return b;
}
TRect ClientArea(const TWindowRec* W) { return TRect{0, 0, W->Client.Width(), W->Client.Height()}; }

bool LockedTree(const TWindowRec* W) {
  if (!LockedWindow) return false;
  for (; W; W = W->Parent)
    if (W->Handle == LockedWindow) return true;
  return false;
}

// Copies window S and its children, as they look on screen, into a 32-bit
// top-down buffer, with S's top-left at Origin and only pixels inside Clip.
void ComposeRaw(TWindowRec* S, uint8_t* Dst, int32_t DstW, int32_t DstH, int32_t DstStride, TPoint Origin,
                TRect Clip) {
  if (S->NativeContent) ui_backend::CaptureNativeContent(S);
  Clip = Intersect(Clip, TRect{0, 0, DstW, DstH});
  TRect area = Intersect(Clip, TRect{Origin.X, Origin.Y, Origin.X + S->Bounds.Width(), Origin.Y + S->Bounds.Height()});
  if (Empty(area)) return;
  if (S->Surface && S->Surface->Pixels()) {
    TRect src = Intersect(area, TRect{Origin.X, Origin.Y, Origin.X + S->Surface->Width(), Origin.Y + S->Surface->Height()});
    const uint8_t* sp = S->Surface->Pixels();
    int32_t ss = S->Surface->Stride();
    for (int32_t y = src.Top; y < src.Bottom; ++y)
      std::memcpy(Dst + static_cast<int64_t>(y) * DstStride + src.Left * 4,
                  sp + static_cast<int64_t>(y - Origin.Y) * ss + (src.Left - Origin.X) * 4,
                  static_cast<size_t>(src.Width()) * 4);
  }
  TRect clientClip = Intersect(area, Offset(S->Client, Origin.X, Origin.Y));
  for (auto it = S->Children.rbegin(); it != S->Children.rend(); ++it) {
    TWindowRec* c = *it;
    if (!(c->Style & WS_VISIBLE)) continue;
    TPoint o{Origin.X + S->Client.Left + c->Bounds.Left, Origin.Y + S->Client.Top + c->Bounds.Top};
    ComposeRaw(c, Dst, DstW, DstH, DstStride, o, clientClip);
  }
}

void PaintNow(TWindowRec* W) {
  if (!W) return;
  HWND h = W->Handle;
  if (W->NcDirty) {
    W->NcDirty = false;
    CallProc(W, WM_NCPAINT, 1, 0);
  }
  if (IsWindow(h) && !W->Update.empty()) {
    CallProc(W, WM_PAINT, 0, 0);
    if (TWindowRec* again = Rec(h)) again->Update.clear();
  }
}
}  // namespace

namespace ui_internal {

void EnsureSurface(TWindowRec* W) {
  if (!W->Surface) W->Surface = std::make_unique<TWindowSurface>();
  if (W->Surface->Width() != W->Bounds.Width() || W->Surface->Height() != W->Bounds.Height())
    W->Surface->SetSize(W->Bounds.Width(), W->Bounds.Height());
}

void InvalidateClient(TWindowRec* W, const TRect& R, bool Erase) {
  if (!W || W->IsDesktop()) return;
  TRect r = Intersect(R, ClientArea(W));
  if (Empty(r)) return;
  W->Update.push_back(r);
  if (W->Update.size() > 8) W->Update = {Bound(W->Update)};
  if (Erase) W->UpdateErase = true;
  // Transparent children show these pixels and must follow them.
  for (TWindowRec* c : W->Children) {
    if (!(c->ExStyle & WS_EX_TRANSPARENT)) continue;
    TRect o = Intersect(r, c->Bounds);
    if (Empty(o)) continue;
    InvalidateClient(c, Offset(o, -c->Bounds.Left - c->Client.Left, -c->Bounds.Top - c->Client.Top), true);
  }
}

void InvalidateFrame(TWindowRec* W) {
  if (W && !W->IsDesktop()) W->NcDirty = true;
}

void PresentWindowRect(TWindowRec* W, const TRect& WindowRect) {
  if (!W || LockedTree(W)) return;
  ui_backend::PresentRect(W, WindowRect);
}

void ComposeBelow(TWindowRec* W) {
  TWindowRec* p = W->Parent;
  if (!p || p->IsDesktop() || !W->Surface || !W->Surface->Pixels()) return;
  uint8_t* dst = W->Surface->Pixels();
  int32_t dw = W->Surface->Width(), dh = W->Surface->Height();
  // The parent's own pixels under the window.
  if (p->Surface && p->Surface->Pixels()) {
    TPoint po{-(p->Client.Left + W->Bounds.Left), -(p->Client.Top + W->Bounds.Top)};
    TRect area = Intersect(TRect{0, 0, dw, dh}, TRect{po.X, po.Y, po.X + p->Surface->Width(), po.Y + p->Surface->Height()});
    for (int32_t y = area.Top; y < area.Bottom; ++y)
      std::memcpy(dst + static_cast<int64_t>(y) * W->Surface->Stride() + area.Left * 4,
                  p->Surface->Pixels() + static_cast<int64_t>(y - po.Y) * p->Surface->Stride() + (area.Left - po.X) * 4,
                  static_cast<size_t>(area.Width()) * 4);
  }
  // Then the siblings below it.
  auto& sib = p->Children;
  auto self = std::find(sib.begin(), sib.end(), W);
  if (self == sib.end()) return;
  for (auto it = sib.end(); it != self + 1;) {
    --it;
    TWindowRec* s = *it;
    if (!(s->Style & WS_VISIBLE)) continue;
    ComposeRaw(s, dst, dw, dh, W->Surface->Stride(), TPoint{s->Bounds.Left - W->Bounds.Left, s->Bounds.Top - W->Bounds.Top},
               TRect{0, 0, dw, dh});
  }
}

// Composition of a whole window for read-back.
bool ComposeWindowPixels(HWND Wnd, std::vector<uint8_t>& Pixels, int32_t& Width, int32_t& Height, bool ClientOnly) {
  TWindowRec* w = Rec(Wnd);
  if (!w) return false;
  TRect part = ClientOnly ? w->Client : TRect{0, 0, w->Bounds.Width(), w->Bounds.Height()};
  Width = part.Width();
  Height = part.Height();
  Pixels.assign(static_cast<size_t>(std::max(Width, 0)) * static_cast<size_t>(std::max(Height, 0)) * 4, 0);
  if (Width <= 0 || Height <= 0) return true;
  ComposeRaw(w, Pixels.data(), Width, Height, Width * 4, TPoint{-part.Left, -part.Top}, TRect{0, 0, Width, Height});
  return true;
}

void ReadScreenPixels(const TRect& R, std::vector<uint8_t>& Pixels) {
  const int32_t w = std::max(R.Width(), 0), h = std::max(R.Height(), 0);
  if (ui_backend::CanGrabScreen() && ui_backend::GrabScreen(R, Pixels)) return;
  // Headless: this application's windows, bottom first, over black.
  Pixels.assign(static_cast<size_t>(w) * h * 4, 0);
  if (w == 0 || h == 0) return;
  std::vector<TWindowRec*> tops = TopLevels();
  for (auto it = tops.rbegin(); it != tops.rend(); ++it) {
    TWindowRec* t = *it;
    if (!(t->Style & WS_VISIBLE) || t->ShowState == 1) continue;
    ComposeRaw(t, Pixels.data(), w, h, w * 4, TPoint{t->Bounds.Left - R.Left, t->Bounds.Top - R.Top}, TRect{0, 0, w, h});
  }
}

}  // namespace ui_internal

namespace {
// Fills the desktop's surface with what the screen shows now.
void TakeScreen(TWindowRec* D) {
  D->Bounds = TRect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  D->Client = D->Bounds;
  EnsureSurface(D);
  uint8_t* px = D->Surface->Pixels();
  if (!px) return;
  std::vector<uint8_t> screen;
  ReadScreenPixels(D->Bounds, screen);
  const int32_t w = D->Surface->Width();
  for (int32_t y = 0; y < D->Surface->Height(); ++y)
    std::memcpy(px + static_cast<int64_t>(y) * D->Surface->Stride(), screen.data() + static_cast<size_t>(y) * w * 4,
                static_cast<size_t>(w) * 4);
}
}  // namespace

// ---------------------------------------------------------------------------

bool InvalidateRect(HWND Wnd, const TRect* R, bool Erase) {
  TWindowRec* w = Rec(Wnd);
  if (!w) return false;
  InvalidateClient(w, R ? *R : ClientArea(w), Erase);
  return true;
}

bool UpdateWindow(HWND Wnd) {
  TWindowRec* w = Rec(Wnd);
  if (!w) return false;
  if (!IsWindowVisible(Wnd)) return true;
  // The window and its child windows paint what waits (parents first), and
  // the desktop shows it at once: a window updated during work on the main
  // thread is seen while the work runs.
  std::vector<HWND> order{Wnd};
  for (size_t i = 0; i < order.size(); ++i)
    if (TWindowRec* x = Rec(order[i]))
      for (auto it = x->Children.rbegin(); it != x->Children.rend(); ++it)
        if ((*it)->Style & WS_VISIBLE) order.push_back((*it)->Handle);
  for (HWND h : order) PaintNow(Rec(h));
  if (TWindowRec* again = Rec(Wnd); again && !LockedTree(again)) ui_backend::PresentNow(again);
  return true;
}

bool RedrawWindow(HWND Wnd, const TRect* R, uint32_t Flags) {
  TWindowRec* w = Rec(Wnd);
  if (!w) return false;
  TRect r = R ? *R : ClientArea(w);
  if (Flags & RDW_INVALIDATE) InvalidateClient(w, r, (Flags & RDW_ERASE) != 0);
  if (Flags & RDW_FRAME) InvalidateFrame(w);
  if (Flags & RDW_ALLCHILDREN) {
    std::vector<TWindowRec*> kids = w->Children;
    for (TWindowRec* c : kids) {
      TRect cr = Offset(Intersect(r, c->Bounds), -c->Bounds.Left - c->Client.Left, -c->Bounds.Top - c->Client.Top);
      if (!Empty(cr)) RedrawWindow(c->Handle, &cr, Flags & ~RDW_UPDATENOW);
    }
  }
  if (Flags & (RDW_UPDATENOW | RDW_ERASENOW)) {
    std::vector<HWND> order{Wnd};
    for (size_t i = 0; i < order.size() && (Flags & RDW_ALLCHILDREN); ++i)
      if (TWindowRec* x = Rec(order[i]))
        for (auto it = x->Children.rbegin(); it != x->Children.rend(); ++it) order.push_back((*it)->Handle);
    for (HWND h : order) UpdateWindow(h);
  }
  return true;
}

HDC BeginPaint(HWND Wnd, TPaintStruct& Paint) {
  Paint = TPaintStruct{};
  TWindowRec* w = Rec(Wnd);
  if (!w) return nullptr;
  if (w->NcDirty) {
    w->NcDirty = false;
    CallProc(w, WM_NCPAINT, 1, 0);
    if (!IsWindow(Wnd)) return nullptr;
  }
  EnsureSurface(w);
  TRect box = Bound(w->Update);
  bool erase = w->UpdateErase;
  w->Update.clear();
  w->UpdateErase = false;
  if (w->ExStyle & WS_EX_TRANSPARENT) ComposeBelow(w);
  HDC dc = w->Surface->DC();
  w->DCSaves.push_back(SaveDC(dc));
  SetViewportOrgEx(dc, w->Client.Left, w->Client.Top, nullptr);
  IntersectClipRect(dc, w->Client.Left - w->Client.Left, 0, w->Client.Width(), w->Client.Height());
  IntersectClipRect(dc, box.Left, box.Top, box.Right, box.Bottom);
  Paint.hdc = dc;
  Paint.rcPaint = box;
  Paint.fErase = erase ? CallProc(w, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) == 0 : false;
  return dc;
}

bool EndPaint(HWND Wnd, const TPaintStruct& Paint) {
  TWindowRec* w = Rec(Wnd);
  if (!w || !Paint.hdc) return false;
  if (!w->DCSaves.empty()) {
    RestoreDC(Paint.hdc, w->DCSaves.back());
    w->DCSaves.pop_back();
  }
  PresentWindowRect(w, Offset(Paint.rcPaint, w->Client.Left, w->Client.Top));
  return true;
}

HDC GetDCEx(HWND Wnd, HRGN Clip, uint32_t Flags) {
  TWindowRec* w = Wnd ? Rec(Wnd) : DesktopRec();
  if (!w) return nullptr;
  if (w->IsDesktop() && !(LockedWindow == w->Handle && (Flags & DCX_LOCKWINDOWUPDATE))) {
    // The screen's DC reads what the screen shows now.
    TakeScreen(w);
  }
  EnsureSurface(w);
  HDC dc = w->Surface->DC();
  w->DCSaves.push_back(SaveDC(dc));
  if (!(Flags & DCX_WINDOW)) {
    SetViewportOrgEx(dc, w->Client.Left, w->Client.Top, nullptr);
    IntersectClipRect(dc, 0, 0, w->Client.Width(), w->Client.Height());
  }
  if (Clip && (Flags & DCX_INTERSECTRGN)) ExtSelectClipRgn(dc, Clip, RGN_AND);
  if (Clip && (Flags & DCX_EXCLUDERGN)) ExtSelectClipRgn(dc, Clip, RGN_DIFF);
  return dc;
}

HDC GetDC(HWND Wnd) { return GetDCEx(Wnd, nullptr, 0); }
HDC GetWindowDC(HWND Wnd) { return GetDCEx(Wnd, nullptr, DCX_WINDOW); }

int32_t ReleaseDC(HWND Wnd, HDC DC) {
  TWindowRec* w = Wnd ? Rec(Wnd) : DesktopRec();
  if (!w || !DC) return 0;
  if (!w->DCSaves.empty()) {
    RestoreDC(DC, w->DCSaves.back());
    w->DCSaves.pop_back();
  }
  if (!w->IsDesktop()) PresentWindowRect(w, TRect{0, 0, w->Bounds.Width(), w->Bounds.Height()});
  else ui_backend::PresentRect(w, w->Bounds);
  return 1;
}

int32_t ScrollWindowEx(HWND Wnd, int32_t Dx, int32_t Dy, const TRect* Scroll, const TRect* ClipR, HRGN,
                       TRect* UpdateRect, uint32_t Flags) {
  TWindowRec* w = Rec(Wnd);
  if (!w) return 0;
  EnsureSurface(w);
  TRect client = ClientArea(w);
  TRect area = Scroll ? Intersect(*Scroll, client) : client;
  if (ClipR) area = Intersect(area, *ClipR);
  // Moves the pixels: destination = source moved by (Dx, Dy), within area.
  TRect dst = Intersect(Offset(area, Dx, Dy), area);
  if (!Empty(dst) && w->Surface->Pixels()) {
    uint8_t* px = w->Surface->Pixels();
    int32_t stride = w->Surface->Stride();
    int32_t ox = w->Client.Left, oy = w->Client.Top;
    auto row = [&](int32_t y) {
      std::memmove(px + static_cast<int64_t>(y + oy) * stride + (dst.Left + ox) * 4,
                   px + static_cast<int64_t>(y - Dy + oy) * stride + (dst.Left - Dx + ox) * 4,
                   static_cast<size_t>(dst.Width()) * 4);
    };
    if (Dy > 0)
      for (int32_t y = dst.Bottom - 1; y >= dst.Top; --y) row(y);
    else
      for (int32_t y = dst.Top; y < dst.Bottom; ++y) row(y);
  }
  // The pending update region moves with the pixels.
  for (TRect& u : w->Update) u = Offset(u, Dx, Dy);
  // What was uncovered needs painting.
  std::vector<TRect> uncovered;
  if (Dx > 0) uncovered.push_back(TRect{area.Left, area.Top, std::min(area.Left + Dx, area.Right), area.Bottom});
  if (Dx < 0) uncovered.push_back(TRect{std::max(area.Right + Dx, area.Left), area.Top, area.Right, area.Bottom});
  if (Dy > 0) uncovered.push_back(TRect{area.Left, area.Top, area.Right, std::min(area.Top + Dy, area.Bottom)});
  if (Dy < 0) uncovered.push_back(TRect{area.Left, std::max(area.Bottom + Dy, area.Top), area.Right, area.Bottom});
  if (Empty(dst)) uncovered = {area};
  for (const TRect& u : uncovered)
    if (Flags & SW_INVALIDATE) InvalidateClient(w, u, (Flags & SW_ERASE) != 0);
  if (UpdateRect) *UpdateRect = Bound(uncovered);
  if (Flags & SW_SCROLLCHILDREN) {
    std::vector<TWindowRec*> kids = w->Children;
    for (TWindowRec* c : kids)
      SetWindowPos(c->Handle, nullptr, c->Bounds.Left + Dx, c->Bounds.Top + Dy, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  PresentWindowRect(w, Offset(area, w->Client.Left, w->Client.Top));
  return uncovered.empty() ? 1 : 2;
}

bool ScrollWindow(HWND Wnd, int32_t Dx, int32_t Dy, const TRect* Scroll, const TRect* Clip) {
  uint32_t flags = SW_INVALIDATE | SW_ERASE | (Scroll ? 0u : static_cast<uint32_t>(SW_SCROLLCHILDREN));
  return ScrollWindowEx(Wnd, Dx, Dy, Scroll, Clip, nullptr, nullptr, flags) != 0;
}

bool LockWindowUpdate(HWND Wnd) {
  if (Wnd && LockedWindow) return false;
  HWND old = LockedWindow;
  LockedWindow = Wnd;
  if (!Wnd && old) {
    if (TWindowRec* w = Rec(old)) {
      if (w->IsDesktop()) ui_backend::PresentRect(w, TRect{});
      else PresentWindowRect(w, TRect{0, 0, w->Bounds.Width(), w->Bounds.Height()});
    }
  }
  if (Wnd == GetDesktopWindow()) {
    // The desktop starts as what is on the screen now.
    TWindowRec* d = DesktopRec();
    TakeScreen(d);
    ui_backend::PresentRect(d, TRect{-1, -1, -1, -1});  // takes the snapshot
  }
  return true;
}
