// TToolbarButton and TToolbarSep: the flat speed button with hot tracking,
// grouping and drop-down menus, its glyph images, and the separator.
#include <algorithm>

#include "controls/toolbars_internal.h"
#include "platform/gdi/dc.h"
#include "platform/gdi/edges.h"
#include "platform/gdi/objects.h"
#include "platform/gdi/text.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/std_controls.h"

namespace {

TGlyphCache* GlyphCache = nullptr;
std::unique_ptr<TBitmap>* PatternBitmap = nullptr;
TColor PatternFace = 0, PatternHighlight = 0;
int32_t ButtonCount = 0;

void FreePattern() {
  delete PatternBitmap;
  PatternBitmap = nullptr;
}

// The 8 x 8 dither of a button held down: highlight where x and y are
// both even or both odd, face elsewhere.
TBitmap* Pattern() {
  if (!PatternBitmap) {
    PatternBitmap = new std::unique_ptr<TBitmap>(std::make_unique<TBitmap>());
    TBitmap* b = PatternBitmap->get();
    b->SetSize(8, 8);
    PatternFace = ColorToRGB(clBtnFace);
    PatternHighlight = ColorToRGB(clBtnHighlight);
    for (int32_t y = 0; y < 8; ++y)
      for (int32_t x = 0; x < 8; ++x) b->Canvas()->SetPixels(x, y, (x % 2) == (y % 2) ? PatternHighlight : PatternFace);
  }
  return PatternBitmap->get();
}

bool SameRGB(TColor A, TColor B) { return (ColorToRGB(A) & 0xFFFFFF) == (ColorToRGB(B) & 0xFFFFFF); }

}  // namespace

TToolbarButton* TToolbarButton::HotButton() { return HotTrackButton; }

// ---- TToolbarSep ----

TToolbarSep::TToolbarSep(TComponent* AOwner) : TGraphicControl(AOwner) {
  FControlStyle &= ~(csCaptureMouse | csOpaque);
  SetBounds(0, 0, 6, 6);
}

void TToolbarSep::SetParent(TWinControl* AParent) {
  if (AParent && !dynamic_cast<TToolbar*>(AParent))
    throw EInvalidOperation("TToolbarSep can only be placed on a TToolbar");
  TGraphicControl::SetParent(AParent);
}

void TToolbarSep::SetBlank(bool Value) {
  FBlank = Value;
  Invalidate();
}

void TToolbarSep::SetSizeHorz(int32_t Value) {
  FSizeHorz = std::max(1, Value);
  if (auto* bar = dynamic_cast<TToolbar*>(FParent)) bar->UpdateToolbarLayout();
}

void TToolbarSep::SetSizeVert(int32_t Value) {
  FSizeVert = std::max(1, Value);
  if (auto* bar = dynamic_cast<TToolbar*>(FParent)) bar->UpdateToolbarLayout();
}

void TToolbarSep::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TGraphicControl::MouseDown(Button, Shift, X, Y);
  // A drag may start on a separator: the bar hears of the press.
  if (auto* bar = dynamic_cast<TToolbar*>(FParent)) bar->MouseDown(Button, Shift, X + Left(), Y + Top());
}

void TToolbarSep::Paint() {
  auto* bar = dynamic_cast<TToolbar*>(FParent);
  if (!bar) return;
  TCanvas* c = Canvas();
  if (ComponentState() & csDesigning) {
    c->Pen()->SetStyle(psDot);
    c->Pen()->SetColor(clBtnShadow);
    c->Brush()->SetStyle(bsClear);
    c->Rectangle(0, 0, Width(), Height());
    c->Pen()->SetStyle(psSolid);
  }
  if (FBlank) return;
  if (DockTypeOf(bar->DockedTo()) == 2) {
    c->Pen()->SetColor(clBtnShadow);
    c->MoveTo(0, Height() / 2 - 1);
    c->LineTo(Width(), Height() / 2 - 1);
    c->Pen()->SetColor(clBtnHighlight);
    c->MoveTo(0, Height() / 2);
    c->LineTo(Width(), Height() / 2);
  } else {
    c->Pen()->SetColor(clBtnShadow);
    c->MoveTo(Width() / 2 - 1, 0);
    c->LineTo(Width() / 2 - 1, Height());
    c->Pen()->SetColor(clBtnHighlight);
    c->MoveTo(Width() / 2, 0);
    c->LineTo(Width() / 2, Height());
  }
}

