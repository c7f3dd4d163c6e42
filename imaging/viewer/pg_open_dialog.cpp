// The open dialog with its preview and information panes.
#include "imaging/viewer/pg_open_dialog.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "imaging/core/messages.h"
#include "imaging/core/pg_resources.h"
#include "platform/base/files.h"
#include "platform/base/numeric.h"
#include "platform/base/strings.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/gdi/dc.h"
#include "platform/gdi/objects.h"
#include "platform/gdi/text.h"
#include "platform/ui/forms.h"
#include "platform/ui/message_queue.h"

namespace {

// The layout of the extension area in dialog units of the dialog font
// (a character cell of 6 by 13 pixels is 4 by 8 units).
int32_t DialogX(int32_t Units) { return static_cast<int32_t>(Round(Units * 6 / 4.0L)); }
int32_t DialogY(int32_t Units) { return static_cast<int32_t>(Round(Units * 13 / 8.0L)); }

constexpr int32_t PreviewDelay = 150;  // ms from the last selection to the preview

// The panes start at this column of the dialog's page; the file list and
// the buttons lie left of it.
constexpr int32_t PaneColumn = 192;

// The information pane's top and least height, in dialog units.
constexpr int32_t InfoTop = 110;
constexpr int32_t InfoHeight = 33;

// The font of the information pane: PGInfoFont, at FontHeight (a TFont
// height) unless that is 0.
HFONT CreateInfoFont(int32_t FontHeight) {
  LOGFONT info = PGInfoFont;
  if (FontHeight != 0) info.lfHeight = FontHeight;
  return CreateFontIndirect(info);
}

// Lines broken at blanks (within a word when a word alone is too wide) so
// that each fits Width in the font selected into DC.
std::vector<std::string> WrapToWidth(HDC DC, const std::vector<std::string>& Lines, int32_t Width) {
  std::vector<std::string> out;
  for (std::string rest : Lines) {
    while (TextExtent(DC, rest).cx > Width) {
      size_t fits = 0, blank = std::string::npos;
      for (size_t i = 1; i < rest.size(); ++i) {
        if ((static_cast<uint8_t>(rest[i]) & 0xC0) == 0x80) continue;  // inside a character
        if (TextExtent(DC, rest.substr(0, i)).cx > Width) break;
        fits = i;
        if (rest[i] == ' ') blank = i;
      }
      size_t take = blank != std::string::npos ? blank : fits;
      while (take == 0 || (take < rest.size() && (static_cast<uint8_t>(rest[take]) & 0xC0) == 0x80)) ++take;
      out.push_back(rest.substr(0, take));
      rest.erase(0, take);
      rest.erase(0, rest.find_first_not_of(' '));
      if (rest.empty()) break;
    }
    if (!rest.empty()) out.push_back(rest);
  }
  return out;
}

}  // namespace

// The child page in the extension area: parent of the panes and receiver of
// the preview thread's and the timer's messages.
class TPGDialogPage : public TCustomControl {
public:
  TPGDialogPage(TComponent* AOwner, TPGOpenDialog* Dialog) : TCustomControl(AOwner), FDialog(Dialog) {}

protected:
  void WndProc(TMessage& M) override {
    if (M.Msg == PGM_PREVIEWREADY || M.Msg == PGM_PREVIEWPROGRESS || M.Msg == PGM_STARTPREVIEW) {
      FDialog->PageMessage(M);
      return;
    }
    TCustomControl::WndProc(M);
  }

private:
  TPGOpenDialog* FDialog;
};

// A pane drawn by the dialog: the preview or the file information. Both are
// disabled, so they take no input.
class TPGDialogPane : public TCustomControl {
public:
  TPGDialogPane(TComponent* AOwner, TPGOpenDialog* Dialog, bool Preview)
      : TCustomControl(AOwner), FDialog(Dialog), FPreview(Preview) {
    // The preview pane paints all of itself; the information pane is
    // erased to the button face and gets its text drawn over that.
    if (Preview) SetControlStyle(ControlStyle() | csOpaque);
    SetColor(clBtnFace);
    SetEnabled(false);
  }

protected:
  void Paint() override {
    if (FPreview) FDialog->DrawPreviewPane(Canvas()->Handle(), ClientRect());
    // The information in the size of the dialog's font, like its other text.
    else FDialog->DrawInfoPane(Canvas()->Handle(), ClientRect(), Font()->Height());
  }

private:
  TPGOpenDialog* FDialog;
  bool FPreview;
};

// ---------------------------------------------------------------------------
// Creation and properties

