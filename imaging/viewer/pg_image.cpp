// TPGImage: creation and destruction, handing pictures in and out, loading
// and saving, the properties and the window messages.
#include "imaging/viewer/pg_image.h"

#include "imaging/core/exceptions.h"
#include "imaging/core/messages.h"
#include "imaging/viewer/pg_styled_controls.h"
#include "platform/base/numeric.h"
#include "platform/ui/forms.h"

// ---------------------------------------------------------------------------
// TPicBox

TPicBox::TPicBox(TComponent* AOwner) : TGraphicControl(AOwner) {
  FControlStyle |= csReplicatable;
  SetBounds(0, 0, 0, 0);
}

void TPicBox::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  if (MouseDownHook) MouseDownHook(this, Button, Shift, X, Y);
  TGraphicControl::MouseDown(Button, Shift, X, Y);
}

void TPicBox::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  if (MouseMoveHook) MouseMoveHook(this, Shift, X, Y);
  TGraphicControl::MouseMove(Shift, X, Y);
}

void TPicBox::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  if (MouseUpHook) MouseUpHook(this, Button, Shift, X, Y);
  TGraphicControl::MouseUp(Button, Shift, X, Y);
}

void TPicBox::Paint() {
  if (PaintHook) PaintHook(this);
  if (OnPaint) OnPaint(this);
}

// ---------------------------------------------------------------------------
// TPGImage

TPGImage::TPGImage(TComponent* AOwner) : TWinControl(AOwner) {
  FControlStyle = csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
  FHorzScrollBar = std::make_unique<THorzPGImageScrollBar>(this);
  FVertScrollBar = std::make_unique<TVertPGImageScrollBar>(this);
  FPicBox = new TPicBox(this);
  FPicBox->SetParent(this);
  FPicBox->MouseDownHook = [this](TObject* S, TMouseButton B, TShiftState Sh, int32_t X, int32_t Y) {
    PicBoxMouseDown(S, B, Sh, X, Y);
  };
  FPicBox->MouseMoveHook = [this](TObject* S, TShiftState Sh, int32_t X, int32_t Y) { PicBoxMouseMove(S, Sh, X, Y); };
  FPicBox->MouseUpHook = [this](TObject* S, TMouseButton B, TShiftState Sh, int32_t X, int32_t Y) {
    PicBoxMouseUp(S, B, Sh, X, Y);
  };
  FPicBox->PaintHook = [this](TObject* S) { DrawSelectionFrame(S); };
  FCanvas = std::make_unique<TControlCanvas>();
  FCanvas->SetControl(this);
  TWinControl::SetBounds(FLeft, FTop, 100, 100);
  // A finished placeholder, so that waiting for the paint thread always returns.
  FPaintThread = std::make_unique<TCreatePaintPGThread>(false, true);
  FPaintThread->AfterConstruction();
}

TPGImage::~TPGImage() {
  StopPaintThread();
  FPaintThread.reset();
  FPicture.reset();
  FDisplayCopy.reset();
  delete FAntsTimer;
  FAntsTimer = nullptr;
  delete FAutoScrollTimer;
  FAutoScrollTimer = nullptr;
  FCanvas.reset();
}

void TPGImage::StopPaintThread() {
  FPaintThread->Terminate();
  FPaintThread->WaitFor();
}

void TPGImage::ReleaseDisplayCopy() {
  if (FKeepOldPaintPixelGraphic && FUseThread) FRebuildDisplayCopy = true;
  else FDisplayCopy.reset();
}

void TPGImage::AttachPicture(TPixelGraphic* Graphic, bool WithChange) {
  Graphic->OnChange = WithChange ? TNotifyEvent([this](TObject*) { PictureChanged(); }) : TNotifyEvent();
  Graphic->OnProgressStart = [this](TObject* Sender) {
    if (OnPixelGraphicProgressStart) OnPixelGraphicProgressStart(Sender);
  };
  Graphic->OnProgress = [this](TObject* Sender, int32_t Step, int32_t Max, bool& Abort) {
    if (OnPixelGraphicProgress) OnPixelGraphicProgress(Sender, Step, Max, Abort);
  };
  Graphic->OnProgressEnd = [this](TObject* Sender) {
    if (OnPixelGraphicProgressEnd) OnPixelGraphicProgressEnd(Sender);
  };
}

TPixelGraphic* TPGImage::GetPixelGraphic() {
  StopPaintThread();
  return FPicture.get();
}

