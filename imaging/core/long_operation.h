// Helpers of the long pixel operations, readers and writers: the progress
// events around a run of rows.
#pragma once

#include <cstdint>

#include "imaging/core/pixel_graphic.h"

// Calls the graphic's OnProgressStart(Sender) on construction and
// OnProgressEnd(Sender) when it goes out of scope, also when an exception
// passes.
class TPGProgressScope {
public:
  TPGProgressScope(TPixelGraphic& Graphic, TObject* Sender);
  ~TPGProgressScope();
  TPGProgressScope(const TPGProgressScope&) = delete;
  TPGProgressScope& operator=(const TPGProgressScope&) = delete;
  // OnProgress(Sender, Step, Max, Abort) with Abort preset to False; returns Abort.
  bool Progress(int32_t Step, int32_t Max);

private:
  TPixelGraphic& FGraphic;
  TObject* FSender;
};
