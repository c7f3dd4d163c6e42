#include "gif/control/gif_img.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/core/exceptions.h"
#include "imaging/core/messages.h"
#include "imaging/core/pixel_graphic.h"
#include "platform/base/strings.h"
#include "platform/base/numeric.h"
#include "platform/gdi/dc.h"
#include "platform/gdi/surface.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/window.h"

// The decoder of a TGIFImg: its hooks reach the control, which stops its
// timer and frees its bitmaps before the frames go, reports progress with
// itself as Sender, and composes the picture after a parse.
class TGIFImgDecoder : public TGIFDecoder {
public:
  explicit TGIFImgDecoder(TGIFImg& Owner) : FOwner(Owner) {}
  void ClearFrames() override {
    FOwner.ClearFrames();
    TGIFDecoder::ClearFrames();
  }
  void Progress() override { FOwner.Progress(); }
  void DecoderProgress() { TGIFDecoder::Progress(); }

protected:
  void FinishParse() override { FOwner.SetUpPicture(); }
  // A load decodes frame 1, which is shown at once; the other frames are
  // decoded when they are shown.
  bool DecodesFrame(int32_t Index) const override { return Index == 1; }
  uint8_t* FramePixels(TGIFFrame& Frame, int64_t) override { return FOwner.NewFrameBitmap(Frame); }
  // The composed picture is a device bitmap of four bytes a pixel: a canvas
  // the platform could not make is refused before any frame is decoded.
  void CheckCanvasSize(int32_t Width, int32_t Height) override {
    CheckPGImageSize(Width, Height, pf24Bit);
    if (static_cast<int64_t>(Width) * 4 * Height > MaxSurfaceBytes)
      throw EPGInvalidSize(PGMessage(27, IntToStr(Width) + " x " + IntToStr(Height)));
  }

private:
  TGIFImg& FOwner;
};

namespace {

// The decoded frames a control keeps at once, in bytes: all the frames of
// a usual animation, so that playing it decodes each frame once; frames
// beyond it are decoded each time they are shown.
int64_t KeptFramesBudget() { return std::min<int64_t>(ImageBytesCap(), int64_t(64) << 20); }

// A device bitmap (monochrome when asked) of the given size, filled with
// Rop (BLACKNESS or WHITENESS). A new device bitmap's memory is black
// already: black ones are left untouched until something is drawn on them.
std::unique_ptr<TBitmap> FilledBitmap(int32_t Width, int32_t Height, bool Monochrome, uint32_t Rop) {
  auto b = std::make_unique<TBitmap>();
  if (Width < 1 || Height < 1) return b;
  HBITMAP h = CreateBitmap(Width, Height, 1, Monochrome ? 1 : 32, nullptr);
  if (!h) throw EOutOfMemory("Out of system resources");
  b->SetHandle(h);
  if (Rop != BLACKNESS) PatBlt(b->Canvas()->Handle(), 0, 0, Width, Height, Rop);
  return b;
}

}  // namespace

// ---- construction

TGIFImg::TGIFImg(TComponent* AOwner) : TGraphicControl(AOwner) {
  SetBounds(0, 0, 105, 105);
  SetControlStyle((ControlStyle() & ~csOpaque) | csReplicatable);
  FDecoder = std::make_unique<TGIFImgDecoder>(*this);
  // The control shows no comment.
  FDecoder->SetKeepComments(false);
  FTimer = std::make_unique<TTimerEx>(nullptr);
  FTimer->SetEnabled(false);
  FTimer->SetOnTimer([this](TObject* Sender) { Tick(Sender); });
}

TGIFImg::~TGIFImg() {
  FDecoder->ClearFrames();
  FTimer.reset();
  FComposed.reset();
  FComposedMask.reset();
}

// ---- loading

