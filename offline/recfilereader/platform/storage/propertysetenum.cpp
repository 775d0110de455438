#include "platform/storage/propertysetenum.h"
#include "platform/hresults.h"
#include "recfilereader/propvariant.h"

#include <cstring>
#include <memory>
#include <new>

namespace recfilereader {
namespace {

// Reference counting, position and the slots common to both enumerators. `Fill` turns one
// entry into the caller's record and may fail only for want of memory.
template <class Interface, class Record, class Entry, const IID& kIid>
class SnapshotEnumerator final : public Interface {
 public:
  using FillFunction = bool (*)(const Entry&, Record*);

  SnapshotEnumerator(std::shared_ptr<const std::vector<Entry>> entries, FillFunction fill)
      : entries_(std::move(entries)), fill_(fill) {}

  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == kIid) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++references_; }
  ULONG Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT Next(ULONG count, Record* records, ULONG* fetched) override {
    if (records == nullptr || (fetched == nullptr && count != 1)) return STG_E_INVALIDPARAMETER;
    ULONG done = 0;
    while (done < count && position_ < entries_->size()) {
      if (!fill_((*entries_)[position_], &records[done])) {
        if (fetched != nullptr) *fetched = done;
        return E_OUTOFMEMORY;
      }
      ++done;
      ++position_;
    }
    if (fetched != nullptr) *fetched = done;
    return done == count ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG count) override {
    const std::size_t left = entries_->size() - position_;
    if (count > left) {
      position_ = entries_->size();
      return S_FALSE;
    }
    position_ += count;
    return S_OK;
  }
  HRESULT Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT Clone(Interface** clone) override {
    if (clone == nullptr) return STG_E_INVALIDPOINTER;
    auto* copy = new (std::nothrow) SnapshotEnumerator(entries_, fill_);
    if (copy == nullptr) return E_OUTOFMEMORY;
    copy->position_ = position_;
    *clone = copy;
    return S_OK;
  }

 private:
  ~SnapshotEnumerator() = default;

  ULONG references_ = 1;
  std::shared_ptr<const std::vector<Entry>> entries_;
  FillFunction fill_;
  std::size_t position_ = 0;
};

bool FillProperty(const PropertyListEntry& entry, STATPROPSTG* record) {
  record->propid = entry.id;
  record->vt = entry.vt;
  record->lpwstrName = nullptr;
  if (!entry.name) return true;
  const std::size_t bytes = (entry.name->size() + 1) * sizeof(wchar_t);
  record->lpwstrName = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
  if (record->lpwstrName == nullptr) return false;
  std::memcpy(record->lpwstrName, entry.name->c_str(), bytes);
  return true;
}

bool FillSet(const STATPROPSETSTG& entry, STATPROPSETSTG* record) {
  *record = entry;
  return true;
}

template <class Interface, class Enumerator, class Entry>
HRESULT Make(std::vector<Entry> entries, typename Enumerator::FillFunction fill,
             Interface** enumerator) {
  if (enumerator == nullptr) return STG_E_INVALIDPOINTER;
  *enumerator = nullptr;
  try {
    auto shared = std::make_shared<const std::vector<Entry>>(std::move(entries));
    *enumerator = new Enumerator(std::move(shared), fill);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

using PropertyEnumerator =
    SnapshotEnumerator<IEnumSTATPROPSTG, STATPROPSTG, PropertyListEntry, IID_IEnumSTATPROPSTG>;
using SetEnumerator =
    SnapshotEnumerator<IEnumSTATPROPSETSTG, STATPROPSETSTG, STATPROPSETSTG, IID_IEnumSTATPROPSETSTG>;

}  // namespace

HRESULT CreatePropertyEnumerator(std::vector<PropertyListEntry> entries,
                                 IEnumSTATPROPSTG** enumerator) {
  return Make<IEnumSTATPROPSTG, PropertyEnumerator>(std::move(entries), FillProperty, enumerator);
}

HRESULT CreatePropertySetEnumerator(std::vector<STATPROPSETSTG> entries,
                                    IEnumSTATPROPSETSTG** enumerator) {
  return Make<IEnumSTATPROPSETSTG, SetEnumerator>(std::move(entries), FillSet, enumerator);
}

}  // namespace recfilereader
