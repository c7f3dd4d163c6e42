// The tip of the day dialog, fed from "tips.txt" in the program folder: two
// header lines, then for every tip a title line (shown without its first
// three characters) and a text line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui/forms.h"

class TPanel;
class TImage;
class TLabel;
class TCheckBox;
class TButton;

class TTipForm : public TForm {
public:
  explicit TTipForm(TComponent* AOwner);
  void ShowTip(int32_t N);
  void NextClick(TObject* Sender);
  int32_t CurrentTip() const { return FCurrentTip; }

  TPanel* Panel1;
  TImage* Image1;
  TLabel* TipTitle;
  TLabel* TipText;
  TCheckBox* ShowAtStart;
  TButton* Next;
  TButton* CloseBtn;

private:
  int32_t FCurrentTip = 0;
};

// Shows the tip after TipIndex modally; TipIndex becomes the tip last shown.
// Returns the final state of the show-at-start box. A missing tips file
// raises EFOpenError before any dialog appears.
bool ShowTipDialog(int32_t& TipIndex, bool ShowAtStart);
// The tips file read during a showing (for tests).
std::string TipsFileName();
