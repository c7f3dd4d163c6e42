// Packed-DIB decoding: headers, bit fields, colour tables, uncompressed and
// run-length coded rows. Every size is checked against the bytes at hand
// before it is used, in 64-bit arithmetic.
#include "platform/gdi/dib_reader.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/gdi/internal.h"
#include "platform/gdi/surface.h"

namespace {

uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// The largest width or height taken; the pixel memory has its own limit.
constexpr int64_t kMaxSide = 65535 * 4;

// One colour channel of a 16- or 32-bit pixel; its mask must be one run of
// bits. The channel is moved so that its top bit lands on bit 7 (a wider
// one keeps its top 8 bits); a 16-bit pixel's channel that is not 0 then
// gets the lowest bit of the moved mask added, so that a full channel
// reads 255 (5 bits: 31 gives 248 + 8, kept at 255), as the full edition's
// codec widens it.
struct TChannel {
  uint32_t Mask = 0;
  int32_t Shift = 0;  // to the left when positive
  uint32_t Fill = 0;

  bool Set(uint32_t M, bool Widen) {
    if (M == 0) return false;
    Mask = M;
    Shift = 0;
    while (!(M & 1)) {
      M >>= 1;
      --Shift;
    }
    if ((M & (M + 1)) != 0) return false;  // holes in the mask
    while (M > 0xFF) {
      M >>= 1;
      --Shift;
    }
    while (!(M & 0x80)) {
      M <<= 1;
      ++Shift;
    }
    Fill = Widen ? (M & (~M + 1)) : 0;
    return true;
  }
  uint8_t Get(uint32_t Pixel) const {
    const uint32_t m = Pixel & Mask;
    if (m == 0) return 0;
    const uint32_t v = (Shift >= 0 ? m << Shift : m >> -Shift) + Fill;
    return static_cast<uint8_t>(v > 255 ? 255 : v);
  }
};

struct THeader {
  uint32_t Size = 0;
  int64_t Width = 0;
  int64_t Height = 0;
  bool TopDown = false;
  uint32_t Bits = 0;
  uint32_t Compression = BI_RGB;
  uint32_t ImageBytes = 0;
  uint32_t Used = 0;
  int32_t XPelsPerMeter = 0;
  int32_t YPelsPerMeter = 0;
  size_t Entry = 4;  // bytes per colour-table entry
};

bool ReadHeader(const uint8_t* Data, size_t Size, THeader& H) {
  if (Size < 4) return false;
  H.Size = Le32(Data);
  if (H.Size == 12) {
    if (Size < 12 || Le16(Data + 8) != 1) return false;
    H.Width = Le16(Data + 4);
    H.Height = Le16(Data + 6);
    H.Bits = Le16(Data + 10);
    H.Entry = 3;
    return H.Bits == 1 || H.Bits == 4 || H.Bits == 8 || H.Bits == 24;
  }
  // The info header and its two later, longer forms; no other size is read.
  if ((H.Size != 40 && H.Size != 108 && H.Size != 124) || Size < H.Size) return false;
  if (Le16(Data + 12) != 1) return false;
  H.Width = static_cast<int32_t>(Le32(Data + 4));
  H.Height = static_cast<int32_t>(Le32(Data + 8));
  H.TopDown = H.Height < 0;
  if (H.TopDown) H.Height = -H.Height;
  H.Bits = Le16(Data + 14);
  H.Compression = Le32(Data + 16);
  H.ImageBytes = Le32(Data + 20);
  H.XPelsPerMeter = static_cast<int32_t>(Le32(Data + 24));
  H.YPelsPerMeter = static_cast<int32_t>(Le32(Data + 28));
  H.Used = Le32(Data + 32);
  switch (H.Compression) {
    case BI_RGB:
      return H.Bits == 1 || H.Bits == 4 || H.Bits == 8 || H.Bits == 16 || H.Bits == 24 || H.Bits == 32;
    case BI_RLE8: return H.Bits == 8 && !H.TopDown;
    case BI_RLE4: return H.Bits == 4 && !H.TopDown;
    case BI_BITFIELDS: return H.Bits == 16 || H.Bits == 32;
    default: return false;
  }
}

// Run-length coded rows (RLE8, or RLE4 with two pixels a byte) into an 8- or
// 4-bit section that starts at index 0 (new memory), bottom-up. Pixels right
// of the width are dropped; decoding ends at the end-of-bitmap code, past
// the top row, or where the data ends. Returns the bytes taken; Complete
// tells whether the data reached the end of the picture (or its end code).
size_t DecodeRLE(GdiBitmap& B, const uint8_t* Src, size_t Size, bool Rle4, bool& Complete) {
  int64_t x = 0, y = 0;  // y counts rows from the bottom
  uint8_t* row = B.Height > 0 ? B.Row(B.Height - 1) : nullptr;
  auto put = [&](uint8_t V) {
    if (x < B.Width) {
      if (!Rle4) row[x] = V;
      else if (x & 1) row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0xF0) | V);
      else row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0x0F) | (V << 4));
    }
    ++x;
  };
  auto moveTo = [&](int64_t NewY) {
    y = NewY;
    if (y < B.Height) row = B.Row(static_cast<int32_t>(B.Height - 1 - y));
  };
  size_t pos = 0;
  bool endCode = false;
  while (pos + 2 <= Size && y < B.Height) {
    const uint8_t count = Src[pos], value = Src[pos + 1];
    pos += 2;
    if (count > 0) {
      for (int32_t i = 0; i < count && x < B.Width; ++i)
        put(Rle4 ? static_cast<uint8_t>((i & 1) ? value & 0x0F : value >> 4) : value);
    } else if (value == 0) {  // end of line
      x = 0;
      moveTo(y + 1);
    } else if (value == 1) {  // end of bitmap
      endCode = true;
      break;
    } else if (value == 2) {  // move right and up
      if (pos + 2 > Size) break;
      x += Src[pos];
      const int64_t up = Src[pos + 1];
      pos += 2;
      if (up > 0) moveTo(y + up);
    } else {  // a literal run, padded to a 16-bit boundary; only the pixels whose bytes are there
      const size_t bytes = Rle4 ? (value + 1u) / 2 : value;
      const size_t there = bytes < Size - pos ? bytes : Size - pos;
      const int32_t count = static_cast<int32_t>(Rle4 ? std::min<size_t>(value, 2 * there) : there);
      for (int32_t i = 0; i < count && x < B.Width; ++i) {
        const uint8_t b = Src[pos + (Rle4 ? i / 2 : i)];
        put(Rle4 ? static_cast<uint8_t>((i & 1) ? b & 0x0F : b >> 4) : b);
      }
      pos += bytes + (bytes & 1);
    }
  }
  Complete = endCode || y >= B.Height || (y == B.Height - 1 && x >= B.Width);
  return pos < Size ? pos : Size;
}

