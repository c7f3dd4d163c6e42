// Zeroed memory for large buffers such as pixel memory. A block of a few
// megabytes is mapped from the system directly, aligned to 2 MB and offered
// huge pages, so that its first touch costs a page fault per 2 MB instead
// of one per 4 KB; smaller blocks come from calloc. Either way the memory
// starts zeroed without a clearing pass of its own.
#pragma once

#include <cstddef>
#include <cstdint>

// Whether the N bytes at P are all zero.
bool AllZero(const uint8_t* P, size_t N);

// Copies Size bytes into memory that still holds only zeros (a new
// TZeroedBlock): blocks of the source that hold only zeros are not written,
// so that the pages of a mostly blank picture are never touched.
void CopyToZeroed(uint8_t* Dest, const uint8_t* Source, size_t Size);

class TZeroedBlock {
public:
  TZeroedBlock() = default;
  // Size bytes of zeroed memory; empty (false) when the system refuses.
  explicit TZeroedBlock(size_t Size);
  ~TZeroedBlock() { reset(); }
  TZeroedBlock(TZeroedBlock&& Other) noexcept : FData(Other.FData), FSize(Other.FSize), FMapped(Other.FMapped) {
    Other.FData = nullptr;
    Other.FSize = 0;
  }
  TZeroedBlock& operator=(TZeroedBlock&& Other) noexcept;
  TZeroedBlock(const TZeroedBlock&) = delete;
  TZeroedBlock& operator=(const TZeroedBlock&) = delete;

  uint8_t* get() const { return FData; }
  explicit operator bool() const { return FData != nullptr; }
  // Gives the memory back; the block is empty afterwards.
  void reset();

private:
  uint8_t* FData = nullptr;
  size_t FSize = 0;
  bool FMapped = false;  // mapped (FSize rounded up to 2 MB), else from calloc
};
