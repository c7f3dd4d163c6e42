// The GIF LZW compressor: 12-bit codes, an open-addressing dictionary of 5119
// slots with the secondary probe 5119 - i, LSB-first bit packing into
// sub-blocks of up to 255 bytes.
#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>

#include "gif/gif_encoder.h"
#include "platform/base/numeric.h"

namespace {

constexpr int32_t kHashSlots = 5119;
constexpr int32_t kMaxCode = 4096;

// Collects the packed bytes of the image data and writes them to the stream
// in sub-blocks: every 255 bytes a full block; at the end the rest as the
// last block (1 to 255 bytes) and the terminating 0x00. Writes go out in
// large pieces.
class TLZWOutput {
public:
  explicit TLZWOutput(TStream& Stream) : FStream(Stream) {}

  // Room for Count more bytes at Data() + Used(), draining full blocks first.
  uint8_t* Room(size_t Count) {
    if (FUsed + Count > sizeof(FData)) Drain(false);
    return FData + FUsed;
  }
  void Commit(size_t Count) { FUsed += Count; }
  // The coding loop writes at a cursor of its own: where the bytes held end,
  // the last place it may start a code at (two codes of eight bytes fit
  // after it), and giving the cursor back.
  uint8_t* Cursor() { return FData + FUsed; }
  const uint8_t* Limit() const { return FData + sizeof(FData) - 16; }
  void SetCursor(const uint8_t* To) { FUsed = static_cast<size_t>(To - FData); }
  // Writes the full blocks held, and with Final the rest and the 0x00.
  void Drain(bool Final) {
    size_t at = 0, staged = 0;
    while (FUsed - at >= 255 || (Final && at < FUsed)) {
      const size_t n = std::min<size_t>(FUsed - at, 255);
      if (staged + n + 1 > sizeof(FBlocks)) {
        FStream.Write(FBlocks, static_cast<int64_t>(staged));
        staged = 0;
      }
      FBlocks[staged] = static_cast<uint8_t>(n);
      std::memcpy(FBlocks + staged + 1, FData + at, n);
      staged += n + 1;
      at += n;
    }
    if (Final) FBlocks[staged++] = 0;
    if (staged) FStream.Write(FBlocks, static_cast<int64_t>(staged));
    std::memmove(FData, FData + at, FUsed - at);
    FUsed -= at;
  }

private:
  TStream& FStream;
  uint8_t FData[65280];        // 256 blocks' worth of data bytes
  uint8_t FBlocks[65280 + 257];  // the same with their count bytes
  size_t FUsed = 0;
};

// A dictionary slot holds the string's key, (pixel << 12) + prefix code (20
// bits), above its code (12 bits), so one load both tests and answers a
// lookup. All ones marks an empty slot: no string is ever stored under key
// 0xFFFFF, whose prefix 4095 is the last code and so never gets a follower.
constexpr uint32_t kEmptySlot = 0xFFFFFFFFu;

// The code output: codes packed LSB first at the current code width, which
// grows as the dictionary fills and returns to MinCodeSize + 1 after a
// clear. Its fields are copied into locals by the pixel loop.
struct TLZWCoder {
  TLZWOutput& Out;
  int32_t MinCodeSize;
  int32_t ClearCode;
  int32_t EndCode;
  int32_t FreeCode;
  int32_t CodeWidth;
  int32_t LargestCode;
  uint64_t Acc = 0;
  int32_t AccBits = 0;

  // Packs Code at Width after the bits pending (fewer than 8): at most 7 +
  // 12 bits, stored as a whole word, the pointer moved past the full bytes,
  // with no loop to mispredict. To needs 8 bytes of room, all of which may
  // be written.
  static void PutBits(uint32_t Code, int32_t Width, uint64_t& Acc, int32_t& AccBits, uint8_t*& To) {
    Acc |= static_cast<uint64_t>(Code) << AccBits;
    AccBits += Width;
    std::memcpy(To, &Acc, sizeof Acc);  // little-endian: the low byte first
    const int32_t whole = AccBits >> 3;
    To += whole;
    Acc >>= 8 * whole;
    AccBits &= 7;
  }
  // The width grows once the next free code needs it; 12 bits at most.
  static void Widen(int32_t FreeCode, int32_t& Width, int32_t& Largest) {
    if (FreeCode > Largest) {
      ++Width;
      Largest = Width == 12 ? kMaxCode : (1 << Width) - 1;
    }
  }

