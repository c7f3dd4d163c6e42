// Mouse cursors: the stock shapes, monochrome cursors made from AND and XOR
// masks, and the current cursor (SetCursor), which the desktop shows while
// the pointer is over one of our windows.
#pragma once

#include <cstdint>
#include <vector>

struct TCursorObject;
using HCURSOR = TCursorObject*;
using HICON = TCursorObject*;

// Stock cursor identities for LoadCursor(nullptr, Id).
enum : uintptr_t {
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

struct TCursorObject {
  uintptr_t StockId = 0;  // 0 for a cursor made from masks
  int32_t HotX = 0, HotY = 0, Width = 0, Height = 0;
  // Rows top-down, each padded to 16 bits, as CreateCursor takes them.
  std::vector<uint8_t> AndMask, XorMask;
};

// A stock cursor (Instance must be null). nullptr for an unknown id.
HCURSOR LoadCursor(void* Instance, uintptr_t Id);
// A monochrome cursor: screen = (screen AND and-mask) XOR xor-mask. Masks are
// Height rows of Width bits, each row padded to 16 bits.
HCURSOR CreateCursor(void* Instance, int32_t HotX, int32_t HotY, int32_t Width, int32_t Height, const void* AndMask,
                     const void* XorMask);
bool DestroyCursor(HCURSOR Cursor);
// Sets the cursor shown now; returns the previous one.
HCURSOR SetCursor(HCURSOR Cursor);
HCURSOR GetCursor();
