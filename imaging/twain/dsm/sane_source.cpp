// Scanning through SANE for the source manager: one single-pass scan of a
// device (grey 1, 8 or 16 bits, or RGB 8 or 16 bits) turned into a packed
// DIB. Built only where the SANE library is there.
#include "imaging/twain/dsm/sane_source.h"

#ifdef QUILLON_HAVE_SANE

#include <sane/sane.h>

#include <cstring>
#include <vector>

namespace {

constexpr uint64_t MaxScanBytes = uint64_t{1} << 30;

void Put16(std::vector<uint8_t>& B, uint32_t V) {
  B.push_back(static_cast<uint8_t>(V));
  B.push_back(static_cast<uint8_t>(V >> 8));
}
void Put32(std::vector<uint8_t>& B, uint32_t V) {
  Put16(B, V);
  Put16(B, V >> 16);
}

// One sample of row data: 8-bit as is, 16-bit (host order) by its high byte.
uint8_t Sample(const uint8_t* Row, size_t Index, int32_t Depth) {
  if (Depth == 8) return Row[Index];
  uint16_t V;
  std::memcpy(&V, Row + 2 * Index, 2);
  return static_cast<uint8_t>(V >> 8);
}

// The scanned rows (top first) as a packed DIB block.
TW_HANDLE MakeDib(const SANE_Parameters& P, const std::vector<uint8_t>& Data, size_t Lines) {
  const bool Rgb = P.format == SANE_FRAME_RGB;
  const uint32_t Bits = Rgb ? 24 : (P.depth == 1 ? 1 : 8);
  const uint64_t Width = static_cast<uint64_t>(P.pixels_per_line);
  const uint64_t Stride = (Width * Bits + 31) / 32 * 4;
  const uint32_t Colours = Rgb ? 0 : (Bits == 1 ? 2 : 256);
  if (Stride * Lines > MaxScanBytes) return nullptr;
  std::vector<uint8_t> B;
  Put32(B, 40);
  Put32(B, static_cast<uint32_t>(Width));
  Put32(B, static_cast<uint32_t>(Lines));
  Put16(B, 1);
  Put16(B, Bits);
  Put32(B, 0);
  Put32(B, static_cast<uint32_t>(Stride * Lines));
  Put32(B, 0);
  Put32(B, 0);
  Put32(B, Colours);
  Put32(B, 0);
  for (uint32_t i = 0; i < Colours; ++i) {
    // Line art: a set bit is black.
    uint8_t Level = Bits == 1 ? (i == 0 ? 255 : 0) : static_cast<uint8_t>(i);
    B.insert(B.end(), {Level, Level, Level, 0});
  }
  const size_t Header = B.size();
  B.resize(Header + Stride * Lines, 0);
  for (size_t y = 0; y < Lines; ++y) {
    const uint8_t* Src = Data.data() + y * static_cast<size_t>(P.bytes_per_line);
    uint8_t* Dst = B.data() + Header + (Lines - 1 - y) * Stride;  // bottom-up
    if (Bits == 1) {
      std::memcpy(Dst, Src, (Width + 7) / 8);
    } else if (!Rgb) {
      for (size_t x = 0; x < Width; ++x) Dst[x] = Sample(Src, x, P.depth);
    } else {
      for (size_t x = 0; x < Width; ++x) {
        Dst[3 * x + 0] = Sample(Src, 3 * x + 2, P.depth);
        Dst[3 * x + 1] = Sample(Src, 3 * x + 1, P.depth);
        Dst[3 * x + 2] = Sample(Src, 3 * x + 0, P.depth);
      }
    }
  }
  TW_HANDLE Block = TW_AllocHandle(B.size());
  if (Block) std::memcpy(Block, B.data(), B.size());
  return Block;
}

bool Supported(const SANE_Parameters& P) {
  if (!P.last_frame || P.pixels_per_line <= 0 || P.bytes_per_line <= 0) return false;
  const uint64_t Width = static_cast<uint64_t>(P.pixels_per_line);
  const uint64_t Need = P.format == SANE_FRAME_RGB ? Width * 3 * (P.depth / 8) : (P.depth == 1 ? (Width + 7) / 8 : Width * (P.depth / 8));
  if (P.format == SANE_FRAME_GRAY && (P.depth == 1 || P.depth == 8 || P.depth == 16))
    return static_cast<uint64_t>(P.bytes_per_line) >= Need;
  if (P.format == SANE_FRAME_RGB && (P.depth == 8 || P.depth == 16))
    return static_cast<uint64_t>(P.bytes_per_line) >= Need;
  return false;
}

TSaneResult Scan(SANE_Handle H, TW_HANDLE& Dib) {
  SANE_Status S = sane_start(H);
  if (S == SANE_STATUS_CANCELLED) return srCancelled;
  if (S != SANE_STATUS_GOOD) return srFailed;
  SANE_Parameters P;
  if (sane_get_parameters(H, &P) != SANE_STATUS_GOOD || !Supported(P)) return srFailed;
  std::vector<uint8_t> Data;
  std::vector<uint8_t> Buffer(1 << 16);
  for (;;) {
    SANE_Int Got = 0;
    S = sane_read(H, Buffer.data(), static_cast<SANE_Int>(Buffer.size()), &Got);
    if (S == SANE_STATUS_EOF) break;
    if (S == SANE_STATUS_CANCELLED) return srCancelled;
    if (S != SANE_STATUS_GOOD) return srFailed;
    if (Data.size() + static_cast<size_t>(Got) > MaxScanBytes) return srFailed;
    Data.insert(Data.end(), Buffer.begin(), Buffer.begin() + Got);
  }
  size_t Lines = Data.size() / static_cast<size_t>(P.bytes_per_line);
  if (P.lines > 0 && static_cast<size_t>(P.lines) < Lines) Lines = static_cast<size_t>(P.lines);
  if (Lines == 0) return srFailed;
  Dib = MakeDib(P, Data, Lines);
  return Dib ? srDone : srFailed;
}

}  // namespace

bool SaneBuilt() { return true; }

TSaneResult SaneScan(const std::string& Device, TW_HANDLE& Dib) {
  Dib = nullptr;
  SANE_Int Version = 0;
  if (sane_init(&Version, nullptr) != SANE_STATUS_GOOD) return srFailed;
  std::string Name = Device;
  if (Name.empty()) {
    const SANE_Device** List = nullptr;
    if (sane_get_devices(&List, SANE_TRUE) == SANE_STATUS_GOOD && List && List[0]) Name = List[0]->name;
  }
  TSaneResult Result = srFailed;
  SANE_Handle H = nullptr;
  if (!Name.empty() && sane_open(Name.c_str(), &H) == SANE_STATUS_GOOD) {
    Result = Scan(H, Dib);
    sane_cancel(H);
    sane_close(H);
  }
  sane_exit();
  return Result;
}

#else

bool SaneBuilt() { return false; }

TSaneResult SaneScan(const std::string&, TW_HANDLE& Dib) {
  Dib = nullptr;
  return srFailed;
}

#endif
