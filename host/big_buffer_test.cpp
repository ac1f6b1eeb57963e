// The kept blocks of the working arrays: a freed block comes back for the
// next request of its size, the bounds hold after every step of a random
// sequence checked against a plain model, and threads taking and giving
// back at once never share a block.
#include "host/big_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <random>
#include <set>
#include <thread>
#include <utility>
#include <vector>

namespace {

using big_buffer::block_cache;
using big_buffer::huge_page;

bool on_huge_page(const void* block) { return uintptr_t(block) % huge_page == 0; }

// Block sizes of both kinds: in 64 KiB below a huge page, in huge pages from
// one on.
size_t random_block_bytes(std::mt19937& random) {
  const size_t bytes = big_buffer::smallest_kept + random() % (4 * huge_page);
  return big_buffer::block_bytes(bytes);
}

// Writes the block's first and last bytes, so that a block too small or not
// writable fails under the sanitizers.
void touch(void* block, size_t bytes, unsigned char value) {
  static_cast<unsigned char*>(block)[0] = value;
  static_cast<unsigned char*>(block)[bytes - 1] = value;
}

TEST(BlockCache, AFreedBlockComesBackForItsOwnSizeOnly) {
  block_cache cache(size_t(64) << 20, 4);
  void* a = cache.take(huge_page);
  EXPECT_TRUE(on_huge_page(a));
  touch(a, huge_page, 1);
  cache.give_back(a, huge_page);
  EXPECT_EQ(cache.kept_blocks(), 1u);
  EXPECT_EQ(cache.kept_bytes(), huge_page);

  void* b = cache.take(2 * huge_page);  // another size: a fresh block
  EXPECT_NE(b, a);
  EXPECT_TRUE(on_huge_page(b));
  touch(b, 2 * huge_page, 2);
  EXPECT_EQ(cache.take(huge_page), a);
  EXPECT_EQ(cache.kept_blocks(), 0u);

  // Of two kept blocks of one size, the one given back last comes first.
  void* c = cache.take(huge_page);
  ASSERT_NE(c, a);
  cache.give_back(a, huge_page);
  cache.give_back(c, huge_page);
  EXPECT_EQ(cache.take(huge_page), c);
  EXPECT_EQ(cache.take(huge_page), a);

  cache.give_back(a, huge_page);
  cache.give_back(b, 2 * huge_page);
  cache.give_back(c, huge_page);
  EXPECT_EQ(cache.kept_blocks(), 3u);
  cache.release();
  EXPECT_EQ(cache.kept_blocks(), 0u);
  EXPECT_EQ(cache.kept_bytes(), 0u);
}

// What the cache should hold: its blocks, oldest first.
struct model {
  size_t byte_limit, block_limit;
  std::vector<std::pair<void*, size_t>> kept;

  size_t bytes() const {
    size_t sum = 0;
    for (const auto& block : kept) sum += block.second;
    return sum;
  }
  // The block a request of `bytes` gets, or null for a fresh one.
  void* take(size_t bytes) {
    for (size_t i = kept.size(); i-- > 0;) {
      if (kept[i].second == bytes) {
        void* block = kept[i].first;
        kept.erase(kept.begin() + long(i));
        return block;
      }
    }
    return nullptr;
  }
  void give_back(void* block, size_t bytes) {
    if (block_limit == 0 || bytes > byte_limit) return;
    while (kept.size() == block_limit || this->bytes() + bytes > byte_limit) kept.erase(kept.begin());
    kept.emplace_back(block, bytes);
  }
};

TEST(BlockCache, RandomUseKeepsWithinTheBoundsOldestOut) {
  std::mt19937 random(11);
  for (size_t block_limit : {0, 1, 3, 16}) {
    for (size_t byte_limit : {size_t(0), 3 * huge_page, 8 * huge_page, size_t(1) << 30}) {
      block_cache cache(byte_limit, block_limit);
      model expected{byte_limit, block_limit, {}};
      std::vector<std::pair<void*, size_t>> held;
      for (int step = 0; step < 400; ++step) {
        if (held.empty() || (held.size() < 6 && random() % 2)) {
          // Few sizes, so that some come back.
          const size_t bytes = random() % 2 ? (1 + random() % 3) * huge_page
                                            : big_buffer::block_bytes(huge_page / (2 + random() % 3));
          void* block = cache.take(bytes);
          EXPECT_TRUE(bytes < huge_page || on_huge_page(block));
          void* kept = expected.take(bytes);
          if (kept) {
            EXPECT_EQ(block, kept);
          }
          touch(block, bytes, static_cast<unsigned char>(step));
          held.emplace_back(block, bytes);
        } else {
          const size_t i = random() % held.size();
          cache.give_back(held[i].first, held[i].second);
          expected.give_back(held[i].first, held[i].second);
          held.erase(held.begin() + long(i));
        }
        ASSERT_EQ(cache.kept_blocks(), expected.kept.size()) << "step " << step;
        ASSERT_EQ(cache.kept_bytes(), expected.bytes()) << "step " << step;
        ASSERT_LE(cache.kept_blocks(), std::min(block_limit, block_cache::most_blocks));
        ASSERT_LE(cache.kept_bytes(), byte_limit);
      }
      for (const auto& block : held) cache.give_back(block.first, block.second);
    }
  }
}

TEST(BlockCache, ThreadsNeverHoldTheSameBlockAtOnce) {
  block_cache cache(12 * huge_page, 3);
  std::mutex lock;
  std::set<void*> in_use;
  bool shared = false;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      std::mt19937 random{unsigned(t)};
      for (int round = 0; round < 300; ++round) {
        const size_t bytes = random_block_bytes(random);
        void* block = cache.take(bytes);
        {
          std::lock_guard<std::mutex> hold(lock);
          shared = shared || !in_use.insert(block).second;
        }
        // Another thread writing the block now would be a race TSan reports.
        std::memset(block, t, 4096);
        touch(block, bytes, static_cast<unsigned char>(t));
        {
          std::lock_guard<std::mutex> hold(lock);
          in_use.erase(block);
        }
        cache.give_back(block, bytes);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_FALSE(shared);
  EXPECT_LE(cache.kept_blocks(), 3u);
  EXPECT_LE(cache.kept_bytes(), 12 * huge_page);
}

TEST(BigBuffer, LargeVectorsReuseTheirStorageSmallOnesAreNotKept) {
  block_cache& shared = big_buffer::shared_cache();
  shared.release();
  const size_t large = 3 * huge_page / 2 / sizeof(double);  // a block of two huge pages
  const size_t middle = 300000 / sizeof(double);            // of 320 KiB
  const double *first_large, *first_middle;
  {
    big_buffer::vector<double> v(large), w(middle);
    first_large = v.data();
    first_middle = w.data();
    EXPECT_TRUE(on_huge_page(first_large));
    v.back() = w.back() = 1.0;
  }
  EXPECT_EQ(shared.kept_blocks(), 2u);
  EXPECT_EQ(shared.kept_bytes(), 2 * huge_page + (size_t(320) << 10));
  {
    // The same blocks for sizes that round the same way, none for a small one.
    big_buffer::vector<double> v(large - 1000), w(middle + 1000);
    EXPECT_EQ(v.data(), first_large);
    EXPECT_EQ(w.data(), first_middle);
    big_buffer::vector<double> small(1000);
    EXPECT_EQ(shared.kept_blocks(), 0u);
  }
  EXPECT_EQ(shared.kept_blocks(), 2u);
  shared.release();
  EXPECT_EQ(shared.kept_blocks(), 0u);
}

}  // namespace
