// The host tool's show command run as a user runs it: the built bundle's
// editor in a window of the tool's own, closed by the window manager.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
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

pid_t startTool(std::vector<std::string> args) {
  args.insert(args.begin(), ORV_HOST_TOOL);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  return ::posix_spawn(&pid, ORV_HOST_TOOL, nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

int runTool(const std::vector<std::string>& args) {
  int status = 0;
  const pid_t pid = startTool(args);
  return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status)
                                                                           : -1;
}

std::vector<char> bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
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
    ASSERT_EQ(runTool({"show", "--language", "en", "--scale", scale, "--screenshot", shown}), 0);
    ASSERT_EQ(runTool({"render", rendered.string(), "--language", "en", "--scale", scale}), 0);
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

}  // namespace
}  // namespace orvane
