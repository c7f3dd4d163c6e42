// Helpers of the GIF tests: bitmaps from colour functions, GIF byte
// builders, LZW code listings and running the independent tools.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gif/gif_decoder.h"
#include "gif/gif_encoder.h"

// Parses Bytes with a fresh decoder; false when the parse fails.
bool DecodeGIF(TGIFDecoder& Decoder, const std::vector<uint8_t>& Bytes);

// The colour of a decoded frame's pixel (x, y from the top), 0x00BBGGRR.
uint32_t FrameColor(const TGIFFrame& Frame, int32_t x, int32_t y);

// One LZW code as read back from image data, with the width it was read at.
struct TCode {
  int32_t Code;
  int32_t Width;
};
// Reads the codes of the image data starting at Data[0] (the minimum code
// size byte) until the end code, following the decoder's width rules.
// SubBlocks receives the size of each data sub-block.
std::vector<TCode> ReadLZWCodes(const uint8_t* Data, size_t Size, std::vector<int32_t>* SubBlocks = nullptr,
                                size_t* Consumed = nullptr);
// Packs codes LSB first (each with its width) into sub-blocks of up to 255 bytes.
std::vector<uint8_t> PackLZWCodes(int32_t MinCodeSize, const std::vector<TCode>& Codes);

// Offset of the image data (minimum code size byte) of the first image of a
// GIF written by our encoder.
size_t ImageDataOffset(const std::vector<uint8_t>& Gif);

// A file under the build folder.
std::string BuildPath(const std::string& Name);
void WriteFile(const std::string& Path, const std::vector<uint8_t>& Bytes);
std::vector<uint8_t> ReadFile(const std::string& Path);
// Runs a shell command; returns its standard output, or fails the test.
bool RunTool(const std::string& Command, std::string* Output = nullptr);
bool HaveTool(const std::string& Name);

// A frame as ImageMagick decodes it (uncomposed), RGBA.
struct TToolFrame {
  int32_t Width, Height, Left, Top;
  std::vector<uint8_t> Rgba;
};
std::vector<TToolFrame> MagickFrames(const std::string& Path);
// Compares our decoding of a file with ImageMagick's, frame by frame.
void ExpectSameAsMagick(const std::string& Path, TGIFDecoder& Decoder);
// A deterministic photo-like colour of at most Levels^3 colours.
uint32_t PhotoColor(int32_t x, int32_t y, int32_t Levels);

// Encoder tests start from the module's initial state and a fixed title.
class GIFEncoderTest : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeGIFEncoder();
    SetGIFApplicationTitle("Quillon");
  }
  void TearDown() override {
    GIFWriteProgress = nullptr;
    FinalizeGIFEncoder();
  }
};

std::vector<uint8_t> Bytes(std::initializer_list<int> List);
// One comment extension as WriteGIFComment writes it.
std::vector<uint8_t> CommentBlock(const std::string& Text);
std::vector<int32_t> CodeValues(const std::vector<TCode>& Codes);
