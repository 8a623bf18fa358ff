#include "fake_device.h"

#include <cstdio>

#ifndef _WIN32
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/time.h>
#endif

#include "platform/clock.h"

namespace velkarin::test {
namespace {

// When the last datagram read from the socket arrived, on the process clock:
// the kernel stamps its arrival, so a test thread woken late on a loaded
// machine does not shift the times the cycle tests judge. Windows keeps no
// such stamp; there it is the time of the read.
std::int64_t ArrivalMs(platform::SocketHandle socket) {
  const std::int64_t now = platform::ProcessClockMs();
#ifndef _WIN32
  timeval stamp{};
  timeval wall{};
  if (ioctl(static_cast<int>(socket), SIOCGSTAMP, &stamp) == 0 &&
      gettimeofday(&wall, nullptr) == 0) {
    const std::int64_t waitedUs =
        (wall.tv_sec - stamp.tv_sec) * 1000000LL + (wall.tv_usec - stamp.tv_usec);
    if (waitedUs > 0) return now - waitedUs / 1000;
  }
#else
  (void)socket;
#endif
  return now;
}

}  // namespace

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

FakeDevice::FakeDevice(std::uint16_t port) {
  platform::SocketsStartup();
  socket_ = platform::UdpSocketOpen();
  platform::SocketSetReuseAddress(socket_);
  platform::SocketBindAny(socket_, port);
  // A port picked by the system is bound without reuse, so it is ours
  // alone; allowing reuse now lets the next devices of this test share it.
  platform::SocketSetReuseAddress(socket_);
  port_ = platform::SocketLocalPort(socket_);
  thread_ = std::thread([this] { Run(); });
}

FakeDevice::~FakeDevice() {
  stop_ = true;
  thread_.join();
  platform::SocketClose(socket_);
  platform::SocketsCleanup();
}

void FakeDevice::Answer(const std::vector<FakeAnnouncement>& devices) {
  std::vector<std::string> datagrams;
  for (const FakeAnnouncement& device : devices) datagrams.push_back(device.Bytes());
  AnswerRaw(datagrams);
}

void FakeDevice::AnswerRaw(const std::vector<std::string>& datagrams) {
  std::lock_guard<std::mutex> guard(mutex_);
  answers_ = datagrams;
}

void FakeDevice::ReplyToEveryCommand(const std::vector<ScriptedReply>& replies) {
  std::lock_guard<std::mutex> guard(mutex_);
  everyCommand_ = replies;
  scripted_ = false;
}

void FakeDevice::ReplyToCommands(const std::vector<std::vector<ScriptedReply>>& perCommand) {
  std::lock_guard<std::mutex> guard(mutex_);
  perCommand_ = perCommand;
  commands_ = 0;
  scripted_ = true;
}

std::vector<std::string> FakeDevice::received() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return received_;
}

std::vector<std::int64_t> FakeDevice::DiscoveryTimes() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return discoveryTimes_;
}

std::chrono::steady_clock::time_point FakeDevice::lastCommandAt() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return lastCommandAt_;
}

void FakeDevice::Run() {
  std::vector<Pending> pending;
  while (!stop_) {
    if (platform::SocketWaitReadable(socket_, 5) > 0) {
      char buffer[2048];
      std::uint32_t sender = 0;
      std::uint16_t senderPort = 0;
      const int length =
          platform::SocketReceiveFrom(socket_, buffer, sizeof buffer, &sender, &senderPort);
      if (length > 0) {
        const auto now = std::chrono::steady_clock::now();
        const std::string datagram(buffer, static_cast<std::size_t>(length));
        const bool discovery = datagram == "0 1 A";
        std::vector<std::string> answers;
        std::vector<ScriptedReply> replies;
        {
          std::lock_guard<std::mutex> guard(mutex_);
          received_.push_back(datagram);
          if (discovery) {
            discoveryTimes_.push_back(ArrivalMs(socket_));
            answers = answers_;
          } else {
            lastCommandAt_ = now;
            if (!scripted_) {
              replies = everyCommand_;
            } else if (commands_ < perCommand_.size()) {
              replies = perCommand_[commands_++];
            }
          }
        }
        if (discovery) {
          requesterPort_ = senderPort;
          for (const std::string& answer : answers) {
            platform::SocketSendTo(socket_, answer.data(), answer.size(), sender, senderPort);
          }
          ++discoveries_;
        }
        for (const ScriptedReply& reply : replies) {
          pending.push_back(
              {now + std::chrono::milliseconds(reply.delayMs), reply.text, sender, senderPort});
        }
      }
    }
    const auto now = std::chrono::steady_clock::now();
    for (auto it = pending.begin(); it != pending.end();) {
      if (it->due <= now) {
        platform::SocketSendTo(socket_, it->text.data(), it->text.size(), it->address, it->port);
        it = pending.erase(it);
      } else {
        ++it;
      }
    }
  }
}

}  // namespace velkarin::test
