// velkarin set: the password from a file, standard input or the environment
// reaches the device as from the option, and only the option warns.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
// A device whose password is the empty one.
const char* const kEmptyLock =
    "serial=1A2B,name=Lock,ip=192.168.1.30,netmask=255.255.255.0,gateway=192.168.1.1,"
    "onCommand=require-auth";

struct PasswordCase {
  const char* what;
  // A shell command line; $CLI is the tool, $FILE a file holding "sesame".
  const char* shell;
  int exitCode;
  bool warned;       // the visible-password warning on standard error
  bool commandSent;  // a configuration command reached the device
  // A refused password: what the message says instead of its text.
  const char* says = nullptr;
  const char* device = kLock;
};

// Every refused password below holds this; no message may show it.
const char* const kSecret = "Geheim";

void PrintTo(const PasswordCase& c, std::ostream* os) { *os << c.what; }

class CliPassword : public CliTest, public testing::WithParamInterface<PasswordCase> {};

TEST_P(CliPassword, ComesFromItsSourceAndStaysOffTheCommandLine) {
  const PasswordCase& c = GetParam();
  DevsimProcess devsim({"--device", c.device});
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
        // An empty value is the empty password wherever it comes from: sent
        // signed, as a device with the empty password needs it.
        PasswordCase{"EmptyEnvironment", "VELKARIN_PASSWORD= $CLI set 1A2B --dhcp", 0, false, true,
                     nullptr, kEmptyLock},
        PasswordCase{"EmptyStandardInput", "$CLI set 1A2B --dhcp --password-file - </dev/null", 0,
                     false, true, nullptr, kEmptyLock},
        // A source that cannot be read is no empty password.
        PasswordCase{"ClosedStandardInput", "$CLI set 1A2B --dhcp --password-file - <&-", 2, false,
                     false, "cannot read the password from standard input: ", kEmptyLock},
        PasswordCase{"WriteOnlyStandardInput",
                     "$CLI set 1A2B --dhcp --password-file - 0>>\"$FILE\"", 2, false, false,
                     "cannot read the password from standard input: ", kEmptyLock},
        PasswordCase{"Directory", "$CLI set 1A2B --dhcp --password-file /tmp", 2, false, false,
                     "cannot read the password from '/tmp': Is a directory", kEmptyLock},
        PasswordCase{"EmptyFile", ": >\"$FILE\"; $CLI set 1A2B --dhcp --password-file \"$FILE\"",
                     13, false, true, "the password may be wrong"},
        PasswordCase{"NoneForTheEmptyOne", "unset VELKARIN_PASSWORD; $CLI set 1A2B --dhcp", 13,
                     false, true, "it may need a password", kEmptyLock},
        // No terminal to ask on: refused rather than sent without one.
        PasswordCase{"PromptWithoutTerminal", "$CLI set 1A2B --dhcp --password </dev/null", 2,
                     false, false}),
    [](const testing::TestParamInfo<PasswordCase>& info) { return info.param.what; });

// velkarin at its hidden prompt on a real terminal (a pseudo-terminal):
// whatever ends the prompt, the terminal has its echo again.
struct PromptCase {
  const char* what;
  const char* typed;  // written to the terminal once the prompt shows; null: none
  int signalNumber;   // sent to the tool once the prompt shows; 0: none
  int exitCode;       // negative: ended by that signal
  const char* says;   // on the terminal after the prompt
};

void PrintTo(const PromptCase& c, std::ostream* os) { *os << c.what; }

class CliPrompt : public CliTest, public testing::WithParamInterface<PromptCase> {};

// The terminal's output until `done` holds or 90 s pass.
template <typename Done>
void ReadTerminal(int master, std::string& out, Done done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  while (!done() && std::chrono::steady_clock::now() < end) {
    pollfd ready{master, POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    char buffer[512];
    const ssize_t got = read(master, buffer, sizeof buffer);
    if (got > 0) out.append(buffer, static_cast<std::size_t>(got));
  }
}

TEST_P(CliPrompt, LeavesTheTerminalWithItsEcho) {
  const PromptCase& c = GetParam();
  DevsimProcess devsim({"--device", kLock});
  ASSERT_DEVSIM_READY(devsim);
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string slaveName = ptsname(master);
  // Kept open here, so the terminal's settings can be read after the tool ends.
  const int slave = open(slaveName.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);
  const std::string cli = CliPath();
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // A session of its own with the terminal as its controlling one, so
    // that Ctrl-C on it reaches the tool.
    setsid();
    const int tty = open(slaveName.c_str(), O_RDWR);
    if (tty < 0) _exit(120);
    for (int fd = 0; fd < 3; ++fd) dup2(tty, fd);
    unsetenv("VELKARIN_PASSWORD");
    execl(cli.c_str(), cli.c_str(), "set", "1A2B", "--dhcp", "--password", nullptr);
    _exit(121);
  }
  std::string out;
  ReadTerminal(master, out, [&] { return Contains(out, "Password: "); });
  ASSERT_TRUE(Contains(out, "Password: ")) << out;
  termios during{};
  ASSERT_EQ(tcgetattr(slave, &during), 0);
  EXPECT_EQ(during.c_lflag & ECHO, 0u);
  if (c.typed != nullptr) {
    ASSERT_GT(write(master, c.typed, std::strlen(c.typed)), 0);
  }
  if (c.signalNumber != 0) kill(pid, c.signalNumber);
  int status = 0;
  ReadTerminal(master, out, [&] { return waitpid(pid, &status, WNOHANG) == pid; });
  if (!WIFEXITED(status) && !WIFSIGNALED(status)) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    FAIL() << "the tool did not end: " << out;
  }
  ReadTerminal(master, out, [&] {
    pollfd ready{master, POLLIN, 0};
    return poll(&ready, 1, 0) <= 0;
  });
  termios after{};
  ASSERT_EQ(tcgetattr(slave, &after), 0);
  close(slave);
  close(master);
  EXPECT_NE(after.c_lflag & ECHO, 0u) << out;
  if (c.exitCode < 0) {
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == -c.exitCode) << status << out;
  } else {
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == c.exitCode) << status << out;
  }
  EXPECT_TRUE(Contains(out, c.says)) << out;
  EXPECT_FALSE(Contains(out, kSecret)) << out;
}

INSTANTIATE_TEST_SUITE_P(
    Prompt, CliPrompt,
    testing::Values(PromptCase{"Typed", "sesame\n", 0, 0, "001A2B: configured"},
                    PromptCase{"TypedNoLatin1", "Geheim\u20ac\n", 0, 2,
                               "the password typed at the prompt has a character that devices "
                               "cannot take, at position 7"},
                    PromptCase{"CtrlC", "\x03", 0, -SIGINT, "Password: "},
                    PromptCase{"Sigterm", nullptr, SIGTERM, -SIGTERM, "Password: "},
                    PromptCase{"Hangup", nullptr, SIGHUP, -SIGHUP, "Password: "}),
    [](const testing::TestParamInfo<PromptCase>& info) { return info.param.what; });

}  // namespace
}  // namespace velkarin::test
