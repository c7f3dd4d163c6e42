// TGIFImg: a windowless control that holds one GIF file, shows it composed
// on a canvas of the GIF's logical screen size (stretched, centred or
// tiled), and plays its frames with their delays, disposal methods,
// transparency and loop count on a TTimerEx.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "gif/control/timer_ex.h"
#include "gif/gif_decoder.h"
#include "platform/gdi/bitmap.h"
#include "platform/ui/controls.h"

class TGIFImgDecoder;

class TGIFImg : public TGraphicControl {
public:
  // 105 x 105, double-buffered, empty, Speed 100, visible; the frame timer
  // is disabled until there is something to play.
  explicit TGIFImg(TComponent* AOwner);
  ~TGIFImg() override;

  // ---- the GIF
  // Reads the whole of Stream (from its start), without the comments and
  // other blocks no parse uses (ReadGIFForParse), and parses it; the data
  // stream then holds that GIF. False, with the control cleared, when the
  // bytes are no GIF, are cut short, or the load is stopped by OnProgress or
  // fails otherwise; Status tells why.
  bool LoadFromStream(TStream& Stream);
  // Frees the frames and the composed picture and repaints.
  void Clear();
  // A copy of frame 1's bitmap (its own size and palette, the pixels under
  // transparent areas as stored), owned by the control; null while empty.
  TBitmap* GetBitmap();
  // Null clears; a TGIFImg gives its GIF bytes (or, when empty, clears).
  void Assign(TPersistent* Source) override;
  // The binary form property "Data": a 32-bit signed length and the bytes.
  // Reading keeps the bytes; Loaded parses them.
  void ReadData(TStream& Stream);
  void WriteData(TStream& Stream);
  // Whether "Data" is written: only when the control holds GIF bytes.
  bool HasData() const;

  // ---- published properties
  bool Animate() const { return FAnimate; }
  void SetAnimate(bool Value);
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);
  bool Center() const { return FCenter; }
  void SetCenter(bool Value);
  // 1-based; a value outside 1..FrameCount sets Status 5 and changes nothing.
  int32_t CurrentFrame() const { return FCurrentFrame; }
  void SetCurrentFrame(int32_t Value);
  bool DoubleBuffered() const { return FDoubleBuffered; }
  void SetDoubleBuffered(bool Value) { FDoubleBuffered = Value; }
  bool FirstImageOnly() const;
  void SetFirstImageOnly(bool Value);
  bool Loop() const { return FLoop; }
  void SetLoop(bool Value);
  bool Opaque() const { return FOpaque; }
  void SetOpaque(bool Value);
  // Percent of the GIF's speed; values below 1 become 1.
  int32_t Speed() const { return FSpeed; }
  void SetSpeed(int32_t Value);
  bool Stretch() const { return FStretch; }
  void SetStretch(bool Value);
  bool StretchRatio() const { return FStretchRatio; }
  void SetStretchRatio(bool Value);
  bool Tile() const { return FTile; }
  void SetTile(bool Value);
  bool Threaded() const { return FTimer->Threaded(); }
  void SetThreaded(bool Value) { FTimer->SetThreaded(Value); }
  TThreadPriority ThreadPriority() const { return FTimer->ThreadPriority(); }
  void SetThreadPriority(TThreadPriority Value) { FTimer->SetThreadPriority(Value); }
  void SetVisible(bool Value) override;
  TGIFVersion Version() const;

  TNotifyEvent OnChanging;       // before a frame is shown
  TNotifyEvent OnChange;         // after a frame is shown
  TProgressEvent OnProgress;     // during a load; clearing KeepOnProcessing stops it
  TNotifyEvent OnWrapAnimation;  // each time playing passes the last frame

  // ---- state
  bool Empty() const { return FEmpty; }
  bool Animated() const { return FAnimated; }
  int32_t FrameCount() const;
  TGIFFrame& Frame(int32_t Index);  // 1-based
  // The frame's decoded bitmap (8 bits, its palette) and, for a transparent
  // frame, its 1-bit mask (white where transparent), else null. A load
  // decodes frame 1 only; the others are decoded when first asked for or
  // shown, and decoded frames are kept only while their bytes together stay
  // within a budget under the image-size cap (older ones are let go and
  // decoded again when needed). Null for a frame number out of range or a
  // frame that cannot be decoded.
  TBitmap* FrameBitmap(int32_t Index);
  TBitmap* FrameMask(int32_t Index);
  int32_t CanvasWidth() const;  // the logical screen widened to cover every frame
  int32_t CanvasHeight() const;
  // The NETSCAPE2.0 count (0 plays for ever), 1 when the file has none.
  int32_t LoopCount() const;
  bool AnyFrameInterlaced() const;
  bool AnyFrameTransparent() const;
  // 0 ok, 1 stopped by OnProgress, 2 no data, 3 parsing or parse failed,
  // 5 a frame number out of range was asked for.
  uint8_t Status() const { return FStatus; }
  // Why the last load failed when a picture too large for the image-size
  // cap ended it ("Invalid size of W x H"); empty otherwise.
  const std::string& SizeError() const { return FSizeError; }
  // The composed picture: the canvas-size image, and (when any frame is
  // transparent) the monochrome mask, white where the canvas is transparent.
  // Made, with frame 1 drawn, when first needed (shown, played, a frame
  // chosen, or asked for here), so that a control used only to decode
  // holds no canvas; null while empty.
  TBitmap* ComposedImage();
  TBitmap* ComposedMask();
  TMemoryStream& DataStream();
  TTimerEx* FrameTimer() const { return FTimer.get(); }
  // Where the picture goes in client coordinates (the whole client area
  // when stretched or tiled).
  TRect DestRect();

  // The current frame's palette while shown and holding frames.
  HPALETTE GetPalette() override;
  // Redraws through the parent (its background and paint under the
  // control), off-screen first when DoubleBuffered.
  void Repaint() override;
  void WndProc(TMessage& Message) override;

