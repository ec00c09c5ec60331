#include "collector/FileText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kestrel::collector {

std::optional<std::string> ReadFileText(const std::string& path, std::string& why) {
  // Non-blocking, so that opening a FIFO does not wait for a writer.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    why = std::strerror(errno);
    return std::nullopt;
  }
  struct stat info {};
  std::string text;
  std::string problem;
  if (fstat(fd, &info) != 0) {
    problem = std::strerror(errno);
  } else if (!S_ISREG(info.st_mode)) {
    problem = S_ISDIR(info.st_mode) ? "a directory, not a file" : "not a regular file";
  } else if (static_cast<std::size_t>(info.st_size) > kMaxFileTextBytes) {
    problem = "larger than " + std::to_string(kMaxFileTextBytes / 1024) + " KiB";
  } else {
    // Read to the end, which may have moved since fstat, up to one byte past the limit.
    text.resize(kMaxFileTextBytes + 1);
    std::size_t got = 0;
    ssize_t n = 0;
    while (got < text.size() && (n = read(fd, text.data() + got, text.size() - got)) != 0) {
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) break;
      got += static_cast<std::size_t>(n);
    }
    if (n < 0) problem = std::strerror(errno);
    else if (got > kMaxFileTextBytes) problem = "larger than " + std::to_string(kMaxFileTextBytes / 1024) + " KiB";
    text.resize(got);
  }
  close(fd);
  if (problem.empty()) return text;
  why = problem;
  return std::nullopt;
}

}  // namespace kestrel::collector
