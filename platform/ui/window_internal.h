// What the window system's own source files share: the window records, the
// per-thread queues, the clock and the presentation backend. Not for use
// outside platform/ui.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/gdi/surface.h"
#include "platform/ui/cursors.h"
#include "platform/ui/window.h"

class TThread;

namespace ui_internal {

struct TThreadQueue;
struct TPresenter;  // the backend's object that shows a window (a QWidget)

struct TScrollBarState {
  int32_t Min = 0, Max = 0;
  uint32_t Page = 0;
  int32_t Pos = 0, TrackPos = 0;
  bool Shown = false;
  bool Tracking = false;
};

struct TWindowRec {
  uintptr_t Id = 0;
  HWND Handle = nullptr;
  TThreadQueue* Queue = nullptr;
  WNDPROC Proc;
  TWindowRec* Parent = nullptr;  // the desktop for top-level windows
  TWindowRec* Owner = nullptr;
  std::vector<TWindowRec*> Children;  // topmost first
  uint32_t Style = 0, ExStyle = 0, ClassStyle = 0;
  int32_t IdValue = 0;
  std::string Text;
  TRect Bounds;  // parent client coordinates (screen for top-level windows)
  TRect Client;  // client area relative to the window's top-left corner
  void* UserData = nullptr;
  bool Destroying = false;
  bool Created = false;
  // painting
  std::vector<TRect> Update;  // client coordinates
  bool UpdateErase = false;
  bool NcDirty = false;
  std::unique_ptr<TWindowSurface> Surface;
  int32_t ShowState = 0;  // 0 normal, 1 minimised, 2 maximised
  TRect NormalBounds;
  TScrollBarState Bars[2];
  TPresenter* Presenter = nullptr;
  // Toolkit widgets (standard controls) live on the presenter; read-back
  // renders them into the back buffer first.
  bool NativeContent = false;
  std::vector<int32_t> DCSaves;  // SaveDC levels of open GetDC/BeginPaint calls
  // The window that had the keyboard when this top-level window was
  // disabled: it gets it back when the window is enabled again.
  HWND FocusBeforeDisable = nullptr;

