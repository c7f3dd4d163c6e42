// Docking toolbars: TDock (the strip along a form's edge that holds bars in
// rows), TToolbar (a bar of controls, docked or floating in a tool window of
// its own), TFloatParent (the hidden child of the form that owns floating
// bars), TToolbarButton (flat speed button with hot tracking, groups and
// drop-down menus) and TToolbarSep (the etched separator).
// InitializeToolbars/FinalizeToolbars set up and tear down the unit-wide
// state (shared hot-tracking timer, window subclass list, application hook).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/gdi/bitmap.h"
#include "platform/ui/controls.h"
#include "platform/ui/forms.h"
#include "platform/ui/image_list.h"
#include "platform/ui/menus.h"
#include "platform/ui/std_controls.h"  // TButtonLayout

class TDock;
class TToolbar;
class TToolbarSep;
class TToolbarButton;

void InitializeToolbars();
void FinalizeToolbars();

// One row of a dock, or a bar's own size: thicknesses at least 8, extents
// are thickness + 4 (a 2-pixel margin on each side of a docked bar).
struct TToolbarRowSize {
  int32_t HorzThickness = 0;
  int32_t VertThickness = 0;
  int32_t HorzExtent = 0;
  int32_t VertExtent = 0;
};

enum TDockPosition : uint8_t { dpTop, dpBottom, dpLeft, dpRight };
enum TDockBoundLinesValues : uint8_t { blTop, blBottom, blLeft, blRight };
using TDockBoundLines = uint8_t;  // bit (1 << value) per member
constexpr TDockBoundLines BoundLine(TDockBoundLinesValues V) { return static_cast<TDockBoundLines>(1u << V); }

using TInsertRemoveEvent = std::function<void(TObject* Sender, bool Inserting, TToolbar* Bar)>;

// Bar types: 0 floating, 1 in a top or bottom dock, 2 in a left or right dock.
int32_t DockTypeOf(const TDock* Dock);

class TDock : public TCustomControl {
public:
  explicit TDock(TComponent* AOwner);
  ~TDock() override;

  void SetParent(TWinControl* AParent) override;
  void SetVisible(bool Value) override;

  TDockPosition Position() const { return FPosition; }
  void SetPosition(TDockPosition Value);
  bool AllowDrag() const { return FAllowDrag; }
  void SetAllowDrag(bool Value);
  TDockBoundLines BoundLines() const { return FBoundLines; }
  void SetBoundLines(TDockBoundLines Value);
  TBitmap* Background() const { return FBackground.get(); }
  void SetBackground(TBitmap* Value);
  bool BackgroundTransparent() const { return FBackgroundTransparent; }
  void SetBackgroundTransparent(bool Value);
  bool FixAlign() const { return FFixAlign; }
  void SetFixAlign(bool Value);
  bool LimitToOneRow() const { return FLimitToOneRow; }
  void SetLimitToOneRow(bool Value) { FLimitToOneRow = Value; }

  TInsertRemoveEvent OnInsertRemoveBar;

  // Lays out all bars in rows and sizes the dock to them.
  void ArrangeToolbars();
  void InsertRemoveBar(bool Inserting, TToolbar* Bar, bool Visible);
  void GetRowSize(int32_t Row, TToolbar* Bar, TToolbarRowSize& Size) const;
  int32_t GetHighestRow() const;
  // The row at an across position (client coordinates); Insert asks for a
  // new row before the one returned.
  int32_t GetRowOf(int32_t Pos, bool& Insert) const;
  int32_t GetDesignModeRowOf(int32_t Pos) const;
  void InsertRowBefore(int32_t Row);
  // Tiles the background over TileRect, clipped to ClipRect.
  void DrawBackground(TCanvas* Canvas, const TRect& ClipRect, const TRect& TileRect);
  void BackgroundChanged();
  HPALETTE GetPalette() override;

  // The arrangement lock: requests made while it is held are dropped, so
  // the holder arranges when it lets go.
  void LockArrangement() { ++FArrangeLock; }
  void UnlockArrangement() { --FArrangeLock; }
  // The bars taking part in the layout, ordered by row, then position.
  const std::vector<TToolbar*>& DockList() const { return FDockList; }
  const std::vector<TToolbarRowSize>& RowSizes() const { return FRowSizes; }
  // Length of a bar along this dock's rows.
  int32_t LengthAlong(TToolbar* Bar) const;

