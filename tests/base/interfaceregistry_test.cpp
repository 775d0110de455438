#include "base/interfaceregistry.h"

#include <gtest/gtest.h>

#include "base/scopedregistration.h"
#include "base/servicecontext.h"

namespace recfilereader {
namespace {

int a, b;

// The first pointer of a name wins, private entries stay hidden from hosts, and unregistering
// removes the newest registration of the pointer, one per call.
TEST(InterfaceRegistry, LookupAndUnregistration) {
  CInterfaceRegistry registry;
  const std::size_t own = registry.size();
  registry.RegisterInterface(L"IThing", &a, true);
  registry.RegisterInterface(L"IThing", &b, true);
  registry.RegisterInterface(L"IHidden", &b, false);
  EXPECT_EQ(registry.GetInterface(L"IThing", true), &a);
  EXPECT_EQ(registry.GetInterface(L"IHidden", true), nullptr);
  EXPECT_EQ(registry.GetInterface(L"IHidden", false), &b);
  EXPECT_EQ(registry.GetInterface(L"ithing", false), nullptr) << "names compare exactly";
  EXPECT_EQ(registry.GetInterface(nullptr, false), nullptr);
  EXPECT_NE(registry.GetInterface(L"IPrivInterfaceMgr", false), nullptr);
  EXPECT_EQ(registry.GetInterface(L"IPrivInterfaceMgr", true), nullptr);
  registry.RegisterInterface(L"ISecond", &a, true);
  registry.RegisterInterface(L"ISecond", &a, true);  // the same pointer and name again: no change
  EXPECT_EQ(registry.size(), own + 3);
  registry.UnregisterInterface(&a);
  EXPECT_EQ(registry.GetInterface(L"ISecond", false), nullptr);
  EXPECT_EQ(registry.GetInterface(L"IThing", false), &a);
  for (int i = 0; i < 3; ++i) registry.UnregisterInterface(&a);  // the last call finds nothing
  EXPECT_EQ(registry.size(), own + 1);
}

TEST(InterfaceRegistry, ScopedRegistrationLastsAsLongAsItsOwner) {
  CInterfaceRegistry registry;
  CServiceContext context(registry);
  {
    ScopedRegistration registration(&context, L"IScoped", &a, false);
    EXPECT_EQ(context.GetInterface(L"IScoped"), &a) << "the context finds private entries";
  }
  EXPECT_EQ(context.GetInterface(L"IScoped"), nullptr);
  ScopedRegistration orphan(nullptr, L"IOrphan", &a, true);  // no owner: nothing to do
  EXPECT_EQ(registry.GetInterface(L"IOrphan", false), nullptr);
}

}  // namespace
}  // namespace recfilereader
