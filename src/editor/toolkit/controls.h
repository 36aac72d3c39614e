// Controls: target/action with tags, push and toggle buttons, pop-up buttons,
// sliders with a replaceable drawing cell, labels and image views. Their own
// drawing is plain; the editor substitutes its look by subclassing.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "editor/toolkit/canvas.h"
#include "editor/toolkit/image.h"
#include "editor/toolkit/view.h"

namespace orvane::tk {

class Control;

// Receives actions by name ("changed:", "bypass:"), with the control that sent
// them. Not owned by the control: a target must outlive the controls that
// point at it or clear their target first.
class Target {
 public:
  virtual ~Target() = default;
  virtual void performAction(std::string_view action, Control* sender) = 0;
};

enum class FocusRingType { Default, None, Exterior };

class Control : public View {
 public:
  using View::View;

  void setTarget(Target* t) { target_ = t; }
  Target* target() const { return target_; }
  void setAction(std::string action) { action_ = std::move(action); }
  const std::string& action() const { return action_; }
  void setTag(int tag) { tag_ = tag; }
  int tag() const { return tag_; }
  void setEnabled(bool e);
  bool isEnabled() const { return enabled_; }
  void setContinuous(bool c) { continuous_ = c; }
  bool isContinuous() const { return continuous_; }
  void setFocusRingType(FocusRingType t) { focusRing_ = t; }
  FocusRingType focusRingType() const { return focusRing_; }

  // Sends the control's action to its target; false when either is missing.
  bool sendAction();
  // Sends another message to the same target.
  bool sendToTarget(std::string_view action);

  virtual double doubleValue() const { return 0; }
  virtual void setDoubleValue(double) {}

  // True when this control is its window's keyboard focus.
  bool isFirstResponder() const;

 private:
  Target* target_ = nullptr;
  std::string action_;
  int tag_ = 0;
  bool enabled_ = true;
  bool continuous_ = false;
  FocusRingType focusRing_ = FocusRingType::Default;
};

enum class ButtonType { MomentaryPush, PushOnPushOff };

class Button : public Control {
 public:
  explicit Button(Rect frame = {}, std::string title = {});

  void setTitle(std::string t);
  const std::string& title() const { return title_; }
  // 0 off, 1 on.
  void setState(int s);
  int state() const { return state_; }
  void setButtonType(ButtonType t) { type_ = t; }
  ButtonType buttonType() const { return type_; }
  // True while the mouse is pressed inside the button.
  bool isHighlighted() const { return highlighted_; }
  void setHighlighted(bool h);

  // Presses and releases: toggles the state of an on/off button and sends
  // the action.
  void performClick();

  // A press highlights the button while the pointer stays inside; releasing
  // inside clicks it, releasing outside does nothing.
  void mouseDown(const Event& e) override;
  void mouseDragged(const Event& e) override;
  void mouseUp(const Event& e) override;
  void mouseTrackingCancelled(const Event& e) override;
  void keyDown(const Event& e) override;
  void drawRect(Canvas& canvas, const Rect& dirty) override;

 private:
  bool contains(const Event& e) const { return bounds().contains(convertFromWindow(e.location)); }
  std::string title_;
  int state_ = 0;
  ButtonType type_ = ButtonType::MomentaryPush;
  bool highlighted_ = false;
  bool pressed_ = false;  // a press began here and has not ended
};

class PopUpButton : public Control {
 public:
  explicit PopUpButton(Rect frame = {}, bool pullsDown = false);

  void addItemsWithTitles(const std::vector<std::string>& titles);
  void addItemWithTitle(std::string title);
  void removeAllItems();
  int numberOfItems() const { return static_cast<int>(items_.size()); }
  const std::vector<std::string>& itemTitles() const { return items_; }
  std::string itemTitleAtIndex(int i) const;
  void setItemTitle(int i, std::string title);
  // Out-of-range indices select nothing (-1).
  void selectItemAtIndex(int i);
  int indexOfSelectedItem() const { return selected_; }
  // Empty when nothing is selected.
  std::string titleOfSelectedItem() const { return itemTitleAtIndex(selected_); }
  bool pullsDown() const { return pullsDown_; }
  void setBordered(bool b) { bordered_ = b; }
  bool isBordered() const { return bordered_; }
  bool isHighlighted() const { return highlighted_; }

