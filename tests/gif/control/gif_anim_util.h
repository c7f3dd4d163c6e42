// Animated GIFs for the control and registry tests, written by our encoder
// from frames of plain colour functions.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/gdi/types.h"

struct TTestFrame {
  int32_t Width = 4;
  int32_t Height = 4;
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Delay = 0;  // milliseconds
  uint8_t Disposal = 0;
  bool Interlaced = false;
  bool Transparent = false;
  TColor TransparentColor = 0xFFFFFF;
  std::function<uint32_t(int32_t, int32_t)> Color;  // 0x00BBGGRR at (x, y) of the frame
};

// A frame of one colour.
TTestFrame SolidFrame(uint32_t Color, int32_t Width = 4, int32_t Height = 4, int32_t Delay = 100);
// The frames as one GIF (a NETSCAPE2.0 block with LoopCount when there are
// several frames).
std::vector<uint8_t> MakeGIF(const std::vector<TTestFrame>& Frames, uint16_t LoopCount = 0,
                             bool GlobalTable = true);
// The same bytes without their NETSCAPE2.0 block.
std::vector<uint8_t> WithoutLoopBlock(std::vector<uint8_t> Gif);

// Colours of the tests.
constexpr uint32_t kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000, kYellow = 0x00FFFF,
                   kWhite = 0xFFFFFF, kBlack = 0x000000, kLime = 0x00FF00, kGrey = 0x808080;
