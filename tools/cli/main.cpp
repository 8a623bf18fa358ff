// velkarin: lists the devices that answer discovery on the local network and
// sends one of them a new IP configuration.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "cli/address_entry.h"
#include "cli/commands.h"
#include "cli/destination_text.h"
#include "cli/display_text.h"
#include "cli/result_words.h"
#include "cli/text_encoding.h"
#include "cli/text_output.h"

#ifdef _WIN32
#include <windows.h>
// shellapi.h needs the types of windows.h.
#include <shellapi.h>
#endif

namespace {

using namespace velkarin::cli;

int UsageError(const std::string& message) {
  WriteText(stderr,
            "velkarin: " + DisplayUtf8(message) + "\nRun with --help for more information.\n");
  return EXIT_USAGE;
}

// A text the device gets (given in UTF-8) in its bytes, or a usage error.
std::optional<std::string> WireText(const std::string& option, const std::string& utf8,
                                    int& status) {
  std::string problem;
  std::optional<std::string> latin1 = Utf8ToLatin1(utf8, problem);
  if (!latin1) {
    status = UsageError("invalid " + option + " '" + utf8 + "': " + problem +
                        "; devices take Latin-1 text");
  }
  return latin1;
}

// Checked as the configuration form checks its entries.
std::optional<std::string> CheckAddresses(const SetOptions& set) {
  velkarin::DeviceRecord record;
  record.ipAddress = set.ipAddress;
  record.netmask = set.netmask;
  record.gateway = set.gateway;
  const char* field = velkarin::FirstInvalidAddressEntry(record);
  if (field == nullptr) return std::nullopt;
  const std::string& text = std::string(field) == "IP address" ? set.ipAddress
                            : std::string(field) == "netmask"  ? set.netmask
                                                               : set.gateway;
  return "invalid " + std::string(field) + " '" + text + "'";
}

constexpr const char* kBroadcastHelp =
    "send discovery and commands to ADDRESS[:PORT] instead of 255.255.255.255:8001";

int Run(int argc, char** argv) {
  CLI::App app{
      "Finds the devices that answer discovery on the local network and sends one of "
      "them a new IP configuration.",
      "velkarin"};
  app.footer(ExitCodeHelp());
  app.require_subcommand(1, 1);

  ListOptions listOptions;
  std::string listBroadcast;
  CLI::App* list = app.add_subcommand("list", "List the devices found by one discovery cycle");
  CLI::Option* json = list->add_flag("--json", listOptions.json,
                                     "print a JSON array of device records instead of a table "
                                     "(ASCII: other characters as \\u escapes)");
  list->add_flag("--csv", listOptions.csv,
                 "print the table as CSV in UTF-8 with a header row of field names (on "
                 "Windows with a byte-order mark, so that spreadsheets show the letters right)")
      ->excludes(json);
  list->add_flag("--watch", listOptions.watch,
                 "keep running and print the list again whenever it changes, until Ctrl-C "
                 "(with --json, one array per line; with --csv, a blank line between lists)");
  CLI::Option* listBroadcastOption =
      list->add_option("--broadcast", listBroadcast, kBroadcastHelp)->type_name("ADDRESS[:PORT]");
  list->footer(ExitCodeHelp());

  SetOptions setOptions;
  std::string serialText;
  std::string setBroadcast;
  std::string password;
  CLI::App* set =
      app.add_subcommand("set", "Give the device with serial number SERIAL a new IP configuration");
  set->add_option("SERIAL", serialText, "the serial number as `list` shows it (hexadecimal)")
      ->required();
  CLI::Option* dhcp = set->add_flag("--dhcp", setOptions.dhcp, "let the device use DHCP");
  CLI::Option* ip =
      set->add_option("--ip", setOptions.ipAddress, "fixed IP address")->type_name("ADDRESS");
  CLI::Option* netmask =
      set->add_option("--netmask", setOptions.netmask, "netmask (with --ip)")->type_name("MASK");
  CLI::Option* gateway = set->add_option("--gateway", setOptions.gateway,
                                         "gateway (with --ip; may be empty or 0.0.0.0)")
                             ->type_name("GATEWAY");
  dhcp->excludes(ip)->excludes(netmask)->excludes(gateway);
  ip->needs(netmask);
  netmask->needs(ip);
  gateway->needs(ip);
  set->add_option("--device-id", setOptions.deviceId,
                  "the identifier the device announces: tells apart devices that share a "
                  "serial number, and makes sure the device is the one meant (it must "
                  "announce both SERIAL and ID, or nothing is sent)")
      ->type_name("ID");
  CLI::Option* passwordOption =
      set->add_option("--password", password,
                      "send the authenticated command (20 characters at most)")
          ->type_name("PASSWORD");
  CLI::Option* setBroadcastOption =
      set->add_option("--broadcast", setBroadcast, kBroadcastHelp)->type_name("ADDRESS[:PORT]");
  set->footer(ExitCodeHelp());

  // CLI11 would only say that a command is missing.
  if (argc > 1 && argv[1][0] != '-' && std::string(argv[1]) != "list" &&
      std::string(argv[1]) != "set") {
    return UsageError("unknown command '" + std::string(argv[1]) + "' (use list or set)");
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? EXIT_OK : EXIT_USAGE;
  }

  if (list->parsed()) {
    if (listBroadcastOption->count() > 0) {
      const auto destination = ParseDestination(listBroadcast);
      if (!destination) return UsageError("invalid --broadcast '" + listBroadcast + "'");
      listOptions.destination = *destination;
    }
    return RunList(listOptions);
  }

  const auto serial = ParseSerialText(serialText);
  if (!serial) {
    return UsageError("invalid serial number '" + serialText + "' (1 to 8 hexadecimal digits)");
  }
  setOptions.serial = *serial;
  if (!setOptions.dhcp && ip->count() == 0) {
    return UsageError("set needs --dhcp, or --ip with --netmask");
  }
  if (!setOptions.dhcp) {
    if (const auto problem = CheckAddresses(setOptions)) {
      return UsageError("invalid IP configuration: " + *problem);
    }
    velkarin::DeviceRecord entries;
    entries.ipAddress = setOptions.ipAddress;
    entries.netmask = setOptions.netmask;
    entries.gateway = setOptions.gateway;
    // The device gets the values that were checked, in plain dotted decimal.
    velkarin::CanonicalizeAddressEntries(entries);
    setOptions.ipAddress = entries.ipAddress;
    setOptions.netmask = entries.netmask;
    setOptions.gateway = entries.gateway;
  }
  int status = EXIT_OK;
  // Device texts are Latin-1 bytes: the identifier is compared with the one the
  // device announces, so its letters must become those bytes.
  const auto deviceId = WireText("--device-id", setOptions.deviceId, status);
  if (!deviceId) return status;
  setOptions.deviceId = *deviceId;
  if (!velkarin::IsCommandFieldText(setOptions.deviceId)) {
    return UsageError("invalid --device-id '" + Latin1ToUtf8(setOptions.deviceId) +
                      "': it may hold no blank and no control character");
  }
  if (setBroadcastOption->count() > 0) {
    const auto destination = ParseDestination(setBroadcast);
    if (!destination) return UsageError("invalid --broadcast '" + setBroadcast + "'");
    setOptions.destination = *destination;
  }
  if (passwordOption->count() > 0) {
    const auto wirePassword = WireText("--password", password, status);
    if (!wirePassword) return status;
    setOptions.password = *wirePassword;
  }
  return RunSet(setOptions);
}

// The arguments in UTF-8. On Windows main's argv holds them in the ANSI code
// page, which turns letters it lacks into '?'; the wide command line has them
// all.
std::vector<std::string> Utf8Arguments(int argc, char** argv) {
#ifdef _WIN32
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide != nullptr) {
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) {
      const std::wstring argument = wide[i];
      arguments.push_back(Utf16ToUtf8(std::u16string(argument.begin(), argument.end())));
    }
    LocalFree(static_cast<HLOCAL>(wide));
    return arguments;
  }
#endif
  return std::vector<std::string>(argv, argv + argc);
}

}  // namespace

int main(int argc, char** argv) {
  // What the option parser or the library throws beyond the parse errors
  // (out of memory, a system error starting a thread) ends the tool with a
  // message, not with an abort.
  try {
    std::vector<std::string> arguments = Utf8Arguments(argc, argv);
    std::vector<char*> pointers;
    pointers.reserve(arguments.size() + 1);
    for (std::string& argument : arguments) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    return Run(static_cast<int>(arguments.size()), pointers.data());
  } catch (const std::exception& error) {
    WriteText(stderr, "velkarin: " + DisplayUtf8(error.what()) + "\n");
    return EXIT_ERROR;
  }
}
