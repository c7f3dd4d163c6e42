// The GIF89a writer: palette building, headers, colour tables, graphic
// control and comment extensions around the LZW image data.
#include "gif/gif_encoder.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/base/exception.h"

uint8_t GIFWriteStatus = 0;
TProgressEvent GIFWriteProgress;
std::string GIFComment;
int32_t GIFColorCount = 0;

// Maps 24-bit colours to palette indices in a small open-addressing table;
// the palette keeps first-appearance order, this only speeds up the search.
class TGIFColorLookup {
public:
  // Holds the entries of State's palette, and nothing else.
  explicit TGIFColorLookup(const TGIFWriteState& State) {
    std::memset(FKeys, 0, sizeof(FKeys));
    for (int32_t i = 0; i < State.ColorCount; ++i) {
      const uint8_t* p = &State.Palette[3 * i];
      FindOrAdd(p[0] | (p[1] << 8) | (p[2] << 16), i);
    }
  }
  // Returns the index of Color, or -1 after reserving its slot for Index.
  int32_t FindOrAdd(uint32_t Color, int32_t Index) {
    uint32_t key = Color | 0x1000000u;  // 0 marks an empty slot
    uint32_t slot = (key * 0x9E3779B1u) >> (32 - kBits);
    for (;;) {
      if (FKeys[slot] == key) return FIndex[slot];
      if (FKeys[slot] == 0) {
        FKeys[slot] = key;
        FIndex[slot] = static_cast<uint16_t>(Index);
        return -1;
      }
      slot = (slot + 1) & (kSlots - 1);
    }
  }

private:
  static constexpr int kBits = 11;
  static constexpr uint32_t kSlots = 1u << kBits;  // far more than 257 entries
  uint32_t FKeys[kSlots];
  uint16_t FIndex[kSlots];
};

namespace {

std::string ApplicationTitle = "Quillon";

const char* const kMakerNotice = "Quillon imaging library by Marrowick";
const char* const kMakerAddress = "https://www.marrowick.example/";

// The palette entry of Color (0x00BBGGRR), -1 when there is none.
int32_t PaletteIndexOf(const TGIFWriteState& State, TColor Color) {
  const uint8_t r = Color & 0xFF, g = (Color >> 8) & 0xFF, b = (Color >> 16) & 0xFF;
  for (int32_t i = 0; i < State.ColorCount; ++i) {
    const uint8_t* p = &State.Palette[3 * i];
    if (p[0] == r && p[1] == g && p[2] == b) return i;
  }
  return -1;
}

void SetTransparentIndex(TGIFWriteState& State, int32_t Frame, int32_t Index) {
  State.TransparentIndex[Frame] = static_cast<uint8_t>(Index);
  State.HasTransparentIndex[Frame] = true;
}

}  // namespace

void InitializeGIFEncoder() {
  GIFWriteStatus = 0;
  GIFWriteProgress = nullptr;
}

void FinalizeGIFEncoder() {
  GIFComment.clear();
  GIFComment.shrink_to_fit();
}

void SetGIFApplicationTitle(const std::string& Title) { ApplicationTitle = Title; }
const std::string& GIFApplicationTitle() { return ApplicationTitle; }

std::string GIFClosingComment() {
  return "Created by " + ApplicationTitle + "\r\n" + kMakerNotice + "\r\n" + kMakerAddress;
}

int32_t GIFBitsPerPixel(int32_t Count) {
  if (Count < 0 || Count > 256) return 0;
  if (Count <= 2) return 1;
  int32_t bits = 1;
  while ((1 << bits) < Count) ++bits;
  return bits;
}

