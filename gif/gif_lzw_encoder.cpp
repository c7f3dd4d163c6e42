// The GIF LZW compressor: 12-bit codes, an open-addressing dictionary of 5119
// slots with the secondary probe 5119 - i, LSB-first bit packing into
// sub-blocks of up to 255 bytes.
#include <cstring>
#include <memory>

#include "gif/gif_encoder.h"
#include "platform/base/numeric.h"

namespace {

constexpr int32_t kHashSlots = 5119;
constexpr int32_t kMaxCode = 4096;

// Packs codes into bytes and bytes into sub-blocks, buffering the stream
// writes in large pieces.
class TLZWOutput {
public:
  explicit TLZWOutput(TStream& Stream) : FStream(Stream) {}
  ~TLZWOutput() = default;

  void Put(uint8_t b) {
    if (FBlockCount == 255) FlushBlock();
    FBlock[1 + FBlockCount++] = b;
  }
  // Writes the pending sub-block (a lone 0x00 when it is empty).
  void FlushBlock() {
    FBlock[0] = static_cast<uint8_t>(FBlockCount);
    size_t n = static_cast<size_t>(FBlockCount) + 1;
    if (FUsed + n > sizeof(FBuffer)) FlushStream();
    std::memcpy(FBuffer + FUsed, FBlock, n);
    FUsed += n;
    FBlockCount = 0;
  }
  void FlushStream() {
    if (FUsed) FStream.Write(FBuffer, static_cast<int64_t>(FUsed));
    FUsed = 0;
  }

private:
  TStream& FStream;
  uint8_t FBlock[256];
  int32_t FBlockCount = 0;
  uint8_t FBuffer[65536];
  size_t FUsed = 0;
};

struct TLZWCoder {
  TLZWOutput& Out;
  int32_t MinCodeSize;
  int32_t ClearCode;
  int32_t EndCode;
  int32_t FreeCode;
  int32_t CodeWidth;
  int32_t LargestCode;
  bool ClearPending = false;
  uint32_t Acc = 0;
  int32_t AccBits = 0;

  void Emit(int32_t Code) {
    Acc &= (1u << AccBits) - 1u;
    if (AccBits > 0)
      Acc |= static_cast<uint32_t>(Code) << AccBits;
    else
      Acc = static_cast<uint32_t>(Code);
    AccBits += CodeWidth;
    while (AccBits >= 8) {
      Out.Put(static_cast<uint8_t>(Acc));
      Acc >>= 8;
      AccBits -= 8;
    }
    if (ClearPending) {
      CodeWidth = MinCodeSize + 1;
      LargestCode = (1 << CodeWidth) - 1;
      ClearPending = false;
    } else if (FreeCode > LargestCode) {
      ++CodeWidth;
      LargestCode = CodeWidth == 12 ? kMaxCode : (1 << CodeWidth) - 1;
    }
    if (Code == EndCode) {
      while (AccBits > 0) {
        Out.Put(static_cast<uint8_t>(Acc));
        Acc >>= 8;
        AccBits -= 8;
      }
      Out.FlushBlock();
    }
  }
};

}  // namespace

void CompressGIFLZW(TGIFWriteState& State) {
  int32_t f = State.CurrentFrame - 1;
  const std::vector<uint8_t>& indices = State.Indices[f];
  CompressGIFLZW(*State.Stream, indices.data(), static_cast<int64_t>(indices.size()), State.ColorCount,
                 State.FrameWidth[f], State.CurrentFrame, State.FrameCount);
}

void CompressGIFLZW(TStream& Stream, const uint8_t* Indices, int64_t Count, int32_t ColorCount,
                    int32_t FrameWidth, int32_t FrameNumber, int32_t FrameCount) {
  int32_t bits = GIFBitsPerPixel(ColorCount);
  if (bits == 0) {
    GIFWriteStatus = 2;
    return;
  }
  auto out = std::make_unique<TLZWOutput>(Stream);
  int32_t m = bits == 1 ? 2 : bits;
  uint8_t codeSizeByte = static_cast<uint8_t>(m);
  Stream.Write(&codeSizeByte, 1);

  TLZWCoder coder{*out, m, 1 << m, (1 << m) + 1, (1 << m) + 2, m + 1, (1 << (m + 1)) - 1};
  const int32_t clearCode = coder.ClearCode;

  // Keys are (pixel << 12) + prefix, -1 for an empty slot.
  auto keys = std::make_unique<int32_t[]>(kHashSlots + 1);
  auto codes = std::make_unique<uint16_t[]>(kHashSlots + 1);
  std::memset(keys.get(), 0xFF, sizeof(int32_t) * (kHashSlots + 1));
  coder.Emit(clearCode);

  if (Count > 0) {
    const bool reporting = GIFWriteProgress && Count > 100000;
    const int64_t mask = FrameWidth > 320 ? 255 : 127;
    int32_t prefix = Indices[0];
    for (int64_t p = 1; p < Count; ++p) {
      if (reporting) {
        int64_t v = Count - p;  // pixels still to be read, this one included
        if ((v & mask) == 0) {
          long double percent =
              ((100.0L - static_cast<long double>(v) * 100.0L / static_cast<long double>(Count - 1)) +
               (FrameNumber - 1) * 100.0L) /
              FrameCount;
          int32_t pc = static_cast<int32_t>(Round(percent));
          bool keep = true;
          GIFWriteProgress(nullptr, pc, 100, pc, keep);
        }
      }
      int32_t c = Indices[p];
      int32_t key = (c << 12) + prefix;
      int32_t i = (c << 4) ^ prefix;
      int32_t k = keys[i];
      if (k == key) {
        prefix = codes[i];
        continue;
      }
      if (k >= 0) {
        // Secondary probe. A slot holding key 0 ends the probing like an
        // empty one, and a new string then takes that slot.
        int32_t step = i == 0 ? 1 : kHashSlots - i;
        bool found = false;
        do {
          i -= step;
          if (i < 0) i += kHashSlots;
          k = keys[i];
          if (k == key) {
            found = true;
            break;
          }
        } while (k > 0);
        if (found) {
          prefix = codes[i];
          continue;
        }
      }
      coder.Emit(prefix);
      prefix = c;
      if (coder.FreeCode < kMaxCode) {
        codes[i] = static_cast<uint16_t>(coder.FreeCode++);
        keys[i] = key;
      } else {
        std::memset(keys.get(), 0xFF, sizeof(int32_t) * (kHashSlots + 1));
        coder.FreeCode = clearCode + 2;
        coder.ClearPending = true;
        coder.Emit(clearCode);
      }
    }
    coder.Emit(prefix);
  }
  // An empty frame codes nothing between the clear and the end code.
  coder.Emit(coder.EndCode);
  out->FlushBlock();  // the 0x00 that ends the image data
  out->FlushStream();
}
