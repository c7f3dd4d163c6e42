// The decoder on hand-built files: versions, colour tables, extensions,
// frames, LZW corner cases, interlacing, and corrupt or hostile data.
#include <gtest/gtest.h>

#include "gif/gif_decoder.h"
#include "imaging/core/exceptions.h"
#include "imaging/core/options.h"
#include "tests/gif/gif_test_util.h"

namespace {

// Builds GIF files block by block.
class TGifBuilder {
public:
  explicit TGifBuilder(const char* Version = "GIF89a", int Width = 4, int Height = 2, int GlobalBits = 1) {
    Put(Version);
    Word(Width);
    Word(Height);
    B.push_back(GlobalBits ? static_cast<uint8_t>(0x80 | (GlobalBits - 1)) : 0);
    B.push_back(0);
    B.push_back(0);
    for (int i = 0; GlobalBits && i < (1 << GlobalBits); ++i) Rgb(i * 10, i * 10 + 1, i * 10 + 2);
  }
  TGifBuilder& Put(const std::string& s) {
    B.insert(B.end(), s.begin(), s.end());
    return *this;
  }
  TGifBuilder& Put(std::initializer_list<int> l) {
    B.insert(B.end(), l.begin(), l.end());
    return *this;
  }
  TGifBuilder& Put(const std::vector<uint8_t>& v) {
    B.insert(B.end(), v.begin(), v.end());
    return *this;
  }
  TGifBuilder& Word(int v) { return Put({v & 0xFF, (v >> 8) & 0xFF}); }
  TGifBuilder& Rgb(int r, int g, int b) { return Put({r, g, b}); }
  TGifBuilder& Control(int Packed, int Delay, int TransparentIndex) {
    Put({0x21, 0xF9, 4, Packed});
    Word(Delay);
    return Put({TransparentIndex, 0});
  }
  TGifBuilder& Comment(const std::string& Text) {
    Put({0x21, 0xFE, static_cast<int>(Text.size())});
    Put(Text);
    return Put({0});
  }
  TGifBuilder& Descriptor(int Left, int Top, int Width, int Height, int Packed) {
    Put({0x2C});
    Word(Left);
    Word(Top);
    Word(Width);
    Word(Height);
    return Put({Packed});
  }
  // An image whose pixels are coded one value per code (with a clear code
  // first and the end code last), MinCodeSize m.
  TGifBuilder& Image(int Left, int Top, int Width, int Height, int Packed, int m,
                     const std::vector<int>& Pixels) {
    Descriptor(Left, Top, Width, Height, Packed);
    if (Packed & 0x80)
      for (int i = 0; i < (1 << ((Packed & 7) + 1)); ++i) Rgb(200 + i, 100 + i, i);
    return Put(PackLZWCodes(m, SimpleCodes(m, Pixels)));
  }
  // Codes for Pixels with the widths a decoder expects: every pixel its own code.
  static std::vector<TCode> SimpleCodes(int m, const std::vector<int>& Pixels) {
    std::vector<TCode> codes = {{1 << m, m + 1}};
    int width = m + 1, next = (1 << m) + 2;
    bool first = true;
    for (int p : Pixels) {
      codes.push_back({p, width});
      if (!first && next < 4096) {
        ++next;
        if (next == (1 << width) && width < 12) ++width;
      }
      first = false;
    }
    codes.push_back({(1 << m) + 1, width});
    return codes;
  }
  std::vector<uint8_t> Done() {
    B.push_back(0x3B);
    return B;
  }
  std::vector<uint8_t> B;
};

std::vector<int> Row(const TGIFFrame& f, int y) {
  std::vector<int> r;
  for (int x = 0; x < f.Width; ++x) r.push_back(f.PixelAt(x, y));
  return r;
}

}  // namespace

