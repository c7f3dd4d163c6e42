// The standard controls: TPanel, TLabel, TBevel, TImage, TScrollBox,
// TEdit, TMemo, TButton, TBitBtn, TSpeedButton, TCheckBox, TRadioButton,
// TGroupBox, TRadioGroup, TSpinEdit, TProgressBar, TStatusBar; tab order, default and cancel buttons, and "&" accelerators (the form
// offers Alt and a letter to its controls as CM_DIALOGCHAR). Every control draws itself with the software GDI, so what
// it shows reads back the same on every machine.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdi/bitmap.h"
#include "platform/gdi/picture.h"
#include "platform/ui/forms.h"

class TCustomImageList;

enum TAlignment : uint8_t { taLeftJustify, taRightJustify, taCenter };
enum TTextLayout : uint8_t { tlTop, tlCenter, tlBottom };
enum TBevelCut : uint8_t { bvNone, bvLowered, bvRaised, bvSpace };
enum TBevelShape : uint8_t { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
enum TBevelStyle : uint8_t { bsLowered, bsRaised };
enum TEditCharCase : uint8_t { ecNormal, ecUpperCase, ecLowerCase };
enum TCheckBoxState : uint8_t { cbUnchecked, cbChecked, cbGrayed };
enum TButtonLayout : uint8_t { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
enum TBitBtnKind : uint8_t { bkCustom, bkOK, bkCancel, bkHelp, bkYes, bkNo, bkClose, bkAbort, bkRetry, bkIgnore, bkAll };
enum TStatusPanelStyle : uint8_t { psText, psOwnerDraw };
enum TStatusPanelBevel : uint8_t { pbNone, pbLowered, pbRaised };
enum TScrollStyle : uint8_t { ssNone, ssHorizontal, ssVertical, ssBoth };

// A control asks for a key the dialog keys would take (Enter in a memo):
// WParam is the key; a non-zero result keeps it.
enum : uint32_t { CM_WANTSPECIALKEY = CM_BASE + 22 };

// Draws Caption like a label: "&" underlines, DT_ flags as DrawText;
// disabled text is embossed in the highlight and shadow colours.
void DrawCaption(TCanvas* Canvas, const std::string& Caption, TRect R, uint32_t Flags, bool Enabled);
// The same on a DC with its selected font, enabled text in Color.
void DrawStateText(HDC DC, const std::string& Text, TRect R, uint32_t Flags, bool Enabled, TColor Color);
// The rectangle Caption needs from R's top-left corner (DT_CALCRECT) in
// the canvas's font.
TRect MeasureCaption(TCanvas* Canvas, const std::string& Caption, TRect R, uint32_t Flags);
// Frame3D of the class library: one-pixel lines, R shrinks by Width.
void Frame3D(TCanvas* Canvas, TRect& R, TColor TopColor, TColor BottomColor, int32_t Width);

// ---------------------------------------------------------------------------

class TPanel : public TCustomControl {
public:
  explicit TPanel(TComponent* AOwner);
  TBevelCut BevelInner() const { return FBevelInner; }
  void SetBevelInner(TBevelCut Value);
  TBevelCut BevelOuter() const { return FBevelOuter; }
  void SetBevelOuter(TBevelCut Value);
  int32_t BevelWidth() const { return FBevelWidth; }
  void SetBevelWidth(int32_t Value);
  int32_t BorderWidth() const { return FBorderWidth; }
  void SetBorderWidth(int32_t Value);
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle Value);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment Value);
  void AdjustClientRect(TRect& Rect) override;

protected:
  void Paint() override;
  void CreateParams(TCreateParams& Params) override;

private:
  void Changed();
  TBevelCut FBevelInner = bvNone;
  TBevelCut FBevelOuter = bvRaised;
  int32_t FBevelWidth = 1;
  int32_t FBorderWidth = 0;
  TBorderStyle FBorderStyle = bsNone;
  TAlignment FAlignment = taCenter;
};

class TLabel : public TGraphicControl {
public:
  explicit TLabel(TComponent* AOwner);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment Value);
  TTextLayout Layout() const { return FLayout; }
  void SetLayout(TTextLayout Value);
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool Value);
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool Value);
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);
  bool ShowAccelChar() const { return FShowAccelChar; }
  void SetShowAccelChar(bool Value);
  // The control that takes the focus when the label's "&" hotkey is pressed.
  TWinControl* FocusControl() const { return FFocusControl; }
  void SetFocusControl(TWinControl* Value);
  void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;
  void WndProc(TMessage& Message) override;

