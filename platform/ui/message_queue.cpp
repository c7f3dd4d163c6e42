// The per-thread queues: posting, retrieval with filters, input routing,
// paint and timer messages, cross-thread calls, and the clock.
#include "platform/ui/message_queue.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <set>

#include "platform/ui/thread.h"
#include "platform/ui/window_internal.h"

using namespace ui_internal;

namespace ui_internal {
namespace {
std::mutex& QueuesMutex() {
  static auto* m = new std::mutex();
  return *m;
}
std::vector<std::unique_ptr<TThreadQueue>>& AllQueues() {
  static auto* v = new std::vector<std::unique_ptr<TThreadQueue>>();
  return *v;
}
thread_local TThreadQueue* Current = nullptr;
std::atomic<TThreadQueue*> Main{nullptr};

// The clock.
std::mutex ClockM;
std::condition_variable ClockCV;
bool Virtual = false;
uint64_t VirtualNow = 0;
std::multiset<uint64_t> Sleepers;
std::set<TThread*> Alerted;  // threads whose next alertable sleep ends at once
// A thread in an alertable virtual sleep: its sleeper entry, and whether it
// still counts as a sleeper and a waiting worker (an alert ends both at once,
// before the thread itself wakes, so the test driver waits for it).
struct TAlertableSleep {
  std::multiset<uint64_t>::iterator Due;
  bool Counted;
};
std::map<TThread*, TAlertableSleep*> AlertableSleepers;
const auto Start = std::chrono::steady_clock::now();
}  // namespace

TThreadQueue& CurrentQueue() {
  if (!Current) {
    auto q = std::make_unique<TThreadQueue>();
    q->Thread = std::this_thread::get_id();
    Current = q.get();
    std::lock_guard<std::mutex> lock(QueuesMutex());
    AllQueues().push_back(std::move(q));
  }
  return *Current;
}

TThreadQueue* MainQueue() { return Main.load(); }

void BecomeMainThread() { Main.store(&CurrentQueue()); }

void WakeQueue(TThreadQueue& Q) {
  Q.CV.notify_all();
  if (&Q == Main.load()) ui_backend::Wake();
}

void QueueInput(TThreadQueue& Q, TQueueItem Item) {
  {
    std::lock_guard<std::mutex> lock(Q.M);
    Q.Items.push_back(std::move(Item));
  }
  WakeQueue(Q);
}

uint64_t ClockNow() {
  std::lock_guard<std::mutex> lock(ClockM);
  if (Virtual) return VirtualNow;
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - Start).count());
}

bool ClockIsVirtual() {
  std::lock_guard<std::mutex> lock(ClockM);
  return Virtual;
}

void ClockSetVirtual(bool V, uint64_t StartAt) {
  {
    std::lock_guard<std::mutex> lock(ClockM);
    Virtual = V;
    VirtualNow = StartAt;
  }
  ClockCV.notify_all();
}

void ClockAdvanceTo(uint64_t T) {
  {
    std::lock_guard<std::mutex> lock(ClockM);
    if (T > VirtualNow) VirtualNow = T;
  }
  ClockCV.notify_all();
}

void ForgetThreadAlert(TThread* Thread) {
  std::lock_guard<std::mutex> lock(ClockM);
  Alerted.erase(Thread);
}

uint64_t NextSleeperDue() {
  std::lock_guard<std::mutex> lock(ClockM);
  return Sleepers.empty() ? UINT64_MAX : *Sleepers.begin();
}

uint64_t NextTimerDue(TThreadQueue& Q) {
  std::lock_guard<std::mutex> lock(Q.M);
  uint64_t d = UINT64_MAX;
  for (const TTimerRec& t : Q.Timers) d = std::min(d, t.Due);
  return d;
}

TDriverHooks& DriverHooks() {
  static auto* h = new TDriverHooks();
  return *h;
}

std::atomic<int32_t> WorkersWaiting{0};

}  // namespace ui_internal

