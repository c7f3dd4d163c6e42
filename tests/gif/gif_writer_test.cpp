// Whole files written from bitmaps: bytes worked out by hand, palette order,
// transparency, interlacing, the closing comment and progress.
#include <gtest/gtest.h>

#include "gif/gif_encoder.h"
#include "imaging/core/exceptions.h"
#include "platform/base/exception.h"
#include "platform/gdi/canvas.h"
#include "tests/gif/gif_bitmap_util.h"

namespace {

// The closing comment of a GIF written under the title "Quillon": one
// sub-block of its 88 characters, then the block terminator.
const std::string QuillonComment =
    "Created by Quillon\r\nQuillon imaging library by Marrowick\r\nhttps://www.marrowick.example/";
std::vector<uint8_t> QuillonCommentBlock() {
  std::vector<uint8_t> b = {0x21, 0xFE, 88};
  b.insert(b.end(), QuillonComment.begin(), QuillonComment.end());
  b.push_back(0);
  return b;
}

}  // namespace

TEST_F(GIFEncoderTest, OneColourFileByteForByte) {
  auto bmp = MakeBitmap(2, 2, [](int, int) { return 0x00336699u; });
  std::vector<uint8_t> gif = EncodeGIF(*bmp);
  std::vector<uint8_t> expected = Bytes({'G', 'I', 'F', '8', '9', 'a', 2, 0, 2, 0, 0x80, 0, 0,
                                         0x99, 0x66, 0x33, 0, 0, 0,                 // 2-entry table
                                         0x21, 0xF9, 4, 0, 0, 0, 0xFF, 0,           // graphic control
                                         0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0,           // image descriptor
                                         2, 2, 0x84, 0x51, 0});                     // codes 4 0 6 0 | 5
  const std::vector<uint8_t> comment = QuillonCommentBlock();
  expected.insert(expected.end(), comment.begin(), comment.end());
  expected.push_back(0x3B);
  EXPECT_EQ(gif, expected);
  EXPECT_EQ(GIFColorCount, 1);
  EXPECT_EQ(GIFWriteStatus, 0);
  EXPECT_EQ(bmp->PixelFormat(), pf24bit);
  // Codes are 3 bits wide until the dictionary reaches 8 entries.
  auto codes = ReadLZWCodes(gif.data() + ImageDataOffset(gif), gif.size());
  EXPECT_EQ(CodeValues(codes), (std::vector<int32_t>{4, 0, 6, 0, 5}));
}

TEST_F(GIFEncoderTest, EmptyBitmapsCodeOnlyClearAndEnd) {
  for (int h : {0, 3}) {
    auto bmp = MakeBitmap(0, h, [](int, int) { return 0u; });
    std::vector<uint8_t> gif = EncodeGIF(*bmp);
    size_t at = ImageDataOffset(gif);
    EXPECT_EQ(std::vector<uint8_t>(gif.begin() + at, gif.begin() + at + 4), Bytes({2, 1, 0x2C, 0}));
    EXPECT_EQ(GIFColorCount, 0);
    EXPECT_EQ(gif[8], h);
  }
}

TEST_F(GIFEncoderTest, FramesPast65535PixelsAreRefused) {
  auto wide = MakeBitmap(65536, 1, [](int, int) { return 0u; });
  TMemoryStream s;
  // Within the library's exception family, so callers that catch it catch these.
  EXPECT_THROW(SaveBitmapAsGIF(s, *wide, false, false, 0), EPixelGraphic);
  EXPECT_EQ(s.Size(), 0);
  auto small = MakeBitmap(10, 10, [](int, int) { return 0u; });
  TFrameInfo frame{small.get(), 65530, 0, 0, 0, 0, false, false, 0, 0, ""};
  TGIFWriteJob job;
  job.FrameCount = 1;
  job.Frames[0] = &frame;
  EXPECT_THROW(WriteGIFJob(s, job), EPixelGraphic);
  job.FrameCount = 0;
  EXPECT_THROW(WriteGIFJob(s, job), EPixelGraphic);
  EXPECT_EQ(s.Size(), 0);
}

