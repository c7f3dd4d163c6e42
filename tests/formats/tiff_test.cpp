// TIFF reading (byte orders, pages, strips, codings, photometric kinds) and
// writing (layout, codings, resolution, pages).
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "imaging/core/chunks.h"
#include "imaging/core/exceptions.h"
#include "imaging/formats/tiff_reader.h"
#include "imaging/formats/tiff_writer.h"
#include "raster_test_util.h"

using namespace rastertest;

namespace {

// Builds a one-directory file: header, directory, values, then the strips.
struct TTIFFBuilder {
  bool Motorola = false;
  struct TEntry {
    uint16_t Tag, Type;
    std::vector<uint32_t> Values;
    Bytes Raw;  // ASCII or BYTE values
    uint32_t Count = 0;  // when set, overrides the count
  };
  std::vector<TEntry> Entries;
  std::vector<Bytes> Strips;
  int64_t NextIFDField = 0;

  TTIFFBuilder& Short(uint16_t Tag, std::vector<uint32_t> V) {
    Entries.push_back({Tag, 3, std::move(V), {}});
    return *this;
  }
  TTIFFBuilder& Long(uint16_t Tag, std::vector<uint32_t> V) {
    Entries.push_back({Tag, 4, std::move(V), {}});
    return *this;
  }
  TTIFFBuilder& Rational(uint16_t Tag, uint32_t N, uint32_t D) {
    Entries.push_back({Tag, 5, {N, D}, {}});
    return *this;
  }
  TTIFFBuilder& Ascii(uint16_t Tag, const std::string& S) {
    Entries.push_back({Tag, 2, {}, Bytes(S.begin(), S.end())});
    return *this;
  }
  // Image, bits and photometric tags of a simple page with its strips.
  TTIFFBuilder& Page(uint32_t Width, uint32_t Height, std::vector<uint32_t> Bits, uint32_t Photometric,
                     uint32_t Compression, std::vector<Bytes> StripData, uint32_t RowsPerStrip) {
    Long(256, {Width}).Long(257, {Height}).Short(258, Bits).Short(259, {Compression});
    Short(262, {Photometric}).Short(277, {static_cast<uint32_t>(Bits.size())});
    if (RowsPerStrip) Long(278, {RowsPerStrip});
    Strips = std::move(StripData);
    return *this;
  }

  void Put(Bytes& B, size_t At, uint32_t V, int Size) const {
    for (int i = 0; i < Size; ++i)
      B[At + i] = static_cast<uint8_t>(V >> (8 * (Motorola ? Size - 1 - i : i)));
  }

