// The widget layer inside a host: it has no thread and no event loop of its
// own. The host's loop tells it when a file descriptor has input (the display
// connection, a file chooser's answer) and ticks it at the refresh rate; this
// is the seam through which a host's loop drives windows, timers and child
// processes. User-interface thread only.
#pragma once

#include <functional>

namespace orvane::tk {

class HostLoop {
 public:
  using Callback = std::function<void()>;
  virtual ~HostLoop() = default;
  // Calls `ready` whenever `fd` has input to read or was closed at the other
  // end, until unwatchFd. One callback per descriptor; false when the host
  // refuses. The callback must read what is there, or it is called again.
  virtual bool watchFd(int fd, Callback ready) = 0;
  virtual void unwatchFd(int fd) = 0;
};

// Moves RunLoop::main() forward from a host's periodic tick, one step per
// tick. Each open editor brings one pacer; only one of them drives at a time,
// so two editors do not run the shared loop at double speed. When the driving
// pacer goes, the next one to tick takes over.
class RunLoopPacer {
 public:
  explicit RunLoopPacer(double stepSeconds) : step_(stepSeconds) {}
  ~RunLoopPacer();
  RunLoopPacer(const RunLoopPacer&) = delete;
  RunLoopPacer& operator=(const RunLoopPacer&) = delete;

  void tick();
  bool isDriving() const;

 private:
  double step_;
};

}  // namespace orvane::tk
