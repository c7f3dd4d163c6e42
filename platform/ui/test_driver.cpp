// The headless test driver.
#include "platform/ui/test_driver.h"

#include <chrono>
#include <cstdlib>

#include "platform/gdi/dc.h"
#include "platform/ui/controls.h"
#include "platform/ui/forms.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/window_internal.h"

using namespace ui_internal;

TColor TWindowImage::Pixel(int32_t X, int32_t Y) const {
  if (X < 0 || Y < 0 || X >= Width || Y >= Height) return 0xFFFFFFFF;
  const uint8_t* p = Pixels.data() + (static_cast<size_t>(Y) * static_cast<size_t>(Width) + static_cast<size_t>(X)) * 4;
  return static_cast<TColor>(p[2]) | (static_cast<TColor>(p[1]) << 8) | (static_cast<TColor>(p[0]) << 16);
}

bool TWindowImage::SavePng(const std::string& FileName) const {
  return ui_backend::SaveBgrxAsPng(FileName, Width, Height, Pixels.data(), Width * 4);
}

TUiTestDriver::TUiTestDriver(int32_t ScreenWidth, int32_t ScreenHeight) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  ui_backend::SetScreenSizeOverride(ScreenWidth, ScreenHeight);
  SetScreenSize(ScreenWidth, ScreenHeight);
  ClockSetVirtual(true, 0);
  if (!Application) {
    InitializeForms(0, nullptr);
    FOwnsForms = true;
  }
  DriverHooks().OnBlock = [this] { return OnBlock(); };
  SetMessageBoxHook([this](HWND, const std::string& Text, const std::string& Caption, uint32_t Type) {
    int32_t answer = DefaultMessageBoxAnswer(Type);
    if (!FAnswers.empty()) {
      answer = FAnswers.front();
      FAnswers.pop_front();
    }
    FBoxes.push_back(TMessageBoxRecord{Text, Caption, Type, answer});
    return answer;
  });
}

TUiTestDriver::~TUiTestDriver() {
  DriverHooks().OnBlock = nullptr;
  SetMessageBoxHook(nullptr);
  if (FOwnsForms) FinalizeForms();
  ClockSetVirtual(false, 0);
  ui_backend::SetScreenSizeOverride(0, 0);
}

void TUiTestDriver::QueueMouse(uint32_t Kind, TPoint P, uint32_t Buttons, WPARAM Extra) {
  TQueueItem it;
  it.Kind = TItemKind::Mouse;
  it.Msg.message = Kind;
  it.Msg.pt = P;
  it.Msg.wParam = Extra;
  it.Msg.time = static_cast<uint32_t>(ClockNow());
  it.Modifiers = Buttons | FModifiers;
  QueueInput(*MainQueue(), std::move(it));
}

void TUiTestDriver::MouseMove(TPoint P) { QueueMouse(WM_MOUSEMOVE, P, FButtons); }

static uint32_t DownKind(uint32_t Button) {
  return Button == MK_RBUTTON ? WM_RBUTTONDOWN : Button == MK_MBUTTON ? WM_MBUTTONDOWN : WM_LBUTTONDOWN;
}

void TUiTestDriver::MouseDown(TPoint P, uint32_t Button) {
  FButtons |= Button;
  QueueMouse(DownKind(Button), P, FButtons);
}

void TUiTestDriver::MouseUp(TPoint P, uint32_t Button) {
  FButtons &= ~Button;
  QueueMouse(DownKind(Button) + 1, P, FButtons);
}

void TUiTestDriver::Click(TPoint P, uint32_t Button) {
  MouseMove(P);
  MouseDown(P, Button);
  MouseUp(P, Button);
}

void TUiTestDriver::DoubleClick(TPoint P) {
  Click(P);
  Click(P);
}

void TUiTestDriver::Drag(TPoint From, TPoint To, int32_t Steps) {
  MouseMove(From);
  MouseDown(From);
  for (int32_t i = 1; i <= Steps; ++i)
    MouseMove(TPoint{From.X + (To.X - From.X) * i / Steps, From.Y + (To.Y - From.Y) * i / Steps});
  MouseUp(To);
}

void TUiTestDriver::Wheel(TPoint P, int32_t Delta) {
  QueueMouse(WM_MOUSEWHEEL, P, FButtons, static_cast<WPARAM>(static_cast<uint16_t>(static_cast<int16_t>(Delta))));
}

void TUiTestDriver::KeyDown(uint32_t VirtualKey, uint32_t Char) {
  TQueueItem it;
  it.Kind = TItemKind::Key;
  it.Msg.message = WM_KEYDOWN;
  it.Msg.wParam = VirtualKey;
  it.Msg.time = static_cast<uint32_t>(ClockNow());
  it.Msg.pt = MainQueue()->CursorPos;
  it.Modifiers = FButtons | FModifiers;
  it.Char = Char;
  QueueInput(*MainQueue(), std::move(it));
}

void TUiTestDriver::KeyUp(uint32_t VirtualKey) {
  TQueueItem it;
  it.Kind = TItemKind::Key;
  it.Msg.message = WM_KEYUP;
  it.Msg.wParam = VirtualKey;
  it.Msg.time = static_cast<uint32_t>(ClockNow());
  it.Msg.pt = MainQueue()->CursorPos;
  it.Modifiers = FButtons | FModifiers;
  QueueInput(*MainQueue(), std::move(it));
}

