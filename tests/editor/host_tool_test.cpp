// The host tool's render and show commands run as a user runs them: the
// built bundle's editor drawn into a PNG, and shown in a window of the tool's
// own that the window manager closes.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "x11_scene.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using test::X11Test;

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

pid_t startTool(std::vector<std::string> args) {
  args.insert(args.begin(), ORV_HOST_TOOL);
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  return ::posix_spawn(&pid, ORV_HOST_TOOL, nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
  auto* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::uint16_t(std::strlen(name)), name),
                                  nullptr);
  const xcb_atom_t a = r ? r->atom : XCB_NONE;
  std::free(r);
  return a;
}

// The top-level window whose WM_NAME is `title`, or none.
xcb_window_t findWindow(xcb_connection_t* c, const std::string& title) {
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  auto* tree = xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr);
  if (!tree) return XCB_NONE;
  xcb_window_t found = XCB_NONE;
  const xcb_window_t* w = xcb_query_tree_children(tree);
  for (int i = 0; i < xcb_query_tree_children_length(tree) && !found; ++i) {
    auto* p = xcb_get_property_reply(
        c, xcb_get_property(c, 0, w[i], XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 0, 64), nullptr);
    if (p && std::string(static_cast<const char*>(xcb_get_property_value(p)),
                         std::size_t(xcb_get_property_value_length(p))) == title)
      found = w[i];
    std::free(p);
  }
  std::free(tree);
  return found;
}

TEST_F(X11Test, ShowDrawsWhatRenderDraws) {
  for (const char* scale : {"1", "2"}) {
    const fs::path shown = dir / "shown.png", rendered = dir / "rendered.png";
    ASSERT_EQ(runTool("show --language en --scale " + std::string(scale) + " --screenshot " +
                      shown.string()),
              0);
    ASSERT_EQ(runTool("render " + rendered.string() + " --language en --scale " + scale), 0);
    EXPECT_EQ(bytes(shown), bytes(rendered)) << "scale " << scale;
  }
}

TEST_F(X11Test, ShowEndsCleanlyWhenTheWindowIsClosed) {
  const pid_t pid = startTool({"show", "--language", "en", "--seconds", "30"});
  ASSERT_GT(pid, 0);

  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  xcb_window_t window = XCB_NONE;
  for (int i = 0; i < 200 && !window; ++i) {
    window = findWindow(c, "Orvane");
    if (!window) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_NE(window, XCB_NONE) << "the tool's window appeared";
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  // What a window manager sends when the user clicks the close button.
  xcb_client_message_event_t close{};
  close.response_type = XCB_CLIENT_MESSAGE;
  close.format = 32;
  close.window = window;
  close.type = atom(c, "WM_PROTOCOLS");
  close.data.data32[0] = atom(c, "WM_DELETE_WINDOW");
  xcb_send_event(c, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&close));
  xcb_flush(c);

  int status = -1;
  pid_t done = 0;
  for (int i = 0; i < 200 && done == 0; ++i) {
    done = ::waitpid(pid, &status, WNOHANG);
    if (done == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (done == 0) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    FAIL() << "the tool did not end after the window was closed";
  }
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(findWindow(c, "Orvane"), XCB_NONE);
  xcb_disconnect(c);
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
}  // namespace orvane
