#include "platform/ui/thread.h"

#include <chrono>

#include "platform/ui/forms.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/window_internal.h"

namespace ui_internal {
std::atomic<int32_t> WorkersRunning{0};
}

namespace {
thread_local TThread* Current = nullptr;
}

TThread::TThread(bool CreateSuspended) : FCreatedSuspended(CreateSuspended) {}

void TThread::AfterConstruction() {
  if (!FCreatedSuspended) Start();
}

TThread::~TThread() {
  if (FThread.joinable()) {
    if (FThread.get_id() == std::this_thread::get_id()) {
      FThread.detach();
    } else {
      Terminate();
      {
        std::lock_guard<std::mutex> lock(FMutex);
        FSuspended = false;
      }
      FCV.notify_all();
      WaitFor();
    }
  }
  // An alert the thread never took must not reach a later thread at this address.
  ui_internal::ForgetThreadAlert(this);
}

TThread* TThread::CurrentThread() { return Current; }

void TThread::Start() {
  std::unique_lock<std::mutex> lock(FMutex);
  if (!FStarted) {
    FStarted = true;
    FSuspended = false;
    ++ui_internal::WorkersRunning;
    FThread = std::thread([this] { Run(); });
    return;
  }
  FSuspended = false;
  if (FWaitingSuspended) {
    // Running again from now on, before the thread itself wakes.
    FWaitingSuspended = false;
    --ui_internal::WorkersWaiting;
  }
  lock.unlock();
  FCV.notify_all();
}

void TThread::Suspend() {
  std::lock_guard<std::mutex> lock(FMutex);
  if (FStarted && !FFinished) FSuspended = true;
}

bool TThread::Suspended() const {
  std::lock_guard<std::mutex> lock(FMutex);
  return !FStarted || FSuspended;
}

void TThread::CheckSuspended() {
  std::unique_lock<std::mutex> lock(FMutex);
  // Start counts a resumed thread as running before it wakes; suspended
  // again before it woke, it waits on and is counted as waiting again.
  while (FSuspended) {
    if (!FWaitingSuspended) {
      FWaitingSuspended = true;
      ++ui_internal::WorkersWaiting;
    }
    FCV.wait(lock);
  }
  if (FWaitingSuspended) {
    FWaitingSuspended = false;
    --ui_internal::WorkersWaiting;
  }
}

void TThread::Terminate() { FTerminated = true; }

bool TThread::Finished() const {
  std::lock_guard<std::mutex> lock(FMutex);
  return FFinished;
}

void TThread::Run() {
  Current = this;
  try {
    Execute();
  } catch (...) {
    FFatalException = std::current_exception();
  }
  try {
    DoTerminate();
  } catch (...) {
  }
  std::exception_ptr fatal = FFatalException;
  if (fatal && IsMainThread() == false) {
    // Reported on the main thread, where message boxes live.
    RunOnMainThread(
        [fatal] {
          try {
            std::rethrow_exception(fatal);
          } catch (...) {
            HandleApplicationException(nullptr);
          }
        },
        false);
  }
  bool freeMe = FFreeOnTerminate;
  {
    std::lock_guard<std::mutex> lock(FMutex);
    FFinished = true;
  }
  FCV.notify_all();
  --ui_internal::WorkersRunning;
  if (ui_internal::MainQueue()) ui_internal::WakeQueue(*ui_internal::MainQueue());
  if (freeMe) {
    FThread.detach();
    delete this;
  }
}

void TThread::DoTerminate() {
  if (OnTerminate) Synchronize([this] { OnTerminate(this); });
}

void TThread::Synchronize(const std::function<void()>& Method) {
  CheckSuspended();
  RunOnMainThread(Method, true);
}

int32_t TThread::WaitFor() {
  if (!FStarted) return FReturnValue;
  if (IsMainThread()) {
    // Runs the calls the thread synchronises while it finishes.
    for (;;) {
      {
        std::unique_lock<std::mutex> lock(FMutex);
        if (FCV.wait_for(lock, std::chrono::milliseconds(1), [this] { return FFinished; })) break;
      }
      TMsg m;
      PeekMessage(m, nullptr, WM_NULL + 1, WM_NULL + 1, PM_NOREMOVE);  // runs pending synchronised calls only
    }
  } else {
    std::unique_lock<std::mutex> lock(FMutex);
    ++ui_internal::WorkersWaiting;
    FCV.wait(lock, [this] { return FFinished; });
    --ui_internal::WorkersWaiting;
  }
  if (FThread.joinable()) FThread.join();
  return FReturnValue;
}
