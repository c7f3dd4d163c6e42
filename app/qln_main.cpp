#include "app/qln_main.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "app/busy.h"
#include "app/pg_tools.h"
#include "controls/glyphs.h"
#include "controls/toolbars.h"
#include "gif/gif_encoder.h"
#include "gif/gif_read_write.h"
#include "imaging/core/messages.h"
#include "imaging/core/pixel_graphic.h"
#include "imaging/twain/pg_twain.h"
#include "imaging/viewer/pg_image.h"
#include "imaging/viewer/pg_open_dialog.h"
#include "imaging/viewer/pg_save_dialog.h"
#include "platform/base/files.h"
#include "platform/base/numeric.h"
#include "platform/base/safe_write.h"
#include "platform/base/settings.h"
#include "platform/base/stream.h"
#include "gif/control/gif_img.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/cursors.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/desktop.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/image_list.h"
#include "platform/ui/menus.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/std_controls.h"

bool QLNLoadingIdle = true;
bool QLNSelectionSync = true;
TForm1* Form1 = nullptr;

namespace {

HCURSOR TransparentCursor = nullptr;
// The person hears of a settings file that cannot be read or written once
// per main window, not at every attempt.
bool SettingsProblemTold = false;

void TellSettingsProblem(const std::string& Text) {
  if (SettingsProblemTold) return;
  SettingsProblemTold = true;
  Application->MessageBox(Text, Application->Title(), MB_OK | MB_ICONEXCLAMATION);
}

// Why the file Name did not open, naming it: "is empty" for a file of no
// bytes (no reader can tell what it is), else the reader's reason.
std::string OpenFailureText(const std::string& Name, const std::string& Reason) {
  std::error_code ec;
  if (std::filesystem::is_regular_file(Name, ec) && std::filesystem::file_size(Name, ec) == 0 && !ec)
    return PGMessage(16, "\"" + Name + "\"") + ".";
  return CannotOpenFileText(Name, Reason);
}

// Writes what S holds; a failure is told (once).
void UpdateSettings(TSettingsFile& S) {
  if (!S.UpdateFile()) TellSettingsProblem("The settings were not saved.\n" + S.Error() + ".");
}

// Files that got their earlier content back as they were read (an in-place
// save of them had been interrupted) are told, each once.
void TellRestoredFiles() {
  for (const std::string& text : TakeRestoredSaveMessages())
    Application->MessageBox(text, Application->Title(), MB_OK | MB_ICONINFORMATION);
}

// The transparent-pick cursor "CS_TRANSPARENT": a cross with its hot spot
// in the middle and a small hollow square at the lower right, black with
// a white outline.
HCURSOR CreateTransparentCursor() {
  constexpr int32_t N = 32;
  std::vector<uint8_t> andMask(N * 4, 0xFF), xorMask(N * 4, 0x00);
  auto put = [&](int32_t X, int32_t Y, bool White) {
    if (X < 0 || Y < 0 || X >= N || Y >= N) return;
    const size_t i = static_cast<size_t>(Y * 4 + X / 8);
    const uint8_t bit = static_cast<uint8_t>(0x80 >> (X % 8));
    andMask[i] = static_cast<uint8_t>(andMask[i] & ~bit);
    if (White) xorMask[i] = static_cast<uint8_t>(xorMask[i] | bit);
    else xorMask[i] = static_cast<uint8_t>(xorMask[i] & ~bit);
  };
  auto shape = [&](int32_t D, bool White) {
    for (int32_t k = 0; k < 15; ++k) {
      put(k + D, 7, White);
      put(7, k + D, White);
      put(k, 7 + D, White);
      put(7 + D, k, White);
    }
    for (int32_t k = 16; k < 27; ++k) {
      put(k + D, 16, White);
      put(k + D, 26, White);
      put(16, k + D, White);
      put(26, k + D, White);
    }
  };
  shape(1, true);
  shape(-1, true);
  shape(0, false);
  return CreateCursor(nullptr, 7, 7, N, N, andMask.data(), xorMask.data());
}

}  // namespace

void QLNMainInitialization() {
  QLNLoadingIdle = true;
  QLNSelectionSync = true;
  // The screen's cursor table owns the cursor from here on.
  if (Screen && !TransparentCursor) {
    TransparentCursor = CreateTransparentCursor();
    Screen->SetCursors(crTransparent, TransparentCursor);
  }
}

void QLNMainFinalization() {
  Form1 = nullptr;
  if (Screen && TransparentCursor) Screen->SetCursors(crTransparent, nullptr);  // frees it
  TransparentCursor = nullptr;
}

std::string HelpPageFileName() { return IncludeTrailingPathDelimiter(ProgramFolder()) + "register/help.htm"; }

std::string QLNSettingsFileName() {
  // Without a per-user folder there is no settings file: reading gives the
  // defaults, and writing fails (and says so).
  const std::string folder = UserConfigFolder();
  return folder.empty() ? "" : folder + "quillonpro.cfg";
}

namespace {

// The menu glyphs of ImageList1 by image index, as icon names of the
// desktop's theme (the preferred name, then its nearest stand-ins).
const std::vector<TGlyphNames> MenuGlyphs = {
    {"document-open"},                                             // 0 Open
    {"document-save-as", "document-save"},                         // 1 Save As
    {"edit-copy"},                                                 // 2 Copy
    {"edit-paste"},                                                // 3 Paste
    {"color-picker", "color-select"},                              // 4 Transparent
    {"view-grid", "view-app-grid"},                                // 5 Tile View
    {"dialog-ok-apply", "dialog-ok"},                              // 6 Apply
    {"scanner"},                                                   // 7 Select Source
    {"application-exit"},                                          // 8 Exit
    {"help-contents"},                                             // 9 Help Content
    {"document-scan", "scanner"},                                  // 10 Acquire Image
    {"view-preview", "document-preview"},                          // 11 Preview Colors
    {"object-flip-vertical"},                                      // 12 Flip Vertical
    {"object-flip-horizontal"},                                    // 13 Flip Horizontal
    {"help-hint", "dialog-information"},                           // 14 Show Tips
    {"transform-crop", "image-crop"},                              // 15 Crop
    {"draw-rectangle", "insert-image"},                            // 16 Add Soft Border
    {"color-management", "preferences-desktop-color"},             // 17 Edit Palette
    {"document-revert", "edit-undo"},                              // 18 Reset
};
constexpr int32_t MenuGlyphSize = 16;
constexpr int32_t ToolbarGlyphSize = 22;
// Room for the glyph, the spacing and a line of caption.
constexpr int32_t ToolbarButtonHeight = ToolbarGlyphSize + 22;

TShortCut Ctrl(char C) { return ShortCut(static_cast<uint16_t>(C), ssCtrl); }
TShortCut Alt(char C) { return ShortCut(static_cast<uint16_t>(C), ssAlt); }

TMenuItem* AddItem(TComponent* Owner, TMenuItem* Parent, const std::string& Caption, TShortCut Key = scNone,
                   int32_t Image = -1, TNotifyEvent Click = nullptr) {
  auto* item = new TMenuItem(Owner);
  item->SetCaption(Caption);
  item->SetShortCut(Key);
  item->SetImageIndex(Image);
  item->OnClick = std::move(Click);
  Parent->Add(item);
  return item;
}

TMenuItem* AddRadio(TComponent* Owner, TMenuItem* Parent, const std::string& Caption, uint8_t Group,
                    TNotifyEvent Click = nullptr) {
  TMenuItem* item = AddItem(Owner, Parent, Caption, scNone, -1, std::move(Click));
  item->SetRadioItem(true);
  item->SetGroupIndex(Group);
  return item;
}

}  // namespace