bool TGIFImg::LoadFromStream(TStream& Stream) {
  FSizeError.clear();
  try {
    // The whole stream, less what the parse does not use: the data stream
    // then keeps that much of the GIF.
    Stream.SetPosition(0);
    ReadGIFForParse(Stream, FDecoder->ParseStream().Bytes(), FDecoder->FirstImageOnly());
    FDecoder->ParseStream().SetPosition(0);
    if (OnProgress)
      FDecoder->OnProgress = [this](TObject*, int32_t Done, int32_t Total, int32_t Percent, bool& Keep) {
        if (OnProgress) OnProgress(this, Done, Total, Percent, Keep);
      };
    else
      FDecoder->OnProgress = nullptr;
    if (ParseGIF()) {
      FStatus = 0;
      return true;
    }
  } catch (const EPGInvalidSize& E) {
    FSizeError = E.what();
  } catch (...) {
    // A stream read error, the stop of the progress handler or a picture
    // too large for memory: all end in a cleared control.
  }
  FStatus = FDecoder->Status();
  Clear();
  return false;
}

bool TGIFImg::ParseGIF() {
  FStatus = 3;
  return FDecoder->ParseGIF();
}

void TGIFImg::Progress() { FDecoder->DecoderProgress(); }

void TGIFImg::Clear() {
  FDecoder->ClearFrames();
  FComposed.reset();
  FComposedMask.reset();
  InvalidatePicture();
}

void TGIFImg::ClearFrames() {
  FEmpty = true;
  FAnimated = false;
  FTimer->SetEnabled(false);
  for (int32_t i = 255; i >= 0; --i) FBitmaps[static_cast<size_t>(i)] = TFrameBitmaps{};
  FKeptBytes = 0;
  FDecoder->ParseStream().SetPosition(0);
  FCurrentFrame = 1;
  FLoopCounter = 1;
  FFirstTick = true;
  FFirstBitmap.reset();
}

void TGIFImg::SetUpPicture() {
  const int32_t cw = FDecoder->Width();
  const int32_t ch = FDecoder->Height();
  // Frame 1 was decoded by the parse; the composed picture is made, with
  // frame 1 drawn, when it is first needed.
  KeepFrameBitmaps(1);
  FComposed.reset();
  FComposedMask.reset();
  if (FAutoSize) SetBounds(Left(), Top(), cw, ch);
  FAnimated = FDecoder->FrameCount() > 1;
  FEmpty = false;
  FTimer->SetInterval(1);
  Changing();
  Change();
  InvalidatePicture();
  QueryNewPalette();
}

uint8_t* TGIFImg::NewFrameBitmap(TGIFFrame& Frame) {
  int32_t index = 1;
  while (index <= FDecoder->FrameCount() && &FDecoder->Frame(index) != &Frame) ++index;
  TFrameBitmaps& b = FBitmaps.at(static_cast<size_t>(index - 1));
  // Memory that starts zeroed: rows a short raster never reaches hold index
  // 0 and cost nothing.
  b.Mask.reset();
  b.Bitmap = std::make_unique<TBitmap>();
  b.Bitmap->SetPixelFormat(pf8bit);
  b.Bitmap->SetSize(Frame.Width, Frame.Height);
  std::vector<RGBQUAD> table(256);
  for (int32_t i = 0; i < std::min(Frame.ColorsUsed, 256); ++i) {
    const uint8_t* rgb = Frame.Palette.data() + 3 * i;
    table[static_cast<size_t>(i)] = RGBQUAD{rgb[2], rgb[1], rgb[0], 0};
  }
  b.Bitmap->SetColorTable(table);
  // Rows bottom-up, as the decoder writes them: the last scan line first.
  return static_cast<uint8_t*>(b.Bitmap->ScanLine(Frame.Height - 1));
}

