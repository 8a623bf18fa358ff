// velkarin plan: one scan, and a plan for apply that hands the devices heard
// consecutive fixed addresses of a range.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cli/commands/builders.h"
#include "cli/commands/commands.h"
#include "cli/commands/destination_text.h"
#include "cli/output/device_csv.h"
#include "cli/output/device_table.h"
#include "cli/output/display_text.h"
#include "cli/output/file_io.h"
#include "cli/output/result_words.h"
#include "cli/output/scan_listing.h"
#include "cli/output/text_encoding.h"
#include "cli/output/text_output.h"
#include "cli/output/warnings.h"
#include "cli/terminal/terminal.h"
#include "config/address_rules.h"
#include "engine/device_collector.h"
#include "protocol/address.h"

namespace velkarin::cli {
namespace {

struct Range {
  std::uint32_t first = 0;
  std::uint32_t prefix = 0;
  std::uint32_t mask = 0;
  std::uint32_t network = 0;
  std::uint32_t broadcast = 0;
};

// ADDRESS/PREFIX: the first address to give and its subnet; "" or the problem.
std::string ReadRange(const std::string& text, Range& range) {
  std::string usage = "invalid --from '" + text + "' (ADDRESS/PREFIX, as 192.168.0.20/24)";
  const std::size_t slash = text.find('/');
  if (slash == std::string::npos) return usage;
  const std::string address = text.substr(0, slash);
  const std::string prefix = text.substr(slash + 1);
  if (!IsValidAddressText(address) || prefix.empty() || prefix.size() > 2 ||
      prefix.find_first_not_of("0123456789") != std::string::npos) {
    return usage;
  }
  range.prefix = static_cast<std::uint32_t>(std::stoul(prefix));
  // A /31 or /32 has no room for a plan's devices beside its own ends.
  if (range.prefix < 8 || range.prefix > 30) return usage + ": the prefix is 8 to 30";
  range.first = *ParseIpv4(address);
  range.mask = ~std::uint32_t{0} << (32 - range.prefix);
  range.network = range.first & range.mask;
  range.broadcast = range.network | ~range.mask;
  if (range.first == range.network || range.first == range.broadcast) {
    return "--from " + text + " is the subnet's network or broadcast address; start at a host";
  }
  return "";
}

bool Chosen(const ScannedDevice& d, const PlanOptions& options) {
  const bool select = options.withoutAddress || options.conflicts || !options.serials.empty();
  if (!select) return true;
  if (options.withoutAddress && IsPlaceholder(AddressValue(d.record.ipAddress))) return true;
  if (options.conflicts && (d.record.statusFlags & STATUS_IP_CLASH) != 0) return true;
  return std::find(options.serials.begin(), options.serials.end(), d.record.serial) !=
         options.serials.end();
}

}  // namespace

int RunPlan(const PlanOptions& options) {
  Range range;
  if (const std::string problem = ReadRange(options.from, range); !problem.empty()) {
    return ValueError(problem);
  }
  const std::string netmask = DottedDecimal(range.mask);
  std::optional<std::uint32_t> gateway;
  if (!options.gateway.empty()) {
    if (!IsValidAddressText(options.gateway)) {
      return ValueError("invalid --gateway '" + options.gateway + "'");
    }
    gateway = ParseIpv4(options.gateway);
    if ((*gateway & ~(range.broadcast ^ range.network)) != range.network) {
      return ValueError("gateway " + options.gateway + " lies outside " +
                        DottedDecimal(range.network) + "/" + std::to_string(range.prefix));
    }
  }
  std::vector<ScanTarget> targets;
  if (const int status =
          ChooseScanTargets(options.broadcasts, options.interfaces, options.destination, targets)) {
    return status;
  }
  InstallInterruptHandler();
  const ScanTiming timing = ScanTimingFor(options.scanSeconds);
  ScanResult scan;
  {
    Spinner spinner;
    scan = ScanDevices(targets, timing, [&] {
      spinner.Tick("looking for devices (" + DestinationText(options.destination) + ")");
      return !Interrupted();
    });
  }
  if (Interrupted()) return InterruptSignal() == SIGTERM ? EXIT_TERMINATED : EXIT_INTERRUPTED;
  if (scan.channelsOpen == 0) {
    WriteText(stderr, "velkarin: cannot open a socket for discovery\n");
    return EXIT_ERROR;
  }
  WarnIfScanIncomplete(scan, targets.size(), timing.maxScanMs / 1000.0, " (--scan-seconds)");

  // Addresses are unique per network: each interface's devices get their
  // own run from the first address, past what is announced there now.
  std::map<std::string, std::set<std::uint32_t>> taken;
  for (const ScannedDevice& d : scan.devices) {
    taken[d.interfaceName].insert(AddressValue(d.record.ipAddress));
  }
  std::map<std::string, std::uint32_t> next;
  std::vector<std::vector<std::string>> rows = {{}};
  std::vector<ScannedDevice> planned;
  const std::vector<platform::NetInterface> up = platform::ListIpv4Interfaces();
  std::set<std::string> warnedInterfaces;
  for (const ScannedDevice& d : scan.devices) {
    if (!Chosen(d, options)) continue;
    // The same device heard behind two interfaces (one network on two
    // adapters) is planned once, where it was heard first.
    const bool again = std::any_of(planned.begin(), planned.end(), [&](const ScannedDevice& p) {
      return p.record.serial == d.record.serial &&
             SameTextIgnoringCase(p.record.deviceId, d.record.deviceId);
    });
    if (again) continue;
    std::uint32_t& address = next.emplace(d.interfaceName, range.first).first->second;
    while (address < range.broadcast &&
           (taken[d.interfaceName].count(address) > 0 || (gateway && *gateway == address))) {
      ++address;
    }
    if (address >= range.broadcast) {
      std::size_t count = 0;
      for (const ScannedDevice& c : scan.devices) count += Chosen(c, options) ? 1 : 0;
      return ValueError("the range from " + DottedDecimal(range.first) + " to " +
                        DottedDecimal(range.broadcast - 1) + " runs out before device " +
                        SerialText(d.record.serial) + (d.interfaceName.empty() ? "" : " on ") +
                        DisplayUtf8(d.interfaceName) + " (" + CountText(count, "device") +
                        " chosen); start lower or take a shorter prefix");
    }
    const std::string ip = DottedDecimal(address++);
    const std::string warning = OutsideSubnetWarning(ip, d.interfaceName, up);
    if (!warning.empty() && warnedInterfaces.insert(d.interfaceName).second) {
      PrintWarning(warning);
    }
    planned.push_back(d);
    rows.push_back(
        {SerialText(d.record.serial), Latin1ToUtf8(d.record.name), Latin1ToUtf8(d.record.deviceId),
         "No", ip, netmask, gateway ? DottedDecimal(*gateway) : "",
         d.interfaceName.empty() ? "-" : d.interfaceName, Latin1ToUtf8(d.record.ipAddress)});
  }
  // The plan reader's columns; '#' columns are for people (what the device
  // announced when the plan was made).
  const std::vector<std::string> header = {"serial",  "name",    "device_id", "dhcp",      "ip",
                                           "netmask", "gateway", "interface", "#announced"};
  // As list writes its CSV: a file for a spreadsheet with the mark that
  // tells it UTF-8, in the user's list separator.
  CsvForm form;
  form.separator = DefaultCsvSeparator();
#ifdef _WIN32
  form.byteOrderMark = !options.outputPath.empty() || FormOf(stdout) != TextForm::kWideConsole;
#else
  form.byteOrderMark = !options.outputPath.empty();
#endif
  const std::string csv = FormatCsvRows(rows, header, form);
  if (options.outputPath.empty()) {
    if (!WriteText(stdout, csv, /*exactLineEnds=*/true)) return EXIT_ERROR;  // main says why
  } else {
    std::string reason;
    if (!WriteWholeFile(options.outputPath, csv, reason)) {
      WriteText(stderr, "velkarin: cannot write " + options.outputPath + ": " + reason + "\n");
      return EXIT_ERROR;
    }
  }
  if (planned.empty()) {
    WriteText(stderr, scan.devices.empty()
                          ? NoDeviceAnsweredText(options.destination) + "\n"
                          : "velkarin: no device heard is chosen; the plan has its header only\n");
  } else if (!options.outputPath.empty()) {
    WriteText(stderr, "velkarin: planned " + CountText(planned.size(), "device") + " in " +
                          options.outputPath + "; review it, then: velkarin apply " +
                          options.outputPath + "\n");
  }
  return EXIT_OK;
}

}  // namespace velkarin::cli
