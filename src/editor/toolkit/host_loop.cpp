#include "editor/toolkit/host_loop.h"

#include <poll.h>

#include <vector>

#include "editor/toolkit/run_loop.h"

namespace orvane::tk {

namespace {
RunLoopPacer*& drivingPacer() {
  static RunLoopPacer* driving = nullptr;
  return driving;
}
}  // namespace

bool PolledLoop::watchFd(int fd, Callback ready) {
  if (fd < 0 || watches_.count(fd)) return false;
  watches_.emplace(fd, std::move(ready));
  return true;
}

void PolledLoop::unwatchFd(int fd) {
  watches_.erase(fd);
}

void PolledLoop::poll() {
  std::vector<pollfd> fds;
  fds.reserve(watches_.size());
  for (const auto& [fd, cb] : watches_) fds.push_back({fd, POLLIN, 0});
  if (fds.empty() || ::poll(fds.data(), fds.size(), 0) <= 0) return;
  for (const pollfd& p : fds) {
    if (!p.revents) continue;
    // An earlier callback may have unwatched this one: look it up again, and
    // call a copy, since the callback may unwatch itself.
    auto it = watches_.find(p.fd);
    if (it == watches_.end()) continue;
    Callback cb = it->second;
    if (cb) cb();
  }
}

RunLoopPacer::~RunLoopPacer() {
  if (drivingPacer() == this) drivingPacer() = nullptr;
}

bool RunLoopPacer::isDriving() const {
  return drivingPacer() == this;
}

void RunLoopPacer::tick() {
  if (!drivingPacer()) drivingPacer() = this;
  if (drivingPacer() == this) RunLoop::main().advance(step_);
}

}  // namespace orvane::tk
