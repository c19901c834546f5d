#include "data_loader/loader.h"

#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "common/json.h"
#include "common/memory.h"
#include "common/platform.h"
#include "common/thread_pool.h"
#include "common/unicode.h"
#include "data_loader/store.h"
#include "data_loader/tiers.h"

namespace tess::data_loader {
namespace {

bool is_directory(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);  // links followed; false on any failure
}

// Reads, parses and stores one file of `listing`; a warning when it cannot be
// read or held in memory, nothing when it is skipped or stored.
std::optional<std::string> load_file(const platform::Directory& listing, const char* file_name, std::string_view tier,
                                     std::string_view stem, std::string& bytes, const std::string& dir) {
  using Read = platform::Directory::Read;
  auto warning = [&](const std::string& fault) {
    return "data_loader::load_tier: cannot load " + unicode::to_valid_utf8(dir + "/" + file_name) + ": " + fault;
  };
  try {
    int err = 0;
    switch (listing.read_file(file_name, bytes, err)) {
      case Read::ok: break;
      case Read::skip: return std::nullopt;
      case Read::too_large: return warning(too_large_message("the datasheet"));
      case Read::failed: return warning(os_error(err).message());
    }
    Result<Json> value = parse_json(bytes);
    if (!value) return std::nullopt;
    (void)DATA().insert_entry(tier, std::string(stem), std::move(value).value());
    return std::nullopt;
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  std::string().swap(bytes);  // give back what a large file took
  return warning(too_large_message("the datasheet"));
}

}  // namespace

std::vector<std::string> load_tier(const std::filesystem::path& root, std::string_view tier) {
  std::vector<std::string> warnings;
  const std::string dir = (root / std::string(tier)).string();
  if (!is_directory(dir)) return warnings;
  platform::Directory listing(dir);
  if (!listing.is_open()) return warnings;
  std::string bytes;  // reused from file to file
  while (const char* name = listing.next()) {
    const std::string_view file_name(name);
    const auto dot = file_name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || file_name.substr(dot + 1) != "json") continue;
    const std::string_view stem = file_name.substr(0, dot);
    if (!unicode::is_valid_utf8(stem)) continue;
    if (auto warning = load_file(listing, name, tier, stem, bytes, dir)) warnings.push_back(std::move(*warning));
  }
  return warnings;
}

Result<std::vector<std::string>> load_all_tiers(const std::filesystem::path& root) {
  const std::string shown = unicode::to_valid_utf8(root.native());
  std::error_code ec;
  const auto status = std::filesystem::status(root, ec);  // links followed
  if (ec) {
    return Error("data_loader::load_all_tiers: root does not exist: " + shown);
  }
  if (!std::filesystem::is_directory(status)) {
    return Error("data_loader::load_all_tiers: root is not a directory: " + shown);
  }
  DATA().set_root(root);
  std::vector<std::vector<std::string>> per_tier(TIER_NAMES.size());
  parallel_for(TIER_NAMES.size(), [&](std::size_t i) { per_tier[i] = load_tier(root, TIER_NAMES[i]); });
  std::vector<std::string> warnings;
  for (auto& tier : per_tier) {
    for (auto& w : tier) warnings.push_back(std::move(w));
  }
  return warnings;
}

}  // namespace tess::data_loader