TPGOpenDialog::TPGOpenDialog(TComponent* AOwner)
    : TOpenDialog(AOwner), FMailbox(std::make_shared<TPreviewMailbox>()) {
  TOpenDialog::SetOptions(ofHideReadOnly | ofShareAware);
  SetExtensionWidth(DialogX(288 - PaneColumn));
  FPreviewThread = std::make_unique<TCreateOpenSaveDialogPaintPGThread>(false, true);
  FPreviewThread->AfterConstruction();
  SetFilter(BuildFilter());
  FPreviewTimer = std::make_unique<TTimer>(nullptr);
  FPreviewTimer->SetEnabled(false);
  FPreviewTimer->SetInterval(PreviewDelay);
  FPreviewTimer->SetOnTimer([this](TObject*) {
    if (FPage) PostMessage(FPage->Handle(), PGM_STARTPREVIEW, 0, 0);
    FPreviewTimer->SetEnabled(false);
  });
}

TPGOpenDialog::~TPGOpenDialog() {
  FPreviewTimer.reset();
  FPreviewImage.reset();
  StopPreview();
  FPreviewThread.reset();
}

void TPGOpenDialog::SetOptions(TOpenOptions Value) {
  if (!(Value & ofShareAware)) {
    ShowMessage("TPGOpenDialog.Options and TPGSaveDialog.Options must include ofShareAware!");
    Value |= ofShareAware;
  }
  TOpenDialog::SetOptions(Value);
}

void TPGOpenDialog::SetPalette8BitSys24BitGraphic(TPalette8BitSys24BitGraphic Value) {
  FPalette8BitSys24BitGraphic = std::clamp(Value, pBlackWhite, pOptimized252Sys16);
}

void TPGOpenDialog::SetPalette8BitSys8BitGraphic(TPalette8BitSys8BitGraphic Value) {
  FPalette8BitSys8BitGraphic = std::clamp(Value, pBlackWhite, pSource);
}

// ---------------------------------------------------------------------------
// The filter

std::vector<TFileFormatReaderWriter*> TPGOpenDialog::GetFormatList() {
  std::vector<TFileFormatReaderWriter*> list;
  if (!FileFormatReaders) return list;
  SortFileFormatReaders();
  for (const auto& r : *FileFormatReaders) list.push_back(r.get());
  return list;
}

std::vector<TFileFormatReaderWriter*> TPGOpenDialog::ListedFormats() {
  std::vector<TFileFormatReaderWriter*> listed;
  for (TFileFormatReaderWriter* f : GetFormatList())
    if (f->Listed()) listed.push_back(f);
  return listed;
}

std::string TPGOpenDialog::FormatEntries(const std::vector<TFileFormatReaderWriter*>& Listed) {
  std::string text;
  for (TFileFormatReaderWriter* f : Listed)
    text += UpperCase(f->Extension()) + " - " + f->Description() + "|*." + LowerCase(f->Extension()) + "|";
  return text;
}

std::string TPGOpenDialog::BuildFilter() {
  const std::vector<TFileFormatReaderWriter*> listed = ListedFormats();
  std::string text;
  if (!listed.empty()) {
    text += PGMessage(25) + "|";
    for (size_t i = 0; i < listed.size(); ++i)
      text += (i ? "; *." : "*.") + LowerCase(listed[i]->Extension());
    text += "|" + FormatEntries(listed);
  }
  return text + PGMessage(26) + "|*.*";
}

int32_t TPGOpenDialog::GetFilterCount() {
  if (!FUseDefaultFilter) return 0;
  return static_cast<int32_t>(ListedFormats().size());
}

std::string TPGOpenDialog::GetFilterExtension(int32_t N) {
  if (!FUseDefaultFilter) return {};
  // Entry 1 is "Image files"; listed reader k is entry k + 1.
  const std::vector<TFileFormatReaderWriter*> listed = ListedFormats();
  if (N < 2 || N > static_cast<int32_t>(listed.size()) + 1) return {};
  return LowerCase(listed[static_cast<size_t>(N - 2)]->Extension());
}

// ---------------------------------------------------------------------------
// Running

bool TPGOpenDialog::Execute() {
  FInfoValid = false;
  if (FUseDefaultFilter) SetFilter(BuildFilter());
  return TOpenDialog::Execute();
}

