// Scanning through SANE for the source manager. Pixel types are SANE's
// scan modes: line art (TWPT_BW), grey (TWPT_GRAY) and colour (TWPT_RGB),
// grey and colour at 8 bits per sample when the device offers it. A scan is
// single-pass grey of 1, 8 or 16 bits or RGB of 8 or 16 bits, read in pieces
// of at most 64 KiB; the lines arrive top first and become a bottom-up DIB
// of 1 bit (a set bit is black), 8 bits (a grey table) or 24 bits.
#include "imaging/twain/dsm/sane_source.h"

#ifdef QUILLON_HAVE_SANE

#include <sane/sane.h>
#include <sane/saneopts.h>
#include <strings.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr uint64_t MaxScanBytes = uint64_t{1} << 30;  // of DIB pixels
constexpr size_t PieceBytes = size_t{1} << 16;

bool Started = false;
SANE_Handle Device = nullptr;

TSaneFailure Failed(SANE_Status S) {
  TSaneFailure F;
  switch (S) {
    case SANE_STATUS_NO_MEM: F.Condition = TWCC_LOWMEMORY; break;
    case SANE_STATUS_DEVICE_BUSY: F.Condition = TWCC_MAXCONNECTIONS; break;
    default: F.Condition = TWCC_OPERATIONERROR; break;
  }
  F.Text = sane_strstatus(S);
  return F;
}

bool Contains(const char* Text, const char* Word) { return ::strcasestr(Text, Word) != nullptr; }

// The pixel type of a scan mode's name, or -1 for modes such as halftone.
int32_t ModeType(const char* Mode) {
  if (Contains(Mode, "color") || Contains(Mode, "colour")) return TWPT_RGB;
  if (Contains(Mode, "gray") || Contains(Mode, "grey")) return TWPT_GRAY;
  if (Contains(Mode, "lineart") || Contains(Mode, "line art") || Contains(Mode, "binary")) return TWPT_BW;
  return -1;
}

// The open device's option named Name of Type that can be set now, or -1.
SANE_Int FindOption(const char* Name, SANE_Value_Type Type) {
  SANE_Int Count = 0;  // option 0 holds the number of options
  if (sane_control_option(Device, 0, SANE_ACTION_GET_VALUE, &Count, nullptr) != SANE_STATUS_GOOD) return -1;
  for (SANE_Int i = 1; i < Count; ++i) {
    const SANE_Option_Descriptor* D = sane_get_option_descriptor(Device, i);
    if (D && D->name && std::strcmp(D->name, Name) == 0 && D->type == Type && SANE_OPTION_IS_ACTIVE(D->cap) &&
        SANE_OPTION_IS_SETTABLE(D->cap))
      return i;
  }
  return -1;
}

// The scan modes the device offers.
std::vector<std::string> Modes(SANE_Int Option) {
  std::vector<std::string> Result;
  const SANE_Option_Descriptor* D = sane_get_option_descriptor(Device, Option);
  if (D && D->constraint_type == SANE_CONSTRAINT_STRING_LIST)
    for (const SANE_String_Const* S = D->constraint.string_list; S && *S; ++S) Result.push_back(*S);
  return Result;
}

std::string CurrentMode(SANE_Int Option) {
  const SANE_Option_Descriptor* D = sane_get_option_descriptor(Device, Option);
  if (!D || D->size <= 0) return std::string();
  std::vector<char> Value(static_cast<size_t>(D->size) + 1, 0);
  if (sane_control_option(Device, Option, SANE_ACTION_GET_VALUE, Value.data(), nullptr) != SANE_STATUS_GOOD)
    return std::string();
  return Value.data();
}

// 8 bits per sample where the depth can be chosen and 8 is allowed.
void ChooseEightBits() {
  SANE_Int Option = FindOption(SANE_NAME_BIT_DEPTH, SANE_TYPE_INT);
  if (Option < 0) return;
  const SANE_Option_Descriptor* D = sane_get_option_descriptor(Device, Option);
  bool Allowed = false;
  if (D->constraint_type == SANE_CONSTRAINT_WORD_LIST && D->constraint.word_list) {
    for (SANE_Int i = 1; i <= D->constraint.word_list[0]; ++i) Allowed |= D->constraint.word_list[i] == 8;
  } else if (D->constraint_type == SANE_CONSTRAINT_RANGE && D->constraint.range) {
    Allowed = D->constraint.range->min <= 8 && D->constraint.range->max >= 8;
  }
  SANE_Word Eight = 8;
  if (Allowed) sane_control_option(Device, Option, SANE_ACTION_SET_VALUE, &Eight, nullptr);
}

