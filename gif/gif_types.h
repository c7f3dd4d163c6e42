// Types shared by the GIF encoder and decoder: the byte-count progress event
// and the interlaced row order.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/base/object.h"

// Progress callback of the GIF codec: counts of bytes (or percent) done, and
// a flag the handler clears to ask for the work to stop.
using TProgressEvent = std::function<void(TObject* Sender, int32_t BytesProcessed, int32_t BytesToProcess,
                                          int32_t PercentageProcessed, bool& KeepOnProcessing)>;

// Walks the rows of an image in GIF's interlaced order: every 8th row from 0,
// every 8th from 4, every 4th from 2, every 2nd from 1. Passes whose first
// row lies past the last row are skipped, so each row comes exactly once.
class TGIFInterlaceOrder {
public:
  TGIFInterlaceOrder(int32_t Height, bool Interlaced) : FHeight(Height), FInterlaced(Interlaced) {}
  // The row of file-order position 0.
  int32_t First() const { return 0; }
  // The row after Row, or -1 when every row has been visited.
  int32_t Next(int32_t Row) {
    if (!FInterlaced) return Row + 1 < FHeight ? Row + 1 : -1;
    Row += kStep[FPass];
    while (Row >= FHeight) {
      if (++FPass > 3) return -1;
      Row = kStart[FPass];
    }
    return Row;
  }

private:
  static constexpr int32_t kStart[4] = {0, 4, 2, 1};
  static constexpr int32_t kStep[4] = {8, 8, 4, 2};
  int32_t FHeight;
  bool FInterlaced;
  int32_t FPass = 0;
};