void TPGImage::TakePixelGraphic(TPixelGraphic* Graphic) {
  std::unique_ptr<TPixelGraphic> taken(Graphic);
  StopPaintThread();
  FPicture.reset();
  ReleaseDisplayCopy();
  if (taken) {
    AttachPicture(taken.get(), true);
    FPicture = std::move(taken);
  }
  PictureChanged();
}

void TPGImage::AssignPixelGraphic(TPixelGraphic* Graphic) {
  std::unique_ptr<TPixelGraphic> copy;
  if (Graphic) {
    copy = std::make_unique<TPixelGraphic>();
    copy->Assign(Graphic);
  }
  TakePixelGraphic(copy.release());
}

std::unique_ptr<TPixelGraphic> TPGImage::CopyPixelGraphic() {
  StopPaintThread();
  if (!FPicture) return nullptr;
  auto copy = std::make_unique<TPixelGraphic>();
  copy->Assign(FPicture.get());
  return copy;
}

void TPGImage::PictureChanged() {
  StopPaintThread();
  FImageWidth = FPicture ? FPicture->GetWidth() : 0;
  FImageHeight = FPicture ? FPicture->GetHeight() : 0;
  TSize size = ComputeAutoSize();
  FRebuildDisplayCopy = true;
  if (FAutoSize && (size.cx != FWidth || size.cy != FHeight)) SetBounds(FLeft, FTop, size.cx, size.cy);
  else UpdateLayout(false);
  // The selection keeps its bounds in image pixels; its frame moves with the box.
  InvalidateSelectionStripes();
  if (OnPixelGraphicChange) OnPixelGraphicChange(this);
}

void TPGImage::LoadFromFile(const std::string& FileName, int32_t Index) {
  TCursor saved = Screen->Cursor();
  if (FShowHourGlass) Screen->SetCursor(crHourGlass);
  try {
    size_t slash = FileName.find_last_of('/');
    std::string name = slash == std::string::npos ? FileName : FileName.substr(slash + 1);
    std::unique_ptr<TPixelGraphic> g;
    if (!name.empty()) {
      g = std::make_unique<TPixelGraphic>();
      g->SetReadWarningAction(FReadWarningAction);
      g->SetTransparentColor(FBackGroundColor);
      AttachPicture(g.get(), false);
      g->LoadImageFromFile(FileName, Index);
    }
    // The picture shown goes only once the new one has loaded: a file that
    // fails to load, or whose warning is answered with Cancel, leaves the
    // viewer (and any unsaved change to its picture) as it was.
    StopPaintThread();
    FPicture.reset();
    ReleaseDisplayCopy();
    if (g) {
      AttachPicture(g.get(), true);
      FPicture = std::move(g);
    }
    FFileName = FileName;
  } catch (...) {
    if (FShowHourGlass) Screen->SetCursor(saved);
    throw;
  }
  if (FShowHourGlass) Screen->SetCursor(saved);
  PictureChanged();
}

void TPGImage::SaveToFile(const std::string& FileName) {
  if (!FPicture) throw EPGEmpty(PGMessage(16, "PixelGraphic"));
  StopPaintThread();
  FPicture->SetSaveColorResWarningAction(FSaveColorResWarningAction);
  FPicture->SaveToFile(FileName);
  FFileName = FileName;
}

void TPGImage::SetFileName(const std::string& Value) {
  FFileName = Value;
  LoadFromFile(Value);
}

// ---------------------------------------------------------------------------
// Properties

void TPGImage::SetAutoScroll(bool Value) {
  if (Value == FAutoScroll) return;
  FAutoScroll = Value;
  if (!Value) {
    FHorzScrollBar->SetRangeInternal(0);
    FVertScrollBar->SetRangeInternal(0);
    UpdateScrollBars();
  } else {
    UpdateScrollRanges();
  }
}

void TPGImage::SetActionMode(TActionMode Value) {
  FActionMode = Value;
  Invalidate();
}

void TPGImage::SetAllow24BitStretch(bool Value) {
  FAllow24BitStretch = Value;
  PictureChanged();
}

void TPGImage::SetAutoSize(bool Value) {
  FAutoSize = Value;
  PictureChanged();
}

void TPGImage::SetAutoSizeMaxHeight(int32_t Value) {
  if (Value == FAutoSizeMaxHeight) return;
  FAutoSizeMaxHeight = Value;
  if (FAutoSize) PictureChanged();
}

void TPGImage::SetAutoSizeMaxWidth(int32_t Value) {
  if (Value == FAutoSizeMaxWidth) return;
  FAutoSizeMaxWidth = Value;
  if (FAutoSize) PictureChanged();
}

