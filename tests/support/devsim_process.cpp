#include "devsim_process.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace velkarin::test {
namespace {

using Steady = std::chrono::steady_clock;

// How long the simulator may take to bind its port, and to end.
constexpr int kStartTimeoutMs = 15000;
constexpr int kStopTimeoutMs = 5000;
// The simulator's own limit, so that one left behind by a crashed test ends.
constexpr int kMaxRuntimeS = 1800;

std::atomic<unsigned> g_instances{0};

std::string ReadFile(const std::string& unixPath) {
  std::ifstream in(LocalPath(unixPath), std::ios::binary);
  if (!in) return std::string();
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool FileExists(const std::string& unixPath) {
#ifdef _WIN32
  return GetFileAttributesA(LocalPath(unixPath).c_str()) != INVALID_FILE_ATTRIBUTES;
#else
  struct stat info {};
  return stat(unixPath.c_str(), &info) == 0;
#endif
}

bool WriteFile(const std::string& unixPath, const std::string& text) {
  std::ofstream out(LocalPath(unixPath), std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out.flush());
}

void RemoveFile(const std::string& unixPath) { std::remove(LocalPath(unixPath).c_str()); }

std::string TempBase() {
  const char* base = std::getenv("VELKARIN_DEVSIM_TMP");
  return base != nullptr && *base != '\0' ? base : "/tmp";
}

// A fresh folder for one simulator run.
std::string MakeRunDirectory() {
#ifdef _WIN32
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[96];
    std::snprintf(name, sizeof name, "/velkarin-devsim-w%lu-%u-%lu", GetCurrentProcessId(),
                  g_instances++, GetTickCount());
    std::string dir = TempBase() + name;
    if (CreateDirectoryA(LocalPath(dir).c_str(), nullptr)) return dir;
  }
  return std::string();
#else
  std::string pattern = TempBase() + "/velkarin-devsim-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) return std::string();
  return buffer.data();
#endif
}

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool ParseLogLine(const std::string& line, LoggedDatagram& out) {
  std::istringstream words(line);
  std::string time, direction, endpoint, word;
  if (!(words >> time >> direction >> endpoint)) return false;
  if (direction != "RX" && direction != "TX") return false;
  out = LoggedDatagram();
  out.received = direction == "RX";
  // 2026-12-08T10:19:20.123Z
  int hours = 0, minutes = 0, seconds = 0, ms = 0;
  if (std::sscanf(time.c_str(), "%*d-%*d-%*dT%d:%d:%d.%dZ", &hours, &minutes, &seconds, &ms) == 4) {
    out.dayMs = ((hours * 60 + minutes) * 60 + seconds) * 1000 + ms;
  }
  const std::size_t colon = endpoint.rfind(':');
  if (colon == std::string::npos) return false;
  out.address = endpoint.substr(0, colon);
  out.port = static_cast<std::uint16_t>(std::atoi(endpoint.c_str() + colon + 1));
  while (words >> word) {
    if (word == "src=0.0.0.0") out.fromUnconfigured = true;
    if (word.compare(0, 4, "hex=") == 0) {
      const std::string hex = word.substr(4);
      for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.bytes.push_back(static_cast<char>(HexValue(hex[i]) * 16 + HexValue(hex[i + 1])));
      }
      return true;
    }
  }
  return false;
}

#ifdef _WIN32
// Quoted so that the command-line splitting of the started program gives the
// argument back unchanged.
std::string QuoteArgument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
    return argument;
  }
  std::string quoted = "\"";
  for (std::size_t i = 0;; ++i) {
    std::size_t backslashes = 0;
    while (i < argument.size() && argument[i] == '\\') {
      ++i;
      ++backslashes;
    }
    if (i == argument.size()) {
      quoted.append(backslashes * 2, '\\');
      break;
    }
    if (argument[i] == '"') {
      quoted.append(backslashes * 2 + 1, '\\');
    } else {
      quoted.append(backslashes, '\\');
    }
    quoted.push_back(argument[i]);
  }
  quoted.push_back('"');
  return quoted;
}
#endif

}  // namespace

std::string LocalPath(const std::string& unixPath) {
#ifdef _WIN32
  if (unixPath.empty() || unixPath[0] != '/') return unixPath;
  std::string path = "Z:" + unixPath;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
#else
  return unixPath;
#endif
}

void RemoveDevsimDirectory(const std::string& dir) {
  for (const char* file : {"devsim.json", "devsim.log", "devsim.ready", "devsim.stop", "devsim.out",
                           "devsim.ready.tmp", "devsim.lock"}) {
    RemoveFile(dir + "/" + file);
  }
#ifdef _WIN32
  RemoveDirectoryA(LocalPath(dir).c_str());
#else
  rmdir(dir.c_str());
#endif
}

