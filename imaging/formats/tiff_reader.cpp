// Reader of Tagged Image File Format pages.
#include "imaging/formats/tiff_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/core/chunks.h"
#include "imaging/core/exceptions.h"
#include "imaging/core/messages.h"
#include "imaging/core/options.h"
#include "imaging/formats/ccitt_tables.h"
#include "platform/base/numeric.h"
#include "platform/base/stream.h"

const std::array<uint16_t, TIFFTextTagCount> TIFFTextTags = {269, 270, 271, 272, 285,
                                                             305, 306, 315, 316, 33432};
const std::array<const char*, TIFFTextTagCount> TIFFTextTagNames = {
    "DocumentName", "ImageDescription", "Make",   "Model",        "PageName",
    "Software",     "DateTime",         "Artist", "HostComputer", "Copyright"};

namespace {

constexpr int DateTimeText = 6;  // index of DateTime among the text tags

[[noreturn]] void RaiseTIFF(const std::string& Text) {
  throw EPGTIFFileFormatReader("TIFF: " + Text);
}

[[noreturn]] void RaiseEndOfFile() { RaiseTIFF(PGMessage(32)); }

const char* const StripCountText = "NumStripOffsets<>(ImageLength+RowsPerStrip-1) div RowsPerStrip";

// The rows of an uncompressed page whose bytes lie inside the stream: an
// image is made only for a page whose rows are there for the most part (a
// file cut in its second half is read as far as it goes).
int64_t UncompressedRowsThere(const TTIFFDirectory& D, int64_t RowLength, int64_t Base, int64_t StreamSize) {
  if (RowLength <= 0) return D.ImageLength;
  int64_t Rows = 0;
  for (size_t Strip = 0; Strip < D.StripOffsets.size(); ++Strip) {
    const int64_t First = static_cast<int64_t>(Strip) * D.RowsPerStrip;
    if (First >= D.ImageLength) break;
    const int64_t InStrip = std::min<int64_t>(D.RowsPerStrip, D.ImageLength - First);
    const int64_t Bytes = StreamSize - (Base + static_cast<uint32_t>(D.StripOffsets[Strip]));
    Rows += std::clamp<int64_t>(Bytes / RowLength, 0, InStrip);
  }
  return Rows;
}

struct TReverseTable {
  std::array<uint8_t, 256> Bytes{};
  constexpr TReverseTable() {
    for (int i = 0; i < 256; ++i) {
      int r = 0;
      for (int b = 0; b < 8; ++b)
        if (i & (1 << b)) r |= 0x80 >> b;
      Bytes[i] = static_cast<uint8_t>(r);
    }
  }
};
constexpr TReverseTable ReverseTable;

// Numbers of the file in its byte order.
class TTIFFNumbers {
public:
  TTIFFNumbers(TStream& Stream, bool IsIntel) : FStream(Stream), FIsIntel(IsIntel) {}
  uint16_t Word(const uint8_t* P) const {
    return FIsIntel ? static_cast<uint16_t>(P[0] | P[1] << 8)
                    : static_cast<uint16_t>(P[0] << 8 | P[1]);
  }
  uint32_t Long(const uint8_t* P) const {
    return FIsIntel ? (uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 |
                       uint32_t(P[3]) << 24)
                    : (uint32_t(P[0]) << 24 | uint32_t(P[1]) << 16 | uint32_t(P[2]) << 8 |
                       uint32_t(P[3]));
  }
  uint16_t ReadWord() {
    uint8_t B[2];
    FStream.ReadBuffer(B, 2);
    return Word(B);
  }
  uint32_t ReadLong() {
    uint8_t B[4];
    FStream.ReadBuffer(B, 4);
    return Long(B);
  }

private:
  TStream& FStream;
  bool FIsIntel;
};

struct TEntry {
  uint16_t Tag;
  uint16_t Type;
  uint32_t Count;
  uint8_t Value[4];
};

// Tag access over the entries of one directory.
class TTagReader {
public:
  TTagReader(TStream& Stream, bool IsIntel, int64_t Base, std::vector<TEntry> Entries)
      : FStream(Stream), FNumbers(Stream, IsIntel), FBase(Base), FSize(Stream.Size()),
        FEntries(std::move(Entries)) {}

