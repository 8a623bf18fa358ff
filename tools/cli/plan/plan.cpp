#include "cli/plan/plan.h"

#include <algorithm>
#include <map>
#include <optional>

#include "cli/commands/set_entries.h"
#include "cli/output/device_table.h"
#include "cli/output/text_encoding.h"
#include "cli/plan/address_entry.h"
#include "cli/plan/csv_reader.h"
#include "cli/plan/edit_distance.h"
#include "config/address_rules.h"
#include "protocol/address.h"

namespace velkarin::cli {
namespace {

enum Column {
  kSerial,
  kDeviceId,
  kDhcp,
  kIp,
  kNetmask,
  kGateway,
  kInterface,
  kPassword,
  kName,
  kIgnored
};

struct ColumnName {
  const char* name;
  Column column;
};

// The plan's own names first, then those of `list --csv` and of the report,
// then the notes people add (read by no one but people).
const ColumnName kColumns[] = {
    {"serial", kSerial},
    {"device_id", kDeviceId},
    {"dhcp", kDhcp},
    {"ip", kIp},
    {"netmask", kNetmask},
    {"gateway", kGateway},
    {"interface", kInterface},
    {"password", kPassword},
    {"serialtext", kSerial},
    {"deviceid", kDeviceId},
    {"ipaddress", kIp},
    {"name", kName},
    {"status", kIgnored},
    {"line", kIgnored},
    {"result", kIgnored},
    {"detail", kIgnored},
    {"commands", kIgnored},
    {"note", kIgnored},
    {"notes", kIgnored},
    {"comment", kIgnored},
    {"location", kIgnored},
    {"description", kIgnored},
    {"bemerkung", kIgnored},
    {"notiz", kIgnored},
    {"kommentar", kIgnored},
    {"standort", kIgnored},
    {"beschreibung", kIgnored},
};

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// A column nobody knows is refused, never ignored: a mistyped "gateway"
// would otherwise configure devices without one.
std::string UnknownColumnText(const std::string& name) {
  const std::string lower = Lower(name);
  const char* nearest = nullptr;
  std::size_t best = std::max<std::size_t>(2, lower.size() / 3) + 1;
  for (const ColumnName& c : kColumns) {
    const std::size_t d = EditDistance(lower, c.name);
    if (d < best) {
      best = d;
      nearest = c.name;
    }
  }
  std::string text = "unknown column '" + name + "'";
  if (nearest != nullptr) text += ": did you mean " + std::string(nearest) + "?";
  if (name.empty()) text = "a column has no name";
  return text +
         " (columns: serial, device_id, dhcp, ip, netmask, gateway, interface; ignored: name, "
         "status, note, location, and any whose name starts with '#')";
}

bool IsBlank(const std::string& text) { return text.find_first_not_of(" \t") == std::string::npos; }

std::string Trimmed(const std::string& text) {
  if (IsBlank(text)) return std::string();
  return text.substr(text.find_first_not_of(" \t"),
                     text.find_last_not_of(" \t") - text.find_first_not_of(" \t") + 1);
}

EntryNames PlanEntryNames() {
  EntryNames names;
  names.ip = "ip";
  names.netmask = "netmask";
  names.gateway = "gateway";
  names.deviceId = "device_id";
  names.password = "password";
  names.serial = "serial";
  return names;
}

// " (device 00C0DE, Press-2)": how a problem names the row's device.
std::string DeviceText(const PlanRow& row) {
  return " (device " + SerialText(row.entries.serial) + (row.name.empty() ? "" : ", " + row.name) +
         ")";
}

bool SameAddressText(const std::string& a, const std::string& b) {
  return a == b || (ParseIpv4(a) && ParseIpv4(b) && SameAddress(a, b));
}

// As spreadsheets write a truth value, in English and in German.
const char* const kYesWords[] = {"y", "yes", "j", "ja", "true", "1", "wahr"};
const char* const kNoWords[] = {"", "no", "n", "false", "0", "nein", "falsch"};

// The row's device and configuration, or the first problem found in it.
std::optional<PlanRow> ReadRow(const CsvRecord& record, const std::map<Column, std::size_t>& at,
                               PlanProblem& problem) {
  auto field = [&](Column c) -> std::string {
    const auto it = at.find(c);
    return it == at.end() ? std::string() : record.fields[it->second];
  };
  PlanRow row;
  row.line = record.line;
  row.name = field(kName);
  SetOptions& entries = row.entries;
  // Once the serial is read, a problem names the device as people know it.
  std::string device;
  auto refuse = [&](const std::string& name, const std::string& message) {
    problem = {record.line, name, message + device};
    return std::nullopt;
  };
  const std::string serialText = field(kSerial);
  const std::optional<std::uint32_t> serial = ParseSerialText(serialText);
  if (!serial) {
    return refuse("serial",
                  "invalid serial number '" + serialText + "' (1 to 8 hexadecimal digits)");
  }
  entries.serial = *serial;
  device = DeviceText(row);
  const std::optional<bool> dhcp = ReadYesNo(field(kDhcp));
  if (!dhcp) return refuse("dhcp", "invalid dhcp '" + field(kDhcp) + "' (yes or no)");
  entries.dhcp = *dhcp;
  // A DHCP row keeps what the other columns say: list's CSV shows the
  // addresses a DHCP device got.
  if (entries.dhcp) {
    row.dhcpAddresses = {field(kIp), field(kNetmask), field(kGateway)};
  } else {
    entries.ipAddress = field(kIp);
    entries.netmask = field(kNetmask);
    entries.gateway = field(kGateway);
    if (entries.ipAddress.empty()) {
      return refuse("ip", "a row needs dhcp yes, or ip and netmask");
    }
  }
  entries.deviceId = field(kDeviceId);
  row.interfaceName = field(kInterface);
  // As list shows a device heard where the system chose the interface.
  if (row.interfaceName == "-") row.interfaceName.clear();
  const EntryNames names = PlanEntryNames();
  if (auto bad = CheckConfigurationEntries(entries, !entries.netmask.empty(), names)) {
    return refuse(bad->field, bad->message);
  }
  const std::string password = field(kPassword);
  if (!password.empty()) {
    std::string why;
    const std::optional<std::string> wire = WireText("password", password, why);
    if (!wire) return refuse("password", "invalid password: it holds a letter no device takes");
    entries.password = *wire;
  }
  // Checked with the row's own password; the plan's is checked once known.
  if (auto bad = BadArgumentProblem(entries, names)) return refuse(bad->field, bad->message);
  return row;
}

// The same configuration for the same device: one row of work.
bool SameWork(const PlanRow& a, const PlanRow& b) {
  const SetOptions& x = a.entries;
  const SetOptions& y = b.entries;
  bool same = x.dhcp == y.dhcp && x.password == y.password &&
              SameTextIgnoringCase(x.deviceId, y.deviceId) &&
              SameAddressText(x.ipAddress, y.ipAddress) && SameAddressText(x.netmask, y.netmask) &&
              SameAddressText(x.gateway, y.gateway);
  for (std::size_t i = 0; same && i < a.dhcpAddresses.size(); ++i) {
    same = same && SameAddressText(a.dhcpAddresses[i], b.dhcpAddresses[i]);
  }
  return same;
}

bool SameDevice(const PlanRow& a, const PlanRow& b) {
  if (a.entries.serial != b.entries.serial) return false;
  // A row without an identifier names every device with its serial.
  return a.entries.deviceId.empty() || b.entries.deviceId.empty() ||
         SameTextIgnoringCase(a.entries.deviceId, b.entries.deviceId);
}

// An address is unique per network: cells built alike sit behind adapters of
// their own and may use one address scheme. A row naming no adapter may
// land on any of them.
bool SameNetwork(const PlanRow& a, const PlanRow& b) {
  return a.interfaceName.empty() || b.interfaceName.empty() || a.interfaceName == b.interfaceName;
}

}  // namespace

Plan ReadPlan(const std::string& text, bool allowPasswordColumn) {
  Plan plan;
  std::string utf8;
  const bool littleEndian = text.compare(0, 2, "\xFF\xFE") == 0;
  if (littleEndian || text.compare(0, 2, "\xFE\xFF") == 0) {
    // Windows PowerShell 5.1 redirects output as UTF-16, Excel saves "Unicode Text" so.
    if (text.size() % 2 != 0) {
      plan.problems.push_back(
          {0, "", "the plan is UTF-16 text cut short (an odd number of bytes)"});
      return plan;
    }
    std::u16string wide;
    for (std::size_t i = 2; i < text.size(); i += 2) {
      const auto low = static_cast<unsigned char>(text[littleEndian ? i : i + 1]);
      const auto high = static_cast<unsigned char>(text[littleEndian ? i + 1 : i]);
      wide.push_back(static_cast<char16_t>(high << 8 | low));
    }
    utf8 = Utf16ToUtf8(wide);
  } else {
    // The mark says UTF-8, but some programs put it before Windows-1252 text.
    utf8 = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? text.substr(3) : text;
    // Spreadsheets on western Windows save CSV in its ANSI code page.
    plan.readAsWindows1252 = !IsUtf8(utf8);
    if (plan.readAsWindows1252) utf8 = Windows1252ToUtf8(utf8);
  }
  const CsvText csv = ReadCsv(utf8);
  plan.separator = csv.separator;
  if (csv.records.empty()) {
    if (!csv.error.empty()) {
      plan.problems.push_back({0, "", csv.error});
    } else {
      plan.problems.push_back({1, "", "the plan is empty; it needs a header row of column names"});
    }
    return plan;
  }
  const CsvRecord& header = csv.records.front();
  // A spreadsheet adds an empty column name after a trailing separator.
  std::size_t columns = header.fields.size();
  while (columns > 0 && IsBlank(header.fields[columns - 1])) --columns;
  std::map<Column, std::size_t> at;
  for (std::size_t i = 0; i < columns; ++i) {
    const std::string name = Lower(Trimmed(header.fields[i]));
    if (!name.empty() && name.front() == '#') continue;
    const ColumnName* known = nullptr;
    for (const ColumnName& c : kColumns) {
      if (name == c.name) known = &c;
    }
    if (known == nullptr) {
      plan.problems.push_back(
          {header.line, header.fields[i], UnknownColumnText(Trimmed(header.fields[i]))});
      continue;
    }
    if (known->column == kPassword && !allowPasswordColumn) {
      plan.problems.push_back({header.line, header.fields[i],
                               "a password column is read only with --allow-password-column "
                               "(plans get mailed around; give one password for the plan "
                               "instead)"});
      continue;
    }
    if (known->column == kIgnored) continue;
    if (!at.emplace(known->column, i).second) {
      plan.problems.push_back(
          {header.line, header.fields[i], "column '" + header.fields[i] + "' given twice"});
    }
  }
  if (at.count(kSerial) == 0) {
    plan.problems.push_back({header.line, "serial", "the plan has no serial column"});
  }
  if (at.count(kDhcp) == 0 && at.count(kIp) == 0) {
    plan.problems.push_back(
        {header.line, "dhcp", "the plan needs a dhcp column, or ip and netmask columns"});
  }
  if (!plan.problems.empty()) return plan;
  // Most likely the wrong file, or a sheet saved before its rows were filled.
  if (csv.records.size() == 1 && csv.error.empty()) {
    plan.problems.push_back({0, "", "the plan has no device rows, only its header"});
    return plan;
  }

  for (std::size_t r = 1; r < csv.records.size(); ++r) {
    const CsvRecord& record = csv.records[r];
    // Fields past the named columns count only when they hold something.
    std::size_t used = record.fields.size();
    while (used > columns && IsBlank(record.fields[used - 1])) --used;
    if (used != columns) {
      plan.problems.push_back(
          {record.line, "",
           std::to_string(used) + " fields where the header has " + std::to_string(columns)});
      continue;
    }
    PlanProblem problem;
    if (std::optional<PlanRow> row = ReadRow(record, at, problem)) {
      plan.rows.push_back(std::move(*row));
    } else {
      plan.problems.push_back(problem);
    }
  }
  if (!csv.error.empty()) plan.problems.push_back({0, "", csv.error});

  // Each row against the earlier ones, through indexes: a plan of 10,000
  // rows compared pair by pair took seconds.
  std::vector<PlanRow> rows;
  std::map<std::uint32_t, std::vector<std::size_t>> bySerial;   // kept rows, in order
  std::map<std::uint32_t, std::vector<std::size_t>> byAddress;  // kept fixed rows, in order
  for (PlanRow& row : plan.rows) {
    std::optional<std::size_t> device;
    // The indexes hold only rows already kept.
    for (const std::size_t k : bySerial[row.entries.serial]) {
      // cppcheck-suppress containerOutOfBounds
      if (SameDevice(row, rows[k])) {
        device = k;
        break;
      }
    }
    std::optional<std::size_t> address;
    if (!row.entries.dhcp) {
      for (const std::size_t k : byAddress[AddressValue(row.entries.ipAddress)]) {
        // cppcheck-suppress containerOutOfBounds
        if (SameNetwork(row, rows[k])) {
          address = k;
          break;
        }
      }
    }
    // The earliest row that meets this one decides, as a reader goes down the plan.
    if (device && (!address || *device <= *address)) {
      // list --csv names a device once per interface it was heard on.
      const PlanRow& earlier = rows[*device];
      if (!SameWork(row, earlier)) {
        plan.problems.push_back({row.line, "serial",
                                 "device " + SerialText(row.entries.serial) +
                                     " is planned on line " + std::to_string(earlier.line) +
                                     " as well, with another configuration"});
      }
      continue;
    }
    if (address) {
      plan.problems.push_back({row.line, "ip",
                               "address " + row.entries.ipAddress + " is planned on line " +
                                   std::to_string(rows[*address].line) + " as well"});
    }
    bySerial[row.entries.serial].push_back(rows.size());
    if (!row.entries.dhcp) byAddress[AddressValue(row.entries.ipAddress)].push_back(rows.size());
    rows.push_back(std::move(row));
  }
  plan.rows = std::move(rows);
  return plan;
}

std::vector<PlanProblem> PlanPasswordProblems(const Plan& plan,
                                              const std::optional<std::string>& planPassword) {
  std::vector<PlanProblem> problems;
  if (!planPassword) return problems;
  for (const PlanRow& row : plan.rows) {
    if (row.entries.password) continue;
    SetOptions sent = row.entries;
    sent.password = planPassword;
    if (auto bad = BadArgumentProblem(sent, PlanEntryNames())) {
      problems.push_back({row.line, bad->field, bad->message + DeviceText(row)});
    }
  }
  return problems;
}

std::optional<bool> ReadYesNo(const std::string& word) {
  const std::string lower = Lower(word);
  for (const char* yes : kYesWords) {
    if (lower == yes) return true;
  }
  for (const char* no : kNoWords) {
    if (lower == no) return false;
  }
  return std::nullopt;
}

std::string YesWordsText() {
  std::string text;
  for (const char* yes : kYesWords) text += (text.empty() ? "" : ", ") + std::string(yes);
  return text;
}

bool RowNamesDevice(const PlanRow& row, const DeviceRecord& device) {
  return device.serial == row.entries.serial &&
         (row.entries.deviceId.empty() ||
          SameTextIgnoringCase(device.deviceId, row.entries.deviceId));
}

std::vector<PlanProblem> AnnouncedAddressProblems(const std::vector<PlanRow>& rows,
                                                  const std::vector<ScannedDevice>& devices) {
  std::vector<ScannedDevice> outside;
  for (const ScannedDevice& d : devices) {
    bool planned = false;
    for (const PlanRow& row : rows) planned = planned || RowNamesDevice(row, d.record);
    if (!planned) outside.push_back(d);
  }
  std::vector<PlanProblem> problems;
  for (const PlanRow& row : rows) {
    if (row.entries.dhcp) continue;
    // The networks the row's device is on: the one its row names, else those
    // it is heard on; a device not heard may be on any.
    std::vector<std::string> networks;
    if (!row.interfaceName.empty()) {
      networks.push_back(row.interfaceName);
    } else {
      for (const ScannedDevice& d : devices) {
        if (RowNamesDevice(row, d.record)) networks.push_back(d.interfaceName);
      }
    }
    DeviceList near;
    for (const ScannedDevice& d : outside) {
      if (networks.empty() ||
          std::find(networks.begin(), networks.end(), d.interfaceName) != networks.end()) {
        near.push_back(d.record);
      }
    }
    const std::vector<DeviceRecord> others = OtherDevicesAnnouncing(
        near, row.entries.ipAddress, row.entries.serial, row.entries.deviceId);
    if (others.empty()) continue;
    problems.push_back({row.line, "ip",
                        "address " + row.entries.ipAddress + " is announced by device " +
                            SerialText(others.front().serial) + ", which is not in the plan"});
  }
  return problems;
}

std::optional<PlanProblem> EditedDhcpProblem(const PlanRow& row, const DeviceRecord& device) {
  if (!row.entries.dhcp) return std::nullopt;
  const char* const names[] = {"ip", "netmask", "gateway"};
  const std::string announced[] = {device.ipAddress, device.netmask, device.gateway};
  for (std::size_t i = 0; i < row.dhcpAddresses.size(); ++i) {
    const std::string& text = row.dhcpAddresses[i];
    if (IsBlank(text) || SameAddressText(text, announced[i])) continue;
    return PlanProblem{row.line, names[i],
                       "dhcp is yes, but " + std::string(names[i]) + " " + text +
                           " is not what the device announces (" + Latin1ToUtf8(announced[i]) +
                           "): set dhcp to no for a fixed address, or clear the address" +
                           DeviceText(row)};
  }
  return std::nullopt;
}

std::string PlanProblemText(const PlanProblem& problem) {
  std::string text = problem.line > 0 ? "line " + std::to_string(problem.line) : "";
  if (!problem.field.empty()) text += (text.empty() ? "" : ", ") + problem.field;
  return text + (text.empty() ? "" : ": ") + problem.message;
}

}  // namespace velkarin::cli
