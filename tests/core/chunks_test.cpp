// Metadata chunks: keywords, stream forms and the image's chunk list.
#include <gtest/gtest.h>

#include "imaging/core/chunks.h"
#include "imaging/core/exceptions.h"
#include "imaging/core/pixel_graphic.h"
#include "platform/base/stream.h"

namespace {

std::vector<uint8_t> Saved(TChunk& C) {
  TMemoryStream m;
  C.SaveToStream(m);
  return m.Bytes();
}

template <class T>
void LoadBytes(T& C, const std::vector<uint8_t>& Bytes) {
  TMemoryStream m;
  m.Bytes() = Bytes;
  C.LoadFromStream(m);
}

std::string ErrorOf(const std::string& Keyword) {
  try {
    TStringChunk c(Keyword);
  } catch (const EPixelGraphic& e) {
    return e.Message();
  }
  return "";
}

}  // namespace

TEST(Chunks, KeywordsAreTrimmedAndChecked) {
  EXPECT_EQ(TStringChunk("  JFIF COM  ").GetKeyword(), "JFIF COM");
  EXPECT_EQ(TStringChunk("\tPNG TIME\t").GetKeyword(), "PNG TIME");
  EXPECT_EQ(ErrorOf("   "), "Invalid Chunk Keyword (length=0)");
  EXPECT_EQ(ErrorOf("A\tB"), "Invalid Chunk Keyword (character #9)");
  EXPECT_EQ(ErrorOf(std::string("A") + char(160)), "Invalid Chunk Keyword (character #160)");
  EXPECT_EQ(TStringChunk(std::string("A") + char(161)).GetKeyword().size(), 2u);
  // Characters are judged by their Windows-1252 codes, whatever their UTF-8 bytes.
  EXPECT_EQ(ErrorOf("\u20AC"), "Invalid Chunk Keyword (character #128)");
  EXPECT_EQ(ErrorOf("\u0152"), "Invalid Chunk Keyword (character #140)");
  EXPECT_EQ(TStringChunk("caf\u00E9").GetKeyword(), "caf\u00E9");
  EXPECT_EQ(TStringChunk("\u00A1").GetKeyword(), "\u00A1");
  EXPECT_EQ(ErrorOf("\u0100"), "Invalid Chunk Keyword (character #256)");  // not in the code page
  EXPECT_EQ(TStringChunk(std::string("caf") + char(0xE9)).GetKeyword().size(), 4u);  // a code-page byte as it stands
  EXPECT_EQ(TTextChunk("x").GetKind(), ckText);
  EXPECT_EQ(TBinaryChunk("x").GetKind(), ckBinary);
}

TEST(Chunks, StreamForms) {
  TStringChunk s("k");
  s.SetValue("ab");
  EXPECT_EQ(Saved(s), (std::vector<uint8_t>{2, 0, 0, 0, 'a', 'b'}));
  LoadBytes(s, {4, 0, 0, 0, 'x', 0, 'y', 'z'});
  EXPECT_EQ(s.Value(), "x");  // stops at the zero byte
  TBinaryChunk b("k");
  EXPECT_EQ(Saved(b), (std::vector<uint8_t>{0, 0, 0, 0}));
  TTextChunk t("k");
  t.GetStrings() = {"one", ""};
  TTextChunk t2("k");
  t2.GetStrings() = {"old"};
  LoadBytes(t2, Saved(t));
  EXPECT_EQ(t2.GetStrings(), (std::vector<std::string>{"one", ""}));
  TIntegerChunk i("k");
  i.SetValue(-2);
  EXPECT_EQ(Saved(i), (std::vector<uint8_t>{0xFE, 0xFF, 0xFF, 0xFF}));
  TFloatChunk f("k");
  f.SetValue(1.0L);
  std::vector<uint8_t> fb = Saved(f);
  EXPECT_EQ(fb, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}));  // 80-bit 1.0
  TFloatChunk f2("k");
  LoadBytes(f2, fb);
  EXPECT_EQ(f2.Value(), 1.0L);
  TDateTimeChunk d("k");
  d.SetValue(36526.5);
  TDateTimeChunk d2("k");
  LoadBytes(d2, Saved(d));
  EXPECT_EQ(d2.Value(), 36526.5);
}

