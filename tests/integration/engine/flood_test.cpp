// A flood of announcements must not hold a cycle open: a pass ends after
// 101 datagrams, whatever is still arriving.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine_fixture.h"
#include "fake_devices.h"
#include "platform/clock.h"
#include "platform/socket.h"

namespace velkarin::test {
namespace {

constexpr std::uint32_t kLoopback = 0x7F000001u;

std::string Announcement(std::uint32_t serial) {
  FakeAnnouncement device;
  device.serial = serial;
  device.name = "flood";
  device.ip = "10.1." + std::to_string((serial >> 8) & 0xFF) + "." + std::to_string(serial & 0xFF);
  return device.Bytes();
}

// Sends announcements with ever new serials to one port without pause
// worth the name, until destroyed.
class Flooder {
 public:
  explicit Flooder(std::uint16_t port) : port_(port) {
    platform::SocketsStartup();
    socket_ = platform::UdpSocketOpen();
    platform::SocketBindAny(socket_, 0);
    thread_ = std::thread([this] { Run(); });
  }
  ~Flooder() {
    stop_ = true;
    thread_.join();
    platform::SocketClose(socket_);
    platform::SocketsCleanup();
  }
  Flooder(const Flooder&) = delete;
  Flooder& operator=(const Flooder&) = delete;
  std::uint32_t sent() const { return next_ - 1; }

 private:
  void Run() {
    while (!stop_) {
      for (int burst = 0; burst < 20; ++burst) {
        const std::string datagram = Announcement(next_++);
        platform::SocketSendTo(socket_, datagram.data(), datagram.size(), kLoopback, port_);
      }
      platform::SleepMs(1);
    }
  }

  std::uint16_t port_;
  platform::SocketHandle socket_ = platform::kInvalidSocket;
  std::atomic<bool> stop_{false};
  std::atomic<std::uint32_t> next_{1};
  std::thread thread_;
};

using Flood = EngineNetworkTest;

TEST_F(Flood, EndlessStreamEndsEachPassAfter101Datagrams) {
  FakeDevices fake;  // answers nothing; tells the engine's port
  CreateEngine(fake.port(), FastTiming());
  FinderSetNotify(&NotifyCounter::Notify);
  ASSERT_EQ(FinderStart(), 1);
  ASSERT_TRUE(WaitUntil([&] { return fake.requesterPort() != 0; }, 2000));
  Watchdog watchdog("flooded engine", 60);
  Flooder flooder(fake.requesterPort());

  // Without the bound the pass that meets the flood would never end.
  ASSERT_TRUE(WaitUntil([] { return NotifyCounter::calls >= 1; }, 5000));
  DeviceList devices;
  FinderGetDevices(devices);
  EXPECT_LE(devices.size(), 202u);

  // Cycles go on at their pace under the flood; one that ran wholly under it
  // took exactly 101 datagrams in each pass.
  const std::uint32_t cycles = FinderInstance()->cyclesCompleted();
  ASSERT_TRUE(WaitUntil([&] { return FinderInstance()->cyclesCompleted() >= cycles + 3; }, 5000));
  FinderGetDevices(devices);
  ASSERT_EQ(devices.size(), 202u) << "two passes of 101 datagrams, every one a new device";
  std::set<std::uint32_t> serials;
  std::uint32_t previous = 0;
  for (const DeviceRecord& r : devices) {
    EXPECT_GT(r.serial, previous) << "sorted, one record per serial";
    previous = r.serial;
    serials.insert(r.serial);
  }
  EXPECT_EQ(serials.size(), 202u);
  EXPECT_GT(flooder.sent(), 606u);
  EXPECT_EQ(FinderStop(), 1);
  EXPECT_FALSE(FinderInstance()->running());
}

TEST_F(Flood, ThreeHundredAnswersPerDiscoveryStayWithinTheBound) {
  FakeDevices fake;
  std::vector<std::string> answers;
  for (std::uint32_t serial = 1; serial <= 300; ++serial) answers.push_back(Announcement(serial));
  fake.AnswerRaw(answers);
  CreateEngine(fake.port(), FastTiming());
  FinderSetNotify(&NotifyCounter::Notify);
  ASSERT_EQ(FinderStart(), 1);
  Watchdog watchdog("engine under a burst", 60);
  ASSERT_TRUE(WaitUntil([] { return FinderInstance()->cyclesCompleted() >= 4; }, 8000));
  DeviceList devices;
  FinderGetDevices(devices);
  EXPECT_GE(devices.size(), 101u);
  EXPECT_LE(devices.size(), 202u) << "at most 101 datagrams in each of two passes";
  EXPECT_GE(NotifyCounter::calls.load(), 1);
}

}  // namespace
}  // namespace velkarin::test