void TGIFImg::KeepFrameBitmaps(int32_t Index) {
  TGIFFrame& f = FDecoder->Frame(Index);
  TFrameBitmaps& b = FBitmaps.at(static_cast<size_t>(Index - 1));
  if (!b.Bitmap) return;
  if (f.Transparent && !f.Mask.empty()) {
    b.Mask = std::make_unique<TBitmap>();
    b.Mask->SetPixelFormat(pf1bit);
    b.Mask->SetSize(f.Width, f.Height);
    std::memcpy(b.Mask->ScanLine(f.Height - 1), f.Mask.data(), f.Mask.size());
  }
  std::vector<uint8_t>().swap(f.Mask);
  FKeptBytes += f.DecodedBytes();
}

TGIFImg::TFrameBitmaps* TGIFImg::DecodedFrame(int32_t Index) {
  if (Index < 1 || Index > FDecoder->FrameCount()) return nullptr;
  TFrameBitmaps& b = FBitmaps[static_cast<size_t>(Index - 1)];
  if (b.Bitmap) return &b;
  if (FKeptBytes + FDecoder->Frame(Index).DecodedBytes() > KeptFramesBudget()) ReleaseFrames(Index);
  try {
    FDecoder->DecodeFrame(Index);
  } catch (...) {
    // No memory for it, or no bytes to decode it from: nothing is shown.
    b.Bitmap.reset();
    std::vector<uint8_t>().swap(FDecoder->Frame(Index).Mask);
    return nullptr;
  }
  KeepFrameBitmaps(Index);
  return &b;
}

void TGIFImg::ReleaseFrames(int32_t Except) {
  for (int32_t i = 1; i <= FDecoder->FrameCount(); ++i) {
    TFrameBitmaps& b = FBitmaps[static_cast<size_t>(i - 1)];
    if (i == Except || !b.Bitmap) continue;
    b.Bitmap.reset();
    b.Mask.reset();
    FKeptBytes -= FDecoder->Frame(i).DecodedBytes();
  }
}

std::unique_ptr<TBitmap> TGIFImg::TakeFrameBitmap(int32_t Index) {
  TFrameBitmaps* b = DecodedFrame(Index);
  if (!b) return nullptr;
  b->Mask.reset();
  FKeptBytes -= FDecoder->Frame(Index).DecodedBytes();
  return std::move(b->Bitmap);
}

bool TGIFImg::EnsureComposed() {
  if (FComposed) return true;
  if (FEmpty || FDecoder->FrameCount() == 0) return false;
  try {
    FComposed = FilledBitmap(FDecoder->Width(), FDecoder->Height(), false, BLACKNESS);
    if (FDecoder->AnyFrameTransparent())
      FComposedMask = FilledBitmap(FDecoder->Width(), FDecoder->Height(), true, WHITENESS);
  } catch (const Exception&) {
    FComposed.reset();
    FComposedMask.reset();
    return false;
  }
  DrawFrame(1);
  return true;
}

TBitmap* TGIFImg::ComposedImage() { return EnsureComposed() ? FComposed.get() : nullptr; }
TBitmap* TGIFImg::ComposedMask() { return EnsureComposed() ? FComposedMask.get() : nullptr; }

TBitmap* TGIFImg::GetBitmap() {
  if (FEmpty || FDecoder->FrameCount() == 0) return nullptr;
  if (!FFirstBitmap) FFirstBitmap = MakeFirstBitmap();
  return FFirstBitmap.get();
}

std::unique_ptr<TBitmap> TGIFImg::MakeFirstBitmap() { return TakeFrameBitmap(1); }

void TGIFImg::AssignTo(TPersistent* Dest) {
  if (auto* bitmap = dynamic_cast<TBitmap*>(Dest)) {
    bitmap->Assign(GetBitmap());
    return;
  }
  TGraphicControl::AssignTo(Dest);
}

