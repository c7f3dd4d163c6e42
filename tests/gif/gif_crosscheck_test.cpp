// Cross-checks with independent tools: GIFs that ImageMagick and gifsicle
// write are decoded by ours to their pixels and settings.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>

#include "tests/gif/gif_test_util.h"

namespace {

class GIFCrossCheck : public ::testing::Test {
protected:
  void SetUp() override {
    if (!HaveTool("convert") || !HaveTool("giftext") || !HaveTool("gifsicle"))
      GTEST_SKIP() << "ImageMagick, giflib-tools and gifsicle are installed by scripts/test.sh";
  }
};

}  // namespace

TEST_F(GIFCrossCheck, ToolGifsDecodedToTheirPixelsAndSettings) {
  const std::string dir = BuildPath("");
  struct Made {
    std::string name, command;
  };
  const Made made[] = {
      {"im_interlaced.gif", "convert -size 61x37 gradient:red-blue -colors 50 -interlace GIF %s"},
      {"im_animated.gif",
       "convert -delay 20 -dispose Background -size 10x10 xc:red -dispose Previous -delay 35 -page +2+3 -size 6x4 "
       "plasma:fractal -loop 3 %s"},
      {"im_transparent.gif", "convert -size 8x6 xc:red -fill blue -draw 'rectangle 2,2 5,4' -transparent blue %s"},
      {"im_photo.gif", "convert -size 200x150 plasma:fractal -seed 4 -colors 200 %s"},
      {"gs_combined.gif",
       "gifsicle -i --loopcount=5 --delay 7 --disposal previous " + dir + "im_transparent.gif " + dir +
           "im_animated.gif -o %s"},
      {"gs_unoptimized.gif", "gifsicle --no-interlace --delay 3 --disposal background --loopcount=forever " + dir +
                                 "im_photo.gif " + dir + "im_interlaced.gif -o %s"},
  };
  for (const Made& m : made) {
    std::string path = dir + m.name;
    std::string cmd = m.command;
    cmd.replace(cmd.find("%s"), 2, "'" + path + "'");
    ASSERT_TRUE(RunTool(cmd + " 2>&1")) << cmd;
    TGIFDecoder d;
    ASSERT_TRUE(DecodeGIF(d, ReadFile(path))) << m.name;
    ExpectSameAsMagick(path, d);

    // Settings as gifsicle reports them.
    std::string info;
    ASSERT_TRUE(RunTool("gifsicle --info '" + path + "'", &info));
    std::smatch match;
    if (std::regex_search(info, match, std::regex("loop count (\\d+)")))
      EXPECT_EQ(d.LoopCount(), std::stoi(match[1])) << m.name;
    else if (info.find("loop forever") != std::string::npos)
      EXPECT_EQ(d.LoopCount(), 0) << m.name;
    else
      EXPECT_EQ(d.LoopCount(), 1) << m.name;
    std::regex image("\\+ image #(\\d+) (\\d+)x(\\d+)( at (\\d+),(\\d+))?( interlaced)?( transparent (\\d+))?");
    std::regex settings("disposal (\\w+)|delay ([0-9.]+)s|local color table");
    std::istringstream lines(info);
    std::string line;
    int frame = 0;
    std::vector<int> delay(257, 0), disposal(257, 0);
    std::vector<bool> local(257, false);
    while (std::getline(lines, line)) {
      if (std::regex_search(line, match, image)) {
        frame = std::stoi(match[1]) + 1;
        ASSERT_LE(frame, d.FrameCount());
        const TGIFFrame& f = d.Frame(frame);
        EXPECT_EQ(f.Width, std::stoi(match[2]));
        EXPECT_EQ(f.Height, std::stoi(match[3]));
        EXPECT_EQ(f.Interlaced, match[7].matched) << m.name << " frame " << frame;
        EXPECT_EQ(f.Transparent, match[8].matched);
        if (match[8].matched) {
          EXPECT_EQ(f.TransparentIndex, std::stoi(match[9]));
        }
        continue;
      }
      if (frame == 0) continue;
      for (auto it = std::sregex_iterator(line.begin(), line.end(), settings); it != std::sregex_iterator(); ++it) {
        const std::smatch& s = *it;
        if (s[1].matched) {
          const std::string names[] = {"none", "asis", "background", "previous"};
          disposal[frame] = static_cast<int>(std::find(names, names + 4, s[1].str()) - names);
        } else if (s[2].matched) {
          delay[frame] = static_cast<int>(std::stod(s[2]) * 100 + 0.5) * 10;
        } else {
          local[frame] = true;
        }
      }
    }
    for (int i = 1; i <= frame; ++i) {
      EXPECT_EQ(d.Frame(i).Delay, delay[i]) << m.name << " frame " << i;
      EXPECT_EQ(d.Frame(i).DisposalMethod, disposal[i]) << m.name << " frame " << i;
      EXPECT_EQ(d.Frame(i).HasLocalColorTable, local[i]) << m.name << " frame " << i;
    }
    EXPECT_EQ(frame, d.FrameCount()) << m.name;
  }
}
