// Window messages, their parameters and the codes that travel with them.
// Numbers follow the classic desktop conventions so that message ranges
// (all mouse messages, all key messages) filter as the controls expect.
#pragma once

#include <cstdint>

#include "platform/gdi/types.h"

using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

// A window handle: an opaque id that stays safe to pass around after the
// window is gone (IsWindow answers false, calls on it do nothing).
struct HWND__;
using HWND = HWND__*;

// One queued message, as GetMessage and PeekMessage return it.
struct TMsg {
  HWND hwnd = nullptr;
  uint32_t message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  uint32_t time = 0;  // tick count when it was queued
  TPoint pt;          // pointer position (screen) when it was queued
};

// A message as the control classes see it: handlers set Result.
struct TMessage {
  uint32_t Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
};

inline uint16_t LoWord(uintptr_t v) { return static_cast<uint16_t>(v & 0xFFFF); }
inline uint16_t HiWord(uintptr_t v) { return static_cast<uint16_t>((v >> 16) & 0xFFFF); }
inline LPARAM MakeLParam(int32_t lo, int32_t hi) {
  return static_cast<LPARAM>(static_cast<uint32_t>((static_cast<uint32_t>(lo) & 0xFFFF) |
                                                   ((static_cast<uint32_t>(hi) & 0xFFFF) << 16)));
}
// Signed coordinates packed in a mouse message's LParam.
inline int32_t GetXLParam(LPARAM l) { return static_cast<int16_t>(l & 0xFFFF); }
inline int32_t GetYLParam(LPARAM l) { return static_cast<int16_t>((l >> 16) & 0xFFFF); }
inline TPoint PointFromLParam(LPARAM l) { return TPoint{GetXLParam(l), GetYLParam(l)}; }

// Scroll messages carry the code in the low word and the 32-bit position
// in the upper half of WParam (the high word of the low half holds its low
// 16 bits for code that reads it the short way).
inline WPARAM MakeScrollWParam(uint32_t Code, int32_t Pos) {
  uint64_t p = static_cast<uint32_t>(Pos);
  return static_cast<WPARAM>((p << 32) | ((p & 0xFFFF) << 16) | (Code & 0xFFFF));
}
inline uint32_t ScrollCode(WPARAM w) { return LoWord(w); }
inline int32_t ScrollPos(WPARAM w) { return static_cast<int32_t>(static_cast<uint64_t>(w) >> 32); }

