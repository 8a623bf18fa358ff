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

bool ReadWholeFile(const std::string& path, std::string& content, std::string& reason) {
  errno = 0;
  std::FILE* file = Open(path, "rb");
  if (file == nullptr) {
    reason = ErrnoText(errno);
    return false;
  }
  content.clear();
  char buffer[8192];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) content.append(buffer, got);
  const bool failed = std::ferror(file) != 0;
  if (failed) reason = ErrnoText(errno);
  std::fclose(file);
  return !failed;
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
