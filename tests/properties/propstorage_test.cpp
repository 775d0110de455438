// Property maps through the saver and the loader, inside a compound document written out and
// read back, with long texts and blobs moved to streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/storage/comobject.h"
#include "platform/storage/propertysetinterfaces.h"
#include "platform/storage/storagetestutil.h"
#include "properties/propstorageloader.h"
#include "properties/propstoragesaver.h"
#include "recfilereader/propvariant.h"
#include "support/propvarianttext.h"
#include "support/testmemory.h"

namespace recfilereader {
namespace {

using rectest::Describe, rectest::kCreate, rectest::kDeviceFmtid, rectest::kRead;


// Saves `map` into storage "dev" of a new document, and gives the document's bytes.
std::vector<std::uint8_t> SaveInDocument(const PropertyMap& map, const FMTID& fmtid = kDeviceFmtid) {
  rectest::MemoryDocument doc;
  {
    ComPtr<IStorage> device;
    EXPECT_EQ(doc.root()->CreateStorage(L"dev", kCreate, 0, 0, device.Out()), S_OK);
    CPropStorageSaver().Save(device.get(), fmtid, map);
  }
  return doc.Finish();
}

PropertyMap LoadFromDocument(const std::vector<std::uint8_t>& bytes, IExMemoryMgr* memory = nullptr) {
  rectest::MemoryDocument doc(bytes);
  ComPtr<IStorage> device;
  EXPECT_EQ(doc.root()->OpenStorage(L"dev", nullptr, kRead, nullptr, 0, device.Out()), S_OK);
  PropertyMap map;
  CPropStorageLoader(memory).Load(device.get(), kDeviceFmtid, map);
  return map;
}

TEST(PropStorage, EveryValueTypeLongTextsAndBlobsRoundTrip) {
  PropertyMap map;
  for (const auto& typed : rectest::EveryType()) map[std::wstring(typed.label, typed.label + std::strlen(typed.label))] = typed.value;
  map[L"long lpstr"] = rectest::Lpstr(std::string(300, 'x') + "\xC3\xA9");
  map[L"long lpwstr"] = rectest::Lpwstr(std::wstring(256, L'\u65E5') + L"\U0001F600");
  map[L"long bstr"] = rectest::Bstr(std::wstring(70000, L'b'));
  map[L"long vector"] = rectest::LpwstrVector({L"short", std::wstring(1000, L'v'), L""});
  std::vector<std::uint8_t> big(3 * 1048576 + 7);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 7);
  map[L"big blob"] = rectest::Blob(big);
  rectest::LimitedMemory memory;
  const PropertyMap back = LoadFromDocument(SaveInDocument(map), &memory);
  ASSERT_EQ(back.size(), map.size());
  for (const auto& [name, value] : map) {
    EXPECT_EQ(back.count(name) ? Describe(back.at(name).get()) : "missing", Describe(value.get())) << std::string(name.begin(), name.end());
  }
  EXPECT_EQ(memory.live(), 0u);
}

// Texts of up to 255 characters stay; longer ones and non-empty blobs go to counted streams.
TEST(PropStorage, StreamsAreNamedByCountersThatStartAtEverySave) {
  const PropertyMap map{{L"a", rectest::Lpstr(std::string(255, 'a'))}, {L"b", rectest::Lpstr(std::string(256, 'b'))},
                        {L"c", rectest::Blob({1, 2, 3})}, {L"d", rectest::Lpwstr(std::wstring(300, L'd'))}, {L"e", rectest::Blob({})}};
  rectest::MemoryDocument doc;
  CPropStorageSaver saver;  // one saver for both: its counters restart
  for (const wchar_t* name : {L"one", L"two"}) {
    ComPtr<IStorage> device;
    ASSERT_EQ(doc.root()->CreateStorage(name, kCreate, 0, 0, device.Out()), S_OK);
    saver.Save(device.get(), kDeviceFmtid, map);
    auto names = rectest::ElementPaths(device.get());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"\005Bdlz2yf4CmxcuqcuGjbhlgshEc", "__blob_stream_#0",
                                                "__string_stream_#0", "__string_stream_#1"}));
    const auto text = rectest::ReadStreamAt(device.get(), L"__string_stream_#0");
    ASSERT_EQ(text.size(), 2u * 257) << "UTF-16 units and one terminating unit";
    EXPECT_EQ(std::pair(text[0], text[512]), std::pair(std::uint8_t{'b'}, std::uint8_t{0}));
    EXPECT_EQ(rectest::ReadStreamAt(device.get(), L"__blob_stream_#0"), (std::vector<std::uint8_t>{1, 2, 3}));
    // The set itself holds the streams' names, the blob's as a wide string.
    ComPtr<IPropertySetStorage> sets;
    ASSERT_EQ(StgCreatePropSetStg(device.get(), 0, sets.Out()), S_OK);
    ComPtr<IPropertyStorage> set;
    ASSERT_EQ(sets->Open(kDeviceFmtid, kRead, set.Out()), S_OK);
    const std::pair<const wchar_t*, const char*> stored[] = {
        {L"B", "30 \"__string_stream_#0\""}, {L"C", "31 \"__blob_stream_#0\""}, {L"e", "65 blob(0:)"}};
    for (const auto& [name, text] : stored) {  // an empty blob stays in the set
      PROPSPEC spec{PRSPEC_LPWSTR, {}};
      spec.lpwstr = const_cast<wchar_t*>(name);
      PropVariantHolder value;
      ASSERT_EQ(set->ReadMultiple(1, &spec, &value.get()), S_OK);
      EXPECT_EQ(Describe(value.get()), text);
    }
  }
}

