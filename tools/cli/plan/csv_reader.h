// Reading CSV (RFC 4180) as spreadsheets write it, for plans.
#pragma once
#include <string>
#include <vector>

namespace velkarin::cli {

struct CsvRecord {
  int line = 0;  // the line the record starts on, counted from 1
  std::vector<std::string> fields;
};

struct CsvText {
  std::vector<CsvRecord> records;
  char separator = ',';
  // Empty, or "line N: why" for text that is no CSV (a quote left open, a
  // character after a closing quote); the records before it are kept.
  std::string error;
};

// Fields separated by commas, records by CRLF, LF or CR; a field in double
// quotes may hold commas, quotes (doubled) and line breaks. A UTF-8
// byte-order mark at the start is dropped. A cell neutralised for
// spreadsheets ("'=1+1", see SpreadsheetSafeCell) is read as the text it
// stands for. Blank lines, lines whose first
// character is '#', and rows whose fields are all empty or blank (a
// spreadsheet's empty row: ",,,") are no records. Semicolons separate the
// fields instead when the first record's line has semicolons and no comma,
// as spreadsheets write CSV where the comma is the decimal sign (quoted
// text not counted); a first line "sep=X", as Excel writes it, names the
// separator instead and is no record.
CsvText ReadCsv(const std::string& text);

}  // namespace velkarin::cli
