#include "gif/control/timer_ex.h"

#include <exception>

#include "platform/ui/controls.h"
#include "platform/ui/forms.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/window.h"

namespace {

// An exception of a tick handler goes to the application's boundary on the
// main thread, as it would from a window timer; the timer goes on.
void ReportTickException(std::exception_ptr Error) {
  RunOnMainThread(
      [Error] {
        try {
          std::rethrow_exception(Error);
        } catch (...) {
          HandleApplicationException(nullptr);
        }
      },
      false);
}

}  // namespace

// ---- TTimerThread

TTimerThread::TTimerThread(TTimerEx* Owner) : TThread(true), FOwner(Owner) {}

TTimerThread::~TTimerThread() {
  if (TThread::CurrentThread() == this) return;  // freeing itself at its end
  Stop();
  Terminate();
  Resume();
  AlertThread(this);
  WaitFor();
}

void TTimerThread::Execute() {
  SetPriority(FOwner->FThreadPriority);
  while (!FStop && !Terminated()) {
    const uint32_t generation = FOwner->FGeneration;
    // Alertable: an update of the owner ends the sleep, and the next one
    // starts from then with the interval then in force.
    const uint32_t slept = SleepEx(FOwner->FInterval, true);
    if (FStop || Terminated()) break;
    if (slept != 0 || generation != FOwner->FGeneration) continue;
    if (FOwner->FThreadSafe) {
      try {
        FOwner->Timer();
      } catch (...) {
        ReportTickException(std::current_exception());
      }
    } else {
      Synchronize([this] {
        if (FStop) return;
        FInTick = true;
        try {
          FOwner->Timer();
        } catch (...) {
          HandleApplicationException(nullptr);
        }
        FInTick = false;
      });
    }
  }
}

// ---- TTimerEx

TTimerEx::TTimerEx(TComponent* AOwner) : TComponent(AOwner) {
  FThread = std::make_unique<TTimerThread>(this);
  FThread->SetPriority(FThreadPriority);
  FThread->Start();
}

TTimerEx::~TTimerEx() {
  FEnabled = false;
  try {
    UpdateTimer();
  } catch (...) {
  }
  FreeThread();
  if (FWindow) {
    DeallocateHWnd(FWindow);
    FWindow = nullptr;
  }
}

void TTimerEx::FreeThread() {
  if (!FThread) return;
  if (FThread->InTick() && IsMainThread()) {
    // Freed from its own tick handler: the worker waits for that handler to
    // return, so it cannot be waited for here; it frees itself instead.
    TTimerThread* thread = FThread.release();
    thread->Stop();
    thread->Terminate();
    thread->SetFreeOnTerminate(true);
    thread->Resume();
    AlertThread(thread);
    return;
  }
  FThread->Stop();
  FThread->Terminate();
  FThread->Resume();
  AlertThread(FThread.get());
  FThread.reset();  // waits for the worker to leave its loop
}

void TTimerEx::UpdateTimer() {
  ++FGeneration;
  if (FThread) {
    if (!FThread->Suspended()) FThread->Suspend();
    // Ends a sleep in progress: a restarted timer counts a whole interval
    // from now.
    AlertThread(FThread.get());
  }
  if (FWindow) KillTimer(FWindow, 1);

  if (FThreaded) {
    if (FWindow) {
      DeallocateHWnd(FWindow);
      FWindow = nullptr;
    }
    if (!FThread) {
      // Made held; it runs below only when the timer is to tick.
      FThread = std::make_unique<TTimerThread>(this);
    }
  } else {
    FreeThread();
    if (!FWindow) {
      FWindow = AllocateHWnd([this](TMessage& M) {
        if (M.Msg == WM_TIMER) Timer();
        else M.Result = DefWindowProc(FWindow, M.Msg, M.WParam, M.LParam);
      });
    }
  }

  if (FInterval == 0 || !FEnabled || !OnTimer()) return;

  if (FThreaded) {
    FThread->SetPriority(FThreadPriority);
    while (FThread->Suspended()) FThread->Resume();
  } else if (SetTimer(FWindow, 1, FInterval) == 0) {
    throw EOutOfResources("No More Timers Available");
  }
}

void TTimerEx::SetEnabled(bool Value) {
  if (Value == FEnabled) return;
  FEnabled = Value;
  UpdateTimer();
}

void TTimerEx::SetInterval(uint32_t Value) {
  if (Value == FInterval) return;
  FInterval = Value;
  UpdateTimer();
}

void TTimerEx::SetThreaded(bool Value) {
  if (Value == FThreaded) return;
  FThreaded = Value;
  UpdateTimer();
}

void TTimerEx::SetThreadPriority(TThreadPriority Value) {
  if (Value == FThreadPriority) return;
  FThreadPriority = Value;
  if (FThreaded) UpdateTimer();
}

TNotifyEvent TTimerEx::OnTimer() const {
  std::lock_guard<std::mutex> lock(FEventLock);
  return FOnTimer;
}

void TTimerEx::SetOnTimer(TNotifyEvent Value) {
  {
    std::lock_guard<std::mutex> lock(FEventLock);
    FOnTimer = std::move(Value);
  }
  UpdateTimer();
}

void TTimerEx::Timer() {
  if (!FEnabled) return;
  TNotifyEvent handler = OnTimer();
  if (handler) handler(this);
}
