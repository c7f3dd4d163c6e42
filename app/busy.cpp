#include "app/busy.h"

#include <algorithm>

#include "platform/gdi/cursors.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/std_controls.h"
#include "platform/ui/window.h"

namespace {

// How long a command runs before its window comes up, and how often the
// window's input is let in after that (milliseconds).
constexpr uint32_t BusyWindowDelay = 400;
constexpr uint32_t BusyLookInterval = 50;

TBusyCommand* RunningCommand = nullptr;
TBusyForm* TheBusyForm = nullptr;

}  // namespace

TBusyForm::TBusyForm(TComponent* AOwner) : TForm(AOwner) {
  SetCaption("Please Wait");
  SetBorderStyle(bsDialog);
  SetFormStyle(fsStayOnTop);
  SetPosition(poMainFormCenter);
  SetClientSize(360, 100);
  Label1 = new TLabel(this);
  Label1->SetParent(this);
  Label1->SetAutoSize(false);
  Label1->SetBounds(12, 12, 336, 17);
  ProgressBar1 = new TProgressBar(this);
  ProgressBar1->SetParent(this);
  ProgressBar1->SetBounds(12, 36, 336, 16);
  ProgressBar1->SetMax(1000);
  btnCancel = new TButton(this);
  btnCancel->SetParent(this);
  btnCancel->SetCaption("Cancel");
  btnCancel->SetBounds(268, 64, 80, 25);
  // Escape clicks it.
  btnCancel->SetCancel(true);
  btnCancel->OnClick = [](TObject*) {
    if (TBusyCommand* c = TBusyCommand::Running()) c->Cancel();
  };
  // The close button cancels too; the window goes when the command ends.
  OnCloseQuery = [](TObject*, bool& CanClose) {
    if (TBusyCommand* c = TBusyCommand::Running()) c->Cancel();
    CanClose = false;
  };
}

TBusyForm::~TBusyForm() {
  if (TheBusyForm == this) TheBusyForm = nullptr;
}

TBusyForm* BusyForm() {
  if (!TheBusyForm) TheBusyForm = new TBusyForm(Application);
  return TheBusyForm;
}

TBusyCommand::TBusyCommand(const std::string& Text) : FOuter(RunningCommand), FText(Text) {
  if (FOuter) return;
  RunningCommand = this;
  FStart = FLastLook = GetTickCount();
  if (Screen) Screen->SetCursor(crHourGlass);
}

TBusyCommand::~TBusyCommand() {
  if (FOuter) return;
  RunningCommand = nullptr;
  if (FShown) {
    EnableWindows(FWaiting);
    if (TheBusyForm) {
      TheBusyForm->Hide();
      SetWindowOwner(TheBusyForm->Handle(), nullptr);
    }
    if (FActive && IsWindow(FActive) && IsWindowVisible(FActive)) SetActiveWindow(FActive);
  }
  if (Screen) Screen->SetCursor(crDefault);
}

TBusyCommand* TBusyCommand::Running() { return RunningCommand; }

bool TBusyCommand::Step(int32_t Step, int32_t Max) {
  if (FOuter) return FOuter->Step(Step, Max);
  const uint32_t now = GetTickCount();
  TBusyForm* form = nullptr;
  if (!FShown && now - FStart >= BusyWindowDelay && Application) {
    form = BusyForm();
    form->Label1->SetCaption(FText);
    form->ProgressBar1->SetPosition(0);
    form->HandleNeeded();
    // Above the window the command came from, which waits behind it as
    // behind a modal one.
    FActive = GetActiveWindow();
    if (FActive && FActive != form->Handle()) SetWindowOwner(form->Handle(), FActive);
    FWaiting = DisableOtherWindows(form->Handle());
    form->Show();
    // An arrow that still says busy, to reach Cancel with.
    Screen->SetCursor(crAppStart);
    FShown = true;
    FLastLook = now - BusyLookInterval;
  }
  if (FShown && (form = TheBusyForm)) {
    if (Max > 0)
      form->ProgressBar1->SetPosition(
          static_cast<int32_t>(int64_t{std::clamp(Step, 0, Max)} * 1000 / Max));
    if (now - FLastLook >= BusyLookInterval) {
      FLastLook = now;
      Application->ProcessMessages();
    }
  }
  if (TBusyForm* f = TheBusyForm; f && f->OnStep) f->OnStep(f);
  return Cancelled();
}

TPGProgressEvent BusyProgress() {
  if (!RunningCommand) return nullptr;
  return [](TObject*, int32_t Step, int32_t Max, bool& Abort) {
    if (TBusyCommand* c = TBusyCommand::Running()) Abort = c->Step(Step, Max);
  };
}

void CheckBusyCancelled() {
  if (TBusyCommand* c = RunningCommand; c && c->Cancelled()) throw ECommandCancelled();
}
