// A plan for `velkarin apply`: one device and its configuration per row of a
// CSV file, every row checked as `set` checks its options.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "cli/commands/commands.h"
#include "engine/device_scan.h"

namespace velkarin::cli {

struct PlanRow {
  int line = 0;
  // The device and its configuration as `set` would send them: the
  // identifier in Latin-1, the addresses checked and in dotted decimal; the
  // row's own password, if the plan has a password column and it is filled.
  SetOptions entries;
  // Empty: wherever the scan hears the device. Any text: it is never sent.
  std::string interfaceName;
  std::string name;  // the name column's text (UTF-8), for people
  // A DHCP row's ip, netmask and gateway columns as written: list's CSV
  // shows what the device got; an edit there has no meaning for DHCP.
  std::vector<std::string> dhcpAddresses;
};

// A refusal: the line of the plan, the column ("" for the whole line), and why.
struct PlanProblem {
  int line = 0;
  std::string field;
  std::string message;
};

struct Plan {
  std::vector<PlanRow> rows;
  std::vector<PlanProblem> problems;  // any: the plan is refused
  bool readAsWindows1252 = false;     // the file was no UTF-8
  char separator = ',';               // the plan's, for a report in its form
};

// Reads and checks a whole plan: UTF-8 (with or without a byte-order mark),
// UTF-16 with a byte-order mark, or else Windows-1252; commas, or
// semicolons (see ReadCsv). Columns (any order, any case): serial (or list's
// serialText), device_id (deviceId), dhcp (yes/no), ip (ipAddress), netmask,
// gateway, interface, and password only with `allowPasswordColumn`. Read
// for people and otherwise ignored: name, the other columns of `list --csv`
// and of the report, notes (note, location, ...) and any column whose name
// starts with '#'; any other name is refused with the nearest known one. So
// `velkarin list --csv` output is a plan (its interface "-" is none). A row
// is DHCP when dhcp says yes, else fixed. Refused besides each bad row: two
// rows for the same device, and two devices given the same fixed address
// on one network (rows naming different interfaces may share one; a row
// naming none is compared with every row).
// The plan's password, which makes the command longer, is checked apart
// (PlanPasswordProblems): it is asked for once the plan has passed.
Plan ReadPlan(const std::string& text, bool allowPasswordColumn);

// The rows without a password of their own that `planPassword` would make
// too long (an identifier whose command then exceeds the device's buffer).
std::vector<PlanProblem> PlanPasswordProblems(const Plan& plan,
                                              const std::optional<std::string>& planPassword);

// A truth value as spreadsheets write it, in English and in German, in any
// case: yes, y, true, 1, ja, j, wahr; no, n, false, 0, nein, falsch and the
// empty text. Nothing for any other word.
std::optional<bool> ReadYesNo(const std::string& word);
// The words that say yes, for people: "y, yes, j, ja, true, 1, wahr".
std::string YesWordsText();

// Whether the row names this device: the serial, and the identifier when the
// row gives one (ignoring case).
bool RowNamesDevice(const PlanRow& row, const DeviceRecord& device);

// A DHCP row whose ip, netmask or gateway column differs from what its
// device announces now: was a fixed address meant, or DHCP? Refused. An
// unedited row of `list --csv`, or one with the addresses cleared, passes.
std::optional<PlanProblem> EditedDhcpProblem(const PlanRow& row, const DeviceRecord& device);

// Fixed addresses of the plan that a device outside the plan announces on
// the row's network: the interface the row names, else those its device is
// heard on (any, when it is not heard).
std::vector<PlanProblem> AnnouncedAddressProblems(const std::vector<PlanRow>& rows,
                                                  const std::vector<ScannedDevice>& devices);

// "line 5, ip: MESSAGE" (without the column when the problem has none).
std::string PlanProblemText(const PlanProblem& problem);

}  // namespace velkarin::cli
