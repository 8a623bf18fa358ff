#include "platform/faults.h"

#include <gtest/gtest.h>

#include <atomic>

#include "platform/socket.h"
#include "platform/thread.h"

namespace velkarin::platform {
namespace {

class Faults : public testing::Test {
 protected:
  void TearDown() override { ClearFaults(); }
};

void Count(void* argument) { static_cast<std::atomic<int>*>(argument)->fetch_add(1); }

TEST_F(Faults, SocketsStartupFails) {
  {
    ScopedFault fault(Fault::SOCKETS_STARTUP);
    EXPECT_FALSE(SocketsStartup());
  }
  ASSERT_TRUE(SocketsStartup());
  SocketsCleanup();
}

TEST_F(Faults, SocketCreationFails) {
  ASSERT_TRUE(SocketsStartup());
  {
    ScopedFault fault(Fault::SOCKET_CREATE);
    EXPECT_EQ(UdpSocketOpen(), kInvalidSocket);
  }
  const SocketHandle socket = UdpSocketOpen();
  EXPECT_NE(socket, kInvalidSocket);
  SocketClose(socket);
  SocketsCleanup();
}

TEST_F(Faults, BindFailsAndLeavesTheSocketUnbound) {
  ASSERT_TRUE(SocketsStartup());
  const SocketHandle socket = UdpSocketOpen();
  ASSERT_NE(socket, kInvalidSocket);
  {
    ScopedFault fault(Fault::SOCKET_BIND);
    EXPECT_FALSE(SocketBindAny(socket, 0));
  }
  EXPECT_EQ(SocketLocalPort(socket), 0);
  EXPECT_TRUE(SocketBindAny(socket, 0));
  EXPECT_NE(SocketLocalPort(socket), 0);
  SocketClose(socket);
  SocketsCleanup();
}

TEST_F(Faults, ThreadCreationFailsWithoutRunningTheFunction) {
  std::atomic<int> calls{0};
  {
    ScopedFault fault(Fault::THREAD_CREATE);
    ThreadHandle thread = ThreadCreate(Count, &calls, 64 * 1024);
    EXPECT_FALSE(thread.valid());
    ThreadJoin(thread);
  }
  EXPECT_EQ(calls.load(), 0);
  ThreadHandle thread = ThreadCreate(Count, &calls, 64 * 1024);
  ASSERT_TRUE(thread.valid());
  ThreadJoin(thread);
  EXPECT_EQ(calls.load(), 1);
}

}  // namespace
}  // namespace velkarin::platform
