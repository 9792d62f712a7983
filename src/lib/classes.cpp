// The registration of the 26 classes: the one table from class and method to body, the
// methods' docstrings as data, the class declarations (constructor, class docstring), the
// type specs built from them, and the creation of the class objects into their cache.
#include "lib/classes.hpp"

#include <array>
#include <atomic>
#include <string>
#include <string_view>
#include <vector>

#include "batch/parse_batch.hpp"
#include "batch/parse_batch_count.hpp"
#include "construction/call_frame.hpp"
#include "construction/constructors.hpp"
#include "construction/operators.hpp"
#include "text_ops/matches.hpp"
#include "text_ops/parse_string.hpp"
#include "text_ops/search_string.hpp"
#include "text_ops/search_string_count.hpp"
#include "text_ops/transform_string.hpp"

namespace vantorel::py {

namespace {

using C = ClassId;

// ---- Methods ------------------------------------------------------------------------

enum class MethodId : uint8_t {
  ParseString,
  Matches,
  SearchString,
  SearchStringCount,
  TransformString,
  ParseBatch,
  ParseBatchCount,
  SearchStringFlat,  // Word only
  Set,               // Forward only
};

constexpr ParamSpec kS{"s", ParamKind::Text};
constexpr ParamSpec kInputs{"inputs", ParamKind::List};

// A method's name and parameters (all of them required), indexed by MethodId.
struct MethodDeclaration {
  std::string_view name;
  std::array<ParamSpec, kMaxParams> params;
  uint8_t count;
};
constexpr MethodDeclaration kMethods[] = {
    {"parse_string", {kS}, 1},
    {"matches", {kS}, 1},
    {"search_string", {kS}, 1},
    {"search_string_count", {kS}, 1},
    {"transform_string", {kS, ParamSpec{"replacement", ParamKind::Text}}, 2},
    {"parse_batch", {kInputs}, 1},
    {"parse_batch_count", {kInputs}, 1},
    {"_search_string_flat", {kS}, 1},
    {"set", {ParamSpec{"expr", ParamKind::Object}}, 1},
};
constexpr const MethodDeclaration& method(MethodId m) noexcept { return kMethods[static_cast<size_t>(m)]; }

// The body of method M of class C. Each method's body is one function template over the
// class: its primary template is the generic road and a class with a fast path has an
// explicit specialization of it, declared in the method's header beside the generic road.
template <ClassId Cls, MethodId M>
constexpr MethodBody method_body() noexcept {
  if constexpr (M == MethodId::ParseString) return &parse_string<Cls>;
  if constexpr (M == MethodId::Matches) return &matches<Cls>;
  if constexpr (M == MethodId::SearchString) return &search_string<Cls>;
  if constexpr (M == MethodId::SearchStringCount) return &search_string_count<Cls>;
  if constexpr (M == MethodId::TransformString) return &transform_string<Cls>;
  if constexpr (M == MethodId::ParseBatch) return &parse_batch<Cls>;
  if constexpr (M == MethodId::ParseBatchCount) return &parse_batch_count<Cls>;
  if constexpr (M == MethodId::SearchStringFlat) return &word_search_string_flat;
  if constexpr (M == MethodId::Set) return &forward_set;
}

// The methods of class C in the order of its class dictionary: the common order, unless C
// is listed below.
template <ClassId Cls>
constexpr std::array kMethodOrder{MethodId::ParseString,     MethodId::Matches,    MethodId::SearchStringCount,
                                  MethodId::SearchString,    MethodId::ParseBatchCount, MethodId::ParseBatch,
                                  MethodId::TransformString};
template <>
constexpr std::array kMethodOrder<C::Literal>{MethodId::ParseString,       MethodId::Matches,
                                              MethodId::ParseBatch,        MethodId::SearchString,
                                              MethodId::SearchStringCount, MethodId::ParseBatchCount,
                                              MethodId::TransformString};
template <>
constexpr std::array kMethodOrder<C::Regex>{MethodId::ParseString,     MethodId::Matches,
                                            MethodId::SearchStringCount, MethodId::SearchString,
                                            MethodId::ParseBatch,        MethodId::ParseBatchCount,
                                            MethodId::TransformString};
template <>
constexpr std::array kMethodOrder<C::Word>{MethodId::ParseString,      MethodId::ParseBatch,
                                           MethodId::ParseBatchCount,  MethodId::SearchStringCount,
                                           MethodId::Matches,          MethodId::SearchString,
                                           MethodId::SearchStringFlat, MethodId::TransformString};
template <>
constexpr std::array kMethodOrder<C::Forward>{MethodId::Set,           MethodId::ParseString,
                                              MethodId::Matches,       MethodId::SearchStringCount,
                                              MethodId::SearchString,  MethodId::ParseBatchCount,
                                              MethodId::ParseBatch,    MethodId::TransformString};

// ---- Method docstrings ----------------------------------------------------------------
// A method's docstring is its signature block, "name($self, params)\n--\n\n", followed by
// the free text of its row here, when it has one.

struct MethodText {
  ClassId cls;
  MethodId method;
  std::string_view text;
};
constexpr MethodText kMethodTexts[] = {
    {C::Literal, MethodId::ParseString,
     "Fast inline parse \xe2\x80\x94 returns a list holding the cached string, allocating nothing of its own"},
    {C::Literal, MethodId::Matches,
     "Zero-allocation match check \xe2\x80\x94 skips leading whitespace, requires full match"},
    {C::Literal, MethodId::ParseBatch,
     "Full raw FFI batch parse \xe2\x80\x94 uniform detection + bulk INCREF, last-ptr fallback"},
    {C::Literal, MethodId::SearchString,
     "Search string \xe2\x80\x94 cycle-aware count + PySequence_Repeat for optimal list creation"},
    {C::Literal, MethodId::SearchStringCount,
     "Count occurrences \xe2\x80\x94 cycle detection fast path + SIMD memchr fallback"},
    {C::Literal, MethodId::ParseBatchCount, "Full raw FFI count \xe2\x80\x94 uniform detection + last-ptr fallback"},
    {C::Literal, MethodId::TransformString,
     "Replace all non-overlapping matches with replacement string.\n"
     "Uses SIMD-accelerated memchr::memmem for literal search."},
    {C::Keyword, MethodId::ParseString,
     "Fast keyword parse \xe2\x80\x94 uses try_match_at + cached PyString, zero allocation"},
    {C::Keyword, MethodId::SearchString,
     "Search string \xe2\x80\x94 count + PySequence_Repeat (same pattern as Literal)"},
    {C::Keyword, MethodId::ParseBatch, "Specialized parse_batch \xe2\x80\x94 cached PyString + last-pointer cache"},
    {C::Word, MethodId::ParseString,
     "Fast-path word parse \xe2\x80\x94 returns the list directly, without an intermediate string"},
    {C::Word, MethodId::ParseBatch, "Cyclic detection + hash-based cache fallback + bulk INCREF"},
    {C::Word, MethodId::ParseBatchCount, "Count word matches in batch \xe2\x80\x94 uniform + cycle + hash cache"},
    {C::Word, MethodId::SearchStringCount,
     "Count word matches in large text \xe2\x80\x94 cycle detection + branchless scan"},
    {C::Word, MethodId::Matches, "Zero-allocation match check via try_match_at"},
    {C::Word, MethodId::SearchString,
     "Optimized Word search_string \xe2\x80\x94 O(1) byte-table scanning, dedup, list-of-lists output"},
    {C::Word, MethodId::SearchStringFlat, "UNUSED: Original optimized search_string (returns flat list)."},
    {C::Word, MethodId::TransformString,
     "Specialized transform: uses 256-byte lookup tables for direct byte scanning."},
    {C::Regex, MethodId::ParseString,
     "Fast-path regex parse \xe2\x80\x94 returns the list directly, without an intermediate string"},
    {C::Regex, MethodId::Matches,
     "Zero-allocation match check \xe2\x80\x94 skips leading whitespace, requires full match"},
    {C::Regex, MethodId::SearchStringCount,
     "Count regex matches in text \xe2\x80\x94 uses find_iter for SIMD-accelerated search"},
    {C::Regex, MethodId::SearchString,
     "Optimized regex search \xe2\x80\x94 uses find_iter for SIMD-accelerated scanning"},
    {C::Regex, MethodId::ParseBatch, "Cyclic detection + hash-based cache fallback + bulk INCREF"},
    {C::Regex, MethodId::ParseBatchCount, "Count regex matches in batch \xe2\x80\x94 uniform + cycle + hash cache"},
    {C::Regex, MethodId::TransformString,
     "Specialized: uses regex replace_all for efficient in-engine replacement."},
    {C::And, MethodId::ParseString,
     "Parse using parse_impl for correct multi-token handling.\n"
     "Uses try_match_at fast path for Normal elements, parse_impl for Complex/Suppress/Group."},
    {C::And, MethodId::Matches, "Zero-allocation match check using try_match_at (no ParseResults)"},
    {C::And, MethodId::SearchString,
     "Search string \xe2\x80\x94 uses parse_impl for correct multi-token results, returns list-of-lists"},
    {C::And, MethodId::ParseBatchCount, "Cyclic detection + hash-based pointer cache count"},
    {C::And, MethodId::ParseBatch, "Cyclic detection + hash-based cache fallback + indexed tokens"},
    {C::Forward, MethodId::Set, "Set the inner parser expression (equivalent to <<= in merlak)."},
};

// Calls emit(piece) for the pieces of the docstring of method m of class cls, in order.
template <class Emit>
constexpr void method_doc_pieces(ClassId cls, MethodId m, Emit&& emit) {
  const MethodDeclaration& d = method(m);
  emit(d.name);
  emit("($self");
  for (size_t i = 0; i < d.count; ++i) {
    emit(", ");
    emit(d.params[i].name);
  }
  emit(")\n--\n\n");
  for (const MethodText& row : kMethodTexts) {
    if (row.cls == cls && row.method == m) emit(row.text);
  }
}

// The docstring of method M of class Cls as a NUL-terminated array made at compile time.
template <ClassId Cls, MethodId M>
constexpr auto kMethodDoc = [] {
  constexpr size_t kSize = [] {
    size_t size = 0;
    method_doc_pieces(Cls, M, [&size](std::string_view piece) { size += piece.size(); });
    return size;
  }();
  std::array<char, kSize + 1> doc{};
  size_t at = 0;
  method_doc_pieces(Cls, M, [&](std::string_view piece) {
    for (char c : piece) doc[at++] = c;
  });
  return doc;
}();

// Every row of kMethodTexts names a method its class has, and no pair twice.
template <ClassId Cls>
constexpr bool has_method(MethodId m) noexcept {
  for (MethodId own : kMethodOrder<Cls>) {
    if (own == m) return true;
  }
  return false;
}
constexpr bool method_texts_are_sound() noexcept {
  for (size_t i = 0; i < std::size(kMethodTexts); ++i) {
    const MethodText& row = kMethodTexts[i];
    const auto classes_have =
        per_class([&row]<ClassId Cls>() { return Cls != row.cls || has_method<Cls>(row.method); });
    for (bool ok : classes_have) {
      if (!ok) return false;
    }
    for (size_t j = 0; j < i; ++j) {
      if (kMethodTexts[j].cls == row.cls && kMethodTexts[j].method == row.method) return false;
    }
  }
  return true;
}
static_assert(method_texts_are_sound(), "a method docstring row names a method twice or one its class lacks");

// The frame's description of method M of class Cls.
template <ClassId Cls, MethodId M>
constexpr ArgumentSpec kMethodSpec{class_name(Cls), method(M).name, method(M).params, method(M).count,
                                   method(M).count};

template <ClassId Cls, MethodId M>
PyMethodDef method_def() noexcept {
  return {method(M).name.data(), as_cfunction(&method_entry<kMethodSpec<Cls, M>, Cls, method_body<Cls, M>()>),
          METH_FASTCALL | METH_KEYWORDS, kMethodDoc<Cls, M>.data()};
}

// The method table of class Cls, in the order of kMethodOrder<Cls>, ending with the sentinel.
template <ClassId Cls>
PyMethodDef* method_table() noexcept {
  static std::array table = []<size_t... I>(std::index_sequence<I...>) {
    return std::array{method_def<Cls, kMethodOrder<Cls>[I]>()..., PyMethodDef{nullptr, nullptr, 0, nullptr}};
  }(std::make_index_sequence<kMethodOrder<Cls>.size()>());
  return table.data();
}

// ---- Class declarations ----------------------------------------------------------------

constexpr ParamSpec kExpr{"expr", ParamKind::Object};

constexpr ArgumentSpec constructor(ClassId cls, std::initializer_list<ParamSpec> params, uint8_t required) noexcept {
  ArgumentSpec spec{class_name(cls), "__new__", {}, static_cast<uint8_t>(params.size()), required};
  size_t i = 0;
  for (const ParamSpec& p : params) spec.params[i++] = p;
  return spec;
}

// A class as the module declares it: its docstring (the constructor's signature block; empty
// for And, which has none), and its constructor's parameters and body (for And, whose
// instances come only from `+`, an empty spec without a callable name, and no body).
struct ClassDeclaration {
  ClassId cls;
  std::string_view doc;
  ArgumentSpec spec;
  ConstructorBody body;
};
constexpr ClassDeclaration kClassDeclarations[] = {
    {C::Literal, "Literal(s)\n--\n\n", constructor(C::Literal, {kS}, 1), &literal_new},
    {C::CaselessLiteral, "CaselessLiteral(s)\n--\n\n", constructor(C::CaselessLiteral, {kS}, 1),
     &caseless_literal_new},
    {C::Keyword, "Keyword(s)\n--\n\n", constructor(C::Keyword, {kS}, 1), &keyword_new},
    {C::CaselessKeyword, "CaselessKeyword(s)\n--\n\n", constructor(C::CaselessKeyword, {kS}, 1),
     &caseless_keyword_new},
    {C::Char, "Char(s)\n--\n\n", constructor(C::Char, {kS}, 1), &char_new},
    {C::Word, "Word(init_chars, body_chars=None)\n--\n\n",
     constructor(C::Word, {{"init_chars", ParamKind::Text}, {"body_chars", ParamKind::TextOrNone}}, 1), &word_new},
    {C::Regex, "Regex(pattern)\n--\n\n", constructor(C::Regex, {{"pattern", ParamKind::Text}}, 1), &regex_new},
    {C::QuotedString, "QuotedString(quote_char=\"\\\"\", esc_char=None, multiline=False, unquote=True)\n--\n\n",
     constructor(C::QuotedString,
                 {{"quote_char", ParamKind::Text, "\""},
                  {"esc_char", ParamKind::TextOrNone},
                  {"multiline", ParamKind::Flag, {}, false},
                  {"unquote", ParamKind::Flag, {}, true}},
                 0),
     &quoted_string_new},
    {C::Empty, "Empty()\n--\n\n", constructor(C::Empty, {}, 0), &fieldless_new<EmptyElement>},
    {C::NoMatch, "NoMatch()\n--\n\n", constructor(C::NoMatch, {}, 0), &fieldless_new<NoMatchElement>},
    {C::LineStart, "LineStart()\n--\n\n", constructor(C::LineStart, {}, 0), &fieldless_new<LineStartElement>},
    {C::LineEnd, "LineEnd()\n--\n\n", constructor(C::LineEnd, {}, 0), &fieldless_new<LineEndElement>},
    {C::StringStart, "StringStart()\n--\n\n", constructor(C::StringStart, {}, 0), &fieldless_new<StringStartElement>},
    {C::StringEnd, "StringEnd()\n--\n\n", constructor(C::StringEnd, {}, 0), &fieldless_new<StringEndElement>},
    {C::rest_of_line, "rest_of_line()\n--\n\n", constructor(C::rest_of_line, {}, 0), &fieldless_new<RestOfLineElement>},
    {C::And, "", {}, nullptr},
    {C::MatchFirst, "MatchFirst(exprs)\n--\n\n", constructor(C::MatchFirst, {{"exprs", ParamKind::List}}, 1),
     &match_first_new},
    {C::Optional, "Optional(expr)\n--\n\n", constructor(C::Optional, {kExpr}, 1), &one_child_new<OptionalElement>},
    {C::ZeroOrMore, "ZeroOrMore(expr)\n--\n\n", constructor(C::ZeroOrMore, {kExpr}, 1),
     &one_child_new<ZeroOrMoreElement>},
    {C::OneOrMore, "OneOrMore(expr)\n--\n\n", constructor(C::OneOrMore, {kExpr}, 1), &one_child_new<OneOrMoreElement>},
    {C::Exactly, "Exactly(expr, count)\n--\n\n",
     constructor(C::Exactly, {kExpr, {"count", ParamKind::Count}}, 2), &exactly_new},
    {C::Group, "Group(expr)\n--\n\n", constructor(C::Group, {kExpr}, 1), &one_child_new<GroupElement>},
    {C::Suppress, "Suppress(expr)\n--\n\n", constructor(C::Suppress, {kExpr}, 1), &one_child_new<SuppressElement>},
    {C::Combine, "Combine(expr)\n--\n\n", constructor(C::Combine, {kExpr}, 1), &one_child_new<CombineElement>},
    {C::SkipTo, "SkipTo(expr)\n--\n\n", constructor(C::SkipTo, {kExpr}, 1), &one_child_new<SkipToElement>},
    {C::Forward, "Forward()\n--\n\n", constructor(C::Forward, {}, 0), &fieldless_new<ForwardElement>},
};

// The declaration of class `cls`: the one row that names it. A class without a row, or with
// two, stops the compilation here.
constexpr size_t declaration_index(ClassId cls) {
  size_t found = std::size(kClassDeclarations);
  for (size_t i = 0; i < std::size(kClassDeclarations); ++i) {
    if (kClassDeclarations[i].cls != cls) continue;
    if (found != std::size(kClassDeclarations)) throw "a class is declared twice";
    found = i;
  }
  if (found == std::size(kClassDeclarations)) throw "a class has no declaration";
  return found;
}
template <ClassId Cls>
constexpr const ClassDeclaration& kDeclaration = kClassDeclarations[declaration_index(Cls)];
static_assert(per_class([]<ClassId Cls>() { return declaration_index(Cls); }).size() ==
                  std::size(kClassDeclarations),
              "every class has exactly one declaration, and there is no other");

// True for every class but And: its declaration names a constructor.
template <ClassId Cls>
constexpr bool kHasConstructor = !kDeclaration<Cls>.spec.callable_name.empty();

// The tp_new of class Cls (one that has a constructor).
template <ClassId Cls>
constexpr newfunc class_new() noexcept {
  return &constructor_entry<kDeclaration<Cls>.spec, kDeclaration<Cls>.body>;
}

// ---- Creation and the cache -----------------------------------------------------------

// The type spec of class Cls and its creation. The qualified name "builtins.{}" and the slot
// storage live for the process (the interpreter keeps pointers into the type spec's name).
template <ClassId Cls>
PyResult<PyTypeObject*> create_class() noexcept {
  static const std::string qualified = "builtins." + std::string(class_name(Cls));
  std::vector<PyType_Slot> slots;
  if constexpr (kHasConstructor<Cls>) {
    slots.push_back({Py_tp_new, reinterpret_cast<void*>(class_new<Cls>())});
  }
  slots.push_back({Py_nb_add, reinterpret_cast<void*>(add_slot(Cls))});
  if (binaryfunc nb_or = or_slot(Cls)) slots.push_back({Py_nb_or, reinterpret_cast<void*>(nb_or)});
  if constexpr (Cls == C::Forward) {
    slots.push_back({Py_nb_inplace_lshift, reinterpret_cast<void*>(&forward_inplace_lshift)});
  }
  int size = sizeof(ElementObject);
  destructor dealloc = &dealloc_element_object;
  if constexpr (Cls == C::Literal) {
    size = sizeof(LiteralObject);
    dealloc = &dealloc_literal_object;
  } else if constexpr (Cls == C::Keyword) {
    size = sizeof(KeywordObject);
    dealloc = &dealloc_keyword_object;
  }
  constexpr std::string_view doc = kDeclaration<Cls>.doc;
  if (!doc.empty()) slots.push_back({Py_tp_doc, const_cast<char*>(doc.data())});
  slots.push_back({Py_tp_methods, method_table<Cls>()});
  slots.push_back({Py_tp_base, &PyBaseObject_Type});
  slots.push_back({Py_tp_dealloc, reinterpret_cast<void*>(dealloc)});
  slots.push_back({0, nullptr});
  PyType_Spec spec{
      .name = qualified.c_str(),
      .basicsize = size,
      .itemsize = 0,
      .flags = Cls == C::And ? Py_TPFLAGS_DISALLOW_INSTANTIATION : 0u,
      .slots = slots.data(),
  };
  PyObject* type = PyType_FromSpec(&spec);
  if (type == nullptr) return PyError::fetch();
  return reinterpret_cast<PyTypeObject*>(type);
}

// The creation routine of every class, indexed by class id.
constexpr auto kCreateClass = per_class([]<ClassId Cls>() { return &create_class<Cls>; });

// The creation lock is the interpreter's PyMutex, which lets go of the thread's hold on the
// interpreter while it waits: a thread waiting for another's creation never stops the
// interpreter's other threads (or, on the standard build, the one creating) from running.
PyMutex g_class_creation{};  // held while a class is created and its cell filled

}  // namespace

PyResult<PyTypeObject*> type_object(ClassId id) noexcept {
  std::atomic<PyTypeObject*>& cell = class_cell(id);
  if (PyTypeObject* cached = cell.load(std::memory_order_acquire)) return cached;
  PyMutex_Lock(&g_class_creation);
  // Another thread may have created the class while this one waited: it is made once.
  PyTypeObject* cached = cell.load(std::memory_order_acquire);
  PyResult<PyTypeObject*> made =
      cached != nullptr ? PyResult<PyTypeObject*>(cached) : kCreateClass[static_cast<size_t>(id)]();
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

}  // namespace vantorel::py
