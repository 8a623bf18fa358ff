// The checks of `velkarin set`'s options that go beyond the configuration
// form's: each problem is a usage error, found before anything is sent.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "cli/commands/commands.h"

namespace velkarin::cli {

// What the entries are called where they were given: set's options, or the
// columns of a plan, so that one set of checks names either.
struct EntryNames {
  std::string ip = "--ip";
  std::string netmask = "--netmask";
  std::string gateway = "--gateway";
  std::string deviceId = "--device-id";
  std::string password = "--password";
  std::string serial = "SERIAL";
};

// A refused entry: the name of the one at fault, and why.
struct EntryProblem {
  std::string field;
  std::string message;
};

// The configuration record that `set` sends: the device's identity and the
// new configuration from the options.
DeviceRecord ConfigurationRecord(const SetOptions& options);

// "ADDRESS/PREFIX" as --ip takes it.
struct AddressWithPrefix {
  std::string address;
  std::optional<std::uint32_t> prefix;  // nothing: the text had no '/'
};
// Splits off a prefix of one or two decimal digits, 1 to 32; nothing for any
// other text after a '/' (including /0, which would be the netmask 0.0.0.0).
std::optional<AddressWithPrefix> SplitAddressPrefix(const std::string& text);

// Takes a prefix off --ip ("10.0.0.5/24") and makes it the netmask; an
// explicit --netmask must then name the same mask. Without a prefix, --ip
// needs --netmask. `netmaskGiven`: --netmask was on the command line.
std::optional<EntryProblem> TakeIpPrefix(SetOptions& options, bool netmaskGiven,
                                         const EntryNames& names = EntryNames());

// The first refusal of the address rules (config/address_rules.h) for a
// fixed configuration: a text that is no address, or an address, netmask or
// gateway no device can have, named by the entry at fault.
std::optional<EntryProblem> AssignmentProblem(const SetOptions& options,
                                              const EntryNames& names = EntryNames());

// What the transaction would refuse as a bad argument: serial number 0
// without an identifier, a password longer than it takes, or an identifier
// that makes the command longer than a device reads.
std::optional<EntryProblem> BadArgumentProblem(const SetOptions& options,
                                               const EntryNames& names = EntryNames());

// Every check of a configuration's entries before anything is sent, in this
// order: for a fixed one the prefix (TakeIpPrefix), AssignmentProblem, and
// then the addresses rewritten as the plain dotted decimal that was checked;
// then the identifier, turned from UTF-8 into the Latin-1 bytes devices take,
// as one command field. The password is not looked at (see
// BadArgumentProblem).
std::optional<EntryProblem> CheckConfigurationEntries(SetOptions& options, bool netmaskGiven,
                                                      const EntryNames& names = EntryNames());

// A text for a device (given in UTF-8) as the Latin-1 bytes it takes, or the
// problem ("invalid NAME 'TEXT': ...; devices take Latin-1 text").
std::optional<std::string> WireText(const std::string& name, const std::string& utf8,
                                    std::string& problem);

}  // namespace velkarin::cli