TEST(GIFDecoder, HeaderScreenAndGlobalTable) {
  TGIFDecoder d;
  auto gif = TGifBuilder("GIF89a", 4, 2, 1).Image(0, 0, 4, 2, 0, 2, {0, 1, 1, 0, 1, 0, 0, 1}).Done();
  ASSERT_TRUE(DecodeGIF(d, gif));
  EXPECT_EQ(d.Status(), 0);
  EXPECT_EQ(d.Version(), gvGIF89a);
  EXPECT_EQ(d.FrameCount(), 1);
  EXPECT_EQ(d.Width(), 4);
  EXPECT_EQ(d.Height(), 2);
  EXPECT_EQ(d.GlobalBits(), 1);
  EXPECT_EQ(d.ColorDepth(), 8);
  EXPECT_EQ(d.LoopCount(), 1);
  const TGIFFrame& f = d.Frame(1);
  EXPECT_EQ(Row(f, 0), (std::vector<int>{0, 1, 1, 0}));
  EXPECT_EQ(Row(f, 1), (std::vector<int>{1, 0, 0, 1}));
  EXPECT_EQ(FrameColor(f, 1, 0), 10u | (11u << 8) | (12u << 16));
  // Bottom-up rows padded to 4 bytes, as the BMP image carries them.
  EXPECT_EQ(f.PixelStride(), 4);
  EXPECT_EQ(f.Pixels[0], 1);
  std::vector<uint8_t> bmp = f.BitmapFileImage();
  ASSERT_EQ(bmp.size(), 14u + 40u + 4u * 2u + 8u);
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[10], 14 + 40 + 8);  // bits offset
  EXPECT_EQ(bmp[46], 2);            // colours used
  EXPECT_EQ(bmp[54 + 4], 12);       // entry 1: blue, green, red, 0
  EXPECT_EQ(d.ParseStream().Size(), 0);
  EXPECT_EQ(d.DataStream().Size(), static_cast<int64_t>(gif.size()));
}

