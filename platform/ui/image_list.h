// TImageList: equally sized images kept side by side, each with a mask
// (given, or made from a transparent colour), drawn transparently.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/gdi/bitmap.h"
#include "platform/ui/component.h"

class TCustomImageList : public TComponent {
public:
  explicit TCustomImageList(TComponent* AOwner);
  ~TCustomImageList() override;

  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  // Changing the size clears the list.
  void SetWidth(int32_t Value);
  void SetHeight(int32_t Value);
  bool Masked() const { return FMasked; }
  void SetMasked(bool Value) { FMasked = Value; }
  int32_t Count() const { return static_cast<int32_t>(FImages.size()); }

  // Adds Image (a strip of one or more images of the list's width) with
  // the pixels of MaskColor transparent. Returns the index of the first
  // image added, -1 when Image is empty.
  int32_t AddMasked(TBitmap* Image, TColor MaskColor);
  void Replace(int32_t Index, TBitmap* Image, TBitmap* Mask);
  void ReplaceMasked(int32_t Index, TBitmap* Image, TColor MaskColor);
  void Delete(int32_t Index);
  void Clear();
  // Draws image Index at (X, Y), its transparent pixels left alone; a
  // disabled image is drawn embossed in the shadow colours.
  void Draw(TCanvas* Canvas, int32_t X, int32_t Y, int32_t Index, bool Enabled = true);
  void DrawOnDC(HDC DC, int32_t X, int32_t Y, int32_t Index, bool Enabled = true);
  // Whether pixel (X, Y) of image Index is transparent.
  bool IsTransparent(int32_t Index, int32_t X, int32_t Y) const;
  TColor Pixel(int32_t Index, int32_t X, int32_t Y) const;
  TNotifyEvent OnChange;

private:
  struct TImage {
    std::vector<TColor> Pixels;  // row by row, top first
    std::vector<uint8_t> Transparent;
  };
  TImage Cut(TBitmap* Image, TBitmap* Mask, int32_t Part, bool UseColor, TColor MaskColor);
  int32_t AddParts(TBitmap* Image, TBitmap* Mask, bool UseColor, TColor MaskColor);
  void CheckIndex(int32_t Index) const;
  void Changed();
  int32_t FWidth = 16;
  int32_t FHeight = 16;
  bool FMasked = true;
  std::vector<TImage> FImages;
};

class TImageList : public TCustomImageList {
public:
  explicit TImageList(TComponent* AOwner) : TCustomImageList(AOwner) {}
};
