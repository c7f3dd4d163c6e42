// Window handles and the window tree: creation, parent and owner, bounds,
// z-order, visibility, enabling, styles, coordinates, painting requests,
// window scroll bars, capture, focus, activation and system metrics.
// Windows belong to the thread that created them; their messages go
// through that thread's queue (platform/ui/message_queue.h).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/gdi/types.h"
#include "platform/ui/messages.h"

// The window procedure: every message of a window passes through it.
using WNDPROC = std::function<LRESULT(HWND, uint32_t, WPARAM, LPARAM)>;

// Window styles.
enum : uint32_t {
  WS_OVERLAPPED = 0x00000000,
  WS_TABSTOP = 0x00010000,
  WS_MAXIMIZEBOX = 0x00010000,
  WS_GROUP = 0x00020000,
  WS_MINIMIZEBOX = 0x00020000,
  WS_THICKFRAME = 0x00040000,
  WS_SYSMENU = 0x00080000,
  WS_HSCROLL = 0x00100000,
  WS_VSCROLL = 0x00200000,
  WS_DLGFRAME = 0x00400000,
  WS_BORDER = 0x00800000,
  WS_CAPTION = 0x00C00000,
  WS_MAXIMIZE = 0x01000000,
  WS_CLIPCHILDREN = 0x02000000,
  WS_CLIPSIBLINGS = 0x04000000,
  WS_DISABLED = 0x08000000,
  WS_VISIBLE = 0x10000000,
  WS_MINIMIZE = 0x20000000,
  WS_CHILD = 0x40000000,
  WS_POPUP = 0x80000000,
  WS_OVERLAPPEDWINDOW = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX,
};
// Extended window styles.
enum : uint32_t {
  WS_EX_DLGMODALFRAME = 0x00000001,
  WS_EX_TOPMOST = 0x00000008,
  WS_EX_TRANSPARENT = 0x00000020,
  WS_EX_TOOLWINDOW = 0x00000080,
  WS_EX_WINDOWEDGE = 0x00000100,
  WS_EX_CLIENTEDGE = 0x00000200,
  WS_EX_CONTROLPARENT = 0x00010000,
  WS_EX_APPWINDOW = 0x00040000,
};
// Class styles (CreateParams' window class).
enum : uint32_t { CS_VREDRAW = 0x0001, CS_HREDRAW = 0x0002, CS_DBLCLKS = 0x0008 };

// GetWindowLong / SetWindowLong.
enum : int32_t { GWL_STYLE = -16, GWL_EXSTYLE = -20, GWL_ID = -12 };

// SetWindowPos.
inline HWND const HWND_TOP = nullptr;
extern HWND const HWND_BOTTOM;
extern HWND const HWND_TOPMOST;
extern HWND const HWND_NOTOPMOST;
enum : uint32_t {
  SWP_NOSIZE = 0x0001,
  SWP_NOMOVE = 0x0002,
  SWP_NOZORDER = 0x0004,
  SWP_NOREDRAW = 0x0008,
  SWP_NOACTIVATE = 0x0010,
  SWP_FRAMECHANGED = 0x0020,
  SWP_SHOWWINDOW = 0x0040,
  SWP_HIDEWINDOW = 0x0080,
  SWP_NOOWNERZORDER = 0x0200,
};
struct TWindowPos {
  HWND hwnd = nullptr;
  HWND hwndInsertAfter = nullptr;
  int32_t x = 0, y = 0, cx = 0, cy = 0;
  uint32_t flags = 0;
};
// WM_NCCALCSIZE: rgrc[0] is the proposed window rectangle (parent client
// coordinates) on entry and becomes the client rectangle on return.
struct TNCCalcSizeParams {
  TRect rgrc[3];
  TWindowPos* lppos = nullptr;
};
struct TMinMaxInfo {
  TPoint ptMaxSize, ptMaxPosition, ptMinTrackSize, ptMaxTrackSize;
};

// ShowWindow.
enum : int32_t {
  SW_HIDE = 0,
  SW_SHOWNORMAL = 1,
  SW_NORMAL = 1,
  SW_SHOWMINIMIZED = 2,
  SW_SHOWMAXIMIZED = 3,
  SW_MAXIMIZE = 3,
  SW_SHOWNOACTIVATE = 4,
  SW_SHOW = 5,
  SW_MINIMIZE = 6,
  SW_SHOWNA = 8,
  SW_RESTORE = 9,
};

// GetWindow relations.
enum : uint32_t { GW_HWNDFIRST = 0, GW_HWNDLAST = 1, GW_HWNDNEXT = 2, GW_HWNDPREV = 3, GW_OWNER = 4, GW_CHILD = 5 };

// RedrawWindow flags.
enum : uint32_t {
  RDW_INVALIDATE = 0x0001,
  RDW_ERASE = 0x0004,
  RDW_FRAME = 0x0400,
  RDW_ALLCHILDREN = 0x0080,
  RDW_UPDATENOW = 0x0100,
  RDW_ERASENOW = 0x0200,
  RDW_NOCHILDREN = 0x0040,
};

