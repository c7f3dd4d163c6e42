// Standard palettes, palette kinds and the nearest-colour search of
// TPixelGraphic: arithmetic for the regular kinds, small tables for the 16
// system colours and the fixed 252 colours, and a 5-6-5 inverse colour map
// for palettes of no standard kind.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "imaging/core/exceptions.h"
#include "imaging/core/messages.h"
#include "imaging/core/palette.h"
#include "imaging/core/pixel_graphic.h"
#include "platform/gdi/objects.h"

namespace {

constexpr int32_t R_(TColor c) { return c & 0xFF; }
constexpr int32_t G_(TColor c) { return (c >> 8) & 0xFF; }
constexpr int32_t B_(TColor c) { return (c >> 16) & 0xFF; }
constexpr TColor Rgb(int32_t r, int32_t g, int32_t b) {
  return static_cast<TColor>(r) | (static_cast<TColor>(g) << 8) | (static_cast<TColor>(b) << 16);
}
constexpr TColor Gray(int32_t v) { return Rgb(v, v, v); }

// The fixed 252-colour palette written as 0xRRGGBB; its first sixteen
// entries are the 16 system colours.
constexpr uint32_t kSpecial252RGB[252] = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
    0x000040, 0x0000C0, 0x004000, 0x004040, 0x004080, 0x0040C0, 0x0040FF, 0x008040,
    0x0080C0, 0x0080FF, 0x00C000, 0x00C040, 0x00C080, 0x00C0C0, 0x00C0FF, 0x00FF40,
    0x00FF80, 0x00FFC0, 0x400000, 0x400040, 0x400080, 0x4000C0, 0x4000FF, 0x404000,
    0x404040, 0x404080, 0x4040C0, 0x4040FF, 0x408000, 0x408040, 0x408080, 0x4080C0,
    0x4080FF, 0x40C000, 0x40C040, 0x40C080, 0x40C0C0, 0x40C0FF, 0x40FF00, 0x40FF40,
    0x40FF80, 0x40FFC0, 0x40FFFF, 0x800040, 0x8000C0, 0x8000FF, 0x804000, 0x804040,
    0x804080, 0x8040C0, 0x8040FF, 0x808040, 0x8080C0, 0x8080FF, 0x80C000, 0x80C040,
    0x80C080, 0x80C0C0, 0x80C0FF, 0x80FF00, 0x80FF40, 0x80FF80, 0x80FFC0, 0x80FFFF,
    0xC00000, 0xC00040, 0xC00080, 0xC000C0, 0xC000FF, 0xC04000, 0xC04040, 0xC04080,
    0xC040C0, 0xC040FF, 0xC08000, 0xC08040, 0xC08080, 0xC080C0, 0xC080FF, 0xC0C000,
    0xC0C040, 0xC0C080, 0xC0C0FF, 0xC0FF00, 0xC0FF40, 0xC0FF80, 0xC0FFC0, 0xC0FFFF,
    0xFF0040, 0xFF0080, 0xFF00C0, 0xFF4000, 0xFF4040, 0xFF4080, 0xFF40C0, 0xFF40FF,
    0xFF8000, 0xFF8040, 0xFF8080, 0xFF80C0, 0xFF80FF, 0xFFC000, 0xFFC040, 0xFFC080,
    0xFFC0C0, 0xFFC0FF, 0xFFFF40, 0xFFFF80, 0xFFFFC0, 0x202020, 0x606060, 0xA0A0A0,
    0xE0E0E0, 0xFFE0FF, 0xE0E0FF, 0xE0FFFF, 0xE0FFE0, 0xFFFFE0, 0xFFE0E0, 0xFFC0E0,
    0xE0C0FF, 0xC0E0FF, 0xC0FFE0, 0xE0FFC0, 0xFFE0C0, 0xE0C0E0, 0xC0C0E0, 0xC0E0E0,
    0xC0E0C0, 0xE0E0C0, 0xE0C0C0, 0xFFA0C0, 0xFFA0E0, 0xFFA0FF, 0xE0A0FF, 0xC0A0FF,
    0xA0A0FF, 0xA0C0FF, 0xA0E0FF, 0xA0FFFF, 0xA0FFE0, 0xA0FFC0, 0xA0FFA0, 0xC0FFA0,
    0xE0FFA0, 0xFFFFA0, 0xFFE0A0, 0xFFC0A0, 0xFFA0A0, 0xE0A0C0, 0xE0A0E0, 0xC0A0E0,
    0xA0A0E0, 0xA0C0E0, 0xA0E0E0, 0xA0E0C0, 0xA0E0A0, 0xC0E0A0, 0xE0E0A0, 0xE0C0A0,
    0xE0A0A0, 0xFF80A0, 0xFF80E0, 0xE080FF, 0xA080FF, 0x80A0FF, 0x80E0FF, 0x80FFE0,
    0x80FFA0, 0xA0FF80, 0xE0FF80, 0xFFE080, 0xFFA080, 0xC0A0C0, 0xA0A0C0, 0xA0C0C0,
    0xA0C0A0, 0xC0C0A0, 0xC0A0A0, 0xE080A0, 0xE080C0, 0xE080E0, 0xC080E0, 0xA080E0,
    0x8080E0, 0x80A0E0, 0x80C0E0, 0x80E0E0, 0x80E0C0, 0x80E0A0, 0x80E080, 0xA0E080,
    0xC0E080, 0xE0E080, 0xE0C080, 0xE0A080, 0xE08080, 0xFF6080, 0xFF60A0, 0xFF60C0,
    0xFF60E0, 0xFF60FF, 0xE060FF, 0xC060FF, 0xA060FF, 0x8060FF, 0x6060FF, 0x6080FF,
    0x60A0FF, 0x60C0FF, 0x60E0FF, 0x60FFFF, 0x60FFE0, 0x60FFC0, 0x60FFA0, 0x60FF80,
    0x60FF60, 0x80FF60, 0xA0FF60, 0xC0FF60, 0xE0FF60, 0xFFFF60, 0xFFE060, 0xFFC060,
    0xFFA060, 0xFF8060, 0xFF6060, 0xC080A0, 0xA080C0, 0x80A0C0, 0x80C0A0, 0xA0C080,
    0xC0A080, 0xE06080, 0xE060A0, 0xE060C0,
};

