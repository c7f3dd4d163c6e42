// Pixel surfaces: device-independent bitmaps (DIB sections) of 1, 4, 8, 24
// and 32 bits with colour tables, device bitmaps, and the back buffer of a
// window that the window layer presents.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/gdi/colors.h"
#include "platform/gdi/types.h"

// The largest pixel memory of one surface (1 GiB). The imaging library's
// image-size cap is the same number, so that an image the library accepts
// always gets its surface and every reader refuses at the same size.
constexpr int64_t MaxSurfaceBytes = int64_t(1) << 30;

// The largest pixel memory, in bytes, of a picture read from a file, a
// stream or the clipboard: larger ones are refused before any memory is
// taken. It may lower the surface limit above, never raise it. The imaging
// library's image-size option is this same variable, so that bitmaps and
// images keep one cap.
extern uint32_t MaxImageBytes;
// The cap in force: MaxImageBytes, at most MaxSurfaceBytes.
inline int64_t ImageBytesCap() { return MaxImageBytes < MaxSurfaceBytes ? int64_t(MaxImageBytes) : MaxSurfaceBytes; }

#pragma pack(push, 1)
struct BITMAPINFOHEADER {
  uint32_t biSize = 40;
  int32_t biWidth = 0;
  int32_t biHeight = 0;  // negative: rows stored top-down
  uint16_t biPlanes = 1;
  uint16_t biBitCount = 0;
  uint32_t biCompression = 0;
  uint32_t biSizeImage = 0;
  int32_t biXPelsPerMeter = 0;
  int32_t biYPelsPerMeter = 0;
  uint32_t biClrUsed = 0;
  uint32_t biClrImportant = 0;
};

struct BITMAPCOREHEADER {
  uint32_t bcSize = 12;
  uint16_t bcWidth = 0;
  uint16_t bcHeight = 0;
  uint16_t bcPlanes = 1;
  uint16_t bcBitCount = 0;
};

struct BITMAPFILEHEADER {
  uint16_t bfType = 0x4D42;  // "BM"
  uint32_t bfSize = 0;
  uint16_t bfReserved1 = 0;
  uint16_t bfReserved2 = 0;
  uint32_t bfOffBits = 0;
};

struct RGBQUAD {
  uint8_t rgbBlue = 0;
  uint8_t rgbGreen = 0;
  uint8_t rgbRed = 0;
  uint8_t rgbReserved = 0;
  friend bool operator==(const RGBQUAD&, const RGBQUAD&) = default;
};

struct RGBTRIPLE {
  uint8_t rgbtBlue = 0;
  uint8_t rgbtGreen = 0;
  uint8_t rgbtRed = 0;
};

// A BITMAPINFOHEADER followed in memory by its colour table (or, with
// BI_BITFIELDS, three masks). Functions that take a BITMAPINFO read the
// table that follows the header (at biSize bytes from the start).
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};
#pragma pack(pop)

static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(sizeof(BITMAPCOREHEADER) == 12);
static_assert(sizeof(BITMAPFILEHEADER) == 14);
static_assert(sizeof(RGBQUAD) == 4);

// Compression values of BITMAPINFOHEADER.biCompression.
constexpr uint32_t BI_RGB = 0;
constexpr uint32_t BI_RLE8 = 1;
constexpr uint32_t BI_RLE4 = 2;
constexpr uint32_t BI_BITFIELDS = 3;

// Colour usage of DIB functions.
constexpr uint32_t DIB_RGB_COLORS = 0;
constexpr uint32_t DIB_PAL_COLORS = 1;

// A BITMAPINFO with room for a full 256-entry colour table, for building
// headers on the stack.
struct TBitmapInfo256 {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[256];
  BITMAPINFO* Info() { return reinterpret_cast<BITMAPINFO*>(this); }
};

// The colour table that follows a header (biSize bytes after its start).
const RGBQUAD* DIBColorTable(const BITMAPINFO* bmi);
// Entries in a DIB's colour table: biClrUsed, or 2^bits when it is 0 (bits <= 8).
uint32_t DIBColorCount(const BITMAPINFOHEADER& h);
// Bytes in one row of a DIB: rows padded to 32 bits; computed in 64 bits.
inline int64_t DIBBytesPerLine(int64_t Width, int64_t BitCount) { return ((Width * BitCount + 31) / 32) * 4; }

// Object description returned by GetObject for a bitmap.
struct BITMAP {
  int32_t bmType = 0;
  int32_t bmWidth = 0;
  int32_t bmHeight = 0;
  int32_t bmWidthBytes = 0;
  uint16_t bmPlanes = 1;
  uint16_t bmBitsPixel = 0;
  void* bmBits = nullptr;
};

