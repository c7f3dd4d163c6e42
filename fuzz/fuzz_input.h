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

private:
  const uint8_t* FData;
  size_t FSize;
  size_t FPos = 0;
};

// A broken promise of the code under test: says what and stops, so that the
// fuzzer keeps the input and the corpus replay fails.
[[noreturn]] inline void FuzzFailure(const char* What) {
  std::fprintf(stderr, "round trip failed: %s\n", What);
  std::abort();
}
