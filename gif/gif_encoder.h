// The GIF89a encoder: palette building from a bitmap of at most 256 colours,
// the LZW compressor and the writer of one- or many-frame files.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "gif/gif_types.h"
#include "platform/base/stream.h"
#include "platform/gdi/types.h"

class TBitmap;

// One frame of a write job.
struct TFrameInfo {
  TBitmap* Bitmap = nullptr;  // not owned; converted in place to 24 bits
  int32_t Left = 0;           // position on the logical screen
  int32_t Top = 0;
  int32_t Width = 0;          // filled by SaveBitmapAsGIF; the writer takes the size from Bitmap
  int32_t Height = 0;
  int32_t Delay = 0;          // milliseconds
  bool Interlaced = false;
  bool Transparent = false;
  TColor TransparentColor = 0;
  uint8_t DisposalMethod = 0;  // 0 none, 1 leave, 2 restore to background, 3 restore to previous
  std::string Comment;
};

// A write job of 1 to 256 frames.
struct TGIFWriteJob {
  int32_t FrameCount = 0;
  std::array<TFrameInfo*, 256> Frames{};
  uint16_t LoopCount = 0;  // NETSCAPE2.0 loop count; 0 loops for ever
  bool UseGlobalColorTable = true;
};

// A one-frame picture given by its rows, for callers that hold the pixels
// already: 8-bit palette indices, the colour of index i being Colors[i], or
// 24-bit rows (blue, green, red per pixel). Row(y) gives row y counted from
// the top; its pointer need only stay valid until the next call.
struct TGIFRows {
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t BitCount = 8;  // 8 or 24
  std::function<const uint8_t*(int32_t)> Row;
  std::array<TColor, 256> Colors{};
  // Indices below this are the picture's palette; any other shows black
  // from Colors and is not expected in the rows.
  int32_t PaletteSize = 256;
  // The number of rows from the top that Row gives without waiting, for
  // rows still coming from another thread; unset when every row is there.
  std::function<int32_t()> Ready;
};

// Leaves new elements of a container uninitialised: a frame's index buffer
// is written whole by the conversion before anything reads it.
template <typename T>
struct TUninitializedAllocator : std::allocator<T> {
  template <typename U>
  struct rebind {
    using other = TUninitializedAllocator<U>;
  };
  using std::allocator<T>::allocator;
  template <typename U>
  void construct(U* P) noexcept {
    ::new (static_cast<void*>(P)) U;
  }
  template <typename U, typename... Args>
  void construct(U* P, Args&&... A) {
    ::new (static_cast<void*>(P)) U(std::forward<Args>(A)...);
  }
};
using TGIFIndexBuffer = std::vector<uint8_t, TUninitializedAllocator<uint8_t>>;

// Working state of one write: the palette being built and, per frame, the
// palette indices in coding order and the transparent index.
struct TGIFWriteState {
  // A write to Out, with no transparent index for any frame yet.
  explicit TGIFWriteState(TStream& Out) : Stream(&Out) { TransparentIndex.fill(0xFF); }
  TStream* Stream;
  std::array<uint8_t, 768> Palette{};  // red, green, blue per entry
  int32_t ColorCount = 0;
  std::array<TGIFIndexBuffer, 256> Indices;
  std::array<int32_t, 256> FrameWidth{};
  std::array<uint8_t, 256> TransparentIndex{};  // 0xFF when none...
  std::array<bool, 256> HasTransparentIndex{};  // ...which this flag tells apart from index 255
  int32_t CurrentFrame = 1;                     // 1-based
  int32_t FrameCount = 1;
};

// Module state of the encoder.
extern uint8_t GIFWriteStatus;          // 2 writing, 6 converting, 4 too many colours, 0 done
extern TProgressEvent GIFWriteProgress;  // called during compression and at the end of a write
extern std::string GIFComment;          // the closing comment of the last GIF written
extern int32_t GIFColorCount;           // palette entries of the last GIF written

void InitializeGIFEncoder();
void FinalizeGIFEncoder();

// The application title named in the closing comment ("Created by " + title).
// The application object sets it; until then it is "Quillon".
void SetGIFApplicationTitle(const std::string& Title);
const std::string& GIFApplicationTitle();
// "Created by " + title, the maker's notice and web address, one per line.
std::string GIFClosingComment();

// Writes Bitmap as a one-frame GIF89a at the stream's position. False (and
// nothing written) when the bitmap has more than 256 distinct colours. The
// bitmap is converted to 24 bits per pixel in place.
bool SaveBitmapAsGIF(TStream& Stream, TBitmap& Bitmap, bool Interlaced, bool Transparent, TColor TransparentColor);

// Runs WriteGIF; on success GIFWriteStatus is 0.
bool WriteGIFJob(TStream& Stream, TGIFWriteJob& Job);
bool WriteGIF(TGIFWriteJob& Job, TStream& Stream);