// ---- glyph lists ----

TGlyphList::TGlyphList(int32_t AWidth, int32_t AHeight) : TImageList(nullptr) {
  SetWidth(AWidth);
  SetHeight(AHeight);
}

int32_t TGlyphList::AllocateIndex() {
  for (size_t i = 0; i < FUsed.size(); ++i)
    if (!FUsed[i]) {
      FUsed[i] = true;
      return static_cast<int32_t>(i);
    }
  FUsed.push_back(true);
  return static_cast<int32_t>(FUsed.size() - 1);
}

int32_t TGlyphList::AddMasked(TBitmap* Image, TColor MaskColor) {
  if (!Image || Image->Width() < Width() || Image->Height() < Height())
    throw EInvalidOperation("Invalid image size");
  int32_t index = AllocateIndex();
  if (index < TCustomImageList::Count()) ReplaceMasked(index, Image, MaskColor);
  else TCustomImageList::AddMasked(Image, MaskColor);
  ++FCount;
  return index;
}

void TGlyphList::Delete(int32_t Index) {
  if (Index < 0 || Index >= static_cast<int32_t>(FUsed.size()) || !FUsed[static_cast<size_t>(Index)]) return;
  FUsed[static_cast<size_t>(Index)] = false;
  --FCount;
}

TGlyphCache::~TGlyphCache() {
  for (TGlyphList* l : FLists) delete l;
}

TGlyphList* TGlyphCache::GetList(int32_t AWidth, int32_t AHeight) {
  for (TGlyphList* l : FLists)
    if (l->Width() == AWidth && l->Height() == AHeight) return l;
  FLists.push_back(new TGlyphList(AWidth, AHeight));
  return FLists.back();
}

void TGlyphCache::ReturnList(TGlyphList* List) {
  if (!List || List->Count() != 0) return;
  auto it = std::find(FLists.begin(), FLists.end(), List);
  if (it != FLists.end()) FLists.erase(it);
  delete List;
}

// ---- TButtonGlyph ----

TButtonGlyph::TButtonGlyph() : FOriginal(std::make_unique<TBitmap>()) {
  FOriginal->OnChange = [this](TObject*) { GlyphChanged(); };
}

TButtonGlyph::~TButtonGlyph() {
  Invalidate();
  if (GlyphCache && GlyphCache->Empty()) {
    delete GlyphCache;
    GlyphCache = nullptr;
  }
}

void TButtonGlyph::Invalidate() {
  for (int32_t& index : FIndexs) {
    if (index != -1 && FGlyphList) FGlyphList->Delete(index);
    index = -1;
  }
  if (FGlyphList && GlyphCache) GlyphCache->ReturnList(FGlyphList);
  FGlyphList = nullptr;
}

void TButtonGlyph::GlyphChanged() {
  if (FUpdating) return;
  Invalidate();
  FTransparentColor = FOriginal->TransparentColor();
  if (OnChange) OnChange();
}

void TButtonGlyph::SetGlyph(TBitmap* Value) {
  Invalidate();
  FUpdating = true;
  if (Value) FOriginal->Assign(Value);
  else FOriginal->SetHandle(nullptr);
  FUpdating = false;
  if (Value && Value->Height() > 0 && Value->Width() % Value->Height() == 0) {
    int32_t n = Value->Width() / Value->Height();
    if (n > 5) n = 1;
    FNumGlyphs = std::max(1, n);
  }
  FTransparentColor = FOriginal->Empty() ? 0x008080 : FOriginal->TransparentColor();
  if (OnChange) OnChange();
}

void TButtonGlyph::SetNumGlyphs(TNumGlyphs Value) {
  Value = std::clamp(Value, 1, 5);
  if (Value == FNumGlyphs) return;
  Invalidate();
  FNumGlyphs = Value;
  if (OnChange) OnChange();
}

void TButtonGlyph::SetOldDisabledStyle(bool Value) {
  FOldDisabledStyle = Value;
  Invalidate();
}