void TGIFImg::Assign(TPersistent* Source) {
  if (!Source) {
    Clear();
    return;
  }
  if (auto* other = dynamic_cast<TGIFImg*>(Source)) {
    if (other == this) return;
    if (other->Empty()) {
      Clear();
    } else {
      TMemoryStream bytes;
      bytes.Bytes() = other->DataStream().Bytes();
      LoadFromStream(bytes);
    }
    return;
  }
  TGraphicControl::Assign(Source);
}

bool TGIFImg::HasData() const { return FDecoder->DataStream().Size() > 0; }

void TGIFImg::ReadData(TStream& Stream) {
  int32_t size = 0;
  Stream.ReadBuffer(&size, 4);
  if (size < 1) return;
  if (size > Stream.Size() - Stream.Position()) throw EReadError("Stream read error");
  TMemoryStream& data = FDecoder->DataStream();
  data.SetSize(size);
  Stream.ReadBuffer(data.Memory(), size);
  data.SetPosition(0);
}

void TGIFImg::WriteData(TStream& Stream) {
  TMemoryStream& data = FDecoder->DataStream();
  const int32_t size = static_cast<int32_t>(data.Size());
  Stream.WriteBuffer(&size, 4);
  if (size > 0) Stream.WriteBuffer(data.Memory(), size);
}

void TGIFImg::Loaded() {
  TGraphicControl::Loaded();
  if (FDecoder->DataStream().Size() > 0) LoadFromStream(FDecoder->DataStream());
}

// ---- frames

uint32_t TGIFImg::FrameInterval(int32_t Index) const {
  const int32_t delay = std::max(FDecoder->Frame(Index).Delay, 50);
  return static_cast<uint32_t>(std::max(1, delay * 100 / FSpeed));
}

void TGIFImg::BlitBitmap(HDC Dest, const TRect& R, TBitmap* Bitmap, uint32_t Rop) {
  if (!Bitmap || Bitmap->Empty()) return;
  HPALETTE palette = Bitmap->GetPalette();
  HPALETTE oldPalette = nullptr;
  if (palette) {
    oldPalette = SelectPalette(Dest, palette, false);
    RealizePalette(Dest);
  }
  HDC src = Bitmap->Canvas()->Handle();
  // A monochrome source lands as black (0) and white (1).
  const TColor oldText = SetTextColor(Dest, 0x000000);
  const TColor oldBack = SetBkColor(Dest, 0xFFFFFF);
  const int32_t w = Bitmap->Width(), h = Bitmap->Height();
  if (R.Width() != w || R.Height() != h) {
    const int32_t destBits = GetDeviceCaps(Dest, BITSPIXEL) * GetDeviceCaps(Dest, PLANES);
    const int32_t srcBits = GetDeviceCaps(src, BITSPIXEL) * GetDeviceCaps(src, PLANES);
    if (destBits <= 8 && srcBits > 8) {
      SetStretchBltMode(Dest, HALFTONE);
      SetBrushOrgEx(Dest, 0, 0, nullptr);
    } else {
      SetStretchBltMode(Dest, Bitmap->Monochrome() ? WHITEONBLACK : COLORONCOLOR);
    }
  }
  StretchBlt(Dest, R.Left, R.Top, R.Width(), R.Height(), src, 0, 0, w, h, Rop);
  SetTextColor(Dest, oldText);
  SetBkColor(Dest, oldBack);
  if (palette) SelectPalette(Dest, oldPalette, false);
}

bool TGIFImg::ComposableFrame(int32_t Index) {
  if (Index >= 1 && Index <= FDecoder->FrameCount() && EnsureComposed()) return true;
  FStatus = 5;
  return false;
}

