// Cross-checks with independent tools: GIFs we write are read back by
// ImageMagick and by giflib's giftext to the same pixels and settings.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/gif/gif_bitmap_util.h"

namespace {

// Our encoding of Bitmap, read back by ImageMagick and by giftext.
void CheckEncodedWithTools(const std::string& name, TBitmap& Bitmap, bool Interlaced, bool Transparent,
                           TColor TransparentColor) {
  const int32_t w = Bitmap.Width(), h = Bitmap.Height();
  std::vector<uint32_t> colors;
  for (int32_t y = 0; y < h; ++y) {
    const auto* row = static_cast<const uint8_t*>(Bitmap.ScanLine(y));
    for (int32_t x = 0; x < w; ++x) colors.push_back(row[3 * x + 2] | (row[3 * x + 1] << 8) | (row[3 * x] << 16));
  }
  TMemoryStream s;
  ASSERT_TRUE(SaveBitmapAsGIF(s, Bitmap, Interlaced, Transparent, TransparentColor));
  std::string path = BuildPath(name + ".gif");
  WriteFile(path, s.Bytes());

  std::vector<TToolFrame> frames = MagickFrames(path);
  ASSERT_EQ(frames.size(), 1u) << name;
  ASSERT_EQ(frames[0].Width, w);
  ASSERT_EQ(frames[0].Height, h);
  for (size_t i = 0; i < colors.size(); ++i) {
    const uint8_t* p = &frames[0].Rgba[i * 4];
    bool transparent = Transparent && colors[i] == TransparentColor;
    ASSERT_EQ(p[3] == 0, transparent) << name << " pixel " << i;
    if (!transparent) {
      ASSERT_EQ(p[0] | (p[1] << 8) | (p[2] << 16), colors[i]) << name << " pixel " << i;
    }
  }

  // giftext dumps the raw indices in file row order.
  std::string raw;
  ASSERT_TRUE(RunTool("giftext -r '" + path + "'", &raw));
  ASSERT_EQ(raw.size(), colors.size()) << name;
  const std::vector<uint8_t>& gif = s.Bytes();
  TGIFInterlaceOrder order(h, Interlaced);
  size_t k = 0;
  for (int32_t y = h > 0 ? order.First() : -1; y >= 0; y = order.Next(y))
    for (int32_t x = 0; x < w; ++x, ++k) {
      uint8_t index = static_cast<uint8_t>(raw[k]);
      const uint8_t* entry = &gif[13 + 3 * index];
      ASSERT_EQ(entry[0] | (entry[1] << 8) | (entry[2] << 16), colors[static_cast<size_t>(y) * w + x])
          << name << " at " << x << "," << y;
    }
}

class GIFWriterCrossCheck : public ::testing::Test {
protected:
  void SetUp() override {
    if (!HaveTool("convert") || !HaveTool("giftext") || !HaveTool("gifsicle"))
      GTEST_SKIP() << "ImageMagick, giflib-tools and gifsicle are installed by scripts/test.sh";
    InitializeGIFEncoder();
  }
};

}  // namespace

TEST_F(GIFWriterCrossCheck, OurGifsReadBackByTheTools) {
  struct Case {
    const char* name;
    int w, h;
    bool interlaced, transparent;
    TColor transparentColor;
    std::function<uint32_t(int, int)> color;
  };
  const Case cases[] = {
      {"one_colour", 2, 2, false, false, 0, [](int, int) { return 0x336699u; }},
      {"single_pixel", 1, 1, false, false, 0, [](int, int) { return 0xFFFFFFu; }},
      {"three_colours", 7, 5, false, false, 0, [](int x, int y) { return (x + y) % 3 * 0x7F00u; }},
      {"all_256", 16, 16, false, false, 0, [](int x, int y) { return static_cast<uint32_t>(y * 16 + x) * 0x010101u; }},
      {"photo_216", 311, 203, false, false, 0, [](int x, int y) { return PhotoColor(x, y, 6); }},
      {"photo_interlaced", 97, 61, true, false, 0, [](int x, int y) { return PhotoColor(x, y, 4); }},
      {"interlaced_3_rows", 5, 3, true, false, 0, [](int x, int y) { return (x * 40 + y * 90) & 0xFF; }},
      {"transparent", 33, 17, false, true, 0x0000FF, [](int x, int y) { return (x / 4 + y / 4) % 2 ? 0x0000FFu : 0xFF00FFu * static_cast<uint32_t>(x % 3); }},
      {"transparent_255", 16, 16, true, true, 0xFFFFFF, [](int x, int y) { return static_cast<uint32_t>(y * 16 + x) * 0x010101u; }},
      {"long_run", 4100, 3, false, false, 0, [](int x, int y) { return x < 4000 ? 0x10u : static_cast<uint32_t>(x * y % 7); }},
  };
  for (const Case& c : cases) {
    auto bmp = MakeBitmap(c.w, c.h, c.color);
    CheckEncodedWithTools(c.name, *bmp, c.interlaced, c.transparent, c.transparentColor);
  }
}

TEST_F(GIFWriterCrossCheck, OurAnimationsReadBackByTheTools) {
  auto a = MakeBitmap(20, 10, [](int x, int y) { return PhotoColor(x, y, 5); });         // 125 colours at most
  auto b = MakeBitmap(8, 6, [](int x, int y) { return PhotoColor(x * 9, y * 7, 6); });  // a different set
  auto c = MakeBitmap(12, 12, [](int x, int y) { return (x ^ y) & 1 ? 0x00FF00u : 0x0000FFu; });
  for (bool global : {true, false}) {
    TFrameInfo fa{a.get(), 0, 0, 0, 0, 120, false, false, 0, 2, "first"};
    TFrameInfo fb{b.get(), 5, 3, 0, 0, 45, true, false, 0, 3, ""};
    TFrameInfo fc{c.get(), 1, 1, 0, 0, 0, false, true, 0x00FF00, 1, ""};
    TGIFWriteJob job;
    job.FrameCount = 3;
    job.Frames[0] = &fa;
    job.Frames[1] = &fb;
    job.Frames[2] = &fc;
    job.LoopCount = 7;
    job.UseGlobalColorTable = global;
    TMemoryStream s;
    ASSERT_TRUE(WriteGIFJob(s, job));
    std::string path = BuildPath(global ? "anim_global.gif" : "anim_local.gif");
    WriteFile(path, s.Bytes());

    TGIFDecoder d;
    ASSERT_TRUE(DecodeGIF(d, s.Bytes()));
    ExpectSameAsMagick(path, d);
    std::string info;
    ASSERT_TRUE(RunTool("gifsicle --info '" + path + "'", &info));
    EXPECT_NE(info.find("loop count 7"), std::string::npos) << info;
    EXPECT_NE(info.find("disposal background delay 0.12s"), std::string::npos) << info;
    EXPECT_NE(info.find("at 5,3 interlaced"), std::string::npos) << info;
    EXPECT_NE(info.find("transparent"), std::string::npos) << info;
    EXPECT_EQ(info.find("local color table") != std::string::npos, !global) << info;
    EXPECT_EQ(d.LoopCount(), 7);
    EXPECT_EQ(d.Frame(1).Comment, "first");
  }
}

