// The default non-client protocol: frame sizes (WM_NCCALCSIZE), hit testing
// (WM_NCHITTEST), frame and scroll-bar painting (WM_NCPAINT), and the
// window scroll bars with their mouse tracking.
#include <algorithm>

#include "platform/gdi/colors.h"
#include "platform/gdi/dc.h"
#include "platform/gdi/objects.h"
#include "platform/gdi/text.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/window.h"
#include "platform/ui/window_internal.h"

using namespace ui_internal;

namespace {

bool In(const TRect& R, TPoint P) { return P.X >= R.Left && P.X < R.Right && P.Y >= R.Top && P.Y < R.Bottom; }

// Frame thickness of a window by its style.
int32_t FrameWidth(const TWindowRec* W) {
  if (W->IsTopLevel()) {
    if (W->Style & WS_THICKFRAME) return GetSystemMetrics(SM_CXFRAME);
    if ((W->Style & WS_CAPTION) == WS_CAPTION || (W->Style & WS_DLGFRAME)) return GetSystemMetrics(SM_CXDLGFRAME);
    if (W->Style & WS_BORDER) return 1;
    return 0;
  }
  int32_t f = 0;
  if (W->Style & WS_THICKFRAME) f += GetSystemMetrics(SM_CXFRAME);
  else if (W->Style & WS_DLGFRAME) f += GetSystemMetrics(SM_CXDLGFRAME);
  else if (W->Style & WS_BORDER) f += 1;
  if (W->ExStyle & WS_EX_CLIENTEDGE) f += 2;
  return f;
}

int32_t CaptionHeight(const TWindowRec* W) {
  if ((W->Style & WS_CAPTION) != WS_CAPTION) return 0;
  return GetSystemMetrics((W->ExStyle & WS_EX_TOOLWINDOW) ? SM_CYSMCAPTION : SM_CYCAPTION);
}

void Fill(HDC DC, const TRect& R, TColor Color) {
  HBRUSH b = CreateSolidBrush(Color);
  FillRect(DC, R, b);
  DeleteObject(b);
}

// A two-colour one-pixel frame: TopLeft along the top and left edges,
// BottomRight along the others.
void Frame3D(HDC DC, TRect& R, TColor TopLeft, TColor BottomRight) {
  Fill(DC, TRect{R.Left, R.Top, R.Right - 1, R.Top + 1}, TopLeft);
  Fill(DC, TRect{R.Left, R.Top, R.Left + 1, R.Bottom - 1}, TopLeft);
  Fill(DC, TRect{R.Left, R.Bottom - 1, R.Right, R.Bottom}, BottomRight);
  Fill(DC, TRect{R.Right - 1, R.Top, R.Right, R.Bottom}, BottomRight);
  R.Left++;
  R.Top++;
  R.Right--;
  R.Bottom--;
}

void RaisedButton(HDC DC, TRect R, bool Pushed) {
  if (Pushed) {
    Frame3D(DC, R, GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNSHADOW));
  } else {
    Frame3D(DC, R, GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_3DDKSHADOW));
    Frame3D(DC, R, GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_BTNSHADOW));
  }
  Fill(DC, R, GetSysColor(COLOR_BTNFACE));
}

// Small filled triangle pointing in Dir (0 left, 1 right, 2 up, 3 down).
void Arrow(HDC DC, const TRect& R, int32_t Dir, bool Enabled) {
  int32_t cx = (R.Left + R.Right) / 2, cy = (R.Top + R.Bottom) / 2;
  TColor c = Enabled ? GetSysColor(COLOR_BTNTEXT) : GetSysColor(COLOR_GRAYTEXT);
  for (int32_t i = 0; i < 4; ++i) {
    switch (Dir) {
      case 0: Fill(DC, TRect{cx - 2 + i, cy - i, cx - 1 + i, cy + i + 1}, c); break;
      case 1: Fill(DC, TRect{cx + 1 - i, cy - i, cx + 2 - i, cy + i + 1}, c); break;
      case 2: Fill(DC, TRect{cx - i, cy - 2 + i, cx + i + 1, cy - 1 + i}, c); break;
      case 3: Fill(DC, TRect{cx - i, cy + 1 - i, cx + i + 1, cy + 2 - i}, c); break;
    }
  }
}

