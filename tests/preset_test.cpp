#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <limits>

#include "files/files.h"
#include "presets/preset_file.h"
#include "support/state_bytes.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

using test::presetBytes;

// "ORV2", then each value as a little-endian double; decoding gives the
// values back exactly.
TEST(PresetFormat, EncodesLittleEndianDoublesAndDecodesThemBack) {
  const preset::Values values{1.0, 0.0, 0.25, 0.0, double(0.1f), 1.0, 0.5, 0.0, 0.5, 1.0};
  const auto bytes = preset::encode(values);
  ASSERT_EQ(bytes.size(), preset::kSizeV2);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "ORV2");
  const std::uint8_t one[] = {0, 0, 0, 0, 0, 0, 0xF0, 0x3F};  // 1.0
  EXPECT_TRUE(std::equal(one, one + 8, bytes.begin() + 4));
  EXPECT_TRUE(std::equal(one, one + 8, bytes.begin() + 4 + 8 * 9));
  preset::Values back{};
  ASSERT_TRUE(preset::decode(bytes, 0.0, back));
  EXPECT_EQ(back, values);

  // The older form has no mode: the current one stays.
  ASSERT_TRUE(preset::decode(presetBytes("ORV1", {0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 1.0, 0.0}),
                             1.0, back));
  EXPECT_EQ(back, (preset::Values{0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 1.0, 0.0, 1.0}));
  ASSERT_TRUE(
      preset::decode(presetBytes("ORV2", {-0.0, 0, 1, 0, 0.1, 1, 0.5, 0, 0.5, 0}), 0.5, back));
}

TEST(PresetFormat, RejectionsLeaveTheOutputAlone) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const std::initializer_list<double> ten = {1, 0, 1, 0, 0.1, 1, 0.5, 0, 0.5, 0.5};
  auto longer = presetBytes("ORV2", ten);
  longer.push_back(0);
  const std::vector<std::uint8_t> bad[] = {
      {},
      longer,
      presetBytes("ORV1", ten),                                // 84 bytes with the older magic
      presetBytes("ORV2", {1, 0, 1, 0, 0.1, 1, 0.5, 0, 0.5}),  // 76 bytes with the newer magic
      presetBytes("ORV3", ten),
      presetBytes("orv2", ten),
      presetBytes("ORV2", {1, 0, 1, 0, 0.1, 1, 0.5, 1.5, 0.5, 0.5}),
      presetBytes("ORV2", {-0.1, 0, 1, 0, 0.1, 1, 0.5, 0, 0.5, 0.5}),
      presetBytes("ORV2", {1, 0, nan, 0, 0.1, 1, 0.5, 0, 0.5, 0.5}),
      presetBytes("ORV2", {1, 0, 1, 0, 0.1, 1, 0.5, 0, 0.5, inf}),
      presetBytes("ORV1", {1, 0, 1, 0, 0.1, 1, 0.5, 0, -inf})};
  for (std::size_t i = 0; i < std::size(bad); ++i) {
    preset::Values out;
    out.fill(0.25);
    EXPECT_FALSE(preset::decode(bad[i], 0.5, out)) << i;
    for (double v : out) EXPECT_EQ(v, 0.25) << i;
  }
}

// A chosen file is read only as far as telling a preset from anything longer,
// and only when it is a regular file.
TEST(PresetFiles, ReadIsBounded) {
  const fs::path dir =
      fs::path(::testing::TempDir()) / ("orv-presets-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string path = (dir / "big.orvane").string();
  ASSERT_TRUE(files::writeFileAtomically(path, std::vector<std::uint8_t>(1 << 20, 'x')));
  std::vector<std::uint8_t> read;
  ASSERT_TRUE(preset::readAll(path, read));
  EXPECT_EQ(read.size(), preset::kSizeV2 + 1);
  ASSERT_TRUE(files::writeFileAtomically(path, preset::encode({})));
  ASSERT_TRUE(preset::readAll(path, read));
  EXPECT_EQ(read, preset::encode({}));
  EXPECT_FALSE(preset::readAll((dir / "missing.orvane").string(), read));
  EXPECT_FALSE(preset::readAll(dir.string(), read)) << "a folder is not a preset";
  fs::remove_all(dir);
}

}  // namespace
}  // namespace orvane
