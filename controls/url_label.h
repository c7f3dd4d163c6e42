// TUrlLabel: a label that opens a web or mail address through the shell
// when clicked, and offers "Copy" of its caption on its context menu.
#pragma once

#include <memory>
#include <string>

#include "platform/ui/menus.h"
#include "platform/ui/std_controls.h"

class TUrlLabel : public TLabel {
public:
  explicit TUrlLabel(TComponent* AOwner);
  ~TUrlLabel() override;

  const std::string& URL() const { return FURL; }
  void SetURL(const std::string& Value) { FURL = Value; }
  TColor ActiveColor() const { return FActiveColor; }
  void SetActiveColor(TColor Value) { FActiveColor = Value; }
  TMenuItem* CopyItem() const { return FCopyItem; }

  void Click() override;

protected:
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;

private:
  std::string FURL;
  TColor FSavedColor = 0;
  TColor FActiveColor = 0x800080;
  TPopupMenu* FPopup = nullptr;
  TMenuItem* FCopyItem = nullptr;
};

// The screen cursor number the hand cursor is installed as.
constexpr int32_t crUrlHand = 5;
