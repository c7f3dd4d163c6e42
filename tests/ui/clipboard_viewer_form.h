// A form in the clipboard viewer chain, as a program's main window joins it:
// it counts the changes it hears and passes them on.
#pragma once

#include <cstdint>

#include "platform/ui/forms.h"
#include "platform/ui/message_queue.h"

class TViewerForm : public TForm {
public:
  TViewerForm() : TForm(nullptr) { AfterConstruction(); }
  int32_t Draws = 0;
  HWND Next = nullptr;

protected:
  void WndProc(TMessage& Message) override {
    if (Message.Msg == WM_DRAWCLIPBOARD) {
      ++Draws;
      if (Next) SendMessage(Next, WM_DRAWCLIPBOARD, 0, 0);
      return;
    }
    TForm::WndProc(Message);
  }
};