void TPGOpenDialog::PopulateExtension(TPanel* Area) {
  FPage = new TPGDialogPage(Area, this);
  // The area follows the file dialog's layout; the page fills it.
  FPage->SetAlign(alClient);
  FPage->SetParent(Area);
  FPreviewPane = new TPGDialogPane(FPage, this, true);
  FPreviewPane->SetBounds(DialogX(192 - PaneColumn), DialogY(20), DialogX(92), DialogY(85));
  FPreviewPane->SetParent(FPage);
  FInfoPane = new TPGDialogPane(FPage, this, false);
  FInfoPane->SetBounds(DialogX(193 - PaneColumn), DialogY(InfoTop), DialogX(92), DialogY(InfoHeight));
  FInfoPane->SetParent(FPage);
}

void TPGOpenDialog::DoShow() {
  CentreDialog();
  TOpenDialog::DoShow();
}

void TPGOpenDialog::CentreDialog() {
  TCustomForm* form = DialogForm();
  if (!form) return;
  const int32_t w = form->Width(), h = form->Height();
  int32_t x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
  int32_t y = (GetSystemMetrics(SM_CYSCREEN) - h) / 3;
  // Over the window the dialog belongs to, wherever it is, and whole inside
  // the work area; a third down the screen when it belongs to none.
  auto* owner = dynamic_cast<TCustomForm*>(Owner());
  if (owner && owner->HandleAllocated() && IsWindowVisible(owner->Handle())) {
    TRect work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0);
    x = std::clamp(owner->Left() + (owner->Width() - w) / 2, work.Left, std::max(work.Left, work.Right - w));
    y = std::clamp(owner->Top() + (owner->Height() - h) / 2, work.Top, std::max(work.Top, work.Bottom - h));
  }
  form->SetBounds(x, y, w, h);
}

void TPGOpenDialog::DoClose() {
  TOpenDialog::DoClose();
  ClosePanes();
}

void TPGOpenDialog::ClosePanes() {
  FPreviewTimer->SetEnabled(false);
  StopPreview();
  FPreviewImage.reset();
  // The panes belong to the dialog's form, which frees them.
  FPage = nullptr;
  FPreviewPane = nullptr;
  FInfoPane = nullptr;
}

void TPGOpenDialog::DoSelectionChange() {
  SelectionChanged();
  TOpenDialog::DoSelectionChange();
}

void TPGOpenDialog::DoTypeChange() {
  TypeChanged();
  TOpenDialog::DoTypeChange();
}

HWND TPGOpenDialog::Page() const { return FPage ? FPage->Handle() : nullptr; }
TControl* TPGOpenDialog::PreviewPane() const { return FPreviewPane; }
TControl* TPGOpenDialog::InfoPane() const { return FInfoPane; }

// ---------------------------------------------------------------------------
// The preview

void TPGOpenDialog::StopPreview() {
  if (FPreviewThread) {
    FPreviewThread->Terminate();
    FPreviewThread->WaitFor();
  }
  // A picture the stopped thread left is stale now.
  FMailbox->Clear();
}

void TPGOpenDialog::InvalidatePreviewInner() {
  if (!FPreviewPane) return;
  TRect r = FPreviewPane->ClientRect();
  r = TRect{r.Left + 2, r.Top + 2, r.Right - 2, r.Bottom - 2};
  InvalidateRect(FPreviewPane->Handle(), &r, false);
}

void TPGOpenDialog::InvalidateInfo() {
  if (FInfoPane) InvalidateRect(FInfoPane->Handle(), nullptr, true);
}

void TPGOpenDialog::SelectionChanged() {
  FPreviewTimer->SetEnabled(false);
  StopPreview();
  FPreviewImage.reset();
  FInfoValid = false;
  InvalidatePreviewInner();
  InvalidateInfo();
  // The preview starts once the selection has rested for the delay.
  FPreviewTimer->SetEnabled(true);
}

std::string TPGOpenDialog::SelectedPath() const {
  std::string path = GetFilePath();
  // Several names come quoted after the folder: the first one is previewed.
  const size_t quote = path.find('"');
  if (quote == std::string::npos) return path;
  std::string name = path.substr(quote + 1);
  name = name.substr(0, name.find('"'));
  if (name.empty()) return {};
  if (name[0] == '/') return name;
  return path.substr(0, quote) + name;
}

