// velkarin: lists the devices that answer discovery on the local network and
// sends one of them a new IP configuration.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "cli/address_entry.h"
#include "cli/commands.h"
#include "cli/destination_text.h"
#include "cli/display_text.h"
#include "cli/password_source.h"
#include "cli/result_words.h"
#include "cli/set_entries.h"
#include "cli/set_interface.h"
#include "cli/terminal.h"
#include "cli/text_encoding.h"
#include "cli/text_output.h"
#include "velkarin_version.h"

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
  const velkarin::DeviceRecord record = ConfigurationRecord(set);
  const char* field = velkarin::FirstInvalidAddressEntry(record);
  if (field == nullptr) return std::nullopt;
  const std::string& text = std::string(field) == "IP address" ? set.ipAddress
                            : std::string(field) == "netmask"  ? set.netmask
                                                               : set.gateway;
  return "invalid " + std::string(field) + " '" + text + "'";
}

constexpr const char* kBroadcastHelp =
    "send discovery and commands to ADDRESS[:PORT] instead of 255.255.255.255:8001";
constexpr const char* kInterfaceHelp =
    "send by the interface NAME only (list: repeatable; by default every interface that "
    "can broadcast; set: by default the one the device is heard on)";

int Run(int argc, char** argv) {
  CLI::App app{
      "Finds the devices that answer discovery on the local network and sends one of "
      "them a new IP configuration.",
      "velkarin"};
  app.footer(ExitCodeHelp(HelpScope::kAll));
  app.set_version_flag("--version", std::string("velkarin ") + VELKARIN_VERSION_TEXT,
                       "Print the version and exit");
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
  list->add_option("--interface", listOptions.interfaces, kInterfaceHelp)->type_name("NAME");
  list->add_flag("--cycle", listOptions.cycle,
                 "list what one cycle of the discovery engine finds, as the property page does "
                 "(at most 202 devices, by the system's choice of interface)");
  list->add_option("--scan-seconds", listOptions.scanSeconds,
                   "end the scan after this many seconds even if answers keep coming (3)")
      ->check(CLI::Range(0.1, 3600.0));
  list->footer(ExitCodeHelp(HelpScope::kList));

  SetOptions setOptions;
  std::string serialText;
  std::string setBroadcast;
  std::string password;
  CLI::App* set =
      app.add_subcommand("set", "Give the device with serial number SERIAL a new IP configuration");
  set->add_option("SERIAL", serialText, "the serial number as `list` shows it (hexadecimal)")
      ->required();
  CLI::Option* dhcp = set->add_flag("--dhcp", setOptions.dhcp, "let the device use DHCP");
  CLI::Option* ip = set->add_option("--ip", setOptions.ipAddress,
                                    "fixed IP address; ADDRESS/PREFIX (10.0.0.5/24) gives the "
                                    "netmask too")
                        ->type_name("ADDRESS[/PREFIX]");
  CLI::Option* netmask =
      set->add_option("--netmask", setOptions.netmask, "netmask (with --ip)")->type_name("MASK");
  CLI::Option* gateway = set->add_option("--gateway", setOptions.gateway,
                                         "gateway (with --ip; may be empty or 0.0.0.0)")
                             ->type_name("GATEWAY");
  dhcp->excludes(ip)->excludes(netmask)->excludes(gateway);
  netmask->needs(ip);
  gateway->needs(ip);
  set->add_option("--device-id", setOptions.deviceId,
                  "the identifier the device announces: tells apart devices that share a "
                  "serial number, and makes sure the device is the one meant (it must "
                  "announce both SERIAL and ID, or nothing is sent)")
      ->type_name("ID");
  CLI::Option* passwordOption =
      set->add_option("--password", password,
                      "send the authenticated command (20 characters at most); without a "
                      "value, ask for it on the terminal without echo")
          ->expected(0, 1)
          ->type_name("[PASSWORD]");
  std::string passwordFile;
  CLI::Option* passwordFileOption =
      set->add_option("--password-file", passwordFile,
                      "read the password from the first line of FILE (- for standard input); "
                      "VELKARIN_PASSWORD is used when neither option is given")
          ->type_name("FILE")
          ->excludes(passwordOption);
  set->add_option("--interface", setOptions.interfaces, kInterfaceHelp)->type_name("NAME");
  set->add_flag("--quiet", setOptions.quiet,
                "print no warnings (about the entries or an address another device announces)");
  CLI::Option* setBroadcastOption =
      set->add_option("--broadcast", setBroadcast, kBroadcastHelp)->type_name("ADDRESS[:PORT]");
  set->footer(ExitCodeHelp(HelpScope::kSet));

  // CLI11 would only say that a command is missing.
  if (argc > 1 && argv[1][0] != '-' && std::string(argv[1]) != "list" &&
      std::string(argv[1]) != "set") {
    return UsageError("unknown command '" + std::string(argv[1]) + "' (use list or set)");
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // Help goes out as CLI11 writes it; errors get the tool's own prefix.
    if (error.get_exit_code() == 0) return app.exit(error) == 0 ? EXIT_OK : EXIT_USAGE;
    return UsageError(error.what());
  }

  if (list->parsed()) {
    if (listBroadcastOption->count() > 0) {
      const auto destination = ParseDestination(listBroadcast);
      if (!destination) return UsageError("invalid --broadcast '" + listBroadcast + "'");
      listOptions.destination = *destination;
      listOptions.broadcastGiven = true;
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
    if (const auto problem = TakeIpPrefix(setOptions, netmask->count() > 0)) {
      return UsageError(*problem);
    }
    if (const auto problem = CheckAddresses(setOptions)) {
      return UsageError("invalid IP configuration: " + *problem);
    }
    if (const auto problem = AssignmentProblem(setOptions)) return UsageError(*problem);
    velkarin::DeviceRecord entries = ConfigurationRecord(setOptions);
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
    setOptions.broadcastGiven = true;
  }
  PasswordSources sources;
  sources.option = passwordOption->count() > 0;
  sources.optionValue = password;
  if (passwordFileOption->count() > 0) sources.file = passwordFile;
  sources.environment = std::getenv("VELKARIN_PASSWORD");
  const PasswordOutcome secret = ResolvePassword(sources);
  if (!secret.error.empty()) return UsageError(secret.error);
  if (!secret.warning.empty())
    std::fprintf(stderr, "velkarin: warning: %s\n", secret.warning.c_str());
  if (secret.password) {
    const auto wirePassword = WireText("--password", *secret.password, status);
    if (!wirePassword) return status;
    setOptions.password = *wirePassword;
  }
  if (const auto problem = BadArgumentProblem(setOptions)) return UsageError(*problem);
  const std::string interfaceProblem = ChooseSetInterface(setOptions);
  if (!interfaceProblem.empty()) return UsageError(interfaceProblem);
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
  int status = EXIT_ERROR;
  try {
    std::vector<std::string> arguments = Utf8Arguments(argc, argv);
    std::vector<char*> pointers;
    pointers.reserve(arguments.size() + 1);
    for (std::string& argument : arguments) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    status = Run(static_cast<int>(arguments.size()), pointers.data());
  } catch (const std::exception& error) {
    WriteText(stderr, "velkarin: " + DisplayUtf8(error.what()) + "\n");
  }
  // A result that never reached its reader (a full disk, a closed pipe) is
  // a failure, whatever was done.
  if (!FlushOutput()) {
    std::fprintf(stderr, "velkarin: %s\n", OutputFailure().c_str());
    if (status == EXIT_OK) status = EXIT_ERROR;
  }
  return status;
}
