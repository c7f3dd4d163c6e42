// Storage and defaults of the library-wide options.
#include "imaging/core/options.h"

long double PGDefaultGamma = PGDefaultGammaValue;
uint32_t PGMaxImageSize = PGMaxImageSizeDefault;

void InitPGOptions() {
  PGDefaultGamma = PGDefaultGammaValue;
  PGMaxImageSize = PGMaxImageSizeDefault;
}
