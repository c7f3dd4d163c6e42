// The message queue, window timers and scroll bars on the raw window API.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/ui/forms.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/test_driver.h"
#include "platform/ui/thread.h"
#include "platform/ui/window.h"

namespace {

struct TRecorder {
  std::vector<TMsg> Got;
  HWND Make(uint32_t Style = WS_POPUP | WS_VISIBLE, HWND Parent = nullptr, int32_t W = 100, int32_t H = 80) {
    return CreateWindowEx(0, "", Style, 10, 10, W, H, Parent, [this](HWND h, uint32_t m, WPARAM w, LPARAM l) -> LRESULT {
      if (m >= WM_USER || m == WM_TIMER || m == WM_HSCROLL || m == WM_VSCROLL || m == WM_SIZE)
        Got.push_back(TMsg{h, m, w, l, 0, {}});
      return DefWindowProc(h, m, w, l);
    });
  }
};

TEST(MessageQueue, PeekFiltersByRangeAndWindowAndKeepsOrder) {
  TUiTestDriver driver;
  TRecorder rec;
  HWND a = rec.Make();
  HWND b = rec.Make();
  driver.ProcessMessages();
  PostMessage(a, WM_USER + 1, 1, 0);
  PostMessage(b, WM_USER + 2, 2, 0);
  PostMessage(a, WM_USER + 3, 3, 0);
  TMsg m;
  // A range filter skips over earlier messages without taking them.
  ASSERT_TRUE(PeekMessage(m, nullptr, WM_USER + 2, WM_USER + 3, PM_NOREMOVE));
  EXPECT_EQ(m.message, WM_USER + 2u);
  ASSERT_TRUE(PeekMessage(m, nullptr, WM_USER + 2, WM_USER + 3, PM_REMOVE));
  EXPECT_EQ(m.message, WM_USER + 2u);
  // A window filter.
  ASSERT_TRUE(PeekMessage(m, a, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.wParam, 1u);
  EXPECT_FALSE(PeekMessage(m, b, WM_USER, WM_USER + 10, PM_NOREMOVE));
  ASSERT_TRUE(PeekMessage(m, nullptr, WM_USER, WM_USER + 10, PM_REMOVE));
  EXPECT_EQ(m.wParam, 3u);
  EXPECT_FALSE(PeekMessage(m, nullptr, WM_USER, WM_USER + 10, PM_REMOVE));
  // Messages for a window that is gone are dropped.
  PostMessage(b, WM_USER + 5, 0, 0);
  DestroyWindow(b);
  EXPECT_FALSE(PeekMessage(m, nullptr, WM_USER, WM_USER + 10, PM_REMOVE));
  EXPECT_FALSE(PostMessage(b, WM_USER, 0, 0));
  DestroyWindow(a);
}

TEST(MessageQueue, QuitIsRetrievedAfterPostedMessagesAndCanBePostedAgain) {
  TUiTestDriver driver;
  TRecorder rec;
  HWND a = rec.Make();
  driver.ProcessMessages();
  PostQuitMessage(7);
  PostMessage(a, WM_USER, 0, 0);
  TMsg m;
  ASSERT_EQ(GetMessage(m, nullptr, 0, 0), 1);
  EXPECT_EQ(m.message, static_cast<uint32_t>(WM_USER));
  ASSERT_EQ(GetMessage(m, nullptr, 0, 0), 0);
  EXPECT_EQ(m.wParam, 7u);
  // A nested loop that met the quit hands it on to the outer one.
  PostQuitMessage(static_cast<int32_t>(m.wParam));
  ASSERT_EQ(GetMessage(m, nullptr, 0, 0), 0);
  EXPECT_EQ(m.wParam, 7u);
  DestroyWindow(a);
}

TEST(MessageQueue, WorkerPostsArriveInOrderOnTheMainThread) {
  TUiTestDriver driver;
  TRecorder rec;
  HWND a = rec.Make();
  driver.ProcessMessages();
  rec.Got.clear();
  std::thread::id mainId = std::this_thread::get_id(), seenOn;
  std::thread worker([a] {
    for (int i = 0; i < 200; ++i) PostMessage(a, WM_USER + 1, static_cast<WPARAM>(i), 0);
    PostMessage(a, WM_USER + 2, 0, 0);
  });
  // The loop blocks in GetMessage until the worker's messages come.
  TMsg m;
  int32_t count = 0;
  while (GetMessage(m, nullptr, 0, 0) > 0) {
    DispatchMessage(m);
    if (m.message == WM_USER + 2) break;
    if (m.message == WM_USER + 1) ++count;
  }
  worker.join();
  ASSERT_EQ(count, 200);
  std::vector<WPARAM> order;
  for (const TMsg& g : rec.Got)
    if (g.message == WM_USER + 1) order.push_back(g.wParam);
  for (size_t i = 0; i < order.size(); ++i) EXPECT_EQ(order[i], i);
  (void)mainId;
  (void)seenOn;
  DestroyWindow(a);
}

TEST(MessageQueue, SendMessageFromAWorkerRunsOnTheWindowsThread) {
  TUiTestDriver driver;
  std::thread::id ranOn;
  HWND a = CreateWindowEx(0, "", WS_POPUP, 0, 0, 10, 10, nullptr, [&](HWND h, uint32_t m, WPARAM w, LPARAM l) -> LRESULT {
    if (m == WM_USER) {
      ranOn = std::this_thread::get_id();
      return static_cast<LRESULT>(w * 2);
    }
    return DefWindowProc(h, m, w, l);
  });
  LRESULT result = 0;
  std::thread worker([&] { result = SendMessage(a, WM_USER, 21, 0); });
  while (result == 0) driver.ProcessMessages();
  worker.join();
  EXPECT_EQ(result, 42);
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  DestroyWindow(a);
}

TEST(MessageQueue, BlockingGetMessageWithNothingToComeFailsInsteadOfHanging) {
  TUiTestDriver driver;
  driver.SetBlockTimeout(50);
  TMsg m;
  driver.ProcessMessages();
  EXPECT_THROW(GetMessage(m, nullptr, 0, 0), ETestDriverBlocked);
}

TEST(MessageQueue, ModalLoopReadingTheQueueSeesInjectedInputAndLeavesOtherMessagesQueued) {
  TUiTestDriver driver;
  TRecorder rec;
  HWND a = rec.Make(WS_POPUP | WS_VISIBLE, nullptr, 200, 100);
  driver.ProcessMessages();
  PostMessage(a, WM_USER + 9, 0, 0);
  SetCapture(a);
  driver.MouseMove(TPoint{30, 30});
  driver.MouseDown(TPoint{40, 35});
  driver.MouseMove(TPoint{500, 400});  // far outside: the capture still brings it
  driver.MouseUp(TPoint{500, 400});
  // A loop of the kind that drags read mouse messages only.
  std::vector<TMsg> seen;
  TMsg m;
  while (GetCapture() == a) {
    ASSERT_EQ(GetMessage(m, nullptr, WM_MOUSEFIRST, WM_MOUSELAST), 1);
    seen.push_back(m);
    if (m.message == WM_LBUTTONUP) ReleaseCapture();
  }
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0].message, static_cast<uint32_t>(WM_MOUSEMOVE));
  EXPECT_EQ(seen[1].message, static_cast<uint32_t>(WM_LBUTTONDOWN));
  EXPECT_EQ(GetXLParam(seen[1].lParam), 30);  // client coordinates: window at (10, 10)
  EXPECT_EQ(seen[2].message, static_cast<uint32_t>(WM_MOUSEMOVE));
  EXPECT_EQ(GetXLParam(seen[2].lParam), 490);
  // The pointer position follows the retrieved input.
  TPoint p;
  GetCursorPos(p);
  EXPECT_EQ(p, (TPoint{500, 400}));
  EXPECT_FALSE(GetKeyState(VK_LBUTTON) < 0);
  ASSERT_TRUE(PeekMessage(m, nullptr, WM_USER, WM_USER + 10, PM_REMOVE));
  EXPECT_EQ(m.message, WM_USER + 9u);
  DestroyWindow(a);
}