constexpr TColor FromRRGGBB(uint32_t v) { return Rgb((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF); }

// Candidate entries of the 16 system colours per cell (R shr 6, G shr 6,
// B shr 6): the first is the answer unless a later one is strictly nearer.
constexpr uint8_t kSys16Candidates[64][3] = {
    {0,0,0}, {4,4,4}, {4,4,4}, {12,12,12}, {2,2,2}, {6,6,6}, {6,6,6}, {6,12,12},
    {2,2,2}, {6,6,6}, {6,6,6}, {6,14,14}, {10,10,10}, {6,10,10}, {6,14,14}, {14,14,14},
    {1,1,1}, {5,5,5}, {5,5,5}, {5,12,12}, {3,3,3}, {8,8,8}, {8,8,8}, {8,12,12},
    {3,3,3}, {8,8,8}, {8,8,8}, {7,8,14}, {3,10,10}, {8,10,10}, {7,8,14}, {7,14,14},
    {1,1,1}, {5,5,5}, {5,5,5}, {5,13,13}, {3,3,3}, {8,8,8}, {8,8,8}, {7,8,13},
    {3,3,3}, {8,8,8}, {7,8,8}, {7,7,7}, {3,11,11}, {7,8,11}, {7,7,7}, {7,7,7},
    {9,9,9}, {5,9,9}, {5,13,13}, {13,13,13}, {3,9,9}, {8,9,9}, {7,8,13}, {7,13,13},
    {3,11,11}, {7,8,11}, {7,7,7}, {7,7,7}, {11,11,11}, {7,11,11}, {7,7,7}, {7,15,15},
};

// Grey of pGray236 entry i: i * 255 / 235 rounded (the quotient is never a half).
constexpr int32_t Gray236Level(int32_t i) { return (i * 255 * 2 + 235) / 470; }

// Index of the pGray236 entry nearest to b / 3 for every brightness b
// (the lower index on a tie).
constexpr std::array<uint8_t, 766> MakeGray236Table() {
  std::array<uint8_t, 766> t{};
  for (int32_t b = 0; b < 766; ++b) {
    int32_t best = 0, bestDist = 1 << 30;
    for (int32_t i = 0; i < 236; ++i) {
      int32_t d = 3 * Gray236Level(i) - b;
      if (d < 0) d = -d;
      if (d < bestDist) {
        bestDist = d;
        best = i;
      }
    }
    t[b] = static_cast<uint8_t>(best);
  }
  return t;
}
constexpr std::array<uint8_t, 766> kGray236Table = MakeGray236Table();

// Candidate lists of the 252-colour palette, one per cell
// ((R + 16) shr 5, (G + 16) shr 5, (B + 16) shr 5): ascending entry indexes
// that include, for every colour of the cell, the first entry of smallest
// distance to it in the whole palette.
struct TSpecial252Lists {
  std::array<uint16_t, 730> Start{};  // list of cell c: Entries[Start[c] .. Start[c + 1])
  std::vector<uint8_t> Entries;
};

// Channel values of cell coordinate k: 32 k - 16 .. 32 k + 15 within 0..255.
constexpr int32_t CellLow(int32_t k) { return std::max(0, 32 * k - 16); }
constexpr int32_t CellHigh(int32_t k) { return std::min(255, 32 * k + 15); }

TSpecial252Lists BuildSpecial252Lists() {
  TSpecial252Lists lists;
  TColor pal[252];
  for (int32_t i = 0; i < 252; ++i) pal[i] = FromRRGGBB(kSpecial252RGB[i]);
  std::vector<int32_t> cand;
  for (int32_t cell = 0; cell < 729; ++cell) {
    const int32_t lo[3] = {CellLow(cell / 81), CellLow(cell / 9 % 9), CellLow(cell % 9)};
    const int32_t hi[3] = {CellHigh(cell / 81), CellHigh(cell / 9 % 9), CellHigh(cell % 9)};
    // First cut: an entry whose nearest point of the cell is farther than
    // some entry's farthest point is never the nearest.
    int32_t minOfMax = 1 << 30;
    int32_t minDist[252];
    for (int32_t i = 0; i < 252; ++i) {
      const int32_t ch[3] = {R_(pal[i]), G_(pal[i]), B_(pal[i])};
      int32_t dmin = 0, dmax = 0;
      for (int32_t c = 0; c < 3; ++c) {
        const int32_t below = ch[c] < lo[c] ? lo[c] - ch[c] : ch[c] > hi[c] ? ch[c] - hi[c] : 0;
        const int32_t far = std::max(std::abs(ch[c] - lo[c]), std::abs(ch[c] - hi[c]));
        dmin += below * below;
        dmax += far * far;
      }
      minDist[i] = dmin;
      minOfMax = std::min(minOfMax, dmax);
    }
    cand.clear();
    for (int32_t i = 0; i < 252; ++i)
      if (minDist[i] <= minOfMax) cand.push_back(i);
    // Second cut: drop entry j when another entry i wins over it at every
    // point of the cell (nearer, or as near with a lower index). The
    // difference of the two squared distances is linear in the colour, so
    // the eight corners of the cell decide.
    std::vector<bool> dropped(cand.size(), false);
    for (size_t a = 0; a < cand.size(); ++a) {
      for (size_t b = 0; b < cand.size() && !dropped[a]; ++b) {
        if (a == b || dropped[b]) continue;
        const TColor ci = pal[cand[b]], cj = pal[cand[a]];
        int32_t worst = -(1 << 30);
        for (int32_t corner = 0; corner < 8; ++corner) {
          const TColor p = Rgb(corner & 4 ? hi[0] : lo[0], corner & 2 ? hi[1] : lo[1], corner & 1 ? hi[2] : lo[2]);
          worst = std::max(worst, ColorDistance(ci, p) - ColorDistance(cj, p));
        }
        if (worst < 0 || (worst == 0 && cand[b] < cand[a])) dropped[a] = true;
      }
    }
    lists.Start[cell] = static_cast<uint16_t>(lists.Entries.size());
    for (size_t a = 0; a < cand.size(); ++a)
      if (!dropped[a]) lists.Entries.push_back(static_cast<uint8_t>(cand[a]));
  }
  lists.Start[729] = static_cast<uint16_t>(lists.Entries.size());
  return lists;
}

std::once_flag gSpecial252Once;
TSpecial252Lists gSpecial252Lists;

const TSpecial252Lists& Special252Lists() {
  std::call_once(gSpecial252Once, [] { gSpecial252Lists = BuildSpecial252Lists(); });
  return gSpecial252Lists;
}

}  // namespace