void TPGOpenDialog::StartPreview() {
  FPreviewImage.reset();
  StopPreview();
  const std::string path = SelectedPath();
  FInfoValid = GetGraphicFileInfo(path, 0, FDescription, FInfo);
  FitInfoPane();
  InvalidateInfo();
  InvalidatePreviewInner();
  if (!FInfoValid || !FPreviewPane) return;

  auto thread = std::make_unique<TCreateOpenSaveDialogPaintPGThread>(true, false);
  thread->FileName = path;
  thread->DialogWindow = DialogForm() ? DialogForm()->Handle() : nullptr;
  thread->Page = FPage->Handle();
  thread->Serial = ++FPreviewSerial;
  thread->Mailbox = FMailbox;
  thread->PaneWidth = FPreviewPane->ClientWidth() - 4;
  thread->PaneHeight = FPreviewPane->ClientHeight() - 4;
  thread->StretchMode = FStretchMode;
  thread->Palette8BitSys24BitGraphic = FPalette8BitSys24BitGraphic;
  thread->Palette8BitSys8BitGraphic = FPalette8BitSys8BitGraphic;
  HDC screen = GetScreenDC();
  thread->ScreenDepth = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
  ReleaseScreenDC(screen);
  FPreviewThread = std::move(thread);
  FPreviewThread->Start();
}

void TPGOpenDialog::PageMessage(TMessage& M) {
  M.Result = 0;
  switch (M.Msg) {
    case PGM_PREVIEWPROGRESS:
      DrawPreviewClock(static_cast<int32_t>(M.WParam / 16), static_cast<int32_t>(M.LParam));
      break;
    case PGM_STARTPREVIEW:
      StartPreview();
      break;
    case PGM_PREVIEWREADY: {
      // Only the picture of the latest preview is taken; one of a preview
      // cancelled meanwhile was freed when it was cancelled.
      const uint32_t serial = static_cast<uint32_t>(M.WParam);
      std::unique_ptr<TPixelGraphic> image =
          FMailbox->Take(serial, reinterpret_cast<const TPixelGraphic*>(M.LParam));
      if (!image || serial != FPreviewSerial) break;
      FPreviewImage = std::move(image);
      InvalidatePreviewInner();
      break;
    }
  }
}

// ---------------------------------------------------------------------------
// Drawing

void TPGOpenDialog::DrawPreviewPane(HDC DC, const TRect& R) {
  TCanvas c;
  c.SetHandle(DC);
  const int32_t L = R.Left, T = R.Top, Rt = R.Right, B = R.Bottom;
  c.Brush()->SetColor(clBtnFace);
  c.FillRect(TRect{L + 2, T + 2, Rt - 2, B - 2});
  // Sunken border.
  auto line = [&](TColor Color, std::initializer_list<TPoint> Points) {
    c.Pen()->SetColor(Color);
    c.Polyline(std::vector<TPoint>(Points));
  };
  line(clBtnShadow, {{L, B - 2}, {L, T}, {Rt - 1, T}});
  line(clBlack, {{L + 1, B - 3}, {L + 1, T + 1}, {Rt - 2, T + 1}});
  line(clWhite, {{L, B - 1}, {Rt - 1, B - 1}, {Rt - 1, T - 1}});
  line(clBtnFace, {{L + 1, B - 2}, {Rt - 2, B - 2}, {Rt - 2, T}});
  c.SetHandle(nullptr);

  if (!FPreviewImage) return;
  const TSize s = TCreateOpenSaveDialogPaintPGThread::FitToPane(
      FPreviewImage->GetWidth(), FPreviewImage->GetHeight(), Rt - L - 4, B - T - 4, false);
  if (s.cx < 1 || s.cy < 1) return;
  const int32_t top = (T + B - s.cy) / 2;
  const int32_t left = (L + Rt - s.cx) / 2;
  FPreviewImage->DrawToDC(DC, TRect{left, top, left + s.cx, top + s.cy}, false, SRCCOPY);
}

void TPGOpenDialog::DrawPreviewClock(int32_t Stage, int32_t Percent) {
  if (!FProgressClockVisible || !FPreviewPane) return;
  TBitmap clock;
  clock.SetSize(15, 15);
  TCanvas* c = clock.Canvas();
  c->Brush()->SetColor(clBtnFace);
  c->FillRect(TRect{0, 0, 15, 15});
  c->Pen()->SetColor(FProgressClockLineColor);
  c->Brush()->SetColor(FProgressClockBkColor);
  c->Ellipse(0, 0, 15, 15);
  // One turn of the long hand per 100 %, a twelfth of a turn of the short
  // hand per stage.
  const long double longAngle = std::numbers::pi_v<long double> * Percent / 50;
  const long double shortAngle = (std::numbers::pi_v<long double> * (Stage - 1) * 2 + longAngle) / 12;
  auto hand = [&](long double Angle, int32_t Length) {
    c->MoveTo(7, 7);
    c->LineTo(7 + static_cast<int32_t>(Round(std::sin(Angle) * Length)),
              7 - static_cast<int32_t>(Round(std::cos(Angle) * Length)));
  };
  hand(shortAngle, 6);
  hand(longAngle, 7);
  const TRect r = FPreviewPane->ClientRect();
  HDC dc = GetDC(FPreviewPane->Handle());
  BitBlt(dc, r.Left + (r.Right - r.Left) / 2 - 8, r.Top + (r.Bottom - r.Top) / 2 - 8, 15, 15, c->Handle(), 0, 0,
         SRCCOPY);
  ReleaseDC(FPreviewPane->Handle(), dc);
}

