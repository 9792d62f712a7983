// The Python side of an element: the three instance layouts, the 26 class objects and
// their process-wide cache, instance creation, and the shared borrow every entry point
// takes of the objects it works on.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "construction/py_error.hpp"
#include "construction/py_ref.hpp"
#include "elements/element.hpp"
#include "elements/element_classes.hpp"

namespace vantorel::py {

// The 26 classes, in the order element_classes.hpp gives (the order to_element tries).
enum class ClassId : uint8_t {
#define VANTOREL_CLASS_ID(Name, Element) Name,
  VANTOREL_ELEMENT_CLASSES(VANTOREL_CLASS_ID)
#undef VANTOREL_CLASS_ID
};
inline constexpr size_t kClassCount = 26;

// The bare class name ("Literal", "rest_of_line", ...).
[[nodiscard]] constexpr std::string_view class_name(ClassId id) noexcept {
  switch (id) {
#define VANTOREL_CLASS_NAME(Name, Element) \
  case ClassId::Name:                      \
    return #Name;
    VANTOREL_ELEMENT_CLASSES(VANTOREL_CLASS_NAME)
#undef VANTOREL_CLASS_NAME
  }
  return {};
}

// Owned UTF-8 text held in an instance: capacity, pointer and length (24 bytes), freed
// with the instance.
struct OwnedText {
  size_t capacity;  // bytes allocated at data
  char* data;       // malloc'ed, or nullptr when empty
  size_t length;    // bytes
  [[nodiscard]] std::string_view view() const noexcept { return {data == nullptr ? "" : data, length}; }
};

// The layout of 24 classes: the handle to the instance's own element, then the borrow
// counter (>= 0: shared borrows in progress; -1 would mark an exclusive borrow, which the
// module never takes).
struct ElementObject {
  PyObject_HEAD
  ElementRef element;
  std::atomic<int64_t> borrow_counter;
};

// Literal: the failure message "Expected '{}'" (a copy of the element's), the element,
// and a str of the literal made at construction (returned by the fast paths).
struct LiteralObject {
  PyObject_HEAD
  OwnedText message;
  ElementRef element;
  PyObject* cached_str;  // owned
  std::atomic<int64_t> borrow_counter;
};

// Keyword: the element and a str of the keyword made at construction.
struct KeywordObject {
  PyObject_HEAD
  ElementRef element;
  PyObject* cached_str;  // owned
  std::atomic<int64_t> borrow_counter;
};

// Each layout is the interpreter's object header followed by its fields, with no padding, so
// the borrow counter is always the last 8 bytes. The standard header takes 16 bytes, which
// gives the basic sizes 32, 64 and 40; the free-threaded header (Py_GIL_DISABLED) is larger,
// and there each size is that header plus the same fields.
inline constexpr size_t kCounterSize = sizeof(std::atomic<int64_t>);
static_assert(kCounterSize == 8);
static_assert(sizeof(ElementObject) == sizeof(PyObject) + sizeof(ElementRef) + kCounterSize);
static_assert(sizeof(LiteralObject) ==
              sizeof(PyObject) + sizeof(OwnedText) + sizeof(ElementRef) + sizeof(PyObject*) + kCounterSize);
static_assert(sizeof(KeywordObject) == sizeof(PyObject) + sizeof(ElementRef) + sizeof(PyObject*) + kCounterSize);
static_assert(offsetof(ElementObject, borrow_counter) + kCounterSize == sizeof(ElementObject));
static_assert(offsetof(LiteralObject, borrow_counter) + kCounterSize == sizeof(LiteralObject));
static_assert(offsetof(KeywordObject, borrow_counter) + kCounterSize == sizeof(KeywordObject));
#ifndef Py_GIL_DISABLED
static_assert(sizeof(PyObject) == 16);
static_assert(sizeof(ElementObject) == 32);
static_assert(sizeof(LiteralObject) == 64);
static_assert(sizeof(KeywordObject) == 40);
#endif

// The class object of `id`, created on the first call (PyType_FromSpec) and cached for the
// life of the process; a borrowed reference. A failed creation gives RuntimeError "An error
// occurred while initializing class {}" with the interpreter's error as __cause__, and
// leaves the cache empty.
[[nodiscard]] PyResult<PyTypeObject*> type_object(ClassId id) noexcept;

// The cached class object of `id`, which start-up has created (every entry point runs after
// it). Ends the process if the class does not exist.
[[nodiscard]] PyTypeObject* class_of(ClassId id) noexcept;

// The per-class accessors, one for each class, over type_object.
#define VANTOREL_TYPE_ACCESSOR(fn, Name) \
  [[nodiscard]] inline PyResult<PyTypeObject*> fn() noexcept { return type_object(ClassId::Name); }
VANTOREL_TYPE_ACCESSOR(literal_type_object, Literal)
VANTOREL_TYPE_ACCESSOR(caseless_literal_type_object, CaselessLiteral)
VANTOREL_TYPE_ACCESSOR(keyword_type_object, Keyword)
VANTOREL_TYPE_ACCESSOR(caseless_keyword_type_object, CaselessKeyword)
VANTOREL_TYPE_ACCESSOR(word_type_object, Word)
VANTOREL_TYPE_ACCESSOR(char_type_object, Char)
VANTOREL_TYPE_ACCESSOR(regex_type_object, Regex)
VANTOREL_TYPE_ACCESSOR(quoted_string_type_object, QuotedString)
VANTOREL_TYPE_ACCESSOR(empty_type_object, Empty)
VANTOREL_TYPE_ACCESSOR(no_match_type_object, NoMatch)
VANTOREL_TYPE_ACCESSOR(line_start_type_object, LineStart)
VANTOREL_TYPE_ACCESSOR(line_end_type_object, LineEnd)
VANTOREL_TYPE_ACCESSOR(string_start_type_object, StringStart)
VANTOREL_TYPE_ACCESSOR(string_end_type_object, StringEnd)
VANTOREL_TYPE_ACCESSOR(rest_of_line_type_object, rest_of_line)
VANTOREL_TYPE_ACCESSOR(and_type_object, And)
VANTOREL_TYPE_ACCESSOR(match_first_type_object, MatchFirst)
VANTOREL_TYPE_ACCESSOR(optional_type_object, Optional)
VANTOREL_TYPE_ACCESSOR(zero_or_more_type_object, ZeroOrMore)
VANTOREL_TYPE_ACCESSOR(one_or_more_type_object, OneOrMore)
VANTOREL_TYPE_ACCESSOR(exactly_type_object, Exactly)
VANTOREL_TYPE_ACCESSOR(group_type_object, Group)
VANTOREL_TYPE_ACCESSOR(suppress_type_object, Suppress)
VANTOREL_TYPE_ACCESSOR(combine_type_object, Combine)
VANTOREL_TYPE_ACCESSOR(skip_to_type_object, SkipTo)
VANTOREL_TYPE_ACCESSOR(forward_type_object, Forward)
#undef VANTOREL_TYPE_ACCESSOR

// True when `o` is an instance of class `id` (its type is the class or a subtype).
[[nodiscard]] inline bool is_instance(PyObject* o, ClassId id) noexcept {
  return PyObject_TypeCheck(o, class_of(id)) != 0;
}

// A new instance of `type` from object's tp_new: header set, every other byte zero. The
// caller writes the layout's fields (and starts the borrow counter at 0).
[[nodiscard]] PyResult<PyRef> new_instance_from_base(PyTypeObject* type) noexcept;

// A new ElementObject of `type` holding `element`. On failure the element handle is
// dropped and the interpreter's error returned.
[[nodiscard]] PyResult<PyRef> new_element_object(PyTypeObject* type, ElementRef element) noexcept;

// The element handle and borrow counter of any instance of the 26 classes (the layout is
// chosen by the object's class: Literal and Keyword have their own).
[[nodiscard]] const ElementRef& element_of(PyObject* o) noexcept;
[[nodiscard]] std::atomic<int64_t>& borrow_counter_of(PyObject* o) noexcept;

// A shared borrow of an element object, given back when the guard goes (on every path).
class [[nodiscard]] SharedBorrow {
 public:
  // Raises the counter with a compare-and-swap loop; RuntimeError "Already mutably
  // borrowed" when it marks an exclusive borrow.
  [[nodiscard]] static PyResult<SharedBorrow> take(PyObject* o) noexcept;

  SharedBorrow(SharedBorrow&& other) noexcept : counter_(std::exchange(other.counter_, nullptr)) {}
  SharedBorrow& operator=(SharedBorrow&&) = delete;
  SharedBorrow(const SharedBorrow&) = delete;
  ~SharedBorrow() {
    if (counter_ != nullptr) counter_->fetch_sub(1, std::memory_order_release);
  }

 private:
  explicit SharedBorrow(std::atomic<int64_t>* counter) noexcept : counter_(counter) {}
  std::atomic<int64_t>* counter_;
};

// The deallocation of each layout (Py_tp_dealloc): element handle, cached str, message,
// tp_free, then the instance's reference to its class.
void dealloc_element_object(PyObject* self) noexcept;
void dealloc_literal_object(PyObject* self) noexcept;
void dealloc_keyword_object(PyObject* self) noexcept;

// Frees the message buffer of a LiteralObject being torn down or never completed.
void free_owned_text(OwnedText& text) noexcept;
// A new owned copy of `bytes`. Ends the process when memory is exhausted.
[[nodiscard]] OwnedText make_owned_text(std::string_view bytes) noexcept;

}  // namespace vantorel::py