int32_t TButtonGlyph::CreateButtonGlyph(TButtonState State) {
  if (State != bsDisabled && State >= FNumGlyphs) State = bsUp;
  if (FIndexs[State] != -1) return FIndexs[State];
  if (FOriginal->Empty() || FOriginal->Width() == 0 || FOriginal->Height() == 0) return -1;
  int32_t iw = FOriginal->Width() / FNumGlyphs + 1, ih = FOriginal->Height() + 1;
  if (!GlyphCache) GlyphCache = new TGlyphCache();
  if (!FGlyphList) FGlyphList = GlyphCache->GetList(iw, ih);
  int32_t cw = iw - 1, ch = ih - 1;
  int32_t cell = State < FNumGlyphs ? State : 0;
  TRect src{cell * cw, 0, cell * cw + cw, ch};
  TCanvas* from = FOriginal->Canvas();
  TBitmap work;
  work.SetPalette(FOriginal->GetPalette());
  work.SetSize(iw, ih);
  TCanvas* to = work.Canvas();
  TRect all{0, 0, iw, ih};
  const TColor face = ColorToRGB(clBtnFace), highlight = ColorToRGB(clBtnHighlight),
               shadow = ColorToRGB(clBtnShadow);
  const TColor transparent = ColorToRGB(FTransparentColor) & 0xFFFFFF;
  int32_t index;
  if (State == bsDisabled && FNumGlyphs == 1) {
    // Embossed: a white copy one pixel down and right under a shadow copy of
    // the glyph's dark pixels.
    std::vector<uint8_t> dark(static_cast<size_t>(cw * ch));
    for (int32_t y = 0; y < ch; ++y)
      for (int32_t x = 0; x < cw; ++x) {
        TColor c = ColorToRGB(from->Pixels(src.Left + x, y)) & 0xFFFFFF;
        bool isDark = FOldDisabledStyle ? c == 0 : !(c == transparent || c == 0xFFFFFF || c == 0xC0C0C0);
        dark[static_cast<size_t>(y * cw + x)] = isDark;
      }
    to->Brush()->SetColor(face);
    to->FillRect(all);
    for (int32_t y = 0; y < ch; ++y)
      for (int32_t x = 0; x < cw; ++x)
        if (dark[static_cast<size_t>(y * cw + x)]) to->SetPixels(x + 1, y + 1, highlight);
    for (int32_t y = 0; y < ch; ++y)
      for (int32_t x = 0; x < cw; ++x)
        if (dark[static_cast<size_t>(y * cw + x)]) to->SetPixels(x, y, shadow);
    index = FGlyphList->AddMasked(&work, face);
  } else if (State == bsDisabled) {
    to->Brush()->SetColor(transparent);
    to->FillRect(all);
    for (int32_t y = 0; y < ch; ++y)
      for (int32_t x = 0; x < cw; ++x) {
        TColor c = ColorToRGB(from->Pixels(src.Left + x, y)) & 0xFFFFFF;
        if (c == 0xFFFFFF) c = highlight;
        else if (c == 0x808080) c = shadow;
        to->SetPixels(x, y, c);
      }
    index = FGlyphList->AddMasked(&work, transparent);
  } else {
    to->Brush()->SetColor(transparent);
    to->FillRect(all);
    to->CopyRect(TRect{0, 0, cw, ch}, from, src);
    index = FGlyphList->AddMasked(&work, transparent);
  }
  FOriginal->FreeContext();
  FIndexs[State] = index;
  return index;
}

// ---- TToolbarButton ----

TToolbarButton::TToolbarButton(TComponent* AOwner) : TGraphicControl(AOwner) {
  EnsureToolbarsInitialized();
  SetBounds(0, 0, 23, 22);
  FControlStyle = csCaptureMouse | csOpaque | csDoubleClicks;
  FGlyph = std::make_unique<TButtonGlyph>();
  FGlyph->OnChange = [this] { Redraw(true); };
  SetParentFont(true);
  FFlat = FOpaque = FDropdownArrow = true;
  FSpacing = 4;
  FMargin = -1;
  FLayout = blGlyphLeft;
  ++ButtonCount;
}

TToolbarButton::~TToolbarButton() {
  if (HotTrackButton == this) {
    if (TTimer* t = HotTrackTimer()) t->SetEnabled(false);
    HotTrackButton = nullptr;
  }
  FGlyph.reset();
  if (--ButtonCount == 0) FreePattern();
}

