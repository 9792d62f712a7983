// The class-object cache, and instances of the element classes: creation from object's
// tp_new, field access by layout, the shared borrow, and deallocation.
#include "construction/element_object.hpp"

#include <cstdlib>
#include <cstring>
#include <new>

#include "elements/fatal.hpp"

namespace vantorel::py {

namespace {
std::array<std::atomic<PyTypeObject*>, kClassCount> g_classes{};  // never released
}  // namespace

std::atomic<PyTypeObject*>& class_cell(ClassId id) noexcept { return g_classes[static_cast<size_t>(id)]; }

PyTypeObject* class_of(ClassId id) noexcept {
  PyTypeObject* cell = class_cell(id).load(std::memory_order_acquire);
  VANTOREL_CHECK(cell != nullptr, "element class used before the module was initialised");
  return cell;
}

PyResult<PyRef> new_instance_from_base(PyTypeObject* type) noexcept {
  PyRef empty = PyRef::steal(PyTuple_New(0));
  if (!empty) return PyError::fetch();
  PyObject* o = PyBaseObject_Type.tp_new(type, empty.get(), nullptr);
  if (o == nullptr) return PyError::fetch();
  return PyRef::steal(o);
}

PyResult<PyRef> new_element_object(PyTypeObject* type, ElementRef element) noexcept {
  PyResult<PyRef> made = new_instance_from_base(type);
  if (!made.ok()) return made;  // `element` is dropped with this frame
  auto* o = reinterpret_cast<ElementObject*>(made.value().get());
  new (&o->element) ElementRef(std::move(element));
  new (&o->borrow_counter) std::atomic<int64_t>(0);
  return made;
}

const ElementRef& element_of(PyObject* o) noexcept {
  PyTypeObject* t = Py_TYPE(o);
  if (t == class_of(ClassId::Literal)) return reinterpret_cast<LiteralObject*>(o)->element;
  if (t == class_of(ClassId::Keyword)) return reinterpret_cast<KeywordObject*>(o)->element;
  return reinterpret_cast<ElementObject*>(o)->element;
}

std::atomic<int64_t>& borrow_counter_of(PyObject* o) noexcept {
  PyTypeObject* t = Py_TYPE(o);
  if (t == class_of(ClassId::Literal)) return reinterpret_cast<LiteralObject*>(o)->borrow_counter;
  if (t == class_of(ClassId::Keyword)) return reinterpret_cast<KeywordObject*>(o)->borrow_counter;
  return reinterpret_cast<ElementObject*>(o)->borrow_counter;
}

PyResult<SharedBorrow> SharedBorrow::take(PyObject* o) noexcept {
  std::atomic<int64_t>& counter = borrow_counter_of(o);
  int64_t seen = counter.load(std::memory_order_relaxed);
  for (;;) {
    if (seen == -1) return PyError::ours(PyExc_RuntimeError, "Already mutably borrowed");
    // On contention compare_exchange_weak reloads `seen` and the loop looks again.
    if (counter.compare_exchange_weak(seen, seen + 1, std::memory_order_acquire, std::memory_order_relaxed)) {
      return SharedBorrow(&counter);
    }
  }
}

PyResult<OwnedText> make_owned_text(std::string_view bytes) noexcept {
  OwnedText t{0, nullptr, 0};
  if (bytes.empty()) return t;
  t.data = static_cast<char*>(std::malloc(bytes.size()));
  if (t.data == nullptr) return PyError::no_memory();
  std::memcpy(t.data, bytes.data(), bytes.size());
  t.capacity = bytes.size();
  t.length = bytes.size();
  return t;
}

void free_owned_text(OwnedText& text) noexcept {
  std::free(text.data);
  text = OwnedText{0, nullptr, 0};
}

namespace {

// The last two steps of every deallocation: the storage, then the class reference that
// the instance held (heap types are counted by their instances).
void free_instance(PyObject* self) noexcept {
  PyTypeObject* type = Py_TYPE(self);
  type->tp_free(self);
  Py_DECREF(type);
}

}  // namespace

void dealloc_element_object(PyObject* self) noexcept {
  auto* o = reinterpret_cast<ElementObject*>(self);
  o->element.~ElementRef();
  free_instance(self);
}

void dealloc_literal_object(PyObject* self) noexcept {
  auto* o = reinterpret_cast<LiteralObject*>(self);
  o->element.~ElementRef();
  Py_CLEAR(o->cached_str);
  free_owned_text(o->message);
  free_instance(self);
}

void dealloc_keyword_object(PyObject* self) noexcept {
  auto* o = reinterpret_cast<KeywordObject*>(self);
  o->element.~ElementRef();
  Py_CLEAR(o->cached_str);
  free_instance(self);
}

}  // namespace vantorel::py
