// TDock: packs its bars into rows along one edge of a form and sizes itself
// to the total thickness of the rows.
#include <algorithm>
#include <climits>

#include "controls/toolbars.h"
#include "platform/gdi/dc.h"
#include "platform/gdi/objects.h"

int32_t DockTypeOf(const TDock* Dock) {
  if (!Dock) return 0;
  return Dock->Position() == dpLeft || Dock->Position() == dpRight ? 2 : 1;
}

TDock::TDock(TComponent* AOwner) : TCustomControl(AOwner) {
  if (!dynamic_cast<TCustomForm*>(AOwner)) throw EInvalidOperation("TDock must be owned by a form");
  FAllowDrag = true;
  FBackground = std::make_unique<TBitmap>();
  FBackground->OnChange = [this](TObject*) { BackgroundChanged(); };
  ++FArrangeLock;
  FControlStyle = (FControlStyle | csAcceptsControls | csNoStdEvents) &
                  ~(csOpaque | csCaptureMouse | csClickEvents);
  FPosition = dpTop;
  SetAlign(alTop);
  SetColor(clBtnFace);
  --FArrangeLock;
  ArrangeToolbars();
}

TDock::~TDock() = default;

void TDock::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  if (!(ComponentState() & csDesigning)) Params.WindowClassStyle &= ~(CS_HREDRAW | CS_VREDRAW);
}

void TDock::SetParent(TWinControl* AParent) {
  if (dynamic_cast<TToolbar*>(AParent) || dynamic_cast<TDock*>(AParent))
    throw EInvalidOperation("A TDock control cannot be placed inside a TToolbar or another TDock");
  TCustomControl::SetParent(AParent);
}

void TDock::SetVisible(bool Value) {
  if (!Value && Visible()) throw EInvalidOperation("Cannot hide a TDock");
  TCustomControl::SetVisible(Value);
}

void TDock::SetPosition(TDockPosition Value) {
  if (ControlCount() > 0) throw EInvalidOperation("Cannot change Position of a TDock if it already contains controls");
  FPosition = Value;
  static const TAlign aligns[] = {alTop, alBottom, alLeft, alRight};
  SetAlign(aligns[Value]);
}

void TDock::SetAllowDrag(bool Value) {
  if (Value == FAllowDrag) return;
  FAllowDrag = Value;
  for (int32_t i = 0; i < ControlCount(); ++i)
    if (auto* bar = dynamic_cast<TToolbar*>(Controls(i))) {
      bar->Invalidate();
      bar->UpdateToolbarLayout();
    }
}

