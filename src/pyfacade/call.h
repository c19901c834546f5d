// Calling a declared function from Python: its C entry points and method
// records, made from a module's table of declarations (FUNCTIONS of
// functions.h, EXT_FUNCTIONS of ext_functions.h).
//
// CPython calls a built-in function through one C function pointer per
// function, which receives no record of which function it is. So one entry
// is instantiated per declaration (a template on its table and its index
// there): it maps the arguments, converts each by its parameter's type, runs
// the handler and hands the result back, with every C++ failure turned into a
// Python exception by guarded().
#pragma once

#include <array>
#include <cstddef>
#include <new>
#include <optional>
#include <string>
#include <tuple>
#include <utility>

#include "pyfacade/args.h"
#include "pyfacade/results.h"
#include "pyfacade/unlocked.h"

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
  if constexpr (without_gil<F>) {
    // Released after the arguments are converted, taken back before the
    // result is built; an exception leaving the handler takes it back before
    // the arguments (which may hold buffers) go.
    Unlocked unlocked;
    auto returned = [&] {
      if constexpr (F::Sig::cancellable) {
        return F::handler(std::move(std::get<I>(values))..., unlocked.token());
      } else {
        return F::handler(std::move(std::get<I>(values))...);
      }
    }();
    unlocked.relock();
    result = hand_back(typename F::Raised{}, std::move(returned));
    if (result != nullptr && !unlocked.report_end()) {
      Py_DECREF(result);
      result = nullptr;
    }
  } else if constexpr (F::Sig::cancellable) {
    const Cancel cancel = interruptible();
    result = hand_back(typename F::Raised{}, F::handler(std::move(std::get<I>(values))..., cancel));
  } else {
    result = hand_back(typename F::Raised{}, F::handler(std::move(std::get<I>(values))...));
  }
  // The arguments are freed last first, as locals would be. Freed first
  // first, the rows of a large point set leave the heap's top free in one
  // piece, which is returned to the system and faulted in again on the next
  // call (a fifth longer for 100,000 rows).
  (release(std::get<F::arity - 1 - I>(values)), ...);
  return result;
}

// The body of function I of `table`.
template <const auto& table, std::size_t I>
PyObject* body(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const auto& f = std::get<I>(table);
  using F = std::remove_cvref_t<decltype(f)>;
  static constexpr std::array<const char*, F::arity> names = f.names();
  std::array<PyObject*, F::arity> slots{};
  map_arguments(f.name, names, F::required, args, nargs, kwnames, slots);
  return run(f, slots, std::make_index_sequence<F::arity>{});
}

// The entry points of function I of `table`, for METH_FASTCALL | METH_KEYWORDS
// and for METH_NOARGS.
template <const auto& table, std::size_t I>
PyObject* fastcall_entry(PyObject* /*self*/, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded(std::get<I>(table).name, &body<table, I>, args, nargs, kwnames);
}

template <const auto& table, std::size_t I>
PyObject* noargs_entry(PyObject* /*self*/, PyObject* /*unused*/) {
  return guarded(std::get<I>(table).name, &body<table, I>, nullptr, 0, nullptr);
}

template <const auto& table, std::size_t I>
PyMethodDef method_def(const char* doc) {
  constexpr const auto& f = std::get<I>(table);
  if constexpr (std::remove_cvref_t<decltype(f)>::arity == 0) {
    return {f.name, &noargs_entry<table, I>, METH_NOARGS, doc};
  } else {
    return {f.name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&fastcall_entry<table, I>)),
            METH_FASTCALL | METH_KEYWORDS, doc};
  }
}

// The method records of the functions of `table` and their doc strings,
// which must outlive the function objects: made once, kept until the process
// ends.
template <const auto& table, std::size_t... I>
auto& method_defs(std::index_sequence<I...> /*functions*/) {
  static const std::array<std::string, sizeof...(I)> docs = {doc(std::get<I>(table))...};
  static std::array<PyMethodDef, sizeof...(I)> defs = {method_def<table, I>(docs[I].c_str())...};
  return defs;
}

}  // namespace detail

// Adds the functions of `table` to `module` in declaration order, each name
// also to `all`. Returns -1 with the exception set when the interpreter fails.
template <const auto& table>
int add_functions(PyObject* module, PyObject* all) {
  constexpr std::size_t n = std::tuple_size_v<std::remove_cvref_t<decltype(table)>>;
  std::array<PyMethodDef, n>* defs = nullptr;
  try {
    defs = &detail::method_defs<table>(std::make_index_sequence<n>{});
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
    return -1;
  }
  const Ref module_name(PyModule_GetNameObject(module));
  if (!module_name) return -1;
  for (PyMethodDef& def : *defs) {
    const Ref function(PyCFunction_NewEx(&def, module, module_name.get()));
    if (!function || PyModule_AddObjectRef(module, def.ml_name, function.get()) < 0) return -1;
    const Ref name(PyUnicode_FromString(def.ml_name));
    if (!name || PyList_Append(all, name.get()) < 0) return -1;
  }
  return 0;
}

}  // namespace tess::py
