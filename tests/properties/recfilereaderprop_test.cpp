#include "properties/recfilereaderprop.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "properties/propvalue.h"
#include "support/propvarianttext.h"

namespace recfilereader {
namespace {

using namespace rectest;

constexpr const wchar_t* kNames[] = {
    L"SupportedFileExt",   L"SupportedFileDesc",   L"BeginTimestamp",    L"EndTimestamp",
    L"EndOfFile",          L"BeginOfFile",         L"CanChangeRecProp",  L"CanChangeMarkers",
    L"CanChangeMarkerProp", L"CanExtractRecPart",  L"DataPackagesVersion", L"DataChanged",
    L"CacheEntrySize",     L"CacheMemoryLimit",    L"CacheSystemMemoryLimit", L"CacheIsTransparent",
    L"CacheAspect",        L"DontDecompressPackets"};

TEST(RecFileReaderPropTest, EighteenEntriesInOrder) {
  CRecFileReaderProp table;
  ASSERT_EQ(table.GetPropertyCount(), 18);
  for (LONG i = 0; i < 18; ++i) {
    wchar_t name[64];
    ASSERT_TRUE(table.GetPropertyName(i, name, 64));
    EXPECT_STREQ(name, kNames[i]);
  }
  wchar_t name[64] = L"stale";
  EXPECT_FALSE(table.GetPropertyName(18, name, 64));
  EXPECT_STREQ(name, L"");
  EXPECT_FALSE(table.GetPropertyName(-1, name, 64));
  EXPECT_FALSE(table.GetPropertyName(0, name, 0));
  EXPECT_TRUE(table.GetPropertyName(17, name, 1));
  EXPECT_STREQ(name, L"");
}

TEST(RecFileReaderPropTest, DefaultsReadInTheirOwnTypes) {
  CRecFileReaderProp table;
  struct Case {
    const wchar_t* name;
    VARTYPE type;
    const wchar_t* text;
  } cases[] = {
      {L"SupportedFileExt", VT_LPWSTR, L"rec"},
      {L"SupportedFileDesc", VT_LPWSTR, L"TVK recording"},
      {L"BeginTimestamp", VT_UI8, L"0"},
      {L"EndOfFile", VT_I4, L"0"},
      {L"DataPackagesVersion", VT_I4, L"0"},
      {L"CacheEntrySize", VT_UI4, L"2097152"},
      {L"CacheMemoryLimit", VT_UI4, L"0"},
      {L"CacheSystemMemoryLimit", VT_UI4, L"209715200"},
      {L"CacheIsTransparent", VT_I4, L"0"},
      {L"CacheAspect", VT_R8, L"0.800000"},
      {L"dontdecompresspackets", VT_I4, L"0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
    PropVariantHolder value = Lpwstr(L"replaced");
    ASSERT_TRUE(table.GetProperty(c.name, &value.get()));
    EXPECT_EQ(value->vt, c.type);
    EXPECT_EQ(GetPropWString(value.get()), c.text);
  }
  PropVariantHolder aspect;
  table.GetProperty(L"CacheAspect", &aspect.get());
  EXPECT_EQ(aspect->dblVal, 0.8);
}

TEST(RecFileReaderPropTest, FlagsAndDescriptions) {
  CRecFileReaderProp table;
  struct Case {
    const wchar_t* name;
    ULONG flags;
    ULONG descriptor_read_only;
  } cases[] = {
      {L"SupportedFileExt", 1, 0}, {L"BeginTimestamp", 1, 1}, {L"CacheAspect", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
    ULONG flags = 99;
    ASSERT_TRUE(table.GetPropertyFlags(c.name, &flags));
    EXPECT_EQ(flags, c.flags);
    PropertyInfo info{};
    ASSERT_TRUE(table.GetPropertyInfo(c.name, &info));
    EXPECT_EQ(info.Flags, c.flags);
    EXPECT_EQ(info.Descriptor.Size, 56u);
    EXPECT_EQ(info.Descriptor.ReadOnly, c.descriptor_read_only);
    EXPECT_EQ(info.Descriptor.Style, 64);
    EXPECT_EQ(info.Descriptor.Minimum, 0.0);
    EXPECT_STREQ(info.Category, L"Miscellaneous");
    EXPECT_STREQ(info.Description, L"No description for this property available.");
  }
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
  PropVariantHolder through_table, wrong;
  ASSERT_TRUE(table.GetProperty(L"BeginTimestamp", &through_table.get()));
  EXPECT_EQ(through_table->uhVal, 1ull << 40);
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
  // A host holding only the interface pointer reaches the same table.
  auto* properties = static_cast<IObjectProperties*>(access.GetInterface(L"IObjectProperties"));
  EXPECT_EQ(properties->GetPropertyCount(), 18);
}

}  // namespace
}  // namespace recfilereader
