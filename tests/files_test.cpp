#include "files/files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace orvane::files {
namespace {

TEST(AtomicFiles, WriteReplacesWholeOrLeavesTheOldFile) {
  const std::string dir = ::testing::TempDir();
  const std::string path = dir + "orv_atomic_test.bin";
  ASSERT_TRUE(writeFileAtomically(path, {1, 2, 3}));
  ASSERT_TRUE(writeFileAtomically(path, {4, 5}));
  auto back = readFile(path);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, (std::vector<std::uint8_t>{4, 5}));
  EXPECT_FALSE(writeFileAtomically(dir + "no/such/folder/x.bin", {1}));
  EXPECT_FALSE(readFile(dir + "orv_missing_file.bin"));
  EXPECT_FALSE(readFile(path, 1)) << "larger than the limit";
  EXPECT_FALSE(readFile(dir)) << "a folder is not a file";
  ::unlink(path.c_str());
}

}  // namespace
}  // namespace orvane::files
