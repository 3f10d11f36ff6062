// The large arrays and the list blocks: every block is memory of its own,
// whatever the order of taking and giving back, and a large array holds
// what is written into it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "engine/base/large_memory.h"

namespace tdb {
namespace {

// Blocks over several slabs, given back and taken again in a mixed order;
// each carries its own mark in every word, so any two blocks that overlap,
// or a block handed out twice, show as a changed mark.
TEST(LargeMemoryTest, ListBlocksNeverOverlap) {
  std::mt19937 rng(5);
  struct Block {
    uint64_t* p;
    uint64_t mark;
  };
  std::vector<Block> held;
  uint64_t next_mark = 1;
  auto take = [&] {
    auto* p = static_cast<uint64_t*>(AllocateListBlock());
    const uint64_t mark = next_mark++;
    std::fill(p, p + kListBlockBytes / sizeof(uint64_t), mark);
    held.push_back({p, mark});
  };
  auto check = [&] {
    for (const Block& b : held)
      for (size_t w = 0; w < kListBlockBytes / sizeof(uint64_t); w += 97) ASSERT_EQ(b.p[w], b.mark);
  };
  for (int i = 0; i < 700; ++i) take();  // three slabs' worth
  check();
  for (int round = 0; round < 4; ++round) {
    std::shuffle(held.begin(), held.end(), rng);
    for (size_t k = held.size() / 2; k > 0; --k) {
      FreeListBlock(held.back().p);
      held.pop_back();
    }
    check();
    for (int i = 0; i < 300; ++i) take();
    check();
  }
  for (const Block& b : held) FreeListBlock(b.p);
  held.clear();
  take();  // an emptied pool still serves
  check();
  FreeListBlock(held.back().p);
}

TEST(LargeMemoryTest, LargeVectorsGrowAndKeepTheirItems) {
  std::vector<int32_t, TLargeAllocator<int32_t>> v;
  const size_t n = 3 * kLargeArrayBytes / sizeof(int32_t) + 5;  // crosses the large size while growing
  for (size_t i = 0; i < n; ++i) v.push_back(static_cast<int32_t>(i * 7));
  for (size_t i = 0; i < n; i += 1013) ASSERT_EQ(v[i], static_cast<int32_t>(i * 7));
  EXPECT_EQ(v.back(), static_cast<int32_t>((n - 1) * 7));
  std::vector<int32_t, TLargeAllocator<int32_t>> copy = v;
  v.clear();
  v.shrink_to_fit();
  EXPECT_EQ(copy[n / 2], static_cast<int32_t>((n / 2) * 7));
}

}  // namespace
}  // namespace tdb