void TPGImage::SetAutoSizeMinHeight(int32_t Value) {
  if (Value == FAutoSizeMinHeight) return;
  FAutoSizeMinHeight = Value;
  if (FAutoSize) PictureChanged();
}

void TPGImage::SetAutoSizeMinWidth(int32_t Value) {
  if (Value == FAutoSizeMinWidth) return;
  FAutoSizeMinWidth = Value;
  if (FAutoSize) PictureChanged();
}

void TPGImage::SetBorderStyle(TBorderStyle Value) {
  if (Value == FBorderStyle) return;
  FBorderStyle = Value;
  if (HandleAllocated()) RecreateWnd();
}

void TPGImage::SetCenter(bool Value) {
  if (Value == FCenter) return;
  FCenter = Value;
  UpdateLayout(true);
}

void TPGImage::SetDither(bool Value) {
  if (Value == FDither) return;
  FDither = Value;
  PictureChanged();
}

void TPGImage::SetDitherErrorLimit(uint8_t Value) {
  if (Value == FDitherErrorLimit) return;
  FDitherErrorLimit = Value;
  if (FDither) PictureChanged();
}

void TPGImage::SetDitherErrorLimitAuto(bool Value) {
  if (Value == FDitherErrorLimitAuto) return;
  FDitherErrorLimitAuto = Value;
  if (FDither) PictureChanged();
}

void TPGImage::SetDitherErrorLimitSoft(bool Value) {
  if (Value == FDitherErrorLimitSoft) return;
  FDitherErrorLimitSoft = Value;
  if (FDither) PictureChanged();
}

void TPGImage::SetFlipHorizontal(bool Value) {
  if (Value == FFlipHorizontal) return;
  FFlipHorizontal = Value;
  Invalidate();
}

void TPGImage::SetFlipVertical(bool Value) {
  if (Value == FFlipVertical) return;
  FFlipVertical = Value;
  Invalidate();
}

void TPGImage::SetPalette8BitSys24BitGraphic(TPalette8BitSys24BitGraphic Value) {
  if (Value < pBlackWhite || Value > pOptimized252Sys16) throw EPixelGraphic("Palette8BitSys24BitGraphic out of range");
  if (Value == FPalette8BitSys24BitGraphic) return;
  FPalette8BitSys24BitGraphic = Value;
  PictureChanged();
}

void TPGImage::SetPalette8BitSys8BitGraphic(TPalette8BitSys8BitGraphic Value) {
  if (Value < pBlackWhite || Value > pSource) throw EPixelGraphic("Palette8BitSys8BitGraphic out of range");
  if (Value == FPalette8BitSys8BitGraphic) return;
  FPalette8BitSys8BitGraphic = Value;
  PictureChanged();
}

void TPGImage::SetRGBWeighting(bool Value) {
  if (Value == FRGBWeighting) return;
  FRGBWeighting = Value;
  PictureChanged();
}

void TPGImage::SetStretch(TStretch Value) {
  if (Value == FStretch) return;
  FStretch = Value;
  UpdateLayout(true);
}

void TPGImage::SetStretchMode(TStretchMode Value) {
  if (Value == FStretchMode) return;
  FStretchMode = Value;
  PictureChanged();
}

void TPGImage::SetTiling(TTiling Value) {
  if (Value == FTiling) return;
  FTiling = Value;
  Invalidate();
}

void TPGImage::SetUseThread(bool Value) {
  if (Value == FUseThread) return;
  StopPaintThread();
  FRebuildDisplayCopy = true;
  FUseThread = Value;
  Invalidate();
}

void TPGImage::SetZoomFactor(long double Value) {
  if (Value == FZoomFactor) return;
  FZoomFactor = Value;
  UpdateLayout(true);
}

// ---------------------------------------------------------------------------
// Window

int32_t TPGImage::FrameWidth() {
  if (FBorderStyle != bsSingle) return 0;
  return (Ctl3D() && NewStyleControls) ? 2 : 1;
}

void TPGImage::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
  if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight) return;
  FPicBox->SetBounds(0, 0, 0, 0);
  TWinControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  UpdateLayout(true);
}

void TPGImage::Invalidate() {
  TWinControl::Invalidate();
  for (int32_t i = 0; i < ControlCount(); ++i)
    if (IsTransparentPGControl(Controls(i))) Controls(i)->Invalidate();
}

void TPGImage::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  if (FBorderStyle == bsSingle) Params.Style |= WS_BORDER;
  Params.WindowClassStyle |= CS_HREDRAW | CS_VREDRAW;
  if (NewStyleControls && Ctl3D() && FBorderStyle == bsSingle) {
    Params.Style &= ~static_cast<uint32_t>(WS_BORDER);
    Params.ExStyle |= WS_EX_CLIENTEDGE;
  }
}