struct DIBSECTION {
  BITMAP dsBm;
  BITMAPINFOHEADER dsBmih;
};

// Creates a DIB section of 1, 4, 8, 24 or 32 bits from Info (BI_RGB; 16 bits
// and BI_BITFIELDS are refused). The pixel memory is zeroed and owned by the
// section; *Bits receives its start. DC, Section and Offset are accepted for
// the familiar signature and ignored. nullptr on bad arguments or too large
// a size (over 1 GiB of pixels).
HBITMAP CreateDIBSection(HDC DC, const BITMAPINFO* Info, uint32_t Usage, void** Bits, void* Section,
                         uint32_t Offset);
// A DIB section over caller-owned memory laid out as Info describes; the
// caller keeps the memory alive until the section is deleted.
HBITMAP CreateDIBSectionOver(const BITMAPINFO* Info, void* Bits);
// A device bitmap: Planes * BitCount of 1 gives a monochrome bitmap (pixels
// 0 = black, 1 = white; blitting it onto colour uses the DC's text and
// background colours); any other depth gives a 32-bit bitmap. Bits, when not
// nullptr, holds the initial rows (top-down, rows padded to 16 bits).
HBITMAP CreateBitmap(int32_t Width, int32_t Height, uint32_t Planes, uint32_t BitCount, const void* Bits);
// A bitmap compatible with DC: monochrome when DC has a monochrome bitmap
// selected (as a new memory DC has), else a 32-bit device bitmap.
HBITMAP CreateCompatibleBitmap(HDC DC, int32_t Width, int32_t Height);

// Fills Buffer (Size bytes) with a BITMAP (or DIBSECTION for a DIB section
// when Size allows); returns the bytes written, 0 for an unknown object.
int32_t GetObject(HGDIOBJ Obj, int32_t Size, void* Buffer);

// Colour table of the DIB section selected in DC. Return the entries set or got.
uint32_t SetDIBColorTable(HDC DC, uint32_t Start, uint32_t Count, const RGBQUAD* Colors);

// Copies Lines rows of Bitmap starting at row Start (counted from the bottom)
// into Bits in the format Info asks for (1, 4, 8, 24 or 32 bits, BI_RGB).
// With Bits nullptr only fills in Info's header (and colour table for <= 8
// bits) from the bitmap. Returns the rows copied, 0 on failure.
int32_t GetDIBits(HDC DC, HBITMAP Bitmap, uint32_t Start, uint32_t Lines, void* Bits, BITMAPINFO* Info,
                  uint32_t Usage);
// The reverse: sets rows of Bitmap from DIB Bits described by Info (1, 4, 8, 24, 32 bits).
int32_t SetDIBits(HDC DC, HBITMAP Bitmap, uint32_t Start, uint32_t Lines, const void* Bits,
                  const BITMAPINFO* Info, uint32_t Usage);

// Direct view of a bitmap's pixels, for code that presents or inspects them.
struct TSurfaceInfo {
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t BitCount = 0;
  int32_t BytesPerLine = 0;
  bool TopDown = false;     // row 0 of memory is the top row
  bool Monochrome = false;  // a monochrome device bitmap
  uint8_t* Bits = nullptr;  // start of the pixel memory
  uint8_t* ScanLine(int32_t Y) const {
    return Bits + static_cast<int64_t>(TopDown ? Y : Height - 1 - Y) * BytesPerLine;
  }
};
bool GetSurfaceInfo(HBITMAP Bitmap, TSurfaceInfo& Info);
// The colour of pixel (X, Y) of a bitmap (Y from the top), or clNone outside.
TColor GetBitmapPixel(HBITMAP Bitmap, int32_t X, int32_t Y);

// A window's retained back buffer: a 32-bit top-down surface (bytes blue,
// green, red, 0 per pixel) with its own memory DC. The DC stays the same
// across SetSize, which keeps the overlapping content and fills new area
// with the window colour (white).
class TWindowSurface {
public:
  TWindowSurface();
  ~TWindowSurface();
  TWindowSurface(const TWindowSurface&) = delete;
  TWindowSurface& operator=(const TWindowSurface&) = delete;

  void SetSize(int32_t Width, int32_t Height);
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  HDC DC() const { return FDC; }
  // Top-down rows of Stride() bytes; nullptr while the size is empty.
  const uint8_t* Pixels() const;
  uint8_t* Pixels();
  int32_t Stride() const { return FWidth * 4; }

private:
  HDC FDC = nullptr;
  HBITMAP FBitmap = nullptr;
  HBITMAP FOldBitmap = nullptr;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
};
