// CopyFrom: the whole of another image onto the whole image, scaled to the
// image's size and converted to its pixel format and palette; CopyFromWhile
// lets a second thread read the rows as they are finished.
#include <exception>
#include <system_error>
#include <thread>

#include "imaging/core/pixel_graphic.h"
#include "imaging/core/row_gate.h"

void TPixelGraphic::CopyFrom(TPixelGraphic* Source) {
  CopyFromRect(0, 0, FWidth, FHeight, 0, 0, Source->GetWidth(), Source->GetHeight(), Source);
}

void TPixelGraphic::CopyFromWhile(TPixelGraphic* Source, const std::function<void()>& Consume) {
  // Drawing still pending is flushed here, so neither thread has any to flush.
  FlushGdi();
  Source->FlushGdi();
  TPGRowGate gate;
  std::exception_ptr consumeFailure;
  FRowGate = &gate;  // set before the reader starts, cleared after it ends
  std::thread reader;
  try {
    reader = std::thread([&] {
      try {
        Consume();
      } catch (...) {
        consumeFailure = std::current_exception();
      }
    });
  } catch (const std::system_error&) {
    FRowGate = nullptr;
    CopyFrom(Source);
    Consume();
    return;
  }
  try {
    CopyFrom(Source);
  } catch (...) {
    gate.Abandon();
    reader.join();
    FRowGate = nullptr;
    throw;
  }
  gate.FinishAll();
  reader.join();
  FRowGate = nullptr;
  if (consumeFailure) std::rethrow_exception(consumeFailure);
}
