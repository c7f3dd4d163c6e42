// The layer between libpng and our streams: error and warning callbacks that
// leave the library by longjmp, and read and write callbacks over TStream.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include <png.h>

#include "imaging/formats/codec_glue.h"
#include "platform/base/stream_reader.h"

class TStream;

// What the text chunks (tEXt, zTXt, iTXt) that one read keeps may cost.
// libpng holds each, inflated, until the read ends, and inflates a
// compressed one twice (once to measure it): a chunk longer than ChunkBytes,
// stored or inflated, is skipped, and so is every text chunk once MaxChunks
// are kept or the work on kept text (stored bytes, inflated ones counted
// twice) would pass Budget. Each is decided as the chunk's header is read.
struct TPNGTextBudget {
  static constexpr png_uint_32 ChunkBytes = 2u << 20;
  static constexpr int64_t Budget = int64_t(16) << 20;
  static constexpr int32_t MaxChunks = 1000;

  png_infop Info = nullptr;
  int64_t Left = Budget;    // work still allowed, less what a chunk in reading reserved
  int32_t Kept = 0;         // chunks let through
  int32_t Counted = 0;      // text entries of Info already counted
  bool Pending = false;     // a chunk let through is not counted yet
  int64_t Reserved = 0;     // what it may cost at most
  bool Compressed = false;  // it may be inflated
};

// The state the library's callbacks reach through its error and io pointers.
struct TPNGContext {
  std::jmp_buf Jump{};
  char MessageText[256] = {};   // the library's error text
  std::exception_ptr Pending;   // a C++ exception from a callback
  TCodecWarning Warning;        // none: warnings are dropped
  TStream* Stream = nullptr;
  // Reading: the stream read ahead, since the library asks for a kilobyte at
  // a time as it passes over chunks it skips.
  std::unique_ptr<TStreamReader> Input;
  // Set by PNGSelectChunks when text chunks are kept; none: none are.
  std::unique_ptr<TPNGTextBudget> Text;
  // The chunk being read is held whole in memory by the library.
  bool HeldWhole = false;
};

// The read or write structure with its info structure, destroyed with it.
class TPNGObject {
public:
  TPNGObject(bool Writing) : FWriting(Writing) {}
  ~TPNGObject();
  TPNGObject(const TPNGObject&) = delete;
  TPNGObject& operator=(const TPNGObject&) = delete;
  png_structp Png = nullptr;
  png_infop Info = nullptr;

private:
  bool FWriting;
};

// Creates the read (or write) structure with our callbacks over C.Stream.
// Returns null when the library refuses; call inside CodecGuard.
png_structp PNGCreateRead(TPNGContext& C);
png_structp PNGCreateWrite(TPNGContext& C);

// Chooses the metadata chunks the library reads (call before png_read_info).
// Chunks this reader never uses (suggested palettes, colour profiles, EXIF,
// calibrations) are skipped as they are read, never inflated nor held, and
// so are text chunks unless KeepText; kept text stays within C.Text's budget.
void PNGSelectChunks(png_structp png, png_infop info, TPNGContext& C, bool KeepText);

// True when the library that runs is the release series this code was built
// for, and so is the zlib under it.
bool PNGLibraryVersionOK();

// Whether a libpng warning reaches the user's warning action. Warnings about
// ancillary chunks the reader does not use (colour profiles and the like),
// which current libraries raise for ordinary files, are dropped.
bool PNGWarningReachesUser(const std::string& Text);
