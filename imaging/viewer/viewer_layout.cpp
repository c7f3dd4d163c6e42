// Where and how large the viewer's picture box is: the stretch modes, zoom,
// centring, automatic size, the window scroll bars and the pixel mappings.
#include <algorithm>

#include "imaging/viewer/pg_image.h"
#include "platform/base/numeric.h"
#include "platform/ui/forms.h"
#include "platform/ui/message_queue.h"

namespace {
int32_t BarHeight() { return GetSystemMetrics(SM_CYHSCROLL); }
int32_t BarWidth() { return GetSystemMetrics(SM_CXVSCROLL); }
}  // namespace

// ---------------------------------------------------------------------------
// Scroll bars

void TPGImageScrollBar::Assign(TPersistent* Source) {
  if (auto* s = dynamic_cast<TPGImageScrollBar*>(Source)) {
    SetVisible(s->Visible());
    SetRange(s->Range());
    SetTracking(s->Tracking());
    SetPosition(s->Position());
    SetIncrement(s->Increment());
    return;
  }
  TPersistent::Assign(Source);
}

void TPGImageScrollBar::SetIncrement(int32_t Value) { FIncrement = std::clamp(Value, 1, 32767); }

void TPGImageScrollBar::SetPosition(int32_t Value) {
  if (FControl->ComponentState() & csLoading) {
    FPosition = Value;
    return;
  }
  Value = std::clamp(Value, 0, std::max(FMaxPos, 0));
  if (Value != FPosition) {
    int32_t old = FPosition;
    FPosition = Value;
    ScrollBy(old - Value);
  }
  if (FControl->HandleAllocated() && GetScrollPosition() != FPosition) SetScrollPosition(FPosition);
}

void TPGImageScrollBar::SetRangeInternal(int32_t Value) { FRange = std::max(Value, 0); }

void TPGImageScrollBar::SetRange(int32_t Value) {
  FControl->FAutoScroll = false;
  FRangeSetByUser = true;
  SetRangeInternal(Value);
  FControl->UpdateScrollBars();
}

void TPGImageScrollBar::SetVisible(bool Value) {
  if (Value == FVisible) return;
  FVisible = Value;
  FControl->UpdateScrollBars();
}

void TPGImageScrollBar::ScrollMessage(int32_t Code, int32_t Pos) {
  switch (Code) {
    case SB_LINEUP: SetPosition(FPosition - FIncrement); break;
    case SB_LINEDOWN: SetPosition(FPosition + FIncrement); break;
    case SB_PAGEUP: SetPosition(FPosition - ClientSize()); break;
    case SB_PAGEDOWN: SetPosition(FPosition + ClientSize()); break;
    case SB_THUMBPOSITION: SetPosition(Pos); break;
    case SB_THUMBTRACK:
      if (FTracking) SetPosition(Pos);
      break;
    case SB_TOP: SetPosition(0); break;
    case SB_BOTTOM: SetPosition(FMaxPos); break;
    default: break;
  }
}

void TPGImageScrollBar::DoUpdate(int32_t Bar, int32_t ControlSize, int32_t OtherBarSize, bool OtherBarShown) {
  int32_t frame = FControl->FrameWidth();
  int32_t page = ControlSize - 2 * frame - (OtherBarShown ? OtherBarSize : 0);
  FMaxPos = FVisible ? std::max(0, FRange - page) : 0;
  if (FControl->HandleAllocated()) {
    TScrollInfo si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    si.nMin = 0;
    si.nMax = FRange - 1;
    si.nPage = static_cast<uint32_t>(std::max(page, 0));
    si.nPos = FPosition;
    si.nTrackPos = FPosition;
    ::SetScrollInfo(FControl->Handle(), Bar, si, true);
  }
  SetPosition(FPosition);
}

int32_t THorzPGImageScrollBar::ClientSize() { return FControl->ClientWidth(); }
int32_t THorzPGImageScrollBar::GetScrollPosition() { return ::GetScrollPos(FControl->Handle(), SB_HORZ); }
void THorzPGImageScrollBar::SetScrollPosition(int32_t Value) { ::SetScrollPos(FControl->Handle(), SB_HORZ, Value, true); }
void THorzPGImageScrollBar::ScrollBy(int32_t Delta) { FControl->ScrollBy(Delta, 0); }
void THorzPGImageScrollBar::Update(bool OtherBarShown) {
  DoUpdate(SB_HORZ, FControl->Width(), BarWidth(), OtherBarShown);
}

