// BMP, DIB and RLE reader and writer.
#include "imaging/formats/bmp_format.h"

#include <algorithm>
#include <climits>

#include "imaging/core/exceptions.h"
#include "imaging/core/messages.h"
#include "imaging/core/pixel_graphic.h"
#include "imaging/formats/pg_startup.h"

namespace {

constexpr int FileHeaderSize = 14;
constexpr uint32_t CoreHeaderSize = 12;
constexpr uint32_t InfoHeaderSize = 40;
// The information header's later forms (with masks, colour space and, in
// the longest, a colour profile): their first 40 bytes are the information
// header, and the codec skips the rest.
constexpr uint32_t V4HeaderSize = 108;
constexpr uint32_t V5HeaderSize = 124;

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

[[noreturn]] void Fail(const std::string& Text) { throw EPGBMPFileFormatReader("BMP: " + Text); }

// Reads up to Count bytes; what the stream does not have stays zero, so a
// short file shows as zero fields that the checks then refuse.
void PlainRead(TStream& Stream, uint8_t* Buffer, int64_t Count) {
  std::fill(Buffer, Buffer + Count, uint8_t(0));
  int64_t got = 0;
  while (got < Count) {
    int64_t n = Stream.Read(Buffer + got, Count - got);
    if (n <= 0) break;
    got += n;
  }
}

struct TBMPHeaders {
  uint32_t BitsOffset;  // from the start of the file
  uint32_t HeaderSize;
};

// Reads the file header and the bitmap header's size, and leaves the stream
// at the start of the bitmap header.
TBMPHeaders ReadFileHeader(TStream& Stream) {
  const int64_t start = Stream.Position();
  uint8_t h[FileHeaderSize + 4];
  PlainRead(Stream, h, sizeof h);
  Stream.SetPosition(start + FileHeaderSize);
  TBMPHeaders result{Le32(h + 10), Le32(h + 14)};
  if (result.HeaderSize != CoreHeaderSize && result.HeaderSize != InfoHeaderSize &&
      result.HeaderSize != V4HeaderSize && result.HeaderSize != V5HeaderSize)
    Fail(PGMessage(27, "BitmapInfoHeader/BitmapCoreHeader"));
  return result;
}

// Refuses what the codec refuses of a bitmap's size before it reads pixels:
// one side zero and the other not, a picture over the image-size cap.
void CheckBitmapSize(int32_t Width, int32_t Height, uint16_t Bits, const char* WidthField,
                     const char* HeightField) {
  if (Width == 0 && Height != 0) Fail(PGMessage(7, WidthField));
  if (Height == 0 && Width != 0) Fail(PGMessage(7, HeightField));
  CheckPGImageSize(Width, Height, Bits > 8 ? pf24Bit : Bits == 8 ? pf8Bit : Bits == 4 ? pf4Bit : pf1Bit);
}

}  // namespace

// ---- reader

TBMPFileFormatReader::TBMPFileFormatReader() {
  FExtension = "bmp";
  FDescription = "Bitmap";
  FIdentifiedByContent = true;
}

bool TBMPFileFormatReader::Identify(const TPGFileHeader& Header) { return Header[0] == 'B' && Header[1] == 'M'; }

void TBMPFileFormatReader::Read(TStream& Stream, TPixelGraphic& Graphic, int32_t Index) {
  if (Index != 0) Fail(PGMessage(7, "Index"));
  const TBMPHeaders h = ReadFileHeader(Stream);
  // The codec takes the offset of the bits from the bitmap header; offsets
  // inside the file header count as none.
  const int64_t offset = std::clamp<int64_t>(int64_t(h.BitsOffset) - FileHeaderSize, 0, INT32_MAX);
  Graphic.ReadDIB(Stream, h.HeaderSize == CoreHeaderSize, int32_t(offset));
}

