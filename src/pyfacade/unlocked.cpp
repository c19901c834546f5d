#include "pyfacade/unlocked.h"

#include <chrono>

#include "common/error.h"
#include "data_loader/sharded_map.h"
#include "pyfacade/functions.h"
#include "pyfacade/state.h"

namespace tess::py {
namespace {

// How often a call off the main thread asks its hook: often enough for a
// cancel within a few hundredths of a second and a smooth progress bar,
// rarely enough that taking the interpreter lock from a busy thread does not
// slow the work down.
constexpr std::chrono::milliseconds kHookInterval{10};

}  // namespace

Unlocked::Unlocked() : hook_(poll_hook()), main_thread_(PyThread_get_thread_ident() == state().main_thread) {
  if (main_thread_) {
    cancel_.emplace([this] { return poll(); });
  } else if (hook_.object) {
    cancel_.emplace([this] { return poll(); }, kHookInterval);
  }
  saved_ = PyEval_SaveThread();
}

Unlocked::~Unlocked() { relock(); }

void Unlocked::relock() {
  if (saved_ == nullptr) return;
  PyEval_RestoreThread(saved_);
  saved_ = nullptr;
}

bool Unlocked::call_hook(bool final) const {
  const auto [done, total] = token().progress();
  const Ref result(PyObject_CallFunction(static_cast<PyObject*>(hook_.object.get()), "KKO",
                                         static_cast<unsigned long long>(done), static_cast<unsigned long long>(total),
                                         final ? Py_True : Py_False));
  return static_cast<bool>(result);
}

Unlocked::Locked::Locked(Unlocked& outer) : outer_(outer) {
  PyEval_RestoreThread(outer_.saved_);
  outer_.saved_ = nullptr;
}

Unlocked::Locked::~Locked() { outer_.saved_ = PyEval_SaveThread(); }

bool Unlocked::poll() {
  if (data_loader::held_store_locks != 0) panic("a long call polled while holding a lock of the store");
  const Locked locked(*this);
  bool stop = main_thread_ && PyErr_CheckSignals() != 0;
  if (!stop && hook_.object) stop = !call_hook(false);
  return stop;
}

bool Unlocked::report_end() const {
  if (!hook_.object || token().progress().second == 0) return true;
  return call_hook(true);
}

}  // namespace tess::py