struct TBarParts {
  TRect Whole, Arrow1, Arrow2, Track, Thumb;
  bool Enabled = false;
};

TBarParts BarParts(TWindowRec* W, int32_t Bar) {
  TBarParts p;
  p.Whole = ScrollBarRect(W, Bar);
  const TScrollBarState& s = W->Bars[Bar];
  bool horz = Bar == SB_HORZ;
  int32_t len = horz ? p.Whole.Width() : p.Whole.Height();
  int32_t btn = horz ? GetSystemMetrics(SM_CXHSCROLL) : GetSystemMetrics(SM_CYVSCROLL);
  if (len < 2 * btn) btn = len / 2;
  int32_t track = len - 2 * btn;
  if (horz) {
    p.Arrow1 = TRect{p.Whole.Left, p.Whole.Top, p.Whole.Left + btn, p.Whole.Bottom};
    p.Arrow2 = TRect{p.Whole.Right - btn, p.Whole.Top, p.Whole.Right, p.Whole.Bottom};
    p.Track = TRect{p.Arrow1.Right, p.Whole.Top, p.Arrow2.Left, p.Whole.Bottom};
  } else {
    p.Arrow1 = TRect{p.Whole.Left, p.Whole.Top, p.Whole.Right, p.Whole.Top + btn};
    p.Arrow2 = TRect{p.Whole.Left, p.Whole.Bottom - btn, p.Whole.Right, p.Whole.Bottom};
    p.Track = TRect{p.Whole.Left, p.Arrow1.Bottom, p.Whole.Right, p.Arrow2.Top};
  }
  int64_t range = static_cast<int64_t>(s.Max) - s.Min + 1;
  p.Enabled = range > static_cast<int64_t>(s.Page) && track > 8;
  if (!p.Enabled) return p;
  int32_t thumb = s.Page ? static_cast<int32_t>(std::max<int64_t>(8, track * static_cast<int64_t>(s.Page) / range))
                         : GetSystemMetrics(SM_CXHTHUMB);
  thumb = std::min(thumb, track);
  int64_t maxPos = range - std::max<int64_t>(s.Page, 1);
  int32_t pos = s.Tracking ? s.TrackPos : s.Pos;
  int32_t off = maxPos > 0 ? static_cast<int32_t>((track - thumb) * static_cast<int64_t>(pos - s.Min) / maxPos) : 0;
  if (horz) p.Thumb = TRect{p.Track.Left + off, p.Track.Top, p.Track.Left + off + thumb, p.Track.Bottom};
  else p.Thumb = TRect{p.Track.Left, p.Track.Top + off, p.Track.Right, p.Track.Top + off + thumb};
  return p;
}

void PaintBar(TWindowRec* W, HDC DC, int32_t Bar) {
  TBarParts p = BarParts(W, Bar);
  if (p.Whole.Width() <= 0 || p.Whole.Height() <= 0) return;
  bool horz = Bar == SB_HORZ;
  // Track: the classic checker of face and highlight.
  Fill(DC, p.Track, GetSysColor(COLOR_SCROLLBAR));
  RaisedButton(DC, p.Arrow1, false);
  RaisedButton(DC, p.Arrow2, false);
  Arrow(DC, p.Arrow1, horz ? 0 : 2, p.Enabled);
  Arrow(DC, p.Arrow2, horz ? 1 : 3, p.Enabled);
  if (p.Enabled) RaisedButton(DC, p.Thumb, false);
}

void SendScroll(TWindowRec* W, int32_t Bar, uint32_t Code, int32_t Pos) {
  CallProc(W, Bar == SB_HORZ ? WM_HSCROLL : WM_VSCROLL, MakeScrollWParam(Code, Pos), 0);
}

}  // namespace