  void WndProc(TMessage& Message) override;

protected:
  void CreateParams(TCreateParams& Params) override;
  void Loaded() override;
  void AlignControls(TControl* AControl, TRect& Rect) override;
  void Paint() override;

private:
  void BuildRowSizes();
  void ChangeDockSize(bool ClientSize, int32_t NewWidth, int32_t NewHeight);
  void PaintBoundLines();
  TDockPosition FPosition = dpTop;
  bool FAllowDrag = true;
  TDockBoundLines FBoundLines = 0;
  std::unique_ptr<TBitmap> FBackground;
  std::unique_ptr<TBitmap> FBackgroundCache;
  bool FBackgroundTransparent = false;
  bool FFixAlign = false;
  bool FLimitToOneRow = false;
  int32_t FArrangeLock = 0;
  bool FArranging = false;
  std::vector<TToolbar*> FDockList;
  std::vector<TToolbarRowSize> FRowSizes;
  friend class TToolbar;
};

// The hidden child window of a form that floating bars belong to.
class TFloatParent : public TWinControl {
public:
  explicit TFloatParent(TComponent* AOwner);

protected:
  void CreateParams(TCreateParams& Params) override;
};

class TToolbar : public TCustomControl {
public:
  explicit TToolbar(TComponent* AOwner);
  ~TToolbar() override;
  void BeforeDestruction() override;

  TDock* DockedTo() const;
  void SetDockedTo(TDock* Value);
  int32_t DockPos() const { return FDockPos; }
  void SetDockPos(int32_t Value);
  int32_t DockRow() const { return FDockRow; }
  void SetDockRow(int32_t Value);
  TDock* DefaultDock() const { return FDefaultDock; }
  void SetDefaultDock(TDock* Value);
  bool CanDockLeftRight() const { return FCanDockLeftRight; }
  void SetCanDockLeftRight(bool Value) { FCanDockLeftRight = Value; }
  bool CloseButton() const { return FCloseButton; }
  void SetCloseButton(bool Value);

  TNotifyEvent OnRecreating;
  TNotifyEvent OnRecreated;
  TNotifyEvent OnDockChanging;
  TNotifyEvent OnDockChanged;
  TNotifyEvent OnClose;

  void SetParent(TWinControl* AParent) override;
  void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;

  // Re-runs the layout for the present place (moving and resizing).
  void UpdateToolbarLayout();
  // Moves a floating bar into the work area (only when it lies wholly
  // outside it, with OnlyIfOffScreen).
  void MoveOnScreen(bool OnlyIfOffScreen);
  // Lays the controls out for Dock (nullptr: floating) with WrapWidth (0:
  // no wrapping); CanMove places them, CanResize sizes the bar.
  void ArrangeControls(bool CanMove, bool CanResize, TSize* NewClientSize, int32_t WrapWidth, TDock* Dock,
                       int32_t OldType);

  int32_t FloatingWrapWidth() const { return FFloatingWrapWidth; }
  // Line breaks of a floating bar: low 16 bits the across position of the
  // new line, third byte the separator's Blank.
  const std::vector<uint32_t>& WrapLines() const { return FWrapLines; }
  TFloatParent* FloatParent() const { return FFloatParent; }
  bool FloatHidden() const { return FFloatHidden; }
  void SetFloatHidden(bool Value);
  bool CloseButtonDown() const { return FCloseButtonDown; }

  // Floating window metrics.
  static int32_t CaptionHeight();
  static int32_t FrameWidth();
  static TRect WorkArea();
  TRect CaptionRect(bool WithoutCloseButton);
  TRect CloseButtonRect();

  // The modal loops (moving and floating resizing).
  void BeginMoving(int32_t X, int32_t Y);
  void BeginSizing(int32_t HitCode);

