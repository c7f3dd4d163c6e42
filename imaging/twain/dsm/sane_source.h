// Scanning through SANE for the source manager: the devices SANE sees, one
// of them open at a time, its pixel types (SANE's scan modes) and one scan
// read in bounded pieces into a packed DIB. Where the manager was built
// without SANE there are no devices.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "imaging/twain/twain_protocol.h"

struct TSaneDevice {
  std::string Name;  // SANE's device name, e.g. "test:0"
  std::string Vendor;
  std::string Model;
};

// Why an operation failed: the condition code for the client and SANE's
// own words for the person.
struct TSaneFailure {
  TW_UINT16 Condition = TWCC_SUCCESS;
  std::string Text;
};

enum TSaneResult { srDone, srCancelled, srFailed };

// Lines done of Lines (0 when the scanner does not say); true when the
// person cancelled.
using TSaneProgress = std::function<bool(uint32_t Done, uint32_t Lines)>;

// Starts SANE and lists every device it sees, local or on the network.
bool SaneStart(std::vector<TSaneDevice>& Devices, TSaneFailure& Failure);
// Closes the open device and stops SANE.
void SaneStop();

bool SaneOpen(const std::string& Device, TSaneFailure& Failure);
void SaneClose();
// The pixel types (TWPT_) the open device scans in, and the current one in
// Current (-1 when unknown).
std::vector<uint16_t> SanePixelTypes(int32_t& Current);
// Scans in the first of Types (pixel types in the client's order of
// preference) that the device has, unless its current one is among them.
bool SaneChoosePixelType(const std::vector<uint16_t>& Types, TSaneFailure& Failure);
// One image from the open device, with SANE's default resolution and area.
TSaneResult SaneScan(const TSaneProgress& Progress, TW_HANDLE& Dib, TSaneFailure& Failure);
