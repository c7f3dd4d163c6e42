// The framed protocol between the source manager and its scanning program
// (twain_sane), which runs each SANE session in a process of its own so that
// a driver that hangs or crashes costs only the scan. One stream socket
// carries both ways frames of a kind and a payload size (32 bits each, host
// order: both ends are one build on one machine) followed by the payload,
// which is a sequence of 32-bit integers and strings (a length, then bytes).
// Every read is bounded: a frame or field that claims more than it holds, or
// more than MaxFramePayload, is refused.
//
// Requests and their answers:
//   List            -> Devices (name, vendor, model for each) | Failure
//   Open name       -> Options (what the device offers, see TSaneOptions) | Failure
//   Set settings    -> Done | Failure (SANE's words, with the option's title)
//   Scan            -> Layout (width, DIB bits, lines or 0), Rows (whole DIB
//                      rows, top first)..., then End | Cancelled | Failure
// Closing the socket stops the program: a scan is cancelled, the device
// closed and SANE left.
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

enum TWireKind : uint32_t {
  wkList = 1,
  wkOpen,
  wkSet,
  wkScan,
  wkDevices = 101,
  wkOptions,
  wkDone,
  wkLayout,
  wkRows,
  wkEnd,
  wkCancelled,
  wkFailure,
};

constexpr uint32_t MaxFramePayload = uint32_t{1} << 20;
constexpr size_t FrameHeader = 8;

// Fields put one after the other into a payload.
class TWireWriter {
public:
  TWireWriter& Int(int32_t V) {
    Bytes.append(reinterpret_cast<const char*>(&V), sizeof(V));
    return *this;
  }
  TWireWriter& Str(const std::string& S) {
    Int(static_cast<int32_t>(S.size()));
    Bytes += S;
    return *this;
  }
  TWireWriter& Strs(const std::vector<std::string>& List) {
    Int(static_cast<int32_t>(List.size()));
    for (const std::string& S : List) Str(S);
    return *this;
  }
  TWireWriter& Ints(const std::vector<int32_t>& List) {
    Int(static_cast<int32_t>(List.size()));
    for (int32_t V : List) Int(V);
    return *this;
  }
  std::string Bytes;
};

// Fields read back; a field past the end reads as 0 or "" and makes Good false.
class TWireReader {
public:
  explicit TWireReader(const std::string& Payload) : FData(Payload.data()), FLeft(Payload.size()) {}
  int32_t Int() {
    int32_t V = 0;
    if (FLeft < sizeof(V)) return Fail(), 0;
    std::memcpy(&V, FData, sizeof(V));
    FData += sizeof(V);
    FLeft -= sizeof(V);
    return V;
  }
  std::string Str() {
    const int32_t Size = Int();
    if (Size < 0 || static_cast<size_t>(Size) > FLeft) return Fail(), std::string();
    std::string S(FData, static_cast<size_t>(Size));
    FData += Size;
    FLeft -= static_cast<size_t>(Size);
    return S;
  }
  std::vector<std::string> Strs() {
    std::vector<std::string> List;
    const int32_t Count = Int();
    for (int32_t i = 0; i < Count && FGood; ++i) List.push_back(Str());
    return List;
  }
  std::vector<int32_t> Ints() {
    std::vector<int32_t> List;
    const int32_t Count = Int();
    // Each item takes 4 bytes: a count beyond what is left is refused first.
    if (Count < 0 || static_cast<size_t>(Count) > FLeft / 4) return Fail(), List;
    for (int32_t i = 0; i < Count; ++i) List.push_back(Int());
    return List;
  }
  bool Good() const { return FGood; }

private:
  void Fail() { FGood = false; }
  const char* FData;
  size_t FLeft;
  bool FGood = true;
};

