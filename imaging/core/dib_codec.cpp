// The DIB stream codec of TPixelGraphic (core, info and bit-field headers,
// RLE4 and RLE8), form streaming, hand-over to other graphics and the
// clipboard formats.
#include <algorithm>
#include <cstring>
#include <typeinfo>
#include <vector>

#include "imaging/core/exceptions.h"
#include "imaging/core/file_formats.h"
#include "imaging/core/long_operation.h"
#include "imaging/core/messages.h"
#include "imaging/core/options.h"
#include "imaging/core/pixel_graphic.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/clipboard_formats.h"
#include "platform/gdi/surface.h"

namespace {

uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

void PutLe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

[[noreturn]] void HeaderError(const char* Field) {
  throw EPGBMPFileFormatReader("BMP: " + PGMessage(7, Field));
}

// Bytes still to be read from the stream.
int64_t BytesLeft(TStream& S) { return std::max<int64_t>(0, S.Size() - S.Position()); }

// Refuses, before the image is made, a DIB whose colour table (TableBytes
// from here) does not fit in the stream, or whose pixel data (DataBytes, at
// BitsOffset from Start when that is further on) is not there for the most
// part: a file cut in its second half is read as far as it goes, one that
// holds less than half of its pixel bytes would cost a picture it does not
// have.
void NeedRoom(TStream& S, int64_t Start, int32_t BitsOffset, int64_t TableBytes, int64_t DataBytes) {
  int64_t pixels = S.Position() + TableBytes;
  if (pixels > S.Size()) throw EReadError("Stream read error");
  if (BitsOffset > 0) pixels = std::max(pixels, Start + BitsOffset);
  const int64_t there = std::max<int64_t>(0, S.Size() - pixels);
  if (there * 2 < DataBytes) throw EReadError("Stream read error");
}

// One side zero and the other not: no picture, however many rows it claims.
// 0 x 0 is the empty image, as WriteDIB writes one.
void CheckSides(int32_t Width, int32_t Height, const char* WidthField, const char* HeightField) {
  if (Width == 0 && Height != 0) HeaderError(WidthField);
  if (Height == 0 && Width != 0) HeaderError(HeightField);
}

// A channel of a 16- or 32-bit pixel: the mask normalised so that its top
// bit lands on bit 7 (masks wider than 8 bits keep their top 8 bits).
struct Channel {
  uint32_t Mask = 0;
  int32_t Shift = 0;
  uint32_t Fill = 0;
  uint8_t Get(uint32_t P, bool Expand) const {
    uint32_t m = P & Mask;
    if (Expand && m == 0) return 0;
    uint32_t v = (Shift >= 0 ? m << Shift : m >> -Shift) + Fill;
    return static_cast<uint8_t>(v > 255 ? 255 : v);
  }
};

// A mask of 0, or one whose bits are not one run, gives no channel.
Channel MakeChannel(uint32_t Mask, bool Fill) {
  if (Mask == 0) HeaderError("BitmapInfoHeader.biCompression");
  Channel c;
  c.Mask = Mask;
  uint32_t m = Mask;
  while (!(m & 1)) {
    m >>= 1;
    --c.Shift;
  }
  if ((m & (m + 1)) != 0) HeaderError("BitmapInfoHeader.biCompression");
  while (m > 0xFF) {
    m >>= 1;
    --c.Shift;
  }
  while (!(m & 0x80)) {
    m <<= 1;
    ++c.Shift;
  }
  c.Fill = Fill ? (m & (~m + 1)) : 0;  // the lowest set bit of the normalised mask
  return c;
}

// Work(From, To) over bytes 0 to Count in tenths, each followed by a
// progress event (none when Count is at most 100: one piece); false when
// the progress handler aborted.
template <class F>
bool InTenths(TPixelGraphic& G, int64_t Count, F&& Work) {
  if (Count <= 100) {
    Work(0, Count);
    return true;
  }
  const int64_t piece = Count / 10;
  for (int32_t k = 1; k <= 10; ++k) {
    Work((k - 1) * piece, k < 10 ? k * piece : Count);
    if (G.Progress(k, 10)) return false;
  }
  return true;
}

// Swaps rows Y and Height - 1 - Y.
void TurnRowsUpright(TPixelGraphic& G) {
  if (G.GetEmpty()) return;
  const size_t bytes = G.BytesPerLine();
  std::vector<uint8_t> tmp(bytes);
  for (int32_t y = 0; y < G.GetHeight() / 2; ++y) {
    uint8_t *a = G.ScanLine(y), *b = G.ScanLine(G.GetHeight() - 1 - y);
    std::memcpy(tmp.data(), a, bytes);
    std::memcpy(a, b, bytes);
    std::memcpy(b, tmp.data(), bytes);
  }
}

// Decodes RLE8 or RLE4 data into the image from the bottom row up: a count
// and a value make a run (RLE4: the value's nibbles alternate, high first);
// 0 0 ends the row, 0 1 the bitmap, 0 2 dx dy moves right and up; 0 n >= 3 is
// an absolute run of n pixels (RLE4: two a byte), padded to an even length.
// Pixels outside the image are skipped; runs are written a row piece at a
// time. Progress in tenths of the data; returns true when it was aborted.
// Complete tells whether the data reached the end of the picture: its
// end-of-bitmap code, or the end of the top row.
bool DecodeRLE(TPixelGraphic& G, const uint8_t* Data, uint64_t Size, bool Rle4, bool& Complete) {
  const int64_t width = G.GetWidth(), height = G.GetHeight();
  const uint64_t tenth = Size / 10;
  int64_t x = 0, y = height - 1;  // y counts image rows from the top
  uint8_t* row = height > 0 ? G.ScanLine(int32_t(y)) : nullptr;
  auto moveTo = [&](int64_t Y) {
    y = Y;
    row = y >= 0 && y < height ? G.ScanLine(int32_t(y)) : nullptr;
  };
  auto nibble = [&](int64_t X, uint8_t V) {
    uint8_t& d = row[X >> 1];
    d = (X & 1) ? uint8_t((d & 0xF0) | V) : uint8_t((d & 0x0F) | V << 4);
  };
  uint64_t pos = 0;
  Complete = false;
  while (Size >= 2 && pos < Size - 1) {
    const uint8_t n = Data[pos], v = Data[pos + 1];
    if (n > 0) {
      if (row && x < width) {
        const int64_t end = std::min<int64_t>(x + n, width);
        if (!Rle4)
          std::memset(row + x, v, size_t(end - x));
        else
          for (int64_t i = x; i < end; ++i) nibble(i, ((i - x) & 1) ? (v & 0x0F) : (v >> 4));
      }
      x += n;
      pos += 2;
    } else if (v == 0) {
      moveTo(y - 1);
      x = 0;
      pos += 2;
    } else if (v == 1) {
      Complete = true;
      break;
    } else if (v == 2) {
      if (Size < 4 || pos >= Size - 3) break;
      x += Data[pos + 2];
      moveTo(y - Data[pos + 3]);
      pos += 4;
    } else {
      // An absolute run takes only the pixels whose bytes are there.
      const uint64_t bytes = Rle4 ? (v + 1u) / 2 : v;
      const uint64_t there = Size - (pos + 2);
      const int64_t count = int64_t(std::min<uint64_t>(v, Rle4 ? 2 * there : there));
      const uint8_t* src = Data + pos + 2;
      if (row && x < width) {
        const int64_t end = std::min<int64_t>(x + count, width);
        if (!Rle4)
          std::memcpy(row + x, src, size_t(end - x));
        else
          for (int64_t i = x; i < end; ++i) {
            const int64_t k = i - x;
            nibble(i, (k & 1) ? (src[k / 2] & 0x0F) : (src[k / 2] >> 4));
          }
      }
      x += count;
      pos += 2 + bytes;
      pos = (pos + 1) & ~uint64_t(1);
    }
    if (tenth > 0 && pos % tenth == 0 && G.Progress(int32_t(pos / tenth), 10)) return true;
  }
  Complete = Complete || y < 0 || (y == 0 && x >= width);
  return false;
}

}  // namespace

