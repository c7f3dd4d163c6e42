// The preview thread of the file dialogs.
#include "imaging/viewer/pg_preview_thread.h"

#include <algorithm>
#include <exception>

#include "imaging/core/median_cut.h"
#include "platform/base/files.h"
#include "platform/ui/message_queue.h"

// ---------------------------------------------------------------------------
// TPreviewMailbox

void TPreviewMailbox::Put(uint32_t Serial, std::unique_ptr<TPixelGraphic> Image) {
  std::unique_ptr<TPixelGraphic> old;
  {
    std::lock_guard<std::mutex> lock(FMutex);
    old = std::move(FImage);
    FSerial = Serial;
    FImage = std::move(Image);
  }
}

std::unique_ptr<TPixelGraphic> TPreviewMailbox::Take(uint32_t Serial, const TPixelGraphic* Expected) {
  std::lock_guard<std::mutex> lock(FMutex);
  if (!FImage || FSerial != Serial || (Expected && FImage.get() != Expected)) return nullptr;
  return std::move(FImage);
}

void TPreviewMailbox::Clear() {
  std::unique_ptr<TPixelGraphic> old;
  std::lock_guard<std::mutex> lock(FMutex);
  old = std::move(FImage);
}

bool TPreviewMailbox::Empty() const {
  std::lock_guard<std::mutex> lock(FMutex);
  return FImage == nullptr;
}

// ---------------------------------------------------------------------------
// TCreateOpenSaveDialogPaintPGThread

TCreateOpenSaveDialogPaintPGThread::TCreateOpenSaveDialogPaintPGThread(bool CreateSuspended, bool NoExecute)
    : TThread(CreateSuspended), FNoExecute(NoExecute) {}

TCreateOpenSaveDialogPaintPGThread::~TCreateOpenSaveDialogPaintPGThread() {
  // Execute uses the members of this class: stop it while they exist.
  Terminate();
  WaitFor();
}

TSize TCreateOpenSaveDialogPaintPGThread::FitToPane(int32_t Width, int32_t Height, int32_t PaneW, int32_t PaneH,
                                                    bool AtLeastOne) {
  if (Width <= PaneW && Height <= PaneH) return TSize{Width, Height};
  if (Width < 1 || Height < 1 || PaneW < 1 || PaneH < 1) return TSize{0, 0};
  const long double paneRatio = static_cast<long double>(PaneW) / PaneH;
  const long double imageRatio = static_cast<long double>(Width) / Height;
  TSize s;
  if (paneRatio >= imageRatio) {
    s.cy = PaneH;
    s.cx = static_cast<int32_t>(PaneH * imageRatio);
    if (AtLeastOne) s.cx = std::clamp(s.cx, 1, Width);
  } else {
    s.cx = PaneW;
    s.cy = static_cast<int32_t>(PaneW / imageRatio);
    if (AtLeastOne) s.cy = std::clamp(s.cy, 1, Height);
  }
  return s;
}

void TCreateOpenSaveDialogPaintPGThread::PreviewProgressHook(TObject* Sender, int32_t Step, int32_t Max,
                                                             bool& Abort) {
  (void)Sender;
  if (Max > 0) {
    const int32_t percent = static_cast<int32_t>(static_cast<int64_t>(Step) * 100 / Max);
    const int32_t sixteenth = percent / 16;
    if (percent != Percent) {
      const uint32_t now = GetTickCount();
      if (!(now / 100 == LastReport / 100 && sixteenth == Sixteenth)) {
        Percent = percent;
        Sixteenth = sixteenth;
        LastReport = now;
        PostMessage(Page, PGM_PREVIEWPROGRESS, static_cast<WPARAM>(Stage) * 16, static_cast<LPARAM>(percent));
      }
    }
  }
  Abort = Terminated();
}

std::unique_ptr<TPixelGraphic> TCreateOpenSaveDialogPaintPGThread::NextStage(int32_t Width, int32_t Height,
                                                                             uint8_t PixelFormat) {
  auto image = std::make_unique<TPixelGraphic>();
  image->OnProgress = [this](TObject* S, int32_t Step, int32_t Max, bool& Abort) {
    PreviewProgressHook(S, Step, Max, Abort);
  };
  image->SetStretchMode(StretchMode);
  image->NewImage(Width, Height, PixelFormat);
  ++Stage;
  return image;
}

std::unique_ptr<TPixelGraphic> TCreateOpenSaveDialogPaintPGThread::MakePreview() {
  if (!FileExists(FileName)) return nullptr;
  auto image = std::make_unique<TPixelGraphic>();
  image->OnProgress = [this](TObject* S, int32_t Step, int32_t Max, bool& Abort) {
    PreviewProgressHook(S, Step, Max, Abort);
  };
  image->SetReadWarningAction(pgwaIgnore);
  image->SetPreviewRead(true);
  image->SetPreviewSize(2 * PaneHeight);
  image->LoadFromFile(FileName);
  if (Terminated()) return nullptr;
  const int32_t w = image->GetWidth(), h = image->GetHeight();
  if (w < 1 || h < 1 || PaneWidth < 1 || PaneHeight < 1) return nullptr;

  // Larger than the pane: resampled to fit it.
  if (w > PaneWidth || h > PaneHeight) {
    const TSize s = FitToPane(w, h, PaneWidth, PaneHeight, true);
    auto fitted = NextStage(s.cx, s.cy, pf24Bit);
    fitted->CopyFrom(image.get());
    image = std::move(fitted);
    if (Terminated()) return nullptr;
  }

  // Reduced for a palette screen.
  if (ScreenDepth < 8) {
    auto reduced = NextStage(image->GetWidth(), image->GetHeight(), pf4Bit);
    reduced->SetPaletteIdent(pSys16);
    reduced->CopyFrom(image.get());
    image = std::move(reduced);
  } else if (ScreenDepth == 8) {
    const bool trueColor = image->PixelFormat() == pf24Bit;
    auto reduced = NextStage(image->GetWidth(), image->GetHeight(), pf8Bit);
    if ((trueColor && Palette8BitSys24BitGraphic == pOptimized252Sys16) ||
        (!trueColor && Palette8BitSys8BitGraphic == pOptimized252Sys16))
      CreateOptimizedPalette(reduced.get(), image.get(), 252, true);
    else if (trueColor)
      reduced->SetPaletteIdent(Palette8BitSys24BitGraphic);
    else if (Palette8BitSys8BitGraphic != pSource)
      reduced->SetPaletteIdent(Palette8BitSys8BitGraphic);
    else
      reduced->AssignPalette(image.get());
    if (Terminated()) return nullptr;
    reduced->CopyFrom(image.get());
    image = std::move(reduced);
  }
  if (Terminated()) return nullptr;
  return image;
}

void TCreateOpenSaveDialogPaintPGThread::Execute() {
  if (FNoExecute) return;
  Stage = 1;
  Percent = 0;
  Sixteenth = 0;
  LastReport = GetTickCount();
  std::unique_ptr<TPixelGraphic> image;
  try {
    image = MakePreview();
  } catch (const std::exception&) {
    // A file that cannot be read gives no preview; the pane stays empty.
    return;
  }
  if (!image || Terminated() || !Mailbox) return;
  TPixelGraphic* posted = image.get();
  Mailbox->Put(Serial, std::move(image));
  PostMessage(Page, PGM_PREVIEWREADY, static_cast<WPARAM>(Serial), reinterpret_cast<LPARAM>(posted));
}