  bool IsTopLevel() const { return (Style & WS_CHILD) == 0; }
  bool IsDesktop() const { return Parent == nullptr; }
  // A captionless popup tool window (a menu, a hint, a floating toolbar, a
  // drag outline) never becomes the active window, nor takes the keyboard.
  bool RefusesActivation() const {
    return (ExStyle & WS_EX_TOOLWINDOW) && (Style & WS_POPUP) && (Style & WS_CAPTION) != WS_CAPTION;
  }
};

// Raw input waiting in a queue: its target is decided when it is looked at,
// so that capture set by an earlier message applies to later input.
enum class TItemKind { Posted, Mouse, Key, Invoke };

struct TQueueItem {
  TItemKind Kind = TItemKind::Posted;
  TMsg Msg;                // posted: the message; input: message kind, time, pt, WParam = key
  uint32_t Modifiers = 0;  // MK_ bits, plus ModAlt
  uint32_t Char = 0;       // key input: the character it types, 0 for none
  std::function<void()> Invoke;
  std::shared_ptr<struct TInvokeWait> Wait;
};
constexpr uint32_t ModAlt = 0x1000;

struct TInvokeWait {
  std::mutex M;
  std::condition_variable CV;
  bool Done = false;
  std::exception_ptr Error;
};

struct TTimerRec {
  HWND Wnd = nullptr;
  uintptr_t Id = 0;
  uint32_t Interval = 0;
  uint64_t Due = 0;
};

struct TThreadQueue {
  std::thread::id Thread;
  std::mutex M;
  std::condition_variable CV;
  std::deque<TQueueItem> Items;
  bool QuitPosted = false;
  int32_t QuitCode = 0;
  std::vector<TTimerRec> Timers;
  // input state as of the last retrieved input message
  TPoint CursorPos;
  uint8_t Keys[256] = {};
  // last retrieved key input, for TranslateMessage
  HWND LastKeyWnd = nullptr;
  uint32_t LastKeyVk = 0;
  uint32_t LastKeyChar = 0;
  // double-click detection
  uint32_t LastDownMsg = 0;
  HWND LastDownWnd = nullptr;
  uint32_t LastDownTime = 0;
  TPoint LastDownPt;
  bool LastWasDouble = false;
  // focus, activation and capture of this thread
  HWND Focus = nullptr;
  HWND Active = nullptr;
  HWND Capture = nullptr;
};

// ---- records ----
TWindowRec* Rec(HWND Wnd);  // nullptr for a stale or null handle
TWindowRec* DesktopRec();
std::recursive_mutex& TableMutex();
TThreadQueue& CurrentQueue();
TThreadQueue* MainQueue();
// Windows of the calling thread's top level, in z-order (topmost first).
std::vector<TWindowRec*> TopLevels();

// The window that mouse input at a screen point goes to, with its hit
// code; false when none (a disabled top-level window swallows it).
bool HitTestScreen(TPoint P, HWND& Target, int32_t& Code);

// ---- geometry helpers ----
TPoint WindowOriginOnScreen(const TWindowRec* W);  // top-left of the window rectangle
TPoint ClientOriginOnScreen(const TWindowRec* W);
bool IsShownTree(const TWindowRec* W);  // itself and all parents visible
// Recomputes the client rectangle through WM_NCCALCSIZE.
void RecalcClient(TWindowRec* W);
// The desktop (its window manager) minimised (1), maximised (2) or restored
// (0) a top-level window: the record follows, keeping the restored bounds
// apart, and the window gets WM_SIZE with the kind.
void DesktopShowStateChanged(TWindowRec* W, int32_t State);
// The desktop moved or resized a top-level window: its new rectangle on
// screen, frame included; the window gets WM_MOVE and WM_SIZE as for
// SetWindowPos.
void DesktopBoundsChanged(TWindowRec* W, const TRect& Bounds);
// What the screen shows in a rectangle, as 32-bit top-down pixels (blue,
// green, red, 0): the desktop's own picture where the toolkit can take it,
// else this application's windows composed over black.
void ReadScreenPixels(const TRect& R, std::vector<uint8_t>& Pixels);

// ---- painting ----
void InvalidateClient(TWindowRec* W, const TRect& R, bool Erase);
void InvalidateFrame(TWindowRec* W);
void EnsureSurface(TWindowRec* W);
// Marks window pixels as changed so the backend shows them again.
void PresentWindowRect(TWindowRec* W, const TRect& WindowRect);
// W and its children as they are composed on screen, as 32-bit top-down
// pixels (blue, green, red, 0): the whole window or its client area.
bool ComposeWindowPixels(HWND Wnd, std::vector<uint8_t>& Pixels, int32_t& Width, int32_t& Height, bool ClientOnly);
// Fills a transparent window's surface with what lies below it.
void ComposeBelow(TWindowRec* W);
// The default non-client painting: borders, caption and scroll bars.
void DefaultNcPaint(TWindowRec* W);
int32_t DefaultNcHitTest(TWindowRec* W, TPoint ScreenPt);
void DefaultNcCalcSize(TWindowRec* W, TRect& R);
// The window inside its border and caption (window coordinates): what a
// desktop-drawn frame leaves for us to present (menu bar, scroll bars, client).
TRect FrameInnerRect(const TWindowRec* W);
// Scroll-bar interaction of DefWindowProc on a non-client button press.
void TrackScrollBar(TWindowRec* W, int32_t Bar, TPoint ScreenPt);
TRect ScrollBarRect(TWindowRec* W, int32_t Bar);  // window coordinates

// ---- queue ----
void QueueInput(TThreadQueue& Q, TQueueItem Item);
void WakeQueue(TThreadQueue& Q);
// Sends a message through the window procedure (same thread).
LRESULT CallProc(TWindowRec* W, uint32_t Msg, WPARAM WParam, LPARAM LParam);

// Worker threads that are blocked (virtual sleep, waiting on the main
// thread or on their own queue), and worker threads that run at all; the
// test driver waits until every running worker is blocked.
extern std::atomic<int32_t> WorkersWaiting;
extern std::atomic<int32_t> WorkersRunning;
// Makes the calling thread the main thread (window system start-up).
void BecomeMainThread();

// ---- clock ----
uint64_t ClockNow();
bool ClockIsVirtual();
void ClockSetVirtual(bool Virtual, uint64_t Start);
void ClockAdvanceTo(uint64_t T);
// The earliest due time of this thread's timers and of virtual sleepers;
// UINT64_MAX for none.
uint64_t NextTimerDue(TThreadQueue& Q);
uint64_t NextSleeperDue();
// Drops a pending alert of a thread being freed.
void ForgetThreadAlert(TThread* Thread);

// ---- what the test driver plugs in ----
struct TDriverHooks {
  // Called by a blocking wait of the main thread that nothing can end.
  // Returns true when it did something (the wait looks again); throws to
  // fail the test.
  std::function<bool()> OnBlock;
};
TDriverHooks& DriverHooks();

// ---- cursors ----
void ApplyCursor(HCURSOR Cursor);

// ---- clipboard ----
// A window made again (new handle for the same control) keeps its place in
// the clipboard viewer chain.
void ClipboardViewerRecreated(HWND Old, HWND New);

}  // namespace ui_internal

