// Buffered byte input and output of the byte-wise codecs.
#include "imaging/formats/format_io.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/base/exception.h"
#include "platform/base/stream.h"

int64_t TBufferedByteReader::Left() const {
  return FInput.Buffered() + std::max<int64_t>(0, FStream.Size() - FStream.Position());
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
