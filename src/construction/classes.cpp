// The 26 class declarations: type specs (name, size, flags, slots), method tables in each
// class's order with their docstrings, the constructors' argument specs, and the cache of
// class objects.
#include <array>
#include <atomic>
#include <string>
#include <vector>

#include "construction/call_frame.hpp"
#include "construction/constructors.hpp"
#include "construction/element_object.hpp"
#include "construction/methods.hpp"
#include "construction/operators.hpp"
#include "elements/fatal.hpp"
#include "elements/positional.hpp"

namespace vantorel::py {

namespace {

// ---- Methods ------------------------------------------------------------------------

constexpr const char* method_name(MethodId m) noexcept {
  switch (m) {
    case MethodId::ParseString: return "parse_string";
    case MethodId::Matches: return "matches";
    case MethodId::SearchString: return "search_string";
    case MethodId::SearchStringCount: return "search_string_count";
    case MethodId::TransformString: return "transform_string";
    case MethodId::ParseBatch: return "parse_batch";
    case MethodId::ParseBatchCount: return "parse_batch_count";
    case MethodId::SearchStringFlat: return "_search_string_flat";
    case MethodId::Set: return "set";
  }
  return "";
}

constexpr ParamSpec kS{"s", ParamKind::Text};
constexpr ParamSpec kInputs{"inputs", ParamKind::List};

constexpr ArgumentSpec method_spec(ClassId cls, MethodId m) noexcept {
  ArgumentSpec spec{class_name(cls), method_name(m)};
  switch (m) {
    case MethodId::TransformString:
      spec.params = {kS, ParamSpec{"replacement", ParamKind::Text}};
      spec.count = spec.required = 2;
      break;
    case MethodId::ParseBatch:
    case MethodId::ParseBatchCount:
      spec.params = {kInputs};
      spec.count = spec.required = 1;
      break;
    case MethodId::Set:
      spec.params = {ParamSpec{"expr", ParamKind::Object}};
      spec.count = spec.required = 1;
      break;
    default:
      spec.params = {kS};
      spec.count = spec.required = 1;
      break;
  }
  return spec;
}

template <ClassId C, MethodId M>
inline constexpr ArgumentSpec kMethodSpec = method_spec(C, M);

// A method docstring: the signature block, then the free text of the few that have one.
constexpr const char* method_doc(ClassId cls, MethodId m) noexcept {
  using C = ClassId;
  using M = MethodId;
  switch (cls) {
    case C::Literal:
      switch (m) {
        case M::ParseString:
          return "parse_string($self, s)\n--\n\n"
                 "Fast inline parse \xe2\x80\x94 returns a list holding the cached string, allocating nothing of its own";
        case M::Matches:
          return "matches($self, s)\n--\n\n"
                 "Zero-allocation match check \xe2\x80\x94 skips leading whitespace, requires full match";
        case M::ParseBatch:
          return "parse_batch($self, inputs)\n--\n\n"
                 "Full raw FFI batch parse \xe2\x80\x94 uniform detection + bulk INCREF, last-ptr fallback";
        case M::SearchString:
          return "search_string($self, s)\n--\n\n"
                 "Search string \xe2\x80\x94 cycle-aware count + PySequence_Repeat for optimal list creation";
        case M::SearchStringCount:
          return "search_string_count($self, s)\n--\n\n"
                 "Count occurrences \xe2\x80\x94 cycle detection fast path + SIMD memchr fallback";
        case M::ParseBatchCount:
          return "parse_batch_count($self, inputs)\n--\n\n"
                 "Full raw FFI count \xe2\x80\x94 uniform detection + last-ptr fallback";
        case M::TransformString:
          return "transform_string($self, s, replacement)\n--\n\n"
                 "Replace all non-overlapping matches with replacement string.\n"
                 "Uses SIMD-accelerated memchr::memmem for literal search.";
        default: break;
      }
      break;
    case C::Keyword:
      switch (m) {
        case M::ParseString:
          return "parse_string($self, s)\n--\n\n"
                 "Fast keyword parse \xe2\x80\x94 uses try_match_at + cached PyString, zero allocation";
        case M::SearchString:
          return "search_string($self, s)\n--\n\n"
                 "Search string \xe2\x80\x94 count + PySequence_Repeat (same pattern as Literal)";
        case M::ParseBatch:
          return "parse_batch($self, inputs)\n--\n\n"
                 "Specialized parse_batch \xe2\x80\x94 cached PyString + last-pointer cache";
        default: break;
      }
      break;
    case C::Word:
      switch (m) {
        case M::ParseString:
          return "parse_string($self, s)\n--\n\n"
                 "Fast-path word parse \xe2\x80\x94 returns the list directly, without an intermediate string";
        case M::ParseBatch:
          return "parse_batch($self, inputs)\n--\n\n"
                 "Cyclic detection + hash-based cache fallback + bulk INCREF";
        case M::ParseBatchCount:
          return "parse_batch_count($self, inputs)\n--\n\n"
                 "Count word matches in batch \xe2\x80\x94 uniform + cycle + hash cache";
        case M::SearchStringCount:
          return "search_string_count($self, s)\n--\n\n"
                 "Count word matches in large text \xe2\x80\x94 cycle detection + branchless scan";
        case M::Matches:
          return "matches($self, s)\n--\n\n"
                 "Zero-allocation match check via try_match_at";
        case M::SearchString:
          return "search_string($self, s)\n--\n\n"
                 "Optimized Word search_string \xe2\x80\x94 O(1) byte-table scanning, dedup, list-of-lists output";
        case M::SearchStringFlat:
          return "_search_string_flat($self, s)\n--\n\n"
                 "UNUSED: Original optimized search_string (returns flat list).";
        case M::TransformString:
          return "transform_string($self, s, replacement)\n--\n\n"
                 "Specialized transform: uses 256-byte lookup tables for direct byte scanning.";
        default: break;
      }
      break;
    case C::Regex:
      switch (m) {
        case M::ParseString:
          return "parse_string($self, s)\n--\n\n"
                 "Fast-path regex parse \xe2\x80\x94 returns the list directly, without an intermediate string";
        case M::Matches:
          return "matches($self, s)\n--\n\n"
                 "Zero-allocation match check \xe2\x80\x94 skips leading whitespace, requires full match";
        case M::SearchStringCount:
          return "search_string_count($self, s)\n--\n\n"
                 "Count regex matches in text \xe2\x80\x94 uses find_iter for SIMD-accelerated search";
        case M::SearchString:
          return "search_string($self, s)\n--\n\n"
                 "Optimized regex search \xe2\x80\x94 uses find_iter for SIMD-accelerated scanning";
        case M::ParseBatch:
          return "parse_batch($self, inputs)\n--\n\n"
                 "Cyclic detection + hash-based cache fallback + bulk INCREF";
        case M::ParseBatchCount:
          return "parse_batch_count($self, inputs)\n--\n\n"
                 "Count regex matches in batch \xe2\x80\x94 uniform + cycle + hash cache";
        case M::TransformString:
          return "transform_string($self, s, replacement)\n--\n\n"
                 "Specialized: uses regex replace_all for efficient in-engine replacement.";
        default: break;
      }
      break;
    case C::And:
      switch (m) {
        case M::ParseString:
          return "parse_string($self, s)\n--\n\n"
                 "Parse using parse_impl for correct multi-token handling.\n"
                 "Uses try_match_at fast path for Normal elements, parse_impl for Complex/Suppress/Group.";
        case M::Matches:
          return "matches($self, s)\n--\n\n"
                 "Zero-allocation match check using try_match_at (no ParseResults)";
        case M::SearchString:
          return "search_string($self, s)\n--\n\n"
                 "Search string \xe2\x80\x94 uses parse_impl for correct multi-token results, returns list-of-lists";
        case M::ParseBatchCount:
          return "parse_batch_count($self, inputs)\n--\n\n"
                 "Cyclic detection + hash-based pointer cache count";
        case M::ParseBatch:
          return "parse_batch($self, inputs)\n--\n\n"
                 "Cyclic detection + hash-based cache fallback + indexed tokens";
        default: break;
      }
      break;
    case C::Forward:
      if (m == M::Set) return "set($self, expr)\n--\n\nSet the inner parser expression (equivalent to <<= in merlak).";
      break;
    default: break;
  }
  switch (m) {
    case M::ParseString: return "parse_string($self, s)\n--\n\n";
    case M::Matches: return "matches($self, s)\n--\n\n";
    case M::SearchString: return "search_string($self, s)\n--\n\n";
    case M::SearchStringCount: return "search_string_count($self, s)\n--\n\n";
    case M::TransformString: return "transform_string($self, s, replacement)\n--\n\n";
    case M::ParseBatch: return "parse_batch($self, inputs)\n--\n\n";
    case M::ParseBatchCount: return "parse_batch_count($self, inputs)\n--\n\n";
    case M::SearchStringFlat: return "_search_string_flat($self, s)\n--\n\n";
    case M::Set: return "set($self, expr)\n--\n\n";
  }
  return nullptr;
}

template <ClassId C, MethodId M>
PyMethodDef method_def() noexcept {
  return {method_name(M), as_cfunction(&method_entry<kMethodSpec<C, M>, C, method_body(C, M)>),
          METH_FASTCALL | METH_KEYWORDS, method_doc(C, M)};
}

// The method table of class C in the given order (the order of the class's dictionary).
template <ClassId C, MethodId... Ms>
PyMethodDef* method_table() noexcept {
  static PyMethodDef table[] = {method_def<C, Ms>()..., {nullptr, nullptr, 0, nullptr}};
  return table;
}

template <ClassId C>
PyMethodDef* common_methods() noexcept {
  using M = MethodId;
  return method_table<C, M::ParseString, M::Matches, M::SearchStringCount, M::SearchString, M::ParseBatchCount,
                      M::ParseBatch, M::TransformString>();
}

PyMethodDef* class_methods(ClassId cls) noexcept {
  using C = ClassId;
  using M = MethodId;
  switch (cls) {
    case C::Literal:
      return method_table<C::Literal, M::ParseString, M::Matches, M::ParseBatch, M::SearchString,
                          M::SearchStringCount, M::ParseBatchCount, M::TransformString>();
    case C::Regex:
      return method_table<C::Regex, M::ParseString, M::Matches, M::SearchStringCount, M::SearchString,
                          M::ParseBatch, M::ParseBatchCount, M::TransformString>();
    case C::Word:
      return method_table<C::Word, M::ParseString, M::ParseBatch, M::ParseBatchCount, M::SearchStringCount,
                          M::Matches, M::SearchString, M::SearchStringFlat, M::TransformString>();
    case C::Forward:
      return method_table<C::Forward, M::Set, M::ParseString, M::Matches, M::SearchStringCount, M::SearchString,
                          M::ParseBatchCount, M::ParseBatch, M::TransformString>();
#define VANTOREL_COMMON_METHODS(Name, Element) \
  case C::Name:                                \
    return common_methods<C::Name>();
      VANTOREL_COMMON_METHODS(Keyword, KeywordElement)
      VANTOREL_COMMON_METHODS(CaselessLiteral, CaselessLiteralElement)
      VANTOREL_COMMON_METHODS(CaselessKeyword, CaselessKeywordElement)
      VANTOREL_COMMON_METHODS(Char, CharElement)
      VANTOREL_COMMON_METHODS(QuotedString, QuotedStringElement)
      VANTOREL_COMMON_METHODS(Empty, EmptyElement)
      VANTOREL_COMMON_METHODS(NoMatch, NoMatchElement)
      VANTOREL_COMMON_METHODS(LineStart, LineStartElement)
      VANTOREL_COMMON_METHODS(LineEnd, LineEndElement)
      VANTOREL_COMMON_METHODS(StringStart, StringStartElement)
      VANTOREL_COMMON_METHODS(StringEnd, StringEndElement)
      VANTOREL_COMMON_METHODS(rest_of_line, RestOfLineElement)
      VANTOREL_COMMON_METHODS(And, AndElement)
      VANTOREL_COMMON_METHODS(MatchFirst, MatchFirstElement)
      VANTOREL_COMMON_METHODS(Optional, OptionalElement)
      VANTOREL_COMMON_METHODS(ZeroOrMore, ZeroOrMoreElement)
      VANTOREL_COMMON_METHODS(OneOrMore, OneOrMoreElement)
      VANTOREL_COMMON_METHODS(Exactly, ExactlyElement)
      VANTOREL_COMMON_METHODS(Group, GroupElement)
      VANTOREL_COMMON_METHODS(Suppress, SuppressElement)
      VANTOREL_COMMON_METHODS(Combine, CombineElement)
      VANTOREL_COMMON_METHODS(SkipTo, SkipToElement)
#undef VANTOREL_COMMON_METHODS
  }
  return nullptr;
}

// ---- Constructors ---------------------------------------------------------------------

constexpr ArgumentSpec one_param(std::string_view cls, ParamSpec p) noexcept {
  return ArgumentSpec{cls, "__new__", {p}, 1, 1};
}
constexpr ArgumentSpec no_params(std::string_view cls) noexcept { return ArgumentSpec{cls, "__new__", {}, 0, 0}; }

constexpr ParamSpec kExpr{"expr", ParamKind::Object};

constexpr ArgumentSpec kLiteralNew = one_param("Literal", kS);
constexpr ArgumentSpec kCaselessLiteralNew = one_param("CaselessLiteral", kS);
constexpr ArgumentSpec kKeywordNew = one_param("Keyword", kS);
constexpr ArgumentSpec kCaselessKeywordNew = one_param("CaselessKeyword", kS);
constexpr ArgumentSpec kCharNew = one_param("Char", kS);
constexpr ArgumentSpec kWordNew{
    "Word", "__new__", {ParamSpec{"init_chars", ParamKind::Text}, ParamSpec{"body_chars", ParamKind::TextOrNone}}, 2, 1};
constexpr ArgumentSpec kRegexNew = one_param("Regex", ParamSpec{"pattern", ParamKind::Text});
constexpr ArgumentSpec kQuotedStringNew{"QuotedString",
                                        "__new__",
                                        {ParamSpec{"quote_char", ParamKind::Text, "\""},
                                         ParamSpec{"esc_char", ParamKind::TextOrNone},
                                         ParamSpec{"multiline", ParamKind::Flag, {}, false},
                                         ParamSpec{"unquote", ParamKind::Flag, {}, true}},
                                        4,
                                        0};
constexpr ArgumentSpec kEmptyNew = no_params("Empty");
constexpr ArgumentSpec kNoMatchNew = no_params("NoMatch");
constexpr ArgumentSpec kLineStartNew = no_params("LineStart");
constexpr ArgumentSpec kLineEndNew = no_params("LineEnd");
constexpr ArgumentSpec kStringStartNew = no_params("StringStart");
constexpr ArgumentSpec kStringEndNew = no_params("StringEnd");
constexpr ArgumentSpec kRestOfLineNew = no_params("rest_of_line");
constexpr ArgumentSpec kMatchFirstNew = one_param("MatchFirst", ParamSpec{"exprs", ParamKind::List});
constexpr ArgumentSpec kOptionalNew = one_param("Optional", kExpr);
constexpr ArgumentSpec kZeroOrMoreNew = one_param("ZeroOrMore", kExpr);
constexpr ArgumentSpec kOneOrMoreNew = one_param("OneOrMore", kExpr);
constexpr ArgumentSpec kGroupNew = one_param("Group", kExpr);
constexpr ArgumentSpec kSuppressNew = one_param("Suppress", kExpr);
constexpr ArgumentSpec kCombineNew = one_param("Combine", kExpr);
constexpr ArgumentSpec kSkipToNew = one_param("SkipTo", kExpr);
constexpr ArgumentSpec kExactlyNew{"Exactly", "__new__", {kExpr, ParamSpec{"count", ParamKind::Count}}, 2, 2};
constexpr ArgumentSpec kForwardNew = no_params("Forward");

newfunc class_new(ClassId cls) noexcept {
  using C = ClassId;
  switch (cls) {
    case C::Literal: return &constructor_entry<kLiteralNew, &literal_new>;
    case C::CaselessLiteral: return &constructor_entry<kCaselessLiteralNew, &caseless_literal_new>;
    case C::Keyword: return &constructor_entry<kKeywordNew, &keyword_new>;
    case C::CaselessKeyword: return &constructor_entry<kCaselessKeywordNew, &caseless_keyword_new>;
    case C::Char: return &constructor_entry<kCharNew, &char_new>;
    case C::Word: return &constructor_entry<kWordNew, &word_new>;
    case C::Regex: return &constructor_entry<kRegexNew, &regex_new>;
    case C::QuotedString: return &constructor_entry<kQuotedStringNew, &quoted_string_new>;
    case C::Empty: return &constructor_entry<kEmptyNew, &fieldless_new<EmptyElement>>;
    case C::NoMatch: return &constructor_entry<kNoMatchNew, &fieldless_new<NoMatchElement>>;
    case C::LineStart: return &constructor_entry<kLineStartNew, &fieldless_new<LineStartElement>>;
    case C::LineEnd: return &constructor_entry<kLineEndNew, &fieldless_new<LineEndElement>>;
    case C::StringStart: return &constructor_entry<kStringStartNew, &fieldless_new<StringStartElement>>;
    case C::StringEnd: return &constructor_entry<kStringEndNew, &fieldless_new<StringEndElement>>;
    case C::rest_of_line: return &constructor_entry<kRestOfLineNew, &rest_of_line_new>;
    case C::And: return nullptr;  // instances come only from `+`
    case C::MatchFirst: return &constructor_entry<kMatchFirstNew, &match_first_new>;
    case C::Optional: return &constructor_entry<kOptionalNew, &optional_new>;
    case C::ZeroOrMore: return &constructor_entry<kZeroOrMoreNew, &zero_or_more_new>;
    case C::OneOrMore: return &constructor_entry<kOneOrMoreNew, &one_or_more_new>;
    case C::Exactly: return &constructor_entry<kExactlyNew, &exactly_new>;
    case C::Group: return &constructor_entry<kGroupNew, &group_new>;
    case C::Suppress: return &constructor_entry<kSuppressNew, &suppress_new>;
    case C::Combine: return &constructor_entry<kCombineNew, &combine_new>;
    case C::SkipTo: return &constructor_entry<kSkipToNew, &skip_to_new>;
    case C::Forward: return &constructor_entry<kForwardNew, &forward_new>;
  }
  return nullptr;
}

// The class docstring: the constructor's signature block ("" for And).
const char* class_doc(ClassId cls) noexcept {
  using C = ClassId;
  switch (cls) {
    case C::Literal: return "Literal(s)\n--\n\n";
    case C::CaselessLiteral: return "CaselessLiteral(s)\n--\n\n";
    case C::Keyword: return "Keyword(s)\n--\n\n";
    case C::CaselessKeyword: return "CaselessKeyword(s)\n--\n\n";
    case C::Char: return "Char(s)\n--\n\n";
    case C::Word: return "Word(init_chars, body_chars=None)\n--\n\n";
    case C::Regex: return "Regex(pattern)\n--\n\n";
    case C::QuotedString:
      return "QuotedString(quote_char=\"\\\"\", esc_char=None, multiline=False, unquote=True)\n--\n\n";
    case C::Empty: return "Empty()\n--\n\n";
    case C::NoMatch: return "NoMatch()\n--\n\n";
    case C::LineStart: return "LineStart()\n--\n\n";
    case C::LineEnd: return "LineEnd()\n--\n\n";
    case C::StringStart: return "StringStart()\n--\n\n";
    case C::StringEnd: return "StringEnd()\n--\n\n";
    case C::rest_of_line: return "rest_of_line()\n--\n\n";
    case C::And: return "";
    case C::MatchFirst: return "MatchFirst(exprs)\n--\n\n";
    case C::Optional: return "Optional(expr)\n--\n\n";
    case C::ZeroOrMore: return "ZeroOrMore(expr)\n--\n\n";
    case C::OneOrMore: return "OneOrMore(expr)\n--\n\n";
    case C::Exactly: return "Exactly(expr, count)\n--\n\n";
    case C::Group: return "Group(expr)\n--\n\n";
    case C::Suppress: return "Suppress(expr)\n--\n\n";
    case C::Combine: return "Combine(expr)\n--\n\n";
    case C::SkipTo: return "SkipTo(expr)\n--\n\n";
    case C::Forward: return "Forward()\n--\n\n";
  }
  return "";
}

// ---- Creation and the cache -----------------------------------------------------------

// The common routine behind every class: qualified name "builtins.{}", the type specification,
// PyType_FromSpec. The name and slot storage live for the process (the interpreter keeps
// pointers into the type spec's name).
PyResult<PyTypeObject*> create_type_object_inner(std::string& qualified, std::string_view name, const char* doc,
                                                 int basic_size, destructor dealloc, unsigned int flags,
                                                 std::vector<PyType_Slot> slots, PyMethodDef* methods) noexcept {
  qualified = "builtins." + std::string(name);
  if (doc[0] != '\0') slots.push_back({Py_tp_doc, const_cast<char*>(doc)});
  slots.push_back({Py_tp_methods, methods});
  slots.push_back({Py_tp_base, &PyBaseObject_Type});
  slots.push_back({Py_tp_dealloc, reinterpret_cast<void*>(dealloc)});
  slots.push_back({0, nullptr});
  PyType_Spec spec{
      .name = qualified.c_str(),
      .basicsize = basic_size,
      .itemsize = 0,
      .flags = flags,
      .slots = slots.data(),
  };
  PyObject* type = PyType_FromSpec(&spec);
  if (type == nullptr) return PyError::fetch();
  return reinterpret_cast<PyTypeObject*>(type);
}

PyResult<PyTypeObject*> create_class(ClassId cls) noexcept {
  std::vector<PyType_Slot> slots;
  if (newfunc tp_new = class_new(cls)) slots.push_back({Py_tp_new, reinterpret_cast<void*>(tp_new)});
  slots.push_back({Py_nb_add, reinterpret_cast<void*>(add_slot(cls))});
  if (binaryfunc nb_or = or_slot(cls)) slots.push_back({Py_nb_or, reinterpret_cast<void*>(nb_or)});
  if (cls == ClassId::Forward) {
    slots.push_back({Py_nb_inplace_lshift, reinterpret_cast<void*>(&forward_inplace_lshift)});
  }
  int size = sizeof(ElementObject);
  destructor dealloc = &dealloc_element_object;
  if (cls == ClassId::Literal) {
    size = sizeof(LiteralObject);
    dealloc = &dealloc_literal_object;
  } else if (cls == ClassId::Keyword) {
    size = sizeof(KeywordObject);
    dealloc = &dealloc_keyword_object;
  }
  const unsigned int flags = cls == ClassId::And ? Py_TPFLAGS_DISALLOW_INSTANTIATION : 0;
  static std::array<std::string, kClassCount> qualified_names;  // written under g_class_creation
  return create_type_object_inner(qualified_names[static_cast<size_t>(cls)], class_name(cls), class_doc(cls), size, dealloc, flags, std::move(slots),
                                  class_methods(cls));
}

// The class-object cache: one cell per class, filled once and never emptied. A cell is
// read without a lock (an acquire load, a plain load on x86-64) and written once, under
// g_class_creation, with a release store, so a thread that finds a class finds it whole.
// The creation lock is the interpreter's PyMutex, which lets go of the thread's hold on the
// interpreter while it waits: a thread waiting for another's creation never stops the
// interpreter's other threads (or, on the standard build, the one creating) from running.
std::array<std::atomic<PyTypeObject*>, kClassCount> g_classes{};  // never released
PyMutex g_class_creation{};  // held while a class is created and its cell filled

}  // namespace

PyResult<PyTypeObject*> type_object(ClassId id) noexcept {
  std::atomic<PyTypeObject*>& cell = g_classes[static_cast<size_t>(id)];
  if (PyTypeObject* cached = cell.load(std::memory_order_acquire)) return cached;
  PyMutex_Lock(&g_class_creation);
  // Another thread may have created the class while this one waited: it is made once.
  PyTypeObject* cached = cell.load(std::memory_order_acquire);
  PyResult<PyTypeObject*> made = cached != nullptr ? PyResult<PyTypeObject*>(cached) : create_class(id);
  if (made.ok()) cell.store(made.value(), std::memory_order_release);
  PyMutex_Unlock(&g_class_creation);
  if (!made.ok()) {
    PyRef cause = made.take_error().to_exception();
    PyRef error = PyError::ours(PyExc_RuntimeError,
                                "An error occurred while initializing class " + std::string(class_name(id)))
                      .to_exception();
    if (PyExceptionInstance_Check(error.get())) PyException_SetCause(error.get(), cause.release());
    return PyError::from_exception(std::move(error));
  }
  return made.value();
}

PyTypeObject* class_of(ClassId id) noexcept {
  PyTypeObject* cell = g_classes[static_cast<size_t>(id)].load(std::memory_order_acquire);
  VANTOREL_CHECK(cell != nullptr, "element class used before the module was initialised");
  return cell;
}

}  // namespace vantorel::py
