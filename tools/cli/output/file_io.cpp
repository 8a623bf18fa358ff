#include "cli/output/file_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
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

std::FILE* Open(const std::string& path, const char* mode) {
#ifdef _WIN32
  const auto wide = [](const std::string& text) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring result(size > 0 ? static_cast<std::size_t>(size) : 1, L'\0');
    if (size > 0) MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, result.data(), size);
    result.resize(result.size() - 1);
    return result;
  };
  return _wfopen(wide(path).c_str(), wide(mode).c_str());
#else
  return std::fopen(path.c_str(), mode);
#endif
}

}  // namespace

namespace {

constexpr std::size_t kNoLimit = static_cast<std::size_t>(-1);

// Reads up to `maxBytes` (kNoLimit: all) and, with `textOnly`, no NUL byte.
bool ReadFile(const std::string& path, std::size_t maxBytes, bool textOnly, std::string& content,
              std::string& reason) {
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
  while (!refused && (got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
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
  return ReadFile(path, kNoLimit, false, content, reason);
}

bool ReadTextFile(const std::string& path, std::size_t maxBytes, std::string& content,
                  std::string& reason) {
  return ReadFile(path, maxBytes, true, content, reason);
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

}  // namespace velkarin::cli