  void WndProc(TMessage& Message) override;

protected:
  void CreateParams(TCreateParams& Params) override;
  void UpdateShowing() override;
  void Loaded() override;
  void AlignControls(TControl* AControl, TRect& Rect) override;
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

private:
  struct TGroup {
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<TControl*> Controls;
  };
  bool Floating() const;
  TSize NonClientSize() const;
  void PaintNonClient(HRGN Clip, bool Frame, bool Caption, bool Close);
  void CloseButtonLoop();
  void CalcBarSize(TToolbarRowSize& Size) const;
  std::vector<TGroup> MakeGroups(int32_t OldType, bool Sort);
  int32_t NCHitTest(TPoint P);
  void ReleaseSubclassing();

  TToolbarRowSize FBarSize{8, 8, 12, 12};
  int32_t FDockPos = -1;
  int32_t FDockRow = 0;
  TDock* FDefaultDock = nullptr;
  bool FCanDockLeftRight = true;
  bool FCloseButton = true;
  TRect FFloatingRect{};
  int32_t FFloatingWrapWidth = 0;
  std::vector<uint32_t> FWrapLines;
  std::vector<TControl*> FOrderList;
  int32_t FDockPlacementLock = 0;
  int32_t FLayoutLock = 0;
  int32_t FRedockCount = 0;
  TFloatParent* FFloatParent = nullptr;
  TCustomForm* FTopForm = nullptr;
  bool FFloatHidden = false;
  bool FCloseButtonDown = false;
  bool FSubclassed = false;
  friend class TDock;
  friend class TToolbarDragger;
  friend class TToolbarSep;
};

// Flips the change from the old outline to the new one on DC with the
// checkerboard brush (the top bit of each channel, so that it shows on any
// background; flipping twice restores): an outline is the band between a rectangle and the
// rectangle shrunk by its thickness (1 pixel when thin, else the floating
// frame width). No new rectangle erases the old outline.
void DrawDragOutline(HDC DC, const TRect* NewRect, bool NewThin, const TRect* OldRect, bool OldThin);

// Shows or hides the floating bars of Form and its MDI children (a hidden bar keeps its place).
void UpdateFloatingVisibility(TCustomForm* Form, bool AppActive);

class TToolbarSep : public TGraphicControl {
public:
  explicit TToolbarSep(TComponent* AOwner);
  void SetParent(TWinControl* AParent) override;
  bool Blank() const { return FBlank; }
  void SetBlank(bool Value);
  int32_t SizeHorz() const { return FSizeHorz; }
  void SetSizeHorz(int32_t Value);
  int32_t SizeVert() const { return FSizeVert; }
  void SetSizeVert(int32_t Value);

protected:
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void Paint() override;

private:
  bool FBlank = false;
  int32_t FSizeHorz = 6;
  int32_t FSizeVert = 6;
};

enum TButtonDisplayMode : uint8_t { dmBoth, dmGlyphOnly, dmTextOnly };
enum TButtonState : uint8_t { bsUp, bsDisabled, bsDown, bsExclusive, bsMouseIn };
using TNumGlyphs = int32_t;  // 1..5

// One image list per glyph size, shared by every button whose glyph has
// that size; slots are handed out and given back.
class TGlyphList : public TImageList {
public:
  TGlyphList(int32_t AWidth, int32_t AHeight);
  int32_t AddMasked(TBitmap* Image, TColor MaskColor);
  void Delete(int32_t Index);
  int32_t Count() const { return FCount; }

private:
  int32_t AllocateIndex();
  std::vector<bool> FUsed;
  int32_t FCount = 0;
};

class TGlyphCache {
public:
  ~TGlyphCache();
  TGlyphList* GetList(int32_t AWidth, int32_t AHeight);
  void ReturnList(TGlyphList* List);
  bool Empty() const { return FLists.empty(); }

private:
  std::vector<TGlyphList*> FLists;
};

// The glyph of a button: the source bitmap of up to five cells (up,
// disabled, down, exclusive, mouse-in) and the images made from it.
class TButtonGlyph {
public:
  TButtonGlyph();
  ~TButtonGlyph();
  TBitmap* Glyph() const { return FOriginal.get(); }
  void SetGlyph(TBitmap* Value);
  TNumGlyphs NumGlyphs() const { return FNumGlyphs; }
  void SetNumGlyphs(TNumGlyphs Value);
  bool OldDisabledStyle() const { return FOldDisabledStyle; }
  void SetOldDisabledStyle(bool Value);
  // The image list index of the state's image, made on first use (-1 for
  // an empty glyph).
  int32_t CreateButtonGlyph(TButtonState State);
  void Invalidate();
  TGlyphList* GlyphList() const { return FGlyphList; }
  std::function<void()> OnChange;

private:
  void GlyphChanged();
  std::unique_ptr<TBitmap> FOriginal;
  TGlyphList* FGlyphList = nullptr;
  int32_t FIndexs[5] = {-1, -1, -1, -1, -1};
  TColor FTransparentColor = 0x008080;
  TNumGlyphs FNumGlyphs = 1;
  bool FOldDisabledStyle = false;
  bool FUpdating = false;
};

