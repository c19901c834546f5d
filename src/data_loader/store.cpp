#include "data_loader/store.h"

#include <mutex>
#include <random>

#include "data_loader/tiers.h"

namespace tess::data_loader {

thread_local int held_store_locks = 0;

std::uint64_t process_hash_seed() {
  static const std::uint64_t seed = [] {
    std::random_device rd;
    return (static_cast<std::uint64_t>(rd()) << 32) ^ rd();
  }();
  return seed;
}

DataStore::DataStore() {
  for (std::string_view name : TIER_NAMES) {
    tiers_.insert(std::string(name), std::make_shared<TierMap>());
  }
}

DataStore& DATA() {
  static auto* store = new DataStore();  // lives until the process ends
  return *store;
}

std::optional<Json> DataStore::Reader::get_entry(std::string_view tier, std::string_view name) const {
  return with_entry(tier, name, [](const Json* v) { return v ? std::optional<Json>(*v) : std::nullopt; });
}

std::optional<Json> DataStore::Reader::find_entry(std::string_view name) const {
  return with_found(name, [](const Json* v) { return v ? std::optional<Json>(*v) : std::nullopt; });
}

std::vector<std::string> DataStore::Reader::tier_names() const {
  std::vector<std::string> names;
  store_->tiers_.for_each([&](const std::string& name, const std::shared_ptr<TierMap>&) {
    names.push_back(name);
    return true;
  });
  return names;
}

void DataStore::set_root(std::filesystem::path root) {
  const StoreLockCount counted;
  std::unique_lock lock(mutex_);
  root_ = std::move(root);
}

std::optional<Json> DataStore::get_entry(std::string_view tier, std::string_view name) const {
  return read().get_entry(tier, name);
}

std::optional<Json> DataStore::find_entry(std::string_view name) const { return read().find_entry(name); }

std::vector<std::string> DataStore::tier_names() const { return read().tier_names(); }

Result<std::optional<Json>> DataStore::insert_entry(std::string_view tier, std::string name, Json value) {
  EntryKeys keys = EntryKeys::of(name, value);
  const StoreLockCount counted;
  std::shared_lock lock(mutex_);
  auto displaced = tiers_.with(tier, [&](const std::shared_ptr<TierMap>* map) -> std::optional<std::optional<Entry>> {
    if (map == nullptr) return std::nullopt;
    return (*map)->insert(std::move(name), Entry{std::move(value), std::move(keys)});
  });
  if (!displaced) return Error("data_loader::insert_entry: no such tier: " + std::string(tier));
  if (!*displaced) return std::optional<Json>();
  return std::optional<Json>(std::move((*displaced)->value));
}

}  // namespace tess::data_loader
