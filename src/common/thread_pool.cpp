#include "common/thread_pool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tess {
namespace {

class ThreadPool {
 public:
  // Starts up to n threads. A thread that cannot be started (no memory for
  // its stack, a process limit) leaves the pool smaller, down to none: the
  // callers of parallel_for then do all the work themselves.
  explicit ThreadPool(std::size_t n) {
    try {
      workers_.reserve(n);
      for (std::size_t i = 0; i < n; ++i) workers_.emplace_back([this] { run(); });
    } catch (const std::exception&) {
      // Keep the threads that started; throwing here would join them forever.
    }
  }
  // The pool lives until the process ends: its threads are detached so that
  // interpreter shutdown never waits on them.
  ~ThreadPool() = delete;

  std::size_t size() const { return workers_.size(); }

  void submit(std::function<void()> job) {
    {
      std::lock_guard lock(mutex_);
      jobs_.push_back(std::move(job));
    }
    cv_.notify_one();
  }

 private:
  void run() {
    for (;;) {
      std::function<void()> job;
      {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return !jobs_.empty(); });
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      job();
    }
  }

  std::vector<std::jthread> workers_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> jobs_;
};

ThreadPool& pool() {
  static ThreadPool* instance = [] {
    const unsigned hc = std::thread::hardware_concurrency();
    return new ThreadPool(hc == 0 ? 1 : hc);
  }();
  return *instance;
}

}  // namespace

std::size_t pool_size() { return std::max<std::size_t>(1, pool().size()); }

void parallel_for(std::size_t n, const std::function<void(std::size_t)>& body) {
  parallel_for(n, body, Cancel::never());
}

void parallel_for(std::size_t n, const std::function<void(std::size_t)>& body, const Cancel& cancel) {
  cancel.check();
  if (n == 0) return;
  if (n == 1) {
    body(0);
    cancel.check();
    return;
  }
  struct Shared {
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> done{0};
    std::mutex mutex;
    std::condition_variable cv;
    std::exception_ptr failure;  // the first exception of a body, or Cancelled; under `mutex`
  };
  auto shared = std::make_shared<Shared>();
  const std::function<void(std::size_t)>* fn = &body;
  const Cancel* token = &cancel;
  // Counts `finished` items as done, waking the caller after the last one.
  // Once the count reaches n the caller may return: nothing after the
  // fetch_add may touch `body` or `cancel`.
  auto count = [shared, n](std::size_t finished) {
    if (finished != 0 && shared->done.fetch_add(finished) + finished == n) {
      std::lock_guard lock(shared->mutex);
      shared->cv.notify_all();
    }
  };
  // Takes every index not yet taken, as done without running it.
  auto take_rest = [shared, n] {
    const std::size_t rest = shared->next.exchange(n);
    return rest < n ? n - rest : 0;
  };
  // Keeps the first failure; later ones are dropped. A body that throws once
  // the token has stopped is taken as stopped by it.
  auto fail = [shared, token](std::exception_ptr e) {
    if (token->stopped()) e = std::make_exception_ptr(Cancelled{});
    std::lock_guard lock(shared->mutex);
    if (!shared->failure) shared->failure = std::move(e);
  };
  // Each helper and the caller take indices until none are left. A body that
  // throws ends the loop for everyone: the indices not yet taken are counted
  // as done without running.
  auto drain = [shared, fn, token, n, count, take_rest, fail] {
    std::size_t finished = 0;
    for (std::size_t i; (i = shared->next.fetch_add(1)) < n;) {
      try {
        if (token->poll()) {
          fail(std::make_exception_ptr(Cancelled{}));
          finished += 1 + take_rest();
          break;
        }
        (*fn)(i);
      } catch (...) {
        fail(std::current_exception());
        finished += 1 + take_rest();
        break;
      }
      ++finished;
    }
    count(finished);
  };
  const std::size_t helpers = std::min(pool().size(), n - 1);
  try {
    for (std::size_t h = 0; h < helpers; ++h) pool().submit(drain);
  } catch (const std::exception&) {
    // Fewer helpers: the caller and those already queued do all the items.
  }
  drain();
  {
    std::unique_lock lock(shared->mutex);
    auto all_done = [&] { return shared->done.load() == n; };
    if (!cancel.active()) {
      shared->cv.wait(lock, all_done);
    } else {
      while (!shared->cv.wait_for(lock, Cancel::kInterval, all_done)) {
        lock.unlock();
        bool stop = true;
        try {
          stop = cancel.poll();
        } catch (...) {
          fail(std::current_exception());
        }
        if (stop) {
          fail(std::make_exception_ptr(Cancelled{}));
          count(take_rest());
        }
        lock.lock();
      }
    }
    // Every item is counted: no helper is inside `body` any more.
    if (shared->failure) std::rethrow_exception(shared->failure);
  }
  cancel.check();
}

}  // namespace tess
