// Reader of Paintbrush (PCX) files.
#include "imaging/formats/pcx_format.h"

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

// The fields of the 128-byte file header that the reader uses.
struct TPCXHeader {
  uint8_t Manufacturer;
  uint8_t Version;
  uint8_t Encoding;
  uint8_t BitsPerPlane;
  int16_t XMin, YMin, XMax, YMax;
  uint8_t Palette[48];
  uint8_t Reserved;
  uint8_t Planes;
  uint16_t BytesPerLine;
  uint8_t PaletteInfo;

  int32_t Width() const { return XMax - XMin + 1; }
  int32_t Height() const { return YMax - YMin + 1; }
};

[[noreturn]] void RaisePCX(const std::string& Text) { throw EPGPCXFileFormatReader("PCX: " + Text); }

int16_t Int16At(const uint8_t* P) { return static_cast<int16_t>(P[0] | P[1] << 8); }

TPCXHeader ReadHeader(TStream& Stream) {
  uint8_t B[128];
  if (Stream.Read(B, 128) != 128) RaisePCX(PGMessage(32));
  TPCXHeader H;
  H.Manufacturer = B[0];
  H.Version = B[1];
  H.Encoding = B[2];
  H.BitsPerPlane = B[3];
  H.XMin = Int16At(B + 4);
  H.YMin = Int16At(B + 6);
  H.XMax = Int16At(B + 8);
  H.YMax = Int16At(B + 10);
  std::memcpy(H.Palette, B + 16, 48);
  H.Reserved = B[64];
  H.Planes = B[65];
  H.BytesPerLine = static_cast<uint16_t>(B[66] | B[67] << 8);
  H.PaletteInfo = B[68];
  if (H.PaletteInfo > 2 || H.Reserved != 0 || H.Encoding != 1) RaisePCX(PGMessage(33));
  return H;
}

}  // namespace

TPCXFileFormatReader::TPCXFileFormatReader() {
  FExtension = "pcx";
  FDescription = "Paintbrush";
  FListed = true;
  FIdentifiedByContent = true;
}

bool TPCXFileFormatReader::Identify(const TPGFileHeader& H) {
  return H[0] == 10 && (H[1] == 0 || H[1] == 2 || H[1] == 3 || H[1] == 5) && H[2] == 1;
}

