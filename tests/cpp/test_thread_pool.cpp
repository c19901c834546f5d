#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "common/cancel.h"
#include "common/thread_pool.h"

using namespace tess;

namespace {

// What the bodies share; freed as soon as parallel_for returns, so that a
// worker still inside a body afterwards is a use after free (ASan).
struct Probe {
  std::atomic<int> inside{0};
  std::atomic<std::size_t> ran{0};
};

constexpr std::size_t kItems = 20000;

// Runs parallel_for over kItems items whose bodies throw where `throws` says
// (with `cancel` when given); true when the exception came out.
template <class Throws>
bool run_throwing(Throws throws, const Cancel* cancel) {
  auto probe = std::make_unique<Probe>();
  bool thrown = false;
  auto body = [p = probe.get(), throws](std::size_t i) {
    ++p->inside;
    std::this_thread::sleep_for(std::chrono::microseconds(20));
    const bool fail = throws(i);
    ++p->ran;
    --p->inside;
    if (fail) throw std::runtime_error("item " + std::to_string(i));
  };
  try {
    cancel != nullptr ? parallel_for(kItems, body, *cancel) : parallel_for(kItems, body);
  } catch (const std::runtime_error&) {
    thrown = true;
  }
  EXPECT_EQ(probe->inside.load(), 0) << "a body still runs after parallel_for returned";
  EXPECT_LT(probe->ran.load(), kItems) << "items kept starting after a body threw";
  probe.reset();
  std::this_thread::sleep_for(std::chrono::milliseconds(5));  // a straggler would touch freed memory now
  return thrown;
}

}  // namespace

TEST(ThreadPool, AnExceptionOfABodyComesOutOnTheCallerAfterEveryWorkerLeft) {
  const auto caller = std::this_thread::get_id();
  const Cancel quiet([] { return false; });  // active: the caller waits in slices
  for (const Cancel* cancel : {static_cast<const Cancel*>(nullptr), &quiet}) {
    // On the calling thread only (which used to unwind while the workers ran
    // on), on the workers only (which used to end the process), and on every
    // item from some point on (the first exception wins).
    EXPECT_TRUE(run_throwing([&](std::size_t i) { return i >= 200 && std::this_thread::get_id() == caller; }, cancel));
    EXPECT_TRUE(run_throwing([&](std::size_t i) { return i >= 200 && std::this_thread::get_id() != caller; }, cancel));
    EXPECT_TRUE(run_throwing([](std::size_t i) { return i >= 1000; }, cancel));
  }
}

TEST(ThreadPool, AStopAndAThrowingBodyGiveTheFirstOfThem) {
  // The token stops first; the bodies that see the stop then throw.
  std::atomic<bool> stop = false;
  const Cancel token([&] { return stop.load(); }, {});
  EXPECT_THROW(parallel_for(
                   kItems,
                   [&](std::size_t i) {
                     if (i == 100) stop = true;
                     if (token.stopped()) throw std::runtime_error("after the stop");
                   },
                   token),
               Cancelled);
  // A body throws first; the token is never asked again.
  const Cancel never_stops([] { return false; }, {});
  EXPECT_THROW(parallel_for(
                   kItems, [](std::size_t i) { i == 3 ? throw std::logic_error("first") : void(); }, never_stops),
               std::logic_error);
}
