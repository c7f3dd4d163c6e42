// TStyledLabel: a label whose text is drawn raised or recessed.
#pragma once

#include "platform/ui/std_controls.h"

enum TTextStyle : uint8_t { tsNone, tsRaised, tsRecessed };

class TStyledLabel : public TLabel {
public:
  explicit TStyledLabel(TComponent* AOwner) : TLabel(AOwner) {}
  TTextStyle TextStyle() const { return FTextStyle; }
  void SetTextStyle(TTextStyle Value);

protected:
  void Paint() override;
  void DoDrawText(TRect& Rect, uint32_t Flags) override;

private:
  TTextStyle FTextStyle = tsRecessed;
};
