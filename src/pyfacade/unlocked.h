// Running a handler without the interpreter lock.
//
// Other Python threads run while a long call works. The lock is taken back
// only where the call needs the interpreter: at its cancellation polls (on the
// calling thread), and to build its result. A poll must hold no lock of the
// store: while it holds the interpreter lock, a signal handler or another
// thread may store an entry, and the store's writers wait for their lock
// without the interpreter lock, so that no reader can deadlock with them.
#pragma once

#include <optional>

#include "common/cancel.h"
#include "pyfacade/kinds.h"
#include "pyfacade/py.h"

namespace tess::py {

class Unlocked {
 public:
  // Releases the interpreter lock of the calling thread.
  Unlocked();
  // Takes the lock back if the call has not done so yet (a handler that
  // threw).
  ~Unlocked();
  Unlocked(const Unlocked&) = delete;
  Unlocked& operator=(const Unlocked&) = delete;

  // The call's token: it stops once a signal handler has raised (on the main
  // thread; Ctrl-C) or the thread's poll hook has raised. A call on another
  // thread without a hook has nothing to ask, and its token never stops.
  const Cancel& token() const { return cancel_ ? *cancel_ : Cancel::never(); }

  // Takes the interpreter lock back.
  void relock();

  // Under the interpreter lock for its life, within the stretch without it
  // (a poll; results built while the core still works).
  class Locked {
   public:
    explicit Locked(Unlocked& outer);
    ~Locked();
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

   private:
    Unlocked& outer_;
  };

  // Under the lock, after the call succeeded: reports (done, total) to the
  // poll hook as final. Returns false with its exception set when it raised.
  bool report_end() const;

 private:
  bool poll();
  bool call_hook(bool final) const;

  PyThreadState* saved_ = nullptr;
  Hook hook_;
  bool main_thread_ = false;
  std::optional<Cancel> cancel_;
};

}  // namespace tess::py
