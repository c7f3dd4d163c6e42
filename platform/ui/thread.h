// TThread on std::thread: created suspended or running, Terminate asks the
// body to stop (it polls Terminated), WaitFor joins, Synchronize runs a call
// on the main thread. An exception that leaves Execute is kept
// (FatalException) and reported on the main thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/base/object.h"

enum TThreadPriority : uint8_t { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// The constructor never starts the thread: the derived object is not complete
// yet, and the new thread would call Execute on it. Whoever constructs a
// thread calls AfterConstruction() once it is built, which starts a thread
// that was not created suspended (or calls Start() later). A derived class
// whose Execute uses its own members terminates and waits for the thread in
// its own destructor.
class TThread : public TObject {
public:
  explicit TThread(bool CreateSuspended);
  // Terminates and waits for a thread that still runs.
  ~TThread() override;
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Starts the thread unless it was created suspended.
  void AfterConstruction();
  // Starts a thread created suspended, or lets a suspended one go on.
  void Start();
  void Resume() { Start(); }
  // Asks the thread to pause at its next sleep or synchronisation.
  void Suspend();
  bool Suspended() const;
  void Terminate();
  bool Terminated() const { return FTerminated; }
  bool Finished() const;
  // Waits for the end of the thread; on the main thread, calls that the
  // thread synchronises meanwhile still run. Returns ReturnValue.
  int32_t WaitFor();

  TThreadPriority Priority() const { return FPriority; }
  void SetPriority(TThreadPriority Value) { FPriority = Value; }
  bool FreeOnTerminate() const { return FFreeOnTerminate; }
  void SetFreeOnTerminate(bool Value) { FFreeOnTerminate = Value; }
  int32_t ReturnValue() const { return FReturnValue; }
  std::exception_ptr FatalException() const { return FFatalException; }

  // Runs Method on the main thread while this thread waits.
  void Synchronize(const std::function<void()>& Method);
  // The TThread running the calling code, or null.
  static TThread* CurrentThread();
  // Pauses here while the thread is suspended (sleeps call it).
  void CheckSuspended();

  TNotifyEvent OnTerminate;

protected:
  virtual void Execute() = 0;
  virtual void DoTerminate();
  void SetReturnValue(int32_t Value) { FReturnValue = Value; }

private:
  void Run();
  std::thread FThread;
  mutable std::mutex FMutex;
  std::condition_variable FCV;
  bool FStarted = false;
  bool FSuspended = false;
  bool FWaitingSuspended = false;  // counted as a waiting worker
  bool FFinished = false;
  bool FTerminated = false;
  bool FFreeOnTerminate = false;
  bool FCreatedSuspended = false;
  TThreadPriority FPriority = tpNormal;
  int32_t FReturnValue = 0;
  std::exception_ptr FFatalException;
};
