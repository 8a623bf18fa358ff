#include "config/config_delivery.h"

#include "config/config_reply.h"
#include "config/configuration_wait.h"
#include "platform/clock.h"
#include "platform/pump.h"

namespace velkarin {

Delivery DeliverConfiguration(DeviceFinder& finder, const ScanTarget& target,
                              const DeviceRecord& record, const char* password,
                              const DeviceRecord& found, const DeliveryLimits& limits,
                              const std::function<bool()>& keepGoing) {
  Delivery delivery;
  platform::ClearQuitRequested();
  delivery.result = FoundDeviceProblem(record, password, found);
  if (delivery.result != CONFIG_OK) return delivery;
  UdpChannel channel(finder.destination());
  // The device as the scan after a lost reply must find it.
  DeviceRecord expected = record;
  expected.serial = found.serial;
  const std::uint32_t start = platform::TickCountMs();
  const auto goOn = [&keepGoing] {
    return !platform::QuitRequested() && (!keepGoing || keepGoing());
  };
  // True once a command answered a challenge this device handed out: a
  // refusal of that is the password's.
  bool answeredChallenge = false;
  bool answerChallenge = false;
  for (;;) {
    if (!channel.SendConfigCommand(record, password, finder.configChallenge())) {
      delivery.result = CONFIG_BAD_ARGUMENT;
      return delivery;
    }
    ++delivery.commands;
    answeredChallenge = answeredChallenge || answerChallenge;
    const ConfigChallenge before = finder.configChallenge();
    const int reply =
        AwaitConfigReplyWithin(channel, found.serial, finder.configChallenge(), limits.replyWaitMs);
    if (platform::QuitRequested()) {
      delivery.result = CONFIG_NO_REPLY;
      return delivery;
    }
    if (reply == kReplyAccepted) {
      delivery.result = CONFIG_OK;
      return delivery;
    }
    if (reply == kReplyRefused) {
      answerChallenge =
          password != nullptr && !answeredChallenge && finder.configChallenge() != before;
      if (answerChallenge) continue;
      delivery.result = CONFIG_REFUSED;
      return delivery;
    }
    if (reply != kNoReply) {
      delivery.result = CONFIG_FAILED;
      return delivery;
    }
    // The command or its reply was lost: the device may run the
    // configuration already.
    const std::vector<ObservedConfiguration> observed =
        AwaitConfigurations({target}, {{target.interfaceName, expected}}, 0, ScanTiming(), goOn);
    if (observed.front().configured) {
      delivery.result = CONFIG_OK;
      delivery.replyLost = true;
      delivery.announced = observed.front().announced;
      return delivery;
    }
    const bool timeLeft = platform::TickElapsed(start, platform::TickCountMs()) < limits.deliveryMs;
    if (delivery.commands >= limits.maxCommands || !timeLeft || !goOn()) {
      delivery.result = CONFIG_NO_REPLY;
      return delivery;
    }
  }
}

}  // namespace velkarin
