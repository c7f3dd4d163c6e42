// Cursors as data: monochrome cursors made from AND and XOR masks with a hot
// spot, and the stock cursor identities. The window layer shows them.
#pragma once

#include <cstdint>
#include <vector>

struct CursorObject;
using HCURSOR = CursorObject*;

// Cursor numbers of the screen's cursor list; negative numbers are stock.
using TCursor = int16_t;
constexpr TCursor crDefault = 0;
constexpr TCursor crNone = -1;
constexpr TCursor crArrow = -2;
constexpr TCursor crCross = -3;
constexpr TCursor crIBeam = -4;
constexpr TCursor crSizeNESW = -6;
constexpr TCursor crSizeNS = -7;
constexpr TCursor crSizeNWSE = -8;
constexpr TCursor crSizeWE = -9;
constexpr TCursor crUpArrow = -10;
constexpr TCursor crHourGlass = -11;
constexpr TCursor crDrag = -12;
constexpr TCursor crNoDrop = -13;
constexpr TCursor crHSplit = -14;
constexpr TCursor crVSplit = -15;
constexpr TCursor crMultiDrag = -16;
constexpr TCursor crSQLWait = -17;
constexpr TCursor crNo = -18;
constexpr TCursor crAppStart = -19;
constexpr TCursor crHelp = -20;
constexpr TCursor crHandPoint = -21;
constexpr TCursor crSizeAll = -22;

// Stock cursor identities (LoadCursor with no instance).
enum : intptr_t {
  IDC_ARROW = 32512,
  IDC_IBEAM = 32513,
  IDC_WAIT = 32514,
  IDC_CROSS = 32515,
  IDC_UPARROW = 32516,
  IDC_SIZENWSE = 32642,
  IDC_SIZENESW = 32643,
  IDC_SIZEWE = 32644,
  IDC_SIZENS = 32645,
  IDC_SIZEALL = 32646,
  IDC_NO = 32648,
  IDC_HAND = 32649,
  IDC_APPSTARTING = 32650,
  IDC_HELP = 32651,
};

// A cursor made from masks of Width x Height pixels, 1 bit per pixel, rows
// of ((Width + 15) / 16) * 2 bytes, top row first. Per pixel (AND, XOR):
// (0, 0) black, (0, 1) white, (1, 0) transparent, (1, 1) inverts the screen.
// nullptr for sizes outside 1..256 or missing masks.
HCURSOR CreateCursor(void* Instance, int32_t XHotSpot, int32_t YHotSpot, int32_t Width, int32_t Height,
                     const void* AndMask, const void* XorMask);
bool DestroyCursor(HCURSOR Cursor);
// Stock cursors (Instance nullptr, Name an IDC_ value); nullptr otherwise.
// Stock cursors are never destroyed.
HCURSOR LoadCursor(void* Instance, intptr_t Name);
// The stock cursor for a stock cursor number (crArrow, ...); crDefault and
// unknown numbers give the arrow, crNone nullptr.
HCURSOR StockCursor(TCursor Cursor);

enum TCursorPixel : uint8_t { cpBlack, cpWhite, cpTransparent, cpInvert };
struct TCursorInfo {
  intptr_t StockId = 0;  // an IDC_ value for stock cursors, 0 for made ones
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t HotX = 0;
  int32_t HotY = 0;
  std::vector<uint8_t> AndMask;
  std::vector<uint8_t> XorMask;
  TCursorPixel Pixel(int32_t X, int32_t Y) const;
};
bool GetCursorInfo(HCURSOR Cursor, TCursorInfo& Info);
