// TGradientFill: a rectangle filled with bands of colour from BeginColor to
// EndColor, optionally through a logical palette of the band colours so
// that it looks right on a 256-colour screen.
#pragma once

#include <memory>

#include "platform/gdi/bitmap.h"
#include "platform/ui/controls.h"

enum TFillDirection : uint8_t { fdTopToBottom, fdBottomToTop, fdLeftToRight, fdRightToLeft };
using TNumberOfColors = int32_t;  // 1..256

class TGradientFill : public TGraphicControl {
public:
  explicit TGradientFill(TComponent* AOwner);
  ~TGradientFill() override;

  TFillDirection FillDirection() const { return FFillDirection; }
  void SetFillDirection(TFillDirection Value);
  TColor BeginColor() const { return FBeginColor; }
  void SetBeginColor(TColor Value);
  TColor EndColor() const { return FEndColor; }
  void SetEndColor(TColor Value);
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);
  bool Realize() const { return FRealize; }
  void SetRealize(bool Value);
  TNumberOfColors NumberOfColors() const { return FNumberOfColors; }
  void SetNumberOfColors(TNumberOfColors Value);

  // The number of bands painted (255 for 256 colours through a palette).
  int32_t BandCount() const { return FBandCount; }
  HPALETTE GetPalette() override { return FPalette; }
  // The gradient as last painted.
  TBitmap* Bitmap() const { return FBitmap.get(); }
  // Paints the gradient into the off-screen bitmap.
  void PaintGradient();

protected:
  void Paint() override;

private:
  void Changed();
  TFillDirection FFillDirection = fdTopToBottom;
  TColor FBeginColor = 0xFF0000;
  TColor FEndColor = 0;
  bool FAutoSize = false;
  bool FRealize = true;
  uint16_t FBandCount = 16;
  TNumberOfColors FNumberOfColors = 16;
  std::unique_ptr<TBitmap> FBitmap;
  HPALETTE FPalette = nullptr;
};
