// The GIF89a writer over bitmaps: headers, colour tables, graphic control
// and comment extensions around the LZW image data of each frame.
#include <algorithm>
#include <memory>

#include "gif/gif_encoder.h"
#include "imaging/core/exceptions.h"
#include "platform/base/exception.h"
#include "platform/gdi/bitmap.h"

namespace {

void PutWord(std::vector<uint8_t>& b, int32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}

void PutColorTable(std::vector<uint8_t>& b, const TGIFWriteState& State, int32_t Bits) {
  // Entries past the colour count are zero in the palette.
  b.insert(b.end(), State.Palette.begin(), State.Palette.begin() + 3 * (1 << Bits));
}

void WriteBytes(TStream& Stream, const std::vector<uint8_t>& b) {
  Stream.Write(b.data(), static_cast<int64_t>(b.size()));
}

void CheckFrameGeometry(const TFrameInfo& Frame, int32_t Width, int32_t Height) {
  auto fits = [](int64_t v) { return v >= 0 && v <= 65535; };
  if (!fits(Frame.Left) || !fits(Frame.Top) || !fits(Width) || !fits(Height) ||
      !fits(static_cast<int64_t>(Frame.Left) + Width) || !fits(static_cast<int64_t>(Frame.Top) + Height))
    throw EPGInvalidSize("GIF: a frame must lie within 65535 x 65535 pixels");
}

// "GIF89a" and the logical screen descriptor, followed by the global colour
// table of State's palette (no global table when State is null).
void PutScreen(std::vector<uint8_t>& b, int32_t Width, int32_t Height, const TGIFWriteState* State) {
  b.insert(b.end(), {'G', 'I', 'F', '8', '9', 'a'});
  PutWord(b, Width);
  PutWord(b, Height);
  if (State) {
    int32_t bits = GIFBitsPerPixel(State->ColorCount);
    b.push_back(static_cast<uint8_t>(0x80 + bits - 1));
    b.push_back(0);
    b.push_back(0);
    PutColorTable(b, *State, bits);
  } else {
    b.insert(b.end(), {0, 0, 0});
  }
}

// The graphic control extension and the image descriptor of the current
// frame, with its local colour table when the job uses local tables.
void PutFrameHeader(std::vector<uint8_t>& b, const TFrameInfo& Frame, int32_t Width, int32_t Height,
                    const TGIFWriteState& State, bool LocalTable) {
  const int32_t f = State.CurrentFrame - 1;
  b.insert(b.end(), {0x21, 0xF9, 0x04});
  uint8_t packed = Frame.DisposalMethod <= 3 ? static_cast<uint8_t>(Frame.DisposalMethod << 2) : 0;
  if (Frame.Transparent && State.HasTransparentIndex[f]) packed |= 0x01;
  b.push_back(packed);
  PutWord(b, (Frame.Delay / 10) & 0xFFFF);
  b.push_back(State.TransparentIndex[f]);
  b.push_back(0);

  b.push_back(0x2C);
  PutWord(b, Frame.Left);
  PutWord(b, Frame.Top);
  PutWord(b, Width);
  PutWord(b, Height);
  int32_t bits = GIFBitsPerPixel(State.ColorCount);
  b.push_back(static_cast<uint8_t>((LocalTable ? 0x80 + bits - 1 : 0) | (Frame.Interlaced ? 0x40 : 0)));
  if (LocalTable) PutColorTable(b, State, bits);
}

// The last progress report, the closing comment and the trailer.
void FinishGIF(TStream& Stream, int32_t ColorCount) {
  if (GIFWriteProgress) {
    bool keep = true;
    GIFWriteProgress(nullptr, 100, 100, 100, keep);
  }
  GIFComment = GIFClosingComment();
  WriteGIFComment(Stream, GIFComment);
  const uint8_t trailer = 0x3B;
  Stream.Write(&trailer, 1);
  GIFColorCount = ColorCount;
  GIFWriteStatus = 0;
}

// The number of distinct colours among the picture's palette entries: the
// colours the rows can show, which fix the table size and code size that
// are written before the first row is coded.
int32_t PaletteColorCount(const TGIFRows& Rows) {
  std::array<TColor, 256> colors;
  const int32_t n = std::clamp(Rows.PaletteSize, 0, 256);
  for (int32_t i = 0; i < n; ++i) colors[static_cast<size_t>(i)] = Rows.Colors[static_cast<size_t>(i)] & 0xFFFFFF;
  std::sort(colors.begin(), colors.begin() + n);
  return static_cast<int32_t>(std::unique(colors.begin(), colors.begin() + n) - colors.begin());
}

// The colours of 8-bit rows, counted from the top a row at a time until
// their number needs as many bits as the palette's colours, or to the last
// row: the code size of the image data, which its first code needs, is
// then settled whatever the later rows hold.
class TRowColorCount {
public:
  explicit TRowColorCount(const TGIFRows& Rows)
      : FRows(Rows), FMost(std::max(PaletteColorCount(Rows), 1)), FCertain(GIFBitsPerPixel(FMost) == 1) {}
  // Counts the rows above Rows that are not counted yet, unless settled.
  void CountTo(int32_t Rows) {
    const int32_t bits = GIFBitsPerPixel(FMost);
    for (; FCounted < std::min(Rows, FRows.Height) && !FCertain; ++FCounted) {
      const uint8_t* row = FRows.Row(FCounted);
      for (int32_t x = 0; x < FRows.Width && !FCertain; ++x) {
        const uint8_t v = row[x];
        if (FSeen[v]) continue;
        FSeen[v] = true;
        const TColor color = FRows.Colors[v] & 0xFFFFFF;
        if (std::find(FColors.begin(), FColors.begin() + FCount, color) != FColors.begin() + FCount) continue;
        FColors[static_cast<size_t>(FCount++)] = color;
        FCertain = GIFBitsPerPixel(FCount) >= bits;
      }
    }
  }
  bool Settled() const { return FCertain || FCounted >= FRows.Height; }
  // The number of colours to code for: those counted once settled, else
  // the palette's, which the picture shows when it uses all its colours.
  int32_t Colors() const { return FCertain ? std::max(FCount, FMost) : Settled() ? std::max(FCount, 1) : FMost; }

private:
  const TGIFRows& FRows;
  int32_t FMost;
  bool FCertain;
  int32_t FCounted = 0;
  int32_t FCount = 0;
  std::array<bool, 256> FSeen{};
  std::array<TColor, 256> FColors;
};

// Codes 8-bit rows in coding order (interlaced: pass order), each row read
// just before it is coded. The code size comes from the rows' colours,
// counted from the top over the rows there are; while rows are still to
// come and the count has not settled it, the rows are coded for as many
// colours as the palette holds, and counted further before each row is
// coded. The headers, whose colour table follows the order in which the
// colours first appear, take their place in front of the image data and are
// written when the last row is coded. When the rows show colours of fewer
// bits than they were coded for (a palette the picture does not fill,
// settled only by its last rows) or of more (indices past the palette), the
// stream goes back to where the GIF starts and false tells the caller to
// write it the other way, from rows that are all there by then.
bool WritePaletteRows(TStream& Stream, const TGIFRows& Rows, const TFrameInfo& Frame) {
  const int64_t start = Stream.Position();
  auto ready = [&Rows] { return Rows.Ready ? std::clamp(Rows.Ready(), 0, Rows.Height) : Rows.Height; };
  TRowColorCount census(Rows);
  census.CountTo(ready());
  const int32_t colors = census.Colors();
  const int32_t bits = GIFBitsPerPixel(colors);
  // "GIF89a", screen descriptor, global table, graphic control extension,
  // image descriptor.
  const std::vector<uint8_t> room(static_cast<size_t>(6 + 7 + 3 * (1 << bits) + 8 + 10), 0);
  WriteBytes(Stream, room);

  struct TOtherCodeSize {};
  auto row = [&](int32_t Y) {
    if (!census.Settled()) {
      census.CountTo(std::max(ready(), Y + 1));
      if (census.Settled() && GIFBitsPerPixel(census.Colors()) != bits) throw TOtherCodeSize{};
    }
    return Rows.Row(Y);
  };
  auto state = std::make_unique<TGIFWriteState>(Stream);
  std::array<uint8_t, 256> map{};
  GIFWriteStatus = 6;
  TGIFPaletteMapper mapper(*state, Rows.Colors, map);
  GIFWriteStatus = 2;
  // The coder asks for an index's place as it first reads it, which is
  // coding order, so the rows need no pass of their own for it.
  std::array<uint16_t, 256> places;
  places.fill(0xFFFF);
  try {
    CompressGIFLZW(Stream, Rows.Width, Rows.Height, Frame.Interlaced, row, places.data(), colors,
                   [&](uint8_t Index) { return mapper.Place(Index); });
  } catch (const TOtherCodeSize&) {
    Stream.Seek(start, soBeginning);
    return false;
  }
  if (GIFBitsPerPixel(std::max(state->ColorCount, 1)) != bits) {
    Stream.Seek(start, soBeginning);
    return false;
  }
  if (Frame.Transparent) SetGIFTransparentIndex(*state, Frame.TransparentColor);
  const int64_t end = Stream.Position();
  std::vector<uint8_t> b;
  PutScreen(b, Rows.Width, Rows.Height, state.get());
  PutFrameHeader(b, Frame, Rows.Width, Rows.Height, *state, false);
  Stream.Seek(start, soBeginning);
  WriteBytes(Stream, b);
  Stream.Seek(end, soBeginning);
  const int32_t colorCount = state->ColorCount;
  state.reset();
  FinishGIF(Stream, colorCount);
  return true;
}

}  // namespace

