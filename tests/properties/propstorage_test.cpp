// Property maps through the saver and the loader, inside a compound document written out and
// read back, with long texts and blobs moved to streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
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

using rectest::Describe;

constexpr FMTID kDeviceFmtid = {0x71CCAC61, 0x82F1, 0x415D,
                                {0xA1, 0xA0, 0x26, 0x85, 0xB3, 0x8C, 0x3C, 0x44}};
constexpr DWORD kCreate = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kRead = STGM_READ | STGM_SHARE_EXCLUSIVE;

std::wstring Repeat(wchar_t c, std::size_t n) { return std::wstring(n, c); }

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
  for (const auto& typed : rectest::EveryType()) {
    map[std::wstring(typed.label, typed.label + std::strlen(typed.label))] = typed.value;
  }
  map[L"long lpstr"] = rectest::Lpstr(std::string(300, 'x') + "\xC3\xA9");
  map[L"long lpwstr"] = rectest::Lpwstr(Repeat(L'\u65E5', 256) + L"\U0001F600");
  map[L"long bstr"] = rectest::Bstr(Repeat(L'b', 70000));
  map[L"long vector"] = rectest::LpwstrVector({L"short", Repeat(L'v', 1000), L""});
  std::vector<std::uint8_t> big(3 * 1048576 + 7);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 7);
  map[L"big blob"] = rectest::Blob(big);
  rectest::LimitedMemory memory;
  const PropertyMap back = LoadFromDocument(SaveInDocument(map), &memory);
  ASSERT_EQ(back.size(), map.size());
  for (const auto& [name, value] : map) {
    SCOPED_TRACE(std::string(name.begin(), name.end()));
    ASSERT_EQ(back.count(name), 1u);
    EXPECT_EQ(Describe(back.at(name).get()), Describe(value.get()));
  }
  EXPECT_EQ(memory.live(), 0u);
}

// Texts of up to 255 characters stay; longer ones and non-empty blobs go to counted streams.
TEST(PropStorage, StreamsAreNamedByCountersThatStartAtEverySave) {
  PropertyMap map;
  map[L"a"] = rectest::Lpstr(std::string(255, 'a'));
  map[L"b"] = rectest::Lpstr(std::string(256, 'b'));
  map[L"c"] = rectest::Blob({1, 2, 3});
  map[L"d"] = rectest::Lpwstr(Repeat(L'd', 300));
  map[L"e"] = rectest::Blob({});
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
    EXPECT_EQ(text[0], 'b');
    EXPECT_EQ(text[512], 0);
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
      PROPVARIANT value;
      ASSERT_EQ(set->ReadMultiple(1, &spec, &value), S_OK);
      EXPECT_EQ(Describe(value), text);
      PropVariantClear(&value);
    }
  }
}

TEST(PropStorage, ShortTextNamingABlobStreamReadsAsThatBlob) {
  PropertyMap map;
  map[L"a blob"] = rectest::Blob({4, 5});
  map[L"impostor"] = rectest::Lpstr("__blob_stream_#0");
  const PropertyMap back = LoadFromDocument(SaveInDocument(map));
  EXPECT_EQ(Describe(back.at(L"impostor").get()), "65 blob(2:0405)");

  PropertyMap dangling;
  dangling[L"impostor"] = rectest::Lpwstr(L"__blob_stream_#7");
  const auto bytes = SaveInDocument(dangling);
  EXPECT_NE(rectest::RaisedText([&] { LoadFromDocument(bytes); }).find(L"CPropStorageLoader::LoadProperty"),
            std::wstring::npos) << "a missing stream must raise";
}

TEST(PropStorage, LoaderFallsBackToTheStoragesFirstSet) {
  PropertyMap map;
  map[L"Handle"] = rectest::Fixed(VT_I4, 12);
  const PropertyMap back = LoadFromDocument(SaveInDocument(map, FMTID_SummaryInformation));
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(Describe(back.at(L"Handle").get()), "3 0xc");
  rectest::MemoryDocument doc;
  PropertyMap none;
  EXPECT_NE(rectest::RaisedText([&] { CPropStorageLoader(nullptr).Load(doc.root(), kDeviceFmtid, none); })
                .find(L"CPropStorageLoader::Load"),
            std::wstring::npos) << "a storage without sets must raise";
}

TEST(PropStorage, BlobBlockRefusedByTheMemoryManager) {
  PropertyMap map;
  map[L"blob"] = rectest::Blob({1, 2, 3, 4, 5});
  const auto bytes = SaveInDocument(map);
  rectest::LimitedMemory memory(4);
  EXPECT_NE(rectest::RaisedText([&] { LoadFromDocument(bytes, &memory); })
                .find(L"Memory allocation of 5 bytes failed via TVK memory manager"),
            std::wstring::npos);
}

// An empty map still makes the set, read back as an empty map; a read-only storage refuses a save.
TEST(PropStorage, EmptyMapStillCreatesTheSetAndAReadOnlyStorageRefusesSaving) {
  rectest::MemoryDocument doc(SaveInDocument({}));
  ComPtr<IStorage> device;
  ASSERT_EQ(doc.root()->OpenStorage(L"dev", nullptr, kRead, nullptr, 0, device.Out()), S_OK);
  EXPECT_EQ(rectest::ElementPaths(device.get()), std::vector<std::string>{"\005Bdlz2yf4CmxcuqcuGjbhlgshEc"});
  PropertyMap map;
  CPropStorageLoader(nullptr).Load(device.get(), kDeviceFmtid, map);
  EXPECT_TRUE(map.empty());
  map[L"x"] = rectest::Fixed(VT_I4, 1);
  EXPECT_NE(rectest::RaisedText([&] { CPropStorageSaver().Save(device.get(), kDeviceFmtid, map); })
                .find(L"CPropStorageSaver::Save"),
            std::wstring::npos);
}

}  // namespace
}  // namespace recfilereader
