// The presentation backend on Qt Widgets: every window has a QWidget that
// shows its back buffer and feeds mouse and key input into our queue. Qt
// types stay in this file.
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QBitmap>
#include <QCloseEvent>
#include <QCursor>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>
#include <algorithm>
#include <cstring>
#include <memory>

#if QT_CONFIG(xcb)
#include <xcb/xcb.h>
#endif

#include "platform/gdi/dc.h"
#include "platform/ui/forms.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/window_internal.h"

using namespace ui_internal;

namespace {
QApplication* App = nullptr;
bool OwnApp = false;
QThread* MainQtThread = nullptr;
QTimer* WaitTimer = nullptr;
std::exception_ptr PendingError;
int ArgcStore = 1;
char ArgvName[] = "quillon";
char* ArgvStore[] = {ArgvName, nullptr};

uint32_t Modifiers(Qt::MouseButtons Buttons, Qt::KeyboardModifiers Mods) {
  uint32_t m = 0;
  if (Buttons & Qt::LeftButton) m |= MK_LBUTTON;
  if (Buttons & Qt::RightButton) m |= MK_RBUTTON;
  if (Buttons & Qt::MiddleButton) m |= MK_MBUTTON;
  if (Mods & Qt::ShiftModifier) m |= MK_SHIFT;
  if (Mods & Qt::ControlModifier) m |= MK_CONTROL;
  if (Mods & Qt::AltModifier) m |= ModAlt;
  return m;
}

uint32_t VirtualKey(int Key) {
  if (Key >= Qt::Key_A && Key <= Qt::Key_Z) return static_cast<uint32_t>('A' + (Key - Qt::Key_A));
  if (Key >= Qt::Key_0 && Key <= Qt::Key_9) return static_cast<uint32_t>('0' + (Key - Qt::Key_0));
  if (Key >= Qt::Key_F1 && Key <= Qt::Key_F12) return VK_F1 + static_cast<uint32_t>(Key - Qt::Key_F1);
  switch (Key) {
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Tab: return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt: return VK_MENU;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Delete: return VK_DELETE;
  }
  return 0;
}

// Offset of the presenter's (0, 0) from the window's top-left corner.
TPoint PresenterOrigin(const TWindowRec* W) {
  if (ui_backend::NativeFrame(W)) {
    TRect inner = FrameInnerRect(W);
    return TPoint{inner.Left, inner.Top};
  }
  return TPoint{0, 0};
}

struct TDesktopOverlay;
TDesktopOverlay* Overlay = nullptr;

#if QT_CONFIG(xcb)
// A property of an X window as bytes ("" when it is missing).
std::string XProperty(xcb_connection_t* C, xcb_window_t Window, const char* Name) {
  xcb_intern_atom_reply_t* atom =
      xcb_intern_atom_reply(C, xcb_intern_atom(C, 1, static_cast<uint16_t>(std::strlen(Name)), Name), nullptr);
  if (!atom) return {};
  const xcb_atom_t a = atom->atom;
  std::free(atom);
  if (a == XCB_ATOM_NONE) return {};
  xcb_get_property_reply_t* r =
      xcb_get_property_reply(C, xcb_get_property(C, 0, Window, a, XCB_GET_PROPERTY_TYPE_ANY, 0, 256), nullptr);
  if (!r) return {};
  std::string out(static_cast<const char*>(xcb_get_property_value(r)),
                  static_cast<size_t>(xcb_get_property_value_length(r)));
  std::free(r);
  return out;
}
#endif

// The name the window manager of an X display gives itself ("" without one).
std::string X11WindowManagerName() {
#if QT_CONFIG(xcb)
  auto* x11 = App ? App->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  xcb_connection_t* c = x11 ? x11->connection() : nullptr;
  if (!c) return {};
  xcb_screen_iterator_t roots = xcb_setup_roots_iterator(xcb_get_setup(c));
  if (!roots.rem) return {};
  std::string check = XProperty(c, roots.data->root, "_NET_SUPPORTING_WM_CHECK");
  if (check.size() < sizeof(xcb_window_t)) return {};
  xcb_window_t wm;
  std::memcpy(&wm, check.data(), sizeof wm);
  return XProperty(c, wm, "_NET_WM_NAME");
#else
  return {};
#endif
}

// Whether the window manager draws minimise and maximise on every framed
// window whatever the window asks (openbox does so for dialogs and normal
// windows alike, and leaves them off only for torn-off toolbars and menus).
bool DesktopDrawsEveryButton() {
  if (QGuiApplication::platformName() != "xcb") return false;
  // Asked until a window manager answers, then kept.
  static std::string manager;
  if (manager.empty()) manager = X11WindowManagerName();
  return manager == "Openbox";
}

// A framed window that offers neither minimise nor maximise: under a window
// manager that would draw them anyway, it is published as a toolbar window
// (before its own type), the one kind that manager gives only a close button.
// The manager reads the type when it first sees the window, so the window is
// made now and the type asked for before it is shown; the toolkit's property
// keeps the type when the window's flags change later.
void AskForCloseOnly(QWidget* W, bool CloseOnly) {
  const bool want = CloseOnly && DesktopDrawsEveryButton();
  if (!want && !W->testAttribute(Qt::WA_X11NetWmWindowTypeToolBar)) return;
  if (want && !W->testAttribute(Qt::WA_WState_Created)) W->winId();
  QWindow* h = W->windowHandle();
  const int types = want ? 0x08 : 0;  // the toolkit's toolbar window type
  if (!h || (h->property("_q_xcb_wm_window_type").toInt() == types &&
             W->testAttribute(Qt::WA_X11NetWmWindowTypeToolBar) == want))
    return;
  h->setProperty("_q_xcb_wm_window_type", types);
  W->setAttribute(Qt::WA_X11NetWmWindowTypeToolBar, !want);
  W->setAttribute(Qt::WA_X11NetWmWindowTypeToolBar, want);
}

}  // namespace

