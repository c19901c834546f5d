// The lookup room: loose names, symbols, aliases and braced formulas
// resolved against DATA, and the operations behind py_get, py_save and
// py_list_tiers (py_data_sheet is an exact lookup: sample::lookup_entry).
//
//   calls.h    get, save, list_tiers, with their tier parsing
//   resolve.h  resolve_named, parse_formula, resolve_formula
#pragma once

#include "get/calls.h"
#include "get/resolve.h"
