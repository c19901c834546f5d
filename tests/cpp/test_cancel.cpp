#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "alloy/optimize.h"
#include "common/cancel.h"
#include "common/thread_pool.h"
#include "data_loader/store.h"
#include "export/export.h"
#include "export/file_io.h"
#include "field_helpers.h"
#include "fourier_bake/fourier_bake.h"
#include "scratch_helpers.h"

namespace fs = std::filesystem;
using namespace tess;

namespace {

fs::path scratch(const char* name) { return ::scratch("tess_cancel_", name); }

const char* kFineTwoPhase = R"({"phase_model": "voronoi",
  "phase_volume_fractions": {"alpha": 0.5, "beta": 0.5},
  "phase_properties": {"alpha": {"D": 1}, "beta": {"D": 2}}})";

}  // namespace

TEST(Cancel, ParallelForStopsAtTheCallersPollsAndThePoolCarriesOn) {
  // Between the caller's items.
  StopAfter between(3);
  std::atomic<std::size_t> ran = 0;
  EXPECT_THROW(parallel_for(
                   100000,
                   [&](std::size_t) {
                     std::this_thread::sleep_for(std::chrono::microseconds(50));
                     ++ran;
                   },
                   between.cancel),
               Cancelled);
  EXPECT_TRUE(between.cancel.stopped());
  EXPECT_LT(ran.load(), 100000u);
  EXPECT_THROW(parallel_for(
                   1, [](std::size_t) {}, between.cancel),
               Cancelled);  // stays stopped

  // While the caller waits: the worker's item runs until the token stops,
  // which it does once the caller's item is over; only a polling wait returns.
  const auto caller = std::this_thread::get_id();
  std::atomic<bool> worker_started = false, caller_done = false;
  Token waiting([&] { return caller_done.load(); });
  EXPECT_THROW(parallel_for(
                   2,
                   [&](std::size_t) {
                     if (std::this_thread::get_id() == caller) {
                       while (!worker_started) std::this_thread::yield();
                       caller_done = true;
                       return;
                     }
                     worker_started = true;
                     const auto give_up =
                         std::chrono::steady_clock::now() + std::chrono::seconds(10);  // rather than hang
                     while (!waiting.cancel.stopped() && std::chrono::steady_clock::now() < give_up) {
                       std::this_thread::sleep_for(std::chrono::microseconds(100));
                     }
                   },
                   waiting.cancel),
               Cancelled);

  ran = 0;
  parallel_for(1000, [&](std::size_t) { ++ran; });
  EXPECT_EQ(ran.load(), 1000u);
}