enum : uint32_t {
  WM_NULL = 0x0000,
  WM_CREATE = 0x0001,
  WM_DESTROY = 0x0002,
  WM_MOVE = 0x0003,
  WM_SIZE = 0x0005,
  WM_ACTIVATE = 0x0006,
  WM_SETFOCUS = 0x0007,
  WM_KILLFOCUS = 0x0008,
  WM_ENABLE = 0x000A,
  WM_SETTEXT = 0x000C,
  WM_PAINT = 0x000F,
  WM_CLOSE = 0x0010,
  WM_QUIT = 0x0012,
  WM_ERASEBKGND = 0x0014,
  WM_SHOWWINDOW = 0x0018,
  WM_ACTIVATEAPP = 0x001C,
  WM_CANCELMODE = 0x001F,
  WM_SETCURSOR = 0x0020,
  WM_MOUSEACTIVATE = 0x0021,
  WM_GETMINMAXINFO = 0x0024,
  WM_WINDOWPOSCHANGING = 0x0046,
  WM_WINDOWPOSCHANGED = 0x0047,
  WM_DISPLAYCHANGE = 0x007E,
  WM_NOTIFY = 0x004E,
  WM_NCCREATE = 0x0081,
  WM_NCDESTROY = 0x0082,
  WM_NCCALCSIZE = 0x0083,
  WM_NCHITTEST = 0x0084,
  WM_NCPAINT = 0x0085,
  WM_NCACTIVATE = 0x0086,
  WM_NCMOUSEMOVE = 0x00A0,
  WM_NCLBUTTONDOWN = 0x00A1,
  WM_NCLBUTTONUP = 0x00A2,
  WM_NCLBUTTONDBLCLK = 0x00A3,
  WM_NCRBUTTONDOWN = 0x00A4,
  WM_NCRBUTTONUP = 0x00A5,
  WM_KEYFIRST = 0x0100,
  WM_KEYDOWN = 0x0100,
  WM_KEYUP = 0x0101,
  WM_CHAR = 0x0102,
  WM_SYSKEYDOWN = 0x0104,
  WM_SYSKEYUP = 0x0105,
  WM_SYSCHAR = 0x0106,
  WM_KEYLAST = 0x0108,
  WM_INITDIALOG = 0x0110,
  WM_COMMAND = 0x0111,
  WM_SYSCOMMAND = 0x0112,
  WM_TIMER = 0x0113,
  WM_HSCROLL = 0x0114,
  WM_VSCROLL = 0x0115,
  WM_ENTERIDLE = 0x0121,
  WM_CTLCOLORSTATIC = 0x0138,
  WM_MOUSEFIRST = 0x0200,
  WM_MOUSEMOVE = 0x0200,
  WM_LBUTTONDOWN = 0x0201,
  WM_LBUTTONUP = 0x0202,
  WM_LBUTTONDBLCLK = 0x0203,
  WM_RBUTTONDOWN = 0x0204,
  WM_RBUTTONUP = 0x0205,
  WM_RBUTTONDBLCLK = 0x0206,
  WM_MBUTTONDOWN = 0x0207,
  WM_MBUTTONUP = 0x0208,
  WM_MBUTTONDBLCLK = 0x0209,
  WM_MOUSEWHEEL = 0x020A,
  WM_MOUSELAST = 0x020A,
  WM_CAPTURECHANGED = 0x0215,
  WM_MOUSELEAVE = 0x02A3,
  WM_DRAWCLIPBOARD = 0x0308,
  WM_CHANGECBCHAIN = 0x030D,
  WM_QUERYNEWPALETTE = 0x030F,
  WM_PALETTECHANGED = 0x0311,
  WM_USER = 0x0400,
  WM_APP = 0x8000,
};

// Messages of the control classes (component notifications). CN_ messages
// are reflected notifications: a parent hands a child's notification back
// to the child.
enum : uint32_t {
  CM_BASE = 0xB000,
  CM_ACTIVATE = CM_BASE + 0,
  CM_DEACTIVATE = CM_BASE + 1,
  CM_ENABLEDCHANGED = CM_BASE + 3,
  CM_COLORCHANGED = CM_BASE + 4,
  CM_FONTCHANGED = CM_BASE + 5,
  CM_CURSORCHANGED = CM_BASE + 6,
  CM_CTL3DCHANGED = CM_BASE + 7,
  CM_PARENTCOLORCHANGED = CM_BASE + 9,
  CM_PARENTFONTCHANGED = CM_BASE + 10,
  CM_PARENTSHOWHINTCHANGED = CM_BASE + 12,
  CM_SYSCOLORCHANGE = CM_BASE + 13,
  CM_SHOWHINTCHANGED = CM_BASE + 17,
  CM_VISIBLECHANGED = CM_BASE + 19,
  CM_ENTER = CM_BASE + 20,
  CM_EXIT = CM_BASE + 21,
  CM_BUTTONPRESSED = CM_BASE + 23,
  CM_DIALOGCHAR = CM_BASE + 25,
  CM_CONTROLLISTCHANGE = CM_BASE + 33,
  CM_TEXTCHANGED = CM_BASE + 18,
  CM_MOUSEENTER = CM_BASE + 19 + 0x100,
  CM_MOUSELEAVE = CM_BASE + 20 + 0x100,
  CM_RELEASE = CM_BASE + 33 + 0x100,
  CM_INVOKE = CM_BASE + 34 + 0x100,  // runs a queued function (synchronisation)
  // The desktop (de)activated the application: WParam 1 or 0; 2 when it gave
  // a window a key while none of ours was active.
  CM_DESKTOPACTIVATE = CM_BASE + 35 + 0x100,
  CN_BASE = 0xBC00,
  CN_CTLCOLORSTATIC = CN_BASE + WM_CTLCOLORSTATIC,
  CN_COMMAND = CN_BASE + WM_COMMAND,
  CN_NOTIFY = CN_BASE + WM_NOTIFY,
};

