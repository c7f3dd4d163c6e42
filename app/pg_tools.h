// Operations that replace the picture of a viewer by a new image derived
// from it. Each builds the new image completely before handing it to the
// viewer, so the viewer shows either the old picture or the finished new
// one; a failure leaves the old picture in place. Each is a long command
// (TBusyCommand), or part of the one running: cancelled, it raises
// ECommandCancelled and the viewer keeps its picture.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "imaging/core/palette.h"
#include "platform/gdi/types.h"

class TPGImage;
class TPixelGraphic;

// The picture resampled to Width x Height (same pixel format and palette);
// the zoom factor returns to 1.0.
void Resample(TPGImage* Image, int32_t Width, int32_t Height);
// The pixels of Current mapped onto a palette taken from Pristine (the image
// as loaded): the optimal palette of Count colours for Kind pUnknown, else the
// standard palette of Kind. PixelFormat: 0 = 1 bit, 1 = 4 bit, 2 = 8 bit.
// WhileMapping, when given, runs on a second thread with the new image while
// its rows are mapped (TPixelGraphic::CopyFromWhile). Raises
// ECommandCancelled when the running command is cancelled meanwhile.
std::unique_ptr<TPixelGraphic> ReducedColors(TPixelGraphic* Current, TPixelGraphic* Pristine, TPaletteIdent Kind,
                                             bool RGBWeight, bool Dithering, int32_t Count, int32_t PixelFormat,
                                             const std::function<void(TPixelGraphic&)>& WhileMapping = nullptr);
// The viewer's picture replaced by ReducedColors of it; false when the
// viewer kept its picture.
bool ReduceColors(TPGImage* Image, TPixelGraphic* Pristine, TPaletteIdent Kind, bool RGBWeight, bool Dithering,
                  int32_t Count, int32_t PixelFormat);
// The selection clipped to the picture.
void ClampSelection(TPGImage* Image);
// The picture replaced by the selected rectangle; the selection is hidden.
void CropToSelection(TPGImage* Image);
// The picture rotated by Angle degrees.
void RotateImage(TPGImage* Image, int32_t Angle);
// The picture with a soft border of Width pixels fading into Color.
void AddSoftBorder(TPGImage* Image, bool Ellipse, int32_t Width, TColor Color);
