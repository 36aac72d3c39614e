#include "files/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace orvane::files {

namespace {

bool writeAll(int fd, const std::vector<std::uint8_t>& bytes) {
  std::size_t put = 0;
  while (put < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + put, bytes.size() - put);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    put += std::size_t(n);
  }
  return true;
}

// Gives the finished temporary the permissions of an ordinary document and
// makes its contents durable before the rename can expose it.
bool finishTemporary(const std::string& tmp) {
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  bool ok = ::fchmod(fd, 0666 & ~mask) == 0;
  if (ok) ok = ::fsync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  return ok;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> readFile(const std::string& path, std::size_t maxBytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || std::size_t(st.st_size) > maxBytes) {
    ::close(fd);
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes(std::size_t(st.st_size));
  std::size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::close(fd);
      return std::nullopt;
    }
    got += std::size_t(n);
  }
  ::close(fd);
  return bytes;
}

bool writeAtomically(const std::string& path,
                     const std::function<bool(const std::string& tempPath)>& produce) {
  // mkstemp picks a name nobody else holds and creates it exclusively, so the
  // producer never writes through a planted symlink.
  std::string tmp = path + ".XXXXXX";
  const int fd = ::mkstemp(tmp.data());
  if (fd < 0) return false;
  ::close(fd);
  bool ok = false;
  try {
    ok = produce(tmp);
  } catch (...) {
    ::unlink(tmp.c_str());
    throw;
  }
  if (ok) ok = finishTemporary(tmp);
  if (ok) ok = ::rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(tmp.c_str());
  return ok;
}

bool writeFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  return writeAtomically(path, [&bytes](const std::string& tmp) {
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    const bool written = writeAll(fd, bytes);
    return ::close(fd) == 0 && written;
  });
}

}  // namespace orvane::files
