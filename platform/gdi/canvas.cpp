// TCanvas, TPen, TBrush and TFont.
#include "platform/gdi/canvas.h"

#include "platform/base/exception.h"
#include "platform/base/numeric.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/dc.h"
#include "platform/gdi/objects.h"
#include "platform/gdi/text.h"

// ---- TGraphicsObject ----

TGraphicsObject::~TGraphicsObject() { FreeHandle(); }

void TGraphicsObject::FreeHandle() {
  if (FHandle) DeleteObject(FHandle);
  FHandle = nullptr;
}

void TGraphicsObject::Changed() {
  FreeHandle();
  if (OnChange) OnChange(this);
}

// ---- TPen ----

void TPen::Assign(TPersistent* Source) {
  if (auto* p = dynamic_cast<TPen*>(Source)) {
    FColor = p->FColor;
    FWidth = p->FWidth;
    FStyle = p->FStyle;
    FMode = p->FMode;
    Changed();
    return;
  }
  TGraphicsObject::Assign(Source);
}

HPEN TPen::Handle() {
  if (!FHandle) {
    static constexpr uint32_t styles[] = {PS_SOLID, PS_DASH, PS_DOT, PS_DASHDOT, PS_DASHDOTDOT, PS_NULL, PS_INSIDEFRAME};
    FHandle = CreatePen(styles[FStyle], FWidth, FColor);
  }
  return FHandle;
}

void TPen::SetColor(TColor Value) {
  if (Value != FColor) {
    FColor = Value;
    Changed();
  }
}
void TPen::SetWidth(int32_t Value) {
  if (Value >= 0 && Value != FWidth) {
    FWidth = Value;
    Changed();
  }
}
void TPen::SetStyle(TPenStyle Value) {
  if (Value != FStyle) {
    FStyle = Value;
    Changed();
  }
}
void TPen::SetMode(TPenMode Value) {
  if (Value != FMode) {
    FMode = Value;
    Changed();
  }
}

// ---- TBrush ----

void TBrush::Assign(TPersistent* Source) {
  if (auto* b = dynamic_cast<TBrush*>(Source)) {
    FColor = b->FColor;
    FStyle = b->FStyle;
    FBitmap = b->FBitmap;
    Changed();
    return;
  }
  TGraphicsObject::Assign(Source);
}

HBRUSH TBrush::Handle() {
  if (!FHandle) {
    if (FBitmap && !FBitmap->Empty()) {
      FHandle = CreatePatternBrush(FBitmap->Handle());
    } else if (FStyle == bsClear) {
      LOGBRUSH lb;
      lb.lbStyle = BS_NULL;
      FHandle = CreateBrushIndirect(lb);
    } else if (FStyle == bsSolid) {
      FHandle = CreateSolidBrush(FColor);
    } else {
      FHandle = CreateHatchBrush(FStyle - bsHorizontal, FColor);
    }
  }
  return FHandle;
}

void TBrush::SetColor(TColor Value) {
  if (Value != FColor || FStyle == bsClear) {
    FColor = Value;
    if (FStyle == bsClear) FStyle = bsSolid;
    Changed();
  }
}
void TBrush::SetStyle(TBrushStyle Value) {
  if (Value != FStyle) {
    FStyle = Value;
    Changed();
  }
}
void TBrush::SetBitmap(TBitmap* Value) {
  FBitmap = Value;
  Changed();
}

// ---- TFont ----

void TFont::Assign(TPersistent* Source) {
  if (auto* f = dynamic_cast<TFont*>(Source)) {
    FName = f->FName;
    FHeight = f->FHeight;
    FColor = f->FColor;
    FStyle = f->FStyle;
    Changed();
    return;
  }
  TGraphicsObject::Assign(Source);
}