  Bytes Build() {
    std::vector<TEntry> All = Entries;
    // Strip tables: offsets filled in below.
    if (!Strips.empty()) {
      All.push_back({273, 4, std::vector<uint32_t>(Strips.size(), 0), {}});
      std::vector<uint32_t> Counts;
      for (const Bytes& S : Strips) Counts.push_back(static_cast<uint32_t>(S.size()));
      All.push_back({279, 4, Counts, {}});
    }
    std::stable_sort(All.begin(), All.end(), [](const TEntry& a, const TEntry& b) { return a.Tag < b.Tag; });
    const size_t IFD = 8;
    size_t ValuesAt = IFD + 2 + 12 * All.size() + 4;
    Bytes B(ValuesAt, 0);
    B[0] = B[1] = Motorola ? 'M' : 'I';
    Put(B, 2, 42, 2);
    Put(B, 4, IFD, 4);
    Put(B, IFD, static_cast<uint32_t>(All.size()), 2);
    NextIFDField = static_cast<int64_t>(IFD + 2 + 12 * All.size());
    size_t StripOffsetsField = 0, StripOffsetsValues = 0;
    for (size_t i = 0; i < All.size(); ++i) {
      const TEntry& E = All[i];
      size_t At = IFD + 2 + 12 * i;
      int Size = E.Type == 3 ? 2 : E.Type == 2 || E.Type == 1 ? 1 : 4;
      size_t Count = E.Type == 5 ? 1 : E.Raw.empty() ? E.Values.size() : E.Raw.size();
      Put(B, At, E.Tag, 2);
      Put(B, At + 2, E.Type, 2);
      Put(B, At + 4, E.Count ? E.Count : static_cast<uint32_t>(Count), 4);
      Bytes Data;
      if (!E.Raw.empty()) {
        Data = E.Raw;
      } else {
        Data.assign(E.Values.size() * Size, 0);
        for (size_t k = 0; k < E.Values.size(); ++k) Put(Data, k * Size, E.Values[k], Size);
      }
      size_t Place;
      if (Data.size() <= 4) {
        Place = At + 8;
        std::copy(Data.begin(), Data.end(), B.begin() + static_cast<long>(Place));
      } else {
        Place = B.size();
        Put(B, At + 8, static_cast<uint32_t>(Place), 4);
        B.insert(B.end(), Data.begin(), Data.end());
      }
      if (E.Tag == 273) {
        StripOffsetsField = At;
        StripOffsetsValues = Place;
      }
    }
    for (size_t s = 0; s < Strips.size(); ++s) {
      Put(B, StripOffsetsValues + 4 * s, static_cast<uint32_t>(B.size()), 4);
      B.insert(B.end(), Strips[s].begin(), Strips[s].end());
    }
    (void)StripOffsetsField;
    return B;
  }
};

std::string ReadError(const Bytes& Data, int32_t Index = 0) {
  TTIFFileFormatReader Reader;
  try {
    Read(Reader, Data, Index);
  } catch (const EPGTIFFileFormatReader& E) {
    return E.what();
  }
  return "";
}

// A 3 x 2 RGB page, uncompressed.
TTIFFBuilder RGBPage(bool Motorola) {
  TTIFFBuilder B;
  B.Motorola = Motorola;
  B.Page(3, 2, {8, 8, 8}, 2, 1, {{1, 2, 3, 4, 5, 6, 7, 8, 9}, {10, 11, 12, 13, 14, 15, 16, 17, 18}}, 1);
  return B;
}

Bytes WritePages(std::vector<TPixelGraphic*> Pages) {
  TTIFFileFormatWriter Writer;
  TMemoryStream Stream;
  Writer.BeginFile(Stream);
  for (TPixelGraphic* G : Pages) Writer.WritePage(Stream, *G);
  Writer.EndFile(Stream);
  return Stream.Bytes();
}

uint32_t Le(const Bytes& B, size_t At, int Size) {
  uint32_t V = 0;
  for (int i = Size - 1; i >= 0; --i) V = V << 8 | B[At + i];
  return V;
}

// The entries of the first directory of an Intel-order file by tag:
// type, count, value field.
std::map<uint16_t, std::array<uint32_t, 3>> Directory(const Bytes& B) {
  std::map<uint16_t, std::array<uint32_t, 3>> D;
  uint32_t IFD = Le(B, 4, 4);
  uint32_t n = Le(B, IFD, 2);
  for (uint32_t i = 0; i < n; ++i) {
    size_t At = IFD + 2 + 12 * i;
    D[static_cast<uint16_t>(Le(B, At, 2))] = {Le(B, At + 2, 2), Le(B, At + 4, 4), Le(B, At + 8, 4)};
  }
  return D;
}

}  // namespace

TEST(TIFFReader, IdentifiesBothByteOrders) {
  TTIFFileFormatReader Reader;
  TPGFileHeader H{};
  std::memcpy(H.data(), "II\x2A\x00", 4);
  EXPECT_TRUE(Reader.Identify(H));
  std::memcpy(H.data(), "MM\x00\x2A", 4);
  EXPECT_TRUE(Reader.Identify(H));
  std::memcpy(H.data(), "MM\x2A\x00", 4);
  EXPECT_FALSE(Reader.Identify(H));
  EXPECT_EQ(ReadError(Bytes{'M', 'M', 0, 43, 0, 0, 0, 8}), "TIFF: Not a TIF file");
  EXPECT_EQ(ReadError(Bytes{'X', 'X', 0, 42, 0, 0, 0, 8}), "TIFF: Not a TIF file");
}

TEST(TIFFReader, BothByteOrdersGiveTheSamePixels) {
  const Bytes Expected = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
  for (bool Motorola : {false, true}) {
    TTIFFileFormatReader Reader;
    Bytes File = RGBPage(Motorola).Build();
    auto G = Read(Reader, File);
    EXPECT_EQ(RGB(*G), Expected) << Motorola;
    TPGGraphicInfo I = Info(Reader, File);
    EXPECT_EQ(I.FormatText, Motorola ? "M, Uncompr., RGB" : "I, Uncompr., RGB");
    EXPECT_EQ(I.BitsPerPixel, 24);
    EXPECT_EQ(I.ColorsText, "16.7 M");
    EXPECT_EQ(I.Width, 3);
    EXPECT_EQ(I.ImageCount, 1);
  }
}