// Reads Count bytes into Dest in tenths with progress; returns false on abort.
static bool ReadInTenths(TPixelGraphic& G, TStream& S, uint8_t* Dest, uint32_t Count) {
  return InTenths(G, Count, [&](int64_t From, int64_t To) { S.ReadBuffer(Dest + From, To - From); });
}

void TPixelGraphic::ReadDIB(TStream& Stream, bool CoreHeader, int32_t BitsOffset) {
  // 1. Reset what a DIB replaces.
  FlushGdi();
  TPGProgressScope progress(*this, this);
  FXResolution = 0;
  FYResolution = 0;
  FGamma = PGDefaultGamma;
  FreeChunks();
  const int64_t start = Stream.Position();
  bool abort = false;
  int32_t bitCount = 0;
  uint32_t compression = BI_RGB, imageBytes = 0;
  bool topDown = false;
  Channel ch[3];

  if (CoreHeader) {
    // 2. Core header: 12 bytes and a table of 3-byte entries.
    uint8_t h[12];
    Stream.ReadBuffer(h, 12);
    if (Le16(h + 8) != 1) HeaderError("BitmapCoreHeader.bcPlanes");
    bitCount = Le16(h + 10);
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24) HeaderError("BitmapCoreHeader.bcBitCount");
    int32_t w = Le16(h + 4), hh = Le16(h + 6);
    CheckSides(w, hh, "BitmapCoreHeader.bcWidth", "BitmapCoreHeader.bcHeight");
    uint8_t fmt = BitCountToPixelFormat(bitCount);
    int64_t size = CheckPGImageSize(w, hh, fmt);
    int32_t colors = bitCount <= 8 ? 1 << bitCount : 0;
    NeedRoom(Stream, start, BitsOffset, 3 * int64_t(colors), size);
    NewImage(w, hh, fmt);
    SetPaletteCount(GetMaxColors());
    if (FPaletteCount == 0) {
      SetPaletteIdent(pTrueColor);
    } else {
      for (int32_t i = 0; i < FPaletteCount; ++i) {
        uint8_t e[3];
        Stream.ReadBuffer(e, 3);
        SetPaletteEntry(i, RGB(e[2], e[1], e[0]));
      }
    }
  } else {
    // 3. Info header: 40 bytes (larger headers are skipped past), masks, table.
    uint8_t h[40];
    Stream.ReadBuffer(h, 40);
    uint32_t headerSize = Le32(h);
    int32_t w = static_cast<int32_t>(Le32(h + 4));
    int32_t hh = static_cast<int32_t>(Le32(h + 8));
    if (Le16(h + 12) != 1) HeaderError("BitmapInfoHeader.biPlanes");
    bitCount = Le16(h + 14);
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
      HeaderError("BitmapInfoHeader.biBitCount");
    compression = Le32(h + 16);
    imageBytes = Le32(h + 20);
    bool ok = compression == BI_RGB || (compression == BI_BITFIELDS && (bitCount == 16 || bitCount == 32)) ||
              (compression == BI_RLE4 && bitCount == 4 && hh >= 0) ||
              (compression == BI_RLE8 && bitCount == 8 && hh >= 0);
    if (!ok) HeaderError("BitmapInfoHeader.biCompression");
    if (hh == INT32_MIN) HeaderError("BitmapInfoHeader.biHeight");
    FXResolution = static_cast<int32_t>(Le32(h + 24));
    FYResolution = static_cast<int32_t>(Le32(h + 28));
    uint32_t used = Le32(h + 32);
    topDown = hh < 0;
    int32_t height = topDown ? -hh : hh;
    CheckSides(w, height, "BitmapInfoHeader.biWidth", "BitmapInfoHeader.biHeight");
    // 4. The pixel format, masks and colour table.
    if (bitCount > 8) {
      CheckPGImageSize(w, height, pf24Bit);
      uint32_t masks[3] = {0, 0, 0};
      if (compression == BI_BITFIELDS) {
        uint8_t m[12];
        Stream.ReadBuffer(m, 12);
        for (int k = 0; k < 3; ++k) masks[k] = Le32(m + 4 * k);
      } else if (bitCount == 16) {
        masks[0] = 0x7C00;
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
      } else {
        masks[0] = 0xFF0000;
        masks[1] = 0xFF00;
        masks[2] = 0xFF;
      }
      if (bitCount != 24)
        for (int k = 0; k < 3; ++k) ch[k] = MakeChannel(masks[k], BMPExpand16Bit && bitCount == 16);
      if (headerSize > 40 && Stream.Position() < start + headerSize) Stream.SetPosition(start + headerSize);
      int64_t data = DIBBytesPerLine(w, bitCount) * height;
      NeedRoom(Stream, start, BitsOffset, 4 * int64_t(used), data);
      if (used != 0) Stream.Seek(4 * int64_t(used), soCurrent);
      NewImage(w, height, pf24Bit);
      SetPaletteIdent(pTrueColor);
    } else {
      uint8_t fmt = BitCountToPixelFormat(bitCount);
      int32_t max = 1 << bitCount;
      // A colour table longer than the format allows would overrun the image's table.
      if (used > static_cast<uint32_t>(max)) HeaderError("BitmapInfoHeader.biClrUsed");
      int32_t colors = used == 0 ? max : static_cast<int32_t>(used);
      int64_t size = CheckPGImageSize(w, height, fmt);
      if (headerSize > 40 && headerSize <= 40 + BytesLeft(Stream)) Stream.SetPosition(start + headerSize);
      // Run-length data is read as far as it goes, whatever its stated size.
      NeedRoom(Stream, start, BitsOffset, 4 * int64_t(colors), compression == BI_RGB ? size : 0);
      NewImage(w, height, fmt);
      SetPaletteCount(colors);
      if (FPaletteCount == 0) SetPaletteIdent(pNone);
      for (int32_t i = 0; i < FPaletteCount; ++i) {
        uint8_t e[4];
        Stream.ReadBuffer(e, 4);
        SetPaletteEntry(i, RGB(e[2], e[1], e[0]));
      }
    }
  }

  // 5. The pixels start BitsOffset bytes after the header when that is further on.
  if (BitsOffset > 0 && Stream.Position() - start < BitsOffset) Stream.SetPosition(start + BitsOffset);

  // 6. Pixel data. A stream that ends early leaves the rows read so far
  // (upright) before its read error passes on.
  FlushGdi();
  try {
    if (compression == BI_RLE8 || compression == BI_RLE4) {
      // The data runs for its stated size, or to the end of the stream when
      // the header gives none. Data cut short is decoded as far as it goes;
      // it is a damaged file when the picture is not complete by then.
      const int64_t left = BytesLeft(Stream);
      const bool cut = imageBytes == 0 || imageBytes > left;
      const uint32_t size = static_cast<uint32_t>(cut ? std::min<int64_t>(left, UINT32_MAX) : imageBytes);
      std::vector<uint8_t> data(size);
      abort = !ReadInTenths(*this, Stream, data.data(), size);
      bool complete = false;
      if (!abort) abort = DecodeRLE(*this, data.data(), size, compression == BI_RLE4, complete);
      if (!abort && cut && !complete) throw EReadError("Stream read error");
    } else if ((bitCount == 16 || bitCount == 32) && FImageSize > 0) {
      const int64_t rowBytes = DIBBytesPerLine(FWidth, bitCount);
      std::vector<uint8_t> row(static_cast<size_t>(rowBytes));
      const bool expand = BMPExpand16Bit && bitCount == 16;
      for (int32_t r = 0; r < FHeight && !abort; ++r) {
        Stream.ReadBuffer(row.data(), rowBytes);
        uint8_t* dest = ScanLine(FHeight - r - 1);
        for (int32_t x = 0; x < FWidth; ++x) {
          uint32_t p = bitCount == 16 ? Le16(row.data() + 2 * x) : Le32(row.data() + 4 * x);
          dest[3 * x] = ch[2].Get(p, expand);
          dest[3 * x + 1] = ch[1].Get(p, expand);
          dest[3 * x + 2] = ch[0].Get(p, expand);
        }
        abort = Progress(r, FHeight);
      }
    } else if (FImageSize > 0) {
      abort = !ReadInTenths(*this, Stream, FBits.get(), FImageSize);
    }
  } catch (const EReadError&) {
    if (topDown) TurnRowsUpright(*this);
    throw;
  }

  // 7. Rows stored top-down are turned upright.
  if (topDown) TurnRowsUpright(*this);
  // 8. The progress end comes with the scope.
}