TEST(Cancel, LongCallsStopAndAQuietTokenChangesNothing) {
  auto& data = data_loader::DATA();
  ASSERT_TRUE(data.insert_entry("alloy", "CancelBase", Json{{"Properties", {{"x", 1.0}}}}).ok());
  ASSERT_TRUE(data.insert_entry("alloy", "CancelAdd", Json{{"Properties", {{"x", 2.0}}}}).ok());
  const std::vector<std::string> pool = {"CancelAdd"};
  // Stopped while sampling, and while summing, at the poll that says so. (The
  // search and formulas stopping are checked through the module.)
  store_test_field("cancel_xy", [](const sample::Point& p, double) -> Result<double> { return p[0] * p[1]; });
  const sample::Box box{{0, 0, 0}, {1, 1, 1}};
  for (int k : {3, 30}) {
    StopAfter bake_stop(k);
    EXPECT_THROW((void)fourier_bake::bake_fourier("cancel_xy", "p", box, {48, 48, 48}, 0.0, bake_stop.cancel),
                 Cancelled);
    EXPECT_EQ(bake_stop.asked, k);
  }

  // A token that is asked but never stops gives the results of no token,
  // also when its callback changes the store, as a signal handler may: the
  // entry being sampled is replaced at every question.
  ASSERT_TRUE(data.insert_entry("alloy", "cancel_two", Json::parse(kFineTwoPhase)).ok());
  Token quiet([&] { return !data.insert_entry("alloy", "cancel_two", Json::parse(kFineTwoPhase)).ok(); });
  const std::vector<alloy::AlloyTarget> all_kept{{"x", 1.0, std::nullopt, 1.0}};
  auto a = alloy::optimize_alloy(all_kept, "CancelBase", pool, 20000, 20, 3);
  auto b = alloy::optimize_alloy(all_kept, "CancelBase", pool, 20000, 20, 3, quiet.cancel);
  ASSERT_TRUE(a && b);
  ASSERT_EQ(a->size(), 20u);
  ASSERT_EQ(b->size(), 20u);
  for (std::size_t i = 0; i < a->size(); ++i) EXPECT_EQ((*a)[i].score, (*b)[i].score);
  const sample::Box fine{{0, 0, 0}, {0.008, 0.008, 0.008}};
  auto c = fourier_bake::bake_fourier("cancel_two", "D", fine, {9, 8, 7}, 0.0);
  auto d = fourier_bake::bake_fourier("cancel_two", "D", fine, {9, 8, 7}, 0.0, quiet.cancel);
  ASSERT_TRUE(c && d);
  ASSERT_EQ(c->coefficients.size(), d->coefficients.size());
  for (std::size_t i = 0; i < c->coefficients.size(); ++i) {
    EXPECT_EQ(c->coefficients[i].amplitude, d->coefficients[i].amplitude);
    EXPECT_EQ(c->coefficients[i].phase, d->coefficients[i].phase);
  }
  const fs::path dir = scratch("quiet");
  const std::string plain = (dir / "plain.vtk").string(), asked = (dir / "asked.vtk").string();
  ASSERT_TRUE(exporter::export_vtk_legacy("cancel_two", plain, fine, 0.0001, {"D"}, 0.0005));
  ASSERT_TRUE(exporter::export_vtk_legacy("cancel_two", asked, fine, 0.0001, {"D"}, 0.0005, quiet.cancel));
  EXPECT_TRUE(slurp(plain) == slurp(asked));  // not EXPECT_EQ: the diff of 512000 lines would not fit in memory
  EXPECT_GT(quiet.asked, 0);
  fs::remove_all(dir.parent_path());
}

TEST(Cancel, StoppedWritesLeaveTheTargetsAsTheyWere) {
  const fs::path dir = scratch("files");
  const std::string path = (dir / "f.bin").string();
  const std::string bytes(10 << 20, 'x');  // several pieces
  // True once any file but the old target holds bytes: a temporary being written.
  auto writing = [&] {
    for (const auto& e : fs::directory_iterator(dir)) {
      if (e.path() != path && e.is_regular_file() && e.file_size() > 0) return true;
    }
    return false;
  };
  auto left = [&] { return std::distance(fs::directory_iterator(dir), fs::directory_iterator()); };

  Token fresh(writing);
  EXPECT_THROW((void)exporter::write_file(path, bytes, exporter::Parents::require, fresh.cancel), Cancelled);
  EXPECT_EQ(left(), 0);
  ASSERT_TRUE(exporter::write_file(path, "old", exporter::Parents::require));
  Token existing(writing);
  EXPECT_THROW((void)exporter::write_file(path, bytes, exporter::Parents::require, existing.cancel), Cancelled);
  EXPECT_EQ(slurp(path), "old");
  EXPECT_EQ(left(), 1);
  fs::remove(path);

  // Every exporter, stopped at its first poll after output has appeared and
  // at a spread of earlier points: nothing is left.
  ASSERT_TRUE(data_loader::DATA().insert_entry("alloy", "cancel_two", Json::parse(kFineTwoPhase)).ok());
  const sample::Box box{{0, 0, 0}, {0.08, 0.08, 0.08}};
  const double voxel = 0.001, cell = 0.004;
  const std::string out = (dir / "out.dat").string();
  const std::vector<std::function<void(const Cancel&)>> exports = {
      [&](const Cancel& c) { (void)exporter::export_stl("cancel_two", out, box, voxel, cell, true, c); },
      [&](const Cancel& c) { (void)exporter::export_stl("cancel_two", out, box, voxel, cell, false, c); },
      [&](const Cancel& c) { (void)exporter::export_obj("cancel_two", out, box, voxel, cell, c); },
      [&](const Cancel& c) {
        (void)exporter::export_vtk_legacy("cancel_two", out, box, voxel, {"D", "D"}, cell, c);
      },
      [&](const Cancel& c) { (void)exporter::export_sdf_raw("cancel_two", out, box, voxel, cell, "phase", c); },
  };
  for (std::size_t e = 0; e < exports.size(); ++e) {
    SCOPED_TRACE("exporter " + std::to_string(e));
    Token late(writing);
    EXPECT_THROW(exports[e](late.cancel), Cancelled);
    EXPECT_EQ(left(), 0);
    for (int k : {1, 3, 9}) {
      StopAfter early(k);
      EXPECT_THROW(exports[e](early.cancel), Cancelled) << k;
      EXPECT_EQ(left(), 0) << k;
    }
  }
  fs::remove_all(dir.parent_path());
}

