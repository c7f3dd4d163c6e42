// The layer between libjpeg and our streams: an error manager that leaves the
// library by longjmp, a message output that hands warnings to the caller, a
// source and a destination manager over TStream, and a marker processor that
// hands COM and APPn payloads to the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <functional>

#include <jpeglib.h>

#include "imaging/formats/codec_glue.h"

class TStream;

// Receives one marker's payload (Marker is 0xFE for COM, 0xE0 + n for APPn).
using TJPEGMarkerHandler = std::function<void(int Marker, const uint8_t* Data, size_t Size)>;

// The state the library's callbacks reach through the object's client_data.
// Keep it off the stack frames that the library may jump over (heap or an
// outer frame).
struct TJPEGContext {
  jpeg_error_mgr Err{};
  std::jmp_buf Jump{};
  int MessageCode = 0;                      // msg_code of the fatal error
  char MessageText[JMSG_LENGTH_MAX] = {};   // its formatted text
  std::exception_ptr Pending;               // a C++ exception from a callback
  TCodecWarning Warning;                    // none: warnings are dropped
  TJPEGMarkerHandler Marker;
  uint8_t MarkerData[65536];                // payload of the marker being read
  // While set, asked now and then as the library reads the scans of a
  // multi-scan file into its coefficient buffer (before any row comes out);
  // true stops the read with the library's "too few scanlines" error.
  std::function<bool()> InputProgress;
  jpeg_progress_mgr Progress{};
  int64_t ProgressCalls = 0;
};

// Fills C.Err with the standard error manager and our error exit and message
// output; returns it for the object's err field. The object's client_data
// must point to C.
jpeg_error_mgr* JPEGInitErrors(TJPEGContext& C);

// Source manager over Stream, reading 4 KiB at a time from its position. At
// the end of the stream it warns and supplies a fake EOI marker, as the
// library's stdio source does.
void JPEGStreamSource(j_decompress_ptr cinfo, TStream& Stream);

// Destination manager over Stream, writing 4 KiB at a time at its position.
void JPEGStreamDest(j_compress_ptr cinfo, TStream& Stream);

// Installs a progress monitor that hands the input passes of
// jpeg_start_decompress to the context's InputProgress.
void JPEGSetInputProgress(j_decompress_ptr cinfo, TJPEGContext& C);

// Installs the marker processor for COM and APP1 to APP15 except APP8 and
// APP14; each payload goes to the context's Marker handler.
void JPEGSetMarkerProcessors(j_decompress_ptr cinfo);

// True when the fatal error was the library refusing our build (version or
// structure size).
bool JPEGVersionError(const TJPEGContext& C);

// Output scale denominator (1, 2, 4 or 8) of a preview decode that keeps at
// least PreviewSize pixels along the longer side.
int32_t JPEGPreviewScale(int32_t Width, int32_t Height, int32_t PreviewSize);

// Resolution in pixels per metre from the JFIF density. Leaves XRes and YRes
// alone when a density is 0 or the unit gives no usable value.
void JPEGDensityToResolution(int32_t Width, int32_t Height, int Unit, uint32_t XDensity,
                             uint32_t YDensity, int32_t& XRes, int32_t& YRes);