HFONT TFont::Handle() {
  if (!FHandle) {
    LOGFONT lf;
    lf.lfHeight = FHeight;
    lf.lfWeight = (FStyle & fsBold) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = (FStyle & fsItalic) ? 1 : 0;
    lf.lfUnderline = (FStyle & fsUnderline) ? 1 : 0;
    lf.lfStrikeOut = (FStyle & fsStrikeOut) ? 1 : 0;
    lf.lfFaceName = FName;
    FHandle = CreateFontIndirect(lf);
  }
  return FHandle;
}

void TFont::SetName(const std::string& Value) {
  if (Value != FName && !Value.empty()) {
    FName = Value;
    Changed();
  }
}
void TFont::SetHeight(int32_t Value) {
  if (Value != FHeight) {
    FHeight = Value;
    Changed();
  }
}
int32_t TFont::Size() const { return -MulDiv(FHeight, 72, 96); }
void TFont::SetSize(int32_t Value) { SetHeight(-MulDiv(Value, 96, 72)); }
void TFont::SetColor(TColor Value) {
  if (Value != FColor) {
    FColor = Value;
    if (OnChange) OnChange(this);  // the colour is not part of the handle
  }
}
void TFont::SetStyle(TFontStyles Value) {
  if (Value != FStyle) {
    FStyle = Value;
    Changed();
  }
}

// ---- TCanvas ----

TCanvas::TCanvas() : FPen(new TPen), FBrush(new TBrush), FFont(new TFont) {
  // A changed object has already let its old handle go; put the DC's own
  // object back so the DC never holds (or hands out) a freed handle.
  FPen->OnChange = [this](TObject*) {
    if ((FState & csPenValid) && FHandle && FOldPen) SelectObject(FHandle, FOldPen);
    FState &= ~csPenValid;
  };
  FBrush->OnChange = [this](TObject*) {
    if ((FState & csBrushValid) && FHandle && FOldBrush) SelectObject(FHandle, FOldBrush);
    FState &= ~csBrushValid;
  };
  FFont->OnChange = [this](TObject*) {
    if ((FState & csFontValid) && FHandle && FOldFont) SelectObject(FHandle, FOldFont);
    FState &= ~csFontValid;
  };
}

TCanvas::~TCanvas() { SetHandle(nullptr); }

HDC TCanvas::Handle() {
  RequiredState(csHandleValid);
  return FHandle;
}

void TCanvas::SetHandle(HDC Value) {
  if (Value == FHandle) return;
  if (FHandle) {
    DeselectHandles();
    FPenPos = PenPos();
  }
  FHandle = Value;
  FState = Value ? csHandleValid : 0;
  if (Value) ::MoveToEx(Value, FPenPos.X, FPenPos.Y, nullptr);
}

void TCanvas::DeselectHandles() {
  if (!FHandle) return;
  if (FOldPen) SelectObject(FHandle, FOldPen);
  if (FOldBrush) SelectObject(FHandle, FOldBrush);
  if (FOldFont) SelectObject(FHandle, FOldFont);
  FOldPen = FOldBrush = FOldFont = nullptr;
  FState &= ~(csPenValid | csBrushValid | csFontValid);
}

void TCanvas::RequiredState(uint8_t State) {
  uint8_t need = State & ~FState;
  if (!need) return;
  if (need & csHandleValid) {
    CreateHandle();
    if (!FHandle) throw EInvalidOperation("Canvas does not allow drawing");
    FState |= csHandleValid;
  }
  if (need & csPenValid) CreatePen();
  if (need & csBrushValid) CreateBrush();
  if (need & csFontValid) CreateFont();
}

