// TCanvas over a device context with its drawing objects TPen, TBrush and
// TFont, which create their GDI handles on demand.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/object.h"
#include "platform/gdi/colors.h"
#include "platform/gdi/graphic.h"
#include "platform/gdi/types.h"

class TBitmap;

enum TPenStyle : uint8_t { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum TPenMode : uint8_t {
  pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot,
  pmMergeNotPen, pmMaskNotPen, pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor
};
enum TBrushStyle : uint8_t { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };
enum TFontStyle : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = uint8_t;  // a set of TFontStyle bits

// Base of TPen, TBrush and TFont: a lazily created handle that is dropped on
// every change, and OnChange.
class TGraphicsObject : public TPersistent {
public:
  ~TGraphicsObject() override;
  TNotifyEvent OnChange;

protected:
  void Changed();
  void FreeHandle();
  HGDIOBJ FHandle = nullptr;
};

class TPen : public TGraphicsObject {
public:
  void Assign(TPersistent* Source) override;
  HPEN Handle();
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  int32_t Width() const { return FWidth; }
  void SetWidth(int32_t Value);
  TPenStyle Style() const { return FStyle; }
  void SetStyle(TPenStyle Value);
  TPenMode Mode() const { return FMode; }
  void SetMode(TPenMode Value);

private:
  TColor FColor = clBlack;
  int32_t FWidth = 1;
  TPenStyle FStyle = psSolid;
  TPenMode FMode = pmCopy;
};

class TBrush : public TGraphicsObject {
public:
  void Assign(TPersistent* Source) override;
  HBRUSH Handle();
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);  // also makes a clear brush solid
  TBrushStyle Style() const { return FStyle; }
  void SetStyle(TBrushStyle Value);
  // A pattern brush from the bitmap (not owned; nullptr for none).
  TBitmap* Bitmap() const { return FBitmap; }
  void SetBitmap(TBitmap* Value);

private:
  TColor FColor = clWhite;
  TBrushStyle FStyle = bsSolid;
  TBitmap* FBitmap = nullptr;
};

class TFont : public TGraphicsObject {
public:
  void Assign(TPersistent* Source) override;
  HFONT Handle();
  std::string Name() const { return FName; }
  void SetName(const std::string& Value);
  // Height in pixels (negative: character height); Size in points at 96 pixels per inch.
  int32_t Height() const { return FHeight; }
  void SetHeight(int32_t Value);
  int32_t Size() const;
  void SetSize(int32_t Value);
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  TFontStyles Style() const { return FStyle; }
  void SetStyle(TFontStyles Value);

private:
  std::string FName = "MS Sans Serif";
  int32_t FHeight = -11;
  TColor FColor = clWindowText;
  TFontStyles FStyle = 0;
};

// Copy modes are raster operation codes (SRCCOPY, ...).
using TCopyMode = uint32_t;
constexpr TCopyMode cmSrcCopy = 0x00CC0020;
constexpr TCopyMode cmSrcAnd = 0x008800C6;
constexpr TCopyMode cmSrcPaint = 0x00EE0086;
constexpr TCopyMode cmSrcInvert = 0x00660046;
constexpr TCopyMode cmPatCopy = 0x00F00021;
constexpr TCopyMode cmPatInvert = 0x005A0049;
constexpr TCopyMode cmDstInvert = 0x00550009;
constexpr TCopyMode cmBlackness = 0x00000042;
constexpr TCopyMode cmWhiteness = 0x00FF0062;

class TCanvas : public TPersistent {
public:
  TCanvas();
  ~TCanvas() override;

  // The DC; asks CreateHandle for one when there is none and raises
  // EInvalidOperation "Canvas does not allow drawing" when none comes.
  HDC Handle();
  void SetHandle(HDC Value);
  bool HandleAllocated() const { return FHandle != nullptr; }

  TPen* Pen() { return FPen.get(); }
  TBrush* Brush() { return FBrush.get(); }
  TFont* Font() { return FFont.get(); }
  TCopyMode CopyMode() const { return FCopyMode; }
  void SetCopyMode(TCopyMode Value) { FCopyMode = Value; }
  TPoint PenPos();
  void SetPenPos(const TPoint& Value) { MoveTo(Value.X, Value.Y); }
  TColor Pixels(int32_t X, int32_t Y);
  void SetPixels(int32_t X, int32_t Y, TColor Value);
  TRect ClipRect();

  void MoveTo(int32_t X, int32_t Y);
  void LineTo(int32_t X, int32_t Y);
  void Rectangle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
  void Rectangle(const TRect& R) { Rectangle(R.Left, R.Top, R.Right, R.Bottom); }
  void Ellipse(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
  void RoundRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3);
  void Polygon(const std::vector<TPoint>& Points);
  void Polyline(const std::vector<TPoint>& Points);
  void FillRect(const TRect& R);
  void FrameRect(const TRect& R);
  void DrawFocusRect(const TRect& R);
  // Text in the font's colour; the brush colour behind it unless the brush is clear.
  void TextOut(int32_t X, int32_t Y, const std::string& Text);
  TSize TextExtent(const std::string& Text);
  int32_t TextWidth(const std::string& Text) { return TextExtent(Text).cx; }
  int32_t TextHeight(const std::string& Text) { return TextExtent(Text).cy; }
  void Draw(int32_t X, int32_t Y, TGraphic* Graphic);
  void StretchDraw(const TRect& R, TGraphic* Graphic);
  // Copies Source's rectangle into Dest with CopyMode.
  void CopyRect(const TRect& Dest, TCanvas* Canvas, const TRect& Source);
  // Copies Bitmap's Source rectangle into Dest, painting pixels of Color
  // with this canvas's brush.
  void BrushCopy(const TRect& Dest, TBitmap* Bitmap, const TRect& Source, TColor Color);
  // Reselects the drawing objects on the next call.
  void Refresh();

  void Lock() { ++FLockCount; }
  void Unlock() { --FLockCount; }
  int32_t LockCount() const { return FLockCount; }

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;
  virtual void Changed();
  virtual void Changing();

protected:
  // Supplies a DC when drawing needs one; the default has none.
  virtual void CreateHandle() {}
  enum : uint8_t { csHandleValid = 1, csFontValid = 2, csPenValid = 4, csBrushValid = 8 };
  void RequiredState(uint8_t State);
  // Selects the original objects back (before the DC is released).
  void DeselectHandles();

private:
  void CreatePen();
  void CreateBrush();
  void CreateFont();
  HDC FHandle = nullptr;
  uint8_t FState = 0;
  std::unique_ptr<TPen> FPen;
  std::unique_ptr<TBrush> FBrush;
  std::unique_ptr<TFont> FFont;
  TCopyMode FCopyMode = cmSrcCopy;
  TPoint FPenPos;
  int32_t FLockCount = 0;
  HGDIOBJ FOldPen = nullptr, FOldBrush = nullptr, FOldFont = nullptr;
};