namespace {

bool InRange(uint32_t M, uint32_t Min, uint32_t Max) { return (Min == 0 && Max == 0) || (M >= Min && M <= Max); }

bool WindowMatches(HWND Msg, HWND Filter) {
  if (!Filter) return true;
  return Msg == Filter || IsChild(Filter, Msg);
}

bool IsButtonDown(uint32_t M) {
  return M == WM_LBUTTONDOWN || M == WM_RBUTTONDOWN || M == WM_MBUTTONDOWN;
}

// Decides where a queued input item goes now. False when it goes nowhere.
bool Resolve(TThreadQueue& Q, const TQueueItem& It, TMsg& Out, int32_t& Hit) {
  Out = It.Msg;
  Hit = HTCLIENT;
  if (It.Kind == TItemKind::Posted) return true;
  if (It.Kind == TItemKind::Key) {
    HWND t = Q.Focus ? Q.Focus : Q.Active;
    if (!IsWindow(t)) return false;
    bool alt = (It.Modifiers & ModAlt) != 0;
    bool up = It.Msg.message == WM_KEYUP;
    Out.hwnd = t;
    Out.message = alt ? (up ? WM_SYSKEYUP : WM_SYSKEYDOWN) : It.Msg.message;
    Out.lParam = static_cast<LPARAM>(1u | (up ? 0xC0000000u : 0u) | (alt ? 0x20000000u : 0u));
    return true;
  }
  // Mouse.
  TPoint p = It.Msg.pt;
  HWND target = nullptr;
  if (Q.Capture && IsWindow(Q.Capture)) {
    target = Q.Capture;
  } else if (!HitTestScreen(p, target, Hit)) {
    return false;
  }
  uint32_t kind = It.Msg.message;
  uint32_t mk = It.Modifiers & 0xFF;
  if (kind == WM_MOUSEWHEEL) {
    // The wheel scrolls what lies under the pointer, focused or not, as
    // desktops do.
    Out.hwnd = target;
    Out.message = WM_MOUSEWHEEL;
    Out.wParam = (It.Msg.wParam << 16) | mk;
    Out.lParam = MakeLParam(p.X, p.Y);
    return true;
  }
  if (IsButtonDown(kind)) {
    TWindowRec* w = Rec(target);
    bool dbl = w && (w->ClassStyle & CS_DBLCLKS) && !Q.LastWasDouble && Q.LastDownMsg == kind &&
               Q.LastDownWnd == target && It.Msg.time - Q.LastDownTime <= GetDoubleClickTime() &&
               std::abs(p.X - Q.LastDownPt.X) <= GetSystemMetrics(SM_CXDOUBLECLK) &&
               std::abs(p.Y - Q.LastDownPt.Y) <= GetSystemMetrics(SM_CYDOUBLECLK);
    if (dbl) kind += 2;
  }
  Out.hwnd = target;
  if (Hit == HTCLIENT) {
    TPoint c = p;
    ScreenToClient(target, c);
    Out.message = kind;
    Out.wParam = mk;
    Out.lParam = MakeLParam(c.X, c.Y);
  } else {
    Out.message = kind - WM_MOUSEMOVE + WM_NCMOUSEMOVE;
    Out.wParam = static_cast<WPARAM>(static_cast<intptr_t>(Hit));
    Out.lParam = MakeLParam(p.X, p.Y);
  }
  return true;
}

// What the system does when input is taken off the queue: the pointer and
// key state advance, a press activates, and the cursor is asked for.
// False when the message is to be swallowed.
bool OnInputRetrieved(TThreadQueue& Q, const TQueueItem& It, const TMsg& M, int32_t Hit) {
  Q.CursorPos = It.Msg.pt;
  uint32_t mods = It.Modifiers;
  auto setKey = [&Q](uint32_t vk, bool down) {
    if (down && !(Q.Keys[vk] & 0x80)) Q.Keys[vk] ^= 1;
    Q.Keys[vk] = static_cast<uint8_t>((Q.Keys[vk] & 1) | (down ? 0x80 : 0));
  };
  setKey(VK_SHIFT, mods & MK_SHIFT);
  setKey(VK_CONTROL, mods & MK_CONTROL);
  setKey(VK_MENU, mods & ModAlt);
  if (It.Kind == TItemKind::Key) {
    uint32_t vk = static_cast<uint32_t>(It.Msg.wParam) & 0xFF;
    setKey(vk, It.Msg.message == WM_KEYDOWN);
    Q.LastKeyWnd = M.hwnd;
    Q.LastKeyVk = vk;
    Q.LastKeyChar = It.Msg.message == WM_KEYDOWN ? It.Char : 0;
    return true;
  }
  setKey(VK_LBUTTON, mods & MK_LBUTTON);
  setKey(VK_RBUTTON, mods & MK_RBUTTON);
  setKey(VK_MBUTTON, mods & MK_MBUTTON);
  uint32_t kind = It.Msg.message;
  if (IsButtonDown(kind)) {
    bool dbl = (M.message == kind + 2) || (M.message == kind + 2 - WM_MOUSEMOVE + WM_NCMOUSEMOVE);
    Q.LastWasDouble = dbl;
    Q.LastDownMsg = kind;
    Q.LastDownWnd = M.hwnd;
    Q.LastDownTime = It.Msg.time;
    Q.LastDownPt = It.Msg.pt;
  }
  if (kind == WM_MOUSEWHEEL) return true;
  bool captured = Q.Capture && IsWindow(Q.Capture);
  if (!captured && IsButtonDown(kind)) {
    HWND top = GetAncestorTopLevel(M.hwnd);
    if (top && Q.Active != top) {
      LRESULT r = SendMessage(M.hwnd, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(top),
                              MakeLParam(Hit, static_cast<int32_t>(kind)));
      if (r == MA_ACTIVATE || r == MA_ACTIVATEANDEAT || r == 0) SetActiveWindow(top);
      if (r == MA_ACTIVATEANDEAT || r == MA_NOACTIVATEANDEAT) return false;
    }
  }
  if (!captured && IsWindow(M.hwnd))
    SendMessage(M.hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(M.hwnd),
                MakeLParam(Hit, static_cast<int32_t>(kind)));
  return IsWindow(M.hwnd);
}

void RunInvokes(TThreadQueue& Q) {
  for (;;) {
    TQueueItem it;
    {
      std::lock_guard<std::mutex> lock(Q.M);
      auto f = std::find_if(Q.Items.begin(), Q.Items.end(), [](const TQueueItem& i) { return i.Kind == TItemKind::Invoke; });
      if (f == Q.Items.end()) return;
      it = std::move(*f);
      Q.Items.erase(f);
    }
    if (it.Wait) {
      try {
        it.Invoke();
      } catch (...) {
        it.Wait->Error = std::current_exception();
      }
      {
        std::lock_guard<std::mutex> lock(it.Wait->M);
        it.Wait->Done = true;
        // The waiting thread counts as running again from now on.
        --WorkersWaiting;
      }
      it.Wait->CV.notify_all();
    } else {
      it.Invoke();
    }
  }
}

TWindowRec* FindPaintable(TWindowRec* W, HWND Filter) {
  if (!(W->Style & WS_VISIBLE) || W->ShowState == 1) return nullptr;
  if (W->NcDirty && IsWindowVisible(W->Handle)) {
    W->NcDirty = false;
    CallProc(W, WM_NCPAINT, 1, 0);
  }
  if (!W->Update.empty() && WindowMatches(W->Handle, Filter)) return W;
  std::vector<TWindowRec*> kids = W->Children;
  for (auto it = kids.rbegin(); it != kids.rend(); ++it)
    if (TWindowRec* r = FindPaintable(*it, Filter)) return r;
  return nullptr;
}

bool PeekCore(TMsg& Out, HWND Filter, uint32_t Min, uint32_t Max, bool Remove) {
  TThreadQueue& q = CurrentQueue();
  if (&q == MainQueue()) ui_backend::PumpEvents();
  RunInvokes(q);
  // Posted messages and input, in order.
  for (size_t i = 0;; ++i) {
    TQueueItem it;
    {
      std::lock_guard<std::mutex> lock(q.M);
      if (i >= q.Items.size()) break;
      if (q.Items[i].Kind == TItemKind::Invoke) continue;
      it = q.Items[i];
    }
    TMsg m;
    int32_t hit = HTCLIENT;
    bool ok = Resolve(q, it, m, hit);
    if (ok && it.Kind == TItemKind::Posted && m.hwnd && !IsWindow(m.hwnd)) ok = false;
    if (!ok) {
      std::lock_guard<std::mutex> lock(q.M);
      q.Items.erase(q.Items.begin() + static_cast<std::ptrdiff_t>(i));
      --i;
      continue;
    }
    if (!WindowMatches(m.hwnd, Filter) || !InRange(m.message, Min, Max)) continue;
    if (!Remove) {
      Out = m;
      return true;
    }
    {
      std::lock_guard<std::mutex> lock(q.M);
      q.Items.erase(q.Items.begin() + static_cast<std::ptrdiff_t>(i));
    }
    if (it.Kind != TItemKind::Posted && !OnInputRetrieved(q, it, m, hit)) {
      --i;
      continue;
    }
    Out = m;
    return true;
  }
  // The quit request.
  if (q.QuitPosted && InRange(WM_QUIT, Min, Max)) {
    Out = TMsg{};
    Out.message = WM_QUIT;
    Out.wParam = static_cast<WPARAM>(q.QuitCode);
    Out.time = static_cast<uint32_t>(ClockNow());
    if (Remove) q.QuitPosted = false;
    return true;
  }
  // Paint.
  if (InRange(WM_PAINT, Min, Max)) {
    std::vector<TWindowRec*> tops = TopLevels();
    for (auto it = tops.rbegin(); it != tops.rend(); ++it) {
      if (TWindowRec* w = FindPaintable(*it, Filter)) {
        Out = TMsg{};
        Out.hwnd = w->Handle;
        Out.message = WM_PAINT;
        Out.time = static_cast<uint32_t>(ClockNow());
        Out.pt = q.CursorPos;
        return true;
      }
    }
  }
  // Timers.
  if (InRange(WM_TIMER, Min, Max)) {
    uint64_t now = ClockNow();
    std::lock_guard<std::mutex> lock(q.M);
    TTimerRec* best = nullptr;
    for (TTimerRec& t : q.Timers)
      if (t.Due <= now && WindowMatches(t.Wnd, Filter) && (!best || t.Due < best->Due)) best = &t;
    if (best) {
      Out = TMsg{};
      Out.hwnd = best->Wnd;
      Out.message = WM_TIMER;
      Out.wParam = best->Id;
      Out.time = static_cast<uint32_t>(now);
      Out.pt = q.CursorPos;
      if (Remove) best->Due = now + best->Interval;
      return true;
    }
  }
  return false;
}

// Waits until something may have arrived.
void WaitForWork(TThreadQueue& Q) {
  uint64_t now = ClockNow();
  uint64_t next = NextTimerDue(Q);
  if (&Q == MainQueue()) {
    if (ClockIsVirtual()) {
      auto& hooks = DriverHooks();
      if (hooks.OnBlock && hooks.OnBlock()) return;
      std::unique_lock<std::mutex> lock(Q.M);
      Q.CV.wait_for(lock, std::chrono::milliseconds(50));
      return;
    }
    int32_t timeout = next == UINT64_MAX ? -1 : static_cast<int32_t>(std::min<uint64_t>(next > now ? next - now : 0, 1000000));
    if (ui_backend::Active()) {
      ui_backend::WaitEvents(timeout);
      return;
    }
    std::unique_lock<std::mutex> lock(Q.M);
    if (Q.Items.empty() && !Q.QuitPosted) {
      if (timeout < 0) Q.CV.wait_for(lock, std::chrono::milliseconds(100));
      else Q.CV.wait_for(lock, std::chrono::milliseconds(timeout));
    }
    return;
  }
  ++WorkersWaiting;
  {
    std::unique_lock<std::mutex> lock(Q.M);
    if (Q.Items.empty() && !Q.QuitPosted) {
      uint64_t wait = ClockIsVirtual() || next == UINT64_MAX ? 50 : std::min<uint64_t>(next > now ? next - now : 0, 50);
      Q.CV.wait_for(lock, std::chrono::milliseconds(wait));
    }
  }
  --WorkersWaiting;
}

}  // namespace

