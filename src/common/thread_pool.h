// The process-wide pool of worker threads, one per available processor.
#pragma once

#include <cstddef>
#include <functional>

namespace tess {

// Runs body(i) for every i in [0, n) on the process-wide pool (created on first
// use) and returns when all have finished. The calling thread takes part in
// the work. body must not throw; it may run concurrently with itself.
void parallel_for(std::size_t n, const std::function<void(std::size_t)>& body);

// Number of worker threads of the pool (at least 1).
std::size_t pool_size();

}  // namespace tess
