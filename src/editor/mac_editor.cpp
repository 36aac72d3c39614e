#include "editor/mac_editor.h"

#include <base/source/fobject.h>

#include <cstring>

#include "controller/controller.h"
#include "editor/orvane_view.h"
#include "editor/toolkit/run_loop.h"

namespace orvane {

using namespace Steinberg;

// Advances this module's run loop from the host's timer, one refresh interval
// per host tick. Every attached editor registers one; only one of them drives
// at a time, so two open editors do not run the loop at double speed.
class RunLoopDriver final : public FObject, public Linux::ITimerHandler {
 public:
  static constexpr Linux::TimerInterval kHostIntervalMs = 16;

  ~RunLoopDriver() override { stepDown(); }

  void PLUGIN_API onTimer() override {
    if (!current()) current() = this;
    if (current() == this) tk::RunLoop::main().advance(OrvaneView::kRefreshInterval);
  }
  // Lets another editor's driver take over at its next tick.
  void stepDown() {
    if (current() == this) current() = nullptr;
  }

  OBJ_METHODS(RunLoopDriver, FObject)
  DEFINE_INTERFACES
  DEF_INTERFACE(Linux::ITimerHandler)
  END_DEFINE_INTERFACES(FObject)
  REFCOUNT_METHODS(FObject)

 private:
  static RunLoopDriver*& current() {
    static RunLoopDriver* driving = nullptr;
    return driving;
  }
};

namespace {
// The SDK's view rectangle of the fixed editor.
const ViewRect kEditorRect{0, 0, static_cast<int32>(OrvaneView::kWidth),
                           static_cast<int32>(OrvaneView::kHeight)};
}  // namespace

MacEditor::MacEditor(Controller* c) : CPluginView(&kEditorRect), controller(c) {
  if (controller) controller->addRef();
}

MacEditor::~MacEditor() {
  detach();
  CPluginView::removed();
  if (controller) controller->release();
}

tresult PLUGIN_API MacEditor::isPlatformTypeSupported(FIDString type) {
  return type && std::strcmp(type, kPlatformTypeNSView) == 0 ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API MacEditor::attached(void* parent, FIDString type) {
  if (!parent || !type) return kResultFalse;
  if (view || std::strcmp(type, kPlatformTypeNSView) != 0 || !controller) return kResultFalse;
  // An exception must not cross the host's interface: a broken build's
  // material is reported as a refused attach.
  try {
    view = OrvaneView::create(controller);
  } catch (...) {
    view.reset();
  }
  if (!view) return kResultFalse;
  static_cast<tk::View*>(parent)->addSubview(view);

  if (plugFrame) {
    Linux::IRunLoop* loop = nullptr;
    if (plugFrame->queryInterface(Linux::IRunLoop::iid, reinterpret_cast<void**>(&loop)) ==
            kResultOk &&
        loop) {
      hostRunLoop = owned(loop);
      driver = owned(new RunLoopDriver);
      if (hostRunLoop->registerTimer(driver, RunLoopDriver::kHostIntervalMs) != kResultOk) {
        driver = nullptr;
        hostRunLoop = nullptr;
      }
    }
  }
  return CPluginView::attached(parent, type);
}

tresult PLUGIN_API MacEditor::removed() {
  detach();
  return CPluginView::removed();
}

void MacEditor::detach() {
  if (hostRunLoop && driver) hostRunLoop->unregisterTimer(driver);
  if (driver) driver->stepDown();
  driver = nullptr;
  hostRunLoop = nullptr;
  // The timer stops before the view leaves its parent, so no tick can find
  // it half detached.
  if (view) {
    view->stop();
    view->removeFromSuperview();
  }
  view.reset();
}

IPlugView* makeEditor(Controller* controller) {
  return new MacEditor(controller);
}

}  // namespace orvane