bool PeekMessage(TMsg& Msg, HWND Wnd, uint32_t FilterMin, uint32_t FilterMax, uint32_t RemoveMsg) {
  return PeekCore(Msg, Wnd, FilterMin, FilterMax, (RemoveMsg & PM_REMOVE) != 0);
}

int32_t GetMessage(TMsg& Msg, HWND Wnd, uint32_t FilterMin, uint32_t FilterMax) {
  if (Wnd && !IsWindow(Wnd)) return -1;
  TThreadQueue& q = CurrentQueue();
  for (;;) {
    if (PeekCore(Msg, Wnd, FilterMin, FilterMax, true)) return Msg.message == WM_QUIT ? 0 : 1;
    WaitForWork(q);
  }
}

bool WaitMessage() {
  // One wait: callers loop, and a test step that ran counts as a wake-up.
  TMsg m;
  TThreadQueue& q = CurrentQueue();
  if (!PeekCore(m, nullptr, 0, 0, false)) WaitForWork(q);
  return true;
}

bool PostMessage(HWND Wnd, uint32_t Msg, WPARAM WParam, LPARAM LParam) {
  TThreadQueue* q = nullptr;
  if (!Wnd) {
    q = &CurrentQueue();
  } else {
    std::lock_guard<std::recursive_mutex> lock(TableMutex());
    TWindowRec* w = Rec(Wnd);
    if (!w) return false;
    q = w->Queue;
  }
  TQueueItem it;
  it.Kind = TItemKind::Posted;
  it.Msg.hwnd = Wnd;
  it.Msg.message = Msg;
  it.Msg.wParam = WParam;
  it.Msg.lParam = LParam;
  it.Msg.time = static_cast<uint32_t>(ClockNow());
  if (Current) it.Msg.pt = Current->CursorPos;
  QueueInput(*q, std::move(it));
  return true;
}