int32_t TVertPGImageScrollBar::ClientSize() { return FControl->ClientHeight(); }
int32_t TVertPGImageScrollBar::GetScrollPosition() { return ::GetScrollPos(FControl->Handle(), SB_VERT); }
void TVertPGImageScrollBar::SetScrollPosition(int32_t Value) { ::SetScrollPos(FControl->Handle(), SB_VERT, Value, true); }
void TVertPGImageScrollBar::ScrollBy(int32_t Delta) { FControl->ScrollBy(0, Delta); }
void TVertPGImageScrollBar::Update(bool OtherBarShown) {
  DoUpdate(SB_VERT, FControl->Height(), BarHeight(), OtherBarShown);
}

void TPGImage::UpdateScrollBars() {
  if (FUpdatingScrollBars) return;
  FUpdatingScrollBars = true;
  try {
    bool horz = false, vert = false;
    if (FAutoScroll) {
      int32_t frame = FrameWidth();
      int32_t rw = FWidth - 2 * frame, rh = FHeight - 2 * frame;
      for (int32_t i = 0; i < 2; ++i) {
        if (rw < FPicBox->Width() && !horz) rh -= BarHeight(), horz = true;
        if (FPicBox->Height() > rh && !vert) rw -= BarWidth(), vert = true;
      }
    }
    FHorzScrollBar->Update(vert);
    FVertScrollBar->Update(horz);
  } catch (...) {
    FUpdatingScrollBars = false;
    throw;
  }
  FUpdatingScrollBars = false;
}

void TPGImage::UpdateScrollRanges() {
  if (!FAutoScroll) return;
  FHorzScrollBar->SetRangeInternal(FPicBox->Width());
  FVertScrollBar->SetRangeInternal(FPicBox->Height());
  UpdateScrollBars();
}

// ---------------------------------------------------------------------------
// Layout

void TPGImage::UpdateLayout(bool Force) {
  int32_t frame = FrameWidth();
  int32_t aw = FWidth - 2 * frame, ah = FHeight - 2 * frame;
  int32_t iw = FImageWidth, ih = FImageHeight;
  int32_t bw = iw, bh = ih;
  long double zoom = 1.0L;
  int32_t leftOff = 0, topOff = 0;
  if (iw > 0 && ih > 0 && aw > 0 && ah > 0) {
    long double areaRatio = static_cast<long double>(aw) / ah;
    long double imageRatio = static_cast<long double>(iw) / ih;
    auto fit = [&] {
      if (areaRatio >= imageRatio) {
        bh = ah;
        bw = static_cast<int32_t>(bh * imageRatio);
        zoom = static_cast<long double>(bh) / ih;
      } else {
        bw = aw;
        bh = static_cast<int32_t>(bw / imageRatio);
        zoom = static_cast<long double>(bw) / iw;
      }
    };
    auto longerEdgeFit = [&] {
      fit();
      if (bw >= aw - BarWidth() && bh >= ah - BarHeight()) return;
      if (areaRatio <= imageRatio) {
        bh = ah - BarHeight();
        bw = static_cast<int32_t>(bh * imageRatio);
        zoom = static_cast<long double>(bh) / ih;
      } else {
        bw = aw - BarWidth();
        bh = static_cast<int32_t>(bw / imageRatio);
        zoom = static_cast<long double>(bw) / iw;
      }
    };
    auto shrinkLongerEdge = [&] {
      if ((iw > aw && ih > ah - BarHeight()) || (ih > ah && iw > aw - BarWidth())) longerEdgeFit();
    };
    switch (FStretch) {
      case sNeverKAR: break;
      case sAlways: bw = aw, bh = ah, zoom = -1.0L; break;
      case sAlwaysKAR: fit(); break;
      case sShrink:
        if (aw < iw) bw = aw, zoom = -1.0L;
        if (ah < ih) bh = ah, zoom = -1.0L;
        break;
      case sShrinkKAR:
        if (aw < iw || ah < ih) fit();
        break;
      case sEnlarge: {
        int32_t roomH = ah - (iw > aw ? BarHeight() : 0);
        int32_t roomW = aw - (ih > ah ? BarWidth() : 0);
        if (roomW > iw) bw = roomW, zoom = -1.0L;
        if (ih < roomH) bh = roomH, zoom = -1.0L;
        break;
      }
      case sEnlargeKAR:
        if (iw < aw && ih < ah) fit();
        break;
      case sAlwaysLongerEdgeKAR: longerEdgeFit(); break;
      case sShrinkLongerEdgeKAR: shrinkLongerEdge(); break;
      case sEnlargeShrinkLongerEdgeKAR:
        if (iw < aw && ih < ah) fit();
        else shrinkLongerEdge();
        break;
      case sEnlargeLongerEdgeKAR:
        if (iw < aw || ih < ah) longerEdgeFit();
        break;
      case sZoomKAR:
        if (FZoomFactor > 0) zoom = FZoomFactor;
        bw = static_cast<int32_t>(Round(iw * zoom));
        bh = static_cast<int32_t>(Round(ih * zoom));
        break;
    }
  }
  if (zoom != FEffectiveZoom) {
    FEffectiveZoom = zoom;
    if (OnZoomFactorChange) OnZoomFactorChange(this);
  }
  bool horz = false, vert = false;
  if (FCenter) {
    int32_t rw = aw, rh = ah;
    for (int32_t i = 0; i < 2; ++i) {
      if (rw < bw && !horz) rh -= BarHeight(), horz = true;
      if (bh > rh && !vert) rw -= BarWidth(), vert = true;
    }
    if (rh > bh) topOff = (rh - bh) / 2;
    if (rw > bw) leftOff = (rw - bw) / 2;
  }
  bool reapply = false;
  if (Force || FRearrangeAlways) {
    reapply = FPicBox->Left() != leftOff || FPicBox->Top() != topOff;
    if (FCenter) {
      if (horz && FHorzScrollBar->Position() != (bw - ClientWidth()) / 2) reapply = true;
      if (vert && FVertScrollBar->Position() != (bh - ClientHeight()) / 2) reapply = true;
    } else if (FHorzScrollBar->Position() != 0 || FVertScrollBar->Position() != 0) {
      reapply = true;
    }
  }
  if (!reapply && FPicBox->Width() == bw && FPicBox->Height() == bh) {
    RealizeParentPalette();
    Invalidate();
    return;
  }
  FInLayout = true;
  try {
    FHorzScrollBar->SetPosition(0);
    FVertScrollBar->SetPosition(0);
    FPicBox->SetBounds(leftOff, topOff, bw, bh);
    if (FCenter) {
      if (horz) FHorzScrollBar->SetPosition((bw - ClientWidth()) / 2);
      if (vert) FVertScrollBar->SetPosition((bh - ClientHeight()) / 2);
    }
  } catch (...) {
    FInLayout = false;
    throw;
  }
  FInLayout = false;
  Invalidate();
}

