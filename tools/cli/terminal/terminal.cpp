#include "cli/terminal/terminal.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <system_error>

#include "cli/output/text_encoding.h"
#include "cli/output/text_output.h"
#include "platform/clock.h"

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#endif

namespace velkarin::cli {
namespace {

std::atomic<int> interruptSignal{0};
std::atomic<int> interruptCount{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void OnInterrupt(int signalNumber) {
#ifdef SIGHUP
  // A closed terminal asks the tool to stop as SIGTERM does, and is told so.
  interruptSignal = signalNumber == SIGHUP ? SIGTERM : signalNumber;
#else
  interruptSignal = signalNumber;
#endif
  ++interruptCount;
  // msvcrt resets the handler to the default on every signal.
  std::signal(signalNumber, OnInterrupt);
}

constexpr std::uint32_t kRedrawMs = 100;

}  // namespace

bool StderrIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(fileno(stderr)) != 0;
#endif
}

bool StdinIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stdin)) != 0;
#else
  return isatty(fileno(stdin)) != 0;
#endif
}

Spinner::Spinner() : enabled_(StderrIsTerminal()) {}

Spinner::~Spinner() { Clear(); }

void Spinner::Tick(const std::string& text) {
  if (!enabled_) return;
  const std::uint32_t now = platform::TickCountMs();
  if (drawn_ && platform::TickElapsed(lastDraw_, now) < kRedrawMs) return;
  static const char kFrames[] = {'|', '/', '-', '\\'};
  const std::string line = std::string(1, kFrames[frame_++ % 4]) + " " + text;
  // Interface names in the text may be any letters: out in the console's form.
  const std::size_t length = CharacterCount(line);
  WriteText(stderr,
            "\r" + line + std::string(length < lastLength_ ? lastLength_ - length : 0, ' '));
  lastLength_ = length;
  lastDraw_ = now;
  drawn_ = true;
}

void Spinner::Clear() {
  if (!enabled_ || !drawn_) return;
  WriteText(stderr, "\r" + std::string(lastLength_, ' ') + "\r");
  drawn_ = false;
  lastLength_ = 0;
}

namespace {

// A failed flush drops the buffer, so a later one may succeed and say nothing.
int outputError = 0;

// The standard descriptors that were closed when the tool started.
bool closedAtStart[3] = {false, false, false};

}  // namespace

void KeepStandardDescriptors() {
#ifndef _WIN32
  // A descriptor left free would be the next file or socket opened, and
  // standard output would go to a device. Taken in order, each open gets the
  // lowest free number: the one closed.
  for (int fd = 0; fd < 3; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    closedAtStart[fd] = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) == fd;
  }
  // A closed pipe or socket is an output error (EPIPE), said and counted as
  // one, not the end of a run whose devices are half configured.
  std::signal(SIGPIPE, SIG_IGN);
#endif
}

bool StandardInputClosedAtStart() { return closedAtStart[0]; }

bool FlushOutput() {
  // What was written went to /dev/null in place of the closed descriptor.
  if (closedAtStart[1] && outputError == 0) outputError = EBADF;
  errno = 0;
  const bool flushed = std::fflush(stdout) == 0 && !closedAtStart[1];
  if (!flushed && outputError == 0) outputError = errno;
  return flushed && std::ferror(stdout) == 0;
}

std::string OutputFailure() {
  std::string text = "cannot write to standard output";
  const int error = outputError != 0 ? outputError : LastWriteError();
  if (error != 0) text += ": " + std::generic_category().message(error);
  return text;
}

void InstallInterruptHandler() {
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
#ifdef SIGHUP
  std::signal(SIGHUP, OnInterrupt);
#endif
}

bool Interrupted() { return interruptSignal.load() != 0; }

int InterruptSignal() { return interruptSignal.load(); }

int InterruptCount() { return interruptCount.load(); }

bool ReadInputLine(std::string& line) {
  InstallInterruptHandler();
#ifndef _WIN32
  // std::signal restarts an interrupted read; this read must end instead.
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  struct sigaction previousInt {};
  struct sigaction previousTerm {};
  struct sigaction previousHup {};
  sigaction(SIGINT, &action, &previousInt);
  sigaction(SIGTERM, &action, &previousTerm);
  sigaction(SIGHUP, &action, &previousHup);
  // The read waits in slices: a signal that came between a look at the flag
  // and a read would leave that read waiting for a line nobody types.
  bool ready = std::cin.rdbuf()->in_avail() > 0;
  while (!ready && !Interrupted()) {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    ready = poll(&input, 1, 100) != 0;  // a line, an end, an error or a signal
  }
#endif
  const bool read = !Interrupted() && static_cast<bool>(std::getline(std::cin, line));
#ifndef _WIN32
  sigaction(SIGINT, &previousInt, nullptr);
  sigaction(SIGTERM, &previousTerm, nullptr);
  sigaction(SIGHUP, &previousHup, nullptr);
#else
  // A console read ends at Ctrl-C before the handler's thread sets the flag.
  for (int i = 0; !read && !Interrupted() && i < 10; ++i) platform::SleepMs(20);
#endif
  return read && !Interrupted();
}

#ifndef _WIN32
namespace {

int OpenProcessTerminal() { return open("/dev/tty", O_RDONLY | O_CLOEXEC | O_NOCTTY); }

}  // namespace
#endif

bool AnswerTerminalAvailable() {
  if (StdinIsTerminal()) return true;
#ifdef _WIN32
  return false;
#else
  const int fd = OpenProcessTerminal();
  if (fd >= 0) close(fd);
  return fd >= 0;
#endif
}

bool ReadAnswerLine(std::string& line) {
#ifndef _WIN32
  if (!StdinIsTerminal()) {
    const int fd = OpenProcessTerminal();
    if (fd < 0) return false;
    InstallInterruptHandler();
    // poll is never restarted after a signal, and the read waits for nothing:
    // an interrupt ends the question within a slice.
    line.clear();
    bool ended = false;
    while (!ended && !Interrupted()) {
      pollfd input{fd, POLLIN, 0};
      if (poll(&input, 1, 100) <= 0) continue;
      char c = 0;
      if (read(fd, &c, 1) != 1) break;  // the terminal hung up
      if (c == '\n') {
        ended = true;
      } else {
        line += c;
      }
    }
    close(fd);
    return ended && !Interrupted();
  }
#endif
  return ReadInputLine(line);
}

}  // namespace velkarin::cli
