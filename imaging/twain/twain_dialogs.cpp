// The Select Source dialog, the settings step and the scan progress window,
// and the services of TW_PARENT that show them or keep the settings for the
// source manager.
#include "imaging/twain/twain_dialogs.h"

#include <algorithm>
#include <cstring>

#include "platform/base/files.h"
#include "platform/base/settings.h"
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

// The manager's message that it has stopped looking for sources.
constexpr uint32_t WM_SOURCESFOUND = WM_APP + 0x34;

TW_INT32 SelectSource(TW_MEMREF, const TW_SOURCELIST* List) {
  TW_INT32 Result = -1;
  TSelectSourceForm* Form = nullptr;
  try {
    Form = new TSelectSourceForm(Application, List);
    Form->AfterConstruction();
    if (Form->ShowModal() == mrOk) Result = Form->Sources->ItemIndex();
  } catch (...) {
    // A dialog that could not be shown chooses nothing.
    Result = -1;
  }
  if (Form) Form->Free();
  return Result;
}

TW_BOOL ScanSettings(TW_MEMREF, TW_SCANSETTINGS* Settings) {
  TScanSettingsForm* Form = nullptr;
  bool Scan = false;
  try {
    Form = new TScanSettingsForm(Application, *Settings);
    Form->AfterConstruction();
    Scan = Form->ShowModal() == mrOk;
    if (Scan) Form->Chosen(*Settings);
  } catch (...) {
    Scan = false;
  }
  if (Form) Form->Free();
  return Scan ? 1 : 0;
}

TW_UINT32 ReadSetting(const char* Key, char* Value, TW_UINT32 Size) {
  const std::string Name = TWAIN_SettingsFileName();
  if (Name.empty() || !Key || !Value || Size == 0) return 0;
  const std::string Text = TSettingsFile(Name).ReadString(Key, "");
  if (Text.size() >= Size) return 0;
  std::memcpy(Value, Text.c_str(), Text.size() + 1);
  return static_cast<TW_UINT32>(Text.size());
}

