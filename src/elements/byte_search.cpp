// The byte searches: plain loops, and AVX2 loops (32 positions per step) compiled for that
// instruction set alone and taken only when the processor reports it.
#include "elements/byte_search.hpp"

#include <immintrin.h>

#include <cstring>

namespace vantorel {

namespace {

bool has_avx2() noexcept {
  static const bool avx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return avx2;
}

// ---- AVX2 -------------------------------------------------------------------------------

// One 32-byte block's members as a bit mask (bit i for the byte at i), for the Few mode.
__attribute__((target("avx2"))) inline uint32_t few_mask(__m256i x, __m256i a, __m256i b, __m256i c) noexcept {
  const __m256i hit = _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(x, a), _mm256_cmpeq_epi8(x, b)),
                                      _mm256_cmpeq_epi8(x, c));
  return static_cast<uint32_t>(_mm256_movemask_epi8(hit));
}

// The same for the Table mode: the byte's low half picks a row of eight bits from low_ or
// high_ (by the byte's top bit), and its high half picks the bit.
__attribute__((target("avx2"))) inline uint32_t table_mask(__m256i x, __m256i low, __m256i high,
                                                           __m256i bit_of_half) noexcept {
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  const __m256i lo = _mm256_and_si256(x, nibble);
  const __m256i hi = _mm256_and_si256(_mm256_srli_epi16(x, 4), nibble);
  const __m256i row = _mm256_blendv_epi8(_mm256_shuffle_epi8(low, lo), _mm256_shuffle_epi8(high, lo), x);
  const __m256i bit = _mm256_shuffle_epi8(bit_of_half, hi);
  const __m256i miss = _mm256_cmpeq_epi8(_mm256_and_si256(row, bit), _mm256_setzero_si256());
  return ~static_cast<uint32_t>(_mm256_movemask_epi8(miss));
}

__attribute__((target("avx2"))) uint64_t find_few_avx2(const char* text, uint64_t from, uint64_t to,
                                                       const unsigned char* few) noexcept {
  const __m256i a = _mm256_set1_epi8(static_cast<char>(few[0]));
  const __m256i b = _mm256_set1_epi8(static_cast<char>(few[1]));
  const __m256i c = _mm256_set1_epi8(static_cast<char>(few[2]));
  uint64_t p = from;
  for (; p + 32 <= to; p += 32) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + p));
    const uint32_t mask = few_mask(x, a, b, c);
    if (mask != 0) return p + static_cast<uint64_t>(__builtin_ctz(mask));
  }
  for (; p < to; ++p) {
    const auto v = static_cast<unsigned char>(text[p]);
    if (v == few[0] || v == few[1] || v == few[2]) return p;
  }
  return to;
}

__attribute__((target("avx2"))) uint64_t find_table_avx2(const char* text, uint64_t from, uint64_t to,
                                                         const unsigned char* low_row, const unsigned char* high_row,
                                                         const ByteSet& set) noexcept {
  const __m256i low = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(low_row)));
  const __m256i high = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(high_row)));
  const __m256i bit_of_half =
      _mm256_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128, 1, 2,
                       4, 8, 16, 32, 64, -128);
  uint64_t p = from;
  for (; p + 32 <= to; p += 32) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + p));
    const uint32_t mask = table_mask(x, low, high, bit_of_half);
    if (mask != 0) return p + static_cast<uint64_t>(__builtin_ctz(mask));
  }
  for (; p < to; ++p) {
    if (set.contains(static_cast<unsigned char>(text[p]))) return p;
  }
  return to;
}

__attribute__((target("avx2"))) uint64_t find_byte_pair_avx2(const char* text, uint64_t from, uint64_t end,
                                                             unsigned char a, unsigned char b, uint64_t gap) noexcept {
  const __m256i first = _mm256_set1_epi8(static_cast<char>(a));
  const __m256i second = _mm256_set1_epi8(static_cast<char>(b));
  uint64_t c = from;
  for (; c + 64 <= end; c += 64) {
    const char* x = text + c;
    const __m256i x0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x));
    const __m256i x1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x + 32));
    const __m256i y0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x + gap));
    const __m256i y1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x + gap + 32));
    const uint64_t m0 = static_cast<uint32_t>(
        _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(x0, first), _mm256_cmpeq_epi8(y0, second))));
    const uint64_t m1 = static_cast<uint32_t>(
        _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(x1, first), _mm256_cmpeq_epi8(y1, second))));
    const uint64_t mask = m0 | (m1 << 32);
    if (mask != 0) return c + static_cast<uint64_t>(__builtin_ctzll(mask));
  }
  return find_byte_pair_plain(text, c, end, a, b, gap);
}

