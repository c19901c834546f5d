// Taking a call's arguments from Python: mapping them to parameters, then
// converting each by the C++ type of its parameter.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "alloy/optimize.h"
#include "pyfacade/kinds.h"
#include "pyfacade/py.h"
#include "sample/voxel_map.h"

namespace tess::protein {
struct PointRows;
}  // namespace tess::protein

namespace tess::py {

// Puts the arguments of a call into `slots` (one per parameter; nullptr when
// absent) by position and keyword. Surplus, unknown, repeated and missing
// arguments raise TypeError with the interpreter's messages for `func`.
void map_arguments(const char* func, std::span<const char* const> names, std::size_t required, PyObject* const* args,
                   Py_ssize_t nargs, PyObject* kwnames, std::span<PyObject*> slots);

// TypeError "argument '<name>': <message>", thrown as ErrorAlreadySet.
[[noreturn]] void argument_error(const char* name, std::string_view message);

// The qualified type name of an object, as in "'int' object ...".
std::string type_name(PyObject* o);
// "'<type name>' object cannot be converted to '<target>'".
std::string cannot_convert(PyObject* o, const char* target);
// For an exception being raised: a TypeError becomes `message` (and is
// cleared) and false is returned; anything else is thrown as ErrorAlreadySet.
bool type_error_message(std::string& message);

// from_py(o, out, message) converts one object to the type of `out`. It
// returns false with `message` set for what the caller reports as a
// TypeError, and throws ErrorAlreadySet for any other exception, which
// reaches Python as raised (OverflowError, UnicodeEncodeError, an exception
// of __float__).
//
// text: a str (or subclass), as its UTF-8; a view is valid while the object lives.
bool from_py(PyObject* o, std::string_view& out, std::string& message);
bool from_py(PyObject* o, std::string& out, std::string& message);
// number: the interpreter's float conversion.
bool from_py(PyObject* o, double& out, std::string& message);
// flag: exactly True or False (or a NumPy bool).
bool from_py(PyObject* o, bool& out, std::string& message);
// count: an int or __index__ object, as an unsigned 64-bit integer.
bool from_py(PyObject* o, std::uint64_t& out, std::string& message);

// A tuple (or tuple subclass) of exactly N items: a point, a pair, a triple.
template <class T, std::size_t N>
bool from_py(PyObject* o, std::array<T, N>& out, std::string& message) {
  if (!PyTuple_Check(o)) {
    message = cannot_convert(o, "PyTuple");
    return false;
  }
  const Py_ssize_t len = PyTuple_GET_SIZE(o);
  if (len != static_cast<Py_ssize_t>(N)) {
    message = "expected tuple of length " + std::to_string(N) + ", but got tuple of length " + std::to_string(len);
    return false;
  }
  for (std::size_t i = 0; i < N; ++i) {
    if (!from_py(PyTuple_GET_ITEM(o, static_cast<Py_ssize_t>(i)), out[i], message)) return false;
  }
  return true;
}

// box: a tuple of two points.
inline bool from_py(PyObject* o, sample::Box& out, std::string& message) {
  std::array<sample::Point, 2> corners{};
  if (!from_py(o, corners, message)) return false;
  out = {corners[0], corners[1]};
  return true;
}

// scope: a count; indices past the last tier mean every tier.
bool from_py(PyObject* o, Scope& out, std::string& message);

// Checks the shape of a list argument: any sequence except a str.
bool is_list_like(PyObject* o, std::string& message);

// Calls each(item) for the items of a list argument, in order, until it
// returns false.
template <class Each>
bool for_each_item(PyObject* o, std::string& message, Each&& each) {
  if (!is_list_like(o, message)) return false;
  if (PyList_CheckExact(o) || PyTuple_CheckExact(o)) {
    // The size is read again at each step: converting an item may run code
    // that changes the list.
    for (Py_ssize_t k = 0; k < PySequence_Fast_GET_SIZE(o); ++k) {
      const Ref item(Py_NewRef(PySequence_Fast_GET_ITEM(o, k)));
      if (!each(item.get())) return false;
    }
    return true;
  }
  const Ref it(PyObject_GetIter(o));
  if (!it) return type_error_message(message);
  while (PyObject* raw = PyIter_Next(it.get())) {
    const Ref item(raw);
    if (!each(item.get())) return false;
  }
  return PyErr_Occurred() == nullptr || type_error_message(message);
}

// list of X: a sequence other than str, each item converted as X.
template <class T>
bool from_py(PyObject* o, std::vector<T>& out, std::string& message) {
  // A row of numbers is sized up front; longer lists grow as they go, which
  // lets the allocator reuse their memory from call to call.
  if constexpr (std::is_arithmetic_v<T>) {
    if (PyList_CheckExact(o) || PyTuple_CheckExact(o))
      out.reserve(static_cast<std::size_t>(PySequence_Fast_GET_SIZE(o)));
  }
  return for_each_item(o, message, [&](PyObject* item) {
    T value{};
    if (!from_py(item, value, message)) return false;
    out.push_back(std::move(value));
    return true;
  });
}

// point rows: a list of rows of numbers, of which the first three of each
// are kept (see protein::PointRows).
bool from_py(PyObject* o, protein::PointRows& out, std::string& message);

// Arg<T>: one whole argument. parse() converts the object while the
// arguments are taken, in parameter order; finish() completes the value once
// all of them have been taken (only the alloy targets wait until then).
template <class T>
struct Arg {
  using Parsed = T;
  static T parse(PyObject* o, const char* name) {
    T out{};
    std::string message;
    if (!from_py(o, out, message)) argument_error(name, message);
    return out;
  }
  static T finish(T&& parsed) { return std::move(parsed); }
};

// optional X: None means no value.
template <class T>
struct Arg<std::optional<T>> {
  using Parsed = std::optional<typename Arg<T>::Parsed>;
  static Parsed parse(PyObject* o, const char* name) {
    if (o == Py_None) return std::nullopt;
    return Arg<T>::parse(o, name);
  }
  static std::optional<T> finish(Parsed&& parsed) {
    if (!parsed) return std::nullopt;
    return Arg<T>::finish(std::move(*parsed));
  }
};

// A buffer of an argument, held until the call's arguments go.
class HeldBuffer {
 public:
  // Takes a C-contiguous float64 buffer of shape (n, cols) from `o`. Returns
  // false with `message` set for an object of another kind or shape (its
  // TypeError when it offers no buffer); throws ErrorAlreadySet for any other
  // exception (ValueError for a buffer that is not contiguous).
  bool take(PyObject* o, std::size_t cols, std::string& message);
  std::span<const double> values() const;

