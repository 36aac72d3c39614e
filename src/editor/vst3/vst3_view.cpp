#include "editor/vst3/vst3_view.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "editor/orvane_view.h"
#include "editor/toolkit/host_loop.h"
#include "editor/toolkit/x11_window.h"
#include "editor/vst3/host_run_loop.h"
#include "editor/vst3/vst3_face.h"

namespace orvane {

using namespace Steinberg;

namespace {

constexpr double kMaxScale = 4;

// The SDK's view rectangle of the editor at a content scale.
ViewRect editorRect(double scale) {
  return {0, 0, static_cast<int32>(std::lround(OrvaneView::kWidth * scale)),
          static_cast<int32>(std::lround(OrvaneView::kHeight * scale))};
}

bool isType(FIDString type, const char* name) {
  return type && std::strcmp(type, name) == 0;
}

}  // namespace

Vst3View::Vst3View(Controller* c) : controller(c) {
  rect = editorRect(1.0);
  if (controller) controller->addRef();
}

Vst3View::~Vst3View() {
  detach();
  CPluginView::removed();
  if (controller) controller->release();
}

tresult PLUGIN_API Vst3View::isPlatformTypeSupported(FIDString type) {
  return isType(type, kPlatformTypeNSView) || isType(type, kPlatformTypeX11EmbedWindowID)
             ? kResultTrue
             : kResultFalse;
}

tresult PLUGIN_API Vst3View::attached(void* parent, FIDString type) {
  if (!parent || !type) return kResultFalse;
  if (view || !controller) return kResultFalse;
  const bool ok = isType(type, kPlatformTypeNSView)             ? attachToView(parent)
                  : isType(type, kPlatformTypeX11EmbedWindowID) ? attachToX11(parent)
                                                                : false;
  if (!ok) {
    detach();
    return kResultFalse;
  }
  return CPluginView::attached(parent, type);
}

bool Vst3View::attachToView(void* parent) {
  // An exception must not cross the host's interface: a broken build's
  // material is reported as a refused attach.
  try {
    view = OrvaneView::create(std::make_shared<Vst3Face>(controller));
  } catch (...) {
    view.reset();
  }
  if (!view) return false;
  static_cast<tk::View*>(parent)->addSubview(view);
  // The host's window draws and delivers events; the host's loop, when the
  // frame offers one, drives the refresh. Without one the host drives this
  // module's run loop some other way, or the view stays as built.
  if (auto loop = HostRunLoop::of(plugFrame)) {
    hostLoop = std::make_unique<HostRunLoop>(loop);
    if (!startTicks()) hostLoop.reset();
  }
  return true;
}

bool Vst3View::attachToX11(void* parent) {
  // Nothing here can run without the host's loop: no half-working window.
  auto loop = HostRunLoop::of(plugFrame);
  if (!loop) return false;
  hostLoop = std::make_unique<HostRunLoop>(loop);
  const auto parentId = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(parent));
  window =
      tk::X11Window::create(parentId, {OrvaneView::kWidth, OrvaneView::kHeight}, scale, *hostLoop);
  if (!window) return false;
  try {
    view = OrvaneView::create(std::make_shared<Vst3Face>(controller));
  } catch (...) {
    view.reset();
  }
  if (!view) return false;
  window->contentView()->addSubview(view);
  if (!startTicks()) return false;
  window->flush();
  return true;
}

bool Vst3View::startTicks() {
  pacer = std::make_unique<tk::RunLoopPacer>(OrvaneView::kRefreshInterval);
  return hostLoop->startTimer(kTickMs, [this] { onTick(); });
}

void Vst3View::onTick() {
  if (pacer) pacer->tick();
  // Events the connection read ahead while waiting for a reply sit in its
  // queue without making the descriptor readable: the tick picks them up.
  if (window) window->processEvents();
}

tresult PLUGIN_API Vst3View::removed() {
  detach();
  return CPluginView::removed();
}

void Vst3View::detach() {
  if (hostLoop) hostLoop->stopTimer();
  pacer.reset();
  // The timer stops before the view leaves its parent, so no tick can find
  // it half detached.
  if (view) {
    view->stop();
    view->removeFromSuperview();
  }
  view.reset();
  window.reset();
  hostLoop.reset();
}

tresult PLUGIN_API Vst3View::setContentScaleFactor(ScaleFactor factor) {
  if (!(factor > 0) || factor > kMaxScale) return kResultFalse;
  if (factor == scale) return kResultTrue;
  scale = factor;
  rect = editorRect(scale);
  if (window) {
    window->rescale(scale);
    ViewRect wanted = rect;
    if (plugFrame) plugFrame->resizeView(this, &wanted);
  }
  return kResultTrue;
}

IPlugView* makeEditor(Controller* controller) {
  return new Vst3View(controller);
}

}  // namespace orvane
