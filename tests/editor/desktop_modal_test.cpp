// The modal interface of an editor inside a Linux host, without a display:
// menus and alerts drawn in the window and driven by clicks and keys, and the
// desktop file chooser as a child process read through a host loop.
#include "editor/toolkit/desktop_modal.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "editor/toolkit/overlays.h"
#include "editor/toolkit/window.h"

namespace orvane::tk {
namespace {

namespace fs = std::filesystem;

// A host loop as small as a host's: poll the watched descriptors.
class PollLoop : public HostLoop {
 public:
  bool watchFd(int fd, Callback ready) override {
    watches[fd] = std::move(ready);
    return true;
  }
  void unwatchFd(int fd) override { watches.erase(fd); }
  // Runs until `done` or five seconds have passed.
  bool runUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::vector<pollfd> fds;
      for (const auto& [fd, cb] : watches) fds.push_back({fd, POLLIN, 0});
      if (::poll(fds.data(), fds.size(), 20) <= 0) continue;
      for (const pollfd& p : fds)
        if (p.revents && watches.count(p.fd)) {
          auto cb = watches[p.fd];
          cb();
        }
    }
    return true;
  }
  std::map<int, Callback> watches;
};

class Recorder : public Target {
 public:
  std::vector<int> chosen;
  void performAction(std::string_view, Control* sender) override {
    chosen.push_back(static_cast<PopUpButton*>(sender)->indexOfSelectedItem());
  }
};

template <typename T>
std::shared_ptr<T> overlayIn(Window& window) {
  for (const auto& v : window.contentView()->subviews())
    if (auto t = std::dynamic_pointer_cast<T>(v)) return t;
  return nullptr;
}

struct Scene {
  PollLoop loop;
  Window window{{760, 480}};
  Recorder recorder;
  Scene() {
    window.setVisible(true);
    window.setModal(std::make_shared<DesktopModal>(window, loop, 0));
  }
  std::shared_ptr<PopUpButton> popup(Rect frame) {
    auto p = std::make_shared<PopUpButton>(frame);
    p->addItemsWithTitles({"Neural Live", "Neural Classic", "Live DSP"});
    p->setTarget(&recorder);
    p->setAction("processingChanged:");
    window.contentView()->addSubview(p);
    return p;
  }
  void click(Point p) {
    window.postEvent(Event::mouse(EventType::LeftMouseDown, p));
    window.postEvent(Event::mouse(EventType::LeftMouseUp, p));
    window.dispatchEvents();
  }
  void key(int code) { window.sendEvent(Event::keyDown(code)); }
};

TEST(InWindowMenu, OpensBelowOrAboveAndClickOrKeysChooseAndAnythingElseDismisses) {
  Scene s;
  auto p = s.popup({235, 24, 270, 32});
  s.click({300, 40});
  auto menu = overlayIn<MenuOverlay>(s.window);
  ASSERT_NE(menu, nullptr);
  EXPECT_TRUE(p->isHighlighted()) << "pressed look while its menu is open";
  EXPECT_EQ(menu->listRect().y, 24 + 32 + 2) << "below the pop-up";
  EXPECT_EQ(menu->highlighted(), 0) << "starts on the current item";
  const Rect third = menu->itemRect(2);
  s.click({third.midX(), third.midY()});
  EXPECT_EQ(s.recorder.chosen, std::vector<int>{2});
  EXPECT_FALSE(p->isHighlighted());
  EXPECT_EQ(overlayIn<MenuOverlay>(s.window), nullptr);

  s.click({300, 40});
  for (int k : {key::kDownArrow, key::kUpArrow, key::kUpArrow, key::kDownArrow, key::kReturn})
    s.key(k);
  EXPECT_EQ(s.recorder.chosen, (std::vector<int>{2, 1}))
      << "from the current item 2: down stays at the end, up twice, down once";
  s.click({300, 40});
  s.key(key::kEscape);
  s.click({300, 40});
  s.click({700, 400});  // beside the list
  EXPECT_EQ(s.recorder.chosen.size(), 2u);
  EXPECT_EQ(overlayIn<MenuOverlay>(s.window), nullptr);

  s.popup({24, 440, 180, 32});
  s.click({100, 456});
  ASSERT_NE(menu = overlayIn<MenuOverlay>(s.window), nullptr);
  EXPECT_EQ(menu->listRect().maxY(), 440 - 2) << "above a pop-up near the bottom";
}

