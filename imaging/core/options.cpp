// Storage and defaults of the library-wide options.
#include "imaging/core/options.h"

long double PGDefaultGamma = PGDefaultGammaValue;
uint32_t& PGMaxImageSize = MaxImageBytes;
bool PGUseStretchBlt = false;
bool PGReadChunks = false;
bool PGWriteChunks = false;
bool PGGammaCorrectOnLoad = true;
bool BMPExpand16Bit = true;
uint8_t JPEGReadDCTMethod = 0;
uint8_t JPEGWriteDCTMethod = 2;
uint8_t JPEGQuality = 80;
bool JPEGProgressive = false;
bool JPEGDensityMetric = true;
bool PNGUseFileBackground = true;
bool PNGWriteGamma = true;
bool PxMWriteBinary = false;
int32_t TIFFMaxPages = 1000;
bool TIFFCountPages = false;
int32_t TIFFCompression = 1;
bool TIFFWriteCMYK = false;
bool TIFFWhiteIsZero = true;
bool TIFFMotorolaOrder = false;
bool TIFFResolutionUnitCm = false;

void InitPGOptions() {
  PGDefaultGamma = PGDefaultGammaValue;
  PGMaxImageSize = PGMaxImageSizeDefault;
  PGUseStretchBlt = false;
  PGReadChunks = false;
  PGWriteChunks = false;
  PGGammaCorrectOnLoad = true;
  BMPExpand16Bit = true;
  JPEGReadDCTMethod = 0;
  JPEGWriteDCTMethod = 2;
  JPEGQuality = 80;
  JPEGProgressive = false;
  JPEGDensityMetric = true;
  PNGUseFileBackground = true;
  PNGWriteGamma = true;
  PxMWriteBinary = false;
  TIFFMaxPages = 1000;
  TIFFCountPages = false;
  TIFFCompression = 1;
  TIFFWriteCMYK = false;
  TIFFWhiteIsZero = true;
  TIFFMotorolaOrder = false;
  TIFFResolutionUnitCm = false;
}
