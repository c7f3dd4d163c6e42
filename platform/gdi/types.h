// Basic drawing types: colours, points, rectangles and GDI object handles.
#pragma once

#include <cstdint>

// 0x00BBGGRR; system colours have the high bit set.
using TColor = uint32_t;

struct TPoint {
  int32_t X = 0;
  int32_t Y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
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
inline TPoint Point(int32_t x, int32_t y) { return TPoint{x, y}; }

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
