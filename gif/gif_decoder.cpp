// GIF block walk, frame reading and the LZW raster decoder.
#include "gif/gif_decoder.h"

#include <algorithm>
#include <cstring>

#include "imaging/core/exceptions.h"
#include "imaging/core/pixel_graphic.h"
#include "platform/base/numeric.h"

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

// Decodes one frame's image data, from the minimum code size byte to the
// zero-length sub-block that ends it, into the frame's rows.
class TGIFFrameReader {
public:
  TGIFFrameReader(TGIFDecoder& Decoder, TGIFFrame& Frame) : FDec(Decoder), FFrame(Frame) {}
  bool Decode();

private:
  int32_t ReadCode();
  void SkipToBlockEnd();
  bool EmitStack(int32_t Count);
  bool NextRow();

  TGIFDecoder& FDec;
  TGIFFrame& FFrame;
  // Sub-block input.
  int64_t FBlockLeft = 0;     // bytes left in the current sub-block
  bool FEndOfData = false;    // no more sub-blocks to read
  bool FZeroBlockSeen = false;
  uint64_t FAcc = 0;
  int32_t FAccBits = 0;
  int32_t FCodeSize = 0;
  // Row output.
  int32_t FX = 0;
  int32_t FRow = 0;       // file-order row number
  int32_t FBufRow = 0;    // buffer row of the current file row, -1 when every row is done
  uint8_t* FBits = nullptr;  // the frame's rows
  uint8_t* FLine = nullptr;
  uint8_t* FMaskLine = nullptr;
  int32_t FProgressMask = 0;
  bool FReporting = false;
  TGIFInterlaceOrder* FOrder = nullptr;
  uint16_t FStack[kMaxCodes + 1];
};

int32_t TGIFFrameReader::ReadCode() {
  const uint8_t* data = FDec.FData;
  while (FAccBits < FCodeSize) {
    if (FBlockLeft >= 4 && FAccBits <= 32) {
      const uint8_t* p = data + FDec.FPos;
      uint64_t v = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
      FAcc |= v << FAccBits;
      FAccBits += 32;
      FBlockLeft -= 4;
      FDec.FPos += 4;
      continue;
    }
    if (FBlockLeft == 0) {
      if (FEndOfData) return -1;
      if (FDec.FPos >= FDec.FSize) {
        FEndOfData = true;
        return -1;
      }
      int32_t count = data[FDec.FPos++];
      if (count == 0) {
        FEndOfData = FZeroBlockSeen = true;
        return -1;
      }
      FBlockLeft = std::min<int64_t>(count, FDec.FSize - FDec.FPos);
      if (FBlockLeft < count) FEndOfData = true;  // cut short by the end of the file
      if (FBlockLeft == 0) return -1;
    }
    FAcc |= static_cast<uint64_t>(data[FDec.FPos++]) << FAccBits;
    FAccBits += 8;
    --FBlockLeft;
  }
  int32_t code = static_cast<int32_t>(FAcc & ((1u << FCodeSize) - 1));
  FAcc >>= FCodeSize;
  FAccBits -= FCodeSize;
  return code;
}

void TGIFFrameReader::SkipToBlockEnd() {
  int64_t pos = FDec.FPos + FBlockLeft;
  FBlockLeft = 0;
  if (!FZeroBlockSeen) {
    while (pos < FDec.FSize) {
      int32_t count = FDec.FData[pos++];
      if (count == 0) break;
      pos += count;
    }
  }
  FDec.FPos = std::min(pos, FDec.FSize);
}

// Writes the Count values on the stack (top first) into the rows; false once
// every row has been filled.
bool TGIFFrameReader::EmitStack(int32_t Count) {
  const int32_t width = FFrame.Width;
  const bool transparent = FFrame.Transparent;
  const uint16_t tindex = FFrame.TransparentIndex;
  while (Count > 0) {
    if (FBufRow < 0) return false;
    int32_t n = std::min(Count, width - FX);
    uint8_t* dst = FLine + FX;
    const uint16_t* src = FStack + Count - 1;
    if (transparent) {
      for (int32_t k = 0; k < n; ++k) {
        uint16_t v = src[-k];
        dst[k] = static_cast<uint8_t>(v);
        if (v == tindex) FMaskLine[(FX + k) >> 3] |= static_cast<uint8_t>(0x80 >> ((FX + k) & 7));
      }
    } else {
      for (int32_t k = 0; k < n; ++k) dst[k] = static_cast<uint8_t>(src[-k]);
    }
    FX += n;
    Count -= n;
    if (FX == width && !NextRow()) return false;
  }
  return true;
}

