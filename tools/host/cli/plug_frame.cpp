#include "plug_frame.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>

namespace orvane::host {

using namespace Steinberg;

PlugFrame::~PlugFrame() {
  for (const Handler& h : handlers) h.handler->release();
  for (const Timer& t : timers) t.handler->release();
}

tresult PLUGIN_API PlugFrame::queryInterface(const TUID iid, void** obj) {
  if (offerRunLoop && FUnknownPrivate::iidEqual(iid, Linux::IRunLoop::iid)) {
    *obj = static_cast<Linux::IRunLoop*>(this);
  } else if (FUnknownPrivate::iidEqual(iid, IPlugFrame::iid) ||
             FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
    *obj = static_cast<IPlugFrame*>(this);
  } else {
    *obj = nullptr;
    return kNoInterface;
  }
  addRef();
  return kResultOk;
}

tresult PLUGIN_API PlugFrame::resizeView(IPlugView* view, ViewRect* newSize) {
  if (!view || !newSize) return kInvalidArgument;
  if (onResize && !onResize(*newSize)) return kResultFalse;
  return view->onSize(newSize);
}

tresult PLUGIN_API PlugFrame::registerEventHandler(Linux::IEventHandler* handler,
                                                   Linux::FileDescriptor fd) {
  if (!handler || fd < 0) return kInvalidArgument;
  handler->addRef();
  handlers.push_back({handler, fd});
  return kResultOk;
}

tresult PLUGIN_API PlugFrame::unregisterEventHandler(Linux::IEventHandler* handler) {
  // A handler may watch several descriptors; unregistering drops them all.
  bool found = false;
  for (auto it = handlers.begin(); it != handlers.end();) {
    if (it->handler == handler) {
      it = handlers.erase(it);
      handler->release();
      found = true;
    } else {
      ++it;
    }
  }
  return found ? kResultOk : kInvalidArgument;
}

tresult PLUGIN_API PlugFrame::registerTimer(Linux::ITimerHandler* handler,
                                            Linux::TimerInterval ms) {
  if (!handler) return kInvalidArgument;
  handler->addRef();
  const auto interval = std::chrono::milliseconds(std::max<Linux::TimerInterval>(ms, 1));
  timers.push_back({handler, interval, Clock::now() + interval});
  return kResultOk;
}

tresult PLUGIN_API PlugFrame::unregisterTimer(Linux::ITimerHandler* handler) {
  for (auto it = timers.begin(); it != timers.end(); ++it)
    if (it->handler == handler) {
      timers.erase(it);
      handler->release();
      return kResultOk;
    }
  return kInvalidArgument;
}

bool PlugFrame::stillHasHandler(Linux::IEventHandler* h, int fd) const {
  return std::any_of(handlers.begin(), handlers.end(),
                     [&](const Handler& x) { return x.handler == h && x.fd == fd; });
}

bool PlugFrame::stillHasTimer(Linux::ITimerHandler* h) const {
  return std::any_of(timers.begin(), timers.end(), [&](const Timer& t) { return t.handler == h; });
}

void PlugFrame::dispatchReady(int timeoutMs) {
  std::vector<pollfd> fds;
  const std::vector<Handler> snapshot = handlers;
  fds.reserve(snapshot.size());
  for (const Handler& h : snapshot) fds.push_back({h.fd, POLLIN, 0});
  const int n = ::poll(fds.data(), fds.size(), timeoutMs);
  if (n <= 0) return;  // timeout, or a signal: the caller's loop goes round
  for (std::size_t i = 0; i < fds.size(); ++i) {
    if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    // An earlier callback may have unregistered this one.
    const Handler& h = snapshot[i];
    if (!stillHasHandler(h.handler, h.fd)) continue;
    h.handler->addRef();
    h.handler->onFDIsSet(h.fd);
    h.handler->release();
  }
}

void PlugFrame::fireDueTimers() {
  const auto now = Clock::now();
  const std::vector<Timer> snapshot = timers;
  for (const Timer& t : snapshot) {
    if (t.due > now || !stillHasTimer(t.handler)) continue;
    for (Timer& live : timers)
      if (live.handler == t.handler) live.due = std::max(live.due + live.interval, now);
    ++tickCount;
    t.handler->addRef();
    t.handler->onTimer();
    t.handler->release();
  }
}

void PlugFrame::fireTimers() {
  const std::vector<Timer> snapshot = timers;
  for (const Timer& t : snapshot) {
    if (!stillHasTimer(t.handler)) continue;
    ++tickCount;
    t.handler->addRef();
    t.handler->onTimer();
    t.handler->release();
  }
}

bool PlugFrame::runUntil(const std::function<bool()>& done, double seconds) {
  const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(seconds));
  for (;;) {
    if (done()) return true;
    const auto now = Clock::now();
    if (now >= end) return false;
    auto wake = end;
    for (const Timer& t : timers) wake = std::min(wake, t.due);
    // Rounded up: a wait cut to whole milliseconds wakes before the timer is
    // due and then spins with zero timeouts until it is.
    const auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(wake - now).count();
    dispatchReady(static_cast<int>(std::max<long long>(waitMs, 0)));
    fireDueTimers();
  }
}

}  // namespace orvane::host
