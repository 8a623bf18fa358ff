// The collector keeps converted addresses beside its records. Random streams
// of announcements drawn from a small set of values (so that every kind of
// match and clash occurs) must merge exactly as the plain model of the merge
// rules does, which compares the address texts at every step.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "collector_model.h"
#include "engine/device_collector.h"

namespace velkarin {
namespace {

DeviceRecord RandomRecord(std::mt19937& random) {
  static const char* const kAddresses[] = {
      "10.0.0.1", "10.0.0.01", "10.1",      "10.0.0.2", "0.0.0.0",
      "",         "1.1.1.1",   "1.0x1.1.1", "junk",     "255.255.255.255"};
  static const char* const kIds[] = {"", "", "dev", "DEV", "other"};
  static const char* const kNames[] = {"a", "b"};
  auto pick = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  DeviceRecord r;
  r.serial = static_cast<std::uint32_t>(pick(3));
  r.name = kNames[pick(2)];
  r.ipAddress = kAddresses[pick(10)];
  r.netmask = kAddresses[pick(3) * 3];
  r.gateway = kAddresses[pick(2)];
  r.deviceId = kIds[pick(5)];
  r.deviceIndex = pick(3) - 1;
  r.commandSuffix = pick(3) - 1;
  r.extNumber1 = pick(3);
  return r;
}

void ExpectSameLists(const DeviceList& actual, const std::vector<DeviceRecord>& expected,
                     int step) {
  ASSERT_EQ(actual.size(), expected.size()) << "after add " << step;
  auto e = expected.begin();
  for (auto a = actual.begin(); a != actual.end(); ++a, ++e) {
    EXPECT_TRUE(*a == *e) << "after add " << step;
    // Fields the equality ignores must match as well: they show which
    // record was kept and which was overwritten.
    EXPECT_EQ(a->ipAddress, e->ipAddress) << "after add " << step;
    EXPECT_EQ(a->statusFlags, e->statusFlags) << "after add " << step;
    EXPECT_EQ(a->extNumber1, e->extNumber1) << "after add " << step;
    EXPECT_EQ(a->commandSuffix, e->commandSuffix) << "after add " << step;
  }
}

TEST(CollectorReference, RandomStreamsMergeLikeThePlainWalk) {
  std::mt19937 random(20240611);
  for (int stream = 0; stream < 300; ++stream) {
    DeviceCollector collector;
    test::CollectorModel reference;
    const int length = 1 + static_cast<int>(random() % 40);
    for (int step = 0; step < length; ++step) {
      const DeviceRecord r = RandomRecord(random);
      collector.Add(r);
      reference.Add(r);
      ASSERT_EQ(collector.TakeChanged(true), reference.changed) << "stream " << stream;
      reference.changed = false;
      ExpectSameLists(collector.Snapshot(), reference.list, step);
      if (HasFailure()) return;
    }
  }
}

}  // namespace
}  // namespace velkarin