namespace ui_internal {

struct TPresenter : public QWidget {
  TWindowRec* W;
  bool Syncing = false;
  bool TopLevel = false;
  bool Native = false;

  TPresenter(TWindowRec* Window, QWidget* Parent, Qt::WindowFlags Flags) : QWidget(Parent, Flags), W(Window) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
  }

  void paintEvent(QPaintEvent* e) override {
    if (!W->Surface || !W->Surface->Pixels()) return;
    QImage img(W->Surface->Pixels(), W->Surface->Width(), W->Surface->Height(), W->Surface->Stride(),
               QImage::Format_RGB32);
    TPoint o = PresenterOrigin(W);
    QPainter p(this);
    p.setClipRegion(e->region());
    p.drawImage(QPoint(-o.X, -o.Y), img);
  }

  TPoint ScreenPoint(const QPointF& Local) const {
    TPoint o = WindowOriginOnScreen(W);
    TPoint po = PresenterOrigin(W);
    return TPoint{o.X + po.X + static_cast<int32_t>(Local.x()), o.Y + po.Y + static_cast<int32_t>(Local.y())};
  }

  void QueueMouse(uint32_t Kind, QMouseEvent* e, Qt::MouseButtons Buttons) {
    TQueueItem it;
    it.Kind = TItemKind::Mouse;
    it.Msg.message = Kind;
    it.Msg.pt = ScreenPoint(e->position());
    it.Msg.time = static_cast<uint32_t>(ClockNow());
    it.Modifiers = Modifiers(Buttons, e->modifiers());
    if (TThreadQueue* q = MainQueue()) QueueInput(*q, std::move(it));
  }

