// Window records, the tree, geometry, visibility, enabling, capture, focus,
// activation, default message handling and system metrics.
#include "platform/ui/window.h"

#include <algorithm>
#include <map>

#include "platform/gdi/colors.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/window_internal.h"

using namespace ui_internal;

HWND const HWND_BOTTOM = reinterpret_cast<HWND>(1);
HWND const HWND_TOPMOST = reinterpret_cast<HWND>(static_cast<intptr_t>(-1));
HWND const HWND_NOTOPMOST = reinterpret_cast<HWND>(static_cast<intptr_t>(-2));

namespace ui_internal {
namespace {
std::map<uintptr_t, TWindowRec*>& Table() {
  static auto* t = new std::map<uintptr_t, TWindowRec*>();
  return *t;
}
uintptr_t NextId = 0x100;
TWindowRec* Desktop = nullptr;

bool Contains(const TRect& R, TPoint P) {
  return P.X >= R.Left && P.X < R.Right && P.Y >= R.Top && P.Y < R.Bottom;
}
}  // namespace

std::recursive_mutex& TableMutex() {
  static auto* m = new std::recursive_mutex();
  return *m;
}

TWindowRec* Rec(HWND Wnd) {
  if (!Wnd) return nullptr;
  std::lock_guard<std::recursive_mutex> lock(TableMutex());
  auto it = Table().find(reinterpret_cast<uintptr_t>(Wnd));
  return it == Table().end() ? nullptr : it->second;
}

TWindowRec* DesktopRec() {
  std::lock_guard<std::recursive_mutex> lock(TableMutex());
  if (!Desktop) {
    Desktop = new TWindowRec();
    Desktop->Id = NextId++;
    Desktop->Handle = reinterpret_cast<HWND>(Desktop->Id);
    Desktop->Style = WS_VISIBLE;
    int32_t w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    Desktop->Bounds = TRect{0, 0, w, h};
    Desktop->Client = Desktop->Bounds;
    Table()[Desktop->Id] = Desktop;
  }
  return Desktop;
}

std::vector<TWindowRec*> TopLevels() {
  TWindowRec* d = DesktopRec();
  std::vector<TWindowRec*> out;
  auto& q = CurrentQueue();
  for (TWindowRec* w : d->Children)
    if (w->Queue == &q) out.push_back(w);
  return out;
}

TPoint WindowOriginOnScreen(const TWindowRec* W) {
  if (!W || W->IsDesktop()) return TPoint{0, 0};
  if (W->IsTopLevel()) return TPoint{W->Bounds.Left, W->Bounds.Top};
  TPoint p = ClientOriginOnScreen(W->Parent);
  return TPoint{p.X + W->Bounds.Left, p.Y + W->Bounds.Top};
}

TPoint ClientOriginOnScreen(const TWindowRec* W) {
  TPoint p = WindowOriginOnScreen(W);
  if (!W || W->IsDesktop()) return p;
  return TPoint{p.X + W->Client.Left, p.Y + W->Client.Top};
}

bool IsShownTree(const TWindowRec* W) {
  for (; W && !W->IsDesktop(); W = W->Parent)
    if (!(W->Style & WS_VISIBLE) || W->ShowState == 1) return false;
  return W != nullptr;
}

LRESULT CallProc(TWindowRec* W, uint32_t Msg, WPARAM WParam, LPARAM LParam) {
  if (!W) return 0;
  WNDPROC proc = W->Proc;
  if (!proc) return DefWindowProc(W->Handle, Msg, WParam, LParam);
  return proc(W->Handle, Msg, WParam, LParam);
}

void RecalcClient(TWindowRec* W) {
  TNCCalcSizeParams p;
  p.rgrc[0] = W->Bounds;
  CallProc(W, WM_NCCALCSIZE, 1, reinterpret_cast<LPARAM>(&p));
  TRect c = p.rgrc[0];
  c.Left -= W->Bounds.Left;
  c.Right -= W->Bounds.Left;
  c.Top -= W->Bounds.Top;
  c.Bottom -= W->Bounds.Top;
  if (c.Right < c.Left) c.Right = c.Left;
  if (c.Bottom < c.Top) c.Bottom = c.Top;
  bool originMoved = c.Left != W->Client.Left || c.Top != W->Client.Top;
  W->Client = c;
  // Child windows sit on the client area: when a frame or caption comes or
  // goes, their presenters move with it.
  if (originMoved)
    for (TWindowRec* child : W->Children) ui_backend::SyncPresenter(child);
}

void DesktopShowStateChanged(TWindowRec* W, int32_t State) {
  if (!W || W->ShowState == State) return;
  if (W->ShowState == 0) W->NormalBounds = W->Bounds;
  W->ShowState = State;
  InvalidateFrame(W);
  if (State == 1) CallProc(W, WM_SIZE, SIZE_MINIMIZED, 0);
  else
    CallProc(W, WM_SIZE, State == 2 ? SIZE_MAXIMIZED : SIZE_RESTORED, MakeLParam(W->Client.Width(), W->Client.Height()));
}

void DesktopBoundsChanged(TWindowRec* W, const TRect& B) {
  // A minimised window keeps the bounds it will come back to.
  if (!W || W->IsDesktop() || W->ShowState == 1) return;
  bool moved = B.Left != W->Bounds.Left || B.Top != W->Bounds.Top;
  bool sized = B.Width() != W->Bounds.Width() || B.Height() != W->Bounds.Height();
  if (!moved && !sized) return;
  uint32_t flags = SWP_NOZORDER | SWP_NOACTIVATE;
  if (!moved) flags |= SWP_NOMOVE;
  if (!sized) flags |= SWP_NOSIZE;
  SetWindowPos(W->Handle, nullptr, B.Left, B.Top, B.Width(), B.Height(), flags);
}

}  // namespace ui_internal

