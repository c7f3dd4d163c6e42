// Text: fonts rendered with FreeType from faces that fontconfig finds
// (DejaVu Sans for the usual sans-serif faces and by default), text output,
// extents, metrics and formatted text in a rectangle.
#pragma once

#include <cstdint>
#include <string>

#include "platform/gdi/types.h"

struct TEXTMETRIC {
  int32_t tmHeight = 0;
  int32_t tmAscent = 0;
  int32_t tmDescent = 0;
  int32_t tmInternalLeading = 0;
  int32_t tmExternalLeading = 0;
  int32_t tmAveCharWidth = 0;
  int32_t tmMaxCharWidth = 0;
  int32_t tmWeight = 0;
  uint8_t tmItalic = 0;
  uint8_t tmUnderlined = 0;
  uint8_t tmStruckOut = 0;
};

// Text is UTF-8, drawn with its cell's top-left corner at X, Y. Count < 0
// means up to the terminating zero. On palette surfaces text is drawn
// without antialiasing; on 24- and 32-bit surfaces edges are blended. With
// OPAQUE background mode the text cell is first filled with the background
// colour.
bool TextOut(HDC DC, int32_t X, int32_t Y, const std::string& Text);
enum : uint32_t { ETO_OPAQUE = 2, ETO_CLIPPED = 4 };
// Like TextOut; ETO_OPAQUE fills R with the background colour, ETO_CLIPPED clips to R.
bool ExtTextOut(HDC DC, int32_t X, int32_t Y, uint32_t Options, const TRect* R, const char* Text, int32_t Count);
bool GetTextExtentPoint32(HDC DC, const char* Text, int32_t Count, TSize* Size);
TSize TextExtent(HDC DC, const std::string& Text);
bool GetTextMetrics(HDC DC, TEXTMETRIC* Metrics);
// The font file that a face name resolves to (for diagnostics and tests).
std::string ResolveFontFile(const std::string& Face, bool Bold, bool Italic);

// DrawText formats.
enum : uint32_t {
  DT_TOP = 0x0,
  DT_LEFT = 0x0,
  DT_CENTER = 0x1,
  DT_RIGHT = 0x2,
  DT_VCENTER = 0x4,
  DT_BOTTOM = 0x8,
  DT_WORDBREAK = 0x10,
  DT_SINGLELINE = 0x20,
  DT_EXPANDTABS = 0x40,
  DT_TABSTOP = 0x80,
  DT_NOCLIP = 0x100,
  DT_EXTERNALLEADING = 0x200,
  DT_CALCRECT = 0x400,
  DT_NOPREFIX = 0x800,
  DT_HIDEPREFIX = 0x100000,
};
// Draws Text in R by Format: lines split at line breaks (unless
// DT_SINGLELINE) and, with DT_WORDBREAK, at blanks where a line would pass
// R's width; "&x" underlines x and "&&" shows "&" unless DT_NOPREFIX; tabs
// expand to every 8 average character widths with DT_EXPANDTABS.
// DT_VCENTER and DT_BOTTOM apply to single lines. With DT_CALCRECT nothing
// is drawn and R's right and bottom are set to fit the text. Returns the
// height of the text (0 on error).
int32_t DrawText(HDC DC, const char* Text, int32_t Count, TRect* R, uint32_t Format);
int32_t DrawText(HDC DC, const std::string& Text, TRect* R, uint32_t Format);

// Frees the font engine (the next text call starts it again).
void FinalizeText();
