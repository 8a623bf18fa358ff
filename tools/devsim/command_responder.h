// How one device answers a configuration command addressed to it.
#pragma once
#include <string>
#include <vector>

#include "command_parser.h"
#include "device_profile.h"

namespace velkarin::devsim {

struct CommandResponse {
  std::vector<std::string> replies;  // datagrams, in sending order
  bool accepted = false;             // the device takes the new configuration
  std::string note;                  // why, for the log
};

// Decides the reply by the device's behaviour. Refusals that hand out a
// challenge make it the device's current challenge, so this may change the
// device's challenge state.
CommandResponse RespondToCommand(DeviceProfile& device, const ConfigCommand& command);

// The announced configuration after an accepted command: DHCP "1" switches
// DHCP on and keeps the addresses; anything else sets the three addresses.
void ApplyCommand(DeviceProfile& device, const ConfigCommand& command);
void ApplyOther(Announced& announced, const OtherConfig& other);

// The next challenge a refusal hands out: the next listed one, or (for
// require-auth, when the list is used up) one derived from the serial number
// and the number of refusals so far.
std::array<std::uint8_t, 16> NextChallenge(DeviceProfile& device, bool mustHaveOne, bool* given);

}  // namespace velkarin::devsim
