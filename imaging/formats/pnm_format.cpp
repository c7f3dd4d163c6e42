// Portable bitmap, graymap and pixmap reader and writer.
#include "imaging/formats/pnm_format.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "imaging/core/chunks.h"
#include "imaging/core/exceptions.h"
#include "imaging/core/messages.h"
#include "imaging/core/options.h"
#include "imaging/formats/format_io.h"
#include "imaging/formats/pg_startup.h"
#include "platform/base/stream.h"

namespace {

const char* const Tag = "PBM, PGM, PPM: ";
const char* const CommentKeyword = "PBM PGM PPM Comment";
constexpr int64_t MaxNumber = 0x7FFFFFFF;

[[noreturn]] void RaiseReader(const std::string& Text) {
  throw EPGPxMFileFormatReader(Tag + Text);
}

// Bytes, comments and numbers of the header and of ASCII rasters.
class TPxMInput {
public:
  // Comment lines go into the comment chunk of Graphic when it is given.
  TPxMInput(TStream& Stream, TPixelGraphic* Graphic)
      : FBytes(Stream, [] { RaiseReader(PGMessage(32)); }), FGraphic(Graphic) {}

  uint8_t Plain() { return FBytes.Next(); }
  int64_t Left() const { return FBytes.Left(); }
  int64_t Take(uint8_t* Dest, int64_t Count) { return FBytes.Take(Dest, Count); }

  // Magic number: "P" and the variant digit 1..6.
  int ReadVariant() {
    if (Plain() != 'P') RaiseReader(PGMessage(34, "PBM, PGM, PPM"));
    int Variant = Plain() - '0';
    if (Variant < 1 || Variant > 6) RaiseReader(PGMessage(33));
    return Variant;
  }

  // A decimal number: non-digits before it are skipped, one byte after it is
  // consumed. The end of the stream ends a number that has digits.
  int32_t Number() {
    uint8_t b = HeaderByte();
    while (b < '0' || b > '9') b = HeaderByte();
    int64_t Value = 0;
    while (b >= '0' && b <= '9') {
      Value = Value * 10 + (b - '0');
      if (Value > MaxNumber) RaiseReader(PGMessage(30));
      if (!TryHeaderByte(b)) break;
    }
    return static_cast<int32_t>(Value);
  }

private:
  uint8_t HeaderByte() {
    uint8_t b;
    if (!TryHeaderByte(b)) RaiseReader(PGMessage(32));
    return b;
  }

  // A "#" comment runs up to its LF, which stands for it.
  bool TryHeaderByte(uint8_t& b) {
    if (!FBytes.TryNext(b)) return false;
    if (b != '#') return true;
    b = 10;
    if (!FGraphic) {
      // Passed over unheld when it is not kept; Next raises when the stream
      // ends first.
      if (!FBytes.SkipPast(10)) FBytes.Next();
      return true;
    }
    std::string Line;
    for (uint8_t c; (c = FBytes.Next()) != 10;) Line += static_cast<char>(c);
    AddComment(Line);
    return true;
  }

  void AddComment(const std::string& Line) {
    TChunk* Chunk = FGraphic->FindChunk(CommentKeyword, ckText);
    if (!Chunk) {
      FGraphic->AddChunk(std::make_unique<TTextChunk>(CommentKeyword));
      Chunk = FGraphic->FindChunk(CommentKeyword, ckText);
    }
    static_cast<TTextChunk*>(Chunk)->GetStrings().push_back(Line);
  }

  TBufferedByteReader FBytes;
  TPixelGraphic* FGraphic;
};

// A sample scaled from 0..Maximum to 0..255; samples above the maximum count
// as the maximum.
uint32_t Scale(int64_t Sample, int64_t Maximum) {
  return static_cast<uint32_t>(std::min(Sample, Maximum) * 255 / Maximum);
}

}  // namespace

TPxMFileFormatReader::TPxMFileFormatReader() {
  FListed = true;
  FIdentifiedByContent = true;
}

TPBMFileFormatReader::TPBMFileFormatReader() {
  FExtension = "pbm";
  FDescription = "Portable Bitmap";
}
bool TPBMFileFormatReader::Identify(const TPGFileHeader& H) {
  return H[0] == 'P' && (H[1] == '1' || H[1] == '4');
}

TPGMFileFormatReader::TPGMFileFormatReader() {
  FExtension = "pgm";
  FDescription = "Portable Graymap";
}
bool TPGMFileFormatReader::Identify(const TPGFileHeader& H) {
  return H[0] == 'P' && (H[1] == '2' || H[1] == '5');
}

TPPMFileFormatReader::TPPMFileFormatReader() {
  FExtension = "ppm";
  FDescription = "Portable Pixelmap";
}
bool TPPMFileFormatReader::Identify(const TPGFileHeader& H) {
  return H[0] == 'P' && (H[1] == '3' || H[1] == '6');
}

