// The one place that includes Python.h, with small ownership helpers.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string_view>
#include <utility>

namespace tess::py {

// An owned reference.
class Ref {
 public:
  Ref() = default;
  explicit Ref(PyObject* o) noexcept : o_(o) {}  // steals
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& other) noexcept : o_(std::exchange(other.o_, nullptr)) {}
  Ref& operator=(Ref&& other) noexcept {
    if (this != &other) {
      Py_XDECREF(o_);
      o_ = std::exchange(other.o_, nullptr);
    }
    return *this;
  }
  ~Ref() { Py_XDECREF(o_); }

  PyObject* get() const noexcept { return o_; }
  PyObject* release() noexcept { return std::exchange(o_, nullptr); }
  explicit operator bool() const noexcept { return o_ != nullptr; }

 private:
  PyObject* o_ = nullptr;
};

// Thrown inside the facade when a Python exception has been set; the entry
// trampoline turns it into a NULL return.
struct ErrorAlreadySet {};

// Throws ErrorAlreadySet when `o` is NULL, else returns it as an owned Ref.
inline Ref check(PyObject* o) {
  if (o == nullptr) throw ErrorAlreadySet{};
  return Ref(o);
}

// True when the exception being raised is an ordinary failure: an Exception
// other than MemoryError, which a caller may replace by a default. Anything
// else (KeyboardInterrupt, SystemExit, MemoryError, other BaseExceptions)
// must reach Python.
inline bool is_ordinary_error() {
  return PyErr_ExceptionMatches(PyExc_Exception) != 0 && PyErr_ExceptionMatches(PyExc_MemoryError) == 0;
}

// Clears the exception being raised when it is ordinary; throws
// ErrorAlreadySet, leaving it set, for what must reach Python.
inline void drop_ordinary_error() {
  if (!is_ordinary_error()) throw ErrorAlreadySet{};
  PyErr_Clear();
}

// A new str from UTF-8 bytes; ill-formed sequences become U+FFFD.
Ref str(std::string_view utf8);

}  // namespace tess::py