TEST(TIFFReader, CountsPagesOnlyWhenAsked) {
  TOptionsGuard Options;
  auto A = Pattern24(4, 3), B = PatternIndexed(5, 2, pf8Bit, pGray256), C = PatternIndexed(9, 9, pf1Bit, pBlackWhite);
  Bytes File = WritePages({A.get(), B.get(), C.get()});
  TTIFFileFormatReader Reader;
  TIFFCountPages = false;
  EXPECT_EQ(Info(Reader, File).ImageCount, 1);
  EXPECT_EQ(ReadError(File, 1), "TIFF: Index invalid");
  TIFFCountPages = true;
  EXPECT_EQ(Info(Reader, File).ImageCount, 3);
  EXPECT_EQ(Info(Reader, File, 1).Width, 5);
  auto Third = Read(Reader, File, 2);
  EXPECT_EQ(RGB(*Third), RGB(*C));
  auto Second = Read(Reader, File, 1);
  EXPECT_EQ(RGB(*Second), RGB(*B));
  EXPECT_EQ(ReadError(File, 3), "TIFF: Index invalid");
  EXPECT_EQ(ReadError(File, -1), "TIFF: Index invalid");
}

TEST(TIFFReader, BrokenLoopingOrOverlongChainsReadAsOnePage) {
  TOptionsGuard Options;
  TIFFCountPages = true;
  TTIFFileFormatReader Reader;
  auto Loop = RGBPage(false);
  Bytes File = Loop.Build();
  File[Loop.NextIFDField] = 8;  // back to the first directory
  EXPECT_EQ(Info(Reader, File).ImageCount, 1);
  EXPECT_EQ(RGB(*Read(Reader, File)).size(), 18u);

  File[Loop.NextIFDField + 3] = 0x70;  // far past the end
  EXPECT_EQ(Info(Reader, File).ImageCount, 1);

  auto A = Pattern24(2, 2);
  Bytes Three = WritePages({A.get(), A.get(), A.get()});
  TIFFMaxPages = 2;
  EXPECT_EQ(Info(Reader, Three).ImageCount, 1);
  TIFFMaxPages = 3;
  EXPECT_EQ(Info(Reader, Three).ImageCount, 3);
}

TEST(TIFFReader, StripsAndRowsPerStrip) {
  TTIFFileFormatReader Reader;
  // Three rows in two strips of two rows.
  TTIFFBuilder B;
  B.Page(2, 3, {8}, 1, 1, {{1, 2, 3, 4}, {5, 6}}, 2);
  auto G = Read(Reader, B.Build());
  EXPECT_EQ(G->PaletteIdent(), pGray256);
  EXPECT_EQ(G->GetPixel(1, 2), 6u);

  // Without RowsPerStrip one strip holds every row; two strips cannot.
  TTIFFBuilder One;
  One.Page(2, 3, {8}, 1, 1, {{1, 2, 3, 4, 5, 6}}, 0);
  G = Read(Reader, One.Build());
  EXPECT_EQ(G->GetPixel(0, 2), 5u);
  TTIFFBuilder Two;
  Two.Page(2, 3, {8}, 1, 1, {{1, 2, 3, 4}, {5, 6}}, 0);
  EXPECT_EQ(ReadError(Two.Build()), "TIFF: Invalid RowsPerStrip");

  // Too few strips for the rows.
  TTIFFBuilder Few;
  Few.Page(2, 3, {8}, 1, 1, {{1, 2}, {3, 4}}, 1);
  EXPECT_EQ(ReadError(Few.Build()),
            "TIFF: NumStripOffsets<>(ImageLength+RowsPerStrip-1) div RowsPerStrip");
}

TEST(TIFFReader, RowsPerStripOfMinusOneGoesThroughTheWarning) {
  TTIFFBuilder B;
  B.Page(2, 3, {8}, 1, 1, {{1, 2, 3, 4, 5, 6}}, 0xFFFFFFFF);
  const Bytes File = B.Build();
  TTIFFileFormatReader Reader;
  std::vector<std::string> Boxes;
  bool Answer = true;
  TPGWarningBoxHook Old = SetPGWarningBoxHook(
      [&](const std::string& Text, const std::string& Caption, TPGBoxButtons Buttons) {
        Boxes.push_back(Caption + "|" + Text + "|" + (Buttons == pgbOK ? "OK" : "OKCancel"));
        return Answer;
      });
  auto ReadWith = [&](TPGWarningAction Action) {
    TMemoryStream Stream;
    Stream.WriteBuffer(File.data(), static_cast<int64_t>(File.size()));
    Stream.SetPosition(0);
    TPixelGraphic G;
    G.SetReadWarningAction(Action);
    Reader.Read(Stream, G, 0);
    return RGB(G);
  };
  const std::string Text = "TIFF: NumStripOffsets<>(ImageLength+RowsPerStrip-1) div RowsPerStrip";
  EXPECT_EQ(ReadWith(pgwaIgnore)[15], 6);
  EXPECT_TRUE(Boxes.empty());
  EXPECT_EQ(ReadWith(pgwaOKBox)[15], 6);
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0], "TIFF-Warning|" + Text + "|OK");
  EXPECT_EQ(ReadWith(pgwaOKCancelBox)[15], 6);
  Answer = false;
  EXPECT_THROW(ReadWith(pgwaOKCancelBox), EPGTIFFileFormatReader);
  EXPECT_THROW(ReadWith(pgwaRaise), EPGTIFFileFormatReader);
  SetPGWarningBoxHook(Old);

  // Without any strip a negative RowsPerStrip has nothing to read from.
  TTIFFBuilder None;
  None.Page(2, 3, {8}, 1, 1, {}, 0xFFFFFFFF);
  EXPECT_EQ(ReadError(None.Build()), Text);
}

