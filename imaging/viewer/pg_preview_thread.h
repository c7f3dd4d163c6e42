// The preview thread of the open and save dialogs: it reads the selected
// file into a small picture for the preview pane, reduced for the screen,
// and hands it to the dialog's page by a posted message.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "imaging/core/palette.h"
#include "imaging/core/pixel_graphic.h"
#include "platform/ui/thread.h"
#include "platform/ui/window.h"

// Messages to the dialog's page.
// WM_USER: a finished preview; WParam its serial number, LParam the picture.
constexpr uint32_t PGM_PREVIEWREADY = 0x0400;
// WM_USER+1: progress; WParam stage x 16, LParam percent.
constexpr uint32_t PGM_PREVIEWPROGRESS = 0x0401;
// WM_USER+3: the preview timer ran out; start the preview.
constexpr uint32_t PGM_STARTPREVIEW = 0x0403;

// Where a preview thread leaves its picture for the page. The posted
// message only announces it: the page takes the picture out by its serial
// number, so a message that arrives after its preview was cancelled (or
// after the page is gone) finds nothing, and the picture of a cancelled
// preview is freed here instead of being lost in the queue.
class TPreviewMailbox {
public:
  void Put(uint32_t Serial, std::unique_ptr<TPixelGraphic> Image);
  // The picture of Serial when it is the one held (and Expected, when not
  // null, is that picture); otherwise null.
  std::unique_ptr<TPixelGraphic> Take(uint32_t Serial, const TPixelGraphic* Expected);
  // Frees a picture nobody took.
  void Clear();
  bool Empty() const;

private:
  mutable std::mutex FMutex;
  uint32_t FSerial = 0;
  std::unique_ptr<TPixelGraphic> FImage;
};

class TCreateOpenSaveDialogPaintPGThread : public TThread {
public:
  // NoExecute: the body does nothing (the placeholder of an idle dialog).
  TCreateOpenSaveDialogPaintPGThread(bool CreateSuspended, bool NoExecute);
  ~TCreateOpenSaveDialogPaintPGThread() override;

  // OnProgress of the pictures the thread works on: posts progress when
  // the percentage changes and either a new 100 ms tick bucket has begun or
  // the percentage has reached another sixteenth; aborts once terminated.
  void PreviewProgressHook(TObject* Sender, int32_t Step, int32_t Max, bool& Abort);

  // Set before the thread starts; read only afterwards.
  HWND DialogWindow = nullptr;
  HWND Page = nullptr;
  std::string FileName;
  uint32_t Serial = 0;
  std::shared_ptr<TPreviewMailbox> Mailbox;
  int32_t PaneWidth = 0;   // the preview pane's client size minus 4
  int32_t PaneHeight = 0;
  TStretchMode StretchMode = smPrecise;
  TPalette8BitSys24BitGraphic Palette8BitSys24BitGraphic = pOptimized252Sys16;
  TPalette8BitSys8BitGraphic Palette8BitSys8BitGraphic = pOptimized252Sys16;
  int32_t ScreenDepth = 32;  // bits per pixel x planes

  // The progress state of the running preview (the thread's own).
  int32_t Stage = 1;
  int32_t Percent = 0;
  int32_t Sixteenth = 0;
  uint32_t LastReport = 0;

  // The size a picture of Width x Height takes in a pane of PaneW x PaneH:
  // its own when it fits, else fitted keeping its aspect ratio. With
  // AtLeastOne each side is kept within 1 and the picture's side.
  static TSize FitToPane(int32_t Width, int32_t Height, int32_t PaneW, int32_t PaneH, bool AtLeastOne);

protected:
  void Execute() override;

private:
  // Reads the file and reduces it; null when terminated or nothing came of it.
  std::unique_ptr<TPixelGraphic> MakePreview();
  // A new empty picture with the hook, the next stage begun.
  std::unique_ptr<TPixelGraphic> NextStage(int32_t Width, int32_t Height, uint8_t PixelFormat);
  bool FNoExecute;
};