// A length past the end of the stream raises the read error, and the chunk
// keeps what was there (never more than the stream holds).
TEST(Chunks, ShortStreamsKeepWhatWasRead) {
  TStringChunk s("k");
  EXPECT_THROW(LoadBytes(s, {0xFF, 0xFF, 0xFF, 0xFF, 'a', 'b'}), EReadError);
  EXPECT_EQ(s.Value(), "ab");
  TBinaryChunk b("k");
  EXPECT_THROW(LoadBytes(b, {0xF0, 0xFF, 0xFF, 0xFF, 7}), EReadError);
  ASSERT_EQ(b.Size(), 1u);
  EXPECT_EQ(b.Data()[0], 7);
  TTextChunk t("k");
  EXPECT_THROW(LoadBytes(t, {0xFF, 0xFF, 0xFF, 0x7F, 1, 0, 0, 0, 'x', 3, 0, 0, 0, 'y', 'z'}), EReadError);
  EXPECT_EQ(t.GetStrings(), (std::vector<std::string>{"x", "yz"}));
  TIntegerChunk i("k");
  i.SetValue(0x11223344);
  EXPECT_THROW(LoadBytes(i, {0xAA, 0xBB}), EReadError);
  EXPECT_EQ(i.Value(), 0x1122BBAA);
}

TEST(Chunks, ImageListReplacesFindsAndNumbers) {
  TPixelGraphic g;
  EXPECT_EQ(g.GetChunkCount(), 0);
  auto* text = new TTextChunk("png text title");
  g.AddChunk(text);
  g.AddChunk(new TStringChunk("PNG TEXT Title"));  // replaces the text chunk
  ASSERT_EQ(g.GetChunkCount(), 1);
  EXPECT_EQ(g.GetChunk(0)->GetKind(), ckString);
  g.AddChunk(new TStringChunk("JFIF COM"));
  EXPECT_EQ(g.FindChunk(" jfif com ", 0), g.GetChunk(1));
  EXPECT_EQ(g.FindChunk("jfif com", ckText), nullptr);
  g.AddChunk(new TStringChunk("JFIF COM 1"));
  std::string k;
  MakeUniqueChunkKeyword(&g, "JFIF COM", k);
  EXPECT_EQ(k, "JFIF COM 2");
  MakeUniqueChunkKeyword(&g, "NEW", k);
  EXPECT_EQ(k, "NEW");
  EXPECT_THROW(g.GetChunk(9), EPixelGraphic);
  g.DeleteChunk("JFIF COM");
  EXPECT_EQ(g.GetChunkCount(), 2);
  g.DeleteChunk("absent");
  EXPECT_EQ(g.GetChunkCount(), 2);
}

TEST(Chunks, AddingAHeldChunkAgainAndCopyingFromItselfChangeNothing) {
  TPixelGraphic g;
  auto* s = new TStringChunk("K");
  s->SetValue("v");
  g.AddChunk(s);
  g.AddChunk(s);
  ASSERT_EQ(g.GetChunkCount(), 1);
  EXPECT_EQ(static_cast<TStringChunk*>(g.GetChunk(0))->Value(), "v");
  g.CopyChunksFrom(&g);
  ASSERT_EQ(g.GetChunkCount(), 1);
  EXPECT_EQ(static_cast<TStringChunk*>(g.GetChunk(0))->Value(), "v");
}

TEST(Chunks, CopiesTravelWithAssign) {
  TPixelGraphic a;
  a.NewImage(2, 2, pf8Bit);
  auto* bin = new TBinaryChunk("JFIF APP1");
  bin->SetSize(3);
  bin->Data()[2] = 7;
  a.AddChunk(bin);
  auto* i = new TIntegerChunk("TIFF Orientation");
  i->SetValue(6);
  a.AddChunk(i);
  TPixelGraphic b;
  b.AddChunk(new TStringChunk("stale"));
  b.Assign(&a);
  ASSERT_EQ(b.GetChunkCount(), 2);
  auto* bb = static_cast<TBinaryChunk*>(b.GetChunk(0));
  EXPECT_NE(bb, bin);
  EXPECT_EQ(bb->Size(), 3u);
  EXPECT_EQ(bb->Data()[2], 7);
  EXPECT_EQ(static_cast<TIntegerChunk*>(b.FindChunk("tiff orientation", ckInteger))->Value(), 6);
  // Assign between chunks of different classes copies nothing.
  TStringChunk s("x");
  s.SetValue("keep");
  s.Assign(i);
  EXPECT_EQ(s.Value(), "keep");
}
