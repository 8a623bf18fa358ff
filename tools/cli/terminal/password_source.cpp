#include "cli/terminal/password_source.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <system_error>

#include "cli/output/file_io.h"
#include "cli/output/text_encoding.h"
#include "cli/terminal/terminal.h"
#include "config/config_transaction.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <poll.h>
#include <pthread.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#endif

namespace velkarin::cli {
namespace {

constexpr char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";

void StripLineEnd(std::string& line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
}

// False, with the system's reason, only when the source cannot be read (a
// closed standard input, a directory, one open for writing only): an empty
// one gives an empty line. Standard input is read up to the line's end
// alone, through stdio, whose error flag (unlike std::cin's state) tells a
// failed read from the end of the input.
bool ReadFirstLine(const std::string& path, std::string& line, std::string& reason) {
  if (path == "-") {
    if (StandardInputClosedAtStart()) {
      reason = "it is closed";
      return false;
    }
    errno = 0;
    line.clear();
    for (int c; (c = std::getc(stdin)) != EOF && c != '\n';) line += static_cast<char>(c);
    if (std::ferror(stdin) == 0) return true;
    reason = std::generic_category().message(errno);
    return false;
  }
  std::string content;
  if (!ReadWholeFile(path, content, reason)) return false;
  line = content.substr(0, content.find('\n'));
  return true;
}

// Every source's value comes here, so that a value means the same wherever
// it is given. An empty value is the empty password, not none: a device
// whose password is empty takes only a command signed with it. There is no
// password when no source gives one.
PasswordOutcome PasswordFromValue(const std::string& source, const std::string& value) {
  PasswordOutcome outcome;
  Latin1Fault fault;
  const std::optional<std::string> wire = Utf8ToLatin1(value, fault);
  if (!wire) {
    outcome.error = source +
                    (fault.malformed ? " is not valid UTF-8 at position "
                                     : " has a character that devices cannot take, at position ") +
                    std::to_string(fault.position) + "; devices take Latin-1 text";
    return outcome;
  }
  // What counts is what is sent: one byte per character.
  if (wire->size() > kMaxPasswordLength) {
    outcome.error = source + " has " + std::to_string(wire->size()) +
                    " characters; a device takes " + std::to_string(kMaxPasswordLength) +
                    " at most";
    return outcome;
  }
  outcome.password = wire;
  return outcome;
}

}  // namespace

#ifdef _WIN32
namespace {

// The console's mode before the prompt, for the handler below.
std::atomic<HANDLE> promptInput{nullptr};
std::atomic<DWORD> promptMode{0};

// Ctrl-C, Ctrl-Break or a closing console end the tool at the prompt: the
// mode is a property of the console, which outlives the tool, so the echo
// comes back first.
BOOL WINAPI RestoreConsoleMode(DWORD) {
  SetConsoleMode(promptInput.load(), promptMode.load());
  return FALSE;  // the next handler goes on as without the prompt
}

}  // namespace

bool ReadHiddenLine(const char* prompt, std::string& line) {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  if (input == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &mode)) return false;
  promptInput = input;
  promptMode = mode;
  SetConsoleCtrlHandler(RestoreConsoleMode, TRUE);
  SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  std::fputs(prompt, stderr);
  std::fflush(stderr);
  // Wide characters: the console's code page would lose or garble letters.
  std::u16string typed;
  bool ok = true;
  while (ok && typed.find(u'\n') == std::u16string::npos) {
    wchar_t buffer[256];
    DWORD read = 0;
    ok = ReadConsoleW(input, buffer, 256, &read, nullptr) != 0 && read > 0;
    if (ok) typed.append(reinterpret_cast<const char16_t*>(buffer), read);
  }
  SetConsoleMode(input, mode);
  SetConsoleCtrlHandler(RestoreConsoleMode, FALSE);
  std::fputs("\n", stderr);
  if (!ok) return false;
  line = Utf16ToUtf8(typed.substr(0, typed.find_first_of(u"\r\n")));
  return true;
}

std::optional<std::string> EnvironmentText(const char* name) {
  const std::u16string wideName = Utf8ToUtf16(name);
  const wchar_t* value = _wgetenv(reinterpret_cast<const wchar_t*>(wideName.c_str()));
  if (value == nullptr) return std::nullopt;
  return Utf16ToUtf8(reinterpret_cast<const char16_t*>(value));
}
#else
namespace {

std::atomic<int> promptSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void OnPromptSignal(int signalNumber) { promptSignal = signalNumber; }

// What ends the tool while the terminal has no echo.
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

}  // namespace