  double doubleValue() const override { return selected_; }

  // Shows the menu through the window's modal interface; a choice selects the
  // item and sends the action. The rest of the click belongs to the menu.
  void mouseDown(const Event& e) override;
  void mouseDragged(const Event&) override {}
  void mouseUp(const Event&) override {}
  void keyDown(const Event& e) override;
  void drawRect(Canvas& canvas, const Rect& dirty) override;

 private:
  void runMenu();
  std::vector<std::string> items_;
  int selected_ = -1;
  bool pullsDown_;
  bool bordered_ = true;
  bool highlighted_ = false;
};

class Slider;

// Draws a horizontal slider. Replace it with Slider::setCell to change the
// look; the geometry (bar and knob rectangles) stays the slider's.
class SliderCell {
 public:
  virtual ~SliderCell() = default;
  // The track; `flipped` is always true here and kept for subclasses that care.
  virtual void drawBarInside(Canvas& canvas, const Rect& rect, bool flipped);
  virtual void drawKnob(Canvas& canvas, const Rect& knobRect);

  Slider* controlView() const { return slider_; }
  double doubleValue() const;
  double minValue() const;
  double maxValue() const;

 private:
  friend class Slider;
  Slider* slider_ = nullptr;
};

class Slider : public Control {
 public:
  // Horizontal travel keeps the knob's centre this far from each end.
  static constexpr double kKnobInset = 8;
  static constexpr double kKnobSize = 16;

  explicit Slider(Rect frame = {}, double value = 0, double minValue = 0, double maxValue = 1);

  double doubleValue() const override { return value_; }
  // Clamped to [minValue, maxValue]; non-numbers are ignored.
  void setDoubleValue(double v) override;
  double minValue() const { return min_; }
  double maxValue() const { return max_; }
  void setMinValue(double v);
  void setMaxValue(double v);

  // Takes ownership of the cell; a null cell restores the plain one.
  void setCell(std::unique_ptr<SliderCell> cell);
  SliderCell& cell() const { return *cell_; }

  Rect barRect() const;
  Rect knobRect() const;

  bool acceptsFirstResponder() const override { return true; }
  // A press away from the knob jumps there; dragging follows the pointer
  // (sending the action on every change when continuous); the release sends
  // the action once more.
  void mouseDown(const Event& e) override;
  void mouseDragged(const Event& e) override;
  void mouseUp(const Event& e) override;
  void mouseTrackingCancelled(const Event& e) override;
  void keyDown(const Event& e) override;
  void drawRect(Canvas& canvas, const Rect& dirty) override;

 private:
  double valueAtX(double x) const;
  // Moves the value to follow the pointer; true when it changed.
  bool track(const Event& e);
  bool pressed_ = false;
  double grabOffset_ = 0;  // pointer x minus knob centre when the knob was grabbed
  double value_;
  double min_;
  double max_;
  std::unique_ptr<SliderCell> cell_;
};

// A non-editable text. Text is drawn at the top left, inset by 2 points.
class Label : public View {
 public:
  explicit Label(Rect frame = {}, std::string text = {}, Font font = Font::system(13),
                 Color color = Color::white(0.86));
  void setStringValue(std::string s);
  const std::string& stringValue() const { return text_; }
  void setFont(const Font& f);
  const Font& font() const { return font_; }
  void setTextColor(const Color& c);
  const Color& textColor() const { return color_; }
  void drawRect(Canvas& canvas, const Rect& dirty) override;

 private:
  std::string text_;
  Font font_;
  Color color_;
};

// Shows an image scaled proportionally to fit its bounds, centred.
class ImageView : public View {
 public:
  using View::View;
  void setImage(std::shared_ptr<Image> image);
  const std::shared_ptr<Image>& image() const { return image_; }
  void drawRect(Canvas& canvas, const Rect& dirty) override;

 private:
  std::shared_ptr<Image> image_;
};

}  // namespace orvane::tk
