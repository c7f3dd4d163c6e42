// JPEG reader and writer: libjpeg decodes and encodes, this file maps its
// objects onto TPixelGraphic (rows, palette, density, COM and APPn chunks,
// progress and warnings).
#include "imaging/formats/jpeg_format.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/formats/codec_chunks.h"
#include "imaging/core/exceptions.h"
#include "imaging/core/messages.h"
#include "imaging/core/options.h"
#include "imaging/formats/jpeg_glue.h"
#include "imaging/formats/pg_startup.h"
#include "platform/base/numeric.h"
#include "platform/base/stream_reader.h"
#include "platform/base/strings.h"
#include "platform/gdi/surface.h"

namespace {

const char kDescription[] = "JPEG (JFIF compliant)";

[[noreturn]] void Fail(const std::string& Text) { throw EPGJPGFileFormatReaderWriter("JPG: " + Text); }

// After the library left a guarded call: the callback's own exception, or
// the library's message.
[[noreturn]] void FailFromLibrary(const TJPEGContext& C) {
  if (C.Pending) std::rethrow_exception(C.Pending);
  if (JPEGVersionError(C)) Fail("Invalid library version");
  Fail(C.MessageText);
}

// Warnings go to the graphic's warning action; one that ends the call
// becomes the format's exception, which the glue carries out of the library.
TCodecWarning WarningFor(TPGWarningAction Action) {
  return [Action](const std::string& Text) {
    std::string error;
    if (!PGCodecWarning(Action, "JPG", Text, error)) throw EPGJPGFileFormatReaderWriter(error);
  };
}

std::unique_ptr<TJPEGContext> NewContext(TPGWarningAction Action) {
  auto C = std::make_unique<TJPEGContext>();
  C->Warning = WarningFor(Action);
  return C;
}

struct TDecompressObject {
  jpeg_decompress_struct Info{};
  explicit TDecompressObject(TJPEGContext& C) {
    Info.err = JPEGInitErrors(C);
    Info.client_data = &C;
  }
  ~TDecompressObject() { jpeg_destroy_decompress(&Info); }
};

struct TCompressObject {
  jpeg_compress_struct Info{};
  explicit TCompressObject(TJPEGContext& C) {
    Info.err = JPEGInitErrors(C);
    Info.client_data = &C;
  }
  ~TCompressObject() { jpeg_destroy_compress(&Info); }
};

// Creates the decompression object over Stream and reads the header.
void OpenDecompress(TJPEGContext& C, j_decompress_ptr cinfo, TStream& Stream, bool Markers) {
  if (!CodecGuard(C.Jump, [&] {
        jpeg_create_decompress(cinfo);
        if (Markers) JPEGSetMarkerProcessors(cinfo);
        JPEGStreamSource(cinfo, Stream);
        jpeg_read_header(cinfo, TRUE);
      }))
    FailFromLibrary(C);
}

// Writes the graphic's COM and APPn chunks as markers.
void WriteMarkerChunks(TJPEGContext& C, j_compress_ptr cinfo, TPixelGraphic& Graphic) {
  for (const auto& item : JPEGMarkersFromChunks(Graphic)) {
    const int marker = item.first;
    const std::vector<uint8_t>& payload = item.second;
    if (!CodecGuard(C.Jump, [&] {
          jpeg_write_marker(cinfo, marker, payload.data(), static_cast<unsigned int>(payload.size()));
        }))
      FailFromLibrary(C);
  }
}

uint16_t DensityValue(long double Value) {
  const int64_t v = Round(Value);
  return static_cast<uint16_t>(v < 0 ? 0 : v > 65535 ? 65535 : v);
}

// A progressive or multi-scan file is buffered whole as DCT coefficients (64
// two-byte values a block) and every scan passes over the blocks of its
// components, however little data it carries. So a few bytes a scan can cost
// a pass over the picture each: such files are refused before decoding when
// they have more scans than any encoder writes, or when their scans would pass
// over every block more often than that (a small picture may take its 500
// scans).
constexpr int32_t kMaxScans = 500;
constexpr int64_t kMaxScanPasses = 32;
constexpr int64_t kFreeBlockVisits = int64_t(1) << 22;

bool MultiScan(j_decompress_ptr cinfo) {
  return cinfo->progressive_mode || cinfo->comps_in_scan < cinfo->num_components;
}

// The coefficient buffer the library allocates for a multi-scan file.
int64_t CoefficientBytes(j_decompress_ptr cinfo) {
  int64_t bytes = 0;
  for (int ci = 0; ci < cinfo->num_components; ++ci) {
    const jpeg_component_info& c = cinfo->comp_info[ci];
    const int64_t w = (int64_t(c.width_in_blocks) + c.h_samp_factor - 1) / c.h_samp_factor * c.h_samp_factor;
    const int64_t h = (int64_t(c.height_in_blocks) + c.v_samp_factor - 1) / c.v_samp_factor * c.v_samp_factor;
    bytes += w * h * int64_t(sizeof(JBLOCK));
  }
  return bytes;
}

// Walks the markers of the file from Start (the header is already read into
// cinfo) and raises "JPG: Too many scans" when its scans pass the limits
// above. The stream is left where it was.
void CheckScans(TStream& Stream, int64_t Start, j_decompress_ptr cinfo) {
  const int64_t resume = Stream.Position();
  int64_t allBlocks = 0;
  for (int ci = 0; ci < cinfo->num_components; ++ci)
    allBlocks += int64_t(cinfo->comp_info[ci].width_in_blocks) * cinfo->comp_info[ci].height_in_blocks;
  int32_t scans = 0;
  int64_t visits = 0;
  Stream.SetPosition(Start);
  TStreamReader in(Stream);
  bool inScan = false;
  for (;;) {
    // The next marker: 0xFF (fill bytes repeat it), then its code; bytes
    // before it are skipped as the library skips them. Inside entropy-coded
    // data 0xFF 0x00 is a data byte and RSTn goes on with the data.
    if (!in.SkipPast(0xFF)) break;
    uint8_t code = 0xFF;
    while (code == 0xFF)
      if (!in.Next(code)) break;
    if (code == 0xFF) break;
    if (inScan && (code == 0x00 || (code >= 0xD0 && code <= 0xD7))) continue;
    inScan = false;
    if (code == 0xD8 || code == 0x01 || (code >= 0xD0 && code <= 0xD7)) continue;
    if (code == 0xD9) break;
    uint8_t hi = 0, lo = 0;
    if (!in.Next(hi) || !in.Next(lo)) break;
    int64_t length = hi << 8 | lo;
    if (length < 2) break;
    length -= 2;
    if (code != 0xDA) {
      if (in.Skip(length) < length) break;
      continue;
    }
    uint8_t count = 0;
    if (length < 1 || !in.Next(count)) break;
    --length;
    for (int k = 0; k < count && length >= 2; ++k, length -= 2) {
      uint8_t id = 0, tables = 0;
      if (!in.Next(id) || !in.Next(tables)) break;
      for (int ci = 0; ci < cinfo->num_components; ++ci)
        if (cinfo->comp_info[ci].component_id == id)
          visits += int64_t(cinfo->comp_info[ci].width_in_blocks) * cinfo->comp_info[ci].height_in_blocks;
    }
    if (++scans > kMaxScans || (visits > kMaxScanPasses * allBlocks && visits > kFreeBlockVisits)) {
      Stream.SetPosition(resume);
      Fail("Too many scans");
    }
    if (in.Skip(length) < length) break;
    inScan = true;
  }
  Stream.SetPosition(resume);
}

// Refuses, before anything is decoded, a file that would cost more than the
// image-size cap: its picture at full size (a preview decodes it smaller, but
// reads all of it), with a multi-scan file's coefficient buffer beside it,
// or scans past the limits above. Read and GetInfo refuse alike, so that the
// open dialog describes and previews only what opens. Returns the bytes of
// the coefficient buffer (0 for a single-scan file).
int64_t CheckJPEGCost(TStream& Stream, int64_t Start, j_decompress_ptr cinfo, uint8_t Format) {
  const int64_t picture = CheckPGImageSize(static_cast<int32_t>(cinfo->image_width),
                                           static_cast<int32_t>(cinfo->image_height), Format);
  if (!MultiScan(cinfo)) return 0;
  const int64_t coefficients = CoefficientBytes(cinfo);
  if (coefficients > ImageBytesCap() - picture)
    throw EPGInvalidSize(PGMessage(27, IntToStr(cinfo->image_width) + " x " + IntToStr(cinfo->image_height)));
  CheckScans(Stream, Start, cinfo);
  return coefficients;
}

}  // namespace