namespace {

// Colour-table entries written for an image: its palette, but a palette
// image always gets a full table of its format when the palette is empty,
// and never more entries than its format holds.
int32_t WrittenColors(TPixelGraphic& G) {
  int32_t max = G.GetMaxColors();
  if (max == 0) return G.PaletteCount();
  if (G.PaletteCount() == 0) return max;
  return std::min(G.PaletteCount(), max);
}

}  // namespace

uint32_t TPixelGraphic::GetDIBSize() { return 40 + 4 * static_cast<uint32_t>(WrittenColors(*this)) + FImageSize; }

uint32_t TPixelGraphic::GetBMPFileSize() { return GetDIBSize() + 14; }

void TPixelGraphic::WriteDIB(TStream& Stream) {
  FlushGdi();
  const int32_t colors = WrittenColors(*this);
  uint8_t h[40] = {};
  PutLe32(h, 40);
  PutLe32(h + 4, static_cast<uint32_t>(FWidth));
  PutLe32(h + 8, static_cast<uint32_t>(FHeight));
  h[12] = 1;
  h[14] = static_cast<uint8_t>(GetBitCount());
  PutLe32(h + 20, FImageSize);
  PutLe32(h + 24, static_cast<uint32_t>(FXResolution));
  PutLe32(h + 28, static_cast<uint32_t>(FYResolution));
  PutLe32(h + 32, static_cast<uint32_t>(colors));
  Stream.WriteBuffer(h, 40);
  std::vector<uint8_t> table(4 * static_cast<size_t>(colors), 0);
  for (int32_t i = 0; i < colors && i < FPaletteCount; ++i) {
    TColor c = FPalette[static_cast<size_t>(i)];
    table[4 * i] = GetBValue(c);
    table[4 * i + 1] = GetGValue(c);
    table[4 * i + 2] = GetRValue(c);
  }
  if (!table.empty()) Stream.WriteBuffer(table.data(), static_cast<int64_t>(table.size()));
  if (FImageSize) Stream.WriteBuffer(FBits.get(), FImageSize);
}

