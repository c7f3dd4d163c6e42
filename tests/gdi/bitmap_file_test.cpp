// TBitmap's bitmap-file reader on files built byte by byte: the forms no
// tool at hand writes (RLE4, 108-byte headers, top-down rows, wide bit
// fields), the forms it refuses, and hostile run-length data.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/base/stream.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/clipboard_formats.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& B, uint32_t V) { B.insert(B.end(), {uint8_t(V), uint8_t(V >> 8)}); }
void Put32(Bytes& B, uint32_t V) { B.insert(B.end(), {uint8_t(V), uint8_t(V >> 8), uint8_t(V >> 16), uint8_t(V >> 24)}); }

struct TBmp {
  uint32_t HeaderSize = 40;
  int32_t Width = 1, Height = 1;
  uint16_t Planes = 1, Bits = 8;
  uint32_t Compression = 0, Used = 0;
  std::vector<uint32_t> Masks;  // inside headers above 40 bytes, else after the header
  Bytes Table;                  // 4 bytes an entry
  Bytes Rows;
  uint32_t FileSize = 0;  // 0: the true size

  Bytes File() const {
    Bytes h;
    Put32(h, HeaderSize);
    Put32(h, static_cast<uint32_t>(Width));
    Put32(h, static_cast<uint32_t>(Height));
    Put16(h, Planes);
    Put16(h, Bits);
    Put32(h, Compression);
    Put32(h, static_cast<uint32_t>(Rows.size()));
    Put32(h, 2835);
    Put32(h, 2835);
    Put32(h, Used);
    Put32(h, 0);
    for (uint32_t m : Masks) Put32(h, m);
    if (HeaderSize > 40) h.resize(std::max<size_t>(h.size(), HeaderSize), 0);
    h.insert(h.end(), Table.begin(), Table.end());
    Bytes f = {'B', 'M'};
    Put32(f, FileSize ? FileSize : static_cast<uint32_t>(14 + h.size() + Rows.size()));
    Put32(f, 0);
    Put32(f, static_cast<uint32_t>(14 + h.size()));
    f.insert(f.end(), h.begin(), h.end());
    f.insert(f.end(), Rows.begin(), Rows.end());
    return f;
  }
};

// Four colours: black, red, green, blue.
const Bytes FourColours = {0, 0, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0};
const TColor Colour[] = {clBlack, clRed, clLime, clBlue};

void Load(TBitmap& B, const Bytes& File) {
  TMemoryStream s;
  s.Bytes() = File;
  B.LoadFromStream(s);
}

// The pixels as colour numbers of Colour, rows from the top, one string a row.
std::vector<std::string> Picture(TBitmap& B) {
  std::vector<std::string> rows;
  for (int32_t y = 0; y < B.Height(); ++y) {
    std::string row;
    for (int32_t x = 0; x < B.Width(); ++x) {
      const TColor c = B.Canvas()->Pixels(x, y);
      char k = '?';
      for (int i = 0; i < 4; ++i)
        if (Colour[i] == c) k = static_cast<char>('0' + i);
      row += k;
    }
    rows.push_back(row);
  }
  return rows;
}

TEST(BitmapFile, ReadsRunLengthCodedRowsBottomUp) {
  TBmp rle8;
  rle8.Width = 5;
  rle8.Height = 4;
  rle8.Compression = 1;
  rle8.Used = 4;
  rle8.Table = FourColours;
  rle8.Rows = {3, 1,            // three of colour 1
               0, 3, 2, 3, 1, 0,  // literal 2 3 1, padded; the last pixel lies past the width
               0, 0,            // end of line
               0, 2, 2, 1,      // two right, one up: a row skipped
               2, 3, 0, 0,      // two of colour 3, end of line
               5, 2, 0, 1};     // five of colour 2, end of bitmap
  TBitmap b;
  Load(b, rle8.File());
  EXPECT_EQ(b.PixelFormat(), pf8bit);
  EXPECT_EQ(Picture(b), (std::vector<std::string>{"22222", "00330", "00000", "11123"}));

  TBmp rle4;
  rle4.Width = 5;
  rle4.Height = 2;
  rle4.Bits = 4;
  rle4.Compression = 2;
  rle4.Used = 4;
  rle4.Table = FourColours;
  rle4.Rows = {5, 0x12, 0, 0,                  // 1 2 1 2 1
               0, 5, 0x31, 0x23, 0x10, 0x00,   // literal of five: three bytes and a pad byte
               0, 1};
  Load(b, rle4.File());
  EXPECT_EQ(b.PixelFormat(), pf4bit);
  EXPECT_EQ(Picture(b), (std::vector<std::string>{"31231", "12121"}));

  // Data that stops short keeps what came before; the rest is colour 0.
  const Bytes whole = rle8.File();
  rle8.Rows.resize(8);
  Load(b, rle8.File());
  EXPECT_EQ(Picture(b), (std::vector<std::string>{"00000", "00000", "00000", "11123"}));
  // A file cut inside its run-length data is damaged, not blank: refused as
  // a stream that ends early, whether the header gives the data's size or not.
  const Bytes cut(whole.begin(), whole.end() - 12);
  EXPECT_THROW(Load(b, cut), EReadError);
  Bytes unsized = cut;
  unsized[14 + 20] = 0;  // biSizeImage
  EXPECT_THROW(Load(b, unsized), EReadError);
  EXPECT_EQ(Picture(b), (std::vector<std::string>{"00000", "00000", "00000", "11123"}));
}

