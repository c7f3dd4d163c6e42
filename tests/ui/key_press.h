// A key pressed with modifiers held, then every message delivered.
#pragma once

#include <cstdint>

#include "platform/ui/test_driver.h"

inline void PressWith(TUiTestDriver& Driver, uint32_t Key, uint32_t Modifiers = 0, uint32_t Char = 0) {
  Driver.SetModifiers(Modifiers);
  Driver.PressKey(Key, Char);
  Driver.SetModifiers(0);
  Driver.ProcessMessages();
}
