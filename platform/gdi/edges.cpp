// DrawEdge and DrawFrameControl.
#include "platform/gdi/edges.h"

#include <algorithm>

#include "platform/gdi/colors.h"
#include "platform/gdi/dc.h"

namespace {

void HLine(HDC DC, int32_t X0, int32_t X1, int32_t Y, TColor C) {
  HBRUSH b = CreateSolidBrush(C);
  FillRect(DC, Rect(X0, Y, X1, Y + 1), b);
  DeleteObject(b);
}

void VLine(HDC DC, int32_t X, int32_t Y0, int32_t Y1, TColor C) {
  HBRUSH b = CreateSolidBrush(C);
  FillRect(DC, Rect(X, Y0, X + 1, Y1), b);
  DeleteObject(b);
}

// One ring of the edge: top-left colour TL, bottom-right colour BR.
void Ring(HDC DC, TRect& R, uint32_t Flags, TColor TL, TColor BR) {
  if (IsRectEmpty(R)) return;
  if (Flags & BF_BOTTOM) HLine(DC, R.Left, R.Right, R.Bottom - 1, BR);
  if (Flags & BF_RIGHT) VLine(DC, R.Right - 1, R.Top, R.Bottom, BR);
  if (Flags & BF_TOP) HLine(DC, R.Left, R.Right - ((Flags & BF_RIGHT) ? 1 : 0), R.Top, TL);
  if (Flags & BF_LEFT) VLine(DC, R.Left, R.Top, R.Bottom - ((Flags & BF_BOTTOM) ? 1 : 0), TL);
  if (Flags & BF_LEFT) ++R.Left;
  if (Flags & BF_TOP) ++R.Top;
  if (Flags & BF_RIGHT) --R.Right;
  if (Flags & BF_BOTTOM) --R.Bottom;
}

}  // namespace

bool DrawEdge(HDC DC, TRect* R, uint32_t Edge, uint32_t Flags) {
  if (!DC || !R) return false;
  TRect r = *R;
  TColor light = GetSysColor(COLOR_3DLIGHT), dark = GetSysColor(COLOR_3DDKSHADOW),
         hi = GetSysColor(COLOR_BTNHIGHLIGHT), shadow = GetSysColor(COLOR_BTNSHADOW);
  bool soft = (Flags & BF_SOFT) != 0;
  if (Flags & BF_MONO) {
    light = hi = GetSysColor(COLOR_WINDOW);
    dark = shadow = GetSysColor(COLOR_WINDOWFRAME);
  } else if (Flags & BF_FLAT) {
    light = hi = dark = shadow = GetSysColor(COLOR_BTNSHADOW);
  }
  if (Edge & BDR_RAISEDOUTER) Ring(DC, r, Flags, soft ? hi : light, dark);
  else if (Edge & BDR_SUNKENOUTER) Ring(DC, r, Flags, soft ? dark : shadow, hi);
  if (Edge & BDR_RAISEDINNER) Ring(DC, r, Flags, soft ? light : hi, shadow);
  else if (Edge & BDR_SUNKENINNER) Ring(DC, r, Flags, soft ? shadow : dark, light);
  if ((Flags & BF_MIDDLE) && !IsRectEmpty(r)) {
    HBRUSH b = CreateSolidBrush(GetSysColor((Flags & BF_MONO) ? COLOR_WINDOW : COLOR_BTNFACE));
    FillRect(DC, r, b);
    DeleteObject(b);
  }
  if (Flags & BF_ADJUST) *R = r;
  return true;
}

bool DrawFrameControl(HDC DC, TRect* R, uint32_t Type, uint32_t State) {
  if (!DC || !R || Type != DFC_CAPTION) return false;
  TRect r = *R;
  bool pushed = (State & DFCS_PUSHED) != 0;
  if (State & DFCS_FLAT) {
    HBRUSH b = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    FillRect(DC, r, b);
    DeleteObject(b);
  } else {
    DrawEdge(DC, &r, pushed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_MIDDLE | BF_ADJUST | (pushed ? 0u : uint32_t(BF_SOFT)));
  }
  // The glyph: a square area in the middle, moved by one pixel when pushed.
  int32_t w = r.Right - r.Left, h = r.Bottom - r.Top;
  int32_t size = std::min(w, h) - std::max(2, std::min(w, h) / 4) * 2 + 2;
  if (size < 3) return true;
  int32_t x0 = r.Left + (w - size) / 2 + (pushed ? 1 : 0), y0 = r.Top + (h - size) / 2 + (pushed ? 1 : 0);
  auto glyph = [&](int32_t dx, int32_t dy, TColor c) {
    int32_t thick = size >= 8 ? 2 : 1;
    switch (State & 0xFF) {
      case DFCS_CAPTIONCLOSE:
        for (int32_t i = 0; i < size; ++i)
          for (int32_t t = 0; t < thick && i + t < size; ++t) {
            SetPixel(DC, x0 + dx + i + t, y0 + dy + i, c);
            SetPixel(DC, x0 + dx + size - 1 - i - t, y0 + dy + i, c);
          }
        break;
      case DFCS_CAPTIONMIN: HLine(DC, x0 + dx, x0 + dx + size, y0 + dy + size - 2, c); break;
      default: {
        TRect f = Rect(x0 + dx, y0 + dy, x0 + dx + size, y0 + dy + size);
        HBRUSH b = CreateSolidBrush(c);
        FrameRect(DC, f, b);
        FillRect(DC, Rect(f.Left, f.Top, f.Right, f.Top + 2), b);
        DeleteObject(b);
      }
    }
  };
  if (State & DFCS_INACTIVE) {
    glyph(1, 1, GetSysColor(COLOR_BTNHIGHLIGHT));
    glyph(0, 0, GetSysColor(COLOR_GRAYTEXT));
  } else {
    glyph(0, 0, GetSysColor(COLOR_BTNTEXT));
  }
  return true;
}
