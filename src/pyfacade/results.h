// Handing results and failures back to Python.
#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "alloy/optimize.h"
#include "common/cancel.h"
#include "common/error.h"
#include "common/json.h"
#include "export/obj_writer.h"
#include "fourier_bake/fourier_bake.h"
#include "protein/backbone.h"
#include "pyfacade/declare.h"
#include "pyfacade/kinds.h"
#include "pyfacade/py.h"

namespace tess::py {

// The one conversion of a JSON value into a Python object: compact JSON text
// read back by the standard module's json.loads.
Ref value_to_py(const Json& value);

// Sets the exception class `raises` stands for, with the error's outermost
// message as its single argument.
void raise(Raises raises, const Error& error);

// The token of a long call: it stops once a signal handler has raised (as
// Python's does with KeyboardInterrupt on Ctrl-C). The core then throws
// Cancelled, and the call returns with the handler's exception still set.
inline Cancel interruptible() {
  return Cancel([] { return PyErr_CheckSignals() != 0; });
}

// One member of a result record: an interned key of the module state and
// its value.
struct Field {
  PyObject* key;
  Ref value;
};

// A new dict of the fields, in order. Every dict the module builds with
// fixed keys is made here.
Ref record(std::initializer_list<Field> fields);

// to_py(value): a new Python object for what a handler returned, by its exact
// type.
Ref to_py(double v);
Ref to_py(bool v);
Ref to_py(std::string_view s);
inline Ref to_py(const std::string& s) { return to_py(std::string_view(s)); }
inline Ref to_py(const Json& v) { return value_to_py(v); }
template <class T>
requires std::is_integral_v<T> &&(!std::is_same_v<T, bool>)Ref to_py(T v) {
  if constexpr (std::is_signed_v<T>) {
    return check(PyLong_FromLongLong(v));
  } else {
    return check(PyLong_FromUnsignedLongLong(v));
  }
}
Ref to_py(Tier t);
Ref to_py(const exporter::ObjFiles& v);
Ref to_py(const std::vector<protein::BackboneAtom>& v);
// The atoms' list of dicts, built while the chain places them.
Ref to_py(const BackboneInTurn& v);
Ref to_py(const std::vector<alloy::AlloyCandidate>& v);
Ref to_py(const fourier_bake::FourierFieldConfig& v);
// The type of the buffer objects packed() makes, created with the module
// state.
Ref make_packed_type();
// A writable buffer object of `size` bytes at `data`, which `owner` keeps
// alive for as long as the object lives.
Ref packed(std::shared_ptr<void> owner, void* data, std::size_t size);
template <class T>
Ref to_py(const Packed<T>& p) {
  if (!p.values) return packed(nullptr, nullptr, 0);
  return packed(p.values, p.values->data(), p.values->size() * sizeof(T));
}
// Standard containers: None or the value, a list, a tuple.
template <class T>
Ref to_py(const std::optional<T>& v);
template <class T>
Ref to_py(const std::vector<T>& v);
template <class T>
Ref to_py(std::span<const T> v);
template <class A, class B>
Ref to_py(const std::pair<A, B>& v);
template <class... T>
Ref to_py(const std::tuple<T...>& v);
template <class T, std::size_t N>
Ref to_py(const std::array<T, N>& v);

namespace detail {

// A tuple of the objects, which it takes over.
template <class... Objects>
Ref tuple_of(Objects&&... items) {
  Ref t = check(PyTuple_New(sizeof...(Objects)));
  Py_ssize_t i = 0;
  (PyTuple_SET_ITEM(t.get(), i++, items.release()), ...);
  return t;
}

template <class Items>
Ref sequence_of(const Items& items, bool as_tuple) {
  const auto n = static_cast<Py_ssize_t>(std::size(items));
  Ref s = check(as_tuple ? PyTuple_New(n) : PyList_New(n));
  Py_ssize_t i = 0;
  for (const auto& item : items) {
    PyObject* o = to_py(item).release();
    if (as_tuple) {
      PyTuple_SET_ITEM(s.get(), i++, o);
    } else {
      PyList_SET_ITEM(s.get(), i++, o);
    }
  }
  return s;
}

}  // namespace detail

template <class T>
Ref to_py(const std::optional<T>& v) {
  return v ? to_py(*v) : Ref(Py_NewRef(Py_None));
}
template <class T>
Ref to_py(const std::vector<T>& v) {
  return detail::sequence_of(v, false);
}
template <class T>
Ref to_py(std::span<const T> v) {
  return detail::sequence_of(v, true);
}
template <class A, class B>
Ref to_py(const std::pair<A, B>& v) {
  // Converted in order, each held before the next is made.
  Ref first = to_py(v.first);
  return detail::tuple_of(std::move(first), to_py(v.second));
}
template <class... T>
Ref to_py(const std::tuple<T...>& v) {
  return std::apply(
      [](const T&... items) {
        std::array<Ref, sizeof...(T)> objects{to_py(items)...};  // braced: in order
        Ref t = check(PyTuple_New(sizeof...(T)));
        for (std::size_t i = 0; i < objects.size(); ++i) {
          PyTuple_SET_ITEM(t.get(), static_cast<Py_ssize_t>(i), objects[i].release());
        }
        return t;
      },
      v);
}
template <class T, std::size_t N>
Ref to_py(const std::array<T, N>& v) {
  return detail::sequence_of(v, true);
}

// The result of a handler as a new reference, or nullptr with the exception
// of its class set for an Error (the first class for the outermost Result).
template <class T>
PyObject* hand_back(Raising<> /*classes*/, const T& result) {
  return to_py(result).release();
}
template <Raises First, Raises... Rest, class T>
PyObject* hand_back(Raising<First, Rest...> /*classes*/, Result<T>&& result) {
  if (!result) {
    raise(First, result.error());
    return nullptr;
  }
  return hand_back(Raising<Rest...>{}, std::move(*result));
}

}  // namespace tess::py
