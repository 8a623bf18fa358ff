#include "cli/device_csv.h"

#include <gtest/gtest.h>

namespace velkarin::cli {
namespace {

TEST(CsvField, QuotesOnlyWhatNeedsIt) {
  struct Case {
    std::string text;
    std::string field;
  };
  const Case cases[] = {
      {"Pump 7", "Pump 7"},
      {"", ""},
      {"address-conflict,no-ip", "\"address-conflict,no-ip\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\r\nlines", "\"two\r\nlines\""},
      {" padded", "\" padded\""},
      {"Pr\xC3\xBC"
       "f",
       "Pr\xC3\xBC"
       "f"},
  };
  for (const Case& c : cases) EXPECT_EQ(CsvField(c.text), c.field) << c.text;
}

TEST(FormatDeviceCsv, HeaderOfFieldNamesThenTheTablesCellsInUtf8) {
  DeviceList list;
  DeviceRecord r;
  r.serial = 0xC0DE;
  r.name =
      "Pr\xFC"
      "fstand, \"A\"";
  r.dhcp = 1;
  r.ipAddress = "10.0.0.1";
  r.netmask = "255.0.0.0";
  r.gateway = "";
  r.statusFlags = 0x0A;
  list.push_back(r);
  const std::string body =
      "serialText,name,dhcp,ipAddress,netmask,gateway,status\r\n"
      "00C0DE,\"Pr\xC3\xBC"
      "fstand, \"\"A\"\"\",Yes,10.0.0.1,255.0.0.0,,\"address-conflict,no-ip\"\r\n";
  EXPECT_EQ(FormatDeviceCsv(list, false), body);
  EXPECT_EQ(FormatDeviceCsv(list, true), "\xEF\xBB\xBF" + body);
}

}  // namespace
}  // namespace velkarin::cli
