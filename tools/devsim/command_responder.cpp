#include "command_responder.h"

#include <cstdio>

#include "byte_text.h"
#include "config/md5.h"

namespace velkarin::devsim {
namespace {

std::string ReplyText(std::uint32_t serial, int code, int status) {
  char text[64];
  std::snprintf(text, sizeof text, "%X %d %d", serial, code, status);
  return text;
}

std::string WithChallenge(std::string reply, const std::array<std::uint8_t, 16>& challenge) {
  reply.push_back(' ');
  reply += EncodeHex(std::string(challenge.begin(), challenge.end()));
  return reply;
}

}  // namespace

std::array<std::uint8_t, 16> NextChallenge(DeviceProfile& device, bool mustHaveOne, bool* given) {
  *given = false;
  if (!device.challenges.empty()) {
    std::array<std::uint8_t, 16> next = device.challenges.front();
    device.challenges.erase(device.challenges.begin());
    *given = true;
    return next;
  }
  if (!mustHaveOne) return device.challenge;
  // Derived, so that runs are repeatable.
  char seed[64];
  std::snprintf(seed, sizeof seed, "devsim challenge %X %d", device.announced.serial,
                ++device.refusals);
  *given = true;
  return Md5Digest(seed, std::string(seed).size());
}

CommandResponse RespondToCommand(DeviceProfile& device, const ConfigCommand& command) {
  CommandResponse response;
  const std::uint32_t serial = device.announced.serial;
  std::string reply;
  switch (device.onCommand) {
    case CommandBehaviour::kAccept:
      reply = ReplyText(serial, command.code, 1);
      response.accepted = true;
      response.note = "accepted";
      break;
    case CommandBehaviour::kRefuse: {
      reply = ReplyText(serial, command.code, -1);
      bool given = false;
      std::array<std::uint8_t, 16> next = NextChallenge(device, false, &given);
      if (given) {
        device.challenge = next;
        reply = WithChallenge(reply, next);
      }
      response.note = "refused";
      break;
    }
    case CommandBehaviour::kRequireAuth: {
      if (command.code == 8 &&
          command.digest == ExpectedDigest(command, device.password, device.challenge)) {
        reply = ReplyText(serial, command.code, 1);
        response.accepted = true;
        response.note = "digest correct, accepted";
        break;
      }
      bool given = false;
      device.challenge = NextChallenge(device, true, &given);
      reply = WithChallenge(ReplyText(serial, command.code, -1), device.challenge);
      response.note = command.code == 8 ? "digest wrong, refused" : "not authenticated, refused";
      break;
    }
    case CommandBehaviour::kStatus:
      reply = ReplyText(serial, command.code, device.replyStatus);
      response.accepted = device.replyStatus == 1;
      response.note = "status " + std::to_string(device.replyStatus);
      break;
    case CommandBehaviour::kWrongCode:
      reply = ReplyText(serial, device.replyCode, 1);
      response.accepted = true;
      response.note = "accepted, reply with code " + std::to_string(device.replyCode);
      break;
    case CommandBehaviour::kGarbage:
      reply = device.replyBytes;
      response.note = "garbage reply";
      break;
    case CommandBehaviour::kOversize:
      reply = ReplyText(serial, command.code, 1);
      if (reply.size() < static_cast<std::size_t>(device.oversizeLength)) {
        reply.resize(static_cast<std::size_t>(device.oversizeLength), ' ');
      }
      response.accepted = true;
      response.note = "accepted, oversize reply";
      break;
    case CommandBehaviour::kSilent:
      response.note = "silent";
      break;
  }
  if (device.onCommand != CommandBehaviour::kSilent) {
    for (int i = 0; i < device.replyCount; ++i) response.replies.push_back(reply);
  }
  for (const std::string& extra : device.extraReplies) response.replies.push_back(extra);
  return response;
}

void ApplyCommand(DeviceProfile& device, const ConfigCommand& command) {
  Announced& announced = device.announced;
  if (command.dhcp == "1") {
    announced.dhcp = device.dhcpFlag;
    return;
  }
  announced.dhcp = 0;
  announced.ip = command.ip;
  announced.netmask = command.netmask;
  // Devices without a gateway announce 0.0.0.0, or leave it out: an empty
  // field ends the section, and takes the name with it.
  announced.gateway =
      command.gateway.empty() && !device.omitEmptyGateway ? "0.0.0.0" : command.gateway;
}

void ApplyOther(Announced& announced, const OtherConfig& other) {
  if (other.dhcp) announced.dhcp = *other.dhcp;
  if (other.ip) announced.ip = *other.ip;
  if (other.netmask) announced.netmask = *other.netmask;
  if (other.gateway) announced.gateway = *other.gateway;
}

}  // namespace velkarin::devsim