// ScrollWindowEx flags.
enum : uint32_t { SW_SCROLLCHILDREN = 0x0001, SW_INVALIDATE = 0x0002, SW_ERASE = 0x0004 };

// System metrics.
enum : int32_t {
  SM_CXSCREEN = 0,
  SM_CYSCREEN = 1,
  SM_CXVSCROLL = 2,
  SM_CYHSCROLL = 3,
  SM_CYCAPTION = 4,
  SM_CXBORDER = 5,
  SM_CYBORDER = 6,
  SM_CXDLGFRAME = 7,
  SM_CYDLGFRAME = 8,
  SM_CYVTHUMB = 9,
  SM_CXHTHUMB = 10,
  SM_CXICON = 11,
  SM_CYICON = 12,
  SM_CXCURSOR = 13,
  SM_CYCURSOR = 14,
  SM_CYMENU = 15,
  SM_CXFULLSCREEN = 16,
  SM_CYFULLSCREEN = 17,
  SM_CYVSCROLL = 20,
  SM_CXHSCROLL = 21,
  SM_CXMIN = 28,
  SM_CYMIN = 29,
  SM_CXSIZE = 30,
  SM_CYSIZE = 31,
  SM_CXFRAME = 32,
  SM_CYFRAME = 33,
  SM_CXDOUBLECLK = 36,
  SM_CYDOUBLECLK = 37,
  SM_CXEDGE = 45,
  SM_CYEDGE = 46,
  SM_CXSMICON = 49,
  SM_CYSMICON = 50,
  SM_CYSMCAPTION = 51,
  SM_CXSMSIZE = 52,
  SM_CYSMSIZE = 53,
  SM_CXDRAG = 68,
  SM_CYDRAG = 69,
};
enum : uint32_t { SPI_GETWORKAREA = 0x0030 };

// Scroll-bar information.
enum : uint32_t {
  SIF_RANGE = 0x0001,
  SIF_PAGE = 0x0002,
  SIF_POS = 0x0004,
  SIF_DISABLENOSCROLL = 0x0008,
  SIF_TRACKPOS = 0x0010,
  SIF_ALL = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS,
};
struct TScrollInfo {
  uint32_t fMask = 0;
  int32_t nMin = 0;
  int32_t nMax = 0;
  uint32_t nPage = 0;
  int32_t nPos = 0;
  int32_t nTrackPos = 0;
};

// GetDCEx.
enum : uint32_t {
  DCX_WINDOW = 0x0001,
  DCX_CACHE = 0x0002,
  DCX_CLIPCHILDREN = 0x0008,
  DCX_CLIPSIBLINGS = 0x0010,
  DCX_PARENTCLIP = 0x0020,
  DCX_EXCLUDERGN = 0x0040,
  DCX_INTERSECTRGN = 0x0080,
  DCX_LOCKWINDOWUPDATE = 0x0400,
};

struct TPaintStruct {
  HDC hdc = nullptr;
  bool fErase = false;
  TRect rcPaint;
};

// ---- creation and the tree ----
// Creates a window. For a WS_CHILD window Parent is its parent; otherwise
// Parent is the owner (or none) and the window is top-level. Sends
// WM_NCCREATE, WM_NCCALCSIZE and WM_CREATE; with WS_VISIBLE it is shown.
HWND CreateWindowEx(uint32_t ExStyle, const std::string& Caption, uint32_t Style, int32_t X, int32_t Y,
                    int32_t Width, int32_t Height, HWND Parent, WNDPROC WndProc, uint32_t ClassStyle = 0);
// Sends WM_DESTROY and WM_NCDESTROY to the window and its children (children
// first get theirs after the parent's WM_DESTROY), then frees them. Owned
// top-level windows are destroyed first.
bool DestroyWindow(HWND Wnd);
bool IsWindow(HWND Wnd);
// The default handling of every message.
LRESULT DefWindowProc(HWND Wnd, uint32_t Msg, WPARAM WParam, LPARAM LParam);
LRESULT CallWindowProc(const WNDPROC& Proc, HWND Wnd, uint32_t Msg, WPARAM WParam, LPARAM LParam);

// Re-parents a window. A null parent makes it top-level (it keeps its
// children and its bounds, now in screen coordinates as given by the style).
HWND SetParent(HWND Child, HWND NewParent);
HWND GetParent(HWND Wnd);  // parent of a child window, owner of a top-level one
// Sets the owner of a top-level window (its owner's top-level window is taken).
bool SetWindowOwner(HWND Wnd, HWND Owner);
HWND GetAncestorTopLevel(HWND Wnd);
HWND GetWindow(HWND Wnd, uint32_t Cmd);
bool IsChild(HWND Parent, HWND Wnd);
// Children of a window, topmost first.
std::vector<HWND> GetChildWindows(HWND Wnd);
HWND GetDesktopWindow();