// ---------------------------------------------------------------- standard palettes

void InitPGPalettes() { Special252Lists(); }

int32_t StandardPaletteCount(TPaletteIdent Ident) {
  switch (Ident) {
    case pBlackWhite: return 2;
    case pSysGray4: return 4;
    case pSys16: return 16;
    case pGray4: return 4;
    case pGray16: return 16;
    case pGray236: return 236;
    case pGray256: return 256;
    case pSpecial125: return 125;
    case pSpecial216: return 216;
    case pSpecial252: return 252;
    default: return 0;
  }
}

TColor StandardPaletteEntry(TPaletteIdent Ident, int32_t i) {
  switch (Ident) {
    case pBlackWhite: return i ? Gray(255) : Gray(0);
    case pSysGray4: {
      constexpr int32_t levels[4] = {0, 128, 192, 255};
      return Gray(levels[i]);
    }
    case pSys16: return FromRRGGBB(kSpecial252RGB[i]);
    case pGray4: return Gray(i * 255 / 3);
    case pGray16: return Gray(i * 255 / 15);
    case pGray236: return Gray(Gray236Level(i));
    case pGray256: return Gray(i);
    case pSpecial125: {
      auto level = [](int32_t k) { return (255 * k + 3) / 4; };
      return Rgb(level(i / 25), level(i / 5 % 5), level(i % 5));
    }
    case pSpecial216: {
      auto level = [](int32_t k) { return (255 * k + 4) / 5; };
      return Rgb(level(i / 36), level(i / 6 % 6), level(i % 6));
    }
    case pSpecial252: return FromRRGGBB(kSpecial252RGB[i]);
    default: return 0;
  }
}