TEST(TIFFReader, OneZeroSideIsRefusedAndZeroByZeroIsTheEmptyImage) {
  TTIFFBuilder B;
  B.Page(4, 0, {8}, 1, 1, {{}}, 0);
  EXPECT_EQ(ReadError(B.Build()), "TIFF: ImageLength invalid");
  TTIFFBuilder W;
  W.Page(0, 4, {8}, 1, 1, {{}}, 0);
  EXPECT_EQ(ReadError(W.Build()), "TIFF: ImageWidth invalid");
  TTIFFBuilder E;
  E.Page(0, 0, {8}, 1, 1, {{}}, 0);
  TTIFFileFormatReader Reader;
  EXPECT_TRUE(Read(Reader, E.Build())->GetEmpty());
}

// Uncompressed strips whose rows are not there for the most part are
// refused before the image is made; cut in their second half they give the
// rows there, then the read error.
TEST(TIFFReader, StripsCutShort) {
  TTIFFBuilder B;
  B.Page(4, 4, {8}, 1, 1, {Bytes(16, 0x40)}, 4);
  Bytes File = B.Build();
  TTIFFileFormatReader Reader;
  TPixelGraphic G;
  TMemoryStream S;
  S.Bytes().assign(File.begin(), File.end() - 7);  // two whole rows and one byte
  EXPECT_THROW(Reader.Read(S, G, 0), EReadError);
  EXPECT_EQ(G.GetHeight(), 4);
  EXPECT_EQ(G.GetPixel(3, 1), 0x40u);
  EXPECT_EQ(G.GetPixel(0, 2), 0u);
  TPixelGraphic Empty;
  S.Bytes().assign(File.begin(), File.end() - 9);  // one whole row
  S.SetPosition(0);
  EXPECT_THROW(Reader.Read(S, Empty, 0), EReadError);
  EXPECT_TRUE(Empty.GetEmpty());
}

TEST(TIFFReader, PhotometricKindsAndFillOrder) {
  TTIFFileFormatReader Reader;
  // WhiteIsZero bilevel: file 0 is white, which is index 1.
  TTIFFBuilder W;
  W.Page(10, 1, {1}, 0, 1, {{0x0F, 0xC0}}, 1);
  auto G = Read(Reader, W.Build());
  EXPECT_EQ(G->PaletteIdent(), pBlackWhite);
  EXPECT_EQ(G->GetPixel(0, 0), 1u);
  EXPECT_EQ(G->GetPixel(4, 0), 0u);
  EXPECT_EQ(G->GetPixel(9, 0), 0u);
  EXPECT_EQ(G->ScanLine(0)[1] & 0x3F, 0);  // padding cleared
  // FillOrder 2 reverses each byte, also uncompressed.
  W.Short(266, {2});
  G = Read(Reader, W.Build());
  EXPECT_EQ(G->GetPixel(0, 0), 0u);
  EXPECT_EQ(G->GetPixel(4, 0), 1u);

  // 4-bit WhiteIsZero greys are inverted.
  TTIFFBuilder Grey;
  Grey.Page(3, 1, {4}, 0, 1, {{0x0F, 0x70}}, 1);
  G = Read(Reader, Grey.Build());
  EXPECT_EQ(G->PaletteIdent(), pGray16);
  EXPECT_EQ(G->GetPixel(0, 0), 15u);
  EXPECT_EQ(G->GetPixel(1, 0), 0u);
  EXPECT_EQ(G->GetPixel(2, 0), 8u);

  // CMYK and RGB with a fourth sample.
  TTIFFBuilder Cmyk;
  Cmyk.Page(2, 1, {8, 8, 8, 8}, 5, 1, {{0, 255, 100, 50, 200, 0, 0, 100}}, 1);
  G = Read(Reader, Cmyk.Build());
  EXPECT_EQ(G->GetPixelColor(0, 0), TColor(205 | 0 << 8 | 105 << 16));
  EXPECT_EQ(G->GetPixelColor(1, 0), TColor(0 | 155 << 8 | 155 << 16));
  TTIFFBuilder Rgba;
  Rgba.Page(1, 1, {8, 8, 8, 8}, 2, 1, {{9, 8, 7, 0}}, 1);
  G = Read(Reader, Rgba.Build());
  EXPECT_EQ(G->GetPixelColor(0, 0), TColor(9 | 8 << 8 | 7 << 16));

  // Combinations outside the table.
  TTIFFBuilder Bad;
  Bad.Page(1, 1, {8, 8, 8}, 1, 1, {{1, 2, 3}}, 1);
  EXPECT_EQ(ReadError(Bad.Build()), "TIFF: Invalid SamplesPerPixel");
  TTIFFBuilder Count;
  Count.Page(1, 1, {8, 8}, 2, 1, {{1, 2, 3}}, 1).Short(277, {3});
  EXPECT_EQ(ReadError(Count.Build()), "TIFF: Invalid count of SamplesPerPixel");
  TTIFFBuilder Planar;
  Planar.Page(1, 1, {8, 8, 8}, 2, 1, {{1, 2, 3}}, 1).Short(284, {2});
  EXPECT_EQ(ReadError(Planar.Build()), "TIFF: PlanarConfiguration invalid");
}

