// GIF block walk, frame reading and the LZW raster decoder.
#include "gif/gif_decoder.h"

#include <algorithm>
#include <cstring>

#include "imaging/core/exceptions.h"
#include "imaging/core/messages.h"
#include "imaging/core/pixel_graphic.h"
#include "platform/base/numeric.h"
#include "platform/base/stream_reader.h"
#include "platform/base/strings.h"

namespace {

constexpr int32_t kMaxCodes = 4096;

void PutLE16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void PutLE32(std::vector<uint8_t>& b, uint32_t v) {
  PutLE16(b, v & 0xFFFF);
  PutLE16(b, v >> 16);
}

// A BMP file image: file header, 40-byte info header, colour table, bits.
std::vector<uint8_t> BmpFileImage(int32_t Width, int32_t Height, int32_t BitCount, int32_t Colors,
                                  const uint8_t* Rgb, const std::vector<uint8_t>& Bits) {
  uint32_t offset = 14 + 40 + 4 * static_cast<uint32_t>(Colors);
  std::vector<uint8_t> b;
  b.reserve(offset + Bits.size());
  b.push_back('B');
  b.push_back('M');
  PutLE32(b, offset + static_cast<uint32_t>(Bits.size()));
  PutLE32(b, 0);
  PutLE32(b, offset);
  PutLE32(b, 40);
  PutLE32(b, static_cast<uint32_t>(Width));
  PutLE32(b, static_cast<uint32_t>(Height));
  PutLE16(b, 1);
  PutLE16(b, static_cast<uint32_t>(BitCount));
  PutLE32(b, 0);
  PutLE32(b, static_cast<uint32_t>(Bits.size()));
  PutLE32(b, 0);
  PutLE32(b, 0);
  PutLE32(b, static_cast<uint32_t>(Colors));
  PutLE32(b, 0);
  for (int32_t i = 0; i < Colors; ++i) {
    b.push_back(Rgb[3 * i + 2]);
    b.push_back(Rgb[3 * i + 1]);
    b.push_back(Rgb[3 * i]);
    b.push_back(0);
  }
  b.insert(b.end(), Bits.begin(), Bits.end());
  return b;
}

}  // namespace

// ---- TGIFFrame

uint8_t TGIFFrame::PixelAt(int32_t x, int32_t y) const {
  return Pixels[static_cast<size_t>(Height - 1 - y) * PixelStride() + x];
}

bool TGIFFrame::MaskAt(int32_t x, int32_t y) const {
  if (Mask.empty()) return false;
  return (Mask[static_cast<size_t>(Height - 1 - y) * MaskStride() + x / 8] & (0x80 >> (x & 7))) != 0;
}

std::vector<uint8_t> TGIFFrame::BitmapFileImage() const {
  return BmpFileImage(Width, Height, 8, ColorsUsed, Palette.data(), Pixels);
}

std::vector<uint8_t> TGIFFrame::MaskFileImage() const {
  static const uint8_t blackWhite[6] = {0, 0, 0, 255, 255, 255};
  return BmpFileImage(Width, Height, 1, 2, blackWhite, Mask);
}

// ---- LZW raster decoding
//
// Every table code stands for a string that has already been written to the
// rows once: the code keeps where (a pointer into the rows, or into a table
// of the single values) and how long, so that writing it again is one short
// copy. A new code is the previous string followed by the first value of the
// current one; when those lie side by side in memory (both in one row) the
// new code points at the previous string's place. Codes whose string is not
// in one piece (it crossed a row's end) keep their prefix code and last
// value instead and are written by walking that chain. Strings of up to 16
// values far enough from the row's end are copied as one 16-byte block, the
// values past the string's end being written over by the strings that
// follow; the rest of the row is cleared when the data stops short.
//
// Minimum code sizes above 8 give values that do not fit a byte: such frames
// are written by walking the chains only, so that the mask compares the
// values and not the bytes stored.

