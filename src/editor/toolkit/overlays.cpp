#include "editor/toolkit/overlays.h"

#include <algorithm>
#include <cmath>

#include "editor/toolkit/window.h"

namespace orvane::tk {

namespace {

const Color kScrim{0, 0, 0, 0.45};
const Color kPanelFill{0.09, 0.13, 0.19, 1};
const Color kPanelOutline{0.27, 0.39, 0.52, 1};
const Color kMessageColor = Color::white(0.95);
const Color kTextColor = Color::white(0.86);
const Color kItemHighlight{0.17, 0.32, 0.48, 1};
const Font kMessageFont = Font::system(15, FontWeight::Bold);
const Font kTextFont = Font::system(13);

constexpr double kPadding = 24;
constexpr double kLineGap = 4;
constexpr double kButtonHeight = 28;
constexpr double kMenuWidthPadding = 44;  // tick column on the left, margin on the right
constexpr double kTickColumn = 24;

// Greedy word wrap into lines no wider than `width` (a single longer word
// keeps a line of its own).
std::vector<std::string> wrap(const std::string& text, const Font& font, double width) {
  std::vector<std::string> lines;
  std::string line;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t space = text.find(' ', i);
    const std::string word =
        text.substr(i, space == std::string::npos ? std::string::npos : space - i);
    i = space == std::string::npos ? text.size() : space + 1;
    std::string candidate = line;
    if (!candidate.empty()) candidate += ' ';
    candidate += word;
    if (!line.empty() && measureText(candidate, font).width > width) {
      lines.push_back(line);
      line = word;
    } else {
      line = candidate;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// Takes the keyboard for an overlay and remembers who had it.
std::weak_ptr<View> takeFocus(Window& window, View& overlay) {
  std::weak_ptr<View> before;
  if (View* fr = window.firstResponder()) before = fr->weak_from_this();
  window.makeFirstResponder(&overlay);
  return before;
}

void giveFocusBack(Window* window, const std::weak_ptr<View>& before) {
  if (!window) return;
  auto view = before.lock();
  window->makeFirstResponder(view && view->window() == window ? view.get() : nullptr);
}

// A menu entry: a button that highlights under the pointer.
class MenuItem : public Button {
 public:
  MenuItem(Rect frame, std::string title, bool current, MenuOverlay& menu)
      : Button(frame, std::move(title)), current_(current), menu_(menu) {}
  void updateTrackingAreas() override {
    if (area_) removeTrackingArea(area_);
    area_ = std::make_shared<TrackingArea>(
        Rect{}, kTrackMouseEnteredAndExited | kTrackActiveAlways | kTrackInVisibleRect, this);
    addTrackingArea(area_);
  }
  void mouseEntered(const Event&) override { menu_.setHighlighted(tag()); }
  void drawRect(Canvas& canvas, const Rect&) override {
    const Rect b = bounds();
    if (menu_.highlighted() == tag() || isHighlighted()) canvas.fillRect(b, kItemHighlight);
    const Size size = canvas.measureText(title(), kTextFont);
    const double y = (b.height - size.height) / 2;
    if (current_) canvas.drawText("\u2713", {8, y}, kTextFont, kTextColor);
    canvas.drawText(title(), {kTickColumn, y}, kTextFont, kMessageColor);
  }

 private:
  bool current_;
  MenuOverlay& menu_;
  std::shared_ptr<TrackingArea> area_;
};

}  // namespace

// ---- AlertOverlay -----------------------------------------------------------

std::shared_ptr<AlertOverlay> AlertOverlay::show(Window& window, const AlertRequest& request,
                                                 Modal::AlertDone done) {
  View* root = window.contentView();
  if (!root) return nullptr;
  auto overlay = std::make_shared<AlertOverlay>(root->bounds(), request, std::move(done));
  root->addSubview(overlay);
  overlay->focusBefore_ = takeFocus(window, *overlay);
  return overlay;
}

AlertOverlay::AlertOverlay(Rect frame, AlertRequest request, Modal::AlertDone done)
    : View(frame), request_(std::move(request)), done_(std::move(done)) {
  if (request_.buttons.empty()) request_.buttons.emplace_back("OK");
  for (std::size_t i = 0; i < request_.buttons.size(); ++i) {
    auto b = std::make_shared<Button>(Rect{}, request_.buttons[i]);
    b->setTarget(this);
    b->setAction("alertButton:");
    b->setTag(static_cast<int>(i));
    addSubview(b);
    buttons_.push_back(b);
  }
  layOut();
}

void AlertOverlay::layOut() {
  const Rect b = bounds();
  const double width = std::fmin(kPanelWidth, b.width - 2 * kPadding);
  const double textWidth = width - 2 * kPadding;
  lines_ = wrap(request_.informativeText, kTextFont, textWidth);
  const double messageHeight = measureText(request_.messageText, kMessageFont).height;
  const double lineHeight = measureText("Ag", kTextFont).height + kLineGap;
  const double height = kPadding + messageHeight + 10 + lineHeight * double(lines_.size()) +
                        kPadding + kButtonHeight + 16;
  panel_ = {std::round((b.width - width) / 2), std::round((b.height - height) / 2), width, height};
  // Buttons from the right, the default rightmost.
  double right = panel_.maxX() - 16;
  for (const auto& button : buttons_) {
    const double w = std::fmax(88, measureText(button->title(), kTextFont).width + 32);
    button->setFrame({right - w, panel_.maxY() - 16 - kButtonHeight, w, kButtonHeight});
    right -= w + 8;
  }
}

void AlertOverlay::choose(int button) {
  auto keep = shared_from_this();
  Window* w = window();
  removeFromSuperview();
  giveFocusBack(w, focusBefore_);
  Modal::AlertDone done = std::move(done_);
  done_ = nullptr;
  if (done) done(button);
}

void AlertOverlay::performAction(std::string_view, Control* sender) {
  if (sender) choose(sender->tag());
}

void AlertOverlay::keyDown(const Event& e) {
  if (e.keyCode == key::kReturn || e.keyCode == key::kSpace || e.keyCode == key::kEscape) choose(0);
}

void AlertOverlay::resetCursorRects() {
  addCursorRect(bounds(), Cursor::Arrow);
}

void AlertOverlay::drawRect(Canvas& canvas, const Rect&) {
  canvas.fillRect(bounds(), kScrim);
  Path panel = Path::roundedRect(insetRect(panel_, 0.5, 0.5), 10, 10);
  canvas.fill(panel, kPanelFill);
  canvas.stroke(panel, kPanelOutline);
  double y = panel_.y + kPadding;
  canvas.drawText(request_.messageText, {panel_.x + kPadding, y}, kMessageFont, kMessageColor);
  y += measureText(request_.messageText, kMessageFont).height + 10;
  const double lineHeight = measureText("Ag", kTextFont).height + kLineGap;
  for (const std::string& line : lines_) {
    canvas.drawText(line, {panel_.x + kPadding, y}, kTextFont, kTextColor);
    y += lineHeight;
  }
}

// ---- MenuOverlay ------------------------------------------------------------

std::shared_ptr<MenuOverlay> MenuOverlay::show(Window& window, const MenuRequest& request,
                                               Modal::MenuDone done) {
  View* root = window.contentView();
  if (!root || request.items.empty()) {
    if (done) done(std::nullopt);
    return nullptr;
  }
  auto overlay = std::make_shared<MenuOverlay>(root->bounds(), request, std::move(done));
  root->addSubview(overlay);
  overlay->focusBefore_ = takeFocus(window, *overlay);
  return overlay;
}

MenuOverlay::MenuOverlay(Rect frame, MenuRequest request, Modal::MenuDone done)
    : View(frame),
      request_(std::move(request)),
      done_(std::move(done)),
      highlighted_(request_.selectedIndex) {
  const Rect b = bounds();
  const Rect anchor = request_.anchorInWindow;
  double width = anchor.width;
  for (const std::string& item : request_.items)
    width = std::fmax(width, measureText(item, kTextFont).width + kMenuWidthPadding);
  width = std::fmin(width, b.width);
  const double height = kItemHeight * double(request_.items.size());
  // Below the control when it fits, else above it, else from the top.
  double y = anchor.maxY() + 2;
  if (y + height > b.height) y = anchor.y - 2 - height;
  if (y < 0) y = 0;
  const double x = std::fmax(0, std::fmin(anchor.x, b.width - width));
  list_ = {x, y, width, height};
  for (std::size_t i = 0; i < request_.items.size(); ++i) {
    auto item = std::make_shared<MenuItem>(itemRect(int(i)), request_.items[i],
                                           int(i) == request_.selectedIndex, *this);
    item->setTag(int(i));
    item->setTarget(this);
    item->setAction("menuItem:");
    addSubview(item);
  }
}

Rect MenuOverlay::itemRect(int i) const {
  return {list_.x, list_.y + kItemHeight * i, list_.width, kItemHeight};
}

void MenuOverlay::setHighlighted(int i) {
  if (i < 0 || i >= int(request_.items.size()) || i == highlighted_) return;
  highlighted_ = i;
  for (const auto& s : subviews()) s->setNeedsDisplay(true);
}

void MenuOverlay::finish(std::optional<int> item) {
  auto keep = shared_from_this();
  Window* w = window();
  removeFromSuperview();
  giveFocusBack(w, focusBefore_);
  Modal::MenuDone done = std::move(done_);
  done_ = nullptr;
  if (done) done(item);
}

void MenuOverlay::performAction(std::string_view, Control* sender) {
  if (sender) finish(sender->tag());
}

void MenuOverlay::mouseDown(const Event&) {
  finish(std::nullopt);  // a click beside the list
}

void MenuOverlay::keyDown(const Event& e) {
  const int count = int(request_.items.size());
  switch (e.keyCode) {
    case key::kUpArrow:
      setHighlighted(highlighted_ <= 0 ? 0 : highlighted_ - 1);
      break;
    case key::kDownArrow:
      setHighlighted(highlighted_ < 0 ? 0 : std::min(highlighted_ + 1, count - 1));
      break;
    case key::kReturn:
    case key::kSpace:
      finish(highlighted_ >= 0 ? std::optional<int>(highlighted_) : std::nullopt);
      break;
    case key::kEscape:
      finish(std::nullopt);
      break;
    default:
      break;
  }
}

void MenuOverlay::resetCursorRects() {
  addCursorRect(bounds(), Cursor::Arrow);
}

void MenuOverlay::drawRect(Canvas& canvas, const Rect&) {
  Path box = Path::roundedRect(insetRect(list_, -3.5, -3.5), 6, 6);
  canvas.fill(box, kPanelFill);
  canvas.stroke(box, kPanelOutline);
}

}  // namespace orvane::tk
