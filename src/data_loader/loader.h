// Loading the datasheet directory tree into DATA.
#pragma once

#include <filesystem>
#include <string_view>

#include "common/error.h"

namespace tess::data_loader {

// Fills DATA from `root`: one subdirectory per tier, one "<entry>.json" file
// per entry, tiers read in parallel on the worker pool. Fails only when the
// root is missing or not a directory; anything unreadable below it is skipped.
Status load_all_tiers(const std::filesystem::path& root);

// Loads the directory `root/tier` into the tier's map; problems are skipped.
void load_tier(const std::filesystem::path& root, std::string_view tier);

}  // namespace tess::data_loader