std::vector<TColor> StandardPalette(TPaletteIdent Ident) {
  std::vector<TColor> pal(StandardPaletteCount(Ident));
  for (size_t i = 0; i < pal.size(); ++i) pal[i] = StandardPaletteEntry(Ident, static_cast<int32_t>(i));
  return pal;
}

// ---------------------------------------------------------------- nearest colour by kind

uint8_t NearestPaletteIndex(const TColor* Palette, int32_t Count, TColor Color) {
  int32_t best = 0, bestDist = 1 << 30;
  for (int32_t i = 0; i < Count; ++i) {
    const int32_t d = ColorDistance(Palette[i], Color);
    if (d < bestDist) {
      bestDist = d;
      best = i;
    }
  }
  return static_cast<uint8_t>(best);
}

uint8_t NearestGray236(int32_t Brightness) { return kGray236Table[std::clamp(Brightness, 0, 765)]; }

uint8_t NearestSys16(TColor Color) {
  const uint8_t* c = kSys16Candidates[(R_(Color) >> 6) * 16 + (G_(Color) >> 6) * 4 + (B_(Color) >> 6)];
  uint8_t answer = c[0];
  int32_t dist = ColorDistance(FromRRGGBB(kSpecial252RGB[answer]), Color);
  for (int32_t k = 1; k < 3; ++k) {
    if (c[k] == c[k - 1]) continue;
    const int32_t d = ColorDistance(FromRRGGBB(kSpecial252RGB[c[k]]), Color);
    if (d < dist) {
      dist = d;
      answer = c[k];
    }
  }
  return answer;
}

uint8_t NearestSpecial125(TColor Color) {
  auto level = [](int32_t c) { return ((c == 224 ? 225 : c) + 31) >> 6; };
  return static_cast<uint8_t>(25 * level(R_(Color)) + 5 * level(G_(Color)) + level(B_(Color)));
}