// True when the `members` members of `set` are consecutive bytes.
bool is_one_run(const ByteSet& set, unsigned members) noexcept {
  unsigned lo = 0;
  while (!set.contains(lo)) ++lo;
  const unsigned hi = lo + members - 1;
  if (hi > 255) return false;
  for (unsigned v = lo; v <= hi; ++v) {
    if (!set.contains(v)) return false;
  }
  return true;
}

// The first position in [from, to) whose byte lies in lo + [0, width], sixteen bytes a step:
// b is in the range when b - lo, wrapping, is at most width.
uint64_t find_range_sse2(const char* text, uint64_t from, uint64_t to, unsigned char lo, unsigned char width) noexcept {
  const __m128i low = _mm_set1_epi8(static_cast<char>(lo));
  const __m128i most = _mm_set1_epi8(static_cast<char>(width));
  uint64_t p = from;
  for (; p + 16 <= to; p += 16) {
    const __m128i d = _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text + p)), low);
    const int mask = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(d, most), d));
    if (mask != 0) return p + static_cast<uint64_t>(__builtin_ctz(static_cast<unsigned>(mask)));
  }
  for (; p < to; ++p) {
    if (static_cast<unsigned char>(static_cast<unsigned char>(text[p]) - lo) <= width) return p;
  }
  return to;
}

}  // namespace

// ---- ByteFinder -------------------------------------------------------------------------

ByteFinder::ByteFinder(const ByteSet& set) noexcept : set_(set) {
  const unsigned members = set.count();
  if (members == 0) {
    mode_ = Mode::None;
  } else if (members == 256) {
    mode_ = Mode::All;
  } else if (members <= 3) {
    mode_ = members == 1 ? Mode::One : Mode::Few;
    unsigned k = 0;
    for (unsigned v = 0; v < 256; ++v) {
      if (set.contains(v)) few_[k++] = static_cast<unsigned char>(v);
    }
    for (; k < 3; ++k) few_[k] = few_[0];
  } else if (is_one_run(set, members)) {
    mode_ = Mode::Range;
    unsigned lo = 0;
    while (!set.contains(lo)) ++lo;
    range_lo_ = static_cast<unsigned char>(lo);
    range_width_ = static_cast<unsigned char>(members - 1);
  } else {
    mode_ = Mode::Table;
    for (unsigned v = 0; v < 256; ++v) {
      if (!set.contains(v)) continue;
      const unsigned h = v >> 4;
      if (h < 8) {
        low_[v & 15] |= static_cast<unsigned char>(1u << h);
      } else {
        high_[v & 15] |= static_cast<unsigned char>(1u << (h - 8));
      }
    }
  }
}

uint64_t ByteFinder::find(const char* text, uint64_t from, uint64_t to) const noexcept {
  if (from >= to) return to;
  switch (mode_) {
    case Mode::None: return to;
    case Mode::All: return from;
    case Mode::One: {
      const void* hit = std::memchr(text + from, few_[0], to - from);
      return hit == nullptr ? to : static_cast<uint64_t>(static_cast<const char*>(hit) - text);
    }
    case Mode::Few:
      if (has_avx2()) return find_few_avx2(text, from, to, few_);
      break;
    case Mode::Range: return find_range_sse2(text, from, to, range_lo_, range_width_);
    case Mode::Table:
      if (has_avx2()) return find_table_avx2(text, from, to, low_, high_, set_);
      break;
  }
  return find_plain(text, from, to);
}

uint64_t ByteFinder::find_plain(const char* text, uint64_t from, uint64_t to) const noexcept {
  for (uint64_t p = from; p < to; ++p) {
    if (set_.contains(static_cast<unsigned char>(text[p]))) return p;
  }
  return to;
}

// ---- byte pairs ---------------------------------------------------------------------------

uint64_t find_byte_pair(const char* text, uint64_t from, uint64_t end, unsigned char a, unsigned char b,
                        uint64_t gap) noexcept {
  if (has_avx2()) return find_byte_pair_avx2(text, from, end, a, b, gap);
  return find_byte_pair_plain(text, from, end, a, b, gap);
}

uint64_t find_byte_pair_plain(const char* text, uint64_t from, uint64_t end, unsigned char a, unsigned char b,
                              uint64_t gap) noexcept {
  for (uint64_t c = from; c < end; ++c) {
    if (static_cast<unsigned char>(text[c]) == a && static_cast<unsigned char>(text[c + gap]) == b) return c;
  }
  return end;
}

}  // namespace vantorel
