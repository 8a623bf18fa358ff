// Starts velkarin-devsim (the Linux simulator named by the environment
// variable VELKARIN_DEVSIM) for one test, and stops it again.
//
// The simulator gets a folder of its own under /tmp (or VELKARIN_DEVSIM_TMP):
//   devsim.json   the configuration given to the constructor, if any (--config)
//   devsim.log    every datagram it received and sent (--log)
//   devsim.ready  written once its port is bound, "port=N" (--ready-file)
//   devsim.stop   created to make it end (--stop-file)
//   devsim.lock   locked by the test while the simulator is to run (--watch-lock)
//   devsim.out    its standard output and error (--output)
// The lock is what ends a simulator whose test died without stopping it: the
// system drops a dead process's locks, and the simulator ends once nobody
// holds one. It also ends by itself after --max-runtime seconds.
//
// On Linux it is forked and exec'd, and stopped with SIGTERM. Under Wine it is
// started as a Unix program: CreateProcess on its "Z:\..." path runs the ELF
// file natively (no process handle comes back; standard input cannot be a
// pipe), LockFileEx makes a POSIX lock the simulator sees, and it is stopped
// through the stop file and the lock; it removes devsim.ready as it ends.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace velkarin::test {

// One line of the simulator's log.
struct LoggedDatagram {
  bool received = false;  // RX: the devices' port received it; else sent by a device
  std::string address;    // sender (received) or destination (sent), dotted quad
  std::uint16_t port = 0;
  bool fromUnconfigured = false;  // sent from source 0.0.0.0
  std::string bytes;
  int dayMs = 0;  // when it was logged: milliseconds since midnight UTC
};

class DevsimProcess {
 public:
  // `arguments` go to the simulator as they are (for example --port 0,
  // --device serial=A1B2,ip=10.0.0.5); without --port it listens on 8001.
  // A non-empty `configJson` is written to devsim.json and passed as --config.
  explicit DevsimProcess(std::vector<std::string> arguments,
                         const std::string& configJson = std::string());
  ~DevsimProcess();
  DevsimProcess(const DevsimProcess&) = delete;
  DevsimProcess& operator=(const DevsimProcess&) = delete;

  // True once the simulator has bound its port; else error() says why.
  bool ready() const { return ready_; }
  const std::string& error() const { return error_; }
  std::uint16_t port() const { return port_; }

  std::string LogText() const;
  std::vector<LoggedDatagram> Datagrams() const;
  // The bytes of every datagram the simulator received, in order.
  std::vector<std::string> Received() const;
  // Waits until the simulator has received at least `count` datagrams.
  bool WaitForReceived(std::size_t count, unsigned timeoutMs) const;
  // Standard output and error of the simulator so far.
  std::string Output() const;

  // Ends the simulator and waits for it; true when it ended cleanly. The
  // destructor calls it, and fails the running test when it was not clean.
  bool Stop();
  bool running() const { return running_; }
  // The simulator's folder (a Unix path; see LocalPath).
  const std::string& directory() const { return dir_; }

 private:
  bool Start(const std::vector<std::string>& arguments);
  bool WaitUntilReady();
  std::string dir_;  // Unix path
  bool ready_ = false;
  bool running_ = false;
  std::string error_;
  std::uint16_t port_ = 0;
  bool Lock();
  void Unlock();
#ifdef _WIN32
  void* lock_ = nullptr;
#else
  int pid_ = -1;
  int lock_ = -1;
#endif
};

// The simulator's path as VELKARIN_DEVSIM names it; empty when unset.
std::string DevsimProgram();

// Removes a simulator's folder and the files it makes.
void RemoveDevsimDirectory(const std::string& dir);

// A Unix path as this process opens it: itself on Linux, "Z:\..." under Wine.
std::string LocalPath(const std::string& unixPath);

}  // namespace velkarin::test