uint8_t NearestSpecial216(TColor Color) {
  auto level = [](int32_t c) { return (c + 24) / 51; };
  return static_cast<uint8_t>(36 * level(R_(Color)) + 6 * level(G_(Color)) + level(B_(Color)));
}

uint8_t NearestSpecial252(TColor Color) {
  const TSpecial252Lists& lists = Special252Lists();
  const int32_t cell = ((R_(Color) + 16) >> 5) * 81 + ((G_(Color) + 16) >> 5) * 9 + ((B_(Color) + 16) >> 5);
  uint8_t answer = 0;
  int32_t dist = 1 << 30;
  for (int32_t k = lists.Start[cell]; k < lists.Start[cell + 1]; ++k) {
    const uint8_t i = lists.Entries[k];
    const int32_t d = ColorDistance(FromRRGGBB(kSpecial252RGB[i]), Color);
    if (d < dist) {
      dist = d;
      answer = i;
    }
  }
  return answer;
}

void TPaletteColorIndex::Build(const TColor* Palette, int32_t Count) {
  std::memset(FCells, 0, sizeof(FCells));
  std::memset(FKeys, 0, sizeof(FKeys));
  for (int32_t i = 0; i < Count && i < 256; ++i) {
    const uint32_t key = (Palette[i] & 0xFFFFFF) | 0x1000000u;
    uint32_t slot = Slot(key);
    while (FKeys[slot] != 0 && FKeys[slot] != key) slot = (slot + 1) & (kSlots - 1);
    if (FKeys[slot] == key) continue;  // an earlier entry has this colour
    FKeys[slot] = key;
    FIndex[slot] = static_cast<uint8_t>(i);
    const int32_t cell = ColorCell(Palette[i]);
    FCells[cell >> 3] |= static_cast<uint8_t>(1 << (cell & 7));
  }
}

// ---------------------------------------------------------------- TPixelGraphic palette

void TPixelGraphic::SetPaletteCount(int32_t Count) {
  // A palette index is a byte: no image has more than 256 entries.
  Count = std::clamp(Count, 0, 256);
  if (Count != FPaletteCount) {
    FlushGdi();
    ReleaseCanvasHandle();
    FPalette.resize(Count, 0);
    FPaletteCount = Count;
    FPaletteIdent = Count > 0 ? pUnknown : pNone;
    FNearestMemoInvalid = true;
    if (FBitmapInfo) FBitmapInfo->bmiHeader.biClrUsed = static_cast<uint32_t>(Count);
  }
  FPaletteChanged = true;
  FreeColorCache();
}

void TPixelGraphic::SetPaletteEntry(int32_t Index, TColor Color) {
  if (FPaletteIdent == pNone || FPaletteIdent == pTrueColor) throw EPGNoPalette(PGMessage(2));
  if (Index < 0 || Index >= FPaletteCount) throw EPGInvalidPaletteIndex(PGMessage(3));
  ReleaseCanvasHandle();
  // The DIB colour table has only the format's 2, 16 or 256 entries.
  if (FBitmapInfo && Index < GetMaxColors())
    FBitmapInfo->bmiColors[Index] =
        RGBQUAD{static_cast<uint8_t>(B_(Color)), static_cast<uint8_t>(G_(Color)), static_cast<uint8_t>(R_(Color)), 0};
  FPalette[Index] = Color;
  FPaletteIdent = pUnknown;
  FNearestMemoInvalid = true;
  FPaletteChanged = true;
  FreeColorCache();
}

TColor TPixelGraphic::GetPaletteEntry(int32_t Index) const {
  if (FPaletteIdent == pTrueColor) return static_cast<TColor>(Index);
  if (Index < 0 || Index >= FPaletteCount) throw EPGInvalidPaletteIndex(PGMessage(3));
  return FPalette[Index];
}

