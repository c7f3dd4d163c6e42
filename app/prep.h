// The small stay-on-top window that reports progress while the colour
// preview prepares its eight images.
#pragma once

#include "platform/ui/forms.h"

class TPanel;
class TMemo;
class TProgressBar;

class TPrepForm : public TForm {
public:
  explicit TPrepForm(TComponent* AOwner);
  ~TPrepForm() override;

  TPanel* Panel1;
  TMemo* Memo1;
  TProgressBar* ProgressBar1;
};

extern TPrepForm* PrepForm;