void TUiTestDriver::PressKey(uint32_t VirtualKey, uint32_t Char) {
  KeyDown(VirtualKey, Char);
  KeyUp(VirtualKey);
}

TPoint TUiTestDriver::ScreenPoint(TControl* Control, int32_t X, int32_t Y) { return Control->ClientToScreen(TPoint{X, Y}); }

namespace {
bool Busy() {
  // Sleepers first: a sleeper that wakes stops counting as waiting in the
  // same step as it leaves the sleepers, so reading the counts first could
  // see it waiting and then gone, and miss it running.
  if (NextSleeperDue() <= ClockNow()) return true;
  return WorkersRunning.load() > WorkersWaiting.load();
}
bool QueueHasItems() {
  TThreadQueue* q = MainQueue();
  std::lock_guard<std::mutex> lock(q->M);
  return !q->Items.empty() || q->QuitPosted;
}
void WaitBriefly() {
  TThreadQueue* q = MainQueue();
  std::unique_lock<std::mutex> lock(q->M);
  q->CV.wait_for(lock, std::chrono::milliseconds(1));
}
}  // namespace

void TUiTestDriver::Settle() {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(FBlockTimeoutMs);
  for (;;) {
    TMsg m;
    while (PeekMessage(m, nullptr, 0, 0, PM_REMOVE)) {
      if (m.message == WM_QUIT) {
        PostQuitMessage(static_cast<int32_t>(m.wParam));
        return;
      }
      try {
        TranslateMessage(m);
        DispatchMessage(m);
      } catch (...) {
        HandleApplicationException(nullptr);
      }
    }
    TControlCanvas::FreeDeviceContexts();
    if (Application) Application->CheckMouseControl();
    if (!Busy() && !QueueHasItems()) return;
    if (std::chrono::steady_clock::now() > deadline) throw ETestDriverBlocked("Worker threads did not settle");
    WaitBriefly();
  }
}

void TUiTestDriver::ProcessMessages() { Settle(); }

void TUiTestDriver::AdvanceClock(uint32_t Milliseconds) {
  uint64_t target = ClockNow() + Milliseconds;
  Settle();
  while (ClockNow() < target) {
    uint64_t next = std::min({NextTimerDue(*MainQueue()), NextSleeperDue(), target});
    if (next <= ClockNow()) next = ClockNow() + 1;
    ClockAdvanceTo(next);
    Settle();
  }
}

uint32_t TUiTestDriver::Now() const { return static_cast<uint32_t>(ClockNow()); }

void TUiTestDriver::WhenIdle(std::function<void()> Step) { FSteps.push_back(std::move(Step)); }

bool TUiTestDriver::OnBlock() {
  if (!FSteps.empty()) {
    std::function<void()> step = std::move(FSteps.front());
    FSteps.pop_front();
    step();
    return true;
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(FBlockTimeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    // Other threads (TThreads or plain ones) may still post.
    if (QueueHasItems()) return true;
    WaitBriefly();
  }
  if (QueueHasItems()) return true;
  throw ETestDriverBlocked("A message loop waits for input that nothing will give (no step, no worker, no due timer)");
}

void TUiTestDriver::AnswerMessageBoxes(std::vector<int32_t> Answers) {
  for (int32_t a : Answers) FAnswers.push_back(a);
}

TWindowImage TUiTestDriver::ReadWindow(HWND Wnd, bool ClientOnly) const {
  TWindowImage img;
  ComposeWindowPixels(Wnd, img.Pixels, img.Width, img.Height, ClientOnly);
  return img;
}

TColor TUiTestDriver::Pixel(HWND Wnd, int32_t X, int32_t Y) const { return ReadWindow(Wnd, true).Pixel(X, Y); }

bool TUiTestDriver::SaveWindowPng(HWND Wnd, const std::string& FileName) const {
  return ReadWindow(Wnd, false).SavePng(FileName);
}

bool TUiTestDriver::SaveScreenshot(const std::string& FileName) { return ui_backend::SaveScreenshot(FileName); }

void TUiTestDriver::SetClipboardTextFromOutside(const std::string& Text) { ui_backend::SetDesktopClipboardText(Text); }

bool TUiTestDriver::NativeClick(TPoint P) { return ui_backend::InjectNativeClick(P); }

std::string TUiTestDriver::PlatformName() { return ui_backend::PlatformName(); }

void TUiTestDriver::DesktopSetsWindow(HWND Wnd, int32_t ShowState, const TRect& Bounds) {
  TWindowRec* w = Rec(Wnd);
  if (!w || !w->IsTopLevel()) return;
  DesktopShowStateChanged(w, ShowState);
  if (IsWindow(Wnd)) DesktopBoundsChanged(w, Bounds);
  ProcessMessages();
}

TWindowImage TUiTestDriver::ReadScreen(const TRect& R) const {
  TWindowImage img;
  if (ui_backend::GrabScreen(R, img.Pixels)) {
    img.Width = R.Width();
    img.Height = R.Height();
  }
  return img;
}

std::vector<TRect> TUiTestDriver::DesktopOverlay() { return ui_backend::OverlayRects(); }

uint32_t TUiTestDriver::FrameButtons(HWND Wnd) { return ui_backend::FrameButtons(Rec(Wnd)); }
