#include "cli/plan/plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velkarin::cli {
namespace {

// A row as the test states it: its line, serial, and "DHCP" or the address.
struct ExpectedRow {
  int line;
  std::uint32_t serial;
  const char* address;
};

struct AcceptedCase {
  const char* what;
  std::string text;
  std::vector<ExpectedRow> rows;
  bool windows1252;
};

// Plans as spreadsheets and people save them are read, row for row.
TEST(ReadPlan, ReadsPlansAsSpreadsheetsSaveThem) {
  const std::string kGerman =
      "serial;Name;device_id;dhcp;ip;netmask;Bemerkung;#Pr\xFC"
      "fer\r\nA1;Stra\xDF"
      "e;Pr\xFC"
      "f-1;FALSCH;10.0.0.1;255.0.0.0;neu, 2\x80;x\r\n;;;;;;;\r\nA2;;;Ja;;;;\r\n";
  // "serial;Name;dhcp" and a row as Windows PowerShell 5.1 and Excel save UTF-16.
  std::string utf16le = "\xFF\xFE";
  std::string utf16be = "\xFE\xFF";
  for (const char c : std::string("serial;Name;dhcp\r\nA1;Pr\xC3\xBC"
                                  "f;ja\r\n")) {
    utf16le += std::string{c, '\0'};
    utf16be += std::string{'\0', c};
  }
  const AcceptedCase cases[] = {
      {"UTF-16, little endian", utf16le, {{2, 0xA1, "DHCP"}}, false},
      {"UTF-16, big endian", utf16be, {{2, 0xA1, "DHCP"}}, false},
      {"a byte-order mark before Windows-1252",
       "\xEF\xBB\xBFserial;Name;dhcp\r\nA1;Pr\xFC"
       "f;ja\r\n",
       {{2, 0xA1, "DHCP"}},
       true},
      {"Excel's sep= line, CR line ends, a quoted comma in a column name",
       "sep=;\rserial;dhcp;ip;netmask;\"#Ort, Halle\"\rA1;no;10.0.0.1;255.0.0.0;3\r",
       {{3, 0xA1, "10.0.0.1"}},
       false},
      {"empty rows and a trailing separator",
       "serial,dhcp,ip,netmask,\r\nA1,no,10.0.0.1,255.0.0.0,\r\n,,,,\r\n , ,,,\r\nA2,yes,,,\r\n",
       {{2, 0xA1, "10.0.0.1"}, {5, 0xA2, "DHCP"}},
       false},
      {"the columns of list --csv and of the report, padded names",
       "line,serialText,name,dhcp,ipAddress,netmask,gateway,status, interface ,result,detail\n"
       "3,0000A1,Press,Yes,10.0.0.7,255.0.0.0,,-,Ethernet 2,already done,\n",
       {{2, 0xA1, "DHCP"}},
       false},
      {"a device listed once per interface it was heard on",
       "serialText,name,dhcp,ipAddress,netmask,gateway,status,interface\n"
       "0000A1,P,Yes,10.0.0.7,255.0.0.0,,-,eth0\n0000A2,Q,No,10.0.0.8,255.0.0.0,,-,eth0\n"
       "0000A1,P,Yes,10.0.0.7,255.0.0.0,,-,eth1\n0000A2,Q,No,10.0.0.8,255.0.0.0,,-,eth1\n",
       {{2, 0xA1, "DHCP"}, {3, 0xA2, "10.0.0.8"}},
       false},
      {"two cells alike, one address scheme behind two adapters",
       "serial,ip,netmask,interface\nA1,192.168.0.20,255.255.255.0,vh1\n"
       "B1,192.168.0.20,255.255.255.0,vh2\n",
       {{2, 0xA1, "192.168.0.20"}, {3, 0xB1, "192.168.0.20"}},
       false},
      {"rows without the trailing separator's field",
       "serial,dhcp,\nA1,yes\nA2,yes,\n",
       {{2, 0xA1, "DHCP"}, {3, 0xA2, "DHCP"}},
       false},
      {"a note that holds the separator, quoted",
       "serial;dhcp;Bemerkung\nA1;ja;\"Halle 3; T\xC3\xBCr 2\"\n",
       {{2, 0xA1, "DHCP"}},
       false},
      {"semicolons, Windows-1252, CRLF, German truth values, notes",
       kGerman,
       {{2, 0xA1, "10.0.0.1"}, {4, 0xA2, "DHCP"}},
       true},
  };
  for (const AcceptedCase& c : cases) {
    const Plan plan = ReadPlan(c.text, false);
    EXPECT_EQ(plan.readAsWindows1252, c.windows1252) << c.what;
    for (const PlanProblem& p : plan.problems)
      ADD_FAILURE() << c.what << ": " << PlanProblemText(p);
    ASSERT_EQ(plan.rows.size(), c.rows.size()) << c.what;
    for (std::size_t i = 0; i < c.rows.size(); ++i) {
      const PlanRow& row = plan.rows[i];
      EXPECT_EQ(row.line, c.rows[i].line) << c.what;
      EXPECT_EQ(row.entries.serial, c.rows[i].serial) << c.what;
      EXPECT_EQ(row.entries.dhcp ? "DHCP" : row.entries.ipAddress, c.rows[i].address) << c.what;
    }
  }
  // The identifier's umlaut reaches the device as the Latin-1 byte it was.
  const Plan german = ReadPlan(kGerman, false);
  ASSERT_FALSE(german.rows.empty());
  EXPECT_EQ(german.rows[0].entries.deviceId,
            "Pr\xFC"
            "f-1");
}

struct RefusedCase {
  const char* what;
  std::string text;
  const char* problem;  // PlanProblemText of the first problem, in part
  const char* hidden;   // never in any problem's text
};

// Refused plans name the line and column; a password is never shown.
TEST(ReadPlan, RefusesWithTheLineAndColumnAndNeverShowsAPassword) {
  const RefusedCase cases[] = {
      {"a password no device can take", "serial,dhcp,password\nA1,yes,Geheim\xE2\x82\xAC\n",
       "line 2, password: invalid password: it holds a letter no device takes", "Geheim"},
      {"a row naming no adapter shares an address with one naming an adapter",
       "serial,ip,netmask,interface\nA1,192.168.0.20,255.255.255.0,vh1\n"
       "B1,192.168.0.20,255.255.255.0,\n",
       "line 3, ip: address 192.168.0.20 is planned on line 2 as well", "-"},
  };
  for (const RefusedCase& c : cases) {
    const Plan plan = ReadPlan(c.text, true);
    ASSERT_FALSE(plan.problems.empty()) << c.what;
    EXPECT_NE(PlanProblemText(plan.problems.front()).find(c.problem), std::string::npos)
        << c.what << ": " << PlanProblemText(plan.problems.front());
    for (const PlanProblem& p : plan.problems) {
      EXPECT_EQ(PlanProblemText(p).find(c.hidden), std::string::npos) << PlanProblemText(p);
    }
  }
}

// A plant's worth of devices, as list writes them: read whole, no row taken
// for another's repeat.
TEST(ReadPlan, ReadsTenThousandRows) {
  std::string text = "serialText,name,dhcp,ipAddress,netmask,gateway,status,interface\n";
  constexpr int kRows = 10000;
  for (int i = 0; i < kRows; ++i) {
    text += std::to_string(100000 + i) + ",Press " + std::to_string(i) + ",No,10.0." +
            std::to_string(i / 250) + "." + std::to_string(i % 250 + 1) +
            ",255.0.0.0,10.0.0.254,-,-\n";
  }
  const Plan plan = ReadPlan(text, false);
  EXPECT_TRUE(plan.problems.empty()) << PlanProblemText(plan.problems.front());
  EXPECT_EQ(plan.rows.size(), static_cast<std::size_t>(kRows));
}

}  // namespace
}  // namespace velkarin::cli
