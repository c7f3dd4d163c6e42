// Buffered byte input and output of the byte-wise codecs.
#include "imaging/formats/format_io.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/base/exception.h"
#include "platform/base/stream.h"

bool TBufferedByteReader::Fill() {
  int64_t Available = FStream.Size() - FStream.Position();
  int64_t Count = std::clamp<int64_t>(Available, 0, static_cast<int64_t>(FBuffer.size()));
  FCount = Count > 0 ? static_cast<int32_t>(std::max<int64_t>(0, FStream.Read(FBuffer.data(), Count))) : 0;
  FPosition = 0;
  return FCount > 0;
}

int64_t TBufferedByteReader::Left() const {
  return (FCount - FPosition) + std::max<int64_t>(0, FStream.Size() - FStream.Position());
}

int64_t TBufferedByteReader::Take(uint8_t* Dest, int64_t Count) {
  int64_t Done = std::min<int64_t>(Count, FCount - FPosition);
  std::memcpy(Dest, FBuffer.data() + FPosition, static_cast<size_t>(Done));
  FPosition += static_cast<int32_t>(Done);
  while (Done < Count) {
    const int64_t N = FStream.Read(Dest + Done, Count - Done);
    if (N <= 0) break;
    Done += N;
  }
  return Done;
}

void TBufferedByteReader::EndOfFile() { throw EReadError("Stream read error"); }

void TBufferedByteWriter::Put(const char* Text) {
  while (*Text) Put(static_cast<uint8_t>(*Text++));
}

void TBufferedByteWriter::PutNumber(int64_t Value) { Put(std::to_string(Value).c_str()); }

void TBufferedByteWriter::Flush() {
  if (FCount > 0) FStream.WriteBuffer(FBuffer.data(), FCount);
  FCount = 0;
}
