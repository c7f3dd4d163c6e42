// The full edition's main window: a viewer around the current image, its
// menu, toolbar and status bar, the colour reduction and GIF size estimate,
// the file and clipboard commands and the persisted settings.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "imaging/core/palette.h"
#include "platform/ui/forms.h"

class TBitmap;
class TMemoryStream;
class TStream;
class TPixelGraphic;
class TDock;
class TToolbar;
class TToolbarButton;
class TMainMenu;
class TPopupMenu;
class TMenuItem;
class TStatusBar;
class TStatusPanel;
class TPanel;
class TLabel;
class TSpinEdit;
class TPGImage;
class TGIFImg;
class TPGOpenDialog;
class TPGSaveDialog;
class TColorDialog;
class TImageList;

// Module state: false while a file is being loaded or pasted (MarkDirty
// then does nothing), and false while the crop spins are written from the
// selection.
extern bool QLNLoadingIdle;
extern bool QLNSelectionSync;

// Screen cursor number of the transparent-pick cursor.
inline constexpr int32_t crTransparent = 1;

// Posted by the main window to itself: open the file named on the command
// line once the window shows, so that a reader's question or the reason it
// cannot be opened comes over the window; files the start-up put back are
// told then too.
inline constexpr uint32_t QLNM_OPENSTARTFILE = WM_APP + 1;
// Posted likewise: the settings file could not be read.
inline constexpr uint32_t QLNM_SETTINGSPROBLEM = WM_APP + 2;

// The module's start-up and clean-up (explicit, called by the program and
// by tests).
void QLNMainInitialization();
void QLNMainFinalization();

// The settings file: "quillonpro.cfg" in the per-user folder.
std::string QLNSettingsFileName();
// The help page that Help > Contents opens: "register/help.htm" in the
// program folder.
std::string HelpPageFileName();

class TForm1 : public TForm {
public:
  explicit TForm1(TComponent* AOwner);
  ~TForm1() override;

  // ---- components ----
  TMainMenu* MainMenu1 = nullptr;
  TPopupMenu* PopupMenu1 = nullptr;
  TMenuItem *File1, *Open1, *SaveAs1, *Exit1;
  TMenuItem *Edit1, *Copy1, *Paste1, *EditPalette1, *Reset1;
  TMenuItem *Colors1, *Transparent1, *RGBWeight1, *Dithering1, *GrayScale1;
  TMenuItem *BlackWhite1, *N4shadesofgray1, *N16shadesofgray1, *N256shadesofgray1, *Color1, *Netscape1;
  TMenuItem* PreviewColours1;
  TMenuItem *Tools1, *AddBorder1, *Crop1, *FlipHorizontal1, *FlipVertical1, *Rotate1, *N901, *N1801, *N2701;
  TMenuItem *Options1, *Tile1, *BackgroundColor1, *MainMenu2, *Status1, *Toolbar2;
  TMenuItem *Top1, *Left1, *Right1, *Bottom1, *Floating1, *None1;
  TMenuItem *ZoomMode1, *Fast1, *Medium1, *HighQuality1, *N2, *Franais1, *English1;
  TMenuItem *Twain1, *Select1, *Acquire1;
  TMenuItem *Help1, *HelpContent1, *ShowTips1, *About1, *Copyscreen1;
  TDock *DockTop, *DockLeft, *DockRight, *DockBottom;
  TToolbar* Toolbar1;
  TToolbar* CropBar;
  TSpinEdit *SelLeft, *SelTop, *SelWidth, *SelHeight;
  TGIFImg* GIFImage1;
  TToolbarButton *btnOpen, *btnSave, *btnCopy, *btnPaste, *btnCrop, *btnTransparent, *btnTile;
  TToolbarButton *btnRefresh, *btnTwain, *btnExit;
  TPanel *plZoom, *plColor;
  TLabel *lbZoom, *lbColors;
  TSpinEdit *edZoom, *edColors;
  TStatusBar* StatBar;
  TPGImage* Image1;
  TPGOpenDialog* OpenDialog1;
  TPGSaveDialog* SaveDialog1;
  TColorDialog* ColorDialog1;
  TImageList* ImageList1;  // the menu items' glyphs

