// Saving and parsing the configuration document of a recording with 64 devices of 50
// properties each (numbers, short texts, one long text and one blob per device).
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/memmgrcpp.h"
#include "recfilereader/propvariant.h"
#include "sources/fileconfigparser.h"
#include "sources/fileconfigsaver.h"

namespace recfilereader {
namespace {

constexpr int kDevices = 64;
constexpr int kProperties = 50;

PropertyValue Text(const std::wstring& text) {
  PropertyValue v;
  v->vt = VT_LPWSTR;
  v->pwszVal = static_cast<wchar_t*>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
  std::memcpy(v->pwszVal, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  return v;
}

PropertyValue Number(int n) {
  PropertyValue v;
  v->vt = VT_I4;
  v->lVal = n;
  return v;
}

PropertyValue Real(double d) {
  PropertyValue v;
  v->vt = VT_R8;
  v->dblVal = d;
  return v;
}

PropertyValue Bytes(std::size_t size) {
  PropertyValue v;
  v->vt = VT_BLOB;
  v->blob.cbSize = static_cast<ULONG>(size);
  v->blob.pBlobData = static_cast<BYTE*>(CoTaskMemAlloc(size));
  std::memset(v->blob.pBlobData, 0x5A, size);
  return v;
}

DeviceList MakeDevices() {
  DeviceList devices;
  for (int d = 0; d < kDevices; ++d) {
    PropertyMap device;
    device[L"Name"] = Text(L"Device " + std::to_wstring(d));
    device[L"Handle"] = Number(d + 1);
    device[L"Class"] = Text(L"MeasurementDevice");
    device[L"Description"] = Text(std::wstring(400, L'd'));
    device[L"Calibration"] = Bytes(2048);
    for (int p = static_cast<int>(device.size()); p < kProperties; ++p) {
      const std::wstring name = L"Property" + std::to_wstring(p);
      switch (p % 3) {
        case 0: device[name] = Number(p * d); break;
        case 1: device[name] = Real(p * 0.5 + d); break;
        default: device[name] = Text(L"value " + std::to_wstring(p)); break;
      }
    }
    devices.push_back(std::move(device));
  }
  return devices;
}

void BM_SaveFileConfig(benchmark::State& state) {
  CMemMgrCpp memory;
  const DeviceList devices = MakeDevices();
  std::vector<std::uint8_t> payload;
  for (auto _ : state) {
    CFileConfigSaver().SaveFileConfig(&memory, devices, payload);
    benchmark::DoNotOptimize(payload.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * payload.size()));
  state.counters["payload_bytes"] = static_cast<double>(payload.size());
}
BENCHMARK(BM_SaveFileConfig)->Unit(benchmark::kMillisecond);

void BM_ParseConfigInfo(benchmark::State& state) {
  CMemMgrCpp memory;
  std::vector<std::uint8_t> payload;
  CFileConfigSaver().SaveFileConfig(&memory, MakeDevices(), payload);
  for (auto _ : state) {
    DeviceList devices;
    CFileConfigParser().ParseConfigInfo(payload, devices, &memory);
    benchmark::DoNotOptimize(devices.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * payload.size()));
}
BENCHMARK(BM_ParseConfigInfo)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace recfilereader
