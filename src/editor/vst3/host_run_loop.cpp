#include "editor/vst3/host_run_loop.h"

#include <base/source/fobject.h>

namespace orvane {

using namespace Steinberg;

namespace {

// A host holds its handlers by reference count and may drop one (when its
// callback unregisters it) while the callback still runs: each call keeps
// the handler, and a copy of the callback, alive until it returns.
class FdHandler final : public FObject, public Linux::IEventHandler {
 public:
  explicit FdHandler(tk::HostLoop::Callback cb) : callback(std::move(cb)) {}
  void PLUGIN_API onFDIsSet(Linux::FileDescriptor) override {
    IPtr<FdHandler> keep(this);
    if (auto cb = callback) cb();
  }
  OBJ_METHODS(FdHandler, FObject)
  DEFINE_INTERFACES
  DEF_INTERFACE(Linux::IEventHandler)
  END_DEFINE_INTERFACES(FObject)
  REFCOUNT_METHODS(FObject)

 private:
  tk::HostLoop::Callback callback;
};

class TimerHandler final : public FObject, public Linux::ITimerHandler {
 public:
  explicit TimerHandler(tk::HostLoop::Callback cb) : callback(std::move(cb)) {}
  void PLUGIN_API onTimer() override {
    IPtr<TimerHandler> keep(this);
    if (auto cb = callback) cb();
  }
  OBJ_METHODS(TimerHandler, FObject)
  DEFINE_INTERFACES
  DEF_INTERFACE(Linux::ITimerHandler)
  END_DEFINE_INTERFACES(FObject)
  REFCOUNT_METHODS(FObject)

 private:
  tk::HostLoop::Callback callback;
};

}  // namespace

IPtr<Linux::IRunLoop> HostRunLoop::of(IPlugFrame* frame) {
  if (!frame) return nullptr;
  Linux::IRunLoop* loop = nullptr;
  if (frame->queryInterface(Linux::IRunLoop::iid, reinterpret_cast<void**>(&loop)) != kResultOk)
    return nullptr;
  return owned(loop);
}

HostRunLoop::HostRunLoop(const IPtr<Linux::IRunLoop>& l) : loop(l) {}

HostRunLoop::~HostRunLoop() {
  stopTimer();
  while (!watches.empty()) unwatchFd(watches.begin()->first);
}

bool HostRunLoop::watchFd(int fd, Callback ready) {
  if (!loop || fd < 0 || watches.count(fd)) return false;
  IPtr<Linux::IEventHandler> handler = owned(new FdHandler(std::move(ready)));
  if (loop->registerEventHandler(handler, fd) != kResultOk) return false;
  watches.emplace(fd, handler);
  return true;
}

void HostRunLoop::unwatchFd(int fd) {
  auto it = watches.find(fd);
  if (it == watches.end()) return;
  const IPtr<Linux::IEventHandler> handler = it->second;
  watches.erase(it);
  loop->unregisterEventHandler(handler);
}

bool HostRunLoop::startTimer(int intervalMs, Callback tick) {
  if (!loop || timer) return false;
  IPtr<Linux::ITimerHandler> handler = owned(new TimerHandler(std::move(tick)));
  if (loop->registerTimer(handler, Linux::TimerInterval(intervalMs)) != kResultOk) return false;
  timer = handler;
  return true;
}

void HostRunLoop::stopTimer() {
  if (!timer) return;
  const IPtr<Linux::ITimerHandler> handler = timer;
  timer = nullptr;
  loop->unregisterTimer(handler);
}

}  // namespace orvane
