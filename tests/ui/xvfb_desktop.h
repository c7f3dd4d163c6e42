// Helpers of the programs that run on a real X desktop: message pumping,
// input through xdotool and failures. They wait on the wall clock, unlike
// the headless tests: the desktop's answers take time.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "platform/ui/forms.h"

// Delivers our messages until Done holds (true) or Milliseconds pass (false).
inline bool PumpUntil(const std::function<bool()>& Done, int32_t Milliseconds = 10000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(Milliseconds);
  for (;;) {
    Application->ProcessMessages();
    if (Done()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// Delivers our messages for Milliseconds.
inline void Pump(int32_t Milliseconds) {
  PumpUntil([] { return false; }, Milliseconds);
}

// Failures reported so far; the program exits non-zero when there are any.
inline int DesktopFailures = 0;

inline void Fail(const std::string& What) {
  std::fprintf(stderr, "FAILED: %s\n", What.c_str());
  ++DesktopFailures;
}

// Input as the X server delivers it to whatever window has the keyboard.
inline void XdoTool(const std::string& Args) {
  const std::string cmd = "/usr/bin/xdotool " + Args;
  if (std::system(cmd.c_str()) != 0) Fail("xdotool " + Args);
}

// Whether the desktop gives the keyboard to the window of this title.
inline bool DesktopActive(const std::string& Title) {
  const std::string cmd = "/usr/bin/xdotool getactivewindow getwindowname 2>/dev/null | grep -qx '" + Title + "'";
  return std::system(cmd.c_str()) == 0;
}