  // The last entry of a tag wins.
  const TEntry* Find(uint16_t Tag) const {
    for (auto It = FEntries.rbegin(); It != FEntries.rend(); ++It)
      if (It->Tag == Tag) return &*It;
    return nullptr;
  }

  int32_t Value(uint16_t Tag) const {
    const TEntry* E = Find(Tag);
    if (!E) return 0;
    switch (E->Type) {
      case 1: return E->Value[0];
      case 3: return FNumbers.Word(E->Value);
      case 4: return static_cast<int32_t>(FNumbers.Long(E->Value));
      default: RaiseTIFF("Unsupported field Type: " + std::to_string(E->Type));
    }
  }

  std::vector<int32_t> Array(uint16_t Tag) {
    std::vector<int32_t> Result;
    const TEntry* E = Find(Tag);
    if (!E) return Result;
    int ItemSize;
    switch (E->Type) {
      case 1: ItemSize = 1; break;
      case 3: ItemSize = 2; break;
      case 4: ItemSize = 4; break;
      default: RaiseTIFF("Unsupported field Type: " + std::to_string(E->Type));
    }
    std::vector<uint8_t> Bytes = Data(*E, static_cast<int64_t>(E->Count) * ItemSize);
    Result.resize(E->Count);
    for (uint32_t i = 0; i < E->Count; ++i) {
      const uint8_t* P = Bytes.data() + static_cast<size_t>(i) * ItemSize;
      Result[i] = ItemSize == 1   ? P[0]
                  : ItemSize == 2 ? FNumbers.Word(P)
                                  : static_cast<int32_t>(FNumbers.Long(P));
    }
    return Result;
  }

  void Rational(uint16_t Tag, uint32_t& Numerator, uint32_t& Denominator) {
    const TEntry* E = Find(Tag);
    if (!E) return;
    if (E->Count != 1 || E->Type != 5) RaiseTIFF("Unable to read tag: " + std::to_string(Tag));
    std::vector<uint8_t> Bytes = Data(*E, 8);
    Numerator = FNumbers.Long(Bytes.data());
    Denominator = FNumbers.Long(Bytes.data() + 4);
  }

  // The text of a tag as lines; none when the tag is absent.
  std::optional<std::vector<std::string>> Text(uint16_t Tag) {
    const TEntry* E = Find(Tag);
    if (!E) return std::nullopt;
    std::vector<uint8_t> Bytes = Data(*E, E->Count);
    std::vector<std::string> Lines;
    std::string Line;
    uint8_t Previous = 0;
    for (size_t i = 0; i < Bytes.size(); ++i) {
      uint8_t C = Bytes[i];
      bool Last = i + 1 == Bytes.size();
      if (C == 0) {
        if (!Line.empty()) Lines.push_back(Line);
        break;
      }
      if (C == 10 || C == 13) {
        bool Pair = (C == 10 && Previous == 13) || (C == 13 && Previous == 10);
        if (!Pair || Last) {
          Lines.push_back(Line);
          Line.clear();
        }
        Previous = C;
        continue;
      }
      Line += static_cast<char>(C);
      if (Last) Lines.push_back(Line);
      Previous = C;
    }
    return Lines;
  }

private:
  // Count bytes of an entry's values: from the value field when they fit,
  // else from the offset it holds. Values past the end of the stream are
  // refused before anything is allocated.
  std::vector<uint8_t> Data(const TEntry& E, int64_t Count) {
    std::vector<uint8_t> Bytes;
    if (Count <= 4) {
      Bytes.assign(E.Value, E.Value + Count);
      return Bytes;
    }
    int64_t Position = FBase + FNumbers.Long(E.Value);
    if (Position + Count > FSize) RaiseEndOfFile();
    Bytes.resize(static_cast<size_t>(Count));
    FStream.SetPosition(Position);
    FStream.ReadBuffer(Bytes.data(), Count);
    return Bytes;
  }