// Fills the current frame's index buffer (allocated by the caller, width x
// height bytes) from Bitmap, extending State's palette; records the frame's
// transparent index. False with GIFWriteStatus 4 past 256 colours.
bool ConvertBitmapToGIFIndices(TGIFWriteState& State, TBitmap& Bitmap, bool Interlaced, bool Transparent,
                               TColor TransparentColor);
// The same from 24-bit rows (blue, green, red per pixel); ScanLine(y) gives
// row y counted from the top.
bool ConvertRowsToGIFIndices(TGIFWriteState& State, int32_t Width, int32_t Height,
                             const std::function<const uint8_t*(int32_t)>& ScanLine, bool Interlaced,
                             bool Transparent, TColor TransparentColor);

class TGIFColorLookup;

// Gives each index of 8-bit rows the place of its colour in the current
// frame's palette the first time a row uses it, extending the palette: rows
// added in coding order give the palette and map of MapPaletteRowsToGIF.
class TGIFPaletteMapper {
public:
  TGIFPaletteMapper(TGIFWriteState& State, const std::array<TColor, 256>& Colors, std::array<uint8_t, 256>& Map);
  ~TGIFPaletteMapper();
  void AddRow(const uint8_t* Row, int32_t Width) {
    if (FUnmapped > 0) AddNew(Row, Width);
  }
  // The place of Index, which it takes now when it has none yet.
  uint8_t Place(uint8_t Index);
  // Every index has its place.
  bool Complete() const { return FUnmapped == 0; }

private:
  void AddNew(const uint8_t* Row, int32_t Width);
  TGIFWriteState& FState;
  const std::array<TColor, 256>& FColors;
  std::array<uint8_t, 256>& FMap;
  std::array<bool, 256> FMapped{};
  int32_t FUnmapped = 256;
  std::unique_ptr<TGIFColorLookup> FLookup;
};

// Records the current frame's transparent index: the place of the
// transparent colour in the palette, when it has one.
void SetGIFTransparentIndex(TGIFWriteState& State, TColor TransparentColor);

// Builds the current frame's palette from 8-bit rows (TGIFRows) and the map
// of each index to its entry: the palette follows the first appearance of
// each colour in coding order. Records the frame's transparent index.
void MapPaletteRowsToGIF(TGIFWriteState& State, const TGIFRows& Rows, bool Interlaced, bool Transparent,
                         TColor TransparentColor, std::array<uint8_t, 256>& Map);

// Bits needed to index Count palette entries (1 to 8), 0 outside 0..256.
int32_t GIFBitsPerPixel(int32_t Count);

// Writes the current frame's image data: minimum code size, data sub-blocks,
// terminator.
void CompressGIFLZW(TGIFWriteState& State);
// The compressor proper over Count palette indices. FrameWidth, FrameNumber
// and FrameCount only shape the progress reports.
void CompressGIFLZW(TStream& Stream, const uint8_t* Indices, int64_t Count, int32_t ColorCount,
                    int32_t FrameWidth = 0, int32_t FrameNumber = 1, int32_t FrameCount = 1);

// The compressor over the rows of a one-frame picture, read in coding order
// (interlaced: pass order): pixel x of row y is coded as Map[Row(y)[x]]. An
// entry of Map above 255 is not known yet: the first pixel with that index
// asks Place for it, and the entry keeps the answer.
void CompressGIFLZW(TStream& Stream, int32_t Width, int32_t Height, bool Interlaced,
                    const std::function<const uint8_t*(int32_t)>& Row, uint16_t* Map, int32_t ColorCount,
                    const std::function<uint8_t(uint8_t)>& Place = nullptr);

// Writes the picture as a one-frame GIF89a with the bytes SaveBitmapAsGIF
// writes for a 24-bit bitmap of the same colours: the palette is the order
// in which colours first appear in coding order. 8-bit rows are coded
// straight from their indices, through the map of each index to its
// position in that palette; no index buffer or bitmap is made. The rows are
// read in coding order, each just before it is coded, so they may still be
// coming from another thread; their colours, which settle the code size,
// are counted from the top over the rows there are. Rows that are all there
// are coded once; rows still coming are coded for the palette's colours
// until the count settles, and coded again, once all are there, when it
// settles on fewer. The colour table, whose order is known only at the end,
// is written into its place afterwards, on a stream that can seek back.
// False (and nothing written) past 256 colours, which only 24-bit rows can
// have.
bool SaveRowsAsGIF(TStream& Stream, const TGIFRows& Rows, bool Interlaced, bool Transparent,
                   TColor TransparentColor);

// One comment extension, or nothing for an empty text.
void WriteGIFComment(TStream& Stream, const std::string& Text);
