// A window on an X11 display, embedded in a window that another program (the
// host) owns: our own child window on our own connection, drawn through
// Cairo's xcb surface and fed with the display's events. It has no thread or
// loop of its own: the host's loop reports when the connection has input
// (through HostLoop) and the host's tick calls flush.
//
// Drawing: the view tree is rendered into the window's image (as in the
// headless window) and the image is copied to the screen, so an expose only
// copies the damaged rectangles again and what is on screen is the same
// picture an off-screen render gives. Redraw requests are coalesced: views
// mark themselves, and one display runs when the events at hand have been
// handled or the tick comes. User-interface thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "editor/toolkit/host_loop.h"
#include "editor/toolkit/window.h"

namespace orvane::tk {

class X11Window : public Window {
 public:
  // Connects to the display named by $DISPLAY, creates a child of the window
  // `parent` at its top-left corner, sized contentSize x scale in device
  // pixels, shows it and has `loop` watch the connection. Null when any step
  // fails, with the reason in `error`; nothing is left behind then. The loop
  // must outlive the window.
  static std::unique_ptr<X11Window> create(std::uint32_t parent, Size contentSize, double scale,
                                           HostLoop& loop, std::string* error = nullptr);
  // Stops watching, destroys the window and closes the connection.
  ~X11Window() override;

  std::uint32_t windowId() const;
  // The top-level window that holds ours (for dialogs to stay above it).
  std::uint32_t topLevelId() const;

  // Handles every event that has arrived, then flushes. The connection
  // watch calls it; the host's tick may too, to pick up events read ahead.
  void processEvents();
  // Draws what views marked, shows it, and sets the pointer's cursor.
  void flush();
  // Resizes the window to the content size at another scale.
  void rescale(double scale);

  Cursor shownCursor() const;
  bool hasKeyboardFocus() const;
  // False once the display connection broke; the window then stays dark.
  bool isConnected() const;

 protected:
  void present() override;

 private:
  struct Impl;
  X11Window(Size contentSize, double scale, std::unique_ptr<Impl> impl);
  void handle(const void* event);
  void deliverPointer(EventType type, int x, int y, std::uint16_t state);
  void pressButton(const void* event);
  void showDamage();
  std::unique_ptr<Impl> impl_;
};

}  // namespace orvane::tk