DevsimProcess::DevsimProcess(std::vector<std::string> arguments, const std::string& configJson) {
  dir_ = MakeRunDirectory();
  if (dir_.empty()) {
    error_ = "cannot make a folder for the simulator under " + TempBase();
    return;
  }
  if (!configJson.empty()) {
    if (!WriteFile(dir_ + "/devsim.json", configJson)) {
      error_ = "cannot write " + dir_ + "/devsim.json";
      return;
    }
    arguments.push_back("--config");
    arguments.push_back(dir_ + "/devsim.json");
  }
  const char* const files[][2] = {
      {"--log", "devsim.log"}, {"--ready-file", "devsim.ready"}, {"--stop-file", "devsim.stop"}};
  for (const auto& file : files) {
    arguments.push_back(file[0]);
    arguments.push_back(dir_ + "/" + file[1]);
  }
  arguments.push_back("--max-runtime");
  arguments.push_back(std::to_string(kMaxRuntimeS));
  arguments.push_back("--watch-lock");
  arguments.push_back(dir_ + "/devsim.lock");
  // Its own redirection: under Wine standard error would stay the test's.
  arguments.push_back("--output");
  arguments.push_back(dir_ + "/devsim.out");
  if (!Lock()) return;
  if (!Start(arguments)) {
    Unlock();
    return;
  }
  running_ = true;
  ready_ = WaitUntilReady();
}

DevsimProcess::~DevsimProcess() {
  // A simulator that crashed or was caught by a sanitizer fails the test that
  // used it (known on Linux; under Wine there is no exit status to read).
  if (running_ && !Stop()) ADD_FAILURE() << "the simulator did not end cleanly: " << Output();
  // One that never got ready still holds its lock: let it go before the
  // folder is removed (Wine deletes an open file only when it is closed).
  Unlock();
  if (dir_.empty()) return;
  // Kept when the test failed, for its log and output.
  if (testing::Test::HasFailure()) {
    std::fprintf(stderr, "simulator files kept in %s\n", dir_.c_str());
    return;
  }
  RemoveDevsimDirectory(dir_);
}

bool DevsimProcess::WaitUntilReady() {
  const std::string readyFile = dir_ + "/devsim.ready";
  const Steady::time_point end = Steady::now() + std::chrono::milliseconds(kStartTimeoutMs);
  while (Steady::now() < end) {
    if (FileExists(readyFile)) {
      const std::string text = ReadFile(readyFile);
      const std::size_t at = text.find("port=");
      if (at != std::string::npos) {
        port_ = static_cast<std::uint16_t>(std::atoi(text.c_str() + at + 5));
        return true;
      }
    }
#ifndef _WIN32
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      running_ = false;
      pid_ = -1;
      error_ = "the simulator ended before it was ready: " + Output();
      return false;
    }
#else
    // No process handle under Wine. Before READY the simulator writes nothing
    // but the reason why it ends, so any output means it is ending.
    if (!Output().empty()) {
      SleepMs(200);
      if (FileExists(readyFile)) continue;
      running_ = false;
      error_ = "the simulator ended before it was ready: " + Output();
      return false;
    }
#endif
    SleepMs(10);
  }
  error_ =
      "the simulator was not ready after " + std::to_string(kStartTimeoutMs) + " ms: " + Output();
  return false;
}

std::string DevsimProcess::LogText() const { return ReadFile(dir_ + "/devsim.log"); }

std::string DevsimProcess::Output() const { return ReadFile(dir_ + "/devsim.out"); }

std::vector<LoggedDatagram> DevsimProcess::Datagrams() const {
  std::vector<LoggedDatagram> datagrams;
  std::istringstream lines(LogText());
  std::string line;
  LoggedDatagram datagram;
  while (std::getline(lines, line)) {
    if (ParseLogLine(line, datagram)) datagrams.push_back(datagram);
  }
  return datagrams;
}

std::vector<std::string> DevsimProcess::Received() const {
  std::vector<std::string> received;
  for (const LoggedDatagram& d : Datagrams()) {
    if (d.received) received.push_back(d.bytes);
  }
  return received;
}

bool DevsimProcess::WaitForReceived(std::size_t count, unsigned timeoutMs) const {
  const Steady::time_point end = Steady::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (Received().size() >= count) return true;
    if (Steady::now() >= end) return false;
    SleepMs(10);
  }
}

std::string DevsimProgram() {
  const char* program = std::getenv("VELKARIN_DEVSIM");
  return program == nullptr ? std::string() : std::string(program);
}

#ifdef _WIN32

