// The GIF decoder: walks a GIF87a or GIF89a file held in memory and decodes
// up to 256 frames into 8-bit bottom-up rows with a 1-bit transparency mask,
// collecting comments, the NETSCAPE2.0 loop count and the logical screen.
// It draws nothing: the animated control composes the frames it produces.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gif/gif_types.h"
#include "platform/base/exception.h"
#include "platform/base/object.h"
#include "platform/base/stream.h"

enum TGIFVersion { gvGIF87a, gvGIF89a };

// Reads the GIF that starts at the stream's position, up to the stream's
// end, into Bytes, with only what a parse uses: the screen, the images (the
// first alone with FirstImageOnly, at most 256), each image's graphic
// control extension and the NETSCAPE2.0 loop count. Comments, plain text,
// other application and unknown extensions are skipped as they are read,
// never held, and so are graphic controls and loop counts that a later one
// replaces. Parsing Bytes gives what parsing the whole file gives, but the
// comments.
void ReadGIFForParse(TStream& Stream, std::vector<uint8_t>& Bytes, bool FirstImageOnly);

// Why a parse returned false.
enum TGIFFailure : uint8_t {
  gfNone,
  gfNoData,     // nothing to parse
  gfSignature,  // not "GIF" at the start
  gfFrameSize,  // an image block of zero width or height
  gfCodeSize,   // an LZW minimum code size outside 1..11
};

class TGIFDecoder;

// One decoded image block.
class TGIFFrame : public TObject {
public:
  int32_t Left = 0;  // image descriptor: position and size on the logical screen
  int32_t Top = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  TGIFDecoder* Owner = nullptr;
  int32_t LocalBits = 0;  // 0 without a local colour table
  int32_t Delay = 0;      // milliseconds
  uint8_t DisposalMethod = 0;  // 0 to 3
  bool HasLocalColorTable = false;
  bool Interlaced = false;
  bool Transparent = false;
  uint8_t TransparentIndex = 0;
  uint8_t TransparentRed = 0;  // the palette entry of the transparent index
  uint8_t TransparentGreen = 0;
  uint8_t TransparentBlue = 0;
  std::string Comment;
  int64_t RasterOffset = 0;  // where the raster (its minimum code size) starts in the parsed bytes
  std::array<uint8_t, 768> Palette{};  // red, green, blue: the local table, else the global one
  int32_t ColorsUsed = 0;              // colour-table entries of the frame's bitmap

  // Decoded pixels: bottom-up rows of 8-bit palette indices, PixelStride()
  // bytes each; rows a truncated raster never reached stay at index 0.
  // Empty when the decoder wrote the rows elsewhere (FramePixels).
  std::vector<uint8_t> Pixels;
  // Transparent frames only: bottom-up 1-bit rows, MaskStride() bytes each,
  // the most significant bit first; a set bit marks a transparent pixel.
  std::vector<uint8_t> Mask;

  int32_t PixelStride() const { return (Width + 3) & ~3; }
  int32_t MaskStride() const { return ((Width + 31) / 32) * 4; }
  // The bytes of the decoded pixels and, when transparent, the mask.
  int64_t DecodedBytes() const {
    return int64_t(PixelStride()) * Height + (Transparent ? int64_t(MaskStride()) * Height : 0);
  }
  // Pixel and mask access with y counted from the top.
  uint8_t PixelAt(int32_t x, int32_t y) const;
  bool MaskAt(int32_t x, int32_t y) const;

  // The frame as an in-memory BMP file: 8 bits with ColorsUsed entries of
  // the palette. The mask as a 1-bit BMP file (entry 0 black, entry 1 white).
  std::vector<uint8_t> BitmapFileImage() const;
  std::vector<uint8_t> MaskFileImage() const;
};

// Parse state and result. The animated control owns one and overrides the
// hooks: ClearFrames (to stop its timer first), Progress (its Sender) and
// FinishParse (to set up its composed picture).
class TGIFDecoder : public TObject {
public:
  TGIFDecoder();
  ~TGIFDecoder() override;
  TGIFDecoder(const TGIFDecoder&) = delete;
  TGIFDecoder& operator=(const TGIFDecoder&) = delete;

  // Parses the bytes placed in ParseStream(). True on success (status 0).
  // False with status 2 for no data, 3 for a wrong signature or a bad image
  // block (zero width or height, a minimum code size outside 1..11);
  // Failure() tells which. A read past the end of a truncated structure
  // raises EReadError, a frame or logical screen over the library's
  // image-size cap EPGInvalidSize before anything is decoded, as do frames
  // whose decoded bytes together would pass it, and a stop requested by the
  // progress handler EAbort (status 1).
  virtual bool ParseGIF();
  // Parses Size bytes that the caller holds, as ParseGIF does, but in place:
  // they are not copied, the data stream stays empty, and they must not
  // change until the parse returns.
  bool ParseBytes(const uint8_t* Data, int64_t Size);
  // Reports the parse stream's position to OnProgress; raises EAbort with
  // status 1 when the handler clears KeepOnProcessing.
  virtual void Progress();
  // Frees the frames and resets what the parse fills.
  virtual void ClearFrames();

