#include "platform/storage/enumelements.h"

#include <algorithm>

#include "platform/hresults.h"
#include "platform/storage/cfbformat.h"
#include "platform/storage/statstg.h"
#include "recfilereader/propvariant.h"

namespace recfilereader {

CEnumElements::CEnumElements(std::shared_ptr<CCompoundDocument> doc,
                             std::shared_ptr<CompoundNode> storage)
    : doc_(std::move(doc)), storage_(std::move(storage)) {}

HRESULT CEnumElements::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IEnumSTATSTG) {
    *object = static_cast<IEnumSTATSTG*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG CEnumElements::AddRef() { return refs_.Add(); }

ULONG CEnumElements::Release() {
  const ULONG left = refs_.Drop();
  if (left == 0) delete this;
  return left;
}

const CompoundNode* CEnumElements::Following() const {
  const auto& children = storage_->children;
  if (!last_) return children.empty() ? nullptr : children.front().get();
  const auto it = std::upper_bound(children.begin(), children.end(), *last_,
                                   [](const std::u16string& key, const auto& child) {
                                     return CompareSiblingNames(key, child->name) < 0;
                                   });
  return it == children.end() ? nullptr : it->get();
}

HRESULT CEnumElements::Next(ULONG count, STATSTG* elements, ULONG* fetched) {
  return ComGuard([&]() -> HRESULT {
    if (fetched != nullptr) *fetched = 0;
    if (elements == nullptr) return STG_E_INVALIDPOINTER;
    if (count > 1 && fetched == nullptr) return STG_E_INVALIDPARAMETER;
    if (storage_->removed) return STG_E_REVERTED;
    ULONG done = 0;
    for (; done < count; ++done) {
      const CompoundNode* next = Following();
      if (next == nullptr) break;
      const HRESULT hr = FillStatStg(*next, 0, STATFLAG_DEFAULT, &elements[done]);
      if (FAILED(hr)) {
        for (ULONG i = 0; i < done; ++i) CoTaskMemFree(elements[i].pwcsName);
        return hr;
      }
      last_ = next->name;
    }
    if (fetched != nullptr) *fetched = done;
    return done == count ? S_OK : S_FALSE;
  });
}

HRESULT CEnumElements::Skip(ULONG count) {
  return ComGuard([&]() -> HRESULT {
    if (storage_->removed) return STG_E_REVERTED;
    for (ULONG i = 0; i < count; ++i) {
      const CompoundNode* next = Following();
      if (next == nullptr) return S_FALSE;
      last_ = next->name;
    }
    return S_OK;
  });
}

HRESULT CEnumElements::Reset() {
  last_.reset();
  return S_OK;
}

HRESULT CEnumElements::Clone(IEnumSTATSTG** clone) {
  return ComGuard([&]() -> HRESULT {
    if (clone == nullptr) return STG_E_INVALIDPOINTER;
    auto* copy = new CEnumElements(doc_, storage_);
    copy->last_ = last_;
    *clone = copy;
    return S_OK;
  });
}

}  // namespace recfilereader