TEST(Cancel, ProgressCountsUpToTheTotalAndPollsHoldNoLockOfTheStore) {
  auto& data = data_loader::DATA();
  ASSERT_TRUE(data.insert_entry("alloy", "progress_two", Json::parse(kFineTwoPhase)).ok());
  ASSERT_TRUE(data.insert_entry("alloy", "ProgressBase", Json{{"Properties", {{"x", 1.0}}}}).ok());
  const sample::Box fine{{0, 0, 0}, {0.008, 0.008, 0.008}};
  const fs::path dir = scratch("progress");
  const std::vector<std::function<bool(const Cancel&)>> calls = {
      [&](const Cancel& c) {
        const std::vector<alloy::AlloyTarget> kept{{"x", 1.0, std::nullopt, 1.0}};
        return alloy::optimize_alloy(kept, "ProgressBase", std::nullopt, 20000, 5, 3, c).ok();
      },
      [&](const Cancel& c) {
        return fourier_bake::bake_fourier("progress_two", "D", fine, {9, 8, 7}, 0.0, c).ok();
      },
      [&](const Cancel& c) {
        return exporter::export_vtk_legacy("progress_two", (dir / "a.vtk").string(), fine, 0.0001, {"D"}, 0.0005, c)
            .ok();
      },
      [&](const Cancel& c) {
        return exporter::export_stl("Missing?", (dir / "a.stl").string(), fine, 0.001, {}, true, c).ok();
      },
  };
  const std::vector<std::uint64_t> totals = {20000, 0, std::uint64_t{80} * 80 * 80 * 2, 0};  // VTK: phases and D
  for (std::size_t i = 0; i < calls.size(); ++i) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> seen;
    int locks_held = 0;
    const Cancel* token = nullptr;
    Token asked([&] {
      locks_held += data_loader::held_store_locks;
      seen.push_back(token->progress());
      return false;
    });
    token = &asked.cancel;
    const bool ok = calls[i](asked.cancel);
    EXPECT_EQ(ok, i != 3) << i;
    EXPECT_EQ(locks_held, 0) << i;
    for (std::size_t k = 1; k < seen.size(); ++k) EXPECT_LE(seen[k - 1].first, seen[k].first) << i;
    const auto [done, total] = asked.cancel.progress();
    EXPECT_EQ(done, total) << i;
    if (ok) {
      EXPECT_GT(total, 0u) << i;
    }
    if (totals[i] != 0) {
      EXPECT_EQ(total, totals[i]) << i;
    }
  }
  // A token that cannot stop counts nothing.
  Cancel::never().start_progress(5);
  Cancel::never().advance(5);
  EXPECT_EQ(Cancel::never().progress(), (std::pair<std::uint64_t, std::uint64_t>{0, 0}));
  fs::remove_all(dir.parent_path());
}
