// Scanning through SANE for the source manager. SANE and its drivers never
// run in the program's process: each session runs in the scanning program
// twain_sane beside this library (dsm/sane_helper.cpp), which answers over a
// socket (dsm/sane_wire.h), so that a driver that hangs or crashes costs
// only the scan. Where the manager was built without SANE there are no
// devices.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "imaging/twain/dsm/sane_wire.h"
#include "imaging/twain/twain_protocol.h"

struct TSaneDevice {
  std::string Name;  // SANE's device name, e.g. "test:0"
  std::string Vendor;
  std::string Model;
};

// Why an operation failed: the condition code for the client and SANE's
// own words (or the driver's last words) for the person.
struct TSaneFailure {
  TW_UINT16 Condition = TWCC_SUCCESS;
  std::string Text;
};

enum TSaneResult { srDone, srCancelled, srFailed };

// Lines done of Lines (0 when the scanner does not say); true when the
// person cancelled.
using TSaneProgress = std::function<bool(uint32_t Done, uint32_t Lines)>;

// The folder of the source manager's library, with a trailing "/".
std::string ManagerLibraryFolder();

// One SANE session: the scanning program, started by Start (or the first
// request) and ended by Stop. A request waits for its answer at most
// AnswerSeconds; a program that gives none, or dies, is stopped and the
// request fails with its last words (the last line it wrote), else with
// "The scanner's driver stopped.".
class TSaneSession {
public:
  static constexpr int32_t AnswerSeconds = 60;
  TSaneSession() = default;
  ~TSaneSession() { Stop(); }
  TSaneSession(const TSaneSession&) = delete;
  TSaneSession& operator=(const TSaneSession&) = delete;

  // Starts the program, on the thread that will stop it.
  bool Start(TSaneFailure& Failure);
  bool Running() const { return FPid > 0; }
  // Every device SANE sees, local or on the network. A descriptor Cancel
  // that becomes readable ends the wait (false, with no failure text).
  bool List(std::vector<TSaneDevice>& Devices, TSaneFailure& Failure, int Cancel = -1);
  // Opens a device (closing the one open) and tells what it offers.
  bool Open(const std::string& Device, TSaneOptions& Options, TSaneFailure& Failure);
  bool Apply(const TSaneSettings& Settings, TSaneFailure& Failure);
  // One image from the open device as a packed DIB (1 bit, a grey table of 8
  // bits, or 24 bits), at most 1 GiB of pixels. A cancel stops the program
  // at once, so that a driver that does not end its scan cannot hold us.
  TSaneResult Scan(const TSaneProgress& Progress, TW_HANDLE& Dib, TSaneFailure& Failure);
  // Ends the session: the program, its socket closed, cancels its scan,
  // closes the device and leaves SANE; one that has not ended within 2 s is
  // sent SIGTERM, and SIGKILL a second later. That wait runs in the
  // background; the next Start waits for it, as the device is not free
  // before.
  void Stop();

private:
  enum TWait { wtFrame, wtGone, wtBad, wtTimeout, wtCancel };
  TWait Next(uint32_t& Kind, std::string& Payload, int32_t TimeoutMs, int Cancel);
  // Sends a request and waits for its answer, of kind Expected or a failure.
  bool Ask(uint32_t Kind, const std::string& Request, uint32_t Expected, std::string& Answer, TSaneFailure& Failure,
           int Cancel = -1);
  void ReadLastWords();
  // The program went wrong as Why says: Failure says so and it is stopped.
  void Lost(TWait Why, TSaneFailure& Failure);
  pid_t FPid = -1;
  int FSocket = -1;
  int FWords = -1;  // the program's standard output and error
  std::string FBuffer;
  std::string FLastWords;
};
