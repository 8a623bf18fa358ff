#include "fake_devices.h"

#include <cstdio>

#include "platform/clock.h"

namespace velkarin::test {

std::string FakeAnnouncement::Bytes() const {
  char serialText[16];
  std::snprintf(serialText, sizeof serialText, "%X", serial);
  std::string bytes = std::string(serialText) + " " + std::to_string(dhcp) + " " + ip + " " +
                      netmask + " " + gateway + " " + name;
  if (!deviceId.empty()) {
    bytes.push_back('\0');
    bytes += std::to_string(extNumber1) + " a b c d " + deviceId + " " +
             std::to_string(deviceIndex) + " 0 x y " + std::to_string(commandSuffix);
  }
  bytes.push_back('\0');
  return bytes;
}

FakeDevices::FakeDevices() {
  platform::SocketsStartup();
  socket_ = platform::UdpSocketOpen();
  platform::SocketSetReuseAddress(socket_);
  platform::SocketBindAny(socket_, 0);
  port_ = platform::SocketLocalPort(socket_);
  thread_ = std::thread([this] { Serve(); });
}

FakeDevices::~FakeDevices() {
  stop_ = true;
  thread_.join();
  platform::SocketClose(socket_);
  platform::SocketsCleanup();
}

void FakeDevices::Answer(const std::vector<FakeAnnouncement>& devices) {
  std::vector<std::string> datagrams;
  for (const FakeAnnouncement& device : devices) datagrams.push_back(device.Bytes());
  AnswerRaw(datagrams);
}

void FakeDevices::AnswerRaw(const std::vector<std::string>& datagrams) {
  std::lock_guard<std::mutex> guard(mutex_);
  answers_ = datagrams;
}

std::vector<std::int64_t> FakeDevices::DiscoveryTimes() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return discoveryTimes_;
}

void FakeDevices::Serve() {
  char buffer[2048];
  while (!stop_) {
    if (platform::SocketWaitReadable(socket_, 20) != 1) continue;
    std::uint32_t sender = 0;
    std::uint16_t senderPort = 0;
    const int count =
        platform::SocketReceiveFrom(socket_, buffer, sizeof buffer, &sender, &senderPort);
    if (count != 5 || std::string(buffer, 5) != "0 1 A") continue;
    std::vector<std::string> answers;
    {
      std::lock_guard<std::mutex> guard(mutex_);
      discoveryTimes_.push_back(platform::ProcessClockMs());
      answers = answers_;
    }
    requesterPort_ = senderPort;
    for (const std::string& answer : answers) {
      platform::SocketSendTo(socket_, answer.data(), answer.size(), sender, senderPort);
    }

    ++discoveries_;
  }
}

}  // namespace velkarin::test