  // ---- state ----
  const std::string& FileName() const { return FFileName; }
  TPixelGraphic* Pristine() const { return FPristine.get(); }
  uint8_t Pending() const { return FPending; }
  int32_t RotationAngle() const { return FRotationAngle; }
  bool ShowTipsAtStart() const { return FShowTips; }
  int32_t TipIndex() const { return FTipIndex; }
  TColor BackgroundColor() const { return FBackgroundColor; }
  // The picture differs from the file FileName names (edited, or pasted or
  // scanned and not yet saved); closing the window then asks first.
  bool Modified() const { return FModified; }
  // The picture came from the clipboard or the scanner and names no file.
  bool Untitled() const { return FUntitled; }
  HWND NextClipboardViewer() const { return FNextViewer; }
  // The file LoadFile is reading, while it reads (empty otherwise).
  const std::string& FileBeingRead() const { return FFileBeingRead; }

  // ---- lifecycle ----
  void FormCreate(TObject* Sender);
  void FormActivate(TObject* Sender);
  // Keys for the whole window: Enter in the zoom, colour or crop boxes
  // applies; Escape leaves crop mode.
  void FormKeyDown(TObject* Sender, uint16_t& Key, TShiftState Shift);
  void FormDestroy(TObject* Sender);
  void LoadSettings();
  void SaveSettings();
  void UpdateControls(bool Busy);
  void ResetControls();
  void MarkDirty();
  void SetFileName(const std::string& Name);
  void StatBarDrawPanel(TStatusBar* StatusBar, TStatusPanel* Panel, const TRect& Rect);
  void DockRightLeftResize(TObject* Sender);
  void DockTopBottomResize(TObject* Sender);

  // ---- colour, size estimate, file and clipboard commands ----
  // Each command that may take more than a moment runs as a TBusyCommand;
  // cancelled, it leaves the picture and the controls as they were.
  TPaletteIdent PaletteKind() const;
  int32_t PixelFormatClass() const;
  // Raises ECommandCancelled when the running command is cancelled.
  void ApplyReduction();
  void UpdateSizeInfo();
  // The bytes of the GIF that the size shown measured and that Save writes
  // for the picture as it is (none when only its size was kept).
  std::shared_ptr<TMemoryStream> ShownGIFBytes() const { return FShownGIF.Bytes; }
  // Loads the file Name; with Bytes, the picture is decoded from them (the
  // file's content just written) instead of being read from the disk.
  void LoadFile(const std::string& Name, TMemoryStream* Bytes = nullptr);
  void SaveFile(const std::string& Name);
  void ColorGrayScaleClick(TObject* Sender);
  void Dithering1Click(TObject* Sender);
  void RGBWeight1Click(TObject* Sender);
  void edColorsChange(TObject* Sender);
  void edZoomChange(TObject* Sender);
  void btnRefreshClick(TObject* Sender);
  void Reset1Click(TObject* Sender);
  void Open1Click(TObject* Sender);
  void SaveAs1Click(TObject* Sender);
  void btnCopyClick(TObject* Sender);
  void btnPasteClick(TObject* Sender);
  void Exit1Click(TObject* Sender);
  // Asks "Save changes to …?" when the picture has changes not yet saved;
  // true when the picture may go (saved, or No): asked before closing and
  // before Open, Paste or Acquire put another picture in its place.
  bool QueryCloseSave();