protected:
  void AssignTo(TPersistent* Dest) override;
  void Loaded() override;
  void BoundsChanged(const TRect& Old) override;
  void Paint() override;
  virtual bool ParseGIF();
  virtual void Changing();
  virtual void Change();
  virtual void Progress();
  // The bitmap GetBitmap hands out, made on its first call after a load:
  // frame 1's bitmap, taken from the control's decoded frames.
  virtual std::unique_ptr<TBitmap> MakeFirstBitmap();
  // Frame Index's decoded bitmap, handed over: the control decodes it again
  // when it needs it. Null when it cannot be decoded.
  std::unique_ptr<TBitmap> TakeFrameBitmap(int32_t Index);
  // Invalidates after the opaque style has been brought up to date, with
  // the parent's background when the style changed.
  void InvalidatePicture();
  // Draws Bitmap onto Dest stretched to R with Rop, realising its palette;
  // a monochrome bitmap lands as black (0) and white (1).
  void BlitBitmap(HDC Dest, const TRect& R, TBitmap* Bitmap, uint32_t Rop);

private:
  friend class TGIFImgDecoder;
  struct TFrameBitmaps {
    std::unique_ptr<TBitmap> Bitmap;
    std::unique_ptr<TBitmap> Mask;        // transparent frames
    std::unique_ptr<TBitmap> SavedArea;   // disposal 3: what the frame covered
    std::unique_ptr<TBitmap> SavedMask;
  };

  void ClearFrames();  // before the decoder frees its frames
  void SetUpPicture();  // after a successful parse
  // The decoder's rows of Frame go straight into a new 8-bit bitmap.
  uint8_t* NewFrameBitmap(TGIFFrame& Frame);
  // The frame's mask bitmap from the decoder's mask rows, and the bytes of
  // its bitmaps counted as kept.
  void KeepFrameBitmaps(int32_t Index);
  // Frame Index's bitmaps, decoded when not kept; null when that fails.
  TFrameBitmaps* DecodedFrame(int32_t Index);
  // Lets go of the decoded bitmaps of every frame but Except.
  void ReleaseFrames(int32_t Except);
  // Makes the composed picture with frame 1 drawn when there is none;
  // false when empty or when it cannot be made.
  bool EnsureComposed();
  void Tick(TObject* Sender);
  uint32_t FrameInterval(int32_t Index) const;
  // True when frame Index exists and the composed picture is there; else
  // Status 5.
  bool ComposableFrame(int32_t Index);
  void DrawFrame(int32_t Index);
  void DisposeFrame(int32_t Index);
  void DrawPicture(HDC DC, const TRect& R);
  bool Stretched();
  // Recomputes csOpaque; true when it changed.
  bool UpdateOpaque();
  void UpdateTimerState();
  bool Designing() const { return (ComponentState() & csDesigning) != 0; }
  void QueryNewPalette();

  std::unique_ptr<TGIFImgDecoder> FDecoder;
  std::unique_ptr<TTimerEx> FTimer;
  std::array<TFrameBitmaps, 256> FBitmaps;
  std::unique_ptr<TBitmap> FFirstBitmap;  // GetBitmap's copy
  std::unique_ptr<TBitmap> FComposed;
  std::unique_ptr<TBitmap> FComposedMask;
  int64_t FKeptBytes = 0;  // decoded frame bitmaps and masks kept
  bool FAnimated = false;
  bool FAnimate = false;
  bool FAutoSize = false;
  bool FCenter = false;
  int32_t FCurrentFrame = 1;
  bool FDoubleBuffered = true;
  bool FEmpty = true;
  bool FLoop = false;
  bool FOpaque = false;
  int32_t FSpeed = 100;
  bool FStretch = false;
  bool FStretchRatio = false;
  bool FTile = false;
  int32_t FLoopCounter = 1;
  bool FFirstTick = true;
  bool FRepainting = false;
  uint8_t FStatus = 0;
  std::string FSizeError;
};
