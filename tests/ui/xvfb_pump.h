// Message pumping for the programs that run on a real X desktop. They wait on
// the wall clock, unlike the headless tests: the desktop's answers take time.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
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
