// Writer of Tagged Image File Format files, page by page.
#include "imaging/formats/tiff_writer.h"

#include <algorithm>
#include <cstring>

#include "imaging/core/chunks.h"
#include "imaging/core/exceptions.h"
#include "imaging/core/messages.h"
#include "imaging/core/options.h"
#include "imaging/formats/ccitt_tables.h"
#include "imaging/formats/tiff_reader.h"
#include "imaging/formats/pg_startup.h"
#include "platform/base/numeric.h"
#include "platform/base/stream.h"

namespace {

constexpr uint16_t TypeShort = 3;
constexpr uint16_t TypeLong = 4;
constexpr uint16_t TypeRational = 5;

[[noreturn]] void RaiseTIFF(const std::string& Text) {
  throw EPGTIFFileFormatWriter("TIFF: " + Text);
}

// Bits appended most significant first.
class TBitWriter {
public:
  void Put(uint32_t Code, int Length) {
    for (int i = Length - 1; i >= 0; --i) {
      if (FBits % 8 == 0) FBytes.push_back(0);
      if ((Code >> i) & 1) FBytes.back() |= static_cast<uint8_t>(0x80 >> (FBits % 8));
      ++FBits;
    }
  }
  std::vector<uint8_t> Take() { return std::move(FBytes); }

private:
  std::vector<uint8_t> FBytes;
  int64_t FBits = 0;
};

// Numbers of one file in its byte order, each write returning the position
// (relative to the base) at which it wrote.
class TTIFFOutput {
public:
  TTIFFOutput(TStream& Stream, int64_t Base, bool Motorola)
      : FStream(Stream), FBase(Base), FMotorola(Motorola) {}

  int64_t Position() { return FStream.Position() - FBase; }
  void Seek(int64_t Position) { FStream.SetPosition(FBase + Position); }

  int64_t Short(uint32_t Value) {
    int64_t At = Position();
    uint8_t B[2];
    PutShort(B, Value);
    FStream.WriteBuffer(B, 2);
    return At;
  }
  int64_t Long(uint32_t Value) {
    int64_t At = Position();
    uint8_t B[4];
    PutLong(B, Value);
    FStream.WriteBuffer(B, 4);
    return At;
  }
  void PutShort(uint8_t* B, uint32_t Value) const {
    if (FMotorola) {
      B[0] = static_cast<uint8_t>(Value >> 8);
      B[1] = static_cast<uint8_t>(Value);
    } else {
      B[0] = static_cast<uint8_t>(Value);
      B[1] = static_cast<uint8_t>(Value >> 8);
    }
  }
  void PutLong(uint8_t* B, uint32_t Value) const {
    for (int i = 0; i < 4; ++i)
      B[FMotorola ? 3 - i : i] = static_cast<uint8_t>(Value >> (8 * i));
  }
  // One directory entry; a SHORT value sits in the first two bytes of the
  // value field. Returns the position of the value field.
  int64_t Entry(uint16_t Tag, uint16_t Type, uint32_t Count, uint32_t Value) {
    Short(Tag);
    Short(Type);
    Long(Count);
    int64_t At = Position();
    if (Type == TypeShort && Count == 1) {
      Short(Value);
      Short(0);
    } else {
      Long(Value);
    }
    ++FEntries;
    return At;
  }
  // PageNumber: two SHORTs in the value field.
  void ShortPairEntry(uint16_t Tag, uint32_t First, uint32_t Second) {
    Short(Tag);
    Short(TypeShort);
    Long(2);
    Short(First);
    Short(Second);
    ++FEntries;
  }
  void PadToEven() {
    if (Position() & 1) {
      uint8_t Zero = 0;
      FStream.WriteBuffer(&Zero, 1);
    }
  }
  void Bytes(const void* Data, int64_t Count) { FStream.WriteBuffer(Data, Count); }
  int Entries() const { return FEntries; }

private:
  TStream& FStream;
  int64_t FBase;
  bool FMotorola;
  int FEntries = 0;
};

uint32_t ClampLong(int64_t Value) {
  return static_cast<uint32_t>(std::clamp<int64_t>(Value, 0, 0xFFFFFFFF));
}

// Resolution in the file's unit from pixels per metre.
void ResolutionRational(int64_t PixelsPerMetre, uint32_t& Numerator, uint32_t& Denominator) {
  if (TIFFResolutionUnitCm) {
    int64_t N = PixelsPerMetre, D = 100;
    while (N > 0 && N % 10 == 0 && D % 10 == 0) {
      N /= 10;
      D /= 10;
    }
    Numerator = ClampLong(N);
    Denominator = static_cast<uint32_t>(D);
  } else {
    Numerator = ClampLong(std::max<int64_t>(1, Round(PixelsPerMetre * 0.0254L)));
    Denominator = 1;
  }
}

}  // namespace

