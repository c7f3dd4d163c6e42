// Truevision Targa reader and writer.
#include "imaging/formats/tga_format.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/core/exceptions.h"
#include "imaging/core/messages.h"
#include "imaging/core/options.h"
#include "imaging/formats/format_io.h"
#include "imaging/formats/pg_startup.h"
#include "platform/base/stream.h"

namespace {

struct TTGAHeader {
  uint8_t IDLength;
  uint8_t ColorMapType;
  uint8_t ImageType;
  uint16_t ColorMapFirst;
  uint16_t ColorMapLength;
  uint8_t ColorMapEntrySize;
  uint16_t Width;
  uint16_t Height;
  uint8_t PixelDepth;
  uint8_t Descriptor;
};

[[noreturn]] void RaiseTGA(const std::string& Text) { throw EPGTGAFileFormatReader("TGA: " + Text); }

uint16_t Word(const uint8_t* P) { return static_cast<uint16_t>(P[0] | P[1] << 8); }

TTGAHeader ReadHeader(TStream& Stream) {
  uint8_t B[18];
  Stream.ReadBuffer(B, 18);
  return TTGAHeader{B[0], B[1], B[2], Word(B + 3), Word(B + 5), B[7],
                    Word(B + 12), Word(B + 14), B[16], B[17]};
}

// A 16-bit pixel or map entry: five bits each of red, green and blue.
uint32_t Color16(uint16_t W) {
  uint32_t R = ((W >> 10) & 0x1F) * 8, G = ((W >> 5) & 0x1F) * 8, B = (W & 0x1F) * 8;
  return R | G << 8 | B << 16;
}

// One side zero and the other not is no picture, however much it claims; a
// picture over the image-size cap is refused before anything is read.
void CheckSize(const TTGAHeader& H) {
  if (H.Width == 0 && H.Height != 0) RaiseTGA(PGMessage(7, "Width"));
  if (H.Height == 0 && H.Width != 0) RaiseTGA(PGMessage(7, "Height"));
  CheckPGImageSize(H.Width, H.Height, H.PixelDepth == 8 ? pf8Bit : pf24Bit);
}

}  // namespace

TTGAFileFormatReader::TTGAFileFormatReader() {
  FExtension = "tga";
  FDescription = "Truevision Targa";
  FListed = true;
  FIdentifiedByContent = false;
}