TW_BOOL WriteSetting(const char* Key, const char* Value) {
  const std::string Name = TWAIN_SettingsFileName();
  if (Name.empty() || !Key || !Value) return 0;
  TSettingsFile File(Name);
  File.WriteString(Key, Value);
  return File.UpdateFile() ? 1 : 0;
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

TSelectSourceForm::TSelectSourceForm(TComponent* AOwner, const TW_SOURCELIST* List) : TForm(AOwner), FList(List) {
  SetCaption("Select Source");
  SetBorderStyle(bsDialog);
  SetPosition(poMainFormCenter);
  Label1 = MakeLabel(this, "", 336);
  Label1->SetWordWrap(true);
  Sources = new TRadioGroup(this);
  Sources->SetParent(this);
  btnSelect = MakeButton(this, "Select", 182, 0, mrOk);
  btnSelect->SetDefault(true);
  btnCancel = MakeButton(this, "Cancel", 268, 0, mrCancel);
  btnCancel->SetCancel(true);
  Sources->OnClick = [this](TObject*) { btnSelect->SetEnabled(Sources->ItemIndex() >= 0); };
  Refill();
  if (FLooking && FList && FList->Watch) FList->Watch(FList->Context, Handle(), WM_SOURCESFOUND);
}

// Shows the list as the manager has it now, keeping the person's choice.
void TSelectSourceForm::Refill() {
  const char* const* Names = nullptr;
  TW_UINT32 Count = 0;
  TW_INT32 Default = -1;
  const char* Said = "";
  FLooking = FList && FList->Poll && FList->Poll(FList->Context, &Names, &Count, &Default, &Said) != 0;
  std::vector<std::string> List;
  for (TW_UINT32 i = 0; i < Count && Names; ++i) List.push_back(Names[i] ? Names[i] : "");
  const int32_t Was = Sources->ItemIndex();
  const std::string Chosen = Was >= 0 && Was < static_cast<int32_t>(Sources->Items().size()) ? Sources->Items()[Was] : "";
  const auto Again = std::find(List.begin(), List.end(), Chosen);
  const int32_t Index = !Chosen.empty() && Again != List.end() ? static_cast<int32_t>(Again - List.begin()) : Default;

  const std::string Note = Said ? Said : "";
  Label1->SetCaption(FLooking ? "Looking for scanners..." : !Note.empty() ? Note
                                                        : List.empty() ? "No source was found." : "Sources:");
  // Two lines for what the manager says, one otherwise.
  const int32_t Rows = std::max<int32_t>(static_cast<int32_t>(List.size()), 1);
  const int32_t Top = Note.empty() || FLooking ? 32 : 49;
  SetClientSize(360, Top + 64 + 22 * Rows);
  Label1->SetBounds(12, 12, 336, Top - 15);
  Sources->SetBounds(12, Top, 336, 18 + 22 * Rows);
  Sources->SetItems(List);
  Sources->SetItemIndex(Index >= 0 && Index < static_cast<int32_t>(List.size()) ? Index : -1);
  btnSelect->SetTop(Top + 30 + 22 * Rows);
  btnCancel->SetTop(Top + 30 + 22 * Rows);
  btnSelect->SetEnabled(Sources->ItemIndex() >= 0);
  if (!List.empty()) SetActiveControl(Sources);  // the arrow keys choose at once
}

void TSelectSourceForm::WndProc(TMessage& Message) {
  if (Message.Msg == WM_SOURCESFOUND) {
    if (FLooking) Refill();
    return;
  }
  TForm::WndProc(Message);
}

namespace {

// A group of choices; columns side by side when there are many.
TRadioGroup* MakeGroup(TForm* Form, const std::string& Caption, const std::vector<std::string>& Items, int32_t Index,
                       int32_t Columns, int32_t& Top) {
  auto* G = new TRadioGroup(Form);
  G->SetParent(Form);
  G->SetCaption(Caption);
  G->SetColumns(Columns);
  const int32_t Rows = (static_cast<int32_t>(Items.size()) + Columns - 1) / Columns;
  G->SetBounds(12, Top, 336, 22 + 22 * Rows);
  G->SetItems(Items);
  G->SetItemIndex(Index >= 0 && Index < static_cast<int32_t>(Items.size()) ? Index : -1);
  Top += G->Height() + 8;
  return G;
}

std::vector<std::string> Names(const char* const* List, TW_UINT32 Count) {
  std::vector<std::string> Result;
  for (TW_UINT32 i = 0; i < Count && List; ++i) Result.push_back(List[i] ? List[i] : "");
  return Result;
}

}  // namespace

TScanSettingsForm::TScanSettingsForm(TComponent* AOwner, const TW_SCANSETTINGS& S) : TForm(AOwner) {
  SetCaption("Scan");
  SetBorderStyle(bsDialog);
  SetPosition(poMainFormCenter);
  Label1 = MakeLabel(this, S.Title ? S.Title : "", 336);
  int32_t Top = 36;
  Note = MakeLabel(this, S.Note ? S.Note : "", 336);
  Note->SetWordWrap(true);
  Note->SetVisible(S.Note && *S.Note);
  if (Note->Visible()) {
    Note->SetBounds(12, Top, 336, 34);
    Top += 40;
  }
  if (S.ModeCount > 0) Modes = MakeGroup(this, "Mode", Names(S.Modes, S.ModeCount), S.Mode, 3, Top);
  if (S.ResolutionCount > 0 && S.Resolutions) {
    std::vector<std::string> Items;
    int32_t Index = -1;
    for (TW_UINT32 i = 0; i < S.ResolutionCount; ++i) {
      FResolutions.push_back(S.Resolutions[i]);
      Items.push_back(std::to_string(S.Resolutions[i]));
      if (S.Resolutions[i] == S.Resolution) Index = static_cast<int32_t>(i);
    }
    Resolutions = MakeGroup(this, "Resolution (dpi)", Items, Index, 4, Top);
  } else if (S.MaxResolution > 0) {
    auto* L = MakeLabel(this, "Resolution (dpi):", 150);
    L->SetBounds(12, Top + 4, 150, 17);
    Resolution = new TSpinEdit(this);
    Resolution->SetParent(this);
    Resolution->SetBounds(168, Top, 100, 24);
    Resolution->SetMinValue(S.MinResolution);
    Resolution->SetMaxValue(S.MaxResolution);
    Resolution->SetValue(std::clamp(S.Resolution, S.MinResolution, S.MaxResolution));
    Top += 32;
  }
  if (S.AreaCount > 0) Areas = MakeGroup(this, "Area", Names(S.Areas, S.AreaCount), S.Area, 1, Top);
  btnScan = MakeButton(this, "Scan", 182, Top + 4, mrOk);
  btnScan->SetDefault(true);
  btnCancel = MakeButton(this, "Cancel", 268, Top + 4, mrCancel);
  btnCancel->SetCancel(true);
  SetClientSize(360, Top + 41);
  // The arrow keys choose at once.
  if (Modes) SetActiveControl(Modes);
  else if (Resolutions) SetActiveControl(Resolutions);
  else if (Resolution) SetActiveControl(Resolution);
  else if (Areas) SetActiveControl(Areas);
}

void TScanSettingsForm::Chosen(TW_SCANSETTINGS& S) const {
  if (Modes) S.Mode = Modes->ItemIndex();
  if (Resolutions && Resolutions->ItemIndex() >= 0) S.Resolution = FResolutions[Resolutions->ItemIndex()];
  if (Resolution) S.Resolution = std::clamp(Resolution->Value(), S.MinResolution, S.MaxResolution);
  if (Areas) S.Area = Areas->ItemIndex();
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
  return TW_PARENT{Window,        &PostForSource, &SelectSource, &BeginProgress, &StepProgress,
                   &EndProgress,  &ScanSettings,  &ReadSetting,  &WriteSetting};
}

std::string TWAIN_SettingsFileName() {
  const std::string Folder = UserConfigFolder();
  return Folder.empty() ? std::string() : IncludeTrailingPathDelimiter(Folder) + "scanner.cfg";
}