int32_t PackBitsEncodeRow(const uint8_t* Source, int32_t Count, uint8_t* Dest,
                          int32_t* RunTable) {
  // Length of the run of equal bytes each byte belongs to.
  int32_t i = 0;
  while (i < Count) {
    int32_t j = i + 1;
    while (j < Count && Source[j] == Source[i]) ++j;
    for (int32_t k = i; k < j; ++k) RunTable[k] = j - i;
    i = j;
  }
  // A run of two beside single bytes is cheaper inside their literal.
  for (i = 1; i < Count; ++i)
    if (RunTable[i] == 2 && RunTable[i - 1] == 1) RunTable[i] = 1;
  for (i = Count - 2; i >= 0; --i)
    if (RunTable[i] == 2 && RunTable[i + 1] == 1) RunTable[i] = 1;

  int32_t Out = 0;
  i = 0;
  while (i < Count) {
    int32_t n = 0;
    if (RunTable[i] == 1) {
      while (i + n < Count && RunTable[i + n] == 1 && n < 128) ++n;
      Dest[Out++] = static_cast<uint8_t>(n - 1);
      std::memcpy(Dest + Out, Source + i, static_cast<size_t>(n));
      Out += n;
    } else {
      while (i + n < Count && RunTable[i + n] != 1 && Source[i + n] == Source[i] && n < 128) ++n;
      Dest[Out++] = static_cast<uint8_t>(1 - n);
      Dest[Out++] = Source[i];
    }
    i += n;
  }
  return Out;
}

std::vector<uint8_t> ModifiedHuffmanEncodeRow(const uint8_t* Row, int32_t Width) {
  TBitWriter Bits;
  int32_t x = 0;
  bool Black = false;
  auto PixelIsBlack = [&](int32_t p) { return (Row[p >> 3] >> (7 - (p & 7))) & 1; };
  while (true) {
    int32_t Run = 0;
    while (x + Run < Width && PixelIsBlack(x + Run) == (Black ? 1 : 0)) ++Run;
    x += Run;
    const TCCITTEncodeTable& Table = Black ? CCITTBlackEncodeTable : CCITTWhiteEncodeTable;
    while (Run >= 64) {
      int32_t MakeUp = Run >= CCITTMaxMakeUp + 64 ? CCITTMaxMakeUp : Run / 64 * 64;
      const TCCITTCode& C = Table[CCITTEncodeIndex(MakeUp)];
      Bits.Put(C.Code, C.Length);
      Run -= MakeUp;
    }
    const TCCITTCode& C = Table[Run];
    Bits.Put(C.Code, C.Length);
    Black = !Black;
    if (x >= Width) break;
  }
  return Bits.Take();
}

TTIFFileFormatWriter::TTIFFileFormatWriter() {
  FExtension = "tif";
  FDescription = "Tagged Image File Format";
  FListed = true;
  FMultiPage = true;
  FCanWriteResolutions = 0xFD;
}

TTIFFFileFormatWriter::TTIFFFileFormatWriter() {
  FExtension = "tiff";
  FListed = false;
}

std::unique_ptr<TFileFormatWriter> TTIFFileFormatWriter::CreatePerCallInstance() const {
  return std::make_unique<TTIFFileFormatWriter>();
}

std::unique_ptr<TFileFormatWriter> TTIFFFileFormatWriter::CreatePerCallInstance() const {
  return std::make_unique<TTIFFFileFormatWriter>();
}

uint8_t TTIFFileFormatWriter::GetCanWriteResolutions() {
  FCanWriteResolutions = TIFFCompression == TIFFCompressionCCITT1D ? 0x01 : 0xFD;
  return FCanWriteResolutions;
}

