// TPixelGraphic: the in-memory raster image of the imaging library. Pixels
// are 1, 4 or 8 bit palette indexes or 24-bit colours in a bottom-up DIB
// layout with rows padded to 32 bits.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/bitmap_info.h"
#include "imaging/core/chunks.h"
#include "imaging/core/palette.h"
#include "platform/base/zeroed_block.h"
#include "platform/gdi/graphic.h"

// What a reader or the save path does on a warning.
enum TPGWarningAction : uint8_t { pgwaIgnore, pgwaOKBox, pgwaOKCancelBox, pgwaRaise };

// Resampling quality of CopyFrom.
enum TStretchMode : uint8_t { smFast, smMedium, smPrecise };

class TPGRowGate;

// Per-row progress of long operations: Step of Max; setting Abort stops.
using TPGProgressEvent = std::function<void(TObject* Sender, int32_t Step, int32_t Max, bool& Abort)>;

// Pixel formats.
constexpr uint8_t pf1Bit = 0;
constexpr uint8_t pf4Bit = 1;
constexpr uint8_t pf8Bit = 2;
constexpr uint8_t pf24Bit = 3;

// Bytes of pixel memory of an image: rows of ((Width * BitCount + 31) div 32)
// * 4 bytes. Raises EPGInvalidSize for a negative width ("Negative width"),
// then a negative height ("Negative height"), and for pixel memory above the
// library option PGMaxImageSize, itself never above platform/gdi's largest
// surface ("Invalid size of W x H"); raises
// EPixelGraphic for a pixel format other than 0..3. Every reader calls it
// with the file's dimensions before NewImage, so that hostile headers are
// refused before anything is allocated.
int64_t CheckPGImageSize(int32_t Width, int32_t Height, uint8_t PixelFormat);

class TPGCanvas;

class TPixelGraphic : public TGraphic {
public:
  TPixelGraphic();
  ~TPixelGraphic() override;
  TPixelGraphic(const TPixelGraphic&) = delete;
  TPixelGraphic& operator=(const TPixelGraphic&) = delete;

  // --- TGraphic
  // Copies another TPixelGraphic whole (pixels, palette, settings, chunks);
  // nil empties the image; other sources go to the inherited Assign.
  void Assign(TPersistent* Source) override;
  // Fires OnChange(this) when no update is pending.
  void Changed(TObject* Sender) override;
  void Draw(TCanvas* ACanvas, const TRect& Rect) override;
  bool GetEmpty() override;
  int32_t GetHeight() override;
  int32_t GetWidth() override;
  // The logical palette of the image's palette, re-created after a change.
  HPALETTE GetPalette() override;
  bool GetTransparent() override;
  void SetTransparent(bool Value) override;  // stores the flag only
  void SetHeight(int32_t Value) override;
  void SetWidth(int32_t Value) override;
  void LoadFromStream(TStream& Stream) override;
  void SaveToStream(TStream& Stream) override;
  void LoadFromClipboardFormat(uint16_t Format, uintptr_t Data, HPALETTE Palette) override;
  void SaveToClipboardFormat(uint16_t& Format, uintptr_t& Data, HPALETTE& Palette) override;
  // Puts the image on the system clipboard as a device-independent bitmap.
  void CopyToClipboard();

  // --- own virtual operations
  virtual void SetUseColorCache(bool Value);
  // Resizes the palette (new entries black, Count limited to 0..256); the
  // kind becomes pUnknown (pNone when empty). Always drops the colour cache.
  virtual void SetPaletteCount(int32_t Count);
  virtual void FreeColorCache();
  // Builds the standard palette of a kind (pBlackWhite..pSpecial252), or sets
  // pNone, pTrueColor (both empty the palette) or pUnknown.
  virtual void SetPaletteIdent(TPaletteIdent Ident);
  // Raises EPGNoPalette without a palette, EPGInvalidPaletteIndex outside it.
  virtual void SetPaletteEntry(int32_t Index, TColor Color);
  virtual void SetRGBWeighting(bool Value);
  // The palette index nearest to Color (Color itself for true colour).
  virtual uint32_t GetNearestIndex(TColor Color);
  virtual void SaveToStreamAs(TStream& Stream, const std::string& Extension);

