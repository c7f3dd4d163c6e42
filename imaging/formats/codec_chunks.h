// Metadata chunks of the JPEG and PNG codecs: COM and APPn markers, tIME and
// text entries to and from the graphic's chunk list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "imaging/core/pixel_graphic.h"

// COM (0xFE) becomes a text chunk "JFIF COM" of the payload's lines; APPn
// (0xE0 + n) a binary chunk "JFIF APPn" (n one upper-case hex digit) of the
// payload. Keywords are made unique within the graphic.
void AddJPEGMarkerChunk(TPixelGraphic& Graphic, int Marker, const uint8_t* Data, size_t Size);
// The markers the graphic's chunks make, in chunk order: a text chunk "JFIF
// COM..." gives every line followed by CR LF, then a 0 byte; a binary chunk
// "JFIF APPn..." (n 1..15 but 8 and 14) its data. Raises the JPG errors for a
// payload above 65534 bytes.
std::vector<std::pair<int, std::vector<uint8_t>>> JPEGMarkersFromChunks(TPixelGraphic& Graphic);

// A date-time chunk "PNG TIME".
void AddPNGTimeChunk(TPixelGraphic& Graphic, double Value);
// A text chunk "PNG TEXT " + the key without surrounding blanks, made unique;
// a key no chunk keyword can carry is skipped.
void AddPNGTextChunk(TPixelGraphic& Graphic, const std::string& Key, const std::vector<std::string>& Lines);
// The value of the graphic's date-time chunk "PNG TIME", if it has one.
bool FindPNGTimeChunk(TPixelGraphic& Graphic, double& Value);
// Key and lines of every text chunk "PNG TEXT ...": the key is the keyword
// after its first eight characters, without surrounding blanks.
std::vector<std::pair<std::string, std::vector<std::string>>> PNGTextsFromChunks(TPixelGraphic& Graphic);
