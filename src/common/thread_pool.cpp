#include "common/thread_pool.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tess {
namespace {

class ThreadPool {
 public:
  explicit ThreadPool(std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) workers_.emplace_back([this] { run(); });
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

std::size_t pool_size() { return pool().size(); }

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
  };
  auto shared = std::make_shared<Shared>();
  const std::function<void(std::size_t)>* fn = &body;
  const Cancel* token = &cancel;
  // Counts `finished` items as done, waking the caller after the last one.
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
  // Each helper and the caller take indices until none are left.
  auto drain = [shared, fn, token, n, count, take_rest] {
    std::size_t finished = 0;
    for (std::size_t i; (i = shared->next.fetch_add(1)) < n;) {
      if (token->poll()) {
        finished += 1 + take_rest();
        break;
      }
      (*fn)(i);
      ++finished;
    }
    count(finished);
  };
  const std::size_t helpers = std::min(pool().size(), n - 1);
  for (std::size_t h = 0; h < helpers; ++h) pool().submit(drain);
  drain();
  std::unique_lock lock(shared->mutex);
  auto all_done = [&] { return shared->done.load() == n; };
  if (!cancel.active()) {
    shared->cv.wait(lock, all_done);
    return;
  }
  while (!shared->cv.wait_for(lock, Cancel::kInterval, all_done)) {
    lock.unlock();
    if (cancel.poll()) count(take_rest());
    lock.lock();
  }
  lock.unlock();
  cancel.check();
}

}  // namespace tess
