// The display copy: when the viewer needs one, how the paint thread makes
// it and reports, and the viewer's Paint with its progress clocks.
#include "imaging/viewer/display_thread.h"

#include <cmath>
#include <utility>
#include <numbers>

#include "imaging/core/median_cut.h"
#include "imaging/viewer/pg_image.h"
#include "platform/base/numeric.h"
#include "platform/ui/forms.h"
#include "platform/ui/message_queue.h"

TCreatePaintPGThread::TCreatePaintPGThread(bool CreateSuspended, bool NoExecute)
    : TThread(CreateSuspended), FNoExecute(NoExecute) {}

TCreatePaintPGThread::~TCreatePaintPGThread() {
  // Execute uses the members: the thread ends before they go.
  if (!Finished()) {
    Terminate();
    WaitFor();
  }
}

void TCreatePaintPGThread::Execute() {
  if (FNoExecute) return;
  try {
    Run();
  } catch (...) {
    // A failed conversion delivers no copy but says why, so the viewer
    // stops waiting for one; a stopped one says nothing.
    DisplayCopy.reset();
    OwnIntermediate.reset();
    if (!Terminated()) {
      Error = std::current_exception();
      PostMessage(Window, PGM_DISPLAYCOPYREADY, Serial, 1);
    }
  }
}

void TCreatePaintPGThread::Run() {
  Percent = 0;
  LastReport = GetTickCount();
  Stage = 1;
  if (!DisplayCopy || !Source) {
    OwnIntermediate.reset();
    return;
  }
  TPixelGraphic* inter = Source;
  try {
    if (!Terminated() && ResampleFirst && OwnIntermediate) {
      OwnIntermediate->CopyFrom(Source);
      inter = OwnIntermediate.get();
      ++Stage;
    }
    if (!Terminated() && OptimizePalette) {
      CreateOptimizedPalette(DisplayCopy.get(), inter, 252, true);
      ++Stage;
    }
    if (!Terminated()) {
      TPixelGraphic* d = DisplayCopy.get();
      if (OptimizePalette && inter->PixelFormat() == pf8Bit && inter->GetWidth() == d->GetWidth() &&
          inter->GetHeight() == d->GetHeight() && d->PixelFormat() == pf8Bit) {
        // 8-bit to 8-bit of the same size: one nearest-colour search per palette entry.
        uint8_t table[256] = {};
        bool cache = d->UseColorCache();
        d->SetUseColorCache(false);
        for (int32_t i = 0; i < inter->PaletteCount() && i < 256; ++i)
          table[i] = static_cast<uint8_t>(d->GetNearestIndex(inter->GetPaletteEntry(i)));
        d->SetUseColorCache(cache);
        int32_t h = d->GetHeight(), w = d->GetWidth();
        for (int32_t y = 0; y < h; ++y) {
          const uint8_t* src = inter->ScanLine(y);
          uint8_t* dst = d->ScanLine(y);
          for (int32_t x = 0; x < w; ++x) dst[x] = table[src[x]];
          bool abort = false;
          ProgressHook(this, y, h - 1, abort);
          if (abort) break;
        }
        d->Changed(d);
      } else {
        d->CopyFrom(inter);
      }
      ++Stage;
    }
  } catch (...) {
    OwnIntermediate.reset();
    if (Terminated() || Threaded) {
      DisplayCopy.reset();
      if (Terminated()) return;
    }
    throw;
  }
  if (Terminated()) {
    DisplayCopy.reset();
  } else if (!Threaded) {
    if (OnResult) OnResult(this, DisplayCopy.release());
  } else {
    // The copy stays with this thread object; the viewer takes it when the
    // message with this serial number arrives, or frees it with the thread.
    PostMessage(Window, PGM_DISPLAYCOPYREADY, Serial, 0);
  }
  OwnIntermediate.reset();
}

void TCreatePaintPGThread::ProgressHook(TObject* Sender, int32_t Step, int32_t Max, bool& Abort) {
  (void)Sender;
  int32_t p = Max == 0 ? 100 : static_cast<int32_t>(static_cast<int64_t>(Step) * 100 / Max);
  uint32_t now = GetTickCount();
  if (p != Percent && now / 50 != LastReport / 50) {
    Percent = p;
    LastReport = now;
    if (Threaded) PostMessage(Window, PGM_PROGRESS, static_cast<WPARAM>(Stage), static_cast<LPARAM>(p));
  }
  Abort = Terminated();
}

// ---------------------------------------------------------------------------
// The viewer's side

