// The device configuration document: device lists saved and parsed back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/storage/comobject.h"
#include "sources/fileconfigparser.h"
#include "sources/fileconfigsaver.h"
#include "support/propvarianttext.h"
#include "support/testmemory.h"

namespace recfilereader {
namespace {

using rectest::Describe;

PropertyMap Device(const wchar_t* name, LONG handle, const char* class_name) {
  PropertyMap device;
  if (name != nullptr) device[L"Name"] = rectest::Lpwstr(name);
  if (handle >= 0) device[L"Handle"] = rectest::Fixed(VT_I4, static_cast<std::uint32_t>(handle));
  if (class_name != nullptr) device[L"Class"] = rectest::Lpstr(class_name);
  return device;
}

std::vector<std::uint8_t> Save(const DeviceList& devices, IExMemoryMgr* memory) {
  std::vector<std::uint8_t> payload;
  CFileConfigSaver().SaveFileConfig(memory, devices, payload);
  return payload;
}

TEST(FileConfig, DevicesRoundTripInDocumentOrder) {
  rectest::LimitedMemory memory;
  DeviceList devices;
  devices.push_back(Device(L"Second camera", 2, "Camera"));
  devices.push_back(Device(L"Gps", 1, "GpsReceiver"));
  devices[0][L"Description"] = rectest::Lpstr(std::string(400, 'd'));
  devices[0][L"Calibration"] = rectest::Blob({1, 2, 3});
  devices[1][L"Rates"] = rectest::FixedVector(VT_UI4, {1, 5, 10});
  DeviceList back;
  CFileConfigParser().ParseConfigInfo(Save(devices, &memory), back, &memory);
  ASSERT_EQ(back.size(), 2u);
  // Shorter names come first in a compound document.
  EXPECT_EQ(Describe(back[0].at(L"Name").get()), "31 \"Gps\"");
  for (const auto& [name, value] : devices[0]) EXPECT_EQ(Describe(back[1].at(name).get()), Describe(value.get()));
  for (const auto& [name, value] : devices[1]) EXPECT_EQ(Describe(back[0].at(name).get()), Describe(value.get()));
  EXPECT_EQ(back[1].size(), devices[0].size()) << "nothing is added";
  EXPECT_EQ(memory.live(), 0u);
}

// Devices without a name are left out (the document stays valid); a second device of one name
// replaces the first whole.
TEST(FileConfig, NamelessDevicesAreLeftOutAndALaterDeviceOfOneNameReplacesTheFirst) {
  DeviceList devices;
  devices.push_back(Device(nullptr, 1, "A"));
  devices.push_back(Device(L"", 2, "B"));
  devices.push_back(Device(L"Same", 1, "First"));
  devices.push_back(Device(L"Same", 2, "Second"));
  devices[2][L"OnlyFirst"] = rectest::Fixed(VT_I4, 1);
  DeviceList back;
  CFileConfigParser().ParseConfigInfo(Save(devices, nullptr), back, nullptr);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(Describe(back[0].at(L"Class").get()), "30 \"Second\"");
  EXPECT_EQ(back[0].count(L"OnlyFirst"), 0u);
}

TEST(FileConfig, MissingHandleOrClassFailsTheWholeParse) {
  struct { PropertyMap broken; const wchar_t* text; } cases[] = {{Device(L"ZZ broken", -1, "C"), L"No handle property"},
                  {Device(L"ZZ broken", 3, nullptr), L"No class name property"}};
  for (auto& c : cases) {
    SCOPED_TRACE(std::string(c.text, c.text + std::wcslen(c.text)));
    DeviceList devices;
    devices.push_back(Device(L"Good", 1, "C"));
    devices.push_back(std::move(c.broken));
    DeviceList back;
    const std::wstring failure =
        rectest::RaisedText([&] { CFileConfigParser().ParseConfigInfo(Save(devices, nullptr), back, nullptr); });
    EXPECT_EQ(failure.rfind(c.text, 0), 0u) << std::string(failure.begin(), failure.end());
    EXPECT_NE(failure.find(L"CFileConfigParser::ParseDeviceIStorage"), std::wstring::npos);
    EXPECT_EQ(back.size(), 1u) << "the device read before the failure stays";
  }
}

// A document of streams only holds no devices; bytes that are no document, or that the lock bytes
// cannot hold, raise.
TEST(FileConfig, PayloadsThatHoldNoDeviceDocument) {
  rectest::MemoryDocument streams_only;
  ComPtr<IStream> stream;
  ASSERT_EQ(streams_only.root()->CreateStream(L"not a device", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                              0, 0, stream.Out()), S_OK);
  stream.Reset();
  const auto saved = Save({Device(L"D", 1, "C")}, nullptr);
  const std::wstring no_document = L"CFileConfigParser::ParseConfigInfo";
  // `failure`: a part of the raised text; empty: no devices and no failure.
  const struct { std::vector<std::uint8_t> payload; std::size_t memory; std::wstring failure; } cases[] = {{streams_only.Finish(), 1 << 20, L""}, {{}, 1 << 20, no_document},
               {std::vector<std::uint8_t>(512, 0xD0), 1 << 20, no_document}, {{1, 2, 3}, 1 << 20, no_document},
               {saved, 1000, L"Memory allocation of " + std::to_wstring(saved.size()) +
                                 L" bytes failed via ILockBytes interface"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.payload.size());
    rectest::LimitedMemory memory(c.memory);
    DeviceList back;
    const auto parse = [&] { CFileConfigParser().ParseConfigInfo(c.payload, back, &memory); };
    const std::wstring failure = c.failure.empty() ? (parse(), std::wstring()) : rectest::RaisedText(parse);
    EXPECT_NE(failure.find(c.failure), std::wstring::npos);
    EXPECT_TRUE(back.empty());
  }
}

}  // namespace
}  // namespace recfilereader
