// Device contexts: memory DCs over pixel surfaces, object selection, saved
// states, origins, clipping, palettes, device capabilities and the drawing
// primitives (pixels, lines, shapes, fills and block transfers).
#pragma once

#include <cstdint>

#include "platform/gdi/colors.h"
#include "platform/gdi/objects.h"
#include "platform/gdi/surface.h"
#include "platform/gdi/types.h"

// ---- Screen (a setting, so tests can play palette screens) ----
// Bits per pixel of the screen: 1, 4, 8, 16, 24 or 32 (default 32).
void SetScreenBitsPerPixel(int32_t Bits);
int32_t GetScreenBitsPerPixel();
// Screen size in pixels (default 1024 x 768).
void SetScreenSize(int32_t Width, int32_t Height);
// A DC for the screen as a whole: drawing on it lands in a private surface of
// the screen's size. Release with ReleaseScreenDC.
HDC GetScreenDC();
void ReleaseScreenDC(HDC DC);

// ---- Device contexts ----
// A memory DC like the screen, with a 1x1 monochrome bitmap selected.
HDC CreateCompatibleDC(HDC DC);
bool DeleteDC(HDC DC);
// Selects a bitmap, pen, brush or font and returns the previous one; for a
// region, sets the clip region to a copy and returns the region type. A
// bitmap already selected into another DC is refused (nullptr).
HGDIOBJ SelectObject(HDC DC, HGDIOBJ Obj);
HGDIOBJ GetCurrentObject(HDC DC, uint32_t ObjType);
// Pushes the DC's state (objects, colours, modes, origins, position, clip
// region); returns the new depth (1 for the first). RestoreDC(DC, -1) pops
// one state; a positive Saved restores that state and drops those above it.
int32_t SaveDC(HDC DC);
bool RestoreDC(HDC DC, int32_t Saved);

// Device capabilities.
enum : int32_t {
  HORZSIZE = 4,
  VERTSIZE = 6,
  HORZRES = 8,
  VERTRES = 10,
  BITSPIXEL = 12,
  PLANES = 14,
  NUMCOLORS = 24,
  RASTERCAPS = 38,
  LOGPIXELSX = 88,
  LOGPIXELSY = 90,
  SIZEPALETTE = 104,
  NUMRESERVED = 106,
  COLORRES = 108,
};
enum : int32_t {
  RC_BITBLT = 0x0001,
  RC_PALETTE = 0x0100,
  RC_DIBTODEV = 0x0200,
  RC_STRETCHBLT = 0x0800,
  RC_STRETCHDIB = 0x2000,
};
int32_t GetDeviceCaps(HDC DC, int32_t Index);
// Overrides RASTERCAPS of one DC, for devices (such as printers) that lack
// some capabilities.
void SetDeviceRasterCaps(HDC DC, int32_t Caps);

// ---- Colours and modes ----
enum : int32_t { TRANSPARENT = 1, OPAQUE = 2 };
TColor SetTextColor(HDC DC, TColor Color);
TColor GetTextColor(HDC DC);
TColor SetBkColor(HDC DC, TColor Color);
int32_t SetBkMode(HDC DC, int32_t Mode);
int32_t GetBkMode(HDC DC);
// Binary raster operations of pens and brushes in line and shape drawing.
enum : int32_t {
  R2_BLACK = 1,
  R2_NOTMERGEPEN = 2,
  R2_MASKNOTPEN = 3,
  R2_NOTCOPYPEN = 4,
  R2_MASKPENNOT = 5,
  R2_NOT = 6,
  R2_XORPEN = 7,
  R2_NOTMASKPEN = 8,
  R2_MASKPEN = 9,
  R2_NOTXORPEN = 10,
  R2_NOP = 11,
  R2_MERGENOTPEN = 12,
  R2_COPYPEN = 13,
  R2_MERGEPENNOT = 14,
  R2_MERGEPEN = 15,
  R2_WHITE = 16,
};
int32_t SetROP2(HDC DC, int32_t Mode);
// Stretch modes. Every mode maps pixels by nearest neighbour (see StretchBlt).
enum : int32_t { BLACKONWHITE = 1, WHITEONBLACK = 2, COLORONCOLOR = 3, HALFTONE = 4 };
int32_t SetStretchBltMode(HDC DC, int32_t Mode);

// ---- Coordinates: device = logical + viewport origin ----
bool SetViewportOrgEx(HDC DC, int32_t X, int32_t Y, TPoint* Old);
bool GetViewportOrgEx(HDC DC, TPoint* Org);
bool OffsetViewportOrgEx(HDC DC, int32_t dx, int32_t dy, TPoint* Old);
// The brush origin, in device coordinates: pattern pixel (0, 0) lands there.
bool SetBrushOrgEx(HDC DC, int32_t X, int32_t Y, TPoint* Old);