void TPixelGraphic::SetPaletteIdent(TPaletteIdent Ident) {
  if (Ident == FPaletteIdent) return;
  switch (Ident) {
    case pNone:
    case pTrueColor:
      SetPaletteCount(0);
      FPaletteIdent = Ident;
      break;
    case pUnknown: FPaletteIdent = pUnknown; break;
    case pOptimized252Sys16:
    case pSource: break;
    default: {
      const int32_t count = StandardPaletteCount(Ident);
      SetPaletteCount(count);
      FPaletteIdent = pUnknown;
      for (int32_t i = 0; i < count; ++i) SetPaletteEntry(i, StandardPaletteEntry(Ident, i));
      FPaletteIdent = Ident;
    }
  }
  FNearestMemoInvalid = true;
  FPaletteChanged = true;
  FreeColorCache();
}

void TPixelGraphic::DetectPaletteIdent() {
  FIsGrayPalette = FPixelFormat != pf24Bit &&
                   std::all_of(FPalette.begin(), FPalette.end(),
                               [](TColor c) { return R_(c) == G_(c) && G_(c) == B_(c); });
  FPaletteIdent = DetectedPaletteIdent();
}

TPaletteIdent TPixelGraphic::DetectedPaletteIdent() const {
  static constexpr TPaletteIdent kOrder[] = {pBlackWhite, pGray4,   pSysGray4,   pGray16,     pGray236,
                                             pGray256,    pSys16,   pSpecial216, pSpecial125, pSpecial252};
  for (TPaletteIdent kind : kOrder) {
    if (StandardPaletteCount(kind) != FPaletteCount) continue;
    bool same = true;
    for (int32_t i = 0; i < FPaletteCount && same; ++i) same = FPalette[i] == StandardPaletteEntry(kind, i);
    if (same) return kind;
  }
  if (FPixelFormat == pf24Bit && FPaletteCount == 0) return pTrueColor;
  return FPaletteCount > 0 ? pUnknown : pNone;
}

bool TPixelGraphic::SamePalette(const TPixelGraphic* Other) const {
  if (!Other || Other->FPixelFormat != FPixelFormat) return false;
  if (FPixelFormat == pf24Bit) return true;
  return Other->FPaletteCount == FPaletteCount && Other->FPalette == FPalette;
}

void TPixelGraphic::AssignPalette(const TPixelGraphic* Source) {
  SetPaletteCount(Source->FPaletteCount);
  for (int32_t i = 0; i < FPaletteCount; ++i) SetPaletteEntry(i, Source->FPalette[i]);
  DetectPaletteIdent();
}

HPALETTE TPixelGraphic::GetPalette() {
  if (FPaletteChanged) {
    if (FPaletteHandle) DeleteObject(FPaletteHandle);
    FPaletteHandle = nullptr;
    if (FPaletteIdent != pTrueColor && FPaletteCount >= 1) {
      // A LOGPALETTE is followed in memory by its further entries.
      std::vector<uint8_t> block(sizeof(LOGPALETTE) + (FPaletteCount - 1) * sizeof(PALETTEENTRY));
      auto* logPalette = new (block.data()) LOGPALETTE;
      logPalette->palVersion = 0x300;
      logPalette->palNumEntries = static_cast<uint16_t>(FPaletteCount);
      auto* entries = reinterpret_cast<PALETTEENTRY*>(block.data() + offsetof(LOGPALETTE, palPalEntry));
      for (int32_t i = 0; i < FPaletteCount; ++i) {
        const TColor c = FPalette[i];
        entries[i] = PALETTEENTRY{static_cast<uint8_t>(R_(c)), static_cast<uint8_t>(G_(c)),
                                  static_cast<uint8_t>(B_(c)), 0};
      }
      FPaletteHandle = CreatePalette(logPalette);
    }
    FPaletteChanged = false;
  }
  return FPaletteHandle;
}

void TPixelGraphic::FreeColorCache() {
  FColorCacheRebuild = true;
  FColorCacheMap.reset();
  FColorCacheValid.reset();
  FColorCacheExact.reset();
}

namespace {

constexpr int32_t CacheCell(int32_t r5, int32_t g6, int32_t b5) { return (r5 << 11) | (g6 << 5) | b5; }

}  // namespace

