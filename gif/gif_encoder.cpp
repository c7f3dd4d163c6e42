// The GIF89a writer: palette building, headers, colour tables, graphic
// control and comment extensions around the LZW image data.
#include "gif/gif_encoder.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/base/exception.h"
#include "platform/gdi/bitmap.h"

uint8_t GIFWriteStatus = 0;
TProgressEvent GIFWriteProgress;
std::string GIFComment;
int32_t GIFColorCount = 0;

namespace {

std::string ApplicationTitle = "Quillon";

const char* const kMakerNotice = "Quillon imaging library by Marrowick";
const char* const kMakerAddress = "https://www.marrowick.example/";

// Maps 24-bit colours to palette indices in a small open-addressing table;
// the palette keeps first-appearance order, this only speeds up the search.
class TColorLookup {
public:
  void Reset() { std::memset(FKeys, 0, sizeof(FKeys)); }
  // Returns the index of Color, or -1 after reserving its slot for Index.
  int32_t FindOrAdd(uint32_t Color, int32_t Index) {
    uint32_t key = Color | 0x1000000u;  // 0 marks an empty slot
    uint32_t slot = (key * 0x9E3779B1u) >> (32 - kBits);
    for (;;) {
      if (FKeys[slot] == key) return FIndex[slot];
      if (FKeys[slot] == 0) {
        FKeys[slot] = key;
        FIndex[slot] = static_cast<uint16_t>(Index);
        return -1;
      }
      slot = (slot + 1) & (kSlots - 1);
    }
  }

private:
  static constexpr int kBits = 11;
  static constexpr uint32_t kSlots = 1u << kBits;  // far more than 257 entries
  uint32_t FKeys[kSlots];
  uint16_t FIndex[kSlots];
};

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
    throw EInvalidOperation("GIF: a frame must lie within 65535 x 65535 pixels");
}

}  // namespace

void InitializeGIFEncoder() {
  GIFWriteStatus = 0;
  GIFWriteProgress = nullptr;
}

void FinalizeGIFEncoder() {
  GIFComment.clear();
  GIFComment.shrink_to_fit();
}

void SetGIFApplicationTitle(const std::string& Title) { ApplicationTitle = Title; }
const std::string& GIFApplicationTitle() { return ApplicationTitle; }

int32_t GIFBitsPerPixel(int32_t Count) {
  if (Count < 0 || Count > 256) return 0;
  if (Count <= 2) return 1;
  int32_t bits = 1;
  while ((1 << bits) < Count) ++bits;
  return bits;
}

bool ConvertRowsToGIFIndices(TGIFWriteState& State, int32_t Width, int32_t Height,
                             const std::function<const uint8_t*(int32_t)>& ScanLine, bool Interlaced,
                             bool Transparent, TColor TransparentColor) {
  GIFWriteStatus = 6;
  const int32_t f = State.CurrentFrame - 1;
  // Each conversion looks for the frame's transparent index afresh: a frame
  // converted again into a local palette must not keep the global one's.
  State.HasTransparentIndex[f] = false;
  State.TransparentIndex[f] = 0xFF;

  auto lookup = std::make_unique<TColorLookup>();
  lookup->Reset();
  for (int32_t i = 0; i < State.ColorCount; ++i) {
    const uint8_t* p = &State.Palette[3 * i];
    lookup->FindOrAdd(p[0] | (p[1] << 8) | (p[2] << 16), i);
  }

  uint8_t* dst = State.Indices[f].data();
  uint32_t lastColor = 0xFFFFFFFFu;
  uint8_t lastIndex = 0;
  TGIFInterlaceOrder order(Height, Interlaced);
  for (int32_t y = Height > 0 ? order.First() : -1; y >= 0; y = order.Next(y)) {
    const uint8_t* src = ScanLine(y);
    for (int32_t x = 0; x < Width; ++x, src += 3) {
      uint32_t color = src[2] | (src[1] << 8) | (src[0] << 16);
      if (color != lastColor) {
        int32_t index = lookup->FindOrAdd(color, State.ColorCount);
        if (index < 0) {
          index = State.ColorCount++;
          if (State.ColorCount > 256) {
            GIFWriteStatus = 4;
            return false;
          }
          State.Palette[3 * index] = src[2];
          State.Palette[3 * index + 1] = src[1];
          State.Palette[3 * index + 2] = src[0];
        }
        lastColor = color;
        lastIndex = static_cast<uint8_t>(index);
      }
      *dst++ = lastIndex;
    }
  }

  if (Transparent) {
    // The frame's transparent index is that of the transparent colour, when
    // one of the frame's own pixels has it.
    uint8_t r = TransparentColor & 0xFF, g = (TransparentColor >> 8) & 0xFF, b = (TransparentColor >> 16) & 0xFF;
    for (int32_t i = 0; i < State.ColorCount; ++i) {
      const uint8_t* p = &State.Palette[3 * i];
      if (p[0] == r && p[1] == g && p[2] == b) {
        const std::vector<uint8_t>& idx = State.Indices[f];
        if (std::memchr(idx.data(), i, idx.size()) != nullptr) {
          State.TransparentIndex[f] = static_cast<uint8_t>(i);
          State.HasTransparentIndex[f] = true;
        }
        break;
      }
    }
  }
  GIFWriteStatus = 0;
  return true;
}