namespace {

// Keeps topmost windows ahead of the others and owned windows above their owners.
void PlaceInZOrder(TWindowRec* W, HWND InsertAfter) {
  TWindowRec* p = W->Parent;
  if (!p) return;
  auto& v = p->Children;
  v.erase(std::remove(v.begin(), v.end(), W), v.end());
  if (InsertAfter == HWND_TOPMOST) W->ExStyle |= WS_EX_TOPMOST;
  if (InsertAfter == HWND_NOTOPMOST) W->ExStyle &= ~WS_EX_TOPMOST;
  size_t pos = 0;
  if (InsertAfter == HWND_BOTTOM) {
    pos = v.size();
  } else if (InsertAfter == HWND_TOP || InsertAfter == HWND_TOPMOST || InsertAfter == HWND_NOTOPMOST) {
    pos = 0;
    if (!(W->ExStyle & WS_EX_TOPMOST) && W->IsTopLevel())
      while (pos < v.size() && (v[pos]->ExStyle & WS_EX_TOPMOST)) ++pos;
  } else {
    TWindowRec* a = Rec(InsertAfter);
    auto it = std::find(v.begin(), v.end(), a);
    pos = it == v.end() ? 0 : static_cast<size_t>(it - v.begin()) + 1;
  }
  v.insert(v.begin() + static_cast<std::ptrdiff_t>(pos), W);
  if (W->IsTopLevel()) {
    // Owned windows stay above their owner.
    std::vector<TWindowRec*> owned;
    for (TWindowRec* c : v)
      if (c->Owner == W) owned.push_back(c);
    for (TWindowRec* o : owned) {
      v.erase(std::remove(v.begin(), v.end(), o), v.end());
      auto it = std::find(v.begin(), v.end(), W);
      v.insert(it, o);
    }
  }
  ui_backend::SyncZOrder(p);
}

void DestroyRec(TWindowRec* W, bool First);

void RemoveFromParent(TWindowRec* W) {
  if (W->Parent) {
    auto& v = W->Parent->Children;
    v.erase(std::remove(v.begin(), v.end(), W), v.end());
  }
}

void ForgetInQueue(TWindowRec* W) {
  TThreadQueue* q = W->Queue;
  if (!q) return;
  HWND h = W->Handle;
  {
    std::lock_guard<std::mutex> lock(q->M);
    q->Timers.erase(std::remove_if(q->Timers.begin(), q->Timers.end(), [h](const TTimerRec& t) { return t.Wnd == h; }),
                    q->Timers.end());
  }
  if (q->Focus == h) q->Focus = nullptr;
  if (q->Active == h) q->Active = nullptr;
  if (q->Capture == h) q->Capture = nullptr;
}

void DestroyRec(TWindowRec* W, bool First) {
  if (!W || W->Destroying) return;
  W->Destroying = true;
  // Owned top-level windows go first.
  if (W->IsTopLevel()) {
    std::vector<TWindowRec*> owned;
    for (TWindowRec* c : DesktopRec()->Children)
      if (c->Owner == W) owned.push_back(c);
    for (TWindowRec* o : owned) DestroyRec(o, true);
  }
  HWND h = W->Handle;
  if (First && W->Queue && W->Queue->Active == h && (W->Style & WS_VISIBLE)) {
    // Activation passes to the owner, else to another visible top-level window.
    TWindowRec* next = W->Owner;
    if (!next || !(next->Style & WS_VISIBLE) || next->Destroying) {
      next = nullptr;
      for (TWindowRec* c : DesktopRec()->Children)
        if (c != W && c->Queue == W->Queue && (c->Style & WS_VISIBLE) && !c->Destroying &&
            !(c->Style & WS_DISABLED)) {
          next = c;
          break;
        }
    }
    SetActiveWindow(next ? next->Handle : nullptr);
  }
  if (W->Queue && W->Queue->Capture == h) ReleaseCapture();
  CallProc(W, WM_DESTROY, 0, 0);
  std::vector<TWindowRec*> kids = W->Children;
  for (TWindowRec* c : kids) DestroyRec(c, false);
  CallProc(W, WM_NCDESTROY, 0, 0);
  ForgetInQueue(W);
  RemoveFromParent(W);
  ui_backend::DestroyPresenter(W);
  {
    std::lock_guard<std::recursive_mutex> lock(TableMutex());
    Table().erase(W->Id);
  }
  // Owners that point at this window forget it.
  for (TWindowRec* c : DesktopRec()->Children)
    if (c->Owner == W) c->Owner = nullptr;
  delete W;
}

struct THit {
  TWindowRec* W = nullptr;
  int32_t Code = HTNOWHERE;
};

THit FindTarget(TWindowRec* W, TPoint P) {
  TRect client = W->Client;
  TPoint o = WindowOriginOnScreen(W);
  TRect cs{o.X + client.Left, o.Y + client.Top, o.X + client.Right, o.Y + client.Bottom};
  if (Contains(cs, P)) {
    std::vector<TWindowRec*> kids = W->Children;
    for (TWindowRec* c : kids) {
      if (!(c->Style & WS_VISIBLE) || (c->Style & WS_DISABLED)) continue;
      TPoint co = WindowOriginOnScreen(c);
      TRect r{co.X, co.Y, co.X + c->Bounds.Width(), co.Y + c->Bounds.Height()};
      if (!Contains(r, P)) continue;
      THit h = FindTarget(c, P);
      if (h.W) return h;
    }
  }
  int32_t code = static_cast<int32_t>(CallProc(W, WM_NCHITTEST, 0, MakeLParam(P.X, P.Y)));
  if (code == HTTRANSPARENT) return THit{};
  return THit{W, code};
}

}  // namespace

