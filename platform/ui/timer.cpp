#include "platform/ui/timer.h"

#include "platform/ui/controls.h"
#include "platform/ui/forms.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/window.h"

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) {
  FWindow = AllocateHWnd([this](TMessage& M) {
    if (M.Msg == WM_TIMER) Timer();
    else M.Result = DefWindowProc(FWindow, M.Msg, M.WParam, M.LParam);
  });
}

TTimer::~TTimer() {
  FEnabled = false;
  if (FWindow) {
    KillTimer(FWindow, 1);
    DeallocateHWnd(FWindow);
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
