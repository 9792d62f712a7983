// The Python side of an element: the three instance layouts, the 26 class objects and
// their process-wide cache, instance creation, and the shared borrow every entry point
// takes of the objects it works on.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>

#include "construction/py_error.hpp"
#include "construction/py_ref.hpp"
#include "elements/element.hpp"
#include "elements/element_classes.hpp"

namespace vantorel::py {

// The 26 classes, in the order of the class list (the order to_element tries).
enum class ClassId : uint8_t {
#define VANTOREL_CLASS_ID(Name, ...) Name,
  VANTOREL_ELEMENT_CLASSES(VANTOREL_CLASS_ID)
#undef VANTOREL_CLASS_ID
};

// The number of classes: the rows of the class list.
inline constexpr size_t kClassCount = 0
#define VANTOREL_COUNT_CLASS(...) +1
    VANTOREL_ELEMENT_CLASSES(VANTOREL_COUNT_CLASS)
#undef VANTOREL_COUNT_CLASS
    ;

// Every class id, in the order of the class list.
inline constexpr std::array<ClassId, kClassCount> kAllClasses{
#define VANTOREL_CLASS_ENTRY(Name, ...) ClassId::Name,
    VANTOREL_ELEMENT_CLASSES(VANTOREL_CLASS_ENTRY)
#undef VANTOREL_CLASS_ENTRY
};

// A table with one entry per class, in the order of the class list: entry i is
// make.template operator()<C>() for the i-th class C (make is a lambda template over ClassId).
template <class Make>
[[nodiscard]] constexpr auto per_class(Make make) noexcept {
  return [&make]<size_t... I>(std::index_sequence<I...>) {
    return std::array{make.template operator()<kAllClasses[I]>()...};
  }(std::make_index_sequence<kClassCount>());
}

// The bare class name ("Literal", "rest_of_line", ...).
[[nodiscard]] constexpr std::string_view class_name(ClassId id) noexcept {
  constexpr std::string_view kNames[] = {
#define VANTOREL_CLASS_NAME(Name, ...) #Name,
      VANTOREL_ELEMENT_CLASSES(VANTOREL_CLASS_NAME)
#undef VANTOREL_CLASS_NAME
  };
  return kNames[static_cast<size_t>(id)];
}

// The classes in the order the module adds them at start-up (and lists them in __all__),
// from the module positions of the class list. Every position must be taken exactly once.
inline constexpr std::array<ClassId, kClassCount> kModuleOrder = [] {
  constexpr size_t kPositions[] = {
#define VANTOREL_MODULE_POSITION(Name, Element, snake, position) position,
      VANTOREL_ELEMENT_CLASSES(VANTOREL_MODULE_POSITION)
#undef VANTOREL_MODULE_POSITION
  };
  std::array<ClassId, kClassCount> order{};
  std::array<bool, kClassCount> taken{};
  for (size_t i = 0; i < kClassCount; ++i) {
    // A position out of range or taken twice stops the compilation here.
    if (kPositions[i] >= kClassCount || taken[kPositions[i]]) throw "module positions are not a permutation";
    taken[kPositions[i]] = true;
    order[kPositions[i]] = kAllClasses[i];
  }
  return order;
}();

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

// The process-wide cache of the class objects: one cell per class, filled once, at start-up,
// by the registration (lib/classes.cpp) with a release store, and never emptied. A cell is
// read with an acquire load, so a thread that finds a class finds it whole.
[[nodiscard]] std::atomic<PyTypeObject*>& class_cell(ClassId id) noexcept;

// The cached class object of `id` (borrowed), which start-up has created: every entry point
// runs after it. Ends the process if the class does not exist.
[[nodiscard]] PyTypeObject* class_of(ClassId id) noexcept;

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
// A new owned copy of `bytes`, or MemoryError when memory is exhausted.
[[nodiscard]] PyResult<OwnedText> make_owned_text(std::string_view bytes) noexcept;

}  // namespace vantorel::py