namespace {

// The image as a BMP file: through the library's default BMP writer when
// there is one, else the file header and the DIB directly.
void WriteBMPFile(TPixelGraphic& G, TStream& Stream) {
  if (PGDefaultBMPWriter) {
    PGDefaultBMPWriter->Write(Stream, G);
    return;
  }
  uint8_t fh[14] = {'B', 'M'};
  PutLe32(fh + 2, G.GetBMPFileSize());
  PutLe32(fh + 10, G.GetBMPFileSize() - G.GetImageSize());
  Stream.WriteBuffer(fh, 14);
  G.WriteDIB(Stream);
}

}  // namespace

void TPixelGraphic::WriteData(TStream& Stream) {
  FlushGdi();
  int64_t sizePos = Stream.Position();
  uint8_t zero[4] = {};
  Stream.WriteBuffer(zero, 4);
  WriteBMPFile(*this, Stream);
  int64_t end = Stream.Position();
  uint8_t n[4];
  PutLe32(n, static_cast<uint32_t>(end - sizePos - 4));
  Stream.SetPosition(sizePos);
  Stream.WriteBuffer(n, 4);
  Stream.SetPosition(end);
}

void TPixelGraphic::ReadData(TStream& Stream) {
  uint8_t n[4];
  Stream.ReadBuffer(n, 4);
  const int64_t after = Stream.Position() + Le32(n);
  try {
    LoadImageFromStream(Stream, "bmp", 0);
  } catch (...) {
    Stream.SetPosition(after);
    throw;
  }
  // The next property starts after the stored size, whatever the reader consumed.
  Stream.SetPosition(after);
}

