// TPGImage: the windowed viewer that owns and shows one TPixelGraphic, with
// twelve stretch modes and a zoom, centring, tiling and mirroring, window
// scroll bars, a display copy made on a paint thread for palette screens and
// resampled stretching, and a crop selection with marching ants and handles.
// TPicBox is the child paint box that shows the picture and takes the mouse.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "imaging/core/pixel_graphic.h"
#include "imaging/viewer/display_thread.h"
#include "platform/gdi/bitmap.h"
#include "platform/ui/controls.h"
#include "platform/ui/timer.h"

class TPGImage;

enum TActionMode : uint8_t {
  amMoveImage,
  amMoveResizeCreateSelection,
  amMoveSelection,
  amMoveSelectionMoveImage,
  amCreateSelection,
  amNone
};
enum TStretch : uint8_t {
  sNeverKAR,
  sAlways,
  sAlwaysKAR,
  sShrink,
  sShrinkKAR,
  sEnlarge,
  sEnlargeKAR,
  sAlwaysLongerEdgeKAR,
  sShrinkLongerEdgeKAR,
  sEnlargeShrinkLongerEdgeKAR,
  sEnlargeLongerEdgeKAR,
  sZoomKAR
};
enum TTiling : uint8_t { tNone, tRepeat, tMirrorHorizontal, tMirrorVertical, tMirror };
// Subranges of TPaletteIdent: pBlackWhite..pOptimized252Sys16 and pBlackWhite..pSource.
using TPalette8BitSys24BitGraphic = TPaletteIdent;
using TPalette8BitSys8BitGraphic = TPaletteIdent;

// What a drag on the picture box is doing.
enum TPGDragState : uint8_t {
  dsNone,
  dsMoveImage,
  dsMoveSelection,
  dsCreateSelection,
  dsTopLeft,
  dsTopMiddle,
  dsTopRight,
  dsLeftMiddle,
  dsRightMiddle,
  dsBottomLeft,
  dsBottomMiddle,
  dsBottomRight
};

using TPGINewAutoSizeEvent = std::function<void(TObject* Sender, int32_t PGImageWidth, int32_t PGImageHeight)>;
using TPGSetCursorEvent = std::function<void(TObject* Sender, HCURSOR& CursorHandle)>;

// The paint box inside the viewer: the viewer's hooks run first, then the
// handlers stored in the box's own OnMouseDown, OnMouseMove, OnMouseUp and OnPaint.
class TPicBox : public TGraphicControl {
public:
  explicit TPicBox(TComponent* AOwner);
  TMouseEvent MouseDownHook;
  TMouseMoveEvent MouseMoveHook;
  TMouseEvent MouseUpHook;
  TNotifyEvent PaintHook;
  TNotifyEvent OnPaint;

protected:
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void Paint() override;
};

// One axis of the viewer's window scroll bars.
class TPGImageScrollBar : public TPersistent {
public:
  explicit TPGImageScrollBar(TPGImage* Control) : FControl(Control) {}
  void Assign(TPersistent* Source) override;

  int32_t Increment() const { return FIncrement; }
  void SetIncrement(int32_t Value);
  int32_t Position() const { return FPosition; }
  void SetPosition(int32_t Value);
  int32_t Range() const { return FRange; }
  void SetRange(int32_t Value);  // switches the viewer's AutoScroll off
  bool Tracking() const { return FTracking; }
  void SetTracking(bool Value) { FTracking = Value; }
  bool Visible() const { return FVisible; }
  void SetVisible(bool Value);
  int32_t MaximumPosition() const { return FMaxPos; }
  bool RangeSetByUser() const { return FRangeSetByUser; }
  void SetRangeSetByUser(bool Value) { FRangeSetByUser = Value; }

  // A scroll code of WM_HSCROLL/WM_VSCROLL from the window's own bar.
  void ScrollMessage(int32_t Code, int32_t Pos);
  // The range without flagging it as the user's.
  void SetRangeInternal(int32_t Value);