protected:
  void Paint() override;
  // Draws (or with DT_CALCRECT measures) the caption into Rect.
  virtual void DoDrawText(TRect& Rect, uint32_t Flags);
  // Fits the label to its text when AutoSize is set.
  void AdjustBounds();
  void Notification(TComponent* AComponent, TOperation Operation) override;
  uint32_t TextFlags() const;

private:
  TAlignment FAlignment = taLeftJustify;
  TTextLayout FLayout = tlTop;
  bool FWordWrap = false;
  bool FTransparent = false;
  bool FAutoSize = true;
  bool FShowAccelChar = true;
  bool FAdjusting = false;
  TWinControl* FFocusControl = nullptr;
};

class TBevel : public TGraphicControl {
public:
  explicit TBevel(TComponent* AOwner);
  TBevelShape Shape() const { return FShape; }
  void SetShape(TBevelShape Value);
  TBevelStyle Style() const { return FStyle; }
  void SetStyle(TBevelStyle Value);

protected:
  void Paint() override;

private:
  TBevelShape FShape = bsBox;
  TBevelStyle FStyle = bsLowered;
};

class TImage : public TGraphicControl {
public:
  explicit TImage(TComponent* AOwner);
  ~TImage() override;
  TPicture* Picture() { return FPicture.get(); }
  void SetPicture(TPicture* Value) { FPicture->Assign(Value); }
  bool Stretch() const { return FStretch; }
  void SetStretch(bool Value);
  bool Center() const { return FCenter; }
  void SetCenter(bool Value);
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool Value);
  // Where the picture is drawn, in the control's coordinates.
  TRect DestRect();

protected:
  void Paint() override;

private:
  void PictureChanged();
  std::unique_ptr<TPicture> FPicture;
  bool FStretch = false;
  bool FCenter = false;
  bool FAutoSize = false;
  bool FTransparent = false;
};

// A container whose children may lie beyond its client area: scroll bars
// appear for the extent of the children.
class TScrollBox : public TWinControl {
public:
  explicit TScrollBox(TComponent* AOwner);
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle Value);
  // Scroll positions (pixels).
  int32_t HorzPosition() const { return FPos[0]; }
  int32_t VertPosition() const { return FPos[1]; }
  void ScrollTo(int32_t X, int32_t Y);
  void WndProc(TMessage& Message) override;
  void AlignControls(TControl* AControl, TRect& Rect) override;

protected:
  void CreateParams(TCreateParams& Params) override;
  // The wheel over it scrolls it; a press focuses it, and then the arrow
  // keys, Page Up/Down, Home and End scroll it (ScrollByWheel, ScrollByKey).
  void KeyDown(uint16_t& Key, TShiftState Shift) override;

private:
  void UpdateScrollBars();
  TBorderStyle FBorderStyle = bsSingle;
  int32_t FPos[2] = {0, 0};
  int32_t FRange[2] = {0, 0};
  bool FUpdating = false;
  int32_t FWheelRest = 0;
};

// A one-line text box.
class TCustomEdit : public TCustomControl {
public:
  explicit TCustomEdit(TComponent* AOwner);
  void SetText(const std::string& Value) override;
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value) { FReadOnly = Value; }
  TEditCharCase CharCase() const { return FCharCase; }
  void SetCharCase(TEditCharCase Value);
  int32_t MaxLength() const { return FMaxLength; }
  void SetMaxLength(int32_t Value) { FMaxLength = Value; }
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle Value);
  int32_t SelStart() const { return FCaret; }
  void SetSelStart(int32_t Value);
  int32_t SelLength() const;
  void SetSelLength(int32_t Value);
  void SelectAll();
  // Fires when the text changes, by typing or by code.
  TNotifyEvent OnChange;
  void WndProc(TMessage& Message) override;

protected:
  void Paint() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyPress(char& Key) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  virtual void Change();
  // Whether a typed character may go in (the spin edit takes digits only).
  virtual bool IsValidChar(char Key);
  // Replaces the selection by S (cased), as typing does.
  void InsertText(const std::string& S);
  std::string Cased(const std::string& S) const;
  int32_t TextLeft() const;
  TRect EditRect();
  int32_t FCaret = 0;
  int32_t FAnchor = 0;
  int32_t FScroll = 0;  // pixels of text scrolled out at the left to keep the caret in view

