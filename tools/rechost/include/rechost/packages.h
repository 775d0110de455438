// Walking the data packages of the open recording from the reader's cursor, forward or
// backward, each package copied out of the reader's buffers (which go back to the memory
// manager at once). A damaged stretch the reader skipped comes back as a package marked
// damaged, with the reader's text.
#ifndef RECHOST_PACKAGES_H
#define RECHOST_PACKAGES_H

#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "recfilereader/data.h"
#include "rechost/reader.h"

namespace rechost {

struct Package {
  std::uint64_t position = 0;  // where the package starts in the file
  ULONGLONG timestamp = 0;
  ULONG source = 0;
  ULONG info1 = 0;
  ULONG info2 = 0;
  DataPackageDescriptor descriptor{};
  std::vector<std::uint8_t> data;
  std::vector<std::uint8_t> extra;
  bool damaged = false;
  std::string damage;  // the reader's text for a damaged package
};

class PackageCursor {
 public:
  PackageCursor(Reader& reader, ULONG direction) : reader_(reader), direction_(direction) {}
  // The next package in the cursor's direction, or nothing at the end (or beginning) of the
  // data. Throws Error when the reader fails.
  std::optional<Package> Next();

 private:
  Reader& reader_;
  ULONG direction_;
};

// `for (const Package& p : Packages(reader, kReadForward))`
class Packages {
 public:
  class iterator {
   public:
    using iterator_category = std::input_iterator_tag;
    using value_type = Package;
    using difference_type = std::ptrdiff_t;
    using pointer = const Package*;
    using reference = const Package&;
    iterator() = default;
    explicit iterator(PackageCursor* cursor) : cursor_(cursor) { ++*this; }
    reference operator*() const { return *current_; }
    pointer operator->() const { return &*current_; }
    iterator& operator++() {
      current_ = cursor_->Next();
      return *this;
    }
    bool operator==(const iterator& other) const { return current_.has_value() == other.current_.has_value(); }

   private:
    PackageCursor* cursor_ = nullptr;
    std::optional<Package> current_;
  };

  Packages(Reader& reader, ULONG direction) : cursor_(reader, direction) {}
  iterator begin() { return iterator(&cursor_); }
  iterator end() { return {}; }

 private:
  PackageCursor cursor_;
};

}  // namespace rechost

#endif  // RECHOST_PACKAGES_H