TEST(TIFFReader, ColourMapsTakeAtMostTheFormatsEntries) {
  TTIFFileFormatReader Reader;
  std::vector<uint32_t> Map;
  const int n = 300;  // longer than 256 entries per channel
  for (int c = 0; c < 3; ++c)
    for (int i = 0; i < n; ++i) Map.push_back(static_cast<uint32_t>(((i + 50 * c) & 0xFF) * 256));
  TTIFFBuilder B;
  B.Page(2, 1, {8}, 3, 1, {{0, 255}}, 1).Short(320, Map);
  auto G = Read(Reader, B.Build());
  ASSERT_EQ(G->PaletteCount(), 256);
  EXPECT_EQ(G->GetPixelColor(1, 0), TColor(255 | ((255 + 50) & 0xFF) << 8 | ((255 + 100) & 0xFF) << 16));

  TTIFFBuilder Four;
  Four.Page(2, 1, {4}, 3, 1, {{0x0F}}, 1).Short(320, Map);
  G = Read(Reader, Four.Build());
  ASSERT_EQ(G->PaletteCount(), 16);
  EXPECT_EQ(G->GetPixelColor(1, 0), TColor(15 | 65 << 8 | 115 << 16));
}

TEST(TIFFReader, ArraysPastTheEndOfTheStreamAreRefused) {
  TTIFFBuilder B;
  B.Page(2, 1, {8}, 1, 1, {{1, 2}}, 1);
  B.Entries.push_back({320, 3, {1, 2, 3}, {}, 0x40000000});  // a count far beyond the file
  EXPECT_EQ(ReadError(B.Build()), "TIFF: Unexpected end of file");
  TTIFFBuilder T;
  T.Page(2, 1, {8}, 1, 1, {{1, 2}}, 1);
  T.Entries.push_back({258, 7, {8}, {}, 0});  // the last of two entries wins
  EXPECT_EQ(ReadError(T.Build()), "TIFF: Unsupported field Type: 7");
  TTIFFBuilder R;
  R.Page(2, 1, {8}, 1, 1, {{1, 2}}, 1).Long(282, {72});
  EXPECT_EQ(ReadError(R.Build()), "TIFF: Unable to read tag: 282");
}

TEST(TIFFReader, StripsEndingAtTheEndOfTheStreamFailCleanly) {
  // A PackBits strip that stops one row early, right at the end of the file.
  TTIFFBuilder B;
  B.Page(2, 2, {8}, 1, 32773, {{0x01, 7, 8}}, 2);
  EXPECT_EQ(ReadError(B.Build()), "TIFF: Unexpected end of file");
  TTIFFBuilder M;
  M.Page(16, 2, {1}, 0, 2, {{0x00}}, 2);
  EXPECT_EQ(ReadError(M.Build()), "TIFF: Unexpected end of file");
}

TEST(TIFFReader, ResolutionInInchesAndCentimetres) {
  TTIFFileFormatReader Reader;
  TTIFFBuilder B = RGBPage(false);
  B.Rational(282, 72, 1).Rational(283, 300, 2).Short(296, {2});
  auto G = Read(Reader, B.Build());
  EXPECT_EQ(G->XResolution(), 2835);  // 72 dpi
  EXPECT_EQ(G->YResolution(), 5906);
  TTIFFBuilder C = RGBPage(false);
  C.Rational(282, 40, 1).Rational(283, 40, 1).Short(296, {3});
  G = Read(Reader, C.Build());
  EXPECT_EQ(G->XResolution(), 4000);
  TTIFFBuilder N = RGBPage(false);
  N.Rational(282, 40, 1).Rational(283, 40, 1).Short(296, {1});
  G = Read(Reader, N.Build());
  EXPECT_EQ(G->XResolution(), 0);
}