TForm1::TForm1(TComponent* AOwner) : TForm(AOwner) {
  SetCaption("Quillon Pro");
  SetColor(clAppWorkSpace);
  SetBounds(220, 172, 563, 395);

  BuildMenu();
  auto dock = [this](TDockPosition Position, void (TForm1::*Resize)(TObject*)) {
    auto* d = new TDock(this);
    d->SetParent(this);
    d->SetPosition(Position);
    d->OnResize = [this, Resize](TObject* S) { (this->*Resize)(S); };
    return d;
  };
  DockTop = dock(dpTop, &TForm1::DockTopBottomResize);
  DockBottom = dock(dpBottom, &TForm1::DockTopBottomResize);
  DockLeft = dock(dpLeft, &TForm1::DockRightLeftResize);
  DockRight = dock(dpRight, &TForm1::DockRightLeftResize);
  BuildToolbar();
  BuildStatusBar();

  Image1 = new TPGImage(this);
  Image1->SetParent(this);
  Image1->SetAlign(alClient);
  Image1->SetStretch(sZoomKAR);
  Image1->SetZoomFactor(1.0L);
  Image1->SetActionMode(amNone);
  Image1->OnSelectionChange = [this](TObject* S) { Image1SelectionChange(S); };
  Image1->PicBoxOnMouseDown() = [this](TObject* S, TMouseButton B, TShiftState Sh, int32_t X, int32_t Y) {
    Image1MouseDown(S, B, Sh, X, Y);
  };
  Image1->PicBoxOnSetCursor = [this](TObject*, HCURSOR& Cursor) {
    if (btnTransparent->Down() && Screen) Cursor = Screen->Cursors(crTransparent);
  };
  Image1->PicBoxOnMouseMove() = [this](TObject* S, TShiftState Sh, int32_t X, int32_t Y) {
    Image1PicBoxOnMouseMove(S, Sh, X, Y);
  };

  GIFImage1 = new TGIFImg(this);
  GIFImage1->SetParent(this);
  GIFImage1->SetAlign(alClient);
  GIFImage1->SetTile(true);
  GIFImage1->SetAnimate(false);
  GIFImage1->SetVisible(false);

  BuildCropBar();

  OpenDialog1 = new TPGOpenDialog(this);
  SaveDialog1 = new TPGSaveDialog(this);
  SaveDialog1->SetFilterIndex(2);
  // A file that exists is replaced only when the person says so; a name
  // typed without an extension takes the chosen type's before that question.
  SaveDialog1->SetOptions(SaveDialog1->Options() | ofOverwritePrompt);
  SaveDialog1->SetDefaultExt("gif");
  ColorDialog1 = new TColorDialog(this);

  OnCreate = [this](TObject* S) { FormCreate(S); };
  OnActivate = [this](TObject* S) { FormActivate(S); };
  SetKeyPreview(true);
  OnKeyDown = [this](TObject* S, uint16_t& Key, TShiftState Shift) { FormKeyDown(S, Key, Shift); };
  OnCloseQuery = [this](TObject*, bool& CanClose) { CanClose = QueryCloseSave(); };
  OnDestroy = [this](TObject* S) { FormDestroy(S); };
}

TForm1::~TForm1() {
  if (Form1 == this) Form1 = nullptr;
}

void TForm1::BuildMenu() {
  ImageList1 = new TImageList(this);
  ImageList1->SetWidth(MenuGlyphSize);
  ImageList1->SetHeight(MenuGlyphSize);
  AddGlyphs(ImageList1, MenuGlyphs);
  MainMenu1 = new TMainMenu(this);
  MainMenu1->SetImages(ImageList1);
  TMenuItem* root = MainMenu1->Items();
  auto on = [this](void (TForm1::*Handler)(TObject*)) -> TNotifyEvent {
    return [this, Handler](TObject* S) { (this->*Handler)(S); };
  };

  File1 = AddItem(this, root, "&File");
  Open1 = AddItem(this, File1, "&Open...", Ctrl('O'), 0, on(&TForm1::Open1Click));
  SaveAs1 = AddItem(this, File1, "Save &As...", Ctrl('S'), 1, on(&TForm1::SaveAs1Click));
  Exit1 = AddItem(this, File1, "E&xit", Ctrl('X'), 8, on(&TForm1::Exit1Click));

  Edit1 = AddItem(this, root, "&Edit");
  Copy1 = AddItem(this, Edit1, "&Copy", Ctrl('C'), 2, on(&TForm1::btnCopyClick));
  Paste1 = AddItem(this, Edit1, "&Paste", Ctrl('V'), 3, on(&TForm1::btnPasteClick));
  EditPalette1 = AddItem(this, Edit1, "&Edit Palette", Ctrl('E'), 17, on(&TForm1::EditPalette1Click));
  Reset1 = AddItem(this, Edit1, "&Reset", Alt('0'), 18, on(&TForm1::Reset1Click));
  Reset1->SetEnabled(false);

  Colors1 = AddItem(this, root, "&Colors");
  Transparent1 = AddItem(this, Colors1, "&Transparent", Ctrl('T'), 4, on(&TForm1::Transparent1Click));
  RGBWeight1 = AddItem(this, Colors1, "&RGB Weight", Ctrl('R'), -1, on(&TForm1::RGBWeight1Click));
  RGBWeight1->SetChecked(true);
  Dithering1 = AddItem(this, Colors1, "&Dithering", Ctrl('D'), -1, on(&TForm1::Dithering1Click));
  Dithering1->SetChecked(true);
  GrayScale1 = AddItem(this, Colors1, "Color Palette");
  BlackWhite1 = AddRadio(this, GrayScale1, "&Black && White", 201, on(&TForm1::ColorGrayScaleClick));
  N4shadesofgray1 = AddRadio(this, GrayScale1, "&4 shades of gray", 201, on(&TForm1::ColorGrayScaleClick));
  N16shadesofgray1 = AddRadio(this, GrayScale1, "&16 shades of gray", 201, on(&TForm1::ColorGrayScaleClick));
  N256shadesofgray1 = AddRadio(this, GrayScale1, "&256 shades of gray", 201, on(&TForm1::ColorGrayScaleClick));
  Color1 = AddRadio(this, GrayScale1, "&Color (max 256)", 201, on(&TForm1::ColorGrayScaleClick));
  Netscape1 = AddRadio(this, GrayScale1, "Netscape (216 cols)", 201, on(&TForm1::ColorGrayScaleClick));
  Color1->SetChecked(true);
  PreviewColours1 = AddItem(this, Colors1, "&Preview Colors", Ctrl('P'), 11, on(&TForm1::PreviewColours1Click));

  Tools1 = AddItem(this, root, "&Tools");
  AddBorder1 = AddItem(this, Tools1, "&Add Soft Border", Ctrl('B'), 16, on(&TForm1::AddBorder1Click));
  Crop1 = AddItem(this, Tools1, "&Crop", scNone, 15, on(&TForm1::Crop1Click));
  FlipHorizontal1 = AddItem(this, Tools1, "Flip &Horizontal", Alt('H'), 13, on(&TForm1::FlipHorizontal1Click));
  FlipVertical1 = AddItem(this, Tools1, "Flip &Vertical", Alt('V'), 12, on(&TForm1::FlipVertical1Click));
  Rotate1 = AddItem(this, Tools1, "&Rotate");
  N901 = AddItem(this, Rotate1, "&90", Alt('1'), -1, [this](TObject*) { RotateBy(90); });
  N1801 = AddItem(this, Rotate1, "&180", Alt('2'), -1, [this](TObject*) { RotateBy(180); });
  N2701 = AddItem(this, Rotate1, "&270", Alt('3'), -1, [this](TObject*) { RotateBy(270); });

  Options1 = AddItem(this, root, "&Options");
  Tile1 = AddItem(this, Options1, "T&ile View", Ctrl('I'), 5, on(&TForm1::Tile1Click));
  BackgroundColor1 = AddItem(this, Options1, "Tile &Background", scNone, -1, on(&TForm1::BackgroundColor1Click));
  MainMenu2 = AddItem(this, Options1, "&Main Menu", scNone, -1, on(&TForm1::MainMenu2Click));
  MainMenu2->SetChecked(true);
  Status1 = AddItem(this, Options1, "&Statusbar", scNone, -1, on(&TForm1::Status1Click));
  Status1->SetChecked(true);
  Toolbar2 = AddItem(this, Options1, "&Toolbar");
  Top1 = AddRadio(this, Toolbar2, "&Top", 1, [this](TObject*) { DockToolbar(Top1, DockTop); });
  Top1->SetChecked(true);
  Left1 = AddRadio(this, Toolbar2, "&Left", 1, [this](TObject*) { DockToolbar(Left1, DockLeft); });
  Right1 = AddRadio(this, Toolbar2, "&Right", 1, [this](TObject*) { DockToolbar(Right1, DockRight); });
  Bottom1 = AddRadio(this, Toolbar2, "&Bottom", 1, [this](TObject*) { DockToolbar(Bottom1, DockBottom); });
  Floating1 = AddRadio(this, Toolbar2, "&Floating", 1, [this](TObject*) { DockToolbar(Floating1, nullptr); });
  None1 = AddRadio(this, Toolbar2, "&None", 1, on(&TForm1::None1Click));
  ZoomMode1 = AddItem(this, Options1, "&Zoom Mode");
  Fast1 = AddRadio(this, ZoomMode1, "&Fast", 254, on(&TForm1::StretchClick));
  Fast1->SetShortCut(ShortCut(VK_F10, {}));
  Fast1->SetChecked(true);
  Medium1 = AddRadio(this, ZoomMode1, "&Medium", 254, on(&TForm1::StretchClick));
  Medium1->SetShortCut(ShortCut(VK_F11, {}));
  HighQuality1 = AddRadio(this, ZoomMode1, "&High Quality", 254, on(&TForm1::StretchClick));
  HighQuality1->SetShortCut(ShortCut(VK_F12, {}));
  Fast1->SetTag(0);
  Medium1->SetTag(1);
  HighQuality1->SetTag(2);
  N2 = AddItem(this, Options1, "-");
  N2->SetVisible(false);
  Franais1 = AddItem(this, Options1, "Fran\xC3\xA7" "ais", scNone, -1, [this](TObject*) { SetToolbarButtonWidth(62); });
  Franais1->SetVisible(false);
  English1 = AddItem(this, Options1, "English", scNone, -1, [this](TObject*) { SetToolbarButtonWidth(42); });
  English1->SetVisible(false);

  Twain1 = AddItem(this, root, "T&wain");
  Select1 = AddItem(this, Twain1, "&Select Source", scNone, 7, on(&TForm1::Select1Click));
  Acquire1 = AddItem(this, Twain1, "&Acquire Image", scNone, 10, on(&TForm1::Acquire1Click));
  Acquire1->SetEnabled(false);

  Help1 = AddItem(this, root, "&Help");
  HelpContent1 = AddItem(this, Help1, "He&lp Content", ShortCut(VK_F1, {}), 9, on(&TForm1::HelpContent1Click));
  ShowTips1 = AddItem(this, Help1, "&ShowTips", ShortCut(VK_F2, {}), 14, on(&TForm1::ShowTips1Click));
  About1 = AddItem(this, Help1, "&About", scNone, -1, on(&TForm1::About1Click));
  Copyscreen1 = AddItem(this, Help1, "Copyscreen", ShortCut(VK_F5, {}), -1, on(&TForm1::Copyscreen1Click));
  Copyscreen1->SetVisible(false);
  SetFormMenu(this, MainMenu1);

  PopupMenu1 = new TPopupMenu(this);
  AddItem(this, PopupMenu1->Items(), "Main Menu", ShortCut(VK_F1, ssCtrl), -1, on(&TForm1::MainMenu2Click));
  AddItem(this, PopupMenu1->Items(), "Tool Bar", ShortCut(VK_F2, ssCtrl), -1, on(&TForm1::None1Click));
  AddItem(this, PopupMenu1->Items(), "Status Bar", ShortCut(VK_F3, ssCtrl), -1, on(&TForm1::Status1Click));
  AddItem(this, PopupMenu1->Items(), "Tile Background", scNone, -1, on(&TForm1::BackgroundColor1Click));
  // The form's own popup: right-click and its shortcuts still work when the
  // main menu is hidden, so the menu can always be brought back.
  SetPopupMenu(PopupMenu1);
}

