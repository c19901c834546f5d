// Files made in pieces on the pool and written in order, so that a writer
// holds a few pieces of its file at a time, never the whole of it, and the
// making of the next pieces overlaps the writing of the last.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/cancel.h"
#include "common/error.h"
#include "export/boundary.h"
#include "export/file_io.h"

namespace tess::exporter {

// Makes piece c of a file into `out`, a buffer reused from earlier pieces:
// it must set the buffer's contents whole (clear() or resize() first).
using PieceMaker = std::function<void(std::size_t c, std::string& out)>;

// Makes the pieces 0 .. count - 1 and hands them to `put` in that order.
// Pieces are made on any thread of the pool, a few ahead of the one being
// handed over, each as if alone: the bytes are those of making them one
// after another. Returns the first failure of `put`, after which nothing more
// is made or handed over. Rethrows what `make` throws; throws Cancelled when
// `cancel` stops.
Status put_pieces(std::size_t count, const PieceMaker& make, const ByteSink& put,
                  const Cancel& cancel = Cancel::never());

// Pieces of about `bytes` each: consecutive items whose sizes sum to at most
// that (an item larger on its own is a piece alone). Returns the first item
// of every piece and, last, the number of items.
template <class Size>
std::vector<std::size_t> group_items(std::size_t items, std::size_t bytes, Size&& size_of) {
  std::vector<std::size_t> first{0};
  std::size_t filled = 0;
  for (std::size_t i = 0; i < items; ++i) {
    const std::size_t n = size_of(i);
    if (filled > 0 && filled + n > bytes) {
      first.push_back(i);
      filled = 0;
    }
    filled += n;
  }
  if (first.back() != items) first.push_back(items);
  return first;
}

// Rows j0 .. j1 - 1 of run `run` of a FaceSweep, and their number of faces
// when known (kUnknown otherwise).
struct FaceRows {
  static constexpr std::uint64_t kUnknown = ~std::uint64_t{0};
  std::size_t run;
  std::uint64_t j0, j1;
  std::uint64_t faces = kUnknown;
};

// Part of a surface: consecutive rows of the sweep, in its order.
struct FacePiece {
  std::vector<FaceRows> rows;
};

// The faces of `sweep`, whose runs hold per_run faces each, as pieces of
// about `faces` faces, in the sweep's order: a run with more is split
// evenly by rows, runs with fewer are put together, and runs without faces
// are left out.
std::vector<FacePiece> face_pieces(const FaceSweep& sweep, const std::vector<std::uint64_t>& per_run,
                                   std::uint64_t faces);

template <class F>
void for_each_in(const FaceSweep& sweep, const FacePiece& piece, F&& visit) {
  for (const FaceRows& r : piece.rows) sweep.for_each_in_rows(r.run, r.j0, r.j1, visit);
}

// The number of faces for_each_in visits.
std::uint64_t count_in(const FaceSweep& sweep, const FacePiece& piece);

}  // namespace tess::exporter
