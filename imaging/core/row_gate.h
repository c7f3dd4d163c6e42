// The hand-over of finished rows between the thread that writes an image and
// a thread that reads its rows in order while it is being written.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

// Rows are finished from the top down. The writer tells how many rows from
// the top are finished; a reader waits for each row before it reads it. The
// image's rows are the queue: nothing is copied, and a reader can never be
// more than the image ahead of the writer.
class TPGRowGate {
public:
  // Waits until row Y (counted from the top) is finished. Raises
  // EPixelGraphic when the writer gave up before finishing it.
  void WaitForRow(int32_t Y) {
    if (Y < FDone.load(std::memory_order_acquire)) return;
    WaitSlowly(Y);
  }
  // Rows 0 to Rows - 1 are finished; the count never goes back.
  void Finished(int32_t Rows);
  // The number of rows finished from the top (INT32_MAX once all are).
  int32_t FinishedRows() const { return FDone.load(std::memory_order_acquire); }
  // Every row is final.
  void FinishAll() { Finished(INT32_MAX); }
  // The writer failed: waiting readers, and later ones, raise.
  void Abandon();

private:
  void WaitSlowly(int32_t Y);
  std::atomic<int32_t> FDone{0};
  std::mutex FLock;
  std::condition_variable FChanged;
  bool FAbandoned = false;
  bool FWaiting = false;
};