namespace {

constexpr uint32_t kCopyBlock = 16;
// Set in a code's length when the block copy must not take it: its string is
// not in one piece, or its place is too near the end of the rows for a block
// read, or the code is the clear or end code.
constexpr uint32_t kSlowCode = 0x10000;

// The single values 0 to 255 with room for one block read past the last.
constexpr std::array<uint8_t, 256 + kCopyBlock> kValues = [] {
  std::array<uint8_t, 256 + kCopyBlock> v{};
  for (int32_t i = 0; i < 256; ++i) v[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
  return v;
}();

struct TLZWCode {
  const uint8_t* Place;  // the string in memory; null when it is not in one piece
  uint32_t Length;       // values, plus kSlowCode when the block copy must not take it
  uint16_t Prefix;       // the code of all but the last value
  uint16_t Last;         // the last value
};

}  // namespace

// Decodes one frame's image data, from the minimum code size byte to the
// zero-length sub-block that ends it, into the frame's rows.
class TGIFFrameReader {
public:
  // Decode off: the raster is checked and skipped. Report off: no progress
  // between rows.
  TGIFFrameReader(TGIFDecoder& Decoder, TGIFFrame& Frame, bool Decode, bool Report)
      : FDec(Decoder), FFrame(Frame), FDecode(Decode), FReport(Report) {}
  bool Decode();

private:
  // Where the next value goes: the current row from Dst up to Limit.
  struct TOutput {
    uint8_t* Dst;
    uint8_t* Limit;
    bool RowChanged;  // set when a write went on into another row
  };
  // The data sub-blocks read so far: bits not yet taken in Acc.
  struct TInput {
    const uint8_t* Next;  // the next byte of the current sub-block
    int64_t BlockLeft;    // its bytes left
    uint64_t Acc;
    int32_t Bits;
  };

  void Refill(TInput& In);
  void SkipToBlockEnd(const TInput& In);
  bool NextRow(TOutput& Out);
  bool Write(TOutput& Out, const uint8_t* Src, uint32_t Count);
  bool WriteCode(TOutput& Out, int32_t Code, uint16_t& First);
  bool WriteValues(TOutput& Out, const uint16_t* Src, int32_t Count);
  void MaskRow(const uint8_t* Line, int32_t Count);

