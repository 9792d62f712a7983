// The shared character rules: boundaries, lenient and strict decoding, encoding, the
// White_Space characters and the ASCII word bytes.
#include "elements/utf8.hpp"

#include <gtest/gtest.h>

#include <string>

namespace vantorel {
namespace {

TEST(Utf8, EncodingAndBothDecodersAgreeOnEveryScalarValue) {
  for (uint32_t c = 0; c <= 0x10FFFF; c += (c < 0x3000 ? 1 : 97)) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    std::string s;
    append_utf8(s, c);
    SCOPED_TRACE(c);
    const DecodedChar lenient = decode_utf8_at(s.data(), s.size(), 0);
    const DecodedChar strict = decode_utf8_strict(s.data(), s.size(), 0);
    EXPECT_EQ(lenient.code_point, c);
    EXPECT_EQ(lenient.length, s.size());
    EXPECT_EQ(strict.code_point, c);
    EXPECT_EQ(strict.length, s.size());
    EXPECT_EQ(utf8_sequence_length(static_cast<unsigned char>(s[0])), s.size());
    const DecodedChar before = decode_utf8_before(s.data(), s.size(), s.size());
    EXPECT_EQ(before.code_point, c);
  }
}

TEST(Utf8, StrictDecodingRefusesMalformedSequences) {
  struct Case {
    std::string bytes;
    uint32_t length;  // 0: refused
  };
  const Case cases[] = {
      {"\x80", 0},          {"\xC3", 0},          {"\xC3\x28", 0},         {"\xC0\xAF", 0},
      {"\xE0\x80\xAF", 0},  {"\xED\xA0\x80", 0},  {"\xF4\x90\x80\x80", 0}, {"\xF8\x88\x80\x80", 0},
      {"\xC3\xA9", 2},      {"\xE2\x82\xAC", 3},  {"\xF0\x9F\x98\x80", 4}, {"a", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(decode_utf8_strict(c.bytes.data(), c.bytes.size(), 0).length, c.length);
  }
}

TEST(Utf8, LenientDecodingStopsAtTheEndOfACutText) {
  const std::string cut = "\xE2\x82";  // the first two bytes of U+20AC
  const DecodedChar d = decode_utf8_at(cut.data(), cut.size(), 0);
  EXPECT_EQ(d.length, 2u);
  EXPECT_EQ(decode_utf8_at(cut.data(), cut.size(), 1).length, 1u);  // a continuation byte
  EXPECT_EQ(next_character_boundary("\xC3\xA9x", 3, 1), 2u);
  EXPECT_EQ(previous_character_boundary("\xC3\xA9x", 3, 1), 0u);
}

TEST(Utf8, WhiteSpaceAndWordBytes) {
  int white = 0;
  for (uint32_t c = 0; c <= 0x10FFFF; ++c) white += is_unicode_white_space(c) ? 1 : 0;
  EXPECT_EQ(white, 25);
  for (uint32_t c : {0x09u, 0x0Du, 0x20u, 0x85u, 0xA0u, 0x1680u, 0x200Au, 0x2028u, 0x202Fu, 0x205Fu, 0x3000u}) {
    EXPECT_TRUE(is_unicode_white_space(c)) << c;
  }
  for (uint32_t c : {0x08u, 0x0Eu, 0x200Bu, 0x180Eu, 0xFEFFu}) EXPECT_FALSE(is_unicode_white_space(c)) << c;
  int word = 0;
  for (unsigned b = 0; b < 256; ++b) word += is_ascii_word_byte(static_cast<unsigned char>(b)) ? 1 : 0;
  EXPECT_EQ(word, 63);
}

}  // namespace
}  // namespace vantorel
