// Input events as the widget layer delivers them. Locations are in window
// coordinates (flipped, points); key codes are the hardware-independent
// virtual key numbers the editor's keyboard handling is written against.
#pragma once

#include <cstdint>

#include "editor/toolkit/geometry.h"

namespace orvane::tk {

enum class EventType {
  LeftMouseDown,
  LeftMouseDragged,
  LeftMouseUp,
  MouseMoved,
  ScrollWheel,
  KeyDown
};

// Bit set for Event::modifiers.
enum Modifier : std::uint32_t {
  kShift = 1u << 0,
  kControl = 1u << 1,
  kOption = 1u << 2,  // Alt on PC keyboards
  kCommand = 1u << 3,
};

namespace key {
inline constexpr int kReturn = 36;
inline constexpr int kTab = 48;
inline constexpr int kSpace = 49;
inline constexpr int kEscape = 53;
inline constexpr int kLeftArrow = 123;
inline constexpr int kRightArrow = 124;
inline constexpr int kDownArrow = 125;
inline constexpr int kUpArrow = 126;
}  // namespace key

struct Event {
  EventType type = EventType::MouseMoved;
  Point location;  // window coordinates
  std::uint32_t modifiers = 0;
  double scrollingDeltaY = 0;  // positive when the content moves down (wheel away from the user)
  int keyCode = -1;
  double scrollingDeltaX = 0;  // positive when the content moves right (wheel tilted left)

  static Event mouse(EventType t, Point p, std::uint32_t mods = 0) { return {t, p, mods, 0, -1}; }
  static Event scroll(Point p, double deltaY, std::uint32_t mods = 0, double deltaX = 0) {
    return {EventType::ScrollWheel, p, mods, deltaY, -1, deltaX};
  }
  static Event keyDown(int code, std::uint32_t mods = 0) {
    return {EventType::KeyDown, {}, mods, 0, code};
  }
};

}  // namespace orvane::tk
