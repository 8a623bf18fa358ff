// The tool's console: progress on stderr when it is a terminal, and the
// interrupt that ends a watch.
#pragma once
#include <cstdint>
#include <string>

namespace velkarin::cli {

bool StderrIsTerminal();
bool StdinIsTerminal();

// A one-line spinner with a short text on stderr, redrawn at most every
// 100 ms; draws nothing unless stderr is a terminal.
class Spinner {
 public:
  Spinner();
  ~Spinner();
  Spinner(const Spinner&) = delete;
  Spinner& operator=(const Spinner&) = delete;

  void Tick(const std::string& text);
  // Removes the line; the next Tick draws it again.
  void Clear();

 private:
  bool enabled_;
  bool drawn_ = false;
  unsigned frame_ = 0;
  std::uint32_t lastDraw_ = 0;
  std::size_t lastLength_ = 0;
};

// Called first: opens /dev/null on any of the descriptors 0 to 2 that is
// closed, so that no file or socket takes its place, and ignores SIGPIPE, so
// that a closed output is a write error. A closed standard output still
// fails FlushOutput (EBADF).
void KeepStandardDescriptors();
// Whether standard input was closed when the tool started (it reads as
// /dev/null now).
bool StandardInputClosedAtStart();

// Flushes standard output; false once any write to it has failed (a full
// disk, a closed pipe). The first failure's reason is kept for the message.
bool FlushOutput();
// "cannot write to standard output: <reason>".
std::string OutputFailure();

// Ctrl-C (SIGINT) and, where there are, SIGTERM and SIGHUP (a closed
// terminal; taken as SIGTERM) set a flag instead of ending the process, so
// the engine can be stopped.
void InstallInterruptHandler();
bool Interrupted();
// The signal that interrupted (the last one, when several came); 0 before any.
int InterruptSignal();
// How many interrupts came: a second one asks to stop at once.
int InterruptCount();

// One line from standard input, without its end. A SIGINT, SIGTERM or SIGHUP during
// the read ends it: false, and Interrupted() tells which. False at the end of
// the input too.
bool ReadInputLine(std::string& line);

// Whether there is a terminal to ask a question on: standard input, or where
// it is redirected, the process's terminal (/dev/tty; not on Windows).
bool AnswerTerminalAvailable();
// An answer from that terminal, as ReadInputLine reads it.
bool ReadAnswerLine(std::string& line);

}  // namespace velkarin::cli
