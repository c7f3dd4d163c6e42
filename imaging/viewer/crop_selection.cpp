// The crop selection of the viewer: the marching-ants frame with its
// handles, the mouse actions on the picture box and the cursor over it.
#include <algorithm>

#include "imaging/core/pg_resources.h"
#include "imaging/viewer/pg_image.h"
#include "platform/gdi/dc.h"
#include "platform/ui/cursors.h"
#include "platform/ui/forms.h"

namespace {
// The eight handle rectangles around a selection's box rectangle, in the
// order top-left, top-middle, top-right, left-middle, right-middle,
// bottom-left, bottom-middle, bottom-right.
void HandleRects(const TRect& R, TRect (&H)[8]) {
  int32_t m = (R.Left + R.Right) / 2, n = (R.Top + R.Bottom) / 2;
  H[0] = {R.Left - 8, R.Top - 8, R.Left - 3, R.Top - 3};
  H[1] = {m - 2, R.Top - 8, m + 3, R.Top - 3};
  H[2] = {R.Right + 3, R.Top - 8, R.Right + 8, R.Top - 3};
  H[3] = {R.Left - 8, n - 2, R.Left - 3, n + 3};
  H[4] = {R.Right + 3, n - 2, R.Right + 8, n + 3};
  H[5] = {R.Left - 8, R.Bottom + 3, R.Left - 3, R.Bottom + 8};
  H[6] = {m - 2, R.Bottom + 3, m + 3, R.Bottom + 8};
  H[7] = {R.Right + 3, R.Bottom + 3, R.Right + 8, R.Bottom + 8};
}

bool Contains(const TRect& R, const TPoint& P) {
  return P.X >= R.Left && P.X < R.Right && P.Y >= R.Top && P.Y < R.Bottom;
}
}  // namespace

void TPGImage::SetSelection(bool Value) {
  if (Value == FSelection) return;
  FSelection = Value;
  if (Value && !FAntsTimer) {
    FAntsTimer = new TTimer(this);
    FAntsTimer->SetInterval(50);
    FAntsTimer->SetOnTimer([this](TObject* S) { AntsTimer(S); });
    FAntsTimer->SetEnabled(true);
  } else if (!Value) {
    delete FAntsTimer;
    FAntsTimer = nullptr;
  }
  FPicBox->Invalidate();
  if (OnSelectionChange) OnSelectionChange(this);
}

void TPGImage::SetSelectionColor1(TColor Value) {
  if (Value == FSelectionColor1) return;
  FSelectionColor1 = Value;
  for (int k = 0; k < 8; ++k) FAntsBrushes[k].reset(), FAntsBitmaps[k].reset();
}

void TPGImage::SetSelectionColor2(TColor Value) {
  if (Value == FSelectionColor2) return;
  FSelectionColor2 = Value;
  for (int k = 0; k < 8; ++k) FAntsBrushes[k].reset(), FAntsBitmaps[k].reset();
}

void TPGImage::InvalidateSelectionStripes() {
  if (!FSelection || !HandleAllocated()) return;
  int32_t m = FActionMode == amMoveResizeCreateSelection ? 8 : 1;
  TRect r = SelectionBoxRect();
  OffsetRect(r, FPicBox->Left(), FPicBox->Top());
  TRect stripes[4] = {{r.Left - m, r.Top - m, r.Left, r.Bottom + m},
                      {r.Left - m, r.Top - m, r.Right + m, r.Top},
                      {r.Right, r.Top - m, r.Right + m, r.Bottom + m},
                      {r.Left - m, r.Bottom, r.Right + m, r.Bottom + m}};
  for (const TRect& s : stripes) InvalidateRect(FHandle, &s, false);
}

void TPGImage::SetSelectionBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
  if (ALeft == FSelectionLeft && ATop == FSelectionTop && AWidth == FSelectionWidth && AHeight == FSelectionHeight)
    return;
  InvalidateSelectionStripes();
  FSelectionLeft = ALeft;
  FSelectionTop = ATop;
  FSelectionWidth = AWidth;
  FSelectionHeight = AHeight;
  InvalidateSelectionStripes();
  if (OnSelectionChange) OnSelectionChange(this);
  if (FSelection) Update();
}

