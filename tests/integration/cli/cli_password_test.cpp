// velkarin set: the password from a file, standard input or the environment
// reaches the device as from the option, and only the option warns.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "cli_fixture.h"

namespace velkarin::test {
namespace {

using std::chrono::seconds;

const char* const kLock =
    "serial=1A2B,name=Lock,ip=192.168.1.30,netmask=255.255.255.0,gateway=192.168.1.1,"
    "onCommand=require-auth,password=sesame";

struct PasswordCase {
  const char* what;
  // A shell command line; $CLI is the tool, $FILE a file holding "sesame".
  const char* shell;
  int exitCode;
  bool warned;       // the visible-password warning on standard error
  bool commandSent;  // a configuration command reached the device
  // A refused password: what the message says instead of its text.
  const char* says = nullptr;
};

// Every refused password below holds this; no message may show it.
const char* const kSecret = "Geheim";

void PrintTo(const PasswordCase& c, std::ostream* os) { *os << c.what; }

class CliPassword : public CliTest, public testing::WithParamInterface<PasswordCase> {};

TEST_P(CliPassword, ComesFromItsSourceAndStaysOffTheCommandLine) {
  const PasswordCase& c = GetParam();
  DevsimProcess devsim({"--device", kLock});
  ASSERT_DEVSIM_READY(devsim);
  char file[] = "/tmp/velkarin-password-XXXXXX";
  const int fd = mkstemp(file);
  ASSERT_GE(fd, 0);
  close(fd);
  // The line end of the file is no part of the password.
  std::ofstream(file) << "sesame\r\nsecond line\n";

  const RunResult set = RunProgram(
      {"/bin/sh", "-c", std::string("CLI='") + CliPath() + "' FILE='" + file + "'; " + c.shell},
      seconds(90));
  std::remove(file);
  ASSERT_TRUE(set.finished);
  EXPECT_EQ(set.exitCode, c.exitCode) << set.out << set.err;
  EXPECT_EQ(set.err.find("visible to other users") != std::string::npos, c.warned) << set.err;
  bool sent = false;
  for (const std::string& bytes : devsim.Received()) sent = sent || bytes != "0 1 A";
  EXPECT_EQ(sent, c.commandSent);
  EXPECT_FALSE(Contains(set.out + set.err, kSecret)) << set.err;
  if (c.says != nullptr) {
    EXPECT_TRUE(Contains(set.err, c.says)) << set.err;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sources, CliPassword,
    testing::Values(
        PasswordCase{"File", "$CLI set 1A2B --dhcp --password-file \"$FILE\"", 0, false, true},
        PasswordCase{"StandardInput", "echo sesame | $CLI set 1A2B --dhcp --password-file -", 0,
                     false, true},
        PasswordCase{"Environment", "VELKARIN_PASSWORD=sesame $CLI set 1A2B --dhcp", 0, false,
                     true},
        PasswordCase{"OptionWarns", "$CLI set 1A2B --dhcp --password sesame", 0, true, true},
        // The option wins over the environment; the wrong one is refused.
        PasswordCase{"OptionBeforeEnvironment",
                     "VELKARIN_PASSWORD=sesame $CLI set 1A2B --dhcp --password wrong", 13, true,
                     true},
        PasswordCase{"TooLongInTheEnvironment",
                     "VELKARIN_PASSWORD=123456789012345678901 $CLI set 1A2B --dhcp", 2, false,
                     false},
        PasswordCase{"TooLongInAFile",
                     "printf '%s\\n' 123456789012345678901 | $CLI set 1A2B --dhcp "
                     "--password-file -",
                     2, false, false},
        // Refused where they come from, by place, not by text.
        PasswordCase{"NoLatin1InTheOption", "$CLI set 1A2B --ip 10.0.0.5/24 --password 'Geheim€'",
                     2, false, false,
                     "--password has a character that devices cannot take, at position 7"},
        PasswordCase{"NoLatin1InTheEnvironment", "VELKARIN_PASSWORD='Geheim€' $CLI set 1A2B --dhcp",
                     2, false, false,
                     "VELKARIN_PASSWORD has a character that devices cannot take, at position 7"},
        PasswordCase{"NoUtf8InAFile",
                     "printf 'Geheim\\377\\n' >\"$FILE\"; $CLI set 1A2B --dhcp --password-file "
                     "\"$FILE\"",
                     2, false, false, "is not valid UTF-8 at position 7"},
        PasswordCase{"NoLatin1AfterAByteOrderMark",
                     "printf '\\357\\273\\277Geheim\\342\\202\\254\\r\\n' | $CLI set 1A2B --dhcp "
                     "--password-file -",
                     2, false, false,
                     "the password on standard input has a character that devices cannot take, "
                     "at position 7"},
        // As spreadsheets and editors on Windows save UTF-8.
        PasswordCase{"ByteOrderMarkInAFile",
                     "printf '\\357\\273\\277sesame\\r\\n' >\"$FILE\"; $CLI set 1A2B --dhcp "
                     "--password-file \"$FILE\"",
                     0, false, true},
        // Counted as sent, one byte each: twelve fit, and the device judges them.
        PasswordCase{"TwelveUmlautsFit", "VELKARIN_PASSWORD=ääääääääääää $CLI set 1A2B --dhcp", 13,
                     false, true},
        PasswordCase{"MissingFile", "$CLI set 1A2B --dhcp --password-file /nonexistent/pw", 2,
                     false, false},
        // No terminal to ask on: refused rather than sent without one.
        PasswordCase{"PromptWithoutTerminal", "$CLI set 1A2B --dhcp --password </dev/null", 2,
                     false, false}),
    [](const testing::TestParamInfo<PasswordCase>& info) { return info.param.what; });

}  // namespace
}  // namespace velkarin::test