  static uint32_t DownKind(Qt::MouseButton B) {
    return B == Qt::RightButton ? WM_RBUTTONDOWN : B == Qt::MiddleButton ? WM_MBUTTONDOWN : WM_LBUTTONDOWN;
  }
  void mousePressEvent(QMouseEvent* e) override { QueueMouse(DownKind(e->button()), e, e->buttons()); }
  void mouseDoubleClickEvent(QMouseEvent* e) override { QueueMouse(DownKind(e->button()), e, e->buttons()); }
  void mouseReleaseEvent(QMouseEvent* e) override { QueueMouse(DownKind(e->button()) + 1, e, e->buttons()); }
  void mouseMoveEvent(QMouseEvent* e) override { QueueMouse(WM_MOUSEMOVE, e, e->buttons()); }
  void wheelEvent(QWheelEvent* e) override {
    TQueueItem it;
    it.Kind = TItemKind::Mouse;
    it.Msg.message = WM_MOUSEWHEEL;
    it.Msg.pt = ScreenPoint(e->position());
    it.Msg.wParam = static_cast<WPARAM>(static_cast<uint16_t>(static_cast<int16_t>(e->angleDelta().y())));
    it.Msg.time = static_cast<uint32_t>(ClockNow());
    it.Modifiers = Modifiers(e->buttons(), e->modifiers());
    if (TThreadQueue* q = MainQueue()) QueueInput(*q, std::move(it));
  }
  void QueueKey(uint32_t Kind, QKeyEvent* e) {
    uint32_t vk = VirtualKey(e->key());
    if (!vk && e->text().isEmpty()) return;
    TQueueItem it;
    it.Kind = TItemKind::Key;
    it.Msg.message = Kind;
    it.Msg.wParam = vk;
    it.Msg.time = static_cast<uint32_t>(ClockNow());
    if (TThreadQueue* q = MainQueue()) it.Msg.pt = q->CursorPos;
    it.Modifiers = Modifiers(QApplication::mouseButtons(), e->modifiers());
    if (Kind == WM_KEYDOWN && !e->text().isEmpty()) {
      QChar c = e->text().at(0);
      if (c.isPrint() || c == '\r' || c == '\b' || c == '\t' || c.unicode() == 27) it.Char = c.unicode();
    }
    if (TThreadQueue* q = MainQueue()) QueueInput(*q, std::move(it));
  }
  void keyPressEvent(QKeyEvent* e) override {
    FollowDesktopKeyboard();
    QueueKey(WM_KEYDOWN, e);
  }
  void keyReleaseEvent(QKeyEvent* e) override {
    if (!e->isAutoRepeat()) QueueKey(WM_KEYUP, e);
  }
  void changeEvent(QEvent* e) override {
    QWidget::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange) {
      FollowDesktopState();
      return;
    }
    if (e->type() != QEvent::ActivationChange || !TopLevel || ClockIsVirtual()) return;
    if (QGuiApplication::platformName() == "offscreen") return;
    if (isActiveWindow()) PostMessage(W->Handle, CM_DESKTOPACTIVATE, 1, 0);
    else if (!QApplication::activeWindow()) PostMessage(W->Handle, CM_DESKTOPACTIVATE, 0, 0);
  }
  // The desktop gives this window a key while none of ours is active: the
  // desktop's news of its activation was lost or stale (a window manager
  // passing the keyboard through windows as one closes), and ours follows
  // the key, ahead of it in the queue.
  void FollowDesktopKeyboard() {
    if (ClockIsVirtual() || !DesktopManagesState()) return;
    TThreadQueue* q = MainQueue();
    HWND top = GetAncestorTopLevel(W->Handle);
    if (q && !q->Active && top) PostMessage(top, CM_DESKTOPACTIVATE, 2, 0);
  }
  void closeEvent(QCloseEvent* e) override {
    e->ignore();
    PostMessage(W->Handle, WM_CLOSE, 0, 0);
  }
  void resizeEvent(QResizeEvent*) override { FollowDesktopGeometry(); }
  void moveEvent(QMoveEvent*) override { FollowDesktopGeometry(); }

  template <class F>
  static void Guarded(F Fn) {
    try {
      Fn();
    } catch (...) {
      PendingError = std::current_exception();
    }
  }
  // The window manager minimised, maximised or restored the window.
  void FollowDesktopState() {
    if (Syncing || !TopLevel || !Native || !DesktopManagesState()) return;
    int32_t state = ShowStateOf(windowState());
    if (state != W->ShowState) Guarded([&] { DesktopShowStateChanged(W, state); });
  }
  // The desktop moved or resized the window: follow it. A state change
  // that comes with the new geometry is taken first, so that the restored
  // bounds stay those of the normal window.
  void FollowDesktopGeometry() {
    // A headless platform has no desktop that moves windows; what it does
    // with geometry (keeping windows on its screen) is not the person's.
    if (Syncing || !TopLevel || !DesktopManagesState()) return;
    FollowDesktopState();
    QRect g = geometry();
    TPoint po = PresenterOrigin(W);
    TRect inner = FrameInnerRect(W);
    int32_t extraW = Native ? W->Bounds.Width() - inner.Width() : 0;
    int32_t extraH = Native ? W->Bounds.Height() - inner.Height() : 0;
    int32_t x = g.x() - po.X, y = g.y() - po.Y;
    TRect b{x, y, x + g.width() + extraW, y + g.height() + extraH};
    Guarded([&] { DesktopBoundsChanged(W, b); });
  }
  static int32_t ShowStateOf(Qt::WindowStates S) {
    if (S & Qt::WindowMinimized) return 1;
    if (S & (Qt::WindowMaximized | Qt::WindowFullScreen)) return 2;
    return 0;
  }
  // On a real display the window manager keeps the state of framed windows;
  // the headless platforms have none (tests play it through the driver).
  static bool DesktopManagesState() {
    QString platform = QGuiApplication::platformName();
    return platform != "offscreen" && platform != "minimal";
  }
};

}  // namespace ui_internal

namespace {
// One piece of what is drawn on the locked desktop: a small top-level window
// that shows the desktop's pixels under it. The pieces cover only the pixels
// that differ from the screen as it was when the desktop was locked (a drag
// outline is four thin pieces), so the rest of the screen stays as it is,
// with or without a compositor.
struct TOverlayPiece : public QWidget {
  TOverlayPiece()
      : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool |
                             Qt::X11BypassWindowManagerHint | Qt::WindowDoesNotAcceptFocus) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
  }
  void paintEvent(QPaintEvent* e) override {
    TWindowRec* d = DesktopRec();
    if (!d->Surface || !d->Surface->Pixels()) return;
    QImage img(d->Surface->Pixels(), d->Surface->Width(), d->Surface->Height(), d->Surface->Stride(),
               QImage::Format_RGB32);
    QPainter p(this);
    p.setClipRegion(e->region());
    p.drawImage(QPoint(-x(), -y()), img);
  }
};

struct TDesktopOverlay {
  std::vector<uint8_t> Snapshot;
  int32_t Width = 0, Height = 0;
  std::vector<std::unique_ptr<TOverlayPiece>> Pieces;
  bool Locked = false;

