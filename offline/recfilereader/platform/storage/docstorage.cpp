#include "platform/storage/docstorage.h"

#include <cwchar>

#include "platform/hresults.h"
#include "platform/storage/cfbformat.h"
#include "platform/storage/docstream.h"
#include "platform/storage/elementmode.h"
#include "platform/storage/enumelements.h"
#include "platform/storage/statstg.h"
#include "platform/storage/storagecopy.h"

namespace recfilereader {

namespace {

// The element name in file form; longer than a name may be or empty: STG_E_INVALIDNAME.
// Names given for creation must also avoid the characters / \ : !
std::u16string ElementName(const OLECHAR* name, bool for_creation) {
  if (name == nullptr) throw com_error(STG_E_INVALIDPOINTER);
  std::u16string units;
  if (!cfb::NameFromWide(name, &units)) throw com_error(STG_E_INVALIDNAME);
  const bool valid = for_creation ? cfb::IsValidElementName(units)
                                 : !units.empty() && units.size() <= cfb::kMaxNameUnits;
  if (!valid) throw com_error(STG_E_INVALIDNAME);
  return units;
}

void Check(HRESULT hr) {
  if (FAILED(hr)) throw com_error(hr);
}

}  // namespace

CDocStorage::CDocStorage(std::shared_ptr<CCompoundDocument> doc, std::shared_ptr<CompoundNode> node,
                         DWORD mode)
    : doc_(std::move(doc)), node_(std::move(node)), mode_(mode) {
  ++node_->open_count;
}

CDocStorage::~CDocStorage() { --node_->open_count; }

HRESULT CDocStorage::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IStorage) {
    *object = static_cast<IStorage*>(this);
    AddRef();
    return S_OK;
  }
  if (iid == IID_CDocStorage) {
    *object = this;
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG CDocStorage::AddRef() { return refs_.Add(); }

ULONG CDocStorage::Release() {
  const ULONG left = refs_.Drop();
  if (left == 0) delete this;
  return left;
}

HRESULT CDocStorage::CheckWritable() const {
  if (node_->removed) return STG_E_REVERTED;
  if (!ModeWrites(mode_) || !doc_->writable()) return STG_E_ACCESSDENIED;
  return S_OK;
}

std::shared_ptr<CompoundNode> CDocStorage::CreateChild(const OLECHAR* name, DWORD mode, DWORD type) {
  std::u16string units = ElementName(name, true);
  Check(CheckElementMode(mode, true));
  Check(CheckWritable());
  if (const auto existing = node_->FindChild(units)) {
    if ((mode & STGM_CREATE) == 0) throw com_error(STG_E_FILEALREADYEXISTS);
    node_->RemoveChild(*existing);
  }
  auto child = std::make_shared<CompoundNode>();
  child->name = std::move(units);
  child->type = type;
  node_->InsertChild(child);
  doc_->MarkChanged();
  return child;
}

std::shared_ptr<CompoundNode> CDocStorage::OpenChild(const OLECHAR* name, DWORD mode, DWORD type) {
  const std::u16string units = ElementName(name, false);
  Check(CheckElementMode(mode, false));
  if (node_->removed) throw com_error(STG_E_REVERTED);
  if (ModeWrites(mode) && !ModeWrites(mode_)) throw com_error(STG_E_ACCESSDENIED);
  auto child = node_->FindChild(units);
  if (!child || child->type != type) throw com_error(STG_E_FILENOTFOUND);
  if (child->open_count > 0) throw com_error(STG_E_ACCESSDENIED);
  if (type == STGTY_STREAM) doc_->CheckStream(*child);
  return child;
}

HRESULT CDocStorage::CreateStream(const OLECHAR* name, DWORD mode, DWORD, DWORD, IStream** stream) {
  return ComGuard([&]() -> HRESULT {
    if (stream == nullptr) return STG_E_INVALIDPOINTER;
    *stream = nullptr;
    auto child = CreateChild(name, mode, STGTY_STREAM);
    *stream = new CDocStream(doc_, std::move(child), mode & ~STGM_CREATE);
    return S_OK;
  });
}

HRESULT CDocStorage::OpenStream(const OLECHAR* name, void* reserved1, DWORD mode, DWORD reserved2,
                                IStream** stream) {
  return ComGuard([&]() -> HRESULT {
    if (stream == nullptr) return STG_E_INVALIDPOINTER;
    *stream = nullptr;
    if (reserved1 != nullptr || reserved2 != 0) return STG_E_INVALIDPARAMETER;
    auto child = OpenChild(name, mode, STGTY_STREAM);
    *stream = new CDocStream(doc_, std::move(child), mode);
    return S_OK;
  });
}

HRESULT CDocStorage::CreateStorage(const OLECHAR* name, DWORD mode, DWORD, DWORD, IStorage** storage) {
  return ComGuard([&]() -> HRESULT {
    if (storage == nullptr) return STG_E_INVALIDPOINTER;
    *storage = nullptr;
    auto child = CreateChild(name, mode, STGTY_STORAGE);
    *storage = new CDocStorage(doc_, std::move(child), mode & ~STGM_CREATE);
    return S_OK;
  });
}

HRESULT CDocStorage::OpenStorage(const OLECHAR* name, IStorage* priority, DWORD mode, SNB exclude,
                                 DWORD reserved, IStorage** storage) {
  return ComGuard([&]() -> HRESULT {
    if (storage == nullptr) return STG_E_INVALIDPOINTER;
    *storage = nullptr;
    // Priority opening and emptying excluded elements on open are not offered.
    if (priority != nullptr || exclude != nullptr || reserved != 0) return STG_E_INVALIDPARAMETER;
    auto child = OpenChild(name, mode, STGTY_STORAGE);
    *storage = new CDocStorage(doc_, std::move(child), mode);
    return S_OK;
  });
}

bool CDocStorage::IsInside(IStorage* target, const CompoundNode& node) const {
  CDocStorage* other = nullptr;
  if (FAILED(target->QueryInterface(IID_CDocStorage, reinterpret_cast<void**>(&other)))) return false;
  bool inside = false;
  if (other->doc_ == doc_) {
    for (const CompoundNode* n = other->node_.get(); n != nullptr && !inside; n = n->parent) {
      inside = n == &node;
    }
  }
  other->Release();
  return inside;
}

HRESULT CDocStorage::CopyTo(DWORD exclude_count, const IID* exclude_iids, SNB exclude, IStorage* target) {
  return ComGuard([&]() -> HRESULT {
    if (target == nullptr || (exclude_count > 0 && exclude_iids == nullptr)) return STG_E_INVALIDPOINTER;
    if (node_->removed) return STG_E_REVERTED;
    if (IsInside(target, *node_)) return STG_E_ACCESSDENIED;
    CopyExclusions exclusions;
    exclusions.names = exclude;
    for (DWORD i = 0; i < exclude_count; ++i) {
      if (exclude_iids[i] == IID_IStorage) exclusions.storages = true;
      if (exclude_iids[i] == IID_IStream) exclusions.streams = true;
    }
    return CopyStorageContents(this, target, exclusions);
  });
}

HRESULT CDocStorage::MoveElementTo(const OLECHAR* name, IStorage* target, const OLECHAR* new_name,
                                   DWORD flags) {
  return ComGuard([&]() -> HRESULT {
    if (target == nullptr || new_name == nullptr) return STG_E_INVALIDPOINTER;
    if (flags != STGMOVE_MOVE && flags != STGMOVE_COPY) return STG_E_INVALIDFLAG;
    const std::u16string units = ElementName(name, false);
    if (node_->removed) return STG_E_REVERTED;
    const auto child = node_->FindChild(units);
    if (!child) return STG_E_FILENOTFOUND;
    if (flags == STGMOVE_MOVE) Check(CheckWritable());
    // A storage cannot go into itself or anything inside it.
    if (child->IsStorage() && IsInside(target, *child)) return STG_E_ACCESSDENIED;
    const HRESULT hr = CopyElement(this, name, target, new_name);
    if (FAILED(hr) || flags == STGMOVE_COPY) return hr;
    return DestroyElement(name);
  });
}

HRESULT CDocStorage::Commit(DWORD /*commit_flags*/) {
  return ComGuard([&]() -> HRESULT {
    if (node_->removed) return STG_E_REVERTED;
    if (ModeWrites(mode_)) doc_->Commit();
    return S_OK;
  });
}

// Direct mode: changes are made at once, so there is nothing to go back to.
HRESULT CDocStorage::Revert() { return node_->removed ? STG_E_REVERTED : S_OK; }

HRESULT CDocStorage::EnumElements(DWORD, void*, DWORD, IEnumSTATSTG** enumerator) {
  return ComGuard([&]() -> HRESULT {
    if (enumerator == nullptr) return STG_E_INVALIDPOINTER;
    *enumerator = nullptr;
    if (node_->removed) return STG_E_REVERTED;
    *enumerator = new CEnumElements(doc_, node_);
    return S_OK;
  });
}

HRESULT CDocStorage::DestroyElement(const OLECHAR* name) {
  return ComGuard([&]() -> HRESULT {
    const std::u16string units = ElementName(name, false);
    Check(CheckWritable());
    const auto child = node_->FindChild(units);
    if (!child) return STG_E_FILENOTFOUND;
    node_->RemoveChild(*child);
    doc_->MarkChanged();
    return S_OK;
  });
}

HRESULT CDocStorage::RenameElement(const OLECHAR* old_name, const OLECHAR* new_name) {
  return ComGuard([&]() -> HRESULT {
    const std::u16string from = ElementName(old_name, false);
    std::u16string to = ElementName(new_name, true);
    Check(CheckWritable());
    const auto child = node_->FindChild(from);
    if (!child) return STG_E_FILENOTFOUND;
    if (node_->NameTaken(to, child.get())) return STG_E_FILEALREADYEXISTS;
    if (child->open_count > 0) return STG_E_ACCESSDENIED;
    node_->RenameChild(*child, std::move(to));
    doc_->MarkChanged();
    return S_OK;
  });
}

HRESULT CDocStorage::SetElementTimes(const OLECHAR* name, const FILETIME* ctime, const FILETIME*,
                                     const FILETIME* mtime) {
  return ComGuard([&]() -> HRESULT {
    Check(CheckWritable());
    std::shared_ptr<CompoundNode> element = node_;
    if (name != nullptr) {
      element = node_->FindChild(ElementName(name, false));
      if (!element) return STG_E_FILENOTFOUND;
    }
    // Streams carry no times in a compound document; access times are not kept at all.
    if (!element->IsStorage()) return S_OK;
    if (ctime != nullptr) element->ctime = *ctime;
    if (mtime != nullptr) element->mtime = *mtime;
    doc_->MarkChanged();
    return S_OK;
  });
}

HRESULT CDocStorage::SetClass(REFCLSID clsid) {
  return ComGuard([&]() -> HRESULT {
    Check(CheckWritable());
    node_->clsid = clsid;
    doc_->MarkChanged();
    return S_OK;
  });
}

HRESULT CDocStorage::SetStateBits(DWORD state_bits, DWORD mask) {
  return ComGuard([&]() -> HRESULT {
    Check(CheckWritable());
    node_->state_bits = (node_->state_bits & ~mask) | (state_bits & mask);
    doc_->MarkChanged();
    return S_OK;
  });
}

HRESULT CDocStorage::Stat(STATSTG* stat, DWORD stat_flag) {
  return ComGuard([&]() -> HRESULT {
    if (node_->removed) return STG_E_REVERTED;
    return FillStatStg(*node_, mode_, stat_flag, stat);
  });
}

}  // namespace recfilereader
