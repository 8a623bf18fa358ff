#include "simulator.h"

#include <algorithm>

#include "announcement_builder.h"
#include "byte_text.h"
#include "command_responder.h"

namespace velkarin::devsim {
namespace {

constexpr std::uint32_t kLoopback = 0x7F000001;
// A flood tick sends at most this many overdue datagrams, so that a rate the
// machine cannot keep up with never starves the receive loop.
constexpr int kFloodBurst = 256;

// A request from 0.0.0.0 cannot be answered there; a device on this machine
// answers to loopback at the requester's port.
Endpoint ReplyAddress(const Endpoint& sender) {
  Endpoint to = sender;
  if (to.address == 0) to.address = kLoopback;
  return to;
}

std::string DeviceName(const DeviceProfile& profile) {
  return "device " + SerialText(profile.announced.serial) +
         (profile.announced.deviceId.empty() ? "" : " (" + profile.announced.deviceId + ")");
}

// The configuration a device announces now, as the log states it.
std::string ConfigurationText(const Announced& a) {
  return "dhcp=" + std::to_string(a.dhcp) + " ip=" + a.ip + " netmask=" + a.netmask +
         " gateway=" + a.gateway;
}

}  // namespace

Simulator::Simulator(std::vector<DeviceProfile> devices, DeviceSockets& sockets, DatagramLog& log,
                     Scheduler& scheduler)
    : sockets_(sockets), log_(log), scheduler_(scheduler) {
  for (DeviceProfile& profile : devices) {
    LiveDevice live;
    live.profile = std::move(profile);
    devices_.push_back(std::move(live));
  }
}

bool Simulator::Answers(const LiveDevice& device) const {
  return !device.vanished && Clock::now() >= device.silentUntil;
}

void Simulator::OnDatagram(const std::string& datagram, const Endpoint& sender) {
  log_.Received(sender, datagram);
  const Endpoint to = ReplyAddress(sender);
  if (IsDiscovery(datagram)) {
    for (std::size_t i = 0; i < devices_.size(); ++i) AnswerDiscovery(i, to);
    return;
  }
  std::optional<ConfigCommand> command = ParseConfigCommand(datagram);
  if (!command) {
    log_.Event("ignored: neither discovery nor a configuration command");
    return;
  }
  bool addressed = false;
  for (std::size_t i = 0; i < devices_.size(); ++i) {
    if (CommandAddresses(*command, devices_[i].profile)) {
      addressed = true;
      AnswerCommand(i, *command, to);
    }
  }
  if (!addressed) log_.Event("command for " + command->address + ": no such device");
}

void Simulator::AnswerDiscovery(std::size_t index, const Endpoint& requester) {
  LiveDevice& device = devices_[index];
  if (!device.profile.answersDiscovery || !Answers(device)) return;
  const DeviceProfile& profile = device.profile;
  for (int r = 0; r < profile.repeat; ++r) {
    SendLater(index, profile.announceDelayMs + r * profile.repeatIntervalMs, std::nullopt,
              requester);
  }
  for (int k = 0; k < profile.flood.perDiscovery; ++k) {
    SendLater(index, profile.announceDelayMs, Announcement(device, profile.flood.vary), requester);
  }
  if (profile.flood.ratePerSecond > 0) {
    device.floodTarget = requester;
    device.floodUntil = Clock::now() + std::chrono::milliseconds(profile.flood.durationMs);
    if (!device.flooding) {
      device.flooding = true;
      device.nextFloodSend = Clock::now() + std::chrono::milliseconds(profile.announceDelayMs);
      scheduler_.At(device.nextFloodSend, [this, index] { FloodTick(index); });
    }
  }
}

void Simulator::FloodTick(std::size_t index) {
  LiveDevice& device = devices_[index];
  const Clock::time_point now = Clock::now();
  if (now >= device.floodUntil || device.vanished) {
    device.flooding = false;
    return;
  }
  const auto interval = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(1.0 / device.profile.flood.ratePerSecond));
  int sent = 0;
  while (device.nextFloodSend <= now && sent < kFloodBurst) {
    if (Answers(device)) {
      SendNow(device, Announcement(device, device.profile.flood.vary), device.floodTarget);
    }
    device.nextFloodSend += interval;
    ++sent;
  }
  // Behind by more than a burst: give up the backlog rather than chase it.
  if (device.nextFloodSend < now) device.nextFloodSend = now + interval;
  scheduler_.At(device.nextFloodSend, [this, index] { FloodTick(index); });
}

