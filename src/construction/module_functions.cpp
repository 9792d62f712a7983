// one_of (a MatchFirst of literals from a whitespace-separated string) and the character
// set functions (new strs of fixed ASCII content).
#include "construction/module_functions.hpp"

#include <string_view>
#include <vector>

#include "construction/call_frame.hpp"
#include "construction/element_object.hpp"
#include "elements/literals.hpp"
#include "elements/structure.hpp"
#include "elements/utf8.hpp"

namespace vantorel::py {

namespace {

PyResult<PyRef> one_of(const CallArgs& args) noexcept {
  const std::string_view text = args[0].text;
  std::vector<ElementRef> alternatives;
  size_t word_start = 0;
  bool in_word = false;
  for (size_t i = 0; i < text.size();) {
    // The words are split at the Unicode White_Space characters (a wider set than the four
    // bytes the engine skips).
    const DecodedChar c = decode_utf8_at(text.data(), text.size(), i);
    if (is_unicode_white_space(c.code_point)) {
      if (in_word) alternatives.push_back(new_literal_element(text.substr(word_start, i - word_start)));
      in_word = false;
    } else if (!in_word) {
      in_word = true;
      word_start = i;
    }
    i += c.length;
  }
  if (in_word) alternatives.push_back(new_literal_element(text.substr(word_start)));
  if (alternatives.empty()) return PyError::ours(PyExc_ValueError, "one_of requires at least one string");
  // One of the classes start-up has made: the function is added after them.
  return new_element_object(class_of(ClassId::MatchFirst),
                            ElementRef::make<MatchFirstElement>(std::move(alternatives)));
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
