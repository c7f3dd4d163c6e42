// Packed DIBs as the source delivers them: their layout, their colour
// table, and writing one as a BMP file.
#include <cstring>

#include "imaging/twain/pg_twain.h"
#include "platform/base/exception.h"
#include "platform/base/files.h"
#include "platform/base/safe_write.h"
#include "platform/gdi/surface.h"
#include "platform/ui/dialogs.h"

namespace {

struct TDibLayout {
  size_t HeaderSize = 0;
  size_t TableSize = 0;  // colour table, or the three masks of BI_BITFIELDS
  size_t BitsSize = 0;
  bool Core = false;
  bool Uncompressed = false;
};

uint32_t ReadU32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
uint16_t ReadU16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}

bool ValidBitCount(uint32_t Bits) {
  return Bits == 1 || Bits == 4 || Bits == 8 || Bits == 16 || Bits == 24 || Bits == 32;
}

// Rows padded to 32 bits, in 64 bits so that no size wraps.
uint64_t RowsSize(uint64_t Width, uint64_t Height, uint64_t Bits) { return (Width * Bits + 31) / 32 * 4 * Height; }

// The layout of a packed DIB from its header; false for a header that
// describes no image or more bytes than Available.
bool DibLayout(const uint8_t* Dib, size_t Available, TDibLayout& L) {
  if (!Dib || Available < 12) return false;
  uint32_t HeaderSize = ReadU32(Dib);
  if (HeaderSize == 12) {
    BITMAPCOREHEADER H;
    std::memcpy(&H, Dib, sizeof(H));
    if (!ValidBitCount(H.bcBitCount) || H.bcWidth == 0 || H.bcHeight == 0) return false;
    L.Core = true;
    L.Uncompressed = true;
    L.HeaderSize = 12;
    L.TableSize = H.bcBitCount <= 8 ? 3u << H.bcBitCount : 0;
    L.BitsSize = RowsSize(H.bcWidth, H.bcHeight, H.bcBitCount);
  } else {
    if (HeaderSize < 40 || HeaderSize > Available) return false;
    BITMAPINFOHEADER H;
    std::memcpy(&H, Dib, sizeof(H));
    if (H.biWidth <= 0 || H.biHeight == 0 || H.biHeight == INT32_MIN || !ValidBitCount(H.biBitCount)) return false;
    uint64_t Colours = H.biClrUsed;
    if (Colours == 0 && H.biBitCount <= 8) Colours = 1u << H.biBitCount;
    if (Colours > 65536) return false;
    L.HeaderSize = HeaderSize;
    L.TableSize = Colours * 4;
    if (H.biCompression == BI_BITFIELDS && HeaderSize == 40) L.TableSize += 12;
    L.Uncompressed = H.biCompression == BI_RGB || H.biCompression == BI_BITFIELDS;
    if (L.Uncompressed) {
      uint64_t Height = H.biHeight < 0 ? -static_cast<int64_t>(H.biHeight) : H.biHeight;
      uint64_t Bits = RowsSize(static_cast<uint64_t>(H.biWidth), Height, H.biBitCount);
      if (Bits > (uint64_t{1} << 40)) return false;
      L.BitsSize = Bits;
    } else {
      if (H.biSizeImage == 0) return false;
      L.BitsSize = H.biSizeImage;
    }
  }
  return static_cast<uint64_t>(L.HeaderSize) + L.TableSize + L.BitsSize <= Available;
}

// Asks for a BMP file name; empty when cancelled.
std::string AskBmpFileName() {
  TSaveDialog Dialog(nullptr);
  Dialog.SetFilter("Windows Bitmap (*.bmp)|*.bmp");
  Dialog.SetOptions(ofOverwritePrompt | ofHideReadOnly | ofNoReadOnlyReturn);
  if (!Dialog.Execute()) return std::string();
  std::string Name = Dialog.FileName();
  if (ExtractFileExt(Name).empty()) Name += ".bmp";
  return Name;
}

}  // namespace

uint32_t TWAIN_DibColorCount(const uint8_t* Dib) {
  if (!Dib) return 0;
  uint32_t Bits;
  uint32_t Colours;
  if (ReadU32(Dib) == 12) {
    Bits = ReadU16(Dib + 10);
    Colours = 0;
  } else {
    Bits = ReadU16(Dib + 14);
    Colours = ReadU32(Dib + 32);
  }
  if (Colours == 0) {
    if (Bits > 8) return 0;
    Colours = 1u << Bits;
  }
  return Colours > 256 ? 0 : Colours;
}

const uint8_t* TWAIN_DibBits(const uint8_t* Dib) {
  if (!Dib) return nullptr;
  uint32_t HeaderSize = ReadU32(Dib);
  if (HeaderSize == 12) return Dib + 12 + 3 * TWAIN_DibColorCount(Dib);
  const uint8_t* Bits = Dib + HeaderSize + 4 * TWAIN_DibColorCount(Dib);
  if (HeaderSize == 40 && ReadU32(Dib + 16) == BI_BITFIELDS) Bits += 12;
  return Bits;
}

size_t TWAIN_DibSize(const uint8_t* Dib, size_t Available) {
  TDibLayout L;
  if (!DibLayout(Dib, Available, L)) return 0;
  return L.HeaderSize + L.TableSize + L.BitsSize;
}

int32_t TWAIN_SaveDibToBmpFile(HGLOBAL Dib, const std::string& FileName) {
  std::string Name = FileName;
  if (Name.empty()) {
    Name = AskBmpFileName();
    if (Name.empty()) return -1;
  }
  auto* Data = static_cast<uint8_t*>(GlobalLock(Dib));
  if (!Data) return -3;
  TDibLayout L;
  bool Ok = DibLayout(Data, GlobalSize(Dib), L);
  BITMAPFILEHEADER FileHeader;
  uint64_t FileSize = 0;
  if (Ok) {
    // The image size is recomputed for uncompressed DIBs and kept in the
    // DIB's own header.
    if (!L.Core) {
      uint32_t SizeImage = static_cast<uint32_t>(L.BitsSize);
      if (L.Uncompressed) std::memcpy(Data + 20, &SizeImage, 4);
    }
    FileHeader.bfOffBits = static_cast<uint32_t>(sizeof(BITMAPFILEHEADER) + L.HeaderSize + L.TableSize);
    FileSize = uint64_t{FileHeader.bfOffBits} + L.BitsSize;
    Ok = FileSize <= UINT32_MAX;
    FileHeader.bfSize = static_cast<uint32_t>(FileSize);
  }
  int32_t Result = Ok ? 0 : -4;
  if (Ok) {
    // The file is replaced only once all of it is on the disk.
    try {
      SafeWriteFile(Name, [&](TStream& Out) {
        Out.WriteBuffer(&FileHeader, sizeof(FileHeader));
        Out.WriteBuffer(Data, static_cast<int64_t>(FileSize - sizeof(BITMAPFILEHEADER)));
      });
    } catch (const EFCreateError&) {
      Result = -2;
    } catch (const Exception&) {
      Result = -4;
    }
  }
  GlobalUnlock(Dib);
  return Result;
}