void TGIFImg::DrawFrame(int32_t Index) {
  if (!ComposableFrame(Index)) return;
  const TGIFFrame& f = FDecoder->Frame(Index);
  TFrameBitmaps& b = FBitmaps[static_cast<size_t>(Index - 1)];
  const TRect r = Bounds(f.Left, f.Top, f.Width, f.Height);
  HDC image = FComposed->Canvas()->Handle();
  HDC mask = FComposedMask ? FComposedMask->Canvas()->Handle() : nullptr;
  if (f.DisposalMethod == 3) {
    // What the frame covers, kept until it is disposed of.
    try {
      if (!b.SavedArea) b.SavedArea = FilledBitmap(f.Width, f.Height, false, BLACKNESS);
      if (!b.SavedMask) b.SavedMask = FilledBitmap(f.Width, f.Height, true, WHITENESS);
      if (mask) BitBlt(b.SavedMask->Canvas()->Handle(), 0, 0, f.Width, f.Height, mask, f.Left, f.Top, SRCCOPY);
      BitBlt(b.SavedArea->Canvas()->Handle(), 0, 0, f.Width, f.Height, image, f.Left, f.Top, SRCCOPY);
    } catch (const Exception&) {
      b.SavedArea.reset();
      b.SavedMask.reset();
    }
  }
  if (!DecodedFrame(Index)) return;
  if (f.Transparent && b.Mask) {
    // The image keeps its pixels where the frame is transparent, whatever
    // the frame holds there; the mask turns black where the frame is opaque.
    if (mask) BlitBitmap(mask, r, b.Mask.get(), SRCAND);
    BlitBitmap(image, r, b.Bitmap.get(), SRCINVERT);
    BlitBitmap(image, r, b.Mask.get(), SRCAND);
    BlitBitmap(image, r, b.Bitmap.get(), SRCINVERT);
  } else {
    if (mask) PatBlt(mask, r.Left, r.Top, r.Width(), r.Height(), BLACKNESS);
    BlitBitmap(image, r, b.Bitmap.get(), SRCCOPY);
  }
}

void TGIFImg::DisposeFrame(int32_t Index) {
  if (!ComposableFrame(Index)) return;
  const TGIFFrame& f = FDecoder->Frame(Index);
  TFrameBitmaps& b = FBitmaps[static_cast<size_t>(Index - 1)];
  HDC image = FComposed->Canvas()->Handle();
  HDC mask = FComposedMask ? FComposedMask->Canvas()->Handle() : nullptr;
  if (f.DisposalMethod == 2) {
    if (mask) PatBlt(mask, f.Left, f.Top, f.Width, f.Height, WHITENESS);
    PatBlt(image, f.Left, f.Top, f.Width, f.Height, BLACKNESS);
  } else if (f.DisposalMethod == 3 && b.SavedArea) {
    if (mask) BitBlt(mask, f.Left, f.Top, f.Width, f.Height, b.SavedMask->Canvas()->Handle(), 0, 0, SRCCOPY);
    BitBlt(image, f.Left, f.Top, f.Width, f.Height, b.SavedArea->Canvas()->Handle(), 0, 0, SRCCOPY);
    b.SavedArea.reset();
    b.SavedMask.reset();
  }
}

void TGIFImg::Tick(TObject*) {
  const int32_t count = FDecoder->FrameCount();
  if (FEmpty || !FAnimate || count == 0) return;
  if (FCurrentFrame < 1 || FCurrentFrame > count) FCurrentFrame = 1;
  Changing();
  if (FFirstTick) {
    FFirstTick = false;  // frame 1 was drawn by the parse
  } else {
    DisposeFrame(FCurrentFrame == 1 ? count : FCurrentFrame - 1);
    DrawFrame(FCurrentFrame);
    Repaint();
  }
  FTimer->SetInterval(FrameInterval(FCurrentFrame));
  ++FCurrentFrame;
  const bool wrapped = FCurrentFrame > count;
  if (!FLoop && LoopCount() >= 1 && wrapped) {
    // N passes for a loop count of N; the next tick, if any, starts over.
    ++FLoopCounter;
    FTimer->SetEnabled(FLoopCounter <= LoopCount());
  } else if (wrapped) {
    FCurrentFrame = 1;
  }
  Change();
  if (wrapped && OnWrapAnimation) OnWrapAnimation(this);
}