  // --- image creation
  // (Re)creates the pixel memory; the new memory is filled with the
  // transparent colour and the palette is kept, trimmed to the format.
  void NewImage(int32_t AWidth, int32_t AHeight, uint8_t APixelFormat);
  void Clear();
  uint8_t PixelFormat() const { return FPixelFormat; }
  uint8_t GetPixelFormat() const { return FPixelFormat; }
  void SetPixelFormat(uint8_t Format);
  // 1 -> 0, 4 -> 1, 8 -> 2, 24 -> 3; others raise EPGInvalidBitCountNum.
  static uint8_t BitCountToPixelFormat(int32_t BitCount);
  int32_t GetBitCount() const;
  int32_t GetMaxColors() const;  // 2, 16, 256; 0 for 24 bit

  // --- pixel memory
  // Address of image row Row (0 = top); nullptr without pixel memory.
  uint8_t* ScanLine(int32_t Row);
  uint8_t* GetBits();
  uint32_t BytesPerLine() const { return FBytesPerLine; }
  uint32_t GetImageSize() const { return FImageSize; }
  uint32_t ImageSize() const { return FImageSize; }
  // The DIB header and colour table of the pixel memory; nullptr when empty.
  const TPGBitmapInfo* BitmapInfo() const { return FBitmapInfo.get(); }
  HBITMAP BitmapHandle() const { return FBitmapHandle; }
  bool GdiDirty() const { return FGdiDirty; }

  // --- pixels. Outside the image reads give the stored transparent value and
  // writes are ignored.
  uint32_t GetPixel(int32_t X, int32_t Y);
  void SetPixel(int32_t X, int32_t Y, uint32_t Value);
  TColor GetPixelColor(int32_t X, int32_t Y);
  void SetPixelColor(int32_t X, int32_t Y, TColor Color);

  // --- transparent colour: a palette index for palette formats (set through
  // the nearest index), the colour for 24 bit; read back as a colour.
  void SetTransparentColor(TColor Color);
  TColor GetTransparentColor();
  TColor TransparentColor() { return GetTransparentColor(); }

  // --- change notification
  void BeginUpdate();
  void EndUpdate();
  int32_t UpdateCount() const { return FUpdateCount; }

  // --- palette
  TPaletteIdent PaletteIdent() const { return FPaletteIdent; }
  int32_t PaletteCount() const { return FPaletteCount; }
  // Palette entry Index; for a true-colour image Index itself.
  TColor GetPaletteEntry(int32_t Index) const;
  const TColor* Palette() const { return FPalette.data(); }
  // Classifies the palette as the first standard kind it equals.
  void DetectPaletteIdent();
  // The kind DetectPaletteIdent would set, leaving the image as it is.
  TPaletteIdent DetectedPaletteIdent() const;
  bool SamePalette(const TPixelGraphic* Other) const;
  void AssignPalette(const TPixelGraphic* Source);
  bool IsGrayPalette() const { return FIsGrayPalette; }
  void SetIsGrayPalette(bool Value) { FIsGrayPalette = Value; }
  bool PaletteChanged() const { return FPaletteChanged; }

