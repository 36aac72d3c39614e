// Writes pictures of the dial and the styled controls, for looking at them:
//   orv_editor_gallery [OUTPUT_DIR] [SCALE]
// dial_000.png, dial_050.png, dial_100.png: the dial at values 0, 0.5 and 1;
// controls.png: buttons, pop-ups and sliders in their states; main_face.png:
// the widgets at the main face's places.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "editor/knob/logo.h"
#include "editor/knob/orv_material.h"
#include "editor/orvane_dial.h"
#include "editor/styled_controls.h"
#include "editor/toolkit/window.h"

using namespace orvane;

namespace {

const tk::Color kEditorBackground{0.045, 0.07, 0.11, 1};

bool writeDial(const std::string& dir, double scale, double value, const char* name) {
  // Wider than the dial: its readout reaches past the frame's right edge.
  tk::Window window({480, 360}, scale);
  window.contentView()->setBackgroundColor(kEditorBackground);
  auto dial = std::make_shared<OrvaneDial>(tk::Rect{0, 0, 440, 360});
  dial->setDoubleValue(value);
  window.contentView()->addSubview(dial);
  window.setVisible(true);
  window.display();
  return window.writePng(dir + "/" + name);
}

// Renders one control in its own window (focus and hover are per window) and
// returns the picture.
std::shared_ptr<tk::Image> shoot(tk::Size size, double scale,
                                 const std::function<void(tk::Window&)>& setup) {
  tk::Window window(size, scale);
  window.contentView()->setBackgroundColor(kEditorBackground);
  window.setVisible(true);
  setup(window);
  window.display();
  const auto words = window.image().pixelWords();
  auto image = tk::Image::fromPixelWords(words.data(), words.size(), window.image().pixelWidth(),
                                         window.image().pixelHeight(), true);
  image->setSize(size);
  return image;
}

enum class State { Normal, Hover, Pressed, Focused, HoverPressed };

// Puts `control` in the window and brings it into `state` the way a user
// would: pointer moves for hover, focus through the window.
template <typename T>
void stage(tk::Window& w, const std::shared_ptr<T>& control, State state) {
  w.contentView()->addSubview(control);
  const tk::Rect f = control->frame();
  if (state == State::Hover || state == State::HoverPressed)
    w.sendEvent(tk::Event::mouse(tk::EventType::MouseMoved, {f.midX(), f.midY()}));
  if (state == State::Focused) w.makeFirstResponder(control.get());
}

bool writeControls(const std::string& dir, double scale) {
  const tk::Size cell{130, 44};
  struct Shot {
    const char* caption;
    std::shared_ptr<tk::Image> image;
  };
  std::vector<Shot> shots;
  auto button = [&](const char* caption, const char* title, State state, int tag, int on) {
    shots.push_back({caption, shoot(cell, scale, [&](tk::Window& w) {
                       auto b = std::make_shared<OrvaneButton>(tk::Rect{8, 6, 115, 32}, title);
                       b->setTag(tag);
                       b->setState(on);
                       stage(w, b, state);
                       if (state == State::Pressed || state == State::HoverPressed)
                         b->setHighlighted(true);
                     })});
  };
  button("button", "Advanced", State::Normal, 0, 0);
  button("hover", "Advanced", State::Hover, 0, 0);
  button("pressed + hover", "Advanced", State::HoverPressed, 0, 0);
  button("focused", "Advanced", State::Focused, 0, 0);
  button("bypass on", "Effect OFF", State::Normal, kBypassButtonTag, 1);
  button("bypass on, hover", "Effect OFF", State::Hover, kBypassButtonTag, 1);
  button("bypass on, pressed", "Effect OFF", State::HoverPressed, kBypassButtonTag, 1);
  button("other button on", "A / switch to B", State::Normal, 0, 1);

  auto popup = [&](const char* caption, State state, bool items) {
    shots.push_back({caption, shoot(cell, scale, [&](tk::Window& w) {
                       auto p = std::make_shared<OrvanePopup>(tk::Rect{8, 6, 115, 32});
                       if (items)
                         p->addItemsWithTitles({"Neural Live", "Neural Classic", "Live DSP"});
                       stage(w, p, state);
                     })});
  };
  popup("pop-up", State::Normal, true);
  popup("pop-up hover", State::Hover, true);
  popup("pop-up focused", State::Focused, true);
  popup("no selection", State::Normal, false);

  auto slider = [&](const char* caption, double value, State state) {
    shots.push_back({caption, shoot({260, 44}, scale, [&](tk::Window& w) {
                       auto s = std::make_shared<tk::Slider>(tk::Rect{8, 10, 240, 24}, value);
                       s->setCell(std::make_unique<OrvaneSliderCell>());
                       stage(w, s, state);
                     })});
  };
  slider("slider at minimum", 0, State::Normal);
  slider("slider at maximum", 1, State::Normal);
  slider("slider 0.37, focused", 0.37, State::Focused);
  slider("slider 0.37", 0.37, State::Normal);

  // Lay the shots out in a grid, each under its caption.
  tk::Window sheet({540, 360}, scale);
  sheet.contentView()->setBackgroundColor(tk::Color{0.02, 0.03, 0.05, 1});
  double x = 5, y = 5;
  for (const Shot& s : shots) {
    const tk::Size size = s.image->size();
    if (x + size.width > 540) {
      x = 5;
      y += 66;
    }
    sheet.contentView()->addSubview(std::make_shared<tk::Label>(tk::Rect{x + 4, y, size.width, 16},
                                                                s.caption, tk::Font::system(10)));
    auto view = std::make_shared<tk::ImageView>(tk::Rect{x, y + 16, size.width, size.height});
    view->setImage(s.image);
    sheet.contentView()->addSubview(view);
    x += size.width + 5;
  }
  sheet.setVisible(true);
  sheet.display();
  return sheet.writePng(dir + "/controls.png");
}

// The widgets at the main face's places, to judge them together (the real
// main view builds this from the controller's state).
bool writeMainFace(const std::string& dir, double scale) {
  tk::Window window({760, 480}, scale);
  tk::View* root = window.contentView();
  root->setBackgroundColor(kEditorBackground);
  auto logoView = std::make_shared<tk::ImageView>(tk::Rect{24, 22, 32, 32});
  logoView->setImage(ORVMaterial(knob::logo(), knob::kLogoSize, false));
  root->addSubview(logoView);
  root->addSubview(
      std::make_shared<tk::Label>(tk::Rect{67, 20, 160, 36}, "Orvane", tk::Font::system(28)));
  root->addSubview(std::make_shared<tk::Label>(tk::Rect{24, 56, 600, 20}, "VOICE CLEANUP / 0.7.4",
                                               tk::Font::system(11)));
  auto processing = std::make_shared<OrvanePopup>(tk::Rect{235, 24, 270, 32});
  processing->addItemsWithTitles({"Neural Live", "Neural Classic", "Live DSP"});
  root->addSubview(processing);
  auto language = std::make_shared<OrvanePopup>(tk::Rect{520, 24, 90, 32});
  language->addItemsWithTitles({"EN", "PT-BR", "ES"});
  root->addSubview(language);
  auto dial = std::make_shared<OrvaneDial>(tk::Rect{160, 60, 440, 360});
  dial->setDoubleValue(0.72);
  root->addSubview(dial);
  auto bypass = std::make_shared<OrvaneButton>(tk::Rect{286, 422, 188, 32}, "Effect ON");
  bypass->setTag(kBypassButtonTag);
  root->addSubview(bypass);
  root->addSubview(std::make_shared<OrvaneButton>(tk::Rect{630, 24, 106, 32}, "Advanced"));
  root->addSubview(std::make_shared<tk::Label>(tk::Rect{510, 420, 230, 24}, "IN -18 / OUT -21 ",
                                               tk::Font::system(11)));
  window.setVisible(true);
  window.display();
  return window.writePng(dir + "/main_face.png");
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : ".";
  const double scale = argc > 2 ? std::atof(argv[2]) : 1.0;
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  bool ok = writeDial(dir, scale, 0.0, "dial_000.png") &&
            writeDial(dir, scale, 0.5, "dial_050.png") &&
            writeDial(dir, scale, 1.0, "dial_100.png") && writeControls(dir, scale) &&
            writeMainFace(dir, scale);
  if (!ok) {
    std::fprintf(stderr, "cannot write the pictures into %s\n", dir.c_str());
    return 1;
  }
  std::printf(
      "wrote dial_000.png, dial_050.png, dial_100.png, controls.png and main_face.png into %s\n",
      dir.c_str());
  return 0;
}