 private:
  struct Release {
    void operator()(Py_buffer* view) const;
  };
  std::unique_ptr<Py_buffer, Release> view_;
};

// rows of K numbers: a buffer, read in place while the call runs.
template <std::size_t K>
struct Arg<Float64Rows<K>> {
  using Parsed = HeldBuffer;
  static Parsed parse(PyObject* o, const char* name) {
    HeldBuffer held;
    std::string message;
    if (!held.take(o, K, message)) argument_error(name, message);
    return held;
  }
  static Float64Rows<K> finish(const Parsed& held) { return {held.values()}; }
};

// Drops a reference of a held hook, taking the interpreter lock for it (a
// reference left after the interpreter has finished is kept).
void release_hook(void* object);

// a callable: held in a Hook, which may outlive the call.
template <>
struct Arg<Hook> {
  using Parsed = Hook;
  static Hook parse(PyObject* o, const char* name) {
    if (PyCallable_Check(o) == 0) argument_error(name, "'" + type_name(o) + "' object is not callable");
    return Hook{std::shared_ptr<void>(Py_NewRef(o), release_hook)};
  }
  static Hook finish(Hook&& hook) { return std::move(hook); }
};

// The alloy targets: a list of dicts, each read after all arguments are
// taken. In a target, "property" is text, "min_value", "max_value" and
// "weight" numbers; a member that is absent, None or cannot be converted in
// an ordinary way takes the target's default.
template <>
struct Arg<std::vector<alloy::AlloyTarget>> {
  using Parsed = std::vector<Ref>;  // the dicts, kept alive for the call
  static Parsed parse(PyObject* o, const char* name);
  static std::vector<alloy::AlloyTarget> finish(Parsed&& dicts);
};

}  // namespace tess::py