TEST_F(GIFEncoderTest, GlobalTableFallsBackToLocalTablesWithFreshTransparentIndices) {
  // Frame 1 has 200 colours with the transparent colour at index 5; frame 2
  // starts with it and adds 100 colours of its own, too many for one table.
  const TColor key = 0x00FF00FF;
  auto first = MakeBitmap(20, 10, [&](int x, int y) {
    int i = y * 20 + x;
    return i == 5 ? key : static_cast<uint32_t>(i) * 3u;
  });
  auto second = MakeBitmap(101, 1, [&](int x, int) { return x == 0 ? key : 0x010000u * static_cast<uint32_t>(x); });
  TFrameInfo f1{first.get(), 0, 0, 0, 0, 50, false, true, key, 0, ""};
  TFrameInfo f2{second.get(), 0, 0, 0, 0, 50, false, true, key, 0, ""};
  TGIFWriteJob job;
  job.FrameCount = 2;
  job.Frames[0] = &f1;
  job.Frames[1] = &f2;
  job.UseGlobalColorTable = true;
  TMemoryStream s;
  ASSERT_TRUE(WriteGIFJob(s, job));
  EXPECT_FALSE(job.UseGlobalColorTable);
  EXPECT_EQ(s.Bytes()[10], 0);  // no global table
  EXPECT_EQ(GIFColorCount, 101);
  TGIFDecoder d;
  ASSERT_TRUE(DecodeGIF(d, s.Bytes()));
  ASSERT_EQ(d.FrameCount(), 2);
  EXPECT_TRUE(d.Frame(1).HasLocalColorTable);
  EXPECT_EQ(d.Frame(1).TransparentIndex, 5);
  EXPECT_TRUE(d.Frame(2).Transparent);
  EXPECT_EQ(d.Frame(2).TransparentIndex, 0);
  EXPECT_TRUE(d.Frame(2).MaskAt(0, 0));
  EXPECT_FALSE(d.Frame(2).MaskAt(1, 0));
  EXPECT_EQ(d.LoopCount(), 0);
}

TEST_F(GIFEncoderTest, ExactlyTwoHundredFiftySixColoursWriteAndOneMoreIsRefused) {
  auto bmp = MakeBitmap(16, 16, [](int x, int y) { return static_cast<uint32_t>(y * 16 + x) * 0x010101u; });
  std::vector<uint8_t> gif = EncodeGIF(*bmp);
  EXPECT_EQ(gif[10], 0x87);
  EXPECT_EQ(GIFColorCount, 256);
  EXPECT_EQ(gif[ImageDataOffset(gif)], 8);

  auto big = MakeBitmap(17, 16, [](int x, int y) { return static_cast<uint32_t>(y * 17 + x) * 0x010101u; });
  TMemoryStream s;
  s.WriteBuffer("keep", 4);
  EXPECT_FALSE(SaveBitmapAsGIF(s, *big, false, false, 0));
  EXPECT_EQ(GIFWriteStatus, 4);
  EXPECT_EQ(s.Bytes(), Bytes({'k', 'e', 'e', 'p'}));
  EXPECT_EQ(s.Position(), 4);
}

TEST_F(GIFEncoderTest, ThreeColoursGetAFourEntryTableEndingInBlack) {
  const uint32_t colors[3] = {0x0000FF, 0x00FF00, 0xFF0000};
  auto bmp = MakeBitmap(3, 1, [&](int x, int) { return colors[x]; });
  std::vector<uint8_t> gif = EncodeGIF(*bmp);
  EXPECT_EQ(gif[10], 0x81);
  EXPECT_EQ(std::vector<uint8_t>(gif.begin() + 13, gif.begin() + 25),
            Bytes({255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0}));
  EXPECT_EQ(gif[ImageDataOffset(gif)], 2);
  EXPECT_EQ(GIFColorCount, 3);
}