void TGIFImg::Changing() {
  if (OnChanging) OnChanging(this);
}

void TGIFImg::Change() {
  if (OnChange) OnChange(this);
}

// ---- placement and painting

bool TGIFImg::Stretched() {
  const int32_t cw = CanvasWidth(), ch = CanvasHeight();
  return (FStretch || FStretchRatio) && cw > 0 && ch > 0 && (Width() != cw || Height() != ch);
}

TRect TGIFImg::DestRect() {
  const int32_t w = Width(), h = Height();
  const int32_t cw = CanvasWidth(), ch = CanvasHeight();
  if (Stretched() && FStretchRatio && !FStretch) {
    const long double x = static_cast<long double>(w) / cw;
    const long double y = static_cast<long double>(h) / ch;
    if (x <= y) {
      const long double offset = (h - ch * x) / 2;
      return Rect(0, static_cast<int32_t>(Round(offset)), w, static_cast<int32_t>(Round(h - offset)));
    }
    const long double offset = (w - cw * y) / 2;
    return Rect(static_cast<int32_t>(Round(offset)), 0, static_cast<int32_t>(Round(w - offset)), h);
  }
  if (Stretched() || FTile) return Rect(0, 0, w, h);
  if (FCenter) return Bounds((w - cw) / 2, (h - ch) / 2, cw, ch);
  return Bounds(0, 0, cw, ch);
}

void TGIFImg::DrawPicture(HDC DC, const TRect& R) {
  if (FDecoder->Frame(1).Transparent && FComposedMask) {
    BlitBitmap(DC, R, FComposedMask.get(), SRCAND);
    BlitBitmap(DC, R, FComposed.get(), SRCINVERT);
  } else {
    BlitBitmap(DC, R, FComposed.get(), SRCCOPY);
  }
}

void TGIFImg::Paint() {
  if (!Visible() && !Designing()) return;
  if (FOpaque) {
    Canvas()->Brush()->SetStyle(bsSolid);
    Canvas()->Brush()->SetColor(Color());
    Canvas()->FillRect(ClientRect());
  }
  HDC dc = Canvas()->Handle();
  if (!FEmpty && FDecoder->FrameCount() > 0 && EnsureComposed()) {
    const int32_t cw = CanvasWidth(), ch = CanvasHeight();
    if (!Stretched() && FTile) {
      for (int32_t i = 0; i <= Width() / cw; ++i)
        for (int32_t j = 0; j <= Height() / ch; ++j) DrawPicture(dc, Bounds(i * cw, j * ch, cw, ch));
    } else {
      DrawPicture(dc, DestRect());
    }
  }
  if (Designing()) {
    Canvas()->Pen()->SetStyle(psDot);
    Canvas()->Pen()->SetWidth(0);
    Canvas()->Pen()->SetColor(clBtnShadow);
    Canvas()->Brush()->SetStyle(bsClear);
    Canvas()->Rectangle(0, 0, Width(), Height());
  }
}

bool TGIFImg::UpdateOpaque() {
  bool opaque = false;
  if ((Visible() || Designing()) && (FOpaque || (!FEmpty && FDecoder->FrameCount() > 0 && !FDecoder->Frame(1).Transparent))) {
    const TRect d = DestRect();
    opaque = d.Left <= 0 && d.Top <= 0 && d.Right >= Width() && d.Bottom >= Height();
  }
  const bool was = (ControlStyle() & csOpaque) != 0;
  if (opaque != was) SetControlStyle(opaque ? ControlStyle() | csOpaque : ControlStyle() & ~csOpaque);
  return opaque != was;
}

void TGIFImg::InvalidatePicture() {
  if (UpdateOpaque() && Parent() && Parent()->HandleAllocated() && (Visible() || Designing())) {
    TRect r = BoundsRect();
    InvalidateRect(Parent()->Handle(), &r, true);
  } else {
    Invalidate();
  }
}

