#include "gif/gif_read_write.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "gif/gif_decoder.h"
#include "gif/gif_encoder.h"
#include "imaging/core/exceptions.h"
#include "imaging/core/messages.h"
#include "imaging/core/pixel_graphic.h"
#include "imaging/core/pixel_rows.h"
#include "imaging/core/row_gate.h"
#include "platform/base/strings.h"
#include "platform/gdi/bitmap.h"

bool GIFInterlaced = false;
bool GIFTransparent = false;
TColor GIFTransparentColor = 0xFFFFFF;
int32_t GIFWrittenSize = 0;

namespace {

int RegistrationCount = 0;

// The text of a parse that failed: data that is damaged is told apart from a
// file that is no GIF at all.
std::string FailureText(const TGIFDecoder& Decoder) {
  switch (Decoder.Failure()) {
    case gfSignature: return PGMessage(34, "GIF");
    case gfFrameSize: return PGMessage(35);
    case gfCodeSize: return PGMessage(20, "LZW minimum code size");
    default: return PGMessage(32);
  }
}

// Decodes the first frame straight into the image's own pixel memory, whose
// 8-bit bottom-up rows are laid out as the decoder writes them: the frame is
// decoded once and never copied. The image's palette is the frame's colour
// table, 2^bits entries, so that it holds no colours the file does not.
class TGIFImageDecoder : public TGIFDecoder {
public:
  explicit TGIFImageDecoder(TPixelGraphic& Graphic) : FGraphic(Graphic) { SetFirstImageOnly(true); }

protected:
  uint8_t* FramePixels(TGIFFrame& Frame, int64_t Bytes) override {
    FGraphic.NewImage(Frame.Width, Frame.Height, pf8Bit);
    const int32_t entries = std::clamp(Frame.ColorsUsed, 1, 256);
    FGraphic.SetPaletteCount(entries);
    for (int32_t i = 0; i < entries; ++i) {
      const uint8_t* rgb = Frame.Palette.data() + 3 * i;
      FGraphic.SetPaletteEntry(i, static_cast<TColor>(rgb[0] | rgb[1] << 8 | rgb[2] << 16));
    }
    // NewImage gives every pixel one value, that of the transparent colour
    // (new memory is zero already); the rows a raster never reaches must
    // hold index 0.
    uint8_t* bits = FGraphic.ScanLine(Frame.Height - 1);
    if (bits[0] != 0) std::memset(bits, 0, static_cast<size_t>(Bytes));
    return bits;
  }

private:
  TPixelGraphic& FGraphic;
};

// Parses the GIF that starts at the stream's position, in place when the
// stream is in memory, else from a copy of what the parse uses (comments and
// the like are not read into memory). A stream that does not parse raises
// EPixelGraphic with the GIF tag, so that a damaged file is reported rather
// than loaded as an empty image; a frame or screen over the image-size cap
// keeps its EPGInvalidSize, raised before decoding. The stream is left at its
// end.
void ParseGIFStream(TGIFDecoder& Decoder, TStream& Stream) {
  int64_t left = std::max<int64_t>(0, Stream.Size() - Stream.Position());
  std::vector<uint8_t> copy;
  const uint8_t* bytes;
  if (auto* memory = dynamic_cast<TMemoryStream*>(&Stream)) {
    bytes = left > 0 ? memory->Memory() + memory->Position() : nullptr;
    memory->Seek(0, soEnd);
  } else {
    ReadGIFForParse(Stream, copy, Decoder.FirstImageOnly());
    bytes = copy.data();
    left = static_cast<int64_t>(copy.size());
  }
  bool parsed = false;
  try {
    parsed = Decoder.ParseBytes(bytes, left);
  } catch (const EPixelGraphic&) {
    throw;
  } catch (const EReadError&) {
    throw EPixelGraphic("GIF: " + PGMessage(32));
  }
  if (!parsed) throw EPixelGraphic("GIF: " + FailureText(Decoder));
  // A file that ends before its first image has nothing to show.
  if (Decoder.FrameCount() == 0) throw EPixelGraphic("GIF: " + PGMessage(32));
}

}  // namespace

// ---- reader

TGIFFileFormatReader::TGIFFileFormatReader() {
  FListed = true;
  FExtension = "gif";
  FDescription = "GIF-Format";
  FIdentifiedByContent = true;
}

