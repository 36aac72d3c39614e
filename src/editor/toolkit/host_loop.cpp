#include "editor/toolkit/host_loop.h"

#include "editor/toolkit/run_loop.h"

namespace orvane::tk {

namespace {
RunLoopPacer*& drivingPacer() {
  static RunLoopPacer* driving = nullptr;
  return driving;
}
}  // namespace

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