void TPCXFileFormatReader::Read(TStream& Stream, TPixelGraphic& Graphic, int32_t Index) {
  if (Index != 0) RaisePCX(PGMessage(7, "Index"));
  Graphic.SetGamma(PGDefaultGamma);
  TPCXHeader H = ReadHeader(Stream);
  Graphic.SetHeight(0);

  uint8_t Format;
  if (H.BitsPerPlane == 1 && H.Planes == 1)
    Format = pf1Bit;
  else if (H.BitsPerPlane == 1 && H.Planes == 4)
    Format = pf4Bit;
  else if (H.BitsPerPlane == 8 && H.Planes == 1)
    Format = pf8Bit;
  else if (H.BitsPerPlane == 8 && H.Planes == 3)
    Format = pf24Bit;
  else
    RaisePCX(PGMessage(33));

  // Sizes must be positive, and each plane's part of a scan line must hold a
  // whole row of pixels, or the row copies would read past the line.
  const int32_t Width = H.Width(), Height = H.Height();
  if (Width < 1 || Height < 1 ||
      static_cast<int64_t>(H.BytesPerLine) * 8 < static_cast<int64_t>(Width) * H.BitsPerPlane)
    RaisePCX(PGMessage(33));

  Graphic.SetPixelFormat(Format);
  if (Format == pf1Bit) {
    Graphic.SetPaletteIdent(pBlackWhite);
  } else if (Format == pf4Bit) {
    if (H.PaletteInfo == 2)
      Graphic.SetPaletteIdent(pGray16);
    else if (H.Version == 3)
      Graphic.SetPaletteIdent(pSys16);
    else {
      Graphic.SetPaletteCount(16);
      for (int i = 0; i < 16; ++i) {
        const uint8_t* P = H.Palette + 3 * i;
        Graphic.SetPaletteEntry(i, P[0] | P[1] << 8 | P[2] << 16);
      }
    }
  } else if (Format == pf8Bit) {
    if (H.PaletteInfo == 2) {
      Graphic.SetPaletteIdent(pGray256);
    } else {
      // The 256-colour palette: a marker 12 and 768 bytes at the very end.
      int64_t Position = Stream.Position();
      int64_t Size = Stream.Size();
      uint8_t Marker = 0;
      if (Size >= 769) {
        Stream.SetPosition(Size - 769);
        if (Stream.Read(&Marker, 1) != 1) Marker = 0;
      }
      if (Marker != 12) {
        Stream.SetPosition(Position);
        RaisePCX(PGMessage(33));
      }
      uint8_t Entries[768];
      Stream.ReadBuffer(Entries, 768);
      Stream.SetPosition(Position);
      Graphic.SetPaletteCount(256);
      for (int i = 0; i < 256; ++i) {
        const uint8_t* P = Entries + 3 * i;
        Graphic.SetPaletteEntry(i, P[0] | P[1] << 8 | P[2] << 16);
      }
    }
  }

  CheckPGImageSize(Width, Height, Format);
  Graphic.NewImage(Width, Height, Format);

  const int64_t L = static_cast<int64_t>(H.Planes) * H.BytesPerLine;
  std::vector<uint8_t> Line(static_cast<size_t>(L));
  TBufferedByteReader Input(Stream, [] { RaisePCX(PGMessage(32)); });
  const int64_t RowBytes = Graphic.BytesPerLine();

  TPGProgressScope Progress(Graphic, this);
  for (int32_t r = 0; r < Height; ++r) {
    // One run-length coded scan line; a run never carries into the next.
    int64_t i = 0;
    while (i < L) {
      uint8_t b = Input.Next();
      int32_t Count = 1;
      if ((b & 0xC0) == 0xC0) {
        Count = b & 0x3F;
        b = Input.Next();
      }
      for (; Count > 0 && i < L; --Count) Line[static_cast<size_t>(i++)] = b;
    }

    uint8_t* Row = Graphic.ScanLine(r);
    switch (Format) {
      case pf1Bit: {
        int64_t n = std::min(L, RowBytes);
        std::memcpy(Row, Line.data(), static_cast<size_t>(n));
        // Keep only the pixels of the row in its last byte, and no bits
        // after it.
        int64_t Last = Width / 8;
        if (Last < RowBytes) {
          Row[Last] &= static_cast<uint8_t>(0xFF00 >> (Width % 8));
          std::memset(Row + Last + 1, 0, static_cast<size_t>(RowBytes - Last - 1));
        }
        break;
      }
      case pf4Bit: {
        const int64_t Plane = L / 4;
        for (int32_t x = 0; x < Width; ++x) {
          uint32_t v = 0;
          int Bit = 7 - x % 8;
          for (int p = 0; p < 4; ++p)
            v |= static_cast<uint32_t>((Line[static_cast<size_t>(p * Plane + x / 8)] >> Bit) & 1) << p;
          Graphic.SetPixel(x, r, v);
        }
        break;
      }
      case pf8Bit:
        std::memcpy(Row, Line.data(), static_cast<size_t>(Width));
        break;
      default: {
        const uint8_t* Red = Line.data();
        const uint8_t* Green = Line.data() + L / 3;
        const uint8_t* Blue = Line.data() + 2 * L / 3;
        for (int32_t x = 0; x < Width; ++x) {
          Row[3 * x] = Blue[x];
          Row[3 * x + 1] = Green[x];
          Row[3 * x + 2] = Red[x];
        }
        break;
      }
    }
    if (Progress.Progress(r, Height)) break;
  }
}

void TPCXFileFormatReader::GetInfo(TStream& Stream, int32_t Index, TPGGraphicInfo& Info) {
  TFileFormatReader::GetInfo(Stream, Index, Info);
  if (Index != 0) RaisePCX(PGMessage(20, "Index"));
  TPCXHeader H = ReadHeader(Stream);
  Info.BitsPerPixel = H.BitsPerPlane * H.Planes;
  Info.Width = H.Width();
  Info.Height = H.Height();
  switch (H.Version) {
    case 0: Info.FormatText = "Version 2.5 (0)"; break;
    case 2: Info.FormatText = "Version 2.8 (2) with Palette"; break;
    case 3: Info.FormatText = "Version 2.8 (3) without Palette"; break;
    case 5: Info.FormatText = "Version 3.0 (5)"; break;
    default: Info.FormatText = ""; break;
  }
  if (Info.BitsPerPixel == 24)
    Info.ColorsText = "16.7M";
  else if (Info.BitsPerPixel < 32)  // larger products are no real file
    Info.ColorsText = std::to_string(int64_t{1} << Info.BitsPerPixel);
}

void RegisterPCXFileFormats() { RegisterFileFormatReader(std::make_unique<TPCXFileFormatReader>()); }