  // --- conversion and dithering (dither.cpp, convert.cpp, copy_from.cpp)
  // Replaces every pixel by Source's picture, scaled to the image's size and
  // converted to its pixel format and palette.
  void CopyFrom(TPixelGraphic* Source);
  // CopyFrom(Source), while Consume runs on a second thread and reads the
  // rows in order as they are finished, each after RowGate()->WaitForRow.
  // Consume may read the image's size, format, palette and rows, and must
  // change nothing of it. A failure of the copy is raised (Consume's reads
  // of rows not finished then raise too); else a failure of Consume is.
  // Without a thread to be had, Consume runs after the copy.
  void CopyFromWhile(TPixelGraphic* Source, const std::function<void()>& Consume);
  // The gate of rows being written by CopyFromWhile, else null.
  TPGRowGate* RowGate() const { return FRowGate; }
  // The rectangle of Source onto the rectangle of the image, scaled.
  void CopyFromRect(int32_t DestX, int32_t DestY, int32_t DestWidth, int32_t DestHeight,
                    int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight,
                    TPixelGraphic* Source);
  // The Width x Height block of Source at (SrcX, SrcY) to (DestX, DestY),
  // each pixel by the pixel store rule; pixels outside either image are skipped.
  void CopyRectUnscaled(int32_t DestX, int32_t DestY, int32_t Width, int32_t Height,
                        int32_t SrcX, int32_t SrcY, TPixelGraphic* Source);
  // The Floyd-Steinberg ditherer: InitDither before the first row (error
  // rows, error-limit table, IsGrayPalette), NextDitherRow before each row,
  // DitherPixel per pixel (even rows left to right, odd rows right to left),
  // FreeDitherBuffers at the end.
  void InitDither();
  void NextDitherRow();
  void DitherPixel(int32_t X, int32_t Y, uint8_t R, uint8_t G, uint8_t B);
  void FreeDitherBuffers();

  // --- progress protocol of long operations
  void ProgressStart();               // OnProgressStart when assigned
  bool Progress(int32_t Step, int32_t Max);  // OnProgress; returns Abort
  void ProgressEnd();                 // OnProgressEnd when assigned

  // --- settings (the setters store the value and fire nothing)
  bool UseColorCache() const { return FUseColorCache; }
  bool RGBWeighting() const { return FRGBWeighting; }
  long double Gamma() const { return FGamma; }
  void SetGamma(long double Value) { FGamma = Value; }
  int32_t XResolution() const { return FXResolution; }
  void SetXResolution(int32_t Value) { FXResolution = Value; }
  int32_t YResolution() const { return FYResolution; }
  void SetYResolution(int32_t Value) { FYResolution = Value; }
  bool PreviewRead() const { return FPreviewRead; }
  void SetPreviewRead(bool Value) { FPreviewRead = Value; }
  int32_t PreviewSize() const { return FPreviewSize; }
  void SetPreviewSize(int32_t Value) { FPreviewSize = Value; }
  TPGWarningAction ReadWarningAction() const { return FReadWarningAction; }
  void SetReadWarningAction(TPGWarningAction Value) { FReadWarningAction = Value; }
  TPGWarningAction SaveColorResWarningAction() const { return FSaveColorResWarningAction; }
  void SetSaveColorResWarningAction(TPGWarningAction Value) { FSaveColorResWarningAction = Value; }
  TStretchMode StretchMode() const { return FStretchMode; }
  void SetStretchMode(TStretchMode Value) { FStretchMode = Value; }
  bool SmoothRotate() const { return FSmoothRotate; }
  void SetSmoothRotate(bool Value) { FSmoothRotate = Value; }
  bool Dither() const { return FDither; }
  void SetDither(bool Value) { FDither = Value; }
  uint8_t DitherErrorLimit() const { return FDitherErrorLimit; }
  void SetDitherErrorLimit(uint8_t Value) { FDitherErrorLimit = Value; }
  bool DitherErrorLimitAuto() const { return FDitherErrorLimitAuto; }
  void SetDitherErrorLimitAuto(bool Value) { FDitherErrorLimitAuto = Value; }
  bool DitherErrorLimitSoft() const { return FDitherErrorLimitSoft; }
  void SetDitherErrorLimitSoft(bool Value) { FDitherErrorLimitSoft = Value; }
  bool DontRealizePalette() const { return FDontRealizePalette; }
  void SetDontRealizePalette(bool Value) { FDontRealizePalette = Value; }

  // --- loading and saving through the reader and writer registries
  // (load_save.cpp)
  void LoadFromFile(const std::string& FileName) override;
  void SaveToFile(const std::string& FileName) override;
  // Image Index of a file or stream; the reader is found by content, then by
  // Extension (may be empty, may carry a dot).
  void LoadImageFromFile(const std::string& FileName, int32_t Index);
  void LoadImageFromStream(TStream& Stream, const std::string& Extension, int32_t Index);
  // CopyFrom(Source), then SaveToFile(FileName), with the same pixels and
  // the same file; a writer that writes rows as they are finished codes
  // each row on a second thread as soon as it is mapped.
  void CopyFromAndSaveToFile(TPixelGraphic* Source, const std::string& FileName);
  // Saves through the writer of Extension, converted to a colour resolution
  // the writer can store: to the file FileName when ToFile (written beside
  // it and renamed over it only on success), else to Stream. With MapFrom,
  // the image first takes MapFrom's picture (CopyFrom).
  void SaveWithWriter(bool ToFile, const std::string& FileName, const std::string& Extension, TStream* Stream,
                      TPixelGraphic* MapFrom = nullptr);