namespace {
void InvokeOn(TThreadQueue& Q, std::function<void()> Proc, bool Wait) {
  TQueueItem it;
  it.Kind = TItemKind::Invoke;
  it.Invoke = std::move(Proc);
  std::shared_ptr<TInvokeWait> w;
  if (Wait) {
    w = std::make_shared<TInvokeWait>();
    it.Wait = w;
  }
  if (!w) {
    QueueInput(Q, std::move(it));
    return;
  }
  {
    // Counted as waiting in the same step as the call is queued: the test
    // driver never sees this thread waiting with nothing queued for it.
    std::lock_guard<std::mutex> lock(Q.M);
    ++WorkersWaiting;
    Q.Items.push_back(std::move(it));
  }
  WakeQueue(Q);
  {
    std::unique_lock<std::mutex> lock(w->M);
    w->CV.wait(lock, [&] { return w->Done; });
  }
  if (w->Error) std::rethrow_exception(w->Error);
}
}  // namespace

LRESULT SendMessage(HWND Wnd, uint32_t Msg, WPARAM WParam, LPARAM LParam) {
  TThreadQueue* q = nullptr;
  {
    std::lock_guard<std::recursive_mutex> lock(TableMutex());
    TWindowRec* w = Rec(Wnd);
    if (!w) return 0;
    q = w->Queue;
  }
  if (q == &CurrentQueue()) return CallProc(Rec(Wnd), Msg, WParam, LParam);
  LRESULT result = 0;
  InvokeOn(*q, [&] { result = CallProc(Rec(Wnd), Msg, WParam, LParam); }, true);
  return result;
}