namespace ui_internal {
// The window that mouse input at a screen point goes to, with its hit code.
// A disabled top-level window under the point swallows the input.
bool HitTestScreen(TPoint P, HWND& Target, int32_t& Code) {
  Target = nullptr;
  Code = HTNOWHERE;
  std::vector<TWindowRec*> tops = TopLevels();
  for (TWindowRec* t : tops) {
    if (!(t->Style & WS_VISIBLE) || t->ShowState == 1) continue;
    if (!Contains(t->Bounds, P)) continue;
    if (t->Style & WS_DISABLED) {
      Code = HTERROR;
      Target = t->Handle;
      return false;
    }
    THit h = FindTarget(t, P);
    if (h.W) {
      Target = h.W->Handle;
      Code = h.Code;
      return true;
    }
  }
  return false;
}
}  // namespace ui_internal

// ---------------------------------------------------------------------------

HWND CreateWindowEx(uint32_t ExStyle, const std::string& Caption, uint32_t Style, int32_t X, int32_t Y,
                    int32_t Width, int32_t Height, HWND Parent, WNDPROC WndProc, uint32_t ClassStyle) {
  TWindowRec* parent = nullptr;
  TWindowRec* owner = nullptr;
  if (Style & WS_CHILD) {
    parent = Rec(Parent);
    if (!parent) return nullptr;
  } else {
    parent = DesktopRec();
    owner = Rec(Parent);
    if (owner) owner = Rec(GetAncestorTopLevel(owner->Handle));
  }
  auto* w = new TWindowRec();
  {
    std::lock_guard<std::recursive_mutex> lock(TableMutex());
    w->Id = NextId++;
    w->Handle = reinterpret_cast<HWND>(w->Id);
    Table()[w->Id] = w;
  }
  w->Queue = &CurrentQueue();
  w->Proc = std::move(WndProc);
  w->Parent = parent;
  w->Owner = owner;
  w->Style = Style & ~WS_VISIBLE;
  w->ExStyle = ExStyle;
  w->ClassStyle = ClassStyle;
  w->Text = Caption;
  w->Bounds = TRect{X, Y, X + std::max(Width, 0), Y + std::max(Height, 0)};
  w->NormalBounds = w->Bounds;
  parent->Children.insert(parent->Children.begin(), w);
  if (w->IsTopLevel()) PlaceInZOrder(w, (ExStyle & WS_EX_TOPMOST) ? HWND_TOPMOST : HWND_TOP);
  HWND h = w->Handle;
  CallProc(w, WM_NCCREATE, 0, 0);
  if (!IsWindow(h)) return nullptr;
  RecalcClient(w);
  EnsureSurface(w);
  ui_backend::CreatePresenter(w);
  if (CallProc(w, WM_CREATE, 0, 0) == -1) {
    DestroyWindow(h);
    return nullptr;
  }
  if (!IsWindow(h)) return nullptr;
  w->Created = true;
  InvalidateClient(w, TRect{0, 0, w->Client.Width(), w->Client.Height()}, true);
  InvalidateFrame(w);
  // The first WM_SIZE and WM_MOVE, as a created window receives them.
  CallProc(w, WM_SIZE, SIZE_RESTORED, MakeLParam(w->Client.Width(), w->Client.Height()));
  if (!IsWindow(h)) return nullptr;
  CallProc(w, WM_MOVE, 0, MakeLParam(w->Bounds.Left + w->Client.Left, w->Bounds.Top + w->Client.Top));
  if (!IsWindow(h)) return nullptr;
  if (Style & WS_VISIBLE) ShowWindow(h, (Style & WS_CHILD) ? SW_SHOWNA : SW_SHOW);
  return h;
}

bool DestroyWindow(HWND Wnd) {
  TWindowRec* w = Rec(Wnd);
  if (!w || w->IsDesktop()) return false;
  DestroyRec(w, true);
  return true;
}

bool IsWindow(HWND Wnd) { return Rec(Wnd) != nullptr; }

LRESULT CallWindowProc(const WNDPROC& Proc, HWND Wnd, uint32_t Msg, WPARAM WParam, LPARAM LParam) {
  if (!Proc) return DefWindowProc(Wnd, Msg, WParam, LParam);
  return Proc(Wnd, Msg, WParam, LParam);
}

HWND SetParent(HWND Child, HWND NewParent) {
  TWindowRec* w = Rec(Child);
  if (!w || w->IsDesktop()) return nullptr;
  TWindowRec* np = NewParent ? Rec(NewParent) : DesktopRec();
  if (!np) return nullptr;
  for (TWindowRec* p = np; p; p = p->Parent)
    if (p == w) return nullptr;  // would make a cycle
  HWND old = w->IsTopLevel() ? nullptr : w->Parent->Handle;
  bool hadFocus = false;
  for (TWindowRec* f = Rec(w->Queue->Focus); f; f = f->Parent)
    if (f == w) hadFocus = true;
  RemoveFromParent(w);
  w->Parent = np;
  if (np->IsDesktop()) {
    w->Style &= ~WS_CHILD;
  } else {
    w->Style |= WS_CHILD;
    w->Owner = nullptr;
  }
  np->Children.insert(np->Children.begin(), w);
  if (w->IsTopLevel()) PlaceInZOrder(w, HWND_TOP);
  RecalcClient(w);
  ui_backend::SyncPresenter(w);
  ui_backend::SyncZOrder(np);
  InvalidateFrame(w);
  InvalidateClient(w, TRect{0, 0, w->Client.Width(), w->Client.Height()}, true);
  if (hadFocus && !IsWindowVisible(Child)) SetFocus(nullptr);
  return old;
}

