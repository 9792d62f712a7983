// The methods of the element classes and the body each class runs for each of them. Every
// body runs inside the method frame (call_frame.hpp); the bodies live with their
// operations under src/text_ops and src/batch, and Forward.set with the operators.
#pragma once

#include <cstdint>

#include "construction/call_frame.hpp"
#include "construction/element_object.hpp"
#include "construction/operators.hpp"
#include "text_ops/matches.hpp"
#include "text_ops/parse_string.hpp"
#include "text_ops/search_count.hpp"
#include "text_ops/search_string.hpp"
#include "text_ops/transform_string.hpp"

namespace vantorel::py {

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

// The bodies of operations that do not exist yet: NotImplementedError "{}.{}() is not
// implemented yet" with the class and method names (pending_methods.cpp).
template <MethodId M>
[[nodiscard]] PyResult<PyRef> pending_method(PyObject* self, const CallArgs& args) noexcept;
extern template PyResult<PyRef> pending_method<MethodId::Matches>(PyObject*, const CallArgs&) noexcept;
extern template PyResult<PyRef> pending_method<MethodId::SearchString>(PyObject*, const CallArgs&) noexcept;
extern template PyResult<PyRef> pending_method<MethodId::SearchStringCount>(PyObject*, const CallArgs&) noexcept;
extern template PyResult<PyRef> pending_method<MethodId::TransformString>(PyObject*, const CallArgs&) noexcept;
extern template PyResult<PyRef> pending_method<MethodId::ParseBatch>(PyObject*, const CallArgs&) noexcept;
extern template PyResult<PyRef> pending_method<MethodId::ParseBatchCount>(PyObject*, const CallArgs&) noexcept;
extern template PyResult<PyRef> pending_method<MethodId::SearchStringFlat>(PyObject*, const CallArgs&) noexcept;

// The body of method `m` of class `cls`.
[[nodiscard]] constexpr MethodBody method_body(ClassId cls, MethodId m) noexcept {
  switch (m) {
    case MethodId::ParseString: return parse_string_body(cls);
    case MethodId::Matches: return matches_body(cls);
    case MethodId::SearchString: return search_string_body(cls);
    case MethodId::SearchStringCount: return search_string_count_body(cls);
    case MethodId::TransformString: return transform_string_body(cls);
    case MethodId::ParseBatch: return &pending_method<MethodId::ParseBatch>;
    case MethodId::ParseBatchCount: return &pending_method<MethodId::ParseBatchCount>;
    case MethodId::SearchStringFlat: return &word_search_string_flat;
    case MethodId::Set: return &forward_set;
  }
  return nullptr;
}

}  // namespace vantorel::py