// Moves to the next row in file order; false after the last one.
bool TGIFFrameReader::NextRow() {
  if (FReporting && (FRow & FProgressMask) == 0) FDec.Progress();
  FX = 0;
  ++FRow;
  int32_t next = FOrder->Next(FFrame.Height - 1 - FBufRow);
  if (next < 0) {
    FBufRow = -1;
    return false;
  }
  FBufRow = FFrame.Height - 1 - next;
  FLine = FBits + static_cast<size_t>(FBufRow) * FFrame.PixelStride();
  if (FFrame.Transparent) FMaskLine = FFrame.Mask.data() + static_cast<size_t>(FBufRow) * FFrame.MaskStride();
  return true;
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

  // The core's image-size check refuses frames over the library's cap
  // before anything is allocated.
  const int64_t pixelBytes = CheckPGImageSize(FFrame.Width, FFrame.Height, pf8Bit);
  if (!d.FDecodePixels) {
    SkipToBlockEnd();
    return true;
  }
  const int64_t maskBytes = FFrame.Transparent ? static_cast<int64_t>(FFrame.MaskStride()) * FFrame.Height : 0;
  FBits = d.FramePixels(FFrame, pixelBytes);
  if (FFrame.Transparent) FFrame.Mask.assign(static_cast<size_t>(maskBytes), 0);

  TGIFInterlaceOrder order(FFrame.Height, FFrame.Interlaced);
  FOrder = &order;
  FBufRow = FFrame.Height - 1 - order.First();
  FLine = FBits + static_cast<size_t>(FBufRow) * FFrame.PixelStride();
  if (FFrame.Transparent) FMaskLine = FFrame.Mask.data() + static_cast<size_t>(FBufRow) * FFrame.MaskStride();
  FReporting = static_cast<bool>(d.OnProgress) && static_cast<int64_t>(FFrame.Width) * FFrame.Height > 100000;
  FProgressMask = FFrame.Width <= 320 ? 63 : 31;

  auto prefix = std::make_unique<uint16_t[]>(kMaxCodes);
  auto suffix = std::make_unique<uint16_t[]>(kMaxCodes);
  auto length = std::make_unique<uint16_t[]>(kMaxCodes);  // string length of each code
  const int32_t clearCode = 1 << m;
  const int32_t endCode = clearCode + 1;
  for (int32_t i = 0; i < clearCode; ++i) {
    prefix[i] = 0;
    suffix[i] = static_cast<uint16_t>(i);
    length[i] = 1;
  }
  const bool transparent = FFrame.Transparent;
  const int32_t width = FFrame.Width;
  int32_t nextCode = clearCode + 2;
  int32_t limit = 2 * clearCode;
  FCodeSize = m + 1;
  int32_t oldCode = -1;  // -1: the next code starts the string table
  int32_t firstCode = 0;

  for (;;) {
    int32_t code = ReadCode();
    if (code < 0) break;  // data cut short: the rows not reached stay 0
    if (code == clearCode) {
      FCodeSize = m + 1;
      limit = 2 * clearCode;
      nextCode = clearCode + 2;
      oldCode = -1;
      continue;
    }
    if (code == endCode) break;
    if (oldCode < 0) {
      // The first code after a clear must be a pixel value.
      if (code > clearCode) break;
      firstCode = oldCode = code;
      FStack[0] = static_cast<uint16_t>(code);
      if (!EmitStack(1)) break;
      continue;
    }
    // A code above the next free one cannot be built from the table: the
    // data is corrupt and the frame ends here.
    if (code > nextCode) break;
    const int32_t inCode = code;
    const int32_t len = code == nextCode ? length[oldCode] + 1 : length[code];
    if (!transparent && FX + len <= width) {
      // The string fits in the current row: write it there from its end.
      uint8_t* dst = FLine + FX;
      int32_t k = len - 1;
      if (code == nextCode) {
        if (code >= kMaxCodes) break;
        dst[k--] = static_cast<uint8_t>(firstCode);
        code = oldCode;
      }
      while (code >= clearCode && k > 0) {
        dst[k--] = static_cast<uint8_t>(suffix[code]);
        code = prefix[code];
      }
      if (code >= clearCode || k != 0) break;  // inconsistent chain: corrupt
      firstCode = code;
      dst[0] = static_cast<uint8_t>(code);
      if (nextCode < kMaxCodes) {
        prefix[nextCode] = static_cast<uint16_t>(oldCode);
        suffix[nextCode] = static_cast<uint16_t>(firstCode);
        length[nextCode] = static_cast<uint16_t>(length[oldCode] + 1);
        ++nextCode;
        if (nextCode >= limit && limit < kMaxCodes) {
          limit *= 2;
          ++FCodeSize;
        }
      }
      oldCode = inCode;
      FX += len;
      if (FX == width && !NextRow()) break;
      continue;
    }
    int32_t sp = 0;
    if (code == nextCode) {  // the string being defined: old string + its first value
      if (code >= kMaxCodes) break;
      FStack[sp++] = static_cast<uint16_t>(firstCode);
      code = oldCode;
    }
    while (code >= clearCode) {
      if (sp >= kMaxCodes) break;
      FStack[sp++] = suffix[code];
      code = prefix[code];
    }
    if (code >= clearCode) break;  // a chain longer than the table: corrupt
    firstCode = suffix[code];
    FStack[sp++] = static_cast<uint16_t>(firstCode);
    if (nextCode < kMaxCodes) {
      prefix[nextCode] = static_cast<uint16_t>(oldCode);
      suffix[nextCode] = static_cast<uint16_t>(firstCode);
      length[nextCode] = static_cast<uint16_t>(length[oldCode] + 1);
      ++nextCode;
      if (nextCode >= limit && limit < kMaxCodes) {
        limit *= 2;
        ++FCodeSize;
      }
    }
    oldCode = inCode;
    if (!EmitStack(sp)) break;
  }
  SkipToBlockEnd();
  return true;
}

