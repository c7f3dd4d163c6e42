// twain_sane: one SANE session (init, devices or open, options, scans,
// cancel, close, exit) for the source manager, in a process of its own so
// that a driver that hangs or crashes costs only the scan. The manager
// starts it with the protocol socket as descriptor 3 (sane_wire.h) and its
// standard output and error on a pipe, whose last line is the driver's last
// words should it die. It ends when the manager closes the socket, and is
// killed when the program that started it ends.
//
// Scans: single-pass grey of 1, 8 or 16 bits or RGB of 8 or 16 bits, read in
// pieces of at most 64 KiB; the lines arrive top first and go to the manager
// as DIB rows of 1 bit (a set bit is black), 8 bits (grey) or 24 bits (BGR).
#include <poll.h>
#include <sane/sane.h>
#include <sane/saneopts.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/twain/dsm/sane_wire.h"
#include "imaging/twain/twain_protocol.h"

namespace {

constexpr int Channel = 3;
constexpr uint64_t MaxScanBytes = uint64_t{1} << 30;  // of DIB pixels
constexpr size_t PieceBytes = size_t{1} << 16;

SANE_Handle Device = nullptr;

bool Reply(uint32_t Kind, const std::string& Payload = std::string()) { return SendFrame(Channel, Kind, Payload); }

bool ReplyFailure(TW_UINT16 Condition, const std::string& Text) {
  return Reply(wkFailure, TWireWriter().Int(Condition).Str(Text).Bytes);
}

// SANE's own words for a status, after the title of the option it concerns.
bool ReplyStatus(SANE_Status S, const char* Title = nullptr) {
  TW_UINT16 Condition = TWCC_OPERATIONERROR;
  if (S == SANE_STATUS_NO_MEM) Condition = TWCC_LOWMEMORY;
  if (S == SANE_STATUS_DEVICE_BUSY) Condition = TWCC_MAXCONNECTIONS;
  const std::string Words = sane_strstatus(S);
  return ReplyFailure(Condition, Title && *Title ? std::string(Title) + ": " + Words : Words);
}

bool ReadAll(void* Data, size_t Size) {
  auto* P = static_cast<char*>(Data);
  while (Size > 0) {
    const ssize_t N = ::read(Channel, P, Size);
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) return false;
    P += N;
    Size -= static_cast<size_t>(N);
  }
  return true;
}

bool ReadFrame(uint32_t& Kind, std::string& Payload) {
  uint32_t Head[2];
  if (!ReadAll(Head, sizeof(Head)) || Head[1] > MaxFramePayload) return false;
  Kind = Head[0];
  Payload.assign(Head[1], '\0');
  return Head[1] == 0 || ReadAll(Payload.data(), Payload.size());
}

// Whether the manager closed the socket (it stops the scan so).
bool ManagerGone() {
  pollfd P{Channel, POLLRDHUP, 0};
  return ::poll(&P, 1, 0) > 0 && (P.revents & (POLLRDHUP | POLLHUP | POLLERR));
}

// ---- options ----

const SANE_Option_Descriptor* Describe(SANE_Int Option) {
  return Option < 0 ? nullptr : sane_get_option_descriptor(Device, Option);
}

// The open device's active, settable option named Name: a string, or (Number)
// one integer or fixed-point value; -1 when it has none.
SANE_Int FindOption(const char* Name, bool Number) {
  SANE_Int Count = 0;  // option 0 holds the number of options
  if (sane_control_option(Device, 0, SANE_ACTION_GET_VALUE, &Count, nullptr) != SANE_STATUS_GOOD) return -1;
  for (SANE_Int i = 1; i < Count; ++i) {
    const SANE_Option_Descriptor* D = sane_get_option_descriptor(Device, i);
    if (!D || !D->name || std::strcmp(D->name, Name) != 0 || !SANE_OPTION_IS_ACTIVE(D->cap) ||
        !SANE_OPTION_IS_SETTABLE(D->cap))
      continue;
    const bool IsNumber = (D->type == SANE_TYPE_INT || D->type == SANE_TYPE_FIXED) && D->size == sizeof(SANE_Word);
    if (Number ? IsNumber : D->type == SANE_TYPE_STRING && D->size > 0) return i;
  }
  return -1;
}

double FromWord(const SANE_Option_Descriptor* D, SANE_Word W) {
  return D->type == SANE_TYPE_FIXED ? SANE_UNFIX(W) : static_cast<double>(W);
}
SANE_Word ToWord(const SANE_Option_Descriptor* D, double V) {
  return D->type == SANE_TYPE_FIXED ? SANE_FIX(V) : static_cast<SANE_Word>(std::lround(V));
}

