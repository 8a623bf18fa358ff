#include "load_support.h"

#include <cstdio>
#include <fstream>

#include "platform/clock.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace velkarin::test {

std::uint64_t ResidentBytes() {
#ifdef _WIN32
  return 0;
#else
  std::ifstream statm("/proc/self/statm");
  std::uint64_t size = 0;
  std::uint64_t resident = 0;
  if (!(statm >> size >> resident)) return 0;
  return resident * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
#endif
}

namespace {

// "2026-12-07T08:21:16.322Z ..." -> seconds of the day.
bool SecondOfDay(const std::string& line, double& seconds) {
  int hour = 0;
  int minute = 0;
  double second = 0;
  if (line.size() < 24 || std::sscanf(line.c_str() + 11, "%d:%d:%lf", &hour, &minute, &second) != 3)
    return false;
  seconds = hour * 3600.0 + minute * 60.0 + second;
  return true;
}

}  // namespace

double SentFigures::spanSeconds() const {
  double span = lastSecond - firstSecond;
  if (span < 0) span += 86400.0;  // across midnight
  return span;
}

double SentFigures::perSecond() const {
  const double span = spanSeconds();
  return span > 0 ? static_cast<double>(datagrams) / span : 0;
}

SentFigures CountSent(const std::string& logPath) {
  SentFigures figures;
  std::ifstream log(logPath);
  std::string line;
  while (std::getline(log, line)) {
    if (line.size() < 28 || line.compare(24, 4, " TX ") != 0) continue;
    double second = 0;
    if (!SecondOfDay(line, second)) continue;
    if (figures.datagrams == 0) figures.firstSecond = second;
    figures.lastSecond = second;
    ++figures.datagrams;
  }
  return figures;
}

}  // namespace velkarin::test