private:
  bool FReadOnly = false;
  TEditCharCase FCharCase = ecNormal;
  int32_t FMaxLength = 0;
  TBorderStyle FBorderStyle = bsSingle;
};

class TEdit : public TCustomEdit {
public:
  explicit TEdit(TComponent* AOwner) : TCustomEdit(AOwner) {}
};

// Lines of a memo.
class TMemo;
class TMemoLines {
public:
  explicit TMemoLines(TMemo* Memo) : FMemo(Memo) {}
  int32_t Count() const;
  std::string Strings(int32_t Index) const;
  void SetStrings(int32_t Index, const std::string& Value);
  int32_t Add(const std::string& S);
  void Insert(int32_t Index, const std::string& S);
  void Delete(int32_t Index);
  void Clear();
  // All lines joined with line feeds.
  std::string Text() const;
  void SetText(const std::string& Value);

private:
  TMemo* FMemo;
};

class TMemo : public TCustomEdit {
public:
  explicit TMemo(TComponent* AOwner);
  TMemoLines* Lines() { return &FLines; }
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment Value);
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool Value);
  bool WantReturns() const { return FWantReturns; }
  void SetWantReturns(bool Value) { FWantReturns = Value; }
  void WndProc(TMessage& Message) override;

protected:
  void Paint() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyPress(char& Key) override;

private:
  TMemoLines FLines{this};
  TAlignment FAlignment = taLeftJustify;
  bool FWordWrap = true;
  bool FWantReturns = true;
};

class TButtonControl : public TCustomControl {
public:
  explicit TButtonControl(TComponent* AOwner);
  void WndProc(TMessage& Message) override;

protected:
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyUp(uint16_t& Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  // What a press and release (mouse or Space) does.
  virtual void Activate() { Click(); }
  void DrawFocus(const TRect& R);
  bool FPressed = false;
  bool FKeyPressed = false;
};

class TButton : public TButtonControl {
public:
  explicit TButton(TComponent* AOwner);
  // Enter anywhere on the form clicks the default button (unless another
  // button has the focus); Esc clicks the cancel button.
  bool Default() const { return FDefault; }
  void SetDefault(bool Value);
  bool Cancel() const { return FCancel; }
  void SetCancel(bool Value) { FCancel = Value; }
  // Set on the form when clicked.
  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult Value) { FModalResult = Value; }
  void Click() override;

protected:
  void Paint() override;
  // Draws the face's content (caption, glyph) into R.
  virtual void PaintContent(TRect R, bool Pushed);

private:
  bool FDefault = false;
  bool FCancel = false;
  TModalResult FModalResult = mrNone;
};

class TBitBtn : public TButton {
public:
  explicit TBitBtn(TComponent* AOwner);
  ~TBitBtn() override;
  // A kind sets the caption, modal result, default or cancel role and a
  // glyph; a caption set afterwards is kept (a custom caption).
  TBitBtnKind Kind() const { return FKind; }
  void SetKind(TBitBtnKind Value);
  TBitmap* Glyph() { return FGlyph.get(); }
  void SetGlyph(TBitmap* Value);
  int32_t NumGlyphs() const { return FNumGlyphs; }
  void SetNumGlyphs(int32_t Value);
  TButtonLayout Layout() const { return FLayout; }
  void SetLayout(TButtonLayout Value);
  int32_t Spacing() const { return FSpacing; }
  void SetSpacing(int32_t Value);
  int32_t Margin() const { return FMargin; }
  void SetMargin(int32_t Value);

protected:
  void PaintContent(TRect R, bool Pushed) override;

private:
  TBitBtnKind FKind = bkCustom;
  std::unique_ptr<TBitmap> FGlyph;
  int32_t FNumGlyphs = 1;
  TButtonLayout FLayout = blGlyphLeft;
  int32_t FSpacing = 4;
  int32_t FMargin = -1;
};

// Draws a button's glyph (the first of NumGlyphs, or the disabled one) and
// caption laid out in R; the glyph's bottom-left pixel colour is transparent.
void DrawButtonFace(TCanvas* Canvas, TRect R, TBitmap* Glyph, int32_t NumGlyphs, const std::string& Caption,
                    TButtonLayout Layout, int32_t Margin, int32_t Spacing, bool Enabled, bool Pushed);