bool GetNumber(SANE_Int Option, double& Value) {
  const SANE_Option_Descriptor* D = Describe(Option);
  SANE_Word W = 0;
  if (!D || sane_control_option(Device, Option, SANE_ACTION_GET_VALUE, &W, nullptr) != SANE_STATUS_GOOD) return false;
  Value = FromWord(D, W);
  return true;
}

SANE_Status SetNumber(SANE_Int Option, double Value) {
  const SANE_Option_Descriptor* D = Describe(Option);
  if (!D) return SANE_STATUS_UNSUPPORTED;
  SANE_Word W = ToWord(D, Value);
  return sane_control_option(Device, Option, SANE_ACTION_SET_VALUE, &W, nullptr);
}

std::string GetString(SANE_Int Option) {
  const SANE_Option_Descriptor* D = Describe(Option);
  if (!D || D->size <= 0) return std::string();
  std::vector<char> Value(static_cast<size_t>(D->size) + 1, 0);
  if (sane_control_option(Device, Option, SANE_ACTION_GET_VALUE, Value.data(), nullptr) != SANE_STATUS_GOOD)
    return std::string();
  return Value.data();
}

SANE_Status SetString(SANE_Int Option, const std::string& Text) {
  const SANE_Option_Descriptor* D = Describe(Option);
  if (!D || D->size <= 0) return SANE_STATUS_UNSUPPORTED;
  std::vector<char> Value(std::max<size_t>(static_cast<size_t>(D->size), Text.size() + 1), 0);
  std::memcpy(Value.data(), Text.data(), Text.size());
  return sane_control_option(Device, Option, SANE_ACTION_SET_VALUE, Value.data(), nullptr);
}

// 8 bits per sample where the depth can be chosen and 8 is allowed.
void ChooseEightBits() {
  const SANE_Int Option = FindOption(SANE_NAME_BIT_DEPTH, true);
  const SANE_Option_Descriptor* D = Describe(Option);
  if (!D || D->type != SANE_TYPE_INT) return;
  bool Allowed = false;
  if (D->constraint_type == SANE_CONSTRAINT_WORD_LIST && D->constraint.word_list) {
    for (SANE_Int i = 1; i <= D->constraint.word_list[0]; ++i) Allowed |= D->constraint.word_list[i] == 8;
  } else if (D->constraint_type == SANE_CONSTRAINT_RANGE && D->constraint.range) {
    Allowed = D->constraint.range->min <= 8 && D->constraint.range->max >= 8;
  }
  if (Allowed) SetNumber(Option, 8);
}

int32_t Micrometres(double Millimetres) { return static_cast<int32_t>(std::lround(Millimetres * 1000.0)); }

// The area's four options (tl-x, tl-y, br-x, br-y) when all are lengths in
// millimetres with a range.
bool AreaOptions(SANE_Int (&Options)[4]) {
  const char* Names[4] = {SANE_NAME_SCAN_TL_X, SANE_NAME_SCAN_TL_Y, SANE_NAME_SCAN_BR_X, SANE_NAME_SCAN_BR_Y};
  for (int i = 0; i < 4; ++i) {
    Options[i] = FindOption(Names[i], true);
    const SANE_Option_Descriptor* D = Describe(Options[i]);
    if (!D || D->unit != SANE_UNIT_MM || D->constraint_type != SANE_CONSTRAINT_RANGE || !D->constraint.range)
      return false;
  }
  return true;
}

