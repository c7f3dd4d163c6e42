#include "platform/base/stream_reader.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kBufferBytes = 65536;

}  // namespace

bool TStreamReader::Fill() {
  FBuffer.resize(kBufferBytes);
  const int64_t n = FStream.Read(FBuffer.data(), static_cast<int64_t>(FBuffer.size()));
  FAt = 0;
  FCount = n > 0 ? static_cast<size_t>(n) : 0;
  return FCount > 0;
}

int64_t TStreamReader::Read(uint8_t* Dest, int64_t Count) {
  int64_t done = 0;
  while (done < Count) {
    if (FAt == FCount) {
      // A run that would fill the buffer goes straight to Dest.
      if (Dest != nullptr && Count - done >= static_cast<int64_t>(kBufferBytes)) {
        const int64_t n = FStream.Read(Dest + done, Count - done);
        if (n <= 0) break;
        done += n;
        continue;
      }
      if (!Fill()) break;
    }
    const size_t n = static_cast<size_t>(std::min<int64_t>(Count - done, static_cast<int64_t>(FCount - FAt)));
    if (Dest != nullptr) std::memcpy(Dest + done, FBuffer.data() + FAt, n);
    FAt += n;
    done += static_cast<int64_t>(n);
  }
  return done;
}

int64_t TStreamReader::Append(std::vector<uint8_t>& Out, int64_t Count) {
  int64_t done = 0;
  while (done < Count && (FAt < FCount || Fill())) {
    const size_t n = static_cast<size_t>(std::min<int64_t>(Count - done, static_cast<int64_t>(FCount - FAt)));
    Out.insert(Out.end(), FBuffer.data() + FAt, FBuffer.data() + FAt + n);
    FAt += n;
    done += static_cast<int64_t>(n);
  }
  return done;
}

bool TStreamReader::SkipPast(uint8_t Byte) {
  for (;;) {
    if (FAt == FCount && !Fill()) return false;
    const void* found = std::memchr(FBuffer.data() + FAt, Byte, FCount - FAt);
    if (found != nullptr) {
      FAt = static_cast<size_t>(static_cast<const uint8_t*>(found) - FBuffer.data()) + 1;
      return true;
    }
    FAt = FCount;
  }
}