namespace ui_internal {

TRect ScrollBarRect(TWindowRec* W, int32_t Bar) {
  const TRect& c = W->Client;
  if (Bar == SB_HORZ) {
    if (!W->Bars[SB_HORZ].Shown) return TRect{};
    return TRect{c.Left, c.Bottom, c.Right, c.Bottom + GetSystemMetrics(SM_CYHSCROLL)};
  }
  if (!W->Bars[SB_VERT].Shown) return TRect{};
  return TRect{c.Right, c.Top, c.Right + GetSystemMetrics(SM_CXVSCROLL), c.Bottom};
}

TRect FrameInnerRect(const TWindowRec* W) {
  int32_t f = FrameWidth(W);
  int32_t c = W->IsTopLevel() ? CaptionHeight(W) : 0;
  TRect r{f, f + c, W->Bounds.Width() - f, W->Bounds.Height() - f};
  if (r.Right < r.Left) r.Right = r.Left;
  if (r.Bottom < r.Top) r.Bottom = r.Top;
  return r;
}

void DefaultNcCalcSize(TWindowRec* W, TRect& R) {
  int32_t f = FrameWidth(W);
  R.Left += f;
  R.Right -= f;
  R.Top += f + (W->IsTopLevel() ? CaptionHeight(W) : 0);
  R.Bottom -= f;
  if (W->Bars[SB_VERT].Shown && R.Right - R.Left >= GetSystemMetrics(SM_CXVSCROLL))
    R.Right -= GetSystemMetrics(SM_CXVSCROLL);
  if (W->Bars[SB_HORZ].Shown && R.Bottom - R.Top >= GetSystemMetrics(SM_CYHSCROLL))
    R.Bottom -= GetSystemMetrics(SM_CYHSCROLL);
  if (R.Right < R.Left) R.Right = R.Left;
  if (R.Bottom < R.Top) R.Bottom = R.Top;
}

int32_t DefaultNcHitTest(TWindowRec* W, TPoint ScreenPt) {
  TPoint o = WindowOriginOnScreen(W);
  TPoint p{ScreenPt.X - o.X, ScreenPt.Y - o.Y};
  TRect whole{0, 0, W->Bounds.Width(), W->Bounds.Height()};
  if (!In(whole, p)) return HTNOWHERE;
  if (In(W->Client, p)) return HTCLIENT;
  if (In(ScrollBarRect(W, SB_HORZ), p)) return HTHSCROLL;
  if (In(ScrollBarRect(W, SB_VERT), p)) return HTVSCROLL;
  int32_t f = FrameWidth(W);
  if (W->IsTopLevel() && (W->Style & WS_THICKFRAME)) {
    bool l = p.X < f, r = p.X >= whole.Right - f, t = p.Y < f, b = p.Y >= whole.Bottom - f;
    if (t && l) return HTTOPLEFT;
    if (t && r) return HTTOPRIGHT;
    if (b && l) return HTBOTTOMLEFT;
    if (b && r) return HTBOTTOMRIGHT;
    if (l) return HTLEFT;
    if (r) return HTRIGHT;
    if (t) return HTTOP;
    if (b) return HTBOTTOM;
  }
  if (W->IsTopLevel() && CaptionHeight(W) && p.Y >= f && p.Y < f + CaptionHeight(W)) return HTCAPTION;
  return HTBORDER;
}

void DefaultNcPaint(TWindowRec* W) {
  if (W->IsDesktop()) return;
  EnsureSurface(W);
  HDC dc = W->Surface->DC();
  int32_t saved = SaveDC(dc);
  SetViewportOrgEx(dc, 0, 0, nullptr);
  SelectClipRgn(dc, nullptr);
  TRect r{0, 0, W->Bounds.Width(), W->Bounds.Height()};
  if (W->IsTopLevel()) {
    int32_t f = FrameWidth(W);
    if (f >= 2) {
      TRect e = r;
      Frame3D(dc, e, GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_3DDKSHADOW));
      Frame3D(dc, e, GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_BTNSHADOW));
      for (int32_t i = 2; i < f; ++i) Frame3D(dc, e, GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_BTNFACE));
    } else if (f == 1) {
      TRect e = r;
      Frame3D(dc, e, GetSysColor(COLOR_WINDOWFRAME), GetSysColor(COLOR_WINDOWFRAME));
    }
    if (int32_t c = CaptionHeight(W)) {
      bool active = W->Queue && W->Queue->Active == W->Handle;
      TRect bar{f, f, r.Right - f, f + c - 1};
      Fill(dc, bar, GetSysColor(active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION));
      if (!W->Text.empty()) {
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(active ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT));
        TRect t{bar.Left + 4, bar.Top, bar.Right - 2, bar.Bottom};
        DrawText(dc, W->Text, &t, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_LEFT);
      }
      Fill(dc, TRect{f, f + c - 1, r.Right - f, f + c}, GetSysColor(COLOR_BTNFACE));
    }
  } else {
    TRect e = r;
    if (W->Style & WS_BORDER) Frame3D(dc, e, GetSysColor(COLOR_WINDOWFRAME), GetSysColor(COLOR_WINDOWFRAME));
    if (W->ExStyle & WS_EX_CLIENTEDGE) {
      Frame3D(dc, e, GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNHIGHLIGHT));
      Frame3D(dc, e, GetSysColor(COLOR_3DDKSHADOW), GetSysColor(COLOR_BTNFACE));
    }
  }
  if (W->Bars[SB_HORZ].Shown) PaintBar(W, dc, SB_HORZ);
  if (W->Bars[SB_VERT].Shown) PaintBar(W, dc, SB_VERT);
  if (W->Bars[SB_HORZ].Shown && W->Bars[SB_VERT].Shown)
    Fill(dc, TRect{W->Client.Right, W->Client.Bottom, W->Client.Right + GetSystemMetrics(SM_CXVSCROLL),
                   W->Client.Bottom + GetSystemMetrics(SM_CYHSCROLL)},
         GetSysColor(COLOR_BTNFACE));
  RestoreDC(dc, saved);
  PresentWindowRect(W, r);
}