  // --- soft border, rotation and flips (soft_border.cpp, rotate.cpp). Source
  // may be the image itself; it is then read from a snapshot.
  // Source's picture with its edges faded into Color: Mode 0 frame, other
  // values ellipse; the image keeps its pixel format and takes Source's size.
  void SoftBorder(int32_t Mode, int32_t BorderWidth, TPixelGraphic* Source, TColor Color);
  // The image becomes Source turned clockwise by Angle degrees; angles that
  // are not finite raise EPixelGraphic.
  void Rotate(bool RightAngleShortcut, TPixelGraphic* Source, long double Angle);
  // Exact rotation of Source's raw pixel values by 0, 90, 180 or 270 degrees
  // into the image, which already has the rotated size.
  void FastRotate(int32_t Angle, TPixelGraphic* Source);
  // Draws the rectangle (SrcLeft, SrcTop, SrcWidth, SrcHeight) of Source
  // turned by Angle about (SrcCX, SrcCY) so that this point lands on
  // (DestCX, DestCY).
  void RotateAnyAngle(int32_t DestCX, int32_t DestCY, long double Angle, int32_t SrcCX, int32_t SrcCY,
                      int32_t SrcLeft, int32_t SrcTop, int32_t SrcWidth, int32_t SrcHeight, TPixelGraphic* Source);
  void FlipHorizontal();
  void FlipVertical();

  // --- metadata chunks (chunks.cpp). The image owns its chunks; keywords
  // are unique, compared case-insensitively.
  // Takes ownership; a chunk of the same keyword is replaced; adding a chunk
  // the image already holds changes nothing.
  void AddChunk(TChunk* Chunk);
  void AddChunk(std::unique_ptr<TChunk> Chunk);
  void DeleteChunk(const std::string& Keyword);
  // The first chunk of the trimmed keyword (any case) and, unless Kind is 0, of that kind.
  TChunk* FindChunk(const std::string& Keyword, uint8_t Kind);
  TChunk* GetChunk(int32_t Index);
  int32_t GetChunkCount() const;
  void FreeChunks();
  // Replaces the chunks by copies of Source's (nothing when Source is this image).
  void CopyChunksFrom(TPixelGraphic* Source);

  // --- canvas and drawing (pg_canvas.cpp)
  // The canvas over the pixel memory, made on first use; its drawing fires OnChange.
  TPGCanvas* GetCanvas();
  // Draws the whole image stretched into Rect of DC with RasterOp; nothing
  // for an empty image.
  void DrawToDC(HDC DC, const TRect& Rect, bool ForceBackground, uint32_t RasterOp);

  // --- DIB codec and clipboard (dib_codec.cpp)
  // Decodes one DIB (core or info header, colour table, pixels) from the
  // stream's position; BitsOffset is the distance from the header to the
  // pixels, 0 when they follow the colour table.
  void ReadDIB(TStream& Stream, bool CoreHeader, int32_t BitsOffset);
  // Writes the info header, the colour table and the pixel memory.
  void WriteDIB(TStream& Stream);
  uint32_t GetDIBSize();
  uint32_t GetBMPFileSize();
  // Form streaming: a 32-bit size, then the image as a BMP file.
  void ReadData(TStream& Stream) override;
  void WriteData(TStream& Stream) override;
  // Through a BMP file in memory: Source saves, the image loads; the image
  // saves, Dest loads.
  void AssignFromGraphic(TGraphic* Source);
  void AssignToGraphic(TGraphic* Dest);