void TPGImage::SetSelectionFromAnchor(int32_t X, int32_t Y) {
  TPoint q = BoxToImage(TPoint{X, Y});
  int32_t l = std::min(q.X, FSelectionAnchor.X), t = std::min(q.Y, FSelectionAnchor.Y);
  int32_t w = std::max(q.X, FSelectionAnchor.X) - l + 1, h = std::max(q.Y, FSelectionAnchor.Y) - t + 1;
  SetSelectionBounds(l, t, w, h);
}

void TPGImage::UpdateAntsBrushes() {
  for (int32_t k = 0; k < 8; ++k) {
    if (FAntsBitmaps[k] && FAntsBrushes[k]) continue;
    auto b = std::make_unique<TBitmap>();
    b->SetPixelFormat(pf24bit);
    b->SetSize(8, 8);
    for (int32_t y = 0; y < 8; ++y)
      for (int32_t x = 0; x < 8; ++x)
        b->Canvas()->SetPixels(x, y, (x + y + 8 - k) % 8 < 4 ? FSelectionColor1 : FSelectionColor2);
    auto br = std::make_unique<TBrush>();
    br->SetBitmap(b.get());
    FAntsBitmaps[k] = std::move(b);
    FAntsBrushes[k] = std::move(br);
  }
}

void TPGImage::DrawSelectionFrame(TObject* Sender) {
  (void)Sender;
  if (!FSelection) return;
  TRect r = SelectionBoxRect();
  UpdateAntsBrushes();
  int32_t k = ((FAntsPhase + r.Left + r.Top) % 8 + 8) % 8;
  TCanvas* c = FPicBox->Canvas();
  c->Brush()->Assign(FAntsBrushes[k].get());
  c->FrameRect(TRect{r.Left - 1, r.Top - 1, r.Right + 1, r.Bottom + 1});
  if (FActionMode == amMoveResizeCreateSelection) {
    TRect h[8];
    HandleRects(r, h);
    for (const TRect& hr : h) c->FrameRect(hr);
  }
}

void TPGImage::AntsTimer(TObject* Sender) {
  (void)Sender;
  FAntsPhase = static_cast<uint8_t>((FAntsPhase + 1) % 8);
  if (!FPicBox->Parent() || !HandleAllocated()) return;
  TCanvas* c = FPicBox->Canvas();
  HDC dc = c->Handle();
  int32_t saved = SaveDC(dc);
  int32_t region = SIMPLEREGION;
  for (int32_t i = 0; i < ControlCount() && region != NULLREGION; ++i) {
    TControl* ch = Controls(i);
    if (ch == FPicBox || !ch->Visible() || !(ch->ControlStyle() & csOpaque)) continue;
    TRect r = ch->BoundsRect();
    OffsetRect(r, -FPicBox->Left(), -FPicBox->Top());
    region = ExcludeClipRect(dc, r.Left, r.Top, r.Right, r.Bottom);
  }
  if (region != NULLREGION) DrawSelectionFrame(this);
  RestoreDC(dc, saved);
}

int32_t TPGImage::HandleAt(const TPoint& P) const {
  TRect h[8];
  HandleRects(SelectionBoxRect(), h);
  for (int32_t i = 0; i < 8; ++i)
    if (Contains(h[i], P)) return i;
  return -1;
}

