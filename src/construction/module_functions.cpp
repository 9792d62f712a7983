// one_of (a MatchFirst of literals from a whitespace-separated string) and the character
// set functions (new strs of fixed ASCII content).
#include "construction/module_functions.hpp"

#include <string_view>
#include <vector>

#include "construction/call_frame.hpp"
#include "construction/element_object.hpp"
#include "elements/literals.hpp"
#include "elements/structure.hpp"

namespace vantorel::py {

namespace {

// The 25 characters with the Unicode White_Space property: the separators of one_of (a
// wider set than the four bytes the engine skips).
constexpr bool is_unicode_white_space(uint32_t c) noexcept {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// Decodes the character at text[i] (well-formed UTF-8, as the interpreter gives it) and
// its byte length.
uint32_t decode_at(std::string_view text, size_t i, size_t& length) noexcept {
  const auto b = static_cast<unsigned char>(text[i]);
  auto cont = [&](size_t k) -> uint32_t {
    return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) & 0x3Fu : 0u;
  };
  if (b < 0x80) {
    length = 1;
    return b;
  }
  if ((b & 0xE0) == 0xC0) {
    length = 2;
    return ((b & 0x1Fu) << 6) | cont(1);
  }
  if ((b & 0xF0) == 0xE0) {
    length = 3;
    return ((b & 0x0Fu) << 12) | (cont(1) << 6) | cont(2);
  }
  length = 4;
  return ((b & 0x07u) << 18) | (cont(1) << 12) | (cont(2) << 6) | cont(3);
}

PyResult<PyRef> one_of(const CallArgs& args) noexcept {
  const std::string_view text = args[0].text;
  std::vector<ElementRef> alternatives;
  size_t word_start = 0;
  bool in_word = false;
  for (size_t i = 0; i < text.size();) {
    size_t length = 1;
    const uint32_t c = decode_at(text, i, length);
    if (i + length > text.size()) length = text.size() - i;
    if (is_unicode_white_space(c)) {
      if (in_word) alternatives.push_back(new_literal_element(text.substr(word_start, i - word_start)));
      in_word = false;
    } else if (!in_word) {
      in_word = true;
      word_start = i;
    }
    i += length;
  }
  if (in_word) alternatives.push_back(new_literal_element(text.substr(word_start)));
  if (alternatives.empty()) return PyError::ours(PyExc_ValueError, "one_of requires at least one string");
  PyResult<PyTypeObject*> type = match_first_type_object();
  if (!type.ok()) return type.take_error();
  return new_element_object(type.value(), ElementRef::make<MatchFirstElement>(std::move(alternatives)));
}

constexpr ArgumentSpec kOneOfSpec{{}, "one_of", {ParamSpec{"strs", ParamKind::Text}}, 1, 1};

template <const std::string_view& Content>
PyResult<PyRef> character_set() noexcept {
  return new_str(Content);
}

constexpr std::string_view kAlphasLower = "abcdefghijklmnopqrstuvwxyz";
constexpr std::string_view kAlphasUpper = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr std::string_view kAlphas = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr std::string_view kNums = "0123456789";
constexpr std::string_view kAlphanums = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::string_view kHexnums = "0123456789abcdefABCDEF";
constexpr std::string_view kPrintables =
    "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~";
static_assert(kPrintables.size() == 94);

PyMethodDef g_function_defs[] = {
    {"alphas", as_cfunction(&noargs_entry<&character_set<kAlphas>>), METH_NOARGS, "alphas()\n--\n\n"},
    {"alphanums", as_cfunction(&noargs_entry<&character_set<kAlphanums>>), METH_NOARGS, "alphanums()\n--\n\n"},
    {"nums", as_cfunction(&noargs_entry<&character_set<kNums>>), METH_NOARGS, "nums()\n--\n\n"},
    {"printables", as_cfunction(&noargs_entry<&character_set<kPrintables>>), METH_NOARGS, "printables()\n--\n\n"},
    {"hexnums", as_cfunction(&noargs_entry<&character_set<kHexnums>>), METH_NOARGS, "hexnums()\n--\n\n"},
    {"alphas_upper", as_cfunction(&noargs_entry<&character_set<kAlphasUpper>>), METH_NOARGS,
     "alphas_upper()\n--\n\n"},
    {"alphas_lower", as_cfunction(&noargs_entry<&character_set<kAlphasLower>>), METH_NOARGS,
     "alphas_lower()\n--\n\n"},
    {"one_of", as_cfunction(&function_entry<kOneOfSpec, &one_of>), METH_FASTCALL | METH_KEYWORDS,
     "one_of(strs)\n--\n\nCreate a MatchFirst from a space-separated string of literal alternatives.\n"
     "Equivalent to merlak.one_of(\"+ - * /\")."},
};

}  // namespace

std::span<PyMethodDef> module_function_defs() noexcept { return g_function_defs; }

}  // namespace vantorel::py