namespace {

// A bitmap whose DIB pixels the image can take or give as they are: a
// TBitmap itself (not a class that loads itself its own way) with a DIB of
// 1, 4, 8 or 24 bits.
bool PlainDIBBitmap(TGraphic* Graphic, TSurfaceInfo& Info) {
  if (!Graphic || typeid(*Graphic) != typeid(TBitmap)) return false;
  auto* bitmap = static_cast<TBitmap*>(Graphic);
  HBITMAP handle = bitmap->Handle();
  if (!handle || !GetSurfaceInfo(handle, Info) || Info.Monochrome) return false;
  return (Info.BitCount == 1 || Info.BitCount == 4 || Info.BitCount == 8 || Info.BitCount == 24) && Info.Width > 0 &&
         Info.Height > 0;
}

// The bitmap's pixel memory into the image's, bottom row first, with the
// progress events of reading it from a bitmap file: start, the tenths of
// the memory (none up to 100 bytes), end. An abort keeps what was copied.
void CopyInTenths(TPixelGraphic& G, const TSurfaceInfo& Info) {
  TPGProgressScope progress(G, &G);
  const int64_t lineBytes = G.BytesPerLine(), total = int64_t(G.ImageSize()), height = G.GetHeight();
  const int64_t rowBytes = std::min<int64_t>(lineBytes, Info.BytesPerLine);
  // Bytes [From, To) of the image's bottom-up memory.
  auto copy = [&](int64_t From, int64_t To) {
    while (From < To) {
      const int64_t y = height - 1 - From / lineBytes, column = From % lineBytes;
      const int64_t n = std::min(To - From, lineBytes - column);
      if (column < rowBytes)
        std::memcpy(G.ScanLine(int32_t(y)) + column, Info.ScanLine(int32_t(y)) + column,
                    size_t(std::min(n, rowBytes - column)));
      From += n;
    }
  };
  InTenths(G, total, copy);
}

}  // namespace

