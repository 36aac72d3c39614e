// The retained view tree. Views are owned by shared pointers: a superview holds
// its subviews strongly, a subview knows its superview and window weakly (raw
// pointers cleared on removal). Every view is flipped; frames are in the
// superview's coordinates, bounds start at (0, 0). Main thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "editor/toolkit/color.h"
#include "editor/toolkit/event.h"
#include "editor/toolkit/geometry.h"

namespace orvane::tk {

class Canvas;
class View;
class Window;

enum class Cursor { Arrow, OpenHand, ClosedHand, PointingHand };
enum class Appearance { Inherited, Dark, Light };

// Option bits of a tracking area.
enum TrackingOption : std::uint32_t {
  kTrackMouseEnteredAndExited = 1,
  kTrackActiveAlways = 128,
  kTrackInVisibleRect = 512,
};

// A region of a view that reports pointer entry and exit to its owner. With
// kTrackInVisibleRect the region follows the owner's visible rectangle and
// `rect` is ignored.
class TrackingArea {
 public:
  TrackingArea(Rect rect, std::uint32_t options, View* owner)
      : rect_(rect), options_(options), owner_(owner) {}
  Rect rect() const { return rect_; }
  std::uint32_t options() const { return options_; }
  View* owner() const { return owner_; }

 private:
  friend class Window;
  Rect rect_;
  std::uint32_t options_;
  View* owner_;
  bool inside_ = false;  // kept by the window between pointer moves
};

class View : public std::enable_shared_from_this<View> {
 public:
  explicit View(Rect frame = {});
  virtual ~View();
  View(const View&) = delete;
  View& operator=(const View&) = delete;

  // ---- tree
  // Adds `view` on top of the existing subviews, first removing it from any
  // previous superview.
  void addSubview(std::shared_ptr<View> view);
  void removeFromSuperview();
  const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
  View* superview() const { return superview_; }
  Window* window() const { return window_; }

  // ---- geometry
  Rect frame() const { return frame_; }
  void setFrame(const Rect& frame);
  Rect bounds() const { return {0, 0, frame_.width, frame_.height}; }
  bool isFlipped() const { return true; }
  Point convertFromWindow(Point p) const;
  Point convertToWindow(Point p) const;
  Rect convertRectToWindow(const Rect& r) const;
  // The part of the bounds not clipped away by hidden state or ancestors;
  // empty when the view is not on screen.
  Rect visibleRect() const;

  // ---- visibility and drawing
  bool isHidden() const { return hidden_; }
  void setHidden(bool hidden);
  bool isHiddenOrHasHiddenAncestor() const;
  void setNeedsDisplay(bool needs = true);
  bool needsDisplay() const { return needsDisplay_; }
  // Redraws the window at once when anything in it is marked; used while a
  // control tracks the mouse in its own loop.
  void displayIfNeeded();
  // Draws the view's own content in its bounds; the window has already
  // translated to the view's origin and clipped to its bounds.
  virtual void drawRect(Canvas& canvas, const Rect& dirty);
  // Views clip their drawing to their bounds unless told otherwise; a view
  // whose decoration reaches past its frame turns this off.
  void setClipsToBounds(bool clips) { clipsToBounds_ = clips; }
  bool clipsToBounds() const { return clipsToBounds_; }
  // Layer-backed background, painted under drawRect. Empty means none.
  void setBackgroundColor(std::optional<Color> c);
  std::optional<Color> backgroundColor() const { return background_; }
  void setAppearance(Appearance a) { appearance_ = a; }
  Appearance appearance() const { return appearance_; }
  Appearance effectiveAppearance() const;

  // ---- hit testing: `point` is in the superview's coordinates. Returns the
  // deepest visible view under the point, or null.
  virtual View* hitTest(Point point);

  // ---- responder
  virtual bool acceptsFirstResponder() const { return false; }
  virtual bool becomeFirstResponder() { return true; }
  virtual bool resignFirstResponder() { return true; }
  // Unhandled events travel to the superview, as along a responder chain.
  virtual void mouseDown(const Event& e);
  virtual void mouseDragged(const Event& e);
  virtual void mouseUp(const Event& e);
  virtual void scrollWheel(const Event& e);
  virtual void keyDown(const Event& e);
  // The press that began on this view ends without a release (see
  // Window::endMouseTracking); a control tracking the press stops as if the
  // user had let go without choosing anything.
  virtual void mouseTrackingCancelled(const Event& e) {}
  virtual void mouseEntered(const Event& e) {}
  virtual void mouseExited(const Event& e) {}

  // ---- tracking areas and cursor rectangles
  // Called by the window after the view was added, moved, resized, shown or
  // hidden, before pointer positions are next evaluated.
  virtual void updateTrackingAreas() {}
  void addTrackingArea(std::shared_ptr<TrackingArea> area);
  void removeTrackingArea(const std::shared_ptr<TrackingArea>& area);
  const std::vector<std::shared_ptr<TrackingArea>>& trackingAreas() const { return trackingAreas_; }
  // Called by the window when cursor rectangles are rebuilt; override and call
  // addCursorRect for each region.
  virtual void resetCursorRects() {}
  void addCursorRect(const Rect& r, Cursor c);
  void discardCursorRects() { cursorRects_.clear(); }
  struct CursorRect {
    Rect rect;
    Cursor cursor;
  };
  const std::vector<CursorRect>& cursorRects() const { return cursorRects_; }

  // ---- accessibility
  void setAccessibilityLabel(std::string label) { accessibilityLabel_ = std::move(label); }
  const std::string& accessibilityLabel() const { return accessibilityLabel_; }

 private:
  friend class Window;
  void setWindow(Window* w);
  void layoutChanged();

  Rect frame_;
  View* superview_ = nullptr;
  Window* window_ = nullptr;
  std::vector<std::shared_ptr<View>> subviews_;
  bool hidden_ = false;
  bool needsDisplay_ = true;
  bool clipsToBounds_ = true;
  std::optional<Color> background_;
  Appearance appearance_ = Appearance::Inherited;
  std::vector<std::shared_ptr<TrackingArea>> trackingAreas_;
  std::vector<CursorRect> cursorRects_;
  std::string accessibilityLabel_;
};

}  // namespace orvane::tk
