// Reported failures (Error, Result) and internal failures (Panic).
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>

namespace tess {

// A reported failure: a message, optionally wrapping the failure that caused it.
// Only the outermost message is ever shown to a caller; causes are kept for
// diagnostics and tests.
class Error {
 public:
  explicit Error(std::string message) : message_(std::move(message)) {}
  Error(std::string message, Error cause)
      : message_(std::move(message)), cause_(std::make_shared<const Error>(std::move(cause))) {}

  const std::string& message() const noexcept { return message_; }
  const Error* cause() const noexcept { return cause_.get(); }

  // Wraps this error as the cause of a new error with `context` as its message.
  Error wrap(std::string context) const& { return Error(std::move(context), *this); }
  Error wrap(std::string context) && { return Error(std::move(context), std::move(*this)); }

 private:
  std::string message_;
  std::shared_ptr<const Error> cause_;
};

// The error of a failed operating-system call: "<description> (os error <n>)".
Error os_error(int errnum);

// Either a value or an Error.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}      // NOLINT(google-explicit-constructor)
  Result(Error error) : v_(std::in_place_index<1>, std::move(error)) {}  // NOLINT(google-explicit-constructor)

  bool ok() const noexcept { return v_.index() == 0; }
  explicit operator bool() const noexcept { return ok(); }

  T& value() & { return std::get<0>(v_); }
  const T& value() const& { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  const Error& error() const& { return std::get<1>(v_); }
  Error&& error() && { return std::get<1>(std::move(v_)); }

 private:
  std::variant<T, Error> v_;
};

// Success without a value.
struct Unit {};
using Status = Result<Unit>;
inline Status ok_status() { return Unit{}; }

// An internal failure: a broken assertion that abandons the current call.
// Only the Python facade catches it (as PanicException); the process goes on.
class Panic : public std::runtime_error {
 public:
  explicit Panic(const std::string& message) : std::runtime_error(message) {}
};

[[noreturn]] void panic(const std::string& message);

}  // namespace tess