  TGIFDecoder& FDec;
  TGIFFrame& FFrame;
  bool FEndOfData = false;  // no more sub-blocks to read
  bool FZeroBlockSeen = false;
  bool FWide = false;       // values above 255: chains only, the mask by value
  int32_t FMinCodeSize = 0;
  int32_t FRow = 0;         // file-order row number
  int32_t FBufRow = 0;      // buffer row of the current file row, -1 when every row is done
  uint8_t* FBits = nullptr; // the frame's rows
  uint8_t* FLine = nullptr;
  uint8_t* FMaskLine = nullptr;
  int32_t FProgressMask = 0;
  bool FReporting = false;
  bool FDecode;
  bool FReport;
  TGIFInterlaceOrder* FOrder = nullptr;
  std::unique_ptr<TLZWCode[]> FTable;
  uint8_t FBytes[kMaxCodes + 1];    // a chain's values, last first
  uint16_t FValues[kMaxCodes + 1];  // the same for wide values
};

// Takes bytes into the accumulator while it has room, across sub-blocks;
// leaves it short only at the end of the data.
void TGIFFrameReader::Refill(TInput& In) {
  TGIFDecoder& d = FDec;
  while (In.Bits <= 56) {
    if (In.BlockLeft == 0) {
      if (FEndOfData) return;
      int64_t pos = In.Next - d.FData;
      if (pos >= d.FSize) {
        FEndOfData = true;
        return;
      }
      const int32_t count = d.FData[pos++];
      if (count == 0) {
        FEndOfData = FZeroBlockSeen = true;
        In.Next = d.FData + pos;
        return;
      }
      In.BlockLeft = std::min<int64_t>(count, d.FSize - pos);
      In.Next = d.FData + pos;
      if (In.BlockLeft < count) FEndOfData = true;  // cut short by the end of the file
      if (In.BlockLeft == 0) return;
    }
    In.Acc |= static_cast<uint64_t>(*In.Next++) << In.Bits;
    In.Bits += 8;
    --In.BlockLeft;
  }
}

void TGIFFrameReader::SkipToBlockEnd(const TInput& In) {
  int64_t pos = (In.Next - FDec.FData) + In.BlockLeft;
  if (!FZeroBlockSeen) {
    while (pos < FDec.FSize) {
      int32_t count = FDec.FData[pos++];
      if (count == 0) break;
      pos += count;
    }
  }
  FDec.FPos = std::min(pos, FDec.FSize);
}

// Sets the mask bits of the first Count pixels of a row that hold the
// transparent index.
void TGIFFrameReader::MaskRow(const uint8_t* Line, int32_t Count) {
  const uint8_t t = FFrame.TransparentIndex;
  for (int32_t x = 0; x < Count; ++x)
    if (Line[x] == t) FMaskLine[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
}

// Finishes the current row and moves to the next one in file order; false
// after the last one.
bool TGIFFrameReader::NextRow(TOutput& Out) {
  if (FFrame.Transparent && !FWide) MaskRow(FLine, FFrame.Width);
  if (FReporting && (FRow & FProgressMask) == 0) FDec.Progress();
  ++FRow;
  Out.RowChanged = true;
  int32_t next = FOrder->Next(FFrame.Height - 1 - FBufRow);
  if (next < 0) {
    FBufRow = -1;
    return false;
  }
  FBufRow = FFrame.Height - 1 - next;
  FLine = FBits + static_cast<size_t>(FBufRow) * FFrame.PixelStride();
  if (FFrame.Transparent) FMaskLine = FFrame.Mask.data() + static_cast<size_t>(FBufRow) * FFrame.MaskStride();
  Out.Dst = FLine;
  Out.Limit = FLine + FFrame.Width;
  return true;
}

// Writes Count values from Src, which holds no value of a row not yet
// finished; false once every row has been filled.
bool TGIFFrameReader::Write(TOutput& Out, const uint8_t* Src, uint32_t Count) {
  while (Count > 0) {
    const uint32_t n = std::min<uint32_t>(Count, static_cast<uint32_t>(Out.Limit - Out.Dst));
    std::memcpy(Out.Dst, Src, n);
    Out.Dst += n;
    Src += n;
    Count -= n;
    if (Out.Dst == Out.Limit && !NextRow(Out)) return false;
  }
  return true;
}

// Wide values: written one by one, the mask set where a value (not its low
// byte) is the transparent index. Src holds the values last first.
bool TGIFFrameReader::WriteValues(TOutput& Out, const uint16_t* Src, int32_t Count) {
  const bool transparent = FFrame.Transparent;
  const uint16_t t = FFrame.TransparentIndex;
  for (int32_t k = Count - 1; k >= 0; --k) {
    const int32_t x = static_cast<int32_t>(Out.Dst - FLine);
    *Out.Dst++ = static_cast<uint8_t>(Src[k]);
    if (transparent && Src[k] == t) FMaskLine[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
    if (Out.Dst == Out.Limit && !NextRow(Out)) return false;
  }
  return true;
}

// Writes the string of any table or single-value code; First receives its
// first value. False once every row has been filled.
bool TGIFFrameReader::WriteCode(TOutput& Out, int32_t Code, uint16_t& First) {
  const int32_t clearCode = 1 << FMinCodeSize;
  int32_t n = 0;
  if (FWide) {
    // Single values end the chains.
    while (Code >= clearCode && n < kMaxCodes) {
      FValues[n++] = FTable[static_cast<size_t>(Code)].Last;
      Code = FTable[static_cast<size_t>(Code)].Prefix;
    }
    if (Code >= clearCode) return false;
    First = static_cast<uint16_t>(Code);
    FValues[n++] = First;
    return WriteValues(Out, FValues, n);
  }
  // The chain's values back to a code whose string is in one piece (a
  // single value at the latest).
  const TLZWCode* c = &FTable[static_cast<size_t>(Code)];
  while (c->Place == nullptr && n < kMaxCodes) {
    FBytes[kMaxCodes - ++n] = static_cast<uint8_t>(c->Last);
    c = &FTable[c->Prefix];
  }
  if (c->Place == nullptr) return false;
  First = c->Place[0];
  if (!Write(Out, c->Place, c->Length & ~kSlowCode)) return false;
  return Write(Out, FBytes + kMaxCodes - n, static_cast<uint32_t>(n));
}

bool TGIFFrameReader::Decode() {
  TGIFDecoder& d = FDec;
  if (d.FPos >= d.FSize) throw EReadError("GIF: unexpected end of data");
  const int32_t m = d.FData[d.FPos++];
  // Code sizes outside 1..11 cannot be decoded with 12-bit codes.
  if (m < 1 || m > 11) {
    d.FFailure = gfCodeSize;
    return false;
  }
  TInput in{d.FData + d.FPos, 0, 0, 0};

  // The core's image-size check refuses frames over the library's cap
  // before anything is allocated.
  const int64_t pixelBytes = CheckPGImageSize(FFrame.Width, FFrame.Height, pf8Bit);
  if (!FDecode) {
    SkipToBlockEnd(in);
    return true;
  }
  const int64_t maskBytes = FFrame.Transparent ? static_cast<int64_t>(FFrame.MaskStride()) * FFrame.Height : 0;
  FBits = d.FramePixels(FFrame, pixelBytes);
  if (FFrame.Transparent) FFrame.Mask.assign(static_cast<size_t>(maskBytes), 0);
  // A block read from a place this near the end of the rows would pass it.
  const uint8_t* blockReadEnd = FBits + pixelBytes;

  TGIFInterlaceOrder order(FFrame.Height, FFrame.Interlaced);
  FOrder = &order;
  FBufRow = FFrame.Height - 1 - order.First();
  FLine = FBits + static_cast<size_t>(FBufRow) * FFrame.PixelStride();
  if (FFrame.Transparent) FMaskLine = FFrame.Mask.data() + static_cast<size_t>(FBufRow) * FFrame.MaskStride();
  FReporting = FReport && static_cast<bool>(d.OnProgress) && static_cast<int64_t>(FFrame.Width) * FFrame.Height > 100000;
  FProgressMask = FFrame.Width <= 320 ? 63 : 31;
  FMinCodeSize = m;
  FWide = m > 8;

  const int32_t clearCode = 1 << m;
  const int32_t endCode = clearCode + 1;
  FTable = std::make_unique<TLZWCode[]>(kMaxCodes + 1);
  TLZWCode* table = FTable.get();
  for (int32_t i = 0; i < clearCode; ++i)
    table[i] = FWide ? TLZWCode{nullptr, 1 | kSlowCode, 0, static_cast<uint16_t>(i)}
                     : TLZWCode{kValues.data() + i, 1, 0, static_cast<uint16_t>(i)};
  table[clearCode] = table[endCode] = TLZWCode{nullptr, kSlowCode, 0, 0};

  // The hot state lives in locals that no write through a row pointer can
  // touch; the slower helpers get it in TOutput and TInput.
  uint8_t* dst = FLine;
  uint8_t* limit = FLine + FFrame.Width;
  uint64_t acc = 0;
  int32_t bits = 0;
  const uint8_t* next = in.Next;
  int64_t blockLeft = 0;
  int32_t codeSize = m + 1;
  int32_t limitCode = 2 * clearCode;
  int32_t nextCode = clearCode + 2;
  int32_t oldCode = -1;            // -1: the next code starts the string table
  const uint8_t* prevPlace = dst;  // where the previous string was written
  const uint8_t* prevEnd = nullptr;  // its end when written in one piece
  uint32_t prevLength = 0;
  uint16_t prevFirst = 0;           // its first value

  auto readCode = [&]() -> int32_t {
    if (bits < codeSize) {
      if (blockLeft >= 8) {
        // Eight bytes at once; as many of them kept as the accumulator holds.
        uint64_t v;
        std::memcpy(&v, next, 8);
        acc |= v << bits;
        const int32_t n = (63 - bits) >> 3;
        next += n;
        blockLeft -= n;
        bits += 8 * n;
      } else {
        TInput i{next, blockLeft, acc, bits};
        Refill(i);
        next = i.Next;
        blockLeft = i.BlockLeft;
        acc = i.Acc;
        bits = i.Bits;
        if (bits < codeSize) return -1;
      }
    }
    const int32_t code = static_cast<int32_t>(acc & ((1u << codeSize) - 1));
    acc >>= codeSize;
    bits -= codeSize;
    return code;
  };
  // Adds the code of the previous string and the first value of the string
  // just started at Start.
  auto addCode = [&](const uint8_t* Start, uint16_t First) {
    TLZWCode& c = table[nextCode];
    const bool inOnePiece = prevEnd == Start && blockReadEnd - prevPlace >= static_cast<ptrdiff_t>(kCopyBlock);
    c.Place = inOnePiece ? prevPlace : nullptr;
    c.Length = (prevLength + 1) | (inOnePiece ? 0 : kSlowCode);
    c.Prefix = static_cast<uint16_t>(oldCode);
    c.Last = First;
    if (nextCode < kMaxCodes) {
      ++nextCode;
      if (nextCode >= limitCode && limitCode < kMaxCodes) {
        limitCode *= 2;
        ++codeSize;
      }
    }
  };

  for (;;) {
    int32_t code = readCode();
    if (code < 0) break;  // data cut short: the rows not reached stay 0
    if (code < nextCode && oldCode >= 0) {
      const TLZWCode c = table[code];
      if (c.Length <= kCopyBlock && limit - dst >= static_cast<ptrdiff_t>(kCopyBlock)) {
        addCode(dst, c.Place[0]);
        std::memmove(dst, c.Place, kCopyBlock);
        prevPlace = dst;
        prevFirst = c.Place[0];
        prevLength = c.Length;
        dst += c.Length;
        prevEnd = dst;
        oldCode = code;
        if (dst == limit) {
          TOutput out{dst, limit, false};
          if (!NextRow(out)) break;
          dst = out.Dst;
          limit = out.Limit;
        }
        continue;
      }
    }
    if (code == clearCode) {
      codeSize = m + 1;
      limitCode = 2 * clearCode;
      nextCode = clearCode + 2;
      oldCode = -1;
      continue;
    }
    if (code == endCode) break;
    // A code above the next free one cannot be built from the table: the
    // data is corrupt and the frame ends here. So does a first code after a
    // clear that is not a single value.
    if (code > nextCode || (oldCode < 0 && code > clearCode)) break;
    if (code == nextCode && code >= kMaxCodes) break;
    TOutput out{dst, limit, false};
    uint8_t* start = dst;
    uint16_t first = prevFirst;
    bool written;
    if (oldCode >= 0 && code == nextCode) {
      // The string being defined: the old string and its first value.
      written = WriteCode(out, oldCode, first);
      if (written && FWide) {
        FValues[0] = prevFirst;
        written = WriteValues(out, FValues, 1);
      } else if (written) {
        const uint8_t b = static_cast<uint8_t>(prevFirst);
        written = Write(out, &b, 1);
      }
      first = prevFirst;
    } else {
      written = WriteCode(out, code, first);
    }
    dst = out.Dst;
    limit = out.Limit;
    if (!written) break;
    if (oldCode >= 0) addCode(start, first);
    prevPlace = start;
    prevFirst = first;
    prevLength = table[code].Length & ~kSlowCode;
    // Wide values are never copied from the rows, whose bytes lost them.
    prevEnd = out.RowChanged || FWide ? nullptr : dst;
    oldCode = code;
  }
  if (FBufRow >= 0) {
    // A row cut short: its values past the last string written are cleared
    // of what the block copies left there.
    std::memset(dst, 0, static_cast<size_t>(limit - dst));
    if (FFrame.Transparent && !FWide) MaskRow(FLine, static_cast<int32_t>(dst - FLine));
  }
  SkipToBlockEnd(TInput{next, blockLeft, acc, bits});
  return true;
}

// ---- TGIFDecoder

TGIFDecoder::TGIFDecoder() = default;
TGIFDecoder::~TGIFDecoder() = default;

void TGIFDecoder::ClearFrames() {
  FFrames.clear();
  FDecodedBytes = 0;
  FLoopCount = 1;
  FKeepProcessing = true;
  FGlobalBits = 0;
  FAnyFrameInterlaced = false;
  FAnyFrameTransparent = false;
  FWidth = FHeight = 0;
  FDataStream.Clear();
}

void TGIFDecoder::CheckCanvasSize(int32_t Width, int32_t Height) { CheckPGImageSize(Width, Height, pf8Bit); }

void TGIFDecoder::DecodeFrame(int32_t Index) {
  TGIFFrame& frame = Frame(Index);
  if (FData != nullptr) throw EInvalidOperation("GIF: a frame cannot be decoded during a parse");
  const int64_t size = FDataStream.Size();
  if (frame.RasterOffset <= 0 || frame.RasterOffset >= size) throw EReadError("GIF: unexpected end of data");
  FData = FDataStream.Memory();
  FSize = size;
  FPos = frame.RasterOffset;
  try {
    TGIFFrameReader reader(*this, frame, true, false);
    reader.Decode();
  } catch (...) {
    FData = nullptr;
    FSize = FPos = 0;
    throw;
  }
  FData = nullptr;
  FSize = FPos = 0;
}

uint8_t* TGIFDecoder::FramePixels(TGIFFrame& Frame, int64_t Bytes) {
  Frame.Pixels.assign(static_cast<size_t>(Bytes), 0);
  return Frame.Pixels.data();
}

void TGIFDecoder::Progress() {
  if (!OnProgress) return;
  int32_t pos = static_cast<int32_t>(std::min<int64_t>(FPos, 0x7FFFFFFF));
  int32_t size = static_cast<int32_t>(std::min<int64_t>(FSize, 0x7FFFFFFF));
  OnProgress(this, pos, size, MulDiv(100, pos, size), FKeepProcessing);
  if (!FKeepProcessing) {
    FStatus = 1;
    throw EAbort("Operation aborted");
  }
}

bool TGIFDecoder::ReadFrame(TGIFFrame& Frame) {
  auto need = [this](int64_t n) {
    if (FSize - FPos < n) throw EReadError("GIF: unexpected end of data");
  };
  need(10);
  const uint8_t* p = FData + FPos;
  FPos += 10;
  Frame.Left = p[1] | (p[2] << 8);
  Frame.Top = p[3] | (p[4] << 8);
  Frame.Width = p[5] | (p[6] << 8);
  Frame.Height = p[7] | (p[8] << 8);
  const uint8_t packed = p[9];
  if (p[0] != 0x2C || Frame.Width == 0 || Frame.Height == 0) {
    FFailure = gfFrameSize;
    return false;
  }
  // The canvas grows to cover every frame: refused before this frame is
  // decoded when it would outgrow what the frames are drawn into.
  FWidth = std::max(FWidth, Frame.Left + Frame.Width);
  FHeight = std::max(FHeight, Frame.Top + Frame.Height);
  CheckCanvasSize(FWidth, FHeight);

  if (packed & 0x80) {
    Frame.HasLocalColorTable = true;
    Frame.LocalBits = (packed & 7) + 1;
    FColorDepth = std::max(FColorDepth, Frame.LocalBits);
    int64_t n = 3 * (int64_t{1} << Frame.LocalBits);
    need(n);
    Frame.Palette.fill(0);
    std::memcpy(Frame.Palette.data(), FData + FPos, static_cast<size_t>(n));
    FPos += n;
  } else {
    Frame.Palette = FGlobalPalette;
    Frame.LocalBits = 0;
  }
  Frame.Interlaced = (packed & 0x40) != 0;

  const uint8_t gcPacked = FGraphicControl[1];
  switch ((gcPacked & 0x1C) >> 2) {
    case 0: Frame.DisposalMethod = 0; break;
    case 1: Frame.DisposalMethod = 1; break;
    case 3: Frame.DisposalMethod = 3; break;
    default: Frame.DisposalMethod = 2; break;
  }
  Frame.Delay = (FGraphicControl[2] | (FGraphicControl[3] << 8)) * 10;
  Frame.Transparent = (gcPacked & 1) != 0 && FVersion == gvGIF89a;
  Frame.TransparentIndex = FGraphicControl[4];
  Frame.ColorsUsed = 1 << (Frame.HasLocalColorTable ? Frame.LocalBits : FGlobalBits);

  Frame.RasterOffset = FPos;
  const bool decode = DecodesFrame(FrameCount());
  if (decode) {
    // Frames decoded by one parse are all kept: together they stay under
    // the image-size cap, as one picture would.
    const int64_t bytes = Frame.DecodedBytes();
    if (FDecodedBytes + bytes > ImageBytesCap())
      throw EPGInvalidSize(PGMessage(27, IntToStr(Frame.Width) + " x " + IntToStr(Frame.Height)));
    FDecodedBytes += bytes;
  }
  TGIFFrameReader reader(*this, Frame, decode, true);
  if (!reader.Decode()) return false;

  if (Frame.Transparent) {
    Frame.TransparentRed = Frame.Palette[3 * Frame.TransparentIndex];
    Frame.TransparentGreen = Frame.Palette[3 * Frame.TransparentIndex + 1];
    Frame.TransparentBlue = Frame.Palette[3 * Frame.TransparentIndex + 2];
  }
  return true;
}

bool TGIFDecoder::ParseGIF() {
  // The bytes move to the data stream, which keeps them; the parse stream is
  // left empty by every parse.
  std::vector<uint8_t> bytes;
  bytes.swap(FParseStream.Bytes());
  FParseStream.Clear();
  return Parse(bytes.data(), static_cast<int64_t>(bytes.size()), &bytes);
}

bool TGIFDecoder::ParseBytes(const uint8_t* Data, int64_t Size) { return Parse(Data, Size, nullptr); }

bool TGIFDecoder::Parse(const uint8_t* Data, int64_t Size, std::vector<uint8_t>* Keep) {
  try {
    return ParseData(Data, Size, Keep);
  } catch (...) {
    FData = nullptr;
    FSize = FPos = 0;
    throw;
  }
}

bool TGIFDecoder::ParseData(const uint8_t* Data, int64_t Size, std::vector<uint8_t>* Keep) {
  FStatus = 3;
  FFailure = gfNone;
  ClearFrames();
  if (Keep) {
    FDataStream.Bytes().swap(*Keep);
    Data = FDataStream.Memory();
  }
  FColorDepth = 0;
  FGraphicControl.fill(0);

  if (Size == 0) {
    FStatus = 2;
    FFailure = gfNoData;
    return false;
  }
  FData = Data;
  FSize = Size;
  FPos = 0;
  auto fail = [this] {
    FData = nullptr;
    FSize = FPos = 0;
    return false;
  };
  auto need = [this](int64_t n) {
    if (FSize - FPos < n) throw EReadError("GIF: unexpected end of data");
  };
  auto byte = [this]() -> uint8_t { return FPos < FSize ? FData[FPos++] : 0; };
  // Skips data sub-blocks up to and including the zero-length one.
  auto skipSubBlocks = [this] {
    while (FPos < FSize) {
      int32_t count = FData[FPos++];
      if (count == 0) break;
      FPos = std::min<int64_t>(FPos + count, FSize);
    }
  };

  if (FSize < 6 || std::memcmp(FData, "GIF", 3) != 0) {
    FFailure = gfSignature;
    return fail();
  }
  FVersion = FData[4] == '9' ? gvGIF89a : gvGIF87a;
  FPos = 6;

  need(7);
  const uint8_t* sd = FData + FPos;
  FPos += 7;
  FWidth = sd[0] | (sd[1] << 8);
  FHeight = sd[2] | (sd[3] << 8);
  FGlobalPalette.fill(0);
  if (sd[4] & 0x80) {
    FGlobalBits = (sd[4] & 7) + 1;
    FColorDepth = std::max(FColorDepth, 8);
    int64_t n = 3 * (int64_t{1} << FGlobalBits);
    need(n);
    std::memcpy(FGlobalPalette.data(), FData + FPos, static_cast<size_t>(n));
    FPos += n;
  }
  CheckCanvasSize(FWidth, FHeight);

  std::string pendingComment;
  while (FPos < FSize && FKeepProcessing) {
    Progress();
    const uint8_t introducer = byte();
    const uint8_t label = byte();
    if (introducer == 0x21) {
      switch (label) {
        case 0x01: {  // plain text: a fixed block, then text sub-blocks
          int32_t n = byte();
          FPos = std::min<int64_t>(FPos + n, FSize);
          skipSubBlocks();
          break;
        }
        case 0xF9:
          need(6);
          std::memcpy(FGraphicControl.data(), FData + FPos, 6);
          FPos += 6;
          break;
        case 0xFE:
          pendingComment.clear();
          if (!FKeepComments) {
            skipSubBlocks();
            break;
          }
          while (FPos < FSize) {
            int32_t count = FData[FPos++];
            if (count == 0) break;
            int64_t n = std::min<int64_t>(count, FSize - FPos);
            pendingComment.append(reinterpret_cast<const char*>(FData + FPos), static_cast<size_t>(n));
            FPos += n;
          }
          break;
        case 0xFF: {
          // Application: identifier and authentication code, then sub-blocks;
          // the loop count comes only from a NETSCAPE2.0 sub-block of 3 or more bytes.
          uint8_t block[255];
          int32_t n = byte();
          int64_t got = std::min<int64_t>(n, FSize - FPos);
          std::memcpy(block, FData + FPos, static_cast<size_t>(got));
          FPos += got;
          if (got == n && n >= 11 && std::memcmp(block, "NETSCAPE2.0", 11) == 0 && FPos < FSize) {
            int32_t count = FData[FPos];
            if (count >= 3 && FSize - FPos - 1 >= count) {
              FLoopCount = FData[FPos + 2] | (FData[FPos + 3] << 8);
            }
          }
          skipSubBlocks();
          break;
        }
        default:  // unknown extension: skip its sub-blocks
          skipSubBlocks();
          break;
      }
    } else if (introducer == 0x2C) {
      FPos -= 2;
      if (FFrames.size() == 256) break;  // the rest of the file is ignored
      FFrames.push_back(std::make_unique<TGIFFrame>());
      TGIFFrame& frame = *FFrames.back();
      frame.Owner = this;
      if (!ReadFrame(frame)) {
        FPos = FSize;
        Progress();
        return fail();
      }
      FGlobalBits = std::max(FGlobalBits, frame.LocalBits);
      FAnyFrameTransparent = FAnyFrameTransparent || frame.Transparent;
      FAnyFrameInterlaced = FAnyFrameInterlaced || frame.Interlaced;
      frame.Comment = pendingComment;
      if (FFirstImageOnly) {
        FPos = FSize;
        break;
      }
      pendingComment.clear();
      FGraphicControl.fill(0);
    } else if (introducer == 0x3B) {
      break;
    }
  }

  Progress();  // the canvas already covers every frame (ReadFrame)
  FinishParse();
  FData = nullptr;
  FSize = FPos = 0;
  FStatus = 0;
  return true;
}

// ---- Reading a GIF for a parse

namespace {

// Passes count bytes, appending them to Out when given; the number there
// were.
int64_t Copy(TStreamReader& In, int64_t Count, std::vector<uint8_t>* Out) {
  return Out != nullptr ? In.Append(*Out, Count) : In.Skip(Count);
}

// Passes data sub-blocks up to and including the zero-length one, appending
// them to Out when given.
void CopySubBlocks(TStreamReader& In, std::vector<uint8_t>* Out) {
  uint8_t count = 0;
  while (In.Next(count)) {
    if (Out) Out->push_back(count);
    if (count == 0 || Copy(In, count, Out) < count) return;
  }
}

void Append(std::vector<uint8_t>& Bytes, std::vector<uint8_t>& Block) {
  Bytes.insert(Bytes.end(), Block.begin(), Block.end());
  Block.clear();
}

}  // namespace

// The blocks are walked as the parse walks them (ParseData): pairs of an
// introducer and a label, an image from its separator to the zero-length
// sub-block that ends its raster. What the copy leaves out the parse would
// have passed over, or replaced before any image used it.
void ReadGIFForParse(TStream& Stream, std::vector<uint8_t>& Bytes, bool FirstImageOnly) {
  Bytes.clear();
  TStreamReader in(Stream);
  if (in.Append(Bytes, 13) < 13 || std::memcmp(Bytes.data(), "GIF", 3) != 0) return;
  if (Bytes[10] & 0x80) in.Append(Bytes, int64_t{3} << ((Bytes[10] & 7) + 1));
  // The last graphic control extension before an image, and the last loop
  // count, wait until an image (or the end) takes them.
  std::vector<uint8_t> control, loop;
  int32_t images = 0;
  bool trailer = false;
  uint8_t introducer = 0;
  while (in.Next(introducer)) {
    if (introducer == 0x2C) {
      if (images == 256) break;
      ++images;
      Append(Bytes, loop);
      Append(Bytes, control);
      Bytes.push_back(0x2C);
      const size_t descriptor = Bytes.size();
      if (in.Append(Bytes, 9) < 9) return;
      const uint8_t packed = Bytes[descriptor + 8];
      if (packed & 0x80) in.Append(Bytes, int64_t{3} << ((packed & 7) + 1));
      in.Append(Bytes, 1);  // the LZW minimum code size
      CopySubBlocks(in, &Bytes);
      if (FirstImageOnly) return;
      continue;
    }
    if (introducer == 0x3B) {
      trailer = true;
      break;
    }
    uint8_t label = 0;
    if (!in.Next(label)) break;
    if (introducer != 0x21) continue;  // a pair the parse passes over
    if (label == 0xF9) {
      control = {0x21, 0xF9};
      // Cut short, it fails the parse as it fails the file's.
      if (in.Append(control, 6) < 6) {
        Append(Bytes, control);
        return;
      }
    } else if (label == 0xFF) {
      // An application extension: only NETSCAPE2.0's first sub-block, when
      // it is whole and holds the loop count, is kept.
      std::vector<uint8_t> block = {0x21, 0xFF};
      uint8_t n = 0, count = 0;
      if (!in.Next(n)) break;
      block.push_back(n);
      if (in.Append(block, n) < n) break;
      if (n >= 11 && std::memcmp(block.data() + 3, "NETSCAPE2.0", 11) == 0 && in.Next(count)) {
        block.push_back(count);
        const int64_t got = in.Append(block, count);
        if (count >= 3 && got == count) {
          block.push_back(0);
          loop.swap(block);
        }
        if (count == 0 || got < count) continue;
      }
      CopySubBlocks(in, nullptr);
    } else {
      // Comments, plain text (a sized block first) and unknown extensions.
      uint8_t n = 0;
      if (label == 0x01 && in.Next(n)) in.Skip(n);
      CopySubBlocks(in, nullptr);
    }
  }
  Append(Bytes, loop);
  if (trailer) Bytes.push_back(0x3B);
}
