// TPGOpenDialog: the open dialog of the imaging library. Its filter lists
// every format of the reader registry; beside the file list it shows a
// preview of the selected file, made on a background thread while a
// progress clock turns, and what the format's reader tells about the file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/file_formats.h"
#include "imaging/core/palette.h"
#include "imaging/core/pixel_graphic.h"
#include "imaging/viewer/pg_preview_thread.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/timer.h"

class TPGDialogPage;
class TPGDialogPane;

class TPGOpenDialog : public TOpenDialog {
public:
  explicit TPGOpenDialog(TComponent* AOwner);
  ~TPGOpenDialog() override;

  // Builds the filter from the registry first (with UseDefaultFilter).
  bool Execute() override;
  // Options must hold ofShareAware: without it a message box says so and
  // the options are stored with it.
  void SetOptions(TOpenOptions Value) override;

  TStretchMode StretchMode() const { return FStretchMode; }
  void SetStretchMode(TStretchMode Value) { FStretchMode = Value; }
  bool UseDefaultFilter() const { return FUseDefaultFilter; }
  void SetUseDefaultFilter(bool Value) { FUseDefaultFilter = Value; }
  TColor ProgressClockBkColor() const { return FProgressClockBkColor; }
  void SetProgressClockBkColor(TColor Value) { FProgressClockBkColor = Value; }
  TColor ProgressClockLineColor() const { return FProgressClockLineColor; }
  void SetProgressClockLineColor(TColor Value) { FProgressClockLineColor = Value; }
  bool ProgressClockVisible() const { return FProgressClockVisible; }
  void SetProgressClockVisible(bool Value) { FProgressClockVisible = Value; }
  // Preview palettes on an 8-bit screen (values outside the subrange are
  // taken to its nearest end).
  TPalette8BitSys24BitGraphic Palette8BitSys24BitGraphic() const { return FPalette8BitSys24BitGraphic; }
  void SetPalette8BitSys24BitGraphic(TPalette8BitSys24BitGraphic Value);
  TPalette8BitSys8BitGraphic Palette8BitSys8BitGraphic() const { return FPalette8BitSys8BitGraphic; }
  void SetPalette8BitSys8BitGraphic(TPalette8BitSys8BitGraphic Value);
  bool ShowInfo() const { return FShowInfo; }
  void SetShowInfo(bool Value) { FShowInfo = Value; }

  // ---- the filter, from the registry
  // The registry's readers (the save dialog: writers), sorted, in order.
  virtual std::vector<TFileFormatReaderWriter*> GetFormatList();
  // "Image files|*.bmp; *.gif|BMP - ...|*.bmp|GIF - ...|*.gif|All files|*.*"
  virtual std::string BuildFilter();
  // The number of format entries (listed readers); 0 without UseDefaultFilter.
  virtual int32_t GetFilterCount();
  // The lower-case extension of filter entry N (from 1), or empty.
  virtual std::string GetFilterExtension(int32_t N);

  // ---- while the dialog is on screen
  // The page in the extension area: receiver of the preview messages.
  HWND Page() const;
  TControl* PreviewPane() const;
  TControl* InfoPane() const;
  // The preview shown now (owned by the dialog), or null.
  TPixelGraphic* PreviewImage() const { return FPreviewImage.get(); }
  // The serial number of the latest preview started (0 before the first).
  uint32_t PreviewSerial() const { return FPreviewSerial; }
  // The running preview thread (a finished placeholder when idle).
  TCreateOpenSaveDialogPaintPGThread* PreviewThread() const { return FPreviewThread.get(); }
  // The file information of the selected file, valid when InfoValid.
  bool InfoValid() const { return FInfoValid; }
  const std::string& Description() const { return FDescription; }
  const TPGGraphicInfo& Info() const { return FInfo; }
  // The lines the information pane shows (none unless ShowInfo and InfoValid).
  std::vector<std::string> InfoLines() const;
  // The same, broken where a line is wider than the pane (while on screen).
  std::vector<std::string> InfoPaneLines() const;

  // Owner drawing of the panes, on their client rectangle.
  void DrawPreviewPane(HDC DC, const TRect& R);
  // FontHeight (a TFont height) sizes the information font, the pane's own
  // font size; 0 keeps PGInfoFont's.
  void DrawInfoPane(HDC DC, const TRect& R, int32_t FontHeight = 0);
  // The progress clock in the middle of the preview pane.
  void DrawPreviewClock(int32_t Stage, int32_t Percent);

protected:
  void PopulateExtension(TPanel* Area) override;
  void DoShow() override;
  void DoClose() override;
  void DoSelectionChange() override;
  void DoTypeChange() override;

  // A new selection: cancels the running preview and arms the timer.
  void SelectionChanged();
  // The save dialog keeps the name box's extension in step with the type.
  void TypeChanged();
  // Reads the file information and starts the preview thread.
  void StartPreview();
  // Places the dialog over the form that owns it (inside the work area), or,
  // without one, a third of the way down the screen, centred across.
  void CentreDialog();
  // The entries of GetFormatList that are Listed, in order.
  std::vector<TFileFormatReaderWriter*> ListedFormats();
  // "EXT - Description|*.ext|" for each.
  static std::string FormatEntries(const std::vector<TFileFormatReaderWriter*>& Listed);

private:
  friend class TPGDialogPage;
  // The page's messages.
  void PageMessage(TMessage& M);
  // Stops the running preview and waits for it; frees what it left.
  void StopPreview();
  void InvalidatePreviewInner();
  void InvalidateInfo();
  // Makes the information pane tall enough for its wrapped lines.
  void FitInfoPane();
  void ClosePanes();
  std::string SelectedPath() const;

  TPGDialogPage* FPage = nullptr;
  TPGDialogPane* FPreviewPane = nullptr;
  TPGDialogPane* FInfoPane = nullptr;
  std::unique_ptr<TPixelGraphic> FPreviewImage;
  std::unique_ptr<TCreateOpenSaveDialogPaintPGThread> FPreviewThread;
  std::shared_ptr<TPreviewMailbox> FMailbox;
  uint32_t FPreviewSerial = 0;
  TStretchMode FStretchMode = smPrecise;
  bool FUseDefaultFilter = true;
  TColor FProgressClockBkColor = clBtnFace;
  TColor FProgressClockLineColor = clBtnShadow;
  bool FProgressClockVisible = true;
  TPalette8BitSys24BitGraphic FPalette8BitSys24BitGraphic = pOptimized252Sys16;
  TPalette8BitSys8BitGraphic FPalette8BitSys8BitGraphic = pOptimized252Sys16;
  std::unique_ptr<TTimer> FPreviewTimer;
  bool FInfoValid = false;
  std::string FDescription;
  TPGGraphicInfo FInfo;
  bool FShowInfo = true;
};