TEST(BitmapFile, ReadsLongHeadersBitFieldsAndTopDownRows) {
  // A 108-byte header with 10-bit channels in 32 bits.
  TBmp wide;
  wide.HeaderSize = 108;
  wide.Width = 2;
  wide.Bits = 32;
  wide.Compression = 3;
  wide.Masks = {0x3FF00000, 0x000FFC00, 0x000003FF};
  Put32(wide.Rows, (1023u << 20) | (512u << 10));
  Put32(wide.Rows, 1023u);
  TBitmap b;
  Load(b, wide.File());
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), RGB(255, 128, 0));
  EXPECT_EQ(b.Canvas()->Pixels(1, 0), RGB(0, 0, 255));

  // 16 bits without masks are 5-5-5; a negative height stores the top row first.
  TBmp low;
  low.Width = 2;
  low.Height = -2;
  low.Bits = 16;
  for (uint32_t p : {0x7FFFu, 0x001Fu, 0x7C00u, 0x03E0u}) Put16(low.Rows, p);
  low.FileSize = 20;  // a wrong size field does not matter
  Load(b, low.File());
  EXPECT_EQ(Picture(b), (std::vector<std::string>{"?3", "12"}));
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), clWhite);

  // 5-6-5 masks after a 40-byte header and a 124-byte header.
  for (uint32_t size : {40u, 124u}) {
    TBmp fields;
    fields.HeaderSize = size;
    fields.Width = 3;
    fields.Bits = 16;
    fields.Compression = 3;
    fields.Masks = {0xF800, 0x07E0, 0x001F};
    for (uint32_t p : {0xF800u, 0x07E0u, 0x8410u, 0u}) Put16(fields.Rows, p);  // and the row's padding
    Load(b, fields.File());
    EXPECT_EQ(b.Canvas()->Pixels(0, 0), clRed) << size;
    EXPECT_EQ(b.Canvas()->Pixels(1, 0), clLime) << size;
    EXPECT_EQ(b.Canvas()->Pixels(2, 0), RGB(136, 132, 136)) << size;  // 16 and 32 shifted, their lowest step added
  }
}

TEST(BitmapFile, RefusesOtherFormsAndHostileData) {
  auto refused = [](const TBmp& Bmp) {
    TBitmap b;
    try {
      Load(b, Bmp.File());
    } catch (const EInvalidGraphic& e) {
      return std::string(e.what()) == "Bitmap image is not valid";
    }
    return false;
  };
  TBmp plain;
  plain.Used = 4;
  plain.Table = FourColours;
  plain.Rows = {0, 0, 0, 0};
  TBmp t = plain;
  ASSERT_FALSE(refused(t));
  for (uint32_t size : {16u, 52u, 64u}) {
    t = plain;
    t.HeaderSize = size;
    EXPECT_TRUE(refused(t)) << size;
  }
  t = plain;
  t.Compression = 1;
  t.Height = -1;  // run-length rows are never top-down
  EXPECT_TRUE(refused(t));
  t = plain;
  t.Compression = 2;  // RLE4 on 8 bits
  EXPECT_TRUE(refused(t));
  t = plain;
  t.Compression = 4;  // embedded JPEG
  EXPECT_TRUE(refused(t));
  t = plain;
  t.Bits = 24;
  t.Compression = 3;
  t.Masks = {0xFF0000, 0xFF00, 0xFF};
  EXPECT_TRUE(refused(t));
  t.Bits = 16;
  t.Masks = {0xF00F, 0x0F00, 0x00F0};  // a mask with a hole
  EXPECT_TRUE(refused(t));
  t = plain;
  t.Planes = 2;
  EXPECT_TRUE(refused(t));

  // Runs past the width and moves past the top stay inside the picture, a
  // literal run takes the pixels whose bytes are there; a picture too large
  // for memory is refused, not allocated.
  TBmp hostile;
  hostile.Width = 3;
  hostile.Height = 2;
  hostile.Compression = 1;
  hostile.Table = FourColours;
  hostile.Used = 4;
  TBitmap b;
  for (const auto& [rows, top] : {std::pair{Bytes{255, 1, 0, 2, 255, 255, 3, 2, 0, 1}, "000"},
                                   std::pair{Bytes{255, 1, 0, 0, 0, 200, 2, 3}, "230"}}) {
    hostile.Rows = rows;
    Load(b, hostile.File());
    EXPECT_EQ(Picture(b), (std::vector<std::string>{top, "111"}));
  }
  // Pictures over the image-size cap are refused before their memory is
  // taken, from a file, a stream or the clipboard.
  auto tooLarge = [](const std::function<void()>& Read) {
    try {
      Read();
    } catch (const EInvalidGraphic& e) {
      return std::string(e.what()) == "Bitmap image is too large";
    }
    return false;
  };
  hostile.Width = hostile.Height = 60000;
  EXPECT_TRUE(tooLarge([&] { Load(b, hostile.File()); }));
  const uint32_t cap = MaxImageBytes;
  MaxImageBytes = 40 * 40 - 1;
  hostile.Width = hostile.Height = 40;
  const Bytes file = hostile.File();
  EXPECT_TRUE(tooLarge([&] { Load(b, file); }));
  HGLOBAL dib = GlobalFromBytes(Bytes(file.begin() + 14, file.end()));
  EXPECT_TRUE(tooLarge([&] { b.LoadFromClipboardFormat(CF_DIB, dib, nullptr); }));
  GlobalFree(dib);
  TBitmap source;
  source.SetPixelFormat(pf8bit);
  source.SetSize(40, 40);
  EXPECT_TRUE(tooLarge([&] { b.LoadFromClipboardFormat(CF_BITMAP, reinterpret_cast<uintptr_t>(source.Handle()), nullptr); }));
  MaxImageBytes = cap;
  EXPECT_FALSE(tooLarge([&] { Load(b, file); }));
}

}  // namespace