std::string TTIFFileFormatWriter::GetSubFormat() {
  return TIFFCompression == TIFFCompressionCCITT1D ? "CCITT 1D" : "";
}

void TTIFFileFormatWriter::Write(TStream& Stream, TPixelGraphic& Graphic) {
  BeginFile(Stream);
  WritePage(Stream, Graphic);
  EndFile(Stream);
}

void TTIFFileFormatWriter::BeginFile(TStream& Stream) {
  FBase = Stream.Position();
  TTIFFOutput Out(Stream, FBase, TIFFMotorolaOrder);
  Out.Bytes(TIFFMotorolaOrder ? "MM" : "II", 2);
  Out.Short(42);
  FLinkPosition = Out.Long(0);
}

void TTIFFileFormatWriter::EndFile(TStream&) {}

void TTIFFileFormatWriter::WritePage(TStream& Stream, TPixelGraphic& Graphic) {
  const int32_t Width = Graphic.Width();
  const int32_t Height = Graphic.Height();
  if (Width <= 0 || Height <= 0) RaiseTIFF(PGMessage(35));

  const uint8_t Format = Graphic.PixelFormat();
  const bool CMYK = Format == pf24Bit && TIFFWriteCMYK;
  const TPaletteIdent Ident = Graphic.PaletteIdent();

  // Row length and strip sizing.
  int64_t L;
  switch (Format) {
    case pf1Bit: L = (static_cast<int64_t>(Width) + 7) / 8; break;
    case pf4Bit: L = (static_cast<int64_t>(Width) + 1) / 2; break;
    case pf8Bit: L = Width; break;
    default: L = static_cast<int64_t>(Width) * (CMYK ? 4 : 3); break;
  }
  int64_t E = TIFFCompression == TIFFCompressionNone      ? L
              : TIFFCompression == TIFFCompressionCCITT1D ? 9 * L / 2 + 9
                                                          : 2 * L;
  int32_t RowsPerStrip = static_cast<int32_t>(std::clamp<int64_t>(32767 / E, 1, Height));
  int32_t StripCount = (Height + RowsPerStrip - 1) / RowsPerStrip;

  TTIFFOutput Out(Stream, FBase, TIFFMotorolaOrder);
  int64_t P = Out.Position();
  Out.Seek(FLinkPosition);
  Out.Long(static_cast<uint32_t>(P));
  Out.Seek(P);

  // Photometric interpretation and colour map.
  int32_t Bits = Format == pf1Bit ? 1 : Format == pf4Bit ? 4 : Format == pf8Bit ? 8 : 24;
  uint32_t Photometric;
  bool HasColorMap = false;
  bool Invert = false;
  if (Format == pf1Bit) {
    Photometric = TIFFWhiteIsZero ? 0 : 1;
    Invert = TIFFWhiteIsZero && Ident == pBlackWhite;
  } else if (Format == pf4Bit || Format == pf8Bit) {
    TPaletteIdent Gray = Format == pf4Bit ? pGray16 : pGray256;
    if (Ident == Gray) {
      Photometric = TIFFWhiteIsZero ? 0 : 1;
      Invert = TIFFWhiteIsZero;
    } else {
      Photometric = 3;
      HasColorMap = true;
    }
  } else {
    Photometric = CMYK ? 5 : 2;
  }
  const uint32_t Samples = Format == pf24Bit ? (CMYK ? 4 : 3) : 1;

  int64_t CountPosition = Out.Short(0);
  Out.Entry(254, TypeLong, 1, 0);
  Out.Entry(256, TypeLong, 1, static_cast<uint32_t>(Width));
  Out.Entry(257, TypeLong, 1, static_cast<uint32_t>(Height));
  int64_t BitsField = Out.Entry(258, TypeShort, Samples, static_cast<uint32_t>(Bits / Samples));
  if (TIFFCompression != TIFFCompressionNone && TIFFCompression != TIFFCompressionCCITT1D &&
      TIFFCompression != TIFFCompressionPackBits)
    RaiseTIFF("Internal Error");
  Out.Entry(259, TypeShort, 1, static_cast<uint32_t>(TIFFCompression));
  Out.Entry(262, TypeShort, 1, Photometric);
  Out.Entry(266, TypeShort, 1, 1);
  int64_t OffsetsField = Out.Entry(273, TypeLong, static_cast<uint32_t>(StripCount), 0);
  Out.Entry(277, TypeShort, 1, Samples);
  Out.Entry(278, TypeLong, 1, static_cast<uint32_t>(RowsPerStrip));
  int64_t CountsField = Out.Entry(279, TypeLong, static_cast<uint32_t>(StripCount), 0);
  int64_t XField = Out.Entry(282, TypeRational, 1, 0);
  int64_t YField = Out.Entry(283, TypeRational, 1, 0);
  Out.Entry(296, TypeShort, 1, TIFFResolutionUnitCm ? 3 : 2);
  if (PGWriteChunks) {
    TChunk* Number = Graphic.FindChunk("TIFF PAGENUMBER", ckInteger);
    TChunk* Count = Graphic.FindChunk("TIFF PAGECOUNT", ckInteger);
    if (Number || Count)
      Out.ShortPairEntry(297,
                         Number ? static_cast<uint32_t>(static_cast<TIntegerChunk*>(Number)->Value()) : 0,
                         Count ? static_cast<uint32_t>(static_cast<TIntegerChunk*>(Count)->Value()) : 0);
  }
  int64_t MapField = -1;
  const uint32_t MapSize = 1u << Bits;
  if (HasColorMap) MapField = Out.Entry(320, TypeShort, 3 * MapSize, 0);
  int64_t NextField = Out.Long(0);

  // Values of the directory.
  int64_t MapValues = -1, BitsValues = -1, OffsetsValues = -1, CountsValues = -1;
  if (HasColorMap) {
    MapValues = Out.Position();
    for (int Channel = 0; Channel < 3; ++Channel)
      for (uint32_t i = 0; i < MapSize; ++i) {
        uint32_t C = static_cast<int32_t>(i) < Graphic.PaletteCount() ? Graphic.GetPaletteEntry(static_cast<int32_t>(i)) : 0;
        Out.Short(((C >> (8 * Channel)) & 0xFF) * 256);
      }
  }
  if (Format == pf24Bit) {
    BitsValues = Out.Position();
    for (uint32_t i = 0; i < Samples; ++i) Out.Short(8);
  }
  int64_t XValues = Out.Position();
  int64_t X = Graphic.XResolution(), Y = Graphic.YResolution();
  if (X <= 0 && Y <= 0) {
    if (Width > Height)
      X = 10 * static_cast<int64_t>(Width);
    else
      Y = 10 * static_cast<int64_t>(Height);
  }
  if (X > 0 && Y <= 0) Y = X;
  if (Y > 0 && X <= 0) X = Y;
  uint32_t Numerator, Denominator;
  ResolutionRational(X, Numerator, Denominator);
  Out.Long(Numerator);
  Out.Long(Denominator);
  int64_t YValues = Out.Position();
  ResolutionRational(Y, Numerator, Denominator);
  Out.Long(Numerator);
  Out.Long(Denominator);
  if (StripCount > 1) {
    OffsetsValues = Out.Position();
    for (int32_t i = 0; i < StripCount; ++i) Out.Long(0);
    CountsValues = Out.Position();
    for (int32_t i = 0; i < StripCount; ++i) Out.Long(0);
  }
  int64_t End = Out.Position();

  Out.Seek(CountPosition);
  Out.Short(static_cast<uint32_t>(Out.Entries()));
  if (BitsValues >= 0) {
    Out.Seek(BitsField);
    Out.Long(static_cast<uint32_t>(BitsValues));
  }
  Out.Seek(XField);
  Out.Long(static_cast<uint32_t>(XValues));
  Out.Seek(YField);
  Out.Long(static_cast<uint32_t>(YValues));
  if (MapValues >= 0) {
    Out.Seek(MapField);
    Out.Long(static_cast<uint32_t>(MapValues));
  }
  Out.Seek(End);

  // The strips, each row coded by itself.
  std::vector<uint8_t> Row(static_cast<size_t>(L));
  std::vector<uint8_t> Coded(TIFFCompression == TIFFCompressionPackBits ? static_cast<size_t>(2 * L) : 0);
  std::vector<int32_t> Runs(TIFFCompression == TIFFCompressionPackBits ? static_cast<size_t>(L) : 0);
  std::vector<uint32_t> StripOffsets(static_cast<size_t>(StripCount));
  std::vector<uint32_t> StripByteCounts(static_cast<size_t>(StripCount));
  {
    TPGProgressScope Progress(Graphic, this);
    for (int32_t r = 0; r < Height; ++r) {
      int32_t Strip = r / RowsPerStrip;
      if (r % RowsPerStrip == 0) {
        Out.PadToEven();
        StripOffsets[Strip] = static_cast<uint32_t>(Out.Position());
      }
      const uint8_t* Line = Graphic.ScanLine(r);
      switch (Format) {
        case pf1Bit:
          for (int64_t k = 0; k < L; ++k) Row[k] = Invert ? Line[k] ^ 0xFF : Line[k];
          if (Width % 8) Row[L - 1] &= static_cast<uint8_t>(0xFF << (8 - Width % 8));
          break;
        case pf4Bit:
          std::memcpy(Row.data(), Line, static_cast<size_t>(L));
          if (Invert)
            for (int64_t k = 0; k < L; ++k) Row[k] ^= 0xFF;
          if (Width & 1) Row[L - 1] &= 0xF0;
          break;
        case pf8Bit:
          for (int64_t k = 0; k < L; ++k) Row[k] = Invert ? 255 - Line[k] : Line[k];
          break;
        default:
          for (int32_t x = 0; x < Width; ++x) {
            uint8_t B = Line[3 * x], G = Line[3 * x + 1], R = Line[3 * x + 2];
            if (CMYK) {
              uint8_t C = 255 - R, M = 255 - G, Yl = 255 - B;
              uint8_t K = std::min({C, M, Yl});
              uint8_t* P = &Row[4 * static_cast<size_t>(x)];
              P[0] = C - K;
              P[1] = M - K;
              P[2] = Yl - K;
              P[3] = K;
            } else {
              uint8_t* P = &Row[3 * static_cast<size_t>(x)];
              P[0] = R;
              P[1] = G;
              P[2] = B;
            }
          }
          break;
      }
      if (TIFFCompression == TIFFCompressionPackBits) {
        int32_t n = PackBitsEncodeRow(Row.data(), static_cast<int32_t>(L), Coded.data(), Runs.data());
        Out.Bytes(Coded.data(), n);
      } else if (TIFFCompression == TIFFCompressionCCITT1D) {
        std::vector<uint8_t> Fax = ModifiedHuffmanEncodeRow(Row.data(), Width);
        Out.Bytes(Fax.data(), static_cast<int64_t>(Fax.size()));
      } else {
        Out.Bytes(Row.data(), L);
      }
      if (r % RowsPerStrip == RowsPerStrip - 1 || r == Height - 1)
        StripByteCounts[Strip] = static_cast<uint32_t>(Out.Position() - StripOffsets[Strip]);
      Progress.Progress(r, Height - 1);
    }
  }
  int64_t PageEnd = Out.Position();

  if (StripCount == 1) {
    Out.Seek(OffsetsField);
    Out.Long(StripOffsets[0]);
    Out.Seek(CountsField);
    Out.Long(StripByteCounts[0]);
  } else {
    Out.Seek(OffsetsValues);
    for (uint32_t v : StripOffsets) Out.Long(v);
    Out.Seek(CountsValues);
    for (uint32_t v : StripByteCounts) Out.Long(v);
    Out.Seek(OffsetsField);
    Out.Long(static_cast<uint32_t>(OffsetsValues));
    Out.Seek(CountsField);
    Out.Long(static_cast<uint32_t>(CountsValues));
  }
  Out.Seek(PageEnd);
  FLinkPosition = NextField;
}

void RegisterTIFFFileFormats() {
  RegisterFileFormatReader(std::make_unique<TTIFFileFormatReader>());
  RegisterFileFormatReader(std::make_unique<TTIFFFileFormatReader>());
  RegisterFileFormatWriter(std::make_unique<TTIFFileFormatWriter>());
  RegisterFileFormatWriter(std::make_unique<TTIFFFileFormatWriter>());
}