bool ConvertBitmapToGIFIndices(TGIFWriteState& State, TBitmap& Bitmap, bool Interlaced, bool Transparent,
                               TColor TransparentColor) {
  Bitmap.SetPixelFormat(pf24bit);
  return ConvertRowsToGIFIndices(
      State, Bitmap.Width(), Bitmap.Height(),
      [&Bitmap](int32_t y) { return static_cast<const uint8_t*>(Bitmap.ScanLine(y)); }, Interlaced, Transparent,
      TransparentColor);
}

void WriteGIFComment(TStream& Stream, const std::string& Text) {
  if (Text.empty()) return;
  std::vector<uint8_t> b = {0x21, 0xFE};
  size_t pos = 0;
  while (pos < Text.size()) {
    size_t n = std::min<size_t>(Text.size() - pos, 255);
    b.push_back(static_cast<uint8_t>(n));
    b.insert(b.end(), Text.begin() + static_cast<std::ptrdiff_t>(pos),
             Text.begin() + static_cast<std::ptrdiff_t>(pos + n));
    pos += n;
  }
  b.push_back(0);
  WriteBytes(Stream, b);
}

bool WriteGIF(TGIFWriteJob& Job, TStream& Stream) {
  GIFWriteStatus = 2;
  if (Job.FrameCount < 1 || Job.FrameCount > 256)
    throw EInvalidOperation("GIF: a write job holds 1 to 256 frames");
  int32_t screenWidth = 0, screenHeight = 0;
  for (int32_t f = 0; f < Job.FrameCount; ++f) {
    TFrameInfo* frame = Job.Frames[f];
    if (frame == nullptr || frame->Bitmap == nullptr) throw EInvalidOperation("GIF: a frame has no bitmap");
    int32_t w = frame->Bitmap->Width(), h = frame->Bitmap->Height();
    CheckFrameGeometry(*frame, w, h);
    screenWidth = std::max(screenWidth, w + frame->Left);
    screenHeight = std::max(screenHeight, h + frame->Top);
  }

  auto state = std::make_unique<TGIFWriteState>();
  state->Stream = &Stream;
  state->FrameCount = Job.FrameCount;
  state->TransparentIndex.fill(0xFF);

  // Conversion pass: into one palette shared by every frame (or frame 1
  // alone, when the job asks for local tables).
  for (int32_t f = 1; f <= Job.FrameCount; ++f) {
    TBitmap& bitmap = *Job.Frames[f - 1]->Bitmap;
    int64_t pixels = static_cast<int64_t>(bitmap.Width()) * bitmap.Height();
    state->Indices[f - 1].assign(static_cast<size_t>(pixels), 0);
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
  std::vector<uint8_t> b = {'G', 'I', 'F', '8', '9', 'a'};
  PutWord(b, screenWidth);
  PutWord(b, screenHeight);
  if (!localTables) {
    int32_t bits = GIFBitsPerPixel(state->ColorCount);
    b.push_back(static_cast<uint8_t>(0x80 + bits - 1));
    b.push_back(0);
    b.push_back(0);
    PutColorTable(b, *state, bits);
  } else {
    b.insert(b.end(), {0, 0, 0});
  }
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

    b.assign({0x21, 0xF9, 0x04});
    uint8_t packed = fi.DisposalMethod <= 3 ? static_cast<uint8_t>(fi.DisposalMethod << 2) : 0;
    bool transparent = fi.Transparent && state->HasTransparentIndex[f - 1];
    if (transparent) packed |= 0x01;
    b.push_back(packed);
    PutWord(b, (fi.Delay / 10) & 0xFFFF);
    b.push_back(state->TransparentIndex[f - 1]);
    b.push_back(0);

    b.push_back(0x2C);
    PutWord(b, fi.Left);
    PutWord(b, fi.Top);
    PutWord(b, bitmap.Width());
    PutWord(b, bitmap.Height());
    int32_t bits = GIFBitsPerPixel(state->ColorCount);
    b.push_back(static_cast<uint8_t>((localTables ? 0x80 + bits - 1 : 0) | (fi.Interlaced ? 0x40 : 0)));
    if (localTables) PutColorTable(b, *state, bits);
    WriteBytes(Stream, b);
    CompressGIFLZW(*state);
  }
  const int32_t colorCount = state->ColorCount;
  state.reset();

  if (GIFWriteProgress) {
    bool keep = true;
    GIFWriteProgress(nullptr, 100, 100, 100, keep);
  }
  GIFComment = "Created by " + ApplicationTitle + "\r\n" + kMakerNotice + "\r\n" + kMakerAddress;
  WriteGIFComment(Stream, GIFComment);
  const uint8_t trailer = 0x3B;
  Stream.Write(&trailer, 1);
  GIFColorCount = colorCount;
  GIFWriteStatus = 0;
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
