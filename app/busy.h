// Commands that may take more than a moment. The busy cursor shows from
// their start; once one has run for a moment, a progress window with a bar
// and a Cancel button comes up and the program's other windows wait behind
// it. Escape, Cancel or the window's close button cancel the command: the
// image operations stop at their next row and the command ends by
// ECommandCancelled, leaving the picture as it was.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/core/pixel_graphic.h"
#include "platform/base/exception.h"
#include "platform/ui/forms.h"

class TLabel;
class TProgressBar;
class TButton;

// The running command was cancelled: it ends without a message.
class ECommandCancelled : public EAbort {
public:
  ECommandCancelled() : EAbort("Cancelled") {}
};

class TBusyForm : public TForm {
public:
  explicit TBusyForm(TComponent* AOwner);
  ~TBusyForm() override;
  TLabel* Label1;
  TProgressBar* ProgressBar1;  // in thousandths of the current stage
  TButton* btnCancel;
  // After each step of a running command's progress, the window shown or
  // not yet.
  TNotifyEvent OnStep;
};

// The progress window, made on first need; the application owns it.
TBusyForm* BusyForm();

// A command from construction to destruction. One made while another runs
// is part of it and changes nothing.
class TBusyCommand {
public:
  explicit TBusyCommand(const std::string& Text);
  ~TBusyCommand();
  TBusyCommand(const TBusyCommand&) = delete;
  TBusyCommand& operator=(const TBusyCommand&) = delete;

  // The command running, or none.
  static TBusyCommand* Running();
  // Step of Max of the stage at work: moves the bar, brings up the window
  // once the command has run for a moment, and now and then lets the
  // window's input in. True once the command is cancelled.
  bool Step(int32_t Step, int32_t Max);
  void Cancel() { FCancelled.store(true, std::memory_order_relaxed); }
  bool Cancelled() const { return FOuter ? FOuter->Cancelled() : FCancelled.load(std::memory_order_relaxed); }

private:
  TBusyCommand* FOuter = nullptr;
  std::string FText;
  uint32_t FStart = 0;
  uint32_t FLastLook = 0;
  bool FShown = false;
  TWaitingWindows FWaiting;
  HWND FActive = nullptr;  // active when the window came up
  std::atomic<bool> FCancelled{false};
};

// The progress event for an image the running command works on: its rows
// are the command's steps, and it aborts once the command is cancelled.
// Nothing without a running command.
TPGProgressEvent BusyProgress();
// Raises ECommandCancelled when the running command is cancelled; safe on
// any thread.
void CheckBusyCancelled();