  virtual int32_t ClientSize() = 0;
  virtual int32_t GetScrollPosition() = 0;
  virtual void SetScrollPosition(int32_t Value) = 0;
  virtual void ScrollBy(int32_t Delta) = 0;
  virtual void Update(bool OtherBarShown) = 0;

protected:
  void DoUpdate(int32_t Bar, int32_t ControlSize, int32_t OtherBarSize, bool OtherBarShown);
  TPGImage* FControl;
  int32_t FIncrement = 8;
  int32_t FMaxPos = 0;
  int32_t FPosition = 0;
  int32_t FRange = 0;
  bool FRangeSetByUser = false;
  bool FTracking = false;
  bool FVisible = true;
};

class THorzPGImageScrollBar : public TPGImageScrollBar {
public:
  using TPGImageScrollBar::TPGImageScrollBar;
  int32_t ClientSize() override;
  int32_t GetScrollPosition() override;
  void SetScrollPosition(int32_t Value) override;
  void ScrollBy(int32_t Delta) override;
  void Update(bool OtherBarShown) override;
};

class TVertPGImageScrollBar : public TPGImageScrollBar {
public:
  using TPGImageScrollBar::TPGImageScrollBar;
  int32_t ClientSize() override;
  int32_t GetScrollPosition() override;
  void SetScrollPosition(int32_t Value) override;
  void ScrollBy(int32_t Delta) override;
  void Update(bool OtherBarShown) override;
};

class TPGImage : public TWinControl {
public:
  explicit TPGImage(TComponent* AOwner);
  ~TPGImage() override;

  // ---- the picture ----
  // Stops the paint thread and returns the picture (or null); whoever changes
  // it repaints or hands it over again.
  TPixelGraphic* GetPixelGraphic();
  // The picture without waiting for the paint thread: for sizes and palette kinds only.
  TPixelGraphic* PixelGraphicNoWait() const { return FPicture.get(); }
  // Takes ownership of Graphic (null empties the viewer).
  void TakePixelGraphic(TPixelGraphic* Graphic);
  void TakePixelGraphic(std::unique_ptr<TPixelGraphic> Graphic) { TakePixelGraphic(Graphic.release()); }
  // Shows a copy of Graphic; the caller keeps it (null empties the viewer).
  void AssignPixelGraphic(TPixelGraphic* Graphic);
  // A copy of the picture that the caller owns (null without one).
  std::unique_ptr<TPixelGraphic> CopyPixelGraphic();
  void LoadFromFile(const std::string& FileName) { LoadFromFile(FileName, 0); }
  void LoadFromFile(const std::string& FileName, int32_t Index);
  virtual void SaveToFile(const std::string& FileName);
  TPicBox* PicBox() const { return FPicBox; }
  // The reaction to every change of the picture and of most settings.
  void PictureChanged();

  // ---- layout ----
  void UpdateLayout(bool Force);
  void UpdateScrollBars();
  void UpdateScrollRanges();
  int32_t ImageToBoxX(int32_t X) const;
  int32_t ImageToBoxY(int32_t Y) const;
  int32_t BoxToImageX(int32_t X) const;
  int32_t BoxToImageY(int32_t Y) const;
  TPoint BoxToImage(const TPoint& P) const { return TPoint{BoxToImageX(P.X), BoxToImageY(P.Y)}; }
  // The image pixel shown at a box point: the one whose area holds the box
  // pixel's centre, (2x + 1) x image width div (2 x box width). The drawing
  // call's stretch (smFast) samples pixel centres so; a resampled display
  // copy's pixel blends the neighbourhood of that same pixel. The viewer's
  // mirror settings are not applied.
  TPoint ShownImagePixel(const TPoint& P) const;
  TRect SelectionBoxRect() const;
  int32_t FrameWidth();
  long double EffectiveZoom() const { return FEffectiveZoom; }
  // The automatic size the picture asks for (fires OnNewAutoSize).
  TSize ComputeAutoSize();
  void RealizeParentPalette();
  // A mirrored copy of Graphic (new, same format and palette).
  static std::unique_ptr<TPixelGraphic> MirrorCopy(TPixelGraphic* Graphic, bool Horizontal, bool Vertical);

