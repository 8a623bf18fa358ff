// A device played by the test: a UDP socket on a port of its own that records
// every datagram it receives and answers with scripted replies, sent to the
// sender after chosen delays. Either every datagram gets the same replies, or
// the device answers discovery with an announcement and each command with the
// replies scripted for it (later commands go unanswered).
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/socket.h"

namespace velkarin::test {

struct ScriptedReply {
  std::uint32_t delayMs;  // after the command arrived
  std::string text;
};

class FakeDevice {
 public:
  // Port 0: one the system picks. Devices given the same port share it, as
  // devices on one network share port 8001.
  explicit FakeDevice(std::vector<ScriptedReply> replies = {}, std::uint16_t port = 0)
      : replies_(std::move(replies)) {
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
  ~FakeDevice() {
    stop_ = true;
    thread_.join();
    platform::SocketClose(socket_);
    platform::SocketsCleanup();
  }
  FakeDevice(std::string announcement, std::vector<std::vector<ScriptedReply>> perCommand)
      : FakeDevice() {
    std::lock_guard<std::mutex> guard(mutex_);
    announcement_ = std::move(announcement);
    perCommand_ = std::move(perCommand);
    scripted_ = true;
  }
  FakeDevice(const FakeDevice&) = delete;
  FakeDevice& operator=(const FakeDevice&) = delete;

  std::uint16_t port() const { return port_; }

  std::vector<std::string> received() {
    std::lock_guard<std::mutex> guard(mutex_);
    return received_;
  }

 private:
  struct Pending {
    std::chrono::steady_clock::time_point due;
    std::string text;
    std::uint32_t address;
    std::uint16_t port;
  };

  void Run() {
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
          std::vector<ScriptedReply> replies = replies_;
          {
            std::lock_guard<std::mutex> guard(mutex_);
            received_.push_back(datagram);
            if (scripted_) {
              replies.clear();
              if (datagram == "0 1 A") {
                replies.push_back({0, announcement_});
              } else if (commands_ < perCommand_.size()) {
                replies = perCommand_[commands_++];
              }
            }
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

  std::vector<ScriptedReply> replies_;
  platform::SocketHandle socket_ = platform::kInvalidSocket;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::string> received_;
  bool scripted_ = false;
  std::string announcement_;
  std::vector<std::vector<ScriptedReply>> perCommand_;
  std::size_t commands_ = 0;
  std::thread thread_;
};

}  // namespace velkarin::test
