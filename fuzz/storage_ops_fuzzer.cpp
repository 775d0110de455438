// Random sequences of storage operations (create, replace, destroy, rename, write, resize,
// commit, reopen) on a new document, checked step by step against a plain model of the tree;
// after every reopen and at the end the document read back must equal the model.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/storage/comobject.h"
#include "platform/hresults.h"
#include "platform/storage/storageinterfaces.h"
#include "recfilereader/propvariant.h"
#include "require.h"

using recfilereader::ComPtr;

namespace {

constexpr DWORD kCreate = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kNew = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kReadWrite = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;

const wchar_t* const kNames[] = {L"a", L"A2", L"b", L"10", L"9", L"Zz", L"a_", L"long_name_0123456789"};

std::wstring Upper(const std::wstring& s) {
  std::wstring u = s;
  for (wchar_t& c : u) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
  }
  return u;
}

// The element-name order on ASCII names.
struct NameLess {
  bool operator()(const std::wstring& a, const std::wstring& b) const {
    if (a.size() != b.size()) return a.size() < b.size();
    return Upper(a) < Upper(b);
  }
};

struct Model {
  bool storage = false;
  std::wstring name;  // as created
  std::vector<std::uint8_t> data;
  std::map<std::wstring, std::unique_ptr<Model>, NameLess> children;
};

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool empty() const { return pos_ >= size_; }
  std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  std::uint32_t Word() { return Byte() | (std::uint32_t{Byte()} << 8); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

std::vector<std::uint8_t> Pattern(std::size_t n, std::uint8_t seed) {
  std::vector<std::uint8_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(seed + i * 13);
  return v;
}

void Compare(IStorage* storage, const Model& model) {
  ComPtr<IEnumSTATSTG> elements;
  Require(storage->EnumElements(0, nullptr, 0, elements.Out()) == S_OK);
  auto expected = model.children.begin();
  for (;;) {
    STATSTG stat{};
    ULONG fetched = 0;
    if (elements->Next(1, &stat, &fetched) != S_OK) break;
    Require(expected != model.children.end());
    const Model& m = *expected->second;
    Require(m.name == stat.pwcsName);
    Require((stat.type == STGTY_STORAGE) == m.storage);
    if (m.storage) {
      ComPtr<IStorage> sub;
      Require(storage->OpenStorage(stat.pwcsName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, sub.Out()) == S_OK);
      Compare(sub.get(), m);
    } else {
      Require(stat.cbSize.QuadPart == m.data.size());
      ComPtr<IStream> stream;
      Require(storage->OpenStream(stat.pwcsName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.Out()) == S_OK);
      std::vector<std::uint8_t> got(m.data.size() + 1);
      ULONG read = 0;
      Require(stream->Read(got.data(), static_cast<ULONG>(got.size()), &read) == S_OK);
      got.resize(read);
      Require(got == m.data);
    }
    CoTaskMemFree(stat.pwcsName);
    ++expected;
  }
  Require(expected == model.children.end());
}

// One operation on `storage` (modelled by `model`), chosen by the input.
void Step(Input& in, IStorage* storage, Model& model) {
  const std::wstring name = kNames[in.Byte() % 8];
  const auto found = model.children.find(name);
  const bool exists = found != model.children.end();
  switch (in.Byte() % 6) {
    case 0: {  // create (or replace) a stream
      const bool replace = in.Byte() & 1;
      const std::vector<std::uint8_t> data = Pattern(in.Word() % 9000, in.Byte());
      ComPtr<IStream> stream;
      const HRESULT hr = storage->CreateStream(name.c_str(), replace ? kCreate : kNew, 0, 0, stream.Out());
      if (exists && !replace) {
        Require(hr == STG_E_FILEALREADYEXISTS);
        return;
      }
      Require(hr == S_OK);
      if (!data.empty()) Require(stream->Write(data.data(), static_cast<ULONG>(data.size()), nullptr) == S_OK);
      auto node = std::make_unique<Model>();
      node->name = name;
      node->data = data;
      model.children.erase(name);
      model.children.emplace(name, std::move(node));
      return;
    }
    case 1: {  // create (or replace) a storage
      ComPtr<IStorage> sub;
      Require(storage->CreateStorage(name.c_str(), kCreate, 0, 0, sub.Out()) == S_OK);
      auto node = std::make_unique<Model>();
      node->storage = true;
      node->name = name;
      model.children.erase(name);
      model.children.emplace(name, std::move(node));
      return;
    }
    case 2:  // destroy
      Require(storage->DestroyElement(name.c_str()) == (exists ? S_OK : STG_E_FILENOTFOUND));
      if (exists) model.children.erase(found);
      return;
    case 3: {  // rename
      const std::wstring to = kNames[in.Byte() % 8];
      const auto clash = model.children.find(to);
      const HRESULT hr = storage->RenameElement(name.c_str(), to.c_str());
      if (!exists) {
        Require(hr == STG_E_FILENOTFOUND);
      } else if (clash != model.children.end() && clash != found) {
        Require(hr == STG_E_FILEALREADYEXISTS);
      } else {
        Require(hr == S_OK);
        std::unique_ptr<Model> node = std::move(found->second);
        model.children.erase(found);
        node->name = to;
        model.children.emplace(to, std::move(node));
      }
      return;
    }
    case 4: {  // write into a stream somewhere, or resize it
      if (!exists || found->second->storage) return;
      Model& m = *found->second;
      ComPtr<IStream> stream;
      Require(storage->OpenStream(name.c_str(), nullptr, kReadWrite, 0, stream.Out()) == S_OK);
      const std::size_t offset = in.Word() % 9000;
      if (in.Byte() & 1) {
        ULARGE_INTEGER size;
        size.QuadPart = offset;
        Require(stream->SetSize(size) == S_OK);
        m.data.resize(offset);
        return;
      }
      const std::vector<std::uint8_t> data = Pattern(in.Word() % 5000, in.Byte());
      LARGE_INTEGER at;
      at.QuadPart = static_cast<LONGLONG>(offset);
      Require(stream->Seek(at, STREAM_SEEK_SET, nullptr) == S_OK);
      if (data.empty()) return;
      Require(stream->Write(data.data(), static_cast<ULONG>(data.size()), nullptr) == S_OK);
      if (m.data.size() < offset + data.size()) m.data.resize(offset + data.size());
      std::copy(data.begin(), data.end(), m.data.begin() + static_cast<std::ptrdiff_t>(offset));
      return;
    }
    case 5: {  // go one storage down and act there
      if (!exists || !found->second->storage) return;
      ComPtr<IStorage> sub;
      Require(storage->OpenStorage(name.c_str(), nullptr, kReadWrite, nullptr, 0, sub.Out()) == S_OK);
      Step(in, sub.get(), *found->second);
      return;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  ComPtr<ILockBytes> lock_bytes;
  Require(CreateILockBytesOnHGlobal(nullptr, 1, lock_bytes.Out()) == S_OK);
  ComPtr<IStorage> root;
  Require(StgCreateDocfileOnILockBytes(lock_bytes.get(), kCreate, 0, root.Out()) == S_OK);
  Model model;
  model.storage = true;
  for (int steps = 0; !in.empty() && steps < 200; ++steps) {
    const std::uint8_t control = in.Byte();
    if (control % 16 == 0) {  // write everything out and open it again
      root.Reset();
      Require(StgOpenStorageOnILockBytes(lock_bytes.get(), nullptr, kReadWrite, nullptr, 0, root.Out()) == S_OK);
      Compare(root.get(), model);
    } else if (control % 16 == 1) {
      Require(root->Commit(STGC_DEFAULT) == S_OK);
    } else {
      Step(in, root.get(), model);
    }
  }
  root.Reset();
  Require(StgOpenStorageOnILockBytes(lock_bytes.get(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, root.Out()) == S_OK);
  Compare(root.get(), model);
  return 0;
}