void TPixelGraphic::AssignFromGraphic(TGraphic* Source) {
  if (!Source) return;
  FXResolution = 0;
  FYResolution = 0;
  FGamma = PGDefaultGamma;
  FreeChunks();
  TSurfaceInfo info;
  if (PlainDIBBitmap(Source, info)) {
    // The bitmap's rows and colour table are read in place: the picture a
    // bitmap file of it would load, without making that file.
    auto* bitmap = static_cast<TBitmap*>(Source);
    DIBSECTION section{};
    GetObject(bitmap->Handle(), sizeof section, &section);
    const uint8_t format = BitCountToPixelFormat(info.BitCount);
    const std::vector<RGBQUAD> table = bitmap->ColorTable();
    BeginUpdate();
    try {
      FlushGdi();
      NewImage(0, 0, pf24Bit);
      NewImageToOverwrite(info.Width, info.Height, format);
      FXResolution = section.dsBmih.biXPelsPerMeter;
      FYResolution = section.dsBmih.biYPelsPerMeter;
      if (format == pf24Bit) {
        SetPaletteIdent(pTrueColor);
      } else {
        SetPaletteCount(GetMaxColors());
        for (int32_t i = 0; i < FPaletteCount; ++i) {
          const RGBQUAD q = i < static_cast<int32_t>(table.size()) ? table[static_cast<size_t>(i)] : RGBQUAD{};
          SetPaletteEntry(i, RGB(q.rgbRed, q.rgbGreen, q.rgbBlue));
        }
      }
      CopyInTenths(*this, info);
      DetectPaletteIdent();
    } catch (...) {
      EndUpdate();
      throw;
    }
    EndUpdate();
  } else {
    TMemoryStream m;
    Source->SaveToStream(m);
    m.SetPosition(0);
    LoadFromStream(m);
  }
  DetectPaletteIdent();
  Changed(this);
}