bool ConvertBitmapToGIFIndices(TGIFWriteState& State, TBitmap& Bitmap, bool Interlaced, bool Transparent,
                               TColor TransparentColor) {
  Bitmap.SetPixelFormat(pf24bit);
  return ConvertRowsToGIFIndices(
      State, Bitmap.Width(), Bitmap.Height(),
      [&Bitmap](int32_t y) { return static_cast<const uint8_t*>(Bitmap.ScanLine(y)); }, Interlaced, Transparent,
      TransparentColor);
}

bool WriteGIF(TGIFWriteJob& Job, TStream& Stream) {
  GIFWriteStatus = 2;
  if (Job.FrameCount < 1 || Job.FrameCount > 256)
    throw EPixelGraphic("GIF: a write job holds 1 to 256 frames");
  int32_t screenWidth = 0, screenHeight = 0;
  for (int32_t f = 0; f < Job.FrameCount; ++f) {
    TFrameInfo* frame = Job.Frames[f];
    if (frame == nullptr || frame->Bitmap == nullptr) throw EPixelGraphic("GIF: a frame has no bitmap");
    int32_t w = frame->Bitmap->Width(), h = frame->Bitmap->Height();
    CheckFrameGeometry(*frame, w, h);
    screenWidth = std::max(screenWidth, w + frame->Left);
    screenHeight = std::max(screenHeight, h + frame->Top);
  }

  auto state = std::make_unique<TGIFWriteState>(Stream);
  state->FrameCount = Job.FrameCount;

  // Conversion pass: into one palette shared by every frame (or frame 1
  // alone, when the job asks for local tables).
  for (int32_t f = 1; f <= Job.FrameCount; ++f) {
    TBitmap& bitmap = *Job.Frames[f - 1]->Bitmap;
    int64_t pixels = static_cast<int64_t>(bitmap.Width()) * bitmap.Height();
    state->Indices[f - 1].resize(static_cast<size_t>(pixels));
    state->FrameWidth[f - 1] = bitmap.Width();
    state->CurrentFrame = f;
    if (Job.UseGlobalColorTable || f == 1) {
      const TFrameInfo& fi = *Job.Frames[f - 1];
      if (!ConvertBitmapToGIFIndices(*state, bitmap, fi.Interlaced, fi.Transparent, fi.TransparentColor)) {
        if (Job.UseGlobalColorTable && f != 1) {
          Job.UseGlobalColorTable = false;  // every frame gets its own table below
          continue;
        }
        return false;
      }
    }
  }

  const bool localTables = Job.FrameCount > 1 && !Job.UseGlobalColorTable;
  std::vector<uint8_t> b;
  PutScreen(b, screenWidth, screenHeight, localTables ? nullptr : state.get());
  if (Job.FrameCount > 1) {
    const char* id = "NETSCAPE2.0";
    b.insert(b.end(), {0x21, 0xFF, 0x0B});
    b.insert(b.end(), id, id + 11);
    b.insert(b.end(), {0x03, 0x01});
    PutWord(b, Job.LoopCount);
    b.push_back(0);
  }
  WriteBytes(Stream, b);

  for (int32_t f = 1; f <= Job.FrameCount; ++f) {
    const TFrameInfo& fi = *Job.Frames[f - 1];
    TBitmap& bitmap = *fi.Bitmap;
    state->CurrentFrame = f;
    if (localTables) {
      state->ColorCount = 0;
      state->Palette.fill(0);
      if (!ConvertBitmapToGIFIndices(*state, bitmap, fi.Interlaced, fi.Transparent, fi.TransparentColor))
        return false;
    }
    WriteGIFComment(Stream, fi.Comment);
    b.clear();
    PutFrameHeader(b, fi, bitmap.Width(), bitmap.Height(), *state, localTables);
    WriteBytes(Stream, b);
    CompressGIFLZW(*state);
  }
  const int32_t colorCount = state->ColorCount;
  state.reset();
  FinishGIF(Stream, colorCount);
  return true;
}

