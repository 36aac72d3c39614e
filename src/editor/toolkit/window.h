// A top-level window holding one content view. This class is the headless
// window: it renders the view tree into an image surface, takes synthetic
// events through postEvent/sendEvent, and can write what it shows to a PNG.
// A window on a real display (X11Window) feeds the same entry points from its
// event source and shows the image after each display.
#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "editor/toolkit/event.h"
#include "editor/toolkit/image.h"
#include "editor/toolkit/modal.h"
#include "editor/toolkit/view.h"

namespace orvane::tk {

class Window {
 public:
  // `scale` is device pixels per point of the backing image.
  explicit Window(Size contentSize, double scale = 1.0);
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  void setContentView(std::shared_ptr<View> view);
  View* contentView() const { return content_.get(); }
  Size contentSize() const { return size_; }
  double scale() const { return scale_; }
  // Rebuilds the backing image at another scale and marks everything for
  // redrawing. Non-positive scales are ignored.
  void setScale(double scale);

  bool isVisible() const { return visible_; }
  void setVisible(bool visible);

  // ---- keyboard focus
  View* firstResponder() const { return firstResponder_; }
  // Asks the current first responder to resign and `view` (which must accept)
  // to become it; null clears focus. False when either refuses.
  bool makeFirstResponder(View* view);

  // ---- events
  // Queues an event; dispatchEvents delivers queued events in order. The
  // queue stands for all the input there will be: a press still held when it
  // runs dry is ended with endMouseTracking.
  void postEvent(const Event& e);
  void dispatchEvents();
  // Delivers one event now: mouse-down to the view under the pointer (after
  // focusing it when it accepts focus), drags and mouse-up to the view that
  // took the mouse-down, scroll to the view under the pointer, keys to the
  // first responder, pointer moves to tracking areas.
  void sendEvent(const Event& e);
  // Ends a press whose release will never come (input stopped, or another
  // program took the pointer): the view that took the mouse-down gets
  // mouseTrackingCancelled. Nothing happens when no press is held.
  void endMouseTracking();
  bool isTrackingMouse() const { return mouseDownView_ != nullptr; }
  Point mouseLocation() const { return mouseLocation_; }

  // ---- cursor
  void pushCursor(Cursor c);
  void popCursor();
  // The cursor on screen: the top of the pushed stack, else the cursor
  // rectangle under the pointer, else the arrow.
  Cursor currentCursor();
  Cursor cursorAt(Point p);
  // Marks tracking areas and cursor rectangles for rebuilding; views call it
  // when their geometry or visibility changes.
  void invalidateLayout() { layoutDirty_ = true; }

  // ---- drawing
  void display();
  void displayIfNeeded();
  bool needsDisplay() const;
  const Image& image() const { return *image_; }
  int displayCount() const { return displayCount_; }
  bool writePng(const std::string& path) const { return image_->writePng(path); }

  // ---- modal interaction (never null)
  Modal& modal() const { return *modal_; }
  void setModal(std::shared_ptr<Modal> m);

  // Called by views leaving the window, so no stale pointer is kept.
  void viewWillLeave(View* v);

 protected:
  // Called after every display with the image just drawn; a window on a
  // display shows it there.
  virtual void present() {}

 private:
  void refreshLayout();
  void updateHover(const Event& e);

  Size size_;
  double scale_;
  std::shared_ptr<View> content_;
  std::shared_ptr<Image> image_;
  bool visible_ = false;
  View* firstResponder_ = nullptr;
  View* mouseDownView_ = nullptr;
  std::deque<Event> queue_;
  std::vector<Cursor> cursorStack_;
  bool layoutDirty_ = true;
  std::vector<std::weak_ptr<View>> hoveredOwners_;  // hovered when their area was replaced
  Point mouseLocation_;
  int displayCount_ = 0;
  std::shared_ptr<Modal> modal_;
};

}  // namespace orvane::tk
