// Declaring Python functions once, and taking their arguments from Python.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pyfacade/py.h"

namespace tess::protein {
struct PointRows;
}

namespace tess::py {

class Args;

using Handler = PyObject* (*)(Args&);

struct ParamDecl {
  const char* name;
  const char* default_text;  // as shown in the text signature; nullptr: required
  const char* py_type;       // annotation in the type stubs
};

// One Python function: its name, parameters, description and handler. The
// text signature, the doc string, the argument parser and the type stubs all
// follow from this record.
struct FunctionDecl {
  const char* name;
  std::vector<ParamDecl> params;
  const char* description;  // the doc string after the text signature
  const char* return_type;  // annotation in the type stubs
  Handler handler;

  std::size_t required() const;
  std::string text_signature() const;  // "py_get(spec, scope_str=None)"
  std::string doc() const;             // text signature, "\n--\n\n", description
};

using Point3 = std::array<double, 3>;
using Box3 = std::array<Point3, 2>;

// The arguments of one call, mapped to parameter slots. Each accessor
// converts one slot by its parameter kind and throws ErrorAlreadySet with
// the Python exception set when the conversion fails.
class Args {
 public:
  Args(const FunctionDecl& decl, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

  const FunctionDecl& decl() const { return decl_; }
  // The raw object in slot i, or nullptr when absent.
  PyObject* raw(std::size_t i) const { return slots_[i]; }
  // True when slot i is absent or None.
  bool is_none(std::size_t i) const { return slots_[i] == nullptr || slots_[i] == Py_None; }

  // text: a str (or subclass), as UTF-8 valid for the duration of the call.
  std::string_view text(std::size_t i) const;
  std::optional<std::string_view> opt_text(std::size_t i) const;
  // text with a default: `fallback` when absent (None is still a wrong type).
  std::string_view text(std::size_t i, std::string_view fallback) const;
  // number: the interpreter's float conversion.
  double number(std::size_t i) const;
  std::optional<double> opt_number(std::size_t i) const;
  // number with a default: `fallback` when absent.
  double number(std::size_t i, double fallback) const;
  // flag: exactly True or False (or a NumPy bool); `fallback` when absent.
  bool flag(std::size_t i, bool fallback) const;
  // count: an int or __index__ object as an unsigned 64-bit integer.
  std::uint64_t count(std::size_t i, std::uint64_t fallback) const;
  std::optional<std::uint64_t> opt_count(std::size_t i) const;
  // point: a tuple of exactly three numbers.
  Point3 point(std::size_t i) const;
  std::optional<Point3> opt_point(std::size_t i) const;
  // count triple: a tuple of exactly three counts.
  std::array<std::uint64_t, 3> count_triple(std::size_t i) const;
  // box: a tuple of two points.
  Box3 box(std::size_t i) const;
  // list of text.
  std::vector<std::string> text_list(std::size_t i) const;
  std::optional<std::vector<std::string>> opt_text_list(std::size_t i) const;
  // list of dicts (borrowed references, alive for the call).
  std::vector<PyObject*> dict_list(std::size_t i) const;
  // list of pairs: each item a tuple of exactly two numbers.
  std::vector<std::array<double, 2>> pair_list(std::size_t i) const;
  // list of rows: each item a sequence of numbers, of which the first three
  // are kept (see protein::PointRows).
  protein::PointRows row_list(std::size_t i) const;

  // Sets TypeError "argument '<name>': <message>" and throws.
  [[noreturn]] void fail(std::size_t i, std::string_view message) const;
  // For a Python exception raised while converting slot i: a TypeError is
  // reported as "argument '<name>': <its text>", anything else as raised.
  [[noreturn]] void raised(std::size_t i) const;

 private:
  const FunctionDecl& decl_;
  std::array<PyObject*, 8> slots_{};
  mutable std::vector<Ref> holders_;
};

// Conversions of single objects, shared by the accessors above and by handlers
// that convert nested values. Each returns false with a message (for a
// TypeError) or throws ErrorAlreadySet for other interpreter exceptions.
namespace convert {
bool to_text(PyObject* o, std::string_view& out, std::string& message);
bool to_number(PyObject* o, double& out, std::string& message);
bool to_flag(PyObject* o, bool& out, std::string& message);
bool to_count(PyObject* o, std::uint64_t& out, std::string& message);
bool to_tuple_of_numbers(PyObject* o, double* out, Py_ssize_t n, std::string& message);
bool to_tuple_of_counts(PyObject* o, std::uint64_t* out, Py_ssize_t n, std::string& message);
// Checks the "list of X" shape: not a str, and a sequence.
bool is_list_like(PyObject* o, std::string& message);
// The qualified type name of an object, as in "'int' object ...".
std::string type_name(PyObject* o);
// "'<type name>' object cannot be converted to '<target>'".
std::string cannot_convert(PyObject* o, const char* target);
}  // namespace convert

}  // namespace tess::py
