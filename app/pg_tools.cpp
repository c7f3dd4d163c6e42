#include "app/pg_tools.h"

#include <cstdlib>
#include <functional>
#include <memory>

#include "app/busy.h"
#include "imaging/core/median_cut.h"
#include "imaging/core/pixel_graphic.h"
#include "imaging/viewer/pg_image.h"
#include "platform/ui/forms.h"

namespace {

// Runs Build as a long command; the image it returns goes to the viewer.
// Any exception drops the new image and keeps the old picture; a cancelled
// command goes on to the caller.
bool Replace(TPGImage* Image, const std::function<std::unique_ptr<TPixelGraphic>(TPixelGraphic*)>& Build) {
  TBusyCommand busy("Working on the picture...");
  try {
    TPixelGraphic* current = Image->GetPixelGraphic();
    if (!current || current->Empty()) return false;
    std::unique_ptr<TPixelGraphic> result = Build(current);
    CheckBusyCancelled();
    result->OnProgress = nullptr;
    Image->TakePixelGraphic(std::move(result));
    return true;
  } catch (const ECommandCancelled&) {
    throw;
  } catch (const std::exception&) {
    // The viewer keeps its previous picture.
  }
  return false;
}

// A new image of the given size in Format with Source's palette, whose rows
// are the running command's steps.
std::unique_ptr<TPixelGraphic> Blank(TPixelGraphic* Source, int32_t Width, int32_t Height, uint8_t Format) {
  auto g = std::make_unique<TPixelGraphic>();
  g->NewImage(Width, Height, Format);
  g->AssignPalette(Source);
  g->OnProgress = BusyProgress();
  return g;
}

}  // namespace

void Resample(TPGImage* Image, int32_t Width, int32_t Height) {
  Replace(Image, [&](TPixelGraphic* current) {
    auto g = Blank(current, Width, Height, current->PixelFormat());
    g->CopyFrom(current);
    return g;
  });
  Image->SetZoomFactor(1.0L);
}

std::unique_ptr<TPixelGraphic> ReducedColors(TPixelGraphic* Current, TPixelGraphic* Pristine, TPaletteIdent Kind,
                                             bool RGBWeight, bool Dithering, int32_t Count, int32_t PixelFormat,
                                             const std::function<void(TPixelGraphic&)>& WhileMapping) {
  TBusyCommand busy("Reducing the colours...");
  auto g = std::make_unique<TPixelGraphic>();
  g->NewImage(Current->GetWidth(), Current->GetHeight(), static_cast<uint8_t>(PixelFormat));
  if (Kind == pUnknown)
    CreateOptimizedPalette(g.get(), Pristine, Count, false);
  else
    g->SetPaletteIdent(Kind);
  CheckBusyCancelled();
  g->SetDither(Dithering);
  g->SetRGBWeighting(RGBWeight);
  g->OnProgress = BusyProgress();
  if (WhileMapping)
    g->CopyFromWhile(Current, [&] { WhileMapping(*g); });
  else
    g->CopyFrom(Current);
  g->OnProgress = nullptr;
  CheckBusyCancelled();
  return g;
}

bool ReduceColors(TPGImage* Image, TPixelGraphic* Pristine, TPaletteIdent Kind, bool RGBWeight, bool Dithering,
                  int32_t Count, int32_t PixelFormat) {
  return Replace(Image, [&](TPixelGraphic* current) {
    return ReducedColors(current, Pristine, Kind, RGBWeight, Dithering, Count, PixelFormat);
  });
}

// Selection coordinates are image pixels here, so the selection is clipped
// to the picture itself; the picture box shows it at any zoom.
void ClampSelection(TPGImage* Image) {
  TPixelGraphic* p = Image->PixelGraphicNoWait();
  const int32_t boxW = p ? p->GetWidth() : 0;
  const int32_t boxH = p ? p->GetHeight() : 0;
  int32_t left = Image->SelectionLeft(), top = Image->SelectionTop();
  int32_t width = Image->SelectionWidth(), height = Image->SelectionHeight();
  if (left < 0) {
    width -= std::abs(left);
    left = 0;
  }
  if (top < 0) {
    height -= std::abs(top);
    top = 0;
  }
  if (boxW - left < width) width = boxW - left;
  if (boxH - top < height) height = boxH - top;
  Image->SetSelectionBounds(left, top, width, height);
}

void CropToSelection(TPGImage* Image) {
  ClampSelection(Image);
  const int32_t left = Image->SelectionLeft(), top = Image->SelectionTop();
  const int32_t width = Image->SelectionWidth(), height = Image->SelectionHeight();
  if (width <= 0 || height <= 0) return;  // nothing selected inside the picture
  Replace(Image, [&](TPixelGraphic* current) {
    auto g = Blank(current, width, height, current->PixelFormat());
    for (int32_t x = 0; x < width; ++x)
      for (int32_t y = 0; y < height; ++y) g->SetPixel(x, y, current->GetPixel(left + x, top + y));
    Image->SetSelection(false);
    return g;
  });
}

void RotateImage(TPGImage* Image, int32_t Angle) {
  Replace(Image, [&](TPixelGraphic* current) {
    auto g = Blank(current, current->GetWidth(), current->GetHeight(), current->PixelFormat());
    g->SetSmoothRotate(true);
    g->Rotate(true, current, static_cast<long double>(Angle));
    return g;
  });
}

void AddSoftBorder(TPGImage* Image, bool Ellipse, int32_t Width, TColor Color) {
  Replace(Image, [&](TPixelGraphic* current) {
    auto g = Blank(current, current->GetWidth(), current->GetHeight(), current->PixelFormat());
    g->SoftBorder(Ellipse ? 1 : 0, Width, current, Color);
    return g;
  });
}
