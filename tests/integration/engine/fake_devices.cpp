#include "fake_devices.h"

#include <cstdio>

#ifndef _WIN32
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

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
#ifndef _WIN32
  if (unconfiguredSocket_ != platform::kInvalidSocket) close(static_cast<int>(unconfiguredSocket_));
#endif
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

#ifndef _WIN32
void FakeDevices::AnswerUnconfigured(const std::vector<FakeAnnouncement>& devices) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (unconfiguredSocket_ == platform::kInvalidSocket) {
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    const int on = 1;
    setsockopt(s, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    setsockopt(s, SOL_SOCKET, SO_BINDTODEVICE, "lo", 3);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    bind(s, reinterpret_cast<sockaddr*>(&any), sizeof any);
    unconfiguredSocket_ = s;
  }
  unconfiguredAnswers_.clear();
  for (const FakeAnnouncement& device : devices) unconfiguredAnswers_.push_back(device.Bytes());
}
#endif

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
    std::vector<std::string> unconfigured;
    {
      std::lock_guard<std::mutex> guard(mutex_);
      discoveryTimes_.push_back(platform::ProcessClockMs());
      answers = answers_;
      unconfigured = unconfiguredAnswers_;
    }
    requesterPort_ = senderPort;
    for (const std::string& answer : answers) {
      platform::SocketSendTo(socket_, answer.data(), answer.size(), sender, senderPort);
    }
#ifndef _WIN32
    sockaddr_in everyone{};
    everyone.sin_family = AF_INET;
    everyone.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    everyone.sin_port = htons(senderPort);
    for (const std::string& answer : unconfigured) {
      sendto(static_cast<int>(unconfiguredSocket_), answer.data(), answer.size(), 0,
             reinterpret_cast<sockaddr*>(&everyone), sizeof everyone);
    }
#endif
    ++discoveries_;
  }
}

}  // namespace velkarin::test
