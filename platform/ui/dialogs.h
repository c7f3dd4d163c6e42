// The common dialogs: TOpenDialog, TSaveDialog and TColorDialog, the
// desktop toolkit's own file and colour dialogs run modally within our
// message queue. A file dialog can hold panes of its caller (the extension
// area beside the file view), and tests answer the dialogs by script
// (ExecutingFileDialog / ExecutingColorDialog from a TUiTestDriver::WhenIdle
// step).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/std_controls.h"

// TOpenOptions, as bits.
enum TOpenOption : uint32_t {
  ofReadOnly = 1u << 0,
  ofOverwritePrompt = 1u << 1,
  ofHideReadOnly = 1u << 2,
  ofNoChangeDir = 1u << 3,
  ofShowHelp = 1u << 4,
  ofNoValidate = 1u << 5,
  ofAllowMultiSelect = 1u << 6,
  ofExtensionDifferent = 1u << 7,
  ofPathMustExist = 1u << 8,
  ofFileMustExist = 1u << 9,
  ofCreatePrompt = 1u << 10,
  ofShareAware = 1u << 11,
  ofNoReadOnlyReturn = 1u << 12,
  ofNoTestFileCreate = 1u << 13,
  ofNoNetworkButton = 1u << 14,
  ofNoLongNames = 1u << 15,
  ofOldStyleDialog = 1u << 16,
  ofNoDereferenceLinks = 1u << 17,
  ofEnableIncludeNotify = 1u << 18,
  ofEnableSizing = 1u << 19,
};
using TOpenOptions = uint32_t;

using TCloseQueryDialogEvent = std::function<void(TObject* Sender, bool& CanClose)>;

class TFileDialogForm;

class TOpenDialog : public TComponent {
public:
  explicit TOpenDialog(TComponent* AOwner);
  ~TOpenDialog() override;

  // "Text|pattern|Text|pattern", patterns separated by ";" (blanks allowed).
  const std::string& Filter() const { return FFilter; }
  void SetFilter(const std::string& Value) { FFilter = Value; }
  // 1-based; while the dialog is on screen it follows the chosen type.
  int32_t FilterIndex() const { return FFilterIndex; }
  void SetFilterIndex(int32_t Value) { FFilterIndex = Value; }
  const std::string& FileName() const { return FFileName; }
  void SetFileName(const std::string& Value) { FFileName = Value; }
  // The chosen names (more than one with ofAllowMultiSelect).
  const std::vector<std::string>& Files() const { return FFiles; }
  const std::string& InitialDir() const { return FInitialDir; }
  void SetInitialDir(const std::string& Value) { FInitialDir = Value; }
  // Set (without its dot): a typed name without an extension gets the
  // extension of the chosen type ("*.png" gives ".png"), or this one when
  // the type names none ("*.*").
  const std::string& DefaultExt() const { return FDefaultExt; }
  void SetDefaultExt(const std::string& Value) { FDefaultExt = Value; }
  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& Value) { FTitle = Value; }
  TOpenOptions Options() const { return FOptions; }
  virtual void SetOptions(TOpenOptions Value) { FOptions = Value; }
  bool IsSaveDialog() const { return FSaveDialog; }
  // Width of the extension area (0: none); the area is a panel right of
  // the file list, filled by PopulateExtension.
  int32_t ExtensionWidth() const { return FExtensionWidth; }
  void SetExtensionWidth(int32_t Value) { FExtensionWidth = Value; }

  // Runs the dialog; true when a name was chosen (FileName holds it).
  virtual bool Execute();
  bool Executing() const { return FForm != nullptr; }

  // ---- while the dialog is on screen ----
  // The path of the selected or typed name, and the folder shown.
  std::string GetFilePath() const;
  std::string GetFolderPath() const;
  // Sets the text of the name box.
  void SetNameBoxText(const std::string& Text);
  std::string NameBoxText() const;
  TPanel* ExtensionArea() const;
  // The dialog's form (its window receives the dialog's messages).
  TCustomForm* DialogForm() const;
  // What the user does, for scripts: pick a name of the list (a file: its
  // name goes to the name box; a folder: it is opened), pick several (with
  // ofAllowMultiSelect), open a folder, choose a file type, press the OK or
  // Cancel button.
  void SelectFile(const std::string& Name);
  void SelectFiles(const std::vector<std::string>& Names);
  void ChangeFolder(const std::string& Folder);
  void SelectFilterIndex(int32_t Index);
  void Accept();
  void CancelDialog();
  // The names listed now, as the view orders them (folders with a trailing "/").
  std::vector<std::string> ListedNames() const;

  TNotifyEvent OnShow;
  TNotifyEvent OnClose;
  TCloseQueryDialogEvent OnCanClose;
  TNotifyEvent OnSelectionChange;
  TNotifyEvent OnFolderChange;
  TNotifyEvent OnTypeChange;