  // One code outside the pixel loop: the first clear, the last string and
  // the end code, after which the last bits go out as a byte of their own.
  void Emit(int32_t Code) {
    uint8_t* to = Out.Room(16);
    uint8_t* const from = to;
    PutBits(static_cast<uint32_t>(Code), CodeWidth, Acc, AccBits, to);
    Widen(FreeCode, CodeWidth, LargestCode);
    if (Code == EndCode && AccBits > 0) {
      *to++ = static_cast<uint8_t>(Acc);
      Acc = 0;
      AccBits = 0;
    }
    Out.Commit(static_cast<size_t>(to - from));
  }
};

// The dictionary search and code output over a frame's pixels, fed in runs
// (the whole index buffer at once, or one image row at a time).
class TLZWCompressor {
public:
  TLZWCompressor(TStream& Stream, int32_t MinCodeSize, int64_t Count, int32_t FrameWidth, int32_t FrameNumber,
                 int32_t FrameCount)
      : FOut(std::make_unique<TLZWOutput>(Stream)),
        FCoder{*FOut, MinCodeSize, 1 << MinCodeSize, (1 << MinCodeSize) + 1, (1 << MinCodeSize) + 2,
               MinCodeSize + 1, (1 << (MinCodeSize + 1)) - 1},
        FSlots(std::make_unique<uint32_t[]>(kHashSlots + 1)),
        FCount(Count),
        FReporting(GIFWriteProgress && Count > 100000),
        FMask(FrameWidth > 320 ? 255 : 127),
        FFrameNumber(FrameNumber),
        FFrameCount(FrameCount) {
    const uint8_t codeSizeByte = static_cast<uint8_t>(MinCodeSize);
    Stream.Write(&codeSizeByte, 1);
    std::memset(FSlots.get(), 0xFF, sizeof(uint32_t) * (kHashSlots + 1));
    FCoder.Emit(FCoder.ClearCode);
  }

  // Codes the next N pixels, each Map[P[i]] (P[i] itself without a map);
  // a map entry above 255 is asked of Place and kept.
  template <bool Mapped>
  void Feed(const uint8_t* P, int64_t N, uint16_t* Map, const std::function<uint8_t(uint8_t)>* Place) {
    for (int64_t at = 0; at < N;) {
      // The coding loop stops at a pixel whose place is not known yet and
      // leaves it to this one, so that it calls nothing itself.
      if (Mapped && Map[P[at]] > 255) Map[P[at]] = Place && *Place ? (*Place)(P[at]) : 0;
      at = FReporting ? FeedPixels<Mapped, true>(P, at, N, Map) : FeedPixels<Mapped, false>(P, at, N, Map);
    }
  }

  // The last string, the end code and the 0x00 that ends the image data. An
  // empty frame codes nothing between the clear and the end code.
  void Finish() {
    if (FRead > 0) FCoder.Emit(FPrefix);
    FCoder.Emit(FCoder.EndCode);
    FOut->Drain(true);
  }

private:
  // Codes pixels From to N - 1 of the run at P, whose pixel From is known;
  // returns N, or the first pixel whose map entry is not known yet. Not
  // inlined, so that its registers are allocated for the loop alone; and the
  // loop keeps few values, so that they stay in registers: the pixels by a
  // pointer, the output by a cursor checked against a limit, what only a
  // clear of the dictionary needs in the coder's fields.
  template <bool Mapped, bool Reporting>
  [[gnu::noinline]] int64_t FeedPixels(const uint8_t* P, int64_t From, int64_t N, const uint16_t* Map) {
    auto pixel = [Map](const uint8_t* At) -> uint32_t { return Mapped ? Map[*At] : *At; };
    const int64_t read = FRead - From;  // pixel i of the run is pixel read + i of the frame
    const uint8_t* at = P + From;
    const uint8_t* const last = P + N - 1;
    if (FRead == 0) FPrefix = static_cast<int32_t>(pixel(at++));
    uint32_t prefix = static_cast<uint32_t>(FPrefix);
    uint32_t* const slots = FSlots.get();
    TLZWCoder& coder = FCoder;
    uint64_t acc = coder.Acc;
    int32_t accBits = coder.AccBits, width = coder.CodeWidth, largest = coder.LargestCode;
    int32_t freeCode = coder.FreeCode;
    TLZWOutput& out = *FOut;
    uint8_t* to = out.Cursor();
    // Pixels are read two turns ahead, before the branches of this one: a
    // mispredicted branch, which every new string costs, then does not throw
    // the reads away and wait for them again.
    uint32_t next = at <= last ? pixel(at) : 0, after = at < last ? pixel(at + 1) : 0;
    for (; at <= last && next <= 255; ++at) {
      if (Reporting) Report(read + (at - P));
      const uint32_t c = next;
      next = after;
      after = pixel(at + 2 <= last ? at + 2 : last);
      const uint32_t key = c << 12 | prefix;
      uint32_t slot = c << 4 ^ prefix;
      uint32_t e = slots[slot];
      // Most pixels extend a string the dictionary holds at its first slot.
      if ((e >> 12) == key) {
        prefix = e & 0xFFF;
        continue;
      }
      if (e != kEmptySlot) {
        // Secondary probe. A slot holding key 0 ends the probing like an
        // empty one, and a new string then takes that slot: the probe goes
        // on only over keys 1 to 0xFFFFE.
        const uint32_t step = slot == 0 ? 1 : kHashSlots - slot;
        do {
          slot = slot >= step ? slot - step : slot + kHashSlots - step;
          e = slots[slot];
        } while ((e >> 12) != key && (e >> 12) - 1u < 0xFFFFEu);
        if ((e >> 12) == key) {
          prefix = e & 0xFFF;
          continue;
        }
      }
      if (__builtin_expect(to > out.Limit(), 0)) {
        out.SetCursor(to);
        out.Drain(false);
        to = out.Cursor();
      }
      TLZWCoder::PutBits(prefix, width, acc, accBits, to);
      prefix = c;
      if (__builtin_expect(freeCode < kMaxCode, 1)) {
        TLZWCoder::Widen(freeCode, width, largest);
        slots[slot] = key << 12 | static_cast<uint32_t>(freeCode++);
      } else {
        // The dictionary is full (at 12 bits, so the width stays): a clear
        // code, then the first width again and an empty dictionary.
        std::memset(slots, 0xFF, sizeof(uint32_t) * (kHashSlots + 1));
        freeCode = coder.ClearCode + 2;
        TLZWCoder::PutBits(static_cast<uint32_t>(coder.ClearCode), width, acc, accBits, to);
        width = coder.MinCodeSize + 1;
        largest = (1 << width) - 1;
      }
    }
    out.SetCursor(to);
    coder.Acc = acc;
    coder.AccBits = accBits;
    coder.CodeWidth = width;
    coder.LargestCode = largest;
    coder.FreeCode = freeCode;
    FPrefix = static_cast<int32_t>(prefix);
    FRead = read + (at - P);
    return at - P;
  }

