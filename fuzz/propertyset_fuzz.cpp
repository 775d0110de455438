// Any bytes given as a property-set stream: decoding either fails with a result code or gives
// a model that encodes, and whose encoding is a fixed point of decoding and encoding again.
// The same bytes placed in a compound document open through the property storage objects or
// fail cleanly, and every property that lists can be read.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/storage/comobject.h"
#include "platform/hresults.h"
#include "platform/storage/propertysetcodec.h"
#include "platform/storage/propertysetinterfaces.h"
#include "recfilereader/propvariant.h"
#include "require.h"

using recfilereader::ComPtr;

namespace {

constexpr DWORD kCreate = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kRead = STGM_READ | STGM_SHARE_EXCLUSIVE;

void CheckCodec(const std::uint8_t* data, std::size_t size) {
  recfilereader::PropertySetData set;
  const HRESULT hr = recfilereader::DecodePropertySet({data, size}, &set);
  Require(hr == S_OK || hr == STG_E_INVALIDHEADER);
  if (hr != S_OK) return;
  std::vector<std::uint8_t> first;
  Require(recfilereader::EncodePropertySet(set, &first) == S_OK);
  recfilereader::PropertySetData again;
  Require(recfilereader::DecodePropertySet(first, &again) == S_OK);
  std::vector<std::uint8_t> second;
  Require(recfilereader::EncodePropertySet(again, &second) == S_OK);
  Require(first == second);
}

void ReadEverything(IPropertyStorage* set) {
  ComPtr<IEnumSTATPROPSTG> list;
  Require(set->Enum(list.Out()) == S_OK);
  STATPROPSTG entry;
  ULONG fetched = 0;
  while (list->Next(1, &entry, &fetched) == S_OK) {
    PROPSPEC spec{};
    spec.ulKind = PRSPEC_PROPID;
    spec.propid = entry.propid;
    PROPVARIANT value;
    Require(set->ReadMultiple(1, &spec, &value) == S_OK);
    Require(value.vt == entry.vt);
    PropVariantClear(&value);
    if (entry.lpwstrName != nullptr) {
      spec.ulKind = PRSPEC_LPWSTR;
      spec.lpwstr = entry.lpwstrName;
      Require(set->ReadMultiple(1, &spec, &value) == S_OK);
      PropVariantClear(&value);
    }
    CoTaskMemFree(entry.lpwstrName);
  }
}

// The number of properties the set `fmtid` lists, or -1 when it does not open.
int CountListed(IPropertySetStorage* sets, const FMTID& fmtid) {
  ComPtr<IPropertyStorage> set;
  if (FAILED(sets->Open(fmtid, kRead, set.Out()))) return -1;
  ComPtr<IEnumSTATPROPSTG> list;
  Require(set->Enum(list.Out()) == S_OK);
  STATPROPSTG entry;
  ULONG fetched = 0;
  int count = 0;
  for (; list->Next(1, &entry, &fetched) == S_OK; ++count) CoTaskMemFree(entry.lpwstrName);
  return count;
}

void CheckStorage(const std::uint8_t* data, std::size_t size) {
  ComPtr<ILockBytes> bytes;
  Require(CreateILockBytesOnHGlobal(nullptr, 1, bytes.Out()) == S_OK);
  ComPtr<IStorage> root;
  Require(StgCreateDocfileOnILockBytes(bytes.get(), kCreate, 0, root.Out()) == S_OK);
  for (const wchar_t* name : {L"\005SummaryInformation", L"\005DocumentSummaryInformation"}) {
    ComPtr<IStream> stream;
    Require(root->CreateStream(name, kCreate, 0, 0, stream.Out()) == S_OK);
    ULONG written = 0;
    Require(stream->Write(data, static_cast<ULONG>(size), &written) == S_OK);
  }
  ComPtr<IPropertySetStorage> sets;
  Require(StgCreatePropSetStg(root.get(), 0, sets.Out()) == S_OK);
  // Creating the user-defined properties keeps a document summary that was there.
  const int summary = CountListed(sets.get(), FMTID_DocSummaryInformation);
  {
    ComPtr<IPropertyStorage> user_defined;
    Require(sets->Create(FMTID_UserDefinedProperties, nullptr, 0, kCreate, user_defined.Out()) == S_OK);
  }
  Require(summary < 0 || CountListed(sets.get(), FMTID_DocSummaryInformation) == summary);
  ComPtr<IPropertyStorage> set;
  if (FAILED(sets->Open(FMTID_SummaryInformation, kCreate & ~STGM_CREATE, set.Out()))) return;
  ReadEverything(set.get());
  PROPSPEC spec{};
  spec.ulKind = PRSPEC_LPWSTR;
  spec.lpwstr = const_cast<wchar_t*>(L"added");
  PROPVARIANT value;
  PropVariantInit(&value);
  value.vt = VT_I4;
  value.lVal = 1;
  Require(set->WriteMultiple(1, &spec, &value, 3) == S_OK);
  Require(set->Commit(STGC_DEFAULT) == S_OK);
  set.Reset();
  Require(sets->Open(FMTID_SummaryInformation, kRead, set.Out()) == S_OK);
  ReadEverything(set.get());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckCodec(data, size);
  CheckStorage(data, size);
  return 0;
}
