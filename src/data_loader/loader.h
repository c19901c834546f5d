// Loading the datasheet directory tree into DATA.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/error.h"

namespace tess::data_loader {

// Fills DATA from `root`: one subdirectory per tier, one "<entry>.json" file
// per entry, tiers read in parallel on the worker pool. Fails only when the
// root is missing or not a directory. Below it, what is not a readable
// regular JSON file is skipped silently; a file that fails while being read,
// or that does not fit in memory, is skipped with a warning. The warnings
// come back in tier order, for the caller to show.
Result<std::vector<std::string>> load_all_tiers(const std::filesystem::path& root);

// Loads the directory `root/tier` into the tier's map, skipping what cannot be
// loaded; returns the warnings (see load_all_tiers).
std::vector<std::string> load_tier(const std::filesystem::path& root, std::string_view tier);

}  // namespace tess::data_loader