void TForm1::BuildToolbar() {
  Toolbar1 = new TToolbar(this);
  // Every button is 42 pixels wide with its glyph (the menu item's, from
  // the icon theme) above its caption.
  auto button = [this](const std::string& Caption, const std::string& Hint, TNotifyEvent Click,
                       const TGlyphNames& Glyph) {
    auto* b = new TToolbarButton(this);
    b->SetParent(Toolbar1);
    b->SetCaption(Caption);
    b->SetBounds(0, 0, 42, ToolbarButtonHeight);
    b->SetLayout(blGlyphTop);
    TBitmap glyph;
    LoadGlyph(&glyph, Glyph, ToolbarGlyphSize);
    b->SetGlyph(&glyph);
    b->SetHint(Hint);
    b->SetShowHint(true);
    b->OnClick = std::move(Click);
    return b;
  };
  auto sep = [this] { (new TToolbarSep(this))->SetParent(Toolbar1); };
  auto on = [this](void (TForm1::*Handler)(TObject*)) -> TNotifyEvent {
    return [this, Handler](TObject* S) { (this->*Handler)(S); };
  };
  auto panel = [this](TPanel*& Panel, TLabel*& Label, TSpinEdit*& Edit, const std::string& Caption) {
    Panel = new TPanel(this);
    Panel->SetParent(Toolbar1);
    Panel->SetBevelOuter(bvNone);
    Panel->SetBounds(0, 0, 96, 36);
    Label = new TLabel(this);
    Label->SetParent(Panel);
    Label->SetCaption(Caption);
    Label->SetBounds(2, 0, 90, 14);
    Edit = new TSpinEdit(this);
    Edit->SetParent(Panel);
  };

  btnOpen = button("Open", "Open", on(&TForm1::Open1Click), MenuGlyphs[0]);
  btnSave = button("Save", "Save", on(&TForm1::SaveAs1Click), {"document-save"});
  sep();
  btnCopy = button("Copy", "Copy", on(&TForm1::btnCopyClick), MenuGlyphs[2]);
  btnPaste = button("Paste", "Paste", on(&TForm1::btnPasteClick), MenuGlyphs[3]);
  sep();
  btnCrop = button("Crop", "Crop", on(&TForm1::btnCropClick), MenuGlyphs[15]);
  btnCrop->SetGroupIndex(1);
  btnCrop->SetAllowAllUp(true);
  btnTransparent = button("Color", "Pick Transparent Color", on(&TForm1::btnTransparentClick), MenuGlyphs[4]);
  btnTransparent->SetGroupIndex(1);
  btnTransparent->SetAllowAllUp(true);
  btnTile = button("Tile", "Tile", on(&TForm1::Tile1Click), MenuGlyphs[5]);
  btnTile->SetGroupIndex(2);
  btnTile->SetAllowAllUp(true);
  sep();
  panel(plZoom, lbZoom, edZoom, "Zoom:");
  edZoom->SetMinValue(1);
  edZoom->SetMaxValue(800);
  edZoom->SetIncrement(5);
  edZoom->SetValue(100);
  edZoom->SetHint("Zoom 1-800%");
  edZoom->SetShowHint(true);
  sep();
  panel(plColor, lbColors, edColors, "Colors:");
  edColors->SetMinValue(2);
  edColors->SetMaxValue(256);
  edColors->SetValue(256);
  edColors->SetHint("Set Maximum Number of Colours");
  edColors->SetShowHint(true);
  btnRefresh = button("Apply", "Apply Changes", on(&TForm1::btnRefreshClick), MenuGlyphs[6]);
  btnRefresh->SetEnabled(false);
  sep();
  btnTwain = button("Select", "Select Source", on(&TForm1::btnTwainClick), MenuGlyphs[7]);
  {
    // Its caption turns to "Acquire" once a source is chosen: wide enough for
    // that inside its frame (a pixel each side) and pressed (a pixel right).
    TBitmap measure;
    measure.Canvas()->Font()->Assign(btnTwain->Font());
    btnTwain->SetWidth(std::max(btnTwain->Width(), measure.Canvas()->TextWidth("Acquire") + 3));
  }
  sep();
  btnExit = button("E&xit", "Exit", on(&TForm1::Exit1Click), MenuGlyphs[8]);
  sep();
  edZoom->OnChange = on(&TForm1::edZoomChange);
  edColors->OnChange = on(&TForm1::edColorsChange);
  Toolbar1->SetDockedTo(DockTop);
  // Options > Toolbar follows the bar wherever it goes, by the menu or by
  // dragging; its close button (floating) hides it as None does.
  Toolbar1->OnDockChanged = [this](TObject*) {
    TDock* dock = Toolbar1->DockedTo();
    TMenuItem* item = dock == DockTop      ? Top1
                      : dock == DockLeft   ? Left1
                      : dock == DockRight  ? Right1
                      : dock == DockBottom ? Bottom1
                                           : Floating1;
    if (Toolbar1->Visible()) item->SetChecked(true);
  };
  Toolbar1->OnClose = [this](TObject*) { None1->SetChecked(true); };
}

