#include "editor/toolkit/window.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

#include "editor/toolkit/canvas.h"

namespace orvane::tk {

namespace {

// Visible views in drawing order (back to front), parents before children.
void collectVisible(View* v, std::vector<View*>& out) {
  if (!v || v->isHidden()) return;
  out.push_back(v);
  for (const auto& s : v->subviews()) collectVisible(s.get(), out);
}

void collectAll(View* v, std::vector<View*>& out) {
  if (!v) return;
  out.push_back(v);
  for (const auto& s : v->subviews()) collectAll(s.get(), out);
}

void drawTree(View* v, Canvas& canvas) {
  if (v->isHidden()) return;
  const Rect f = v->frame();
  canvas.save();
  canvas.translate(f.x, f.y);
  if (v->clipsToBounds()) canvas.clipRect(v->bounds());
  if (auto bg = v->backgroundColor()) canvas.fillRect(v->bounds(), *bg);
  canvas.save();
  v->drawRect(canvas, v->bounds());
  canvas.restore();
  v->setNeedsDisplay(false);
  for (const auto& s : v->subviews()) drawTree(s.get(), canvas);
  canvas.restore();
}

// Hidden views are not drawn, so their marks do not count until shown.
bool anyNeedsDisplay(const View* v) {
  if (!v || v->isHidden()) return false;
  if (v->needsDisplay()) return true;
  for (const auto& s : v->subviews())
    if (anyNeedsDisplay(s.get())) return true;
  return false;
}

}  // namespace

Window::Window(Size contentSize, double scale)
    : size_(contentSize),
      scale_(scale > 0 ? scale : 1.0),
      modal_(std::make_shared<CancellingModal>()) {
  const int w = std::max(1, static_cast<int>(std::lround(contentSize.width * scale_)));
  const int h = std::max(1, static_cast<int>(std::lround(contentSize.height * scale_)));
  image_ = Image::create(w, h);
  image_->setSize(contentSize);
  content_ = std::make_shared<View>(Rect{0, 0, contentSize.width, contentSize.height});
  content_->setWindow(this);
}

Window::~Window() {
  if (content_) content_->setWindow(nullptr);
}

void Window::setScale(double scale) {
  if (!(scale > 0) || scale == scale_) return;
  scale_ = scale;
  const int w = std::max(1, static_cast<int>(std::lround(size_.width * scale_)));
  const int h = std::max(1, static_cast<int>(std::lround(size_.height * scale_)));
  image_ = Image::create(w, h);
  image_->setSize(size_);
  if (content_) content_->setNeedsDisplay(true);
}

void Window::setContentView(std::shared_ptr<View> view) {
  if (content_) content_->setWindow(nullptr);
  content_ = std::move(view);
  if (content_) {
    content_->removeFromSuperview();
    content_->setWindow(this);
    content_->setNeedsDisplay(true);
  }
  layoutDirty_ = true;
}

void Window::setVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  layoutDirty_ = true;
  if (visible_ && content_) content_->setNeedsDisplay(true);
}

bool Window::makeFirstResponder(View* view) {
  if (view == firstResponder_) return true;
  if (view && (view->window() != this || !view->acceptsFirstResponder())) return false;
  if (firstResponder_ && !firstResponder_->resignFirstResponder()) return false;
  firstResponder_ = nullptr;
  if (view && !view->becomeFirstResponder()) return false;
  firstResponder_ = view;
  return true;
}

void Window::viewWillLeave(View* v) {
  if (firstResponder_ == v) firstResponder_ = nullptr;
  if (mouseDownView_ == v) mouseDownView_ = nullptr;
  layoutDirty_ = true;
}

void Window::postEvent(const Event& e) {
  queue_.push_back(e);
}

void Window::dispatchEvents() {
  while (!queue_.empty()) {
    Event e = queue_.front();
    queue_.pop_front();
    sendEvent(e);
  }
  endMouseTracking();
}

void Window::endMouseTracking() {
  View* v = mouseDownView_;
  mouseDownView_ = nullptr;
  if (v) v->mouseTrackingCancelled(Event::mouse(EventType::LeftMouseUp, mouseLocation_));
}

void Window::sendEvent(const Event& e) {
  if (e.type != EventType::KeyDown) mouseLocation_ = e.location;
  switch (e.type) {
    case EventType::LeftMouseDown: {
      View* hit = content_ ? content_->hitTest(e.location) : nullptr;
      mouseDownView_ = hit;
      if (!hit) return;
      if (hit->acceptsFirstResponder()) makeFirstResponder(hit);
      hit->mouseDown(e);
      break;
    }
    // While a press is held the view that took it follows the pointer, and
    // hover areas wait for the next plain move, as they would while a control
    // tracks the mouse in a loop of its own.
    case EventType::LeftMouseDragged:
      if (mouseDownView_)
        mouseDownView_->mouseDragged(e);
      else
        updateHover(e);
      break;
    case EventType::LeftMouseUp:
      if (View* v = mouseDownView_) {
        mouseDownView_ = nullptr;
        v->mouseUp(e);
      } else {
        updateHover(e);
      }
      break;
    case EventType::MouseMoved:
      updateHover(e);
      break;
    case EventType::ScrollWheel:
      if (View* hit = content_ ? content_->hitTest(e.location) : nullptr) hit->scrollWheel(e);
      break;
    case EventType::KeyDown:
      if (firstResponder_) firstResponder_->keyDown(e);
      break;
  }
}

