#include "editor/toolkit/view.h"

#include <algorithm>

#include "editor/toolkit/canvas.h"
#include "editor/toolkit/window.h"

namespace orvane::tk {

View::View(Rect frame) : frame_(frame) {}

View::~View() {
  for (auto& s : subviews_) {
    s->superview_ = nullptr;
    s->setWindow(nullptr);
  }
}

// By value: the caller may pass the very pointer held in the old parent's list,
// which removeFromSuperview() below erases.
void View::addSubview(std::shared_ptr<View> view) {  // NOLINT(performance-unnecessary-value-param)
  if (!view || view.get() == this) return;
  // A view must not become its own ancestor.
  for (View* a = this; a; a = a->superview_)
    if (a == view.get()) return;
  view->removeFromSuperview();
  view->superview_ = this;
  subviews_.push_back(view);
  view->setWindow(window_);
  view->setNeedsDisplay(true);
  layoutChanged();
}

void View::removeFromSuperview() {
  View* parent = superview_;
  if (!parent) return;
  // Keep this view alive while it is being detached.
  std::shared_ptr<View> self;
  auto& list = parent->subviews_;
  auto it =
      std::find_if(list.begin(), list.end(), [this](const auto& s) { return s.get() == this; });
  if (it != list.end()) {
    self = *it;
    list.erase(it);
  }
  parent->setNeedsDisplay(true);
  layoutChanged();
  setWindow(nullptr);
  superview_ = nullptr;
}

void View::setWindow(Window* w) {
  if (window_ == w) return;
  if (window_) window_->viewWillLeave(this);
  window_ = w;
  for (auto& s : subviews_) s->setWindow(w);
}

void View::layoutChanged() {
  if (window_) window_->invalidateLayout();
}

void View::setFrame(const Rect& frame) {
  if (frame == frame_) return;
  if (superview_) superview_->setNeedsDisplay(true);
  frame_ = frame;
  setNeedsDisplay(true);
  layoutChanged();
}

Point View::convertFromWindow(Point p) const {
  for (const View* v = this; v; v = v->superview_) {
    p.x -= v->frame_.x;
    p.y -= v->frame_.y;
  }
  return p;
}

Point View::convertToWindow(Point p) const {
  for (const View* v = this; v; v = v->superview_) {
    p.x += v->frame_.x;
    p.y += v->frame_.y;
  }
  return p;
}

Rect View::convertRectToWindow(const Rect& r) const {
  const Point o = convertToWindow({r.x, r.y});
  return {o.x, o.y, r.width, r.height};
}

Rect View::visibleRect() const {
  if (isHiddenOrHasHiddenAncestor()) return {};
  Rect visible = bounds();
  // Walk up, intersecting with each ancestor's bounds expressed locally.
  double ox = 0, oy = 0;
  for (const View* v = this; v->superview_; v = v->superview_) {
    ox += v->frame_.x;
    oy += v->frame_.y;
    const Rect parentBounds = v->superview_->bounds();
    visible = intersectRect(visible, offsetRect(parentBounds, -ox, -oy));
    if (visible.isEmpty()) return {};
  }
  return visible;
}

void View::setHidden(bool hidden) {
  if (hidden == hidden_) return;
  hidden_ = hidden;
  if (superview_) superview_->setNeedsDisplay(true);
  setNeedsDisplay(true);
  if (hidden && window_) {
    // A hidden view cannot keep keyboard focus.
    View* fr = window_->firstResponder();
    for (View* v = fr; v; v = v->superview_)
      if (v == this) {
        window_->makeFirstResponder(nullptr);
        break;
      }
  }
  layoutChanged();
}

bool View::isHiddenOrHasHiddenAncestor() const {
  for (const View* v = this; v; v = v->superview_)
    if (v->hidden_) return true;
  return false;
}

void View::setNeedsDisplay(bool needs) {
  needsDisplay_ = needs;
}

void View::displayIfNeeded() {
  if (window_) window_->displayIfNeeded();
}

void View::drawRect(Canvas&, const Rect&) {}

void View::setBackgroundColor(std::optional<Color> c) {
  background_ = c;
  setNeedsDisplay(true);
}

Appearance View::effectiveAppearance() const {
  for (const View* v = this; v; v = v->superview_)
    if (v->appearance_ != Appearance::Inherited) return v->appearance_;
  return Appearance::Light;
}

View* View::hitTest(Point point) {
  if (hidden_ || !frame_.contains(point)) return nullptr;
  const Point local{point.x - frame_.x, point.y - frame_.y};
  for (auto it = subviews_.rbegin(); it != subviews_.rend(); ++it)
    if (View* hit = (*it)->hitTest(local)) return hit;
  return this;
}

void View::mouseDown(const Event& e) {
  if (superview_) superview_->mouseDown(e);
}
void View::mouseDragged(const Event& e) {
  if (superview_) superview_->mouseDragged(e);
}
void View::mouseUp(const Event& e) {
  if (superview_) superview_->mouseUp(e);
}
void View::scrollWheel(const Event& e) {
  if (superview_) superview_->scrollWheel(e);
}
void View::keyDown(const Event& e) {
  if (superview_) superview_->keyDown(e);
}

void View::addTrackingArea(std::shared_ptr<TrackingArea> area) {
  if (area) trackingAreas_.push_back(std::move(area));
}

void View::removeTrackingArea(const std::shared_ptr<TrackingArea>& area) {
  trackingAreas_.erase(std::remove(trackingAreas_.begin(), trackingAreas_.end(), area),
                       trackingAreas_.end());
}

void View::addCursorRect(const Rect& r, Cursor c) {
  cursorRects_.push_back({r, c});
}

}  // namespace orvane::tk
