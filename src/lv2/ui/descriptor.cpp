// The LV2 UI entry point: the one symbol Orvane_ui.so exports. Hosts find the
// UI by the URI our Turtle declares and drive it through the idle interface.
#include <lv2/ui/ui.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "lv2/ui/x11_ui.h"
#include "protocol/lv2_ports.h"

namespace {

using orvane::lv2::X11Ui;

LV2UI_Handle instantiate(const LV2UI_Descriptor* /*descriptor*/, const char* pluginUri,
                         const char* /*bundlePath*/, LV2UI_Write_Function write,
                         LV2UI_Controller controller, LV2UI_Widget* widget,
                         const LV2_Feature* const* features) {
  if (!pluginUri || !widget ||
      (std::strcmp(pluginUri, orvane::lv2::kMonoUri) != 0 &&
       std::strcmp(pluginUri, orvane::lv2::kStereoUri) != 0)) {
    std::fprintf(stderr, "Orvane UI: not a UI for plug-in %s\n", pluginUri ? pluginUri : "(none)");
    return nullptr;
  }
  std::string error;
  std::unique_ptr<X11Ui> ui;
  // Nothing may throw into the host.
  try {
    ui = X11Ui::create(write, controller, features, &error);
  } catch (...) {
    error = "out of memory";
  }
  if (!ui) {
    std::fprintf(stderr, "Orvane UI: %s\n", error.c_str());
    return nullptr;
  }
  *widget = ui->widget();
  return ui.release();
}

void cleanup(LV2UI_Handle handle) {
  delete static_cast<X11Ui*>(handle);
}

void portEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t protocol,
               const void* buffer) {
  static_cast<X11Ui*>(handle)->portEvent(port, size, protocol, buffer);
}

int idle(LV2UI_Handle handle) {
  return static_cast<X11Ui*>(handle)->idle();
}

const void* extensionData(const char* uri) {
  static const LV2UI_Idle_Interface idleInterface{idle};
  if (uri && std::strcmp(uri, LV2_UI__idleInterface) == 0) return &idleInterface;
  return nullptr;
}

}  // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
  static const LV2UI_Descriptor descriptor{orvane::lv2::kUiUri, instantiate, cleanup, portEvent,
                                           extensionData};
  return index == 0 ? &descriptor : nullptr;
}
