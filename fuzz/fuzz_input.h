// The fuzz input read as a sequence of small choices: past its end every
// byte reads as 0, so that any input makes one well-defined case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

class TFuzzInput {
public:
  TFuzzInput(const uint8_t* Data, size_t Size) : FData(Data), FSize(Size) {}
  uint8_t Byte() { return FPos < FSize ? FData[FPos++] : 0; }
  // A value in 0..Count-1.
  int32_t Pick(int32_t Count) { return Count <= 1 ? 0 : Byte() % Count; }
  // A value in 0..Count-1 from two bytes.
  int32_t PickWide(int32_t Count) { return Count <= 1 ? 0 : (Byte() | Byte() << 8) % Count; }
  // The next byte of the input or, past its end with Noise, of a fixed
  // pseudo-random sequence: large pictures of varied content (long LZW
  // tables, many strips) from short inputs.
  uint8_t ByteOrNoise(bool Noise) {
    if (FPos < FSize || !Noise) return Byte();
    FNoise ^= FNoise << 13;
    FNoise ^= FNoise >> 7;
    FNoise ^= FNoise << 17;
    return static_cast<uint8_t>(FNoise >> 32);
  }

private:
  const uint8_t* FData;
  size_t FSize;
  size_t FPos = 0;
  uint64_t FNoise = 0x9E3779B97F4A7C15ull;
};

// A broken promise of the code under test: says what and stops, so that the
// fuzzer keeps the input and the corpus replay fails.
[[noreturn]] inline void FuzzFailure(const char* What) {
  std::fprintf(stderr, "fuzz check failed: %s\n", What);
  std::abort();
}