void TPGImage::PicBoxMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  (void)Sender, (void)Shift;
  if (Button != mbLeft) return;
  TRect r = SelectionBoxRect();
  TPoint p{X, Y};
  TPoint q = BoxToImage(p);
  bool inSel = FSelection && Contains(r, p);
  if ((FActionMode == amMoveResizeCreateSelection || FActionMode == amMoveSelection ||
       FActionMode == amMoveSelectionMoveImage) &&
      inSel) {
    FDragState = dsMoveSelection;
    FDragStart = p;
    FDragOffset = {q.X - FSelectionLeft, q.Y - FSelectionTop};
    FPicBox->SetMouseCapture(true);
  } else if (FActionMode == amMoveImage || (FActionMode == amMoveSelectionMoveImage && !inSel)) {
    if ((ClientWidth() < FPicBox->Width() && FHorzScrollBar->Visible()) ||
        (ClientHeight() < FPicBox->Height() && FVertScrollBar->Visible())) {
      FDragState = dsMoveImage;
      if (Screen->Cursor() == crDefault) {
        HCURSOR cur = PGCursorHandGrab;
        if (PicBoxOnSetCursor) PicBoxOnSetCursor(this, cur);
        ::SetCursor(cur);
      }
      FDragStart = p;
      FPicBox->SetMouseCapture(true);
    }
  } else if (FActionMode == amMoveResizeCreateSelection && FSelection && HandleAt(p) >= 0) {
    int32_t i = HandleAt(p);
    static const TPGDragState states[8] = {dsTopLeft,    dsTopMiddle, dsTopRight,     dsLeftMiddle,
                                           dsRightMiddle, dsBottomLeft, dsBottomMiddle, dsBottomRight};
    FDragState = states[i];
    FDragStart = p;
    bool left = i == 0 || i == 3 || i == 5, right = i == 2 || i == 4 || i == 7;
    bool top = i <= 2, bottom = i >= 5;
    FDragOffset.X = left ? q.X - FSelectionLeft : right ? q.X - FSelectionWidth : 0;
    FDragOffset.Y = top ? q.Y - FSelectionTop : bottom ? q.Y - FSelectionHeight : 0;
    FPicBox->SetMouseCapture(true);
  } else if (FActionMode == amMoveResizeCreateSelection || FActionMode == amCreateSelection) {
    FDragState = dsCreateSelection;
    SetSelection(true);
    FSelectionAnchor = q;
    SetSelectionFromAnchor(X, Y);
    FPicBox->SetMouseCapture(true);
  }
  if (FDragState != dsNone && FDragState != dsMoveImage && !FAutoScrollTimer) {
    FAutoScrollTimer = new TTimer(this);
    FAutoScrollTimer->SetInterval(50);
    FAutoScrollTimer->SetOnTimer([this](TObject* S) { AutoScrollTimer(S); });
    FAutoScrollTimer->SetEnabled(true);
  }
}

void TPGImage::PicBoxMouseMove(TObject* Sender, TShiftState Shift, int32_t X, int32_t Y) {
  (void)Sender, (void)Shift;
  if (FDragState == dsNone) return;
  TPoint q = BoxToImage(TPoint{X, Y});
  int32_t ox = FDragOffset.X, oy = FDragOffset.Y;
  int32_t l = FSelectionLeft, t = FSelectionTop, w = FSelectionWidth, h = FSelectionHeight;
  auto moveLeft = [&] {
    int32_t nl = std::min(q.X - ox, FSelectionLeft + FSelectionWidth - 1);
    w = FSelectionWidth + FSelectionLeft - nl;
    l = nl;
  };
  auto moveTop = [&] {
    int32_t nt = std::min(q.Y - oy, FSelectionTop + FSelectionHeight - 1);
    h = FSelectionHeight + FSelectionTop - nt;
    t = nt;
  };
  switch (FDragState) {
    case dsCreateSelection: SetSelectionFromAnchor(X, Y); return;
    case dsTopLeft: moveLeft(), moveTop(); break;
    case dsTopMiddle: moveTop(); break;
    case dsTopRight: w = std::max(q.X - ox, 1), moveTop(); break;
    case dsLeftMiddle: moveLeft(); break;
    case dsRightMiddle: w = std::max(q.X - ox, 1); break;
    case dsBottomLeft: moveLeft(), h = std::max(q.Y - oy, 1); break;
    case dsBottomMiddle: h = std::max(q.Y - oy, 1); break;
    case dsBottomRight: w = std::max(q.X - ox, 1), h = std::max(q.Y - oy, 1); break;
    case dsMoveSelection:
      l = std::min(std::max(q.X - ox, 1 - FSelectionWidth), FImageWidth - 1);
      t = std::min(std::max(q.Y - oy, 1 - FSelectionHeight), FImageHeight - 1);
      break;
    case dsMoveImage: {
      int32_t oldH = FHorzScrollBar->Position(), oldV = FVertScrollBar->Position();
      FHorzScrollBar->SetPosition(oldH + FDragStart.X - X);
      FVertScrollBar->SetPosition(oldV + FDragStart.Y - Y);
      FDragStart = {X + FHorzScrollBar->Position() - oldH, Y + FVertScrollBar->Position() - oldV};
      Update();
      return;
    }
    case dsNone: return;
  }
  SetSelectionBounds(l, t, w, h);
}