// A short text naming a blob stream reads as that blob; a loader falls back to the storage's
// first set, and an empty map still makes a set, read back as an empty map.
TEST(PropStorage, BlobStreamNamesAndFallbackSet) {
  PropertyMap map{{L"a blob", rectest::Blob({4, 5})}, {L"impostor", rectest::Lpstr("__blob_stream_#0")}};
  EXPECT_EQ(Describe(LoadFromDocument(SaveInDocument(map)).at(L"impostor").get()), "65 blob(2:0405)");
  const PropertyMap back = LoadFromDocument(SaveInDocument({{L"Handle", rectest::Fixed(VT_I4, 12)}}, FMTID_SummaryInformation));
  EXPECT_EQ(back.size(), 1u);
  EXPECT_EQ(Describe(back.at(L"Handle").get()), "3 0xc");
  EXPECT_TRUE(LoadFromDocument(SaveInDocument({})).empty());
}

// Each failure raises with the place it comes from.
TEST(PropStorage, FailuresRaise) {
  const auto dangling = SaveInDocument({{L"impostor", rectest::Lpwstr(L"__blob_stream_#7")}});
  const auto blob = SaveInDocument({{L"blob", rectest::Blob({1, 2, 3, 4, 5})}});
  rectest::MemoryDocument empty_doc, read_only(SaveInDocument({}));
  ComPtr<IStorage> device;
  ASSERT_EQ(read_only.root()->OpenStorage(L"dev", nullptr, kRead, nullptr, 0, device.Out()), S_OK);
  rectest::LimitedMemory memory(4);
  PropertyMap map{{L"x", rectest::Fixed(VT_I4, 1)}};
  const std::pair<std::function<void()>, const wchar_t*> cases[] = {
      {[&] { LoadFromDocument(dangling); }, L"CPropStorageLoader::LoadProperty"},  // a missing stream
      {[&] { CPropStorageLoader(nullptr).Load(empty_doc.root(), kDeviceFmtid, map); }, L"CPropStorageLoader::Load"},
      {[&] { LoadFromDocument(blob, &memory); }, L"Memory allocation of 5 bytes failed via TVK memory manager"},
      {[&] { CPropStorageSaver().Save(device.get(), kDeviceFmtid, map); }, L"CPropStorageSaver::Save"},  // read-only
  };
  for (const auto& [call, text] : cases) EXPECT_NE(rectest::RaisedText(call).find(text), std::wstring::npos) << text;
}

}  // namespace
}  // namespace recfilereader