  TStream& FStream;
  TTIFFNumbers FNumbers;
  int64_t FBase;
  int64_t FSize;
  std::vector<TEntry> FEntries;
};

// Photometric, samples and bits of the accepted combinations.
bool AcceptedCombination(const TTIFFDirectory& D) {
  const auto& B = D.BitsPerSample;
  auto All8 = [&] { return std::all_of(B.begin(), B.end(), [](int32_t v) { return v == 8; }); };
  switch (D.PhotometricInterpretation) {
    case 0:
    case 1:
    case 3: return D.SamplesPerPixel == 1 && (B[0] == 1 || B[0] == 4 || B[0] == 8);
    case 2: return (D.SamplesPerPixel == 3 || D.SamplesPerPixel == 4) && All8();
    case 5: return D.SamplesPerPixel == 4 && All8();
    default: return false;
  }
}

const char* CompressionName(int32_t Compression) {
  switch (Compression) {
    case 1: return "Uncompr.";
    case 2: return "CCITT 1D";
    case 3: return "Group 3 F.";
    case 4: return "Group 4 F.";
    case 5: return "LZW";
    case 6: return "JPEG";
    case 32773: return "PackBits";
    default: return "";
  }
}

const char* PhotometricName(int32_t Photometric) {
  switch (Photometric) {
    case 0: return ", WhiteIsZero";
    case 1: return ", BlackIsZero";
    case 2: return ", RGB";
    case 3: return ", RGB Palette";
    case 5: return ", CMYK";
    default: return "";
  }
}

// The strip-count warning, handled as the graphic's ReadWarningAction says;
// true when reading goes on.
bool WarningContinues(TPixelGraphic& Graphic, const std::string& Text) {
  switch (Graphic.ReadWarningAction()) {
    case pgwaIgnore: return true;
    case pgwaOKBox: PGWarningBox(Text, "TIFF-Warning", pgbOK); return true;
    case pgwaOKCancelBox: return PGWarningBox(Text, "TIFF-Warning", pgbOKCancel);
    default: return false;
  }
}

// Clears the bits after the last pixel of a 1-bit row and the row's padding.
void ClearRowPadding(TPixelGraphic& Graphic, int32_t Row) {
  uint8_t* Line = Graphic.ScanLine(Row);
  const int64_t Width = Graphic.GetWidth();
  int64_t Used = (Width + 7) / 8;
  if (Width % 8) Line[Used - 1] &= static_cast<uint8_t>(0xFF00 >> (Width % 8));
  std::memset(Line + Used, 0, static_cast<size_t>(Graphic.BytesPerLine() - Used));
}

// Days since 30 December 1899 of a date, or false when it does not exist.
bool TryEncodeDate(int Year, int Month, int Day, double& Date) {
  static const int DaysInMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool Leap = (Year % 4 == 0 && Year % 100 != 0) || Year % 400 == 0;
  if (Year < 1 || Month < 1 || Month > 12 || Day < 1 ||
      Day > DaysInMonth[Month - 1] + (Month == 2 && Leap ? 1 : 0))
    return false;
  // Days from the civil date (proleptic Gregorian calendar).
  auto DaysFromCivil = [](int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    int64_t Era = (y >= 0 ? y : y - 399) / 400;
    int64_t YearOfEra = y - Era * 400;
    int64_t DayOfYear = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    int64_t DayOfEra = YearOfEra * 365 + YearOfEra / 4 - YearOfEra / 100 + DayOfYear;
    return Era * 146097 + DayOfEra;
  };
  Date = static_cast<double>(DaysFromCivil(Year, Month, Day) - DaysFromCivil(1899, 12, 30));
  return true;
}

// The date and time of a "YYYY:MM:DD HH:MM:SS" line, each field clamped; none
// when the clamped date does not exist (such as 31 April).
std::optional<double> ParseTIFFDateTime(const std::string& S) {
  auto Digits = [&](int From, int Count) {
    int V = 0;
    for (int i = 0; i < Count; ++i) V = V * 10 + (static_cast<uint8_t>(S[From - 1 + i]) - 48);
    return V;
  };
  int Year = std::clamp(Digits(1, 4), 0, 9999);
  int Month = std::clamp(Digits(6, 2), 1, 12);
  int Day = std::clamp(Digits(9, 2), 1, 31);
  int Hour = std::clamp(Digits(12, 2), 0, 23);
  int Minute = std::clamp(Digits(15, 2), 0, 59);
  int Second = std::clamp(Digits(18, 2), 0, 59);
  double Date;
  if (!TryEncodeDate(Year, Month, Day, Date)) return std::nullopt;
  return Date + (Hour * 3600 + Minute * 60 + Second) / 86400.0;
}

}  // namespace

