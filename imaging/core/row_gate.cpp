#include "imaging/core/row_gate.h"

#include "imaging/core/exceptions.h"

void TPGRowGate::Finished(int32_t Rows) {
  if (Rows <= FDone.load(std::memory_order_relaxed)) return;
  bool wake;
  {
    std::lock_guard<std::mutex> lock(FLock);
    FDone.store(Rows, std::memory_order_release);
    wake = FWaiting;
  }
  if (wake) FChanged.notify_all();
}

void TPGRowGate::Abandon() {
  {
    std::lock_guard<std::mutex> lock(FLock);
    FAbandoned = true;
  }
  FChanged.notify_all();
}

void TPGRowGate::WaitSlowly(int32_t Y) {
  std::unique_lock<std::mutex> lock(FLock);
  while (Y >= FDone.load(std::memory_order_acquire) && !FAbandoned) {
    FWaiting = true;
    FChanged.wait(lock);
  }
  if (Y >= FDone.load(std::memory_order_acquire)) throw EPixelGraphic("The rows were not finished");
}
