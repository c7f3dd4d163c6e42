// Colour values: named colours, the system colours with their fixed classic
// scheme, and the conversions between colour forms.
#pragma once

#include <cstdint>
#include <string>

#include "platform/gdi/types.h"

constexpr TColor RGB(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<TColor>(r) | (static_cast<TColor>(g) << 8) | (static_cast<TColor>(b) << 16);
}
constexpr uint8_t GetRValue(TColor c) { return static_cast<uint8_t>(c); }
constexpr uint8_t GetGValue(TColor c) { return static_cast<uint8_t>(c >> 8); }
constexpr uint8_t GetBValue(TColor c) { return static_cast<uint8_t>(c >> 16); }
// A colour matched against the selected palette (treated as plain RGB here).
constexpr TColor PALETTERGB(uint8_t r, uint8_t g, uint8_t b) { return 0x02000000u | RGB(r, g, b); }

// System colour indexes.
enum : int32_t {
  COLOR_SCROLLBAR = 0,
  COLOR_BACKGROUND = 1,
  COLOR_ACTIVECAPTION = 2,
  COLOR_INACTIVECAPTION = 3,
  COLOR_MENU = 4,
  COLOR_WINDOW = 5,
  COLOR_WINDOWFRAME = 6,
  COLOR_MENUTEXT = 7,
  COLOR_WINDOWTEXT = 8,
  COLOR_CAPTIONTEXT = 9,
  COLOR_ACTIVEBORDER = 10,
  COLOR_INACTIVEBORDER = 11,
  COLOR_APPWORKSPACE = 12,
  COLOR_HIGHLIGHT = 13,
  COLOR_HIGHLIGHTTEXT = 14,
  COLOR_BTNFACE = 15,
  COLOR_BTNSHADOW = 16,
  COLOR_GRAYTEXT = 17,
  COLOR_BTNTEXT = 18,
  COLOR_INACTIVECAPTIONTEXT = 19,
  COLOR_BTNHIGHLIGHT = 20,
  COLOR_3DDKSHADOW = 21,
  COLOR_3DLIGHT = 22,
  COLOR_INFOTEXT = 23,
  COLOR_INFOBK = 24,
  COLOR_ENDCOLORS = 25,
  COLOR_3DFACE = COLOR_BTNFACE,
  COLOR_3DSHADOW = COLOR_BTNSHADOW,
  COLOR_3DHIGHLIGHT = COLOR_BTNHIGHLIGHT,
  COLOR_3DHILIGHT = COLOR_BTNHIGHLIGHT,
  COLOR_BTNHILIGHT = COLOR_BTNHIGHLIGHT,
};

// The fixed classic scheme (0x00BBGGRR) of system colour Index; black for an unknown index.
TColor GetSysColor(int32_t Index);

// Named colours.
constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clLtGray = 0xC0C0C0;
constexpr TColor clDkGray = 0x808080;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

// System colours: the high bit and the system colour index.
constexpr TColor clScrollBar = 0x80000000u | COLOR_SCROLLBAR;
constexpr TColor clBackground = 0x80000000u | COLOR_BACKGROUND;
constexpr TColor clActiveCaption = 0x80000000u | COLOR_ACTIVECAPTION;
constexpr TColor clInactiveCaption = 0x80000000u | COLOR_INACTIVECAPTION;
constexpr TColor clMenu = 0x80000000u | COLOR_MENU;
constexpr TColor clWindow = 0x80000000u | COLOR_WINDOW;
constexpr TColor clWindowFrame = 0x80000000u | COLOR_WINDOWFRAME;
constexpr TColor clMenuText = 0x80000000u | COLOR_MENUTEXT;
constexpr TColor clWindowText = 0x80000000u | COLOR_WINDOWTEXT;
constexpr TColor clCaptionText = 0x80000000u | COLOR_CAPTIONTEXT;
constexpr TColor clActiveBorder = 0x80000000u | COLOR_ACTIVEBORDER;
constexpr TColor clInactiveBorder = 0x80000000u | COLOR_INACTIVEBORDER;
constexpr TColor clAppWorkSpace = 0x80000000u | COLOR_APPWORKSPACE;
constexpr TColor clHighlight = 0x80000000u | COLOR_HIGHLIGHT;
constexpr TColor clHighlightText = 0x80000000u | COLOR_HIGHLIGHTTEXT;
constexpr TColor clBtnFace = 0x80000000u | COLOR_BTNFACE;
constexpr TColor clBtnShadow = 0x80000000u | COLOR_BTNSHADOW;
constexpr TColor clGrayText = 0x80000000u | COLOR_GRAYTEXT;
constexpr TColor clBtnText = 0x80000000u | COLOR_BTNTEXT;
constexpr TColor clInactiveCaptionText = 0x80000000u | COLOR_INACTIVECAPTIONTEXT;
constexpr TColor clBtnHighlight = 0x80000000u | COLOR_BTNHIGHLIGHT;
constexpr TColor cl3DDkShadow = 0x80000000u | COLOR_3DDKSHADOW;
constexpr TColor cl3DLight = 0x80000000u | COLOR_3DLIGHT;
constexpr TColor clInfoText = 0x80000000u | COLOR_INFOTEXT;
constexpr TColor clInfoBk = 0x80000000u | COLOR_INFOBK;

// A system colour becomes its scheme colour; any other colour is returned as it is.
TColor ColorToRGB(TColor Color);

// The 16 VGA colours in their usual order (black, maroon, green, olive, navy,
// purple, teal, silver, grey, red, lime, yellow, blue, fuchsia, aqua, white).
extern const TColor VGAColors[16];