void Simulator::AnswerCommand(std::size_t index, const ConfigCommand& command,
                              const Endpoint& requester) {
  LiveDevice& device = devices_[index];
  if (!Answers(device)) {
    log_.Event(DeviceName(device.profile) + ": command ignored, not answering");
    return;
  }
  CommandResponse response = RespondToCommand(device.profile, command);
  log_.Event(DeviceName(device.profile) + ": form " + std::to_string(command.code) + " command " +
             response.note);
  int delay = device.profile.replyDelayMs;
  for (const std::string& reply : response.replies) {
    // A reply already decided goes out even if the device changes or vanishes.
    SendLater(index, delay, reply, requester, true);
    delay += device.profile.replyIntervalMs;
  }
  if (response.accepted) AfterAccepted(index, command);
}

void Simulator::AfterAccepted(std::size_t index, const ConfigCommand& command) {
  LiveDevice& device = devices_[index];
  const int delay = device.profile.afterAcceptDelayMs;
  if (device.profile.silentWhileChanging && delay > 0) {
    device.silentUntil = Clock::now() + std::chrono::milliseconds(delay);
  }
  auto change = [this, index, command] {
    LiveDevice& d = devices_[index];
    switch (d.profile.afterAccept) {
      case AfterAccept::kApply:
        ApplyCommand(d.profile, command);
        // A fixed address is a usable one: the device sends from it now.
        if (command.dhcp != "1") d.profile.unconfigured = false;
        log_.Event(DeviceName(d.profile) + ": applied " + ConfigurationText(d.profile.announced));
        break;
      case AfterAccept::kOther:
        ApplyOther(d.profile.announced, d.profile.other);
        log_.Event(DeviceName(d.profile) + ": took another configuration " +
                   ConfigurationText(d.profile.announced));
        break;
      case AfterAccept::kVanish:
        d.vanished = true;
        log_.Event(DeviceName(d.profile) + ": vanished");
        break;
      case AfterAccept::kNone:
        break;
    }
  };
  if (delay == 0) {
    change();
  } else {
    scheduler_.After(delay, change);
  }
}

std::string Simulator::Announcement(LiveDevice& device, bool varySerial) {
  if (!varySerial) return BuildAnnouncement(device.profile.announced);
  Announced copy = device.profile.announced;
  copy.serial += ++device.floodSerials;
  return BuildAnnouncement(copy);
}

void Simulator::SendLater(std::size_t index, int delayMs, std::optional<std::string> datagram,
                          const Endpoint& to, bool decided) {
  auto send = [this, index, datagram = std::move(datagram), to, decided] {
    LiveDevice& device = devices_[index];
    if (!decided && !Answers(device)) return;
    SendNow(device, datagram ? *datagram : Announcement(device, false), to);
  };
  if (delayMs <= 0) {
    send();
  } else {
    scheduler_.After(delayMs, std::move(send));
  }
}

void Simulator::SendNow(const LiveDevice& device, const std::string& datagram, const Endpoint& to) {
  // Logged first, so that whoever receives the datagram finds it in the log.
  if (device.profile.unconfigured) {
    const Endpoint broadcast{0xFFFFFFFF, to.port};
    log_.Sent(broadcast, true, datagram);
    if (!sockets_.SendUnconfigured(datagram, to.port)) {
      log_.Event("send to " + EndpointText(broadcast) + " from 0.0.0.0 failed");
    }
  } else {
    log_.Sent(to, false, datagram);
    if (!sockets_.Send(datagram, to)) log_.Event("send to " + EndpointText(to) + " failed");
  }
}

}  // namespace velkarin::devsim