  void Take(const TWindowSurface& S) {
    Width = S.Width();
    Height = S.Height();
    Snapshot.assign(static_cast<size_t>(Width) * Height * 4, 0);
    for (int32_t y = 0; y < Height && S.Pixels(); ++y)
      std::memcpy(Snapshot.data() + static_cast<size_t>(y) * Width * 4, S.Pixels() + static_cast<int64_t>(y) * S.Stride(),
                  static_cast<size_t>(Width) * 4);
  }
  // The changed pixels in blocks of Block x Block (a checkerboard pattern
  // counts as whole), as rectangles: runs of changed blocks along each block
  // row, runs of equal extent in following rows joined.
  std::vector<QRect> Changed(const TWindowSurface& S) const {
    constexpr int32_t Block = 2;
    std::vector<QRect> done, open;
    if (!S.Pixels() || S.Width() != Width || S.Height() != Height) return done;
    const int32_t bw = (Width + Block - 1) / Block, bh = (Height + Block - 1) / Block;
    std::vector<uint8_t> row(static_cast<size_t>(bw));
    for (int32_t by = 0; by < bh; ++by) {
      std::fill(row.begin(), row.end(), 0);
      for (int32_t y = by * Block; y < std::min(Height, (by + 1) * Block); ++y) {
        const auto* cur = reinterpret_cast<const uint32_t*>(S.Pixels() + static_cast<int64_t>(y) * S.Stride());
        const auto* old = reinterpret_cast<const uint32_t*>(Snapshot.data() + static_cast<size_t>(y) * Width * 4);
        for (int32_t x = 0; x < Width; ++x)
          if ((cur[x] ^ old[x]) & 0xFFFFFF) row[static_cast<size_t>(x / Block)] = 1;
      }
      std::vector<QRect> next;
      for (int32_t bx = 0; bx < bw;) {
        if (!row[static_cast<size_t>(bx)]) {
          ++bx;
          continue;
        }
        int32_t end = bx;
        while (end < bw && row[static_cast<size_t>(end)]) ++end;
        QRect run(bx * Block, by * Block, std::min(Width, end * Block) - bx * Block,
                  std::min(Height, (by + 1) * Block) - by * Block);
        auto same = std::find_if(open.begin(), open.end(), [&](const QRect& r) {
          return r.left() == run.left() && r.width() == run.width();
        });
        if (same != open.end()) {
          run.setTop(same->top());
          open.erase(same);
        }
        next.push_back(run);
        bx = end;
      }
      for (const QRect& r : open) done.push_back(r);
      open = std::move(next);
    }
    for (const QRect& r : open) done.push_back(r);
    return done;
  }
  void Show(const TWindowSurface& S) {
    std::vector<QRect> rects = Changed(S);
    // Never more than a handful of windows: the rest share one.
    constexpr size_t MaxPieces = 32;
    if (rects.size() > MaxPieces) {
      QRect rest;
      for (size_t i = MaxPieces - 1; i < rects.size(); ++i) rest |= rects[i];
      rects.resize(MaxPieces - 1);
      rects.push_back(rest);
    }
    while (Pieces.size() < rects.size()) Pieces.push_back(std::make_unique<TOverlayPiece>());
    for (size_t i = 0; i < Pieces.size(); ++i) {
      TOverlayPiece* piece = Pieces[i].get();
      if (i >= rects.size()) {
        piece->hide();
        continue;
      }
      if (piece->geometry() != rects[i]) piece->setGeometry(rects[i]);
      if (!piece->isVisible()) piece->show();
      piece->raise();
      piece->update();
    }
  }
  void Hide() {
    for (auto& piece : Pieces) piece->hide();
  }
  std::vector<TRect> Shown() const {
    std::vector<TRect> out;
    for (const auto& piece : Pieces)
      if (piece->isVisible()) {
        QRect g = piece->geometry();
        out.push_back(TRect{g.left(), g.top(), g.left() + g.width(), g.top() + g.height()});
      }
    return out;
  }
};
}  // namespace

