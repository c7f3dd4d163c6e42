// The frame timer in window-message and thread mode on the driven clock.
#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "gif/control/timer_ex.h"
#include "platform/ui/forms.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/test_driver.h"

namespace {

// The clock times of the ticks and whether each ran on the main thread.
struct TTickLog {
  std::vector<uint32_t> Times;
  std::vector<bool> OnMain;
  TNotifyEvent Handler() {
    return [this](TObject*) {
      Times.push_back(GetTickCount());
      OnMain.push_back(IsMainThread());
    };
  }
};

class TimerModes : public ::testing::TestWithParam<bool> {};

}  // namespace

TEST_P(TimerModes, TicksEveryIntervalOnTheMainThreadAndRestartsAWholeIntervalAfterAChange) {
  TTickLog log;
  TUiTestDriver driver;
  TTimerEx timer(nullptr);
  timer.SetThreaded(GetParam());
  timer.SetInterval(100);
  timer.SetOnTimer(log.Handler());
  driver.AdvanceClock(350);
  EXPECT_EQ(log.Times, (std::vector<uint32_t>{100, 200, 300}));
  EXPECT_EQ(log.OnMain, (std::vector<bool>{true, true, true}));

  // A new interval counts from the change, not from the last tick.
  timer.SetInterval(40);
  driver.AdvanceClock(100);
  EXPECT_EQ(log.Times, (std::vector<uint32_t>{100, 200, 300, 390, 430}));

  // Disabled: no ticks; enabled again: a whole interval from then.
  timer.SetEnabled(false);
  driver.AdvanceClock(200);
  EXPECT_EQ(log.Times.size(), 5u);
  timer.SetEnabled(true);
  driver.AdvanceClock(50);
  EXPECT_EQ(log.Times.back(), 690u);

  // A new handler restarts the count; a handler that changes the interval
  // at each tick paces the next one.
  log.Times.clear();
  uint32_t next = 10;
  timer.SetOnTimer([&](TObject*) {
    log.Times.push_back(GetTickCount());
    timer.SetInterval(next += 10);
  });
  driver.AdvanceClock(200);
  EXPECT_EQ(log.Times, (std::vector<uint32_t>{740, 760, 790, 830, 880}));
}

TEST_P(TimerModes, IdleWithIntervalZeroDisabledOrWithoutHandler) {
  int ticks = 0;
  TUiTestDriver driver;
  TTimerEx timer(nullptr);
  timer.SetThreaded(GetParam());
  timer.SetInterval(0);
  timer.SetOnTimer([&](TObject*) { ++ticks; });
  driver.AdvanceClock(3000);
  EXPECT_EQ(ticks, 0);
  timer.SetInterval(10);
  timer.SetEnabled(false);
  driver.AdvanceClock(3000);
  EXPECT_EQ(ticks, 0);
  timer.SetOnTimer(nullptr);
  timer.SetEnabled(true);
  driver.AdvanceClock(3000);
  EXPECT_EQ(ticks, 0);
  if (GetParam()) {
    ASSERT_NE(timer.Thread(), nullptr);
    EXPECT_TRUE(timer.Thread()->Suspended());
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, TimerModes, ::testing::Values(false, true),
                         [](const auto& Info) { return Info.param ? "Threaded" : "WindowTimer"; });

TEST(TimerEx, DefaultsAndSwitchingBetweenThreadAndWindow) {
  TUiTestDriver driver;
  TTimerEx timer(nullptr);
  EXPECT_TRUE(timer.Enabled());
  EXPECT_EQ(timer.Interval(), 1000u);
  EXPECT_TRUE(timer.Threaded());
  EXPECT_EQ(timer.ThreadPriority(), tpNormal);
  EXPECT_FALSE(timer.ThreadSafe());
  ASSERT_NE(timer.Thread(), nullptr);
  EXPECT_EQ(timer.WindowHandle(), nullptr);

  int ticks = 0;
  timer.SetInterval(10);
  timer.SetOnTimer([&](TObject*) { ++ticks; });
  TTimerThread* thread = timer.Thread();
  EXPECT_FALSE(thread->Suspended());
  // Disabling holds the same thread.
  timer.SetEnabled(false);
  EXPECT_EQ(timer.Thread(), thread);
  EXPECT_TRUE(thread->Suspended());
  timer.SetThreadPriority(tpHighest);
  EXPECT_EQ(timer.Thread(), thread);

  // Window mode frees the thread and makes the hidden window; the priority
  // is only stored there.
  timer.SetThreaded(false);
  EXPECT_EQ(timer.Thread(), nullptr);
  HWND wnd = timer.WindowHandle();
  ASSERT_NE(wnd, nullptr);
  timer.SetThreadPriority(tpLowest);
  EXPECT_EQ(timer.ThreadPriority(), tpLowest);
  EXPECT_EQ(timer.Thread(), nullptr);
  EXPECT_EQ(timer.WindowHandle(), wnd);
  timer.SetEnabled(true);
  driver.AdvanceClock(25);
  EXPECT_EQ(ticks, 2);

  // And back.
  timer.SetThreaded(true);
  EXPECT_EQ(timer.WindowHandle(), nullptr);
  ASSERT_NE(timer.Thread(), nullptr);
  EXPECT_EQ(timer.Thread()->Priority(), tpLowest);
  driver.AdvanceClock(20);
  EXPECT_EQ(ticks, 4);
}

TEST(TimerEx, ThreadSafeTimerTicksOnItsWorker) {
  std::atomic<int> ticks{0};
  std::atomic<int> offMain{0};
  TUiTestDriver driver;
  TTimerEx timer(nullptr);
  timer.SetThreadSafe(true);
  timer.SetInterval(20);
  timer.SetOnTimer([&](TObject*) {
    ++ticks;
    if (!IsMainThread()) ++offMain;
  });
  driver.AdvanceClock(100);
  EXPECT_EQ(ticks.load(), 5);
  EXPECT_EQ(offMain.load(), 5);
}

TEST(TimerEx, FreedInTheMiddleOfASleepOrFromItsOwnTick) {
  TUiTestDriver driver;
  {
    // The worker sleeps an hour of the driven clock: freeing must not wait
    // for it.
    TTimerEx timer(nullptr);
    timer.SetInterval(3600000);
    timer.SetOnTimer([](TObject*) {});
    driver.ProcessMessages();
  }
  for (bool threaded : {true, false}) {
    int ticks = 0;
    auto* timer = new TTimerEx(nullptr);
    timer->SetThreaded(threaded);
    timer->SetInterval(10);
    timer->SetOnTimer([&](TObject* Sender) {
      ++ticks;
      delete static_cast<TTimerEx*>(Sender);
    });
    driver.AdvanceClock(50);
    EXPECT_EQ(ticks, 1) << threaded;
  }
}

TEST(TimerEx, AFailingHandlerIsReportedAndTheTimerGoesOn) {
  int ticks = 0;
  TUiTestDriver driver;
  for (bool threaded : {true, false}) {
    driver.ClearMessageBoxes();
    ticks = 0;
    TTimerEx timer(nullptr);
    timer.SetThreaded(threaded);
    timer.SetInterval(10);
    timer.SetOnTimer([&](TObject*) {
      if (++ticks == 1) throw Exception("tick failed");
    });
    driver.AdvanceClock(30);
    EXPECT_EQ(ticks, 3) << threaded;
    ASSERT_EQ(driver.MessageBoxes().size(), 1u) << threaded;
    EXPECT_EQ(driver.MessageBoxes()[0].Text, "tick failed.");
  }
}
