#include "editor/toolkit/run_loop.h"

#include <algorithm>

namespace orvane::tk {

void Timer::invalidate() {
  valid_ = false;
  callback_ = nullptr;  // drops whatever the callback captured, at once
}

RunLoop& RunLoop::main() {
  static RunLoop loop;
  return loop;
}

std::shared_ptr<Timer> RunLoop::scheduleTimer(double intervalSeconds, bool repeats,
                                              Timer::Callback callback) {
  // A non-positive interval would fire forever within one advance.
  if (!(intervalSeconds > 0)) intervalSeconds = 1e-4;
  std::shared_ptr<Timer> t(new Timer(intervalSeconds, repeats, std::move(callback)));
  t->fireTime_ = now_ + intervalSeconds;
  timers_.push_back(t);
  return t;
}

void RunLoop::advance(double seconds) {
  const double target = now_ + (seconds > 0 ? seconds : 0);
  for (;;) {
    timers_.erase(
        std::remove_if(timers_.begin(), timers_.end(), [](const auto& t) { return !t->valid_; }),
        timers_.end());
    std::shared_ptr<Timer> next;
    for (const auto& t : timers_)
      if (t->fireTime_ <= target && (!next || t->fireTime_ < next->fireTime_)) next = t;
    if (!next) break;
    now_ = std::max(now_, next->fireTime_);
    if (next->repeats_) {
      next->fireTime_ += next->interval_;
      if (next->fireTime_ <= now_) next->fireTime_ = now_ + next->interval_;
    } else {
      next->valid_ = false;
    }
    // The callback may invalidate this or other timers, or schedule new ones.
    Timer::Callback cb = next->callback_;
    if (cb) cb(*next);
    if (!next->repeats_) next->callback_ = nullptr;
  }
  now_ = target;
}

}  // namespace orvane::tk