void TPxMFileFormatReader::Read(TStream& Stream, TPixelGraphic& Graphic, int32_t Index) {
  if (Index != 0) throw EPGPxMFileFormatReader("PxM: " + PGMessage(7, "Index"));
  Graphic.SetGamma(PGDefaultGamma);
  TPxMInput In(Stream, PGReadChunks && !Graphic.PreviewRead() ? &Graphic : nullptr);
  const int Variant = In.ReadVariant();

  uint8_t Format;
  if (Variant == 1 || Variant == 4) {
    Format = pf1Bit;
    Graphic.NewImage(0, 0, Format);
    Graphic.SetPaletteIdent(pBlackWhite);
  } else if (Variant == 2 || Variant == 5) {
    Format = pf8Bit;
    Graphic.NewImage(0, 0, Format);
    Graphic.SetPaletteIdent(pGray256);
  } else {
    Format = pf24Bit;
    Graphic.NewImage(0, 0, Format);
  }

  const int32_t Width = In.Number();
  const int32_t Height = In.Number();
  const int32_t Maximum = (Variant == 1 || Variant == 4) ? 1 : In.Number();
  if (Width <= 0 || Height <= 0 || Maximum <= 0 || (Variant >= 4 && Maximum >= 256))
    RaiseReader(PGMessage(30));
  CheckPGImageSize(Width, Height, Format);
  // The raster takes a byte a binary sample, a digit and a separator an
  // ASCII one, and a bit a binary bitmap pixel: one that is not there for
  // the most part is refused before the image is made; a file cut in its
  // second half is read as far as it goes.
  const int32_t RowBytes = static_cast<int32_t>((int64_t(Width) + 7) / 8);  // the width may be 2^31 - 1
  const int64_t Samples = int64_t(Width) * Height * (Variant == 3 || Variant == 6 ? 3 : 1);
  const int64_t Least = Variant == 4 ? int64_t(RowBytes) * Height : Variant == 5 || Variant == 6 ? Samples : 2 * Samples - 1;
  if (In.Left() * 2 < Least) RaiseReader(PGMessage(32));
  Graphic.NewImage(Width, Height, Format);

  // Binary samples are read a row at a time and scaled through a table.
  std::vector<uint8_t> Read;
  std::array<uint8_t, 256> Scaled{};
  if (Variant == 5 || Variant == 6) {
    Read.resize(static_cast<size_t>(Width) * (Variant == 6 ? 3 : 1));
    for (int32_t v = 0; v < 256; ++v) Scaled[v] = static_cast<uint8_t>(Scale(v, Maximum));
  }
  // A cut row keeps its whole pixels before the error.
  auto BinaryRow = [&](uint8_t* Row) {
    const int64_t Got = In.Take(Read.data(), static_cast<int64_t>(Read.size()));
    if (Variant == 5) {
      for (int64_t k = 0; k < Got; ++k) Row[k] = Scaled[Read[k]];
    } else {
      for (int64_t k = 0; k + 2 < Got; k += 3) {  // RGB samples, BGR pixels
        Row[k] = Scaled[Read[k + 2]];
        Row[k + 1] = Scaled[Read[k + 1]];
        Row[k + 2] = Scaled[Read[k]];
      }
    }
    if (Got < static_cast<int64_t>(Read.size())) RaiseReader(PGMessage(32));
  };
  TPGProgressScope Progress(Graphic, this);
  for (int32_t r = 0; r < Height; ++r) {
    switch (Variant) {
      case 1:
        for (int32_t x = 0; x < Width; ++x) Graphic.SetPixel(x, r, In.Number() != 0 ? 0 : 1);
        break;
      case 2:
        for (int32_t x = 0; x < Width; ++x) Graphic.SetPixel(x, r, Scale(In.Number(), Maximum));
        break;
      case 3:
        for (int32_t x = 0; x < Width; ++x) {
          uint32_t R = Scale(In.Number(), Maximum);
          uint32_t G = Scale(In.Number(), Maximum);
          uint32_t B = Scale(In.Number(), Maximum);
          Graphic.SetPixel(x, r, R | G << 8 | B << 16);
        }
        break;
      case 4: {
        uint8_t* Row = Graphic.ScanLine(r);
        for (int32_t k = 0; k < RowBytes; ++k) Row[k] = static_cast<uint8_t>(255 - In.Plain());
        if (Width % 8) Row[RowBytes - 1] &= static_cast<uint8_t>(0xFF00 >> (Width % 8));
        break;
      }
      default:
        BinaryRow(Graphic.ScanLine(r));
        break;
    }
    if (Progress.Progress(r, Height)) break;
  }
}

void TPxMFileFormatReader::GetInfo(TStream& Stream, int32_t Index, TPGGraphicInfo& Info) {
  TFileFormatReader::GetInfo(Stream, Index, Info);
  if (Index != 0) RaiseReader(PGMessage(20, "Index"));
  TPxMInput In(Stream, nullptr);
  const int Variant = In.ReadVariant();
  Info.FormatText = Variant <= 3 ? "ASCII" : "Binary";
  Info.BitsPerPixel = (Variant == 1 || Variant == 4) ? 1 : (Variant == 2 || Variant == 5) ? 8 : 24;
  Info.Width = In.Number();
  Info.Height = In.Number();
  Info.ColorsText = Info.BitsPerPixel == 24 ? "16.7M" : std::to_string(1 << Info.BitsPerPixel);
}

