// The navigation map: package timestamp -> file offset of its data block, ascending, one offset
// per timestamp, held as a sorted array so that a table filled in time order costs one append
// per entry and a lookup is a binary search.
#ifndef RECFILEREADER_CONTAINER_NAVIGATIONMAP_H
#define RECFILEREADER_CONTAINER_NAVIGATIONMAP_H

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

namespace recfilereader {

// Filling: Add() entries in any order. Entries that arrive in ascending order keep the map
// ordered as they come; any other order leaves it unordered until Normalize(), which sorts it
// once (O(n log n), however hostile the order). Of two entries with the same timestamp the one
// added first keeps its offset.
//
// Reading and editing: REQUIRES ordered() (checked by assert). Whoever fills a map from the
// file calls Normalize() before handing it on, also when it gives up half way.
//
// Not thread-safe; a copy is a deep copy of the entries.
class NavigationMap {
 public:
  using value_type = std::pair<std::uint64_t, std::uint64_t>;  // first: timestamp, second: offset
  using const_iterator = std::vector<value_type>::const_iterator;
  using const_reverse_iterator = std::vector<value_type>::const_reverse_iterator;

  NavigationMap() = default;
  // Adds the entries in their order and normalizes.
  NavigationMap(std::initializer_list<value_type> entries);

  // Room for `count` more entries, so that filling does not reallocate.
  void Reserve(std::size_t count) { entries_.reserve(entries_.size() + count); }
  // O(1) amortised. A timestamp equal to the latest one added is not taken.
  void Add(std::uint64_t timestamp, std::uint64_t offset) {
    if (entries_.empty() || timestamp > entries_.back().first) {
      entries_.emplace_back(timestamp, offset);
    } else {
      AddOutOfOrder(timestamp, offset);
    }
  }
  // Sorts by timestamp and drops the later arrivals of a timestamp. Cheap when ordered.
  void Normalize();
  bool ordered() const { return ordered_; }
  // Entries held, in arrival order until Normalize(); Truncate() drops those added after the
  // map held `count`, so that a filler can take back what it added.
  std::size_t held() const { return entries_.size(); }
  void Truncate(std::size_t count);

  bool empty() const { return entries_.empty(); }
  std::size_t size() const { return Ordered().size(); }
  const_iterator begin() const { return Ordered().begin(); }
  const_iterator end() const { return Ordered().end(); }
  const_reverse_iterator rbegin() const { return Ordered().rbegin(); }
  const_reverse_iterator rend() const { return Ordered().rend(); }
  // The first entry whose timestamp is not below `timestamp`, or end().
  const_iterator lower_bound(std::uint64_t timestamp) const;

  // Sets the offset of `timestamp`, adding the entry where it belongs when missing.
  void Set(std::uint64_t timestamp, std::uint64_t offset);
  // Removes the entry of `timestamp` if there is one.
  void Erase(std::uint64_t timestamp);
  // Removes every entry below `timestamp` / above `timestamp`, at once.
  void EraseBelow(std::uint64_t timestamp);
  void EraseAbove(std::uint64_t timestamp);
  // Removes one entry; cheap near the end.
  void Erase(const_iterator entry);
  // Empties the map and gives its storage back.
  void clear();

  friend bool operator==(const NavigationMap& a, const NavigationMap& b) { return a.Ordered() == b.Ordered(); }

 private:
  void AddOutOfOrder(std::uint64_t timestamp, std::uint64_t offset);
  const std::vector<value_type>& Ordered() const;

  std::vector<value_type> entries_;
  bool ordered_ = true;  // entries_ ascend strictly by timestamp
};

}  // namespace recfilereader

#endif  // RECFILEREADER_CONTAINER_NAVIGATIONMAP_H
