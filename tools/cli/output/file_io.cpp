#include "cli/output/file_io.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace velkarin::cli {
namespace {

// strerror's buffer is shared between threads, and apply's workers run
// beside this. GNU strerror_r returns its text, XSI's fills the buffer.
[[maybe_unused]] const char* ErrorTextOf(const char* text, const char*) { return text; }
[[maybe_unused]] const char* ErrorTextOf(int, const char* buffer) { return buffer; }

std::string ErrnoText(int error) {
  char buffer[256] = "";
#ifdef _WIN32
  strerror_s(buffer, sizeof buffer, error);
  return buffer;
#else
  return ErrorTextOf(strerror_r(error, buffer, sizeof buffer), buffer);
#endif
}

#ifdef _WIN32
std::wstring Wide(const std::string& text) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::wstring result(size > 0 ? static_cast<std::size_t>(size) : 1, L'\0');
  if (size > 0) MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, result.data(), size);
  result.resize(result.size() - 1);
  return result;
}

// The volume and index that name a file whatever path reaches it.
bool FileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
  const HANDLE file =
      CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool got = GetFileInformationByHandle(file, &info) != 0;
  CloseHandle(file);
  return got;
}
#endif

std::FILE* Open(const std::string& path, const char* mode) {
#ifdef _WIN32
  return _wfopen(Wide(path).c_str(), Wide(mode).c_str());
#else
  return std::fopen(path.c_str(), mode);
#endif
}

}  // namespace

namespace {

constexpr std::size_t kNoLimit = static_cast<std::size_t>(-1);

// How a read treats a file longer than its bound.
enum class Longer { kCut, kRefused };

// Reads up to `maxBytes` (kNoLimit: all) and, with `textOnly`, no NUL byte.
bool ReadFile(const std::string& path, std::size_t maxBytes, Longer longer, bool textOnly,
              std::string& content, std::string& reason) {
  errno = 0;
  std::FILE* file = Open(path, "rb");
  if (file == nullptr) {
    reason = ErrnoText(errno);
    return false;
  }
  content.clear();
  char buffer[8192];
  std::size_t got;
  bool refused = false;
  // A cut read takes no byte past the bound; a refusing one takes one piece more.
  while (
      !refused && (longer == Longer::kRefused || content.size() < maxBytes) &&
      (got = std::fread(buffer, 1,
                        longer == Longer::kCut ? std::min(sizeof buffer, maxBytes - content.size())
                                               : sizeof buffer,
                        file)) > 0) {
    const std::size_t start = content.size();
    content.append(buffer, got);
    if (content.size() > maxBytes) {
      reason = "it is larger than " + (maxBytes % (1u << 20) == 0
                                           ? std::to_string(maxBytes >> 20) + " MiB"
                                           : std::to_string(maxBytes) + " bytes");
      refused = true;
    } else if (textOnly && content.find('\0', start) != std::string::npos &&
               content.compare(0, 2, "\xFF\xFE") != 0 && content.compare(0, 2, "\xFE\xFF") != 0) {
      reason = "not a text file: byte " + std::to_string(content.find('\0', start)) + " is NUL";
      refused = true;
    }
  }
  const bool failed = !refused && std::ferror(file) != 0;
  if (failed) reason = ErrnoText(errno);
  std::fclose(file);
  if (refused) content.clear();
  return !failed && !refused;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& content, std::string& reason) {
  return ReadFile(path, kNoLimit, Longer::kCut, false, content, reason);
}

bool ReadFileStart(const std::string& path, std::size_t most, std::string& content,
                   std::string& reason) {
  return ReadFile(path, most, Longer::kCut, false, content, reason);
}

bool ReadTextFile(const std::string& path, std::size_t maxBytes, std::string& content,
                  std::string& reason) {
  return ReadFile(path, maxBytes, Longer::kRefused, true, content, reason);
}

bool WriteWholeFile(const std::string& path, const std::string& content, std::string& reason) {
  errno = 0;
  std::FILE* file = Open(path, "wb");
  if (file == nullptr) {
    reason = ErrnoText(errno);
    return false;
  }
  const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
  if (!written) reason = ErrnoText(errno);
  if (std::fclose(file) != 0 && written) {
    reason = ErrnoText(errno);
    return false;
  }
  return written;
}

bool RemoveFile(const std::string& path) {
#ifdef _WIN32
  return _wremove(Wide(path).c_str()) == 0;
#else
  return std::remove(path.c_str()) == 0;
#endif
}

bool PathExists(const std::string& path) {
#ifdef _WIN32
  return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
#else
  struct stat status {};
  return stat(path.c_str(), &status) == 0;
#endif
}

bool SameFile(const std::string& a, const std::string& b) {
#ifdef _WIN32
  BY_HANDLE_FILE_INFORMATION first{};
  BY_HANDLE_FILE_INFORMATION second{};
  return FileIdentity(a, first) && FileIdentity(b, second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
#else
  struct stat first {};
  struct stat second {};
  return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
#endif
}

}  // namespace velkarin::cli
