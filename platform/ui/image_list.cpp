// Image lists.
#include "platform/ui/image_list.h"

#include "platform/gdi/dc.h"

namespace {
// The pixels of a bitmap as colours, row by row from the top.
std::vector<TColor> PixelsOf(TBitmap* Source) {
  TBitmap b;
  b.Assign(Source);
  b.SetPixelFormat(pf24bit);
  std::vector<TColor> out;
  out.reserve(static_cast<size_t>(b.Width()) * static_cast<size_t>(b.Height()));
  for (int32_t y = 0; y < b.Height(); ++y) {
    auto* row = static_cast<const uint8_t*>(b.ScanLine(y));
    for (int32_t x = 0; x < b.Width(); ++x)
      out.push_back(static_cast<TColor>(row[x * 3 + 2]) | (static_cast<TColor>(row[x * 3 + 1]) << 8) |
                    (static_cast<TColor>(row[x * 3]) << 16));
  }
  return out;
}
}  // namespace

TCustomImageList::TCustomImageList(TComponent* AOwner) : TComponent(AOwner) {}
TCustomImageList::~TCustomImageList() = default;

void TCustomImageList::SetWidth(int32_t Value) {
  if (Value == FWidth || Value <= 0) return;
  FWidth = Value;
  Clear();
}

void TCustomImageList::SetHeight(int32_t Value) {
  if (Value == FHeight || Value <= 0) return;
  FHeight = Value;
  Clear();
}

void TCustomImageList::Changed() {
  if (OnChange) OnChange(this);
}

void TCustomImageList::CheckIndex(int32_t Index) const {
  if (Index < 0 || Index >= Count()) throw EInvalidOperation("Invalid image list index");
}

TCustomImageList::TImage TCustomImageList::Cut(TBitmap* Image, TBitmap* Mask, int32_t Part, bool UseColor,
                                               TColor MaskColor) {
  std::vector<TColor> px = PixelsOf(Image);
  std::vector<TColor> mk;
  if (Mask && !Mask->Empty()) mk = PixelsOf(Mask);
  int32_t iw = Image->Width(), ih = Image->Height();
  TColor key = ColorToRGB(MaskColor) & 0xFFFFFF;
  TImage out;
  out.Pixels.assign(static_cast<size_t>(FWidth) * static_cast<size_t>(FHeight), 0);
  out.Transparent.assign(out.Pixels.size(), 1);
  for (int32_t y = 0; y < FHeight && y < ih; ++y)
    for (int32_t x = 0; x < FWidth; ++x) {
      int32_t sx = Part * FWidth + x;
      if (sx >= iw) break;
      size_t s = static_cast<size_t>(y) * static_cast<size_t>(iw) + static_cast<size_t>(sx);
      size_t d = static_cast<size_t>(y) * static_cast<size_t>(FWidth) + static_cast<size_t>(x);
      out.Pixels[d] = px[s];
      bool transparent = false;
      if (FMasked) {
        if (UseColor) transparent = (px[s] & 0xFFFFFF) == key;
        else if (!mk.empty() && sx < Mask->Width() && y < Mask->Height())
          transparent = (mk[static_cast<size_t>(y) * static_cast<size_t>(Mask->Width()) + static_cast<size_t>(sx)] &
                         0xFFFFFF) != 0;
      }
      out.Transparent[d] = transparent ? 1 : 0;
    }
  return out;
}

int32_t TCustomImageList::AddParts(TBitmap* Image, TBitmap* Mask, bool UseColor, TColor MaskColor) {
  if (!Image || Image->Empty()) return -1;
  int32_t parts = std::max(1, Image->Width() / FWidth);
  int32_t first = Count();
  for (int32_t p = 0; p < parts; ++p) FImages.push_back(Cut(Image, Mask, p, UseColor, MaskColor));
  Changed();
  return first;
}

int32_t TCustomImageList::AddMasked(TBitmap* Image, TColor MaskColor) { return AddParts(Image, nullptr, true, MaskColor); }

void TCustomImageList::Replace(int32_t Index, TBitmap* Image, TBitmap* Mask) {
  CheckIndex(Index);
  if (!Image || Image->Empty()) return;
  FImages[static_cast<size_t>(Index)] = Cut(Image, Mask, 0, false, 0);
  Changed();
}

void TCustomImageList::ReplaceMasked(int32_t Index, TBitmap* Image, TColor MaskColor) {
  CheckIndex(Index);
  if (!Image || Image->Empty()) return;
  FImages[static_cast<size_t>(Index)] = Cut(Image, nullptr, 0, true, MaskColor);
  Changed();
}

void TCustomImageList::Delete(int32_t Index) {
  CheckIndex(Index);
  FImages.erase(FImages.begin() + Index);
  Changed();
}

void TCustomImageList::Clear() {
  if (FImages.empty()) return;
  FImages.clear();
  Changed();
}

bool TCustomImageList::IsTransparent(int32_t Index, int32_t X, int32_t Y) const {
  CheckIndex(Index);
  if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight) return true;
  return FImages[static_cast<size_t>(Index)].Transparent[static_cast<size_t>(Y * FWidth + X)] != 0;
}

TColor TCustomImageList::Pixel(int32_t Index, int32_t X, int32_t Y) const {
  CheckIndex(Index);
  if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight) return clNone;
  return FImages[static_cast<size_t>(Index)].Pixels[static_cast<size_t>(Y * FWidth + X)];
}

void TCustomImageList::DrawOnDC(HDC DC, int32_t X, int32_t Y, int32_t Index, bool Enabled) {
  if (Index < 0 || Index >= Count() || !DC) return;
  const TImage& img = FImages[static_cast<size_t>(Index)];
  TColor light = ColorToRGB(clBtnHighlight), dark = ColorToRGB(clBtnShadow);
  for (int32_t y = 0; y < FHeight; ++y)
    for (int32_t x = 0; x < FWidth; ++x) {
      size_t i = static_cast<size_t>(y * FWidth + x);
      if (img.Transparent[i]) continue;
      TColor c = img.Pixels[i];
      if (Enabled) {
        SetPixel(DC, X + x, Y + y, c);
        continue;
      }
      // Embossed: dark pixels in the shadow colour over a highlight offset.
      uint32_t lum = (c & 0xFF) * 30 + ((c >> 8) & 0xFF) * 59 + ((c >> 16) & 0xFF) * 11;
      if (lum < 128 * 100) {
        SetPixel(DC, X + x + 1, Y + y + 1, light);
        SetPixel(DC, X + x, Y + y, dark);
      }
    }
}

void TCustomImageList::Draw(TCanvas* Canvas, int32_t X, int32_t Y, int32_t Index, bool Enabled) {
  if (Canvas) DrawOnDC(Canvas->Handle(), X, Y, Index, Enabled);
}
