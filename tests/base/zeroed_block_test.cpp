// Zeroed memory and the copy into it that leaves blocks of zeros unwritten.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/base/zeroed_block.h"

// Blocks of zeros, a lone byte at the start, the middle or the end of a
// block, and a short tail: the copy equals the source, in a small block
// (calloc) and a large one (mapped).
TEST(ZeroedBlock, CopyLeavesOnlyZerosUnwrittenAndEqualsTheSource) {
  for (size_t size : {size_t(3 * 4096 + 100), size_t(5) << 20}) {
    std::vector<uint8_t> source(size, 0);
    for (size_t at : {size_t(0), size_t(4096 + 2047), size_t(3 * 4096 - 1), size - 1}) source[at] = 0xA5;
    TZeroedBlock block(size);
    ASSERT_TRUE(block);
    CopyToZeroed(block.get(), source.data(), size);
    EXPECT_EQ(std::memcmp(block.get(), source.data(), size), 0) << size;
  }
}
