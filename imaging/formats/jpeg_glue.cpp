// libjpeg callbacks over TStream, with errors and C++ exceptions carried out
// of the library by longjmp.
#include "imaging/formats/jpeg_glue.h"

#include <cstring>

#include <jerror.h>

#include "platform/base/numeric.h"
#include "platform/base/stream.h"

// The library checks the version and the sizes of the objects the create
// macros pass; this code is written against the version 62 interface.
static_assert(JPEG_LIB_VERSION == 62, "JPG: Invalid library version");
static_assert(BITS_IN_JSAMPLE == 8, "JPG: Invalid library version");
static_assert(sizeof(JSAMPLE) == 1 && sizeof(JOCTET) == 1, "JPG: Invalid library version");

namespace {

constexpr size_t kBufferSize = 4096;

TJPEGContext* Context(j_common_ptr cinfo) { return static_cast<TJPEGContext*>(cinfo->client_data); }

// Runs Fn, our code called from inside the library: an exception it throws
// must not unwind the library's frames, so it is kept in the context and the
// library is left through the jump.
template <class F>
void Guarded(TJPEGContext* C, F&& Fn) {
  bool failed = false;
  try {
    Fn();
  } catch (...) {
    C->Pending = std::current_exception();
    failed = true;
  }
  if (failed) std::longjmp(C->Jump, 1);
}

void ErrorExit(j_common_ptr cinfo) {
  TJPEGContext* C = Context(cinfo);
  C->MessageCode = cinfo->err->msg_code;
  (*cinfo->err->format_message)(cinfo, C->MessageText);
  std::longjmp(C->Jump, 1);
}

void OutputMessage(j_common_ptr cinfo) {
  TJPEGContext* C = Context(cinfo);
  if (!C->Warning) return;
  Guarded(C, [&] {
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    C->Warning(std::string(text));
  });
}

// ---- source manager ----

struct TStreamSource {
  jpeg_source_mgr Pub;
  TStream* Stream;
  bool StartOfFile;
  JOCTET Buffer[kBufferSize];
};

void InitSource(j_decompress_ptr cinfo) {
  reinterpret_cast<TStreamSource*>(cinfo->src)->StartOfFile = true;
}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<TStreamSource*>(cinfo->src);
  TJPEGContext* C = Context(reinterpret_cast<j_common_ptr>(cinfo));
  int64_t n = 0;
  Guarded(C, [&] { n = src->Stream->Read(src->Buffer, kBufferSize); });
  if (n <= 0) {
    if (src->StartOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
    WARNMS(cinfo, JWRN_JPEG_EOF);
    src->Buffer[0] = 0xFF;
    src->Buffer[1] = JPEG_EOI;
    n = 2;
  }
  src->Pub.next_input_byte = src->Buffer;
  src->Pub.bytes_in_buffer = static_cast<size_t>(n);
  src->StartOfFile = false;
  return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long num_bytes) {
  jpeg_source_mgr* src = cinfo->src;
  if (num_bytes <= 0) return;
  while (num_bytes > static_cast<long>(src->bytes_in_buffer)) {
    num_bytes -= static_cast<long>(src->bytes_in_buffer);
    (*src->fill_input_buffer)(cinfo);
  }
  src->next_input_byte += num_bytes;
  src->bytes_in_buffer -= static_cast<size_t>(num_bytes);
}

void TermSource(j_decompress_ptr) {}

// ---- destination manager ----

struct TStreamDest {
  jpeg_destination_mgr Pub;
  TStream* Stream;
  JOCTET Buffer[kBufferSize];
};

void InitDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<TStreamDest*>(cinfo->dest);
  dest->Pub.next_output_byte = dest->Buffer;
  dest->Pub.free_in_buffer = kBufferSize;
}

void WriteOut(j_compress_ptr cinfo, size_t Count) {
  auto* dest = reinterpret_cast<TStreamDest*>(cinfo->dest);
  TJPEGContext* C = Context(reinterpret_cast<j_common_ptr>(cinfo));
  Guarded(C, [&] { dest->Stream->WriteBuffer(dest->Buffer, static_cast<int64_t>(Count)); });
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  WriteOut(cinfo, kBufferSize);
  InitDestination(cinfo);
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<TStreamDest*>(cinfo->dest);
  const size_t count = kBufferSize - dest->Pub.free_in_buffer;
  if (count > 0) WriteOut(cinfo, count);
  InitDestination(cinfo);
}

// ---- marker processor ----

// One byte through the source manager; a source that cannot refill is a
// suspension, which this reader does not allow.
JOCTET NextByte(j_decompress_ptr cinfo) {
  jpeg_source_mgr* src = cinfo->src;
  if (src->bytes_in_buffer == 0 && !(*src->fill_input_buffer)(cinfo)) {
    cinfo->err->msg_code = JERR_CANT_SUSPEND;
    (*cinfo->err->error_exit)(reinterpret_cast<j_common_ptr>(cinfo));
  }
  --src->bytes_in_buffer;
  return *src->next_input_byte++;
}