// ---- styles, text, user data ----
int32_t GetWindowLong(HWND Wnd, int32_t Index);
int32_t SetWindowLong(HWND Wnd, int32_t Index, int32_t Value);
uint32_t GetWindowStyle(HWND Wnd);
uint32_t GetWindowExStyle(HWND Wnd);
bool SetWindowText(HWND Wnd, const std::string& Text);
std::string GetWindowText(HWND Wnd);
// A pointer the owner of the window keeps with it (the control classes keep
// their control here).
void SetWindowUserData(HWND Wnd, void* Data);
void* GetWindowUserData(HWND Wnd);

// ---- geometry ----
bool SetWindowPos(HWND Wnd, HWND InsertAfter, int32_t X, int32_t Y, int32_t Cx, int32_t Cy, uint32_t Flags);
bool GetWindowRect(HWND Wnd, TRect& Rect);  // screen coordinates
bool GetClientRect(HWND Wnd, TRect& Rect);  // (0, 0, client width, client height)
// The window's rectangle in its parent's client coordinates (screen
// coordinates for a top-level window).
TRect GetWindowBoundsInParent(HWND Wnd);
// Offset of the client area from the window's top-left corner.
TPoint GetClientOffset(HWND Wnd);
bool ClientToScreen(HWND Wnd, TPoint& P);
bool ScreenToClient(HWND Wnd, TPoint& P);
// The visible, enabled window under a screen point (deepest child).
HWND WindowFromPoint(TPoint P);
// The child of Parent (or Parent itself) at a point in Parent's client area;
// hidden and disabled children included.
HWND ChildWindowFromPoint(HWND Parent, TPoint P);

// ---- visibility, state, enabling ----
bool ShowWindow(HWND Wnd, int32_t Cmd);
bool IsWindowVisible(HWND Wnd);  // the window and all its parents shown
bool IsIconic(HWND Wnd);
bool IsZoomed(HWND Wnd);
bool EnableWindow(HWND Wnd, bool Enable);  // returns whether it was disabled before
bool IsWindowEnabled(HWND Wnd);

// ---- painting ----
bool InvalidateRect(HWND Wnd, const TRect* Rect, bool Erase);
bool UpdateWindow(HWND Wnd);
bool RedrawWindow(HWND Wnd, const TRect* Rect, uint32_t Flags);
HDC BeginPaint(HWND Wnd, TPaintStruct& Paint);
bool EndPaint(HWND Wnd, const TPaintStruct& Paint);
// A DC on the client area (GetDC) or the whole window (GetWindowDC) for
// drawing outside WM_PAINT; ReleaseDC shows what was drawn.
HDC GetDC(HWND Wnd);
HDC GetWindowDC(HWND Wnd);
HDC GetDCEx(HWND Wnd, HRGN Clip, uint32_t Flags);
int32_t ReleaseDC(HWND Wnd, HDC DC);
// Moves the client pixels by (Dx, Dy) within Clip (or the client area),
// invalidates what was uncovered, and with SW_SCROLLCHILDREN moves the
// child windows too.
int32_t ScrollWindowEx(HWND Wnd, int32_t Dx, int32_t Dy, const TRect* Scroll, const TRect* Clip, HRGN Update,
                       TRect* UpdateRect, uint32_t Flags);
bool ScrollWindow(HWND Wnd, int32_t Dx, int32_t Dy, const TRect* Scroll, const TRect* Clip);
// While a window is locked, drawing on it is not shown; null unlocks.
bool LockWindowUpdate(HWND Wnd);

// ---- window scroll bars (SB_HORZ, SB_VERT) ----
// A bar shows only while its range (max - min + 1) exceeds its page; showing
// or hiding it changes the client area and sends WM_SIZE.
int32_t SetScrollInfo(HWND Wnd, int32_t Bar, const TScrollInfo& Info, bool Redraw);
int32_t SetScrollPos(HWND Wnd, int32_t Bar, int32_t Pos, bool Redraw);
int32_t GetScrollPos(HWND Wnd, int32_t Bar);
bool IsScrollBarShown(HWND Wnd, int32_t Bar);

// ---- capture, focus, activation ----
// The window gets all mouse input until released; the previous holder gets
// WM_CAPTURECHANGED.
HWND SetCapture(HWND Wnd);
bool ReleaseCapture();
HWND GetCapture();
HWND SetFocus(HWND Wnd);
HWND GetFocus();
HWND SetActiveWindow(HWND Wnd);
HWND GetActiveWindow();
HWND GetForegroundWindow();

// ---- pointer and keys ----
// The pointer position and key state as of the last input message that
// was retrieved from the queue.
bool GetCursorPos(TPoint& P);
// High bit set (negative) while the key is down; low bit toggles.
int16_t GetKeyState(int32_t VirtKey);
uint32_t GetDoubleClickTime();

// ---- metrics ----
int32_t GetSystemMetrics(int32_t Index);
bool SystemParametersInfo(uint32_t Action, uint32_t Param, void* Data, uint32_t WinIni);
