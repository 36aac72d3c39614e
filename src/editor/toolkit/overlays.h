// Alerts and pop-up menus drawn inside a window, above its content. A window
// embedded in another program's window cannot open windows of its own, so
// these stand in for the platform's modal alert and menu there. While one is
// shown it takes every click and the keyboard; it goes away when answered.
// User-interface thread only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "editor/toolkit/controls.h"
#include "editor/toolkit/modal.h"

namespace orvane::tk {

class Window;

// A dimmed cover over the whole window with a panel in the middle: the
// message, the informative text (wrapped) and a row of buttons, the first
// being the default. Return, Space and Escape choose the default.
class AlertOverlay : public View, public Target {
 public:
  static constexpr double kPanelWidth = 400;
  // Shows the alert in `window` on top of everything; `done` gets the index
  // of the chosen button once dismissed. Null when the window has no content.
  static std::shared_ptr<AlertOverlay> show(Window& window, const AlertRequest& request,
                                            Modal::AlertDone done);
  AlertOverlay(Rect frame, AlertRequest request, Modal::AlertDone done);

  const AlertRequest& request() const { return request_; }
  Rect panelRect() const { return panel_; }
  Button& button(int i) const { return *buttons_[std::size_t(i)]; }
  // The informative text as it is broken into lines.
  const std::vector<std::string>& lines() const { return lines_; }

  void choose(int button);
  void performAction(std::string_view action, Control* sender) override;
  bool acceptsFirstResponder() const override { return true; }
  void keyDown(const Event& e) override;
  void mouseDown(const Event&) override {}  // clicks beside the panel go nowhere
  void drawRect(Canvas& canvas, const Rect& dirty) override;
  void resetCursorRects() override;

 private:
  void layOut();
  AlertRequest request_;
  Modal::AlertDone done_;
  std::vector<std::string> lines_;
  std::vector<std::shared_ptr<Button>> buttons_;
  Rect panel_;
  std::weak_ptr<View> focusBefore_;
};

// A list of items under (or, without room, above) the control it belongs
// to; the current item is ticked. A click on an item chooses it, a click
// elsewhere dismisses the menu; the arrows move the highlight, Return chooses
// and Escape dismisses.
class MenuOverlay : public View, public Target {
 public:
  static constexpr double kItemHeight = 24;
  static std::shared_ptr<MenuOverlay> show(Window& window, const MenuRequest& request,
                                           Modal::MenuDone done);
  MenuOverlay(Rect frame, MenuRequest request, Modal::MenuDone done);

  Rect listRect() const { return list_; }
  // The frame of item i, in the overlay's (that is, the window's) coordinates.
  Rect itemRect(int i) const;
  int highlighted() const { return highlighted_; }
  void setHighlighted(int i);

  // Ends the menu with an item, or with nothing.
  void finish(std::optional<int> item);
  void performAction(std::string_view action, Control* sender) override;
  bool acceptsFirstResponder() const override { return true; }
  void keyDown(const Event& e) override;
  void mouseDown(const Event& e) override;
  void drawRect(Canvas& canvas, const Rect& dirty) override;
  void resetCursorRects() override;

 private:
  MenuRequest request_;
  Modal::MenuDone done_;
  Rect list_;
  int highlighted_;
  std::weak_ptr<View> focusBefore_;
};

}  // namespace orvane::tk