void TPixelGraphic::AssignToGraphic(TGraphic* Dest) {
  if (!Dest) return;
  FlushGdi();
  if (FBits && typeid(*Dest) == typeid(TBitmap)) {
    // The bitmap gets a DIB section of the image's own layout and colour
    // table, and the pixel memory in one copy: the bitmap a bitmap file of
    // the image would load.
    TBitmapInfo256 bi{};
    const int32_t colors = WrittenColors(*this);
    bi.bmiHeader.biWidth = FWidth;
    bi.bmiHeader.biHeight = FHeight;
    bi.bmiHeader.biBitCount = static_cast<uint16_t>(GetBitCount());
    bi.bmiHeader.biSizeImage = FImageSize;
    bi.bmiHeader.biXPelsPerMeter = FXResolution;
    bi.bmiHeader.biYPelsPerMeter = FYResolution;
    bi.bmiHeader.biClrUsed = static_cast<uint32_t>(colors);
    for (int32_t i = 0; i < colors && i < FPaletteCount; ++i) {
      const TColor c = FPalette[static_cast<size_t>(i)];
      bi.bmiColors[i] = RGBQUAD{GetBValue(c), GetGValue(c), GetRValue(c), 0};
    }
    void* bits = nullptr;
    HBITMAP handle = CreateDIBSection(nullptr, bi.Info(), DIB_RGB_COLORS, &bits, nullptr, 0);
    if (handle) {
      std::memcpy(bits, FBits.get(), FImageSize);
      static_cast<TBitmap*>(Dest)->SetHandle(handle);
      return;
    }
  }
  TMemoryStream m;
  m.SetSize(GetBMPFileSize());
  m.SetPosition(0);
  WriteBMPFile(*this, m);
  m.SetSize(m.Position());
  m.SetPosition(0);
  Dest->LoadFromStream(m);
}

void TPixelGraphic::SaveToClipboardFormat(uint16_t& Format, uintptr_t& Data, HPALETTE& Palette) {
  TMemoryStream m;
  WriteDIB(m);
  Data = GlobalFromBytes(m.Bytes());
  Format = CF_DIB;
  Palette = nullptr;
}

void TPixelGraphic::LoadFromClipboardFormat(uint16_t Format, uintptr_t Data, HPALETTE) {
  if ((Format != CF_BITMAP && Format != CF_DIB) || !Data || (Format == CF_DIB && !IsGlobalHandle(Data)))
    throw EPGUnknownClipboardFormat(PGMessage(4));
  FlushGdi();
  // A bitmap handle that the clipboard layer did not convert yet becomes DIB bytes here.
  bool converted = Format == CF_BITMAP && !IsGlobalHandle(Data);
  HGLOBAL block = converted ? BitmapToPackedDIB(reinterpret_cast<HBITMAP>(Data)) : Data;
  if (!block) throw EPGUnknownClipboardFormat(PGMessage(4));
  BeginUpdate();
  auto* bytes = static_cast<const uint8_t*>(GlobalLock(block));
  try {
    TMemoryStream m;
    m.Bytes().assign(bytes, bytes + GlobalSize(block));
    ReadDIB(m, false, 0);
    DetectPaletteIdent();
  } catch (...) {
    // Every way out unlocks the block and ends the update.
    GlobalUnlock(block);
    if (converted) GlobalFree(block);
    EndUpdate();
    throw;
  }
  GlobalUnlock(block);
  if (converted) GlobalFree(block);
  EndUpdate();
}
