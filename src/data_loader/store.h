// DATA: the process-wide in-memory store of all datasheets.
//
// Lock order, everywhere: the store lock, then a shard lock of the map of
// tiers, then a shard lock of one tier map.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "common/error.h"
#include "common/json.h"
#include "data_loader/entry_keys.h"
#include "data_loader/sharded_map.h"

namespace tess::data_loader {

// One stored datasheet and the lookup keys derived from it when it was stored.
struct Entry {
  Json value;
  EntryKeys keys;
};

using TierMap = ShardedMap<Entry>;

class DataStore {
 public:
  DataStore();

  // A view of the store under its lock held shared, for callers that need
  // several operations to see one state. Values are read in place inside the
  // callbacks; the copying operations return values the caller owns.
  class Reader {
   public:
    // Calls f(const Json*) with the entry `name` of `tier` (nullptr if the tier
    // or the name is unknown).
    template <class F>
    decltype(auto) with_entry(std::string_view tier, std::string_view name, F&& f) const {
      return store_->tiers_.with(tier, [&](const std::shared_ptr<TierMap>* map) -> decltype(auto) {
        if (map == nullptr) return f(static_cast<const Json*>(nullptr));
        return (*map)->with(name, [&](const Entry* e) -> decltype(auto) {
          return f(e == nullptr ? static_cast<const Json*>(nullptr) : &e->value);
        });
      });
    }

    // Calls f(const Json*) with the entry named exactly `name` in the first
    // tier, in the map order of the tiers, that holds it (nullptr if none).
    template <class F>
    auto with_found(std::string_view name, F&& f) const -> std::invoke_result_t<F&, const Json*> {
      const Json* found = nullptr;
      // The shard locks of the winning tier must stay held while f runs, so
      // f is called from inside the visit.
      std::optional<std::invoke_result_t<F&, const Json*>> result;
      store_->tiers_.for_each([&](const std::string&, const std::shared_ptr<TierMap>& map) {
        return map->with(name, [&](const Entry* e) {
          if (e == nullptr) return true;
          found = &e->value;
          result.emplace(f(found));
          return false;
        });
      });
      if (found == nullptr) return f(static_cast<const Json*>(nullptr));
      return std::move(*result);
    }

    // Visits (name, entry) pairs of one tier in map order until visit returns
    // false. The visitor must not insert into that tier.
    template <class F>
    void scan_tier(std::string_view tier, F&& visit) const {
      store_->tiers_.with(tier, [&](const std::shared_ptr<TierMap>* map) {
        if (map != nullptr) (*map)->for_each(visit);
        return 0;
      });
    }

    // The map of one tier (nullptr if no such tier). Tier maps live as long as
    // the store; a caller that looks names up in one tier many times can keep
    // the handle and call with_entry_in under each later Reader.
    std::shared_ptr<const TierMap> tier_map(std::string_view tier) const {
      return store_->tiers_.with(tier, [](const std::shared_ptr<TierMap>* map) {
        return map == nullptr ? std::shared_ptr<const TierMap>() : std::shared_ptr<const TierMap>(*map);
      });
    }
    // Calls f(const Json*) with the entry `name` of a tier map obtained from
    // tier_map (nullptr if the name is unknown).
    template <class F>
    decltype(auto) with_entry_in(const TierMap& map, std::string_view name, F&& f) const {
      return map.with(name, [&](const Entry* e) -> decltype(auto) {
        return f(e == nullptr ? static_cast<const Json*>(nullptr) : &e->value);
      });
    }

    std::optional<Json> get_entry(std::string_view tier, std::string_view name) const;
    std::optional<Json> find_entry(std::string_view name) const;
    std::vector<std::string> tier_names() const;

   private:
    friend class DataStore;
    explicit Reader(const DataStore& store) : store_(&store), lock_(store.mutex_) {}
    const DataStore* store_;
    StoreLockCount counted_;
    std::shared_lock<std::shared_mutex> lock_;
  };

  Reader read() const { return Reader(*this); }

  void set_root(std::filesystem::path root);
  std::optional<Json> get_entry(std::string_view tier, std::string_view name) const;
  std::optional<Json> find_entry(std::string_view name) const;
  std::vector<std::string> tier_names() const;
  // Stores `value` under `name` in `tier`; returns the displaced value. Fails
  // only when no such tier exists.
  Result<std::optional<Json>> insert_entry(std::string_view tier, std::string name, Json value);

 private:
  mutable std::shared_mutex mutex_;
  std::optional<std::filesystem::path> root_;
  ShardedMap<std::shared_ptr<TierMap>> tiers_;
};

// The process-wide store, created with its 12 empty tier maps on first use.
DataStore& DATA();

}  // namespace tess::data_loader