HWND GetParent(HWND Wnd) {
  TWindowRec* w = Rec(Wnd);
  if (!w || w->IsDesktop()) return nullptr;
  if (w->IsTopLevel()) return w->Owner ? w->Owner->Handle : nullptr;
  return w->Parent->Handle;
}

bool SetWindowOwner(HWND Wnd, HWND Owner) {
  TWindowRec* w = Rec(Wnd);
  if (!w || !w->IsTopLevel()) return false;
  TWindowRec* o = Rec(GetAncestorTopLevel(Owner));
  if (o == w) o = nullptr;
  w->Owner = o;
  PlaceInZOrder(w, HWND_TOP);
  ui_backend::SyncPresenter(w);
  return true;
}

HWND GetAncestorTopLevel(HWND Wnd) {
  TWindowRec* w = Rec(Wnd);
  while (w && !w->IsDesktop() && !w->IsTopLevel()) w = w->Parent;
  return w && !w->IsDesktop() ? w->Handle : nullptr;
}

std::vector<HWND> GetChildWindows(HWND Wnd) {
  std::vector<HWND> out;
  TWindowRec* w = Wnd ? Rec(Wnd) : DesktopRec();
  if (w)
    for (TWindowRec* c : w->Children) out.push_back(c->Handle);
  return out;
}

HWND GetWindow(HWND Wnd, uint32_t Cmd) {
  TWindowRec* w = Rec(Wnd);
  if (!w) return nullptr;
  if (Cmd == GW_CHILD) return w->Children.empty() ? nullptr : w->Children.front()->Handle;
  if (Cmd == GW_OWNER) return w->Owner ? w->Owner->Handle : nullptr;
  if (!w->Parent) return nullptr;
  auto& v = w->Parent->Children;
  auto it = std::find(v.begin(), v.end(), w);
  switch (Cmd) {
    case GW_HWNDFIRST: return v.front()->Handle;
    case GW_HWNDLAST: return v.back()->Handle;
    case GW_HWNDNEXT: return (it + 1) == v.end() ? nullptr : (*(it + 1))->Handle;
    case GW_HWNDPREV: return it == v.begin() ? nullptr : (*(it - 1))->Handle;
  }
  return nullptr;
}

bool IsChild(HWND Parent, HWND Wnd) {
  TWindowRec* p = Rec(Parent);
  TWindowRec* w = Rec(Wnd);
  if (!p || !w) return false;
  for (w = w->IsTopLevel() ? nullptr : w->Parent; w; w = w->IsTopLevel() ? nullptr : w->Parent)
    if (w == p) return true;
  return false;
}

HWND GetDesktopWindow() { return DesktopRec()->Handle; }

int32_t GetWindowLong(HWND Wnd, int32_t Index) {
  TWindowRec* w = Rec(Wnd);
  if (!w) return 0;
  switch (Index) {
    case GWL_STYLE: return static_cast<int32_t>(w->Style | (w->ShowState == 1 ? static_cast<uint32_t>(WS_MINIMIZE) : 0u) |
                                                (w->ShowState == 2 ? static_cast<uint32_t>(WS_MAXIMIZE) : 0u));
    case GWL_EXSTYLE: return static_cast<int32_t>(w->ExStyle);
    case GWL_ID: return w->IdValue;
  }
  return 0;
}

int32_t SetWindowLong(HWND Wnd, int32_t Index, int32_t Value) {
  TWindowRec* w = Rec(Wnd);
  if (!w) return 0;
  int32_t old = GetWindowLong(Wnd, Index);
  uint32_t v = static_cast<uint32_t>(Value);
  switch (Index) {
    case GWL_STYLE:
      // Visibility and enabling change through ShowWindow and EnableWindow.
      w->Style = (v & ~(WS_VISIBLE | WS_DISABLED | WS_MINIMIZE | WS_MAXIMIZE)) | (w->Style & (WS_VISIBLE | WS_DISABLED));
      break;
    case GWL_EXSTYLE: w->ExStyle = v; break;
    case GWL_ID: w->IdValue = Value; break;
  }
  return old;
}

uint32_t GetWindowStyle(HWND Wnd) { return static_cast<uint32_t>(GetWindowLong(Wnd, GWL_STYLE)); }
uint32_t GetWindowExStyle(HWND Wnd) { return static_cast<uint32_t>(GetWindowLong(Wnd, GWL_EXSTYLE)); }

bool SetWindowText(HWND Wnd, const std::string& Text) {
  TWindowRec* w = Rec(Wnd);
  if (!w) return false;
  w->Text = Text;
  ui_backend::SyncPresenter(w);
  if (w->IsTopLevel() && (w->Style & WS_CAPTION) == WS_CAPTION) InvalidateFrame(w);
  return true;
}

std::string GetWindowText(HWND Wnd) {
  TWindowRec* w = Rec(Wnd);
  return w ? w->Text : std::string();
}

void SetWindowUserData(HWND Wnd, void* Data) {
  if (TWindowRec* w = Rec(Wnd)) w->UserData = Data;
}
void* GetWindowUserData(HWND Wnd) {
  TWindowRec* w = Rec(Wnd);
  return w ? w->UserData : nullptr;
}

// ---------------------------------------------------------------------------
// Geometry

