// The non-client protocol, activation refusal, scrolling, double clicks,
// the locked desktop, drawing outside WM_PAINT, and form placement.
#include <gtest/gtest.h>

#include <vector>

#include "platform/gdi/colors.h"
#include "platform/gdi/dc.h"
#include "platform/gdi/objects.h"
#include "platform/ui/forms.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/std_controls.h"
#include "platform/ui/test_driver.h"

namespace {

void FillClient(HDC DC, const TRect& R, TColor C) {
  HBRUSH b = CreateSolidBrush(C);
  FillRect(DC, R, b);
  DeleteObject(b);
}

// A window with a caption strip of its own: 10 pixels on top, a close box
// at its right end, a sizing edge of 3 pixels on the left.
struct TOwnFrame {
  std::vector<TMsg> Log;
  HWND Wnd = nullptr;
  bool Tall = false;
  HWND Make(HWND Owner) {
    Wnd = CreateWindowEx(WS_EX_TOOLWINDOW, "", WS_POPUP | WS_VISIBLE, 100, 100, 120, 60, Owner,
                         [this](HWND h, uint32_t m, WPARAM w, LPARAM l) -> LRESULT {
                           switch (m) {
                             case WM_NCCALCSIZE: {
                               DefWindowProc(h, m, w, l);
                               auto* p = reinterpret_cast<TNCCalcSizeParams*>(l);
                               p->rgrc[0].Top += Tall ? 20 : 10;
                               p->rgrc[0].Left += 3;
                               return 0;
                             }
                             case WM_NCPAINT: {
                               HDC dc = GetWindowDC(h);
                               TRect r;
                               GetWindowRect(h, r);
                               FillClient(dc, TRect{0, 0, r.Width(), Tall ? 20 : 10}, clNavy);
                               FillClient(dc, TRect{0, 0, 3, r.Height()}, clGray);
                               ReleaseDC(h, dc);
                               return 0;
                             }
                             case WM_NCHITTEST: {
                               TRect r;
                               GetWindowRect(h, r);
                               TPoint p = PointFromLParam(l);
                               if (p.X < r.Left + 3) return HTLEFT;
                               if (p.Y < r.Top + (Tall ? 20 : 10)) return p.X >= r.Right - 10 ? HTCLOSE : HTCAPTION;
                               return HTCLIENT;
                             }
                             case WM_PAINT: {
                               TPaintStruct ps;
                               HDC dc = BeginPaint(h, ps);
                               TRect c;
                               GetClientRect(h, c);
                               FillClient(dc, c, clYellow);
                               EndPaint(h, ps);
                               return 0;
                             }
                             case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
                             case WM_CLOSE: Log.push_back(TMsg{h, m, w, l, 0, {}}); return 0;
                             case WM_NCLBUTTONDOWN:
                             case WM_LBUTTONDOWN:
                             case WM_SETCURSOR:
                             case WM_NCACTIVATE: Log.push_back(TMsg{h, m, w, l, 0, {}}); break;
                           }
                           return DefWindowProc(h, m, w, l);
                         });
    return Wnd;
  }
};

TEST(NonClient, OwnFrameIsMeasuredPaintedHitTestedAndRecomputed) {
  TUiTestDriver driver;
  TOwnFrame f;
  HWND w = f.Make(nullptr);
  driver.ProcessMessages();
  TRect c;
  GetClientRect(w, c);
  EXPECT_EQ(c, (TRect{0, 0, 117, 50}));
  TPoint origin{0, 0};
  ClientToScreen(w, origin);
  EXPECT_EQ(origin, (TPoint{103, 110}));
  TWindowImage whole = driver.ReadWindow(w, false);
  EXPECT_EQ(whole.Pixel(50, 5), clNavy);
  EXPECT_EQ(whole.Pixel(1, 30), clGray);
  EXPECT_EQ(whole.Pixel(50, 30), clYellow);
  driver.SaveWindowPng(w, std::string(QUILLON_BUILD_DIR) + "/ui_own_frame.png");

  // Presses on the frame arrive as non-client messages with the hit code.
  driver.Click(TPoint{150, 104});
  driver.Click(TPoint{215, 104});
  driver.Click(TPoint{101, 130});
  driver.ProcessMessages();
  std::vector<int32_t> hits;
  for (const TMsg& m : f.Log)
    if (m.message == WM_NCLBUTTONDOWN) {
      hits.push_back(static_cast<int32_t>(m.wParam));
      EXPECT_EQ(PointFromLParam(m.lParam).Y >= 100, true);  // screen coordinates
    }
  EXPECT_EQ(hits, (std::vector<int32_t>{HTCAPTION, HTCLOSE, HTLEFT}));
  // The default handling of a press on the close box asks the window to close.
  EXPECT_EQ(std::count_if(f.Log.begin(), f.Log.end(), [](const TMsg& m) { return m.message == WM_CLOSE; }), 1);

  // A frame recompute after a change of the frame's size.
  f.Tall = true;
  SetWindowPos(w, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  driver.ProcessMessages();
  GetClientRect(w, c);
  EXPECT_EQ(c.Height(), 40);
  EXPECT_EQ(driver.ReadWindow(w, false).Pixel(50, 15), clNavy);
  DestroyWindow(w);
}

TEST(NonClient, WindowThatRefusesActivationOnClickStillHostsFocus) {
  TUiTestDriver driver;
  TForm* form;
  Application->CreateForm(form);
  form->SetBounds(300, 300, 200, 150);
  form->Show();
  driver.ProcessMessages();
  ASSERT_EQ(GetActiveWindow(), form->Handle());
  TOwnFrame f;
  HWND tool = f.Make(form->Handle());
  HWND child = CreateWindowEx(0, "", WS_CHILD | WS_VISIBLE, 10, 10, 30, 20, tool, nullptr);
  driver.ProcessMessages();
  // ShowWindow of a frameless tool window does not activate it either.
  EXPECT_EQ(GetActiveWindow(), form->Handle());
  f.Log.clear();
  driver.Click(TPoint{200, 150});
  driver.ProcessMessages();
  EXPECT_EQ(GetActiveWindow(), form->Handle());
  driver.Click(TPoint{120, 125});  // on the child: the tool window still answers for it
  driver.ProcessMessages();
  EXPECT_EQ(GetActiveWindow(), form->Handle());
  bool down = false, cursor = false;
  for (const TMsg& m : f.Log) {
    down = down || m.message == WM_LBUTTONDOWN;
    cursor = cursor || m.message == WM_SETCURSOR;
  }
  EXPECT_TRUE(down);
  EXPECT_TRUE(cursor);
  // Owned windows stay above their owner.
  std::vector<HWND> tops = GetChildWindows(nullptr);
  auto at = [&](HWND h) { return std::find(tops.begin(), tops.end(), h) - tops.begin(); };
  EXPECT_LT(at(tool), at(form->Handle()));
  // Focus in its child activates the tool window; the old one hears of it.
  f.Log.clear();
  SetFocus(child);
  EXPECT_EQ(GetFocus(), child);
  EXPECT_EQ(GetActiveWindow(), tool);
  EXPECT_FALSE(form->Active());
  ASSERT_FALSE(f.Log.empty());
  EXPECT_EQ(f.Log.back().message, static_cast<uint32_t>(WM_NCACTIVATE));
  EXPECT_EQ(f.Log.back().wParam, 1u);
  DestroyWindow(tool);
  EXPECT_EQ(GetActiveWindow(), form->Handle());
}

TEST(NonClient, NoSetCursorWhileCaptured) {
  TUiTestDriver driver;
  TOwnFrame f;
  HWND w = f.Make(nullptr);
  driver.ProcessMessages();
  f.Log.clear();
  SetCapture(w);
  driver.MouseMove(TPoint{150, 140});
  driver.MouseMove(TPoint{900, 700});
  driver.ProcessMessages();
  for (const TMsg& m : f.Log) EXPECT_NE(m.message, static_cast<uint32_t>(WM_SETCURSOR));
  ReleaseCapture();
  driver.MouseMove(TPoint{150, 140});
  driver.ProcessMessages();
  ASSERT_FALSE(f.Log.empty());
  EXPECT_EQ(f.Log.back().message, static_cast<uint32_t>(WM_SETCURSOR));
  DestroyWindow(w);
}

TEST(Painting, OnlyTheUpdateRegionIsRepaintedAndDrawingOutsidePaintShows) {
  TUiTestDriver driver;
  std::vector<TRect> painted;
  HWND w = CreateWindowEx(0, "", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr,
                          [&](HWND h, uint32_t m, WPARAM wp, LPARAM l) -> LRESULT {
                            if (m == WM_PAINT) {
                              TPaintStruct ps;
                              HDC dc = BeginPaint(h, ps);
                              painted.push_back(ps.rcPaint);
                              FillClient(dc, TRect{0, 0, 100, 100}, clWhite);
                              EndPaint(h, ps);
                              return 0;
                            }
                            return DefWindowProc(h, m, wp, l);
                          });
  driver.ProcessMessages();
  ASSERT_EQ(painted.size(), 1u);
  EXPECT_EQ(painted[0], (TRect{0, 0, 100, 100}));
  // Drawing outside WM_PAINT.
  HDC dc = GetDC(w);
  FillClient(dc, TRect{0, 0, 100, 100}, clRed);
  ReleaseDC(w, dc);
  EXPECT_EQ(driver.Pixel(w, 50, 50), clRed);
  // A repaint of a part leaves the rest as it was (clipped to the update box).
  TRect part{10, 10, 20, 20};
  InvalidateRect(w, &part, true);
  InvalidateRect(w, &part, true);
  driver.ProcessMessages();
  ASSERT_EQ(painted.size(), 2u);
  EXPECT_EQ(painted[1], part);
  EXPECT_EQ(driver.Pixel(w, 15, 15), clWhite);
  EXPECT_EQ(driver.Pixel(w, 50, 50), clRed);
  // Scrolling moves the pixels and asks for the uncovered strip.
  FillClient(dc = GetDC(w), TRect{0, 0, 10, 100}, clBlue);
  ReleaseDC(w, dc);
  HWND child = CreateWindowEx(0, "", WS_CHILD | WS_VISIBLE, 40, 40, 5, 5, w, nullptr);
  driver.ProcessMessages();
  painted.clear();
  ScrollWindow(w, 30, 0, nullptr, nullptr);
  EXPECT_EQ(driver.Pixel(w, 35, 50), clBlue);
  EXPECT_EQ(GetWindowBoundsInParent(child).Left, 70);
  driver.ProcessMessages();
  ASSERT_EQ(painted.size(), 1u);
  EXPECT_EQ(painted[0], (TRect{0, 0, 30, 100}));
  DestroyWindow(w);
}

TEST(Input, DoubleClicksNeedTheClassStyleAndComeOnlyQuicklyAndClose) {
  TUiTestDriver driver;
  std::vector<uint32_t> got;
  auto proc = [&](HWND h, uint32_t m, WPARAM wp, LPARAM l) -> LRESULT {
    if (m >= WM_LBUTTONDOWN && m <= WM_LBUTTONDBLCLK) got.push_back(m);
    return DefWindowProc(h, m, wp, l);
  };
  HWND w = CreateWindowEx(0, "", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr, proc, CS_DBLCLKS);
  driver.ProcessMessages();
  driver.DoubleClick(TPoint{10, 10});
  driver.ProcessMessages();
  EXPECT_EQ(got, (std::vector<uint32_t>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}));
  got.clear();
  driver.Click(TPoint{10, 10});
  driver.AdvanceClock(GetDoubleClickTime() + 1);
  driver.Click(TPoint{10, 10});
  driver.Click(TPoint{30, 10});
  driver.ProcessMessages();
  EXPECT_EQ(got, (std::vector<uint32_t>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDOWN,
                                        WM_LBUTTONUP}));
  DestroyWindow(w);
  got.clear();
  HWND plain = CreateWindowEx(0, "", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr, proc);
  driver.ProcessMessages();
  driver.DoubleClick(TPoint{10, 10});
  driver.ProcessMessages();
  EXPECT_EQ(std::count(got.begin(), got.end(), static_cast<uint32_t>(WM_LBUTTONDBLCLK)), 0);
  DestroyWindow(plain);
}