void TGIFImg::BoundsChanged(const TRect& Old) {
  UpdateOpaque();
  TGraphicControl::BoundsChanged(Old);
}

void TGIFImg::UpdateTimerState() {
  const int32_t loops = LoopCount();
  FTimer->SetEnabled(FAnimated && FAnimate && !FEmpty && (FLoopCounter <= loops || FLoop || loops == 0));
}

void TGIFImg::WndProc(TMessage& Message) {
  if (Message.Msg == WM_PAINT) {
    // A change of the opaque style asks the parent for a full repaint of
    // the area (with or without its background); this pass paints as well.
    if (UpdateOpaque()) Invalidate();
    TGraphicControl::WndProc(Message);
    UpdateTimerState();
    return;
  }
  TGraphicControl::WndProc(Message);
}

void TGIFImg::Repaint() {
  TWinControl* parent = Parent();
  if (!parent || FRepainting || (!Visible() && !Designing()) || !parent->HandleAllocated()) return;
  FRepainting = true;
  HWND wnd = parent->Handle();
  HDC dc = GetDC(wnd);
  HDC mem = nullptr;
  HBITMAP buffer = nullptr;
  HGDIOBJ oldBuffer = nullptr;
  TRect r = DestRect();
  OffsetRect(r, Left(), Top());
  try {
    HDC target = dc;
    if (FDoubleBuffered) {
      TRect client;
      ::GetClientRect(wnd, client);
      buffer = CreateCompatibleBitmap(dc, std::max(1, client.Width()), std::max(1, client.Height()));
      mem = CreateCompatibleDC(dc);
      oldBuffer = SelectObject(mem, buffer);
      target = mem;
    }
    const int32_t saved = SaveDC(target);
    IntersectClipRect(target, r.Left, r.Top, r.Right, r.Bottom);
    if (!(ControlStyle() & csOpaque)) parent->Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(target), 0);
    parent->Perform(WM_PAINT, reinterpret_cast<WPARAM>(target), 0);
    RestoreDC(target, saved);
    if (mem) BitBlt(dc, r.Left, r.Top, r.Width(), r.Height(), mem, r.Left, r.Top, SRCCOPY);
  } catch (...) {
    if (mem) {
      SelectObject(mem, oldBuffer);
      DeleteDC(mem);
      DeleteObject(buffer);
    }
    ReleaseDC(wnd, dc);
    FRepainting = false;
    throw;
  }
  if (mem) {
    SelectObject(mem, oldBuffer);
    DeleteDC(mem);
    DeleteObject(buffer);
  }
  ReleaseDC(wnd, dc);
  FRepainting = false;
}

void TGIFImg::QueryNewPalette() {
  if (Parent() && Parent()->HandleAllocated()) PostMessage(Parent()->Handle(), WM_QUERYNEWPALETTE, 0, 0);
}

HPALETTE TGIFImg::GetPalette() {
  const int32_t count = FDecoder->FrameCount();
  if ((Visible() || Designing()) && !FEmpty && count > 0) {
    TBitmap* b = FrameBitmap(std::clamp(FCurrentFrame, 1, count));
    return b ? b->GetPalette() : nullptr;
  }
  return TGraphicControl::GetPalette();
}

// ---- properties

void TGIFImg::SetAnimate(bool Value) {
  if (Value == FAnimate) return;
  FAnimate = Value;
  FLoopCounter = 1;
  const int32_t count = FDecoder->FrameCount();
  if (Value && count >= 2) FTimer->SetInterval(FrameInterval(std::clamp(FCurrentFrame, 1, count)));
  FTimer->SetEnabled(Value && FAnimated && !FEmpty);
  if (!Value && FCurrentFrame > 1 && !FEmpty) {
    DisposeFrame(FCurrentFrame - 1);
    FCurrentFrame = 1;
    DrawFrame(1);
    Invalidate();
  }
}