bool WriteGIFJob(TStream& Stream, TGIFWriteJob& Job) {
  bool result = WriteGIF(Job, Stream);
  if (result) GIFWriteStatus = 0;
  return result;
}

bool SaveBitmapAsGIF(TStream& Stream, TBitmap& Bitmap, bool Interlaced, bool Transparent, TColor TransparentColor) {
  TGIFWriteJob job;
  job.FrameCount = 1;
  job.LoopCount = 0;
  job.UseGlobalColorTable = true;
  auto frame = std::make_unique<TFrameInfo>();
  frame->Bitmap = &Bitmap;
  frame->Width = Bitmap.Width();
  frame->Height = Bitmap.Height();
  frame->Interlaced = Interlaced;
  frame->Transparent = Transparent;
  frame->TransparentColor = TransparentColor;
  job.Frames[0] = frame.get();
  return WriteGIFJob(Stream, job);
}

bool SaveRowsAsGIF(TStream& Stream, const TGIFRows& Rows, bool Interlaced, bool Transparent,
                   TColor TransparentColor) {
  GIFWriteStatus = 2;
  TFrameInfo frame;
  frame.Width = Rows.Width;
  frame.Height = Rows.Height;
  frame.Interlaced = Interlaced;
  frame.Transparent = Transparent;
  frame.TransparentColor = TransparentColor;
  CheckFrameGeometry(frame, Rows.Width, Rows.Height);
  if (Rows.BitCount != 8 && Rows.BitCount != 24) throw EPixelGraphic("GIF: rows of 8 or 24 bits only");

  const int64_t start = Stream.Position(), size = Stream.Size();
  bool rewound = false;
  if (Rows.BitCount == 8) {
    if (WritePaletteRows(Stream, Rows, frame)) return true;
    rewound = true;
  }

  auto state = std::make_unique<TGIFWriteState>(Stream);
  std::array<uint8_t, 256> map{};
  if (Rows.BitCount == 8) {
    MapPaletteRowsToGIF(*state, Rows, Interlaced, Transparent, TransparentColor, map);
  } else {
    state->Indices[0].resize(static_cast<size_t>(int64_t(Rows.Width) * Rows.Height));
    state->FrameWidth[0] = Rows.Width;
    if (!ConvertRowsToGIFIndices(*state, Rows.Width, Rows.Height, Rows.Row, Interlaced, Transparent,
                                 TransparentColor))
      return false;
  }

  std::vector<uint8_t> b;
  PutScreen(b, Rows.Width, Rows.Height, state.get());
  PutFrameHeader(b, frame, Rows.Width, Rows.Height, *state, false);
  WriteBytes(Stream, b);
  if (Rows.BitCount == 8) {
    std::array<uint16_t, 256> places;
    std::copy(map.begin(), map.end(), places.begin());
    CompressGIFLZW(Stream, Rows.Width, Rows.Height, Interlaced, Rows.Row, places.data(), state->ColorCount);
  } else {
    CompressGIFLZW(*state);
  }
  const int32_t colorCount = state->ColorCount;
  state.reset();
  FinishGIF(Stream, colorCount);
  // A first try that went back leaves its longer tail behind this GIF.
  if (rewound && size <= start && Stream.Size() > Stream.Position()) Stream.SetSize(Stream.Position());
  return true;
}