namespace ui_backend {

bool Initialize(int argc, char** argv) {
  if (App) return true;
  if (QApplication::instance()) {
    App = qobject_cast<QApplication*>(QApplication::instance());
  } else {
    if (argc <= 0 || !argv) {
      argc = 1;
      argv = ArgvStore;
    }
    ArgcStore = argc;
    App = new QApplication(ArgcStore, argv);
    OwnApp = true;
  }
  if (!App) return false;
  App->setQuitOnLastWindowClosed(false);
  MainQtThread = App->thread();
  WaitTimer = new QTimer();
  WaitTimer->setSingleShot(true);
  return true;
}

void Finalize() {
  delete Overlay;
  Overlay = nullptr;
  delete WaitTimer;
  WaitTimer = nullptr;
  if (OwnApp) {
    App->processEvents();
    delete App;
  }
  App = nullptr;
  OwnApp = false;
  MainQtThread = nullptr;
}

bool Active() { return App != nullptr; }

bool NativeFrame(const TWindowRec* W) {
  return W && W->IsTopLevel() && !W->IsDesktop() && (W->Style & WS_CAPTION) == WS_CAPTION;
}

void CreatePresenter(TWindowRec* W) {
  if (!App || W->IsDesktop() || W->Queue != MainQueue()) return;
  W->Presenter = new TPresenter(W, nullptr, Qt::Widget);
  SyncPresenter(W);
}

void DestroyPresenter(TWindowRec* W) {
  if (!W->Presenter) return;
  TPresenter* p = W->Presenter;
  W->Presenter = nullptr;
  // Child presenters belong to their own records; keep Qt from deleting them.
  for (TWindowRec* c : W->Children)
    if (c->Presenter && c->Presenter->parentWidget() == p) c->Presenter->setParent(nullptr);
  for (TWindowRec* t : DesktopRec()->Children)
    if (t->Presenter && t->Presenter->parentWidget() == p) t->Presenter->setParent(nullptr, t->Presenter->windowFlags());
  p->hide();
  delete p;
}

void SyncPresenter(TWindowRec* W) {
  TPresenter* p = W->Presenter;
  if (!p) return;
  p->Syncing = true;
  bool top = W->IsTopLevel();
  bool native = NativeFrame(W);
  QWidget* wantParent = nullptr;
  Qt::WindowFlags flags = Qt::Widget;
  if (top) {
    flags = Qt::Window;
    if (native) {
      // The desktop's title bar offers the buttons the style asks for.
      flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
      if (W->Style & WS_SYSMENU) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
      if (W->Style & WS_MINIMIZEBOX) flags |= Qt::WindowMinimizeButtonHint;
      if (W->Style & WS_MAXIMIZEBOX) flags |= Qt::WindowMaximizeButtonHint;
      if (W->ExStyle & WS_EX_DLGMODALFRAME) flags |= Qt::Dialog;
    } else {
      flags |= Qt::FramelessWindowHint;
    }
    if (W->ExStyle & WS_EX_TOOLWINDOW) flags |= Qt::Tool;
    if (W->ExStyle & WS_EX_TOPMOST) flags |= Qt::WindowStaysOnTopHint;
    // A captionless topmost popup (a menu, a hint) is the program's alone:
    // the window manager neither frames nor stacks it, so it shows and goes
    // with the program's own requests. Managed, its frame would stay on the
    // screen until the window manager got round to it, after the program had
    // already painted what lay under it.
    if (!native && W->RefusesActivation() && (W->ExStyle & WS_EX_TOPMOST))
      flags |= Qt::X11BypassWindowManagerHint;
    // The desktop never gives these the keyboard, even on a click.
    if (W->RefusesActivation()) flags |= Qt::WindowDoesNotAcceptFocus;
    if (W->Owner && W->Owner->Presenter) wantParent = W->Owner->Presenter;
  } else if (W->Parent) {
    wantParent = W->Parent->Presenter;
  }
  if (p->parentWidget() != wantParent || p->windowFlags() != flags) {
    bool vis = p->isVisible();
    p->setParent(wantParent, flags);
    if (vis) p->hide();
  }
  if (top) {
    p->setAttribute(Qt::WA_ShowWithoutActivating, true);
    if (native) AskForCloseOnly(p, !(W->Style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX)));
  }
  p->TopLevel = top;
  p->Native = native;
  p->setFocusPolicy(top ? Qt::StrongFocus : Qt::NoFocus);
  if (top) p->setWindowTitle(QString::fromStdString(W->Text));
  // A framed window's state is the window manager's to show: it is asked
  // for it, and its geometry stays the manager's while not normal.
  bool managed = top && native && TPresenter::DesktopManagesState();
  if (managed) {
    Qt::WindowStates want = W->ShowState == 2   ? Qt::WindowStates(Qt::WindowMaximized)
                            : W->ShowState == 1 ? Qt::WindowStates(Qt::WindowMinimized)
                                                : Qt::WindowStates(Qt::WindowNoState);
    if ((p->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) != want)
      p->setWindowState(want);
  }
  QRect g;
  if (top) {
    TPoint o = PresenterOrigin(W);
    const TRect& b = W->Bounds;
    TRect inner = FrameInnerRect(W);
    if (native) g = QRect(b.Left + o.X, b.Top + o.Y, inner.Width(), inner.Height());
    else g = QRect(b.Left, b.Top, b.Width(), b.Height());
  } else {
    TWindowRec* par = W->Parent;
    TPoint po = PresenterOrigin(par);
    g = QRect(par->Client.Left + W->Bounds.Left - po.X, par->Client.Top + W->Bounds.Top - po.Y, W->Bounds.Width(),
              W->Bounds.Height());
  }
  // A frame without a sizing border keeps its size: the desktop offers no
  // way to resize it.
  if (managed) {
    const QSize fixed = (W->Style & WS_THICKFRAME) ? QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX) : g.size();
    const QSize least = (W->Style & WS_THICKFRAME) ? QSize(0, 0) : g.size();
    if (p->maximumSize() != fixed || p->minimumSize() != least) {
      p->setMinimumSize(least);
      p->setMaximumSize(fixed);
    }
  }
  if (p->geometry() != g && !(managed && W->ShowState != 0)) p->setGeometry(g);
  bool shown = (W->Style & WS_VISIBLE) && (W->ShowState != 1 || managed);
  // Compared with the widget's own state, not with what shows on screen: a
  // child never hidden explicitly would be shown by Qt with its parent.
  if (shown == p->isHidden() || !p->testAttribute(Qt::WA_WState_ExplicitShowHide)) {
    if (shown) {
      p->show();
    } else {
      p->hide();
    }
  }
  p->update();
  p->Syncing = false;
}

