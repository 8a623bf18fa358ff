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

// How often the stop file is looked for.
constexpr int kStopFilePollMs = 50;
// Datagrams taken per wake-up before due actions get their turn.
constexpr int kReceiveBatch = 64;

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
  for (;;) {
    if (g_signal != 0) return std::string("signal ") + strsignal(g_signal);
    struct stat info {};
    if (!stop.stopFile.empty() && stat(stop.stopFile.c_str(), &info) == 0) return "stop file";
    if (stop.maxRuntimeS > 0 && Clock::now() >= deadline) return "maximum run time";

    int timeout = scheduler.MsUntilNext();
    if (!stop.stopFile.empty())
      timeout = timeout < 0 ? kStopFilePollMs : std::min(timeout, kStopFilePollMs);
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
    if (ready < 0 && errno != EINTR) return std::string("poll: ") + std::strerror(errno);
    if (ready > 0 && fds[2].revents != 0) {
      char buffer[256];
      ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
      if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return "end of standard input";
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
}

}  // namespace velkarin::devsim