void TPGImage::CreateWnd() {
  TWinControl::CreateWnd();
  UpdateScrollBars();
}

void TPGImage::AlignControls(TControl* AControl, TRect& Rect) {
  UpdateScrollRanges();
  int32_t h = FHorzScrollBar->Position(), v = FVertScrollBar->Position();
  TRect r{-h, -v, std::max(FHorzScrollBar->Range(), ClientWidth()) - h,
          std::max(FVertScrollBar->Range(), ClientHeight()) - v};
  (void)Rect;
  TWinControl::AlignControls(AControl, r);
}

void TPGImage::ChangeScale(int32_t M, int32_t D) {
  if (M != D) {
    if (!(ComponentState() & csLoading)) {
      FHorzScrollBar->SetRangeSetByUser(true);
      FVertScrollBar->SetRangeSetByUser(true);
    }
    FHorzScrollBar->SetPosition(0);
    FVertScrollBar->SetPosition(0);
    if (!FAutoScroll) {
      if (FHorzScrollBar->RangeSetByUser()) FHorzScrollBar->SetRangeInternal(MulDiv(FHorzScrollBar->Range(), M, D));
      if (FVertScrollBar->RangeSetByUser()) FVertScrollBar->SetRangeInternal(MulDiv(FVertScrollBar->Range(), M, D));
    }
    FHorzScrollBar->SetRangeSetByUser(false);
    FVertScrollBar->SetRangeSetByUser(false);
  }
  TWinControl::ChangeScale(M, D);
}

HPALETTE TPGImage::GetPalette() {
  TPixelGraphic* g = StartDisplayConversion() ? FDisplayCopy.get() : FPicture.get();
  if (!g) return nullptr;
  TPaletteIdent id = g->PaletteIdent();
  if (id == pBlackWhite || id == pSysGray4 || id == pSys16) return nullptr;
  return g->GetPalette();
}

void TPGImage::PaintWindow(HDC DC) {
  FCanvas->PaintOn(DC, [this] { Paint(); });
}

void TPGImage::KeyDown(uint16_t& Key, TShiftState Shift) {
  TWinControl::KeyDown(Key, Shift);
  ScrollByKey(FHandle, Key, Shift);
}

void TPGImage::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_SIZE:
      TWinControl::WndProc(Message);
      UpdateScrollBars();
      if (!(ComponentState() & csLoading) && OnResize) OnResize(this);
      UpdateScrollRanges();
      return;
    case WM_ERASEBKGND:
      Message.Result = 1;
      return;
    case WM_SETCURSOR:
      ChooseCursor(Message);
      return;
    case WM_NCHITTEST:
      Message.Result = DefWindowProc(FHandle, Message.Msg, Message.WParam, Message.LParam);
      return;
    case WM_HSCROLL:
    case WM_VSCROLL:
      if (Message.LParam == 0) {
        TPGImageScrollBar* bar = Message.Msg == WM_HSCROLL ? static_cast<TPGImageScrollBar*>(FHorzScrollBar.get())
                                                           : FVertScrollBar.get();
        bar->ScrollMessage(LoWord(Message.WParam), ScrollPos(Message.WParam));
        return;
      }
      break;
    case WM_MOUSEWHEEL:
      // The wheel over the viewer scrolls it (Shift: sideways).
      ScrollByWheel(FHandle, Message.WParam, FWheelRest);
      return;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      // A press focuses the viewer, so that the keys scroll it.
      if (CanFocus() && !Focused()) SetFocus();
      break;
    case WM_DISPLAYCHANGE:
      FRebuildDisplayCopy = true;
      Invalidate();
      return;
    case WM_CAPTURECHANGED:
      TWinControl::WndProc(Message);
      // Another window took the mouse: a drag ends where it is, as on a release.
      if (reinterpret_cast<HWND>(Message.LParam) != FHandle) EndDrag();
      return;
    case PGM_DISPLAYCOPYREADY:
      TakeThreadResult(static_cast<uint32_t>(Message.WParam), Message.LParam == 1);
      return;
    case PGM_PROGRESS:
      ProgressReport(static_cast<int32_t>(Message.WParam), static_cast<int32_t>(Message.LParam));
      return;
    case CM_CTL3DCHANGED:
      if (NewStyleControls && FBorderStyle == bsSingle && HandleAllocated()) RecreateWnd();
      break;
  }
  TWinControl::WndProc(Message);
}