void TTGAFileFormatReader::Read(TStream& Stream, TPixelGraphic& Graphic, int32_t Index) {
  if (Index != 0) RaiseTGA(PGMessage(7, "Index"));
  const TTGAHeader H = ReadHeader(Stream);
  const int Depth = H.PixelDepth;
  if (Depth != 8 && Depth != 16 && Depth != 24 && Depth != 32) RaiseTGA(PGMessage(30));
  const bool Mapped = Depth == 8 && H.ColorMapType == 1;
  // A first entry beyond the map would leave a negative number of entries.
  if (Mapped && H.ColorMapFirst > H.ColorMapLength) RaiseTGA(PGMessage(27, "ColorMap"));
  const int32_t n = Mapped ? H.ColorMapLength - H.ColorMapFirst : 0;

  Stream.Seek(H.IDLength, soCurrent);
  const int64_t MapStart = Stream.Position();
  std::vector<uint32_t> Map(static_cast<size_t>(n));
  if (Mapped && n > 0) {
    int EntryBytes = H.ColorMapEntrySize / 8;
    if (H.ColorMapEntrySize != 16 && H.ColorMapEntrySize != 24 && H.ColorMapEntrySize != 32)
      RaiseTGA(PGMessage(30));
    Stream.SetPosition(MapStart + static_cast<int64_t>(H.ColorMapFirst) * EntryBytes);
    std::vector<uint8_t> Bytes(static_cast<size_t>(n) * EntryBytes);
    Stream.ReadBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
    for (int32_t i = 0; i < n; ++i) {
      const uint8_t* P = Bytes.data() + static_cast<size_t>(i) * EntryBytes;
      Map[i] = EntryBytes == 2 ? Color16(Word(P)) : (P[2] | P[1] << 8 | P[0] << 16);
    }
  }
  Stream.SetPosition(MapStart + static_cast<int64_t>(H.ColorMapLength) * H.ColorMapEntrySize / 8);

  const int32_t Width = H.Width, Height = H.Height;
  const uint8_t Format = Depth == 8 ? pf8Bit : pf24Bit;
  CheckSize(H);
  const int Bpp = Depth / 8;
  const bool RunLength = H.ImageType & 8;
  const int64_t RowLength = static_cast<int64_t>(Width) * Bpp;
  // Uncompressed pixels that are not there for the most part are refused
  // before the image is made; a file cut in its second half is read as far
  // as it goes.
  if (!RunLength && std::max<int64_t>(0, Stream.Size() - Stream.Position()) * 2 < RowLength * Height)
    throw EReadError("Stream read error");
  Graphic.NewImage(Width, Height, Format);
  if (Depth == 8) {
    if (n == 0) {
      Graphic.SetPaletteIdent(pGray256);
    } else {
      int32_t Count = std::min(256, n);
      Graphic.SetPaletteCount(Count);
      for (int32_t i = 0; i < Count; ++i) Graphic.SetPaletteEntry(i, Map[i]);
    }
  }
  // An image without pixels reads none.
  if (Width < 1 || Height < 1) return;

  const bool RightToLeft = H.Descriptor & 0x10;
  const bool TopDown = H.Descriptor & 0x20;
  std::vector<uint8_t> Row(static_cast<size_t>(RowLength));
  int64_t Fill = 0;
  int32_t RowCounter = 0;

  TPGProgressScope Progress(Graphic, this);

  if (!RunLength && (Depth == 8 || Depth == 24) && !RightToLeft) {
    // Rows straight into pixel memory.
    for (int32_t r = 0; r < Height; ++r) {
      int32_t ImageRow = TopDown ? r : Height - 1 - r;
      Stream.ReadBuffer(Graphic.ScanLine(ImageRow), RowLength);
      if (Progress.Progress(r, Height)) break;
    }
    return;
  }

  // Stores the full row buffer into its image row, pixel by pixel only
  // where the coding or the direction differs from the image's; false when
  // reading must stop.
  auto StoreRow = [&]() {
    if (RowCounter >= Height) return false;
    uint8_t* Line = Graphic.ScanLine(TopDown ? RowCounter : Height - 1 - RowCounter);
    if (!RightToLeft && (Depth == 8 || Depth == 24)) {
      std::memcpy(Line, Row.data(), static_cast<size_t>(RowLength));
    } else {
      const int Out = Depth == 8 ? 1 : 3;
      for (int32_t x = 0; x < Width; ++x) {
        const uint8_t* P = Row.data() + static_cast<size_t>(x) * Bpp;
        uint8_t* D = Line + static_cast<size_t>(RightToLeft ? Width - 1 - x : x) * Out;
        if (Depth == 16) {
          const uint32_t C = Color16(Word(P));  // red in the low byte; rows hold blue first
          D[0] = static_cast<uint8_t>(C >> 16);
          D[1] = static_cast<uint8_t>(C >> 8);
          D[2] = static_cast<uint8_t>(C);
        } else {
          std::memcpy(D, P, static_cast<size_t>(Out));  // the index, or blue, green, red (alpha dropped)
        }
      }
    }
    bool Abort = Progress.Progress(RowCounter, Height);
    ++RowCounter;
    Fill = 0;
    return !Abort && RowCounter < Height;
  };

  if (!RunLength) {
    for (int32_t r = 0; r < Height; ++r) {
      Stream.ReadBuffer(Row.data(), RowLength);
      Fill = RowLength;
      if (!StoreRow()) break;
    }
    return;
  }

  // Packets run on across row ends: a full row is stored before the next
  // pixel goes into the buffer and after each packet. A run packet's pixel
  // is repeated into the row buffer a row piece at a time.
  TBufferedByteReader Input(Stream, [] { RaiseTGA(PGMessage(32)); });
  bool Going = true;
  while (Going) {
    const uint8_t Header = Input.Next();
    int64_t Count = (Header & 0x7F) + 1;
    if (Header & 0x80) {
      uint8_t Pixel[4];
      for (int k = 0; k < Bpp; ++k) Pixel[k] = Input.Next();
      while (Count > 0 && Going) {
        if (Fill == RowLength && !(Going = StoreRow())) break;
        const int64_t Here = std::min<int64_t>(Count, (RowLength - Fill) / Bpp);
        uint8_t* D = Row.data() + Fill;
        if (Bpp == 1) {
          std::memset(D, Pixel[0], static_cast<size_t>(Here));
        } else if (Here > 0) {
          // The pixel once, then the filled part doubled.
          const int64_t Total = Here * Bpp;
          std::memcpy(D, Pixel, static_cast<size_t>(Bpp));
          for (int64_t Done = Bpp; Done < Total; Done *= 2)
            std::memcpy(D + Done, D, static_cast<size_t>(std::min(Done, Total - Done)));
        }
        Fill += Here * Bpp;
        Count -= Here;
      }
    } else {
      for (int64_t i = 0; i < Count * Bpp && Going; ++i) {
        const uint8_t Byte = Input.Next();
        if (Fill == RowLength && !(Going = StoreRow())) break;
        Row[static_cast<size_t>(Fill++)] = Byte;
      }
    }
    if (Going && Fill == RowLength) Going = StoreRow();
  }
}