TEST(Painting, LockedDesktopDrawsOnASnapshotOfTheScreen) {
  TUiTestDriver driver;
  HWND w = CreateWindowEx(0, "", WS_POPUP | WS_VISIBLE, 50, 60, 40, 30, nullptr,
                          [](HWND h, uint32_t m, WPARAM wp, LPARAM l) -> LRESULT {
                            if (m == WM_ERASEBKGND) {
                              TRect r;
                              GetClientRect(h, r);
                              FillClient(reinterpret_cast<HDC>(wp), r, clFuchsia);
                              return 1;
                            }
                            return DefWindowProc(h, m, wp, l);
                          });
  driver.ProcessMessages();
  HWND desk = GetDesktopWindow();
  ASSERT_TRUE(LockWindowUpdate(desk));
  HDC dc = GetDCEx(desk, nullptr, DCX_WINDOW | DCX_CACHE | DCX_LOCKWINDOWUPDATE);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GetPixel(dc, 55, 65), clFuchsia);
  EXPECT_EQ(GetPixel(dc, 10, 10), clBlack);
  PatBlt(dc, 50, 60, 10, 10, DSTINVERT);
  EXPECT_EQ(GetPixel(dc, 55, 65), clLime);
  ReleaseDC(desk, dc);
  LockWindowUpdate(nullptr);
  // The window itself is untouched.
  EXPECT_EQ(driver.Pixel(w, 5, 5), clFuchsia);
  DestroyWindow(w);
}

