// The process-wide pool of worker threads, one per available processor.
#pragma once

#include <cstddef>
#include <functional>

#include "common/cancel.h"

namespace tess {

// Runs body(i) for every i in [0, n) on the process-wide pool (created on first
// use) and returns when all have finished. The calling thread takes part in
// the work. body may run concurrently with itself. If body throws, no further
// item is started and the first exception is rethrown on the caller once every
// item that did start has finished, so body is never used after the return.
void parallel_for(std::size_t n, const std::function<void(std::size_t)>& body);

// As above, for a caller that can be stopped: the calling thread polls
// `cancel` between its items and, every few milliseconds, while it waits for
// the others. Once the token has stopped, no further item is started; long
// bodies should look at cancel.stopped() themselves. Throws Cancelled when
// the token has stopped (also when it had before the call), after every
// started item has finished. Of a stop and exceptions from body, the first
// one seen is thrown.
void parallel_for(std::size_t n, const std::function<void(std::size_t)>& body, const Cancel& cancel);

// Number of worker threads of the pool (at least 1).
std::size_t pool_size();

}  // namespace tess
