// One non-blocking UDP socket on a port the system picks, able to broadcast.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/socket.h"
#include "protocol/device_record.h"

namespace velkarin {

constexpr std::uint32_t kBroadcastAddress = 0xFFFFFFFFu;  // 255.255.255.255
constexpr std::uint16_t kDevicePort = 8001;

struct Destination {
  std::uint32_t address = kBroadcastAddress;  // host byte order
  std::uint16_t port = kDevicePort;
  // The interface the datagrams leave by; 0: the system's choice. The tool
  // sets it to reach a device behind one adapter of several.
  std::uint32_t interfaceIndex = 0;
};

using ConfigChallenge = std::array<std::uint8_t, 16>;

class UdpChannel {
 public:
  explicit UdpChannel(Destination destination = Destination());
  ~UdpChannel();
  UdpChannel(const UdpChannel&) = delete;
  UdpChannel& operator=(const UdpChannel&) = delete;

  // Broadcasts "0 1 A". A failed send shows later as a silent network.
  void SendDiscovery();
  // One non-blocking receive: the byte count, or 0 or less when nothing was
  // taken. A datagram longer than `size` is lost and gives 0 or less.
  int Receive(char* buffer, std::size_t size, bool& senderUnconfigured);

  // Configuration commands and their replies (defined with the configuration).
  // False when the command would not fit and nothing was sent.
  bool SendConfigCommand(const DeviceRecord& record, const char* password,
                         const ConfigChallenge& challenge);
  // Counts only the replies that name `serial`.
  int AwaitConfigReply(std::uint32_t serial, ConfigChallenge& challenge);

  // Makes the channel leave by this interface from now on (0: the system's
  // choice stays). A channel that cannot is given up, as at construction.
  void LeaveBy(std::uint32_t interfaceIndex);

  // Sends raw bytes to the destination (used by the commands).
  int SendRaw(const void* data, std::size_t size);

  platform::SocketHandle socket() const { return socket_; }
  std::uint16_t localPort() const;
  const Destination& destination() const { return destination_; }

 private:
  Destination destination_;
  bool started_ = false;
  platform::SocketHandle socket_ = platform::kInvalidSocket;
};

}  // namespace velkarin