TEST_F(GIFEncoderTest, PaletteFollowsFirstAppearanceInCodingOrder) {
  // Row y of 5 rows holds colour y + 1 after a shared first pixel.
  auto bmp = MakeBitmap(2, 5, [](int x, int y) { return x == 0 ? 0u : static_cast<uint32_t>(y + 1); });
  std::vector<uint8_t> plain = EncodeGIF(*bmp);
  std::vector<uint8_t> laced = EncodeGIF(*bmp, true);
  auto reds = [](const std::vector<uint8_t>& g) {
    std::vector<int> r;
    for (int i = 0; i < 6; ++i) r.push_back(g[13 + 3 * i]);
    return r;
  };
  EXPECT_EQ(reds(plain), (std::vector<int>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(reds(laced), (std::vector<int>{0, 1, 5, 3, 2, 4}));  // rows 0, 4, 2, 1, 3
  EXPECT_EQ(laced[ImageDataOffset(laced) - 1], 0x40);
}

TEST_F(GIFEncoderTest, TransparencyOnlyForAColourThatIsThere) {
  auto bmp = MakeBitmap(4, 4, [](int x, int y) { return (x + y) % 2 ? 0xFFFFFFu : 0x0000FFu; });
  std::vector<uint8_t> missing = EncodeGIF(*bmp, false, true, 0x123456);
  size_t gce = 13 + 6;
  EXPECT_EQ(missing[gce + 3], 0x00);

  std::vector<uint8_t> present = EncodeGIF(*bmp, false, true, 0xFFFFFF);
  EXPECT_EQ(present[gce + 3], 0x01);
  EXPECT_EQ(present[gce + 6], 1);

  // The last of 256 colours to appear sits at index 255 and is still transparent.
  auto full = MakeBitmap(16, 16, [](int x, int y) { return static_cast<uint32_t>(y * 16 + x) * 0x010101u; });
  std::vector<uint8_t> gif = EncodeGIF(*full, false, true, 0xFFFFFF);
  gce = 13 + 768;
  EXPECT_EQ(gif[gce + 3], 0x01);
  EXPECT_EQ(gif[gce + 6], 255);
}

TEST_F(GIFEncoderTest, InterlacedImagesOfOneToNineRowsCodeEveryRowOnce) {
  const std::vector<std::vector<int>> passOrder = {{0}, {0, 1}, {0, 2, 1}, {0, 2, 1, 3}, {0, 4, 2, 1, 3},
                                                   {0, 4, 2, 1, 3, 5}, {0, 4, 2, 6, 1, 3, 5},
                                                   {0, 4, 2, 6, 1, 3, 5, 7}, {0, 8, 4, 2, 6, 1, 3, 5, 7}};
  for (int h = 1; h <= 9; ++h) {
    auto bmp = MakeBitmap(3, h, [](int, int y) { return static_cast<uint32_t>(10 * y + 10); });
    std::vector<uint8_t> gif = EncodeGIF(*bmp, true);
    auto codes = ReadLZWCodes(gif.data() + ImageDataOffset(gif), gif.size());
    std::vector<int> rows;
    for (int i = 0; i < h; ++i) rows.push_back(gif[13 + 3 * i] / 10 - 1);
    EXPECT_EQ(rows, passOrder[h - 1]) << h;
    TGIFDecoder d;
    ASSERT_TRUE(DecodeGIF(d, gif));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < 3; ++x) EXPECT_EQ(FrameColor(d.Frame(1), x, y), 10u * y + 10) << h << " " << y;
  }
}

TEST_F(GIFEncoderTest, ClosingCommentIsCutInto255ByteSubBlocksBeforeTheTrailer) {
  SetGIFApplicationTitle(std::string(300, 't'));
  auto bmp = MakeBitmap(1, 1, [](int, int) { return 0u; });
  std::vector<uint8_t> gif = EncodeGIF(*bmp);
  // 381 characters: a full sub-block of 255, then one of 126.
  const std::string text = "Created by " + std::string(300, 't') + "\r\n" + QuillonComment.substr(20);
  ASSERT_EQ(text.size(), 381u);
  std::vector<uint8_t> tail = {0x21, 0xFE, 255};
  tail.insert(tail.end(), text.begin(), text.begin() + 255);
  tail.push_back(126);
  tail.insert(tail.end(), text.begin() + 255, text.end());
  tail.insert(tail.end(), {0x00, 0x3B});
  ASSERT_GT(gif.size(), tail.size());
  EXPECT_EQ(std::vector<uint8_t>(gif.end() - static_cast<std::ptrdiff_t>(tail.size()), gif.end()), tail);
  EXPECT_TRUE(CommentBlock("").empty());

  TGIFDecoder d;
  ASSERT_TRUE(DecodeGIF(d, gif));
  EXPECT_EQ(d.Frame(1).Comment, "");  // the closing comment follows the image
}

TEST_F(GIFEncoderTest, ProgressDuringCompressionAndAtTheEnd) {
  std::vector<int32_t> reports;
  GIFWriteProgress = [&](TObject* sender, int32_t done, int32_t total, int32_t percent, bool&) {
    EXPECT_EQ(sender, nullptr);
    EXPECT_EQ(total, 100);
    EXPECT_EQ(done, percent);
    reports.push_back(percent);
  };
  auto bmp = MakeBitmap(400, 300, [](int x, int y) { return static_cast<uint32_t>((x / 40 + y / 30) & 3); });
  EncodeGIF(*bmp);
  // 119999 pixels after the first, reported when the count left is a multiple of 256.
  ASSERT_EQ(reports.size(), 119999u / 256u + 1u);
  EXPECT_EQ(reports.front(), 0);
  EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
  EXPECT_EQ(reports.back(), 100);

  reports.clear();
  auto narrow = MakeBitmap(300, 400, [](int, int) { return 0u; });
  EncodeGIF(*narrow);
  EXPECT_EQ(reports.size(), 119999u / 128u + 1u);
}

TEST_F(GIFEncoderTest, AnimationWithLocalTablesByteForByte) {
  // Frame 1: one red pixel, delay 129 ms (12 hundredths), disposal 7 (written
  // as 0), a comment. Frame 2 at (3, 1): green then red, red transparent,
  // interlaced, a delay whose hundredths pass 16 bits, disposal 2.
  auto one = MakeBitmap(1, 1, [](int, int) { return 0x0000FFu; });
  auto two = MakeBitmap(2, 1, [](int x, int) { return x == 0 ? 0x00FF00u : 0x0000FFu; });
  TFrameInfo f1{one.get(), 0, 0, 0, 0, 129, false, false, 0, 7, "hi"};
  TFrameInfo f2{two.get(), 3, 1, 0, 0, 655370, true, true, 0x0000FF, 2, ""};
  TGIFWriteJob job;
  job.FrameCount = 2;
  job.Frames[0] = &f1;
  job.Frames[1] = &f2;
  job.LoopCount = 0x1234;
  job.UseGlobalColorTable = false;
  TMemoryStream s;
  ASSERT_TRUE(WriteGIFJob(s, job));
  std::vector<uint8_t> expected = Bytes({'G', 'I', 'F', '8', '9', 'a', 5, 0, 2, 0, 0x00, 0, 0,  // no global table
                                         0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0',
                                         3, 1, 0x34, 0x12, 0,                                      // loop count
                                         0x21, 0xFE, 2, 'h', 'i', 0,                               // frame 1
                                         0x21, 0xF9, 4, 0x00, 12, 0, 0xFF, 0,
                                         0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0x80, 255, 0, 0, 0, 0, 0,
                                         2, 2, 0x44, 0x01, 0,                                      // codes 4 0 5
                                         0x21, 0xF9, 4, 0x09, 1, 0, 1, 0,                          // frame 2
                                         0x2C, 3, 0, 1, 0, 2, 0, 1, 0, 0xC0, 0, 255, 0, 255, 0, 0,
                                         2, 2, 0x44, 0x0A, 0});                                    // codes 4 0 1 5
  const std::vector<uint8_t> tail = QuillonCommentBlock();
  expected.insert(expected.end(), tail.begin(), tail.end());
  expected.push_back(0x3B);
  EXPECT_EQ(s.Bytes(), expected);
  EXPECT_EQ(GIFColorCount, 2);  // the last frame's local table
  EXPECT_EQ(GIFWriteStatus, 0);
}

TEST_F(GIFEncoderTest, PaletteBitmapsAreConvertedTo24BitsAndKeepTheirColours) {
  TBitmap bmp;
  bmp.SetPixelFormat(pf8bit);
  bmp.SetSize(3, 1);
  bmp.Canvas()->Brush()->SetColor(clWhite);
  bmp.Canvas()->FillRect(Rect(0, 0, 3, 1));
  bmp.Canvas()->SetPixels(1, 0, clRed);
  bmp.Canvas()->SetPixels(2, 0, clAqua);
  std::vector<uint8_t> gif = EncodeGIF(bmp);
  EXPECT_EQ(bmp.PixelFormat(), pf24bit);
  EXPECT_EQ(std::vector<uint8_t>(gif.begin() + 13, gif.begin() + 25),
            Bytes({255, 255, 255, 255, 0, 0, 0, 255, 255, 0, 0, 0}));
}