  // ---- selection ----
  void SetSelectionBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight);
  // The eight 8 by 8 ants patterns (made on first use).
  TBitmap* AntsBitmap(int32_t K) const { return FAntsBitmaps[K].get(); }
  uint8_t AntsPhase() const { return FAntsPhase; }
  TPGDragState DragState() const { return FDragState; }
  TTimer* AutoScrollTimerObject() const { return FAutoScrollTimer; }
  void UpdateAntsBrushes();
  void DrawSelectionFrame(TObject* Sender);

  // ---- display conversion ----
  bool StartDisplayConversion();
  TPixelGraphic* DisplayCopy() const { return FDisplayCopy.get(); }
  TCreatePaintPGThread* PaintThread() const { return FPaintThread.get(); }
  int32_t ProgressStage() const { return FProgressStage; }
  int32_t ProgressPercent() const { return FProgressPercent; }
  void DrawProgressClocks();
  virtual void Paint();

  // ---- properties ----
  bool AutoScroll() const { return FAutoScroll; }
  void SetAutoScroll(bool Value);
  TPGImageScrollBar* HorzScrollBar() const { return FHorzScrollBar.get(); }
  TPGImageScrollBar* VertScrollBar() const { return FVertScrollBar.get(); }
  void SetHorzScrollBar(TPGImageScrollBar* Value) { FHorzScrollBar->Assign(Value); }
  void SetVertScrollBar(TPGImageScrollBar* Value) { FVertScrollBar->Assign(Value); }
  TActionMode ActionMode() const { return FActionMode; }
  void SetActionMode(TActionMode Value);
  bool Allow24BitStretch() const { return FAllow24BitStretch; }
  void SetAllow24BitStretch(bool Value);
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);
  int32_t AutoSizeMaxHeight() const { return FAutoSizeMaxHeight; }
  void SetAutoSizeMaxHeight(int32_t Value);
  int32_t AutoSizeMaxWidth() const { return FAutoSizeMaxWidth; }
  void SetAutoSizeMaxWidth(int32_t Value);
  int32_t AutoSizeMinHeight() const { return FAutoSizeMinHeight; }
  void SetAutoSizeMinHeight(int32_t Value);
  int32_t AutoSizeMinWidth() const { return FAutoSizeMinWidth; }
  void SetAutoSizeMinWidth(int32_t Value);
  TColor BackGroundColor() const { return FBackGroundColor; }
  void SetBackGroundColor(TColor Value) { FBackGroundColor = Value; }
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle Value);
  bool Center() const { return FCenter; }
  void SetCenter(bool Value);
  bool Dither() const { return FDither; }
  void SetDither(bool Value);
  uint8_t DitherErrorLimit() const { return FDitherErrorLimit; }
  void SetDitherErrorLimit(uint8_t Value);
  bool DitherErrorLimitAuto() const { return FDitherErrorLimitAuto; }
  void SetDitherErrorLimitAuto(bool Value);
  bool DitherErrorLimitSoft() const { return FDitherErrorLimitSoft; }
  void SetDitherErrorLimitSoft(bool Value);
  bool FlipHorizontal() const { return FFlipHorizontal; }
  void SetFlipHorizontal(bool Value);
  bool FlipVertical() const { return FFlipVertical; }
  void SetFlipVertical(bool Value);
  bool KeepOldPaintPixelGraphic() const { return FKeepOldPaintPixelGraphic; }
  void SetKeepOldPaintPixelGraphic(bool Value) { FKeepOldPaintPixelGraphic = Value; }
  TPalette8BitSys24BitGraphic Palette8BitSys24BitGraphic() const { return FPalette8BitSys24BitGraphic; }
  void SetPalette8BitSys24BitGraphic(TPalette8BitSys24BitGraphic Value);
  TPalette8BitSys8BitGraphic Palette8BitSys8BitGraphic() const { return FPalette8BitSys8BitGraphic; }
  void SetPalette8BitSys8BitGraphic(TPalette8BitSys8BitGraphic Value);
  TColor PicBoxColor() const { return FPicBox->Color(); }
  void SetPicBoxColor(TColor Value) { FPicBox->SetColor(Value); }
  TCursor PicBoxCursor() const { return FPicBox->Cursor(); }
  void SetPicBoxCursor(TCursor Value) { FPicBox->SetCursor(Value); }
  TCursor PicBoxDragCursor() const { return FPicBox->DragCursor(); }
  void SetPicBoxDragCursor(TCursor Value) { FPicBox->SetDragCursor(Value); }
  TDragMode PicBoxDragMode() const { return FPicBox->DragMode(); }
  void SetPicBoxDragMode(TDragMode Value) { FPicBox->SetDragMode(Value); }
  const std::string& PicBoxHint() const { return FPicBox->Hint(); }
  void SetPicBoxHint(const std::string& Value) { FPicBox->SetHint(Value); }
  bool PicBoxParentColor() const { return FPicBox->ParentColor(); }
  void SetPicBoxParentColor(bool Value) { FPicBox->SetParentColor(Value); }
  bool PicBoxParentShowHint() const { return FPicBox->ParentShowHint(); }
  void SetPicBoxParentShowHint(bool Value) { FPicBox->SetParentShowHint(Value); }
  TPopupMenu* PicBoxPopupMenu() const { return FPicBox->PopupMenu(); }
  void SetPicBoxPopupMenu(TPopupMenu* Value) { FPicBox->SetPopupMenu(Value); }
  bool PicBoxShowHint() const { return FPicBox->ShowHint(); }
  void SetPicBoxShowHint(bool Value) { FPicBox->SetShowHint(Value); }
  int32_t PicBoxTag() const { return FPicBox->Tag(); }
  void SetPicBoxTag(int32_t Value) { FPicBox->SetTag(Value); }
  TColor PicBoxFrameColor() const { return FPicBoxFrameColor; }
  void SetPicBoxFrameColor(TColor Value) { FPicBoxFrameColor = Value; }
  bool Progress5Clocks() const { return FProgress5Clocks; }
  void SetProgress5Clocks(bool Value) { FProgress5Clocks = Value; }
  TColor ProgressClockBkColor() const { return FProgressClockBkColor; }
  void SetProgressClockBkColor(TColor Value) { FProgressClockBkColor = Value; }
  TColor ProgressClockLineColor() const { return FProgressClockLineColor; }
  void SetProgressClockLineColor(TColor Value) { FProgressClockLineColor = Value; }
  bool ProgressClockVisible() const { return FProgressClockVisible; }
  void SetProgressClockVisible(bool Value) { FProgressClockVisible = Value; }
  bool RGBWeighting() const { return FRGBWeighting; }
  void SetRGBWeighting(bool Value);
  bool RearrangeAlways() const { return FRearrangeAlways; }
  void SetRearrangeAlways(bool Value) { FRearrangeAlways = Value; }
  bool ReduceOnLoad() const { return FReduceOnLoad; }
  void SetReduceOnLoad(bool Value) { FReduceOnLoad = Value; }
  bool Selection() const { return FSelection; }
  void SetSelection(bool Value);
  TColor SelectionColor1() const { return FSelectionColor1; }
  void SetSelectionColor1(TColor Value);
  TColor SelectionColor2() const { return FSelectionColor2; }
  void SetSelectionColor2(TColor Value);
  int32_t SelectionLeft() const { return FSelectionLeft; }
  void SetSelectionLeft(int32_t Value) { SetSelectionBounds(Value, FSelectionTop, FSelectionWidth, FSelectionHeight); }
  int32_t SelectionTop() const { return FSelectionTop; }
  void SetSelectionTop(int32_t Value) { SetSelectionBounds(FSelectionLeft, Value, FSelectionWidth, FSelectionHeight); }
  int32_t SelectionWidth() const { return FSelectionWidth; }
  void SetSelectionWidth(int32_t Value) { SetSelectionBounds(FSelectionLeft, FSelectionTop, Value, FSelectionHeight); }
  int32_t SelectionHeight() const { return FSelectionHeight; }
  void SetSelectionHeight(int32_t Value) { SetSelectionBounds(FSelectionLeft, FSelectionTop, FSelectionWidth, Value); }
  bool ShowHourGlass() const { return FShowHourGlass; }
  void SetShowHourGlass(bool Value) { FShowHourGlass = Value; }
  TStretch Stretch() const { return FStretch; }
  void SetStretch(TStretch Value);
  TStretchMode StretchMode() const { return FStretchMode; }
  void SetStretchMode(TStretchMode Value);
  TTiling Tiling() const { return FTiling; }
  void SetTiling(TTiling Value);
  bool UseThread() const { return FUseThread; }
  void SetUseThread(bool Value);
  TPGWarningAction ReadWarningAction() const { return FReadWarningAction; }
  void SetReadWarningAction(TPGWarningAction Value) { FReadWarningAction = Value; }
  TPGWarningAction SaveColorResWarningAction() const { return FSaveColorResWarningAction; }
  void SetSaveColorResWarningAction(TPGWarningAction Value) { FSaveColorResWarningAction = Value; }
  long double ZoomFactor() const { return FZoomFactor; }
  void SetZoomFactor(long double Value);
  const std::string& FileName() const { return FFileName; }
  void SetFileName(const std::string& Value);
  int32_t ImageWidth() const { return FImageWidth; }

  void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;
  void Invalidate() override;
  void AlignControls(TControl* AControl, TRect& Rect) override;
  HPALETTE GetPalette() override;
  void WndProc(TMessage& Message) override;

  // ---- events ----
  TPGINewAutoSizeEvent OnNewAutoSize;
  TNotifyEvent OnPaint;
  TNotifyEvent OnPainting;
  TNotifyEvent OnPixelGraphicChange;
  TPGProgressEvent OnPixelGraphicProgress;
  TNotifyEvent OnPixelGraphicProgressEnd;
  TNotifyEvent OnPixelGraphicProgressStart;
  TNotifyEvent OnSelectionChange;
  TNotifyEvent OnSelectionMade;
  TPGSetCursorEvent OnSetCursor;
  TNotifyEvent OnZoomFactorChange;
  TPGSetCursorEvent PicBoxOnSetCursor;
  // The picture box's own events, kept in the box (they run after the viewer's handling).
  TMouseEvent& PicBoxOnMouseDown() { return FPicBox->OnMouseDown; }
  TMouseMoveEvent& PicBoxOnMouseMove() { return FPicBox->OnMouseMove; }
  TMouseEvent& PicBoxOnMouseUp() { return FPicBox->OnMouseUp; }
  TNotifyEvent& PicBoxOnPaint() { return FPicBox->OnPaint; }
  TNotifyEvent& PicBoxOnClick() { return FPicBox->OnClick; }
  TNotifyEvent& PicBoxOnDblClick() { return FPicBox->OnDblClick; }
  TDragDropEvent& PicBoxOnDragDrop() { return FPicBox->OnDragDrop; }
  TDragOverEvent& PicBoxOnDragOver() { return FPicBox->OnDragOver; }
  TEndDragEvent& PicBoxOnEndDrag() { return FPicBox->OnEndDrag; }
  TStartDragEvent& PicBoxOnStartDrag() { return FPicBox->OnStartDrag; }

  // ---- mouse hooks of the picture box ----
  void PicBoxMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);
  void PicBoxMouseMove(TObject* Sender, TShiftState Shift, int32_t X, int32_t Y);
  void PicBoxMouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);
  void AntsTimer(TObject* Sender);
  void AutoScrollTimer(TObject* Sender);

protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  void PaintWindow(HDC DC) override;
  void ChangeScale(int32_t M, int32_t D) override;
  // The focused viewer scrolls by the arrow keys, Page Up/Down, Home and End.
  void KeyDown(uint16_t& Key, TShiftState Shift) override;

private:
  friend class TPGImageScrollBar;
  friend class THorzPGImageScrollBar;
  friend class TVertPGImageScrollBar;
  void StopPaintThread();
  void ReleaseDisplayCopy();
  void AttachPicture(TPixelGraphic* Graphic, bool WithChange);
  void DisplayCopyReady(TPixelGraphic* Copy);
  void SetUpDisplayConversion(TCreatePaintPGThread* Thread);
  // Ends a drag of the picture box (released, or the capture lost).
  void EndDrag();
  void TakeThreadResult(uint32_t Serial, bool Failed);
  void ProgressReport(int32_t Stage, int32_t Percent);
  void SetSelectionFromAnchor(int32_t X, int32_t Y);
  void InvalidateSelectionStripes();
  void ChooseCursor(TMessage& Message);
  int32_t HandleAt(const TPoint& P) const;
  void PaintTiles(TCanvas* C, TPixelGraphic* G, const TRect& Box);

  TActionMode FActionMode = amMoveImage;
  int32_t FWheelRest = 0;  // a part of a wheel notch not scrolled yet
  TPoint FDragStart{0, 0};
  TPoint FDragOffset{0, 0};
  bool FAllow24BitStretch = false;
  bool FAutoScroll = true;
  bool FAutoSize = false;
  int32_t FAutoSizeMaxHeight = 2147483647, FAutoSizeMinHeight = 0;
  int32_t FAutoSizeMaxWidth = 2147483647, FAutoSizeMinWidth = 0;
  TColor FBackGroundColor = 0;
  TBorderStyle FBorderStyle = bsSingle;
  std::unique_ptr<TControlCanvas> FCanvas;
  bool FCenter = false;
  std::unique_ptr<TCreatePaintPGThread> FPaintThread;
  uint32_t FPaintSerial = 0;
  TPGDragState FDragState = dsNone;
  bool FDither = true;
  uint8_t FDitherErrorLimit = 32;
  bool FDitherErrorLimitAuto = true, FDitherErrorLimitSoft = true;
  std::string FFileName;
  bool FFlipHorizontal = false, FFlipVertical = false;
  int32_t FImageHeight = 0, FImageWidth = 0;
  std::unique_ptr<THorzPGImageScrollBar> FHorzScrollBar;
  bool FKeepOldPaintPixelGraphic = false;
  bool FInLayout = false;
  std::unique_ptr<TPixelGraphic> FDisplayCopy;
  bool FRebuildDisplayCopy = true;
  bool FDisplayFailed = false;  // the last conversion failed: paint the picture as it is
  int32_t FDisplayHeight = 0, FDisplayWidth = 0;
  TPalette8BitSys24BitGraphic FPalette8BitSys24BitGraphic = pOptimized252Sys16;
  TPalette8BitSys8BitGraphic FPalette8BitSys8BitGraphic = pOptimized252Sys16;
  TPicBox* FPicBox = nullptr;
  TColor FPicBoxFrameColor = clBtnShadow;
  std::unique_ptr<TPixelGraphic> FPicture;
  bool FProgress5Clocks = true;
  TColor FProgressClockBkColor = clBtnFace, FProgressClockLineColor = clBtnShadow;
  bool FProgressClockVisible = true;
  int32_t FProgressStage = 1, FProgressPercent = 0;
  bool FRGBWeighting = true;
  TPGWarningAction FReadWarningAction = pgwaOKCancelBox;
  bool FRearrangeAlways = false, FReduceOnLoad = false;
  std::unique_ptr<TBrush> FAntsBrushes[8];
  std::unique_ptr<TBitmap> FAntsBitmaps[8];
  bool FSelection = false;
  uint8_t FAntsPhase = 0;
  TColor FSelectionColor1 = clWhite, FSelectionColor2 = clRed;
  int32_t FSelectionHeight = 1, FSelectionLeft = 0, FSelectionTop = 0, FSelectionWidth = 1;
  TPoint FSelectionAnchor{0, 0};
  TTimer* FAntsTimer = nullptr;
  TTimer* FAutoScrollTimer = nullptr;
  bool FShowHourGlass = true;
  TStretch FStretch = sNeverKAR;
  TStretchMode FStretchMode = smFast;
  bool FUseThread = true;
  TTiling FTiling = tNone;
  TPGWarningAction FSaveColorResWarningAction = pgwaOKCancelBox;
  long double FZoomFactor = 1.0L;
  bool FUpdatingScrollBars = false;
  long double FEffectiveZoom = 1.0L;
  std::unique_ptr<TVertPGImageScrollBar> FVertScrollBar;
};
