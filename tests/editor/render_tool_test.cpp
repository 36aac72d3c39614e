// The host tool's render command run as a user runs it: the editor of the
// built bundle drawn into a PNG.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The exit status; the output (both streams) goes to `output`.
int runTool(const std::string& args, std::string* output = nullptr) {
  FILE* pipe = ::popen((std::string(ORV_HOST_TOOL) + " " + args + " 2>&1").c_str(), "r");
  if (!pipe) return -1;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe))
    if (output) *output += buffer;
  const int status = ::pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Width and height from a PNG's header chunk.
std::pair<unsigned, unsigned> pngSize(const std::vector<char>& png) {
  if (png.size() < 24 || png[1] != 'P' || png[12] != 'I') return {0, 0};
  auto be = [&](std::size_t at) {
    unsigned v = 0;
    for (std::size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<unsigned char>(png[at + i]);
    return v;
  };
  return {be(16), be(20)};
}
std::vector<char> bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class RenderTool : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/orvane-render-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override { fs::remove_all(dir); }
  std::size_t files() const { return std::size_t(std::distance(fs::directory_iterator(dir), {})); }
  fs::path dir;
};

TEST_F(RenderTool, DrawsBothFacesAtTheEditorSize) {
  const std::string main = (dir / "main.png").string(), advanced = (dir / "advanced.png").string(),
                    large = (dir / "large.png").string();
  std::string out;
  ASSERT_EQ(runTool("render " + main + " --language es --set 100=0.5 --set 104=1", &out), 0) << out;
  ASSERT_EQ(runTool("render " + advanced + " --face advanced --language pt-BR --set 7=on", &out), 0)
      << out;
  ASSERT_EQ(runTool("render " + large + " --scale 2", &out), 0) << out;
  EXPECT_EQ(pngSize(bytes(main)), std::make_pair(760u, 480u));
  EXPECT_EQ(pngSize(bytes(advanced)), std::make_pair(760u, 480u));
  EXPECT_EQ(pngSize(bytes(large)), std::make_pair(1520u, 960u));
  EXPECT_NE(bytes(main), bytes(advanced));
  EXPECT_EQ(files(), 3u) << "no temporary file left";
}

TEST_F(RenderTool, RefusesBadRequestsWithoutWriting) {
  const std::string png = (dir / "x.png").string();
  EXPECT_EQ(runTool("render " + png + " --face side"), 2);
  EXPECT_EQ(runTool("render " + (dir / "x.jpg").string()), 2);
  // A value the parameter does not take is checked against the plug-in, like
  // every --set value: status 1.
  EXPECT_EQ(runTool("render " + png + " --set 100=2"), 1);
  std::string out;
  EXPECT_EQ(runTool("render " + (dir / "gone" / "x.png").string(), &out), 1);
  EXPECT_NE(out.find("no such folder"), std::string::npos) << out;
  EXPECT_EQ(files(), 0u);
}

}  // namespace
