// Progress events and the pixel store rule of long operations.
#include "imaging/core/long_operation.h"

TPGProgressScope::TPGProgressScope(TPixelGraphic& Graphic, TObject* Sender) : FGraphic(Graphic), FSender(Sender) {
  if (FGraphic.OnProgressStart) FGraphic.OnProgressStart(FSender);
}

TPGProgressScope::~TPGProgressScope() {
  try {
    if (FGraphic.OnProgressEnd) FGraphic.OnProgressEnd(FSender);
  } catch (...) {
    // A handler's failure must not replace the exception on its way out.
  }
}

bool TPGProgressScope::Progress(int32_t Step, int32_t Max) {
  bool abort = false;
  if (FGraphic.OnProgress) FGraphic.OnProgress(FSender, Step, Max, abort);
  return abort;
}

TPixelGraphic* DistinctSource(TPixelGraphic* Image, TPixelGraphic* Source, std::unique_ptr<TPixelGraphic>& Keep) {
  if (Source != Image) return Source;
  Keep = std::make_unique<TPixelGraphic>();
  Keep->Assign(Image);
  return Keep.get();
}
