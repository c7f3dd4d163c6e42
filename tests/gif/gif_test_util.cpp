#include "tests/gif/gif_test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "gif/gif_encoder.h"

std::unique_ptr<TBitmap> MakeBitmap(int32_t Width, int32_t Height,
                                    const std::function<uint32_t(int32_t, int32_t)>& Color) {
  auto bmp = std::make_unique<TBitmap>();
  bmp->SetPixelFormat(pf24bit);
  bmp->SetWidth(Width);
  bmp->SetHeight(Height);
  for (int32_t y = 0; y < Height; ++y) {
    auto* row = static_cast<uint8_t*>(bmp->ScanLine(y));
    for (int32_t x = 0; x < Width; ++x) {
      uint32_t c = Color(x, y);
      row[3 * x] = static_cast<uint8_t>(c >> 16);
      row[3 * x + 1] = static_cast<uint8_t>(c >> 8);
      row[3 * x + 2] = static_cast<uint8_t>(c);
    }
  }
  return bmp;
}

std::vector<uint8_t> EncodeGIF(TBitmap& Bitmap, bool Interlaced, bool Transparent, TColor TransparentColor) {
  TMemoryStream s;
  EXPECT_TRUE(SaveBitmapAsGIF(s, Bitmap, Interlaced, Transparent, TransparentColor));
  return s.Bytes();
}

bool DecodeGIF(TGIFDecoder& Decoder, const std::vector<uint8_t>& Bytes) {
  Decoder.ParseStream().Clear();
  Decoder.ParseStream().Bytes() = Bytes;
  return Decoder.ParseGIF();
}

uint32_t FrameColor(const TGIFFrame& Frame, int32_t x, int32_t y) {
  uint8_t i = Frame.PixelAt(x, y);
  return Frame.Palette[3 * i] | (Frame.Palette[3 * i + 1] << 8) | (Frame.Palette[3 * i + 2] << 16);
}

std::vector<TCode> ReadLZWCodes(const uint8_t* Data, size_t Size, std::vector<int32_t>* SubBlocks,
                                size_t* Consumed) {
  std::vector<TCode> codes;
  const int32_t m = Data[0];
  const int32_t clear = 1 << m;
  size_t pos = 1;
  std::vector<uint8_t> bytes;
  while (pos < Size) {
    int32_t n = Data[pos++];
    if (n == 0) break;
    if (SubBlocks) SubBlocks->push_back(n);
    bytes.insert(bytes.end(), Data + pos, Data + pos + n);
    pos += n;
  }
  if (Consumed) *Consumed = pos;
  size_t bit = 0;
  int32_t width = m + 1;
  int32_t next = clear + 2;
  bool first = true;
  while (bit + width <= bytes.size() * 8) {
    int32_t code = 0;
    for (int32_t k = 0; k < width; ++k, ++bit)
      if (bytes[bit / 8] & (1 << (bit % 8))) code |= 1 << k;
    codes.push_back({code, width});
    if (code == clear) {
      width = m + 1;
      next = clear + 2;
      first = true;
      continue;
    }
    if (code == clear + 1) break;
    if (!first && next < 4096) {
      ++next;
      if (next == (1 << width) && width < 12) ++width;
    }
    first = false;
  }
  return codes;
}

std::vector<uint8_t> PackLZWCodes(int32_t MinCodeSize, const std::vector<TCode>& Codes) {
  std::vector<uint8_t> bytes;
  uint32_t acc = 0;
  int32_t bits = 0;
  for (const TCode& c : Codes) {
    acc |= static_cast<uint32_t>(c.Code) << bits;
    bits += c.Width;
    while (bits >= 8) {
      bytes.push_back(static_cast<uint8_t>(acc));
      acc >>= 8;
      bits -= 8;
    }
  }
  if (bits > 0) bytes.push_back(static_cast<uint8_t>(acc));
  std::vector<uint8_t> out = {static_cast<uint8_t>(MinCodeSize)};
  for (size_t i = 0; i < bytes.size(); i += 255) {
    size_t n = std::min<size_t>(255, bytes.size() - i);
    out.push_back(static_cast<uint8_t>(n));
    out.insert(out.end(), bytes.begin() + static_cast<std::ptrdiff_t>(i),
               bytes.begin() + static_cast<std::ptrdiff_t>(i + n));
  }
  out.push_back(0);
  return out;
}

size_t ImageDataOffset(const std::vector<uint8_t>& Gif) {
  size_t pos = 13;
  if (Gif[10] & 0x80) pos += 3u << ((Gif[10] & 7) + 1);
  for (;;) {
    if (Gif[pos] == 0x2C) {
      uint8_t packed = Gif[pos + 9];
      pos += 10;
      if (packed & 0x80) pos += 3u << ((packed & 7) + 1);
      return pos;
    }
    pos += 2;  // an extension: skip its sub-blocks
    while (Gif[pos] != 0) pos += Gif[pos] + 1u;
    ++pos;
  }
}

std::string BuildPath(const std::string& Name) { return std::string(QUILLON_BUILD_DIR) + "/gif_test_" + Name; }

void WriteFile(const std::string& Path, const std::vector<uint8_t>& Bytes) {
  std::ofstream out(Path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
}

std::vector<uint8_t> ReadFile(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool RunTool(const std::string& Command, std::string* Output) {
  FILE* p = popen(Command.c_str(), "r");
  if (!p) return false;
  std::string out;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int rc = pclose(p);
  if (Output) *Output = std::move(out);
  return rc == 0;
}

bool HaveTool(const std::string& Name) { return RunTool("command -v " + Name + " >/dev/null 2>&1"); }