class TToolbarButton : public TGraphicControl {
public:
  explicit TToolbarButton(TComponent* AOwner);
  ~TToolbarButton() override;
  void BeforeDestruction() override;

  bool AllowAllUp() const { return FAllowAllUp; }
  void SetAllowAllUp(bool Value);
  int32_t GroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(int32_t Value);
  TButtonDisplayMode DisplayMode() const { return FDisplayMode; }
  void SetDisplayMode(TButtonDisplayMode Value);
  bool Down() const { return FDown; }
  void SetDown(bool Value);
  bool DropdownArrow() const { return FDropdownArrow; }
  void SetDropdownArrow(bool Value);
  bool DropdownCombo() const { return FDropdownCombo; }
  void SetDropdownCombo(bool Value);
  TPopupMenu* DropdownMenu() const { return FDropdownMenu; }
  void SetDropdownMenu(TPopupMenu* Value);
  bool Flat() const { return FFlat; }
  void SetFlat(bool Value);
  TBitmap* Glyph() const { return FGlyph->Glyph(); }
  void SetGlyph(TBitmap* Value);
  TNumGlyphs NumGlyphs() const { return FGlyph->NumGlyphs(); }
  void SetNumGlyphs(TNumGlyphs Value);
  TButtonLayout Layout() const { return FLayout; }
  void SetLayout(TButtonLayout Value);
  int32_t Margin() const { return FMargin; }
  void SetMargin(int32_t Value);
  bool OldDisabledStyle() const { return FOldDisabledStyle; }
  void SetOldDisabledStyle(bool Value);
  bool Opaque() const { return FOpaque; }
  void SetOpaque(bool Value);
  int32_t Spacing() const { return FSpacing; }
  void SetSpacing(int32_t Value);
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool Value);
  TButtonState State() const { return FState; }
  bool MouseIn() const { return FMouseIn; }
  TButtonGlyph* ButtonGlyph() const { return FGlyph.get(); }

  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseExit;

  void Click() override;
  void WndProc(TMessage& Message) override;
  HPALETTE GetPalette() override;

  // The button that shows the mouse-in look now, or nullptr.
  static TToolbarButton* HotButton();
  void MouseEntered();
  void MouseLeft();

protected:
  void Loaded() override;
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

private:
  void Redraw(bool AllowErase);
  void UpdateTracking();
  void UpdateOpaqueStyle();
  void BroadcastGroup();
  bool IsCombo() const { return FDropdownCombo && FDropdownMenu; }
  bool PointInside(int32_t X, int32_t Y);
  void PopupDropdown();
  void CalcButtonLayout(const TRect& R, TPoint Offset, bool DrawGlyph, bool DrawCaption, bool DrawArrow,
                        TPoint& GlyphPos, TRect& TextBounds, TPoint& ArrowPos);
  void DrawArrowAt(TCanvas* Canvas, int32_t X, int32_t Y);

  bool FAllowAllUp = false;
  TButtonDisplayMode FDisplayMode = dmBoth;
  bool FDown = false;
  bool FDropdownArrow = true;
  bool FDropdownCombo = false;
  TPopupMenu* FDropdownMenu = nullptr;
  bool FFlat = true;
  std::unique_ptr<TButtonGlyph> FGlyph;
  int32_t FGroupIndex = 0;
  TButtonLayout FLayout = blGlyphLeft;
  int32_t FMargin = -1;
  bool FOldDisabledStyle = false;
  bool FOpaque = true;
  int32_t FSpacing = 4;
  bool FWordWrap = false;
  bool FInClick = false;
  bool FMouseIn = false;
  bool FDragging = false;
  bool FMenuIsDown = false;
  TButtonState FState = bsUp;
};
