// libpng callbacks over TStream, with errors and C++ exceptions carried out
// of the library by longjmp.
#include "imaging/formats/png_glue.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <zlib.h>

#include "platform/base/stream.h"
#include "platform/base/stream_reader.h"

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
  // and then allocates the whole declared length of a chunk it holds: a few
  // hostile bytes would claim gigabytes. Such a file fails instead; a chunk
  // that is skipped costs nothing and is not worth a word.
  if (msg != nullptr && std::strstr(msg, "chunk data is too large") != nullptr) {
    if (C->HeldWhole) ErrorFn(png, msg);
    return;
  }
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

constexpr png_uint_32 ChunkType(const char (&Name)[5]) {
  return png_uint_32(uint8_t(Name[0])) << 24 | png_uint_32(uint8_t(Name[1])) << 16 |
         png_uint_32(uint8_t(Name[2])) << 8 | png_uint_32(uint8_t(Name[3]));
}

png_uint_32 BigEndian32(const png_byte* P) {
  return png_uint_32(P[0]) << 24 | png_uint_32(P[1]) << 16 | png_uint_32(P[2]) << 8 | P[3];
}

// Counts what the text chunk read last cost, now that the library is done
// with it: the bytes it added to the info structure, twice when inflated
// (measured, then kept); a compressed chunk that added nothing was
// inflated up to the limit before it failed.
void SettleTextChunk(png_structp png, TPNGTextBudget& T) {
  if (!T.Pending) return;
  png_textp texts = nullptr;
  const int count = png_get_text(png, T.Info, &texts, nullptr);
  int64_t cost = 0;
  for (int i = T.Counted; i < count; ++i) cost += int64_t(texts[i].text_length) + int64_t(texts[i].itxt_length);
  if (T.Compressed) cost = count > T.Counted ? 2 * cost : int64_t(TPNGTextBudget::ChunkBytes);
  T.Counted = count;
  T.Left += T.Reserved - std::min(cost, T.Reserved);
  T.Pending = false;
}

// Called with each chunk's header before the library looks at it: decides
// whether a text chunk is read or skipped unread (a chunk cache of 1 makes
// the library skip it).
void BeforeChunk(png_structp png, TPNGContext& C, const png_byte* Header) {
  C.HeldWhole = false;
  TPNGTextBudget* T = C.Text.get();
  if (T == nullptr) return;
  SettleTextChunk(png, *T);
  const png_uint_32 length = BigEndian32(Header);
  const png_uint_32 type = BigEndian32(Header + 4);
  const bool text = type == ChunkType("tEXt") || type == ChunkType("zTXt") || type == ChunkType("iTXt");
  bool keep = false;
  if (text) {
    const bool compressed = type != ChunkType("tEXt");
    const int64_t reserve = compressed ? 2 * int64_t(TPNGTextBudget::ChunkBytes) : int64_t(length);
    keep = length <= TPNGTextBudget::ChunkBytes && T->Kept < TPNGTextBudget::MaxChunks && reserve <= T->Left;
    if (keep) {
      ++T->Kept;
      T->Left -= reserve;
      T->Pending = true;
      T->Reserved = reserve;
      T->Compressed = compressed;
    }
  }
  C.HeldWhole = keep;
  png_set_chunk_cache_max(png, text && !keep ? 1 : 0);
}

void ReadFn(png_structp png, png_bytep data, size_t length) {
  TPNGContext* C = IoContext(png);
  const bool header = (png_get_io_state(png) & PNG_IO_MASK_LOC) == PNG_IO_CHUNK_HDR && length == 8;
  size_t done = 0;
  bool failed = false;
  try {
    if (!C->Input) C->Input = std::make_unique<TStreamReader>(*C->Stream);
    done = static_cast<size_t>(C->Input->Read(data, static_cast<int64_t>(length)));
  } catch (...) {
    C->Pending = std::current_exception();
    failed = true;
  }
  if (failed) std::longjmp(C->Jump, 1);
  if (done != length) png_error(png, "Read Error");
  if (header) BeforeChunk(png, *C, data);
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

void PNGSelectChunks(png_structp png, png_infop info, TPNGContext& C, bool KeepText) {
  static const png_byte kUnused[] = "sPLT\0iCCP\0eXIf\0pCAL\0sCAL";
  static const png_byte kText[] = "tEXt\0zTXt\0iTXt";
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kUnused, 5);
  if (!KeepText) {
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kText, 3);
    return;
  }
  C.Text = std::make_unique<TPNGTextBudget>();
  C.Text->Info = info;
  png_set_chunk_malloc_max(png, TPNGTextBudget::ChunkBytes);
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
