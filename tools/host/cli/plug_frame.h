// The host's side of an embedded editor on Linux: the IPlugFrame a view is
// given with setFrame, and the Linux IRunLoop that frame offers, which is how
// a DAW lets a plug-in's window take part in its event loop. The loop polls
// the registered descriptors and fires the registered timers on the calling
// thread; nothing runs unless the host runs it. The frame lives as a member
// or on the stack of the host: references are counted but never free it.
#pragma once

#include <pluginterfaces/gui/iplugview.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <vector>

namespace orvane::host {

class PlugFrame : public Steinberg::IPlugFrame, public Steinberg::Linux::IRunLoop {
 public:
  // Without a run loop the frame answers queries for IRunLoop with
  // kNoInterface, like a host that cannot drive plug-in windows.
  explicit PlugFrame(bool withRunLoop = true) : offerRunLoop(withRunLoop) {}
  virtual ~PlugFrame();
  PlugFrame(const PlugFrame&) = delete;
  PlugFrame& operator=(const PlugFrame&) = delete;

  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
  Steinberg::uint32 PLUGIN_API addRef() override { return ++refs; }
  Steinberg::uint32 PLUGIN_API release() override { return --refs; }

  // Lets `onResize` (when set) resize the host's window, then tells the view
  // its new size with onSize.
  Steinberg::tresult PLUGIN_API resizeView(Steinberg::IPlugView* view,
                                           Steinberg::ViewRect* newSize) override;
  std::function<bool(const Steinberg::ViewRect&)> onResize;

  Steinberg::tresult PLUGIN_API registerEventHandler(Steinberg::Linux::IEventHandler* handler,
                                                     Steinberg::Linux::FileDescriptor fd) override;
  Steinberg::tresult PLUGIN_API
  unregisterEventHandler(Steinberg::Linux::IEventHandler* handler) override;
  Steinberg::tresult PLUGIN_API registerTimer(Steinberg::Linux::ITimerHandler* handler,
                                              Steinberg::Linux::TimerInterval ms) override;
  Steinberg::tresult PLUGIN_API unregisterTimer(Steinberg::Linux::ITimerHandler* handler) override;

  // Runs the loop until `done` answers true (checked after every round) or
  // `seconds` have passed; true when `done` ended it.
  bool runUntil(const std::function<bool()>& done, double seconds);
  // Runs the loop for `seconds`.
  void runFor(double seconds) {
    runUntil([] { return false; }, seconds);
  }
  // Fires every registered timer once, as one round of an idle loop would.
  void fireTimers();

  std::size_t handlerCount() const { return handlers.size(); }
  std::size_t timerCount() const { return timers.size(); }
  // Timer callbacks made so far.
  long ticks() const { return tickCount; }

 private:
  using Clock = std::chrono::steady_clock;
  struct Handler {
    Steinberg::Linux::IEventHandler* handler;
    int fd;
  };
  struct Timer {
    Steinberg::Linux::ITimerHandler* handler;
    Clock::duration interval;
    Clock::time_point due;
  };
  void dispatchReady(int timeoutMs);
  void fireDueTimers();
  bool stillHasHandler(Steinberg::Linux::IEventHandler* h, int fd) const;
  bool stillHasTimer(Steinberg::Linux::ITimerHandler* h) const;

  bool offerRunLoop;
  std::vector<Handler> handlers;
  std::vector<Timer> timers;
  long tickCount = 0;
  std::atomic<Steinberg::uint32> refs{1};
};

// A view the host made, on the host's side: taken out of its window (once
// `attached` is set), left without a frame and released, whatever happens,
// before the frame and the window go.
struct EmbeddedView {
  Steinberg::IPlugView* view;
  bool attached = false;
  ~EmbeddedView() {
    if (attached) view->removed();
    view->setFrame(nullptr);
    view->release();
  }
};

}  // namespace orvane::host