uint8_t ReverseBitsOf(uint8_t Value) { return ReverseTable.Bytes[Value]; }

uint8_t TTIFFDecodeState::NextByte() {
  int64_t P = ReadPosition;
  if (BufferStart < 0 || P < BufferStart || P >= BufferStart + BufferCount) {
    int64_t Available = StreamSize - (Base + P);
    if (P < 0 || Available <= 0) RaiseEndOfFile();
    int64_t Count = std::min<int64_t>(static_cast<int64_t>(Buffer.size()), Available);
    Stream->SetPosition(Base + P);
    Stream->ReadBuffer(Buffer.data(), Count);
    BufferStart = P;
    BufferCount = Count;
  }
  ++ReadPosition;
  uint8_t B = Buffer[static_cast<size_t>(P - BufferStart)];
  return ReverseBits ? ReverseBitsOf(B) : B;
}

int TTIFFDecodeState::NextBit() {
  if (BitPosition >= 8) {
    CurrentByte = NextByte();
    BitPosition = 0;
  }
  return (CurrentByte >> (7 - BitPosition++)) & 1;
}

void ParseTIFFDirectory(TStream& Stream, int32_t Index, int32_t& PageCount, bool ReadTexts,
                        TTIFFDirectory& Directory, bool& IsIntel, int64_t& Base) {
  PageCount = 0;
  Base = Stream.Position();
  int64_t Size = Stream.Size();
  Directory = TTIFFDirectory();

  uint8_t Order[2];
  Stream.ReadBuffer(Order, 2);
  if (Order[0] == 'I' && Order[1] == 'I')
    IsIntel = true;
  else if (Order[0] == 'M' && Order[1] == 'M')
    IsIntel = false;
  else
    RaiseTIFF("Not a TIF file");
  TTIFFNumbers N(Stream, IsIntel);
  if (N.ReadWord() != 42) RaiseTIFF("Not a TIF file");
  uint32_t FirstOffset = N.ReadLong();

  // Walk the directory chain to count pages; any broken link, a loop or
  // too many pages make it a one-page file.
  uint32_t Chosen = FirstOffset;
  if (TIFFCountPages) {
    uint32_t Offset = FirstOffset;
    bool Broken = false;
    while (true) {
      int64_t Start = Base + Offset;
      if (Start < 0 || Start > Size - 2) {
        Broken = true;
        break;
      }
      if (PageCount == Index) Chosen = Offset;
      Stream.SetPosition(Start);
      uint16_t Count = N.ReadWord();
      int64_t Link = Start + 2 + 12 * static_cast<int64_t>(Count);
      if (Link > Size - 2) {
        Broken = true;
        break;
      }
      Stream.SetPosition(Link);
      Offset = N.ReadLong();
      ++PageCount;
      if (PageCount > TIFFMaxPages) {
        Broken = true;
        break;
      }
      if (Offset == 0) break;
    }
    if (Broken) {
      PageCount = 1;
      Chosen = FirstOffset;
    }
  } else {
    PageCount = 1;
  }
  if (Index < 0 || Index > PageCount - 1) RaiseTIFF(PGMessage(7, "Index"));

  Stream.SetPosition(Base + Chosen);
  uint16_t EntryCount = N.ReadWord();
  if (Base + Chosen + 2 + 12 * static_cast<int64_t>(EntryCount) > Size) RaiseEndOfFile();
  std::vector<uint8_t> Raw(12 * static_cast<size_t>(EntryCount));
  Stream.ReadBuffer(Raw.data(), static_cast<int64_t>(Raw.size()));
  std::vector<TEntry> Entries(EntryCount);
  for (size_t i = 0; i < EntryCount; ++i) {
    const uint8_t* P = Raw.data() + 12 * i;
    Entries[i].Tag = N.Word(P);
    Entries[i].Type = N.Word(P + 2);
    Entries[i].Count = N.Long(P + 4);
    std::memcpy(Entries[i].Value, P + 8, 4);
  }
  TTagReader Tags(Stream, IsIntel, Base, std::move(Entries));
  TTIFFDirectory& D = Directory;

  D.PlanarConfiguration = Tags.Value(284);
  if (D.PlanarConfiguration >= 2) RaiseTIFF(PGMessage(7, "PlanarConfiguration"));
  D.NewSubfileType = Tags.Value(254);
  D.ImageWidth = Tags.Value(256);
  D.ImageLength = Tags.Value(257);
  D.Compression = Tags.Value(259);
  D.PhotometricInterpretation = Tags.Value(262);
  D.FillOrder = Tags.Value(266);
  D.SamplesPerPixel = Tags.Value(277);
  D.ResolutionUnit = Tags.Value(296);
  Tags.Rational(282, D.XResolutionNumerator, D.XResolutionDenominator);
  Tags.Rational(283, D.YResolutionNumerator, D.YResolutionDenominator);

  if (D.SamplesPerPixel == 0) D.SamplesPerPixel = 1;
  if (D.SamplesPerPixel != 1 && D.SamplesPerPixel != 3 && D.SamplesPerPixel != 4)
    RaiseTIFF("Invalid SamplesPerPixel");
  D.BitsPerSample = Tags.Array(258);
  if (!Tags.Find(258)) D.BitsPerSample = {1};
  if (static_cast<int64_t>(D.BitsPerSample.size()) != D.SamplesPerPixel)
    RaiseTIFF("Invalid count of SamplesPerPixel");
  if (!AcceptedCombination(D)) RaiseTIFF("Invalid SamplesPerPixel");

  D.StripOffsets = Tags.Array(273);
  D.RowsPerStrip = Tags.Value(278);
  if (D.RowsPerStrip == 0) {
    if (D.StripOffsets.size() != 1) RaiseTIFF("Invalid RowsPerStrip");
    D.RowsPerStrip = D.ImageLength;
  }
  D.StripByteCounts = Tags.Array(279);
  D.ColorMap = Tags.Array(320);

  if (ReadTexts) {
    for (int i = 0; i < TIFFTextTagCount; ++i) D.Texts[i] = Tags.Text(TIFFTextTags[i]);
    D.PageNumber = Tags.Array(297);
  }
}