TSaneOptions Options() {
  TSaneOptions O;
  const SANE_Int Mode = FindOption(SANE_NAME_SCAN_MODE, false);
  if (const SANE_Option_Descriptor* D = Describe(Mode)) {
    if (D->constraint_type == SANE_CONSTRAINT_STRING_LIST)
      for (const SANE_String_Const* S = D->constraint.string_list; S && *S; ++S) O.Modes.push_back(*S);
    O.Mode = GetString(Mode);
  }
  SANE_Parameters P;
  if (sane_get_parameters(Device, &P) == SANE_STATUS_GOOD) {
    if (P.format == SANE_FRAME_GRAY) O.ScanType = P.depth == 1 ? TWPT_BW : TWPT_GRAY;
    if (P.format == SANE_FRAME_RGB) O.ScanType = TWPT_RGB;
  }

  const SANE_Int Resolution = FindOption(SANE_NAME_SCAN_RESOLUTION, true);
  if (const SANE_Option_Descriptor* D = Describe(Resolution)) {
    auto Dpi = [&](SANE_Word W) { return static_cast<int32_t>(std::lround(FromWord(D, W))); };
    if (D->constraint_type == SANE_CONSTRAINT_WORD_LIST && D->constraint.word_list) {
      for (SANE_Int i = 1; i <= D->constraint.word_list[0]; ++i)
        if (Dpi(D->constraint.word_list[i]) > 0) O.Resolutions.push_back(Dpi(D->constraint.word_list[i]));
    } else if (D->constraint_type == SANE_CONSTRAINT_RANGE && D->constraint.range) {
      O.MinResolution = std::max(1, Dpi(D->constraint.range->min));
      O.MaxResolution = Dpi(D->constraint.range->max);
    }
    double Now = 0;
    if (GetNumber(Resolution, Now)) O.Resolution = static_cast<int32_t>(std::lround(Now));
  }

  SANE_Int Area[4];
  if (AreaOptions(Area)) {
    const SANE_Range* X = Describe(Area[0])->constraint.range;
    const SANE_Range* Y = Describe(Area[1])->constraint.range;
    const SANE_Range* R = Describe(Area[2])->constraint.range;
    const SANE_Range* B = Describe(Area[3])->constraint.range;
    O.BedLeft = Micrometres(FromWord(Describe(Area[0]), X->min));
    O.BedTop = Micrometres(FromWord(Describe(Area[1]), Y->min));
    O.BedRight = Micrometres(FromWord(Describe(Area[2]), R->max));
    O.BedBottom = Micrometres(FromWord(Describe(Area[3]), B->max));
    double Now[4];
    O.HasArea = O.BedRight > O.BedLeft && O.BedBottom > O.BedTop;
    for (int i = 0; i < 4; ++i) O.HasArea &= GetNumber(Area[i], Now[i]);
    if (O.HasArea) {
      O.Left = Micrometres(Now[0]);
      O.Top = Micrometres(Now[1]);
      O.Right = Micrometres(Now[2]);
      O.Bottom = Micrometres(Now[3]);
    }
  }
  return O;
}

bool Set(const TSaneSettings& S) {
  if (!S.Mode.empty()) {
    const SANE_Int Mode = FindOption(SANE_NAME_SCAN_MODE, false);
    const SANE_Status Status = SetString(Mode, S.Mode);
    if (Status != SANE_STATUS_GOOD) return ReplyStatus(Status, Mode < 0 ? "Scan mode" : Describe(Mode)->title);
    if (SaneModeType(S.Mode) != TWPT_BW) ChooseEightBits();
  }
  if (S.Resolution > 0) {
    const SANE_Int Option = FindOption(SANE_NAME_SCAN_RESOLUTION, true);
    const SANE_Status Status = SetNumber(Option, S.Resolution);
    if (Status != SANE_STATUS_GOOD)
      return ReplyStatus(Status, Option < 0 ? "Scan resolution" : Describe(Option)->title);
  }
  SANE_Int Area[4];
  if (S.SetArea && AreaOptions(Area)) {
    const int32_t Values[4] = {S.Left, S.Top, S.Right, S.Bottom};
    for (int i = 0; i < 4; ++i) {
      const SANE_Status Status = SetNumber(Area[i], Values[i] / 1000.0);
      if (Status != SANE_STATUS_GOOD) return ReplyStatus(Status, Describe(Area[i])->title);
    }
  }
  return Reply(wkDone);
}

// ---- scanning ----

// The layout of one scan: what SANE sends and the DIB rows it becomes.
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
  if (L.SourceStride < Need || L.SourceStride > MaxScanBytes) return false;
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

