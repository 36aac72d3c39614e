#include "lv2/ui/x11_ui.h"

#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstring>

#include "editor/orvane_view.h"
#include "editor/toolkit/x11_window.h"

namespace orvane::lv2 {

namespace {

constexpr double kMaxScale = 4;

const void* feature(const LV2_Feature* const* features, const char* uri) {
  for (const LV2_Feature* const* f = features; f && *f; ++f)
    if ((*f)->URI && std::strcmp((*f)->URI, uri) == 0) return (*f)->data;
  return nullptr;
}

// The host's ui:scaleFactor option: a float in (0, 4]; 1 when not given or
// not usable.
double scaleFactor(const LV2_Feature* const* features) {
  const auto* map = static_cast<const LV2_URID_Map*>(feature(features, LV2_URID__map));
  const auto* options =
      static_cast<const LV2_Options_Option*>(feature(features, LV2_OPTIONS__options));
  if (!map || !options) return 1.0;
  const LV2_URID key = map->map(map->handle, LV2_UI__scaleFactor);
  const LV2_URID floatType = map->map(map->handle, LV2_ATOM__Float);
  for (const LV2_Options_Option* o = options; o->key || o->value; ++o) {
    if (o->key != key || o->type != floatType || o->size != sizeof(float) || !o->value) continue;
    const double s = *static_cast<const float*>(o->value);
    return s > 0 && s <= kMaxScale ? s : 1.0;
  }
  return 1.0;
}

}  // namespace

X11Ui::X11Ui(std::shared_ptr<PortFace> face, double scale)
    : face_(std::move(face)), scale_(scale), pacer_(OrvaneView::kRefreshInterval) {}

std::unique_ptr<X11Ui> X11Ui::create(LV2UI_Write_Function write, LV2UI_Controller controller,
                                     const LV2_Feature* const* features, std::string* error) {
  auto fail = [error](const char* why) {
    if (error) *error = why;
    return nullptr;
  };
  const void* parent = feature(features, LV2_UI__parent);
  if (!parent) return fail("the host gave no parent window (ui:parent)");
  const auto* touch = static_cast<const LV2UI_Touch*>(feature(features, LV2_UI__touch));
  std::unique_ptr<X11Ui> ui(
      new X11Ui(std::make_shared<PortFace>(write, controller, touch), scaleFactor(features)));

  const auto parentId = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(parent));
  ui->window_ = tk::X11Window::create(parentId, {OrvaneView::kWidth, OrvaneView::kHeight},
                                      ui->scale_, ui->loop_, error);
  if (!ui->window_) return nullptr;
  // An exception must not cross the host's interface: a broken build's
  // material is reported as a failed instantiation.
  try {
    ui->view_ = OrvaneView::create(ui->face_);
  } catch (...) {
    ui->view_.reset();
  }
  if (!ui->view_) return fail("the editor could not be built");
  ui->window_->contentView()->addSubview(ui->view_);
  ui->window_->flush();
  if (const auto* resize = static_cast<const LV2UI_Resize*>(feature(features, LV2_UI__resize)))
    resize->ui_resize(resize->handle,
                      static_cast<int>(std::lround(OrvaneView::kWidth * ui->scale_)),
                      static_cast<int>(std::lround(OrvaneView::kHeight * ui->scale_)));
  ui->lastTick_ = std::chrono::steady_clock::now();
  return ui;
}

X11Ui::~X11Ui() {
  // The timer stops before the view leaves its window, so no tick can find
  // it half detached; the window goes before the loop it is watched by.
  if (view_) {
    view_->stop();
    view_->removeFromSuperview();
  }
  view_.reset();
  window_.reset();
}

LV2UI_Widget X11Ui::widget() const {
  // NOLINTNEXTLINE(performance-no-int-to-ptr): the widget handle is the window id
  return reinterpret_cast<LV2UI_Widget>(std::uintptr_t(window_->windowId()));
}

void X11Ui::portEvent(std::uint32_t port, std::uint32_t size, std::uint32_t protocol,
                      const void* buffer) {
  face_->portEvent(port, size, protocol, buffer);
}

int X11Ui::idle() {
  loop_.poll();
  const auto now = std::chrono::steady_clock::now();
  if (now - lastTick_ >= std::chrono::milliseconds(kTickMs)) {
    lastTick_ = now;
    pacer_.tick();
  }
  // Events the connection read ahead while waiting for a reply sit in its
  // queue without making the descriptor readable: each idle call takes them.
  window_->processEvents();
  return window_->isConnected() ? 0 : 1;
}

}  // namespace orvane::lv2
