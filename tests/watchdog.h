// A watchdog for tests that drive a third-party driver (a SANE backend),
// which may hang for reasons outside the project: a test still running
// after its time fails at once, with the backtrace of every thread of the
// test program and of the programs it started (through gdb, where it is
// installed), instead of waiting for CTest's limit.
#pragma once

#include <sys/prctl.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

class TWatchdog {
public:
  explicit TWatchdog(int Seconds = 60) {
    const testing::TestInfo* Test = testing::UnitTest::GetInstance()->current_test_info();
    const std::string Name = Test ? std::string(Test->test_suite_name()) + "." + Test->name() : "a test";
    FThread = std::thread([this, Seconds, Name] {
      std::unique_lock<std::mutex> Lock(FLock);
      if (FCalledOff.wait_for(Lock, std::chrono::seconds(Seconds), [this] { return FDone; })) return;
      std::fprintf(stderr, "\nwatchdog: %s still runs after %d s; backtraces follow\n", Name.c_str(), Seconds);
      Backtraces(::getpid());
      std::fflush(nullptr);
      std::_Exit(1);
    });
  }
  ~TWatchdog() {
    {
      std::lock_guard<std::mutex> Lock(FLock);
      FDone = true;
    }
    FCalledOff.notify_all();
    FThread.join();
  }
  TWatchdog(const TWatchdog&) = delete;
  TWatchdog& operator=(const TWatchdog&) = delete;

private:
  // Every thread of Pid and of its children, through gdb.
  static void Backtraces(pid_t Pid) {
    ::prctl(PR_SET_PTRACER, PR_SET_PTRACER_ANY, 0, 0, 0);  // where the kernel restricts tracing
    std::string Pids = std::to_string(Pid);
    std::ifstream Children("/proc/" + Pids + "/task/" + Pids + "/children");
    std::string Child;
    while (Children >> Child) Pids += " " + Child;
    std::istringstream Each(Pids);
    std::string One;
    while (Each >> One) {
      std::fprintf(stderr, "---- process %s\n", One.c_str());
      std::fflush(nullptr);
      const std::string Command = "gdb -q -batch -nx -p " + One + " -ex 'thread apply all bt' </dev/null >&2 2>&1";
      if (std::system(Command.c_str()) != 0) std::fprintf(stderr, "(gdb gave no backtrace)\n");
    }
  }
  std::mutex FLock;
  std::condition_variable FCalledOff;
  bool FDone = false;
  std::thread FThread;
};

// A fixture's first base class: its watchdog watches the whole test, the
// fixture's construction and destruction included.
struct TWatchedTest {
  TWatchdog Watchdog;
};