void TToolbarButton::BeforeDestruction() {
  if (HotTrackButton == this) {
    if (TTimer* t = HotTrackTimer()) t->SetEnabled(false);
    HotTrackButton = nullptr;
  }
  TGraphicControl::BeforeDestruction();
}

void TToolbarButton::Loaded() {
  TGraphicControl::Loaded();
  FGlyph->CreateButtonGlyph(Enabled() ? bsUp : bsDisabled);
}

HPALETTE TToolbarButton::GetPalette() { return FGlyph->Glyph()->GetPalette(); }

void TToolbarButton::Redraw(bool AllowErase) {
  if (FFlat && !FOpaque && AllowErase) {
    Invalidate();
    return;
  }
  TControlStyle saved = FControlStyle;
  FControlStyle |= csOpaque;
  Invalidate();
  FControlStyle = saved;
}

void TToolbarButton::UpdateOpaqueStyle() {
  if (FOpaque || !FFlat) FControlStyle |= csOpaque;
  else FControlStyle &= ~csOpaque;
}

void TToolbarButton::SetGlyph(TBitmap* Value) {
  FGlyph->SetGlyph(Value);
  Redraw(true);
}

void TToolbarButton::SetNumGlyphs(TNumGlyphs Value) {
  if (Value > 5) Value = 5;
  if (Value == FGlyph->NumGlyphs()) return;
  FGlyph->SetNumGlyphs(Value);
  Redraw(true);
}

void TToolbarButton::BroadcastGroup() {
  if (!FParent) return;
  for (int32_t i = 0; i < FParent->ControlCount(); ++i)
    FParent->Controls(i)->Perform(CM_BUTTONPRESSED, static_cast<WPARAM>(FGroupIndex), reinterpret_cast<LPARAM>(this));
}

void TToolbarButton::SetDown(bool Value) {
  if (FGroupIndex == 0) Value = false;
  if (Value == FDown) return;
  if (FDown && !FAllowAllUp) return;
  FDown = Value;
  FState = Value ? bsExclusive : bsUp;
  Redraw(true);
  if (Value) BroadcastGroup();
}

void TToolbarButton::SetGroupIndex(int32_t Value) {
  if (Value == FGroupIndex) return;
  FGroupIndex = Value;
  BroadcastGroup();
}

void TToolbarButton::SetAllowAllUp(bool Value) {
  if (Value == FAllowAllUp) return;
  FAllowAllUp = Value;
  BroadcastGroup();
}

void TToolbarButton::SetFlat(bool Value) {
  if (Value == FFlat) return;
  FFlat = Value;
  UpdateOpaqueStyle();
  Redraw(true);
}

void TToolbarButton::SetOpaque(bool Value) {
  if (Value == FOpaque) return;
  FOpaque = Value;
  UpdateOpaqueStyle();
  Invalidate();
}

void TToolbarButton::SetLayout(TButtonLayout Value) {
  if (Value == FLayout) return;
  FLayout = Value;
  Redraw(true);
}

void TToolbarButton::SetSpacing(int32_t Value) {
  if (Value == FSpacing) return;
  FSpacing = Value;
  Redraw(true);
}

void TToolbarButton::SetWordWrap(bool Value) {
  if (Value == FWordWrap) return;
  FWordWrap = Value;
  Redraw(true);
}

void TToolbarButton::SetDisplayMode(TButtonDisplayMode Value) {
  if (Value == FDisplayMode) return;
  FDisplayMode = Value;
  Redraw(true);
}

void TToolbarButton::SetDropdownArrow(bool Value) {
  if (Value == FDropdownArrow) return;
  FDropdownArrow = Value;
  Redraw(true);
}

void TToolbarButton::SetMargin(int32_t Value) {
  if (Value == FMargin || Value < -1) return;
  FMargin = Value;
  Redraw(true);
}

void TToolbarButton::SetOldDisabledStyle(bool Value) {
  if (Value == FOldDisabledStyle) return;
  FOldDisabledStyle = Value;
  FGlyph->SetOldDisabledStyle(Value);
  Redraw(true);
}

void TToolbarButton::SetDropdownMenu(TPopupMenu* Value) {
  if (Value == FDropdownMenu) return;
  FDropdownMenu = Value;
  if (Value) Value->FreeNotification(this);
  if (FDropdownArrow) Redraw(true);
}

