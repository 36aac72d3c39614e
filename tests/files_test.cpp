#include "files/files.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

// Counts the process's fsync calls, then makes them.
static std::atomic<int> fsyncCalls{0};
extern "C" int fsync(int fd) {
  ++fsyncCalls;
  static const auto next = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
  return next(fd);
}

namespace orvane::files {
namespace {

namespace fs = std::filesystem;

// A reader sees the old file or the whole new one, also after a crash: a
// producer that fails half way changes nothing and leaves no temporary; the
// contents are synced before the rename; a finished file is an ordinary
// document (0666 less the umask), not the temporary's 0600.
TEST(AtomicFiles, WriteReplacesWholeOrLeavesTheOldFile) {
  const fs::path dir =
      fs::path(::testing::TempDir()) / ("orv-atomic-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string path = (dir / "f.bin").string();
  const mode_t mask = ::umask(022);
  ASSERT_TRUE(writeFileAtomically(path, {1, 2, 3}));
  const int synced = fsyncCalls;
  ASSERT_TRUE(writeFileAtomically(path, {4, 5}));
  ::umask(mask);
  EXPECT_GT(fsyncCalls, synced) << "the contents reach the disk before the file replaces the old";
  EXPECT_EQ(fs::status(path).permissions(), fs::perms(0644));
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
