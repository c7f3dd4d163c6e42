// A stream read ahead through a buffer, a byte or a run at a time: for
// walking a file's structure (markers, blocks, chunks) without holding the
// file and without a system call for every few bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/base/stream.h"

// Reads from the stream's position on. The stream moves on a buffer at a
// time, so it stands ahead of what has been taken.
class TStreamReader {
public:
  explicit TStreamReader(TStream& Stream) : FStream(Stream) {}

  // The next byte; false at the end of the stream.
  bool Next(uint8_t& Byte) {
    if (FAt == FCount && !Fill()) return false;
    Byte = FBuffer[FAt++];
    return true;
  }
  // Up to Count bytes into Dest, or passed over when Dest is null; fewer
  // only where the stream ends.
  int64_t Read(uint8_t* Dest, int64_t Count);
  // Up to Count bytes appended to Out; fewer only where the stream ends.
  int64_t Append(std::vector<uint8_t>& Out, int64_t Count);
  int64_t Skip(int64_t Count) { return Read(nullptr, Count); }
  // Passes the bytes up to and including the next Byte; false when the
  // stream ends first.
  bool SkipPast(uint8_t Byte);
  // Bytes read ahead and not yet taken.
  int64_t Buffered() const { return static_cast<int64_t>(FCount - FAt); }

private:
  bool Fill();

  TStream& FStream;
  std::vector<uint8_t> FBuffer;
  size_t FAt = 0, FCount = 0;
};