void TPixelGraphic::BuildColorCache() {
  FColorCacheMap = std::make_unique<uint8_t[]>(65536);
  FColorCacheValid = std::make_unique<uint8_t[]>(8192);
  FColorCacheExact = std::make_unique<TPaletteColorIndex>();
  FColorCacheExact->Build(FPalette.data(), FPaletteCount);
  uint8_t* map = FColorCacheMap.get();
  uint8_t* valid = FColorCacheValid.get();
  // Grow a cube around every entry's cell, radius by radius, so that a cell
  // takes the entry whose cell is nearest (the lower index among equals).
  for (int32_t k = 0; k <= 4; ++k) {
    for (int32_t i = 0; i < FPaletteCount; ++i) {
      const TColor c = FPalette[i];
      const int32_t r5 = R_(c) >> 3, g6 = G_(c) >> 2, b5 = B_(c) >> 3;
      for (int32_t r = std::max(0, r5 - k); r <= std::min(31, r5 + k); ++r)
        for (int32_t g = std::max(0, g6 - k); g <= std::min(63, g6 + k); ++g)
          for (int32_t b = std::max(0, b5 - k); b <= std::min(31, b5 + k); ++b) {
            const int32_t cell = CacheCell(r, g, b);
            if (valid[cell >> 3] & (1 << (cell & 7))) continue;
            map[cell] = static_cast<uint8_t>(i);
            valid[cell >> 3] |= static_cast<uint8_t>(1 << (cell & 7));
          }
    }
  }
  FColorCacheRebuild = false;
}

uint32_t TPixelGraphic::NearestCached(TColor Color) {
  if (FColorCacheRebuild || !FColorCacheMap) BuildColorCache();
  const int32_t cell = ColorCell(Color);
  // A palette colour is its own entry, whichever entry its cell maps to.
  if (const int32_t own = FColorCacheExact->Find(Color, cell); own >= 0) return static_cast<uint32_t>(own);
  uint8_t& bits = FColorCacheValid[cell >> 3];
  const uint8_t bit = static_cast<uint8_t>(1 << (cell & 7));
  if (bits & bit) return FColorCacheMap[cell];
  const uint8_t answer = NearestPaletteIndex(FPalette.data(), FPaletteCount, Color);
  FColorCacheMap[cell] = answer;
  bits |= bit;
  return answer;
}

uint32_t TPixelGraphic::GetNearestIndex(TColor Color) {
  if (!FNearestMemoInvalid && Color == FNearestMemoColor) return FNearestMemoIndex;
  auto b = [&] { return Brightness(Color, FRGBWeighting); };
  uint32_t answer;
  switch (FPaletteIdent) {
    case pNone: throw EPGNoPalette(PGMessage(2));
    case pTrueColor: answer = Color; break;
    case pBlackWhite: answer = static_cast<uint32_t>((b() + 1) / 384); break;
    case pSysGray4: {
      const int32_t v = b();
      answer = v < 193 ? 0 : v < 481 ? 1 : v < 671 ? 2 : 3;
      break;
    }
    case pGray4: answer = static_cast<uint32_t>((b() + 127) / 255); break;
    case pGray16: answer = static_cast<uint32_t>((b() + 25) / 51); break;
    case pGray256: answer = static_cast<uint32_t>((b() + 1) / 3); break;
    case pGray236: answer = NearestGray236(b()); break;
    case pSys16: answer = NearestSys16(Color); break;
    case pSpecial125: answer = NearestSpecial125(Color); break;
    case pSpecial216: answer = NearestSpecial216(Color); break;
    case pSpecial252: answer = NearestSpecial252(Color); break;
    default:
      // A palette of no standard kind; an empty one answers 0.
      if (FPaletteCount == 0) answer = 0;
      else if (FUseColorCache) answer = NearestCached(Color);
      else answer = NearestPaletteIndex(FPalette.data(), FPaletteCount, Color);
  }
  // The memo is taken only once there is an answer, so a failed search
  // is not remembered as a result.
  FNearestMemoInvalid = false;
  FNearestMemoColor = Color;
  FNearestMemoIndex = answer;
  return answer;
}
