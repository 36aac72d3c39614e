// A top-level X11 window owned by the host, for a plug-in's editor to embed
// its own window in ("X11EmbedWindowID"): fixed size, titled, closed by the
// window manager's close button, and able to take a screenshot of what is
// shown in it, the plug-in's window included. It has its own connection,
// whose descriptor the host watches in its run loop.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orvane::host {

// A screenshot: premultiplied ARGB words (alpha always 255), rows top down.
struct Screenshot {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
  std::uint32_t at(int x, int y) const { return pixels[std::size_t(y) * std::size_t(width) + x]; }
  // PNG bytes of the picture; empty when it cannot be encoded.
  std::vector<std::uint8_t> png() const;
};

class HostWindow {
 public:
  // Connects to the display named by $DISPLAY and maps a window of the given
  // pixel size at (x, y). Throws host::Error when there is no display.
  HostWindow(int width, int height, const std::string& title, int x = 0, int y = 0);
  ~HostWindow();
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  std::uint32_t id() const;
  int connectionFd() const;
  // Reads what has arrived; remembers a close request from the window manager.
  void processEvents();
  bool closeRequested() const { return closeRequested_; }

  void resize(int width, int height);
  // The windows other programs placed in this one.
  std::vector<std::uint32_t> children() const;
  // A left click, sent to the window under `x, y` (pixels) as the server
  // would deliver it.
  void sendClick(std::uint32_t window, int x, int y);
  // What the window shows, its children included; empty when unreadable.
  Screenshot screenshot() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  bool closeRequested_ = false;
};

}  // namespace orvane::host
