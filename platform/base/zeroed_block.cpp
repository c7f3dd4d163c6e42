#include "platform/base/zeroed_block.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

constexpr size_t HugePage = size_t(2) << 20;
// Below this a block comes from calloc: the page faults of a few small
// pages cost less than a mapping of its own.
constexpr size_t MappedFrom = size_t(4) << 20;

size_t MappedLength(size_t Size) { return (Size + HugePage - 1) & ~(HugePage - 1); }

}  // namespace

bool AllZero(const uint8_t* P, size_t N) {
  size_t i = 0;
  for (; i + 8 <= N; i += 8) {
    uint64_t w;
    std::memcpy(&w, P + i, 8);
    if (w) return false;
  }
  for (; i < N; ++i)
    if (P[i]) return false;
  return true;
}

void CopyToZeroed(uint8_t* Dest, const uint8_t* Source, size_t Size) {
  constexpr size_t Block = 4096;
  for (size_t at = 0; at < Size; at += Block) {
    const size_t n = Size - at < Block ? Size - at : Block;
    if (!AllZero(Source + at, n)) std::memcpy(Dest + at, Source + at, n);
  }
}

TZeroedBlock::TZeroedBlock(size_t Size) {
  if (Size >= MappedFrom) {
    // One huge page more than needed, then the unaligned head and the tail
    // are given back, which leaves an aligned block of whole huge pages.
    const size_t length = MappedLength(Size);
    void* p = mmap(nullptr, length + HugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p != MAP_FAILED) {
      const uintptr_t first = reinterpret_cast<uintptr_t>(p);
      const uintptr_t start = (first + HugePage - 1) & ~(HugePage - 1);
      if (start > first) munmap(p, start - first);
      const uintptr_t end = first + length + HugePage;
      if (end > start + length) munmap(reinterpret_cast<void*>(start + length), end - (start + length));
      madvise(reinterpret_cast<void*>(start), length, MADV_HUGEPAGE);  // a hint; refused is fine
      FData = reinterpret_cast<uint8_t*>(start);
      FSize = Size;
      FMapped = true;
      return;
    }
  }
  FData = static_cast<uint8_t*>(std::calloc(Size > 0 ? Size : 1, 1));
  FSize = FData ? Size : 0;
}

TZeroedBlock& TZeroedBlock::operator=(TZeroedBlock&& Other) noexcept {
  if (this != &Other) {
    reset();
    FData = std::exchange(Other.FData, nullptr);
    FSize = std::exchange(Other.FSize, 0);
    FMapped = Other.FMapped;
  }
  return *this;
}

void TZeroedBlock::reset() {
  if (FData) {
    if (FMapped)
      munmap(FData, MappedLength(FSize));
    else
      std::free(FData);
  }
  FData = nullptr;
  FSize = 0;
  FMapped = false;
}