// Writes a whole frame; false when the other end is gone. A socket that the
// other end closed gives an error, never SIGPIPE.
inline bool SendFrame(int Fd, uint32_t Kind, const std::string& Payload) {
  if (Payload.size() > MaxFramePayload) return false;
  std::string Frame(FrameHeader, '\0');
  const uint32_t Size = static_cast<uint32_t>(Payload.size());
  std::memcpy(&Frame[0], &Kind, 4);
  std::memcpy(&Frame[4], &Size, 4);
  Frame += Payload;
  for (size_t Done = 0; Done < Frame.size();) {
    const ssize_t N = ::send(Fd, Frame.data() + Done, Frame.size() - Done, MSG_NOSIGNAL);
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) return false;
    Done += static_cast<size_t>(N);
  }
  return true;
}

// The pixel type (TWPT_BW 0, TWPT_GRAY 1, TWPT_RGB 2) of a SANE scan mode's
// name, or -1 for modes such as halftone.
inline int32_t SaneModeType(const std::string& Mode) {
  std::string M;
  for (char C : Mode) M += static_cast<char>(C >= 'A' && C <= 'Z' ? C - 'A' + 'a' : C);
  auto Has = [&](const char* Word) { return M.find(Word) != std::string::npos; };
  if (Has("color") || Has("colour")) return 2;
  if (Has("gray") || Has("grey")) return 1;
  if (Has("lineart") || Has("line art") || Has("binary")) return 0;
  return -1;
}

// What a device offers, as Open answers it; lengths in micrometres.
struct TSaneOptions {
  std::vector<std::string> Modes;  // none: the device has no choice of mode
  std::string Mode;
  int32_t ScanType = -1;  // the pixel type it scans in now, -1 unknown
  std::vector<int32_t> Resolutions;              // the device's list of dpi, else
  int32_t MinResolution = 0, MaxResolution = 0;  // its range; 0 and 0: none to choose
  int32_t Resolution = 0;
  bool HasArea = false;  // an area in millimetres (tl-x, tl-y, br-x, br-y)
  int32_t BedLeft = 0, BedTop = 0, BedRight = 0, BedBottom = 0;  // how far it reaches
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;                // the area now
};

// What Set asks for: an empty mode, a resolution of 0 and no area leave the
// device's own.
struct TSaneSettings {
  std::string Mode;
  int32_t Resolution = 0;
  bool SetArea = false;
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
};

inline std::string PutOptions(const TSaneOptions& O) {
  TWireWriter W;
  W.Strs(O.Modes).Str(O.Mode).Int(O.ScanType).Ints(O.Resolutions).Int(O.MinResolution).Int(O.MaxResolution);
  W.Int(O.Resolution).Int(O.HasArea).Int(O.BedLeft).Int(O.BedTop).Int(O.BedRight).Int(O.BedBottom);
  W.Int(O.Left).Int(O.Top).Int(O.Right).Int(O.Bottom);
  return W.Bytes;
}

inline bool GetOptions(const std::string& Payload, TSaneOptions& O) {
  TWireReader R(Payload);
  O.Modes = R.Strs();
  O.Mode = R.Str();
  O.ScanType = R.Int();
  O.Resolutions = R.Ints();
  O.MinResolution = R.Int();
  O.MaxResolution = R.Int();
  O.Resolution = R.Int();
  O.HasArea = R.Int() != 0;
  O.BedLeft = R.Int();
  O.BedTop = R.Int();
  O.BedRight = R.Int();
  O.BedBottom = R.Int();
  O.Left = R.Int();
  O.Top = R.Int();
  O.Right = R.Int();
  O.Bottom = R.Int();
  return R.Good();
}

inline std::string PutSettings(const TSaneSettings& S) {
  TWireWriter W;
  W.Str(S.Mode).Int(S.Resolution).Int(S.SetArea).Int(S.Left).Int(S.Top).Int(S.Right).Int(S.Bottom);
  return W.Bytes;
}

inline bool GetSettings(const std::string& Payload, TSaneSettings& S) {
  TWireReader R(Payload);
  S.Mode = R.Str();
  S.Resolution = R.Int();
  S.SetArea = R.Int() != 0;
  S.Left = R.Int();
  S.Top = R.Int();
  S.Right = R.Int();
  S.Bottom = R.Int();
  return R.Good();
}
