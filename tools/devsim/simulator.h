// The fleet at run time: answers discovery with announcements and commands
// with replies, and carries out what a device does after a command.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "command_parser.h"
#include "datagram_log.h"
#include "device_profile.h"
#include "network.h"
#include "scheduler.h"

namespace velkarin::devsim {

class Simulator {
 public:
  Simulator(std::vector<DeviceProfile> devices, DeviceSockets& sockets, DatagramLog& log,
            Scheduler& scheduler);

  // Every datagram the devices' port receives.
  void OnDatagram(const std::string& datagram, const Endpoint& sender);

  std::size_t size() const { return devices_.size(); }

 private:
  struct LiveDevice {
    DeviceProfile profile;
    bool vanished = false;
    Clock::time_point silentUntil{};
    // Continuous flood.
    bool flooding = false;
    Clock::time_point floodUntil{};
    Clock::time_point nextFloodSend{};
    Endpoint floodTarget;
    std::uint32_t floodSerials = 0;
  };

  bool Answers(const LiveDevice& device) const;
  void AnswerDiscovery(std::size_t index, const Endpoint& requester);
  void AnswerCommand(std::size_t index, const ConfigCommand& command, const Endpoint& requester);
  void AfterAccepted(std::size_t index, const ConfigCommand& command);
  void FloodTick(std::size_t index);
  // The device's current announcement; with `varySerial`, a fresh serial.
  std::string Announcement(LiveDevice& device, bool varySerial);
  // Sent after `delayMs` if the device still answers then, or in any case when
  // `decided`. Without a datagram: the announcement as it stands when sent.
  void SendLater(std::size_t index, int delayMs, std::optional<std::string> datagram,
                 const Endpoint& to, bool decided = false);
  void SendNow(const LiveDevice& device, const std::string& datagram, const Endpoint& to);

  std::vector<LiveDevice> devices_;
  DeviceSockets& sockets_;
  DatagramLog& log_;
  Scheduler& scheduler_;
};

}  // namespace velkarin::devsim
