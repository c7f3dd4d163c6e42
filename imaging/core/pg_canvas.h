// TPGCanvas: a canvas whose device context has an image's DIB section
// selected, so that drawing lands in the image's pixel memory; and the list
// of the canvases that currently hold a device context.
#pragma once

#include <vector>

#include "platform/gdi/canvas.h"

class TPixelGraphic;

class TPGCanvas : public TCanvas {
public:
  explicit TPGCanvas(TPixelGraphic* PixelGraphic);
  ~TPGCanvas() override;

  TPixelGraphic* PixelGraphic() const { return FPixelGraphic; }
  // Gives the device context up (selecting back what it held first) and
  // leaves the live list; the next drawing call makes a new one.
  void ReleaseCanvasDC();

protected:
  void CreateHandle() override;

private:
  HDC FDC = nullptr;
  TPixelGraphic* FPixelGraphic;
  HGDIOBJ FOldBitmap = nullptr;
  HPALETTE FOldPalette = nullptr;
};

// The canvases that hold a device context, in the order they got it. Used
// on the main thread only.
const std::vector<TPGCanvas*>& PGCanvases();
// Releases the device context of every live canvas.
void FreeAllPGCanvases();
// Releases, from the last to the first, the live canvases whose image has
// the given DIB section.
void FreeCanvasesOfBitmap(HBITMAP BitmapHandle);
