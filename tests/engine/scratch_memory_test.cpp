// Scratch memory of a call and the per-call map that uses it: blocks on either side of the
// size from which they are mapped on their own, a growable array and a map that grow across
// it, and the hints (huge pages, the map's prefetch), which change nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "text_ops/open_table.hpp"
#include "text_ops/scratch_memory.hpp"

namespace vantorel {
namespace {

TEST(ScratchMemory, BlocksAreZeroedWhenAskedAndWritableToTheirEnd) {
  for (const size_t bytes : {size_t{1}, size_t{4096}, kScratchMapBytes - 1, kScratchMapBytes, kScratchMapBytes + 1,
                             3 * kScratchMapBytes + 12345}) {
    SCOPED_TRACE(bytes);
    auto* p = static_cast<unsigned char*>(scratch_allocate(bytes, true));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[bytes / 2], 0);
    EXPECT_EQ(p[bytes - 1], 0);
    std::memset(p, 0xAB, bytes);
    scratch_free(p, bytes);
  }
  scratch_free(nullptr, kScratchMapBytes);  // allowed, like free(nullptr)
}

TEST(ScratchMemory, TheHugePageHintKeepsWhatABlockHolds) {
  for (const size_t bytes : {size_t{1000}, 3 * kScratchMapBytes + 777}) {
    SCOPED_TRACE(bytes);
    std::vector<unsigned char> block(bytes);
    for (size_t i = 0; i < bytes; ++i) block[i] = static_cast<unsigned char>(i * 31 + 7);
    advise_huge_pages(block.data() + 1, bytes - 1);  // unaligned on purpose
    for (size_t i = 0; i < bytes; ++i) {
      if (block[i] != static_cast<unsigned char>(i * 31 + 7)) FAIL() << "byte " << i;
    }
  }
}

TEST(ScratchMemory, AGrowableArrayKeepsItsElementsAcrossMappedBlocks) {
  std::vector<uint64_t, ScratchAllocator<uint64_t>> values;
  const uint64_t count = 3 * kScratchMapBytes / sizeof(uint64_t);
  for (uint64_t i = 0; i < count; ++i) values.push_back(i * 7 + 1);
  ASSERT_EQ(values.size(), count);
  for (uint64_t i = 0; i < count; ++i) {
    if (values[i] != i * 7 + 1) FAIL() << "element " << i;
  }
}

// A map of string keys grown well past the size at which its slots are mapped, or reserved
// for all of them ahead, with the prefetch hint given for keys ahead as the search drivers
// give it: every key keeps its value, and the keys it never held are not found.
void check_map_of_many_keys(bool reserved) {
  std::mt19937_64 rng(11);
  std::vector<std::string> keys;
  const size_t distinct = 2 * kScratchMapBytes / sizeof(OpenTableEntry<std::string_view, uint32_t>);
  for (size_t i = 0; i < distinct; ++i) keys.push_back(std::to_string(rng()) + "/" + std::to_string(i));
  std::vector<size_t> order;  // every key, most of them twice, in a random order
  for (size_t i = 0; i < distinct; ++i) {
    order.push_back(i);
    if (rng() % 4 != 0) order.push_back(i);
  }
  std::shuffle(order.begin(), order.end(), rng);
  OpenTable<std::string_view, uint32_t> table;
  if (reserved) {
    ASSERT_TRUE(table.reserve(distinct));
  }
  constexpr size_t kAhead = 8;
  for (size_t k = 0; k < order.size(); ++k) {
    if (k + kAhead < order.size()) table.prefetch(keys[order[k + kAhead]]);
    bool inserted = false;
    auto* entry = table.find_or_insert(keys[order[k]], &inserted);
    ASSERT_NE(entry, nullptr);
    if (inserted) {
      ASSERT_EQ(entry->value, 0u);
      entry->value = static_cast<uint32_t>(order[k] + 1);
    } else if (entry->value != order[k] + 1) {
      FAIL() << "key " << order[k] << " found with the value of another";
    }
  }
  EXPECT_EQ(table.size(), distinct);
  for (size_t i = 0; i < distinct; ++i) {
    const auto* entry = table.find(keys[i]);
    if (entry == nullptr || entry->value != i + 1) FAIL() << "key " << i;
  }
  EXPECT_EQ(table.find("not a key"), nullptr);
}

TEST(OpenTable, KeepsEveryKeyAcrossMappedSlotsWithPrefetchHints) {
  check_map_of_many_keys(false);
  check_map_of_many_keys(true);
}

}  // namespace
}  // namespace vantorel