// Reads one image and sends it; false when the manager is gone.
bool Read() {
  SANE_Status S = sane_start(Device);
  if (S == SANE_STATUS_CANCELLED) return Reply(wkCancelled);
  if (S != SANE_STATUS_GOOD) return ReplyStatus(S);
  SANE_Parameters P;
  S = sane_get_parameters(Device, &P);
  if (S != SANE_STATUS_GOOD) return ReplyStatus(S);
  TLayout L;
  if (!MakeLayout(P, L)) return ReplyFailure(TWCC_BADVALUE, "The scanner sends its image in a form that cannot be read.");
  const size_t Expected = P.lines > 0 ? static_cast<size_t>(P.lines) : 0;
  const size_t MaxLines = static_cast<size_t>(MaxScanBytes / L.Stride);
  if (L.Stride > MaxFramePayload || Expected > MaxLines) return ReplyFailure(TWCC_LOWMEMORY, "The scan is too large.");
  if (!Reply(wkLayout, TWireWriter()
                           .Int(static_cast<int32_t>(L.Width))
                           .Int(static_cast<int32_t>(L.Bits))
                           .Int(static_cast<int32_t>(Expected))
                           .Bytes))
    return false;

  std::vector<uint8_t> Line(L.SourceStride);
  std::vector<uint8_t> Piece(PieceBytes);
  std::string Rows;
  size_t Count = 0, Filled = 0;
  while (Expected == 0 || Count < Expected) {
    if (ManagerGone()) return false;
    SANE_Int Got = 0;
    S = sane_read(Device, Piece.data(), static_cast<SANE_Int>(Piece.size()), &Got);
    if (S == SANE_STATUS_EOF) break;
    if (S == SANE_STATUS_CANCELLED) return Reply(wkCancelled);
    if (S != SANE_STATUS_GOOD) return ReplyStatus(S);
    size_t Used = 0;
    const size_t Size = std::min(static_cast<size_t>(std::max<SANE_Int>(Got, 0)), Piece.size());
    while (Used < Size && (Expected == 0 || Count < Expected)) {
      const size_t Take = std::min(Size - Used, Line.size() - Filled);
      std::memcpy(Line.data() + Filled, Piece.data() + Used, Take);
      Used += Take;
      Filled += Take;
      if (Filled < Line.size()) break;
      if (Count == MaxLines) return ReplyFailure(TWCC_LOWMEMORY, "The scan is too large.");
      const size_t At = Rows.size();
      Rows.resize(At + L.Stride, '\0');
      ConvertLine(L, Line.data(), reinterpret_cast<uint8_t*>(&Rows[At]));
      ++Count;
      Filled = 0;
      if (Rows.size() + L.Stride > MaxFramePayload) {
        if (!Reply(wkRows, Rows)) return false;
        Rows.clear();
      }
    }
    if (!Rows.empty() && !Reply(wkRows, Rows)) return false;
    Rows.clear();
  }
  if (Count == 0) return ReplyFailure(TWCC_OPERATIONERROR, "The scanner sent no image.");
  return Reply(wkEnd);
}

// Serves one request; false when the manager is gone.
bool Serve(uint32_t Kind, const std::string& Payload) {
  switch (Kind) {
    case wkList: {
      const SANE_Device** List = nullptr;
      const SANE_Status S = sane_get_devices(&List, SANE_FALSE);
      if (S != SANE_STATUS_GOOD) return ReplyStatus(S);
      TWireWriter W;
      std::vector<std::string> Fields;
      for (const SANE_Device** D = List; D && *D; ++D) {
        if (!(*D)->name || !*(*D)->name) continue;
        Fields.push_back((*D)->name);
        Fields.push_back((*D)->vendor ? (*D)->vendor : "");
        Fields.push_back((*D)->model ? (*D)->model : "");
      }
      return Reply(wkDevices, W.Strs(Fields).Bytes);
    }
    case wkOpen: {
      if (Device) sane_close(Device);
      Device = nullptr;
      const SANE_Status S = sane_open(Payload.c_str(), &Device);
      if (S != SANE_STATUS_GOOD) {
        Device = nullptr;
        return ReplyStatus(S);
      }
      return Reply(wkOptions, PutOptions(Options()));
    }
    case wkSet: {
      TSaneSettings Settings;
      if (!Device || !GetSettings(Payload, Settings)) return ReplyStatus(SANE_STATUS_INVAL);
      return Set(Settings);
    }
    case wkScan: {
      if (!Device) return ReplyStatus(SANE_STATUS_INVAL);
      const bool Served = Read();
      sane_cancel(Device);  // ends the scan, whatever became of it
      return Served;
    }
    default: return ReplyStatus(SANE_STATUS_UNSUPPORTED);
  }
}

}  // namespace

// argv[1]: the process id of the program that started it, which it does not
// outlive.
int main(int argc, char** argv) {
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (argc < 2 || ::getppid() != static_cast<pid_t>(std::atol(argv[1]))) return 1;
  // A driver's crash leaves no core file in the folder it was started from.
  const rlimit NoCore{0, 0};
  ::setrlimit(RLIMIT_CORE, &NoCore);
  ::close_range(Channel + 1, ~0U, 0);

  SANE_Int Version = 0;
  const SANE_Status Init = sane_init(&Version, nullptr);
  uint32_t Kind;
  std::string Payload;
  while (ReadFrame(Kind, Payload)) {
    if (Init != SANE_STATUS_GOOD ? !ReplyStatus(Init) : !Serve(Kind, Payload)) break;
  }
  if (Device) sane_close(Device);
  if (Init == SANE_STATUS_GOOD) sane_exit();
  return 0;
}
