// The LV2 edition's view adapter: the editor as an LV2 X11 UI (ui:X11UI).
// The host gives the X11 window to embed in (ui:parent), and drives the UI
// only through its idle calls (ui:idleInterface): each one reads the display
// connection and a file chooser's answer as they arrive and, at most every
// 16 ms, moves the editor's refresh timer forward. No threads of our own.
// The size follows the host's scale factor (ui:scaleFactor in its options,
// read through urid:map) and is announced through ui:resize where offered.
// The plug-in is reached only through control ports (PortFace).
// Main (user-interface) thread only, as LV2 UIs are.
#pragma once

#include <lv2/ui/ui.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "editor/toolkit/host_loop.h"
#include "lv2/ui/port_face.h"

namespace orvane {

class OrvaneView;
namespace tk {
class X11Window;
}  // namespace tk

namespace lv2 {

class X11Ui {
 public:
  // Milliseconds between refresh ticks: the view's 1/60 s.
  static constexpr int kTickMs = 16;

  // Null, with the reason in `error`, when the host gave no parent window,
  // or the window or the editor cannot be made; nothing is left behind then.
  static std::unique_ptr<X11Ui> create(LV2UI_Write_Function write, LV2UI_Controller controller,
                                       const LV2_Feature* const* features, std::string* error);
  ~X11Ui();
  X11Ui(const X11Ui&) = delete;
  X11Ui& operator=(const X11Ui&) = delete;

  // The host's widget handle: our X11 window's id.
  LV2UI_Widget widget() const;
  void portEvent(std::uint32_t port, std::uint32_t size, std::uint32_t protocol,
                 const void* buffer);
  // One host idle call; 0 while the UI runs, 1 once its display has gone.
  int idle();

  double scale() const { return scale_; }

 private:
  X11Ui(std::shared_ptr<PortFace> face, double scale);
  std::shared_ptr<PortFace> face_;
  double scale_;
  tk::PolledLoop loop_;
  tk::RunLoopPacer pacer_;
  std::unique_ptr<tk::X11Window> window_;
  std::shared_ptr<OrvaneView> view_;
  std::chrono::steady_clock::time_point lastTick_;
};

}  // namespace lv2
}  // namespace orvane
