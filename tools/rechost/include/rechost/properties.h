// Property tables: reading every property of a table, setting one from text, and holding a table
// that must be handed back (recording, system, marker and source properties) for a scope.
#ifndef RECHOST_PROPERTIES_H
#define RECHOST_PROPERTIES_H

#include <functional>
#include <string>
#include <vector>

#include "recfilereader/properties.h"
#include "rechost/value.h"

namespace rechost {

struct Property {
  std::string name;
  VARTYPE type = VT_EMPTY;
  Value value;
  ULONG flags = 0;
  bool read_only() const { return (flags & kPropertyFlagReadOnly) != 0; }
};

// Every property of `table`, in the table's order.
std::vector<Property> ReadProperties(IObjectProperties& table);
// The named property, or VT_EMPTY when the table has none.
OwnedValue GetProperty(IObjectProperties& table, const std::string& name);
// Sets the named property from a text converted to the property's present type (a new
// property becomes a wide text). False when the text does not convert to that type; throws Error
// when the property is read-only or the table refuses the value.
bool SetPropertyText(IObjectProperties& table, const std::string& name, const std::string& text);

// A property table borrowed from the reader for a scope and handed back when it ends.
template <class Table>
class HeldTable {
 public:
  HeldTable(Table* table, std::function<void(Table*)> release) : table_(table), release_(std::move(release)) {}
  ~HeldTable() {
    if (table_ != nullptr) release_(table_);
  }
  HeldTable(const HeldTable&) = delete;
  HeldTable& operator=(const HeldTable&) = delete;
  HeldTable(HeldTable&& other) noexcept : table_(other.table_), release_(std::move(other.release_)) { other.table_ = nullptr; }

  Table& operator*() const { return *table_; }
  Table* operator->() const { return table_; }

 private:
  Table* table_;
  std::function<void(Table*)> release_;
};

}  // namespace rechost

#endif  // RECHOST_PROPERTIES_H