  // Progress before pixel P (counted from 0) is read.
  void Report(int64_t P) {
    const int64_t v = FCount - P;  // pixels still to be read, this one included
    if ((v & FMask) != 0) return;
    long double percent =
        ((100.0L - static_cast<long double>(v) * 100.0L / static_cast<long double>(FCount - 1)) +
         (FFrameNumber - 1) * 100.0L) /
        FFrameCount;
    int32_t pc = static_cast<int32_t>(Round(percent));
    bool keep = true;
    GIFWriteProgress(nullptr, pc, 100, pc, keep);
  }

  std::unique_ptr<TLZWOutput> FOut;
  TLZWCoder FCoder;
  std::unique_ptr<uint32_t[]> FSlots;
  int64_t FCount;
  bool FReporting;
  int64_t FMask;
  int32_t FFrameNumber;
  int32_t FFrameCount;
  int64_t FRead = 0;
  int32_t FPrefix = 0;
};

// The minimum code size for ColorCount palette entries, 0 when they cannot
// be coded (GIFWriteStatus is then 2).
int32_t MinCodeSizeFor(int32_t ColorCount) {
  const int32_t bits = GIFBitsPerPixel(ColorCount);
  if (bits == 0) GIFWriteStatus = 2;
  return bits == 1 ? 2 : bits;
}

}  // namespace

void CompressGIFLZW(TGIFWriteState& State) {
  int32_t f = State.CurrentFrame - 1;
  const TGIFIndexBuffer& indices = State.Indices[f];
  CompressGIFLZW(*State.Stream, indices.data(), static_cast<int64_t>(indices.size()), State.ColorCount,
                 State.FrameWidth[f], State.CurrentFrame, State.FrameCount);
}

void CompressGIFLZW(TStream& Stream, const uint8_t* Indices, int64_t Count, int32_t ColorCount,
                    int32_t FrameWidth, int32_t FrameNumber, int32_t FrameCount) {
  const int32_t m = MinCodeSizeFor(ColorCount);
  if (m == 0) return;
  TLZWCompressor lzw(Stream, m, Count, FrameWidth, FrameNumber, FrameCount);
  lzw.Feed<false>(Indices, Count, nullptr, nullptr);
  lzw.Finish();
}

void CompressGIFLZW(TStream& Stream, int32_t Width, int32_t Height, bool Interlaced,
                    const std::function<const uint8_t*(int32_t)>& Row, uint16_t* Map, int32_t ColorCount,
                    const std::function<uint8_t(uint8_t)>& Place) {
  const int32_t m = MinCodeSizeFor(ColorCount);
  if (m == 0) return;
  const int64_t count = Width > 0 && Height > 0 ? static_cast<int64_t>(Width) * Height : 0;
  TLZWCompressor lzw(Stream, m, count, Width, 1, 1);
  if (count > 0) {
    TGIFInterlaceOrder order(Height, Interlaced);
    for (int32_t y = order.First(); y >= 0; y = order.Next(y)) {
      lzw.Feed<true>(Row(y), Width, Map, &Place);
    }
  }
  lzw.Finish();
}
