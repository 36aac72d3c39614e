#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

#include "files/files.h"
#include "presets/preset_file.h"
#include "support/state_bytes.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

using test::presetBytes;

TEST(PresetFormat, DefaultsEncodeToTheKnownImage) {
  const preset::Values defaults{1.0, 0.0, 1.0, 0.0, double(0.1f), 1.0, 0.5, 0.0, 0.5, 0.5};
  const auto bytes = preset::encode(defaults);
  ASSERT_EQ(bytes.size(), 84u);
  // Written out by hand: "ORV2", then each double's little-endian bytes.
  const std::vector<std::uint8_t> expected = {
      'O', 'R', 'V', '2',  0,    0,    0,    0,    0, 0, 0xF0, 0x3F,  // 1.0
      0,   0,   0,   0,    0,    0,    0,    0,                       // 0.0
      0,   0,   0,   0,    0,    0,    0xF0, 0x3F,                    // 1.0
      0,   0,   0,   0,    0,    0,    0,    0,                       // 0.0
      0,   0,   0,   0xA0, 0x99, 0x99, 0xB9, 0x3F,                    // 0.10000000149011612
      0,   0,   0,   0,    0,    0,    0xF0, 0x3F,                    // 1.0
      0,   0,   0,   0,    0,    0,    0xE0, 0x3F,                    // 0.5
      0,   0,   0,   0,    0,    0,    0,    0,                       // 0.0
      0,   0,   0,   0,    0,    0,    0xE0, 0x3F,                    // 0.5
      0,   0,   0,   0,    0,    0,    0xE0, 0x3F,                    // 0.5
  };
  EXPECT_EQ(bytes, expected);
  preset::Values back{};
  ASSERT_TRUE(preset::decode(bytes, 0.0, back));
  EXPECT_EQ(back, defaults);
}

TEST(PresetFormat, OlderFormKeepsTheCurrentMode) {
  preset::Values out{};
  ASSERT_TRUE(
      preset::decode(presetBytes("ORV1", {0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 1.0, 0.0}), 1.0, out));
  EXPECT_EQ(out, (preset::Values{0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 1.0, 0.0, 1.0}));
  ASSERT_TRUE(preset::decode(presetBytes("ORV2", {0, 0, 0, 0, 0, 0, 0, 1.0, 0, 1.0}), 0.5, out));
  EXPECT_EQ(out[7], 1.0) << "bypass is part of a preset";
  EXPECT_EQ(out[9], 1.0) << "and so is the processing mode";
}

TEST(PresetFormat, RejectionsLeaveTheOutputAlone) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const std::initializer_list<double> ten = {1, 0, 1, 0, 0.1, 1, 0.5, 0, 0.5, 0.5};
  auto v2 = presetBytes("ORV2", ten);
  std::vector<std::vector<std::uint8_t>> bad = {
      {},
      presetBytes("ORV1", ten),                                // 84 bytes with the older magic
      presetBytes("ORV2", {1, 0, 1, 0, 0.1, 1, 0.5, 0, 0.5}),  // 76 bytes with the newer magic
      presetBytes("ORV3", ten),
      presetBytes("orv2", ten),
      presetBytes("ORV2", {1, 0, 1, 0, 0.1, 1, 0.5, 1.5, 0.5, 0.5}),
      presetBytes("ORV2", {-0.1, 0, 1, 0, 0.1, 1, 0.5, 0, 0.5, 0.5}),
      presetBytes("ORV2", {1, 0, nan, 0, 0.1, 1, 0.5, 0, 0.5, 0.5}),
      presetBytes("ORV2", {1, 0, 1, 0, 0.1, 1, 0.5, 0, 0.5, inf}),
      presetBytes("ORV1", {1, 0, 1, 0, 0.1, 1, 0.5, 0, -inf}),
  };
  v2.push_back(0);
  bad.push_back(v2);  // 85 bytes
  for (std::size_t i = 0; i < bad.size(); ++i) {
    preset::Values out;
    out.fill(0.25);
    EXPECT_FALSE(preset::decode(bad[i], 0.5, out)) << i;
    for (double v : out) EXPECT_EQ(v, 0.25) << i;
  }
  preset::Values out{};
  EXPECT_TRUE(
      preset::decode(presetBytes("ORV2", {-0.0, 0, 1, 0, 0.1, 1, 0.5, 0, 0.5, 0.5}), 0.5, out));
}

class PresetFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("orvane-presets-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override {
    fs::permissions(dir, fs::perms::owner_all);
    fs::remove_all(dir);
  }
  fs::path dir;
};

TEST_F(PresetFiles, WriteReplacesWholeAndReadIsBounded) {
  const auto path = (dir / "Orvane.orvane").string();
  const auto first = preset::encode({0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  const auto second = preset::encode({1, 1, 1, 1, 1, 1, 1, 1, 1, 1});
  ASSERT_TRUE(files::writeFileAtomically(path, first));
  ASSERT_TRUE(files::writeFileAtomically(path, second));
  std::vector<std::uint8_t> read;
  ASSERT_TRUE(preset::readAll(path, read));
  EXPECT_EQ(read, second);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1)
      << "no temporary file is left behind";
  EXPECT_FALSE(preset::readAll((dir / "missing.orvane").string(), read));
  EXPECT_FALSE(preset::readAll(dir.string(), read)) << "a folder is not a preset";
  EXPECT_FALSE(files::writeFileAtomically((dir / "gone" / "x.orvane").string(), first));

  // A large file is not read whole: one byte past a preset tells it apart.
  ASSERT_TRUE(files::writeFileAtomically(path, std::vector<std::uint8_t>(1 << 20, 'x')));
  ASSERT_TRUE(preset::readAll(path, read));
  EXPECT_EQ(read.size(), preset::kSizeV2 + 1);
  preset::Values out{};
  EXPECT_FALSE(preset::decode(read, 0.5, out));
}

TEST_F(PresetFiles, ReadOnlyFolderKeepsTheOldFile) {
  const auto path = (dir / "kept.orvane").string();
  const auto old = preset::encode({0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5});
  ASSERT_TRUE(files::writeFileAtomically(path, old));
  fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                           fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  // Root ignores folder permissions, so the attempt runs as an ordinary user.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
    const bool wrote =
        files::writeFileAtomically(path, preset::encode({1, 1, 1, 1, 1, 1, 1, 1, 1, 1}));
    ::_exit(wrote ? 1 : 0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the write must report failure";
  std::vector<std::uint8_t> read;
  ASSERT_TRUE(preset::readAll(path, read));
  EXPECT_EQ(read, old);
}

}  // namespace
}  // namespace orvane