void TCanvas::CreatePen() {
  static constexpr int32_t modes[] = {R2_BLACK,       R2_WHITE,       R2_NOP,        R2_NOT,
                                      R2_COPYPEN,     R2_NOTCOPYPEN,  R2_MERGEPENNOT, R2_MASKPENNOT,
                                      R2_MERGENOTPEN, R2_MASKNOTPEN,  R2_MERGEPEN,   R2_NOTMERGEPEN,
                                      R2_MASKPEN,     R2_NOTMASKPEN,  R2_XORPEN,     R2_NOTXORPEN};
  HGDIOBJ old = SelectObject(FHandle, FPen->Handle());
  if (!FOldPen) FOldPen = old;
  SetROP2(FHandle, modes[FPen->Mode()]);
  FState |= csPenValid;
}

void TCanvas::CreateBrush() {
  HGDIOBJ old = SelectObject(FHandle, FBrush->Handle());
  if (!FOldBrush) FOldBrush = old;
  if (FBrush->Style() == bsSolid) {
    SetBkColor(FHandle, ColorToRGB(FBrush->Color()));
    SetBkMode(FHandle, OPAQUE);
  } else {
    SetBkColor(FHandle, ~ColorToRGB(FBrush->Color()) & 0xFFFFFF);
    SetBkMode(FHandle, TRANSPARENT);
  }
  FState |= csBrushValid;
}

void TCanvas::CreateFont() {
  HGDIOBJ old = SelectObject(FHandle, FFont->Handle());
  if (!FOldFont) FOldFont = old;
  SetTextColor(FHandle, ColorToRGB(FFont->Color()));
  FState |= csFontValid;
}

void TCanvas::Changed() {
  if (OnChange) OnChange(this);
}

void TCanvas::Changing() {
  if (OnChanging) OnChanging(this);
}

void TCanvas::Refresh() { DeselectHandles(); }

TPoint TCanvas::PenPos() {
  if (FHandle) ::GetCurrentPositionEx(FHandle, &FPenPos);
  return FPenPos;
}

TColor TCanvas::Pixels(int32_t X, int32_t Y) {
  RequiredState(csHandleValid);
  return ::GetPixel(FHandle, X, Y);
}

void TCanvas::SetPixels(int32_t X, int32_t Y, TColor Value) {
  Changing();
  RequiredState(csHandleValid | csPenValid);
  ::SetPixel(FHandle, X, Y, ColorToRGB(Value));
  Changed();
}

TRect TCanvas::ClipRect() {
  RequiredState(csHandleValid);
  TRect r;
  GetClipBox(FHandle, r);
  return r;
}

void TCanvas::MoveTo(int32_t X, int32_t Y) {
  RequiredState(csHandleValid);
  ::MoveToEx(FHandle, X, Y, nullptr);
}

void TCanvas::LineTo(int32_t X, int32_t Y) {
  Changing();
  RequiredState(csHandleValid | csPenValid | csBrushValid);
  ::LineTo(FHandle, X, Y);
  Changed();
}

void TCanvas::Rectangle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  Changing();
  RequiredState(csHandleValid | csPenValid | csBrushValid);
  ::Rectangle(FHandle, X1, Y1, X2, Y2);
  Changed();
}

void TCanvas::Ellipse(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  Changing();
  RequiredState(csHandleValid | csPenValid | csBrushValid);
  ::Ellipse(FHandle, X1, Y1, X2, Y2);
  Changed();
}

void TCanvas::RoundRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3) {
  Changing();
  RequiredState(csHandleValid | csPenValid | csBrushValid);
  ::RoundRect(FHandle, X1, Y1, X2, Y2, X3, Y3);
  Changed();
}

void TCanvas::Polygon(const std::vector<TPoint>& Points) {
  Changing();
  RequiredState(csHandleValid | csPenValid | csBrushValid);
  ::Polygon(FHandle, Points.data(), static_cast<int32_t>(Points.size()));
  Changed();
}

void TCanvas::Polyline(const std::vector<TPoint>& Points) {
  Changing();
  RequiredState(csHandleValid | csPenValid | csBrushValid);
  ::Polyline(FHandle, Points.data(), static_cast<int32_t>(Points.size()));
  Changed();
}