TEST(TIFFReader, UnsupportedCompressionsAreNamed) {
  TTIFFileFormatReader Reader;
  TTIFFBuilder B;
  B.Page(2, 1, {8, 8, 8}, 2, 5, {{1, 2, 3, 4, 5, 6}}, 1);
  const Bytes File = B.Build();
  TPGGraphicInfo I = Info(Reader, File);
  EXPECT_EQ(I.FormatText, "I, LZW, RGB");
  EXPECT_EQ(I.ExtraText, "(Unsupported compression)");
  EXPECT_EQ(ReadError(File), "TIFF: Unsupported compression LZW");
  TTIFFBuilder G4;
  G4.Page(2, 1, {1}, 0, 4, {{1}}, 1);
  EXPECT_EQ(ReadError(G4.Build()), "TIFF: Unsupported compression Group 4 Fax");
  TTIFFBuilder Odd;
  Odd.Page(2, 1, {1}, 0, 7, {{1}}, 1);
  EXPECT_EQ(ReadError(Odd.Build()), "TIFF: Unsupported compression 7");
}

TEST(TIFFReader, TextDateAndPageNumberBecomeChunks) {
  TOptionsGuard Options;
  PGReadChunks = true;
  TTIFFileFormatReader Reader;
  TTIFFBuilder B = RGBPage(false);
  B.Ascii(306, std::string("2001:02:03 04:05:06", 20)).Ascii(270, "one\r\ntwo\n\rthree\rfour");
  B.Ascii(271, "Mk").Short(297, {2, 5});
  auto G = Read(Reader, B.Build());
  auto* Date = dynamic_cast<TDateTimeChunk*>(G->FindChunk("TIFF DateTime", ckDateTime));
  ASSERT_NE(Date, nullptr);
  EXPECT_DOUBLE_EQ(Date->Value(), 36925 + (4 * 3600 + 5 * 60 + 6) / 86400.0);  // 3 February 2001
  auto* Text = dynamic_cast<TTextChunk*>(G->FindChunk("TIFF ImageDescription", ckText));
  ASSERT_NE(Text, nullptr);
  EXPECT_EQ(Text->GetStrings(), (std::vector<std::string>{"one", "two", "three", "four"}));
  auto* Make = dynamic_cast<TTextChunk*>(G->FindChunk("TIFF Make", ckText));
  ASSERT_NE(Make, nullptr);
  EXPECT_EQ(Make->GetStrings(), (std::vector<std::string>{"Mk"}));
  auto* Number = dynamic_cast<TIntegerChunk*>(G->FindChunk("TIFF PageNumber", ckInteger));
  auto* Count = dynamic_cast<TIntegerChunk*>(G->FindChunk("TIFF PageCount", ckInteger));
  ASSERT_TRUE(Number && Count);
  EXPECT_EQ(Number->Value(), 2);
  EXPECT_EQ(Count->Value(), 5);

  // Written again with chunks on, the page number survives.
  PGWriteChunks = true;
  TTIFFileFormatWriter Writer;
  Bytes Again = Write(Writer, *G);
  auto D = Directory(Again);
  ASSERT_TRUE(D.count(297));
  EXPECT_EQ(D[297][2], 2u | 5u << 16);
  auto Back = Read(Reader, Again);
  EXPECT_EQ(dynamic_cast<TIntegerChunk*>(Back->FindChunk("TIFF PageCount", ckInteger))->Value(), 5);

  // A date that does not exist, or of the wrong length, gives no chunk but
  // leaves the picture readable; PageNumber (0, 0) gives only the number.
  TTIFFBuilder Odd = RGBPage(false);
  Odd.Ascii(306, std::string("2001:02:31 04:05:06", 20)).Short(297, {0, 0});
  G = Read(Reader, Odd.Build());
  EXPECT_EQ(G->FindChunk("TIFF DateTime", 0), nullptr);
  EXPECT_EQ(RGB(*G).size(), 18u);
  EXPECT_NE(G->FindChunk("TIFF PageNumber", ckInteger), nullptr);
  EXPECT_EQ(G->FindChunk("TIFF PageCount", 0), nullptr);
  TTIFFBuilder Long = RGBPage(false);
  Long.Ascii(306, "2001:02:03 04:05:06Z");
  EXPECT_EQ(Read(Reader, Long.Build())->FindChunk("TIFF DateTime", 0), nullptr);

  // Previews and the default options read no chunks.
  PGReadChunks = false;
  EXPECT_EQ(Read(Reader, B.Build())->GetChunkCount(), 0);
}