TPXMFileFormatWriter::TPXMFileFormatWriter() { FListed = true; }

TPBMFileFormatWriter::TPBMFileFormatWriter() {
  FExtension = "pbm";
  FDescription = "Portable Bitmap";
  FCanWriteResolutions = 0x01;
}

TPGMFileFormatWriter::TPGMFileFormatWriter() {
  FExtension = "pgm";
  FDescription = "Portable Graymap";
  FCanWriteResolutions = 0x20;
}

TPPMFileFormatWriter::TPPMFileFormatWriter() {
  FExtension = "ppm";
  FDescription = "Portable Pixelmap";
  FCanWriteResolutions = 0x80;
}

void TPXMFileFormatWriter::Write(TStream& Stream, TPixelGraphic& Graphic) {
  const std::string& Ext = Extension();
  int Kind = Ext == "pbm" ? 1 : Ext == "pgm" ? 2 : Ext == "ppm" ? 3 : 0;
  if (Kind == 0) throw EPGPxMFileFormatWriter(Tag + PGMessage(19, Ext));
  const int32_t Width = Graphic.Width(), Height = Graphic.Height();
  if (Width <= 0 || Height <= 0) throw EPGPxMFileFormatWriter(Tag + PGMessage(35));

  TBufferedByteWriter Out(Stream);
  const bool Binary = PxMWriteBinary;
  Out.Put('P');
  Out.Put(static_cast<uint8_t>('0' + Kind + (Binary ? 3 : 0)));
  Out.Put(10);
  if (PGWriteChunks) {
    if (TChunk* Chunk = Graphic.FindChunk(CommentKeyword, ckText))
      for (const std::string& Line : static_cast<TTextChunk*>(Chunk)->GetStrings()) {
        Out.Put('#');
        Out.Put(Line.c_str());
        Out.Put(10);
      }
  }
  Out.PutNumber(Width);
  Out.Put(' ');
  Out.PutNumber(Height);
  Out.Put(10);
  if (Kind != 1) Out.Put("255\n");

  const uint8_t Format = Graphic.PixelFormat();
  const TPaletteIdent Ident = Graphic.PaletteIdent();
  bool Suits = Kind == 1   ? (Format == pf1Bit || Ident == pBlackWhite)
               : Kind == 2 ? (Format == pf8Bit || Ident == pGray256)
                           : Format == pf24Bit;
  if (!Suits) {
    static const char* const Tags[] = {"", "PBM: ", "PGM: ", "PPM: "};
    throw EPGPxMFileFormatWriter(Tags[Kind] + PGMessage(36));
  }

  {
  TPGProgressScope Progress(Graphic, &Graphic);
  const int32_t RowBytes = static_cast<int32_t>((int64_t(Width) + 7) / 8);
  for (int32_t r = 0; r < Height; ++r) {
    if (Kind == 1 && Binary) {
      if (Format == pf1Bit) {
        const uint8_t* Row = Graphic.ScanLine(r);
        for (int32_t k = 0; k < RowBytes; ++k) Out.Put(static_cast<uint8_t>(Row[k] ^ 0xFF));
      } else {
        // A bitmap kept in a wider format: index 0 is black.
        for (int32_t k = 0; k < RowBytes; ++k) {
          uint8_t Byte = 0;
          for (int32_t x = 8 * k; x < std::min(Width, 8 * k + 8); ++x)
            if (Graphic.GetPixel(x, r) == 0) Byte |= static_cast<uint8_t>(0x80 >> (x % 8));
          Out.Put(Byte);
        }
      }
    } else {
      for (int32_t x = 0; x < Width; ++x) {
        if (!Binary && x > 0) Out.Put(' ');
        if (Kind == 1) {
          Out.Put(Graphic.GetPixel(x, r) == 0 ? '1' : '0');
        } else if (Kind == 2) {
          uint32_t v = Graphic.GetPixel(x, r) & 0xFF;
          if (Binary)
            Out.Put(static_cast<uint8_t>(v));
          else
            Out.PutNumber(v);
        } else {
          uint32_t C = Graphic.GetPixelColor(x, r);
          for (int Channel = 0; Channel < 3; ++Channel) {
            uint32_t v = (C >> (8 * Channel)) & 0xFF;
            if (Binary) {
              Out.Put(static_cast<uint8_t>(v));
            } else {
              if (Channel > 0) Out.Put(' ');
              Out.PutNumber(v);
            }
          }
        }
      }
      if (!Binary) Out.Put(10);
    }
    Progress.Progress(r, Height);
  }
  }
  Out.Flush();
}

void RegisterPxMFileFormats() {
  RegisterFileFormatReader(std::make_unique<TPBMFileFormatReader>());
  RegisterFileFormatReader(std::make_unique<TPGMFileFormatReader>());
  RegisterFileFormatReader(std::make_unique<TPPMFileFormatReader>());
  RegisterFileFormatWriter(std::make_unique<TPBMFileFormatWriter>());
  RegisterFileFormatWriter(std::make_unique<TPGMFileFormatWriter>());
  RegisterFileFormatWriter(std::make_unique<TPPMFileFormatWriter>());
}