void TToolbarButton::SetDropdownCombo(bool Value) {
  if (Value == FDropdownCombo) return;
  FDropdownCombo = Value;
  if (!(ComponentState() & csLoading)) {
    if (Value) SetWidth(Width() + 11);
    else SetWidth(std::max(1, Width() - 11));
  }
  Redraw(true);
}

void TToolbarButton::Notification(TComponent* AComponent, TOperation Operation) {
  TGraphicControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FDropdownMenu) FDropdownMenu = nullptr;
}

bool TToolbarButton::PointInside(int32_t X, int32_t Y) {
  int32_t w = Width() - (IsCombo() ? 11 : 0);
  return X >= 0 && X < w && Y >= 0 && Y < Height();
}

void TToolbarButton::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TGraphicControl::MouseDown(Button, Shift, X, Y);
  if (!Enabled()) return;
  if (Button != mbLeft) {
    MouseEntered();
    return;
  }
  if (!FMouseIn) {
    FMouseIn = true;
    if (OnMouseEnter) OnMouseEnter(this);
  }
  FMenuIsDown = FDropdownCombo ? (FDropdownMenu && X >= Width() - 11) : FDropdownMenu != nullptr;
  if (!FDown) {
    FState = bsDown;
    Redraw(true);
  } else if (FAllowAllUp) {
    Redraw(true);
  }
  if (FMenuIsDown) Click();
  else FDragging = true;
  FMenuIsDown = false;
}

void TToolbarButton::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  TGraphicControl::MouseMove(Shift, X, Y);
  TPoint screen = ClientToScreen(TPoint{X, Y});
  if (HotTrackButton != this && FindDragTarget(screen, true) == this) {
    if (HotTrackButton) HotTrackButton->MouseLeft();
    bool sameForm = true;
    if (Screen && Screen->ActiveForm() && ParentForm()) {
      TCustomForm* active = Screen->ActiveForm();
      TCustomForm* mine = ParentForm();
      auto frameOf = [](TCustomForm* F) {
        return F->FormStyle() == fsMDIChild && Application && Application->MainForm() ? Application->MainForm() : F;
      };
      sameForm = frameOf(active) == frameOf(mine);
    }
    if (Application && Application->Active() && sameForm) {
      HotTrackButton = this;
      if (TTimer* t = HotTrackTimer()) {
        t->SetOnTimer([](TObject*) {
          if (!HotTrackButton) return;
          TPoint p;
          GetCursorPos(p);
          if (FindDragTarget(p, true) != HotTrackButton) HotTrackButton->MouseLeft();
        });
        t->SetEnabled(true);
      }
      MouseEntered();
    }
  }
  if (FDragging) {
    TButtonState s = FDown ? bsExclusive : (PointInside(X, Y) ? bsDown : bsUp);
    if (s != FState) {
      FState = s;
      Redraw(true);
    }
  }
}

void TToolbarButton::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  if (Button == mbRight && Enabled()) {
    FDragging = false;
    MouseLeft();
  }
  TGraphicControl::MouseUp(Button, Shift, X, Y);
  if (Button == mbLeft && FDragging) {
    FDragging = false;
    bool inside = PointInside(X, Y);
    if (FGroupIndex != 0) {
      if (inside) SetDown(!FDown);
      else if (FDown) FState = bsExclusive;
    }
    if (inside) Click();
    else UpdateTracking();
  }
}

void TToolbarButton::Click() {
  FInClick = true;
  if (FState == bsUp || FState == bsMouseIn) {
    FState = bsDown;
    Redraw(true);
  }
  MouseLeft();
  if (!FDropdownMenu) {
    TGraphicControl::Click();
  } else if (!FDropdownCombo || FMenuIsDown) {
    PopupDropdown();
  } else {
    TGraphicControl::Click();
  }
  FInClick = false;
  if (FState == bsDown) FState = bsUp;
  if (!(ComponentState() & csDestroying)) {
    Redraw(true);
    UpdateTracking();
  }
}