// PeekMessage options.
enum : uint32_t { PM_NOREMOVE = 0x0000, PM_REMOVE = 0x0001, PM_NOYIELD = 0x0002 };

// Hit-test codes of WM_NCHITTEST.
enum : int32_t {
  HTERROR = -2,
  HTTRANSPARENT = -1,
  HTNOWHERE = 0,
  HTCLIENT = 1,
  HTCAPTION = 2,
  HTSYSMENU = 3,
  HTHSCROLL = 6,
  HTVSCROLL = 7,
  HTMINBUTTON = 8,
  HTMAXBUTTON = 9,
  HTLEFT = 10,
  HTRIGHT = 11,
  HTTOP = 12,
  HTTOPLEFT = 13,
  HTTOPRIGHT = 14,
  HTBOTTOM = 15,
  HTBOTTOMLEFT = 16,
  HTBOTTOMRIGHT = 17,
  HTBORDER = 18,
  HTCLOSE = 20,
};

// Scroll-bar codes of WM_HSCROLL and WM_VSCROLL.
enum : uint32_t {
  SB_LINEUP = 0,
  SB_LINELEFT = 0,
  SB_LINEDOWN = 1,
  SB_LINERIGHT = 1,
  SB_PAGEUP = 2,
  SB_PAGELEFT = 2,
  SB_PAGEDOWN = 3,
  SB_PAGERIGHT = 3,
  SB_THUMBPOSITION = 4,
  SB_THUMBTRACK = 5,
  SB_TOP = 6,
  SB_LEFT = 6,
  SB_BOTTOM = 7,
  SB_RIGHT = 7,
  SB_ENDSCROLL = 8,
};
// Which scroll bar: SetScrollInfo and friends.
enum : int32_t { SB_HORZ = 0, SB_VERT = 1, SB_CTL = 2, SB_BOTH = 3 };

// Mouse-message key state (WParam of mouse messages).
enum : uint32_t {
  MK_LBUTTON = 0x0001,
  MK_RBUTTON = 0x0002,
  MK_SHIFT = 0x0004,
  MK_CONTROL = 0x0008,
  MK_MBUTTON = 0x0010,
};

// WM_SIZE kinds.
enum : uint32_t { SIZE_RESTORED = 0, SIZE_MINIMIZED = 1, SIZE_MAXIMIZED = 2 };
// WM_ACTIVATE states.
enum : uint32_t { WA_INACTIVE = 0, WA_ACTIVE = 1, WA_CLICKACTIVE = 2 };
// WM_MOUSEACTIVATE results.
enum : int32_t { MA_ACTIVATE = 1, MA_ACTIVATEANDEAT = 2, MA_NOACTIVATE = 3, MA_NOACTIVATEANDEAT = 4 };

// Virtual keys.
enum : uint32_t {
  VK_LBUTTON = 0x01,
  VK_RBUTTON = 0x02,
  VK_CANCEL = 0x03,
  VK_MBUTTON = 0x04,
  VK_BACK = 0x08,
  VK_TAB = 0x09,
  VK_RETURN = 0x0D,
  VK_SHIFT = 0x10,
  VK_CONTROL = 0x11,
  VK_MENU = 0x12,
  VK_PAUSE = 0x13,
  VK_CAPITAL = 0x14,
  VK_ESCAPE = 0x1B,
  VK_SPACE = 0x20,
  VK_PRIOR = 0x21,
  VK_NEXT = 0x22,
  VK_END = 0x23,
  VK_HOME = 0x24,
  VK_LEFT = 0x25,
  VK_UP = 0x26,
  VK_RIGHT = 0x27,
  VK_DOWN = 0x28,
  VK_INSERT = 0x2D,
  VK_DELETE = 0x2E,
  VK_F1 = 0x70,
  VK_F2 = 0x71,
  VK_F3 = 0x72,
  VK_F4 = 0x73,
  VK_F5 = 0x74,
  VK_F10 = 0x79,
  VK_F11 = 0x7A,
  VK_F12 = 0x7B,
};
