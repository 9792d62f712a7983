// The byte searches: ByteFinder in each of its modes and find_byte_pair give the answers of
// their plain loops, on random texts and ranges long enough for the wide steps.
#include "elements/byte_search.hpp"

#include <gtest/gtest.h>

#include <initializer_list>
#include <random>
#include <string>

namespace vantorel {
namespace {

// A random text of `n` bytes drawn from `alphabet`.
std::string random_text(std::mt19937& rng, size_t n, const std::string& alphabet) {
  std::string t(n, '\0');
  for (char& c : t) c = alphabet[rng() % alphabet.size()];
  return t;
}

TEST(ByteFinder, EveryModeAgreesWithThePlainLoop) {
  std::mt19937 rng(11);
  const std::string alphabet = "abcxyz \t\n\x80\xc3\xa9\xff";
  for (int round = 0; round < 400; ++round) {
    // Sets of 0, 1, 2, 3, a few and many members, all 256, and one run of consecutive bytes
    // (its ends drawn so that some runs hold the text's bytes and some touch 0 or 255).
    ByteSet set;
    constexpr unsigned kSizes[] = {0, 1, 2, 3, 9, 200, 256, 0};
    const unsigned members = kSizes[round % 8];
    if (members == 256) set = ByteSet::all();
    while (set.count() < members) set.insert(rng() % 256);
    if (round % 8 == 7) {
      const unsigned lo = round % 16 == 7 ? rng() % 256 : 0x61 + rng() % 8;
      const unsigned hi = round % 32 == 7 ? 255 : lo + 3 + rng() % 40;
      for (unsigned v = lo; v <= hi && v < 256; ++v) set.insert(v);
    }
    const ByteFinder finder(set);
    const std::string text = random_text(rng, 1 + rng() % 300, alphabet);
    for (int range = 0; range < 20; ++range) {
      const uint64_t from = rng() % text.size();
      const uint64_t to = from + rng() % (text.size() - from + 1);
      ASSERT_EQ(finder.find(text.data(), from, to), finder.find_plain(text.data(), from, to))
          << members << " members, " << from << ".." << to;
    }
  }
}

TEST(ByteFinder, FindsEachMemberAtEveryOffsetOfABlock) {
  // One member byte in a text of non-members, at every offset of a 96-byte text.
  for (unsigned v : {0u, 0x61u, 0x7fu, 0x80u, 0xffu}) {
    ByteSet set = ByteSet::of(v);
    set.insert(v ^ 1);
    set.insert(v ^ 2);
    set.insert(v ^ 4);  // four members: the table mode
    const ByteFinder finder(set);
    for (uint64_t at = 0; at < 96; ++at) {
      std::string text(96, static_cast<char>(v ^ 8));
      text[at] = static_cast<char>(v);
      ASSERT_EQ(finder.find(text.data(), 0, text.size()), at) << v;
    }
  }
}

TEST(FindBytePair, AgreesWithThePlainLoop) {
  std::mt19937 rng(12);
  for (int round = 0; round < 2000; ++round) {
    const std::string text = random_text(rng, 2 + rng() % 400, round % 2 == 0 ? "ab" : "abcdefgh");
    const uint64_t gap = 1 + rng() % (text.size() - 1);
    const uint64_t end = text.size() - gap + 1 - rng() % 2;  // up to the last pair that fits
    const uint64_t from = rng() % (end + 1);
    const auto a = static_cast<unsigned char>(text[rng() % text.size()]);
    const auto b = static_cast<unsigned char>(text[rng() % text.size()]);
    ASSERT_EQ(find_byte_pair(text.data(), from, end, a, b, gap),
              find_byte_pair_plain(text.data(), from, end, a, b, gap))
        << from << ".." << end << " gap " << gap;
  }
}

TEST(FindFirstOf3, AgreesWithThePlainLoop) {
  std::mt19937 rng(13);
  for (int round = 0; round < 3000; ++round) {
    const std::string text = random_text(rng, rng() % 70, round % 2 == 0 ? "ab\"\n" : "abcdefgh\x80\xff");
    const uint64_t to = text.size() - (text.empty() ? 0 : rng() % (text.size() + 1));
    const uint64_t from = rng() % (to + 3);  // beyond `to` too
    const std::string bytes = "ab\"\nz\x80\xff";
    const auto pick = [&] { return static_cast<unsigned char>(bytes[rng() % bytes.size()]); };
    const unsigned char a = pick(), b = pick(), c = pick();
    ASSERT_EQ(find_first_of3(text.data(), from, to, a, b, c), find_first_of3_plain(text.data(), from, to, a, b, c))
        << from << ".." << to;
  }
}

}  // namespace
}  // namespace vantorel