bool TPGImage::StartDisplayConversion() {
  if (!FRebuildDisplayCopy && FStretchMode != smFast && !FReduceOnLoad &&
      (FDisplayWidth != FPicBox->Width() || FDisplayHeight != FPicBox->Height()))
    FRebuildDisplayCopy = true;
  int32_t depth = Screen->ColorDepth();
  bool sizeDiffers =
      FStretchMode != smFast && (FPicBox->Width() != FImageWidth || FPicBox->Height() != FImageHeight);
  bool needed = false;
  if (FPicture) {
    int32_t bits = FPicture->GetBitCount();
    needed = (bits > depth && depth <= 8) || sizeDiffers;
    if (!needed && bits <= 8 && depth <= 8) {
      bool reducedAlready = FReduceOnLoad && !FRebuildDisplayCopy;
      if (depth == 4) needed = !(FPicture->PaletteIdent() == pSys16 || reducedAlready);
      else if (FPalette8BitSys8BitGraphic != pSource)
        needed = !(FPicture->PaletteIdent() == FPalette8BitSys8BitGraphic || reducedAlready);
    }
  }
  bool keepOld = FKeepOldPaintPixelGraphic && FUseThread;
  if (FDisplayCopy && ((FRebuildDisplayCopy && !keepOld) || !needed)) {
    StopPaintThread();
    FDisplayCopy.reset();
  }
  if (!needed) return false;
  // After a failed conversion the picture is painted as it is, until the
  // next change asks for a new copy.
  if (FDisplayFailed && !FRebuildDisplayCopy) return false;
  if (!FRebuildDisplayCopy && (FDisplayCopy || !FPaintThread->Terminated())) return true;
  StopPaintThread();
  FDisplayFailed = false;
  if (FDisplayCopy && !keepOld) FDisplayCopy.reset();
  FProgressStage = 1;
  FProgressPercent = 0;
  FPaintThread.reset();
  FPaintThread = std::make_unique<TCreatePaintPGThread>(true, !FUseThread);
  TCreatePaintPGThread* t = FPaintThread.get();
  t->Threaded = FUseThread;
  t->Serial = ++FPaintSerial;
  try {
    SetUpDisplayConversion(t);
  } catch (...) {
    // Making the copy failed here or, without a thread, in the conversion:
    // the picture is painted as it is and the failure is reported once,
    // outside the paint.
    FRebuildDisplayCopy = false;
    FDisplayWidth = FStretchMode != smFast ? FPicBox->Width() : FImageWidth;
    FDisplayHeight = FStretchMode != smFast ? FPicBox->Height() : FImageHeight;
    t->DisplayCopy.reset();
    t->OwnIntermediate.reset();
    t->Error = std::current_exception();
    PostMessage(Handle(), PGM_DISPLAYCOPYREADY, t->Serial, 1);
    FDisplayFailed = true;
    return false;
  }
  return true;
}

void TPGImage::SetUpDisplayConversion(TCreatePaintPGThread* t) {
  int32_t depth = Screen->ColorDepth();
  bool sizeDiffers =
      FStretchMode != smFast && (FPicBox->Width() != FImageWidth || FPicBox->Height() != FImageHeight);
  if (!FUseThread) t->OnResult = [this](TObject*, TPixelGraphic* Copy) { DisplayCopyReady(Copy); };
  t->Window = Handle();
  t->Source = FPicture.get();
  auto hook = [t](TObject* S, int32_t Step, int32_t Max, bool& Abort) { t->ProgressHook(S, Step, Max, Abort); };
  if (FAllow24BitStretch && sizeDiffers && depth == 8 && FPalette8BitSys24BitGraphic == pOptimized252Sys16) {
    t->OwnIntermediate = std::make_unique<TPixelGraphic>();
    t->OwnIntermediate->NewImage(FPicBox->Width(), FPicBox->Height(), pf24Bit);
    t->OwnIntermediate->SetStretchMode(FStretchMode);
    t->OwnIntermediate->OnProgress = hook;
    t->ResampleFirst = true;
  }
  TPixelGraphic* inter = t->OwnIntermediate ? t->OwnIntermediate.get() : FPicture.get();
  auto d = std::make_unique<TPixelGraphic>();
  d->OnProgress = hook;
  int32_t w = FStretchMode != smFast ? FPicBox->Width() : FImageWidth;
  int32_t h = FStretchMode != smFast ? FPicBox->Height() : FImageHeight;
  if (depth < 8) {
    d->NewImage(w, h, pf4Bit);
    d->SetPaletteIdent(pSys16);
  } else if (depth == 8) {
    d->NewImage(w, h, pf8Bit);
    if (inter->PixelFormat() == pf24Bit) {
      if (FPalette8BitSys24BitGraphic == pOptimized252Sys16) t->OptimizePalette = true;
      else d->SetPaletteIdent(FPalette8BitSys24BitGraphic);
    } else if (FPalette8BitSys8BitGraphic < pOptimized252Sys16) {
      d->SetPaletteIdent(FPalette8BitSys8BitGraphic);
    } else if (FPalette8BitSys8BitGraphic == pSource) {
      d->AssignPalette(inter);
    } else {
      t->OptimizePalette = true;
    }
  } else {
    d->NewImage(w, h, pf24Bit);
  }
  FDisplayWidth = w;
  FDisplayHeight = h;
  d->SetStretchMode(FStretchMode);
  d->SetDither(FDither);
  d->SetDitherErrorLimit(FDitherErrorLimit);
  d->SetDitherErrorLimitAuto(FDitherErrorLimitAuto);
  d->SetDitherErrorLimitSoft(FDitherErrorLimitSoft);
  d->SetRGBWeighting(FRGBWeighting);
  t->DisplayCopy = std::move(d);
  FRebuildDisplayCopy = false;
  if (FUseThread) t->Start();
  else t->Run();
}