void TrackScrollBar(TWindowRec* W, int32_t Bar, TPoint ScreenPt) {
  HWND h = W->Handle;
  TPoint o = WindowOriginOnScreen(W);
  TPoint p{ScreenPt.X - o.X, ScreenPt.Y - o.Y};
  TBarParts parts = BarParts(W, Bar);
  if (!parts.Enabled) return;
  TScrollBarState& s = W->Bars[Bar];
  if (In(parts.Arrow1, p)) SendScroll(W, Bar, SB_LINEUP, 0);
  else if (In(parts.Arrow2, p)) SendScroll(W, Bar, SB_LINEDOWN, 0);
  else if (In(parts.Thumb, p)) {
    // Drags the thumb until the button comes up.
    bool horz = Bar == SB_HORZ;
    int32_t grab = horz ? p.X - parts.Thumb.Left : p.Y - parts.Thumb.Top;
    int32_t track = horz ? parts.Track.Width() : parts.Track.Height();
    int32_t thumb = horz ? parts.Thumb.Width() : parts.Thumb.Height();
    int64_t range = static_cast<int64_t>(s.Max) - s.Min + 1;
    int64_t maxPos = range - std::max<int64_t>(s.Page, 1);
    s.Tracking = true;
    s.TrackPos = s.Pos;
    SetCapture(h);
    TMsg m;
    for (;;) {
      int32_t r = GetMessage(m, nullptr, 0, 0);
      if (r <= 0) {
        if (r == 0) PostQuitMessage(static_cast<int32_t>(m.wParam));
        break;
      }
      if (!IsWindow(h) || GetCapture() != h) break;
      if (m.message == WM_MOUSEMOVE && m.hwnd == h) {
        TPoint q{GetXLParam(m.lParam) + W->Client.Left, GetYLParam(m.lParam) + W->Client.Top};
        int32_t at = (horz ? q.X - parts.Track.Left : q.Y - parts.Track.Top) - grab;
        int64_t pos = track > thumb ? s.Min + (static_cast<int64_t>(at) * maxPos + (track - thumb) / 2) / (track - thumb) : s.Min;
        pos = std::clamp<int64_t>(pos, s.Min, s.Min + std::max<int64_t>(maxPos, 0));
        if (pos != s.TrackPos) {
          s.TrackPos = static_cast<int32_t>(pos);
          InvalidateFrame(W);
          SendScroll(W, Bar, SB_THUMBTRACK, s.TrackPos);
        }
        continue;
      }
      if (m.message == WM_LBUTTONUP) break;
      if (m.message >= WM_KEYFIRST && m.message <= WM_KEYLAST) continue;
      TranslateMessage(m);
      DispatchMessage(m);
    }
    if (!IsWindow(h)) return;
    if (GetCapture() == h) ReleaseCapture();
    s.Tracking = false;
    SendScroll(W, Bar, SB_THUMBPOSITION, s.TrackPos);
  } else {
    bool before = Bar == SB_HORZ ? p.X < parts.Thumb.Left : p.Y < parts.Thumb.Top;
    SendScroll(W, Bar, before ? SB_PAGEUP : SB_PAGEDOWN, 0);
  }
  if (IsWindow(h)) {
    SendScroll(W, Bar, SB_ENDSCROLL, 0);
    InvalidateFrame(W);
  }
}

}  // namespace ui_internal

