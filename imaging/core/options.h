// Library-wide options of the imaging library. They are set to their
// defaults by InitPGOptions during the library's start-up and only read
// afterwards.
#pragma once

#include <cstdint>

#include "platform/gdi/surface.h"

// Gamma of new images and the reference of gamma correction: 2.2, the
// sRGB desktop's, so that pictures declaring it (a PNG's gAMA 0.45455, as
// most programs write) load as they are, and the PNG writer stores it.
extern long double PGDefaultGamma;
// The largest pixel memory (bytes) an image may have; CheckPGImageSize
// refuses larger images. Default (and ceiling): the largest surface
// platform/gdi makes, 2^30. It is platform/gdi's MaxImageBytes itself, so
// that TBitmap's loads keep the same cap.
extern uint32_t& PGMaxImageSize;

// DrawToDC never uses StretchDIBits while this is off.
extern bool PGUseStretchBlt;
// Readers turn metadata into chunks; writers store the chunks.
extern bool PGReadChunks;
extern bool PGWriteChunks;
// Gamma correction of the picture after reading.
extern bool PGGammaCorrectOnLoad;
// 16-bit DIB channels widened by their lowest mask bit.
extern bool BMPExpand16Bit;
// JPEG: DCT methods of the JPEG library (0 integer slow, 1 integer fast,
// 2 floating point), quality 0..100, progressive writing, JFIF density in
// dots per centimetre.
extern uint8_t JPEGReadDCTMethod;
extern uint8_t JPEGWriteDCTMethod;
extern uint8_t JPEGQuality;
extern bool JPEGProgressive;
extern bool JPEGDensityMetric;
// PNG: transparency over the file's background colour; the writer stores
// the gamma.
extern bool PNGUseFileBackground;
extern bool PNGWriteGamma;
// Binary PBM/PGM/PPM forms.
extern bool PxMWriteBinary;
// TIFF: limit of the page count walk; whether the reader counts pages; the
// writer's compression (1 none, 2 CCITT 1D, 32773 PackBits), CMYK pages,
// photometric interpretation of bilevel and grey pages, byte order and
// resolution unit.
extern int32_t TIFFMaxPages;
extern bool TIFFCountPages;
extern int32_t TIFFCompression;
extern bool TIFFWriteCMYK;
extern bool TIFFWhiteIsZero;
extern bool TIFFMotorolaOrder;
extern bool TIFFResolutionUnitCm;

constexpr long double PGDefaultGammaValue = 2.2L;
constexpr uint32_t PGMaxImageSizeDefault = static_cast<uint32_t>(MaxSurfaceBytes);

void InitPGOptions();
