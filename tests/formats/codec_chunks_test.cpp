// Metadata chunks through the JPEG and PNG codecs: COM and APPn markers, tIME
// and text entries, read and written.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec_test_util.h"
#include "imaging/core/chunks.h"
#include "imaging/core/exceptions.h"
#include "imaging/core/options.h"
#include "imaging/formats/codec_glue.h"
#include "imaging/formats/jpeg_format.h"
#include "imaging/formats/png_format.h"

namespace {

class CodecChunks : public ::testing::Test {
protected:
  void SetUp() override { InitPGOptions(); }
  void TearDown() override { InitPGOptions(); }

  void Read(TFileFormatReader& Reader, const TBytes& File, TPixelGraphic& G) {
    TMemoryStream s = StreamOf(File);
    Reader.Read(s, G, 0);
  }
  TBytes Write(TFileFormatWriter& Writer, TPixelGraphic& G) {
    TMemoryStream s;
    Writer.Write(s, G);
    return BytesOf(s);
  }
  template <class T>
  T* Find(TPixelGraphic& G, const std::string& Keyword) {
    return dynamic_cast<T*>(G.FindChunk(Keyword, 0));
  }

  TJPGFileFormatReader JPGReader;
  TJPGFileFormatWriter JPGWriter;
  TPNGFileFormatReader PNGReader;
  TPNGFileFormatWriter PNGWriter;
};

TEST_F(CodecChunks, JPEGCommentsAndApplicationMarkersRoundTrip) {
  TJPEGMaker m;
  const std::string first = "abc\r\n";
  const std::string second = std::string("one\ntwo\0ignored", 15);
  m.Markers = {{0xFE, TBytes(first.begin(), first.end())},
               {0xFE, TBytes(second.begin(), second.end())},
               {0xE1, TBytes{1, 2, 3}},
               {0xEE, TBytes{9, 9}},  // APP14 is the library's own
               {0xEF, TBytes{}}};
  TPixelGraphic plain;
  Read(JPGReader, MakeJPEG(m), plain);  // the option is off
  EXPECT_EQ(plain.GetChunkCount(), 0);

  PGReadChunks = true;
  TPixelGraphic preview;
  preview.SetPreviewRead(true);
  Read(JPGReader, MakeJPEG(m), preview);
  EXPECT_EQ(preview.GetChunkCount(), 0);

  TPixelGraphic g;
  Read(JPGReader, MakeJPEG(m), g);
  ASSERT_EQ(g.GetChunkCount(), 4);
  auto* c0 = Find<TTextChunk>(g, "JFIF COM");
  auto* c1 = Find<TTextChunk>(g, "JFIF COM 1");
  auto* app1 = Find<TBinaryChunk>(g, "JFIF APP1");
  auto* appF = Find<TBinaryChunk>(g, "JFIF APPF");
  ASSERT_TRUE(c0 && c1 && app1 && appF);
  EXPECT_EQ(c0->GetStrings(), (std::vector<std::string>{"abc", ""}));
  EXPECT_EQ(c1->GetStrings(), (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(TBytes(app1->Data(), app1->Data() + app1->Size()), (TBytes{1, 2, 3}));
  EXPECT_EQ(appF->Size(), 0u);

  PGWriteChunks = true;
  std::vector<std::pair<int, TBytes>> ours;
  for (auto& mk : JPEGMarkers(Write(JPGWriter, g)))
    if (mk.first == 0xFE || (mk.first >= 0xE1 && mk.first <= 0xEF)) ours.push_back(mk);
  const std::string com0("abc\r\n\r\n\0", 8), com1("one\r\ntwo\r\n\0", 11);
  ASSERT_EQ(ours.size(), 4u);
  EXPECT_EQ(ours[0], std::make_pair(0xFE, TBytes(com0.begin(), com0.end())));
  EXPECT_EQ(ours[1], std::make_pair(0xFE, TBytes(com1.begin(), com1.end())));
  EXPECT_EQ(ours[2], std::make_pair(0xE1, TBytes{1, 2, 3}));
  EXPECT_EQ(ours[3], std::make_pair(0xEF, TBytes{}));
}

TEST_F(CodecChunks, JPEGBogusMarkerLengthGivesAnEmptyComment) {
  PGReadChunks = true;
  TBytes file = MakeJPEG(TJPEGMaker{});
  for (uint8_t length : {0, 1}) {
    TBytes bad(file.begin(), file.begin() + 2);
    for (uint8_t b : {uint8_t(0xFF), uint8_t(0xFE), uint8_t(0x00), length}) bad.push_back(b);
    bad.insert(bad.end(), file.begin() + 2, file.end());
    TPixelGraphic g;
    ASSERT_NO_THROW(Read(JPGReader, bad, g)) << int(length);
    auto* c = Find<TTextChunk>(g, "JFIF COM");
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(c->GetStrings().empty());
  }
}

TEST_F(CodecChunks, ThousandsOfMarkersKeepAThousandChunks) {
  PGReadChunks = true;
  TJPEGMaker m;
  for (int i = 0; i < 1500; ++i) m.Markers.push_back({0xFE, TBytes{'a'}});
  TPixelGraphic g;
  auto existing = std::make_unique<TTextChunk>("jfif com 2");  // taken before the read
  g.AddChunk(std::move(existing));
  Read(JPGReader, MakeJPEG(m), g);
  ASSERT_EQ(g.GetChunkCount(), 1001);
  EXPECT_EQ(g.GetChunk(1)->GetKeyword(), "JFIF COM");
  EXPECT_EQ(g.GetChunk(2)->GetKeyword(), "JFIF COM 1");
  EXPECT_EQ(g.GetChunk(3)->GetKeyword(), "JFIF COM 3");
  EXPECT_EQ(g.GetChunk(1000)->GetKeyword(), "JFIF COM 1000");
}

TEST_F(CodecChunks, JPEGOversizedMarkersAreRefused) {
  PGWriteChunks = true;
  TPixelGraphic g;
  g.NewImage(4, 4, pf24Bit);
  auto text = std::make_unique<TTextChunk>("JFIF COM");
  text->GetStrings().push_back(std::string(65530, 'x'));  // + CR LF + 0 = 65533: fits
  TTextChunk* com = text.get();
  g.AddChunk(std::move(text));
  EXPECT_NO_THROW(Write(JPGWriter, g));
  com->GetStrings()[0].append(2, 'x');
  try {
    Write(JPGWriter, g);
    FAIL();
  } catch (const EPGJPGFileFormatReaderWriter& e) {
    EXPECT_EQ(e.Message(), "JPG: COM field > 0x0000FFFE");
  }
  g.DeleteChunk("JFIF COM");
  auto app = std::make_unique<TBinaryChunk>("JFIF APP2");
  app->SetSize(65535);
  g.AddChunk(std::move(app));
  try {
    Write(JPGWriter, g);
    FAIL();
  } catch (const EPGJPGFileFormatReaderWriter& e) {
    EXPECT_EQ(e.Message(), "JPG: APPn field > 0x0000FFFE");
  }
}

TEST_F(CodecChunks, PNGTimeAndTextBothWays) {
  PGReadChunks = true;
  TPNGMaker m;
  m.Sample = [](int32_t X, int32_t, int32_t) { return uint32_t(X); };
  m.Time = true;
  m.Texts = {{"Title", "a\nb"}, {"Title", "again"}, {"Comment", "x\r\ny\r\n"}, {"caf\xE9", "z"}};
  TPixelGraphic g;
  Read(PNGReader, MakePNG(m), g);
  auto* time = Find<TDateTimeChunk>(g, "PNG TIME");
  ASSERT_NE(time, nullptr);
  double expected = 0;
  ASSERT_TRUE(EncodeDateTimeValue(2020, 5, 17, 8, 9, 10, expected));
  EXPECT_DOUBLE_EQ(time->Value(), expected);
  auto* title = Find<TTextChunk>(g, "PNG TEXT Title");
  auto* again = Find<TTextChunk>(g, "PNG TEXT Title 1");
  auto* comment = Find<TTextChunk>(g, "PNG TEXT Comment");
  ASSERT_TRUE(title && again && comment);
  EXPECT_EQ(title->GetStrings(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(again->GetStrings(), (std::vector<std::string>{"again"}));
  EXPECT_EQ(comment->GetStrings(), (std::vector<std::string>{"x", "y", ""}));
  // Keys are ISO 8859-1 in the file and UTF-8 in the keyword.
  ASSERT_NE(Find<TTextChunk>(g, "PNG TEXT caf\u00E9"), nullptr);

  // Written back: tIME and one tEXt per text chunk, each line ended by LF.
  PGWriteChunks = true;
  g.DeleteChunk("PNG TEXT Title 1");
  g.DeleteChunk("PNG TEXT Comment");
  const TBytes file = Write(PNGWriter, g);
  const auto types = PNGChunkTypes(file);
  EXPECT_EQ(std::count(types.begin(), types.end(), "tIME"), 1);
  EXPECT_EQ(std::count(types.begin(), types.end(), "tEXt"), 2);
  const TBytes key = {'t', 'E', 'X', 't', 'c', 'a', 'f', 0xE9, 0, 'z'};
  EXPECT_NE(std::search(file.begin(), file.end(), key.begin(), key.end()), file.end());
  TPixelGraphic back;
  Read(PNGReader, file, back);
  ASSERT_NE(Find<TTextChunk>(back, "PNG TEXT Title"), nullptr);
  EXPECT_EQ(Find<TTextChunk>(back, "PNG TEXT Title")->GetStrings(), (std::vector<std::string>{"a", "b"}));
  ASSERT_NE(Find<TDateTimeChunk>(back, "PNG TIME"), nullptr);
  EXPECT_DOUBLE_EQ(Find<TDateTimeChunk>(back, "PNG TIME")->Value(), expected);

  // Without the option nothing is read or written.
  PGReadChunks = false;
  TPixelGraphic none;
  Read(PNGReader, file, none);
  EXPECT_EQ(none.GetChunkCount(), 0);
  PGWriteChunks = false;
  const auto bare = PNGChunkTypes(Write(PNGWriter, g));
  EXPECT_EQ(std::count(bare.begin(), bare.end(), "tEXt"), 0);
  EXPECT_EQ(std::count(bare.begin(), bare.end(), "tIME"), 0);
}

TEST_F(CodecChunks, PNGImpossibleDateIsSkipped) {
  PGReadChunks = true;
  TPNGMaker m;
  m.Sample = [](int32_t, int32_t, int32_t) { return 7u; };
  const TBytes feb31 = InsertPNGChunk(MakePNG(m), "tIME", TBytes{0x07, 0xE4, 2, 31, 10, 0, 0}, "IDAT");
  TPixelGraphic g;
  g.SetReadWarningAction(pgwaRaise);
  ASSERT_NO_THROW(Read(PNGReader, feb31, g));
  EXPECT_EQ(g.FindChunk("PNG TIME", 0), nullptr);
  EXPECT_EQ(g.GetPixel(3, 2), 0x070707u);
}

}  // namespace
