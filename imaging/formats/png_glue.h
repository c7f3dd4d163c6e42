// The layer between libpng and our streams: error and warning callbacks that
// leave the library by longjmp, and read and write callbacks over TStream.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include <png.h>

#include "imaging/formats/codec_glue.h"

class TStream;

// The state the library's callbacks reach through its error and io pointers.
struct TPNGContext {
  std::jmp_buf Jump{};
  char MessageText[256] = {};   // the library's error text
  std::exception_ptr Pending;   // a C++ exception from a callback
  TCodecWarning Warning;        // none: warnings are dropped
  TStream* Stream = nullptr;
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

// True when the library that runs is the release series this code was built
// for, and so is the zlib under it.
bool PNGLibraryVersionOK();

// Whether a libpng warning reaches the user's warning action. Warnings about
// ancillary chunks the reader does not use (colour profiles and the like),
// which current libraries raise for ordinary files, are dropped.
bool PNGWarningReachesUser(const std::string& Text);