std::vector<std::string> TPGOpenDialog::InfoLines() const {
  std::vector<std::string> lines;
  if (!FShowInfo || !FInfoValid) return lines;
  std::string size = std::to_string(FInfo.Width) + "x" + std::to_string(FInfo.Height) + "x" + FInfo.ColorsText +
                     " " + std::to_string(FInfo.BitsPerPixel) + " " + PGMessage(24);
  if (FInfo.ImageCount > 1) size += ", " + std::to_string(FInfo.ImageCount);
  for (const std::string& s : {FDescription, FInfo.FormatText, FInfo.ExtraText, size})
    if (!s.empty()) lines.push_back(s);
  return lines;
}

std::vector<std::string> TPGOpenDialog::InfoPaneLines() const {
  if (!FInfoPane) return {};
  TBitmap measure;
  measure.SetSize(1, 1);
  HDC dc = measure.Canvas()->Handle();
  HFONT font = CreateInfoFont(FInfoPane->Font()->Height());
  HGDIOBJ old = SelectObject(dc, font);
  std::vector<std::string> lines = WrapToWidth(dc, InfoLines(), FInfoPane->ClientWidth());
  SelectObject(dc, old);
  DeleteObject(font);
  return lines;
}

void TPGOpenDialog::FitInfoPane() {
  if (!FInfoPane || !FPage) return;
  // Tall enough for every line, wrapped: a long format name is not cut.
  TBitmap measure;
  measure.SetSize(1, 1);
  HDC dc = measure.Canvas()->Handle();
  HFONT font = CreateInfoFont(FInfoPane->Font()->Height());
  HGDIOBJ old = SelectObject(dc, font);
  const int32_t lineHeight = TextExtent(dc, "Wg").cy;
  SelectObject(dc, old);
  DeleteObject(font);
  const int32_t lines = static_cast<int32_t>(InfoPaneLines().size());
  const int32_t room = std::max(DialogY(InfoHeight), FPage->ClientHeight() - FInfoPane->Top());
  const int32_t height = std::clamp(lines * lineHeight, DialogY(InfoHeight), room);
  if (height != FInfoPane->Height()) FInfoPane->SetHeight(height);
}

void TPGOpenDialog::DrawInfoPane(HDC DC, const TRect& R, int32_t FontHeight) {
  HFONT font = CreateInfoFont(FontHeight);
  HGDIOBJ old = SelectObject(DC, font);
  const std::vector<std::string> lines = WrapToWidth(DC, InfoLines(), R.Right - R.Left);
  const int32_t n = static_cast<int32_t>(lines.size());
  SetBkMode(DC, TRANSPARENT);
  // Spread over the pane, but never closer than a line apart.
  const int32_t height = R.Bottom - R.Top, lineHeight = TextExtent(DC, "Wg").cy;
  for (int32_t i = 0; i < n; ++i)
    TextOut(DC, R.Left, R.Top + std::max(height * i / n, lineHeight * i), lines[static_cast<size_t>(i)]);
  SelectObject(DC, old);
  DeleteObject(font);
}

// ---------------------------------------------------------------------------
// Type changes of the save dialog

void TPGOpenDialog::TypeChanged() {
  if (!FSaveDialog || !FUseDefaultFilter || (Options() & ofAllowMultiSelect)) return;
  std::string path = GetFilePath();
  const std::string folder = GetFolderPath();
  // An empty name box, or a folder's name typed or chosen: left alone.
  if (path.empty() || DirectoryExists(path)) return;
  const std::string ext = GetFilterExtension(FilterIndex());
  if (ext.empty()) return;
  if (ExtractFileExt(path).empty()) path += ".xxx";
  path = ChangeFileExt(path, "." + ext);
  if (ExtractFilePath(path) == IncludeTrailingPathDelimiter(folder)) path = ExtractFileName(path);
  SetNameBoxText(path);
}