TEST(GIFDecoder, EmptyDataWrongSignatureAndZeroSizedImage) {
  TGIFDecoder d;
  EXPECT_FALSE(DecodeGIF(d, {}));
  EXPECT_EQ(d.Status(), 2);
  EXPECT_FALSE(DecodeGIF(d, {'J', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(d.Status(), 3);
  EXPECT_EQ(d.ParseStream().Size(), 0);
  EXPECT_FALSE(DecodeGIF(d, TGifBuilder().Image(0, 0, 0, 2, 0, 2, {}).Done()));
  EXPECT_EQ(d.Status(), 3);
}

TEST(GIFDecoder, Gif87aIgnoresTransparencyAndTablesFallBack) {
  TGIFDecoder d;
  auto gif87 = TGifBuilder("GIF87a").Control(1, 0, 1).Image(0, 0, 2, 1, 0, 2, {1, 0}).Done();
  ASSERT_TRUE(DecodeGIF(d, gif87));
  EXPECT_EQ(d.Version(), gvGIF87a);
  EXPECT_FALSE(d.Frame(1).Transparent);
  EXPECT_TRUE(d.Frame(1).Mask.empty());

  // No global table: a local table serves its frame, a frame with neither gets zeros.
  auto local = TGifBuilder("GIF89a", 2, 1, 0).Image(0, 0, 2, 1, 0x81, 2, {3, 1}).Image(0, 0, 2, 1, 0, 2, {1, 1}).Done();
  ASSERT_TRUE(DecodeGIF(d, local));
  EXPECT_EQ(d.ColorDepth(), 2);
  EXPECT_TRUE(d.Frame(1).HasLocalColorTable);
  EXPECT_EQ(d.Frame(1).LocalBits, 2);
  EXPECT_EQ(FrameColor(d.Frame(1), 0, 0), 203u | (103u << 8) | (3u << 16));
  EXPECT_EQ(d.Frame(1).ColorsUsed, 4);
  EXPECT_EQ(FrameColor(d.Frame(2), 0, 0), 0u);
  EXPECT_EQ(d.GlobalBits(), 2);
  EXPECT_EQ(d.Frame(2).ColorsUsed, 4);
}

TEST(GIFDecoder, GraphicControlAppliesToTheNextImageOnly) {
  TGIFDecoder d;
  TGifBuilder b("GIF89a", 8, 8);
  b.Control(0x04 | 1, 7, 1).Image(1, 2, 2, 1, 0, 2, {1, 0});
  b.Image(0, 0, 2, 1, 0, 2, {0, 0});
  for (int disposal : {2, 4, 5, 6, 7}) b.Control(disposal << 2, 0, 0).Image(0, 0, 1, 1, 0, 2, {0});
  b.Control(3 << 2, 0, 0).Image(0, 0, 1, 1, 0, 2, {0});
  ASSERT_TRUE(DecodeGIF(d, b.Done()));
  ASSERT_EQ(d.FrameCount(), 8);
  const TGIFFrame& f = d.Frame(1);
  EXPECT_EQ(f.Left, 1);
  EXPECT_EQ(f.Top, 2);
  EXPECT_EQ(f.Delay, 70);
  EXPECT_EQ(f.DisposalMethod, 1);
  EXPECT_TRUE(f.Transparent);
  EXPECT_TRUE(f.MaskAt(0, 0));
  EXPECT_FALSE(f.MaskAt(1, 0));
  EXPECT_EQ(f.TransparentRed, 10);
  EXPECT_TRUE(d.AnyFrameTransparent());
  std::vector<uint8_t> mask = f.MaskFileImage();
  EXPECT_EQ(mask.size(), 14u + 40u + 8u + 4u);
  EXPECT_EQ(mask[14 + 40 + 8], 0x80);

  const TGIFFrame& g = d.Frame(2);
  EXPECT_EQ(g.Delay, 0);
  EXPECT_EQ(g.DisposalMethod, 0);
  EXPECT_FALSE(g.Transparent);
  for (int i = 3; i <= 7; ++i) EXPECT_EQ(d.Frame(i).DisposalMethod, 2) << i;
  EXPECT_EQ(d.Frame(8).DisposalMethod, 3);
}

TEST(GIFDecoder, LoopCountOnlyFromNetscape20) {
  auto withApp = [](const std::string& id, std::vector<int> sub) {
    TGifBuilder b;
    b.Put({0x21, 0xFF, static_cast<int>(id.size())}).Put(id);
    b.Put({static_cast<int>(sub.size())});
    for (int v : sub) b.Put({v});
    b.Put({0});
    return b.Image(0, 0, 1, 1, 0, 2, {0}).Done();
  };
  TGIFDecoder d;
  ASSERT_TRUE(DecodeGIF(d, withApp("NETSCAPE2.0", {1, 5, 1})));
  EXPECT_EQ(d.LoopCount(), 261);
  ASSERT_TRUE(DecodeGIF(d, withApp("NETSCAPE2.1", {1, 5, 1})));
  EXPECT_EQ(d.LoopCount(), 1);
  ASSERT_TRUE(DecodeGIF(d, withApp("ANIMEXTS1.0", {1, 5, 1})));
  EXPECT_EQ(d.LoopCount(), 1);
  // A sub-block too short for a count is skipped, not read past.
  ASSERT_TRUE(DecodeGIF(d, withApp("NETSCAPE2.0", {1})));
  EXPECT_EQ(d.LoopCount(), 1);
  EXPECT_EQ(d.FrameCount(), 1);

  // Long application data in many sub-blocks is skipped whole.
  TGifBuilder b;
  b.Put({0x21, 0xFF, 11}).Put("XMP DataXMP");
  for (int i = 0; i < 5; ++i) b.Put({255}).Put(std::vector<uint8_t>(255, 0x2C));
  b.Put({0});
  ASSERT_TRUE(DecodeGIF(d, b.Image(0, 0, 1, 1, 0, 2, {1}).Done()));
  EXPECT_EQ(d.FrameCount(), 1);
  EXPECT_EQ(d.Frame(1).PixelAt(0, 0), 1);
}

TEST(GIFDecoder, UnknownAndPlainTextExtensionsAreSkipped) {
  TGifBuilder b;
  b.Put({0x21, 0x77, 3, 0x2C, 0x2C, 0x3B, 2, 0x21, 0xF9, 0});
  b.Put({0x21, 0x01, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 'a', 'b', 'c', 'd', 0});
  TGIFDecoder d;
  ASSERT_TRUE(DecodeGIF(d, b.Image(0, 0, 2, 1, 0, 2, {1, 0}).Done()));
  EXPECT_EQ(d.FrameCount(), 1);
  EXPECT_EQ(Row(d.Frame(1), 0), (std::vector<int>{1, 0}));
  EXPECT_EQ(d.Frame(1).Delay, 0);
}

TEST(GIFDecoder, CommentsBelongToTheNextImage) {
  TGifBuilder b;
  b.Comment("first").Comment("second").Image(0, 0, 1, 1, 0, 2, {0});
  b.Image(0, 0, 1, 1, 0, 2, {0}).Comment("after");
  TGIFDecoder d;
  ASSERT_TRUE(DecodeGIF(d, b.Done()));
  EXPECT_EQ(d.Frame(1).Comment, "second");
  EXPECT_EQ(d.Frame(2).Comment, "");
}

// What a parse makes of Bytes: its frames and their fields and pixels, the
// screen and loop count, or why it failed.
std::string ParseOutcome(const std::vector<uint8_t>& Bytes) {
  TGIFDecoder d;
  d.SetKeepComments(false);
  std::string out;
  try {
    if (!DecodeGIF(d, Bytes)) return "failed " + std::to_string(d.Failure());
  } catch (const std::exception& E) {
    return std::string("raised ") + E.what();
  }
  out = std::to_string(d.Width()) + "x" + std::to_string(d.Height()) + " loop " + std::to_string(d.LoopCount());
  for (int32_t i = 1; i <= d.FrameCount(); ++i) {
    const TGIFFrame& f = d.Frame(i);
    for (int32_t v : {f.Left, f.Top, f.Width, f.Height, f.Delay, int32_t(f.DisposalMethod), int32_t(f.Transparent),
                      int32_t(f.TransparentIndex), int32_t(f.Interlaced)})
      out += " " + std::to_string(v);
    out += std::string(f.Pixels.begin(), f.Pixels.end());
  }
  return out;
}

// The GIF read for a parse holds no comment, plain text or other
// application extension, nor a graphic control or loop count replaced by a
// later one, and parses as the file does, cut anywhere.
TEST(GIFDecoder, ReadForParseKeepsWhatTheParseUses) {
  TGifBuilder b("GIF89a", 3, 3);
  b.Comment(std::string(200, 'c')).Put({0x21, 0x01, 2, 7, 7, 3, 'a', 'b', 'c', 0});
  b.Put({0x21, 0xFF, 11}).Put("XMP DataXMP").Put({250}).Put(std::vector<uint8_t>(250, 'x')).Put({0});
  b.Put({0x21, 0xFF, 11}).Put("NETSCAPE2.0").Put({3, 1, 5, 0, 0});
  b.Put({0x21, 0xFF, 11}).Put("NETSCAPE2.0").Put({3, 1, 9, 0, 2, 1, 1, 0});
  b.Control(0x09, 7, 2).Control(0x05, 3, 1).Put({0x21, 0x77, 1, 0, 0, 0x00, 0x11});
  b.Image(0, 0, 2, 2, 0, 2, {0, 1, 1, 0}).Comment("between");
  b.Control(0x0D, 20, 0).Image(1, 1, 2, 2, 0x40, 2, {1, 0, 1, 1}).Control(0x01, 1, 1);
  const std::vector<uint8_t> gif = b.Done();
  for (size_t n = 0; n <= gif.size(); ++n) {
    const std::vector<uint8_t> cut(gif.begin(), gif.begin() + static_cast<std::ptrdiff_t>(n));
    TMemoryStream s;
    s.Bytes() = cut;
    std::vector<uint8_t> read;
    ReadGIFForParse(s, read, false);
    ASSERT_EQ(ParseOutcome(read), ParseOutcome(cut)) << n;
  }
  TMemoryStream s;
  s.Bytes() = gif;
  std::vector<uint8_t> read, first;
  ReadGIFForParse(s, read, false);
  EXPECT_LE(read.size() + 200 + 250 + 17, gif.size());
  EXPECT_EQ(ParseOutcome(read).substr(0, 10), "3x3 loop 9");
  s.SetPosition(0);
  ReadGIFForParse(s, first, true);
  TGIFDecoder d;
  d.SetFirstImageOnly(true);
  ASSERT_TRUE(DecodeGIF(d, first));
  EXPECT_EQ(d.Frame(1).Delay, 30);
  EXPECT_LT(first.size(), read.size());
}

TEST(GIFDecoder, FramesPastThe256thAreIgnored) {
  TGifBuilder b("GIF89a", 2, 2);
  for (int i = 0; i < 257; ++i) b.Image(i == 256 ? 9 : 0, 0, 1, 1, 0, 2, {i & 1});
  TGIFDecoder d;
  ASSERT_TRUE(DecodeGIF(d, b.Done()));
  EXPECT_EQ(d.FrameCount(), 256);
  EXPECT_EQ(d.Width(), 2);
  d.SetFirstImageOnly(true);
  ASSERT_TRUE(DecodeGIF(d, b.B));
  EXPECT_EQ(d.FrameCount(), 1);
}

TEST(GIFDecoder, ScreenWidensToCoverEveryFrame) {
  TGIFDecoder d;
  ASSERT_TRUE(DecodeGIF(d, TGifBuilder("GIF89a", 2, 2).Image(3, 4, 2, 1, 0, 2, {0, 1}).Done()));
  EXPECT_EQ(d.Width(), 5);
  EXPECT_EQ(d.Height(), 5);
}

TEST(GIFDecoder, LzwCodesAcrossSubBlocksKwKwKAndLeadingClears) {
  // Codes: clear, clear, 1, 1, 6 (= "1 1", defined by the previous pair),
  // 8 (KwKwK: the code being defined, "1 1" + "1"), end.
  std::vector<TCode> codes = {{4, 3}, {4, 3}, {1, 3}, {1, 3}, {6, 3}, {8, 4}, {5, 4}};
  std::vector<uint8_t> packed = PackLZWCodes(2, codes);
  // Re-cut the data into one-byte sub-blocks.
  std::vector<uint8_t> data = {2};
  for (size_t i = 1; i + 1 < packed.size(); ++i) {
    if (i == 1) continue;  // the count byte of the single block
    data.push_back(1);
    data.push_back(packed[i]);
  }
  data.push_back(0);
  TGifBuilder b("GIF89a", 9, 1);
  b.Descriptor(0, 0, 9, 1, 0).Put(data);
  TGIFDecoder d;
  ASSERT_TRUE(DecodeGIF(d, b.Done()));
  EXPECT_EQ(Row(d.Frame(1), 0), (std::vector<int>{1, 1, 1, 1, 1, 1, 1, 0, 0}));
}

TEST(GIFDecoder, FullTableKeepsTwelveBitCodes) {
  // Codes for 4100 pixels of value 1 one code each: the table fills at 4096
  // and the remaining codes stay 12 bits wide.
  std::vector<int> pixels(4100, 1);
  for (size_t i = 0; i < pixels.size(); i += 3) pixels[i] = 2;
  TGifBuilder b("GIF89a", 4100, 1);
  b.Image(0, 0, 4100, 1, 0, 2, pixels);
  TGIFDecoder d;
  ASSERT_TRUE(DecodeGIF(d, b.Done()));
  for (int x = 0; x < 4100; ++x) ASSERT_EQ(d.Frame(1).PixelAt(x, 0), pixels[x]) << x;
}

TEST(GIFDecoder, InterlacedImagesOfOneToFourRows) {
  for (int h = 1; h <= 9; ++h) {
    // The file carries rows in pass order; each row's pixels hold its row number.
    std::vector<int> pixels;
    TGIFInterlaceOrder order(h, true);
    for (int y = order.First(); y >= 0; y = order.Next(y)) pixels.insert(pixels.end(), {y % 2, y % 2, y / 2 % 2});
    TGIFDecoder d;
    ASSERT_TRUE(DecodeGIF(d, TGifBuilder("GIF89a", 3, h).Image(0, 0, 3, h, 0x40, 2, pixels).Done()));
    EXPECT_TRUE(d.AnyFrameInterlaced());
    for (int y = 0; y < h; ++y) EXPECT_EQ(Row(d.Frame(1), y), (std::vector<int>{y % 2, y % 2, y / 2 % 2})) << h;
  }
}

TEST(GIFDecoder, CorruptCodeEndsTheFrameWithRemainingRowsZero) {
  // After two codes the next free code is 11; 15 lies above it.
  std::vector<TCode> codes = {{8, 4}, {1, 4}, {2, 4}, {15, 4}, {1, 4}, {1, 4}, {9, 4}};
  TGifBuilder b("GIF89a", 2, 3);
  b.Descriptor(0, 0, 2, 3, 0).Put(PackLZWCodes(3, codes));
  b.Image(0, 0, 1, 1, 0, 2, {1});
  TGIFDecoder d;
  ASSERT_TRUE(DecodeGIF(d, b.Done()));
  ASSERT_EQ(d.FrameCount(), 2);  // the walk goes on after the broken frame
  EXPECT_EQ(Row(d.Frame(1), 0), (std::vector<int>{1, 2}));
  EXPECT_EQ(Row(d.Frame(1), 1), (std::vector<int>{0, 0}));
  EXPECT_EQ(Row(d.Frame(1), 2), (std::vector<int>{0, 0}));
  EXPECT_EQ(d.Frame(2).PixelAt(0, 0), 1);
}

TEST(GIFDecoder, RasterCutAnywhereLeavesZerosAfterTheLastStringAndTheMaskOnTheTransparentIndex) {
  // Long repeating strings over rows of 64, coded by our compressor, cut at
  // every byte of the data: the pixels in file order are the picture up to
  // where the data stops, then zeros (nothing left over from copying the
  // strings), and the mask marks exactly the pixels of index 1.
  const int w = 64, h = 3;
  std::vector<uint8_t> indices(w * h);
  for (int i = 0; i < w * h; ++i) indices[static_cast<size_t>(i)] = static_cast<uint8_t>(1 + (i * 7 / 5 + i / 9) % 3);
  TMemoryStream lzw;
  CompressGIFLZW(lzw, indices.data(), w * h, 4, w);
  TGifBuilder b("GIF89a", w, h, 2);
  b.Control(1, 0, 1).Descriptor(0, 0, w, h, 0).Put(lzw.Bytes());
  const std::vector<uint8_t> full = b.Done();
  const size_t data = ImageDataOffset(full);
  bool midRow = false;
  for (size_t cut = data + 3; cut <= full.size(); ++cut) {
    TGIFDecoder d;
    ASSERT_TRUE(DecodeGIF(d, std::vector<uint8_t>(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut))));
    const TGIFFrame& f = d.Frame(1);
    int decoded = 0;
    while (decoded < w * h && f.PixelAt(decoded % w, decoded / w) != 0) ++decoded;
    for (int i = 0; i < w * h; ++i) {
      ASSERT_EQ(f.PixelAt(i % w, i / w), i < decoded ? indices[static_cast<size_t>(i)] : 0) << cut << " " << i;
      ASSERT_EQ(f.MaskAt(i % w, i / w), i < decoded && indices[static_cast<size_t>(i)] == 1) << cut << " " << i;
    }
    midRow = midRow || (decoded % w >= 16 && decoded % w < w - 16);
  }
  EXPECT_TRUE(midRow);

  // Minimum code sizes above 8 give values past 255: 300 is stored as its
  // low byte 44 but is not the transparent index 44.
  TGifBuilder wide;
  wide.Control(1, 0, 44).Image(0, 0, 3, 1, 0, 9, {300, 44, 511});
  TGIFDecoder d;
  ASSERT_TRUE(DecodeGIF(d, wide.Done()));
  EXPECT_EQ(Row(d.Frame(1), 0), (std::vector<int>{44, 44, 255}));
  EXPECT_FALSE(d.Frame(1).MaskAt(0, 0));
  EXPECT_TRUE(d.Frame(1).MaskAt(1, 0));
}

TEST(GIFDecoder, MinimumCodeSizeOutsideOneToElevenFailsTheParse) {
  for (int m : {0, 12, 15, 255}) {
    TGifBuilder b;
    b.Descriptor(0, 0, 1, 1, 0).Put({m, 1, 0xFF, 0});
    TGIFDecoder d;
    EXPECT_FALSE(DecodeGIF(d, b.Done())) << m;
    EXPECT_EQ(d.Status(), 3);
  }
  TGifBuilder ok;
  ok.Image(0, 0, 2, 1, 0, 11, {2047, 5});
  TGIFDecoder d;
  ASSERT_TRUE(DecodeGIF(d, ok.Done()));
  EXPECT_EQ(Row(d.Frame(1), 0), (std::vector<int>{255, 5}));
}

TEST(GIFDecoder, HugeFramesAndScreensAreRefusedBeforeDecoding) {
  TGifBuilder b("GIF89a", 65535, 65535);
  b.Image(0, 0, 65535, 65535, 0, 2, {1});
  TGIFDecoder d;
  EXPECT_THROW(DecodeGIF(d, b.Done()), EPGInvalidSize);
  EXPECT_EQ(d.Status(), 3);
  // One byte over the largest surface the platform makes.
  TGifBuilder s("GIF89a", 1, 1);
  s.Image(0, 0, 32768, 32769, 0, 2, {1});
  EXPECT_THROW(DecodeGIF(d, s.Done()), EPGInvalidSize);

  uint32_t saved = PGMaxImageSize;
  PGMaxImageSize = 1000;
  TGifBuilder t("GIF89a", 40, 25);
  t.Image(0, 0, 40, 26, 0, 2, {1});  // 1040 bytes
  EXPECT_THROW(DecodeGIF(d, t.Done()), EPGInvalidSize);
  TGifBuilder u("GIF89a", 40, 25);
  u.Image(0, 0, 40, 25, 0, 2, {1});
  EXPECT_TRUE(DecodeGIF(d, u.Done()));
  // A small frame on a logical screen over the cap, or placed where the
  // canvas would outgrow it.
  TGifBuilder v("GIF89a", 100, 100);
  v.Image(0, 0, 1, 1, 0, 2, {1});
  EXPECT_THROW(DecodeGIF(d, v.Done()), EPGInvalidSize);
  TGifBuilder w("GIF89a", 40, 25);
  w.Image(40, 0, 1, 1, 0, 2, {1});
  EXPECT_THROW(DecodeGIF(d, w.Done()), EPGInvalidSize);
  // Frames each within the cap, but not together: a parse that keeps them
  // all refuses the animation; one that decodes the first only does not.
  TGifBuilder x("GIF89a", 20, 20);
  for (int i = 0; i < 3; ++i) x.Image(0, 0, 20, 20, 0, 2, {1});  // 400 bytes each
  EXPECT_THROW(DecodeGIF(d, x.Done()), EPGInvalidSize);
  d.SetFirstImageOnly(true);
  EXPECT_TRUE(DecodeGIF(d, x.Done()));
  PGMaxImageSize = saved;
}

TEST(GIFDecoder, OneByteFirstBlockThenMore) {
  std::vector<uint8_t> packed = PackLZWCodes(2, TGifBuilder::SimpleCodes(2, {1, 2, 3, 0, 1, 2}));
  // Split the single data block after its first byte.
  std::vector<uint8_t> data = {2, 1, packed[2], static_cast<uint8_t>(packed[1] - 1)};
  data.insert(data.end(), packed.begin() + 3, packed.end());
  TGifBuilder b("GIF89a", 6, 1);
  b.Descriptor(0, 0, 6, 1, 0).Put(data);
  TGIFDecoder d;
  ASSERT_TRUE(DecodeGIF(d, b.Done()));
  EXPECT_EQ(Row(d.Frame(1), 0), (std::vector<int>{1, 2, 3, 0, 1, 2}));
}

TEST(GIFDecoder, TruncatedFiles) {
  auto full = TGifBuilder("GIF89a", 8, 4).Image(0, 0, 8, 4, 0, 2, std::vector<int>(32, 1)).Done();
  // Cut inside the raster: the rows not reached stay at index 0.
  std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(ImageDataOffset(full) + 8));
  TGIFDecoder d;
  ASSERT_TRUE(DecodeGIF(d, cut));
  EXPECT_EQ(Row(d.Frame(1), 0), std::vector<int>(8, 1));
  EXPECT_EQ(Row(d.Frame(1), 3), std::vector<int>(8, 0));
  // Cut inside the image descriptor: a read error.
  std::vector<uint8_t> head(full.begin(), full.begin() + 13 + 6 + 5);
  EXPECT_THROW(DecodeGIF(d, head), EReadError);
  EXPECT_EQ(d.ParseStream().Size(), 0);
}

TEST(GIFDecoder, ProgressAndAbort) {
  std::vector<int> pixels(400 * 300, 1);
  auto gif = TGifBuilder("GIF89a", 400, 300).Image(0, 0, 400, 300, 0, 2, pixels).Done();
  TGIFDecoder d;
  std::vector<int32_t> percents;
  d.OnProgress = [&](TObject* sender, int32_t done, int32_t total, int32_t percent, bool&) {
    EXPECT_EQ(sender, &d);
    EXPECT_EQ(total, static_cast<int32_t>(gif.size()));
    EXPECT_LE(done, total);
    percents.push_back(percent);
  };
  ASSERT_TRUE(DecodeGIF(d, gif));
  // One per block (the image, the trailer), rows 0, 32, ..., 288 (10), and the finish.
  EXPECT_EQ(percents.size(), 2u + 10u + 1u);
  EXPECT_EQ(percents.back(), 100);

  int calls = 0;
  d.OnProgress = [&](TObject*, int32_t, int32_t, int32_t, bool& keep) {
    if (++calls == 3) keep = false;
  };
  EXPECT_THROW(DecodeGIF(d, gif), EAbort);
  EXPECT_EQ(d.Status(), 1);
  EXPECT_EQ(d.ParseStream().Size(), 0);
}
