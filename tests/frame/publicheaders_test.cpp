// The public header must be enough for a host on its own, and every interface must keep its
// slot numbers: a host written in another language or built by another compiler reaches the
// operations by their position in the interface's table, not by name. The tests call each
// operation through the table slot it must occupy and check which implementation answered.
#include "recfilereader/recfilereader.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

namespace {

// Calls the operation at `slot` of the table behind `iface` the way a host that knows only the
// table layout does: with the interface pointer as the first argument.
template <class R, class I, class... Args>
R CallSlot(I* iface, std::size_t slot, Args... args) {
  using AnySlot = void (*)();
  using Slot = R (*)(I*, Args...);
  AnySlot* table = *reinterpret_cast<AnySlot**>(iface);
  return reinterpret_cast<Slot>(table[slot])(iface, args...);
}

// Every operation records its name and the integer arguments it received.
class Recorder {
 protected:
  template <class R>
  R Hit(const char* name, R result, std::vector<ULONGLONG> args = {}) {
    called = name;
    arguments = std::move(args);
    return result;
  }

 public:
  std::string called;
  std::vector<ULONGLONG> arguments;
};

// Bears the interfaces the reader object bears, in the reader's order.
class ReaderMock final : public Recorder,
                         public IInterfaceAccess,
                         public IObjectDestroy,
                         public IPerformanceTable,
                         public IRecordingSupport,
                         public IRecordingReaderEx,
                         public IRecordingDataEx,
                         public IRecordingNavigate,
                         public IRecordingPositionEx,
                         public IRecordingPositionCmp,
                         public IRecordingEdit,
                         public IRecordingSave,
                         public IRecordingRepair {
 public:
  void* GetInterface(const wchar_t*) override { return Hit<void*>("GetInterface", this); }
  void Destroy() override { Hit("Destroy", 0); }
  bool GetPerformanceTable(PerformanceQuery*) override {
    return Hit("GetPerformanceTable", true);
  }
  BOOL IsFileSupported(const wchar_t*, BOOL*) override { return Hit("IsFileSupported", 1); }
  BOOL Open(const wchar_t*, ULONG purpose) override { return Hit("Open", 1, {purpose}); }
  BOOL Close() override { return Hit("Close", 1); }
  BOOL OpenEx(const wchar_t*, ULONG access, ULONG flags) override {
    return Hit("OpenEx", 1, {access, flags});
  }
  BOOL ReadDataPackage(ULONG direction, DataPackageRecord*) override {
    return Hit("ReadDataPackage", 1, {direction});
  }
  BOOL GetRecordingProperties(IRecordingObjectProperties**) override {
    return Hit("GetRecordingProperties", 1);
  }
  BOOL ReleaseRecordingProperties(IRecordingObjectProperties*) override {
    return Hit("ReleaseRecordingProperties", 1);
  }
  BOOL GetSystemProperties(IObjectProperties**) override { return Hit("GetSystemProperties", 1); }
  BOOL ReleaseSystemProperties(IObjectProperties*) override {
    return Hit("ReleaseSystemProperties", 1);
  }
  BOOL ReservedQuery() override { return Hit("ReservedQuery", 0); }
  BOOL WriteDataPackages(const DataPackageRecord*, ULONG count) override {
    return Hit("WriteDataPackages", 1, {count});
  }
  BOOL GetSystemPropertiesEx(IRecordingObjectProperties**) override {
    return Hit("GetSystemPropertiesEx", 1);
  }
  BOOL ReleaseSystemPropertiesEx(IRecordingObjectProperties*) override {
    return Hit("ReleaseSystemPropertiesEx", 1);
  }
  BOOL JumpToReferenceTimestamp(ULONGLONG timestamp) override {
    return Hit("JumpToReferenceTimestamp", 1, {timestamp});
  }
  BOOL GetCurrentTimestamp(ULONGLONG*) override { return Hit("GetCurrentTimestamp", 1); }
  ULONG GetPositionSize() override { return Hit<ULONG>("GetPositionSize", 8); }
  BOOL GetPosition(void*) override { return Hit("GetPosition", 1); }
  BOOL SetPosition(const void*, ULONG size) override { return Hit("SetPosition", 1, {size}); }
  BOOL GetNextPosition(const void*, void*) override { return Hit("GetNextPosition", 1); }
  BOOL GetPrevPosition(const void*, void*) override { return Hit("GetPrevPosition", 1); }
  BOOL IsPositionEqual(const void*, const void*, BOOL*) override {
    return Hit("IsPositionEqual", 1);
  }
  BOOL IsPositionLess(const void*, const void*, BOOL*) override {
    return Hit("IsPositionLess", 1);
  }
  BOOL ExtractRecordingPart(const wchar_t*, ULONGLONG begin, ULONGLONG end) override {
    return Hit("ExtractRecordingPart", 1, {begin, end});
  }
  BOOL SaveRecording() override { return Hit("SaveRecording", 1); }
  bool RepairRecording(const wchar_t*) override { return Hit("RepairRecording", true); }
};

// One table serves both property extensions: their first five slots are shared.
class PropertiesMock final : public Recorder,
                             public IExObjectProperties,
                             public IRecordingObjectProperties,
                             public IObjectPropertyTableHash {
 public:
  LONG GetPropertyCount() override { return Hit<LONG>("GetPropertyCount", 3); }
  bool GetPropertyName(LONG index, wchar_t*, LONG capacity) override {
    return Hit("GetPropertyName", true,
               {static_cast<ULONGLONG>(index), static_cast<ULONGLONG>(capacity)});
  }
  bool GetProperty(const wchar_t*, PROPVARIANT*) override { return Hit("GetProperty", true); }
  bool SetProperty(const wchar_t*, const PROPVARIANT*) override {
    return Hit("SetProperty", true);
  }
  bool GetPropertyFlags(const wchar_t*, ULONG*) override { return Hit("GetPropertyFlags", true); }
  bool GetPropertyInfo(const wchar_t*, PropertyInfo*) override {
    return Hit("GetPropertyInfo", true);
  }
  bool DeletePropertyByName(const wchar_t*) override { return Hit("DeletePropertyByName", true); }
  DWORD GetTableHash() override { return Hit<DWORD>("GetTableHash", 0xFFFFFFFEu); }
};

class SourcesMock final : public Recorder, public IRecordingSources2, public IRecordingSources {
 public:
  bool GetSourceCount(ULONG*) override { return Hit("GetSourceCount", true); }
  bool GetSourceId(ULONG index, GUID*) override { return Hit("GetSourceId", true, {index}); }
  bool AddSource(REFGUID id) override { return Hit("AddSource", true, {id.Data1}); }
  bool RemoveSource(REFGUID id) override { return Hit("RemoveSource", true, {id.Data1}); }
  bool GetSource(REFGUID id, IRecordingObjectProperties**) override {
    return Hit("GetSource(id)", true, {id.Data1});
  }
  bool GetSource(ULONG index, IRecordingObjectProperties**) override {
    return Hit("GetSource(index)", true, {index});
  }
  bool ReleaseSource(IRecordingObjectProperties*) override { return Hit("ReleaseSource", true); }
};

class MarkerMock final : public Recorder, public IRecordingMarker {
 public:
  bool GetMarkerCount(ULONG*) override { return Hit("GetMarkerCount", true); }
  bool GetMarkerTimestamp(ULONG index, LONGLONG*) override {
    return Hit("GetMarkerTimestamp", true, {index});
  }
  bool AddMarker(LONGLONG t) override {
    return Hit("AddMarker", true, {static_cast<ULONGLONG>(t)});
  }
  bool DeleteMarker(LONGLONG t) override {
    return Hit("DeleteMarker", true, {static_cast<ULONGLONG>(t)});
  }
  bool GetMarkerProperties(LONGLONG t, IRecordingObjectProperties**) override {
    return Hit("GetMarkerProperties", true, {static_cast<ULONGLONG>(t)});
  }
  bool ReleaseMarkerProperties(IRecordingObjectProperties*) override {
    return Hit("ReleaseMarkerProperties", true);
  }
};

class CompressionMock final : public Recorder, public ICompressionAlgo {
 public:
  LONG CompressPackage(DataPackageRecord*, const wchar_t*) override {
    return Hit<LONG>("CompressPackage", 0);
  }
  LONG DecompressPackage(DataPackageRecord* record, const wchar_t* source_class) override {
    return Hit<LONG>("DecompressPackage", kCompressionUnknownMethod,
                     {record->Descriptor.PackageFlags, std::wcslen(source_class)});
  }
};

// The services a host offers are called by the library through their tables.
class HostServicesMock final : public Recorder,
                               public IRCMemoryMgr,
                               public IRecordingError,
                               public IExErrorMgr,
                               public ITimebase,
                               public IThreadedProcess {
 public:
  void* Allocate(std::size_t size, DWORD flags) override {
    return Hit<void*>("Allocate", nullptr, {size, flags});
  }
  void* Reallocate(void*, std::size_t size) override {
    return Hit<void*>("Reallocate", nullptr, {size});
  }
  void Free(void*) override { Hit("Free", 0); }
  LONG GetErrorCode() override { return Hit<LONG>("GetErrorCode", 20); }
  const wchar_t* GetErrorText() override { return Hit("GetErrorText", L"No error"); }
  void Reserved() override { Hit("Reserved", 0); }
  void Report(const HostErrorRecord* record) override {
    Hit("Report", 0, {record->Code});
  }
  ULONGLONG GetCurrentTime() override { return Hit<ULONGLONG>("GetCurrentTime", 1ull << 40); }
  void Start(DWORD value) override { Hit("Start", 0, {value}); }
  void Execute(IThreadedProcessStatus*, IAbort*) override { Hit("Execute", 0); }
  void Finish(DWORD discard) override { Hit("Finish", 0, {discard}); }
};

struct SlotCase {
  const char* interface_name;
  std::size_t slot;
  const char* expected;
  std::function<void()> call;
};

void ExpectSlots(Recorder& mock, const std::vector<SlotCase>& cases) {
  for (const SlotCase& c : cases) {
    SCOPED_TRACE(std::string(c.interface_name) + " slot " + std::to_string(c.slot));
    mock.called.clear();
    c.call();
    EXPECT_EQ(mock.called, c.expected);
  }
}

TEST(PublicHeadersTest, ReaderInterfacesKeepTheirSlots) {
  ReaderMock m;
  PerformanceQuery query{};
  DataPackageRecord record{};
  IRecordingObjectProperties* rec_props = nullptr;
  IObjectProperties* props = nullptr;
  ULONGLONG position = 0;
  ULONGLONG timestamp = 0;
  BOOL flag = 0;
  auto* access = static_cast<IInterfaceAccess*>(&m);
  auto* destroy = static_cast<IObjectDestroy*>(&m);
  auto* performance = static_cast<IPerformanceTable*>(&m);
  auto* support = static_cast<IRecordingSupport*>(&m);
  auto* reader = static_cast<IRecordingReaderEx*>(&m);
  auto* data = static_cast<IRecordingDataEx*>(&m);
  auto* navigate = static_cast<IRecordingNavigate*>(&m);
  auto* pos = static_cast<IRecordingPositionEx*>(&m);
  auto* cmp = static_cast<IRecordingPositionCmp*>(&m);
  auto* edit = static_cast<IRecordingEdit*>(&m);
  auto* save = static_cast<IRecordingSave*>(&m);
  auto* repair = static_cast<IRecordingRepair*>(&m);
  const wchar_t* path = L"x.rec";

  ExpectSlots(m, {
      {"IInterfaceAccess", 0, "GetInterface", [&] { CallSlot<void*>(access, 0, path); }},
      {"IObjectDestroy", 0, "Destroy", [&] { CallSlot<void>(destroy, 0); }},
      {"IPerformanceTable", 0, "GetPerformanceTable",
       [&] { CallSlot<bool>(performance, 0, &query); }},
      {"IRecordingSupport", 0, "IsFileSupported",
       [&] { CallSlot<BOOL>(support, 0, path, &flag); }},
      {"IRecordingReaderEx", 0, "Open", [&] { CallSlot<BOOL>(reader, 0, path, ULONG{2}); }},
      {"IRecordingReaderEx", 1, "Close", [&] { CallSlot<BOOL>(reader, 1); }},
      {"IRecordingReaderEx", 2, "OpenEx",
       [&] { CallSlot<BOOL>(reader, 2, path, ULONG{1}, ULONG{63}); }},
      {"IRecordingDataEx", 0, "ReadDataPackage",
       [&] { CallSlot<BOOL>(data, 0, ULONG{1}, &record); }},
      {"IRecordingDataEx", 1, "GetRecordingProperties",
       [&] { CallSlot<BOOL>(data, 1, &rec_props); }},
      {"IRecordingDataEx", 2, "ReleaseRecordingProperties",
       [&] { CallSlot<BOOL>(data, 2, rec_props); }},
      {"IRecordingDataEx", 3, "GetSystemProperties", [&] { CallSlot<BOOL>(data, 3, &props); }},
      {"IRecordingDataEx", 4, "ReleaseSystemProperties",
       [&] { CallSlot<BOOL>(data, 4, props); }},
      {"IRecordingDataEx", 5, "ReservedQuery", [&] { CallSlot<BOOL>(data, 5); }},
      {"IRecordingDataEx", 6, "WriteDataPackages",
       [&] { CallSlot<BOOL>(data, 6, static_cast<const DataPackageRecord*>(&record), ULONG{1}); }},
      {"IRecordingDataEx", 7, "GetSystemPropertiesEx",
       [&] { CallSlot<BOOL>(data, 7, &rec_props); }},
      {"IRecordingDataEx", 8, "ReleaseSystemPropertiesEx",
       [&] { CallSlot<BOOL>(data, 8, rec_props); }},
      {"IRecordingNavigate", 0, "JumpToReferenceTimestamp",
       [&] { CallSlot<BOOL>(navigate, 0, ULONGLONG{5}); }},
      {"IRecordingNavigate", 1, "GetCurrentTimestamp",
       [&] { CallSlot<BOOL>(navigate, 1, &timestamp); }},
      {"IRecordingPositionEx", 0, "GetPositionSize", [&] { CallSlot<ULONG>(pos, 0); }},
      {"IRecordingPositionEx", 1, "GetPosition",
       [&] { CallSlot<BOOL>(pos, 1, static_cast<void*>(&position)); }},
      {"IRecordingPositionEx", 2, "SetPosition",
       [&] { CallSlot<BOOL>(pos, 2, static_cast<const void*>(&position), ULONG{8}); }},
      {"IRecordingPositionEx", 3, "GetNextPosition",
       [&] {
         CallSlot<BOOL>(pos, 3, static_cast<const void*>(&position), static_cast<void*>(&position));
       }},
      {"IRecordingPositionEx", 4, "GetPrevPosition",
       [&] {
         CallSlot<BOOL>(pos, 4, static_cast<const void*>(&position), static_cast<void*>(&position));
       }},
      {"IRecordingPositionCmp", 0, "IsPositionEqual",
       [&] {
         CallSlot<BOOL>(cmp, 0, static_cast<const void*>(&position),
                        static_cast<const void*>(&position), &flag);
       }},
      {"IRecordingPositionCmp", 1, "IsPositionLess",
       [&] {
         CallSlot<BOOL>(cmp, 1, static_cast<const void*>(&position),
                        static_cast<const void*>(&position), &flag);
       }},
      {"IRecordingEdit", 0, "ExtractRecordingPart",
       [&] { CallSlot<BOOL>(edit, 0, path, ULONGLONG{1}, ULONGLONG{2}); }},
      {"IRecordingSave", 0, "SaveRecording", [&] { CallSlot<BOOL>(save, 0); }},
      {"IRecordingRepair", 0, "RepairRecording", [&] { CallSlot<bool>(repair, 0, path); }},
  });
}

TEST(PublicHeadersTest, PropertyInterfacesKeepTheirSlots) {
  PropertiesMock m;
  PROPVARIANT value{};
  PropertyInfo info{};
  ULONG flags = 0;
  wchar_t name[8] = {};
  auto* ex = static_cast<IExObjectProperties*>(&m);
  auto* recording = static_cast<IRecordingObjectProperties*>(&m);
  auto* hash = static_cast<IObjectPropertyTableHash*>(&m);
  const wchar_t* key = L"Description";

  std::vector<SlotCase> cases;
  for (IObjectProperties* base : {static_cast<IObjectProperties*>(ex),
                                  static_cast<IObjectProperties*>(recording)}) {
    const char* which = base == ex ? "IExObjectProperties" : "IRecordingObjectProperties";
    cases.push_back({which, 0, "GetPropertyCount", [=] { CallSlot<LONG>(base, 0); }});
    cases.push_back({which, 1, "GetPropertyName",
                     [=, &name] { CallSlot<bool>(base, 1, LONG{0}, name, LONG{8}); }});
    cases.push_back({which, 2, "GetProperty", [=, &value] {
                       CallSlot<bool>(base, 2, key, &value);
                     }});
    cases.push_back({which, 3, "SetProperty", [=, &value] {
                       CallSlot<bool>(base, 3, key, static_cast<const PROPVARIANT*>(&value));
                     }});
    cases.push_back({which, 4, "GetPropertyFlags", [=, &flags] {
                       CallSlot<bool>(base, 4, key, &flags);
                     }});
  }
  cases.push_back({"IExObjectProperties", 5, "GetPropertyInfo",
                   [&] { CallSlot<bool>(ex, 5, key, &info); }});
  cases.push_back({"IRecordingObjectProperties", 5, "DeletePropertyByName",
                   [&] { CallSlot<bool>(recording, 5, key); }});
  cases.push_back({"IObjectPropertyTableHash", 0, "GetTableHash",
                   [&] { EXPECT_EQ(CallSlot<DWORD>(hash, 0), 0xFFFFFFFEu); }});
  ExpectSlots(m, cases);
}

TEST(PublicHeadersTest, SourceAndMarkerInterfacesKeepTheirSlots) {
  SourcesMock sources;
  MarkerMock markers;
  GUID id{};
  ULONG count = 0;
  LONGLONG timestamp = 0;
  IRecordingObjectProperties* props = nullptr;
  auto* s2 = static_cast<IRecordingSources2*>(&sources);
  auto* s1 = static_cast<IRecordingSources*>(&sources);
  auto* m = static_cast<IRecordingMarker*>(&markers);

  ExpectSlots(sources, {
      {"IRecordingSources2", 0, "GetSourceCount", [&] { CallSlot<bool>(s2, 0, &count); }},
      {"IRecordingSources2", 1, "GetSourceId", [&] { CallSlot<bool>(s2, 1, ULONG{0}, &id); }},
      {"IRecordingSources2", 2, "AddSource",
       [&] { CallSlot<bool>(s2, 2, static_cast<const GUID*>(&id)); }},
      {"IRecordingSources2", 3, "RemoveSource",
       [&] { CallSlot<bool>(s2, 3, static_cast<const GUID*>(&id)); }},
      {"IRecordingSources2", 4, "GetSource(id)",
       [&] { CallSlot<bool>(s2, 4, static_cast<const GUID*>(&id), &props); }},
      {"IRecordingSources2", 5, "ReleaseSource", [&] { CallSlot<bool>(s2, 5, props); }},
      {"IRecordingSources", 0, "GetSourceCount", [&] { CallSlot<bool>(s1, 0, &count); }},
      {"IRecordingSources", 1, "GetSource(index)",
       [&] { CallSlot<bool>(s1, 1, ULONG{0}, &props); }},
      {"IRecordingSources", 2, "ReleaseSource", [&] { CallSlot<bool>(s1, 2, props); }},
  });
  ExpectSlots(markers, {
      {"IRecordingMarker", 0, "GetMarkerCount", [&] { CallSlot<bool>(m, 0, &count); }},
      {"IRecordingMarker", 1, "GetMarkerTimestamp",
       [&] { CallSlot<bool>(m, 1, ULONG{0}, &timestamp); }},
      {"IRecordingMarker", 2, "AddMarker", [&] { CallSlot<bool>(m, 2, LONGLONG{10}); }},
      {"IRecordingMarker", 3, "DeleteMarker", [&] { CallSlot<bool>(m, 3, LONGLONG{10}); }},
      {"IRecordingMarker", 4, "GetMarkerProperties",
       [&] { CallSlot<bool>(m, 4, LONGLONG{10}, &props); }},
      {"IRecordingMarker", 5, "ReleaseMarkerProperties", [&] { CallSlot<bool>(m, 5, props); }},
  });
}

TEST(PublicHeadersTest, HostServiceInterfacesKeepTheirSlots) {
  HostServicesMock m;
  HostErrorRecord record{};
  record.Code = 0x20000000u;
  auto* memory = static_cast<IRCMemoryMgr*>(&m);
  auto* error = static_cast<IRecordingError*>(&m);
  auto* errors = static_cast<IExErrorMgr*>(&m);
  auto* timebase = static_cast<ITimebase*>(&m);
  auto* process = static_cast<IThreadedProcess*>(&m);

  ExpectSlots(m, {
      {"IRCMemoryMgr", 0, "Allocate",
       [&] { CallSlot<void*>(memory, 0, std::size_t{16}, DWORD{1}); }},
      {"IRCMemoryMgr", 1, "Reallocate",
       [&] { CallSlot<void*>(memory, 1, static_cast<void*>(nullptr), std::size_t{16}); }},
      {"IRCMemoryMgr", 2, "Free", [&] { CallSlot<void>(memory, 2, static_cast<void*>(nullptr)); }},
      {"IRecordingError", 0, "GetErrorCode", [&] { CallSlot<LONG>(error, 0); }},
      {"IRecordingError", 1, "GetErrorText", [&] { CallSlot<const wchar_t*>(error, 1); }},
      {"IExErrorMgr", 1, "Report",
       [&] { CallSlot<void>(errors, 1, static_cast<const HostErrorRecord*>(&record)); }},
      {"ITimebase", 1, "GetCurrentTime",
       [&] { EXPECT_EQ(CallSlot<ULONGLONG>(timebase, 1), 1ull << 40); }},
      {"IThreadedProcess", 0, "Start", [&] { CallSlot<void>(process, 0, DWORD{0}); }},
      {"IThreadedProcess", 1, "Execute",
       [&] {
         CallSlot<void>(process, 1, static_cast<IThreadedProcessStatus*>(nullptr),
                        static_cast<IAbort*>(nullptr));
       }},
      {"IThreadedProcess", 2, "Finish", [&] { CallSlot<void>(process, 2, DWORD{1}); }},
  });
}

// A 64-bit value crosses an interface whole, and a GUID by address, so hosts that pass such
// arguments through the table reach the implementation unchanged.
TEST(PublicHeadersTest, WideArgumentsArriveWhole) {
  ReaderMock reader;
  constexpr ULONGLONG kBegin = 0x8000000100000002ull;
  constexpr ULONGLONG kEnd = 0xFFFFFFFF00000001ull;
  CallSlot<BOOL>(static_cast<IRecordingEdit*>(&reader), 0, L"out.rec", kBegin, kEnd);
  EXPECT_EQ(reader.arguments, (std::vector<ULONGLONG>{kBegin, kEnd}));
  CallSlot<BOOL>(static_cast<IRecordingNavigate*>(&reader), 0, kEnd);
  EXPECT_EQ(reader.arguments, (std::vector<ULONGLONG>{kEnd}));

  SourcesMock sources;
  const GUID id = {0xA1B2C3D4u, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
  CallSlot<bool>(static_cast<IRecordingSources2*>(&sources), 2, &id);
  EXPECT_EQ(sources.arguments, (std::vector<ULONGLONG>{0xA1B2C3D4u}));

  MarkerMock markers;
  CallSlot<bool>(static_cast<IRecordingMarker*>(&markers), 2, LONGLONG{-5});
  EXPECT_EQ(markers.arguments, (std::vector<ULONGLONG>{static_cast<ULONGLONG>(-5)}));
}

// The compression library is built apart from the reader: slot 1 must be the decompression
// and must see the record's package flags and the source class.
TEST(PublicHeadersTest, CompressionLibraryDecompressesThroughSlotOne) {
  CompressionMock library;
  DataPackageRecord record{};
  record.Descriptor.PackageFlags = 0x13;
  const LONG result = CallSlot<LONG>(static_cast<ICompressionAlgo*>(&library), 1, &record,
                                     static_cast<const wchar_t*>(L"Camera"));
  EXPECT_EQ(library.called, "DecompressPackage");
  EXPECT_EQ(result, kCompressionUnknownMethod);
  EXPECT_EQ(library.arguments, (std::vector<ULONGLONG>{0x13, 6}));
  EXPECT_EQ(record.Descriptor.PackageFlags & kPackageFlagMethodMask, 3u);
  EXPECT_NE(record.Descriptor.PackageFlags & kPackageFlagTrailerMask, 0u);
}

}  // namespace
