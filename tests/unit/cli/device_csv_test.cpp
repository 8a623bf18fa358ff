#include "cli/output/device_csv.h"

#include <gtest/gtest.h>

#include "listed_record.h"

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
      {"=HYPERLINK(\"http://x\")", "\"'=HYPERLINK(\"\"http://x\"\")\""},
      {"@SUM(1+1)", "'@SUM(1+1)"},
      {"+49 89", "'+49 89"},
      {"\tx", "'\tx"},
      {"''-x", "'''-x"},
      {"-1", "-1"},
      {"+2,5", "\"+2,5\""},
      {"-", "-"},
      {"Pr\xC3\xBC"
       "f",
       "Pr\xC3\xBC"
       "f"},
  };
  for (const Case& c : cases) EXPECT_EQ(CsvField(c.text), c.field) << c.text;
}

TEST(FormatDeviceCsv, HeaderOfFieldNamesThenTheTablesCellsInUtf8) {
  const DeviceList list = {test::ListedRecord(0xC0DE,
                                              "Pr\xFC"
                                              "fstand, \"A\"",
                                              1, "10.0.0.1", "255.0.0.0", "", 0x0A)};
  const std::string body =
      "serialText,name,dhcp,ipAddress,netmask,gateway,status\r\n"
      "00C0DE,\"Pr\xC3\xBC"
      "fstand, \"\"A\"\"\",Yes,10.0.0.1,255.0.0.0,,\"address-conflict,no-ip\"\r\n";
  EXPECT_EQ(FormatDeviceCsv(list, {}), body);
  EXPECT_EQ(FormatDeviceCsv(list, {',', true}), "\xEF\xBB\xBF" + body);
}

}  // namespace
}  // namespace velkarin::cli