void Window::refreshLayout() {
  if (!layoutDirty_) return;
  layoutDirty_ = false;
  std::vector<View*> all;
  collectAll(content_.get(), all);
  for (View* v : all) {
    // Areas that the view drops while the pointer is inside them: their owner
    // still believes it is hovered, so remember it for the next pointer move.
    const auto before = v->trackingAreas();
    v->updateTrackingAreas();
    const auto& after = v->trackingAreas();
    for (const auto& area : before)
      if (area->inside_ && area->owner() &&
          std::find(after.begin(), after.end(), area) == after.end())
        hoveredOwners_.push_back(area->owner()->weak_from_this());
    v->discardCursorRects();
    if (!v->isHiddenOrHasHiddenAncestor()) v->resetCursorRects();
  }
}

void Window::updateHover(const Event& e) {
  refreshLayout();
  std::vector<View*> all;
  collectAll(content_.get(), all);
  // Reports are gathered first: an owner's handler may change the tree.
  struct Report {
    std::weak_ptr<View> owner;
    bool entered;
  };
  std::vector<Report> reports;
  std::vector<std::weak_ptr<View>> stillHovered = std::move(hoveredOwners_);
  hoveredOwners_.clear();
  auto takeCarried = [&](View* owner) {
    for (auto it = stillHovered.begin(); it != stillHovered.end(); ++it)
      if (it->lock().get() == owner) {
        stillHovered.erase(it);
        return true;
      }
    return false;
  };
  for (View* v : all) {
    for (const auto& area : v->trackingAreas()) {
      if (!(area->options() & kTrackMouseEnteredAndExited)) continue;
      bool inside = false;
      if (visible_ && !v->isHiddenOrHasHiddenAncestor()) {
        const Rect local = (area->options() & kTrackInVisibleRect)
                               ? v->visibleRect()
                               : intersectRect(area->rect(), v->visibleRect());
        inside = local.contains(v->convertFromWindow(e.location));
      }
      if (inside != area->inside_) {
        area->inside_ = inside;
        View* owner = area->owner();
        // A replacement area under the pointer continues the hover silently.
        if (owner && !(inside && takeCarried(owner)))
          reports.push_back({owner->weak_from_this(), inside});
      }
    }
  }
  // Owners whose hovered area went away without a successor under the pointer.
  for (const auto& w : stillHovered) reports.push_back({w, false});
  for (const auto& r : reports) {
    if (auto owner = r.owner.lock()) {
      if (r.entered)
        owner->mouseEntered(e);
      else
        owner->mouseExited(e);
    }
  }
}

void Window::pushCursor(Cursor c) {
  cursorStack_.push_back(c);
}

void Window::popCursor() {
  if (!cursorStack_.empty()) cursorStack_.pop_back();
}

Cursor Window::currentCursor() {
  if (!cursorStack_.empty()) return cursorStack_.back();
  return cursorAt(mouseLocation_);
}

Cursor Window::cursorAt(Point p) {
  refreshLayout();
  std::vector<View*> visible;
  collectVisible(content_.get(), visible);
  for (auto it = visible.rbegin(); it != visible.rend(); ++it) {
    View* v = *it;
    const Point local = v->convertFromWindow(p);
    const Rect vis = v->visibleRect();
    for (const auto& cr : v->cursorRects())
      if (intersectRect(cr.rect, vis).contains(local)) return cr.cursor;
  }
  return Cursor::Arrow;
}

bool Window::needsDisplay() const {
  return anyNeedsDisplay(content_.get());
}

void Window::display() {
  cairo_t* cr = cairo_create(image_->surface());
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  cairo_paint(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  cairo_scale(cr, scale_, scale_);
  Canvas canvas(cr);
  if (content_) drawTree(content_.get(), canvas);
  cairo_destroy(cr);
  cairo_surface_flush(image_->surface());
  ++displayCount_;
  present();
}

void Window::displayIfNeeded() {
  if (visible_ && needsDisplay()) display();
}

void Window::setModal(std::shared_ptr<Modal> m) {
  modal_ = m ? std::move(m) : std::make_shared<CancellingModal>();
}

}  // namespace orvane::tk
