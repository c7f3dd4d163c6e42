#include "platform/ui/timer.h"

#include "platform/ui/controls.h"
#include "platform/ui/forms.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/window.h"

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) {
  FWindow = CreateWindowEx(0, "", WS_POPUP, 0, 0, 0, 0, nullptr, [this](HWND h, uint32_t m, WPARAM w, LPARAM l) -> LRESULT {
    if (m == WM_TIMER) {
      try {
        Timer();
      } catch (...) {
        HandleApplicationException(this);
      }
      return 0;
    }
    return DefWindowProc(h, m, w, l);
  });
}

TTimer::~TTimer() {
  FEnabled = false;
  if (FWindow) {
    KillTimer(FWindow, 1);
    DestroyWindow(FWindow);
  }
}

void TTimer::UpdateTimer() {
  KillTimer(FWindow, 1);
  if (FInterval != 0 && FEnabled && FOnTimer)
    if (SetTimer(FWindow, 1, FInterval) == 0) throw EOutOfResources("No More Timers Available");
}

void TTimer::SetEnabled(bool Value) {
  if (Value == FEnabled) return;
  FEnabled = Value;
  UpdateTimer();
}

void TTimer::SetInterval(uint32_t Value) {
  if (Value == FInterval) return;
  FInterval = Value;
  UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent Value) {
  FOnTimer = std::move(Value);
  UpdateTimer();
}

void TTimer::Timer() {
  if (FEnabled && FOnTimer) FOnTimer(this);
}
