// Buffered byte input and output shared by the readers and writers that take
// their data a byte at a time.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "platform/base/stream_reader.h"

// Hands out the bytes of a stream read ahead (TStreamReader). When the
// stream has no more bytes, OnEndOfFile is called; it must raise.
class TBufferedByteReader {
public:
  TBufferedByteReader(TStream& Stream, std::function<void()> OnEndOfFile)
      : FStream(Stream), FInput(Stream), FOnEndOfFile(std::move(OnEndOfFile)) {}

  uint8_t Next() {
    uint8_t Byte = 0;
    if (!FInput.Next(Byte)) {
      FOnEndOfFile();
      EndOfFile();  // in case the handler returned
    }
    return Byte;
  }
  // The next byte, or false at the end of the stream.
  bool TryNext(uint8_t& Byte) { return FInput.Next(Byte); }
  // Passes the bytes up to and including the next Byte; false when the
  // stream ends first.
  bool SkipPast(uint8_t Byte) { return FInput.SkipPast(Byte); }
  // Bytes still to be handed out: those read ahead and those after them.
  int64_t Left() const;
  // Up to Count bytes into Dest; fewer only where the stream ends.
  int64_t Take(uint8_t* Dest, int64_t Count) { return FInput.Read(Dest, Count); }

private:
  [[noreturn]] static void EndOfFile();

  TStream& FStream;
  TStreamReader FInput;
  std::function<void()> FOnEndOfFile;
};

// Collects bytes in a 1,024-byte buffer and writes it to the stream when it
// is full; Flush writes the rest.
class TBufferedByteWriter {
public:
  explicit TBufferedByteWriter(TStream& Stream) : FStream(Stream) {}

  void Put(uint8_t Byte) {
    if (FCount == static_cast<int32_t>(FBuffer.size())) Flush();
    FBuffer[FCount++] = Byte;
  }
  void Put(const char* Text);
  void PutNumber(int64_t Value);
  void Flush();

private:
  TStream& FStream;
  std::array<uint8_t, 1024> FBuffer{};
  int32_t FCount = 0;
};