class TSpeedButton : public TGraphicControl {
public:
  explicit TSpeedButton(TComponent* AOwner);
  ~TSpeedButton() override;
  TBitmap* Glyph() { return FGlyph.get(); }
  void SetGlyph(TBitmap* Value);
  int32_t NumGlyphs() const { return FNumGlyphs; }
  void SetNumGlyphs(int32_t Value);
  // Buttons of one parent with the same GroupIndex (not 0) work together:
  // pressing one releases the other; with AllowAllUp a down button comes up
  // when pressed again.
  int32_t GroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(int32_t Value);
  bool Down() const { return FDown; }
  void SetDown(bool Value);
  bool AllowAllUp() const { return FAllowAllUp; }
  void SetAllowAllUp(bool Value);
  bool Flat() const { return FFlat; }
  void SetFlat(bool Value);
  TButtonLayout Layout() const { return FLayout; }
  void SetLayout(TButtonLayout Value);
  int32_t Spacing() const { return FSpacing; }
  void SetSpacing(int32_t Value);
  int32_t Margin() const { return FMargin; }
  void SetMargin(int32_t Value);
  void Click() override;
  void WndProc(TMessage& Message) override;

protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;

private:
  void ReleaseGroup();
  std::unique_ptr<TBitmap> FGlyph;
  int32_t FNumGlyphs = 1;
  int32_t FGroupIndex = 0;
  bool FDown = false;
  bool FAllowAllUp = false;
  bool FFlat = false;
  bool FPressed = false;
  bool FMouseInside = false;
  TButtonLayout FLayout = blGlyphLeft;
  int32_t FSpacing = 4;
  int32_t FMargin = -1;
};

class TCheckBox : public TButtonControl {
public:
  explicit TCheckBox(TComponent* AOwner);
  // Changing the state (by a click or by code) fires OnClick.
  bool Checked() const { return FState == cbChecked; }
  void SetChecked(bool Value) { SetState(Value ? cbChecked : cbUnchecked); }
  TCheckBoxState State() const { return FState; }
  void SetState(TCheckBoxState Value);
  bool AllowGrayed() const { return FAllowGrayed; }
  void SetAllowGrayed(bool Value) { FAllowGrayed = Value; }
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment Value);

protected:
  void Paint() override;
  void Activate() override;

private:
  TCheckBoxState FState = cbUnchecked;
  bool FAllowGrayed = false;
  TAlignment FAlignment = taRightJustify;
};

class TRadioButton : public TButtonControl {
public:
  explicit TRadioButton(TComponent* AOwner);
  // Checking releases the other radio buttons of the parent and fires
  // OnClick (by a click or by code).
  bool Checked() const { return FChecked; }
  void SetChecked(bool Value);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment Value);

protected:
  void Paint() override;
  void Activate() override;

private:
  bool FChecked = false;
  TAlignment FAlignment = taRightJustify;
};

class TCustomGroupBox : public TCustomControl {
public:
  explicit TCustomGroupBox(TComponent* AOwner);
  void AdjustClientRect(TRect& Rect) override;

protected:
  void Paint() override;
};

class TGroupBox : public TCustomGroupBox {
public:
  explicit TGroupBox(TComponent* AOwner) : TCustomGroupBox(AOwner) {}
};

// A group box of radio items laid out in columns, top to bottom first.
class TRadioGroup : public TCustomGroupBox {
public:
  explicit TRadioGroup(TComponent* AOwner);
  const std::vector<std::string>& Items() const { return FItems; }
  void SetItems(const std::vector<std::string>& Value);
  // Changing the index (by a click or by code) fires OnClick.
  int32_t ItemIndex() const { return FItemIndex; }
  void SetItemIndex(int32_t Value);
  int32_t Columns() const { return FColumns; }
  void SetColumns(int32_t Value);
  // The item's rectangle in client coordinates.
  TRect ItemRect(int32_t Index);
  void WndProc(TMessage& Message) override;

protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;

private:
  std::vector<std::string> FItems;
  int32_t FItemIndex = -1;
  int32_t FColumns = 1;
};

