// TTimerEx: a non-visual timer that fires OnTimer every Interval
// milliseconds of the clock, either from a worker thread that sleeps between
// ticks (the default) or from a window timer on a hidden window.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/ui/component.h"
#include "platform/ui/messages.h"
#include "platform/ui/thread.h"

class TTimerEx;

// The worker of a threaded TTimerEx: sleeps Interval, then ticks, until it
// is stopped. Its owner sets the stop flag just before freeing it.
class TTimerThread : public TThread {
public:
  explicit TTimerThread(TTimerEx* Owner);
  // Stops the worker and waits for it while the whole object still exists.
  ~TTimerThread() override;
  void Stop() { FStop = true; }
  // True on the main thread while a tick of this thread runs there.
  bool InTick() const { return FInTick; }

protected:
  void Execute() override;

private:
  TTimerEx* FOwner;
  std::atomic<bool> FStop{false};
  std::atomic<bool> FInTick{false};
};

class TTimerEx : public TComponent {
public:
  // Enabled, Interval 1000, threaded at normal priority; the worker thread
  // starts at once and is held by the first update.
  explicit TTimerEx(TComponent* AOwner);
  ~TTimerEx() override;

  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  uint32_t Interval() const { return FInterval; }
  void SetInterval(uint32_t Value);
  // Ticks come from a worker thread (True) or from WM_TIMER of a hidden
  // window (False); switching frees one mechanism and makes the other.
  bool Threaded() const { return FThreaded; }
  void SetThreaded(bool Value);
  TThreadPriority ThreadPriority() const { return FThreadPriority; }
  void SetThreadPriority(TThreadPriority Value);
  // A thread-safe timer calls OnTimer on its worker thread; otherwise the
  // tick runs on the main thread. Such a handler must not touch controls.
  bool ThreadSafe() const { return FThreadSafe; }
  void SetThreadSafe(bool Value) { FThreadSafe = Value; }
  TNotifyEvent OnTimer() const;
  void SetOnTimer(TNotifyEvent Value);

  // The worker thread (threaded) or the hidden window (not threaded); the
  // other is null.
  TTimerThread* Thread() const { return FThread.get(); }
  HWND WindowHandle() const { return FWindow; }

protected:
  // Fires OnTimer (Sender = this) while Enabled and assigned.
  virtual void Timer();

private:
  friend class TTimerThread;
  // Brings the worker or the window timer in line with the properties.
  // Raises EOutOfResources "No More Timers Available" when no window timer
  // can be had.
  void UpdateTimer();
  void FreeThread();

  std::atomic<bool> FEnabled{true};
  std::atomic<uint32_t> FInterval{1000};
  mutable std::mutex FEventLock;  // OnTimer is read by a thread-safe worker
  TNotifyEvent FOnTimer;
  bool FThreaded = true;
  std::atomic<TThreadPriority> FThreadPriority{tpNormal};
  std::atomic<bool> FThreadSafe{false};
  std::unique_ptr<TTimerThread> FThread;
  HWND FWindow = nullptr;
  // Counts updates; a sleep begun before the latest update ticks no more.
  std::atomic<uint32_t> FGeneration{0};
};
