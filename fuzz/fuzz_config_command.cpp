// BuildConfigCommand on arbitrary records, passwords and challenges, held
// against the command as the C library's snprintf writes it from the four
// format strings: a command that fits 255 characters must come out as
// snprintf writes it (with the digest over the 32 zeros in form 8), and one
// that does not fit, or that would carry a field with a blank or a control
// character, must be refused whole, never cut short.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cctype>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "config/config_command.h"
#include "config/md5.h"
#include "support/fuzz_check.h"
#include "support/record_fields.h"

using namespace velkarin;
using namespace velkarin::fuzz;

namespace {

std::string Print(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  std::vsnprintf(&text[0], text.size(), format, again);
  va_end(again);
  text.resize(static_cast<std::size_t>(length));
  return text;
}

struct Command {
  std::string text;          // with the 32 zeros in form 8
  std::size_t digestAt = 0;  // form 8 only
  bool authenticated = false;
};

Command Reference(const DeviceRecord& record, const char* password) {
  std::string id = record.deviceId.c_str();
  std::int32_t index = record.deviceIndex;
  std::int32_t suffix = record.commandSuffix;
  if (id.empty()) {
    id = Print("%06X", static_cast<unsigned>(record.serial));
    index = -1;
    suffix = -1;
  }
  const char* dhcp = record.dhcp != 0 ? "1" : "0";
  const char* ip = record.dhcp != 0 ? "" : record.ipAddress.c_str();
  const char* mask = record.dhcp != 0 ? "" : record.netmask.c_str();
  const char* gateway = record.dhcp != 0 ? "" : record.gateway.c_str();

  Command command;
  if (password != nullptr) {
    if (index == -1) index = 2;
    if (suffix == -1) suffix = 0;
    command.authenticated = true;
    command.text = Print("%s 8 ", id.c_str());
    command.digestAt = command.text.size();
    command.text += Print("00000000000000000000000000000000 %i %s %s %s %s %i", index, dhcp, ip,
                          mask, gateway, suffix);
  } else if (suffix > 0) {
    command.text =
        Print("%s 3 %d %s %s %s %s %d", id.c_str(), index, dhcp, ip, mask, gateway, suffix);
  } else if (index >= 0) {
    command.text = Print("%s 4 %d %s %s %s %s", id.c_str(), index, dhcp, ip, mask, gateway);
  } else {
    command.text = Print("%s 5 %s %s %s %s", id.c_str(), dhcp, ip, mask, gateway);
  }
  return command;
}

// A blank or a control character (the C locale's) splits or ends a field on
// the device's side.
bool SplitsAField(const std::string& text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == ' ' || std::iscntrl(byte)) return true;
  }
  return false;
}

bool CarriesASplitField(const DeviceRecord& record) {
  if (SplitsAField(record.deviceId)) return true;
  return record.dhcp == 0 && (SplitsAField(record.ipAddress) || SplitsAField(record.netmask) ||
                              SplitsAField(record.gateway));
}

std::string Text(FuzzedDataProvider& input, const char* const* usual, std::size_t count) {
  const std::uint8_t choice = input.ConsumeIntegral<std::uint8_t>();
  if (choice < 160) return usual[choice % count];
  return input.ConsumeRandomLengthString(choice < 240 ? 40 : 260);
}

std::int32_t Number(FuzzedDataProvider& input) {
  static const std::int32_t usual[] = {-1, 0, 1, 2, 5, -2, 2147483647, -2147483647 - 1};
  const std::uint8_t choice = input.ConsumeIntegral<std::uint8_t>();
  if (choice < 200) return usual[choice % 8];
  return input.ConsumeIntegral<std::int32_t>();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  static const char* const kIds[] = {"", "0050C2123456", "dev", "A"};
  static const char* const kAddresses[] = {"", "192.168.1.20", "255.255.255.0", "10.1",
                                           "255.255.255.255"};

  DeviceRecord record;
  record.serial = input.ConsumeBool() ? 0xA1B2u : input.ConsumeIntegral<std::uint32_t>();
  record.deviceId = Text(input, kIds, 4);
  record.deviceIndex = Number(input);
  record.commandSuffix = Number(input);
  record.dhcp = input.ConsumeBool() ? 0 : Number(input);
  record.ipAddress = Text(input, kAddresses, 5);
  record.netmask = Text(input, kAddresses, 5);
  record.gateway = Text(input, kAddresses, 5);
  record.name = input.ConsumeRandomLengthString(20);  // not part of any command

  const bool hasPassword = input.ConsumeBool();
  const std::string passwordText = input.ConsumeRandomLengthString(40);
  const char* password = hasPassword ? passwordText.c_str() : nullptr;
  ConfigChallenge challenge{};
  for (std::uint8_t& byte : challenge) byte = input.ConsumeIntegral<std::uint8_t>();

  const std::optional<std::string> built = BuildConfigCommand(record, password, challenge);
  const Command expected = Reference(record, password);
  const std::string where = Describe(record) + (password ? " password " + Quoted(password) : "");

  if (CarriesASplitField(record)) {
    FUZZ_CHECK(!built, "a command with a split field was not refused: " + where);
    return 0;
  }
  if (expected.text.size() > kCommandBufferSize - 1) {
    FUZZ_CHECK(!built, "a command of " + std::to_string(expected.text.size()) +
                           " characters was not refused: " + where);
    return 0;
  }
  FUZZ_CHECK(built.has_value(), "a command that fits was refused: " + where);
  const std::string& text = *built;
  FUZZ_CHECK(text.size() == expected.text.size() && text.find('\0') == std::string::npos,
             "built " + Quoted(text) + "\nexpected " + Quoted(expected.text) + "\n" + where);
  if (!expected.authenticated) {
    FUZZ_CHECK(text == expected.text,
               "built " + Quoted(text) + "\nexpected " + Quoted(expected.text) + "\n" + where);
    return 0;
  }

  std::string withZeros = text;
  withZeros.replace(expected.digestAt, 32, 32, '0');
  FUZZ_CHECK(withZeros == expected.text,
             "built " + Quoted(text) + "\nexpected " + Quoted(expected.text) + "\n" + where);
  std::size_t passwordLength = 0;
  while (passwordLength < kPasswordDigestCap && password[passwordLength] != '\0') ++passwordLength;
  Md5 md5;
  md5.Add(password, passwordLength);
  md5.Add(challenge.data(), challenge.size());
  md5.Add(expected.text.data(), expected.text.size());
  std::string digest;
  for (std::uint8_t byte : md5.Finish()) digest += Print("%02X", byte);
  FUZZ_CHECK(text.compare(expected.digestAt, 32, digest) == 0,
             "digest of " + Quoted(expected.text) + " is " + digest + ", built " + Quoted(text));
  return 0;
}