void TCanvas::FillRect(const TRect& R) {
  Changing();
  RequiredState(csHandleValid | csBrushValid);
  ::FillRect(FHandle, R, FBrush->Handle());
  Changed();
}

void TCanvas::FrameRect(const TRect& R) {
  Changing();
  RequiredState(csHandleValid | csBrushValid);
  ::FrameRect(FHandle, R, FBrush->Handle());
  Changed();
}

void TCanvas::DrawFocusRect(const TRect& R) {
  Changing();
  RequiredState(csHandleValid | csBrushValid);
  ::DrawFocusRect(FHandle, R);
  Changed();
}

void TCanvas::TextOut(int32_t X, int32_t Y, const std::string& Text) {
  Changing();
  RequiredState(csHandleValid | csFontValid | csBrushValid);
  ::TextOut(FHandle, X, Y, Text);
  ::MoveToEx(FHandle, X + ::TextExtent(FHandle, Text).cx, Y, nullptr);
  Changed();
}

TSize TCanvas::TextExtent(const std::string& Text) {
  RequiredState(csHandleValid | csFontValid);
  return ::TextExtent(FHandle, Text);
}

void TCanvas::Draw(int32_t X, int32_t Y, TGraphic* Graphic) {
  if (!Graphic || Graphic->Empty()) return;
  Changing();
  RequiredState(csHandleValid);
  Graphic->Draw(this, Rect(X, Y, X + Graphic->Width(), Y + Graphic->Height()));
  Changed();
}

void TCanvas::StretchDraw(const TRect& R, TGraphic* Graphic) {
  if (!Graphic || Graphic->Empty()) return;
  Changing();
  RequiredState(csHandleValid);
  Graphic->Draw(this, R);
  Changed();
}

void TCanvas::CopyRect(const TRect& Dest, TCanvas* Canvas, const TRect& Source) {
  if (!Canvas) return;
  Changing();
  RequiredState(csHandleValid | csBrushValid);
  ::StretchBlt(FHandle, Dest.Left, Dest.Top, Dest.Width(), Dest.Height(), Canvas->Handle(), Source.Left, Source.Top,
               Source.Width(), Source.Height(), FCopyMode);
  Changed();
}

void TCanvas::BrushCopy(const TRect& Dest, TBitmap* Bitmap, const TRect& Source, TColor Color) {
  if (!Bitmap || Bitmap->Empty()) return;
  Changing();
  RequiredState(csHandleValid | csBrushValid);
  HDC src = Bitmap->Canvas()->Handle();
  // A mask of the pixels that have Color: the source DC's background colour becomes 1.
  HDC mdc = CreateCompatibleDC(nullptr);
  HBITMAP mask = CreateBitmap(Source.Width(), Source.Height(), 1, 1, nullptr);
  HGDIOBJ old = SelectObject(mdc, mask);
  TColor oldBk = SetBkColor(src, ColorToRGB(Color));
  ::BitBlt(mdc, 0, 0, Source.Width(), Source.Height(), src, Source.Left, Source.Top, SRCCOPY);
  SetBkColor(src, oldBk);
  ::StretchBlt(FHandle, Dest.Left, Dest.Top, Dest.Width(), Dest.Height(), src, Source.Left, Source.Top,
               Source.Width(), Source.Height(), SRCCOPY);
  // Where the mask is set take the brush, elsewhere keep the copy (DSPDxax).
  TColor oldText = SetTextColor(FHandle, clBlack);
  TColor oldBack = SetBkColor(FHandle, clWhite);
  ::StretchBlt(FHandle, Dest.Left, Dest.Top, Dest.Width(), Dest.Height(), mdc, 0, 0, Source.Width(),
               Source.Height(), 0x00E20746);
  SetTextColor(FHandle, oldText);
  SetBkColor(FHandle, oldBack);
  SelectObject(mdc, old);
  DeleteObject(mask);
  DeleteDC(mdc);
  Changed();
}