void TToolbarButton::PopupDropdown() {
  SetMouseCapture(false);
  if (GetCapture()) ReleaseCapture();
  TPopupMenu* menu = FDropdownMenu;
  TPopupAlignment oldAlignment = menu->Alignment();
  menu->SetAlignment(paLeft);
  TPoint p{0, Height()};
  if (auto* bar = dynamic_cast<TToolbar*>(FParent); bar && DockTypeOf(bar->DockedTo()) == 2) {
    if (bar->DockedTo()->Position() == dpLeft) {
      p = TPoint{Width(), 0};
    } else {
      p = TPoint{0, 0};
      menu->SetAlignment(paRight);
    }
  }
  p = ClientToScreen(p);
  menu->SetPopupComponent(this);
  menu->Popup(p.X, p.Y);
  menu->SetAlignment(oldAlignment);
  // The click that closed the menu on this button must not open it again.
  std::vector<TMsg> keep;
  TMsg m;
  while (PeekMessage(m, nullptr, WM_LBUTTONDOWN, WM_MBUTTONDBLCLK, PM_REMOVE)) {
    bool press = m.message == WM_LBUTTONDOWN || m.message == WM_LBUTTONDBLCLK || m.message == WM_RBUTTONDOWN ||
                 m.message == WM_RBUTTONDBLCLK || m.message == WM_MBUTTONDOWN || m.message == WM_MBUTTONDBLCLK;
    if (press && FindDragTarget(m.pt, true) == this) continue;
    keep.push_back(m);
  }
  for (const TMsg& k : keep) PostMessage(k.hwnd, k.message, k.wParam, k.lParam);
}

void TToolbarButton::MouseEntered() {
  if (!Enabled() || FMouseIn) return;
  FMouseIn = true;
  if (FState == bsUp) FState = bsMouseIn;
  Redraw(FDown);
  if (OnMouseEnter) OnMouseEnter(this);
}

void TToolbarButton::MouseLeft() {
  if (!Enabled() || !FMouseIn || FDragging) return;
  if (FState == bsMouseIn || (FState == bsDown && !FInClick)) FState = bsUp;
  FMouseIn = false;
  Redraw(true);
  if (HotTrackButton == this) {
    if (TTimer* t = HotTrackTimer()) t->SetEnabled(false);
    HotTrackButton = nullptr;
  }
  if (OnMouseExit) OnMouseExit(this);
}

void TToolbarButton::UpdateTracking() {
  if (!Enabled()) return;
  TPoint p;
  GetCursorPos(p);
  if (FindDragTarget(p, true) != this) {
    FMouseIn = true;
    MouseLeft();
  } else {
    FMouseIn = false;
    MouseEntered();
  }
}

void TToolbarButton::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_LBUTTONDBLCLK: {
      // The double-click event only reaches a button that is down.
      TNotifyEvent saved = OnDblClick;
      if (!FDown) OnDblClick = nullptr;
      TGraphicControl::WndProc(Message);
      OnDblClick = saved;
      return;
    }
    case CM_ENABLEDCHANGED:
      FGlyph->CreateButtonGlyph(Enabled() ? bsUp : bsDisabled);
      UpdateTracking();
      Redraw(true);
      break;
    case CM_BUTTONPRESSED: {
      auto* sender = reinterpret_cast<TToolbarButton*>(Message.LParam);
      if (static_cast<int32_t>(Message.WParam) == FGroupIndex && sender && sender != this) {
        if (sender->FDown && FDown) {
          FDown = false;
          FState = bsUp;
          Redraw(true);
        }
        FAllowAllUp = sender->FAllowAllUp;
      }
      return;
    }
    case CM_DIALOGCHAR:
      if (IsAccel(static_cast<uint32_t>(Message.WParam), Caption()) && Enabled() && Visible()) {
        Click();
        Message.Result = 1;
        return;
      }
      break;
    case CM_FONTCHANGED:
    case CM_TEXTCHANGED:
      TGraphicControl::WndProc(Message);
      Redraw(true);
      return;
    case CM_SYSCOLORCHANGE:
      TGraphicControl::WndProc(Message);
      if (PatternBitmap && (!SameRGB(PatternFace, clBtnFace) || !SameRGB(PatternHighlight, clBtnHighlight)))
        FreePattern();
      FGlyph->Invalidate();
      FGlyph->CreateButtonGlyph(FState);
      return;
    case CM_MOUSELEAVE:
      TGraphicControl::WndProc(Message);
      MouseLeft();
      return;
  }
  TGraphicControl::WndProc(Message);
}

