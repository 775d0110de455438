#include "platform/autoresetevent.h"

#include <gtest/gtest.h>

#include <thread>

namespace recfilereader {
namespace {

using std::chrono::milliseconds;

TEST(AutoResetEvent, WaitForAnyReportsWhichEventAndPrefersTheFirst) {
  auto group = std::make_shared<EventGroup>();
  AutoResetEvent service(group), stop(group);
  EXPECT_EQ(WaitForAny(service, stop, milliseconds(1)), -1);
  stop.Set();
  EXPECT_EQ(WaitForAny(service, stop, milliseconds(0)), 1);
  service.Set();
  stop.Set();
  EXPECT_EQ(WaitForAny(service, stop, milliseconds(0)), 0);
  EXPECT_EQ(WaitForAny(service, stop, milliseconds(0)), 1);
  EXPECT_EQ(WaitForAny(service, stop, milliseconds(0)), -1) << "each signal is consumed by one wait";
  service.Set();
  EXPECT_TRUE(service.Wait(milliseconds(0)));
  EXPECT_FALSE(service.Wait(milliseconds(0)));
}

TEST(AutoResetEvent, WakesAWaiterOnAnotherThread) {
  auto group = std::make_shared<EventGroup>();
  AutoResetEvent service(group), stop(group);
  int woken_by = -2;
  std::thread waiter([&] { woken_by = WaitForAny(service, stop, milliseconds(10000)); });
  stop.Set();
  waiter.join();
  EXPECT_EQ(woken_by, 1);
}

}  // namespace
}  // namespace recfilereader
