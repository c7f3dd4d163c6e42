// The paint thread of the viewer: it makes the display copy of a picture
// (resampled to the box, reduced for a palette screen) and hands it to the
// viewer's window by a posted message.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

#include "imaging/core/pixel_graphic.h"
#include "platform/ui/thread.h"
#include "platform/ui/window.h"

// Messages from the paint thread to the viewer. WM_USER carries the
// conversion's serial number in WParam (the finished display copy waits with
// the thread object), LParam 1 when the conversion failed; WM_USER+1 carries
// stage and percent.
constexpr uint32_t PGM_DISPLAYCOPYREADY = 0x0400;
constexpr uint32_t PGM_PROGRESS = 0x0401;

class TCreatePaintPGThread : public TThread {
public:
  using TResultEvent = std::function<void(TObject* Sender, TPixelGraphic* DisplayCopy)>;

  TCreatePaintPGThread(bool CreateSuspended, bool NoExecute);
  ~TCreatePaintPGThread() override;

  // The conversion: on the thread, or called directly when not threaded.
  void Run();
  // OnProgress of the images the thread works on.
  void ProgressHook(TObject* Sender, int32_t Step, int32_t Max, bool& Abort);

  HWND Window = nullptr;
  uint32_t Serial = 0;
  bool ResampleFirst = false;
  bool OptimizePalette = false;
  TPixelGraphic* Source = nullptr;            // the viewer's picture, read only
  std::unique_ptr<TPixelGraphic> DisplayCopy;  // handed on when done
  std::unique_ptr<TPixelGraphic> OwnIntermediate;  // a resampled 24-bit copy, or none
  int32_t Stage = 1;
  int32_t Percent = 0;
  uint32_t LastReport = 0;
  bool Threaded = true;
  TResultEvent OnResult;
  // Why the conversion failed (none when it was delivered or stopped).
  std::exception_ptr Error;

protected:
  void Execute() override;

private:
  bool FNoExecute;
};