bool DevsimProcess::Start(const std::vector<std::string>& arguments) {
  const std::string program = DevsimProgram();
  if (program.empty()) {
    error_ = "VELKARIN_DEVSIM does not name the simulator";
    return false;
  }
  std::string commandLine = QuoteArgument(LocalPath(program));
  for (const std::string& argument : arguments) commandLine += " " + QuoteArgument(argument);

  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE output = CreateFileA(LocalPath(dir_ + "/devsim.out").c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (output == INVALID_HANDLE_VALUE) {
    error_ = "cannot create " + dir_ + "/devsim.out";
    return false;
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;
  startup.hStdOutput = output;
  startup.hStdError = output;
  PROCESS_INFORMATION info{};
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  // Wine runs a Unix executable natively and gives no process handle for it.
  const BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &info);
  const DWORD lastError = GetLastError();
  CloseHandle(output);
  if (!started) {
    error_ = "CreateProcess failed (" + std::to_string(lastError) + ") for " + commandLine;
    return false;
  }
  // For a Unix program Wine returns no process handle and leaves the rest of
  // the record undefined (hThread may hold any value, even one of our own
  // handles): only a real Windows process has handles to close.
  if (info.hProcess != nullptr) {
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
  }
  return true;
}

bool DevsimProcess::Lock() {
  // Wine keeps byte-range locks as POSIX locks of the wineserver, visible to
  // the simulator, and drops them when this process ends.
  HANDLE file = CreateFileA(LocalPath(dir_ + "/devsim.lock").c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error_ = "cannot create " + dir_ + "/devsim.lock";
    return false;
  }
  OVERLAPPED at{};
  if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    CloseHandle(file);
    error_ = "cannot lock " + dir_ + "/devsim.lock";
    return false;
  }
  lock_ = file;
  return true;
}

void DevsimProcess::Unlock() {
  if (lock_ == nullptr) return;
  OVERLAPPED at{};
  UnlockFileEx(static_cast<HANDLE>(lock_), 0, 1, 0, &at);
  CloseHandle(static_cast<HANDLE>(lock_));
  lock_ = nullptr;
}

bool DevsimProcess::Stop() {
  if (!running_) {
    Unlock();
    return true;
  }
  running_ = false;
  WriteFile(dir_ + "/devsim.stop", "stop\n");
  Unlock();
  // It removes its ready file as its last act.
  const Steady::time_point end = Steady::now() + std::chrono::milliseconds(kStopTimeoutMs);
  while (FileExists(dir_ + "/devsim.ready")) {
    if (Steady::now() >= end) return false;
    SleepMs(10);
  }
  return true;
}

#else

bool DevsimProcess::Start(const std::vector<std::string>& arguments) {
  const std::string program = DevsimProgram();
  if (program.empty()) {
    error_ = "VELKARIN_DEVSIM does not name the simulator";
    return false;
  }
  // Everything the child needs is made before fork: it may only exec.
  std::vector<std::string> all{program};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int input = open("/dev/null", O_RDONLY | O_CLOEXEC);
  const std::string outputPath = dir_ + "/devsim.out";
  const int output = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (input < 0 || output < 0) {
    if (input >= 0) close(input);
    if (output >= 0) close(output);
    error_ = "cannot create " + outputPath;
    return false;
  }
  pid_t pid = fork();
  if (pid == 0) {
    dup2(input, STDIN_FILENO);
    dup2(output, STDOUT_FILENO);
    dup2(output, STDERR_FILENO);
    execv(argv[0], argv.data());
    const char message[] = "velkarin-devsim: exec failed\n";
    ssize_t ignored = write(STDERR_FILENO, message, sizeof message - 1);
    (void)ignored;
    _exit(127);
  }
  close(input);
  close(output);
  if (pid < 0) {
    error_ = "fork failed";
    return false;
  }
  pid_ = pid;
  return true;
}

bool DevsimProcess::Lock() {
  // A record lock belongs to this process: the system drops it when the
  // process ends, however it ends, and the child does not inherit it.
  const std::string path = dir_ + "/devsim.lock";
  lock_ = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  struct flock whole {};
  whole.l_type = F_WRLCK;
  whole.l_whence = SEEK_SET;
  whole.l_start = 0;
  whole.l_len = 1;
  if (lock_ < 0 || fcntl(lock_, F_SETLK, &whole) != 0) {
    Unlock();
    error_ = "cannot lock " + path;
    return false;
  }
  return true;
}

void DevsimProcess::Unlock() {
  if (lock_ < 0) return;
  close(lock_);
  lock_ = -1;
}

bool DevsimProcess::Stop() {
  if (!running_ || pid_ < 0) {
    Unlock();
    return true;
  }
  running_ = false;
  kill(pid_, SIGTERM);
  const Steady::time_point end = Steady::now() + std::chrono::milliseconds(kStopTimeoutMs);
  int status = 0;
  for (;;) {
    pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) break;
    if (done < 0 || Steady::now() >= end) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      pid_ = -1;
      Unlock();
      return false;
    }
    SleepMs(5);
  }
  pid_ = -1;
  Unlock();
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

#endif

}  // namespace velkarin::test