void TGIFImg::SetAutoSize(bool Value) {
  FAutoSize = Value;
  if (Value && !FEmpty) SetBounds(Left(), Top(), CanvasWidth(), CanvasHeight());
  InvalidatePicture();
}

void TGIFImg::SetCenter(bool Value) {
  FCenter = Value;
  InvalidatePicture();
}

void TGIFImg::SetCurrentFrame(int32_t Value) {
  if (Value < 1 || Value > FDecoder->FrameCount()) {
    FStatus = 5;
    return;
  }
  Changing();
  DisposeFrame(FCurrentFrame);
  FCurrentFrame = Value;
  DrawFrame(Value);
  Repaint();
  Change();
}

bool TGIFImg::FirstImageOnly() const { return FDecoder->FirstImageOnly(); }
void TGIFImg::SetFirstImageOnly(bool Value) { FDecoder->SetFirstImageOnly(Value); }

void TGIFImg::SetLoop(bool Value) {
  FLoop = Value;
  const int32_t loops = LoopCount();
  if (Value && loops > 0 && FLoopCounter > loops) {
    // Playing had ended: start over.
    FCurrentFrame = 1;
    FLoopCounter = 1;
    if (FAnimate && FDecoder->FrameCount() >= 2) FTimer->SetInterval(FrameInterval(1));
    if (FAnimate && FAnimated) FTimer->SetEnabled(true);
  }
}

void TGIFImg::SetOpaque(bool Value) {
  FOpaque = Value;
  InvalidatePicture();
}

void TGIFImg::SetSpeed(int32_t Value) {
  FSpeed = std::max(1, Value);
  // The next tick comes at once and takes the new speed.
  if (FDecoder->FrameCount() >= 2 && FAnimate) FTimer->SetInterval(1);
}

void TGIFImg::SetStretch(bool Value) {
  FStretch = Value;
  InvalidatePicture();
}

void TGIFImg::SetStretchRatio(bool Value) {
  FStretchRatio = Value;
  InvalidatePicture();
}

void TGIFImg::SetTile(bool Value) {
  FTile = Value;
  InvalidatePicture();
}

void TGIFImg::SetVisible(bool Value) {
  TGraphicControl::SetVisible(Value);
  InvalidatePicture();
  if (Parent() && Parent()->HandleAllocated() && Parent()->Focused())
    PostMessage(Parent()->Handle(), WM_QUERYNEWPALETTE, 0, 0);
}

// ---- state

TGIFVersion TGIFImg::Version() const { return FDecoder->Version(); }
int32_t TGIFImg::FrameCount() const { return FDecoder->FrameCount(); }
TGIFFrame& TGIFImg::Frame(int32_t Index) { return FDecoder->Frame(Index); }
TBitmap* TGIFImg::FrameBitmap(int32_t Index) {
  TFrameBitmaps* b = FEmpty ? nullptr : DecodedFrame(Index);
  return b ? b->Bitmap.get() : nullptr;
}
TBitmap* TGIFImg::FrameMask(int32_t Index) {
  TFrameBitmaps* b = FEmpty ? nullptr : DecodedFrame(Index);
  return b ? b->Mask.get() : nullptr;
}
int32_t TGIFImg::CanvasWidth() const { return FEmpty ? 0 : FDecoder->Width(); }
int32_t TGIFImg::CanvasHeight() const { return FEmpty ? 0 : FDecoder->Height(); }
int32_t TGIFImg::LoopCount() const { return FDecoder->LoopCount(); }
bool TGIFImg::AnyFrameInterlaced() const { return FDecoder->AnyFrameInterlaced(); }
bool TGIFImg::AnyFrameTransparent() const { return FDecoder->AnyFrameTransparent(); }
TMemoryStream& TGIFImg::DataStream() { return FDecoder->DataStream(); }