bool SetMode(const std::string& Mode, TSaneFailure& Failure) {
  SANE_Int Option = FindOption(SANE_NAME_SCAN_MODE, SANE_TYPE_STRING);
  const SANE_Option_Descriptor* D = Option < 0 ? nullptr : sane_get_option_descriptor(Device, Option);
  if (!D || D->size <= 0) {
    Failure = Failed(SANE_STATUS_UNSUPPORTED);
    return false;
  }
  std::vector<char> Value(std::max<size_t>(static_cast<size_t>(D->size), Mode.size() + 1), 0);
  std::memcpy(Value.data(), Mode.data(), Mode.size());
  SANE_Status S = sane_control_option(Device, Option, SANE_ACTION_SET_VALUE, Value.data(), nullptr);
  if (S != SANE_STATUS_GOOD) {
    Failure = Failed(S);
    return false;
  }
  if (ModeType(Mode.c_str()) != TWPT_BW) ChooseEightBits();
  return true;
}

// The layout of one scan: what SANE sends and the DIB it becomes.
struct TLayout {
  bool Rgb = false;
  int32_t Depth = 8;
  uint64_t Width = 0;
  size_t SourceStride = 0;  // bytes per line from SANE
  uint32_t Bits = 8;        // DIB bits per pixel
  size_t Stride = 0;        // DIB bytes per line
};

bool MakeLayout(const SANE_Parameters& P, TLayout& L) {
  if (!P.last_frame || P.pixels_per_line <= 0 || P.bytes_per_line <= 0) return false;
  L.Rgb = P.format == SANE_FRAME_RGB;
  L.Depth = P.depth;
  L.Width = static_cast<uint64_t>(P.pixels_per_line);
  L.SourceStride = static_cast<size_t>(P.bytes_per_line);
  uint64_t Need;
  if (P.format == SANE_FRAME_GRAY && (P.depth == 1 || P.depth == 8 || P.depth == 16)) {
    Need = P.depth == 1 ? (L.Width + 7) / 8 : L.Width * static_cast<uint64_t>(P.depth / 8);
    L.Bits = P.depth == 1 ? 1 : 8;
  } else if (L.Rgb && (P.depth == 8 || P.depth == 16)) {
    Need = L.Width * 3 * static_cast<uint64_t>(P.depth / 8);
    L.Bits = 24;
  } else {
    return false;
  }
  const uint64_t Stride = (L.Width * L.Bits + 31) / 32 * 4;
  if (L.SourceStride < Need || L.SourceStride > MaxScanBytes || Stride > MaxScanBytes) return false;
  L.Stride = static_cast<size_t>(Stride);
  return true;
}

// One sample: 8 bits as they are, 16 bits (host order) by the high byte.
uint8_t Sample(const uint8_t* Line, size_t Index, int32_t Depth) {
  if (Depth == 8) return Line[Index];
  uint16_t V;
  std::memcpy(&V, Line + 2 * Index, 2);
  return static_cast<uint8_t>(V >> 8);
}

void ConvertLine(const TLayout& L, const uint8_t* Src, uint8_t* Dst) {
  if (L.Bits == 1) {  // line art: a set bit is black, entry 1 of the table
    std::memcpy(Dst, Src, (L.Width + 7) / 8);
  } else if (!L.Rgb) {
    for (size_t x = 0; x < L.Width; ++x) Dst[x] = Sample(Src, x, L.Depth);
  } else {  // RGB to the DIB's BGR
    for (size_t x = 0; x < L.Width; ++x) {
      Dst[3 * x + 0] = Sample(Src, 3 * x + 2, L.Depth);
      Dst[3 * x + 1] = Sample(Src, 3 * x + 1, L.Depth);
      Dst[3 * x + 2] = Sample(Src, 3 * x + 0, L.Depth);
    }
  }
}

void Put32(uint8_t*& P, uint32_t V) {
  for (int32_t i = 0; i < 4; ++i) *P++ = static_cast<uint8_t>(V >> (8 * i));
}

