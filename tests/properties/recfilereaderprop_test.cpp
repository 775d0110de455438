#include "properties/recfilereaderprop.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

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
    ASSERT_TRUE(table.GetPropertyName(i, name, 64));
    EXPECT_STREQ(name, e.name);
    PropVariantHolder value = Lpwstr(L"replaced");
    ASSERT_TRUE(table.GetProperty(e.name, &value.get()));
    EXPECT_EQ(value.vt(), e.type);
    EXPECT_EQ(GetPropWString(value.get()), e.text);
    ULONG flags = 99;
    PropertyInfo info{};
    ASSERT_TRUE(table.GetPropertyFlags(e.name, &flags) && table.GetPropertyInfo(e.name, &info));
    EXPECT_EQ(std::tuple(flags, info.Flags, info.Descriptor.ReadOnly), std::tuple(e.flags, e.flags, e.descriptor_read_only));
  }
  PropVariantHolder aspect;
  ASSERT_TRUE(table.GetProperty(L"cacheaspect", &aspect.get())) << "names ignore case";
  EXPECT_EQ(aspect->dblVal, 0.8);
  wchar_t name[64] = L"stale";
  EXPECT_FALSE(table.GetPropertyName(18, name, 64));
  EXPECT_STREQ(name, L"");
  EXPECT_FALSE(table.GetPropertyName(-1, name, 64));
  EXPECT_FALSE(table.GetPropertyName(0, name, 0));
  EXPECT_TRUE(table.GetPropertyName(17, name, 1));
  EXPECT_STREQ(name, L"");
  ULONG flags = 99;
  EXPECT_FALSE(table.GetPropertyFlags(L"NoSuchProperty", &flags));
  EXPECT_EQ(flags, 0u);
  PropertyInfo info{};
  EXPECT_FALSE(table.GetPropertyInfo(L"NoSuchProperty", &info));
}

// Each writable setting lands in its own member, converted as the element matrix converts.
TEST(RecFileReaderPropTest, WritableSettingsConvert) {
  CRecFileReaderProp table;
  EXPECT_TRUE(table.SetProperty(L"CacheMemoryLimit", &Lpwstr(L"1000").get()));
  EXPECT_EQ(table.cache_memory_limit(), 1000u);
  EXPECT_TRUE(table.SetProperty(L"CacheIsTransparent", &Bool(true).get()));
  EXPECT_TRUE(table.cache_is_transparent());
  EXPECT_TRUE(table.SetProperty(L"CacheAspect", &Lpstr("0.25").get()));
  EXPECT_EQ(table.cache_aspect(), 0.25);
  EXPECT_TRUE(table.SetProperty(L"DontDecompressPackets", &I4(-3).get()));
  EXPECT_TRUE(table.dont_decompress_packets());
  EXPECT_TRUE(table.SetProperty(L"CacheSystemMemoryLimit", &UI8(0x100000005ull).get()));
  EXPECT_EQ(table.cache_system_memory_limit(), 5u);
  EXPECT_FALSE(table.SetProperty(L"CacheEntrySize", &FileTime(1).get()));
  EXPECT_EQ(table.cache_entry_size(), 0u);  // a refused value zeroes the setting, as the conversion does
}

TEST(RecFileReaderPropTest, ReadOnlyAndUnknownNamesRefuseWrites) {
  CRecFileReaderProp table;
  ASSERT_TRUE(table.SetDirectProperty(kDirectEndOfFile, &I4(1).get()));
  for (const wchar_t* name : {L"EndOfFile", L"SupportedFileExt", L"DataChanged", L"NoSuchProperty"}) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
    EXPECT_FALSE(table.SetProperty(name, &I4(0).get()));
  }
  PropVariantHolder value;
  ASSERT_TRUE(table.GetProperty(L"EndOfFile", &value.get()));
  EXPECT_EQ(value->lVal, 1);
  EXPECT_FALSE(table.SetProperty(nullptr, &value.get()));
  EXPECT_FALSE(table.SetProperty(L"CacheAspect", nullptr));
  EXPECT_FALSE(table.GetProperty(L"NoSuchProperty", &value.get()));
  EXPECT_FALSE(table.GetProperty(nullptr, &value.get()));
}

TEST(RecFileReaderPropTest, HashOfTheDefaultTableCountsOnlyWritableEntries) {
  CRecFileReaderProp table;
  EXPECT_EQ(table.GetTableHash(), 0xFFFFFF86u);
  table.SetDirectProperty(kDirectEndOfFile, &I4(1).get());  // the reader moving: unhashed, not dirty
  table.SetDirectProperty(kDirectBeginTimestamp, &UI8(12345).get());
  EXPECT_EQ(table.GetTableHash(), 0xFFFFFF86u);
  ASSERT_TRUE(table.SetProperty(L"CacheAspect", &R8(0.5).get()));
  EXPECT_EQ(table.GetTableHash(), 0xFFFFFF8Cu);
}

TEST(RecFileReaderPropTest, DirectAccessByNumberKeepsEachEntrysType) {
  CRecFileReaderProp table;
  struct Case {
    LONG index;
    PropVariantHolder value;
    VARTYPE type;
    const wchar_t* text;
  };
  std::vector<Case> cases = {{kDirectBeginTimestamp, UI8(1ull << 40), VT_UI8, L"1099511627776"},
                             {kDirectDataPackagesVersion, Lpwstr(L"2"), VT_I4, L"2"},
                             {kDirectCanExtractRecPart, Bool(true), VT_I4, L"1"}};
  for (Case& c : cases) {
    SCOPED_TRACE(c.index);
    EXPECT_TRUE(table.SetDirectProperty(c.index, &c.value.get()));
    PropVariantHolder back;
    ASSERT_TRUE(table.GetDirectProperty(c.index, &back.get()));
    EXPECT_EQ(back->vt, c.type);
    EXPECT_EQ(GetPropWString(back.get()), c.text);
  }
  PropVariantHolder wrong;
  EXPECT_FALSE(table.SetDirectProperty(10, &I4(1).get()));
  EXPECT_FALSE(table.SetDirectProperty(-1, &I4(1).get()));
  EXPECT_FALSE(table.SetDirectProperty(0, nullptr));
  EXPECT_FALSE(table.GetDirectProperty(10, &wrong.get()));
  EXPECT_EQ(wrong->vt, VT_EMPTY);
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