void TBMPFileFormatReader::GetInfo(TStream& Stream, int32_t Index, TPGGraphicInfo& Info) {
  TFileFormatReader::GetInfo(Stream, Index, Info);
  if (Index != 0) Fail(PGMessage(20, "Index"));
  const TBMPHeaders h = ReadFileHeader(Stream);
  if (h.HeaderSize == CoreHeaderSize) {
    uint8_t c[CoreHeaderSize];
    PlainRead(Stream, c, sizeof c);
    Info.FormatText = "OS/2";
    if (Le16(c + 8) != 1) Fail(PGMessage(7, "BitmapCoreHeader.bcPlanes"));
    const uint16_t bits = Le16(c + 10);
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24) Fail(PGMessage(7, "BitmapCoreHeader.bcBitCount"));
    Info.Width = Le16(c + 4);
    Info.Height = Le16(c + 6);
    Info.BitsPerPixel = bits;
    CheckBitmapSize(Info.Width, Info.Height, bits, "BitmapCoreHeader.bcWidth", "BitmapCoreHeader.bcHeight");
  } else {
    uint8_t b[InfoHeaderSize];
    PlainRead(Stream, b, sizeof b);
    Info.FormatText = "Windows";
    if (Le16(b + 12) != 1) Fail(PGMessage(7, "BitmapInfoHeader.biPlanes"));
    const uint16_t bits = Le16(b + 14);
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
      Fail(PGMessage(7, "BitmapInfoHeader.biBitCount"));
    const int32_t height = int32_t(Le32(b + 8));
    const uint32_t compression = Le32(b + 16);
    const bool accepted = compression == 0 || (compression == 3 && (bits == 16 || bits == 32)) ||
                          (compression == 2 && bits == 4 && height >= 0) ||
                          (compression == 1 && bits == 8 && height >= 0);
    if (!accepted) Fail(PGMessage(7, "BitmapInfoHeader.biCompression"));
    if (height == INT32_MIN) Fail(PGMessage(7, "BitmapInfoHeader.biHeight"));
    CheckBitmapSize(int32_t(Le32(b + 4)), height < 0 ? -height : height, bits, "BitmapInfoHeader.biWidth",
                    "BitmapInfoHeader.biHeight");
    if (bits <= 8 && Le32(b + 32) > (1u << bits)) Fail(PGMessage(7, "BitmapInfoHeader.biClrUsed"));
    Info.Width = int32_t(Le32(b + 4));
    Info.Height = height;
    Info.BitsPerPixel = bits;
    if (compression == 0) Info.FormatText += ", RGB";
    if (compression == 1) Info.FormatText += ", RLE8";
    if (compression == 2) Info.FormatText += ", RLE4";
    if (height < 0) Info.FormatText += ", Top-Down";
  }
  switch (Info.BitsPerPixel) {
    case 1: Info.ColorsText = "2"; break;
    case 4: Info.ColorsText = "16"; break;
    case 8: Info.ColorsText = "256"; break;
    case 16: Info.ColorsText = "64K"; break;
    default: Info.ColorsText = "16.7M"; break;
  }
}

// ---- writer

TBMPFileFormatWriter::TBMPFileFormatWriter() {
  FExtension = "bmp";
  FDescription = "Bitmap";
  FCanWriteResolutions = AllColorResolutions;
}

void TBMPFileFormatWriter::Write(TStream& Stream, TPixelGraphic& Graphic) {
  // The bits follow the information header and the colour table the codec
  // writes, so their offset is the file size less the pixel memory.
  const uint32_t fileSize = FileHeaderSize + Graphic.GetDIBSize();
  uint8_t h[FileHeaderSize] = {'B', 'M'};
  PutLe32(h + 2, fileSize);
  PutLe32(h + 10, fileSize - Graphic.ImageSize());
  Stream.WriteBuffer(h, sizeof h);
  Graphic.WriteDIB(Stream);
}

void RegisterBMPFileFormats() {
  RegisterFileFormatReader(std::make_unique<TBMPFileFormatReader>());
  RegisterFileFormatReader(std::make_unique<TDIBFileFormatReader>());
  RegisterFileFormatReader(std::make_unique<TRLEFileFormatReader>());
  RegisterFileFormatWriter(std::make_unique<TBMPFileFormatWriter>());
  RegisterFileFormatWriter(std::make_unique<TDIBFileFormatWriter>());
}