bool SetWindowPos(HWND Wnd, HWND InsertAfter, int32_t X, int32_t Y, int32_t Cx, int32_t Cy, uint32_t Flags) {
  TWindowRec* w = Rec(Wnd);
  if (!w || w->IsDesktop()) return false;
  TWindowPos wp{Wnd, InsertAfter, X, Y, Cx, Cy, Flags};
  if (Flags & SWP_NOMOVE) {
    wp.x = w->Bounds.Left;
    wp.y = w->Bounds.Top;
  }
  if (Flags & SWP_NOSIZE) {
    wp.cx = w->Bounds.Width();
    wp.cy = w->Bounds.Height();
  }
  CallProc(w, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&wp));
  if (!IsWindow(Wnd)) return false;
  wp.cx = std::max(wp.cx, 0);
  wp.cy = std::max(wp.cy, 0);
  TRect nb{wp.x, wp.y, wp.x + wp.cx, wp.y + wp.cy};
  bool moved = nb.Left != w->Bounds.Left || nb.Top != w->Bounds.Top;
  bool sized = nb.Width() != w->Bounds.Width() || nb.Height() != w->Bounds.Height();
  bool frame = (wp.flags & SWP_FRAMECHANGED) != 0;
  uint32_t outFlags = wp.flags;
  if (!moved) outFlags |= SWP_NOMOVE;
  if (!sized) outFlags |= SWP_NOSIZE;
  if (!(wp.flags & SWP_NOZORDER)) PlaceInZOrder(w, wp.hwndInsertAfter);
  if (moved || sized || frame) {
    TRect oldClient = w->Client;
    w->Bounds = nb;
    if (w->ShowState == 0) w->NormalBounds = nb;
    if (sized || frame) {
      RecalcClient(w);
      EnsureSurface(w);
      InvalidateFrame(w);
      bool clientMoved = oldClient.Left != w->Client.Left || oldClient.Top != w->Client.Top;
      int32_t cw = w->Client.Width(), ch = w->Client.Height();
      if (clientMoved || (w->ClassStyle & (CS_HREDRAW | CS_VREDRAW))) {
        InvalidateClient(w, TRect{0, 0, cw, ch}, true);
      } else {
        if (cw > oldClient.Width()) InvalidateClient(w, TRect{oldClient.Width(), 0, cw, ch}, true);
        if (ch > oldClient.Height()) InvalidateClient(w, TRect{0, oldClient.Height(), cw, ch}, true);
      }
    }
    if (w->ExStyle & WS_EX_TRANSPARENT) InvalidateClient(w, TRect{0, 0, w->Client.Width(), w->Client.Height()}, true);
    ui_backend::SyncPresenter(w);
  }
  if (wp.flags & SWP_SHOWWINDOW) ShowWindow(Wnd, (wp.flags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
  if (wp.flags & SWP_HIDEWINDOW) ShowWindow(Wnd, SW_HIDE);
  if (!IsWindow(Wnd)) return false;
  if (moved || sized || frame || !(wp.flags & SWP_NOZORDER)) {
    TWindowPos done = wp;
    done.flags = outFlags;
    CallProc(w, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&done));
  }
  return true;
}

bool GetWindowRect(HWND Wnd, TRect& R) {
  TWindowRec* w = Rec(Wnd);
  if (!w) return false;
  TPoint o = WindowOriginOnScreen(w);
  R = TRect{o.X, o.Y, o.X + w->Bounds.Width(), o.Y + w->Bounds.Height()};
  return true;
}

bool GetClientRect(HWND Wnd, TRect& R) {
  TWindowRec* w = Rec(Wnd);
  if (!w) return false;
  R = TRect{0, 0, w->Client.Width(), w->Client.Height()};
  return true;
}

TRect GetWindowBoundsInParent(HWND Wnd) {
  TWindowRec* w = Rec(Wnd);
  return w ? w->Bounds : TRect{};
}

TPoint GetClientOffset(HWND Wnd) {
  TWindowRec* w = Rec(Wnd);
  return w ? TPoint{w->Client.Left, w->Client.Top} : TPoint{};
}

bool ClientToScreen(HWND Wnd, TPoint& P) {
  TWindowRec* w = Rec(Wnd);
  if (!w) return false;
  TPoint o = ClientOriginOnScreen(w);
  P.X += o.X;
  P.Y += o.Y;
  return true;
}

bool ScreenToClient(HWND Wnd, TPoint& P) {
  TWindowRec* w = Rec(Wnd);
  if (!w) return false;
  TPoint o = ClientOriginOnScreen(w);
  P.X -= o.X;
  P.Y -= o.Y;
  return true;
}

HWND WindowFromPoint(TPoint P) {
  HWND h;
  int32_t code;
  return HitTestScreen(P, h, code) ? h : nullptr;
}

HWND ChildWindowFromPoint(HWND Parent, TPoint P) {
  TWindowRec* w = Rec(Parent);
  if (!w) return nullptr;
  if (P.X < 0 || P.Y < 0 || P.X >= w->Client.Width() || P.Y >= w->Client.Height()) return nullptr;
  for (TWindowRec* c : w->Children)
    if (Contains(c->Bounds, P)) return c->Handle;
  return Parent;
}

// ---------------------------------------------------------------------------
// Visibility and enabling

