// Library-wide options of the imaging library. They are set to their
// defaults by InitPGOptions during the library's start-up and only read
// afterwards.
#pragma once

#include <cstdint>

// Gamma of new images and the reference of gamma correction.
extern long double PGDefaultGamma;
// The largest pixel memory (bytes) an image may have; CheckPGImageSize
// refuses larger images. Default 2^31 - 1.
extern uint32_t PGMaxImageSize;

constexpr long double PGDefaultGammaValue = 1.8L;
constexpr uint32_t PGMaxImageSizeDefault = 0x7FFFFFFF;

void InitPGOptions();
