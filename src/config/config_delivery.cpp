#include "config/config_delivery.h"

#include "config/config_reply.h"
#include "config/configuration_wait.h"
#include "platform/clock.h"
#include "platform/pump.h"

namespace velkarin {

ConfigResult DeviceExchange::Send(const DeviceRecord& record, const char* password,
                                  const DeviceRecord& found, const DeliveryLimits& limits,
                                  Delivery& delivery) {
  platform::ClearQuitRequested();
  const ConfigResult problem = FoundDeviceProblem(record, password, found);
  if (problem != CONFIG_OK) return problem;
  UdpChannel channel(destination_);
  bool answerChallenge = false;
  for (;;) {
    if (!channel.SendConfigCommand(record, password, challenge_)) {
      return CONFIG_BAD_ARGUMENT;
    }
    ++delivery.commands;
    delivery.answeredChallenge = delivery.answeredChallenge || answerChallenge;
    const ConfigChallenge before = challenge_;
    const int reply = AwaitConfigReplyWithin(channel, found.serial, challenge_, limits.replyWaitMs);
    if (platform::QuitRequested()) return CONFIG_NO_REPLY;
    if (reply == kReplyAccepted) return CONFIG_OK;
    if (reply == kNoReply) return CONFIG_NO_REPLY;
    if (reply != kReplyRefused) return CONFIG_FAILED;
    answerChallenge = password != nullptr && !delivery.answeredChallenge && challenge_ != before;
    if (!answerChallenge) return CONFIG_REFUSED;
  }
}

bool SeenConfigured(const ScanTarget& target, const DeviceRecord& record, const DeviceRecord& found,
                    Delivery& delivery, const std::function<bool()>& keepGoing) {
  DeviceRecord expected = record;
  expected.serial = found.serial;
  const std::vector<ObservedConfiguration> observed =
      AwaitConfigurations({target}, {{target.interfaceName, expected}}, 0, ScanTiming(), keepGoing);
  if (!observed.front().configured) return false;
  delivery.replyLost = true;
  delivery.announced = observed.front().announced;
  return true;
}

Delivery DeliverConfiguration(const ScanTarget& target, const DeviceRecord& record,
                              const char* password, const DeviceRecord& found,
                              const DeliveryLimits& limits,
                              const std::function<bool()>& keepGoing) {
  DeviceExchange exchange(target.destination);
  Delivery delivery;
  const std::uint32_t start = platform::TickCountMs();
  const auto goOn = [&keepGoing] {
    return !platform::QuitRequested() && (!keepGoing || keepGoing());
  };
  for (;;) {
    delivery.result = exchange.Send(record, password, found, limits, delivery);
    if (delivery.result != CONFIG_NO_REPLY || platform::QuitRequested()) return delivery;
    // The command or its reply was lost: the device may run the
    // configuration already.
    if (SeenConfigured(target, record, found, delivery, goOn)) {
      delivery.result = CONFIG_OK;
      return delivery;
    }
    const bool timeLeft = platform::TickElapsed(start, platform::TickCountMs()) < limits.deliveryMs;
    if (delivery.commands >= limits.maxCommands || !timeLeft || !goOn()) return delivery;
  }
}

}  // namespace velkarin