boolean ProcessMarker(j_decompress_ptr cinfo) {
  TJPEGContext* C = Context(reinterpret_cast<j_common_ptr>(cinfo));
  int32_t length = NextByte(cinfo) << 8;
  length += NextByte(cinfo);
  // The length counts its own two bytes; a bogus length of 0 or 1 gives an
  // empty payload.
  const int32_t size = length >= 2 ? length - 2 : 0;
  for (int32_t i = 0; i < size; ++i) C->MarkerData[i] = NextByte(cinfo);
  if (!C->Marker) return TRUE;
  Guarded(C, [&] { C->Marker(cinfo->unread_marker, C->MarkerData, static_cast<size_t>(size)); });
  return TRUE;
}

// ---- progress monitor

// Called per iMCU row of every scan while jpeg_start_decompress buffers a
// multi-scan file, and per output row later on; InputProgress is set only
// around jpeg_start_decompress. It is asked every 16th call.
void ProgressMonitor(j_common_ptr cinfo) {
  TJPEGContext* C = Context(cinfo);
  if (!C->InputProgress || C->ProgressCalls++ % 16 != 0) return;
  bool abort = false;
  Guarded(C, [&] { abort = C->InputProgress(); });
  if (abort) ERREXIT(cinfo, JERR_TOO_LITTLE_DATA);
}

}  // namespace

void JPEGSetInputProgress(j_decompress_ptr cinfo, TJPEGContext& C) {
  C.Progress.progress_monitor = ProgressMonitor;
  cinfo->progress = &C.Progress;
}

jpeg_error_mgr* JPEGInitErrors(TJPEGContext& C) {
  jpeg_std_error(&C.Err);
  C.Err.error_exit = ErrorExit;
  C.Err.output_message = OutputMessage;
  return &C.Err;
}

void JPEGStreamSource(j_decompress_ptr cinfo, TStream& Stream) {
  if (cinfo->src == nullptr) {
    cinfo->src = static_cast<jpeg_source_mgr*>((*cinfo->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(TStreamSource)));
  }
  auto* src = reinterpret_cast<TStreamSource*>(cinfo->src);
  src->Pub.init_source = InitSource;
  src->Pub.fill_input_buffer = FillInputBuffer;
  src->Pub.skip_input_data = SkipInputData;
  src->Pub.resync_to_restart = jpeg_resync_to_restart;
  src->Pub.term_source = TermSource;
  src->Pub.bytes_in_buffer = 0;
  src->Pub.next_input_byte = nullptr;
  src->Stream = &Stream;
  src->StartOfFile = true;
}

void JPEGStreamDest(j_compress_ptr cinfo, TStream& Stream) {
  if (cinfo->dest == nullptr) {
    cinfo->dest = static_cast<jpeg_destination_mgr*>((*cinfo->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(TStreamDest)));
  }
  auto* dest = reinterpret_cast<TStreamDest*>(cinfo->dest);
  dest->Pub.init_destination = InitDestination;
  dest->Pub.empty_output_buffer = EmptyOutputBuffer;
  dest->Pub.term_destination = TermDestination;
  dest->Stream = &Stream;
}

void JPEGSetMarkerProcessors(j_decompress_ptr cinfo) {
  jpeg_set_marker_processor(cinfo, JPEG_COM, ProcessMarker);
  for (int n = 1; n <= 15; ++n)
    if (n != 8 && n != 14) jpeg_set_marker_processor(cinfo, JPEG_APP0 + n, ProcessMarker);
}

bool JPEGVersionError(const TJPEGContext& C) {
  return C.MessageCode == JERR_BAD_LIB_VERSION || C.MessageCode == JERR_BAD_STRUCT_SIZE;
}

int32_t JPEGPreviewScale(int32_t Width, int32_t Height, int32_t PreviewSize) {
  if (PreviewSize <= 0) return 1;
  const int64_t twice = static_cast<int64_t>(PreviewSize) * 2;
  int64_t s = 1;
  const int64_t side = Width > Height ? Width : Height;
  // Width / Height above 1 measures along the width, otherwise the height.
  while (twice <= side / s) s *= 2;
  if (Width / s < 1 || Height / s < 1) s = 1;
  if (s > 8) s = 8;
  return static_cast<int32_t>(s);
}

void JPEGDensityToResolution(int32_t Width, int32_t Height, int Unit, uint32_t XDensity,
                             uint32_t YDensity, int32_t& XRes, int32_t& YRes) {
  if (XDensity == 0 || YDensity == 0) return;
  switch (Unit) {
    case 1:  // dots per inch
      XRes = static_cast<int32_t>(Round(XDensity / 2.54L * 100));
      YRes = static_cast<int32_t>(Round(YDensity / 2.54L * 100));
      break;
    case 2:  // dots per centimetre
      XRes = static_cast<int32_t>(XDensity * 100);
      YRes = static_cast<int32_t>(YDensity * 100);
      break;
    case 0:  // aspect ratio only
      if (XDensity != YDensity) AspectResolution(Width, Height, XDensity, YDensity, XRes, YRes);
      break;
    default:
      break;
  }
}
