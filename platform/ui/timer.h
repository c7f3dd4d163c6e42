// TTimer: OnTimer every Interval milliseconds of the clock, from a window
// timer on a hidden window of its own.
#pragma once

#include <cstdint>

#include "platform/ui/component.h"
#include "platform/ui/messages.h"

class TTimer : public TComponent {
public:
  explicit TTimer(TComponent* AOwner);
  ~TTimer() override;

  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  uint32_t Interval() const { return FInterval; }
  void SetInterval(uint32_t Value);
  const TNotifyEvent& OnTimer() const { return FOnTimer; }
  void SetOnTimer(TNotifyEvent Value);

protected:
  virtual void Timer();

private:
  // Raises EOutOfResources "No More Timers Available" when no window timer can be had.
  void UpdateTimer();
  bool FEnabled = true;
  uint32_t FInterval = 1000;
  TNotifyEvent FOnTimer;
  HWND FWindow = nullptr;
};