// ---------------------------------------------------------------------------
// Scroll-bar functions

namespace {
void ApplyShown(TWindowRec* W, int32_t Bar, bool Show) {
  TScrollBarState& s = W->Bars[Bar];
  if (s.Shown == Show) {
    InvalidateFrame(W);
    return;
  }
  s.Shown = Show;
  uint32_t bit = Bar == SB_HORZ ? WS_HSCROLL : WS_VSCROLL;
  if (Show) W->Style |= bit;
  else W->Style &= ~bit;
  SetWindowPos(W->Handle, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void Clamp(TScrollBarState& s) {
  if (s.Max < s.Min) s.Max = s.Min;
  int64_t range = static_cast<int64_t>(s.Max) - s.Min + 1;
  if (s.Page > range) s.Page = static_cast<uint32_t>(range);
  int64_t hi = static_cast<int64_t>(s.Max) - std::max<int64_t>(static_cast<int64_t>(s.Page) - 1, 0);
  s.Pos = static_cast<int32_t>(std::clamp<int64_t>(s.Pos, s.Min, std::max<int64_t>(hi, s.Min)));
}

bool Needed(const TScrollBarState& s) {
  int64_t range = static_cast<int64_t>(s.Max) - s.Min + 1;
  return s.Max > s.Min && range > static_cast<int64_t>(s.Page);
}
}  // namespace

int32_t SetScrollInfo(HWND Wnd, int32_t Bar, const TScrollInfo& Info, bool Redraw) {
  TWindowRec* w = Rec(Wnd);
  if (!w || (Bar != SB_HORZ && Bar != SB_VERT)) return 0;
  TScrollBarState& s = w->Bars[Bar];
  if (Info.fMask & SIF_RANGE) {
    s.Min = Info.nMin;
    s.Max = Info.nMax;
  }
  if (Info.fMask & SIF_PAGE) s.Page = Info.nPage;
  if (Info.fMask & SIF_POS) s.Pos = Info.nPos;
  Clamp(s);
  // A bar shows only while its range exceeds its page.
  ApplyShown(w, Bar, Needed(s));
  if (Redraw) InvalidateFrame(w);
  return s.Pos;
}

int32_t SetScrollPos(HWND Wnd, int32_t Bar, int32_t Pos, bool Redraw) {
  TWindowRec* w = Rec(Wnd);
  if (!w || (Bar != SB_HORZ && Bar != SB_VERT)) return 0;
  int32_t old = w->Bars[Bar].Pos;
  TScrollInfo si;
  si.fMask = SIF_POS;
  si.nPos = Pos;
  SetScrollInfo(Wnd, Bar, si, Redraw);
  return old;
}

int32_t GetScrollPos(HWND Wnd, int32_t Bar) {
  TWindowRec* w = Rec(Wnd);
  if (!w || (Bar != SB_HORZ && Bar != SB_VERT)) return 0;
  return w->Bars[Bar].Pos;
}

bool IsScrollBarShown(HWND Wnd, int32_t Bar) {
  TWindowRec* w = Rec(Wnd);
  return w && (Bar == SB_HORZ || Bar == SB_VERT) && w->Bars[Bar].Shown;
}