  TMemoryStream& ParseStream() { return FParseStream; }
  TMemoryStream& DataStream() { return FDataStream; }

  int32_t FrameCount() const { return static_cast<int32_t>(FFrames.size()); }
  TGIFFrame& Frame(int32_t Index) { return *FFrames.at(static_cast<size_t>(Index - 1)); }  // 1-based

  int32_t Width() const { return FWidth; }  // logical screen, widened to cover every frame
  int32_t Height() const { return FHeight; }
  TGIFVersion Version() const { return FVersion; }
  int32_t GlobalBits() const { return FGlobalBits; }
  int32_t ColorDepth() const { return FColorDepth; }
  int32_t LoopCount() const { return FLoopCount; }
  bool AnyFrameInterlaced() const { return FAnyFrameInterlaced; }
  bool AnyFrameTransparent() const { return FAnyFrameTransparent; }
  uint8_t Status() const { return FStatus; }
  TGIFFailure Failure() const { return FFailure; }
  bool FirstImageOnly() const { return FFirstImageOnly; }
  void SetFirstImageOnly(bool Value) { FFirstImageOnly = Value; }
  // Off: comment extensions are skipped, not collected, and every frame's
  // Comment stays empty (for callers that show no comment).
  bool KeepComments() const { return FKeepComments; }
  void SetKeepComments(bool Value) { FKeepComments = Value; }
  // Off: the frames' rasters are checked and skipped, not decoded (for the
  // facts of a file without its pixels).
  bool DecodePixels() const { return FDecodePixels; }
  void SetDecodePixels(bool Value) { FDecodePixels = Value; }
  // Decodes the raster of frame Index (1-based) afresh from the data stream,
  // into FramePixels and the frame's Mask, without progress reports: for
  // frames the parse skipped. Needs the bytes a ParseGIF kept.
  void DecodeFrame(int32_t Index);

  TProgressEvent OnProgress;

protected:
  // Called after a successful parse, before the parse stream is emptied and
  // the status becomes 0.
  virtual void FinishParse() {}
  // Refuses (EPGInvalidSize) a canvas that what the frames are drawn into
  // could not hold; called for the logical screen and, before each frame is
  // decoded, for the screen widened to cover it. The decoder's own frames
  // are 8-bit rows, so by default the canvas is held to the 8-bit cap.
  virtual void CheckCanvasSize(int32_t Width, int32_t Height);
  // The memory a frame's rows are decoded into, Bytes long (PixelStride() x
  // Height), zero-filled. By default the frame's own Pixels; a caller that
  // wants the pixels elsewhere (the final image) gives its memory here, so
  // that a frame is decoded once, straight into place.
  virtual uint8_t* FramePixels(TGIFFrame& Frame, int64_t Bytes);
  // Whether the parse decodes the raster of frame Index (1-based), or only
  // checks and skips it: DecodePixels() by default.
  virtual bool DecodesFrame(int32_t /*Index*/) const { return FDecodePixels; }

  uint8_t FStatus = 0;
  TGIFFailure FFailure = gfNone;
  bool FKeepProcessing = true;

private:
  friend class TGIFFrameReader;
  // Keep, when given, holds the bytes and gives them to the data stream.
  bool Parse(const uint8_t* Data, int64_t Size, std::vector<uint8_t>* Keep);
  bool ParseData(const uint8_t* Data, int64_t Size, std::vector<uint8_t>* Keep);
  bool ReadFrame(TGIFFrame& Frame);

  TMemoryStream FDataStream;
  TMemoryStream FParseStream;
  std::vector<std::unique_ptr<TGIFFrame>> FFrames;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  TGIFVersion FVersion = gvGIF89a;
  int32_t FGlobalBits = 0;
  std::array<uint8_t, 768> FGlobalPalette{};
  int32_t FColorDepth = 0;
  int32_t FLoopCount = 1;
  int64_t FDecodedBytes = 0;  // pixel and mask bytes of the frames this parse decoded
  bool FAnyFrameInterlaced = false;
  bool FAnyFrameTransparent = false;
  bool FFirstImageOnly = false;
  bool FDecodePixels = true;
  bool FKeepComments = true;
  std::array<uint8_t, 6> FGraphicControl{};  // block size, packed, delay (2), transparent index, terminator
  // Parse cursor over the parse stream's bytes.
  const uint8_t* FData = nullptr;
  int64_t FSize = 0;
  int64_t FPos = 0;
};