TEST(InWindowAlert, WrapsItsTextTakesTheKeysAndGivesFocusBack) {
  Scene s;
  s.popup({235, 24, 270, 32});
  auto slider = std::make_shared<Slider>(Rect{24, 200, 300, 24});
  s.window.contentView()->addSubview(slider);
  ASSERT_TRUE(s.window.makeFirstResponder(slider.get()));
  int answered = -1;
  const std::string text =
      "No se encontró ningún selector de archivos. Instale zenity o kdialog, y vuelva a "
      "intentarlo desde el panel avanzado.";
  s.window.modal().runAlert({"Orvane", text, {"Aceptar"}}, [&](int b) { answered = b; });
  auto alert = overlayIn<AlertOverlay>(s.window);
  ASSERT_NE(alert, nullptr);
  ASSERT_GE(alert->lines().size(), 2u);
  std::string joined;
  for (const auto& line : alert->lines()) {
    EXPECT_LE(measureText(line, Font::system(13)).width, alert->panelRect().width - 48) << line;
    joined += (joined.empty() ? "" : " ") + line;
  }
  EXPECT_EQ(joined, text) << "every word, in order";
  EXPECT_EQ(s.window.firstResponder(), alert.get());

  s.click({300, 40});  // on the pop-up, under the alert
  EXPECT_EQ(overlayIn<MenuOverlay>(s.window), nullptr) << "the alert takes every click";
  s.key(key::kSpace);
  EXPECT_EQ(answered, 0);
  EXPECT_EQ(overlayIn<AlertOverlay>(s.window), nullptr);
  EXPECT_EQ(s.window.firstResponder(), slider.get()) << "focus back where it was";
}

// ---- the file chooser -------------------------------------------------------

class ChooserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/orvane-chooser-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir = pattern;
    saved = std::getenv("PATH") ? std::getenv("PATH") : "";
  }
  void TearDown() override {
    ::setenv("PATH", saved.c_str(), 1);
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  fs::path script(const fs::path& folder, const std::string& name, const std::string& body) {
    fs::create_directories(folder);
    fs::path p = folder / name;
    std::ofstream(p) << "#!/bin/sh\n" << body;
    fs::permissions(p, fs::perms::owner_all);
    return p;
  }
  fs::path dir;
  std::string saved;
};

TEST_F(ChooserTest, ZenityIsPreferredAndOnlyExecutableFilesCount) {
  ::setenv("PATH", ((dir / "a").string() + "::" + (dir / "b").string()).c_str(), 1);
  EXPECT_EQ(findChooserProgram(), "");
  script(dir / "b", "kdialog", "");
  EXPECT_EQ(findChooserProgram(), (dir / "b" / "kdialog").string());
  fs::create_directories(dir / "a" / "zenity");  // a folder of that name
  std::ofstream(dir / "b" / "zenity") << "not executable";
  EXPECT_EQ(findChooserProgram(), (dir / "b" / "kdialog").string());
  fs::remove(dir / "b" / "zenity");
  script(dir / "b", "zenity", "");
  EXPECT_EQ(findChooserProgram(), (dir / "b" / "zenity").string());
}

TEST_F(ChooserTest, AnswersArriveThroughTheLoopAndSavesGetTheExtension) {
  PollLoop loop;
  FileChooser chooser(loop);
  const FilePanelRequest request{"Save Orvane preset", "Save", "orvane", "Orvane.orvane"};
  const auto zenity = script(dir, "zenity", "/bin/sleep 0.1\necho /tmp/mine\n");
  std::optional<std::optional<std::string>> answer;
  ASSERT_TRUE(chooser.start(zenity, ChooserKind::Save, request, 0, [&](auto p) { answer = p; }));
  EXPECT_FALSE(answer) << "nothing is waited for";
  EXPECT_FALSE(chooser.start(zenity, ChooserKind::Save, request, 0, {})) << "one at a time";
  ASSERT_TRUE(loop.runUntil([&] { return answer.has_value(); }));
  EXPECT_EQ(*answer, std::optional<std::string>("/tmp/mine.orvane"));
  EXPECT_TRUE(loop.watches.empty());

  // Cancelling prints nothing; so does a program that fails.
  const auto cancel = script(dir, "cancel", "exit 1\n");
  answer.reset();
  ASSERT_TRUE(chooser.start(cancel, ChooserKind::Open, request, 0, [&](auto p) { answer = p; }));
  ASSERT_TRUE(loop.runUntil([&] { return answer.has_value(); }));
  EXPECT_EQ(*answer, std::nullopt);
}

TEST_F(ChooserTest, ClosingTheEditorEndsARunningChooser) {
  PollLoop loop;
  const auto slow =
      script(dir, "zenity", "echo $$ > '" + (dir / "pid").string() + "'\nexec /bin/sleep 30\n");
  bool called = false;
  {
    FileChooser chooser(loop);
    ASSERT_TRUE(chooser.start(slow, ChooserKind::Open, {"t", "p", "orvane", ""}, 0,
                              [&](auto) { called = true; }));
    for (int i = 0; i < 200 && !fs::exists(dir / "pid"); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  int pid = 0;
  std::ifstream(dir / "pid") >> pid;
  ASSERT_GT(pid, 0);
  errno = 0;
  EXPECT_EQ(::kill(pid, 0), -1) << "killed and reaped, not left as a zombie";
  EXPECT_EQ(errno, ESRCH);
  EXPECT_FALSE(called) << "no answer after the chooser's owner has gone";
  EXPECT_TRUE(loop.watches.empty());
}

}  // namespace
}  // namespace orvane::tk
