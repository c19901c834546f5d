// The common room: what every other room builds on, with no knowledge of
// datasheets, tiers or Python. Everything here may be included from anywhere.
//
//   error.h        Error and Result (reported failures), Panic (internal ones)
//   json.h         the JSON value model: parse_json, dump_compact, dump_pretty
//   numfmt.h       every number written as text
//   unicode.h      case mapping, white space and UTF-8 checks by ICU's rules
//   hash.h         the one hash, 64-bit FNV-1a
//   memory.h       whether a buffer sized from arguments may be allocated
//   cancel.h       the cancellation token of long calls
//   thread_pool.h  the process-wide worker pool and parallel_for
//   platform.h     what is asked of the operating system, with portable fallbacks
#pragma once

#include "common/cancel.h"
#include "common/error.h"
#include "common/hash.h"
#include "common/json.h"
#include "common/memory.h"
#include "common/numfmt.h"
#include "common/platform.h"
#include "common/thread_pool.h"
#include "common/unicode.h"