TEST(Forms, PositionsWindowStatesAndTheScreenDepth) {
  TUiTestDriver driver(800, 600);
  TForm* a;
  Application->CreateForm(a);
  a->SetBounds(0, 0, 300, 200);
  a->SetPosition(poScreenCenter);
  a->Show();
  EXPECT_EQ(a->BoundsRect(), (TRect{250, 200, 550, 400}));
  a->SetWindowState(wsMaximized);
  EXPECT_EQ(a->WindowState(), wsMaximized);
  int32_t f = GetSystemMetrics(SM_CXFRAME);
  EXPECT_EQ(a->BoundsRect(), (TRect{-f, -f, 800 + f, 600 + f}));
  a->SetWindowState(wsNormal);
  EXPECT_EQ(a->BoundsRect(), (TRect{250, 200, 550, 400}));
  // The client area is the window less frame and caption; the frame is
  // painted in the back buffer (the desktop draws its own on screen).
  EXPECT_EQ(a->ClientHeight(), 200 - 2 * f - GetSystemMetrics(SM_CYCAPTION));
  a->SetCaption("Caption");
  driver.ProcessMessages();
  TWindowImage whole = driver.ReadWindow(a->Handle(), false);
  EXPECT_EQ(whole.Pixel(150, f + 2), GetSysColor(COLOR_ACTIVECAPTION));
  whole.SavePng(std::string(QUILLON_BUILD_DIR) + "/ui_form_frame.png");
  // A change of the screen depth reaches child windows.
  int displayChanges = 0;
  class TWatcher : public TCustomControl {
  public:
    TWatcher(TComponent* O, int* N) : TCustomControl(O), Count(N) {}
    int* Count;
    void WndProc(TMessage& M) override {
      if (M.Msg == WM_DISPLAYCHANGE) ++*Count;
      TCustomControl::WndProc(M);
    }
  };
  auto* watcher = new TWatcher(a, &displayChanges);
  watcher->SetParent(a);
  watcher->HandleNeeded();
  Screen->SetColorDepth(8);
  EXPECT_EQ(Screen->ColorDepth(), 8);
  EXPECT_EQ(displayChanges, 1);
  Screen->SetColorDepth(32);
}

