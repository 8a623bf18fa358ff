#include "engine_fixture.h"

#include "platform/pump.h"
#include "private_network.h"

namespace velkarin::test {

void EngineNetworkTest::SetUp() {
  REQUIRE_PRIVATE_NETWORK();
  ASSERT_EQ(FinderInstance(), nullptr);
  NotifyCounter::Reset();
}

void EngineNetworkTest::TearDown() {
  FinderSetNotify(nullptr);
  FinderStop();
  FinderDestroy();
  platform::SetServeSentHook(nullptr, nullptr);
}

void EngineNetworkTest::CreateEngine(std::uint16_t port, FinderTiming timing) {
  FinderSetCreateOptions(BroadcastTo(port), timing);
  ASSERT_TRUE(FinderCreate());
  ASSERT_NE(FinderInstance(), nullptr);
}

void EngineNetworkTest::StartCounting(std::uint16_t port, FinderTiming timing) {
  ASSERT_NO_FATAL_FAILURE(CreateEngine(port, timing));
  FinderSetNotify(&NotifyCounter::Notify);
  ASSERT_EQ(FinderStart(), 1);
}

void EngineNetworkTest::StartAndAwaitFirstList(std::uint16_t port, FinderTiming timing,
                                               std::int64_t waitMs) {
  ASSERT_NO_FATAL_FAILURE(StartCounting(port, timing));
  ASSERT_TRUE(WaitUntil([] { return NotifyCounter::calls >= 1; }, waitMs));
}

}  // namespace velkarin::test
