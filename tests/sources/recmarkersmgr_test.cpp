#include "sources/recmarkersmgr.h"

#include <gtest/gtest.h>

#include <optional>

#include "base/directpropaccess.h"
#include "base/interfaceregistry.h"
#include "properties/propvalue.h"
#include "support/fakeowner.h"

namespace recfilereader {
namespace {

// The reader's context: its registry, a "DataChanged" that remembers what it was set to, and a
// host that records warnings as "severity text".
struct Context final : IInterfaceAccess, IDirectPropAccess {
  Context() { registry.RegisterInterface(L"IDirectPropAccess", static_cast<IDirectPropAccess*>(this), false); }
  void* GetInterface(const wchar_t* name) override {
    void* own = registry.GetInterface(name, false);
    return own != nullptr ? own : host.GetInterface(name);
  }
  bool SetDirectProperty(LONG number, const PROPVARIANT* value) override {
    if (number == kDirectDataChanged) data_changed = GetPropBool(*value);
    return true;
  }
  bool GetDirectProperty(LONG, PROPVARIANT*) override { return false; }
  std::wstring LastWarning() {
    const rectest::HostReport last = host.Reports().back();
    return std::to_wstring(last.severity) + L" " + last.text;
  }

  CInterfaceRegistry registry;
  rectest::FakeOwner host;
  std::optional<bool> data_changed;
};

std::vector<LONGLONG> Timestamps(CRecMarkersMgr& markers) {
  std::vector<LONGLONG> out;
  LONGLONG timestamp;
  for (ULONG i = 0; markers.GetMarkerTimestamp(i, &timestamp); ++i) out.push_back(timestamp);
  return out;
}

TEST(RecMarkersMgrTest, RegistersAddsInOrderOnceAndDeletesEvenWhileHeld) {
  Context context;
  {
    CRecMarkersMgr markers(&context);
    EXPECT_EQ(context.registry.GetInterface(L"IRecordingMarker", true), static_cast<IRecordingMarker*>(&markers));
    EXPECT_EQ(context.registry.GetInterface(L"IPrivRecordingMarker", true), nullptr);  // private
    for (LONGLONG t : {30, 10, 20}) EXPECT_TRUE(markers.AddMarker(t));
    EXPECT_EQ(context.data_changed, true);
    context.data_changed.reset();
    EXPECT_FALSE(markers.AddMarker(10));
    EXPECT_EQ(context.data_changed, std::nullopt);
    EXPECT_EQ(Timestamps(markers), (std::vector<LONGLONG>{10, 20, 30}));

    IRecordingObjectProperties* table = nullptr;
    ASSERT_TRUE(markers.GetMarkerProperties(20, &table));
    MarkerSet set;
    markers.GetMarkers(set);
    ASSERT_EQ(set.at(20).size(), 1u);  // a new marker holds exactly an empty description
    EXPECT_EQ(std::pair(set.at(20).at(L"Description").vt(), GetPropWString(set.at(20).at(L"Description").get())),
              std::pair(VARTYPE{VT_LPWSTR}, std::wstring()));
    EXPECT_TRUE(markers.DeleteMarker(20));
    EXPECT_EQ(context.LastWarning(),
              L"2 Marker with timestamp 20 is being deleted, but marker properties interface is not released");
    EXPECT_FALSE(markers.DeleteMarker(20) || markers.GetMarkerProperties(20, &table));
    EXPECT_EQ(Timestamps(markers), (std::vector<LONGLONG>{10, 30}));
  }
  EXPECT_EQ(context.registry.GetInterface(L"IRecordingMarker", false), nullptr);
  CRecMarkersMgr alone(nullptr);  // without the reader's properties "DataChanged" is not kept
  EXPECT_TRUE(alone.AddMarker(1));
}

TEST(RecMarkersMgrTest, ChangedTablesMarkTheDataChangedWhenLastReleased) {
  Context context;
  CRecMarkersMgr markers(&context);
  MarkerSet set;
  SetPropWString(set[5][L"Description"].get(), L"five");
  set[-7];
  markers.SetMarkers(set);
  EXPECT_EQ(context.data_changed, false);
  MarkerSet back;
  markers.GetMarkers(back);
  EXPECT_EQ(std::pair(back.size(), GetPropWString(back.at(5).at(L"Description").get())), std::pair(2ul, std::wstring(L"five")));

  // An unchanged table got and released twice changes nothing; a third release is refused.
  IRecordingObjectProperties* table = nullptr;
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(markers.GetMarkerProperties(5, &table));
  for (int i = 0; i < 2; ++i) EXPECT_TRUE(markers.ReleaseMarkerProperties(table));
  EXPECT_FALSE(markers.ReleaseMarkerProperties(table));
  EXPECT_EQ(context.data_changed, false);
  EXPECT_EQ(context.LastWarning(),
            L"2 Marker properties interface is being released more times then queried, marker timestamp 5");

  ASSERT_TRUE(markers.GetMarkerProperties(5, &table));
  PROPVARIANT changed{};
  changed.vt = VT_I4;
  table->SetProperty(L"DESCRIPTION", &changed);
  EXPECT_TRUE(markers.ReleaseMarkerProperties(table));
  EXPECT_EQ(context.data_changed, true);
  context.data_changed = false;
  ASSERT_TRUE(markers.GetMarkerProperties(5, &table));  // no change since the last release
  EXPECT_TRUE(markers.ReleaseMarkerProperties(table));
  EXPECT_FALSE(markers.ReleaseMarkerProperties(nullptr) || *context.data_changed);
}

}  // namespace
}  // namespace recfilereader