  // ---- transparency, crop, flips, rotation, view options, TWAIN source ----
  bool PickMode() const { return FPickMode; }
  void SetTransparentMode(bool On);
  void btnTransparentClick(TObject* Sender);
  void Transparent1Click(TObject* Sender);
  void btnCropClick(TObject* Sender);
  void Crop1Click(TObject* Sender);
  void SelectionToSpins();
  void Image1SelectionChange(TObject* Sender);
  void Image1PicBoxOnMouseMove(TObject* Sender, TShiftState Shift, int32_t X, int32_t Y);
  void SelChange(TObject* Sender);
  void FlipHorizontal1Click(TObject* Sender);
  void FlipVertical1Click(TObject* Sender);
  void RotateBy(int32_t Degrees);
  void MainMenu2Click(TObject* Sender);
  void Status1Click(TObject* Sender);
  void DockToolbar(TMenuItem* Item, TDock* Dock);
  void None1Click(TObject* Sender);
  void StretchClick(TObject* Sender);
  void SetToolbarButtonWidth(int32_t Width);
  bool TileMode() const { return FTileMode; }
  void SetTileMode(bool On);
  void Tile1Click(TObject* Sender);
  void BackgroundColor1Click(TObject* Sender);
  void Image1MouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);
  void PickTransparentFromGif();
  void HelpContent1Click(TObject* Sender);
  void Acquire1Click(TObject* Sender);
  void Select1Click(TObject* Sender);
  void btnTwainClick(TObject* Sender);

  // ---- dialogs: tips, about, palette, border, colour preview, screen copy ----
  void ShowTips1Click(TObject* Sender);
  void About1Click(TObject* Sender);
  void AddBorder1Click(TObject* Sender);
  void EditPalette1Click(TObject* Sender);
  void PreviewColours1Click(TObject* Sender);
  void Copyscreen1Click(TObject* Sender);

protected:
  void WndProc(TMessage& Message) override;

