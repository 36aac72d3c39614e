// The host tool's render and show commands run as a user runs them: the
// built bundle's editor drawn into a PNG, and shown in a window of the tool's
// own that the window manager closes.
#include <gtest/gtest.h>
#include <sys/wait.h>

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

// The show command runs until its window reports the window manager's close
// request, then leaves through the teardown the screenshot above goes
// through; here, that the request is heard.
TEST_F(X11Test, TheToolsWindowHearsTheWindowManagersCloseButton) {
  host::HostWindow window(100, 100, "Orvane");
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  auto atom = [c](const char* name) {
    auto* r = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, std::uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : XCB_NONE;
    std::free(r);
    return a;
  };
  xcb_client_message_event_t close{};
  close.response_type = XCB_CLIENT_MESSAGE;
  close.format = 32;
  close.window = window.id();
  close.type = atom("WM_PROTOCOLS");
  close.data.data32[0] = atom("WM_DELETE_WINDOW");
  window.processEvents();
  EXPECT_FALSE(window.closeRequested());
  xcb_send_event(c, 0, window.id(), XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&close));
  xcb_flush(c);
  for (int i = 0; i < 200 && !window.closeRequested(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    window.processEvents();
  }
  EXPECT_TRUE(window.closeRequested());
  xcb_disconnect(c);
}

// The render command needs no display.
class RenderTool : public test::EditorTest {
 protected:
  std::size_t files() const { return std::size_t(std::distance(fs::directory_iterator(dir), {})); }
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
