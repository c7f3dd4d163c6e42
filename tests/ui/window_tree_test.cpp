// The window tree, z-order, capture and focus bookkeeping, scroll-bar
// tracking, wheel and keys, and drawing through control canvases.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "platform/gdi/dc.h"
#include "platform/gdi/objects.h"
#include "platform/ui/forms.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/test_driver.h"

namespace {

// The Alt bit of the driver's modifiers.
uint32_t ModAltForTests() { return 0x1000; }
TColor clBtnFaceRGB() { return ColorToRGB(clBtnFace); }

struct TLog {
  std::vector<TMsg> Got;
  WNDPROC Proc() {
    return [this](HWND h, uint32_t m, WPARAM w, LPARAM l) -> LRESULT {
      Got.push_back(TMsg{h, m, w, l, 0, {}});
      return DefWindowProc(h, m, w, l);
    };
  }
  int Count(uint32_t M, HWND H = nullptr) const {
    int n = 0;
    for (const TMsg& g : Got)
      if (g.message == M && (!H || g.hwnd == H)) ++n;
    return n;
  }
};

TEST(WindowTree, RelationsZOrderAndReparentingRules) {
  TUiTestDriver driver;
  TLog log;
  HWND top = CreateWindowEx(0, "", WS_POPUP | WS_VISIBLE, 0, 0, 200, 200, nullptr, log.Proc());
  HWND a = CreateWindowEx(0, "", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, top, log.Proc());
  HWND b = CreateWindowEx(0, "", WS_CHILD | WS_VISIBLE, 20, 20, 50, 50, top, log.Proc());
  HWND c = CreateWindowEx(0, "", WS_CHILD | WS_VISIBLE, 5, 5, 10, 10, a, log.Proc());
  // The newest child is on top.
  EXPECT_EQ(GetWindow(top, GW_CHILD), b);
  EXPECT_EQ(GetWindow(b, GW_HWNDNEXT), a);
  EXPECT_EQ(ChildWindowFromPoint(top, TPoint{30, 30}), b);
  SetWindowPos(a, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_EQ(ChildWindowFromPoint(top, TPoint{30, 30}), a);
  EXPECT_EQ(WindowFromPoint(TPoint{7, 7}), c);
  EXPECT_TRUE(IsChild(top, c));
  EXPECT_FALSE(IsChild(b, c));
  EXPECT_EQ(GetAncestorTopLevel(c), top);
  // No cycles.
  EXPECT_EQ(SetParent(a, c), nullptr);
  EXPECT_EQ(GetParent(a), top);
  // Hidden windows are out of hit testing; a hidden parent hides its children.
  ShowWindow(a, SW_HIDE);
  EXPECT_FALSE(IsWindowVisible(c));
  EXPECT_EQ(WindowFromPoint(TPoint{7, 7}), top);
  // Destroying a parent destroys its children, each told once.
  log.Got.clear();
  DestroyWindow(top);
  EXPECT_FALSE(IsWindow(c));
  EXPECT_EQ(log.Count(WM_DESTROY), 4);
  EXPECT_EQ(log.Count(WM_NCDESTROY), 4);
  auto first = std::find_if(log.Got.begin(), log.Got.end(), [](const TMsg& m) { return m.message == WM_DESTROY; });
  ASSERT_NE(first, log.Got.end());
  EXPECT_EQ(first->hwnd, top);  // the parent hears first
  // Calls on a stale handle do nothing.
  EXPECT_FALSE(ShowWindow(c, SW_SHOW));
  EXPECT_EQ(SendMessage(c, WM_USER, 0, 0), 0);
}

TEST(WindowTree, TopmostWindowsStayAboveAndOwnedWindowsGoWithTheirOwner) {
  TUiTestDriver driver;
  HWND normal = CreateWindowEx(0, "", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr);
  HWND topmost = CreateWindowEx(WS_EX_TOPMOST, "", WS_POPUP | WS_VISIBLE, 50, 50, 100, 100, nullptr, nullptr);
  HWND later = CreateWindowEx(0, "", WS_POPUP | WS_VISIBLE, 20, 20, 100, 100, nullptr, nullptr);
  EXPECT_EQ(WindowFromPoint(TPoint{60, 60}), topmost);
  EXPECT_EQ(WindowFromPoint(TPoint{30, 30}), later);
  HWND owned = CreateWindowEx(0, "", WS_POPUP | WS_VISIBLE, 5, 5, 10, 10, normal, nullptr);
  SetActiveWindow(normal);
  EXPECT_EQ(WindowFromPoint(TPoint{8, 8}), owned);
  EXPECT_EQ(WindowFromPoint(TPoint{30, 30}), normal);
  // The owner takes its owned windows with it.
  DestroyWindow(normal);
  EXPECT_FALSE(IsWindow(owned));
  DestroyWindow(topmost);
  DestroyWindow(later);
}

TEST(Capture, ChangesAreAnnouncedAndEndWithTheWindow) {
  TUiTestDriver driver;
  TLog log;
  HWND a = CreateWindowEx(0, "", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr, log.Proc());
  HWND b = CreateWindowEx(0, "", WS_POPUP | WS_VISIBLE, 200, 0, 100, 100, nullptr, log.Proc());
  SetCapture(a);
  SetCapture(b);
  ASSERT_EQ(log.Count(WM_CAPTURECHANGED, a), 1);
  for (const TMsg& m : log.Got) {
    if (m.message == WM_CAPTURECHANGED) {
      EXPECT_EQ(reinterpret_cast<HWND>(m.lParam), b);
    }
  }
  // Mouse input goes to the capture wherever the pointer is.
  log.Got.clear();
  driver.Click(TPoint{10, 10});
  driver.ProcessMessages();
  EXPECT_EQ(log.Count(WM_LBUTTONDOWN, b), 1);
  EXPECT_EQ(log.Count(WM_LBUTTONDOWN, a), 0);
  // Hiding or destroying the holder ends the capture.
  ShowWindow(b, SW_HIDE);
  EXPECT_EQ(GetCapture(), nullptr);
  SetCapture(a);
  DestroyWindow(a);
  EXPECT_EQ(GetCapture(), nullptr);
  DestroyWindow(b);
}

TEST(Focus, KeysGoToTheFocusAndDisablingMovesItAway) {
  TUiTestDriver driver;
  TLog log;
  HWND top = CreateWindowEx(0, "", WS_POPUP | WS_VISIBLE, 0, 0, 200, 200, nullptr, log.Proc());
  HWND a = CreateWindowEx(0, "", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, top, log.Proc());
  HWND b = CreateWindowEx(0, "", WS_CHILD | WS_VISIBLE, 60, 0, 50, 50, top, log.Proc());
  SetFocus(a);
  EXPECT_EQ(GetFocus(), a);
  EXPECT_EQ(GetActiveWindow(), top);
  log.Got.clear();
  SetFocus(b);
  ASSERT_EQ(log.Count(WM_KILLFOCUS, a), 1);
  ASSERT_EQ(log.Count(WM_SETFOCUS, b), 1);
  driver.SetModifiers(MK_SHIFT);
  driver.PressKey('X', 'X');
  driver.SetModifiers(0);
  // The wheel goes to the window under the pointer, not to the focus.
  driver.Wheel(TPoint{5, 5}, -120);
  driver.ProcessMessages();
  EXPECT_EQ(log.Count(WM_KEYDOWN, b), 1);
  EXPECT_EQ(log.Count(WM_KEYUP, b), 1);
  EXPECT_EQ(log.Count(WM_MOUSEWHEEL, b), 0);
  ASSERT_EQ(log.Count(WM_MOUSEWHEEL, a), 1);
  for (const TMsg& m : log.Got) {
    if (m.message == WM_MOUSEWHEEL) {
      EXPECT_EQ(static_cast<int16_t>(HiWord(m.wParam)), -120);
    }
  }
  // Alt makes system keys.
  driver.SetModifiers(ModAltForTests());
  driver.PressKey('F');
  driver.SetModifiers(0);
  driver.ProcessMessages();
  EXPECT_EQ(log.Count(WM_SYSKEYDOWN, b), 1);
  EnableWindow(b, false);
  EXPECT_NE(GetFocus(), b);
  EXPECT_EQ(SetFocus(b), nullptr);  // refused
  DestroyWindow(top);
}

TEST(Focus, AWindowThatMadeTheOthersWaitGivesTheKeyboardBackToTheOneItCameFrom) {
  TUiTestDriver driver;
  TLog log;
  HWND top = CreateWindowEx(0, "", WS_POPUP | WS_VISIBLE, 0, 0, 200, 200, nullptr, log.Proc());
  // A floating toolbar: owned by the window, so stacked above it.
  HWND tool = CreateWindowEx(WS_EX_TOOLWINDOW, "", WS_POPUP, 300, 0, 50, 50, top, log.Proc());
  ShowWindow(tool, SW_SHOWNA);
  SetFocus(top);
  HWND progress = CreateWindowEx(0, "", WS_POPUP | WS_CAPTION, 50, 50, 100, 60, nullptr, log.Proc());
  const TWaitingWindows waiting = DisableOtherWindows(progress);
  ShowWindow(progress, SW_SHOW);
  ASSERT_EQ(GetActiveWindow(), progress);
  EnableWindows(waiting);
  DestroyWindow(progress);
  EXPECT_EQ(GetActiveWindow(), top);
  driver.PressKey('X', 'X');
  driver.ProcessMessages();
  EXPECT_EQ(log.Count(WM_KEYDOWN, top), 1);
  DestroyWindow(top);
}

TEST(ScrollBars, DraggingTheThumbTracksAndEndsWithItsPosition) {
  TUiTestDriver driver;
  TLog log;
  HWND w = CreateWindowEx(0, "", WS_POPUP | WS_VISIBLE, 0, 0, 216, 100, nullptr, log.Proc());
  TScrollInfo si;
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.nMax = 999999;  // a range past 16 bits
  si.nPage = 100000;
  SetScrollInfo(w, SB_HORZ, si, true);
  driver.ProcessMessages();
  // Bar: arrows of 16 pixels at both ends, a 184-pixel track, an 18-pixel thumb.
  int32_t barY = 100 - 8;
  log.Got.clear();
  driver.Drag(TPoint{20, barY}, TPoint{20 + 83, barY}, 4);
  driver.ProcessMessages();
  std::vector<uint32_t> codes;
  int32_t last = -1;
  for (const TMsg& m : log.Got)
    if (m.message == WM_HSCROLL) {
      codes.push_back(ScrollCode(m.wParam));
      if (ScrollCode(m.wParam) == SB_THUMBPOSITION) last = ScrollPos(m.wParam);
    }
  ASSERT_GE(codes.size(), 3u);
  EXPECT_EQ(codes.front(), static_cast<uint32_t>(SB_THUMBTRACK));
  EXPECT_EQ(codes[codes.size() - 2], static_cast<uint32_t>(SB_THUMBPOSITION));
  EXPECT_EQ(codes.back(), static_cast<uint32_t>(SB_ENDSCROLL));
  // Half the free track is half the positions (900000 / 2), within a pixel.
  EXPECT_NEAR(last, 450000, 900000 / 166 + 1);
  // The window's own position moves only when the program sets it.
  EXPECT_EQ(GetScrollPos(w, SB_HORZ), 0);
  DestroyWindow(w);
}

class TBlock : public TGraphicControl {
public:
  TBlock(TComponent* AOwner, TColor C) : TGraphicControl(AOwner), Fill(C) {}
  TColor Fill;
  int Paints = 0;

protected:
  void Paint() override {
    ++Paints;
    Canvas()->Brush()->SetColor(Fill);
    Canvas()->FillRect(ClientRect());
  }
};

TEST(Controls, WindowlessSiblingsPaintInZOrderAndRepaintOnlyTheirArea) {
  TUiTestDriver driver;
  TForm* form;
  Application->CreateForm(form);
  form->SetBorderStyle(bsNone);
  form->SetBounds(0, 0, 100, 100);
  auto* below = new TBlock(form, clRed);
  below->SetBounds(10, 10, 40, 40);
  below->SetParent(form);
  auto* above = new TBlock(form, clBlue);
  above->SetBounds(30, 30, 40, 40);
  above->SetParent(form);
  form->Show();
  driver.ProcessMessages();
  EXPECT_EQ(driver.Pixel(form->Handle(), 35, 35), clBlue);
  EXPECT_EQ(FindDragTarget(form->ClientToScreen(TPoint{35, 35}), false), above);
  below->BringToFront();
  driver.ProcessMessages();
  EXPECT_EQ(driver.Pixel(form->Handle(), 35, 35), clRed);
  EXPECT_EQ(FindDragTarget(form->ClientToScreen(TPoint{35, 35}), false), below);
  // Invalidating one control repaints only what lies in its rectangle.
  auto* far = new TBlock(form, clGreen);
  far->SetBounds(80, 80, 10, 10);
  far->SetParent(form);
  driver.ProcessMessages();
  int farPaints = far->Paints;
  above->Fill = clYellow;
  above->Invalidate();
  driver.ProcessMessages();
  EXPECT_EQ(far->Paints, farPaints);
  EXPECT_EQ(driver.Pixel(form->Handle(), 65, 65), clYellow);
  // Drawing on a windowless control's canvas outside a paint lands at its
  // place on the parent and stays inside it.
  far->Canvas()->Brush()->SetColor(clBlack);
  far->Canvas()->FillRect(TRect{-5, -5, 50, 50});
  driver.ProcessMessages();
  EXPECT_EQ(driver.Pixel(form->Handle(), 85, 85), clBlack);
  EXPECT_EQ(driver.Pixel(form->Handle(), 78, 78), clBtnFaceRGB());
  // Moving it repaints the old place with the parent's background.
  far->SetBounds(0, 80, 10, 10);
  driver.ProcessMessages();
  EXPECT_EQ(driver.Pixel(form->Handle(), 85, 85), clBtnFaceRGB());
  EXPECT_EQ(driver.Pixel(form->Handle(), 5, 85), clGreen);
}

TEST(Forms, CloseWithFreeReleasesTheFormAfterItsMessagesAndDefaultPositionsCascade) {
  TUiTestDriver driver;
  TForm* main;
  Application->CreateForm(main);
  auto* other = new TForm(Application);
  other->AfterConstruction();
  other->SetPosition(poDefaultPosOnly);
  auto* third = new TForm(Application);
  third->AfterConstruction();
  third->SetPosition(poDefaultPosOnly);
  other->Show();
  third->Show();
  EXPECT_GT(third->Left(), other->Left());
  EXPECT_GT(third->Top(), other->Top());
  bool destroyed = false;
  other->OnDestroy = [&](TObject*) { destroyed = true; };
  other->OnClose = [](TObject*, TCloseAction& A) { A = caFree; };
  int before = Screen->FormCount();
  other->Close();
  EXPECT_FALSE(destroyed);  // still alive while its messages finish
  driver.ProcessMessages();
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(Screen->FormCount(), before - 1);
}

TEST(Application, IdleAndMessageEventsSeeTheLoop) {
  TUiTestDriver driver;
  HWND w = CreateWindowEx(0, "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr);
  int idles = 0, seen = 0;
  Application->OnIdle = [&](TObject*, bool& Done) {
    ++idles;
    Done = true;
  };
  Application->OnMessage = [&](TMsg& M, bool& Handled) {
    if (M.message == WM_USER + 7) {
      ++seen;
      Handled = true;
    }
  };
  PostMessage(w, WM_USER + 7, 0, 0);
  driver.WhenIdle([] {});
  Application->HandleMessage();  // the posted message
  Application->HandleMessage();  // nothing: idle, then the step
  EXPECT_EQ(seen, 1);
  EXPECT_EQ(idles, 1);
  // A call queued from a worker without waiting runs on the main thread.
  bool ran = false;
  std::thread t([&] { RunOnMainThread([&] { ran = IsMainThread(); }, false); });
  t.join();
  driver.ProcessMessages();
  EXPECT_TRUE(ran);
  Application->OnIdle = nullptr;
  Application->OnMessage = nullptr;
  DestroyWindow(w);
}

}  // namespace