void RegisterJPEGFileFormats() {
  RegisterFileFormatReader(std::make_unique<TJPGFileFormatReader>());
  RegisterFileFormatReader(std::make_unique<TJPEGFileFormatReader>());
  RegisterFileFormatReader(std::make_unique<TJIFFileFormatReader>());
  RegisterFileFormatWriter(std::make_unique<TJPGFileFormatWriter>());
  RegisterFileFormatWriter(std::make_unique<TJPEGFileFormatWriter>());
  RegisterFileFormatWriter(std::make_unique<TJIFFileFormatWriter>());
}

// ---------------------------------------------------------------- reader

TJPGFileFormatReader::TJPGFileFormatReader() {
  FExtension = "jpg";
  FDescription = kDescription;
  FIdentifiedByContent = true;
}

bool TJPGFileFormatReader::Identify(const TPGFileHeader& Header) {
  return Header[0] == 0xFF && Header[1] == 0xD8;
}

void TJPGFileFormatReader::Read(TStream& Stream, TPixelGraphic& Graphic, int32_t Index) {
  if (Index != 0) Fail(PGMessage(7, "Index"));
  Graphic.SetGamma(PGDefaultGamma);
  auto C = NewContext(Graphic.ReadWarningAction());
  TDecompressObject D(*C);
  j_decompress_ptr cinfo = &D.Info;
  const int64_t start = Stream.Position();

  const bool chunks = PGReadChunks && !Graphic.PreviewRead();
  std::unique_ptr<TCodecChunkSink> sink;
  if (chunks) {
    sink = std::make_unique<TCodecChunkSink>(Graphic);
    C->Marker = [&sink](int Marker, const uint8_t* Data, size_t Size) { sink->AddJPEGMarker(Marker, Data, Size); };
  }
  OpenDecompress(*C, cinfo, Stream, chunks);

  cinfo->scale_num = 1;
  cinfo->scale_denom = 1;
  cinfo->dct_method = static_cast<J_DCT_METHOD>(JPEGReadDCTMethod);

  int32_t xres = Graphic.XResolution(), yres = Graphic.YResolution();
  JPEGDensityToResolution(static_cast<int32_t>(cinfo->image_width), static_cast<int32_t>(cinfo->image_height),
                          cinfo->density_unit, cinfo->X_density, cinfo->Y_density, xres, yres);
  Graphic.SetXResolution(xres);
  Graphic.SetYResolution(yres);

  if (Graphic.PreviewRead()) {
    if (Graphic.PreviewSize() > 0)
      cinfo->scale_denom = static_cast<unsigned int>(JPEGPreviewScale(
          static_cast<int32_t>(cinfo->image_width), static_cast<int32_t>(cinfo->image_height), Graphic.PreviewSize()));
    cinfo->dct_method = JDCT_IFAST;
  }
  cinfo->quantize_colors = FALSE;
  cinfo->two_pass_quantize = FALSE;
  cinfo->dither_mode = JDITHER_NONE;
  // Three-component rows come out in the blue, green, red order of the image.
  if (cinfo->out_color_space == JCS_RGB) cinfo->out_color_space = JCS_EXT_BGR;

  if (!CodecGuard(C->Jump, [&] { jpeg_calc_output_dimensions(cinfo); })) FailFromLibrary(*C);
  const int components = cinfo->out_color_components;
  if (components != 1 && components != 3) Fail(PGMessage(30));
  const uint8_t format = components == 1 ? pf8Bit : pf24Bit;
  const auto width = static_cast<int32_t>(cinfo->output_width);
  const auto height = static_cast<int32_t>(cinfo->output_height);
  // The library's memory is bounded by the coefficient buffer and a margin
  // for its row buffers and tables; past the bound the read fails with the
  // library's message.
  const int64_t coefficients = CheckJPEGCost(Stream, start, cinfo, format);
  cinfo->mem->max_memory_to_use = static_cast<long>(coefficients + (64 << 20));

  if (components == 1) Graphic.SetPaletteIdent(pGray256);
  Graphic.NewImage(width, height, format);
  if (static_cast<int64_t>(cinfo->output_width) * components > Graphic.BytesPerLine()) Fail(PGMessage(30));

  {
    TPGProgressScope progress(Graphic, this);
    // Reading the scans of a multi-scan file takes most of the time before
    // the first row: the progress handler may stop it (Step 0: no row yet).
    C->InputProgress = [&progress, height] { return progress.Progress(0, height); };
    JPEGSetInputProgress(cinfo, *C);
    const bool started = CodecGuard(C->Jump, [&] { jpeg_start_decompress(cinfo); });
    C->InputProgress = nullptr;
    if (!started) FailFromLibrary(*C);
    while (cinfo->output_scanline < cinfo->output_height) {
      JSAMPROW row = Graphic.ScanLine(static_cast<int32_t>(cinfo->output_scanline));
      if (!CodecGuard(C->Jump, [&] { jpeg_read_scanlines(cinfo, &row, 1); })) FailFromLibrary(*C);
      if (progress.Progress(static_cast<int32_t>(cinfo->output_scanline), height)) break;
    }
  }
  // After an abort the library refuses to finish ("too few scanlines"); the
  // rows read so far stay in the graphic.
  if (!CodecGuard(C->Jump, [&] { jpeg_finish_decompress(cinfo); })) FailFromLibrary(*C);
}