// ---- TGIFDecoder

TGIFDecoder::TGIFDecoder() = default;
TGIFDecoder::~TGIFDecoder() = default;

void TGIFDecoder::ClearFrames() {
  FFrames.clear();
  FLoopCount = 1;
  FKeepProcessing = true;
  FGlobalBits = 0;
  FAnyFrameInterlaced = false;
  FAnyFrameTransparent = false;
  FWidth = FHeight = 0;
  FDataStream.Clear();
}

void TGIFDecoder::CheckCanvasSize(int32_t Width, int32_t Height) { CheckPGImageSize(Width, Height, pf8Bit); }

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

  TGIFFrameReader reader(*this, Frame);
  if (!reader.Decode()) return false;

  if (Frame.Transparent) {
    Frame.TransparentRed = Frame.Palette[3 * Frame.TransparentIndex];
    Frame.TransparentGreen = Frame.Palette[3 * Frame.TransparentIndex + 1];
    Frame.TransparentBlue = Frame.Palette[3 * Frame.TransparentIndex + 2];
  }
  return true;
}

bool TGIFDecoder::ParseGIF() {
  try {
    return Parse();
  } catch (...) {
    // A failed parse still empties the parse stream.
    FParseStream.Clear();
    FData = nullptr;
    FSize = FPos = 0;
    throw;
  }
}

bool TGIFDecoder::Parse() {
  FStatus = 3;
  FFailure = gfNone;
  ClearFrames();
  FColorDepth = 0;
  FGraphicControl.fill(0);

  FDataStream.Clear();
  FDataStream.Bytes() = FParseStream.Bytes();
  if (FParseStream.Size() == 0) {
    FStatus = 2;
    FFailure = gfNoData;
    return false;
  }
  FData = FParseStream.Memory();
  FSize = FParseStream.Size();
  FPos = 0;
  auto fail = [this] {
    FParseStream.Clear();
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
  FParseStream.Clear();
  FData = nullptr;
  FSize = FPos = 0;
  FStatus = 0;
  return true;
}