// The window manager's maximise, restore, minimise and moves reach the form
// like any other change, and the restored bounds are kept apart.
TEST(Forms, TheDesktopsStateChangesAndMovesReachTheForm) {
  TUiTestDriver driver(1280, 1024);
  class TLogForm : public TForm {
  public:
    using TForm::TForm;
    std::vector<WPARAM> Sizes;
    int Moves = 0;
    void WndProc(TMessage& M) override {
      if (M.Msg == WM_SIZE) Sizes.push_back(M.WParam);
      if (M.Msg == WM_MOVE) ++Moves;
      TForm::WndProc(M);
    }
  };
  TLogForm* a;
  Application->CreateForm(a);
  a->SetBounds(100, 80, 400, 300);
  a->Show();
  driver.ProcessMessages();
  HWND h = a->Handle();
  const TRect moved{130, 90, 530, 390};
  driver.DesktopSetsWindow(h, 0, moved);
  EXPECT_EQ(a->BoundsRect(), moved);
  EXPECT_GT(a->Moves, 0);
  const TRect full{-4, -4, 1284, 1028};
  driver.DesktopSetsWindow(h, 2, full);
  EXPECT_EQ(a->WindowState(), wsMaximized);
  EXPECT_TRUE(IsZoomed(h));
  ASSERT_FALSE(a->Sizes.empty());
  EXPECT_EQ(a->Sizes.back(), static_cast<WPARAM>(SIZE_MAXIMIZED));
  EXPECT_EQ(a->BoundsRect(), full);
  // Restored by our own hand: back to where the desktop had moved it.
  a->SetWindowState(wsNormal);
  EXPECT_EQ(a->BoundsRect(), moved);
  // Maximised again, then restored by the desktop.
  driver.DesktopSetsWindow(h, 2, full);
  driver.DesktopSetsWindow(h, 0, moved);
  EXPECT_EQ(a->WindowState(), wsNormal);
  EXPECT_EQ(a->Sizes.back(), static_cast<WPARAM>(SIZE_RESTORED));
  // Minimised: the bounds wait for its return.
  driver.DesktopSetsWindow(h, 1, TRect{0, 0, 160, 20});
  EXPECT_EQ(a->WindowState(), wsMinimized);
  EXPECT_EQ(a->Sizes.back(), static_cast<WPARAM>(SIZE_MINIMIZED));
  a->SetWindowState(wsNormal);
  EXPECT_EQ(a->BoundsRect(), moved);
}