void ActivatePresenter(TWindowRec* W) {
  // Under a window manager activation is the desktop's to give.
  if (!App || !W || !W->IsTopLevel() || W->RefusesActivation() || !TPresenter::DesktopManagesState()) return;
  TPresenter* p = W->Presenter;
  // Shown windows only; one just shown is activated once it is mapped.
  if (!p || !p->isVisible() || p->isActiveWindow()) return;
  p->activateWindow();
}

bool PresenterActive(const TWindowRec* W) { return W && W->Presenter && W->Presenter->isActiveWindow(); }

void SyncZOrder(TWindowRec* Parent) {
  if (!App) return;
  // The offscreen desktop has no stacking of top-level windows.
  if (Parent->IsDesktop() && QGuiApplication::platformName() == "offscreen") return;
  for (auto it = Parent->Children.rbegin(); it != Parent->Children.rend(); ++it)
    if (TPresenter* p = (*it)->Presenter) {
      if (Parent->IsDesktop() && !p->isVisible()) continue;
      p->raise();
    }
}

void PresentRect(TWindowRec* W, const TRect& R) {
  if (!App) return;
  if (W->IsDesktop()) {
    if (!W->Surface) return;
    if (!Overlay) Overlay = new TDesktopOverlay();
    if (R.Left == -1 && R.Right == -1) {
      // Lock: remember the screen as it is and show differences from it.
      Overlay->Take(*W->Surface);
      Overlay->Hide();
      Overlay->Locked = true;
    } else if (R.Right <= R.Left) {
      Overlay->Hide();
      Overlay->Locked = false;
    } else {
      Overlay->Show(*W->Surface);
    }
    return;
  }
  if (!W->Presenter) return;
  TPoint o = PresenterOrigin(W);
  W->Presenter->update(QRect(R.Left - o.X, R.Top - o.Y, R.Right - R.Left, R.Bottom - R.Top));
}

void PumpEvents() {
  if (!App) return;
  // Drawing on the locked desktop shows when the thread next looks at its
  // queue, as drawing on a screen does.
  if (Overlay && Overlay->Locked && DesktopRec()->Surface) Overlay->Show(*DesktopRec()->Surface);
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  if (PendingError) {
    std::exception_ptr e = PendingError;
    PendingError = nullptr;
    std::rethrow_exception(e);
  }
}

void WaitEvents(int32_t TimeoutMs) {
  if (!App) return;
  if (TimeoutMs >= 0) WaitTimer->start(std::max(TimeoutMs, 1));
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
  WaitTimer->stop();
}

void Wake() {
  if (!App || !MainQtThread) return;
  if (auto* d = QAbstractEventDispatcher::instance(MainQtThread)) d->wakeUp();
}

void SetCursorShape(HCURSOR Cursor) {
  TCursorInfo info;
  if (!App || !Cursor || !GetCursorInfo(Cursor, info)) return;
  QCursor c;
  if (info.StockId) {
    Qt::CursorShape s = Qt::ArrowCursor;
    switch (info.StockId) {
      case IDC_IBEAM: s = Qt::IBeamCursor; break;
      case IDC_WAIT: s = Qt::WaitCursor; break;
      case IDC_CROSS: s = Qt::CrossCursor; break;
      case IDC_UPARROW: s = Qt::UpArrowCursor; break;
      case IDC_SIZENWSE: s = Qt::SizeFDiagCursor; break;
      case IDC_SIZENESW: s = Qt::SizeBDiagCursor; break;
      case IDC_SIZEWE: s = Qt::SizeHorCursor; break;
      case IDC_SIZENS: s = Qt::SizeVerCursor; break;
      case IDC_SIZEALL: s = Qt::SizeAllCursor; break;
      case IDC_NO: s = Qt::ForbiddenCursor; break;
      case IDC_HAND: s = Qt::PointingHandCursor; break;
      case IDC_APPSTARTING: s = Qt::BusyCursor; break;
      case IDC_HELP: s = Qt::WhatsThisCursor; break;
    }
    c = QCursor(s);
  } else {
    // Bitmap and mask as the toolkit reads them: a set bit is colour 1
    // (black), a clear one colour 0 (white). Without this colour table the
    // conversion to bitmaps sees both indexes as black, and every made
    // cursor would be a solid black square.
    const QList<QRgb> monoColours = {qRgb(255, 255, 255), qRgb(0, 0, 0)};
    QImage bits(info.Width, info.Height, QImage::Format_Mono), mask(info.Width, info.Height, QImage::Format_Mono);
    bits.setColorTable(monoColours);
    mask.setColorTable(monoColours);
    bits.fill(0);
    mask.fill(0);
    for (int32_t y = 0; y < info.Height; ++y)
      for (int32_t x = 0; x < info.Width; ++x) {
        TCursorPixel px = info.Pixel(x, y);
        bits.setPixel(x, y, px == cpBlack || px == cpInvert ? 1 : 0);
        mask.setPixel(x, y, px == cpBlack || px == cpWhite ? 1 : 0);
      }
    c = QCursor(QBitmap::fromImage(bits), QBitmap::fromImage(mask), info.HotX, info.HotY);
  }
  if (QApplication::overrideCursor()) QApplication::changeOverrideCursor(c);
  else QApplication::setOverrideCursor(c);
#if QT_CONFIG(xcb)
  // The X server sees the new cursor at once, also when the program then
  // works for a while without reading its events (the busy cursor).
  auto* x11 = App->nativeInterface<QNativeInterface::QX11Application>();
  if (xcb_connection_t* conn = x11 ? x11->connection() : nullptr) xcb_flush(conn);
#endif
}

