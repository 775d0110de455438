#include "support/samplerecordings.h"

#include <gtest/gtest.h>

#include "container/metadataextractor.h"
#include "platform/storage/comobject.h"
#include "properties/propstoragesaver.h"
#include "sources/fileconfigsaver.h"
#include "support/propvarianttext.h"

namespace rectest {

using namespace recfilereader;

Bytes Configuration() {
  DeviceList devices(1);
  devices[0][L"Name"] = Lpwstr(L"Gps");
  devices[0][L"Handle"] = Fixed(VT_I4, 1);
  devices[0][L"Class"] = Lpstr("GpsReceiver");
  Bytes payload;
  CFileConfigSaver().SaveFileConfig(nullptr, devices, payload);
  return payload;
}

Bytes Document(const std::map<std::wstring, PropertyMap>& storages) {
  MemoryDocument document;
  for (const auto& [name, properties] : storages) {
    ComPtr<IStorage> storage;
    EXPECT_EQ(document.root()->CreateStorage(name.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0,
                                             storage.Out()), S_OK);
    CPropStorageSaver().Save(storage.get(), kMetadataFormatId, properties);
  }
  return document.Finish();
}

BlockSpec Data(std::uint64_t timestamp) {
  return {.type = 0xDAB1, .sequence = 0, .link = timestamp, .tag = 1, .payload = PlainPayload(8, 1)};
}

Bytes Relink(Bytes bytes, std::uint64_t block, std::uint64_t link) {
  PutLe(bytes, block + 16, link, 8);
  return bytes;
}

Recording BuildV10(bool chain) {
  RecBuilder rec;
  rec.Add(FileHeaderBlock(2, kBase));
  rec.Add({.type = 0xCBF1, .payload = Configuration()});
  const std::uint64_t first = rec.Add(Data(1000)), second = rec.Add(Data(2000));
  if (chain) {
    rec.Add(NavigationBlock({{0, first + kBase}, {1000, first + kBase}, {2000, second + kBase}}));
    rec.Add(MarkerBlock(1500, true));
    rec.Add({.type = 0xCB61, .payload = {'f', 0, 'i', 0, 'r', 0, 's', 0, 't', 0}});
    rec.Add({.type = 0xCBFA, .payload = Bytes(3)});
  }
  return {WithOffsetBase(rec, kBase), rec.offsets()};
}

Recording BuildV2(const V2Spec& spec) {
  std::vector<std::uint64_t> slots(4, kEnd);
  for (int pass = 0;; ++pass) {  // the second pass knows where the sections are
    RecBuilder rec;
    rec.Add(FileHeaderBlock(1));
    rec.Add({.type = 0xCBFA, .payload = Bytes(5)});
    for (const auto& [slot, value] : spec.forced_slots) slots[slot] = value;
    rec.Add(SectionIndexBlock(spec.index_type, slots, spec.index_size));
    const std::uint64_t first = rec.Add(Data(1000)), second = rec.Add(Data(2000));
    std::vector<std::uint64_t> found(4, kEnd);
    found[0] = rec.Add({.type = 0xCBF1, .payload = Configuration()});
    found[1] = rec.Add(NavigationBlock({{1000, first}}));
    rec.Add({.type = 0xCBFA});
    rec.Add(NavigationBlock({{2000, second}}));
    if (!spec.end_after_navigation) {
      found[2] = rec.Add(MarkerBlock(1500));
      rec.Add(MarkerInfoBlock({{.timestamp = 1500, .data = {'f', 'i', 'r', 's', 't'}}}));
      if (spec.metadata) {
        const auto items = AddMetadataItems(rec, {
            {.data = Document({{L"Recording properties", {{L"Description", Lpwstr(L"run 7")}}},
                               {L"System properties", {{L"Station", Lpwstr(L"north")}}}})},
            {.type_code = kMarks, .data = Document({{L"1500", {{L"Note", Lpwstr(L"loud")}}}})}});
        const std::uint64_t props = rec.Add({.type = 0xCB9E, .payload = MetadataReference(kProps, {items[0]})});
        const std::uint64_t marks = rec.Add({.type = 0xCB9E, .payload = MetadataReference(kMarks, {items[1]})});
        found[3] = AddMetadataTable(rec, {{kProps, props}, {kMarks, marks}});
      }
      rec.Add({.type = 0xCBEF, .payload = Bytes(40)});
    }
    if (pass == 1) return {rec.bytes(), rec.offsets()};
    slots = found;
  }
}

}  // namespace rectest
