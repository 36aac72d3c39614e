#include "editor/toolkit/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace orvane::tk {

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

bool writeFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::string tmp = path + ".XXXXXX";
  const int fd = ::mkstemp(tmp.data());
  if (fd < 0) return false;
  bool ok = true;
  std::size_t put = 0;
  while (ok && put < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + put, bytes.size() - put);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      ok = false;
    else
      put += std::size_t(n);
  }
  // mkstemp creates the file 0600; a document should be readable like any
  // other file the user saves.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  if (ok) ok = ::fchmod(fd, 0666 & ~mask) == 0;
  if (ok) ok = ::fsync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  if (ok) ok = ::rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(tmp.c_str());
  return ok;
}

}  // namespace orvane::tk