// The desktop's title bar offers only the buttons a form's border asks for.
TEST(Forms, DialogsAskTheDesktopForNoMinimiseOrMaximiseButton) {
  TUiTestDriver driver;
  TForm* sizeable;
  TForm* dialog;
  TForm* bare;
  Application->CreateForm(sizeable);
  Application->CreateForm(dialog);
  Application->CreateForm(bare);
  dialog->SetBorderStyle(bsDialog);
  bare->SetBorderStyle(bsSingle);
  bare->SetBorderIcons(biSystemMenu | biMaximize);
  for (TForm* f : {sizeable, dialog, bare}) f->HandleNeeded();
  EXPECT_EQ(TUiTestDriver::FrameButtons(sizeable->Handle()), 7u);
  EXPECT_EQ(TUiTestDriver::FrameButtons(dialog->Handle()), 1u);
  EXPECT_EQ(TUiTestDriver::FrameButtons(bare->Handle()), 5u);
  bare->SetBorderIcons(0);
  EXPECT_EQ(TUiTestDriver::FrameButtons(bare->Handle()), 0u);
}

// A window updated during work on the main thread (no message loop runs)
// shows at once, children included, also when it was just shown.
TEST(Painting, UpdateShowsTheWindowAtOnceDuringWork) {
  TUiTestDriver driver;
  TColor colour = clYellow;
  auto proc = [&colour](HWND h, uint32_t m, WPARAM wp, LPARAM l) -> LRESULT {
    if (m == WM_PAINT) {
      TPaintStruct ps;
      HDC dc = BeginPaint(h, ps);
      TRect r;
      GetClientRect(h, r);
      FillClient(dc, r, colour);
      EndPaint(h, ps);
      return 0;
    }
    return DefWindowProc(h, m, wp, l);
  };
  HWND top = CreateWindowEx(0, "", WS_POPUP | WS_VISIBLE, 40, 50, 100, 80, nullptr, proc);
  HWND child = CreateWindowEx(0, "", WS_CHILD | WS_VISIBLE, 10, 10, 30, 30, top, proc);
  driver.ProcessMessages();
  EXPECT_EQ(driver.ReadScreen(TRect{40, 50, 140, 130}).Pixel(80, 60), clYellow);
  colour = clBlue;
  InvalidateRect(top, nullptr, true);
  InvalidateRect(child, nullptr, true);
  UpdateWindow(top);
  TWindowImage shown = driver.ReadScreen(TRect{40, 50, 140, 130});
  EXPECT_EQ(shown.Pixel(80, 60), clBlue);
  EXPECT_EQ(shown.Pixel(20, 20), clBlue);
  // Shown and updated before any message is seen.
  HWND late = CreateWindowEx(0, "", WS_POPUP, 200, 50, 60, 40, nullptr, proc);
  ShowWindow(late, SW_SHOWNA);
  UpdateWindow(late);
  EXPECT_EQ(driver.ReadScreen(TRect{200, 50, 260, 90}).Pixel(30, 20), clBlue);
  DestroyWindow(late);
  DestroyWindow(top);
  // A form's Update does so for the form and its controls (a progress window
  // updated between steps of work).
  InitializeStdControls();
  TForm* form;
  Application->CreateForm(form);
  form->SetBorderStyle(bsNone);
  form->SetBounds(300, 200, 80, 60);
  form->SetColor(clYellow);
  auto* panel = new TPanel(form);
  panel->SetParent(form);
  panel->SetBevelOuter(bvNone);
  panel->SetBounds(10, 10, 30, 30);
  panel->SetColor(clLime);
  form->Show();
  driver.ProcessMessages();
  form->SetColor(clBlue);
  panel->SetColor(clRed);
  form->Update();
  shown = driver.ReadScreen(TRect{300, 200, 380, 260});
  EXPECT_EQ(shown.Pixel(5, 5), clBlue);
  EXPECT_EQ(shown.Pixel(20, 20), clRed);
  form->Free();
  FinalizeStdControls();
}

}  // namespace