// ---- the presentation backend (Qt), implemented in qt_backend.cpp ----
namespace ui_backend {
using ui_internal::TWindowRec;
bool Initialize(int argc, char** argv);
void Finalize();
bool Active();
void CreatePresenter(TWindowRec* W);
void DestroyPresenter(TWindowRec* W);
// Brings the presenter in line with the record: parent, geometry, z-order,
// visibility, title, frame kind.
void SyncPresenter(TWindowRec* W);
void SyncZOrder(TWindowRec* Parent);
void PresentRect(TWindowRec* W, const TRect& WindowRect);
void PumpEvents();
// Waits for backend events or a wake-up, at most TimeoutMs (-1: no limit).
void WaitEvents(int32_t TimeoutMs);
void Wake();
void SetCursorShape(HCURSOR Cursor);
bool SaveBgrxAsPng(const std::string& FileName, int32_t Width, int32_t Height, const uint8_t* Pixels, int32_t Stride);
bool SaveScreenshot(const std::string& FileName);
// What the desktop shows in a screen rectangle, as 32-bit top-down pixels
// (blue, green, red, 0); false when the toolkit cannot take it.
bool GrabScreen(const TRect& R, std::vector<uint8_t>& Pixels);
// Whether GrabScreen takes a real desktop's picture (not a headless one).
bool CanGrabScreen();
// Shows a window's presenter as it is now, without waiting for the event
// loop; a window shown during work is first given to the desktop to map.
void PresentNow(TWindowRec* W);
// The screen rectangles of what the locked desktop shows over the screen.
std::vector<TRect> OverlayRects();
// The title-bar buttons a top-level window asks the desktop for: 1 close,
// 2 minimise, 4 maximise; 0 for a window without the desktop's frame.
uint32_t FrameButtons(TWindowRec* W);
void SetDesktopClipboardText(const std::string& Text);
// Sends a left click at a screen point through the toolkit's own input
// path (as the desktop would deliver it); false when no window of ours is there.
bool InjectNativeClick(TPoint ScreenPt);
// The toolkit platform in use ("xcb", "offscreen", ...).
std::string PlatformName();
// The QWidget that presents a window, as an opaque pointer, for the standard
// controls that put a toolkit widget of their own on it (they set
// NativeContent on the record). Null without a presenter.
void* NativeWidget(HWND Wnd);
// Renders the toolkit widgets on a window's presenter into its back buffer.
void CaptureNativeContent(TWindowRec* W);
// Shows a message box on a real desktop and runs our queue until it is
// answered; -1 when there is no desktop to show it on.
int32_t ShowMessageBox(HWND Owner, const std::string& Text, const std::string& Caption, uint32_t Type);
bool ScreenSize(int32_t& Width, int32_t& Height);
// A fixed screen size (the test driver's), 0 x 0 to follow the desktop.
void SetScreenSizeOverride(int32_t Width, int32_t Height);
// Whether a top-level window's frame is drawn by the desktop (its presenter
// shows only the client area).
bool NativeFrame(const TWindowRec* W);
// Asks the desktop to make a shown top-level window its active one (the
// keyboard goes to it); nothing on a desktop without a window manager.
void ActivatePresenter(TWindowRec* W);
// Whether the desktop holds this top-level window as its active one now.
bool PresenterActive(const TWindowRec* W);
}  // namespace ui_backend