void TJPGFileFormatReader::GetInfo(TStream& Stream, int32_t Index, TPGGraphicInfo& Info) {
  TFileFormatReader::GetInfo(Stream, Index, Info);
  if (Index != 0) Fail(PGMessage(20, "Index"));
  // The library's warnings are for the load to show or pass over: a file
  // that loads is described (its errors still fail here).
  auto C = NewContext(pgwaIgnore);
  TDecompressObject D(*C);
  j_decompress_ptr cinfo = &D.Info;
  const int64_t start = Stream.Position();
  OpenDecompress(*C, cinfo, Stream, false);
  CheckJPEGCost(Stream, start, cinfo, cinfo->num_components == 1 ? pf8Bit : pf24Bit);

  Info.Width = static_cast<int32_t>(cinfo->image_width);
  Info.Height = static_cast<int32_t>(cinfo->image_height);
  static const char* const kSpaces[] = {"unknown", "GrayScale", "RGB", "YCbCr", "CMYK", "YCbCrK"};
  const int space = cinfo->jpeg_color_space;
  std::string text = space >= 0 && space <= 5 ? kSpaces[space] : "";
  if (cinfo->progressive_mode) text.append(", Progressive");
  // "JFIF, " comes first, then "Adope, ".
  std::string prefix;
  if (cinfo->saw_JFIF_marker) prefix.append("JFIF, ");
  if (cinfo->saw_Adobe_marker) prefix.append("Adope, ");
  Info.FormatText = prefix + text;
  static const char* const kColors[] = {"?", "256", "64K", "16.7M", "4294.9M"};
  const int components = cinfo->num_components;
  Info.ColorsText = std::string(kColors[components >= 1 && components <= 4 ? components : 0]);
  Info.BitsPerPixel = cinfo->num_components * 8;
}