void TForm1::BuildCropBar() {
  CropBar = new TToolbar(this);
  CropBar->SetCaption("Cropping Dimensions");
  CropBar->SetVisible(false);
  TSpinEdit** spins[4] = {&SelLeft, &SelTop, &SelWidth, &SelHeight};
  const char* captions[4] = {"Left:", "Top:", "Width:", "Height:"};
  for (int32_t i = 0; i < 4; ++i) {
    auto* label = new TLabel(this);
    label->SetParent(CropBar);
    label->SetCaption(captions[i]);
    auto* spin = new TSpinEdit(this);
    spin->SetParent(CropBar);
    spin->SetWidth(56);
    spin->SetMaxValue(0);
    spin->OnChange = [this](TObject* S) { SelChange(S); };
    *spins[i] = spin;
  }
}

void TForm1::BuildStatusBar() {
  StatBar = new TStatusBar(this);
  StatBar->SetParent(this);
  StatBar->SetAlign(alBottom);
  int32_t widths[6] = {80, 50, 70, 50, 120, 50};
  // The picture's size and the estimate are widened to their longest text in
  // the bar's font: a picture 65535 pixels a side at zoom 800 is shown
  // 524280 pixels a side, and the GIF of the largest picture that can be
  // made (2^30 pixels at 12 bits each) takes about 1.6 million kilobytes.
  TBitmap measure;
  measure.Canvas()->Font()->Assign(StatBar->Font());
  const int32_t frame = 8;  // bevels and the text margins
  widths[0] = std::max(widths[0], measure.Canvas()->TextWidth("000000 x 000000") + frame);
  widths[2] = std::max(widths[2], measure.Canvas()->TextWidth("Size: 0000000k") + frame);
  const TAlignment aligns[6] = {taCenter, taCenter, taCenter, taLeftJustify, taCenter, taLeftJustify};
  for (int32_t i = 0; i < 6; ++i) {
    TStatusPanel* p = StatBar->Panels()->Add();
    p->SetWidth(widths[i]);
    p->SetAlignment(aligns[i]);
  }
  StatBar->OnDrawPanel = [this](TStatusBar* B, TStatusPanel* P, const TRect& R) { StatBarDrawPanel(B, P, R); };
}

// ---- lifecycle ----

void TForm1::FormCreate(TObject*) {
  SettingsProblemTold = false;
  // Spin edits fill their panels.
  edZoom->SetBounds(2, 14, plZoom->Width() - 4, 21);
  edColors->SetBounds(2, 14, plColor->Width() - 4, 21);
  FPickMode = false;
  FTileMode = false;
  FPristine = std::make_unique<TPixelGraphic>();
  Application->SetHelpFile(IncludeTrailingPathDelimiter(ProgramFolder()) + "quillon.hlp");

  if (TWAIN_ManagerPresent()) {
    TWAIN_SetApplicationId(2, 0, 2, 2, "2.0", "Marrowick", "Pictavo", "Quillon Pro");
    Twain1->SetEnabled(true);
    // A source chosen in an earlier session is the default still: Acquire at once.
    if (TWAIN_DefaultSourceKept()) {
      Acquire1->SetEnabled(true);
      btnTwain->SetCaption("Acquire");
      btnTwain->SetHint("Acquire Image");
    }
  } else {
    Twain1->SetEnabled(false);
    btnTwain->SetVisible(false);
  }

  FNextViewer = SetClipboardViewer(Handle());
  UpdatePasteState();
  FitToolbar();

  // Settings of the lite edition's name move to the full edition's name.
  const std::string folder = UserConfigFolder();
  if (!folder.empty() && FileExists(folder + "quillon.cfg") && !FileExists(folder + "quillonpro.cfg"))
    RenameFile(folder + "quillon.cfg", folder + "quillonpro.cfg");

  UpdateControls(true);

  // A file named on the command line (also how the lite edition hands an
  // image over) is opened as File > Open would (file name, pristine copy,
  // reduction, estimate and the commands on) once the window shows.
  if (ParamCount() >= 1 && FileExists(ParamStr(1))) {
    std::error_code ec;
    std::filesystem::path path = std::filesystem::absolute(ParamStr(1), ec);
    const std::string name = ec ? ParamStr(1) : path.lexically_normal().string();
    OpenDialog1->SetFileName(name);
    FLastFolder = ExtractFilePath(name);
    FStartFile = name;
  }
  // Also what the start-up put back (files interrupted saves left half
  // written) is told over the window.
  PostMessage(Handle(), QLNM_OPENSTARTFILE, 0, 0);

  StatBar->Invalidate();
  // The keys scroll the picture from the start.
  SetActiveControl(Image1);
  FTipIndex = 0;
  FFirstActivation = true;
  CropBar->SetDockedTo(nullptr);
  LoadSettings();
}

// The default window is as wide as the laid-out toolbar (whatever its
// buttons' glyphs and the source button make it), within the work area, so
// that every command of the bar shows; stored bounds are applied later.
void TForm1::FitToolbar() {
  HandleNeeded();  // the client area is known once the window exists
  // The top dock spans the client area.
  const int32_t overhang = DockTop->Left() + Toolbar1->Left() + Toolbar1->Width() - ClientWidth();
  if (overhang <= 0) return;
  const int32_t room = Screen ? Screen->WorkAreaRect().Right - Screen->WorkAreaRect().Left : Width() + overhang;
  SetWidth(std::min(Width() + overhang, std::max(Width(), room)));
}

void TForm1::FormKeyDown(TObject*, uint16_t& Key, TShiftState Shift) {
  if (Shift & (ssCtrl | ssAlt)) return;
  TWinControl* focus = ActiveControl();
  // Enter in a box of the toolbar or the crop bar applies what was typed.
  const bool box = focus == edZoom || focus == edColors || focus == SelLeft || focus == SelTop ||
                   focus == SelWidth || focus == SelHeight;
  if (Key == VK_RETURN && box) {
    if (btnRefresh->Enabled()) btnRefreshClick(btnRefresh);
    Key = 0;
  } else if (Key == VK_ESCAPE && btnCrop->Down()) {
    Crop1Click(Crop1);  // crop mode ends without a crop
    Key = 0;
  }
}

void TForm1::FormActivate(TObject*) {
  if (!FFirstActivation) return;
  FFirstActivation = false;
  if (FShowTips) ShowTips1Click(this);
}

void TForm1::FormDestroy(TObject*) {
  SaveSettings();
  FPristine.reset();
  if (HWND first = GetClipboardViewer())
    SendMessage(first, WM_CHANGECBCHAIN, reinterpret_cast<WPARAM>(Handle()), reinterpret_cast<LPARAM>(FNextViewer));
  FSwatch.reset();
}

void TForm1::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_CHANGECBCHAIN:
      if (reinterpret_cast<HWND>(Message.WParam) == FNextViewer)
        FNextViewer = reinterpret_cast<HWND>(Message.LParam);
      else if (FNextViewer)
        SendMessage(FNextViewer, WM_CHANGECBCHAIN, Message.WParam, Message.LParam);
      Message.Result = 0;
      return;
    case WM_DRAWCLIPBOARD:
      UpdatePasteState();
      if (FNextViewer) SendMessage(FNextViewer, WM_DRAWCLIPBOARD, 0, 0);
      return;
    case QLNM_OPENSTARTFILE:
      OpenStartFile();
      return;
    case QLNM_SETTINGSPROBLEM:
      if (!FSettingsProblem.empty()) TellSettingsProblem(FSettingsProblem);
      FSettingsProblem.clear();
      return;
  }
  TForm::WndProc(Message);
}