void TToolbarButton::CalcButtonLayout(const TRect& R, TPoint Offset, bool DrawGlyph, bool DrawCaption,
                                      bool DrawArrow, TPoint& GlyphPos, TRect& TextBounds, TPoint& ArrowPos) {
  TSize client{R.Width(), R.Height()};
  TSize glyph{0, 0};
  TBitmap* g = FGlyph->Glyph();
  if (DrawGlyph && !g->Empty()) glyph = TSize{g->Width() / FGlyph->NumGlyphs(), g->Height()};
  TSize arrow = DrawArrow ? TSize{9, 3} : TSize{0, 0};
  TButtonLayout layout = FLayout;
  if ((layout == blGlyphTop || layout == blGlyphBottom) && glyph.cx == 0) layout = blGlyphLeft;
  bool sideBySide = layout == blGlyphLeft || layout == blGlyphRight;
  int32_t margin = FMargin, spacing = FSpacing;

  TSize text{0, 0};
  if (DrawCaption && !Caption().empty()) {
    int32_t w = client.cx - (sideBySide ? arrow.cx : 0);
    uint32_t flags = DT_CALCRECT;
    if (FWordWrap) {
      flags |= DT_WORDBREAK;
      if (sideBySide && glyph.cx) w -= glyph.cx + (spacing != -1 ? spacing : 4);
      w -= 2 * (margin != -1 ? margin : (spacing != -1 ? spacing : 4));
    } else {
      flags |= DT_SINGLELINE;
    }
    TRect r{0, 0, w, 0};
    DrawText(Canvas()->Handle(), Caption(), &r, flags);
    text = TSize{r.Width(), r.Height()};
  }
  TPoint gp{0, 0}, tp{0, 0}, ap{0, 0};
  if (sideBySide) {
    gp.Y = (client.cy - glyph.cy + 1) / 2;
    tp.Y = (client.cy - text.cy + 1) / 2;
  } else {
    gp.X = (client.cx - glyph.cx - arrow.cx + 1) / 2;
    tp.X = (client.cx - text.cx + 1) / 2;
    ap.X = glyph.cx == 0 ? tp.X + text.cx : gp.X + glyph.cx;
  }
  if (text.cx == 0 || glyph.cx == 0) spacing = 0;
  int32_t total = sideBySide ? client.cx : client.cy;
  int32_t gl = sideBySide ? glyph.cx : glyph.cy;
  int32_t tl = sideBySide ? text.cx : text.cy;
  int32_t al = sideBySide ? arrow.cx : 0;
  if (margin == -1 && spacing == -1) {
    margin = (total - gl - tl - al) / 3;
    spacing = margin;
  } else if (margin == -1) {
    margin = (total - (gl + spacing + tl + al) + 1) / 2;
  } else if (spacing == -1) {
    spacing = (total - (margin + gl + al) - tl) / 2;
  }
  switch (layout) {
    case blGlyphLeft:
      gp.X = margin;
      tp.X = margin + glyph.cx + spacing;
      ap.X = tp.X + text.cx;
      break;
    case blGlyphRight:
      ap.X = client.cx - margin - arrow.cx;
      gp.X = ap.X - glyph.cx;
      tp.X = gp.X - spacing - text.cx;
      break;
    case blGlyphTop:
      gp.Y = margin;
      tp.Y = margin + glyph.cy + spacing;
      break;
    case blGlyphBottom:
      gp.Y = client.cy - margin - glyph.cy;
      tp.Y = gp.Y - spacing - text.cy;
      break;
  }
  ap.Y = glyph.cx == 0 ? tp.Y + (text.cy - 3) / 2 : gp.Y + (glyph.cy - 3) / 2;
  int32_t dx = R.Left + Offset.X, dy = R.Top + Offset.Y;
  GlyphPos = TPoint{gp.X + dx, gp.Y + dy};
  TextBounds = TRect{tp.X + dx, tp.Y + dy, tp.X + dx + text.cx, tp.Y + dy + text.cy};
  ArrowPos = TPoint{ap.X + dx, ap.Y + dy};
}