// ---------------------------------------------------------------- writer

TJPGFileFormatWriter::TJPGFileFormatWriter() {
  FExtension = "jpg";
  FDescription = kDescription;
  FCanWriteResolutions = (1 << cr256Grays) | (1 << cr16M);
}

void TJPGFileFormatWriter::Write(TStream& Stream, TPixelGraphic& Graphic) {
  auto C = NewContext(Graphic.ReadWarningAction());
  TCompressObject K(*C);
  j_compress_ptr cinfo = &K.Info;
  if (!CodecGuard(C->Jump, [&] {
        jpeg_create_compress(cinfo);
        JPEGStreamDest(cinfo, Stream);
      }))
    FailFromLibrary(*C);

  cinfo->image_width = static_cast<JDIMENSION>(Graphic.GetWidth());
  cinfo->image_height = static_cast<JDIMENSION>(Graphic.GetHeight());
  Graphic.DetectPaletteIdent();
  const int32_t bits = Graphic.GetBitCount();
  if (!(bits == 24 || (bits == 8 && Graphic.PaletteIdent() == pGray256))) Fail(PGMessage(20, "BitCount"));
  if (bits == 8) {
    cinfo->input_components = 1;
    cinfo->in_color_space = JCS_GRAYSCALE;
  } else {
    cinfo->input_components = 3;
    cinfo->in_color_space = JCS_EXT_BGR;
  }
  if (!CodecGuard(C->Jump, [&] { jpeg_set_defaults(cinfo); })) FailFromLibrary(*C);

  if (Graphic.XResolution() > 0 && Graphic.YResolution() > 0) {
    if (JPEGDensityMetric) {
      cinfo->density_unit = 2;
      cinfo->X_density = DensityValue(Graphic.XResolution() / 100.0L);
      cinfo->Y_density = DensityValue(Graphic.YResolution() / 100.0L);
    } else {
      cinfo->density_unit = 1;
      cinfo->X_density = DensityValue(Graphic.XResolution() * 2.54L / 100);
      cinfo->Y_density = DensityValue(Graphic.YResolution() * 2.54L / 100);
    }
  }
  if (!CodecGuard(C->Jump, [&] {
        if (JPEGProgressive) jpeg_simple_progression(cinfo);
        jpeg_set_quality(cinfo, JPEGQuality, TRUE);
        cinfo->dct_method = static_cast<J_DCT_METHOD>(JPEGWriteDCTMethod);
        jpeg_start_compress(cinfo, TRUE);
      }))
    FailFromLibrary(*C);

  if (PGWriteChunks) WriteMarkerChunks(*C, cinfo, Graphic);

  {
    TPGProgressScope progress(Graphic, this);
    while (cinfo->next_scanline < cinfo->image_height) {
      JSAMPROW row = Graphic.ScanLine(static_cast<int32_t>(cinfo->next_scanline));
      if (!CodecGuard(C->Jump, [&] { jpeg_write_scanlines(cinfo, &row, 1); })) FailFromLibrary(*C);
      progress.Progress(static_cast<int32_t>(cinfo->next_scanline), Graphic.GetHeight());
    }
  }
  if (!CodecGuard(C->Jump, [&] { jpeg_finish_compress(cinfo); })) FailFromLibrary(*C);
}
