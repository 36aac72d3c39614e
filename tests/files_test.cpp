#include "files/files.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

// The file the test is saving, and the inode of the last file synced while it
// was not (yet) that file: the one a rename may then put in place.
static const char* savedPath = nullptr;
static ino_t syncedBeforeRename = 0;
extern "C" int fsync(int fd) {
  struct stat synced {
  }, target{};
  if (savedPath && ::fstat(fd, &synced) == 0 &&
      (::stat(savedPath, &target) != 0 || target.st_ino != synced.st_ino))
    syncedBeforeRename = synced.st_ino;
  static const auto next = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
  return next(fd);
}

namespace orvane::files {
namespace {

namespace fs = std::filesystem;

// A reader sees the old file or the whole new one, also after a crash: the
// new contents go to another file, synced before it is renamed over the old
// one, so a reader holding the old file keeps it whole; a producer that fails
// half way changes nothing and leaves no temporary; a finished file is an
// ordinary document (0666 less the umask), not the temporary's 0600.
TEST(AtomicFiles, WriteReplacesWholeOrLeavesTheOldFile) {
  const fs::path dir =
      fs::path(::testing::TempDir()) / ("orv-atomic-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string path = (dir / "f.bin").string();
  ASSERT_TRUE(writeFileAtomically(path, {1, 2, 3}));
  const int reader = ::open(path.c_str(), O_RDONLY);
  const mode_t mask = ::umask(027);
  savedPath = path.c_str();
  ASSERT_TRUE(writeFileAtomically(path, {4, 5}));
  savedPath = nullptr;
  ::umask(mask);
  EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));
  struct stat now {};
  ASSERT_EQ(::stat(path.c_str(), &now), 0);
  EXPECT_EQ(now.st_ino, syncedBeforeRename) << "the contents reach the disk before the rename";
  std::uint8_t old[4] = {};
  EXPECT_EQ(::pread(reader, old, sizeof old, 0), 3) << "the old file was rewritten in place";
  ::close(reader);

  EXPECT_FALSE(writeAtomically(path, [&](const std::string& temp) {
    EXPECT_NE(temp, path);
    std::ofstream(temp) << "partial";
    return false;
  }));
  EXPECT_EQ(*readFile(path), (std::vector<std::uint8_t>{4, 5}));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

  EXPECT_FALSE(writeFileAtomically((dir / "no/such/folder/x.bin").string(), {1}));
  EXPECT_FALSE(readFile((dir / "missing.bin").string()));
  EXPECT_FALSE(readFile(path, 1)) << "larger than the limit";
  EXPECT_FALSE(readFile(dir.string())) << "a folder is not a file";
  fs::remove_all(dir);
}

}  // namespace
}  // namespace orvane::files