private:
  void BuildMenu();
  void BuildToolbar();
  void BuildStatusBar();
  void BuildCropBar();
  void SaveCropBarPosition();
  void FitToolbar();
  void UpdatePasteState();
  // The GIF of a picture as Save writes it: the picture shown at Width x
  // Height (the picture box's size), coded with the writer options. The
  // size estimate, Save, the tile view and the colour pick all take it from
  // here, so what they show is what the file holds.
  struct TShownGIF {
    std::shared_ptr<TMemoryStream> Bytes;  // none when only its size was kept
    int64_t Size = 0;
    bool Made = false;
    bool Coded = false;  // false: the picture has more than 256 colours
    // ShownGIFKey of the picture and size it was made for, and the
    // GIFPictureKey of the picture coded (the one shown; 0 when only the
    // size was kept).
    uint64_t Key = 0, ShownKey = 0;
    bool Interlaced = false;
    bool Transparent = false;
    TColor TransparentColor = 0;
    int32_t ColorCount = 0;
  };
  // A new image of Width x Height for Picture shown at that size: in
  // PixelFormatClass with Picture's palette, dithering and weighting as
  // checked, its rows the running command's steps; none at Picture's own
  // size (Picture itself is shown).
  std::unique_ptr<TPixelGraphic> ShownBlank(TPixelGraphic* Picture, int32_t Width, int32_t Height);
  // Picture as the picture box shows it (ShownBlank filled); none at its own
  // size.
  std::unique_ptr<TPixelGraphic> RenderAtDisplaySize(TPixelGraphic* Picture, int32_t Width, int32_t Height);
  // A key of what the GIF of Picture shown at Width x Height holds: its
  // GIFPictureKey at its own size, else that with the size, the palette and
  // the mapping settings.
  uint64_t ShownGIFKey(TPixelGraphic* Picture, int32_t Width, int32_t Height);
  // The GIF of Picture shown at Width x Height: the one kept when it is of
  // the same key (and, for its bytes, of the same writer options), else
  // coded again and kept. Its bytes are kept when WithBytes or the picture
  // shown is of a common size; of a larger one only its size.
  const TShownGIF& ShownGIF(TPixelGraphic* Picture, int32_t Width, int32_t Height, bool WithBytes);
  // Codes the GIF into Stream: from the picture shown, its rows coded on a
  // second thread while they are mapped (not interlaced: that order needs
  // the whole picture first). False past 256 colours. ShownKey, when given,
  // receives the GIFPictureKey of the picture coded.
  bool CodeShownGIF(TStream& Stream, TPixelGraphic* Picture, int32_t Width, int32_t Height, uint64_t* ShownKey);
  // The GIF of Picture itself into Stream, as the running command's work.
  void CodePictureGIF(TMemoryStream& Stream, TPixelGraphic* Picture);
  // The GIF just coded becomes FShownGIF, with the writer options and the
  // colour count of its coding.
  void KeepShownGIF(std::shared_ptr<TMemoryStream> Bytes, int64_t Size, bool Coded, uint64_t Key, uint64_t ShownKey);
  // Current reduced onto a palette from Pristine (ReducedColors) with the
  // colour settings, the palette kind Kind, Count colours and pixel format
  // Format, and its GIF for the size Width x Height made (ShownGIF), coded
  // while the rows are mapped when that is its own size. Nothing else
  // changes, so a cancelled command leaves everything as it was.
  std::unique_ptr<TPixelGraphic> Reduced(TPixelGraphic* Current, TPixelGraphic* Pristine, TPaletteIdent Kind,
                                         int32_t Count, int32_t Format, int32_t Width, int32_t Height);
  // Toggles Item's check and reduces again; cancelled, the check is as it was.
  void ToggleAndReduce(TMenuItem* Item);
  // Pristine, a picture opened, pasted or scanned, becomes the pristine copy
  // and, reduced, the viewer's picture, with the controls reset.
  void TakeNewPicture(std::unique_ptr<TPixelGraphic> Pristine);
  // Runs Edit, which changes the picture, and estimates the result, as one
  // long command; cancelled, the picture (from a copy kept meanwhile) and
  // the status bar are put back and false is returned.
  bool EditPicture(const std::string& Text, const std::function<void()>& Edit);
  int32_t BoxWidth() const;
  int32_t BoxHeight() const;

  // A change of what Save would write, made by the person (not by a load).
  void MarkModified();
  // The count box shows how many colours the picture's GIF holds, as after
  // Open, Paste and Reset: what is applied, not a change waiting for Apply.
  void ShowColorCount();
  // The status bar's first panel: the size the picture is shown at.
  void ShowPictureSize();
  // The status bar follows an edit of the picture: its size, and its GIF
  // size unless changes are pending ("Size: ?" then stays).
  void PictureEdited();
  // The picture from the clipboard or the scanner: untitled and unsaved.
  void SetUntitled();

  bool FPickMode = false;
  bool FTileMode = false;
  std::string FFileName;
  std::string FFileBeingRead;
  bool FModified = false;
  bool FUntitled = false;
  // The file named on the command line, until it is opened.
  std::string FStartFile;
  void OpenStartFile();
  // Why the settings file could not be read, until it is told.
  std::string FSettingsProblem;
  // The folder of the file last opened or saved (or of the stored working
  // folder): where Save proposes to put an untitled picture.
  std::string FLastFolder;
  HWND FNextViewer = nullptr;
  int32_t FLastPickX = 0, FLastPickY = 0;
  std::unique_ptr<TBitmap> FSwatch;
  TColor FBackgroundColor = 0xFFFFFF;
  bool FFirstActivation = false;
  uint8_t FPending = 0;
  int32_t FRotationAngle = 0;
  std::unique_ptr<TPixelGraphic> FPristine;
  // The GIF last made of a picture as shown.
  TShownGIF FShownGIF;
  // While the file just saved is loaded back: its GIF is FShownGIF's, so
  // the reduction does not code one while it maps.
  bool FReloadingSaved = false;
  // FShownGIF was just made for the viewer's picture by the reduction: the
  // size estimate that follows takes it without looking at the pixels.
  bool FShownGIFFresh = false;
  int32_t FTipIndex = 0;
  bool FShowTips = false;
};

extern TForm1* Form1;
