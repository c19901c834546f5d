// Calling a declared function from Python: its C entry points, made from the
// declarations of functions.h.
//
// CPython calls a built-in function through one C function pointer per
// function, which receives no record of which function it is. So one entry
// is instantiated per declaration (a template on its index in FUNCTIONS):
// it maps the arguments, converts each by its parameter's type, runs the
// handler and hands the result back, with every C++ failure turned into a
// Python exception by guarded().
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <tuple>
#include <utility>

#include "pyfacade/args.h"
#include "pyfacade/functions.h"
#include "pyfacade/results.h"

namespace tess::py {

using Body = PyObject* (*)(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

// Runs body(args...) and turns every C++ failure into a Python exception:
// Panic into PanicException, std::bad_alloc into MemoryError, Cancelled into
// the signal handler's exception.
PyObject* guarded(const char* name, Body body, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

namespace detail {

// The argument of parameter I: converted from `o`, or its default when absent.
template <std::size_t I, class F>
typename Arg<typename F::template Param<I>>::Parsed take(const F& f, PyObject* o) {
  using P = typename F::template Param<I>;
  if (o != nullptr) return Arg<P>::parse(o, f.template param_name<I>());
  if constexpr (is_default<typename F::template Spec<I>>) {
    return std::get<I>(f.params).value;
  } else if constexpr (is_optional<P>) {
    return std::nullopt;
  } else {
    panic(std::string(f.name) + ": required argument " + f.template param_name<I>() + " absent");
  }
}

// Frees what `value` holds now, rather than when its tuple goes.
template <class T>
void release(T& value) {
  [[maybe_unused]] const T gone(std::move(value));
}

template <class F, std::size_t... I>
PyObject* run(const F& f, const std::array<PyObject*, F::arity>& slots, std::index_sequence<I...> /*params*/) {
  // Braced lists are evaluated in order: every argument is converted, in
  // parameter order, before any is finished and before the handler's checks.
  std::tuple<typename Arg<typename F::template Param<I>>::Parsed...> parsed{take<I>(f, slots[I])...};
  std::tuple<typename F::template Param<I>...> values{
      Arg<typename F::template Param<I>>::finish(std::move(std::get<I>(parsed)))...};
  PyObject* result = nullptr;
  if constexpr (F::Sig::cancellable) {
    const Cancel cancel = interruptible();
    result = hand_back<F::raises>(F::handler(std::move(std::get<I>(values))..., cancel));
  } else {
    result = hand_back<F::raises>(F::handler(std::move(std::get<I>(values))...));
  }
  // The arguments are freed last first, as locals would be. Freed first
  // first, the rows of a large point set leave the heap's top free in one
  // piece, which is returned to the system and faulted in again on the next
  // call (a fifth longer for 100,000 rows).
  (release(std::get<F::arity - 1 - I>(values)), ...);
  return result;
}

// The body of function I of FUNCTIONS.
template <std::size_t I>
PyObject* body(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const auto& f = std::get<I>(FUNCTIONS);
  using F = std::remove_cvref_t<decltype(f)>;
  static constexpr std::array<const char*, F::arity> names = f.names();
  std::array<PyObject*, F::arity> slots{};
  map_arguments(f.name, names, F::required, args, nargs, kwnames, slots);
  return run(f, slots, std::make_index_sequence<F::arity>{});
}

}  // namespace detail

// The entry points of function I, for METH_FASTCALL | METH_KEYWORDS and for
// METH_NOARGS.
template <std::size_t I>
PyObject* fastcall_entry(PyObject* /*self*/, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded(std::get<I>(FUNCTIONS).name, &detail::body<I>, args, nargs, kwnames);
}

template <std::size_t I>
PyObject* noargs_entry(PyObject* /*self*/, PyObject* /*unused*/) {
  return guarded(std::get<I>(FUNCTIONS).name, &detail::body<I>, nullptr, 0, nullptr);
}

}  // namespace tess::py