bool TGIFFileFormatReader::Identify(const TPGFileHeader& Header) {
  return std::memcmp(Header.data(), "GIF8", 4) == 0 && (Header[4] == '7' || Header[4] == '9');
}

void TGIFFileFormatReader::Read(TStream& Stream, TPixelGraphic& Graphic, int32_t) {
  TGIFImageDecoder decoder(Graphic);
  decoder.SetKeepComments(false);
  ParseGIFStream(decoder, Stream);
}

void TGIFFileFormatReader::GetInfo(TStream& Stream, int32_t, TPGGraphicInfo& Info) {
  // Every frame is walked and checked, none decoded.
  TGIFDecoder decoder;
  decoder.SetKeepComments(false);
  decoder.SetDecodePixels(false);
  ParseGIFStream(decoder, Stream);
  Info.ImageCount = decoder.FrameCount();
  Info.BitsPerPixel = decoder.GlobalBits();
  Info.ColorsText = IntToStr(decoder.ColorDepth());
  Info.Width = decoder.Width();
  Info.Height = decoder.Height();
  // A loop count of 0 plays for ever.
  if (decoder.FrameCount() > 1)
    Info.FormatText = decoder.LoopCount() == 0   ? std::string("Animated (loops for ever)")
                      : decoder.LoopCount() == 1 ? std::string("Animated (1 iteration)")
                                                 : "Animated (" + IntToStr(decoder.LoopCount()) + " iterations)";
  if (decoder.AnyFrameInterlaced()) Info.ExtraText = "Interlaced";
}

// ---- writer

TGIFFileFormatWriter::TGIFFileFormatWriter() {
  FListed = true;
  FExtension = "gif";
  FDescription = "GIF-Format";
  FCanWriteResolutions = 1u << cr256Colors;
  FMultiPage = false;
}

namespace {

// The rows of Graphic as the encoder reads them: palette indices with the
// colours a bitmap of the image would show (black past the palette), or
// colours. 1- and 4-bit rows are widened into Scratch, a row at a time.
TGIFRows RowsOf(TPixelGraphic& Graphic, std::vector<uint8_t>& Scratch) {
  TGIFRows rows;
  rows.Width = Graphic.GetWidth();
  rows.Height = Graphic.GetHeight();
  rows.BitCount = Graphic.GetPixelFormat() == pf24Bit ? 24 : 8;
  // Rows still being written by another thread are read once finished.
  TPGRowGate* gate = Graphic.RowGate();
  if (Graphic.GetPixelFormat() == pf24Bit || Graphic.GetPixelFormat() == pf8Bit) {
    rows.Row = [&Graphic, gate](int32_t y) {
      if (gate) gate->WaitForRow(y);
      return static_cast<const uint8_t*>(Graphic.ScanLine(y));
    };
  } else {
    Scratch.resize(static_cast<size_t>(std::max(rows.Width, 0)));
    rows.Row = [&Graphic, &Scratch, gate](int32_t y) {
      if (gate) gate->WaitForRow(y);
      UnpackRowIndices(Graphic.ScanLine(y), Graphic.GetPixelFormat(), 0, static_cast<int64_t>(Scratch.size()),
                       Scratch.data());
      return static_cast<const uint8_t*>(Scratch.data());
    };
  }
  if (gate) rows.Ready = [gate] { return gate->FinishedRows(); };
  if (rows.BitCount == 8) {
    const int32_t colors = std::min(Graphic.PaletteCount(), Graphic.GetMaxColors());
    for (int32_t i = 0; i < colors; ++i) rows.Colors[static_cast<size_t>(i)] = Graphic.GetPaletteEntry(i);
    rows.PaletteSize = colors;
  }
  return rows;
}

// A 64-bit running hash of words; runs of bytes go through four lanes that
// do not wait on each other.
struct THash {
  uint64_t H = 0x243F6A8885A308D3ull;
  static uint64_t Mix(uint64_t H, uint64_t W) {
    H ^= W * 0x9E3779B97F4A7C15ull;
    return (H << 27 | H >> 37) * 0xBF58476D1CE4E5B9ull + 0x94D049BB133111EBull;
  }
  void Add(uint64_t W) { H = Mix(H, W); }
  void AddBytes(const uint8_t* P, size_t N) {
    uint64_t lane[4] = {H, H + 1, H + 2, H + 3};
    size_t i = 0;
    for (; i + 32 <= N; i += 32) {
      uint64_t w[4];
      std::memcpy(w, P + i, 32);
      for (int k = 0; k < 4; ++k) lane[k] = Mix(lane[k], w[k]);
    }
    for (int k = 1; k < 4; ++k) lane[0] = Mix(lane[0], lane[k]);
    H = lane[0];
    for (; i + 8 <= N; i += 8) {
      uint64_t w;
      std::memcpy(&w, P + i, 8);
      Add(w);
    }
    uint64_t tail = N - i;
    for (; i < N; ++i) tail = tail << 8 | P[i];
    Add(tail);
  }
};

}  // namespace