TTIFFileFormatReader::TTIFFileFormatReader() {
  FExtension = "tif";
  FDescription = "Tagged Image File Format";
  FListed = true;
  FIdentifiedByContent = true;
}

TTIFFFileFormatReader::TTIFFFileFormatReader() { FExtension = "tiff"; }

bool TTIFFileFormatReader::Identify(const TPGFileHeader& H) {
  return (H[0] == 0x49 && H[1] == 0x49 && H[2] == 0x2A && H[3] == 0x00) ||
         (H[0] == 0x4D && H[1] == 0x4D && H[2] == 0x00 && H[3] == 0x2A);
}

bool TTIFFileFormatReader::IsSupportedCompression(int32_t Compression) {
  return Compression == TIFFCompressionNone || Compression == TIFFCompressionCCITT1D ||
         Compression == TIFFCompressionPackBits;
}

void TTIFFileFormatReader::BeginDecode(TTIFFDecodeState&, int32_t) {}
void TTIFFileFormatReader::EndDecode(TTIFFDecodeState&, int32_t) {}

void TTIFFileFormatReader::StartStrip(TTIFFDecodeState& State, int32_t) {
  State.BitPosition = 8;
}

void TTIFFileFormatReader::DecodeRow(TTIFFDecodeState& S, int32_t Row, int32_t Compression) {
  const int64_t Length = static_cast<int64_t>(S.Row.size());
  uint8_t* Out = S.Row.data();
  switch (Compression) {
    case TIFFCompressionNone: {
      S.Stream->SetPosition(S.Base + S.ReadPosition);
      S.Stream->ReadBuffer(Out, Length);
      S.ReadPosition += Length;
      if (S.ReverseBits)
        for (int64_t i = 0; i < Length; ++i) Out[i] = ReverseBitsOf(Out[i]);
      break;
    }
    case TIFFCompressionPackBits: {
      int64_t i = 0;
      while (i < Length) {
        int8_t n = static_cast<int8_t>(S.NextByte());
        if (n == -128) continue;
        int64_t Count = n >= 0 ? n + 1 : 1 - n;
        if (i + Count > Length)
          throw EPGTIFFileFormatReader("TIFF (PackBits): Invalid count of bytes in row " +
                                       std::to_string(Row));
        if (n >= 0) {
          for (int64_t k = 0; k < Count; ++k) Out[i++] = S.NextByte();
        } else {
          std::memset(Out + i, S.NextByte(), static_cast<size_t>(Count));
          i += Count;
        }
      }
      break;
    }
    case TIFFCompressionCCITT1D: {
      S.BitPosition = 8;
      std::fill(S.Row.begin(), S.Row.end(), 0);
      const int64_t Width = S.PixelsPerRow;
      int64_t Counter = 0;
      bool Black = false;
      while (true) {
        const TCCITTDecodeTable& Table = Black ? CCITTBlackDecodeTable : CCITTWhiteDecodeTable;
        int Bits = 0;
        uint32_t Code = 0;
        const TCCITTCode* Match = nullptr;
        for (const TCCITTCode& Entry : Table) {
          while (Entry.Length > Bits) {
            Code = Code << 1 | static_cast<uint32_t>(S.NextBit());
            ++Bits;
          }
          if (Entry.Code == Code) {
            Match = &Entry;
            break;
          }
        }
        if (!Match || Match->Run < 0) RaiseTIFF("Invalid Huffman code");
        int64_t Run = Match->Run;
        if (Run > 0) {
          if (Counter + Run > Width) RaiseTIFF("Invalid number of pixels per row");
          if (Black)
            for (int64_t x = Counter; x < Counter + Run; ++x)
              Out[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
          Counter += Run;
        }
        if (Run < 64) {
          Black = !Black;
          if (Counter >= Width) break;
        }
      }
      break;
    }
    default:
      break;
  }
}

void TTIFFileFormatReader::Read(TStream& Stream, TPixelGraphic& Graphic, int32_t Index) {
  TTIFFDecodeState S;
  S.Stream = &Stream;
  S.StreamSize = Stream.Size();
  bool ReadTexts = PGReadChunks && !Graphic.PreviewRead();
  TTIFFDirectory D;
  int32_t PageCount;
  bool IsIntel;
  ParseTIFFDirectory(Stream, Index, PageCount, ReadTexts, D, IsIntel, S.Base);

  if (!IsSupportedCompression(D.Compression)) {
    switch (D.Compression) {
      case 3: RaiseTIFF("Unsupported compression Group 3 Fax");
      case 4: RaiseTIFF("Unsupported compression Group 4 Fax");
      case 5: RaiseTIFF("Unsupported compression LZW");
      case 6: RaiseTIFF("Unsupported compression JPEG");
      default: RaiseTIFF("Unsupported compression " + std::to_string(D.Compression));
    }
  }

  // Pixel format by samples and bits.
  const int32_t Bits = D.BitsPerSample[0];
  uint8_t Format = D.SamplesPerPixel != 1 ? pf24Bit
                   : Bits == 1            ? pf1Bit
                   : Bits == 4            ? pf4Bit
                                          : pf8Bit;
  const bool HasRows = D.ImageWidth > 0 && D.ImageLength > 0;

  // Strip count rule, in 64 bits so that no sum wraps; an image without rows
  // needs no strips.
  if (HasRows) {
    int64_t StripCount = D.StripOffsets.size();
    int64_t Expected = D.RowsPerStrip == 0
                           ? -1
                           : (static_cast<int64_t>(D.ImageLength) + D.RowsPerStrip - 1) /
                                 D.RowsPerStrip;
    if (Expected != StripCount) {
      if (StripCount != 1 || !WarningContinues(Graphic, std::string("TIFF: ") + StripCountText))
        throw EPGTIFFileFormatReader(std::string("TIFF: ") + StripCountText);
      D.RowsPerStrip = D.ImageLength;
    }
  }

  // One side zero and the other not: no picture, however much it claims.
  if (D.ImageWidth == 0 && D.ImageLength != 0) RaiseTIFF(PGMessage(7, "ImageWidth"));
  if (D.ImageLength == 0 && D.ImageWidth != 0) RaiseTIFF(PGMessage(7, "ImageLength"));
  CheckPGImageSize(D.ImageWidth, D.ImageLength, Format);
  const int64_t RowLength = (static_cast<int64_t>(Bits) * D.SamplesPerPixel * D.ImageWidth + 7) / 8;
  if (HasRows && D.Compression == TIFFCompressionNone && D.RowsPerStrip > 0 &&
      2 * UncompressedRowsThere(D, RowLength, S.Base, S.StreamSize) < D.ImageLength)
    throw EReadError("Stream read error");
  Graphic.NewImage(D.ImageWidth, D.ImageLength, Format);

  if (D.XResolutionNumerator >= 1 && D.XResolutionDenominator >= 1 &&
      D.YResolutionNumerator >= 1 && D.YResolutionDenominator >= 1) {
    long double X = static_cast<long double>(D.XResolutionNumerator) / D.XResolutionDenominator;
    long double Y = static_cast<long double>(D.YResolutionNumerator) / D.YResolutionDenominator;
    if (D.ResolutionUnit == 2) {
      Graphic.SetXResolution(static_cast<int32_t>(Round(X / 2.54L * 100)));
      Graphic.SetYResolution(static_cast<int32_t>(Round(Y / 2.54L * 100)));
    } else if (D.ResolutionUnit == 3) {
      Graphic.SetXResolution(static_cast<int32_t>(Round(X * 100)));
      Graphic.SetYResolution(static_cast<int32_t>(Round(Y * 100)));
    }
  }

  const int32_t Photometric = D.PhotometricInterpretation;
  if (Format == pf1Bit) {
    Graphic.SetPaletteIdent(pBlackWhite);
  } else if (Format == pf4Bit || Format == pf8Bit) {
    if (Photometric == 0 || Photometric == 1) {
      Graphic.SetPaletteIdent(Format == pf4Bit ? pGray16 : pGray256);
    } else {
      // At most as many entries as the pixel format holds.
      int32_t n = static_cast<int32_t>(D.ColorMap.size() / 3);
      int32_t Count = std::min(n, Format == pf4Bit ? 16 : 256);
      Graphic.SetPaletteCount(Count);
      for (int32_t i = 0; i < Count; ++i) {
        uint32_t R = static_cast<uint32_t>(D.ColorMap[i]) / 256 & 0xFF;
        uint32_t G = static_cast<uint32_t>(D.ColorMap[n + i]) / 256 & 0xFF;
        uint32_t B = static_cast<uint32_t>(D.ColorMap[2 * n + i]) / 256 & 0xFF;
        Graphic.SetPaletteEntry(i, R | G << 8 | B << 16);
      }
    }
  }

  if (HasRows) {
    S.ReverseBits = D.FillOrder == 2;
    S.PixelsPerRow = D.ImageWidth;
    S.Row.assign(static_cast<size_t>(RowLength), 0);

    TPGProgressScope Progress(Graphic, this);
    BeginDecode(S, D.Compression);
    struct TEndDecode {
      TTIFFileFormatReader* Reader;
      TTIFFDecodeState& State;
      int32_t Compression;
      ~TEndDecode() { Reader->EndDecode(State, Compression); }
    } EndGuard{this, S, D.Compression};

    const int32_t Width = D.ImageWidth;
    for (int32_t r = 0; r < D.ImageLength; ++r) {
      if (r % D.RowsPerStrip == 0) {
        int64_t Strip = r / D.RowsPerStrip;
        if (Strip < 0 || Strip >= static_cast<int64_t>(D.StripOffsets.size()))
          throw EPGTIFFileFormatReader(std::string("TIFF: ") + StripCountText);
        S.ReadPosition = static_cast<uint32_t>(D.StripOffsets[static_cast<size_t>(Strip)]);
        StartStrip(S, D.Compression);
      }
      DecodeRow(S, r, D.Compression);
      const uint8_t* In = S.Row.data();
      uint8_t* Line = Graphic.ScanLine(r);
      if (Format == pf1Bit) {
        const int32_t n = static_cast<int32_t>((int64_t(Width) + 7) / 8);
        for (int32_t k = 0; k < n; ++k) Line[k] = Photometric == 0 ? In[k] ^ 0xFF : In[k];
        ClearRowPadding(Graphic, r);
      } else if (Format == pf4Bit) {
        for (int32_t x = 0; x < Width; ++x) {
          uint32_t v = (x & 1) ? In[x >> 1] & 0x0F : In[x >> 1] >> 4;
          Graphic.SetPixel(x, r, Photometric == 0 ? 15 - v : v);
        }
      } else if (Format == pf8Bit) {
        if (Photometric == 0)
          for (int32_t x = 0; x < Width; ++x) Graphic.SetPixel(x, r, 255 - In[x]);
        else
          std::memcpy(Line, In, static_cast<size_t>(Width));
      } else if (D.SamplesPerPixel == 3) {
        for (int32_t x = 0; x < Width; ++x) {
          Line[3 * x] = In[3 * x + 2];
          Line[3 * x + 1] = In[3 * x + 1];
          Line[3 * x + 2] = In[3 * x];
        }
      } else {
        for (int32_t x = 0; x < Width; ++x) {
          const uint8_t* P = In + 4 * x;
          uint32_t R, G, B;
          if (Photometric == 5) {
            R = static_cast<uint32_t>(std::max(0, 255 - P[0] - P[3]));
            G = static_cast<uint32_t>(std::max(0, 255 - P[1] - P[3]));
            B = static_cast<uint32_t>(std::max(0, 255 - P[2] - P[3]));
          } else {
            R = P[0];
            G = P[1];
            B = P[2];
          }
          Graphic.SetPixel(x, r, R | G << 8 | B << 16);
        }
      }
      if (Progress.Progress(r, D.ImageLength)) break;
    }
  }

  if (ReadTexts) {
    for (int i = 0; i < TIFFTextTagCount; ++i) {
      const auto& Lines = D.Texts[i];
      if (!Lines) continue;
      std::string Keyword = std::string("TIFF ") + TIFFTextTagNames[i];
      if (i == DateTimeText) {
        if (Lines->size() == 1 && (*Lines)[0].size() == 19) {
          // A date that does not exist is left out; the pixels stay good.
          if (auto Value = ParseTIFFDateTime((*Lines)[0])) {
            auto Chunk = std::make_unique<TDateTimeChunk>(Keyword);
            Chunk->SetValue(*Value);
            Graphic.AddChunk(std::move(Chunk));
          }
        }
        continue;
      }
      auto Chunk = std::make_unique<TTextChunk>(Keyword);
      for (const auto& Line : *Lines) Chunk->GetStrings().push_back(Line);
      Graphic.AddChunk(std::move(Chunk));
    }
    if (!D.PageNumber.empty()) {
      auto Chunk = std::make_unique<TIntegerChunk>("TIFF PageNumber");
      Chunk->SetValue(D.PageNumber[0]);
      Graphic.AddChunk(std::move(Chunk));
    }
    if (D.PageNumber.size() == 2 && D.PageNumber[1] > 0) {
      auto Chunk = std::make_unique<TIntegerChunk>("TIFF PageCount");
      Chunk->SetValue(D.PageNumber[1]);
      Graphic.AddChunk(std::move(Chunk));
    }
  }
}

void TTIFFileFormatReader::GetInfo(TStream& Stream, int32_t Index, TPGGraphicInfo& Info) {
  TFileFormatReader::GetInfo(Stream, Index, Info);
  TTIFFDirectory D;
  int32_t PageCount;
  bool IsIntel;
  int64_t Base;
  ParseTIFFDirectory(Stream, Index, PageCount, false, D, IsIntel, Base);
  Info.ImageCount = PageCount;
  Info.FormatText = std::string(IsIntel ? "I, " : "M, ") + CompressionName(D.Compression) +
                    PhotometricName(D.PhotometricInterpretation);
  Info.ExtraText = IsSupportedCompression(D.Compression) ? "" : "(Unsupported compression)";
  Info.Width = D.ImageWidth;
  Info.Height = D.ImageLength;
  int64_t Sum = 0;
  for (int32_t b : D.BitsPerSample) Sum += b;
  Info.BitsPerPixel = static_cast<int32_t>(Sum);
  Info.ColorsText = Sum >= 24 ? "16.7 M" : std::to_string(int64_t{1} << Sum);
}