void RunOnMainThread(std::function<void()> Proc, bool Wait) {
  TThreadQueue* m = MainQueue();
  if (!m || m == &CurrentQueue()) {
    Proc();
    return;
  }
  InvokeOn(*m, std::move(Proc), Wait);
}

bool IsMainThread() { return MainQueue() == &CurrentQueue(); }

void PostQuitMessage(int32_t ExitCode) {
  TThreadQueue& q = CurrentQueue();
  {
    std::lock_guard<std::mutex> lock(q.M);
    q.QuitPosted = true;
    q.QuitCode = ExitCode;
  }
  WakeQueue(q);
}

bool TranslateMessage(const TMsg& Msg) {
  if (Msg.message != WM_KEYDOWN && Msg.message != WM_SYSKEYDOWN) return false;
  TThreadQueue& q = CurrentQueue();
  if (q.LastKeyWnd != Msg.hwnd || q.LastKeyVk != (Msg.wParam & 0xFF) || !q.LastKeyChar) return false;
  TQueueItem it;
  it.Msg = Msg;
  it.Msg.message = Msg.message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR;
  it.Msg.wParam = q.LastKeyChar;
  q.LastKeyChar = 0;
  {
    std::lock_guard<std::mutex> lock(q.M);
    q.Items.push_front(std::move(it));
  }
  return true;
}