void TDock::SetBoundLines(TDockBoundLines Value) {
  if (Value == FBoundLines) return;
  FBoundLines = Value;
  if (HandleAllocated())
    SetWindowPos(FHandle, nullptr, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void TDock::SetBackground(TBitmap* Value) { FBackground->Assign(Value); }

void TDock::SetBackgroundTransparent(bool Value) {
  if (Value == FBackgroundTransparent) return;
  FBackgroundTransparent = Value;
  BackgroundChanged();
}

void TDock::SetFixAlign(bool Value) {
  if (Value == FFixAlign) return;
  FFixAlign = Value;
  ArrangeToolbars();
}

void TDock::BackgroundChanged() {
  FBackgroundCache.reset();
  Invalidate();
  for (int32_t i = 0; i < ControlCount(); ++i)
    if (auto* bar = dynamic_cast<TToolbar*>(Controls(i))) bar->Invalidate();
}

HPALETTE TDock::GetPalette() { return FBackground->GetPalette(); }

void TDock::Loaded() {
  TCustomControl::Loaded();
  ArrangeToolbars();
}

void TDock::AlignControls(TControl* AControl, TRect& Rect) {
  TCustomControl::AlignControls(AControl, Rect);
  ArrangeToolbars();
}

int32_t TDock::LengthAlong(TToolbar* Bar) const { return DockTypeOf(this) == 2 ? Bar->Height() : Bar->Width(); }

int32_t TDock::GetHighestRow() const {
  int32_t highest = -1;
  for (TToolbar* bar : FDockList) highest = std::max(highest, bar->FDockRow);
  return highest;
}

void TDock::GetRowSize(int32_t Row, TToolbar* Bar, TToolbarRowSize& Size) const {
  if (Row >= 0 && Row < static_cast<int32_t>(FRowSizes.size())) Size = FRowSizes[static_cast<size_t>(Row)];
  else if (Bar) Size = Bar->FBarSize;
  else Size = TToolbarRowSize{0, 0, 0, 0};
}

void TDock::BuildRowSizes() {
  FRowSizes.clear();
  int32_t highest = GetHighestRow();
  for (int32_t r = 0; r <= highest; ++r) {
    TToolbarRowSize s{8, 8, 0, 0};
    for (TToolbar* bar : FDockList)
      if (bar->FDockRow == r) {
        s.HorzThickness = std::max(s.HorzThickness, bar->FBarSize.HorzThickness);
        s.VertThickness = std::max(s.VertThickness, bar->FBarSize.VertThickness);
      }
    s.HorzExtent = s.HorzThickness + 4;
    s.VertExtent = s.VertThickness + 4;
    FRowSizes.push_back(s);
  }
}

void TDock::ChangeDockSize(bool ClientSize, int32_t NewWidth, int32_t NewHeight) {
  if (ClientSize && HandleAllocated()) {
    NewWidth += Width() - ClientWidth();
    NewHeight += Height() - ClientHeight();
  }
  int32_t left = Left(), top = Top();
  switch (Align()) {
    case alBottom: top += Height() - NewHeight; break;
    case alRight: left += Width() - NewWidth; break;
    case alTop:
    case alLeft: break;
    default: return;
  }
  SetBounds(left, top, NewWidth, NewHeight);
}

void TDock::ArrangeToolbars() {
  if (FArrangeLock > 0 || FArranging || (ComponentState() & csLoading)) return;
  FArranging = true;
  struct TReset {
    bool& Flag;
    ~TReset() { Flag = false; }
  } reset{FArranging};
  bool vertical = DockTypeOf(this) == 2;
  if (FDockList.empty()) {
    int32_t size = (ComponentState() & csDesigning) ? 9 : (FFixAlign ? 1 : 0);
    FRowSizes.clear();
    if (vertical) ChangeDockSize(false, size, Height());
    else ChangeDockSize(false, Width(), size);
    return;
  }
  std::stable_sort(FDockList.begin(), FDockList.end(), [](TToolbar* a, TToolbar* b) {
    if (a->FDockRow != b->FDockRow) return a->FDockRow < b->FDockRow;
    return a->FDockPos < b->FDockPos;
  });
  if (FLimitToOneRow)
    for (TToolbar* bar : FDockList) bar->FDockRow = 0;
  // Empty rows close up, one of two adjacent empty rows per pass.
  int32_t highest = GetHighestRow();
  for (int32_t r = 0; r <= highest; ++r) {
    bool used = std::any_of(FDockList.begin(), FDockList.end(), [r](TToolbar* b) { return b->FDockRow == r; });
    if (!used) {
      for (TToolbar* bar : FDockList)
        if (bar->FDockRow > r) --bar->FDockRow;
      --highest;
    }
  }
  BuildRowSizes();
  int32_t clientAlong = vertical ? ClientHeight() : ClientWidth();
  for (int32_t r = 0; r <= highest; ++r) {
    std::vector<TToolbar*> row;
    for (TToolbar* bar : FDockList)
      if (bar->FDockRow == r) row.push_back(bar);
    // Overlapping bars are pushed along.
    int32_t p = 0;
    for (TToolbar* bar : row) {
      if (bar->FDockPos <= p) bar->FDockPos = p;
      else p = bar->FDockPos;
      p += LengthAlong(bar);
    }
    // A row running past the dock's end moves back by its last bar's overflow.
    for (size_t i = 0; i < row.size(); ++i)
      for (size_t j = row.size(); j-- > i;) {
        int32_t excess = row[j]->FDockPos + LengthAlong(row[j]) - clientAlong;
        if (excess > 0) {
          row[i]->FDockPos -= excess;
          break;
        }
      }
  }
  int32_t o = 0;
  for (int32_t r = 0; r <= highest; ++r) {
    int32_t p = 0;
    int32_t horzExtent = 8, vertExtent = 8;
    for (TToolbar* bar : FDockList) {
      if (bar->FDockRow != r) continue;
      TToolbarRowSize s;
      GetRowSize(r, bar, s);
      horzExtent = std::max(horzExtent, s.HorzExtent);
      vertExtent = std::max(vertExtent, s.VertExtent);
      if (bar->FDockPos <= p) bar->FDockPos = p;
      else p = bar->FDockPos;
      ++bar->FDockPlacementLock;
      if (vertical) bar->SetBounds(o, p, vertExtent, bar->Height());
      else bar->SetBounds(p, o, bar->Width(), horzExtent);
      --bar->FDockPlacementLock;
      p += LengthAlong(bar);
    }
    o += vertical ? vertExtent : horzExtent;
  }
  if (vertical) ChangeDockSize(true, o, ClientHeight());
  else ChangeDockSize(true, ClientWidth(), o);
}

void TDock::InsertRemoveBar(bool Inserting, TToolbar* Bar, bool Visible) {
  auto it = std::find(FDockList.begin(), FDockList.end(), Bar);
  bool changed = false;
  if (Inserting) {
    if (it != FDockList.end()) FDockList.erase(it);
    if ((ComponentState() & csDesigning) || Visible) {
      FDockList.push_back(Bar);
      changed = true;
    }
  } else if (it != FDockList.end()) {
    FDockList.erase(it);
    changed = true;
  }
  if (!changed) return;
  ArrangeToolbars();
  Bar->ArrangeControls(true, true, nullptr, Bar->FFloatingWrapWidth, this, DockTypeOf(this));
  if (OnInsertRemoveBar) OnInsertRemoveBar(this, Inserting, Bar);
}

int32_t TDock::GetRowOf(int32_t Pos, bool& Insert) const {
  int32_t highest = GetHighestRow();
  bool vertical = DockTypeOf(this) == 2;
  int64_t s = 0;
  for (int32_t i = 0; i <= highest + 1; ++i) {
    int64_t end = INT32_MAX;
    if (i <= highest && i < static_cast<int32_t>(FRowSizes.size())) {
      const TToolbarRowSize& rs = FRowSizes[static_cast<size_t>(i)];
      end = s + (vertical ? rs.VertExtent : rs.HorzExtent);
    }
    if (Pos <= s + 5) {
      Insert = true;
      return i;
    }
    if (s + 5 <= Pos && Pos <= end - 5) {
      Insert = false;
      return i;
    }
    s = end;
  }
  Insert = true;
  return highest + 1;
}

int32_t TDock::GetDesignModeRowOf(int32_t Pos) const {
  bool vertical = DockTypeOf(this) == 2;
  int32_t end = 0;
  for (size_t i = 0; i < FRowSizes.size(); ++i) {
    end += vertical ? FRowSizes[i].VertExtent : FRowSizes[i].HorzExtent;
    if (end > Pos) return static_cast<int32_t>(i);
  }
  return GetHighestRow() + 1;
}

void TDock::InsertRowBefore(int32_t Row) {
  for (TToolbar* bar : FDockList)
    if (bar->FDockRow >= Row) ++bar->FDockRow;
}

void TDock::DrawBackground(TCanvas* Canvas, const TRect& ClipRect, const TRect& TileRect) {
  if (FBackground->Empty() || FBackground->Width() == 0 || FBackground->Height() == 0) return;
  TBitmap* tile = FBackground.get();
  if (FBackgroundTransparent) {
    if (!FBackgroundCache) {
      auto cache = std::make_unique<TBitmap>();
      cache->SetPalette(FBackground->GetPalette());
      cache->SetSize(FBackground->Width(), FBackground->Height());
      TRect r{0, 0, FBackground->Width(), FBackground->Height()};
      cache->Canvas()->Brush()->SetColor(Color());
      cache->Canvas()->FillRect(r);
      TColor transparent = FBackground->Canvas()->Pixels(0, FBackground->Height() - 1);
      cache->Canvas()->BrushCopy(r, FBackground.get(), r, transparent);
      FBackgroundCache = std::move(cache);
    }
    tile = FBackgroundCache.get();
  }
  HDC dc = Canvas->Handle();
  IntersectClipRect(dc, ClipRect.Left, ClipRect.Top, ClipRect.Right, ClipRect.Bottom);
  int32_t w = tile->Width(), h = tile->Height();
  for (int32_t x = TileRect.Left; x < TileRect.Right; x += w)
    for (int32_t y = TileRect.Top; y < TileRect.Bottom; y += h) Canvas->Draw(x, y, tile);
  SelectClipRgn(dc, nullptr);
}

void TDock::Paint() {
  TRect r = ClientRect();
  if (ComponentState() & csDesigning) {
    Canvas()->Pen()->SetStyle(psDot);
    Canvas()->Pen()->SetColor(clBtnShadow);
    Canvas()->Brush()->SetStyle(bsClear);
    Canvas()->Rectangle(r);
    Canvas()->Pen()->SetStyle(psSolid);
    Canvas()->Brush()->SetStyle(bsSolid);
    InflateRect(r, -1, -1);
  }
  if (!FBackground->Empty()) {
    TRect tile = ClientRect();
    TPoint offset = HandleAllocated() ? GetClientOffset(FHandle) : TPoint{0, 0};
    OffsetRect(tile, -(Left() + offset.X), -(Top() + offset.Y));
    // The tiling starts at the parent's client origin and covers this dock.
    tile.Right = r.Right;
    tile.Bottom = r.Bottom;
    DrawBackground(Canvas(), r, tile);
  }
}

void TDock::PaintBoundLines() {
  TRect wr;
  GetWindowRect(FHandle, wr);
  OffsetRect(wr, -wr.Left, -wr.Top);
  if (wr.Width() < 2 || wr.Height() < 2) return;
  HDC dc = GetWindowDC(FHandle);
  HPEN shadow = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW));
  HPEN highlight = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNHIGHLIGHT));
  HGDIOBJ old = SelectObject(dc, shadow);
  if (FBoundLines & BoundLine(blTop)) {
    MoveToEx(dc, 0, 0, nullptr);
    LineTo(dc, wr.Right, 0);
  }
  if (FBoundLines & BoundLine(blLeft)) {
    MoveToEx(dc, 0, 0, nullptr);
    LineTo(dc, 0, wr.Bottom);
  }
  SelectObject(dc, highlight);
  if (FBoundLines & BoundLine(blBottom)) {
    MoveToEx(dc, 0, wr.Bottom - 1, nullptr);
    LineTo(dc, wr.Right, wr.Bottom - 1);
  }
  if (FBoundLines & BoundLine(blRight)) {
    MoveToEx(dc, wr.Right - 1, 0, nullptr);
    LineTo(dc, wr.Right - 1, wr.Bottom);
  }
  SelectObject(dc, old);
  DeleteObject(shadow);
  DeleteObject(highlight);
  ReleaseDC(FHandle, dc);
}

void TDock::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_MOVE:
      TCustomControl::WndProc(Message);
      if (FBackground->Width() > 0 && FBackground->Height() > 0) BackgroundChanged();
      return;
    case WM_NCCALCSIZE: {
      TCustomControl::WndProc(Message);
      auto* p = reinterpret_cast<TNCCalcSizeParams*>(Message.LParam);
      TRect& r = p->rgrc[0];
      if (r.Width() > 1 && r.Height() > 1) {
        if (FBoundLines & BoundLine(blTop)) ++r.Top;
        if (FBoundLines & BoundLine(blBottom)) --r.Bottom;
        if (FBoundLines & BoundLine(blLeft)) ++r.Left;
        if (FBoundLines & BoundLine(blRight)) --r.Right;
      }
      return;
    }
    case WM_NCPAINT:
      TCustomControl::WndProc(Message);
      if (FBoundLines) PaintBoundLines();
      return;
    case CM_SYSCOLORCHANGE:
      TCustomControl::WndProc(Message);
      BackgroundChanged();
      return;
  }
  TCustomControl::WndProc(Message);
}
