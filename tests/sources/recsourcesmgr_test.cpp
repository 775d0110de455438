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
  std::vector<GUID> ids(count + 1);
  for (ULONG i = 0; i < count; ++i) EXPECT_TRUE(sources.GetSourceId(i, &ids[i]));
  EXPECT_FALSE(sources.GetSourceId(count, &ids[count]));
  ids.pop_back();
  return ids;
}

bool Same(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

TEST(RecSourcesMgr, DevicesBecomeSourcesInOrderUnderIdentifiersMadeAnewAtEachBuild) {
  CInterfaceRegistry registry;
  CServiceContext context(registry);
  {
    CRecSourcesMgr sources(&context);
    // Hosts find both views through the reader for as long as the manager lives.
    ASSERT_EQ(registry.GetInterface(L"IRecordingSources2", true), static_cast<IRecordingSources2*>(&sources));
    auto* old_view = static_cast<IRecordingSources*>(registry.GetInterface(L"IRecordingSources", true));
    ASSERT_EQ(old_view, &sources.old_view());
    sources.ReplaceSources(Devices({L"c", L"a", L"b"}));
    const std::vector<GUID> first = Ids(sources);
    ASSERT_EQ(first.size(), 3u);
    sources.ReplaceSources(Devices({L"c", L"a", L"b"}));
    const std::vector<GUID> second = Ids(sources);
    for (ULONG i = 0; i < 4; ++i) {  // one past the end
      IRecordingObjectProperties *by_id = nullptr, *by_index = nullptr;
      EXPECT_EQ(old_view->GetSource(i, &by_index), i < 3);
      if (i == 3) break;
      ASSERT_TRUE(sources.GetSource(second[i], &by_id));
      EXPECT_EQ(by_id, by_index);
      PropVariantHolder name;
      EXPECT_TRUE(by_id->GetProperty(L"Name", &name.get()));
      EXPECT_EQ(Describe(name.get()), Describe(Lpwstr(std::wstring(1, L"cab"[i])).get()));
      EXPECT_FALSE(Same(first[i], first[(i + 1) % 3]) || Same(first[i], second[i]));
      EXPECT_EQ(first[i].Data3 >> 12, 4);  // random identifiers of version 4
    }
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
  const GUID id{0x99, 1, 2, {3}}, unknown{0x77, 0, 0, {}};
  EXPECT_TRUE(sources.AddSource(id));
  EXPECT_FALSE(sources.AddSource(id));
  IRecordingObjectProperties* table = nullptr;
  ASSERT_TRUE(sources.GetSource(id, &table));
  EXPECT_EQ(table->GetPropertyCount(), 0);
  EXPECT_TRUE(Same(Ids(sources).back(), id));
  EXPECT_TRUE(sources.RemoveSource(Ids(sources).front()));
  EXPECT_FALSE(sources.RemoveSource(unknown) || sources.GetSource(unknown, &table));
  EXPECT_EQ(Ids(sources).size(), 2u);
}

}  // namespace
}  // namespace recfilereader