void TPGImage::TakeThreadResult(uint32_t Serial, bool Failed) {
  // A copy from a conversion that was replaced since went with its thread.
  if (Serial != FPaintThread->Serial) return;
  FPaintThread->WaitFor();
  if (Failed) {
    FDisplayFailed = true;
    Invalidate();
    if (std::exception_ptr error = std::exchange(FPaintThread->Error, nullptr)) std::rethrow_exception(error);
    return;
  }
  if (!FPaintThread->DisplayCopy) return;
  DisplayCopyReady(FPaintThread->DisplayCopy.release());
}

void TPGImage::DisplayCopyReady(TPixelGraphic* Copy) {
  std::unique_ptr<TPixelGraphic> copy(Copy);
  copy->OnProgress = nullptr;
  if (FReduceOnLoad) {
    FPicture.reset();
    FDisplayCopy.reset();
    AttachPicture(copy.get(), true);
    FPicture = std::move(copy);
  } else {
    FDisplayCopy = std::move(copy);
  }
  RealizeParentPalette();
  Invalidate();
}

void TPGImage::ProgressReport(int32_t Stage, int32_t Percent) {
  FProgressStage = Stage;
  FProgressPercent = Percent;
  DrawProgressClocks();
}

void TPGImage::DrawProgressClocks() {
  if (!FProgressClockVisible) return;
  long double pi = std::numbers::pi_v<long double>;
  long double longAngle = pi * FProgressPercent / 50;
  long double shortAngle = (pi * (FProgressStage - 1) * 2 + longAngle) / 12;
  TRect b = FPicBox->BoundsRect();
  TCanvas* c = FCanvas.get();
  auto clock = [&](int32_t x, int32_t y) {
    c->Pen()->SetStyle(psSolid);
    c->Pen()->SetColor(FProgressClockLineColor);
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(FProgressClockBkColor);
    c->Ellipse(x, y, x + 15, y + 15);
    auto hand = [&](long double angle, int32_t length) {
      c->MoveTo(x + 7, y + 7);
      c->LineTo(x + 7 + static_cast<int32_t>(Round(std::sin(angle) * length)),
                y + 7 - static_cast<int32_t>(Round(std::cos(angle) * length)));
    };
    hand(shortAngle, 6);
    hand(longAngle, 7);
  };
  int32_t bw = b.Right - b.Left, bh = b.Bottom - b.Top;
  if (bw > 20 && bh > 20) clock(b.Left + bw / 2 - 7, b.Top + bh / 2 - 7);
  if (FProgress5Clocks && bw > 100 && bh > 100) {
    clock(b.Left + 5, b.Top + 5);
    clock(b.Right - 20, b.Top + 5);
    clock(b.Left + 5, b.Bottom - 20);
    clock(b.Right - 20, b.Bottom - 20);
  }
}

void TPGImage::Paint() {
  if (FInLayout) return;
  TRect box = FPicBox->BoundsRect();
  TPixelGraphic* g = StartDisplayConversion() ? FDisplayCopy.get() : FPicture.get();
  if (OnPainting) OnPainting(this);
  TCanvas* c = FCanvas.get();
  TRect client = ClientRect();
  // Without tiles to draw (no tiling, no picture, or a box of no size) the
  // client area around the box is the background.
  if (FTiling == tNone || !g || box.Width() <= 0 || box.Height() <= 0) {
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(Color());
    if (box.Top > 0) c->FillRect(TRect{0, 0, client.Right, box.Top});
    if (box.Bottom < client.Bottom) c->FillRect(TRect{0, box.Bottom, client.Right, client.Bottom});
    if (box.Left > 0) c->FillRect(TRect{0, 0, box.Left, client.Bottom});
    if (box.Right < client.Right) c->FillRect(TRect{box.Right, 0, client.Right, client.Bottom});
  }
  if (!g) {
    c->Pen()->SetStyle(psSolid);
    c->Pen()->SetColor(FPicBoxFrameColor);
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(FPicBox->Color());
    c->Rectangle(box);
    DrawProgressClocks();
  } else {
    PaintTiles(c, g, box);
  }
  if (OnPaint) OnPaint(this);
}
