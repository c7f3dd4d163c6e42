// Basic drawing types: colours, points, sizes, rectangles and GDI object handles.
#pragma once

#include <cstdint>

// 0x00BBGGRR; system colours have the high bit set.
using TColor = uint32_t;
using COLORREF = uint32_t;

struct TPoint {
  int32_t X = 0;
  int32_t Y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

struct TSize {
  int32_t cx = 0;
  int32_t cy = 0;
  friend bool operator==(const TSize&, const TSize&) = default;
};

struct TRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
  friend bool operator==(const TRect&, const TRect&) = default;
};

inline TRect Rect(int32_t l, int32_t t, int32_t r, int32_t b) { return TRect{l, t, r, b}; }
inline TRect Bounds(int32_t l, int32_t t, int32_t w, int32_t h) { return TRect{l, t, l + w, t + h}; }
inline TPoint Point(int32_t x, int32_t y) { return TPoint{x, y}; }

// Rectangle helpers with the usual meaning: empty when no pixel is inside.
inline bool IsRectEmpty(const TRect& r) { return r.Right <= r.Left || r.Bottom <= r.Top; }
bool IntersectRect(TRect& Dst, const TRect& A, const TRect& B);
bool UnionRect(TRect& Dst, const TRect& A, const TRect& B);
bool PtInRect(const TRect& R, const TPoint& P);
void OffsetRect(TRect& R, int32_t dx, int32_t dy);
void InflateRect(TRect& R, int32_t dx, int32_t dy);

// GDI object handles are opaque pointers; 0 (nullptr) is "no object".
struct GdiObject;
struct DeviceContext;
using HGDIOBJ = GdiObject*;
using HBITMAP = GdiObject*;
using HPALETTE = GdiObject*;
using HBRUSH = GdiObject*;
using HPEN = GdiObject*;
using HFONT = GdiObject*;
using HRGN = GdiObject*;
using HDC = DeviceContext*;
