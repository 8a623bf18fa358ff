#include "cli/plan/csv_reader.h"

#include "cli/output/device_csv.h"

namespace velkarin::cli {

CsvText ReadCsv(const std::string& text) {
  CsvText result;
  std::size_t i = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  int line = 1;
  const std::size_t n = text.size();
  char& separator = result.separator;
  // CRLF, LF, or CR alone (as Excel for the Mac writes).
  auto atLineEnd = [&](std::size_t at) { return at >= n || text[at] == '\n' || text[at] == '\r'; };
  auto skipLineEnd = [&]() {
    if (i < n && text[i] == '\r') ++i;
    if (i < n && text[i] == '\n') ++i;
    ++line;
  };
  // Excel's "sep=;" line names the separator and is no record.
  bool first = true;  // the separator still to be judged by the header
  if (text.compare(i, 4, "sep=") == 0 && i + 4 < n && !atLineEnd(i + 4) && atLineEnd(i + 5)) {
    separator = text[i + 4];
    first = false;
    i += 5;
    skipLineEnd();
  }
  while (i < n) {
    // Skipped whole: a blank line or a comment, but only at a record's start.
    if (atLineEnd(i) || text[i] == '#') {
      while (!atLineEnd(i)) ++i;
      skipLineEnd();
      continue;
    }
    if (first) {
      first = false;
      // Only the header's unquoted characters: a quoted name may hold a comma.
      bool quoted = false;
      bool semicolon = false;
      bool comma = false;
      for (std::size_t at = i; at < n && (quoted || !atLineEnd(at)); ++at) {
        if (text[at] == '"') quoted = !quoted;
        semicolon = semicolon || (!quoted && text[at] == ';');
        comma = comma || (!quoted && text[at] == ',');
      }
      if (semicolon && !comma) separator = ';';
    }
    CsvRecord record;
    record.line = line;
    for (;;) {
      std::string field;
      if (i < n && text[i] == '"') {
        const int opened = line;
        ++i;
        for (;;) {
          if (i >= n) {
            result.error = "line " + std::to_string(opened) + ": a quoted field is not closed";
            return result;
          }
          if (text[i] == '"') {
            if (i + 1 < n && text[i + 1] == '"') {
              field += '"';
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= n || text[i + 1] != '\n'))) ++line;
          field += text[i++];
        }
        if (i < n && text[i] != separator && !atLineEnd(i)) {
          result.error = "line " + std::to_string(line) + ": text after a closing quote";
          return result;
        }
      } else {
        while (i < n && text[i] != separator && !atLineEnd(i)) {
          if (text[i] == '"') {
            result.error = "line " + std::to_string(line) + ": a quote inside an unquoted field";
            return result;
          }
          field += text[i++];
        }
      }
      record.fields.push_back(CellAsWritten(field));
      if (i < n && text[i] == separator) {
        ++i;
        continue;
      }
      break;
    }
    skipLineEnd();
    bool empty = true;
    for (const std::string& f : record.fields) {
      empty = empty && f.find_first_not_of(" \t") == std::string::npos;
    }
    if (!empty) result.records.push_back(std::move(record));
  }
  return result;
}

}  // namespace velkarin::cli