TSize TPGImage::ComputeAutoSize() {
  int32_t frame = FrameWidth();
  int64_t w = static_cast<int64_t>(FImageWidth) + 2 * frame, h = static_cast<int64_t>(FImageHeight) + 2 * frame;
  bool horz = false, vert = false;
  for (int32_t i = 0; i < 2; ++i) {
    if (w > FAutoSizeMaxWidth && !horz) h += BarHeight(), horz = true;
    if (h > FAutoSizeMaxHeight && !vert) w += BarWidth(), vert = true;
  }
  TSize s;
  s.cx = static_cast<int32_t>(std::max<int64_t>(FAutoSizeMinWidth, std::min<int64_t>(w, FAutoSizeMaxWidth)));
  s.cy = static_cast<int32_t>(std::max<int64_t>(FAutoSizeMinHeight, std::min<int64_t>(h, FAutoSizeMaxHeight)));
  if (OnNewAutoSize) OnNewAutoSize(this, s.cx, s.cy);
  return s;
}

void TPGImage::RealizeParentPalette() {
  TCustomForm* form = ParentForm();
  if (!form || !form->HandleAllocated() || !form->Visible() || !HandleAllocated() || !IsWindowVisible(FHandle)) return;
  if (GetForegroundWindow() == form->Handle()) SendMessage(form->Handle(), WM_QUERYNEWPALETTE, 0, 0);
  else SendMessage(form->Handle(), WM_PALETTECHANGED, reinterpret_cast<WPARAM>(FHandle), 0);
}

// ---------------------------------------------------------------------------
// Pixel mappings: the products are taken in 64 bits.

int32_t TPGImage::ImageToBoxX(int32_t X) const {
  return FImageWidth < 1 ? 0 : static_cast<int32_t>(static_cast<int64_t>(X) * FPicBox->Width() / FImageWidth);
}
int32_t TPGImage::ImageToBoxY(int32_t Y) const {
  return FImageHeight < 1 ? 0 : static_cast<int32_t>(static_cast<int64_t>(Y) * FPicBox->Height() / FImageHeight);
}
int32_t TPGImage::BoxToImageX(int32_t X) const {
  return FPicBox->Width() < 1 ? 0 : static_cast<int32_t>(static_cast<int64_t>(X) * FImageWidth / FPicBox->Width());
}
int32_t TPGImage::BoxToImageY(int32_t Y) const {
  return FPicBox->Height() < 1 ? 0 : static_cast<int32_t>(static_cast<int64_t>(Y) * FImageHeight / FPicBox->Height());
}

