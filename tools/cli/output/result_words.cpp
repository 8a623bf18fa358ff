#include "cli/output/result_words.h"

#include <cstdio>

namespace velkarin::cli {

const char* ConfigResultWords(ConfigResult result) {
  switch (result) {
    case CONFIG_OK:
      return "accepted by the device";
    case CONFIG_BAD_ARGUMENT:
      return "bad argument (no serial number or identifier, a password longer than 20 characters, "
             "or a command longer than 255 characters)";
    case CONFIG_NOT_FOUND:
      return "device not found";
    case CONFIG_REFUSED:
      return "refused by the device";
    case CONFIG_FAILED:
      return "not accepted by the device";
    case CONFIG_SERIAL_SHARED_NO_ID:
      return "serial number shared with another device, and the device announces no identifier";
    case CONFIG_SERIAL_CLASH:
      return "serial number clash: devices with this serial number announce different identifiers";
    case CONFIG_NO_REPLY:
      return "no reply from the device";
  }
  return "unknown result";
}

std::string ConfigOutcomeWords(ConfigResult result, bool passwordGiven) {
  std::string words = ConfigResultWords(result);
  if (result == CONFIG_REFUSED) {
    words +=
        passwordGiven ? "; the password may be wrong" : "; it may need a password (--password)";
  }
  return words;
}

std::string NotSeenAgainWords(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", seconds);
  return std::string("not seen again within ") + text + " s";
}

const char* const kRestartingHint =
    "it may be restarting to take its new address: run `velkarin list` in a while, or give it "
    "longer with --verify-seconds";

int ExitCodeForResult(ConfigResult result) {
  return result == CONFIG_OK ? EXIT_OK : EXIT_RESULT_BASE + static_cast<int>(result);
}

std::string ExitCodeHelp(HelpScope scope) {
  enum : unsigned { kAll = 1, kList = 2, kSet = 4, kApply = 8 };
  struct Line {
    unsigned scopes;
    const char* text;
  };
  // Two blanks at least after each code, so that the man page keeps each
  // code on its own line.
  static const Line kLines[] = {
      {kAll, "  0    success (set: the device announces the configuration sent)\n"},
      {kList, "  0    success\n"},
      {kSet, "  0    success: the device announces the configuration sent\n"},
      {kApply, "  0    every row of the plan ended configured or already done\n"},
      {kAll | kList | kSet | kApply,
       "  1    the tool could not run (no worker thread, or standard output could not be "
       "written)\n"},
      {kAll | kList | kSet | kApply, "  2    bad options or entries; nothing was sent\n"},
      {kAll | kSet, "  3    set: accepted, but the device did not announce itself within 15 s\n"},
      {kAll | kSet, "  4    set: accepted, but the device announces another configuration\n"},
      {kAll | kSet,
       "  5    set: no device announces both --device-id and SERIAL; nothing was sent\n"},
      {kAll | kList | kSet | kApply, "  6    no IPv4 interface is up to send discovery from\n"},
      {kAll | kApply,
       "  7    apply: a row ended neither configured nor already done (see the report)\n"},
      {kAll | kSet,
       "  11   set: bad argument (the tool checks its options first, so not expected)\n"},
      {kAll | kSet, "  12   set: device not found\n"},
      {kAll | kSet, "  13   set: refused by the device\n"},
      {kAll | kSet, "  14   set: not accepted by the device\n"},
      {kAll | kSet,
       "  15   set: serial number shared with another device that announces no "
       "identifier\n"},
      {kAll | kSet, "  16   set: devices with this serial number announce different identifiers\n"},
      {kAll | kSet, "  17   set: no reply from the device\n"},
      {kAll,
       "  130  interrupted by Ctrl-C (SIGINT); list --watch: only before the first list; "
       "apply: its report names what was done\n"},
      {kList, "  130  interrupted by Ctrl-C (SIGINT); with --watch only before the first list\n"},
      {kSet, "  130  interrupted by Ctrl-C (SIGINT)\n"},
      {kApply, "  130  interrupted by Ctrl-C (SIGINT); the report names what was done\n"},
      {kAll | kList | kSet | kApply, "  143  terminated (SIGTERM)\n"},
  };
  const unsigned wanted = scope == HelpScope::kList    ? kList
                          : scope == HelpScope::kSet   ? kSet
                          : scope == HelpScope::kApply ? kApply
                                                       : kAll;
  std::string help = "Exit codes:\n";
  for (const Line& line : kLines) {
    if ((line.scopes & wanted) != 0) help += line.text;
  }
  return help;
}

}  // namespace velkarin::cli
