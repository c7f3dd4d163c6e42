#include "gif/control/gif_image.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "gif/gif_encoder.h"
#include "platform/base/files.h"
#include "platform/gdi/dc.h"
#include "platform/ui/forms.h"

uint8_t GIFImageStatus = 0;

namespace {

std::string ClosingComment = "Created by Quillon";

void PutWord(std::vector<uint8_t>& B, int32_t V) {
  B.push_back(static_cast<uint8_t>(V));
  B.push_back(static_cast<uint8_t>(V >> 8));
}

}  // namespace

const std::string& GIFImageComment() { return ClosingComment; }

// ---- the control

TGIFImage::TGIFImage(TComponent* AOwner) : TGIFImg(AOwner) {
  ClosingComment = "Created by " + (Application != nullptr ? Application->Title() : GIFApplicationTitle());
}

bool TGIFImage::LoadFromFile(const std::string& Name) {
  FAskedName = Name;
  if (!FileExists(Name)) {
    FLoadStatus = GIFImageStatus = 7;
    return false;
  }
  FFileName = Name;
  bool loaded = false;
  try {
    TFileStream file(Name, fmOpenRead);
    loaded = LoadFromStream(file);
  } catch (const Exception&) {
    // A file that cannot be opened or read is no readable GIF either.
    Clear();
    FLoadStatus = GIFImageStatus = 3;
  }
  return loaded;
}

bool TGIFImage::LoadFromStream(TStream& Stream) {
  const bool loaded = TGIFImg::LoadFromStream(Stream);
  FLoadStatus = GIFImageStatus = loaded ? 0 : Status();
  return loaded;
}

std::string TGIFImage::StatusText() const {
  const std::string name = "\"" + FAskedName + "\"";
  switch (FLoadStatus) {
    case 0: return "";
    case 1: return "Loading " + name + " was stopped.";
    case 2: return name + " holds no GIF data.";
    case 7: return name + " does not exist.";
    default:
      if (!SizeError().empty()) return name + " is too large to open: " + SizeError() + ".";
      return name + " is not a readable GIF file.";
  }
}

void TGIFImage::SetVisible(bool Value) {
  TGraphicControl::SetVisible(Value);
  InvalidatePicture();
}

std::unique_ptr<TBitmap> TGIFImage::MakeFirstBitmap() {
  const TGIFFrame& f = Frame(1);
  // Inside frame 1 every pixel shows its palette colour: a transparent one
  // the transparent colour, which is its own. A frame covering the screen
  // is therefore the picture itself.
  const int32_t cw = CanvasWidth(), ch = CanvasHeight();
  if (f.Left == 0 && f.Top == 0 && f.Width == cw && f.Height == ch) return TakeFrameBitmap(1);
  TBitmap* frame = FrameBitmap(1);
  if (frame == nullptr) return nullptr;
  const TColor fill = f.Transparent ? RGB(f.TransparentRed, f.TransparentGreen, f.TransparentBlue) : clBlack;
  // In 8 bits with frame 1's colours when the colour around it is one of
  // them or can take an entry: a free one past the frame's table, else one
  // that none of the frame's pixels use. Rows of entry 0 need no writing.
  std::vector<RGBQUAD> table = frame->ColorTable();
  const RGBQUAD around{GetBValue(fill), GetGValue(fill), GetRValue(fill), 0};
  const int32_t used = std::clamp(f.ColorsUsed, 1, 256);
  int32_t fillIndex = static_cast<int32_t>(std::find(table.begin(), table.begin() + used, around) - table.begin());
  const bool missing = fillIndex == used;
  if (missing && used == 256 && table.size() == 256) {
    std::array<bool, 256> shown{};
    for (int32_t y = 0; y < f.Height; ++y) {
      const uint8_t* row = static_cast<const uint8_t*>(frame->ScanLine(y));
      for (int32_t x = 0; x < f.Width; ++x) shown[row[x]] = true;
    }
    fillIndex = static_cast<int32_t>(std::find(shown.begin(), shown.end(), false) - shown.begin());
  }
  if (missing && fillIndex < 256 && table.size() == 256) table[static_cast<size_t>(fillIndex)] = around;
  if (fillIndex < 256 && table.size() == 256) {
    auto b = std::make_unique<TBitmap>();
    b->SetPixelFormat(pf8bit);
    b->SetSize(cw, ch);
    b->SetColorTable(table);
    for (int32_t y = 0; y < ch && fillIndex != 0; ++y) std::memset(b->ScanLine(y), fillIndex, static_cast<size_t>(cw));
    for (int32_t y = 0; y < f.Height; ++y)
      std::memcpy(static_cast<uint8_t*>(b->ScanLine(f.Top + y)) + f.Left, frame->ScanLine(y), static_cast<size_t>(f.Width));
    return b;
  }
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(pf24bit);
  b->SetSize(CanvasWidth(), CanvasHeight());
  TCanvas* canvas = b->Canvas();
  canvas->Brush()->SetStyle(bsSolid);
  canvas->Brush()->SetColor(fill);
  canvas->FillRect(Rect(0, 0, b->Width(), b->Height()));
  HDC dc = canvas->Handle();
  const TRect r = Bounds(f.Left, f.Top, f.Width, f.Height);
  if (f.Transparent && FrameMask(1) != nullptr) {
    // Where the mask is white the filled colour stays, whatever the frame
    // holds under its transparent pixels.
    BlitBitmap(dc, r, frame, SRCINVERT);
    BlitBitmap(dc, r, FrameMask(1), SRCAND);
    BlitBitmap(dc, r, frame, SRCINVERT);
  } else {
    BlitBitmap(dc, r, frame, SRCCOPY);
  }
  b->FreeContext();
  return b;
}

