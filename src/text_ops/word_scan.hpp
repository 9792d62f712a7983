// The bytewise Word matcher of the text scans: two 256-entry byte tables built per call
// from a WordElement's sets, the word that starts at a position, and count_words, the
// branch-free count of the words of a text with its periodic shortcut. Nothing here knows
// Python.
#pragma once

#include <cstdint>

#include "elements/chars.hpp"
#include "text_ops/periodic.hpp"

namespace vantorel {

// init[b] / body[b] are 1 when byte b is a member of the element's init_set / body_set.
// Bytes are tested one at a time, never decoded: this is WordElement::try_match_at with
// the limits the constructor stores (at least one byte, no maximum).
struct WordTables {
  unsigned char init[256];
  unsigned char body[256];

  explicit WordTables(const WordElement& word) noexcept {
    for (unsigned b = 0; b < 256; ++b) {
      init[b] = word.init_set.contains(b) ? 1 : 0;
      body[b] = word.body_set.contains(b) ? 1 : 0;
    }
  }

  [[nodiscard]] bool starts(const char* text, uint64_t p) const noexcept {
    return init[static_cast<unsigned char>(text[p])] != 0;
  }
  // The end of the word that starts at p (starts(text, p) holds, p < limit): the first
  // position after p whose byte is not a body byte, or `limit`.
  [[nodiscard]] uint64_t word_end(const char* text, uint64_t p, uint64_t limit) const noexcept {
    uint64_t e = p + 1;
    while (e < limit && body[static_cast<unsigned char>(text[e])] != 0) ++e;
    return e;
  }

  // The words of text[a, b) in order, each cut at b at the latest: calls on_word(start, end).
  // This is match_scan with the Word matcher built in: after a word the scan resumes at its
  // end, after any other byte one byte on.
  template <class OnWord>
  void scan(const char* text, uint64_t a, uint64_t b, OnWord&& on_word) const noexcept {
    uint64_t p = a;
    while (p < b) {
      if (!starts(text, p)) {
        ++p;
        continue;
      }
      const uint64_t e = word_end(text, p, b);
      on_word(p, e);
      p = e;
    }
  }

  // The number of words that scan finds in text[a, b), in one pass without a branch per
  // byte: a state bit says whether the previous byte belongs to a word.
  [[nodiscard]] uint64_t count_one_pass(const char* text, uint64_t a, uint64_t b) const noexcept {
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    uint64_t count = 0;
    unsigned state = 0;
    for (uint64_t i = a; i < b; ++i) {
      // A byte continues a word (cont) when the previous one belongs to a word and it is a
      // body byte; otherwise an init byte starts one. Either way the byte belongs to a word
      // when cont or init holds, which keeps the loop-carried chain to two operations.
      const unsigned cont = state & body[s[i]];
      count += init[s[i]] & (cont ^ 1u);
      state = cont | init[s[i]];
    }
    return count;
  }
};

// The number of words of the Word scan over text[0, n) (search_string_count of Word). A
// periodic text is counted from its block and its tail, unless a word could run on from
// one block into the next (the block's last byte may belong to a word and its first byte
// is a body byte). Allocates nothing.
[[nodiscard]] inline uint64_t count_words(const WordTables& t, const char* text, uint64_t n) noexcept {
  if (n == 0) return 0;
  if (n >= 4) {
    const uint64_t p = detect_period(text, n);
    if (p != 0) {
      const auto last = static_cast<unsigned char>(text[p - 1]);
      const bool runs_on = (t.init[last] | t.body[last]) != 0 && t.body[static_cast<unsigned char>(text[0])] != 0;
      if (!runs_on) {
        const uint64_t q = n / p;
        return q * t.count_one_pass(text, 0, p) + t.count_one_pass(text, q * p, n);
      }
    }
  }
  return t.count_one_pass(text, 0, n);
}

}  // namespace vantorel