TEST(MessageQueue, KeyStateAdvancesWithRetrievedKeysAndTranslateMakesCharacters) {
  TUiTestDriver driver;
  std::vector<uint32_t> chars;
  HWND a = CreateWindowEx(0, "", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, [&](HWND h, uint32_t m, WPARAM w, LPARAM l) -> LRESULT {
    if (m == WM_CHAR) chars.push_back(static_cast<uint32_t>(w));
    return DefWindowProc(h, m, w, l);
  });
  SetFocus(a);
  driver.ProcessMessages();
  driver.KeyDown(VK_CONTROL);
  driver.PressKey('A', 'a');
  EXPECT_FALSE(GetKeyState(VK_CONTROL) < 0);  // not retrieved yet
  TMsg m;
  ASSERT_TRUE(PeekMessage(m, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE));
  EXPECT_TRUE(GetKeyState(VK_CONTROL) < 0);
  EXPECT_EQ(m.hwnd, a);
  driver.ProcessMessages();
  EXPECT_EQ(chars, std::vector<uint32_t>{'a'});
  EXPECT_FALSE(GetKeyState('A') < 0);
  DestroyWindow(a);
}

TEST(Timers, FireOnTheDrivenClockAndStopWhenKilled) {
  TUiTestDriver driver;
  TRecorder rec;
  HWND a = rec.Make();
  driver.ProcessMessages();
  uint32_t start = driver.Now();
  SetTimer(a, 5, 50);
  SetTimer(a, 6, 120);
  driver.AdvanceClock(49);
  EXPECT_TRUE(rec.Got.empty() || rec.Got.back().message != WM_TIMER);
  rec.Got.clear();
  driver.AdvanceClock(251);  // now 300 ms after start
  std::vector<WPARAM> ids;
  for (const TMsg& g : rec.Got)
    if (g.message == WM_TIMER) ids.push_back(g.wParam);
  EXPECT_EQ(std::count(ids.begin(), ids.end(), 5u), 6);
  EXPECT_EQ(std::count(ids.begin(), ids.end(), 6u), 2);
  EXPECT_EQ(GetTickCount() - start, 300u);
  KillTimer(a, 5);
  rec.Got.clear();
  driver.AdvanceClock(200);
  for (const TMsg& g : rec.Got) EXPECT_NE(g.wParam, 5u);
  DestroyWindow(a);
}