void TForm1::OpenStartFile() {
  const std::string name = std::move(FStartFile);
  FStartFile.clear();
  if (!name.empty()) {
    try {
      LoadFile(name);
    } catch (const ECommandCancelled&) {
      QLNLoadingIdle = true;
    } catch (const std::exception& E) {
      QLNLoadingIdle = true;
      Application->MessageBox(OpenFailureText(name, E.what()), Application->Title(), MB_OK | MB_ICONSTOP);
    }
  }
  TellRestoredFiles();
}

void TForm1::UpdatePasteState() {
  btnPaste->SetEnabled(Clipboard()->HasFormat(CF_BITMAP));
  Paste1->SetEnabled(btnPaste->Enabled());
}

void TForm1::LoadSettings() {
  TSettingsFile s(QLNSettingsFileName());
  if (!s.Error().empty()) {
    // Told once the window shows.
    FSettingsProblem = s.Error() + ".\nQuillon Pro starts with the default settings and leaves that file as it is.";
    PostMessage(Handle(), QLNM_SETTINGSPROBLEM, 0, 0);
  }
  std::error_code ec;
  const std::string cwd = std::filesystem::current_path(ec).string();
  OpenDialog1->SetInitialDir(s.ReadString("WorkingDir", cwd));
  if (FLastFolder.empty()) FLastFolder = s.ReadString("WorkingDir", "");
  const int32_t state = s.ReadInteger("WindowState", 0);
  const int32_t w = s.ReadInteger("width", Width());
  const int32_t h = s.ReadInteger("height", Height());
  const int32_t t = s.ReadInteger("top", Top());
  const int32_t l = s.ReadInteger("left", Left());
  SetBounds(l, t, w, h);
  FTipIndex = s.ReadInteger("TipIndex", 0);
  FBackgroundColor = static_cast<TColor>(s.ReadInteger("bgcolor", 16777215));
  FShowTips = s.ReadString("ShowTips", "FALSE") == "TRUE";
  if (state == 2) SetWindowState(wsMaximized);
}

void TForm1::SaveSettings() {
  TSettingsFile s(QLNSettingsFileName());
  s.WriteString("WorkingDir", ExtractFilePath(OpenDialog1->FileName()));
  const int32_t state = static_cast<int32_t>(WindowState());
  s.WriteInteger("WindowState", state);
  if (state == 0) {
    s.WriteInteger("left", Left());
    s.WriteInteger("top", Top());
    s.WriteInteger("width", Width());
    s.WriteInteger("height", Height());
  }
  s.WriteInteger("bgcolor", static_cast<int32_t>(FBackgroundColor));
  s.WriteString("ShowTips", FShowTips ? "TRUE" : "FALSE");
  s.WriteInteger("TipIndex", FTipIndex);
  UpdateSettings(s);
}

void TForm1::UpdateControls(bool Busy) {
  btnSave->SetEnabled(!Busy);
  SaveAs1->SetEnabled(btnSave->Enabled());
  btnCopy->SetEnabled(btnSave->Enabled());
  Copy1->SetEnabled(btnSave->Enabled());
  for (TControl* c : {static_cast<TControl*>(btnTransparent), static_cast<TControl*>(btnCrop),
                      static_cast<TControl*>(btnTile), static_cast<TControl*>(edZoom),
                      static_cast<TControl*>(lbZoom), static_cast<TControl*>(edColors),
                      static_cast<TControl*>(lbColors)})
    c->SetEnabled(!Busy);
  for (TMenuItem* m : {Crop1, RGBWeight1, Dithering1, Rotate1, FlipHorizontal1, FlipVertical1, Tile1,
                       Transparent1, AddBorder1, GrayScale1, EditPalette1, PreviewColours1})
    m->SetEnabled(!Busy);
  btnRefresh->SetEnabled(!Busy && FPending != 0);
}

void TForm1::ResetControls() {
  edColors->SetMaxValue(256);
  edColors->SetValue(256);
  edZoom->SetValue(100);
  FRotationAngle = 0;
  Reset1->SetEnabled(false);
  btnRefresh->SetEnabled(false);
  btnTransparent->SetDown(false);
  // Pick mode and the picked colour belong to the image they were picked
  // from: a new image starts without transparency.
  SetTransparentMode(false);
  GIFTransparentColor = 0xFFFFFF;
  if (btnCrop->Down()) {
    // Crop mode ends: the bar's place is kept, the bar hidden.
    btnCrop->SetDown(false);
    SaveCropBarPosition();
    CropBar->SetVisible(false);
    Image1->SetActionMode(amNone);
  }
  Image1->SetSelection(false);
  StatBar->Panels()->Items(1)->SetText("0 \xC2\xB0");
  Image1->SetZoomFactor(1.0L);
  FPending = 0;
}

void TForm1::SaveCropBarPosition() {
  // Only a bar that was shown has a place of the person's to keep (the
  // Color button releases Crop without crop mode having been on).
  if (!CropBar->Visible()) return;
  TSettingsFile s(QLNSettingsFileName());
  s.WriteInteger("cropbarleft", CropBar->Left());
  s.WriteInteger("cropbartop", CropBar->Top());
  UpdateSettings(s);
}

void TForm1::MarkDirty() {
  if (!QLNLoadingIdle) return;
  btnRefresh->SetEnabled(true);
  StatBar->Panels()->Items(2)->SetText("Size: ?");
}

void TForm1::MarkModified() {
  if (QLNLoadingIdle) FModified = true;
}

void TForm1::ShowPictureSize() {
  StatBar->Panels()->Items(0)->SetText(std::to_string(Image1->PicBox()->Width()) + " x " +
                                       std::to_string(Image1->PicBox()->Height()));
}

void TForm1::PictureEdited() {
  if (btnRefresh->Enabled())
    ShowPictureSize();
  else
    UpdateSizeInfo();
}

void TForm1::SetUntitled() {
  FUntitled = true;
  FModified = true;
  FFileName = "Untitled";
  StatBar->Panels()->Items(5)->SetText(FFileName);
}

void TForm1::SetFileName(const std::string& Name) {
  if (Name == FFileName) return;
  FFileName = Name;
  StatBar->Panels()->Items(5)->SetText(FFileName);
}

void TForm1::StatBarDrawPanel(TStatusBar* StatusBar, TStatusPanel* Panel, const TRect& Rect) {
  if (Panel->Index() != 3) return;
  TCanvas* canvas = StatusBar->Canvas();
  if (!FSwatch) {
    FSwatch = std::make_unique<TBitmap>();
    FSwatch->SetWidth(Rect.Right - Rect.Left + 1);
    FSwatch->SetHeight(Rect.Bottom - Rect.Top + 1);
  }
  if (btnTransparent->Down()) {
    canvas->Draw(Rect.Left, Rect.Top, FSwatch.get());
  } else {
    canvas->Brush()->SetColor(clBtnFace);
    canvas->FillRect(Rect);
  }
}

void TForm1::DockRightLeftResize(TObject*) { Toolbar1->SetTop(0); }
void TForm1::DockTopBottomResize(TObject*) { Toolbar1->SetLeft(0); }

// ---- colour reduction and the size estimate ----

TPaletteIdent TForm1::PaletteKind() const {
  if (Color1->Checked()) return pUnknown;
  if (Netscape1->Checked()) return pSpecial216;
  if (N256shadesofgray1->Checked()) return pGray256;
  if (N16shadesofgray1->Checked()) return pGray16;
  if (N4shadesofgray1->Checked()) return pSysGray4;
  if (BlackWhite1->Checked()) return pBlackWhite;
  return pUnknown;
}

int32_t TForm1::PixelFormatClass() const {
  if (Color1->Checked() || N256shadesofgray1->Checked() || Netscape1->Checked()) return 2;
  if (BlackWhite1->Checked()) return 0;
  return 1;
}

