#include "editor/toolkit/controls.h"

#include <cmath>

#include "editor/toolkit/window.h"

namespace orvane::tk {

// ---- Control ----------------------------------------------------------------

void Control::setEnabled(bool e) {
  if (e == enabled_) return;
  enabled_ = e;
  setNeedsDisplay(true);
}

bool Control::sendAction() {
  if (!target_ || action_.empty()) return false;
  target_->performAction(action_, this);
  return true;
}

bool Control::sendToTarget(std::string_view action) {
  if (!target_ || action.empty()) return false;
  target_->performAction(action, this);
  return true;
}

bool Control::isFirstResponder() const {
  return window() && window()->firstResponder() == this;
}

// ---- Button -----------------------------------------------------------------

Button::Button(Rect frame, std::string title) : Control(frame), title_(std::move(title)) {}

void Button::setTitle(std::string t) {
  if (t == title_) return;
  title_ = std::move(t);
  setNeedsDisplay(true);
}

void Button::setState(int s) {
  s = s ? 1 : 0;
  if (s == state_) return;
  state_ = s;
  setNeedsDisplay(true);
}

void Button::setHighlighted(bool h) {
  if (h == highlighted_) return;
  highlighted_ = h;
  setNeedsDisplay(true);
}

void Button::performClick() {
  if (!isEnabled()) return;
  if (type_ == ButtonType::PushOnPushOff) setState(state_ ? 0 : 1);
  sendAction();
}

void Button::mouseDown(const Event&) {
  if (!isEnabled()) return;
  pressed_ = true;
  setHighlighted(true);
  displayIfNeeded();
}

void Button::mouseDragged(const Event& e) {
  if (!pressed_) return;
  setHighlighted(contains(e));
  displayIfNeeded();
}

void Button::mouseUp(const Event& e) {
  if (!pressed_) return;
  pressed_ = false;
  setHighlighted(false);
  if (contains(e)) performClick();
}

void Button::mouseTrackingCancelled(const Event&) {
  pressed_ = false;
  setHighlighted(false);
}

void Button::keyDown(const Event& e) {
  if (e.keyCode == key::kSpace || e.keyCode == key::kReturn)
    performClick();
  else
    Control::keyDown(e);
}

void Button::drawRect(Canvas& canvas, const Rect&) {
  const Rect b = insetRect(bounds(), 0.5, 0.5);
  Path p = Path::roundedRect(b, 5, 5);
  canvas.fill(
      p, highlighted_ ? Color::white(0.35) : (state_ ? Color::white(0.3) : Color::white(0.22)));
  canvas.stroke(p, Color::white(0.45));
  const Font f = Font::system(13);
  const Size ts = canvas.measureText(title_, f);
  canvas.drawText(title_, {(bounds().width - ts.width) / 2, (bounds().height - ts.height) / 2}, f,
                  Color::white(0.9));
}

// ---- PopUpButton ------------------------------------------------------------

PopUpButton::PopUpButton(Rect frame, bool pullsDown) : Control(frame), pullsDown_(pullsDown) {}

void PopUpButton::addItemsWithTitles(const std::vector<std::string>& titles) {
  for (const auto& t : titles) addItemWithTitle(t);
}

void PopUpButton::addItemWithTitle(std::string title) {
  items_.push_back(std::move(title));
  // A pop-up (not a pull-down) always shows a choice once it has items.
  if (selected_ < 0 && !pullsDown_) selected_ = 0;
  setNeedsDisplay(true);
}

void PopUpButton::removeAllItems() {
  items_.clear();
  selected_ = -1;
  setNeedsDisplay(true);
}

std::string PopUpButton::itemTitleAtIndex(int i) const {
  if (i < 0 || i >= numberOfItems()) return {};
  return items_[std::size_t(i)];
}

void PopUpButton::setItemTitle(int i, std::string title) {
  if (i < 0 || i >= numberOfItems() || items_[std::size_t(i)] == title) return;
  items_[std::size_t(i)] = std::move(title);
  setNeedsDisplay(true);
}

void PopUpButton::selectItemAtIndex(int i) {
  if (i < 0 || i >= numberOfItems()) i = -1;
  if (i == selected_) return;
  selected_ = i;
  setNeedsDisplay(true);
}

void PopUpButton::runMenu() {
  Window* w = window();
  if (!w || !isEnabled() || highlighted_) return;
  highlighted_ = true;
  setNeedsDisplay(true);
  displayIfNeeded();
  std::weak_ptr<View> self = weak_from_this();
  w->modal().runMenu({items_, selected_, convertRectToWindow(bounds())},
                     [self](std::optional<int> choice) {
                       auto view = self.lock();
                       if (!view) return;
                       auto& popup = static_cast<PopUpButton&>(*view);
                       popup.highlighted_ = false;
                       popup.setNeedsDisplay(true);
                       if (choice && *choice >= 0 && *choice < popup.numberOfItems()) {
                         popup.selectItemAtIndex(*choice);
                         popup.sendAction();
                       }
                     });
}

void PopUpButton::mouseDown(const Event&) {
  runMenu();
}

void PopUpButton::keyDown(const Event& e) {
  if (e.keyCode == key::kSpace || e.keyCode == key::kReturn)
    runMenu();
  else
    Control::keyDown(e);
}

void PopUpButton::drawRect(Canvas& canvas, const Rect&) {
  const Rect b = insetRect(bounds(), 0.5, 0.5);
  Path p = Path::roundedRect(b, 5, 5);
  canvas.fill(p, Color::white(0.22));
  canvas.stroke(p, Color::white(0.45));
  const Font f = Font::system(13);
  const std::string t = titleOfSelectedItem();
  const Size ts = canvas.measureText(t, f);
  canvas.drawText(t, {10, (bounds().height - ts.height) / 2}, f, Color::white(0.9));
}

// ---- SliderCell -------------------------------------------------------------

double SliderCell::doubleValue() const {
  return slider_ ? slider_->doubleValue() : 0;
}
double SliderCell::minValue() const {
  return slider_ ? slider_->minValue() : 0;
}
double SliderCell::maxValue() const {
  return slider_ ? slider_->maxValue() : 1;
}

void SliderCell::drawBarInside(Canvas& canvas, const Rect& rect, bool) {
  canvas.fill(Path::roundedRect({rect.x, rect.midY() - 2, rect.width, 4}, 2, 2), Color::white(0.4));
}

void SliderCell::drawKnob(Canvas& canvas, const Rect& knobRect) {
  canvas.fill(Path::oval(insetRect(knobRect, 1, 1)), Color::white(0.85));
}

// ---- Slider -----------------------------------------------------------------

Slider::Slider(Rect frame, double value, double minValue, double maxValue)
    : Control(frame),
      value_(value),
      min_(minValue),
      max_(maxValue),
      cell_(std::make_unique<SliderCell>()) {
  cell_->slider_ = this;
  Slider::setDoubleValue(value);  // this class's clamping, as the object is not complete yet
}

void Slider::setDoubleValue(double v) {
  if (std::isnan(v)) return;
  const double lo = std::fmin(min_, max_), hi = std::fmax(min_, max_);
  v = std::fmin(std::fmax(v, lo), hi);
  if (v == value_) return;
  value_ = v;
  setNeedsDisplay(true);
}

void Slider::setMinValue(double v) {
  if (std::isnan(v)) return;
  min_ = v;
  setDoubleValue(value_);
  setNeedsDisplay(true);
}

void Slider::setMaxValue(double v) {
  if (std::isnan(v)) return;
  max_ = v;
  setDoubleValue(value_);
  setNeedsDisplay(true);
}

void Slider::setCell(std::unique_ptr<SliderCell> cell) {
  cell_ = cell ? std::move(cell) : std::make_unique<SliderCell>();
  cell_->slider_ = this;
  setNeedsDisplay(true);
}

Rect Slider::barRect() const {
  const Rect b = bounds();
  return {kKnobInset, 0, std::fmax(0.0, b.width - 2 * kKnobInset), b.height};
}

Rect Slider::knobRect() const {
  const Rect bar = barRect();
  const double span = max_ - min_;
  double f = span != 0 ? (value_ - min_) / span : 0;
  f = std::fmin(std::fmax(f, 0.0), 1.0);
  const double cx = bar.x + f * bar.width;
  return {cx - kKnobSize / 2, bar.midY() - kKnobSize / 2, kKnobSize, kKnobSize};
}

double Slider::valueAtX(double x) const {
  const Rect bar = barRect();
  double f = bar.width > 0 ? (x - bar.x) / bar.width : 0;
  f = std::fmin(std::fmax(f, 0.0), 1.0);
  return min_ + f * (max_ - min_);
}

bool Slider::track(const Event& e) {
  const double before = value_;
  setDoubleValue(valueAtX(convertFromWindow(e.location).x - grabOffset_));
  displayIfNeeded();
  return value_ != before;
}

void Slider::mouseDown(const Event& e) {
  if (!isEnabled()) return;
  // A click on the knob keeps the offset so grabbing it does not move the
  // value.
  const Point p = convertFromWindow(e.location);
  const Rect knob = knobRect();
  grabOffset_ = knob.contains(p) ? p.x - knob.midX() : 0;
  pressed_ = true;
  if (track(e) && isContinuous()) sendAction();
}

void Slider::mouseDragged(const Event& e) {
  if (pressed_ && track(e) && isContinuous()) sendAction();
}

void Slider::mouseUp(const Event& e) {
  if (!pressed_) return;
  pressed_ = false;
  track(e);
  sendAction();
}

void Slider::mouseTrackingCancelled(const Event&) {
  if (!pressed_) return;
  pressed_ = false;
  sendAction();
}

void Slider::keyDown(const Event& e) {
  // One hundredth of the range per arrow press.
  const double step = (max_ - min_) / 100;
  double v = value_;
  switch (e.keyCode) {
    case key::kRightArrow:
    case key::kUpArrow:
      v += step;
      break;
    case key::kLeftArrow:
    case key::kDownArrow:
      v -= step;
      break;
    default:
      Control::keyDown(e);
      return;
  }
  setDoubleValue(v);
  sendAction();
}

void Slider::drawRect(Canvas& canvas, const Rect&) {
  canvas.save();
  cell_->drawBarInside(canvas, barRect(), true);
  canvas.restore();
  canvas.save();
  cell_->drawKnob(canvas, knobRect());
  canvas.restore();
}

// ---- Label ------------------------------------------------------------------

Label::Label(Rect frame, std::string text, Font font, Color color)
    : View(frame), text_(std::move(text)), font_(font), color_(color) {}

void Label::setStringValue(std::string s) {
  if (s == text_) return;
  text_ = std::move(s);
  setNeedsDisplay(true);
}

void Label::setFont(const Font& f) {
  font_ = f;
  setNeedsDisplay(true);
}

void Label::setTextColor(const Color& c) {
  color_ = c;
  setNeedsDisplay(true);
}

void Label::drawRect(Canvas& canvas, const Rect&) {
  canvas.drawText(text_, {2, 0}, font_, color_);
}

// ---- ImageView --------------------------------------------------------------

void ImageView::setImage(std::shared_ptr<Image> image) {
  image_ = std::move(image);
  setNeedsDisplay(true);
}

void ImageView::drawRect(Canvas& canvas, const Rect&) {
  if (!image_) return;
  const Rect b = bounds();
  const Size s = image_->size();
  if (!(s.width > 0) || !(s.height > 0)) return;
  const double k = std::fmin(b.width / s.width, b.height / s.height);
  const double w = s.width * k, h = s.height * k;
  canvas.drawImage(*image_, {(b.width - w) / 2, (b.height - h) / 2, w, h});
}

}  // namespace orvane::tk
