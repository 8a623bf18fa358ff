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

}  // namespace velkarin::test