// The lines (top first, Stride bytes each) as a packed DIB block.
TW_HANDLE MakeDib(const TLayout& L, const std::vector<uint8_t>& Lines, size_t Count) {
  const uint32_t Colours = L.Bits == 24 ? 0 : (L.Bits == 1 ? 2 : 256);
  TW_HANDLE Block = TW_AllocHandle(40 + 4 * Colours + L.Stride * Count);
  if (!Block) return nullptr;
  uint8_t* P = static_cast<uint8_t*>(Block);
  Put32(P, 40);
  Put32(P, static_cast<uint32_t>(L.Width));
  Put32(P, static_cast<uint32_t>(Count));
  Put32(P, 1 | (L.Bits << 16));  // planes, bits per pixel
  Put32(P, 0);                   // no compression
  Put32(P, static_cast<uint32_t>(L.Stride * Count));
  Put32(P, 0);
  Put32(P, 0);
  Put32(P, Colours);
  Put32(P, 0);
  for (uint32_t i = 0; i < Colours; ++i) {
    const uint8_t Level = L.Bits == 1 ? (i == 0 ? 255 : 0) : static_cast<uint8_t>(i);
    *P++ = Level;
    *P++ = Level;
    *P++ = Level;
    *P++ = 0;
  }
  for (size_t y = 0; y < Count; ++y)  // bottom-up
    std::memcpy(P + (Count - 1 - y) * L.Stride, Lines.data() + y * L.Stride, L.Stride);
  return Block;
}

TSaneResult Read(const TSaneProgress& Progress, TW_HANDLE& Dib, TSaneFailure& Failure) {
  SANE_Status S = sane_start(Device);
  if (S == SANE_STATUS_CANCELLED) return srCancelled;
  if (S != SANE_STATUS_GOOD) {
    Failure = Failed(S);
    return srFailed;
  }
  SANE_Parameters P;
  S = sane_get_parameters(Device, &P);
  if (S != SANE_STATUS_GOOD) {
    Failure = Failed(S);
    return srFailed;
  }
  TLayout L;
  if (!MakeLayout(P, L)) {
    Failure = {TWCC_BADVALUE, "The scanner sends its image in a form that cannot be read."};
    return srFailed;
  }
  const size_t Expected = P.lines > 0 ? static_cast<size_t>(P.lines) : 0;
  const size_t MaxLines = static_cast<size_t>(MaxScanBytes / L.Stride);
  if (Expected > MaxLines) {
    Failure = {TWCC_LOWMEMORY, "The scan is too large."};
    return srFailed;
  }
  const uint32_t Total = static_cast<uint32_t>(Expected);
  if (Progress && Progress(0, Total)) return srCancelled;

  std::vector<uint8_t> Lines;
  Lines.reserve(Expected * L.Stride);
  std::vector<uint8_t> Line(L.SourceStride);
  std::vector<uint8_t> Piece(PieceBytes);
  size_t Count = 0, Filled = 0;
  while (Expected == 0 || Count < Expected) {
    SANE_Int Got = 0;
    S = sane_read(Device, Piece.data(), static_cast<SANE_Int>(Piece.size()), &Got);
    if (S == SANE_STATUS_EOF) break;
    if (S == SANE_STATUS_CANCELLED) return srCancelled;
    if (S != SANE_STATUS_GOOD) {
      Failure = Failed(S);
      return srFailed;
    }
    size_t Used = 0;
    const size_t Size = std::min(static_cast<size_t>(std::max<SANE_Int>(Got, 0)), Piece.size());
    while (Used < Size && (Expected == 0 || Count < Expected)) {
      const size_t Take = std::min(Size - Used, Line.size() - Filled);
      std::memcpy(Line.data() + Filled, Piece.data() + Used, Take);
      Used += Take;
      Filled += Take;
      if (Filled < Line.size()) break;
      if (Count == MaxLines) {
        Failure = {TWCC_LOWMEMORY, "The scan is too large."};
        return srFailed;
      }
      Lines.resize((Count + 1) * L.Stride, 0);
      ConvertLine(L, Line.data(), Lines.data() + Count * L.Stride);
      ++Count;
      Filled = 0;
    }
    if (Progress && Progress(static_cast<uint32_t>(Count), Total)) return srCancelled;
  }
  if (Count == 0) {
    Failure = {TWCC_OPERATIONERROR, "The scanner sent no image."};
    return srFailed;
  }
  Dib = MakeDib(L, Lines, Count);
  if (!Dib) {
    Failure = Failed(SANE_STATUS_NO_MEM);
    return srFailed;
  }
  return srDone;
}

}  // namespace

