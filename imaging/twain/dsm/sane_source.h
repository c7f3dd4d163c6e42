// Scanning through SANE (where the manager was built with it): one image
// from a device as a packed DIB handle.
#pragma once

#include <string>

#include "imaging/twain/twain_protocol.h"

enum TSaneResult { srDone, srCancelled, srFailed };

// Whether this build of the manager can scan through SANE.
bool SaneBuilt();
// Scans one image from Device (the first local device when empty).
TSaneResult SaneScan(const std::string& Device, TW_HANDLE& Dib);
