// A free-form property table: names (compared without regard to case, so "Name" and "NAME" are
// one property) mapped to values the table owns. It holds recording, system, marker and source
// properties; every entry is writable and any value type is kept as given.
//
// Not thread-safe. Interface operations never throw: a failure inside one answers false. The
// owner-side operations (Put, Assign, Merge) raise com_error when a value cannot be copied.
#ifndef RECFILEREADER_PROPERTIES_PROPMANAGER_H
#define RECFILEREADER_PROPERTIES_PROPMANAGER_H

#include <map>
#include <string>

#include "platform/propvariantholder.h"
#include "platform/textconv.h"
#include "recfilereader/properties.h"

namespace recfilereader {

class CPropManager : public IRecordingObjectProperties, public IObjectPropertyTableHash {
 public:
  using Table = std::map<std::wstring, PropVariantHolder, WideNoCaseLess>;

  CPropManager() = default;
  // A deep copy of `other`'s entries.
  CPropManager(const CPropManager& other);
  CPropManager& operator=(const CPropManager&) = delete;
  virtual ~CPropManager() = default;

  // IObjectProperties
  LONG GetPropertyCount() override;
  bool GetPropertyName(LONG index, wchar_t* buffer, LONG capacity) override;
  bool GetProperty(const wchar_t* name, PROPVARIANT* value) override;
  bool SetProperty(const wchar_t* name, const PROPVARIANT* value) override;
  // Every entry is writable: flags 0, true for any name.
  bool GetPropertyFlags(const wchar_t* name, ULONG* flags) override;
  // IRecordingObjectProperties
  bool DeletePropertyByName(const wchar_t* name) override;
  // IObjectPropertyTableHash: over every non-empty entry in name order, cached until a change.
  DWORD GetTableHash() override;

  // Owner-side operations.
  // Inserts or replaces the entry with a copy of `value`; raises com_error when it cannot be
  // copied (the entry then keeps its earlier value).
  void Put(const std::wstring& name, const PROPVARIANT& value);
  // The entry's value, or null when absent.
  const PROPVARIANT* Find(const std::wstring& name) const;
  // Replaces the whole table with copies of `other`'s entries.
  void Assign(const CPropManager& other);
  // Inserts or overwrites every entry of `other`.
  void Merge(const CPropManager& other);
  void Clear();
  const Table& table() const { return table_; }

 private:
  Table table_;
  bool hash_valid_ = false;
  DWORD table_hash_ = 0xFFFFFFFF;
};

}  // namespace recfilereader

#endif  // RECFILEREADER_PROPERTIES_PROPMANAGER_H