TEST(TIFFWriter, ExactLayoutOfA10By10TrueColourPage) {
  TOptionsGuard Options;
  auto G = Pattern24(10, 10);
  TTIFFileFormatWriter Writer;
  Bytes F = Write(Writer, *G);
  ASSERT_GE(F.size(), 8u);
  EXPECT_EQ(F[0], 'I');
  EXPECT_EQ(F[1], 'I');
  EXPECT_EQ(Le(F, 2, 2), 42u);
  EXPECT_EQ(Le(F, 4, 4), 8u);
  EXPECT_EQ(Le(F, 8, 2), 14u);
  auto D = Directory(F);
  std::vector<uint16_t> Tags;
  for (auto& [Tag, E] : D) Tags.push_back(Tag);
  EXPECT_EQ(Tags, (std::vector<uint16_t>{254, 256, 257, 258, 259, 262, 266, 273, 277, 278, 279, 282, 283, 296}));
  EXPECT_EQ(D[256][2], 10u);
  EXPECT_EQ(D[258][1], 3u);
  EXPECT_EQ(D[259][2], 1u);
  EXPECT_EQ(D[262][2], 2u);
  EXPECT_EQ(D[278][2], 10u);
  EXPECT_EQ(D[273][1], 1u);
  EXPECT_EQ(D[279][2], 300u);
  EXPECT_EQ(D[296][2], 2u);
  const size_t IFDEnd = 8 + 2 + 14 * 12;
  EXPECT_EQ(Le(F, IFDEnd, 4), 0u);  // no next page
  EXPECT_EQ(D[258][2], IFDEnd + 4);  // 8, 8, 8 right after the directory
  EXPECT_EQ(Le(F, D[258][2] + 4, 2), 8u);
  EXPECT_EQ(D[282][2], IFDEnd + 4 + 6);
  EXPECT_EQ(Le(F, D[282][2], 4), 3u);  // 10 cm across: 100 px/m, Round(2.54) dpi
  EXPECT_EQ(D[273][2], IFDEnd + 4 + 6 + 16);  // even already
  EXPECT_EQ(F.size(), D[273][2] + 300u);
  EXPECT_EQ(F[D[273][2]], G->GetPixelColor(0, 0) & 0xFF);  // red first

  TTIFFileFormatReader Reader;
  EXPECT_EQ(RGB(*Read(Reader, F)), RGB(*G));
}

TEST(TIFFWriter, EveryFormatAndCodingReadsBack) {
  TOptionsGuard Options;
  std::vector<std::unique_ptr<TPixelGraphic>> Images;
  Images.push_back(PatternIndexed(37, 5, pf1Bit, pBlackWhite));
  Images.push_back(PatternIndexed(13, 4, pf4Bit, pGray16));
  Images.push_back(PatternIndexed(13, 4, pf4Bit, pSys16));
  Images.push_back(PatternIndexed(9, 7, pf8Bit, pGray256));
  Images.push_back(PatternIndexed(9, 7, pf8Bit, pUnknown));
  Images.push_back(Pattern24(11, 6));
  TTIFFileFormatWriter Writer;
  TTIFFileFormatReader Reader;
  for (int32_t Compression : {1, 32773}) {
    for (bool Motorola : {false, true}) {
      for (bool WhiteIsZero : {false, true}) {
        TIFFCompression = Compression;
        TIFFMotorolaOrder = Motorola;
        TIFFWhiteIsZero = WhiteIsZero;
        for (auto& G : Images) {
          auto Back = Read(Reader, Write(Writer, *G));
          EXPECT_EQ(RGB(*Back), RGB(*G)) << Compression << Motorola << WhiteIsZero << int(G->PixelFormat());
          if (G->PaletteIdent() == pGray16) {
            EXPECT_EQ(Back->PaletteIdent(), pGray16);
          }
        }
      }
    }
  }
  TIFFCompression = 1;
  TIFFWriteCMYK = true;
  auto Back = Read(Reader, Write(Writer, *Images[5]));
  EXPECT_EQ(RGB(*Back), RGB(*Images[5]));
  TIFFWriteCMYK = false;
  TIFFCompression = 2;
  Back = Read(Reader, Write(Writer, *Images[0]));
  EXPECT_EQ(RGB(*Back), RGB(*Images[0]));
}

