// Test data for the JPEG and PNG tests: files made directly with libjpeg and
// libpng (so any variant can be had), raw chunk surgery, PNM files for the
// command-line tools, and images turned into plain pixel arrays.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/core/file_formats.h"
#include "imaging/core/options.h"
#include "imaging/core/pixel_graphic.h"
#include "platform/base/stream.h"

using TBytes = std::vector<uint8_t>;

// Plain pixels: Channels (1 grey, 3 RGB) samples per pixel, rows top first.
struct TPlainImage {
  int32_t Width = 0, Height = 0, Channels = 3;
  std::vector<uint8_t> Pixels;
  uint8_t At(int32_t X, int32_t Y, int32_t C) const { return Pixels[(static_cast<size_t>(Y) * Width + X) * Channels + C]; }
};

// The colours of a graphic (palette resolved), as RGB, or as grey when
// Channels is 1 (the red sample).
TPlainImage PlainFromGraphic(TPixelGraphic& Graphic, int32_t Channels = 3);
// Largest difference of two images of the same size and channels; -1 when
// their shapes differ.
int MaxDifference(const TPlainImage& A, const TPlainImage& B);

// A test pattern: smooth gradients with some edges.
TPlainImage Pattern(int32_t Width, int32_t Height, int32_t Channels);

TMemoryStream StreamOf(const TBytes& Bytes);
TBytes BytesOf(TMemoryStream& Stream);
void SaveBytes(const std::string& Path, const TBytes& Bytes);
TBytes LoadBytes(const std::string& Path);

// A scratch folder for this test program under the build folder.
std::string TempPath(const std::string& Name);
// Runs a shell command; true when it exits with 0.
bool RunTool(const std::string& Command);
// PNM (P5, P6) files with maxval 255.
void WritePNM(const std::string& Path, const TPlainImage& Image);
TPlainImage ReadPNM(const std::string& Path);

struct TJPEGMaker {
  int32_t Width = 16, Height = 16;
  int Components = 3;           // 1 grey, 3 YCbCr from RGB, 4 CMYK
  bool Progressive = false;
  bool JFIF = true;
  int DensityUnit = 0;
  uint16_t XDensity = 1, YDensity = 1;
  int Quality = 90;
  // Markers written after the header: (code, payload).
  std::vector<std::pair<int, TBytes>> Markers;
  TPlainImage Source;           // empty: Pattern(Width, Height, ...)
};
TBytes MakeJPEG(TJPEGMaker Maker);

struct TPNGMaker {
  int32_t Width = 8, Height = 4;
  int BitDepth = 8;
  int ColorType = 2;            // PNG_COLOR_TYPE_*
  bool Interlaced = false;
  // Samples per row at BitDepth, one value per sample (16-bit values for
  // depth 16); packed by MakePNG.
  std::function<uint32_t(int32_t X, int32_t Y, int32_t Sample)> Sample;
  std::vector<std::array<uint8_t, 3>> Palette;
  std::vector<uint8_t> TransAlpha;          // tRNS of a palette file
  int TransGray = -1;                       // tRNS of a grey file
  std::array<int, 3> TransRGB{-1, -1, -1};  // tRNS of an RGB file
  bool Bkgd = false;
  uint16_t BkgdIndex = 0, BkgdGray = 0, BkgdR = 0, BkgdG = 0, BkgdB = 0;
  double Gamma = 0;                         // 0: no gAMA
  bool Phys = false;
  uint32_t PhysX = 0, PhysY = 0;
  int PhysUnit = 1;
  bool Offs = false;
  bool Time = false;
  int TimeYear = 2020, TimeMonth = 5, TimeDay = 17, TimeHour = 8, TimeMinute = 9, TimeSecond = 10;
  std::vector<std::pair<std::string, std::string>> Texts;
};
TBytes MakePNG(const TPNGMaker& Maker);

// Inserts a chunk (type and data, with its CRC) before the chunk that starts
// with BeforeType.
TBytes InsertPNGChunk(const TBytes& File, const std::string& Type, const TBytes& Data,
                      const std::string& BeforeType);
// The chunk types of a PNG file in order.
std::vector<std::string> PNGChunkTypes(const TBytes& File);
// The markers of a JPEG file up to the first SOS: (code, payload).
std::vector<std::pair<int, TBytes>> JPEGMarkers(const TBytes& File);

// A reader and writer pair with the library options reset around each test,
// and byte-level helpers; Error is the format's exception class.
template <class Reader, class Writer, class Error>
class TCodecTest : public ::testing::Test {
protected:
  void SetUp() override { InitPGOptions(); }
  void TearDown() override { InitPGOptions(); }

  void Read(const TBytes& File, TPixelGraphic& G) {
    TMemoryStream s = StreamOf(File);
    FReader.Read(s, G, 0);
  }
  TBytes Write(TPixelGraphic& G) {
    TMemoryStream s;
    FWriter.Write(s, G);
    return BytesOf(s);
  }
  TPGGraphicInfo Info(const TBytes& File) {
    TMemoryStream s = StreamOf(File);
    TPGGraphicInfo i;
    FReader.GetInfo(s, 0, i);
    return i;
  }
  // The message of the format's exception, empty when the read succeeds.
  std::string ReadError(const TBytes& File, TPGWarningAction Action = pgwaIgnore) {
    TPixelGraphic g;
    g.SetReadWarningAction(Action);
    try {
      Read(File, g);
    } catch (const Error& e) {
      return e.Message();
    }
    return "";
  }

  Reader FReader;
  Writer FWriter;
};