  // --- events (OnChange is TGraphic's)
  TPGProgressEvent OnProgress;
  TNotifyEvent OnProgressEnd;
  TNotifyEvent OnProgressStart;

protected:
  // GDI may have drawing pending on the pixel memory; every direct access of
  // the pixels calls this first.
  void FlushGdi();
  // The image canvas gives up its device context before the DIB changes.
  void ReleaseCanvasHandle();
  // Colour of a palette index; indexes past the palette take entry 0 (black
  // when the palette is empty).
  TColor IndexColor(uint32_t Index) const;
  // Frees the pixel memory and its DIB description.
  void FreeImage();
  // NewImage for callers that write every byte of the pixel memory next: an
  // image whose size and format stay keeps its bytes instead of being
  // cleared (new memory still starts cleared). True when the pixel memory is
  // new and holds only zeros (no transparent colour was written into it).
  bool NewImageToOverwrite(int32_t AWidth, int32_t AHeight, uint8_t APixelFormat);
  // NewImage's work; Fill clears memory that was there before. Returns what
  // NewImageToOverwrite does.
  bool MakeImage(int32_t AWidth, int32_t AHeight, uint8_t APixelFormat, bool Fill);
  // Clear's filling; Zeroed tells that every byte is 0 already.
  void FillTransparent(bool Zeroed);
  friend void CreateOptimizedPalette(TPixelGraphic*, TPixelGraphic*, int32_t, bool);

  uint32_t FTransparentColor = 0;
  uint8_t FPixelFormat = pf24Bit;
  // Pixel memory that starts zeroed, so a new image costs no clearing pass.
  TZeroedBlock FBits;
  std::unique_ptr<TPGBitmapInfo> FBitmapInfo;
  bool FDither = true;
  uint8_t FDitherErrorLimit = 32;
  bool FDitherErrorLimitAuto = true;
  std::vector<int32_t> FErrorLimitTable;  // ditherer state
  bool FDitherErrorLimitSoft = true;
  std::vector<int32_t> FCurrentErrors;    // ditherer state
  std::vector<int32_t> FNextErrors;       // ditherer state
  bool FUseColorCache = true;
  bool FPreviewRead = false;
  int32_t FPreviewSize = 0;
  int32_t FHeight = 0;
  bool FDontRealizePalette = false;
  bool FIsGrayPalette = false;
  long double FGamma;
  uint32_t FImageSize = 0;
  int32_t FPaletteCount = 0;
  uint32_t FBytesPerLine = 0;
  HPALETTE FPaletteHandle = nullptr;
  // Colour cache of the nearest-colour search: one palette index per 5-6-5
  // colour cell, and one valid bit per cell.
  std::unique_ptr<uint8_t[]> FColorCacheMap;
  std::unique_ptr<uint8_t[]> FColorCacheValid;
  std::unique_ptr<TPaletteColorIndex> FColorCacheExact;  // built with the map
  TPGRowGate* FRowGate = nullptr;                        // while CopyFromWhile runs
  bool FColorCacheRebuild = true;
  bool FNearestMemoInvalid = true;
  TColor FNearestMemoColor = 0;
  uint32_t FNearestMemoIndex = 0;
  bool FPaletteChanged = false;
  std::vector<TColor> FPalette;
  TPaletteIdent FPaletteIdent = pTrueColor;
  int32_t FXResolution = 0;
  int32_t FYResolution = 0;
  bool FRGBWeighting = true;
  bool FSmoothRotate = true;
  TStretchMode FStretchMode = smPrecise;
  int32_t FUpdateCount = 0;
  TPGWarningAction FReadWarningAction = pgwaOKCancelBox;
  TPGWarningAction FSaveColorResWarningAction = pgwaOKCancelBox;
  bool FGdiDirty = false;
  int32_t FWidth = 0;
  HBITMAP FBitmapHandle = nullptr;
  std::unique_ptr<std::vector<std::unique_ptr<TChunk>>> FChunks;  // made on first need
  std::unique_ptr<TPGCanvas> FCanvas;                               // made on first use
  friend class TPGCanvas;
  friend class TColorRowStore;

private:
  void BuildColorCache();
  uint32_t NearestCached(TColor Color);
};