// ---- the writer

bool SaveBitmapAsGIFStream(TStream& Stream, TBitmap& Bitmap, bool Interlaced, TColor TransparentColor,
                           bool Transparent) {
  GIFWriteStatus = 2;
  const int32_t width = Bitmap.Width(), height = Bitmap.Height();
  if (Bitmap.Empty() || width < 1 || height < 1 || width > 65535 || height > 65535)
    throw EInvalidOperation("GIF: a frame must lie within 65535 x 65535 pixels");

  // The rows as 24-bit colours, the top row first.
  const int64_t stride = DIBBytesPerLine(width, 24);
  std::vector<uint8_t> rows(static_cast<size_t>(stride * height));
  TBitmapInfo256 info{};
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biBitCount = 24;
  if (GetDIBits(nullptr, Bitmap.Handle(), 0, static_cast<uint32_t>(height), rows.data(), info.Info(),
                DIB_RGB_COLORS) != height)
    throw EInvalidOperation("GIF: the bitmap's rows cannot be read");

  auto state = std::make_unique<TGIFWriteState>(Stream);
  state->Indices[0].assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
  state->FrameWidth[0] = width;
  if (!ConvertRowsToGIFIndices(
          *state, width, height, [&](int32_t y) { return rows.data() + y * stride; }, Interlaced, Transparent,
          TransparentColor))
    return false;

  const int32_t bits = GIFBitsPerPixel(state->ColorCount);
  std::vector<uint8_t> b = {'G', 'I', 'F', '8', '9', 'a'};
  PutWord(b, width);
  PutWord(b, height);
  b.insert(b.end(), {static_cast<uint8_t>(0x80 + bits - 1), 0, 0});
  b.insert(b.end(), state->Palette.begin(), state->Palette.begin() + 3 * (1 << bits));
  const bool transparent = Transparent && state->HasTransparentIndex[0];
  b.insert(b.end(), {0x21, 0xF9, 0x04, static_cast<uint8_t>(transparent ? 1 : 0), 0, 0, state->TransparentIndex[0], 0});
  b.push_back(0x2C);
  PutWord(b, 0);
  PutWord(b, 0);
  PutWord(b, width);
  PutWord(b, height);
  b.push_back(Interlaced ? 0x40 : 0);
  Stream.WriteBuffer(b.data(), static_cast<int64_t>(b.size()));
  CompressGIFLZW(*state);
  GIFComment = ClosingComment;
  WriteGIFComment(Stream, GIFComment);
  const uint8_t trailer = 0x3B;
  Stream.WriteBuffer(&trailer, 1);
  GIFColorCount = state->ColorCount;
  GIFWriteStatus = 0;
  return true;
}

bool SaveBitmapAsGIFFile(const std::string& Name, TBitmap& Bitmap, bool Interlaced, TColor TransparentColor,
                         bool Transparent) {
  // Built in memory first: a refused bitmap leaves the file as it was.
  TMemoryStream gif;
  if (!SaveBitmapAsGIFStream(gif, Bitmap, Interlaced, TransparentColor, Transparent)) return false;
  gif.SaveToFile(Name);
  return true;
}