bool SaneStart(std::vector<TSaneDevice>& Devices, TSaneFailure& Failure) {
  SaneStop();
  Devices.clear();
  SANE_Int Version = 0;
  SANE_Status S = sane_init(&Version, nullptr);
  if (S != SANE_STATUS_GOOD) {
    Failure = Failed(S);
    return false;
  }
  Started = true;
  const SANE_Device** List = nullptr;
  S = sane_get_devices(&List, SANE_FALSE);
  if (S != SANE_STATUS_GOOD) {
    Failure = Failed(S);
    return true;  // SANE runs, but lists nothing
  }
  for (const SANE_Device** D = List; D && *D; ++D) {
    if (!(*D)->name || !*(*D)->name) continue;
    Devices.push_back({(*D)->name, (*D)->vendor ? (*D)->vendor : "", (*D)->model ? (*D)->model : ""});
  }
  return true;
}

void SaneStop() {
  SaneClose();
  if (Started) sane_exit();
  Started = false;
}

bool SaneOpen(const std::string& Name, TSaneFailure& Failure) {
  SaneClose();
  SANE_Status S = Started ? sane_open(Name.c_str(), &Device) : SANE_STATUS_INVAL;
  if (S != SANE_STATUS_GOOD) {
    Device = nullptr;
    Failure = Failed(S);
    return false;
  }
  return true;
}

void SaneClose() {
  if (Device) sane_close(Device);
  Device = nullptr;
}

std::vector<uint16_t> SanePixelTypes(int32_t& Current) {
  std::vector<uint16_t> Types;
  Current = -1;
  if (!Device) return Types;
  SANE_Int Option = FindOption(SANE_NAME_SCAN_MODE, SANE_TYPE_STRING);
  if (Option >= 0) {
    for (const std::string& M : Modes(Option)) {
      int32_t T = ModeType(M.c_str());
      if (T >= 0 && std::find(Types.begin(), Types.end(), T) == Types.end()) Types.push_back(static_cast<uint16_t>(T));
    }
    Current = ModeType(CurrentMode(Option).c_str());
  } else {
    // No choice of mode: the one the device scans in.
    SANE_Parameters P;
    if (sane_get_parameters(Device, &P) == SANE_STATUS_GOOD) {
      if (P.format == SANE_FRAME_GRAY) Current = P.depth == 1 ? TWPT_BW : TWPT_GRAY;
      else if (P.format == SANE_FRAME_RGB) Current = TWPT_RGB;
    }
  }
  if (Current >= 0 && std::find(Types.begin(), Types.end(), Current) == Types.end())
    Types.push_back(static_cast<uint16_t>(Current));
  return Types;
}

bool SaneChoosePixelType(const std::vector<uint16_t>& Types, TSaneFailure& Failure) {
  int32_t Current;
  SanePixelTypes(Current);
  if (Current >= 0 && std::find(Types.begin(), Types.end(), Current) != Types.end()) return true;
  SANE_Int Option = Device ? FindOption(SANE_NAME_SCAN_MODE, SANE_TYPE_STRING) : -1;
  if (Option >= 0)
    for (uint16_t T : Types)
      for (const std::string& M : Modes(Option))
        if (ModeType(M.c_str()) == T) return SetMode(M, Failure);
  Failure = {TWCC_BADVALUE, ""};
  return false;
}

TSaneResult SaneScan(const TSaneProgress& Progress, TW_HANDLE& Dib, TSaneFailure& Failure) {
  Dib = nullptr;
  if (!Device) {
    Failure = Failed(SANE_STATUS_INVAL);
    return srFailed;
  }
  TSaneResult Result = Read(Progress, Dib, Failure);
  sane_cancel(Device);  // ends the scan, whatever became of it
  return Result;
}

#else

bool SaneStart(std::vector<TSaneDevice>& Devices, TSaneFailure&) {
  Devices.clear();
  return true;
}
void SaneStop() {}
bool SaneOpen(const std::string&, TSaneFailure& Failure) {
  Failure = {TWCC_NODS, ""};
  return false;
}
void SaneClose() {}
std::vector<uint16_t> SanePixelTypes(int32_t& Current) {
  Current = -1;
  return {};
}
bool SaneChoosePixelType(const std::vector<uint16_t>&, TSaneFailure& Failure) {
  Failure = {TWCC_BADVALUE, ""};
  return false;
}
TSaneResult SaneScan(const TSaneProgress&, TW_HANDLE& Dib, TSaneFailure& Failure) {
  Dib = nullptr;
  Failure = {TWCC_NODS, ""};
  return srFailed;
}

#endif
