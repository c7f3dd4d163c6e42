#include "app/form_tips.h"

#include <fstream>

#include "controls/glyphs.h"
#include "platform/base/exception.h"
#include "platform/base/files.h"
#include "platform/gdi/colors.h"
#include "platform/ui/std_controls.h"

namespace {
// The lines of the tips file and the number of tips, during one showing.
std::vector<std::string> Lines;
int32_t TipCount = 0;

std::vector<std::string> ReadLines(const std::string& FileName) {
  std::ifstream in(FileName, std::ios::binary);
  if (!in) throw EFOpenError("Cannot open file \"" + FileName + "\"");
  std::vector<std::string> result;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    result.push_back(line);
  }
  return result;
}

std::string LineAt(size_t I) { return I < Lines.size() ? Lines[I] : std::string(); }
}  // namespace

std::string TipsFileName() { return IncludeTrailingPathDelimiter(ProgramFolder()) + "tips.txt"; }

TTipForm::TTipForm(TComponent* AOwner) : TForm(AOwner) {
  SetCaption("Quillon Pro - Tips");
  SetBorderStyle(bsDialog);
  SetBorderIcons(biSystemMenu);
  SetPosition(poMainFormCenter);  // over the main window, wherever it is
  SetClientSize(433, 215);

  Panel1 = new TPanel(this);
  Panel1->SetParent(this);
  Panel1->SetBounds(8, 8, 417, 160);
  Panel1->SetBevelOuter(bvLowered);
  Panel1->SetColor(clInfoBk);
  Panel1->SetCaption("");

  Image1 = new TImage(this);
  Image1->SetParent(Panel1);
  Image1->SetBounds(12, 12, 32, 32);
  LoadProgramIcon(Image1->Picture()->Bitmap(), "quillonpro", 32, clInfoBk);

  TipTitle = new TLabel(this);
  TipTitle->SetParent(Panel1);
  TipTitle->SetAutoSize(false);
  TipTitle->SetWordWrap(true);
  TipTitle->SetBounds(56, 12, 348, 36);
  TipTitle->Font()->SetStyle(fsBold);

  TipText = new TLabel(this);
  TipText->SetParent(Panel1);
  TipText->SetAutoSize(false);
  TipText->SetWordWrap(true);
  TipText->SetBounds(56, 52, 348, 100);

  ShowAtStart = new TCheckBox(this);
  ShowAtStart->SetParent(this);
  ShowAtStart->SetBounds(8, 180, 230, 17);
  ShowAtStart->SetCaption("&Show on next Start of Quillon Pro");

  Next = new TButton(this);
  Next->SetParent(this);
  Next->SetBounds(262, 176, 75, 25);
  Next->SetCaption("&Next >");
  Next->OnClick = [this](TObject* S) { NextClick(S); };

  CloseBtn = new TButton(this);
  CloseBtn->SetParent(this);
  CloseBtn->SetBounds(350, 176, 75, 25);
  CloseBtn->SetCaption("&Close");
  CloseBtn->SetModalResult(mrOk);
  CloseBtn->SetDefault(true);
  CloseBtn->SetCancel(true);  // Escape closes, as Close does
}

void TTipForm::ShowTip(int32_t N) {
  // A number outside the tips (a stored index from another tips file, or
  // one edited by hand) starts again at the first tip.
  if (N < 1 || N > TipCount) N = 1;
  if (N == FCurrentTip) return;
  FCurrentTip = N;
  std::string title = LineAt(static_cast<size_t>(2) * FCurrentTip);
  TipTitle->SetCaption(title.size() > 3 ? title.substr(3) : std::string());
  TipTitle->Repaint();
  TipText->SetCaption(LineAt(static_cast<size_t>(2) * FCurrentTip + 1));
  TipText->Repaint();
}

void TTipForm::NextClick(TObject*) { ShowTip(FCurrentTip + 1); }

bool ShowTipDialog(int32_t& TipIndex, bool ShowAtStart) {
  Lines = ReadLines(TipsFileName());
  TipIndex = TipIndex < INT32_MAX ? TipIndex + 1 : 1;
  TipCount = (static_cast<int32_t>(Lines.size()) - 2) / 2;
  bool result = ShowAtStart;
  TTipForm* form = new TTipForm(Application);
  try {
    form->AfterConstruction();
    form->ShowTip(TipIndex);
    form->ShowAtStart->SetChecked(ShowAtStart);
    form->ShowModal();
    TipIndex = form->CurrentTip();
    result = form->ShowAtStart->Checked();
  } catch (...) {
    form->Free();
    Lines.clear();
    throw;
  }
  form->Free();
  Lines.clear();
  TipCount = 0;
  return result;
}
