// Metadata chunks of the JPEG and PNG codecs: COM and APPn markers, tIME and
// text entries to and from the graphic's chunk list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "imaging/core/chunks.h"
#include "imaging/core/pixel_graphic.h"

// The chunks one read adds to a graphic. Keywords are made unique as
// MakeUniqueChunkKeyword makes them, but with the keywords kept in a set, so a
// file of thousands of markers costs no quadratic search; and one read adds at
// most MaxChunks chunks (libpng keeps no more ancillary chunks either) of at
// most MaxBytes together, a line of text counted with what holding it costs:
// a chunk that would pass that is dropped. Both bound what a hostile file can
// take in time and memory.
class TCodecChunkSink {
public:
  static constexpr int32_t MaxChunks = 1000;
  static constexpr int64_t MaxBytes = int64_t(16) << 20;
  explicit TCodecChunkSink(TPixelGraphic& Graphic);

  // COM (0xFE) becomes a text chunk "JFIF COM" of the payload's lines; APPn
  // (0xE0 + n) a binary chunk "JFIF APPn" (n one upper-case hex digit) of the
  // payload.
  void AddJPEGMarker(int Marker, const uint8_t* Data, size_t Size);
  // A date-time chunk "PNG TIME".
  void AddPNGTime(double Value);
  // A text chunk "PNG TEXT " + the key (ISO 8859-1) without surrounding
  // blanks, of the text's lines; a key no chunk keyword can carry is skipped.
  void AddPNGText(const std::string& Key, const uint8_t* Text, size_t Size);

private:
  bool Full() const { return FAdded >= MaxChunks; }
  // Takes Bytes from the budget; false (nothing taken) when they do not fit.
  bool Take(int64_t Bytes);
  std::string UniqueKeyword(const std::string& Keyword);
  void Add(std::unique_ptr<TChunk> Chunk);

  TPixelGraphic& FGraphic;
  std::unordered_set<std::string> FKeywords;        // upper case
  std::unordered_map<std::string, int32_t> FNext;  // next number to try per keyword
  int32_t FAdded = 0;
  int64_t FBytes = 0;
};

// The markers the graphic's chunks make, in chunk order: a text chunk "JFIF
// COM..." gives every line followed by CR LF, then a 0 byte; a binary chunk
// "JFIF APPn..." (n 1..15 but 8 and 14) its data. Raises the JPG errors for a
// payload above 65534 bytes.
std::vector<std::pair<int, std::vector<uint8_t>>> JPEGMarkersFromChunks(TPixelGraphic& Graphic);

// The value of the graphic's date-time chunk "PNG TIME", if it has one.
bool FindPNGTimeChunk(TPixelGraphic& Graphic, double& Value);
// Key and lines of every text chunk "PNG TEXT ...": the key is the keyword
// after its first eight characters, without surrounding blanks, in ISO
// 8859-1.
std::vector<std::pair<std::string, std::vector<std::string>>> PNGTextsFromChunks(TPixelGraphic& Graphic);