bool ReadHiddenLine(const char* prompt, std::string& line) {
  if (!isatty(STDIN_FILENO)) return false;
  termios saved{};
  if (tcgetattr(STDIN_FILENO, &saved) != 0) return false;
  // The signals are held off but while the read waits (ppoll), so that
  // each either ends the wait or comes after the echo is back.
  sigset_t ending;
  sigemptyset(&ending);
  for (int s : kEndingSignals) sigaddset(&ending, s);
  sigset_t waitMask;
  pthread_sigmask(SIG_BLOCK, &ending, &waitMask);
  struct sigaction catcher {};
  catcher.sa_handler = OnPromptSignal;
  sigemptyset(&catcher.sa_mask);
  struct sigaction previous[std::size(kEndingSignals)];
  promptSignal = 0;
  for (std::size_t i = 0; i < std::size(kEndingSignals); ++i)
    sigaction(kEndingSignals[i], &catcher, &previous[i]);

  termios quiet = saved;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  // The echo goes before the prompt shows: nothing typed after it is seen.
  bool ok = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
  std::fputs(prompt, stderr);
  std::fflush(stderr);
  line.clear();
  bool ended = false;
  while (ok && !ended) {
    pollfd ready{STDIN_FILENO, POLLIN, 0};
    const int polled = ppoll(&ready, 1, nullptr, &waitMask);
    if (promptSignal.load() != 0) break;
    if (polled < 0) {
      ok = errno == EINTR;
      continue;
    }
    char buffer[256];
    const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
    if (got < 0) {
      ok = errno == EINTR;
      continue;
    }
    const std::string part(buffer, static_cast<std::size_t>(got));
    line += part.substr(0, part.find('\n'));
    ended = got == 0 || part.find('\n') != std::string::npos;
    ok = got > 0 || !line.empty();
  }
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  // The Enter that ended the line was not echoed either.
  std::fputs("\n", stderr);
  std::fflush(stderr);
  for (std::size_t i = 0; i < std::size(kEndingSignals); ++i)
    sigaction(kEndingSignals[i], &previous[i], nullptr);
  const int signalNumber = promptSignal.load();
  if (signalNumber != 0) {
    // Ends the tool as the signal would have, now that the terminal is whole.
    std::signal(signalNumber, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signalNumber);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    std::raise(signalNumber);
  }
  pthread_sigmask(SIG_SETMASK, &waitMask, nullptr);
  StripLineEnd(line);
  return ok && signalNumber == 0;
}

std::optional<std::string> EnvironmentText(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}
#endif

PasswordOutcome ResolvePassword(const PasswordSources& sources, HiddenReader reader) {
  // Messages name where the password came from, never the password.
  if (sources.option && !sources.optionValue.empty()) {
    PasswordOutcome outcome = PasswordFromValue("--password", sources.optionValue);
    outcome.warning =
        "a password given on the command line is visible to other users of this computer; "
        "prefer --password without a value, --password-file or VELKARIN_PASSWORD";
    return outcome;
  }
  std::string password;
  if (sources.option) {
    if (!reader("Password: ", password)) {
      PasswordOutcome outcome;
      outcome.error =
          "--password without a value asks on a terminal, and there is none; use "
          "--password-file FILE or VELKARIN_PASSWORD";
      return outcome;
    }
    return PasswordFromValue("the password typed at the prompt", password);
  }
  if (sources.file) {
    std::string reason;
    if (!ReadFirstLine(*sources.file, password, reason)) {
      PasswordOutcome outcome;
      outcome.error =
          "cannot read the password from " +
          (*sources.file == "-" ? std::string("standard input") : "'" + *sources.file + "'") +
          ": " + reason;
      return outcome;
    }
    StripLineEnd(password);
    // Editors on Windows start a UTF-8 file with a byte-order mark.
    if (password.rfind(kUtf8ByteOrderMark, 0) == 0)
      password.erase(0, sizeof kUtf8ByteOrderMark - 1);
    return PasswordFromValue(*sources.file == "-" ? std::string("the password on standard input")
                                                  : "the password in '" + *sources.file + "'",
                             password);
  }
  if (sources.environment != nullptr) {
    return PasswordFromValue("VELKARIN_PASSWORD", sources.environment);
  }
  return PasswordOutcome();
}

}  // namespace velkarin::cli
