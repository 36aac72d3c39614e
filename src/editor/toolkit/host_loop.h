// The widget layer inside a host: it has no thread and no event loop of its
// own. The host's loop tells it when a file descriptor has input (the display
// connection, a file chooser's answer) and ticks it at the refresh rate; this
// is the seam through which a host's loop drives windows, timers and child
// processes. User-interface thread only.
#pragma once

#include <functional>
#include <map>

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

// A host loop for hosts that only call the editor now and then (an LV2 host's
// idle calls): the descriptors are looked at, without waiting, when poll is
// called, and each one with input gets its callback.
class PolledLoop final : public HostLoop {
 public:
  bool watchFd(int fd, Callback ready) override;
  void unwatchFd(int fd) override;
  // Calls the callback of every watched descriptor that has input or was
  // closed at the other end. A callback may watch or unwatch descriptors.
  void poll();
  std::size_t watchCount() const { return watches_.size(); }

 private:
  std::map<int, Callback> watches_;
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
