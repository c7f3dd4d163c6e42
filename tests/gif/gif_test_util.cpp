#include "tests/gif/gif_test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <cmath>
#include <iterator>
#include <sstream>


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

// Every frame of a GIF file as ImageMagick decodes it, uncomposed.
std::vector<TToolFrame> MagickFrames(const std::string& path) {
  std::string geometry, raw;
  EXPECT_TRUE(RunTool("identify -format '%w %h %X %Y\\n' '" + path + "'", &geometry));
  EXPECT_TRUE(RunTool("convert '" + path + "' -depth 8 rgba:-", &raw));
  std::vector<TToolFrame> frames;
  std::istringstream in(geometry);
  size_t at = 0;
  TToolFrame f;
  while (in >> f.Width >> f.Height >> f.Left >> f.Top) {
    size_t n = static_cast<size_t>(f.Width) * f.Height * 4;
    if (at + n > raw.size()) break;
    f.Rgba.assign(raw.begin() + static_cast<std::ptrdiff_t>(at), raw.begin() + static_cast<std::ptrdiff_t>(at + n));
    at += n;
    frames.push_back(f);
  }
  EXPECT_EQ(at, raw.size());
  return frames;
}

// Compares our decoding of a file with ImageMagick's, frame by frame.
void ExpectSameAsMagick(const std::string& Path, TGIFDecoder& d) {
  const std::string& path = Path;
  std::vector<TToolFrame> theirs = MagickFrames(path);
  ASSERT_EQ(static_cast<int32_t>(theirs.size()), d.FrameCount()) << path;
  for (int32_t i = 1; i <= d.FrameCount(); ++i) {
    const TGIFFrame& f = d.Frame(i);
    const TToolFrame& t = theirs[i - 1];
    ASSERT_EQ(f.Width, t.Width) << path;
    ASSERT_EQ(f.Height, t.Height);
    EXPECT_EQ(f.Left, t.Left);
    EXPECT_EQ(f.Top, t.Top);
    for (int32_t y = 0; y < f.Height; ++y)
      for (int32_t x = 0; x < f.Width; ++x) {
        const uint8_t* p = &t.Rgba[(static_cast<size_t>(y) * f.Width + x) * 4];
        bool transparent = p[3] == 0;
        ASSERT_EQ(f.MaskAt(x, y), transparent) << path << " frame " << i << " at " << x << "," << y;
        if (!transparent) {
          ASSERT_EQ(FrameColor(f, x, y), p[0] | (p[1] << 8) | (p[2] << 16))
              << path << " frame " << i << " at " << x << "," << y;
        }
      }
  }
}

uint32_t PhotoColor(int32_t x, int32_t y, int32_t levels) {
  double r = 0.5 + 0.5 * std::sin(x * 0.07 + y * 0.02), g = 0.5 + 0.5 * std::cos(y * 0.05 - x * 0.01),
         b = 0.5 + 0.5 * std::sin((x + y) * 0.03);
  auto q = [levels](double v) { return static_cast<uint32_t>(static_cast<int>(v * (levels - 1) + 0.5) * 255 / (levels - 1)); };
  return q(r) | (q(g) << 8) | (q(b) << 16);
}


std::vector<uint8_t> Bytes(std::initializer_list<int> List) { return std::vector<uint8_t>(List.begin(), List.end()); }

std::vector<uint8_t> CommentBlock(const std::string& Text) {
  TMemoryStream s;
  WriteGIFComment(s, Text);
  return s.Bytes();
}

std::vector<int32_t> CodeValues(const std::vector<TCode>& Codes) {
  std::vector<int32_t> v;
  for (const TCode& c : Codes) v.push_back(c.Code);
  return v;
}
