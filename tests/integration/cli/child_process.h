// A program started by a test, with its output captured.
#pragma once
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace velkarin::test {

class ChildProcess {
 public:
  // Starts argv[0] (a path) with the arguments; stdin is /dev/null. With
  // `stderrTerminal` its standard error is a pseudo-terminal (read as err()).
  // With `stdinTerminal` its standard input is one, written by Type(). With
  // `outputUnread` its standard output is a pipe that nobody reads (out() stays empty).
  // `ownSession`: the program runs in a session of its own, whose terminal
  // (/dev/tty) is the one of `stdinTerminal` or none; stdin is /dev/null.
  explicit ChildProcess(const std::vector<std::string>& argv, bool stderrTerminal = false,
                        bool stdinTerminal = false, bool outputUnread = false,
                        bool ownSession = false);
  // Kills the program if it still runs.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Collects output until `done(stdout so far)` holds, the program ends or the
  // time is up; returns whether `done` held.
  bool WaitForOutput(const std::function<bool(const std::string&)>& done,
                     std::chrono::milliseconds timeout);
  // Collects output until the program ends; false when the time ran out.
  bool WaitForExit(std::chrono::milliseconds timeout);
  void Signal(int signalNumber);
  // Keys typed on the terminal of standard input (`stdinTerminal`).
  void Type(const std::string& keys);

  bool exited() const { return exited_; }
  // The exit status; 128 + the signal number when a signal ended it.
  int exitCode() const { return exitCode_; }
  bool endedBySignal() const { return endedBySignal_; }
  const std::string& out() const { return out_; }
  const std::string& err() const { return err_; }

 private:
  // Reads what is there, waiting at most `wait`; notes the end of the program.
  void Collect(std::chrono::milliseconds wait);

  int pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  int inFd_ = -1;  // the input terminal's master side
  bool exited_ = false;
  int exitCode_ = -1;
  bool endedBySignal_ = false;
  std::string out_;
  std::string err_;
};

struct RunResult {
  bool finished = false;  // false: killed after the time-out
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs a program to its end (killed after `timeout`).
RunResult RunProgram(const std::vector<std::string>& argv,
                     std::chrono::milliseconds timeout = std::chrono::seconds(60));

}  // namespace velkarin::test
