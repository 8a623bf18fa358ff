#include "cli/plan/csv_reader.h"

namespace velkarin::cli {

CsvText ReadCsv(const std::string& text) {
  CsvText result;
  std::size_t i = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  int line = 1;
  const std::size_t n = text.size();
  char& separator = result.separator;
  auto atLineEnd = [&](std::size_t at) {
    return at >= n || text[at] == '\n' || (text[at] == '\r' && at + 1 < n && text[at + 1] == '\n');
  };
  auto skipLineEnd = [&]() {
    if (i < n && text[i] == '\r') ++i;
    if (i < n && text[i] == '\n') ++i;
    ++line;
  };
  bool first = true;
  while (i < n) {
    // Skipped whole: a blank line or a comment, but only at a record's start.
    if (atLineEnd(i) || text[i] == '#') {
      while (!atLineEnd(i)) ++i;
      skipLineEnd();
      continue;
    }
    if (first) {
      first = false;
      std::size_t end = i;
      while (!atLineEnd(end)) ++end;
      const std::string header = text.substr(i, end - i);
      if (header.find(';') != std::string::npos && header.find(',') == std::string::npos) {
        separator = ';';
      }
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
          if (text[i] == '\n') ++line;
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
      record.fields.push_back(field);
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
