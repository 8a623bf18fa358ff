#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace velkarin::test {
namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

namespace {

// A pseudo-terminal: [0] its master side, [1] the program's side.
void OpenTerminal(int ends[2]) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    throw std::runtime_error("no pseudo-terminal");
  }
  const int slave = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) throw std::runtime_error("cannot open the pseudo-terminal");
  ends[0] = master;
  ends[1] = slave;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, bool stderrTerminal,
                           bool stdinTerminal, bool outputUnread, bool ownSession) {
  int outPipe[2];
  int errPipe[2];
  int inTerminal[2] = {-1, -1};
  if (pipe2(outPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  // Closed before the program starts: its first write finds no reader.
  if (outputUnread) close(outPipe[0]);
  if (stdinTerminal) {
    OpenTerminal(inTerminal);
    // Typed keys arrive as typed, without an echo to read back.
    termios mode{};
    tcgetattr(inTerminal[1], &mode);
    mode.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(inTerminal[1], TCSANOW, &mode);
  }
  if (stderrTerminal) {
    OpenTerminal(errPipe);
    // Bytes as written, without the line discipline's additions.
    termios mode{};
    tcgetattr(errPipe[1], &mode);
    cfmakeraw(&mode);
    tcsetattr(errPipe[1], TCSANOW, &mode);
  } else if (pipe2(errPipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (ownSession) {
      setsid();
      if (stdinTerminal) ioctl(inTerminal[1], TIOCSCTTY, 0);
    }
    dup2(stdinTerminal && !ownSession ? inTerminal[1] : open("/dev/null", O_RDONLY), 0);
    dup2(outPipe[1], 1);
    dup2(errPipe[1], 2);
    execv(args[0], args.data());
    _exit(127);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  if (stdinTerminal) close(inTerminal[1]);
  inFd_ = inTerminal[0];
  pid_ = pid;
  outFd_ = outputUnread ? -1 : outPipe[0];
  errFd_ = errPipe[0];
}

ChildProcess::~ChildProcess() {
  if (!exited_ && pid_ > 0) {
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  if (outFd_ >= 0) close(outFd_);
  if (errFd_ >= 0) close(errFd_);
  if (inFd_ >= 0) close(inFd_);
}

void ChildProcess::Collect(std::chrono::milliseconds wait) {
  pollfd fds[2];
  int count = 0;
  if (outFd_ >= 0) fds[count++] = {outFd_, POLLIN, 0};
  if (errFd_ >= 0) fds[count++] = {errFd_, POLLIN, 0};
  if (count > 0 && poll(fds, count, static_cast<int>(wait.count())) > 0) {
    for (int i = 0; i < count; ++i) {
      if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      std::string& sink = fds[i].fd == outFd_ ? out_ : err_;
      if (n > 0) {
        sink.append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        close(fds[i].fd);
        (fds[i].fd == outFd_ ? outFd_ : errFd_) = -1;
      }
    }
  }
  // The program has ended once both pipes are closed and it can be reaped.
  if (!exited_ && outFd_ < 0 && errFd_ < 0) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      exited_ = true;
      endedBySignal_ = WIFSIGNALED(status);
      exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    } else if (count == 0) {
      usleep(static_cast<useconds_t>(wait.count()) * 1000);
    }
  }
}

bool ChildProcess::WaitForOutput(const std::function<bool(const std::string&)>& done,
                                 std::chrono::milliseconds timeout) {
  const auto end = Clock::now() + timeout;
  while (!done(out_)) {
    if (exited_ || Clock::now() >= end) return false;
    Collect(std::chrono::milliseconds(20));
  }
  return true;
}

bool ChildProcess::WaitForExit(std::chrono::milliseconds timeout) {
  const auto end = Clock::now() + timeout;
  while (!exited_) {
    if (Clock::now() >= end) return false;
    Collect(std::chrono::milliseconds(20));
  }
  return true;
}

void ChildProcess::Type(const std::string& keys) {
  if (inFd_ >= 0 && write(inFd_, keys.data(), keys.size()) != static_cast<ssize_t>(keys.size())) {
    throw std::runtime_error("cannot type on the terminal");
  }
}

void ChildProcess::Signal(int signalNumber) {
  if (!exited_) kill(pid_, signalNumber);
}

RunResult RunProgram(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) {
  ChildProcess child(argv);
  RunResult result;
  result.finished = child.WaitForExit(timeout);
  result.exitCode = child.exitCode();
  result.out = child.out();
  result.err = child.err();
  return result;
}

}  // namespace velkarin::test