bool ConvertRowsToGIFIndices(TGIFWriteState& State, int32_t Width, int32_t Height,
                             const std::function<const uint8_t*(int32_t)>& ScanLine, bool Interlaced,
                             bool Transparent, TColor TransparentColor) {
  GIFWriteStatus = 6;
  const int32_t f = State.CurrentFrame - 1;
  // Each conversion looks for the frame's transparent index afresh: a frame
  // converted again into a local palette must not keep the global one's.
  State.HasTransparentIndex[f] = false;
  State.TransparentIndex[f] = 0xFF;

  auto lookup = std::make_unique<TGIFColorLookup>(State);

  uint8_t* dst = State.Indices[f].data();
  uint32_t lastColor = 0xFFFFFFFFu;
  uint8_t lastIndex = 0;
  TGIFInterlaceOrder order(Height, Interlaced);
  for (int32_t y = Width > 0 && Height > 0 ? order.First() : -1; y >= 0; y = order.Next(y)) {
    const uint8_t* src = ScanLine(y);
    for (int32_t x = 0; x < Width; ++x, src += 3) {
      uint32_t color = src[2] | (src[1] << 8) | (src[0] << 16);
      if (color != lastColor) {
        int32_t index = lookup->FindOrAdd(color, State.ColorCount);
        if (index < 0) {
          index = State.ColorCount++;
          if (State.ColorCount > 256) {
            GIFWriteStatus = 4;
            return false;
          }
          State.Palette[3 * index] = src[2];
          State.Palette[3 * index + 1] = src[1];
          State.Palette[3 * index + 2] = src[0];
        }
        lastColor = color;
        lastIndex = static_cast<uint8_t>(index);
      }
      *dst++ = lastIndex;
    }
  }

  if (Transparent) {
    // The frame's transparent index is that of the transparent colour, when
    // one of the frame's own pixels has it (a global palette may hold
    // colours of other frames).
    const int32_t i = PaletteIndexOf(State, TransparentColor);
    const TGIFIndexBuffer& idx = State.Indices[f];
    if (i >= 0 && std::memchr(idx.data(), i, idx.size()) != nullptr) SetTransparentIndex(State, f, i);
  }
  GIFWriteStatus = 0;
  return true;
}

TGIFPaletteMapper::TGIFPaletteMapper(TGIFWriteState& State, const std::array<TColor, 256>& Colors,
                                     std::array<uint8_t, 256>& Map)
    : FState(State), FColors(Colors), FMap(Map), FLookup(std::make_unique<TGIFColorLookup>(State)) {
  FMap.fill(0);
}

TGIFPaletteMapper::~TGIFPaletteMapper() = default;

void TGIFPaletteMapper::AddNew(const uint8_t* Row, int32_t Width) {
  for (int32_t x = 0; x < Width && FUnmapped > 0; ++x)
    if (!FMapped[Row[x]]) Place(Row[x]);
}

uint8_t TGIFPaletteMapper::Place(uint8_t Index) {
  // Each index takes its colour's place in the palette the first time a
  // pixel uses it; indices of one colour share that place, as the colours
  // of a 24-bit picture would.
  if (FMapped[Index]) return FMap[Index];
  const TColor color = FColors[Index] & 0xFFFFFF;
  int32_t place = FLookup->FindOrAdd(color, FState.ColorCount);
  if (place < 0) {
    // At most 256 indices, so at most 256 colours.
    place = FState.ColorCount++;
    FState.Palette[3 * place] = static_cast<uint8_t>(color);
    FState.Palette[3 * place + 1] = static_cast<uint8_t>(color >> 8);
    FState.Palette[3 * place + 2] = static_cast<uint8_t>(color >> 16);
  }
  FMap[Index] = static_cast<uint8_t>(place);
  FMapped[Index] = true;
  --FUnmapped;
  return FMap[Index];
}

void SetGIFTransparentIndex(TGIFWriteState& State, TColor TransparentColor) {
  // Every palette entry made from rows is used by a pixel of this frame.
  const int32_t i = PaletteIndexOf(State, TransparentColor);
  if (i >= 0) SetTransparentIndex(State, State.CurrentFrame - 1, i);
}

void MapPaletteRowsToGIF(TGIFWriteState& State, const TGIFRows& Rows, bool Interlaced, bool Transparent,
                         TColor TransparentColor, std::array<uint8_t, 256>& Map) {
  GIFWriteStatus = 6;
  const int32_t f = State.CurrentFrame - 1;
  State.HasTransparentIndex[f] = false;
  State.TransparentIndex[f] = 0xFF;
  TGIFPaletteMapper mapper(State, Rows.Colors, Map);
  TGIFInterlaceOrder order(Rows.Height, Interlaced);
  for (int32_t y = Rows.Width > 0 && Rows.Height > 0 ? order.First() : -1; y >= 0 && !mapper.Complete();
       y = order.Next(y))
    mapper.AddRow(Rows.Row(y), Rows.Width);
  if (Transparent) SetGIFTransparentIndex(State, TransparentColor);
  GIFWriteStatus = 0;
}

void WriteGIFComment(TStream& Stream, const std::string& Text) {
  if (Text.empty()) return;
  std::vector<uint8_t> b = {0x21, 0xFE};
  size_t pos = 0;
  while (pos < Text.size()) {
    size_t n = std::min<size_t>(Text.size() - pos, 255);
    b.push_back(static_cast<uint8_t>(n));
    b.insert(b.end(), Text.begin() + static_cast<std::ptrdiff_t>(pos),
             Text.begin() + static_cast<std::ptrdiff_t>(pos + n));
    pos += n;
  }
  b.push_back(0);
  Stream.Write(b.data(), static_cast<int64_t>(b.size()));
}

