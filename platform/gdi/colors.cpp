#include "platform/gdi/colors.h"

#include "platform/gdi/types.h"

const TColor VGAColors[16] = {clBlack, clMaroon, clGreen, clOlive, clNavy, clPurple, clTeal, clSilver,
                              clGray,  clRed,    clLime,  clYellow, clBlue, clFuchsia, clAqua, clWhite};

TColor GetSysColor(int32_t Index) {
  // The classic grey scheme.
  static constexpr TColor scheme[COLOR_ENDCOLORS] = {
      0xC0C0C0,  // scroll bar
      0x808000,  // desktop background
      0x800000,  // active caption (navy)
      0x808080,  // inactive caption
      0xC0C0C0,  // menu
      0xFFFFFF,  // window
      0x000000,  // window frame
      0x000000,  // menu text
      0x000000,  // window text
      0xFFFFFF,  // caption text
      0xC0C0C0,  // active border
      0xC0C0C0,  // inactive border
      0x808080,  // app workspace
      0x800000,  // highlight
      0xFFFFFF,  // highlight text
      0xC0C0C0,  // button face
      0x808080,  // button shadow
      0x808080,  // grey text
      0x000000,  // button text
      0xC0C0C0,  // inactive caption text
      0xFFFFFF,  // button highlight
      0x000000,  // 3D dark shadow
      0xC0C0C0,  // 3D light
      0x000000,  // info text
      0xE1FFFF,  // info background
  };
  if (Index < 0 || Index >= COLOR_ENDCOLORS) return 0;
  return scheme[Index];
}

TColor ColorToRGB(TColor Color) {
  if (Color & 0x80000000u) return GetSysColor(static_cast<int32_t>(Color & 0xFF));
  return Color;
}

bool IntersectRect(TRect& Dst, const TRect& A, const TRect& B) {
  TRect r{A.Left > B.Left ? A.Left : B.Left, A.Top > B.Top ? A.Top : B.Top,
          A.Right < B.Right ? A.Right : B.Right, A.Bottom < B.Bottom ? A.Bottom : B.Bottom};
  if (IsRectEmpty(r)) {
    Dst = TRect{};
    return false;
  }
  Dst = r;
  return true;
}

bool UnionRect(TRect& Dst, const TRect& A, const TRect& B) {
  if (IsRectEmpty(A)) Dst = B;
  else if (IsRectEmpty(B)) Dst = A;
  else
    Dst = TRect{A.Left < B.Left ? A.Left : B.Left, A.Top < B.Top ? A.Top : B.Top,
                A.Right > B.Right ? A.Right : B.Right, A.Bottom > B.Bottom ? A.Bottom : B.Bottom};
  if (IsRectEmpty(Dst)) {
    Dst = TRect{};
    return false;
  }
  return true;
}

bool PtInRect(const TRect& R, const TPoint& P) {
  return P.X >= R.Left && P.X < R.Right && P.Y >= R.Top && P.Y < R.Bottom;
}

void OffsetRect(TRect& R, int32_t dx, int32_t dy) {
  R.Left += dx;
  R.Right += dx;
  R.Top += dy;
  R.Bottom += dy;
}

void InflateRect(TRect& R, int32_t dx, int32_t dy) {
  R.Left -= dx;
  R.Right += dx;
  R.Top -= dy;
  R.Bottom += dy;
}