void TTGAFileFormatReader::GetInfo(TStream& Stream, int32_t Index, TPGGraphicInfo& Info) {
  TFileFormatReader::GetInfo(Stream, Index, Info);
  if (Index != 0) RaiseTGA(PGMessage(20, "Index"));
  const TTGAHeader H = ReadHeader(Stream);
  switch (H.ImageType) {
    case 1: case 2: case 3: Info.FormatText = "Uncompressed"; break;
    case 9: case 10: case 11: Info.FormatText = "Run-length encoded"; break;
    default: RaiseTGA(PGMessage(20, "ImageType"));
  }
  switch (H.ImageType & 7) {
    case 1: Info.ExtraText = "Color-mapped"; break;
    case 2: Info.ExtraText = "True-color"; break;
    default: Info.ExtraText = "\"Black-and-white\""; break;
  }
  // What open refuses of its size is not described either.
  CheckSize(H);
  Info.Width = H.Width;
  Info.Height = H.Height;
  Info.BitsPerPixel = H.PixelDepth;
  Info.ColorsText = H.PixelDepth < 24    ? std::to_string(int64_t{1} << H.PixelDepth)
                    : H.PixelDepth == 24 ? "16.7M"
                                         : "16.7M ?";
  Info.ImageCount = 1;
}

TTGAFileFormatWriter::TTGAFileFormatWriter() {
  FExtension = "tga";
  FDescription = "Truevision Targa";
  FListed = true;
  FMultiPage = false;
  FCanWriteResolutions = 0xC0;
}

void TTGAFileFormatWriter::Write(TStream& Stream, TPixelGraphic& Graphic) {
  const int32_t Width = Graphic.Width(), Height = Graphic.Height();
  // The header holds sizes in 16 bits.
  if (Width > 0xFFFF) throw EPGInvalidSize("TGA: " + PGMessage(27, "Width"));
  if (Height > 0xFFFF) throw EPGInvalidSize("TGA: " + PGMessage(27, "Height"));

  const bool TrueColor = Graphic.PixelFormat() == pf24Bit;
  const int32_t MapLength = TrueColor ? 0 : Graphic.PaletteCount();
  uint8_t H[18] = {};
  if (TrueColor) {
    H[2] = 2;
    H[16] = 24;
  } else {
    H[1] = 1;
    H[2] = 1;
    H[5] = static_cast<uint8_t>(MapLength);
    H[6] = static_cast<uint8_t>(MapLength >> 8);
    H[7] = 24;
    H[16] = 8;
  }
  H[12] = static_cast<uint8_t>(Width);
  H[13] = static_cast<uint8_t>(Width >> 8);
  H[14] = static_cast<uint8_t>(Height);
  H[15] = static_cast<uint8_t>(Height >> 8);
  Stream.WriteBuffer(H, 18);

  if (MapLength > 0) {
    std::vector<uint8_t> Map(3 * static_cast<size_t>(MapLength));
    for (int32_t i = 0; i < MapLength; ++i) {
      uint32_t C = Graphic.GetPaletteEntry(i);
      Map[3 * i] = static_cast<uint8_t>(C >> 16);
      Map[3 * i + 1] = static_cast<uint8_t>(C >> 8);
      Map[3 * i + 2] = static_cast<uint8_t>(C);
    }
    Stream.WriteBuffer(Map.data(), static_cast<int64_t>(Map.size()));
  }
  if (Height <= 0 || Width <= 0) return;

  TPGProgressScope Progress(Graphic, &Graphic);
  const bool Indexed8 = Graphic.PixelFormat() == pf8Bit;
  std::vector<uint8_t> Indexes(TrueColor || Indexed8 ? 0 : static_cast<size_t>(Width));
  for (int32_t r = 0; r < Height; ++r) {
    int32_t y = Height - 1 - r;  // bottom row first
    if (TrueColor || Indexed8) {
      Stream.WriteBuffer(Graphic.ScanLine(y), static_cast<int64_t>(Width) * (TrueColor ? 3 : 1));
    } else {
      // 1- and 4-bit images are written one index byte per pixel.
      for (int32_t x = 0; x < Width; ++x) Indexes[x] = static_cast<uint8_t>(Graphic.GetPixel(x, y));
      Stream.WriteBuffer(Indexes.data(), Width);
    }
    Progress.Progress(r, Height);
  }
}

void RegisterTGAFileFormats() {
  RegisterFileFormatReader(std::make_unique<TTGAFileFormatReader>());
  RegisterFileFormatWriter(std::make_unique<TTGAFileFormatWriter>());
}
