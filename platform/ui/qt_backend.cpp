// The presentation backend on Qt Widgets: every window has a QWidget that
// shows its back buffer and feeds mouse and key input into our queue. Qt
// types stay in this file.
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QBitmap>
#include <QCloseEvent>
#include <QCursor>
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
#include <cstring>

#include "platform/gdi/dc.h"
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
  void keyPressEvent(QKeyEvent* e) override { QueueKey(WM_KEYDOWN, e); }
  void keyReleaseEvent(QKeyEvent* e) override {
    if (!e->isAutoRepeat()) QueueKey(WM_KEYUP, e);
  }
  void changeEvent(QEvent* e) override {
    QWidget::changeEvent(e);
    if (e->type() != QEvent::ActivationChange || !TopLevel || ClockIsVirtual()) return;
    if (QGuiApplication::platformName() == "offscreen") return;
    if (isActiveWindow()) PostMessage(W->Handle, CM_DESKTOPACTIVATE, 1, 0);
    else if (!QApplication::activeWindow()) PostMessage(W->Handle, CM_DESKTOPACTIVATE, 0, 0);
  }
  void closeEvent(QCloseEvent* e) override {
    e->ignore();
    PostMessage(W->Handle, WM_CLOSE, 0, 0);
  }
  void resizeEvent(QResizeEvent*) override {
    if (Syncing || !TopLevel) return;
    // The desktop resized the window: follow it.
    TPoint po = PresenterOrigin(W);
    TRect inner = FrameInnerRect(W);
    int32_t extraW = W->Bounds.Width() - (Native ? inner.Width() : W->Bounds.Width());
    int32_t extraH = W->Bounds.Height() - (Native ? inner.Height() : W->Bounds.Height());
    (void)po;
    int32_t nw = width() + extraW, nh = height() + extraH;
    if (nw == W->Bounds.Width() && nh == W->Bounds.Height()) return;
    try {
      SetWindowPos(W->Handle, nullptr, 0, 0, nw, nh, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    } catch (...) {
      PendingError = std::current_exception();
    }
  }
  void moveEvent(QMoveEvent*) override {
    if (Syncing || !TopLevel) return;
    QPoint g = Native ? geometry().topLeft() : pos();
    TPoint po = PresenterOrigin(W);
    int32_t x = g.x() - po.X, y = g.y() - po.Y;
    int32_t w = W->Bounds.Width(), h = W->Bounds.Height();
    W->Bounds = TRect{x, y, x + w, y + h};
  }
};

}  // namespace ui_internal

namespace {
struct TDesktopOverlay : public QWidget {
  std::vector<uint8_t> Snapshot;
  TDesktopOverlay() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_ShowWithoutActivating);
  }
  void paintEvent(QPaintEvent*) override {
    TWindowRec* d = DesktopRec();
    if (!d->Surface || !d->Surface->Pixels()) return;
    int32_t w = d->Surface->Width(), h = d->Surface->Height();
    QImage img(w, h, QImage::Format_ARGB32);
    const uint8_t* px = d->Surface->Pixels();
    for (int32_t y = 0; y < h; ++y) {
      auto* out = reinterpret_cast<uint32_t*>(img.scanLine(y));
      const auto* cur = reinterpret_cast<const uint32_t*>(px + static_cast<int64_t>(y) * d->Surface->Stride());
      const uint32_t* snap = Snapshot.size() >= static_cast<size_t>(w) * h * 4
                                 ? reinterpret_cast<const uint32_t*>(Snapshot.data()) + static_cast<int64_t>(y) * w
                                 : nullptr;
      for (int32_t x = 0; x < w; ++x)
        out[x] = (snap && (cur[x] & 0xFFFFFF) == (snap[x] & 0xFFFFFF)) ? 0u : (cur[x] | 0xFF000000u);
    }
    QPainter p(this);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(0, 0, img);
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
    if (!native) flags |= Qt::FramelessWindowHint;
    if (W->ExStyle & WS_EX_TOOLWINDOW) flags |= Qt::Tool;
    if (W->ExStyle & WS_EX_TOPMOST) flags |= Qt::WindowStaysOnTopHint;
    if (W->Owner && W->Owner->Presenter) wantParent = W->Owner->Presenter;
  } else if (W->Parent) {
    wantParent = W->Parent->Presenter;
  }
  if (p->parentWidget() != wantParent || p->windowFlags() != flags) {
    bool vis = p->isVisible();
    p->setParent(wantParent, flags);
    if (vis) p->hide();
  }
  p->TopLevel = top;
  p->Native = native;
  p->setFocusPolicy(top ? Qt::StrongFocus : Qt::NoFocus);
  if (top) p->setWindowTitle(QString::fromStdString(W->Text));
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
  if (p->geometry() != g) p->setGeometry(g);
  bool shown = (W->Style & WS_VISIBLE) && W->ShowState != 1;
  if (shown != p->isVisible()) {
    if (shown) {
      if (top) p->setAttribute(Qt::WA_ShowWithoutActivating, true);
      p->show();
    } else {
      p->hide();
    }
  }
  p->update();
  p->Syncing = false;
}

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
    if (!Overlay) Overlay = new TDesktopOverlay();
    if (R.Left == -1 && R.Right == -1) {
      // Lock: remember the screen as it is and show differences from it.
      const uint8_t* px = W->Surface ? W->Surface->Pixels() : nullptr;
      size_t n = W->Surface ? static_cast<size_t>(W->Surface->Stride()) * W->Surface->Height() : 0;
      Overlay->Snapshot.assign(px, px + (px ? n : 0));
      Overlay->setGeometry(0, 0, W->Bounds.Width(), W->Bounds.Height());
      Overlay->show();
    } else if (R.Right <= R.Left) {
      Overlay->hide();
    } else {
      Overlay->update();
    }
    return;
  }
  if (!W->Presenter) return;
  TPoint o = PresenterOrigin(W);
  W->Presenter->update(QRect(R.Left - o.X, R.Top - o.Y, R.Right - R.Left, R.Bottom - R.Top));
}

void PumpEvents() {
  if (!App) return;
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
    QImage bits(info.Width, info.Height, QImage::Format_Mono), mask(info.Width, info.Height, QImage::Format_Mono);
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
}

bool SaveBgrxAsPng(const std::string& FileName, int32_t Width, int32_t Height, const uint8_t* Pixels, int32_t Stride) {
  if (Width <= 0 || Height <= 0 || !Pixels) return false;
  QImage img(Pixels, Width, Height, Stride, QImage::Format_RGB32);
  return img.save(QString::fromStdString(FileName), "PNG");
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
  QMessageBox::StandardButtons buttons;
  switch (Type & 0x0F) {
    case 1: buttons = QMessageBox::Ok | QMessageBox::Cancel; break;
    case 2: buttons = QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore; break;
    case 3: buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
    case 4: buttons = QMessageBox::Yes | QMessageBox::No; break;
    case 5: buttons = QMessageBox::Retry | QMessageBox::Cancel; break;
    default: buttons = QMessageBox::Ok; break;
  }
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
  // Our windows wait while the box is up; our queue keeps running.
  std::vector<HWND> disabled;
  for (HWND h : GetChildWindows(nullptr))
    if (IsWindowVisible(h) && IsWindowEnabled(h)) {
      EnableWindow(h, false);
      disabled.push_back(h);
    }
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
  for (HWND h : disabled)
    if (IsWindow(h)) EnableWindow(h, true);
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
