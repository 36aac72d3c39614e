// Repeating and one-shot timers on the user-interface thread. The run loop
// keeps its own clock: the host's idle callback (or a test) advances it, and
// every timer that has come due fires in time order. A timer holds nothing
// but its callback; capture a weak reference to anything that may go away.
#pragma once

#include <functional>
#include <memory>
#include <vector>

namespace orvane::tk {

class RunLoop;

class Timer {
 public:
  using Callback = std::function<void(Timer&)>;
  void invalidate();
  bool isValid() const { return valid_; }
  double interval() const { return interval_; }

 private:
  friend class RunLoop;
  Timer(double interval, bool repeats, Callback cb)
      : interval_(interval), repeats_(repeats), callback_(std::move(cb)) {}
  double interval_;
  bool repeats_;
  Callback callback_;
  double fireTime_ = 0;
  bool valid_ = true;
};

class RunLoop {
 public:
  // The loop of the user-interface thread.
  static RunLoop& main();

  // Schedules a timer that first fires `interval` seconds from now. The loop
  // keeps it until it is invalidated or, without repeats, has fired.
  std::shared_ptr<Timer> scheduleTimer(double intervalSeconds, bool repeats,
                                       Timer::Callback callback);

  // Moves the clock forward, firing due timers in order. A repeating timer
  // that fell behind fires once and is rescheduled from the current time, as
  // a busy main thread would see it.
  void advance(double seconds);
  double now() const { return now_; }
  std::size_t timerCount() const { return timers_.size(); }

 private:
  double now_ = 0;
  std::vector<std::shared_ptr<Timer>> timers_;
};

}  // namespace orvane::tk
