// libpng callbacks over TStream, with errors and C++ exceptions carried out
// of the library by longjmp.
#include "imaging/formats/png_glue.h"

#include <cstdio>
#include <cstring>

#include <zlib.h>

#include "platform/base/stream.h"

// This code uses the 1.6 interface: opaque structures reached through the
// png_get_* and png_set_* accessors.
static_assert(PNG_LIBPNG_VER >= 10600 && PNG_LIBPNG_VER < 10700, "PNG: Invalid library version");
static_assert(ZLIB_VERNUM >= 0x1200, "PNG: Invalid library version");
static_assert(sizeof(png_color) == 3, "png_color: declared sizes differ");
static_assert(sizeof(png_color_8) == 5, "png_color_8: declared sizes differ");
static_assert(sizeof(png_color_16) == 10, "png_color_16: declared sizes differ");
static_assert(sizeof(png_time) == 8, "png_time: declared sizes differ");

namespace {

TPNGContext* ErrorContext(png_structp png) { return static_cast<TPNGContext*>(png_get_error_ptr(png)); }
TPNGContext* IoContext(png_structp png) { return static_cast<TPNGContext*>(png_get_io_ptr(png)); }

void ErrorFn(png_structp png, png_const_charp msg) {
  TPNGContext* C = ErrorContext(png);
  std::snprintf(C->MessageText, sizeof C->MessageText, "%s", msg != nullptr ? msg : "");
  std::longjmp(C->Jump, 1);
}

void WarningFn(png_structp png, png_const_charp msg) {
  TPNGContext* C = ErrorContext(png);
  // The library only warns about a chunk longer than its allocation limit,
  // and then allocates the whole declared length: a few hostile bytes would
  // claim gigabytes. Such a file fails instead.
  if (msg != nullptr && std::strstr(msg, "chunk data is too large") != nullptr) ErrorFn(png, msg);
  if (!C->Warning) return;
  bool failed = false;
  try {
    std::string text(msg != nullptr ? msg : "");
    if (PNGWarningReachesUser(text)) C->Warning(text);
  } catch (...) {
    C->Pending = std::current_exception();
    failed = true;
  }
  if (failed) std::longjmp(C->Jump, 1);
}

void ReadFn(png_structp png, png_bytep data, size_t length) {
  TPNGContext* C = IoContext(png);
  size_t done = 0;
  bool failed = false;
  try {
    while (done < length) {
      const int64_t n = C->Stream->Read(data + done, static_cast<int64_t>(length - done));
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
  } catch (...) {
    C->Pending = std::current_exception();
    failed = true;
  }
  if (failed) std::longjmp(C->Jump, 1);
  if (done != length) png_error(png, "Read Error");
}

void WriteFn(png_structp png, png_bytep data, size_t length) {
  TPNGContext* C = IoContext(png);
  bool failed = false;
  try {
    C->Stream->WriteBuffer(data, static_cast<int64_t>(length));
  } catch (...) {
    C->Pending = std::current_exception();
    failed = true;
  }
  if (failed) std::longjmp(C->Jump, 1);
}

void FlushFn(png_structp) {}

}  // namespace

TPNGObject::~TPNGObject() {
  if (Png == nullptr) return;
  if (FWriting)
    png_destroy_write_struct(&Png, Info != nullptr ? &Info : nullptr);
  else
    png_destroy_read_struct(&Png, Info != nullptr ? &Info : nullptr, nullptr);
}

png_structp PNGCreateRead(TPNGContext& C) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &C, ErrorFn, WarningFn);
  if (png == nullptr) return nullptr;
  png_set_read_fn(png, &C, ReadFn);
  // The reader shows no colour profile, so its checks only cost warnings.
  png_set_option(png, PNG_SKIP_sRGB_CHECK_PROFILE, PNG_OPTION_ON);
  return png;
}

png_structp PNGCreateWrite(TPNGContext& C) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &C, ErrorFn, WarningFn);
  if (png == nullptr) return nullptr;
  png_set_write_fn(png, &C, WriteFn, FlushFn);
  return png;
}

bool PNGLibraryVersionOK() {
  const png_uint_32 running = png_access_version_number();
  if (running / 100 != PNG_LIBPNG_VER / 100) return false;
  const char* z = zlibVersion();
  return z != nullptr && z[0] == ZLIB_VERSION[0];
}

bool PNGWarningReachesUser(const std::string& Text) {
  // libpng names the chunk a warning is about before a colon: "iCCP: ...".
  static const char* const kUsed[] = {"IHDR", "PLTE", "IDAT", "IEND", "gAMA", "tRNS",
                                      "bKGD", "pHYs", "tEXt", "zTXt", "iTXt"};
  if (Text.size() >= 5 && Text[4] == ':') {
    const std::string name = Text.substr(0, 4);
    for (const char* used : kUsed)
      if (name == used) return true;
    return false;
  }
  // An impossible tIME date: the reader skips the chunk on its own.
  if (Text.find("invalid time") != std::string::npos) return false;
  return true;
}
