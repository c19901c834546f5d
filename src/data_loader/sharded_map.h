// A concurrent hash map split into shards, each behind its own reader-writer
// lock, with a hash seed drawn at random once per process.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/hash.h"

namespace tess::data_loader {

// The number of store locks (shard locks of any sharded map, the store's own
// lock) the calling thread holds. Code that may run other code of the process
// while it waits (a cancellation poll that takes the interpreter lock, whose
// signal handlers may store an entry) must hold none.
extern thread_local int held_store_locks;

// Counts one held store lock while it lives; declared before the lock it
// counts, so that it covers the whole time the lock is held.
class StoreLockCount {
 public:
  StoreLockCount() noexcept { ++held_store_locks; }
  ~StoreLockCount() { --held_store_locks; }
  StoreLockCount(const StoreLockCount&) = delete;
  StoreLockCount& operator=(const StoreLockCount&) = delete;
};

// Per-process random seed of every sharded map's hash.
std::uint64_t process_hash_seed();

struct SeededHash {
  using is_transparent = void;
  std::uint64_t seed;
  std::size_t operator()(std::string_view s) const noexcept {
    std::uint64_t h = hash::fnv1a_feed(hash::kFnvBasis ^ seed, s);
    // splitmix64 finaliser spreads the low-entropy FNV bits over the word.
    h ^= h >> 30;
    h *= 0xbf58476d1ce4e5b9ULL;
    h ^= h >> 27;
    h *= 0x94d049bb133111ebULL;
    h ^= h >> 31;
    return static_cast<std::size_t>(h);
  }
};

struct StringEq {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept { return a == b; }
};

template <class V, std::size_t Shards = 16>
class ShardedMap {
 public:
  ShardedMap() : ShardedMap(process_hash_seed()) {}
  explicit ShardedMap(std::uint64_t seed) : hash_{seed} {
    for (auto& shard : shards_) shard.map = Map(0, hash_, StringEq{});
  }

  // Calls f(const V*) with the value under `key` (nullptr when absent) while
  // holding the read lock of the key's shard; returns what f returns.
  template <class F>
  decltype(auto) with(std::string_view key, F&& f) const {
    const Shard& shard = shard_of(key);
    const StoreLockCount counted;
    std::shared_lock lock(shard.mutex);
    auto it = shard.map.find(key);
    return f(it == shard.map.end() ? static_cast<const V*>(nullptr) : &it->second);
  }

  // Inserts or replaces under the shard's write lock; returns the displaced value.
  std::optional<V> insert(std::string key, V value) {
    Shard& shard = shard_of(key);
    const StoreLockCount counted;
    std::unique_lock lock(shard.mutex);
    // Room first, so that a new item is never in the map without being in order.
    if (shard.order.size() == shard.order.capacity()) shard.order.reserve(2 * shard.order.size() + 8);
    auto [it, inserted] = shard.map.try_emplace(std::move(key), std::move(value));
    if (inserted) {
      shard.order.push_back(&*it);
      return std::nullopt;
    }
    std::optional<V> previous(std::move(it->second));
    it->second = std::move(value);
    return previous;
  }

  // Visits (key, value) pairs in map order (shard by shard, each under its read
  // lock) until visit returns false. Returns false when it was stopped.
  template <class F>
  bool for_each(F&& visit) const {
    for (const Shard& shard : shards_) {
      const StoreLockCount counted;
      std::shared_lock lock(shard.mutex);
      for (const Item* item : shard.order) {
        if (!visit(item->first, item->second)) return false;
      }
    }
    return true;
  }

  std::size_t size() const {
    std::size_t n = 0;
    for (const Shard& shard : shards_) {
      const StoreLockCount counted;
      std::shared_lock lock(shard.mutex);
      n += shard.map.size();
    }
    return n;
  }

 private:
  using Map = std::unordered_map<std::string, V, SeededHash, StringEq>;
  using Item = typename Map::value_type;
  struct Shard {
    mutable std::shared_mutex mutex;
    Map map;
    // The items in insertion order. Nodes never move and are never erased, so
    // these stay valid; visiting through this array lets the processor fetch
    // many items at once, where the map's own node chain fetches one by one.
    std::vector<const Item*> order;
  };

  std::size_t index_of(std::string_view key) const noexcept { return (hash_(key) >> 48) % Shards; }
  const Shard& shard_of(std::string_view key) const noexcept { return shards_[index_of(key)]; }
  Shard& shard_of(std::string_view key) noexcept { return shards_[index_of(key)]; }

  SeededHash hash_;
  std::array<Shard, Shards> shards_;
};

}  // namespace tess::data_loader