namespace {

// A GIF being coded for the running command: into Keep when given, else
// only measured (the coder goes back to write its headers, so places are
// followed). Once the command is cancelled the coding stops
// (ECommandCancelled), also on the thread that codes while rows are mapped.
class TGIFSink : public TStream {
public:
  explicit TGIFSink(TMemoryStream* Keep) : FKeep(Keep), FCommand(TBusyCommand::Running()) {}
  int64_t Read(void* Buffer, int64_t Count) override { return FKeep ? FKeep->Read(Buffer, Count) : 0; }
  int64_t Write(const void* Buffer, int64_t Count) override {
    if (FCommand && FCommand->Cancelled()) throw ECommandCancelled();
    if (FKeep) return FKeep->Write(Buffer, Count);
    FPosition += Count;
    FSize = std::max(FSize, FPosition);
    return Count;
  }
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override {
    if (FKeep) return FKeep->Seek(Offset, Origin);
    FPosition = std::max<int64_t>(0, Offset + (Origin == soBeginning ? 0 : Origin == soCurrent ? FPosition : FSize));
    return FPosition;
  }
  int64_t Size() override { return FKeep ? FKeep->Size() : FSize; }
  void SetSize(int64_t NewSize) override {
    if (FKeep) return FKeep->SetSize(NewSize);
    FSize = NewSize;
    FPosition = std::min(FPosition, FSize);
  }

private:
  TMemoryStream* FKeep;
  const TBusyCommand* FCommand;
  int64_t FPosition = 0, FSize = 0;
};

// Pictures shown larger than this keep only the size of their GIF for the
// estimate (a GIF may take more bytes than its picture): Save codes them
// again.
constexpr int64_t KeptGIFPixels = int64_t{1} << 26;

uint64_t MixKey(uint64_t Key, uint64_t Value) {
  Key ^= Value * 0x9E3779B97F4A7C15ull;
  return (Key << 29 | Key >> 35) * 0xBF58476D1CE4E5B9ull + 0x94D049BB133111EBull;
}

}  // namespace

int32_t TForm1::BoxWidth() const { return std::max<int32_t>(1, Image1->PicBox()->Width()); }
int32_t TForm1::BoxHeight() const { return std::max<int32_t>(1, Image1->PicBox()->Height()); }

std::unique_ptr<TPixelGraphic> TForm1::Reduced(TPixelGraphic* Current, TPixelGraphic* Pristine, TPaletteIdent Kind,
                                               int32_t Count, int32_t Format, int32_t Width, int32_t Height) {
  // At its own size the picture's GIF is coded on a second thread while its
  // rows are mapped (not interlaced: that order needs the whole picture
  // first). The file just saved has its GIF already.
  const bool own = Width == Current->GetWidth() && Height == Current->GetHeight();
  const bool whileMapping = own && !GIFInterlaced && !FReloadingSaved;
  std::shared_ptr<TMemoryStream> bytes;
  int64_t size = 0;
  bool coded = false;
  std::function<void(TPixelGraphic&)> code;
  if (whileMapping) {
    if (int64_t{Width} * Height <= KeptGIFPixels) bytes = std::make_shared<TMemoryStream>();
    code = [&](TPixelGraphic& Picture) {
      TGIFSink sink(bytes.get());
      coded = SavePixelGraphicAsGIF(sink, Picture, GIFInterlaced, GIFTransparent, GIFTransparentColor);
      size = sink.Size();
    };
  }
  std::unique_ptr<TPixelGraphic> reduced = ReducedColors(Current, Pristine, Kind, RGBWeight1->Checked(),
                                                         Dithering1->Checked(), Count, Format, code);
  if (whileMapping) {
    const uint64_t key = GIFPictureKey(*reduced, GIFInterlaced);
    KeepShownGIF(std::move(bytes), size, coded, key, key);
  } else {
    ShownGIF(reduced.get(), Width, Height, false);
  }
  FShownGIFFresh = true;
  return reduced;
}

void TForm1::ApplyReduction() {
  TBusyCommand busy("Reducing the colours...");
  TPixelGraphic* current = Image1->GetPixelGraphic();
  if (current && !current->Empty()) {
    try {
      // The reduced picture has the size of the one shown, at the same zoom.
      Image1->TakePixelGraphic(Reduced(current, FPristine.get(), PaletteKind(), edColors->Value(), PixelFormatClass(),
                                       BoxWidth(), BoxHeight()));
    } catch (const ECommandCancelled&) {
      throw;
    } catch (const std::exception&) {
      // The viewer keeps its picture.
      FShownGIFFresh = false;
    }
  }
  // A grey, black-and-white or fixed palette replaces the picture's colours:
  // only Reset, from the pristine copy, brings them back.
  if (edColors->Value() < 256 || !Color1->Checked()) Reset1->SetEnabled(true);
  UpdateSizeInfo();
}

std::unique_ptr<TPixelGraphic> TForm1::ShownBlank(TPixelGraphic* Picture, int32_t Width, int32_t Height) {
  if (Width == Picture->GetWidth() && Height == Picture->GetHeight()) return nullptr;
  auto shown = std::make_unique<TPixelGraphic>();
  shown->NewImage(Width, Height, static_cast<uint8_t>(PixelFormatClass()));
  shown->AssignPalette(Picture);
  shown->SetDither(Dithering1->Checked());
  shown->SetRGBWeighting(RGBWeight1->Checked());
  shown->OnProgress = BusyProgress();
  return shown;
}

std::unique_ptr<TPixelGraphic> TForm1::RenderAtDisplaySize(TPixelGraphic* Picture, int32_t Width, int32_t Height) {
  std::unique_ptr<TPixelGraphic> shown = ShownBlank(Picture, Width, Height);
  if (shown) {
    shown->CopyFrom(Picture);
    CheckBusyCancelled();
    shown->OnProgress = nullptr;
  }
  return shown;
}

uint64_t TForm1::ShownGIFKey(TPixelGraphic* Picture, int32_t Width, int32_t Height) {
  uint64_t key = GIFPictureKey(*Picture, GIFInterlaced);
  if (Width == Picture->GetWidth() && Height == Picture->GetHeight()) return key;
  // Resampled, the pixels depend on the palette they are mapped onto and
  // on how.
  key = MixKey(key, uint64_t(uint32_t(Width)) << 32 | uint32_t(Height));
  key = MixKey(key, uint64_t(PixelFormatClass()) | uint64_t(Dithering1->Checked()) << 8 |
                        uint64_t(RGBWeight1->Checked()) << 9 | uint64_t(Picture->PaletteIdent()) << 16 |
                        uint64_t(uint32_t(Picture->PaletteCount())) << 32);
  for (int32_t i = 0; i < Picture->PaletteCount(); ++i) key = MixKey(key, Picture->GetPaletteEntry(i));
  return key;
}

bool TForm1::CodeShownGIF(TStream& Stream, TPixelGraphic* Picture, int32_t Width, int32_t Height,
                          uint64_t* ShownKey) {
  bool coded = false;
  auto code = [&](TPixelGraphic& G) {
    coded = SavePixelGraphicAsGIF(Stream, G, GIFInterlaced, GIFTransparent, GIFTransparentColor);
  };
  std::unique_ptr<TPixelGraphic> shown = ShownBlank(Picture, Width, Height);
  if (!shown) {
    code(*Picture);
  } else if (GIFInterlaced) {
    shown->CopyFrom(Picture);
    CheckBusyCancelled();
    code(*shown);
  } else {
    shown->CopyFromWhile(Picture, [&] { code(*shown); });
  }
  CheckBusyCancelled();
  if (ShownKey) *ShownKey = GIFPictureKey(shown ? *shown : *Picture, GIFInterlaced);
  return coded;
}

