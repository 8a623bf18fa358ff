#include "server_loop.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace velkarin::devsim {
namespace {

// Written by the signal handler, so that poll wakes at once.
int g_signalPipe[2] = {-1, -1};
volatile sig_atomic_t g_signal = 0;

void OnStopSignal(int number) {
  g_signal = number;
  const int saved = errno;
  char byte = 1;
  ssize_t ignored = write(g_signalPipe[1], &byte, 1);
  (void)ignored;
  errno = saved;
}

// How often the stop file and the watched lock are looked at.
constexpr int kWatchPollMs = 50;
// Datagrams taken per wake-up before due actions get their turn.
constexpr int kReceiveBatch = 64;

// True while some process holds a lock on the file's first byte. Locks are
// owned per process, so the starter's lock is never this process's own.
bool LockHeld(int fd) {
  struct flock query {};
  query.l_type = F_WRLCK;
  query.l_whence = SEEK_SET;
  query.l_start = 0;
  query.l_len = 1;
  if (fcntl(fd, F_GETLK, &query) != 0) return false;
  return query.l_type != F_UNLCK;
}

std::string WhyStop(const StopConditions& stop, Clock::time_point deadline, int lockFd) {
  if (g_signal != 0) return std::string("signal ") + strsignal(g_signal);
  struct stat info {};
  if (!stop.stopFile.empty() && stat(stop.stopFile.c_str(), &info) == 0) return "stop file";
  if (lockFd >= 0 && !LockHeld(lockFd)) return "watched lock released";
  if (stop.maxRuntimeS > 0 && Clock::now() >= deadline) return "maximum run time";
  return std::string();
}

}  // namespace

bool InstallStopSignals(std::string& error) {
  if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
  return true;
}

std::string RunServer(Simulator& simulator, DeviceSockets& sockets, Scheduler& scheduler,
                      const StopConditions& stop) {
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(stop.maxRuntimeS);
  const int lockFd = stop.watchLockFd;
  const bool watching = !stop.stopFile.empty() || lockFd >= 0;
  std::string why;
  for (;;) {
    why = WhyStop(stop, deadline, lockFd);
    if (!why.empty()) break;

    int timeout = scheduler.MsUntilNext();
    if (watching) timeout = timeout < 0 ? kWatchPollMs : std::min(timeout, kWatchPollMs);
    if (stop.maxRuntimeS > 0) {
      int untilDeadline = static_cast<int>(
          std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count());
      untilDeadline = std::max(untilDeadline, 0);
      timeout = timeout < 0 ? untilDeadline : std::min(timeout, untilDeadline);
    }

    pollfd fds[3] = {{sockets.fd(), POLLIN, 0},
                     {g_signalPipe[0], POLLIN, 0},
                     {stop.stdinEof ? STDIN_FILENO : -1, POLLIN, 0}};
    int ready = poll(fds, 3, timeout);
    if (ready < 0 && errno != EINTR) {
      why = std::string("poll: ") + std::strerror(errno);
      break;
    }
    if (ready > 0 && fds[2].revents != 0) {
      char buffer[256];
      ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
      if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) {
        why = "end of standard input";
        break;
      }
    }
    if (ready > 0 && (fds[0].revents & POLLIN)) {
      std::string datagram;
      Endpoint sender;
      for (int i = 0; i < kReceiveBatch && sockets.Receive(datagram, sender); ++i) {
        simulator.OnDatagram(datagram, sender);
      }
    }
    scheduler.RunDue();
  }
  return why;
}

}  // namespace velkarin::devsim