bool SaveBgrxAsPng(const std::string& FileName, int32_t Width, int32_t Height, const uint8_t* Pixels, int32_t Stride) {
  if (Width <= 0 || Height <= 0 || !Pixels) return false;
  QImage img(Pixels, Width, Height, Stride, QImage::Format_RGB32);
  return img.save(QString::fromStdString(FileName), "PNG");
}

bool GrabScreen(const TRect& R, std::vector<uint8_t>& Pixels) {
  if (!App || R.Right <= R.Left || R.Bottom <= R.Top) return false;
  QScreen* s = QGuiApplication::primaryScreen();
  if (!s) return false;
  QPixmap pm = s->grabWindow(0, R.Left, R.Top, R.Width(), R.Height());
  if (pm.isNull()) return false;
  QImage img = pm.toImage().convertToFormat(QImage::Format_RGB32);
  const int32_t w = R.Width(), h = R.Height();
  Pixels.assign(static_cast<size_t>(w) * h * 4, 0);
  for (int32_t y = 0; y < std::min(h, img.height()); ++y) {
    const auto* src = reinterpret_cast<const uint32_t*>(img.constScanLine(y));
    auto* dst = reinterpret_cast<uint32_t*>(Pixels.data() + static_cast<size_t>(y) * w * 4);
    for (int32_t x = 0; x < std::min(w, img.width()); ++x) dst[x] = src[x] & 0xFFFFFFu;
  }
  return true;
}

bool CanGrabScreen() { return App && TPresenter::DesktopManagesState(); }

void PresentNow(TWindowRec* W) {
  TPresenter* p = W->Presenter;
  if (!App || !p || !p->isVisible()) return;
  QWidget* top = p->window();
  if (!top->testAttribute(Qt::WA_Mapped)) {
    // Shown during work on the main thread: the desktop maps the window
    // when its events are seen (input waits for the queue).
    QElapsedTimer waited;
    waited.start();
    do {
      QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
      if (top->testAttribute(Qt::WA_Mapped) || !TPresenter::DesktopManagesState() || ClockIsVirtual()) break;
      QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents, 10);
    } while (!top->testAttribute(Qt::WA_Mapped) && waited.elapsed() < 250);
    // Input that came meanwhile is held back by the toolkit, which takes it
    // only once woken: without this it would wait for the desktop's next
    // event (keys typed as a menu opens, lost until another key comes).
    Wake();
    if (!W->Presenter) return;
  }
  p->repaint();
  // On a desktop, the display has then done all that was asked of it (a
  // menu closed over this window included) and the exposures that followed
  // are answered: work that runs next on the main thread leaves the screen
  // as it now is, not with a closed menu still painted on it.
  if (TPresenter::DesktopManagesState()) QGuiApplication::sync();
}

std::vector<TRect> OverlayRects() { return Overlay ? Overlay->Shown() : std::vector<TRect>{}; }

uint32_t FrameButtons(TWindowRec* W) {
  TPresenter* p = W ? W->Presenter : nullptr;
  if (!p || !p->isWindow() || (p->windowFlags() & Qt::FramelessWindowHint)) return 0;
  Qt::WindowFlags f = p->windowFlags();
  // Without customising, the desktop shows all three.
  if (!(f & Qt::CustomizeWindowHint)) return 7;
  return ((f & Qt::WindowCloseButtonHint) ? 1u : 0u) | ((f & Qt::WindowMinimizeButtonHint) ? 2u : 0u) |
         ((f & Qt::WindowMaximizeButtonHint) ? 4u : 0u);
}

bool SaveScreenshot(const std::string& FileName) {
  if (!App) return false;
  QScreen* s = QGuiApplication::primaryScreen();
  if (!s) return false;
  QPixmap pm = s->grabWindow(0);
  if (pm.isNull()) return false;
  return pm.save(QString::fromStdString(FileName), "PNG");
}

