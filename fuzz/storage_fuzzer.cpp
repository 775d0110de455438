// Any bytes given as a compound document: opening either fails with a result code or yields a
// document whose every storage can be walked and whose every stream either reads whole or
// fails to open as damaged. A document that opens can also be changed and written back (unless
// a damaged stream is left in it), and what is written opens again.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/storage/comobject.h"
#include "platform/storage/storageinterfaces.h"
#include "recfilereader/propvariant.h"
#include "require.h"

using recfilereader::ComPtr;

namespace {

constexpr DWORD kRead = STGM_READ | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kReadWrite = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;

void ReadStream(IStream* stream) {
  STATSTG stat{};
  Require(stream->Stat(&stat, STATFLAG_NONAME) == S_OK);
  std::vector<std::uint8_t> buffer(1000);
  std::uint64_t total = 0;
  for (;;) {
    ULONG got = 0;
    Require(stream->Read(buffer.data(), static_cast<ULONG>(buffer.size()), &got) == S_OK);
    if (got == 0) break;
    total += got;
  }
  Require(total == stat.cbSize.QuadPart);
  LARGE_INTEGER back;
  back.QuadPart = -static_cast<LONGLONG>(total / 2);
  Require(stream->Seek(back, STREAM_SEEK_END, nullptr) == S_OK);
  ULONG got = 0;
  Require(stream->Read(buffer.data(), 100, &got) == S_OK);
}

// Returns the number of elements seen; counts the damaged streams in `damaged`.
int Walk(IStorage* storage, int depth, int* damaged) {
  if (depth > 64) return 0;
  ComPtr<IEnumSTATSTG> elements;
  Require(storage->EnumElements(0, nullptr, 0, elements.Out()) == S_OK);
  int seen = 0;
  for (;;) {
    STATSTG stat{};
    ULONG fetched = 0;
    if (elements->Next(1, &stat, &fetched) != S_OK) break;
    ++seen;
    if (stat.type == STGTY_STORAGE) {
      ComPtr<IStorage> sub;
      Require(storage->OpenStorage(stat.pwcsName, nullptr, kRead, nullptr, 0, sub.Out()) == S_OK);
      seen += Walk(sub.get(), depth + 1, damaged);
    } else {
      ComPtr<IStream> stream;
      const HRESULT hr = storage->OpenStream(stat.pwcsName, nullptr, kRead, 0, stream.Out());
      Require(hr == S_OK || hr == STG_E_DOCFILECORRUPT);
      if (hr == S_OK) ReadStream(stream.get());
      if (hr != S_OK) ++*damaged;
    }
    CoTaskMemFree(stat.pwcsName);
  }
  return seen;
}

ComPtr<ILockBytes> LockBytesWith(const std::uint8_t* data, std::size_t size) {
  ComPtr<ILockBytes> lock_bytes;
  Require(CreateILockBytesOnHGlobal(nullptr, 1, lock_bytes.Out()) == S_OK);
  ULARGE_INTEGER at;
  at.QuadPart = 0;
  ULONG written = 0;
  if (size > 0) Require(lock_bytes->WriteAt(at, data, static_cast<ULONG>(size), &written) == S_OK);
  return lock_bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ComPtr<ILockBytes> lock_bytes = LockBytesWith(data, size);
  ComPtr<IStorage> root;
  if (FAILED(StgOpenStorageOnILockBytes(lock_bytes.get(), nullptr, kRead, nullptr, 0, root.Out()))) return 0;
  int damaged = 0;
  const int elements = Walk(root.get(), 0, &damaged);
  root.Reset();

  // Rewrite it with one change; the result must open and hold one element more.
  Require(StgOpenStorageOnILockBytes(lock_bytes.get(), nullptr, kReadWrite, nullptr, 0, root.Out()) == S_OK);
  {
    ComPtr<IStream> added;
    if (root->CreateStream(L"fuzz-added", kReadWrite | STGM_CREATE, 0, 0, added.Out()) != S_OK) return 0;
    Require(added->Write("x", 1, nullptr) == S_OK);
  }
  const HRESULT committed = root->Commit(STGC_DEFAULT);
  Require(committed == S_OK || (damaged > 0 && committed == STG_E_DOCFILECORRUPT));
  root.Reset();
  if (committed != S_OK) return 0;
  Require(StgOpenStorageOnILockBytes(lock_bytes.get(), nullptr, kRead, nullptr, 0, root.Out()) == S_OK);
  int damaged_after = 0;
  Require(Walk(root.get(), 0, &damaged_after) >= elements && damaged_after == 0);
  return 0;
}
