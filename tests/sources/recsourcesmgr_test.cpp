#include "sources/recsourcesmgr.h"

#include <gtest/gtest.h>

#include <cstring>

#include "base/interfaceregistry.h"
#include "base/servicecontext.h"
#include "support/propvarianttext.h"

namespace recfilereader {
namespace {

using rectest::Describe;
using rectest::Lpwstr;

DeviceList Devices(std::initializer_list<const wchar_t*> names) {
  DeviceList devices;
  for (const wchar_t* name : names) devices.push_back({{L"Name", Lpwstr(name)}, {L"Handle", Lpwstr(L"1")}});
  return devices;
}

std::vector<GUID> Ids(CRecSourcesMgr& sources) {
  ULONG count = 0;
  EXPECT_TRUE(sources.GetSourceCount(&count));
  std::vector<GUID> ids(count);
  for (ULONG i = 0; i < count; ++i) EXPECT_TRUE(sources.GetSourceId(i, &ids[i]));
  GUID beyond;
  EXPECT_FALSE(sources.GetSourceId(count, &beyond));
  return ids;
}

std::string NameOf(IRecordingObjectProperties* table) {
  PropVariantHolder name;
  EXPECT_TRUE(table->GetProperty(L"Name", &name.get()));
  return Describe(name.get());
}

TEST(RecSourcesMgr, DevicesBecomeSourcesInOrderUnderIdentifiersMadeAnewAtEachBuild) {
  CInterfaceRegistry registry;
  CServiceContext context(registry);
  std::vector<GUID> first;
  {
    CRecSourcesMgr sources(&context);
    // Hosts find both views through the reader, for as long as the manager lives.
    ASSERT_EQ(registry.GetInterface(L"IRecordingSources2", true), static_cast<IRecordingSources2*>(&sources));
    auto* old_view = static_cast<IRecordingSources*>(registry.GetInterface(L"IRecordingSources", true));
    ASSERT_EQ(old_view, &sources.old_view());

    sources.ReplaceSources(Devices({L"c", L"a", L"b"}));
    first = Ids(sources);
    ASSERT_EQ(first.size(), 3u);
    for (ULONG i = 0; i < 3; ++i) {
      IRecordingObjectProperties* by_id = nullptr;
      IRecordingObjectProperties* by_index = nullptr;
      ASSERT_TRUE(sources.GetSource(first[i], &by_id));
      ASSERT_TRUE(old_view->GetSource(i, &by_index));
      EXPECT_EQ(by_id, by_index);
      EXPECT_EQ(NameOf(by_id), Describe(Lpwstr(std::wstring(1, L"cab"[i])).get()));
      EXPECT_EQ(std::memcmp(&first[i], &first[(i + 1) % 3], sizeof(GUID)) != 0, true);
      EXPECT_EQ(first[i].Data3 >> 12, 4);  // random identifiers of version 4
    }
    IRecordingObjectProperties* none = nullptr;
    EXPECT_FALSE(old_view->GetSource(3, &none));
    sources.ReplaceSources(Devices({L"c", L"a", L"b"}));
    const std::vector<GUID> second = Ids(sources);
    for (ULONG i = 0; i < 3; ++i) EXPECT_NE(std::memcmp(&first[i], &second[i], sizeof(GUID)), 0);
    EXPECT_EQ(sources.GetDevices().size(), 3u);
    EXPECT_EQ(Describe(sources.GetDevices()[2].at(L"Name").get()), Describe(Lpwstr(L"b").get()));
  }
  EXPECT_EQ(registry.GetInterface(L"IRecordingSources2", false), nullptr);
  EXPECT_EQ(registry.GetInterface(L"IRecordingSources", false), nullptr);
}

TEST(RecSourcesMgr, HostEditsAreRefusedForTakenOrUnknownIdentifiersAndAFailingGeneratorStopsTheBuild) {
  int made = 0;
  CRecSourcesMgr sources(nullptr, [&made](GUID& id) {
    id = GUID{static_cast<ULONG>(++made), 0, 0, {}};
    return made <= 2;
  });
  sources.ReplaceSources(Devices({L"a", L"b", L"c", L"d"}));
  EXPECT_EQ(Ids(sources).size(), 2u);
  const GUID id{0x99, 1, 2, {3}};
  EXPECT_TRUE(sources.AddSource(id));
  EXPECT_FALSE(sources.AddSource(id));
  IRecordingObjectProperties* table = nullptr;
  ASSERT_TRUE(sources.GetSource(id, &table));
  EXPECT_EQ(table->GetPropertyCount(), 0);
  EXPECT_EQ(std::memcmp(&Ids(sources).back(), &id, sizeof id), 0);
  EXPECT_TRUE(sources.RemoveSource(Ids(sources).front()));
  EXPECT_FALSE(sources.RemoveSource(GUID{0x77, 0, 0, {}}));
  EXPECT_FALSE(sources.GetSource(GUID{0x77, 0, 0, {}}, &table));
  EXPECT_EQ(Ids(sources).size(), 2u);
}

}  // namespace
}  // namespace recfilereader