protected:
  // The steps of a run, each firing its event; derived dialogs add to them.
  virtual void PopulateExtension(TPanel* Area) { (void)Area; }
  virtual void DoShow();
  virtual void DoClose();
  virtual bool DoCanClose();
  virtual void DoSelectionChange();
  virtual void DoFolderChange();
  virtual void DoTypeChange();
  bool FSaveDialog = false;

private:
  friend class TFileDialogForm;
  std::string FFilter;
  int32_t FFilterIndex = 1;
  std::string FFileName;
  std::vector<std::string> FFiles;
  std::string FInitialDir;
  std::string FDefaultExt;
  std::string FTitle;
  TOpenOptions FOptions = ofHideReadOnly;
  int32_t FExtensionWidth = 0;
  TFileDialogForm* FForm = nullptr;
};

class TSaveDialog : public TOpenDialog {
public:
  explicit TSaveDialog(TComponent* AOwner) : TOpenDialog(AOwner) { FSaveDialog = true; }
};

// The file dialog on screen now (the innermost), or null.
TOpenDialog* ExecutingFileDialog();

// The parts of a filter: pairs of description and patterns.
struct TFilterEntry {
  std::string Description;
  std::vector<std::string> Patterns;
};
std::vector<TFilterEntry> ParseFilter(const std::string& Filter);
// Whether a file name matches a pattern ("*.bmp", "*.*", "a?c.gif"), ignoring case.
bool MatchesMask(const std::string& Name, const std::string& Pattern);
// What the person is told of a file that could not be opened: its name,
// then Reason as a sentence (a full stop added when it has none).
std::string CannotOpenFileText(const std::string& FileName, std::string Reason);

// The colour dialog always shows its editors; the options are kept for
// callers and change nothing.
enum TColorDialogOption : uint32_t {
  cdFullOpen = 1u << 0,
  cdPreventFullOpen = 1u << 1,
  cdShowHelp = 1u << 2,
  cdSolidColor = 1u << 3,
  cdAnyColor = 1u << 4,
};
using TColorDialogOptions = uint32_t;

class TColorDialogForm;

class TColorDialog : public TComponent {
public:
  explicit TColorDialog(TComponent* AOwner);
  ~TColorDialog() override;
  TColor Color() const { return FColor; }
  void SetColor(TColor Value) { FColor = Value; }
  // Sixteen custom colours as "ColorA=RRGGBB" .. "ColorP=RRGGBB" (hex of
  // 0x00BBGGRR as the class library writes it). The dialog's custom colours
  // are kept while the program runs: lines given here replace their slots
  // when the dialog runs, and afterwards all sixteen are listed.
  const std::vector<std::string>& CustomColors() const { return FCustomColors; }
  void SetCustomColors(const std::vector<std::string>& Value) { FCustomColors = Value; }
  TColorDialogOptions Options() const { return FOptions; }
  void SetOptions(TColorDialogOptions Value) { FOptions = Value; }
  virtual bool Execute();

  // ---- while on screen, for scripts ----
  // The colour shown as chosen now.
  TColor CurrentColor() const;
  // Choose a colour: a basic swatch (0..47), a custom swatch (0..15), or
  // any colour through the editors.
  void SelectBasicColor(int32_t Index);
  void SelectCustomColor(int32_t Index);
  void PickColor(TColor Value);
  // Presses "Add to Custom Colors": the current colour goes to the
  // dialog's next custom slot.
  void AddToCustomColors();
  // The editors always show beside the swatches (true while on screen).
  bool FullOpen() const;
  void Accept();
  void CancelDialog();

private:
  friend class TColorDialogForm;
  TColor FColor = clBlack;
  std::vector<std::string> FCustomColors;
  TColorDialogOptions FOptions = 0;
  TColorDialogForm* FForm = nullptr;
};

TColorDialog* ExecutingColorDialog();
// The 48 basic colours of the colour dialog.
const std::vector<TColor>& BasicColors();
