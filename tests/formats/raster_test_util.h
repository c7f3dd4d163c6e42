// Helpers of the PCX, PNM, TGA and TIFF tests: images built in the test,
// reading and writing through one reader or writer, and decoding files with
// the independent tools installed by the test command.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/file_formats.h"
#include "imaging/core/options.h"
#include "imaging/core/pixel_graphic.h"
#include "imaging/formats/pg_startup.h"
#include "platform/base/stream.h"

namespace rastertest {

using Bytes = std::vector<uint8_t>;

// The low N bytes of V onto B, least significant first.
inline void PutLe(Bytes& B, uint32_t V, int N) {
  for (int i = 0; i < N; ++i) B.push_back(static_cast<uint8_t>(V >> (8 * i)));
}

// A test with the library started around it: readers and writers
// registered, options at their start-up values.
class TStartedLibraryTest : public ::testing::Test {
protected:
  void SetUp() override { PGraphicInitialization(); }
  void TearDown() override { PGraphicFinalization(); }
};

inline std::unique_ptr<TPixelGraphic> Read(TFileFormatReader& Reader, const Bytes& Data,
                                           int32_t Index = 0) {
  TMemoryStream Stream;
  if (!Data.empty()) Stream.WriteBuffer(Data.data(), static_cast<int64_t>(Data.size()));
  Stream.SetPosition(0);
  auto Graphic = std::make_unique<TPixelGraphic>();
  Reader.Read(Stream, *Graphic, Index);
  return Graphic;
}

inline TPGGraphicInfo Info(TFileFormatReader& Reader, const Bytes& Data, int32_t Index = 0) {
  TMemoryStream Stream;
  Stream.WriteBuffer(Data.data(), static_cast<int64_t>(Data.size()));
  Stream.SetPosition(0);
  TPGGraphicInfo Result;
  Reader.GetInfo(Stream, Index, Result);
  return Result;
}

inline Bytes Write(TFileFormatWriter& Writer, TPixelGraphic& Graphic) {
  TMemoryStream Stream;
  Writer.Write(Stream, Graphic);
  return Stream.Bytes();
}

// The colours of an image, row by row from the top: red, green, blue.
inline Bytes RGB(TPixelGraphic& Graphic) {
  Bytes Result;
  for (int32_t y = 0; y < Graphic.GetHeight(); ++y)
    for (int32_t x = 0; x < Graphic.GetWidth(); ++x) {
      TColor C = Graphic.GetPixelColor(x, y);
      Result.push_back(static_cast<uint8_t>(C));
      Result.push_back(static_cast<uint8_t>(C >> 8));
      Result.push_back(static_cast<uint8_t>(C >> 16));
    }
  return Result;
}

// A 24-bit image with a smooth, distinct colour per pixel.
inline std::unique_ptr<TPixelGraphic> Pattern24(int32_t Width, int32_t Height) {
  auto G = std::make_unique<TPixelGraphic>();
  G->NewImage(Width, Height, pf24Bit);
  for (int32_t y = 0; y < Height; ++y)
    for (int32_t x = 0; x < Width; ++x)
      G->SetPixel(x, y, static_cast<uint32_t>((x * 7 + y) & 0xFF) | ((y * 5) & 0xFF) << 8 |
                            static_cast<uint32_t>((x * y + 40) & 0xFF) << 16);
  return G;
}

// A palette image whose pixels cycle through the palette.
inline std::unique_ptr<TPixelGraphic> PatternIndexed(int32_t Width, int32_t Height, uint8_t Format,
                                                     TPaletteIdent Ident) {
  auto G = std::make_unique<TPixelGraphic>();
  G->NewImage(Width, Height, Format);
  G->SetPaletteIdent(Ident);
  if (Ident == pUnknown) {
    int32_t n = Format == pf1Bit ? 2 : Format == pf4Bit ? 16 : 256;
    G->SetPaletteCount(n);
    for (int32_t i = 0; i < n; ++i)
      G->SetPaletteEntry(i, static_cast<TColor>((i * 37) & 0xFF) | ((i * 11) & 0xFF) << 8 |
                                static_cast<TColor>((255 - i) & 0xFF) << 16);
  }
  const int32_t Count = G->PaletteCount();
  for (int32_t y = 0; y < Height; ++y)
    for (int32_t x = 0; x < Width; ++x)
      G->SetPixel(x, y, static_cast<uint32_t>((x + 3 * y + x * y / 5) % Count));
  return G;
}

// Restores the library options a test changes.
class TOptionsGuard {
public:
  TOptionsGuard()
      : FRead(PGReadChunks), FWrite(PGWriteChunks), FBinary(PxMWriteBinary), FCount(TIFFCountPages),
        FMax(TIFFMaxPages), FCompression(TIFFCompression), FCMYK(TIFFWriteCMYK),
        FWhite(TIFFWhiteIsZero), FMotorola(TIFFMotorolaOrder), FCm(TIFFResolutionUnitCm),
        FMaxSize(PGMaxImageSize) {}
  ~TOptionsGuard() {
    PGReadChunks = FRead;
    PGWriteChunks = FWrite;
    PxMWriteBinary = FBinary;
    TIFFCountPages = FCount;
    TIFFMaxPages = FMax;
    TIFFCompression = FCompression;
    TIFFWriteCMYK = FCMYK;
    TIFFWhiteIsZero = FWhite;
    TIFFMotorolaOrder = FMotorola;
    TIFFResolutionUnitCm = FCm;
    PGMaxImageSize = FMaxSize;
  }

private:
  bool FRead, FWrite, FBinary, FCount;
  int32_t FMax, FCompression;
  bool FCMYK, FWhite, FMotorola, FCm;
  uint32_t FMaxSize;
};

// ---- independent tools

// One folder per test process, removed when the process ends.
inline std::filesystem::path TempDir() {
  static const std::filesystem::path* Dir = [] {
    std::string Template = (std::filesystem::temp_directory_path() / "quillon-rasters-XXXXXX").string();
    char* Made = mkdtemp(Template.data());
    auto* Path = new std::filesystem::path(Made ? Made : Template);
    std::atexit([] {
      std::error_code Ignored;
      std::filesystem::remove_all(*Dir, Ignored);
    });
    return Path;
  }();
  return *Dir;
}

inline std::string TempFile(const std::string& Name) { return (TempDir() / Name).string(); }

inline bool HaveTool(const std::string& Name) {
  return std::system(("command -v " + Name + " >/dev/null 2>&1").c_str()) == 0;
}

// Debian's own interpreter and ImageMagick, whatever else stands first in PATH.
constexpr const char* Python = "/usr/bin/python3";
constexpr const char* ImageMagick = "/usr/bin/convert";

inline bool HavePIL() {
  return std::system((std::string(Python) + " -c 'import PIL' >/dev/null 2>&1").c_str()) == 0;
}

inline bool RunTool(const std::string& Command) {
  return std::system(("(" + Command + ") >/dev/null 2>&1").c_str()) == 0;
}

inline void SaveFile(const std::string& Name, const Bytes& Data) {
  std::ofstream(Name, std::ios::binary).write(reinterpret_cast<const char*>(Data.data()),
                                               static_cast<std::streamsize>(Data.size()));
}

inline Bytes LoadFile(const std::string& Name) {
  std::ifstream In(Name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(In), {});
}

struct TDecoded {
  int32_t Width = -1, Height = -1;
  Bytes Pixels;  // red, green, blue, rows from the top
};

// Decodes page Page of a file with the imaging library of python3-pil, as
// Mode ("RGB", or "CMYK" for the samples of a CMYK file).
inline TDecoded DecodeWithPIL(const std::string& File, int Page = 0, const std::string& Mode = "RGB") {
  std::string Out = File + ".rgb";
  std::string Script =
      "import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1])\nim.seek(int(sys.argv[3]))\n"
      "rgb = im.convert(sys.argv[4])\nopen(sys.argv[2], 'wb').write(b'%d %d\\n' % rgb.size + rgb.tobytes())\n";
  std::string ScriptFile = TempFile("decode.py");
  SaveFile(ScriptFile, Bytes(Script.begin(), Script.end()));
  TDecoded D;
  if (!RunTool(std::string(Python) + " " + ScriptFile + " " + File + " " + Out + " " + std::to_string(Page) + " " + Mode)) return D;
  Bytes All = LoadFile(Out);
  auto Newline = std::find(All.begin(), All.end(), '\n');
  std::string Head(All.begin(), Newline);
  std::sscanf(Head.c_str(), "%d %d", &D.Width, &D.Height);
  D.Pixels.assign(Newline + 1, All.end());
  return D;
}

}  // namespace rastertest
