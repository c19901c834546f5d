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

// A new str from UTF-8 bytes; ill-formed sequences become U+FFFD.
Ref str(std::string_view utf8);

}  // namespace tess::py
