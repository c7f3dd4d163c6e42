#include "tests/gif/control/gif_anim_util.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include <gtest/gtest.h>

#include "gif/gif_encoder.h"
#include "tests/gif/gif_bitmap_util.h"

TTestFrame SolidFrame(uint32_t Color, int32_t Width, int32_t Height, int32_t Delay) {
  TTestFrame f;
  f.Width = Width;
  f.Height = Height;
  f.Delay = Delay;
  f.Color = [Color](int32_t, int32_t) { return Color; };
  return f;
}

std::vector<uint8_t> MakeGIF(const std::vector<TTestFrame>& Frames, uint16_t LoopCount, bool GlobalTable) {
  std::vector<std::unique_ptr<TBitmap>> bitmaps;
  std::vector<TFrameInfo> infos(Frames.size());
  TGIFWriteJob job;
  job.FrameCount = static_cast<int32_t>(Frames.size());
  job.LoopCount = LoopCount;
  job.UseGlobalColorTable = GlobalTable;
  for (size_t i = 0; i < Frames.size(); ++i) {
    const TTestFrame& f = Frames[i];
    bitmaps.push_back(MakeBitmap(f.Width, f.Height, f.Color));
    TFrameInfo& info = infos[i];
    info.Bitmap = bitmaps.back().get();
    info.Left = f.Left;
    info.Top = f.Top;
    info.Width = f.Width;
    info.Height = f.Height;
    info.Delay = f.Delay;
    info.Interlaced = f.Interlaced;
    info.Transparent = f.Transparent;
    info.TransparentColor = f.TransparentColor;
    info.DisposalMethod = f.Disposal;
    job.Frames[i] = &info;
  }
  TMemoryStream s;
  EXPECT_TRUE(WriteGIFJob(s, job));
  return s.Bytes();
}

std::vector<uint8_t> WithoutLoopBlock(std::vector<uint8_t> Gif) {
  static const char id[] = "NETSCAPE2.0";
  auto it = std::search(Gif.begin(), Gif.end(), id, id + 11);
  EXPECT_NE(it, Gif.end());
  if (it != Gif.end()) Gif.erase(it - 3, it + 16);  // 0x21 0xFF 0x0B, id, 0x03 0x01 count(2) 0x00
  return Gif;
}
