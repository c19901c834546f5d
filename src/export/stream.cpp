#include "export/stream.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "common/thread_pool.h"

namespace tess::exporter {
namespace {

// The pieces on their way: each slot holds one piece, made by one thread and
// then handed over by whichever thread holds the turn to write.
class Ring {
 public:
  Ring(std::size_t count, std::size_t slots, const PieceMaker& make, const ByteSink& put, const Cancel& cancel)
      : count_(count), buffers_(slots), state_(slots, State::free), make_(make), put_(put), cancel_(cancel) {}

  // Every thread of the pool runs this until all pieces are handed over or
  // the run is given up. The caller can do all the work alone, so the run
  // never waits on a thread of the pool that is busy elsewhere.
  void work() {
    std::unique_lock lock(mutex_);
    // The caller writes, polling between pieces; the pool makes them. The
    // caller always runs one of the work items: the others, one per thread of
    // the pool, wait in here for it.
    const bool may_write = std::this_thread::get_id() == caller_;
    while (!over()) {
      // Pieces handed over so far: written_ of count_.
      lock.unlock();
      const bool stop = cancel_.poll();
      lock.lock();
      if (stop) {
        give_up();
        break;
      }
      if (may_write && !writing_ && written_ < count_ && state_[written_ % slots()] == State::made) {
        hand_over(lock);
      } else if (next_ < count_ && next_ < written_ + slots() && state_[next_ % slots()] == State::free) {
        make_next(lock);
      } else {
        cv_.wait_for(lock, Cancel::kInterval);
      }
    }
  }

  Status status() const { return status_; }
  std::exception_ptr failure() const { return failure_; }

 private:
  enum class State { free, making, made };

  std::size_t slots() const { return buffers_.size(); }
  bool over() const { return written_ == count_ || given_up_; }

  void give_up() {
    given_up_ = true;
    cv_.notify_all();
  }

  void make_next(std::unique_lock<std::mutex>& lock) {
    const std::size_t c = next_++;
    const std::size_t slot = c % slots();
    state_[slot] = State::making;
    lock.unlock();
    std::exception_ptr thrown;
    try {
      make_(c, buffers_[slot]);
    } catch (...) {
      thrown = std::current_exception();
    }
    lock.lock();
    if (thrown) {
      if (!failure_) failure_ = thrown;
      give_up();
      return;
    }
    state_[slot] = State::made;
    cv_.notify_all();
  }

  void hand_over(std::unique_lock<std::mutex>& lock) {
    writing_ = true;
    const std::size_t slot = written_ % slots();
    lock.unlock();
    Status done = ok_status();
    std::exception_ptr thrown;
    try {
      done = put_(buffers_[slot]);
    } catch (...) {
      thrown = std::current_exception();
    }
    lock.lock();
    writing_ = false;
    if (thrown || !done) {
      if (thrown && !failure_) failure_ = thrown;
      if (!done) status_ = std::move(done);
      give_up();
      return;
    }
    state_[slot] = State::free;
    ++written_;
    cv_.notify_all();
  }

  const std::size_t count_;
  std::vector<std::string> buffers_;
  std::vector<State> state_;
  const PieceMaker& make_;
  const ByteSink& put_;
  const Cancel& cancel_;

  std::mutex mutex_;
  std::condition_variable cv_;
  const std::thread::id caller_ = std::this_thread::get_id();  // constructed by the caller of put_pieces
  std::size_t next_ = 0;                                       // the next piece to make
  std::size_t written_ = 0;                                    // the pieces handed over
  bool writing_ = false;
  bool given_up_ = false;
  Status status_ = ok_status();
  std::exception_ptr failure_;
};

}  // namespace

Status put_pieces(std::size_t count, const PieceMaker& make, const ByteSink& put, const Cancel& cancel) {
  if (count == 0) return ok_status();
  const std::size_t threads = pool_size() + 1;  // the pool's and the caller's
  Ring ring(count, threads + 2, make, put, cancel);
  parallel_for(
      threads, [&](std::size_t) { ring.work(); }, cancel);
  if (ring.failure()) std::rethrow_exception(ring.failure());
  return ring.status();
}

std::vector<FacePiece> face_pieces(const FaceSweep& sweep, const std::vector<std::uint64_t>& per_run,
                                   std::uint64_t faces) {
  faces = std::max<std::uint64_t>(faces, 1);
  std::vector<FacePiece> pieces;
  FacePiece gathered;  // runs put together so far
  std::uint64_t in_gathered = 0;
  auto flush = [&] {
    if (!gathered.rows.empty()) pieces.push_back(std::exchange(gathered, FacePiece{}));
    in_gathered = 0;
  };
  for (std::size_t run = 0; run < per_run.size(); ++run) {
    const std::uint64_t n = per_run[run];
    if (n == 0) continue;
    const std::uint64_t rows = sweep.rows_in(run);
    if (n > faces) {
      flush();
      const std::uint64_t parts = std::min(rows, (n + faces - 1) / faces);
      for (std::uint64_t p = 0; p < parts; ++p) pieces.push_back({{{run, rows * p / parts, rows * (p + 1) / parts}}});
      continue;
    }
    if (in_gathered + n > faces) flush();
    gathered.rows.push_back({run, 0, rows, n});
    in_gathered += n;
  }
  flush();
  return pieces;
}

std::uint64_t count_in(const FaceSweep& sweep, const FacePiece& piece) {
  std::uint64_t n = 0;
  for (const FaceRows& r : piece.rows)
    n += r.faces != FaceRows::kUnknown ? r.faces : sweep.count_in_rows(r.run, r.j0, r.j1);
  return n;
}

}  // namespace tess::exporter
