// TBitmap: a picture kept in a DIB section (or a monochrome device bitmap),
// with pixel formats, scan lines, colour table and palette, transparency,
// its own canvas and the bitmap-file stream form.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/base/exception.h"
#include "platform/gdi/canvas.h"
#include "platform/gdi/graphic.h"
#include "platform/gdi/surface.h"

class EInvalidGraphic : public Exception { using Exception::Exception; };
class EInvalidGraphicOperation : public Exception { using Exception::Exception; };

enum TPixelFormat : uint8_t { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
enum TTransparentMode : uint8_t { tmAuto, tmFixed };
enum TBitmapHandleType : uint8_t { bmDIB, bmDDB };

class TBitmapCanvas;

class TBitmap : public TGraphic {
public:
  TBitmap();
  ~TBitmap() override;

  void Assign(TPersistent* Source) override;
  void Draw(TCanvas* ACanvas, const TRect& Rect) override;
  bool GetEmpty() override { return FHandle == nullptr; }
  int32_t GetWidth() override { return FWidth; }
  int32_t GetHeight() override { return FHeight; }
  void SetWidth(int32_t Value) override { SetSize(Value, FHeight); }
  void SetHeight(int32_t Value) override { SetSize(FWidth, Value); }
  // Resizes keeping the pixels that fit; new area is white (black for palette formats' entry 0).
  void SetSize(int32_t AWidth, int32_t AHeight);
  // The logical palette of the colour table (owned by the bitmap), nullptr for true colour.
  HPALETTE GetPalette() override;
  // Takes ownership of Value and copies its entries into the colour table.
  void SetPalette(HPALETTE Value) override;
  // Reads and writes the bitmap-file form (file header, info header, colour
  // table, rows). Reading refuses a picture over the image-size cap
  // (ImageBytesCap) before taking its memory (EInvalidGraphic "Bitmap image
  // is too large"), and rows or run-length data cut short (EReadError
  // "Stream read error").
  void LoadFromStream(TStream& Stream) override;
  void SaveToStream(TStream& Stream) override;
  // CF_BITMAP (Data is an HBITMAP, copied) or CF_DIB (Data is a global
  // memory handle), with the cap and errors of LoadFromStream.
  void LoadFromClipboardFormat(uint16_t Format, uintptr_t Data, HPALETTE Palette) override;
  // Gives CF_BITMAP: Data is a new HBITMAP owned by the receiver, Palette a new palette or nullptr.
  void SaveToClipboardFormat(uint16_t& Format, uintptr_t& Data, HPALETTE& Palette) override;

  TCanvas* Canvas();
  // The bitmap handle (the canvas gives up its DC first so the handle can be selected elsewhere).
  HBITMAP Handle();
  // Adopts Value (the bitmap then owns it); nullptr empties the bitmap.
  void SetHandle(HBITMAP Value);
  TBitmapHandleType HandleType() const { return FMonochromeDDB ? bmDDB : bmDIB; }

  TPixelFormat PixelFormat() const { return FPixelFormat; }
  // Changes the format in place, converting the pixels a row at a time
  // (palette formats take the nearest colour of their table); rows of zeros
  // that stay zeros are not written.
  void SetPixelFormat(TPixelFormat Value);
  bool Monochrome() const { return FPixelFormat == pf1bit || FMonochromeDDB; }
  // True makes a monochrome device bitmap (blits onto colour use the DC's
  // text and background colours); False makes a device-format bitmap.
  void SetMonochrome(bool Value);
  // Address of row Row (0 = top); raises EInvalidGraphicOperation out of range.
  void* ScanLine(int32_t Row);
  int32_t BytesPerLine() const;
  int32_t BitCount() const;

  // Colour table of palette formats.
  std::vector<RGBQUAD> ColorTable() const;
  void SetColorTable(const std::vector<RGBQUAD>& Table);

  TColor TransparentColor();
  void SetTransparentColor(TColor Value);
  TTransparentMode TransparentMode() const { return FTransparentMode; }
  void SetTransparentMode(TTransparentMode Value);
  bool IgnorePalette = false;

  // Releases the canvas DC (the pixels stay).
  void FreeContext();
  // A monochrome mask: 1 (white) where the pixel is TransparentColor.
  void Mask(TColor TransparentColor);

private:
  friend class TBitmapCanvas;
  // Fill false: the caller writes every pixel next.
  void NewImage(int32_t W, int32_t H, TPixelFormat Format, const std::vector<RGBQUAD>* Table, bool MonoDDB,
                bool Fill = true);
  void FreeHandle();
  HBITMAP FHandle = nullptr;
  HPALETTE FPalette = nullptr;
  std::unique_ptr<TBitmapCanvas> FCanvas;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  TPixelFormat FPixelFormat = pfDevice;
  bool FMonochromeDDB = false;
  TColor FTransparentColor = clDefault;
  TTransparentMode FTransparentMode = tmAuto;
};

// The canvas of a TBitmap: a memory DC with the bitmap selected.
class TBitmapCanvas : public TCanvas {
public:
  explicit TBitmapCanvas(TBitmap* Bitmap) : FBitmap(Bitmap) {}
  ~TBitmapCanvas() override { FreeContext(); }
  void FreeContext();

protected:
  void CreateHandle() override;

private:
  TBitmap* FBitmap;
  HGDIOBJ FOldBitmap = nullptr;
  HPALETTE FOldPalette = nullptr;
};

// The default colour table of a palette format: black and white; the 16
// VGA colours; or the 16 VGA colours, the 6x6x6 colour cube and 24 greys.
std::vector<RGBQUAD> DefaultColorTable(int32_t BitCount);