TEST(Timers, VirtualSleepOfAThreadFollowsTheClock) {
  TUiTestDriver driver;
  struct TSleeper : TThread {
    std::atomic<int> Ticks{0};
    TSleeper() : TThread(true) {}
    void Execute() override {
      while (!Terminated()) {
        Sleep(100);
        ++Ticks;
      }
    }
  } t;
  t.Start();
  driver.ProcessMessages();
  EXPECT_EQ(t.Ticks.load(), 0);
  driver.AdvanceClock(350);
  EXPECT_EQ(t.Ticks.load(), 3);
  t.Terminate();
  driver.AdvanceClock(100);
  t.WaitFor();
  EXPECT_EQ(t.Ticks.load(), 4);
}

TEST(ScrollBars, ShowOnlyWhileRangeExceedsPageAndShrinkTheClientArea) {
  TUiTestDriver driver;
  TRecorder rec;
  HWND parent = rec.Make(WS_POPUP | WS_VISIBLE, nullptr, 300, 300);
  HWND a = rec.Make(WS_CHILD | WS_VISIBLE | WS_BORDER, parent, 102, 82);
  driver.ProcessMessages();
  TRect c;
  GetClientRect(a, c);
  EXPECT_EQ(c, (TRect{0, 0, 100, 80}));
  rec.Got.clear();
  TScrollInfo si;
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.nMin = 0;
  si.nMax = 499;
  si.nPage = 100;
  si.nPos = 1000;  // clamped to max - page + 1
  EXPECT_EQ(SetScrollInfo(a, SB_HORZ, si, true), 400);
  EXPECT_TRUE(IsScrollBarShown(a, SB_HORZ));
  GetClientRect(a, c);
  EXPECT_EQ(c, (TRect{0, 0, 100, 80 - GetSystemMetrics(SM_CYHSCROLL)}));
  bool sized = false;
  for (const TMsg& g : rec.Got)
    if (g.hwnd == a && g.message == WM_SIZE && HiWord(static_cast<uintptr_t>(g.lParam)) == 64) sized = true;
  EXPECT_TRUE(sized);
  // Positions are 32-bit.
  si.nMax = 3000000;
  si.nPos = 2500000;
  SetScrollInfo(a, SB_HORZ, si, true);
  EXPECT_EQ(GetScrollPos(a, SB_HORZ), 2500000);
  // A page as large as the range hides the bar again.
  si.nMax = 99;
  SetScrollInfo(a, SB_HORZ, si, true);
  EXPECT_FALSE(IsScrollBarShown(a, SB_HORZ));
  GetClientRect(a, c);
  EXPECT_EQ(c, (TRect{0, 0, 100, 80}));
  // A click on the right arrow of a vertical bar scrolls a line down.
  si.nMax = 499;
  si.nPage = 80;
  si.nPos = 0;
  SetScrollInfo(a, SB_VERT, si, true);
  driver.ProcessMessages();
  rec.Got.clear();
  TRect wr;
  GetWindowRect(a, wr);
  driver.Click(TPoint{wr.Right - 3, wr.Bottom - 4});
  driver.ProcessMessages();
  ASSERT_FALSE(rec.Got.empty());
  EXPECT_EQ(rec.Got.front().message, static_cast<uint32_t>(WM_VSCROLL));
  EXPECT_EQ(ScrollCode(rec.Got.front().wParam), static_cast<uint32_t>(SB_LINEDOWN));
  DestroyWindow(parent);
}

}  // namespace
