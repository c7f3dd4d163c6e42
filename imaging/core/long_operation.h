// Helpers of the long pixel operations, readers and writers: the progress
// events around a run of rows.
#pragma once

#include <cstdint>
#include <memory>

#include "imaging/core/dither.h"
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

// The pixel store rule for a colour 0x00BBGGRR.
inline void StoreColor(TDitherScope& Store, int32_t X, int32_t Y, TColor Color) {
  Store.Store(X, Y, uint8_t(Color), uint8_t(Color >> 8), uint8_t(Color >> 16));
}

// BeginUpdate now and EndUpdate when it goes out of scope, also when an
// exception passes, so that OnChange fires once at the end.
class TPGUpdateScope {
public:
  explicit TPGUpdateScope(TPixelGraphic& Graphic) : FGraphic(Graphic) { FGraphic.BeginUpdate(); }
  ~TPGUpdateScope() { FGraphic.EndUpdate(); }
  TPGUpdateScope(const TPGUpdateScope&) = delete;
  TPGUpdateScope& operator=(const TPGUpdateScope&) = delete;

private:
  TPixelGraphic& FGraphic;
};

// The image to read from when an operation writes Image from Source: Source
// itself when it is another image, else a copy of Image held by Keep, so
// that an image copied, bordered or rotated onto itself never reads pixels
// it has already re-created or overwritten.
TPixelGraphic* DistinctSource(TPixelGraphic* Image, TPixelGraphic* Source, std::unique_ptr<TPixelGraphic>& Keep);
