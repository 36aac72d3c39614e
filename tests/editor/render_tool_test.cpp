// The host tool's render command run as a user runs it: the editor of the
// built bundle drawn into a PNG.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct ToolRun {
  int status;
  std::string output;
};

ToolRun runTool(const std::string& args) {
  const std::string command = std::string(ORV_HOST_TOOL) + " " + args + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return {-1, {}};
  std::string out;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
  const int status = ::pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

// Width and height from the PNG's header chunk.
std::pair<unsigned, unsigned> pngSize(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::vector<unsigned char> head(24);
  in.read(reinterpret_cast<char*>(head.data()), 24);
  if (in.gcount() != 24 || head[1] != 'P' || head[12] != 'I') return {0, 0};
  auto be = [&](int at) {
    return (unsigned(head[at]) << 24) | (unsigned(head[at + 1]) << 16) |
           (unsigned(head[at + 2]) << 8) | head[at + 3];
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
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  fs::path dir;
};

TEST_F(RenderTool, DrawsBothFacesAtTheEditorSize) {
  const fs::path main = dir / "main.png", advanced = dir / "advanced.png",
                 large = dir / "large.png";
  ToolRun r = runTool("render " + main.string() + " --language es --set 100=0.5 --set 104=1");
  ASSERT_EQ(r.status, 0) << r.output;
  r = runTool("render " + advanced.string() + " --face advanced --language pt-BR --set 7=on");
  ASSERT_EQ(r.status, 0) << r.output;
  r = runTool("render " + large.string() + " --scale 2");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(pngSize(main), std::make_pair(760u, 480u));
  EXPECT_EQ(pngSize(advanced), std::make_pair(760u, 480u));
  EXPECT_EQ(pngSize(large), std::make_pair(1520u, 960u));
  EXPECT_NE(bytes(main), bytes(advanced));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 3)
      << "no temporary file left";
}

TEST_F(RenderTool, RefusesBadRequestsWithoutWriting) {
  EXPECT_EQ(runTool("render " + (dir / "x.png").string() + " --face side").status, 2);
  EXPECT_EQ(runTool("render " + (dir / "x.jpg").string()).status, 2);
  // A value the parameter does not take is checked against the plug-in, like
  // every --set value: status 1.
  EXPECT_EQ(runTool("render " + (dir / "x.png").string() + " --set 100=2").status, 1);
  const ToolRun missing = runTool("render " + (dir / "gone" / "x.png").string());
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.output.find("no such folder"), std::string::npos) << missing.output;
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 0);
}

}  // namespace
