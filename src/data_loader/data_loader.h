// The datasheet room: the fixed tiers, the process-wide store DATA and the
// loader that fills it at import. Every room that reads datasheets reads
// them from DATA (the lookups, sampling, the shaders through sampling, the
// protein and alloy rooms); py_save writes to it.
//
//   tiers.h        TIER_NAMES, SCOPE_ALL and str_to_scope
//   store.h        DATA and its operations (find_entry, insert_entry, ...)
//   loader.h       load_all_tiers, called once by the module's init
//   entry_keys.h   the lookup keys kept with each entry
//   sharded_map.h  the concurrent map under the store
#pragma once

#include "data_loader/loader.h"
#include "data_loader/store.h"
#include "data_loader/tiers.h"
