#include "properties/recfilereaderprop.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "properties/propvalue.h"
#include "support/propvarianttext.h"

namespace recfilereader {
namespace {

using namespace rectest;

// The table a host enumerates: order, type, default, flags and descriptor of every entry.
TEST(RecFileReaderPropTest, EntriesInOrderWithTheirDefaults) {
  struct Entry {
    const wchar_t* name;
    VARTYPE type;
    const wchar_t* text;
    ULONG flags;  // 1: read-only
    ULONG descriptor_read_only;
  } entries[] = {
      {L"SupportedFileExt", VT_LPWSTR, L"rec", 1, 0}, {L"SupportedFileDesc", VT_LPWSTR, L"TVK recording", 1, 0},
      {L"BeginTimestamp", VT_UI8, L"0", 1, 1}, {L"EndTimestamp", VT_UI8, L"0", 1, 1}, {L"EndOfFile", VT_I4, L"0", 1, 1},
      {L"BeginOfFile", VT_I4, L"0", 1, 1}, {L"CanChangeRecProp", VT_I4, L"0", 1, 1},
      {L"CanChangeMarkers", VT_I4, L"0", 1, 1}, {L"CanChangeMarkerProp", VT_I4, L"0", 1, 1},
      {L"CanExtractRecPart", VT_I4, L"0", 1, 1}, {L"DataPackagesVersion", VT_I4, L"0", 1, 1},
      {L"DataChanged", VT_I4, L"0", 1, 1}, {L"CacheEntrySize", VT_UI4, L"2097152", 0, 0},
      {L"CacheMemoryLimit", VT_UI4, L"0", 0, 0}, {L"CacheSystemMemoryLimit", VT_UI4, L"209715200", 0, 0},
      {L"CacheIsTransparent", VT_I4, L"0", 0, 0}, {L"CacheAspect", VT_R8, L"0.800000", 0, 0},
      {L"DontDecompressPackets", VT_I4, L"0", 0, 0},
  };
  CRecFileReaderProp table;
  ASSERT_EQ(table.GetPropertyCount(), 18);
  for (LONG i = 0; i < 18; ++i) {
    const Entry& e = entries[i];
    SCOPED_TRACE(testing::PrintToString(std::wstring(e.name)));
    wchar_t name[64];
    PropVariantHolder value = Lpwstr(L"replaced");
    ULONG flags = 99;
    PropertyInfo info{};
    ASSERT_TRUE(table.GetPropertyName(i, name, 64) && table.GetProperty(e.name, &value.get()) &&
                table.GetPropertyFlags(e.name, &flags) && table.GetPropertyInfo(e.name, &info));
    EXPECT_STREQ(name, e.name);
    EXPECT_EQ(std::tuple(value.vt(), GetPropWString(value.get())), std::tuple(e.type, std::wstring(e.text)));
    EXPECT_EQ(std::tuple(flags, info.Flags, info.Descriptor.ReadOnly), std::tuple(e.flags, e.flags, e.descriptor_read_only));
  }
  // Out of range or without room a name is refused; what is written is always terminated.
  wchar_t name[64] = L"stale";
  EXPECT_FALSE(table.GetPropertyName(18, name, 64));
  EXPECT_STREQ(name, L"");
  EXPECT_FALSE(table.GetPropertyName(-1, name, 64) || table.GetPropertyName(0, name, 0));
  EXPECT_TRUE(table.GetPropertyName(17, name, 1) && name[0] == 0);
  ULONG flags = 99;
  PropertyInfo info{};
  EXPECT_FALSE(table.GetPropertyFlags(L"NoSuchProperty", &flags) || table.GetPropertyInfo(L"NoSuchProperty", &info));
  EXPECT_EQ(flags, 0u);
}

// Each writable setting lands in its own member, converted as the element matrix converts (a
// refused value zeroes it); read-only and unknown names refuse writes and keep their value.
TEST(RecFileReaderPropTest, WritesConvertIntoWritableSettingsOnly) {
  CRecFileReaderProp table;
  ASSERT_TRUE(table.SetDirectProperty(kDirectEndOfFile, &I4(1).get()));
  const struct {
    const wchar_t* name;
    PropVariantHolder value;
    bool written;
    const wchar_t* read;  // null: no such property
  } cases[] = {{L"CacheMemoryLimit", Lpwstr(L"1000"), true, L"1000"}, {L"CacheIsTransparent", Bool(true), true, L"1"},
               {L"CacheAspect", Lpstr("0.25"), true, L"0.250000"}, {L"DontDecompressPackets", I4(-3), true, L"1"},
               {L"CacheSystemMemoryLimit", UI8(0x100000005ull), true, L"5"}, {L"CacheEntrySize", FileTime(1), false, L"0"},
               {L"EndOfFile", I4(0), false, L"1"}, {L"SupportedFileExt", I4(0), false, L"rec"},
               {L"DataChanged", I4(5), false, L"0"}, {L"NoSuchProperty", I4(0), false, nullptr}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
    EXPECT_EQ(table.SetProperty(c.name, &c.value.get()), c.written);
    PropVariantHolder value;
    ASSERT_EQ(table.GetProperty(c.name, &value.get()), c.read != nullptr);
    EXPECT_EQ(c.read ? GetPropWString(value.get()) : L"", c.read ? c.read : L"");
  }
  EXPECT_EQ(std::tuple(table.cache_memory_limit(), table.cache_is_transparent(), table.cache_aspect(),
                       table.dont_decompress_packets(), table.cache_system_memory_limit(), table.cache_entry_size()),
            std::tuple(1000u, true, 0.25, true, 5u, 0u));
  PropVariantHolder value;
  EXPECT_FALSE(table.SetProperty(nullptr, &value.get()) || table.SetProperty(L"CacheAspect", nullptr) ||
               table.GetProperty(nullptr, &value.get()));
}

// The hash counts only writable entries. Direct access by number, the reader moving, converts
// into the entry's own type, neither counts in the hash nor dirties it, and refuses numbers out
// of range.
TEST(RecFileReaderPropTest, DirectAccessByNumberAndTheHash) {
  CRecFileReaderProp table;
  EXPECT_EQ(table.GetTableHash(), 0xFFFFFF86u);
  ASSERT_TRUE(table.SetDirectProperty(kDirectBeginTimestamp, &UI8(1ull << 40).get()) &&
              table.SetDirectProperty(kDirectDataPackagesVersion, &Lpwstr(L"2").get()) &&
              table.SetDirectProperty(kDirectEndOfFile, &I4(1).get()));
  EXPECT_EQ(table.GetTableHash(), 0xFFFFFF86u);
  PropVariantHolder timestamp, version, wrong;
  ASSERT_TRUE(table.GetDirectProperty(kDirectBeginTimestamp, &timestamp.get()) &&
              table.GetDirectProperty(kDirectDataPackagesVersion, &version.get()));
  EXPECT_EQ(Describe(timestamp.get()) + " " + Describe(version.get()), "21 0x10000000000 3 0x2");
  EXPECT_FALSE(table.SetDirectProperty(10, &I4(1).get()) || table.SetDirectProperty(-1, &I4(1).get()) ||
               table.SetDirectProperty(0, nullptr) || table.GetDirectProperty(10, &wrong.get()));
  EXPECT_EQ(wrong->vt, VT_EMPTY);
  ASSERT_TRUE(table.SetProperty(L"CacheAspect", &R8(0.5).get()));
  EXPECT_EQ(table.GetTableHash(), 0xFFFFFF8Cu);
}

TEST(RecFileReaderPropTest, InterfacesByExactName) {
  CRecFileReaderProp table;
  IInterfaceAccess& access = table;
  EXPECT_EQ(access.GetInterface(L"IObjectProperties"), static_cast<void*>(static_cast<IExObjectProperties*>(&table)));
  EXPECT_EQ(access.GetInterface(L"IExObjectProperties"), access.GetInterface(L"IObjectProperties"));
  EXPECT_EQ(access.GetInterface(L"IObjectPropertyTableHash"),
            static_cast<void*>(static_cast<IObjectPropertyTableHash*>(&table)));
  EXPECT_EQ(access.GetInterface(L"iobjectproperties"), nullptr);
  EXPECT_EQ(access.GetInterface(L"IDirectPropAccess"), nullptr);
  EXPECT_EQ(access.GetInterface(nullptr), nullptr);
}

}  // namespace
}  // namespace recfilereader