// An edit holding a whole number with up and down buttons.
class TSpinEdit : public TCustomEdit {
public:
  explicit TSpinEdit(TComponent* AOwner);
  // MinValue = MaxValue means no limits. Setting a value (by code, typing,
  // the buttons or the arrow keys) keeps it in the limits; a change of the
  // text fires OnChange.
  int32_t Value();
  void SetValue(int32_t AValue);
  int32_t MinValue() const { return FMinValue; }
  void SetMinValue(int32_t Value);
  int32_t MaxValue() const { return FMaxValue; }
  void SetMaxValue(int32_t Value);
  int32_t Increment() const { return FIncrement; }
  void SetIncrement(int32_t Value) { FIncrement = Value; }
  // The up and down buttons in client coordinates.
  TRect UpButtonRect();
  TRect DownButtonRect();
  void WndProc(TMessage& Message) override;

protected:
  void Paint() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  bool IsValidChar(char Key) override;

private:
  int32_t CheckValue(int32_t V) const;
  int32_t FMinValue = 0;
  int32_t FMaxValue = 0;
  int32_t FIncrement = 1;
};

class TProgressBar : public TWinControl {
public:
  explicit TProgressBar(TComponent* AOwner);
  int32_t Min() const { return FMin; }
  void SetMin(int32_t Value);
  int32_t Max() const { return FMax; }
  void SetMax(int32_t Value);
  int32_t Position() const { return FPosition; }
  void SetPosition(int32_t Value);
  int32_t Step() const { return FStep; }
  void SetStep(int32_t Value) { FStep = Value; }
  // Moves by Step (by Delta), wrapping to Min past Max as the common control does.
  void StepIt();
  void StepBy(int32_t Delta);
  void WndProc(TMessage& Message) override;

private:
  void Paint(HDC DC);
  int32_t FMin = 0;
  int32_t FMax = 100;
  int32_t FPosition = 0;
  int32_t FStep = 10;
};

class TStatusBar;
class TStatusPanel {
public:
  explicit TStatusPanel(TStatusBar* Bar) : FBar(Bar) {}
  const std::string& Text() const { return FText; }
  void SetText(const std::string& Value);
  int32_t Width() const { return FWidth; }
  void SetWidth(int32_t Value);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment Value);
  TStatusPanelStyle Style() const { return FStyle; }
  void SetStyle(TStatusPanelStyle Value);
  TStatusPanelBevel Bevel() const { return FBevel; }
  void SetBevel(TStatusPanelBevel Value);
  int32_t Index() const;

private:
  void Changed();
  TStatusBar* FBar;
  std::string FText;
  int32_t FWidth = 50;
  TAlignment FAlignment = taLeftJustify;
  TStatusPanelStyle FStyle = psText;
  TStatusPanelBevel FBevel = pbLowered;
};

class TStatusPanels {
public:
  explicit TStatusPanels(TStatusBar* Bar) : FBar(Bar) {}
  int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
  TStatusPanel* Items(int32_t Index) const { return FItems.at(static_cast<size_t>(Index)).get(); }
  TStatusPanel* Add();

private:
  TStatusBar* FBar;
  std::vector<std::unique_ptr<TStatusPanel>> FItems;
  friend class TStatusPanel;
};

using TDrawPanelEvent = std::function<void(TStatusBar* StatusBar, TStatusPanel* Panel, const TRect& Rect)>;

class TStatusBar : public TCustomControl {
public:
  explicit TStatusBar(TComponent* AOwner);
  TStatusPanels* Panels() { return &FPanels; }
  bool SimplePanel() const { return FSimplePanel; }
  void SetSimplePanel(bool Value);
  const std::string& SimpleText() const { return FSimpleText; }
  void SetSimpleText(const std::string& Value);
  bool SizeGrip() const { return FSizeGrip; }
  void SetSizeGrip(bool Value);
  // Panel Index's rectangle in client coordinates (the last panel runs to
  // the right edge).
  TRect PanelRect(int32_t Index);
  // Owner-drawn panels are drawn by OnDrawPanel on the bar's Canvas.
  TDrawPanelEvent OnDrawPanel;

protected:
  void Paint() override;

private:
  TStatusPanels FPanels{this};
  bool FSimplePanel = false;
  std::string FSimpleText;
  bool FSizeGrip = true;
};

// ---------------------------------------------------------------------------
// Hints, focus and start-up

// The next control of the form in tab order after Current (forward or
// backward), among the visible, enabled controls with TabStop.
TWinControl* FindNextControl(TCustomForm* Form, TWinControl* Current, bool GoForward);
void SelectNext(TCustomForm* Form, TWinControl* Current, bool GoForward);

// Start-up of the standard controls: the menus' hooks and the dialog keys
// (Tab, Enter, Esc). After InitializeForms; tests call it after making the
// test driver. Hint windows are the application's (Application->HintPause).
void InitializeStdControls();
void FinalizeStdControls();