bool SavePixelGraphicAsGIF(TStream& Stream, TPixelGraphic& Graphic, bool Interlaced, bool Transparent,
                           TColor TransparentColor) {
  std::vector<uint8_t> scratch;
  return SaveRowsAsGIF(Stream, RowsOf(Graphic, scratch), Interlaced, Transparent, TransparentColor);
}

uint64_t GIFPictureKey(TPixelGraphic& Graphic, bool Interlaced) {
  std::vector<uint8_t> scratch;
  const TGIFRows rows = RowsOf(Graphic, scratch);
  THash hash;
  hash.Add(static_cast<uint64_t>(static_cast<uint32_t>(rows.Width)) << 32 | static_cast<uint32_t>(rows.Height));
  hash.Add(static_cast<uint64_t>(rows.BitCount) << 1 | (Interlaced ? 1 : 0));
  if (rows.Width < 1 || rows.Height < 1) return hash.H;
  if (rows.BitCount == 24) {
    for (int32_t y = 0; y < rows.Height; ++y) hash.AddBytes(rows.Row(y), static_cast<size_t>(rows.Width) * 3);
    return hash.H;
  }
  // What the file holds, whatever order the image's own palette has: each
  // index takes the place its colour first has in the rows' coding order,
  // colours shared by several indices one place; the pixels are hashed by
  // those places, then the colours in place order.
  std::array<int16_t, 256> place;
  place.fill(-1);
  std::array<TColor, 256> colors{};
  int32_t colorCount = 0;
  std::vector<uint8_t> mapped(static_cast<size_t>(rows.Width));
  TGIFInterlaceOrder order(rows.Height, Interlaced);
  for (int32_t y = order.First(); y >= 0; y = order.Next(y)) {
    const uint8_t* row = rows.Row(y);
    // A row whose indices all have their places is mapped without a
    // branch; one that meets an index without is mapped again in order.
    int16_t missing = 0;
    for (int32_t x = 0; x < rows.Width; ++x) {
      const int16_t at = place[row[x]];
      missing |= at;
      mapped[static_cast<size_t>(x)] = static_cast<uint8_t>(at);
    }
    if (missing < 0)
      for (int32_t x = 0; x < rows.Width; ++x) {
        const uint8_t v = row[x];
        if (place[v] < 0) {
          const TColor color = rows.Colors[v] & 0xFFFFFF;
          const int32_t at =
              static_cast<int32_t>(std::find(colors.begin(), colors.begin() + colorCount, color) - colors.begin());
          if (at == colorCount) colors[static_cast<size_t>(colorCount++)] = color;
          place[v] = static_cast<int16_t>(at);
        }
        mapped[static_cast<size_t>(x)] = static_cast<uint8_t>(place[v]);
      }
    hash.AddBytes(mapped.data(), mapped.size());
  }
  hash.Add(static_cast<uint64_t>(colorCount));
  for (int32_t i = 0; i < colorCount; ++i) hash.Add(colors[static_cast<size_t>(i)]);
  return hash.H;
}

void TGIFFileFormatWriter::Write(TStream& Stream, TPixelGraphic& Graphic) {
  if (!SavePixelGraphicAsGIF(Stream, Graphic, GIFInterlaced, GIFTransparent, GIFTransparentColor))
    throw EPixelGraphic("GIF: " + PGMessage(36));
  GIFWrittenSize = static_cast<int32_t>(std::min<int64_t>(Stream.Size(), 0x7FFFFFFF));
}

// ---- start-up

void GIFReadWriteInitialization() {
  if (RegistrationCount++ > 0) return;
  try {
    RegisterFileFormatReader(std::make_unique<TGIFFileFormatReader>());
    RegisterFileFormatWriter(std::make_unique<TGIFFileFormatWriter>());
  } catch (...) {
    RegistrationCount = 0;
    throw;
  }
}

void GIFReadWriteFinalization() {
  if (RegistrationCount > 0) --RegistrationCount;
}
