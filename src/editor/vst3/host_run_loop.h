// The host's Linux IRunLoop as the widget layer's HostLoop, plus the one
// repeating timer an editor needs. Every registration made through it is
// undone when it goes, so a closed editor leaves nothing in the host's loop.
// Main (user-interface) thread only.
#pragma once

#include <pluginterfaces/gui/iplugview.h>

#include <functional>
#include <map>

#include "editor/toolkit/host_loop.h"

namespace orvane {

class HostRunLoop final : public tk::HostLoop {
 public:
  // The run loop the frame offers, or null when it offers none.
  static Steinberg::IPtr<Steinberg::Linux::IRunLoop> of(Steinberg::IPlugFrame* frame);

  explicit HostRunLoop(const Steinberg::IPtr<Steinberg::Linux::IRunLoop>& loop);
  ~HostRunLoop() override;
  HostRunLoop(const HostRunLoop&) = delete;
  HostRunLoop& operator=(const HostRunLoop&) = delete;

  bool watchFd(int fd, Callback ready) override;
  void unwatchFd(int fd) override;

  // Calls `tick` every `intervalMs` until stopTimer; false when the host
  // refuses. One timer at a time.
  bool startTimer(int intervalMs, Callback tick);
  void stopTimer();

 private:
  Steinberg::IPtr<Steinberg::Linux::IRunLoop> loop;
  std::map<int, Steinberg::IPtr<Steinberg::Linux::IEventHandler>> watches;
  Steinberg::IPtr<Steinberg::Linux::ITimerHandler> timer;
};

}  // namespace orvane