void TToolbarButton::DrawArrowAt(TCanvas* C, int32_t X, int32_t Y) {
  auto triangle = [C](int32_t x, int32_t y, TColor color) {
    C->Pen()->SetColor(color);
    C->Brush()->SetStyle(bsSolid);
    C->Brush()->SetColor(color);
    C->Polygon({TPoint{x + 4, y}, TPoint{x + 8, y}, TPoint{x + 6, y + 2}});
  };
  if (!Enabled()) {
    triangle(X + 1, Y + 1, clBtnHighlight);
    triangle(X, Y, clBtnShadow);
  } else {
    triangle(X, Y, Font()->Color());
  }
}

void TToolbarButton::Paint() {
  std::unique_ptr<TBitmap> offscreen;
  TCanvas* c = Canvas();
  if (FOpaque || !FFlat) {
    offscreen = std::make_unique<TBitmap>();
    offscreen->SetSize(Width(), Height());
    c = offscreen->Canvas();
    c->Brush()->SetColor(Color());
    c->FillRect(TRect{0, 0, Width(), Height()});
  }
  if (!Enabled()) {
    FState = bsDisabled;
    FDragging = false;
  } else if (FState == bsDisabled) {
    FState = FDown && FGroupIndex ? bsExclusive : bsUp;
  }
  c->Font()->Assign(Font());
  TRect r{0, 0, Width(), Height()};
  HDC dc = c->Handle();
  bool combo = IsCombo();
  bool designing = (ComponentState() & csDesigning) != 0;
  bool pressed = FState == bsDown || FState == bsExclusive;
  bool skipEdges = FFlat && (FState == bsUp || FState == bsDisabled || FState == bsMouseIn) &&
                   !((FMouseIn && FState != bsDisabled) || designing);
  uint32_t raised = FFlat ? BDR_RAISEDINNER : EDGE_RAISED;
  uint32_t sunken = FFlat ? BDR_SUNKENINNER : EDGE_SUNKEN;
  uint32_t flags = FFlat ? BF_RECT : (BF_RECT | BF_MIDDLE | BF_SOFT);
  if (skipEdges) {
    if (combo) r.Right -= 11;
  } else {
    if (combo) {
      TRect part{r.Right - 11, r.Top, r.Right - 2, r.Bottom};
      DrawEdge(dc, &part, pressed && FMenuIsDown ? sunken : raised, flags);
      r.Right -= 11;
    }
    TRect body = r;
    DrawEdge(dc, &body, pressed && !(combo && FMenuIsDown) ? sunken : raised, flags);
  }
  InflateRect(r, FFlat ? -1 : -2, FFlat ? -1 : -2);
  TPoint offset{1, 1};
  if (FState == bsUp || FState == bsDisabled || FState == bsMouseIn || (combo && FMenuIsDown)) offset = TPoint{0, 0};
  if (FState == bsExclusive && !(FFlat && FMouseIn)) {
    c->Brush()->SetBitmap(Pattern());
    c->FillRect(r);
    c->Brush()->SetBitmap(nullptr);
  }
  bool drawCaption = FDisplayMode != dmGlyphOnly;
  bool drawGlyph = FDisplayMode != dmTextOnly;
  bool drawArrow = FDropdownArrow && !FDropdownCombo && FDropdownMenu;
  TPoint gp, ap;
  TRect tb;
  CalcButtonLayout(r, offset, drawGlyph, drawCaption, drawArrow, gp, tb, ap);
  if (drawGlyph) {
    int32_t index = FGlyph->CreateButtonGlyph(FState);
    if (index >= 0 && FGlyph->GlyphList()) FGlyph->GlyphList()->Draw(c, gp.X, gp.Y, index);
  }
  if (drawCaption && !Caption().empty()) {
    c->Brush()->SetStyle(bsClear);
    uint32_t tf = DT_CENTER | DT_VCENTER | (FWordWrap ? DT_WORDBREAK : DT_SINGLELINE);
    DrawCaption(c, Caption(), tb, tf, FState != bsDisabled);
    c->Brush()->SetStyle(bsSolid);
  }
  if (drawArrow) DrawArrowAt(c, ap.X, ap.Y);
  if (combo) DrawArrowAt(c, Width() - 13, Height() / 2 - 1);
  if (offscreen) Canvas()->Draw(0, 0, offscreen.get());
}
