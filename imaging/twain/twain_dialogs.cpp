// The Select Source dialog and the scan progress window, and the services of
// TW_PARENT that show them for the source manager.
#include "imaging/twain/twain_dialogs.h"

#include <algorithm>

#include "platform/gdi/cursors.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/std_controls.h"
#include "platform/ui/window.h"

namespace {

TButton* MakeButton(TForm* Form, const std::string& Caption, int32_t Left, int32_t Top, TModalResult Result) {
  auto* B = new TButton(Form);
  B->SetParent(Form);
  B->SetCaption(Caption);
  B->SetBounds(Left, Top, 80, 25);
  B->SetModalResult(Result);
  return B;
}

TLabel* MakeLabel(TForm* Form, const std::string& Caption, int32_t Width) {
  auto* L = new TLabel(Form);
  L->SetParent(Form);
  L->SetAutoSize(false);
  L->SetBounds(12, 12, Width, 17);
  L->SetCaption(Caption);
  return L;
}

TW_BOOL PostForSource(TW_MEMREF Wnd, TW_UINT32 Msg, uintptr_t WParam, intptr_t LParam) {
  return PostMessage(static_cast<HWND>(Wnd), Msg, WParam, LParam) ? 1 : 0;
}

TW_INT32 SelectSource(TW_MEMREF, const char* const* Names, TW_UINT32 Count, TW_INT32 Default) {
  std::vector<std::string> List;
  for (TW_UINT32 i = 0; i < Count && Names; ++i) List.push_back(Names[i] ? Names[i] : "");
  TSelectSourceForm* Form = nullptr;
  TW_INT32 Result = -1;
  try {
    Form = new TSelectSourceForm(Application, List, Default);
    Form->AfterConstruction();
    if (Form->ShowModal() == mrOk) Result = Form->Sources->ItemIndex();
  } catch (...) {
    // A dialog that could not be shown chooses nothing.
    Result = -1;
  }
  if (Form) Form->Free();
  return Result;
}

// A progress window and what it changed while it is up.
struct TProgress {
  TScanProgressForm* Form = nullptr;
  TWaitingWindows Disabled;
  TCursor Cursor = crDefault;
};

void EndProgress(TW_MEMREF Handle) {
  auto* P = static_cast<TProgress*>(Handle);
  if (!P) return;
  EnableWindows(P->Disabled);
  if (P->Form) P->Form->Free();
  Screen->SetCursor(P->Cursor);
  delete P;
}

TW_MEMREF BeginProgress(TW_MEMREF, const char* Text) {
  auto* P = new TProgress;
  try {
    P->Form = new TScanProgressForm(Application, Text ? Text : "");
    P->Form->AfterConstruction();
    P->Form->HandleNeeded();
    // The application waits behind the window, as behind a modal one.
    P->Disabled = DisableOtherWindows(P->Form->Handle());
    // An arrow to reach Cancel with, whatever the application showed.
    P->Cursor = Screen->Cursor();
    Screen->SetCursor(crDefault);
    P->Form->Show();
    Application->ProcessMessages();
  } catch (...) {
    EndProgress(P);
    return nullptr;
  }
  return P;
}

TW_BOOL StepProgress(TW_MEMREF Handle, TW_UINT32 Step, TW_UINT32 Max) {
  auto* P = static_cast<TProgress*>(Handle);
  if (!P || !P->Form) return 0;
  if (Max > 0) {
    // The bar counts in thousandths, whatever the number of lines.
    const uint64_t Part = uint64_t{std::min(Step, Max)} * 1000 / Max;
    P->Form->ProgressBar1->SetPosition(static_cast<int32_t>(Part));
  }
  Application->ProcessMessages();
  return P->Form->Cancelled || Application->Terminated() ? 1 : 0;
}

}  // namespace

TSelectSourceForm::TSelectSourceForm(TComponent* AOwner, const std::vector<std::string>& Names, int32_t Default)
    : TForm(AOwner) {
  const int32_t Rows = std::max<int32_t>(static_cast<int32_t>(Names.size()), 1);
  SetCaption("Select Source");
  SetBorderStyle(bsDialog);
  SetPosition(poMainFormCenter);
  SetClientSize(360, 96 + 22 * Rows);
  Label1 = MakeLabel(this, Names.empty() ? "No source was found." : "Sources:", 336);
  Sources = new TRadioGroup(this);
  Sources->SetParent(this);
  Sources->SetBounds(12, 32, 336, 18 + 22 * Rows);
  Sources->SetItems(Names);
  if (Default >= 0 && Default < static_cast<int32_t>(Names.size())) Sources->SetItemIndex(Default);
  const int32_t Top = 62 + 22 * Rows;
  btnSelect = MakeButton(this, "Select", 182, Top, mrOk);
  btnSelect->SetDefault(true);
  btnSelect->SetEnabled(Sources->ItemIndex() >= 0);
  btnCancel = MakeButton(this, "Cancel", 268, Top, mrCancel);
  btnCancel->SetCancel(true);
  Sources->OnClick = [this](TObject*) { btnSelect->SetEnabled(Sources->ItemIndex() >= 0); };
  if (!Names.empty()) SetActiveControl(Sources);  // the arrow keys choose at once
}

TScanProgressForm::TScanProgressForm(TComponent* AOwner, const std::string& Text) : TForm(AOwner) {
  SetCaption("Scanning");
  SetBorderStyle(bsDialog);
  SetBorderIcons(0);
  SetFormStyle(fsStayOnTop);
  SetPosition(poMainFormCenter);
  SetClientSize(360, 100);
  Label1 = MakeLabel(this, Text, 336);
  ProgressBar1 = new TProgressBar(this);
  ProgressBar1->SetParent(this);
  ProgressBar1->SetBounds(12, 36, 336, 16);
  ProgressBar1->SetMax(1000);
  btnCancel = MakeButton(this, "Cancel", 268, 64, mrNone);
  btnCancel->SetCancel(true);
  btnCancel->OnClick = [this](TObject*) { Cancelled = true; };
  // Closing the window cancels too.
  OnCloseQuery = [this](TObject*, bool& CanClose) {
    Cancelled = true;
    CanClose = false;
  };
}

TW_PARENT TWAIN_ParentRecord(HWND Window) {
  return TW_PARENT{Window, &PostForSource, &SelectSource, &BeginProgress, &StepProgress, &EndProgress};
}