namespace {
int32_t ShownIndex(int32_t I, int32_t Box, int32_t Image) {
  return Box < 1 ? 0 : static_cast<int32_t>((2 * static_cast<int64_t>(I) + 1) * Image / (2 * static_cast<int64_t>(Box)));
}
}  // namespace

TPoint TPGImage::ShownImagePixel(const TPoint& P) const {
  return TPoint{ShownIndex(P.X, FPicBox->Width(), FImageWidth), ShownIndex(P.Y, FPicBox->Height(), FImageHeight)};
}

TRect TPGImage::SelectionBoxRect() const {
  return TRect{ImageToBoxX(FSelectionLeft), ImageToBoxY(FSelectionTop), ImageToBoxX(FSelectionLeft + FSelectionWidth),
               ImageToBoxY(FSelectionTop + FSelectionHeight)};
}

// ---------------------------------------------------------------------------
// Tiles and mirrors

std::unique_ptr<TPixelGraphic> TPGImage::MirrorCopy(TPixelGraphic* Graphic, bool Horizontal, bool Vertical) {
  auto m = std::make_unique<TPixelGraphic>();
  int32_t w = Graphic->GetWidth(), h = Graphic->GetHeight();
  m->NewImage(w, h, Graphic->PixelFormat());
  if (Graphic->PixelFormat() != pf24Bit) m->AssignPalette(Graphic);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      m->SetPixel(Horizontal ? w - 1 - x : x, Vertical ? h - 1 - y : y, Graphic->GetPixel(x, y));
  return m;
}

void TPGImage::PaintTiles(TCanvas* C, TPixelGraphic* G, const TRect& Box) {
  int32_t tw = Box.Width(), th = Box.Height();
  if (tw <= 0 || th <= 0) return;
  TRect client = ClientRect();
  int32_t c0 = 0, c1 = 0, r0 = 0, r1 = 0;
  if (FTiling != tNone) {
    if (Box.Left > 0) c0 = -((Box.Right - 1) / tw);
    if (Box.Right < client.Right) c1 = (client.Right - 1 - Box.Left) / tw;
    if (Box.Top > 0) r0 = -((Box.Bottom - 1) / th);
    if (Box.Bottom < client.Bottom) r1 = (client.Bottom - 1 - Box.Top) / th;
  }
  TRect clip = C->ClipRect();
  struct Tile {
    TRect R;
    int kind;  // 0 none, 1 horizontal, 2 vertical, 3 both
  };
  std::vector<Tile> tiles;
  int32_t counts[4] = {0, 0, 0, 0};
  for (int32_t r = r0; r <= r1; ++r)
    for (int32_t c = c0; c <= c1; ++c) {
      TRect t{Box.Left + c * tw, Box.Top + r * th, Box.Right + c * tw, Box.Bottom + r * th};
      if (t.Bottom < clip.Top || t.Right < clip.Left || t.Top > clip.Bottom || t.Left > clip.Right) continue;
      bool fh = FFlipHorizontal, fv = FFlipVertical;
      if ((FTiling == tMirrorHorizontal || FTiling == tMirror) && c % 2 != 0) fh = !fh;
      if ((FTiling == tMirrorVertical || FTiling == tMirror) && r % 2 != 0) fv = !fv;
      int kind = (fh ? 1 : 0) | (fv ? 2 : 0);
      ++counts[kind];
      tiles.push_back({t, kind});
    }
  std::unique_ptr<TPixelGraphic> copies[4];
  for (int kind = 1; kind < 4; ++kind)
    if (counts[kind] > 2) copies[kind] = MirrorCopy(G, kind & 1, kind & 2);
  bool realized[4] = {false, false, false, false};
  bool savedDont[4];
  TPixelGraphic* sources[4] = {G, copies[1].get(), copies[2].get(), copies[3].get()};
  for (int k = 0; k < 4; ++k) savedDont[k] = sources[k] ? sources[k]->DontRealizePalette() : false;
  try {
    for (const Tile& t : tiles) {
      int k = copies[t.kind] ? t.kind : 0;
      TPixelGraphic* src = sources[k];
      TRect r = t.R;
      if (k == 0) {
        if (t.kind & 1) std::swap(r.Left, r.Right), r.Left -= 1, r.Right -= 1;
        if (t.kind & 2) std::swap(r.Top, r.Bottom), r.Top -= 1, r.Bottom -= 1;
      }
      if (realized[k]) src->SetDontRealizePalette(true);
      realized[k] = true;
      C->StretchDraw(r, src);
    }
  } catch (...) {
    for (int k = 0; k < 4; ++k)
      if (sources[k]) sources[k]->SetDontRealizePalette(savedDont[k]);
    throw;
  }
  for (int k = 0; k < 4; ++k)
    if (sources[k]) sources[k]->SetDontRealizePalette(savedDont[k]);
}