const TForm1::TShownGIF& TForm1::ShownGIF(TPixelGraphic* Picture, int32_t Width, int32_t Height, bool WithBytes) {
  const bool own = Width == Picture->GetWidth() && Height == Picture->GetHeight();
  const uint64_t key = ShownGIFKey(Picture, Width, Height);
  TShownGIF& gif = FShownGIF;
  // At its own size the picture is what was coded when their keys agree.
  // The transparency options change no byte count, only the bytes.
  bool same = gif.Made && (own ? gif.ShownKey : gif.Key) == key;
  if (WithBytes)
    same = same && gif.Bytes && gif.Interlaced == GIFInterlaced && gif.Transparent == GIFTransparent &&
           (!GIFTransparent || gif.TransparentColor == GIFTransparentColor);
  if (same) {
    GIFColorCount = gif.ColorCount;
    return gif;
  }
  // Bytes kept may be written by Save, whose file is then loaded back:
  // the key of the picture coded tells whether the picture loaded codes to
  // the same GIF.
  std::shared_ptr<TMemoryStream> bytes;
  if (WithBytes || int64_t{Width} * Height <= KeptGIFPixels) bytes = std::make_shared<TMemoryStream>();
  TGIFSink sink(bytes.get());
  uint64_t shownKey = 0;
  const bool coded = CodeShownGIF(sink, Picture, Width, Height, bytes ? &shownKey : nullptr);
  KeepShownGIF(std::move(bytes), sink.Size(), coded, key, shownKey);
  return gif;
}

void TForm1::CodePictureGIF(TMemoryStream& Stream, TPixelGraphic* Picture) {
  TGIFSink sink(&Stream);
  SavePixelGraphicAsGIF(sink, *Picture, GIFInterlaced, GIFTransparent, GIFTransparentColor);
}

void TForm1::KeepShownGIF(std::shared_ptr<TMemoryStream> Bytes, int64_t Size, bool Coded, uint64_t Key,
                          uint64_t ShownKey) {
  FShownGIF = {std::move(Bytes), Size,           true,           Coded,         Key,
               ShownKey,         GIFInterlaced,  GIFTransparent, GIFTransparentColor, GIFColorCount};
}

void TForm1::UpdateSizeInfo() {
  const bool fresh = FShownGIFFresh;
  FShownGIFFresh = false;
  TPixelGraphic* current = Image1->GetPixelGraphic();
  if (!current || current->Empty()) return;
  TBusyCommand busy("Working out the GIF size...");
  // The GIF the reduction just made holds these colours; else the one kept
  // when its key says so.
  const TShownGIF& gif = fresh ? FShownGIF : ShownGIF(current, BoxWidth(), BoxHeight(), false);
  GIFColorCount = gif.ColorCount;
  const int64_t k = Round(static_cast<long double>(gif.Size) / 1024.0L + 0.5L);
  StatBar->Panels()->Items(2)->SetText("Size: " + std::to_string(k) + "k");
  ShowPictureSize();
}

bool TForm1::EditPicture(const std::string& Text, const std::function<void()>& Edit) {
  TBusyCommand busy(Text);
  std::unique_ptr<TPixelGraphic> before = Image1->CopyPixelGraphic();
  const std::string shownSize = StatBar->Panels()->Items(0)->Text(), size = StatBar->Panels()->Items(2)->Text();
  try {
    Edit();
    PictureEdited();
  } catch (const ECommandCancelled&) {
    if (before) Image1->TakePixelGraphic(std::move(before));
    StatBar->Panels()->Items(0)->SetText(shownSize);
    StatBar->Panels()->Items(2)->SetText(size);
    return false;
  }
  return true;
}

void TForm1::ShowColorCount() {
  TNotifyEvent change = std::move(edColors->OnChange);
  edColors->SetValue(GIFColorCount);
  edColors->OnChange = std::move(change);
}

void TForm1::ColorGrayScaleClick(TObject* Sender) {
  TMenuItem* before = Color1;
  for (TMenuItem* item : {BlackWhite1, N4shadesofgray1, N16shadesofgray1, N256shadesofgray1, Color1, Netscape1})
    if (item->Checked()) before = item;
  auto check = [this](TMenuItem* Item) {
    if (Item) Item->SetChecked(true);
    edColors->SetEnabled(Color1->Checked());
    lbColors->SetEnabled(Color1->Checked());
  };
  check(dynamic_cast<TMenuItem*>(Sender));
  try {
    ApplyReduction();
  } catch (const ECommandCancelled&) {
    check(before);
    return;
  }
  MarkModified();
}

void TForm1::ToggleAndReduce(TMenuItem* Item) {
  Item->SetChecked(!Item->Checked());
  try {
    ApplyReduction();
  } catch (const ECommandCancelled&) {
    Item->SetChecked(!Item->Checked());
    return;
  }
  MarkModified();
}

void TForm1::Dithering1Click(TObject*) { ToggleAndReduce(Dithering1); }

void TForm1::RGBWeight1Click(TObject*) { ToggleAndReduce(RGBWeight1); }

void TForm1::edColorsChange(TObject*) {
  MarkDirty();
  FPending |= 2;
  if (btnTransparent->Down()) Transparent1Click(Transparent1);
}

void TForm1::edZoomChange(TObject*) {
  try {
    const int32_t value = edZoom->Value();
    if (value == 0) return;
    Image1->SetZoomFactor(static_cast<long double>(value) / 100.0L);
    FPending |= 1;
    MarkDirty();
    MarkModified();  // Save writes the picture at its displayed size
    ShowPictureSize();
  } catch (const std::exception&) {
    // A zoom the viewer cannot lay out leaves the previous one.
  }
}

void TForm1::btnRefreshClick(TObject*) {
  // The spins show what is applied: a value typed beyond their limits reads
  // as the limit it stands for (their change was taken when it was typed).
  for (TSpinEdit* spin : {edColors, edZoom}) {
    const std::string applied = std::to_string(spin->Value());
    if (spin->Text() == applied) continue;
    TNotifyEvent change = std::move(spin->OnChange);
    spin->SetText(applied);
    spin->OnChange = std::move(change);
  }
  TBusyCommand busy("Applying the changes...");
  const uint8_t pending = FPending;
  const bool cropping = (pending & 4) && btnCrop->Down();
  // Cancelled, the picture, crop mode and the changes pending stay as they
  // were: the picture before a crop is kept until the rest is done.
  std::unique_ptr<TPixelGraphic> uncropped;
  try {
    if (cropping) {
      uncropped = Image1->CopyPixelGraphic();
      CropToSelection(Image1);
      btnCrop->SetDown(false);
      btnCropClick(btnCrop);  // crop mode ends: bar stored and hidden, no more selecting
    }
    if (pending & 2)
      ApplyReduction();
    else if (pending != 0)
      UpdateSizeInfo();
  } catch (const std::exception& E) {
    // Cancelled, or the picture cannot be shown that large.
    if (cropping && !btnCrop->Down()) {
      Image1->TakePixelGraphic(std::move(uncropped));
      btnCrop->SetDown(true);
      btnCropClick(btnCrop);
    }
    FPending = pending;
    MarkDirty();
    ShowPictureSize();
    if (!dynamic_cast<const ECommandCancelled*>(&E)) Application->ShowException(E);
    return;
  }
  if (pending != 0) MarkModified();
  btnRefresh->SetEnabled(false);
  Reset1->SetEnabled(true);
  FPending = 0;
}

void TForm1::Reset1Click(TObject*) {
  TBusyCommand busy("Resetting the picture...");
  std::unique_ptr<TPixelGraphic> reduced;
  try {
    // The pristine picture reduced as it is after the reset: the colour
    // palette of 256 colours, at zoom 100.
    reduced = Reduced(FPristine.get(), FPristine.get(), pUnknown, 256, 2, FPristine->GetWidth(),
                      FPristine->GetHeight());
  } catch (const ECommandCancelled&) {
    return;
  }
  ResetControls();
  Color1->SetChecked(true);
  edColors->SetEnabled(true);
  lbColors->SetEnabled(true);
  Image1->TakePixelGraphic(std::move(reduced));
  UpdateSizeInfo();
  ShowColorCount();
  // The picture is again the one loaded: unchanged, unless it never was saved.
  FModified = FUntitled;
}

// ---- file and clipboard commands ----

