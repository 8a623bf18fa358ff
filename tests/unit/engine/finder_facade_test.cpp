// The facade without a running worker: fixed results without an engine,
// a thread that cannot be made, and destroying an engine that is held.
// Nothing here starts a worker, so nothing is sent.
#include "engine/finder_facade.h"

#include <gtest/gtest.h>

#include "platform/faults.h"

namespace velkarin {
namespace {

void NeverCalled(void*) { ADD_FAILURE() << "no notification expected"; }

class FacadeTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(FinderInstance(), nullptr); }
  void TearDown() override {
    FinderDestroy();
    platform::ClearFaults();
  }
};

TEST_F(FacadeTest, FixedResultsWithoutAnEngine) {
  EXPECT_TRUE(FinderDestroy());
  EXPECT_EQ(FinderStart(), -1);
  EXPECT_EQ(FinderStop(), -1);
  DeviceRecord kept;
  kept.serial = 0xABCDEF;
  kept.name = "kept";
  DeviceList devices = {kept, kept};
  FinderGetDevices(devices);
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(devices.front().name, "kept");
  FinderSetNotify(&NeverCalled);
  EXPECT_EQ(FinderHold(), nullptr);
  FinderRelease(nullptr);
  EXPECT_EQ(FinderInstance(), nullptr);

  // Nothing was stored by the notification call above: a new engine starts
  // with none.
  ASSERT_TRUE(FinderCreate());
  ASSERT_NE(FinderInstance(), nullptr);
  EXPECT_TRUE(FinderDestroy());
  EXPECT_EQ(FinderInstance(), nullptr);
  EXPECT_EQ(FinderStart(), -1);
  EXPECT_TRUE(FinderDestroy());
}

TEST_F(FacadeTest, CreateTwiceKeepsTheFirst) {
  ASSERT_TRUE(FinderCreate());
  DeviceFinder* first = FinderInstance();
  ASSERT_TRUE(FinderCreate());
  EXPECT_EQ(FinderInstance(), first);
  DeviceList devices(3);
  FinderGetDevices(devices);
  EXPECT_TRUE(devices.empty()) << "the caller's list becomes the (empty) published one";
  EXPECT_EQ(FinderStop(), 1) << "stop without a worker returns at once";
}

TEST_F(FacadeTest, CreateOptionsApplyToTheNextEngineOnly) {
  Destination destination;
  destination.address = 0x7F000001;
  destination.port = 40123;
  FinderTiming timing;
  timing.cyclePeriodMs = 500;
  timing.pollMs = 10;
  FinderSetCreateOptions(destination, timing);
  ASSERT_TRUE(FinderCreate());
  EXPECT_EQ(FinderInstance()->destination().address, 0x7F000001u);
  EXPECT_EQ(FinderInstance()->destination().port, 40123);
  EXPECT_EQ(FinderInstance()->timing().cyclePeriodMs, 500);
  FinderDestroy();
  ASSERT_TRUE(FinderCreate());
  EXPECT_EQ(FinderInstance()->destination().address, kBroadcastAddress);
  EXPECT_EQ(FinderInstance()->destination().port, kDevicePort);
  EXPECT_EQ(FinderInstance()->timing().cyclePeriodMs, 3000);
  EXPECT_EQ(FinderInstance()->timing().idleSleepMs, 60u);
  EXPECT_EQ(FinderInstance()->timing().idleReceivesPerPass, 10);
  EXPECT_EQ(FinderInstance()->timing().maxDatagramsPerPass, 101);
  EXPECT_EQ(FinderInstance()->timing().pauseAfterPassesMs, 100u);
  EXPECT_EQ(FinderInstance()->timing().pollMs, 100u);
}

TEST_F(FacadeTest, StartFailsCleanlyWhenNoThreadCanBeMade) {
  ASSERT_TRUE(FinderCreate());
  FinderSetNotify(&NeverCalled);
  {
    platform::ScopedFault noThreads(platform::Fault::THREAD_CREATE);
    EXPECT_EQ(FinderStart(), -1);
  }
  EXPECT_FALSE(FinderInstance()->running());
  EXPECT_EQ(FinderStop(), 1);
  EXPECT_FALSE(FinderInstance()->listChanged());
  EXPECT_TRUE(FinderDestroy());
}

TEST_F(FacadeTest, DestroyWhileHeldFreesOnLastRelease) {
  ASSERT_TRUE(FinderCreate());
  DeviceFinder* held = FinderHold();
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(FinderHold(), held);
  EXPECT_TRUE(FinderDestroy());
  EXPECT_EQ(FinderInstance(), nullptr);
  EXPECT_EQ(FinderStart(), -1) << "the retired engine is out of the facade's reach";
  EXPECT_EQ(FinderHold(), nullptr);
  // Still usable by its holders.
  EXPECT_FALSE(held->running());
  EXPECT_TRUE(held->CopyOut().empty());
  held->configChallenge()[0] = 0x5A;

  // A new engine may be made meanwhile; it is a different one.
  ASSERT_TRUE(FinderCreate());
  EXPECT_NE(FinderInstance(), nullptr);
  FinderRelease(held);
  EXPECT_EQ(held->configChallenge()[0], 0x5A) << "one hold remains";
  FinderRelease(held);  // frees it; the sanitizer builds catch a leak or a double free
  EXPECT_NE(FinderInstance(), nullptr);
}

TEST_F(FacadeTest, ReleaseWithoutDestroyKeepsTheEngine) {
  ASSERT_TRUE(FinderCreate());
  DeviceFinder* held = FinderHold();
  FinderRelease(held);
  EXPECT_EQ(FinderInstance(), held);
  EXPECT_EQ(FinderStop(), 1);
}

}  // namespace
}  // namespace velkarin