bool ShowWindow(HWND Wnd, int32_t Cmd) {
  TWindowRec* w = Rec(Wnd);
  if (!w || w->IsDesktop()) return false;
  bool wasVisible = (w->Style & WS_VISIBLE) != 0;
  if (Cmd == SW_HIDE) {
    if (!wasVisible) return false;
    CallProc(w, WM_SHOWWINDOW, 0, 0);
    w->Style &= ~WS_VISIBLE;
    ui_backend::SyncPresenter(w);
    TThreadQueue* q = w->Queue;
    for (TWindowRec* f = Rec(q->Focus); f; f = f->Parent)
      if (f == w) {
        if (w->IsTopLevel()) q->Focus = nullptr;
        else SetFocus(w->Parent->Handle);
        break;
      }
    for (TWindowRec* c = Rec(q->Capture); c; c = c->Parent)
      if (c == w) {
        ReleaseCapture();
        break;
      }
    if (w->IsTopLevel() && q->Active == Wnd) {
      TWindowRec* next = w->Owner && (w->Owner->Style & WS_VISIBLE) && !(w->Owner->Style & WS_DISABLED) ? w->Owner : nullptr;
      if (!next)
        for (TWindowRec* c : DesktopRec()->Children)
          if (c != w && c->Queue == q && (c->Style & WS_VISIBLE) && !(c->Style & WS_DISABLED) && c->ShowState != 1) {
            next = c;
            break;
          }
      SetActiveWindow(next ? next->Handle : nullptr);
    }
    return wasVisible;
  }
  int32_t oldState = w->ShowState;
  if (Cmd == SW_MAXIMIZE || Cmd == SW_MINIMIZE || Cmd == SW_RESTORE || Cmd == SW_SHOWNORMAL ||
      Cmd == SW_SHOWMINIMIZED) {
    int32_t ns = (Cmd == SW_MAXIMIZE) ? 2 : (Cmd == SW_MINIMIZE || Cmd == SW_SHOWMINIMIZED) ? 1 : 0;
    if (Cmd == SW_SHOWNORMAL && oldState == 0) ns = 0;
    if (ns != oldState) {
      if (oldState == 0) w->NormalBounds = w->Bounds;
      w->ShowState = ns;
      if (ns == 2) {
        TRect wa;
        SystemParametersInfo(SPI_GETWORKAREA, 0, &wa, 0);
        // The frame goes just outside the work area.
        int32_t f = GetSystemMetrics(SM_CXFRAME);
        if (!(w->Style & WS_THICKFRAME)) f = 0;
        SetWindowPos(Wnd, nullptr, wa.Left - f, wa.Top - f, wa.Width() + 2 * f, wa.Height() + 2 * f,
                     SWP_NOZORDER | SWP_NOACTIVATE);
      } else if (ns == 0) {
        TRect nb = w->NormalBounds;
        SetWindowPos(Wnd, nullptr, nb.Left, nb.Top, nb.Width(), nb.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
      } else {
        CallProc(w, WM_SIZE, SIZE_MINIMIZED, 0);
      }
    }
  }
  if (!wasVisible) {
    CallProc(w, WM_SHOWWINDOW, 1, 0);
    w->Style |= WS_VISIBLE;
    InvalidateFrame(w);
    InvalidateClient(w, TRect{0, 0, w->Client.Width(), w->Client.Height()}, true);
  }
  ui_backend::SyncPresenter(w);
  bool activate = w->IsTopLevel() && w->ShowState != 1 && Cmd != SW_SHOWNA && Cmd != SW_SHOWNOACTIVATE &&
                  !w->RefusesActivation();
  if (activate) SetActiveWindow(Wnd);
  else if (w->IsTopLevel() && !wasVisible) PlaceInZOrder(w, HWND_TOP);
  return wasVisible;
}

bool IsWindowVisible(HWND Wnd) { return IsShownTree(Rec(Wnd)); }
bool IsIconic(HWND Wnd) {
  TWindowRec* w = Rec(Wnd);
  return w && w->ShowState == 1;
}
bool IsZoomed(HWND Wnd) {
  TWindowRec* w = Rec(Wnd);
  return w && w->ShowState == 2;
}

namespace {
// A top-level window enabled again after it waited (behind a window that
// was answered, or a scan): when it is our active window and nothing has the
// keyboard, the window that had it gets it back.
void TakeKeyboardBack(TWindowRec* W) {
  const HWND had = W->FocusBeforeDisable;
  W->FocusBeforeDisable = nullptr;
  TThreadQueue& q = CurrentQueue();
  if (W->Queue == &q && q.Active == W->Handle && !q.Focus && IsWindow(had) && GetAncestorTopLevel(had) == W->Handle &&
      IsWindowVisible(had))
    SetFocus(had);
}
}  // namespace

bool EnableWindow(HWND Wnd, bool Enable) {
  TWindowRec* w = Rec(Wnd);
  if (!w) return false;
  bool wasDisabled = (w->Style & WS_DISABLED) != 0;
  if (wasDisabled == !Enable) return wasDisabled;
  if (Enable) w->Style &= ~WS_DISABLED;
  else {
    w->Style |= WS_DISABLED;
    TThreadQueue* q = w->Queue;
    for (TWindowRec* c = Rec(q->Capture); c; c = c->Parent)
      if (c == w) {
        ReleaseCapture();
        break;
      }
    for (TWindowRec* f = Rec(q->Focus); f; f = f->Parent)
      if (f == w) {
        if (w->IsTopLevel()) {
          w->FocusBeforeDisable = q->Focus;
          q->Focus = nullptr;
        } else {
          SetFocus(nullptr);
        }
        break;
      }
  }
  CallProc(w, WM_ENABLE, Enable ? 1 : 0, 0);
  if (Enable && IsWindow(Wnd) && w->IsTopLevel()) TakeKeyboardBack(w);
  return wasDisabled;
}

bool IsWindowEnabled(HWND Wnd) {
  TWindowRec* w = Rec(Wnd);
  return w && !(w->Style & WS_DISABLED);
}

// ---------------------------------------------------------------------------
// Capture, focus, activation

HWND SetCapture(HWND Wnd) {
  TThreadQueue& q = CurrentQueue();
  HWND old = q.Capture;
  if (!IsWindow(Wnd)) return old;
  q.Capture = Wnd;
  if (old && old != Wnd) CallProc(Rec(old), WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(Wnd));
  return old;
}

bool ReleaseCapture() {
  TThreadQueue& q = CurrentQueue();
  HWND old = q.Capture;
  q.Capture = nullptr;
  if (old) CallProc(Rec(old), WM_CAPTURECHANGED, 0, 0);
  return true;
}

HWND GetCapture() { return CurrentQueue().Capture; }

HWND SetFocus(HWND Wnd) {
  TThreadQueue& q = CurrentQueue();
  HWND old = q.Focus;
  if (!Wnd) {
    if (old) {
      q.Focus = nullptr;
      CallProc(Rec(old), WM_KILLFOCUS, 0, 0);
    }
    return old;
  }
  TWindowRec* w = Rec(Wnd);
  if (!w || w->Queue != &q) return nullptr;
  for (TWindowRec* p = w; p && !p->IsDesktop(); p = p->Parent)
    if (p->Style & WS_DISABLED) return nullptr;
  HWND top = GetAncestorTopLevel(Wnd);
  if (q.Active != top) {
    SetActiveWindow(top);
    if (!IsWindow(Wnd)) return nullptr;
    old = q.Focus;
  }
  if (old == Wnd) return old;
  q.Focus = Wnd;
  if (old) CallProc(Rec(old), WM_KILLFOCUS, reinterpret_cast<WPARAM>(Wnd), 0);
  if (q.Focus == Wnd) CallProc(Rec(Wnd), WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
  return old;
}

HWND GetFocus() { return CurrentQueue().Focus; }

namespace {
// The window the desktop has just activated: our activation follows it and
// needs no request back to the desktop.
HWND DesktopActivated = nullptr;
}  // namespace

HWND SetActiveWindow(HWND Wnd) {
  TThreadQueue& q = CurrentQueue();
  HWND old = q.Active;
  HWND top = Wnd ? GetAncestorTopLevel(Wnd) : nullptr;
  bool fromDesktop = top && top == DesktopActivated;
  DesktopActivated = nullptr;
  if (top == old) {
    if (TWindowRec* w = Rec(top)) {
      PlaceInZOrder(w, HWND_TOP);
      if (!fromDesktop) ui_backend::ActivatePresenter(w);
    }
    return old;
  }
  if (top && !IsWindowEnabled(top)) return old;
  q.Active = top;
  if (TWindowRec* o = Rec(old)) {
    CallProc(o, WM_NCACTIVATE, 0, 0);
    CallProc(o, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(top));
  }
  if ((old == nullptr) != (top == nullptr)) {
    // The application as a whole becomes active or inactive.
    for (TWindowRec* t : TopLevels()) {
      if (t->Handle == top && top) continue;
      CallProc(t, WM_ACTIVATEAPP, top ? 1 : 0, 0);
    }
    if (TWindowRec* t = Rec(top)) CallProc(t, WM_ACTIVATEAPP, 1, 0);
  }
  if (!top) {
    if (q.Focus) SetFocus(nullptr);
    return old;
  }
  TWindowRec* w = Rec(top);
  if (!w || q.Active != top) return old;
  PlaceInZOrder(w, HWND_TOP);
  // The desktop's activation follows ours, so the keyboard comes here.
  if (!fromDesktop) ui_backend::ActivatePresenter(w);
  CallProc(w, WM_NCACTIVATE, 1, 0);
  if (q.Active == top) CallProc(w, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(old));
  return old;
}

HWND GetActiveWindow() { return CurrentQueue().Active; }
HWND GetForegroundWindow() { return CurrentQueue().Active; }

// ---------------------------------------------------------------------------
// Pointer and keys

bool GetCursorPos(TPoint& P) {
  P = CurrentQueue().CursorPos;
  return true;
}

int16_t GetKeyState(int32_t VirtKey) {
  if (VirtKey < 0 || VirtKey > 255) return 0;
  uint8_t k = CurrentQueue().Keys[VirtKey];
  return static_cast<int16_t>(((k & 0x80) ? 0x8000 : 0) | (k & 1));
}

uint32_t GetDoubleClickTime() { return 500; }

// ---------------------------------------------------------------------------
// Metrics

int32_t GetSystemMetrics(int32_t Index) {
  switch (Index) {
    case SM_CXSCREEN:
    case SM_CXFULLSCREEN: {
      int32_t w, h;
      return ui_backend::ScreenSize(w, h) ? w : 1024;
    }
    case SM_CYSCREEN:
    case SM_CYFULLSCREEN: {
      int32_t w, h;
      return ui_backend::ScreenSize(w, h) ? h : 768;
    }
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVSCROLL:
    case SM_CXHSCROLL:
    case SM_CYVTHUMB:
    case SM_CXHTHUMB: return 16;
    case SM_CYCAPTION: return 19;
    case SM_CYSMCAPTION: return 16;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return 3;
    case SM_CXFRAME:
    case SM_CYFRAME: return 4;
    case SM_CXEDGE:
    case SM_CYEDGE: return 2;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR: return 32;
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
    case SM_CYMENU: return 19;
    case SM_CXMIN: return 112;
    case SM_CYMIN: return 27;
    case SM_CXSIZE:
    case SM_CYSIZE: return 18;
    case SM_CXSMSIZE:
    case SM_CYSMSIZE: return 15;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK: return 4;
    case SM_CXDRAG:
    case SM_CYDRAG: return 4;
  }
  return 0;
}

bool SystemParametersInfo(uint32_t Action, uint32_t, void* Data, uint32_t) {
  if (Action == SPI_GETWORKAREA && Data) {
    *static_cast<TRect*>(Data) = TRect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    return true;
  }
  return false;
}

// ---------------------------------------------------------------------------
// Default message handling

LRESULT DefWindowProc(HWND Wnd, uint32_t Msg, WPARAM WParam, LPARAM LParam) {
  TWindowRec* w = Rec(Wnd);
  if (!w) return 0;
  switch (Msg) {
    case WM_NCCREATE: return 1;
    case WM_NCCALCSIZE: {
      auto* p = reinterpret_cast<TNCCalcSizeParams*>(LParam);
      if (p) DefaultNcCalcSize(w, p->rgrc[0]);
      return 0;
    }
    case WM_NCHITTEST: return DefaultNcHitTest(w, PointFromLParam(LParam));
    case WM_NCPAINT: DefaultNcPaint(w); return 0;
    case WM_NCACTIVATE: InvalidateFrame(w); return 1;
    case WM_PAINT: {
      TPaintStruct ps;
      BeginPaint(Wnd, ps);
      EndPaint(Wnd, ps);
      return 0;
    }
    case WM_ERASEBKGND: return 0;
    case WM_SETCURSOR: {
      if (!w->IsTopLevel() && w->Parent && CallProc(w->Parent, WM_SETCURSOR, WParam, LParam)) return 1;
      int32_t hit = static_cast<int16_t>(LoWord(static_cast<uintptr_t>(LParam)));
      intptr_t id = IDC_ARROW;
      switch (hit) {
        case HTLEFT:
        case HTRIGHT: id = IDC_SIZEWE; break;
        case HTTOP:
        case HTBOTTOM: id = IDC_SIZENS; break;
        case HTTOPLEFT:
        case HTBOTTOMRIGHT: id = IDC_SIZENWSE; break;
        case HTTOPRIGHT:
        case HTBOTTOMLEFT: id = IDC_SIZENESW; break;
      }
      SetCursor(LoadCursor(nullptr, id));
      return 1;
    }
    case WM_MOUSEACTIVATE: {
      if (!w->IsTopLevel() && w->Parent) {
        LRESULT r = CallProc(w->Parent, WM_MOUSEACTIVATE, WParam, LParam);
        if (r) return r;
      }
      return MA_ACTIVATE;
    }
    case WM_ACTIVATE:
      if (LoWord(WParam) != WA_INACTIVE && w->ShowState != 1) {
        TThreadQueue* q = w->Queue;
        bool inside = false;
        for (TWindowRec* f = Rec(q->Focus); f; f = f->IsTopLevel() ? nullptr : f->Parent)
          if (f == w) inside = true;
        if (!inside) SetFocus(Wnd);
      }
      return 0;
    case WM_CLOSE: DestroyWindow(Wnd); return 0;
    case WM_SYSCOMMAND:
      if ((WParam & 0xFFF0) == 0xF060) PostMessage(Wnd, WM_CLOSE, 0, 0);
      return 0;
    case WM_WINDOWPOSCHANGED: {
      auto* wp = reinterpret_cast<TWindowPos*>(LParam);
      if (!wp) return 0;
      if (!(wp->flags & SWP_NOMOVE))
        CallProc(w, WM_MOVE, 0, MakeLParam(w->Bounds.Left + w->Client.Left, w->Bounds.Top + w->Client.Top));
      if (IsWindow(Wnd) && (!(wp->flags & SWP_NOSIZE) || (wp->flags & SWP_FRAMECHANGED)))
        CallProc(w, WM_SIZE, w->ShowState == 2 ? SIZE_MAXIMIZED : SIZE_RESTORED,
                 MakeLParam(w->Client.Width(), w->Client.Height()));
      return 0;
    }
    case WM_NCLBUTTONDOWN: {
      int32_t hit = static_cast<int32_t>(WParam);
      if (hit == HTHSCROLL) TrackScrollBar(w, SB_HORZ, PointFromLParam(LParam));
      else if (hit == HTVSCROLL) TrackScrollBar(w, SB_VERT, PointFromLParam(LParam));
      else if (hit == HTCLOSE) PostMessage(Wnd, WM_CLOSE, 0, 0);
      return 0;
    }
    case WM_MOUSEWHEEL:
      if (!w->IsTopLevel() && w->Parent) return CallProc(w->Parent, Msg, WParam, LParam);
      return 0;
    case WM_GETMINMAXINFO: return 0;
    case CM_DESKTOPACTIVATE:
      if (!WParam) {
        // Another application took the desktop.
        if (GetActiveWindow()) SetActiveWindow(nullptr);
        return 0;
      }
      // The desktop activated this window (a click on its frame, the window
      // manager's focus: 1), or gave it a key while none of ours was active
      // (2): ours follows, unless the news is stale already.
      if (GetActiveWindow() == Wnd || !IsWindowVisible(Wnd) || w->RefusesActivation()) return 0;
      if (WParam == 1 ? !ui_backend::PresenterActive(w) : GetActiveWindow() != nullptr) return 0;
      if (IsWindowEnabled(Wnd)) {
        DesktopActivated = Wnd;
        SetActiveWindow(Wnd);
      } else {
        // A window waiting for a modal one: the modal one keeps the desktop.
        TWindowRec* a = Rec(GetActiveWindow());
        for (TWindowRec* t : TopLevels())
          if (!a && (t->Style & WS_VISIBLE) && !(t->Style & WS_DISABLED) && t->ShowState != 1 && !t->RefusesActivation())
            a = t;
        if (a) SetActiveWindow(a->Handle);
      }
      return 0;
  }
  return 0;
}
