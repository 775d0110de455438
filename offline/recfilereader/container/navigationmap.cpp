#include "container/navigationmap.h"

#include <algorithm>
#include <cassert>

namespace recfilereader {
namespace {

bool TimestampBelow(const NavigationMap::value_type& entry, std::uint64_t timestamp) {
  return entry.first < timestamp;
}

bool TimestampAbove(std::uint64_t timestamp, const NavigationMap::value_type& entry) {
  return timestamp < entry.first;
}

bool SameTimestamp(const NavigationMap::value_type& a, const NavigationMap::value_type& b) {
  return a.first == b.first;
}

}  // namespace

NavigationMap::NavigationMap(std::initializer_list<value_type> entries) {
  Reserve(entries.size());
  for (const auto& [timestamp, offset] : entries) Add(timestamp, offset);
  Normalize();
}

void NavigationMap::AddOutOfOrder(std::uint64_t timestamp, std::uint64_t offset) {
  if (timestamp == entries_.back().first) return;  // the first arrival keeps its offset
  ordered_ = false;
  entries_.emplace_back(timestamp, offset);
}

void NavigationMap::Normalize() {
  if (ordered_) return;
  // Stable, so that of equal timestamps the first arrival leads and survives the unique.
  std::stable_sort(entries_.begin(), entries_.end(),
                   [](const value_type& a, const value_type& b) { return a.first < b.first; });
  entries_.erase(std::unique(entries_.begin(), entries_.end(), SameTimestamp), entries_.end());
  ordered_ = true;
}

const std::vector<NavigationMap::value_type>& NavigationMap::Ordered() const {
  assert(ordered_ && "a navigation map is read before Normalize()");
  return entries_;
}

NavigationMap::const_iterator NavigationMap::lower_bound(std::uint64_t timestamp) const {
  return std::lower_bound(begin(), end(), timestamp, TimestampBelow);
}

void NavigationMap::Set(std::uint64_t timestamp, std::uint64_t offset) {
  const auto at = entries_.begin() + (lower_bound(timestamp) - begin());
  if (at != entries_.end() && at->first == timestamp) {
    at->second = offset;
  } else {
    entries_.emplace(at, timestamp, offset);
  }
}

void NavigationMap::Erase(std::uint64_t timestamp) {
  const auto at = lower_bound(timestamp);
  if (at != end() && at->first == timestamp) entries_.erase(at);
}

void NavigationMap::EraseBelow(std::uint64_t timestamp) { entries_.erase(begin(), lower_bound(timestamp)); }

void NavigationMap::EraseAbove(std::uint64_t timestamp) {
  entries_.erase(std::upper_bound(begin(), end(), timestamp, TimestampAbove), end());
}

void NavigationMap::Erase(const_iterator entry) {
  assert(ordered_);
  entries_.erase(entry);
}

void NavigationMap::Truncate(std::size_t count) {
  if (count < entries_.size()) entries_.resize(count);
}

void NavigationMap::clear() {
  entries_ = {};  // a closed recording keeps no table's memory
  ordered_ = true;
}

}  // namespace recfilereader
