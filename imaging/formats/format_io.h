// Buffered byte input and output shared by the readers and writers that take
// their data a byte at a time.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

class TStream;

// Hands out the bytes of a stream through a 1,024-byte buffer. When the
// stream has no more bytes, OnEndOfFile is called; it must raise.
class TBufferedByteReader {
public:
  TBufferedByteReader(TStream& Stream, std::function<void()> OnEndOfFile)
      : FStream(Stream), FOnEndOfFile(std::move(OnEndOfFile)) {}

  uint8_t Next() {
    if (FPosition >= FCount && !Fill()) {
      FOnEndOfFile();
      EndOfFile();  // in case the handler returned
    }
    return FBuffer[FPosition++];
  }
  // The next byte, or false at the end of the stream.
  bool TryNext(uint8_t& Byte) {
    if (FPosition >= FCount && !Fill()) return false;
    Byte = FBuffer[FPosition++];
    return true;
  }
  // Bytes still to be handed out: those in the buffer and those after it.
  int64_t Left() const;
  // Up to Count bytes into Dest, those in the buffer first, the rest straight
  // from the stream; fewer only where the stream ends.
  int64_t Take(uint8_t* Dest, int64_t Count);

private:
  bool Fill();
  [[noreturn]] static void EndOfFile();

  TStream& FStream;
  std::function<void()> FOnEndOfFile;
  std::array<uint8_t, 1024> FBuffer{};
  int32_t FPosition = 0;
  int32_t FCount = 0;
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