void TPGImage::PicBoxMouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  (void)Sender, (void)Button, (void)Shift, (void)X, (void)Y;
  EndDrag();
}

void TPGImage::EndDrag() {
  TPGDragState was = FDragState;
  if (was == dsNone) return;
  // Over before the capture goes, so that losing it ends nothing twice.
  FDragState = dsNone;
  delete FAutoScrollTimer;
  FAutoScrollTimer = nullptr;
  if (FPicBox->MouseCapture()) FPicBox->SetMouseCapture(false);
  if (was != dsMoveImage) {
    SetSelection(true);
    if (OnSelectionMade) OnSelectionMade(this);
  }
}

void TPGImage::AutoScrollTimer(TObject* Sender) {
  (void)Sender;
  TPoint p;
  GetCursorPos(p);
  p = ScreenToClient(p);
  TPGImageScrollBar* hb = FHorzScrollBar.get();
  TPGImageScrollBar* vb = FVertScrollBar.get();
  if (p.X < 0 && hb->Position() > 0) hb->SetPosition(hb->Position() - 5);
  if (p.Y < 0 && vb->Position() > 0) vb->SetPosition(vb->Position() - 5);
  if (p.X >= ClientWidth() && hb->Range() - ClientWidth() > hb->Position()) hb->SetPosition(hb->Position() + 5);
  if (p.Y >= ClientHeight() && vb->Range() - ClientHeight() > vb->Position()) vb->SetPosition(vb->Position() + 5);
}

void TPGImage::ChooseCursor(TMessage& Message) {
  if (reinterpret_cast<HWND>(Message.WParam) != FHandle || LoWord(Message.LParam) != HTCLIENT ||
      (ComponentState() & csDesigning)) {
    TWinControl::WndProc(Message);
    return;
  }
  HCURSOR cur;
  if (Screen->Cursor() != crDefault) {
    cur = Screen->Cursors(Screen->Cursor());
  } else {
    TPoint sp;
    GetCursorPos(sp);
    TPoint p = ScreenToClient(sp);
    TControl* c = ControlAtPos(p, false, true);
    cur = Screen->Cursors(c ? c->Cursor() : Cursor());
    if (c == FPicBox) {
      TRect r = SelectionBoxRect();
      TPoint bp{p.X - FPicBox->Left(), p.Y - FPicBox->Top()};
      if (FActionMode == amMoveImage || FActionMode == amMoveSelectionMoveImage) {
        if ((FPicBox->Width() > ClientWidth() && FHorzScrollBar->Visible()) ||
            (FPicBox->Height() > ClientHeight() && FVertScrollBar->Visible()))
          cur = FDragState == dsMoveImage ? PGCursorHandGrab : PGCursorHand;
      }
      if (FActionMode == amMoveResizeCreateSelection || FActionMode == amCreateSelection) cur = PGCursorSelect;
      if ((FActionMode == amMoveResizeCreateSelection || FActionMode == amMoveSelection ||
           FActionMode == amMoveSelectionMoveImage) &&
          FSelection && Contains(r, bp))
        cur = PGCursorMoveSelection;
      if (FActionMode == amMoveResizeCreateSelection && FSelection) {
        TRect h[8];
        HandleRects(r, h);
        if (Contains(h[1], bp) || Contains(h[6], bp)) cur = Screen->Cursors(crSizeNS);
        if (Contains(h[3], bp) || Contains(h[4], bp)) cur = Screen->Cursors(crSizeWE);
        if (Contains(h[0], bp) || Contains(h[7], bp)) cur = Screen->Cursors(crSizeNWSE);
        if (Contains(h[2], bp) || Contains(h[5], bp)) cur = Screen->Cursors(crSizeNESW);
      }
      if (PicBoxOnSetCursor) PicBoxOnSetCursor(this, cur);
    } else if (!c && OnSetCursor) {
      OnSetCursor(this, cur);
    }
  }
  ::SetCursor(cur);
  Message.Result = 1;
}