// ---- Clipping (logical coordinates except SelectClipRgn's, which are device) ----
// Results are region types: NULLREGION, SIMPLEREGION, COMPLEXREGION, or RGN_ERROR.
int32_t SelectClipRgn(HDC DC, HRGN Rgn);  // nullptr removes the clip region
int32_t ExtSelectClipRgn(HDC DC, HRGN Rgn, int32_t Mode);
int32_t IntersectClipRect(HDC DC, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
int32_t ExcludeClipRect(HDC DC, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
// The bounding box of the visible area (clip region and surface), logical.
int32_t GetClipBox(HDC DC, TRect& R);
bool PtVisible(HDC DC, int32_t X, int32_t Y);

// ---- Palettes ----
HPALETTE SelectPalette(HDC DC, HPALETTE Palette, bool ForceBackground);
// Maps the selected palette into the system palette. On a true-colour screen
// this does nothing and returns 0; on a palette screen it returns the number
// of entries mapped.
uint32_t RealizePalette(HDC DC);

// ---- Pixels, lines, shapes ----
// SetPixel returns the colour actually set (the nearest table colour on a
// palette surface), or 0xFFFFFFFF outside the visible area.
TColor SetPixel(HDC DC, int32_t X, int32_t Y, TColor Color);
// CLR_INVALID outside the surface or the clip region.
constexpr TColor CLR_INVALID = 0xFFFFFFFF;
TColor GetPixel(HDC DC, int32_t X, int32_t Y);
bool MoveToEx(HDC DC, int32_t X, int32_t Y, TPoint* Old);
bool GetCurrentPositionEx(HDC DC, TPoint* P);
// Draws from the current position to (X, Y), excluding the end point; the
// end point becomes the current position.
bool LineTo(HDC DC, int32_t X, int32_t Y);
bool Polyline(HDC DC, const TPoint* Points, int32_t Count);
// Shapes: the pen outlines the shape inside its bounding box (right and
// bottom edges excluded), the brush fills the inside.
bool Rectangle(HDC DC, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
bool Ellipse(HDC DC, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
bool RoundRect(HDC DC, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom, int32_t CornerWidth,
               int32_t CornerHeight);
// Fills by the even-odd rule (pixel centres inside), then outlines with the pen.
bool Polygon(HDC DC, const TPoint* Points, int32_t Count);
// Fills (Left, Top)..(Right, Bottom) excluding the far edges with Brush.
int32_t FillRect(HDC DC, const TRect& R, HBRUSH Brush);
// A one-pixel frame inside R, drawn with Brush (pattern brushes included).
int32_t FrameRect(HDC DC, const TRect& R, HBRUSH Brush);
// The focus rectangle: a dotted frame (every other pixel) inverted.
bool DrawFocusRect(HDC DC, const TRect& R);

// ---- Block transfers ----
// Ternary raster operations: result bits from pattern P (the selected
// brush), source S and destination D.
enum : uint32_t {
  SRCCOPY = 0x00CC0020,
  SRCPAINT = 0x00EE0086,
  SRCAND = 0x008800C6,
  SRCINVERT = 0x00660046,
  SRCERASE = 0x00440328,
  NOTSRCCOPY = 0x00330008,
  NOTSRCERASE = 0x001100A6,
  MERGECOPY = 0x00C000CA,
  MERGEPAINT = 0x00BB0226,
  PATCOPY = 0x00F00021,
  PATPAINT = 0x00FB0A09,
  PATINVERT = 0x005A0049,
  DSTINVERT = 0x00550009,
  BLACKNESS = 0x00000042,
  WHITENESS = 0x00FF0062,
};
// Pixel values combine bit by bit: indexes on palette surfaces, colours on
// true-colour surfaces. A source of another format is first converted to
// the destination's colours (monochrome device bitmaps: 0 -> text colour,
// 1 -> background colour; to monochrome: the source DC's background colour
// -> 1, all else 0; palette surfaces take the nearest table entry).
bool PatBlt(HDC DC, int32_t X, int32_t Y, int32_t Width, int32_t Height, uint32_t Rop);
bool BitBlt(HDC Dest, int32_t X, int32_t Y, int32_t Width, int32_t Height, HDC Src, int32_t XSrc, int32_t YSrc,
            uint32_t Rop);
// Nearest neighbour: destination pixel i (0-based, counted from the
// rectangle's start in the direction of its extent) takes source pixel
// (2i + 1) * |SrcExtent| / (2 * |DestExtent|) (integer division), counted the
// same way in the source. A negative extent mirrors: it covers X + Width + 1
// .. X (destination) or XSrc + SrcWidth + 1 .. XSrc (source).
bool StretchBlt(HDC Dest, int32_t X, int32_t Y, int32_t Width, int32_t Height, HDC Src, int32_t XSrc, int32_t YSrc,
                int32_t SrcWidth, int32_t SrcHeight, uint32_t Rop);
// Draws a DIB (1, 4, 8, 24 or 32 bits, BI_RGB, DIB_RGB_COLORS) by the same
// rule. For a bottom-up DIB YSrc counts from the bottom row of the DIB, for a
// top-down one from the top. Returns the number of scan lines drawn (0 on error).
int32_t StretchDIBits(HDC DC, int32_t X, int32_t Y, int32_t Width, int32_t Height, int32_t XSrc, int32_t YSrc,
                      int32_t SrcWidth, int32_t SrcHeight, const void* Bits, const BITMAPINFO* Info,
                      uint32_t Usage, uint32_t Rop);
// Stretches like StretchBlt with SRCCOPY but leaves destination pixels whose
// source colour equals Transparent unchanged.
bool TransparentBlt(HDC Dest, int32_t X, int32_t Y, int32_t Width, int32_t Height, HDC Src, int32_t XSrc,
                    int32_t YSrc, int32_t SrcWidth, int32_t SrcHeight, TColor Transparent);
// Drawing is immediate; kept for code that flushes before touching pixels.
bool GdiFlush();