TEST(TIFFWriter, GreyWhiteIsZeroPagesStoreInvertedIndexes) {
  TOptionsGuard Options;
  TIFFWhiteIsZero = true;
  auto G = PatternIndexed(4, 1, pf4Bit, pGray16);
  TTIFFileFormatWriter Writer;
  Bytes F = Write(Writer, *G);
  auto D = Directory(F);
  EXPECT_EQ(D[262][2], 0u);
  EXPECT_EQ(F[D[273][2]], static_cast<uint8_t>((15 - G->GetPixel(0, 0)) << 4 | (15 - G->GetPixel(1, 0))));
}

TEST(TIFFWriter, ModifiedHuffmanIsForBlackAndWhiteOnly) {
  TOptionsGuard Options;
  TTIFFileFormatWriter Writer;
  TIFFCompression = 2;
  EXPECT_EQ(Writer.GetCanWriteResolutions(), 0x01);
  EXPECT_EQ(Writer.GetSubFormat(), "CCITT 1D");
  TIFFCompression = 32773;
  EXPECT_EQ(Writer.GetCanWriteResolutions(), 0xFD);
  EXPECT_EQ(Writer.GetSubFormat(), "");
  TIFFCompression = 3;
  auto G = Pattern24(2, 2);
  try {
    Write(Writer, *G);
    FAIL();
  } catch (const EPGTIFFileFormatWriter& E) {
    EXPECT_STREQ(E.what(), "TIFF: Internal Error");
  }
}

TEST(TIFFWriter, ResolutionRationals) {
  TOptionsGuard Options;
  TTIFFileFormatWriter Writer;
  auto G = Pattern24(400, 200);
  auto D = Directory(Write(Writer, *G));
  Bytes F = Write(Writer, *G);
  EXPECT_EQ(Le(F, D[282][2], 4), 102u);
  EXPECT_EQ(Le(F, D[282][2] + 4, 4), 1u);
  EXPECT_EQ(Le(F, D[283][2], 4), 102u);
  TIFFResolutionUnitCm = true;
  G->SetXResolution(3937);
  G->SetYResolution(4000);
  F = Write(Writer, *G);
  D = Directory(F);
  EXPECT_EQ(D[296][2], 3u);
  EXPECT_EQ(Le(F, D[282][2], 4), 3937u);
  EXPECT_EQ(Le(F, D[282][2] + 4, 4), 100u);
  EXPECT_EQ(Le(F, D[283][2], 4), 40u);
  EXPECT_EQ(Le(F, D[283][2] + 4, 4), 1u);
}

TEST(TIFFWriter, PagesAreChainedAndLargeImagesSplitIntoStrips) {
  TOptionsGuard Options;
  auto A = Pattern24(300, 100);  // 900-byte rows: 36 rows per strip
  auto B = PatternIndexed(3, 3, pf8Bit, pUnknown);
  Bytes F = WritePages({A.get(), B.get()});
  auto D = Directory(F);
  EXPECT_EQ(D[278][2], 36u);
  EXPECT_EQ(D[273][1], 3u);
  uint32_t Offsets = D[273][2], Counts = D[279][2];
  for (int s = 0; s < 3; ++s) {
    EXPECT_EQ(Le(F, Offsets + 4 * s, 4) % 2, 0u);
    EXPECT_EQ(Le(F, Counts + 4 * s, 4), s < 2 ? 36u * 900 : 28u * 900);
  }
  // The second directory starts right after the first page's last strip.
  uint32_t Next = Le(F, 8 + 2 + 12 * 14, 4);
  EXPECT_EQ(Next, Le(F, Offsets + 8, 4) + Le(F, Counts + 8, 4));
  TOptionsGuard Inner;
  TIFFCountPages = true;
  TTIFFileFormatReader Reader;
  EXPECT_EQ(RGB(*Read(Reader, F, 0)), RGB(*A));
  EXPECT_EQ(RGB(*Read(Reader, F, 1)), RGB(*B));
}

TEST(TIFFWriter, EmptyImagesAreRefused) {
  TTIFFileFormatWriter Writer;
  TPixelGraphic Empty;
  try {
    Write(Writer, Empty);
    FAIL();
  } catch (const EPGTIFFileFormatWriter& E) {
    EXPECT_STREQ(E.what(), "TIFF: Width = 0 or Height = 0");
  }
}

TEST(TIFFWriter, RegistryWritesThroughAFreshInstance) {
  TTIFFileFormatWriter Writer;
  auto Fresh = Writer.CreatePerCallInstance();
  ASSERT_NE(Fresh, nullptr);
  EXPECT_NE(Fresh.get(), &Writer);
  EXPECT_EQ(Fresh->Extension(), "tif");
  EXPECT_TRUE(Fresh->MultiPage());
  TTIFFFileFormatWriter Alias;
  EXPECT_EQ(Alias.CreatePerCallInstance()->Extension(), "tiff");
  EXPECT_FALSE(Alias.Listed());
}
