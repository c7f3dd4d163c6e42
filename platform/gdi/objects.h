// Drawing objects: pens, brushes, fonts, logical palettes and regions, with
// the stock objects and object deletion.
#pragma once

#include <cstdint>
#include <string>

#include "platform/gdi/colors.h"
#include "platform/gdi/types.h"

// Object kinds.
enum : uint32_t {
  OBJ_PEN = 1,
  OBJ_BRUSH = 2,
  OBJ_DC = 3,
  OBJ_PAL = 5,
  OBJ_FONT = 6,
  OBJ_BITMAP = 7,
  OBJ_REGION = 8,
  OBJ_MEMDC = 10,
};

// Frees an object. Refused (false) for stock objects, for objects currently
// selected into a DC and for nullptr.
bool DeleteObject(HGDIOBJ Obj);

// Stock objects.
enum : int32_t {
  WHITE_BRUSH = 0,
  LTGRAY_BRUSH = 1,
  GRAY_BRUSH = 2,
  DKGRAY_BRUSH = 3,
  BLACK_BRUSH = 4,
  NULL_BRUSH = 5,
  HOLLOW_BRUSH = NULL_BRUSH,
  WHITE_PEN = 6,
  BLACK_PEN = 7,
  NULL_PEN = 8,
  SYSTEM_FONT = 13,
  DEFAULT_PALETTE = 15,
  DEFAULT_GUI_FONT = 17,
};
HGDIOBJ GetStockObject(int32_t Index);

// Pens. Styled pens (dash, dot, ...) wider than 1 pixel draw solid.
enum : uint32_t {
  PS_SOLID = 0,
  PS_DASH = 1,        // 18 on, 6 off
  PS_DOT = 2,         // 3 on, 3 off
  PS_DASHDOT = 3,     // 9 on, 6 off, 3 on, 6 off
  PS_DASHDOTDOT = 4,  // 9 on, 3 off, 3 on, 3 off, 3 on, 3 off
  PS_NULL = 5,
  PS_INSIDEFRAME = 6,
};
struct LOGPEN {
  uint32_t lopnStyle = PS_SOLID;
  TPoint lopnWidth;
  TColor lopnColor = 0;
};
HPEN CreatePen(uint32_t Style, int32_t Width, TColor Color);

// Brushes.
enum : uint32_t {
  BS_SOLID = 0,
  BS_NULL = 1,
  BS_HOLLOW = BS_NULL,
  BS_HATCHED = 2,
  BS_PATTERN = 3,
};
enum : int32_t {
  HS_HORIZONTAL = 0,
  HS_VERTICAL = 1,
  HS_FDIAGONAL = 2,
  HS_BDIAGONAL = 3,
  HS_CROSS = 4,
  HS_DIAGCROSS = 5,
};
struct LOGBRUSH {
  uint32_t lbStyle = BS_SOLID;
  TColor lbColor = 0;
  uintptr_t lbHatch = 0;  // hatch style, or the HBITMAP of a pattern brush
};
HBRUSH CreateSolidBrush(TColor Color);
HBRUSH CreateHatchBrush(int32_t Hatch, TColor Color);
// An 8x8 (or the bitmap's size) pattern copied from Bitmap: a monochrome
// bitmap draws its 0 pixels in the DC's text colour and its 1 pixels in the
// background colour; a colour bitmap draws its own colours. The pattern is
// anchored at the DC's brush origin. The bitmap may be deleted afterwards.
HBRUSH CreatePatternBrush(HBITMAP Bitmap);
HBRUSH CreateBrushIndirect(const LOGBRUSH& LogBrush);

// Fonts. Height < 0: the character height (em) in pixels; > 0: the cell
// height (ascent + descent); 0: the default of 16 pixels cell height.
enum : int32_t { FW_DONTCARE = 0, FW_NORMAL = 400, FW_BOLD = 700 };
struct LOGFONT {
  int32_t lfHeight = 0;
  int32_t lfWidth = 0;
  int32_t lfEscapement = 0;
  int32_t lfOrientation = 0;
  int32_t lfWeight = FW_NORMAL;
  uint8_t lfItalic = 0;
  uint8_t lfUnderline = 0;
  uint8_t lfStrikeOut = 0;
  uint8_t lfCharSet = 0;
  uint8_t lfOutPrecision = 0;
  uint8_t lfClipPrecision = 0;
  uint8_t lfQuality = 0;
  uint8_t lfPitchAndFamily = 0;
  std::string lfFaceName;
};
HFONT CreateFontIndirect(const LOGFONT& LogFont);

// Logical palettes.
#pragma pack(push, 1)
struct PALETTEENTRY {
  uint8_t peRed = 0;
  uint8_t peGreen = 0;
  uint8_t peBlue = 0;
  uint8_t peFlags = 0;
  friend bool operator==(const PALETTEENTRY&, const PALETTEENTRY&) = default;
};
// palNumEntries PALETTEENTRY follow the two counts in memory.
struct LOGPALETTE {
  uint16_t palVersion = 0x300;
  uint16_t palNumEntries = 0;
  PALETTEENTRY palPalEntry[1];
};
#pragma pack(pop)
constexpr uint8_t PC_RESERVED = 1;
constexpr uint8_t PC_EXPLICIT = 2;
constexpr uint8_t PC_NOCOLLAPSE = 4;
// A palette of 1 to 1024 entries; nullptr for a bad count.
HPALETTE CreatePalette(const LOGPALETTE* LogPalette);
uint32_t GetPaletteEntries(HPALETTE Palette, uint32_t Start, uint32_t Count, PALETTEENTRY* Entries);
// Index of the entry nearest to Color (smallest squared RGB distance, first on ties).
uint32_t GetNearestPaletteIndex(HPALETTE Palette, TColor Color);
uint32_t GetPaletteEntryCount(HPALETTE Palette);

// Regions: unions of rectangles.
enum : int32_t { RGN_ERROR = 0, NULLREGION = 1, SIMPLEREGION = 2, COMPLEXREGION = 3 };
enum : int32_t { RGN_AND = 1, RGN_OR = 2, RGN_XOR = 3, RGN_DIFF = 4, RGN_COPY = 5 };
HRGN CreateRectRgn(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
HRGN CreateRectRgnIndirect(const TRect& R);
// Dest := Src1 op Src2 (Src2 unused by RGN_COPY); Dest may be either source.
// Returns the region type of the result.
int32_t CombineRgn(HRGN Dest, HRGN Src1, HRGN Src2, int32_t Mode);
int32_t GetRgnBox(HRGN Rgn, TRect& Box);
bool PtInRegion(HRGN Rgn, int32_t X, int32_t Y);
bool RectInRegion(HRGN Rgn, const TRect& R);
int32_t OffsetRgn(HRGN Rgn, int32_t dx, int32_t dy);
bool SetRectRgn(HRGN Rgn, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
bool EqualRgn(HRGN A, HRGN B);