// The bitmap of BitmapFromPackedDIB; Fault says why, where nothing is made.
HBITMAP Decode(const uint8_t* Data, size_t Size, size_t BitsOffset, size_t& Used, TDIBFault& Fault) {
  THeader h;
  Fault = dfInvalid;
  if (!Data || !ReadHeader(Data, Size, h)) return nullptr;
  if (h.Width <= 0 || h.Height <= 0 || h.Width > kMaxSide || h.Height > kMaxSide) return nullptr;
  // The new section: 16 bits become 24; bit fields of 32 bits stay 32.
  const int32_t outBits = h.Bits == 16 ? 24 : static_cast<int32_t>(h.Bits);
  if (DIBBytesPerLine(h.Width, outBits) * h.Height > ImageBytesCap()) {
    Fault = dfTooLarge;
    return nullptr;
  }

  // Bit fields: three masks after a 40-byte header, inside the longer ones.
  const bool fields = h.Compression == BI_BITFIELDS;
  size_t pos = h.Size;
  uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
  if (h.Bits == 32) {
    masks[0] = 0xFF0000;
    masks[1] = 0xFF00;
    masks[2] = 0xFF;
  }
  if (fields) {
    if (Size < 52) return nullptr;
    for (int k = 0; k < 3; ++k) masks[k] = Le32(Data + 40 + 4 * k);
    if (h.Size == 40) pos = 52;
  }
  TChannel channels[3];
  if (h.Bits == 16 || fields)
    for (int k = 0; k < 3; ++k)
      if (!channels[k].Set(masks[k], h.Bits == 16)) return nullptr;
  const size_t tablePos = pos;

  // The colour table: all the entries of a palette format unless fewer are
  // used; true-colour formats may carry an optional one, skipped.
  uint32_t colors = 0;
  if (h.Bits <= 8) {
    const uint32_t max = 1u << h.Bits;
    if (h.Used > max) return nullptr;
    colors = h.Used == 0 ? max : h.Used;
  }
  const uint64_t tableBytes = h.Bits <= 8 ? uint64_t(colors) * h.Entry : uint64_t(h.Used) * 4;
  Fault = dfTruncated;
  if (h.Bits <= 8 && tablePos + tableBytes > Size) return nullptr;
  // Rows start where the file says, unless that lies inside the header,
  // masks or colour table; else right after the table.
  uint64_t bitsPos = tablePos + tableBytes;
  if (BitsOffset > bitsPos) bitsPos = BitsOffset;
  if (bitsPos > Size) return nullptr;

  const bool rle = h.Compression == BI_RLE8 || h.Compression == BI_RLE4;
  const int64_t stride = DIBBytesPerLine(h.Width, h.Bits);
  if (!rle && stride * h.Height > static_cast<int64_t>(Size - bitsPos)) return nullptr;
  Fault = dfInvalid;

  TBitmapInfo256 bi{};
  bi.bmiHeader.biWidth = static_cast<int32_t>(h.Width);
  bi.bmiHeader.biHeight = static_cast<int32_t>(h.Height);
  bi.bmiHeader.biBitCount = static_cast<uint16_t>(outBits);
  bi.bmiHeader.biClrUsed = colors;
  for (uint32_t i = 0; i < colors; ++i) {
    const uint8_t* e = Data + tablePos + i * h.Entry;
    bi.bmiColors[i] = RGBQUAD{e[0], e[1], e[2], 0};
  }
  void* px = nullptr;
  HBITMAP hb = CreateDIBSection(nullptr, bi.Info(), DIB_RGB_COLORS, &px, nullptr, 0);
  if (!hb) return nullptr;
  auto* b = static_cast<GdiBitmap*>(hb);
  b->XPelsPerMeter = h.XPelsPerMeter;
  b->YPelsPerMeter = h.YPelsPerMeter;

  const uint8_t* src = Data + bitsPos;
  if (rle) {
    const size_t present = Size - static_cast<size_t>(bitsPos);
    const size_t avail = h.ImageBytes != 0 && h.ImageBytes < present ? h.ImageBytes : present;
    bool complete = false;
    Used = static_cast<size_t>(bitsPos) + DecodeRLE(*b, src, avail, h.Compression == BI_RLE4, complete);
    // Data that stops short where the file itself was cut (or says nothing
    // of its length) is a damaged file, not a picture with blank rows.
    if (!complete && (h.ImageBytes == 0 || h.ImageBytes > present)) {
      DeleteObject(hb);
      Fault = dfTruncated;
      return nullptr;
    }
    return hb;
  }
  Used = static_cast<size_t>(bitsPos + stride * h.Height);
  for (int64_t r = 0; r < h.Height; ++r) {
    const uint8_t* in = src + r * stride;
    const int32_t y = static_cast<int32_t>(h.TopDown ? r : h.Height - 1 - r);
    uint8_t* out = b->Row(y);
    if (h.Bits != 16 && !fields) {
      std::memcpy(out, in, static_cast<size_t>(stride < b->Stride ? stride : b->Stride));
      continue;
    }
    const int32_t step = outBits / 8;
    for (int64_t x = 0; x < h.Width; ++x, out += step) {
      const uint32_t p = h.Bits == 16 ? Le16(in + x * 2) : Le32(in + x * 4);
      out[0] = channels[2].Get(p);
      out[1] = channels[1].Get(p);
      out[2] = channels[0].Get(p);
      if (step == 4) out[3] = 0;
    }
  }
  return hb;
}

}  // namespace

HBITMAP BitmapFromPackedDIB(const uint8_t* Data, size_t Size, size_t BitsOffset, size_t* Used, TDIBFault* Fault) {
  size_t used = 0;
  HBITMAP hb = nullptr;
  TDIBFault fault = dfInvalid;
  try {
    hb = Decode(Data, Size, BitsOffset, used, fault);
  } catch (const std::bad_alloc&) {
    hb = nullptr;
  }
  if (Used) *Used = hb ? used : 0;
  if (Fault) *Fault = hb ? dfNone : fault;
  return hb;
}