int32_t ShowMessageBox(HWND Owner, const std::string& Text, const std::string& Caption, uint32_t Type) {
  if (!App || ClockIsVirtual()) return -1;
  QString platform = QGuiApplication::platformName();
  if (platform == "offscreen" || platform == "minimal") return -1;
  // The buttons in their order; MB_DEFBUTTONn picks the one Enter presses.
  std::vector<QMessageBox::StandardButton> order;
  switch (Type & 0x0F) {
    case 1: order = {QMessageBox::Ok, QMessageBox::Cancel}; break;
    case 2: order = {QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore}; break;
    case 3: order = {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}; break;
    case 4: order = {QMessageBox::Yes, QMessageBox::No}; break;
    case 5: order = {QMessageBox::Retry, QMessageBox::Cancel}; break;
    default: order = {QMessageBox::Ok}; break;
  }
  QMessageBox::StandardButtons buttons;
  for (QMessageBox::StandardButton b : order) buttons |= b;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  switch (Type & 0xF0) {
    case 0x10: icon = QMessageBox::Critical; break;
    case 0x20: icon = QMessageBox::Question; break;
    case 0x30: icon = QMessageBox::Warning; break;
    case 0x40: icon = QMessageBox::Information; break;
  }
  TWindowRec* o = Rec(GetAncestorTopLevel(Owner));
  QMessageBox box(icon, QString::fromStdString(Caption), QString::fromStdString(Text), buttons,
                  o && o->Presenter ? o->Presenter : nullptr);
  box.setWindowModality(Qt::ApplicationModal);
  box.setDefaultButton(order[std::min<size_t>((Type >> 8) & 0x0F, order.size() - 1)]);
  AskForCloseOnly(&box, true);
  // Our windows wait while the box is up; our queue keeps running.
  const TWaitingWindows waiting = DisableOtherWindows(nullptr);
  box.show();
  while (box.isVisible()) {
    TMsg m;
    if (PeekMessage(m, nullptr, 0, 0, PM_REMOVE)) {
      if (m.message == WM_QUIT) {
        PostQuitMessage(static_cast<int32_t>(m.wParam));
        break;
      }
      TranslateMessage(m);
      DispatchMessage(m);
    } else {
      WaitEvents(50);
    }
  }
  EnableWindows(waiting);
  switch (box.result()) {
    case QMessageBox::Ok: return 1;
    case QMessageBox::Cancel: return 2;
    case QMessageBox::Abort: return 3;
    case QMessageBox::Retry: return 4;
    case QMessageBox::Ignore: return 5;
    case QMessageBox::Yes: return 6;
    case QMessageBox::No: return 7;
  }
  return 2;
}

bool InjectNativeClick(TPoint ScreenPt) {
  if (!App) return false;
  QWidget* w = QApplication::widgetAt(QPoint(ScreenPt.X, ScreenPt.Y));
  auto* p = dynamic_cast<TPresenter*>(w);
  if (!p) {
    // Without a window manager's help, find the presenter ourselves.
    HWND h = WindowFromPoint(ScreenPt);
    TWindowRec* r = Rec(h);
    p = r ? r->Presenter : nullptr;
  }
  if (!p) return false;
  TPoint o = WindowOriginOnScreen(p->W);
  TPoint po = PresenterOrigin(p->W);
  QPointF local(ScreenPt.X - o.X - po.X, ScreenPt.Y - o.Y - po.Y);
  QPointF global(ScreenPt.X, ScreenPt.Y);
  QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(p, &press);
  QApplication::sendEvent(p, &release);
  return true;
}

void* NativeWidget(HWND Wnd) {
  TWindowRec* w = Rec(Wnd);
  return w && w->Presenter ? static_cast<QWidget*>(w->Presenter) : nullptr;
}

void CaptureNativeContent(TWindowRec* W) {
  if (!W->Presenter || !W->Surface || !W->Surface->Pixels()) return;
  QImage img(W->Surface->Pixels(), W->Surface->Width(), W->Surface->Height(), W->Surface->Stride(),
             QImage::Format_RGB32);
  QPainter p(&img);
  TPoint o = PresenterOrigin(W);
  for (QObject* c : W->Presenter->children()) {
    auto* w = qobject_cast<QWidget*>(c);
    if (!w || dynamic_cast<TPresenter*>(w) || !w->isVisible()) continue;
    w->render(&p, QPoint(w->x() + o.X, w->y() + o.Y), QRegion(), QWidget::DrawChildren);
  }
}

std::string PlatformName() { return App ? QGuiApplication::platformName().toStdString() : std::string(); }

namespace {
int32_t OverrideW = 0, OverrideH = 0;
}
void SetScreenSizeOverride(int32_t Width, int32_t Height) {
  OverrideW = Width;
  OverrideH = Height;
}

bool ScreenSize(int32_t& Width, int32_t& Height) {
  if (OverrideW > 0 && OverrideH > 0) {
    Width = OverrideW;
    Height = OverrideH;
    return true;
  }
  if (!App) return false;
  QScreen* s = QGuiApplication::primaryScreen();
  if (!s) return false;
  Width = s->geometry().width();
  Height = s->geometry().height();
  return Width > 0 && Height > 0;
}

}  // namespace ui_backend
