// Metadata chunks of the JPEG and PNG codecs. The graphic's chunk list is
// not there yet: until it is, reading keeps no chunk and writing finds none.
#include "imaging/formats/codec_chunks.h"

void AddJPEGMarkerChunk(TPixelGraphic&, int, const uint8_t*, size_t) {}

std::vector<std::pair<int, std::vector<uint8_t>>> JPEGMarkersFromChunks(TPixelGraphic&) { return {}; }

void AddPNGTimeChunk(TPixelGraphic&, double) {}

void AddPNGTextChunk(TPixelGraphic&, const std::string&, const std::vector<std::string>&) {}

bool FindPNGTimeChunk(TPixelGraphic&, double&) { return false; }

std::vector<std::pair<std::string, std::vector<std::string>>> PNGTextsFromChunks(TPixelGraphic&) { return {}; }