void TForm1::Open1Click(TObject*) {
  if (!QueryCloseSave()) return;
  const bool chosen = OpenDialog1->Execute();
  // The dialog's preview may have read, and put back, a file not chosen.
  if (!chosen) {
    TellRestoredFiles();
    return;
  }
  const std::string name = OpenDialog1->FileName();
  try {
    LoadFile(name);
  } catch (const ECommandCancelled&) {
    QLNLoadingIdle = true;
    TellRestoredFiles();
    return;
  } catch (const std::exception& E) {
    QLNLoadingIdle = true;
    TellRestoredFiles();
    Application->MessageBox(OpenFailureText(name, E.what()), Application->Title(), MB_OK | MB_ICONSTOP);
    return;
  }
  TellRestoredFiles();
  OpenDialog1->SetInitialDir(ExtractFilePath(name));
  FLastFolder = ExtractFilePath(name);
}

void TForm1::TakeNewPicture(std::unique_ptr<TPixelGraphic> Pristine) {
  // Reduced first, as it will be once the controls are reset (256 colours,
  // zoom 100): a cancelled command changes nothing.
  std::unique_ptr<TPixelGraphic> reduced = Reduced(Pristine.get(), Pristine.get(), PaletteKind(), 256,
                                                   PixelFormatClass(), Pristine->GetWidth(), Pristine->GetHeight());
  ResetControls();
  FPristine = std::move(Pristine);
  Image1->TakePixelGraphic(std::move(reduced));
  if (!Color1->Checked()) Reset1->SetEnabled(true);
  UpdateSizeInfo();
  UpdateControls(false);
  ShowColorCount();
}

void TForm1::LoadFile(const std::string& Name, TMemoryStream* Bytes) {
  TBusyCommand busy("Opening " + ExtractFileName(Name) + "...");
  QLNLoadingIdle = false;
  // A reader's question names the file it is about.
  struct TReading {
    std::string& Name;
    ~TReading() { Name.clear(); }
  } reading{FFileBeingRead = Name};
  // Read first, as the viewer reads a file (by content, else by the
  // extension): a file that fails, a warning cancelled or the command
  // cancelled leave the picture, its name and the controls as they were.
  auto loaded = std::make_unique<TPixelGraphic>();
  loaded->SetReadWarningAction(Image1->ReadWarningAction());
  loaded->SetTransparentColor(Image1->BackGroundColor());
  loaded->OnProgress = BusyProgress();
  if (Bytes) {
    Bytes->SetPosition(0);
    loaded->LoadImageFromStream(*Bytes, GetFileExtension(Name), 0);
  } else {
    loaded->LoadFromFile(Name);
  }
  loaded->OnProgress = nullptr;
  CheckBusyCancelled();
  TakeNewPicture(std::move(loaded));
  SetFileName(Name);
  FModified = false;
  FUntitled = false;
  QLNLoadingIdle = true;
}

void TForm1::SaveAs1Click(TObject*) {
  if (FUntitled) {
    // A pasted or scanned picture: a neutral name in the folder last used,
    // else in the person's pictures folder.
    const std::string folder = DirectoryExists(FLastFolder) ? FLastFolder : PicturesFolder();
    SaveDialog1->SetFileName(IncludeTrailingPathDelimiter(folder) + "Untitled");
  } else {
    // The current name without its extension (empty when it has none); a
    // dot in a folder name is not one. The dialog opens in the picture's
    // folder either way.
    SaveDialog1->SetInitialDir(ExtractFilePath(FFileName));
    SaveDialog1->SetFileName(ExtractFileExt(FFileName).empty() ? std::string() : ChangeFileExt(FFileName, ""));
  }
  if (!SaveDialog1->Execute()) return;
  FLastFolder = ExtractFilePath(SaveDialog1->FileName());
  try {
    SaveFile(SaveDialog1->FileName());
  } catch (const ECommandCancelled&) {
    QLNLoadingIdle = true;
  } catch (const std::exception& E) {
    QLNLoadingIdle = true;
    Application->ShowException(E);
  }
}

void TForm1::SaveFile(const std::string& Name) {
  TPixelGraphic* picture = Image1->GetPixelGraphic();
  if (!picture || picture->Empty()) return;
  // The picture is saved at its displayed size (at zoom 100 its own), and
  // stays as it is until the file holds it. The file's content is made in
  // memory, written through the safe routine, and loaded back from the same
  // bytes. A GIF is the one the size estimate measured.
  const std::string extension = GetFileExtension(Name);
  std::shared_ptr<TMemoryStream> written;
  {
    TBusyCommand busy("Saving " + ExtractFileName(Name) + "...");
    if (extension == "gif") {
      const TShownGIF& gif = ShownGIF(picture, BoxWidth(), BoxHeight(), true);
      if (gif.Coded) {
        written = gif.Bytes;  // held: the reload below may make another
        GIFWrittenSize = static_cast<int32_t>(std::min<int64_t>(written->Size(), 0x7FFFFFFF));
      }
    }
    if (!written) {
      written = std::make_shared<TMemoryStream>();
      std::unique_ptr<TPixelGraphic> shown = RenderAtDisplaySize(picture, BoxWidth(), BoxHeight());
      TPixelGraphic& out = shown ? *shown : *picture;
      out.SetSaveColorResWarningAction(pgwaIgnore);
      out.SaveToStreamAs(*written, extension);
    }
    written->SaveToFile(Name);
  }
  // The window names the file only once it holds the picture: a save that
  // fails leaves the name of the file the picture came from.
  SetFileName(Name);
  // The saved picture is loaded back; it is still the picture whose colour
  // was picked, so pick mode and the colour carry over to it.
  const bool picking = FPickMode;
  const TColor picked = GIFTransparentColor;
  struct TReloading {
    bool& Flag;
    ~TReloading() { Flag = false; }
  } reloading{FReloadingSaved = true};
  LoadFile(Name, written.get());
  if (picking) {
    SetTransparentMode(true);
    GIFTransparentColor = picked;
    UpdateSizeInfo();
  }
}

void TForm1::btnCopyClick(TObject*) {
  // The picture as shown goes to the clipboard; the picture, its zoom and
  // what Reset brings back stay as they are.
  TPixelGraphic* picture = Image1->GetPixelGraphic();
  if (!picture || picture->Empty()) return;
  try {
    TBusyCommand busy("Copying the picture...");
    std::unique_ptr<TPixelGraphic> shown = RenderAtDisplaySize(picture, BoxWidth(), BoxHeight());
    (shown ? *shown : *picture).CopyToClipboard();
  } catch (const ECommandCancelled&) {
    // Nothing copied.
  }
}

void TForm1::btnPasteClick(TObject*) {
  if (!Clipboard()->HasFormat(CF_BITMAP)) return;
  if (!QueryCloseSave()) return;
  QLNLoadingIdle = false;
  try {
    TBusyCommand busy("Pasting the picture...");
    auto pasted = std::make_unique<TPixelGraphic>();
    {
      TBitmap bitmap;
      bitmap.Assign(Clipboard());
      pasted->AssignFromGraphic(&bitmap);
    }
    TakeNewPicture(std::move(pasted));
    SetUntitled();
    Invalidate();
  } catch (const ECommandCancelled&) {
  } catch (const std::exception& E) {
    QLNLoadingIdle = true;
    Application->ShowException(E);
    return;
  }
  QLNLoadingIdle = true;
}

void TForm1::Exit1Click(TObject*) { Close(); }

bool TForm1::QueryCloseSave() {
  TPixelGraphic* picture = Image1->PixelGraphicNoWait();
  if (!FModified || !picture || picture->Empty()) return true;
  const std::string name = FUntitled ? FFileName : ExtractFileName(FFileName);
  const int32_t answer = Application->MessageBox("Save changes to \"" + name + "\"?", Application->Title(),
                                                 MB_YESNOCANCEL | MB_ICONQUESTION);
  if (answer == IDNO) return true;
  if (answer != IDYES) return false;
  // Saved as Save As saves; a cancelled or failed save keeps the window.
  if (FTileMode) SetTileMode(false);
  SaveAs1Click(this);
  return !FModified;
}
