// Palette kinds, the standard palettes and the brightness measure that the
// nearest-colour search of TPixelGraphic builds on.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/gdi/types.h"

// The kind of an image's palette. pOptimized252Sys16 and pSource are choices
// of the viewer's display conversion; an image never carries them.
enum TPaletteIdent : uint8_t {
  pNone,
  pTrueColor,
  pUnknown,
  pBlackWhite,
  pSysGray4,
  pSys16,
  pGray4,
  pGray16,
  pGray236,
  pGray256,
  pSpecial125,
  pSpecial216,
  pSpecial252,
  pOptimized252Sys16,
  pSource,
};

// The viewer's choices of display palette: pBlackWhite..pOptimized252Sys16
// for true-colour pictures, pBlackWhite..pSource for palette pictures.
using TPalette8BitSys24BitGraphic = TPaletteIdent;
using TPalette8BitSys8BitGraphic = TPaletteIdent;
constexpr TPaletteIdent TPalette8BitSys24BitGraphicFirst = pBlackWhite;
constexpr TPaletteIdent TPalette8BitSys24BitGraphicLast = pOptimized252Sys16;
constexpr TPaletteIdent TPalette8BitSys8BitGraphicFirst = pBlackWhite;
constexpr TPaletteIdent TPalette8BitSys8BitGraphicLast = pSource;

// Brightness 0..765: weighted (R*299 + G*587 + B*114) * 3 div 1000, else R+G+B.
constexpr int32_t Brightness(TColor Color, bool Weighted) {
  int32_t r = Color & 0xFF, g = (Color >> 8) & 0xFF, b = (Color >> 16) & 0xFF;
  return Weighted ? (r * 299 + g * 587 + b * 114) * 3 / 1000 : r + g + b;
}

// Squared RGB distance of two colours.
constexpr int32_t ColorDistance(TColor a, TColor b) {
  int32_t dr = int32_t(a & 0xFF) - int32_t(b & 0xFF);
  int32_t dg = int32_t((a >> 8) & 0xFF) - int32_t((b >> 8) & 0xFF);
  int32_t db = int32_t((a >> 16) & 0xFF) - int32_t((b >> 16) & 0xFF);
  return dr * dr + dg * dg + db * db;
}

// Number of entries of a standard palette kind (pBlackWhite..pSpecial252);
// 0 for the other kinds.
int32_t StandardPaletteCount(TPaletteIdent Ident);
// Entry Index of a standard palette kind (Index below its count).
TColor StandardPaletteEntry(TPaletteIdent Ident, int32_t Index);
// The whole standard palette of a kind (empty for the other kinds).
std::vector<TColor> StandardPalette(TPaletteIdent Ident);

// Builds the shared lookup tables of the nearest-colour search (the
// 252-colour candidate lists). Called by the library's start-up before any
// worker thread; the tables are also built on first use.
void InitPGPalettes();

// The palette index nearest to Color among Count entries: the first entry, in
// index order, of smallest squared RGB distance; 0 when Count is 0.
uint8_t NearestPaletteIndex(const TColor* Palette, int32_t Count, TColor Color);

// The colours of a palette by value, so that the nearest-colour search can
// answer a colour that is itself in the palette with its own entry (the
// first of equal entries in index order) whatever its 5-6-5 cell's map
// entry says. A bit per 5-6-5 cell tells whether any entry lies in the cell,
// so colours of other cells cost one bit test.
class TPaletteColorIndex {
public:
  void Build(const TColor* Palette, int32_t Count);
  // The first entry equal to Color, or -1; Cell is Color's 5-6-5 cell.
  int32_t Find(TColor Color, int32_t Cell) const {
    if (!(FCells[Cell >> 3] & (1 << (Cell & 7)))) return -1;
    const uint32_t key = (Color & 0xFFFFFF) | 0x1000000u;
    for (uint32_t slot = Slot(key);; slot = (slot + 1) & (kSlots - 1)) {
      if (FKeys[slot] == key) return FIndex[slot];
      if (FKeys[slot] == 0) return -1;
    }
  }

private:
  static constexpr int kBits = 10;
  static constexpr uint32_t kSlots = 1u << kBits;  // four slots per entry at most used
  static uint32_t Slot(uint32_t Key) { return (Key * 0x9E3779B1u) >> (32 - kBits); }
  uint8_t FCells[8192];
  uint32_t FKeys[kSlots];  // colour | 0x1000000; 0 marks a free slot
  uint8_t FIndex[kSlots];
};

// The 5-6-5 cell of a colour: (R shr 3) shl 11 + (G shr 2) shl 5 + (B shr 3).
constexpr int32_t ColorCell(TColor C) {
  return int32_t(((C & 0xF8) << 8) | ((C >> 5) & 0x7E0) | ((C >> 19) & 0x1F));
}

// Nearest entries by the fixed rules of the standard kinds; B is the
// colour's brightness (weighted or not, as the image says).
uint8_t NearestGray236(int32_t Brightness);
uint8_t NearestSys16(TColor Color);
uint8_t NearestSpecial125(TColor Color);
uint8_t NearestSpecial216(TColor Color);
uint8_t NearestSpecial252(TColor Color);
