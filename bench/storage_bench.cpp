// Compound documents of 50 MiB in memory lock bytes: opening (structure only), opening and
// reading every stream, and writing one.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/storage/comobject.h"
#include "platform/storage/storageinterfaces.h"
#include "recfilereader/propvariant.h"

namespace {

using recfilereader::ComPtr;

constexpr DWORD kCreate = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kRead = STGM_READ | STGM_SHARE_EXCLUSIVE;
constexpr std::size_t kTotal = 50u << 20;

// Layout 0: one stream of 50 MiB. Layout 1: 100 storages of 128 streams of 4 KiB (50 MiB).
ComPtr<ILockBytes> BuildDocument(int layout) {
  ComPtr<ILockBytes> lockBytes;
  CreateILockBytesOnHGlobal(nullptr, 1, lockBytes.Out());
  ComPtr<IStorage> root;
  StgCreateDocfileOnILockBytes(lockBytes.get(), kCreate, 0, root.Out());
  std::vector<std::uint8_t> data(layout == 0 ? kTotal : 4096);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 31);
  if (layout == 0) {
    ComPtr<IStream> stream;
    root->CreateStream(L"Data", kCreate, 0, 0, stream.Out());
    stream->Write(data.data(), static_cast<ULONG>(data.size()), nullptr);
  } else {
    for (int s = 0; s < 100; ++s) {
      ComPtr<IStorage> storage;
      root->CreateStorage(std::to_wstring(s).c_str(), kCreate, 0, 0, storage.Out());
      for (int i = 0; i < 128; ++i) {
        ComPtr<IStream> stream;
        storage->CreateStream(std::to_wstring(i).c_str(), kCreate, 0, 0, stream.Out());
        stream->Write(data.data(), static_cast<ULONG>(data.size()), nullptr);
      }
    }
  }
  root->Commit(STGC_DEFAULT);
  return lockBytes;
}

std::uint64_t ReadAllUnder(IStorage* storage, std::vector<std::uint8_t>& buffer) {
  ComPtr<IEnumSTATSTG> elements;
  storage->EnumElements(0, nullptr, 0, elements.Out());
  std::uint64_t total = 0;
  STATSTG stat{};
  ULONG fetched = 0;
  while (elements->Next(1, &stat, &fetched) == S_OK) {
    if (stat.type == STGTY_STORAGE) {
      ComPtr<IStorage> sub;
      storage->OpenStorage(stat.pwcsName, nullptr, kRead, nullptr, 0, sub.Out());
      total += ReadAllUnder(sub.get(), buffer);
    } else {
      ComPtr<IStream> stream;
      storage->OpenStream(stat.pwcsName, nullptr, kRead, 0, stream.Out());
      ULONG got = 0;
      do {
        stream->Read(buffer.data(), static_cast<ULONG>(buffer.size()), &got);
        total += got;
      } while (got > 0);
    }
    CoTaskMemFree(stat.pwcsName);
  }
  return total;
}

void BM_Open50MiB(benchmark::State& state) {
  ComPtr<ILockBytes> lockBytes = BuildDocument(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    ComPtr<IStorage> root;
    if (StgOpenStorageOnILockBytes(lockBytes.get(), nullptr, kRead, nullptr, 0, root.Out()) != S_OK) {
      state.SkipWithError("open failed");
    }
  }
}
BENCHMARK(BM_Open50MiB)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_OpenAndRead50MiB(benchmark::State& state) {
  ComPtr<ILockBytes> lockBytes = BuildDocument(static_cast<int>(state.range(0)));
  std::vector<std::uint8_t> buffer(1u << 20);
  for (auto _ : state) {
    ComPtr<IStorage> root;
    StgOpenStorageOnILockBytes(lockBytes.get(), nullptr, kRead, nullptr, 0, root.Out());
    if (ReadAllUnder(root.get(), buffer) != kTotal) state.SkipWithError("short read");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kTotal));
}
BENCHMARK(BM_OpenAndRead50MiB)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_Write50MiB(benchmark::State& state) {
  for (auto _ : state) {
    ComPtr<ILockBytes> lockBytes = BuildDocument(static_cast<int>(state.range(0)));
    benchmark::DoNotOptimize(lockBytes.get());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kTotal));
}
BENCHMARK(BM_Write50MiB)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