LRESULT DispatchMessage(const TMsg& Msg) {
  TWindowRec* w = Rec(Msg.hwnd);
  if (!w) return 0;
  LRESULT r = CallProc(w, Msg.message, Msg.wParam, Msg.lParam);
  if (Msg.message == WM_PAINT) {
    // A window procedure that did not validate must not be asked forever.
    if (TWindowRec* again = Rec(Msg.hwnd)) again->Update.clear();
  }
  return r;
}

uintptr_t SetTimer(HWND Wnd, uintptr_t IDEvent, uint32_t Elapse) {
  TWindowRec* w = Rec(Wnd);
  if (!w) return 0;
  uint32_t interval = std::max<uint32_t>(Elapse, 10);
  TThreadQueue* q = w->Queue;
  {
    std::lock_guard<std::mutex> lock(q->M);
    uint64_t due = ClockNow() + interval;
    for (TTimerRec& t : q->Timers)
      if (t.Wnd == Wnd && t.Id == IDEvent) {
        t.Interval = interval;
        t.Due = due;
        return IDEvent;
      }
    q->Timers.push_back(TTimerRec{Wnd, IDEvent, interval, due});
  }
  WakeQueue(*q);
  return IDEvent;
}

bool KillTimer(HWND Wnd, uintptr_t IDEvent) {
  TWindowRec* w = Rec(Wnd);
  if (!w) return false;
  TThreadQueue* q = w->Queue;
  std::lock_guard<std::mutex> lock(q->M);
  auto before = q->Timers.size();
  q->Timers.erase(std::remove_if(q->Timers.begin(), q->Timers.end(),
                                 [&](const TTimerRec& t) { return t.Wnd == Wnd && t.Id == IDEvent; }),
                  q->Timers.end());
  return q->Timers.size() != before;
}

uint32_t GetTickCount() { return static_cast<uint32_t>(ClockNow()); }

void Sleep(uint32_t Milliseconds) { SleepEx(Milliseconds, false); }

uint32_t SleepEx(uint32_t Milliseconds, bool Alertable) {
  TThread* self = TThread::CurrentThread();
  if (self) self->CheckSuspended();
  std::unique_lock<std::mutex> lock(ClockM);
  if (Alertable && self) {
    // Like the sleeps below, but AlertThread ends it early.
    bool alerted = Alerted.erase(self) > 0;
    if (!alerted && !Virtual) {
      auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(Milliseconds);
      ClockCV.wait_until(lock, until, [&] { return Virtual || Alerted.count(self) > 0; });
      alerted = Alerted.erase(self) > 0;
    } else if (!alerted) {
      TAlertableSleep sleep{Sleepers.insert(VirtualNow + Milliseconds), true};
      const uint64_t due = *sleep.Due;
      AlertableSleepers[self] = &sleep;
      ++WorkersWaiting;
      ClockCV.wait(lock, [&] { return !Virtual || VirtualNow >= due || Alerted.count(self) > 0; });
      AlertableSleepers.erase(self);
      if (sleep.Counted) {
        Sleepers.erase(sleep.Due);
        --WorkersWaiting;
      }
      alerted = Alerted.erase(self) > 0;
    }
    lock.unlock();
    self->CheckSuspended();
    return alerted ? WAIT_IO_COMPLETION : 0;
  }
  if (!Virtual) {
    lock.unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(Milliseconds));
    if (self) self->CheckSuspended();
    return 0;
  }
  uint64_t due = VirtualNow + Milliseconds;
  auto it = Sleepers.insert(due);
  ++WorkersWaiting;
  ClockCV.wait(lock, [&] { return !Virtual || VirtualNow >= due; });
  Sleepers.erase(it);
  --WorkersWaiting;
  lock.unlock();
  if (self) self->CheckSuspended();
  return 0;
}

void AlertThread(TThread* Thread) {
  if (!Thread) return;
  {
    std::lock_guard<std::mutex> lock(ClockM);
    Alerted.insert(Thread);
    auto f = AlertableSleepers.find(Thread);
    if (f != AlertableSleepers.end() && f->second->Counted) {
      Sleepers.erase(f->second->Due);
      --WorkersWaiting;
      f->second->Counted = false;
    }
  }
  ClockCV.notify_all();
}
