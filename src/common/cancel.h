// Stopping long calls early: a token that asks its owner, every few
// milliseconds, whether to go on.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <thread>
#include <utility>

namespace tess {

// Thrown on the thread that owns a Cancel once the token has stopped. It is
// not a std::exception, so that no handler for ordinary failures takes it.
struct Cancelled {};

// A cancellation token. The callback is asked on the thread that made the
// token (the only one where the caller can look at its own state), at most
// once per interval, and returns true to stop; from then on the token stays
// stopped, and any thread sees that through stopped(). A token without a
// callback never stops and costs one test per poll.
class Cancel {
 public:
  using Callback = std::function<bool()>;
  static constexpr std::chrono::milliseconds kInterval{2};

  Cancel() = default;
  explicit Cancel(Callback callback, std::chrono::nanoseconds interval = kInterval)
      : callback_(std::move(callback)), owner_(std::this_thread::get_id()), interval_(interval) {}
  Cancel(const Cancel&) = delete;
  Cancel& operator=(const Cancel&) = delete;

  // The token that never stops.
  static const Cancel& never() {
    static const Cancel token;
    return token;
  }

  // True when the token can stop at all.
  bool active() const noexcept { return static_cast<bool>(callback_); }
  // True once the token has stopped; cheap, on any thread.
  bool stopped() const noexcept { return stopped_.load(std::memory_order_relaxed); }

  // On the owning thread, asks the callback when the interval has passed
  // since it was last asked; elsewhere only reads stopped(). True once
  // stopped.
  bool poll() const {
    if (!callback_) return false;
    if (stopped()) return true;
    if (std::this_thread::get_id() != owner_) return false;
    const auto now = std::chrono::steady_clock::now();
    if (now < next_) return false;
    next_ = now + interval_;
    if (!callback_()) return false;
    stopped_.store(true, std::memory_order_relaxed);
    return true;
  }

  // poll(), throwing Cancelled when stopped. Owning thread only.
  void check() const {
    if (poll()) throw Cancelled{};
  }

  // Progress, in the units of the call's first counted stage (voxels,
  // terms, candidates): start_progress gives its total, taken only the first
  // time, so that what the callback reads never goes back; advance adds work
  // done, from any thread. Both cost one test on a token that cannot stop.
  void start_progress(std::uint64_t total) const noexcept {
    if (!active()) return;
    std::uint64_t none = 0;
    total_.compare_exchange_strong(none, total, std::memory_order_relaxed);
  }
  void advance(std::uint64_t n) const noexcept {
    if (active()) done_.fetch_add(n, std::memory_order_relaxed);
  }
  // (done, total) so far; total is 0 until a stage is counted.
  std::pair<std::uint64_t, std::uint64_t> progress() const noexcept {
    const std::uint64_t total = total_.load(std::memory_order_relaxed);
    return {std::min(done_.load(std::memory_order_relaxed), total), total};
  }

 private:
  Callback callback_;
  std::thread::id owner_;
  std::chrono::nanoseconds interval_{kInterval};
  mutable std::atomic<bool> stopped_{false};
  mutable std::atomic<std::uint64_t> done_{0};
  mutable std::atomic<std::uint64_t> total_{0};
  mutable std::chrono::steady_clock::time_point next_{};
};

}  // namespace tess
