// The LV2 edition's entry point: the mono and the stereo plug-in over the same
// instance type, and the state interface.
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <cstring>

#include "lv2/plugin.h"
#include "protocol/lv2_ports.h"

namespace orvane::lv2 {
namespace {

const LV2_URID_Map* findMap(const LV2_Feature* const* features) noexcept {
  for (; features && *features; ++features)
    if (std::strcmp((*features)->URI, LV2_URID__map) == 0)
      return static_cast<const LV2_URID_Map*>((*features)->data);
  return nullptr;
}

Plugin* self(LV2_Handle handle) noexcept {
  return static_cast<Plugin*>(handle);
}

template <int Channels>
LV2_Handle instantiate(const LV2_Descriptor* /*descriptor*/, double rate, const char* /*bundle*/,
                       const LV2_Feature* const* features) {
  try {
    return Plugin::create(rate, Channels, findMap(features)).release();
  } catch (...) {  // an engine's allocation failed: no instance
    return nullptr;
  }
}

void connectPort(LV2_Handle h, uint32_t port, void* data) {
  self(h)->connect(port, data);
}
void activate(LV2_Handle h) {
  self(h)->activate();
}
void run(LV2_Handle h, uint32_t frames) {
  self(h)->run(frames);
}
void deactivate(LV2_Handle /*h*/) {}
void cleanup(LV2_Handle h) {
  delete self(h);
}

LV2_State_Status save(LV2_Handle h, LV2_State_Store_Function store, LV2_State_Handle handle,
                      uint32_t /*flags*/, const LV2_Feature* const* /*features*/) {
  return self(h)->save(store, handle);
}
LV2_State_Status restore(LV2_Handle h, LV2_State_Retrieve_Function retrieve,
                         LV2_State_Handle handle, uint32_t /*flags*/,
                         const LV2_Feature* const* /*features*/) {
  return self(h)->restore(retrieve, handle);
}

const LV2_State_Interface kStateInterface{save, restore};

const void* extensionData(const char* uri) {
  return std::strcmp(uri, LV2_STATE__interface) == 0 ? &kStateInterface : nullptr;
}

const LV2_Descriptor kDescriptors[] = {
    {kMonoUri, instantiate<1>, connectPort, activate, run, deactivate, cleanup, extensionData},
    {kStereoUri, instantiate<2>, connectPort, activate, run, deactivate, cleanup, extensionData},
};

}  // namespace
}  // namespace orvane::lv2

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
  return index < 2 ? &orvane::lv2::kDescriptors[index] : nullptr;
}
