// The LV2 edition's instance.
#include "lv2/plugin.h"

#include <lv2/atom/atom.h>

#include <cmath>
#include <limits>
#include <new>

#include "params/port_values.h"
#include "protocol/state_codec.h"

namespace orvane::lv2 {

namespace {

// Meters are reported in [0, 1]; a value that is not a number reads as full.
float meterValue(float v) noexcept {
  return v < 1.0f ? v : 1.0f;
}

int modeFromPort(float plain) noexcept {
  return modeFromNormalized(normalizedFromPort(kParams[ProcessingMode], plain));
}

}  // namespace

Plugin::Plugin(int channelCount, const LV2_URID_Map* map) noexcept : channels(channelCount) {
  seen.fill(std::numeric_limits<float>::quiet_NaN());
  if (map) {
    recordKey = map->map(map->handle, kStateRecordKey);
    chunkType = map->map(map->handle, LV2_ATOM__Chunk);
  }
}

std::unique_ptr<Plugin> Plugin::create(double sampleRate, int channels, const LV2_URID_Map* map) {
  if (!(sampleRate >= kMinRate && sampleRate <= kMaxRate) || (channels != 1 && channels != 2))
    return nullptr;
  std::unique_ptr<Plugin> plugin(new (std::nothrow) Plugin(channels, map));
  if (!plugin || !plugin->engines.prepare(sampleRate, channels)) return nullptr;
  plugin->activate();
  return plugin;
}

void Plugin::connect(std::uint32_t port, void* data) noexcept {
  auto* value = static_cast<float*>(data);
  if (port < kFirstParamPort + kParamPortCount) {
    controls[port - kFirstParamPort] = value;
  } else if (port < kFirstMeterPort + kMeterPortCount) {
    meterPorts[port - kFirstMeterPort] = value;
  } else if (port == kLatencyPort) {
    latencyPort = value;
  } else {
    for (int c = 0; c < channels; ++c) {
      if (port == audioInPort(c)) audioIn[c] = value;
      if (port == audioOutPort(channels, c)) audioOut[c] = value;
    }
  }
}

void Plugin::activate() noexcept {
  activeMode = requestedMode;
  for (int mode = 0; mode < kModeCount; ++mode) engines.load(mode, params);
  publishValues(activeMode);
}

bool Plugin::portMoved(const float* port, float& seenValue) noexcept {
  if (!port) return false;
  const float v = *port;
  if (v == seenValue) return false;
  seenValue = v;
  return true;
}

void Plugin::switchToRequestedMode() noexcept {
  const float* port = controls[ProcessingMode];
  if (portMoved(port, seen[ProcessingMode]) && std::isfinite(*port))
    requestedMode = modeFromPort(*port);
  if (requestedMode == activeMode) return;
  activeMode = requestedMode;
  engines.load(activeMode, params);
}

// A port written with the value it already shows for the current setting
// (a host restoring its port values after the record) changes nothing: its
// float image of a normalised value need not convert back to the same bits.
void Plugin::applyParameterPorts() noexcept {
  Engine& engine = engines[activeMode];
  for (int id = 0; id < kEngineParamCount; ++id) {
    const float* port = controls[id];
    if (!portMoved(port, seen[id])) continue;
    const ParamInfo& info = kParams[id];
    if (*port == portFromNormalized(info, params[id])) continue;
    float stored = 0.0f;
    if (!acceptNormalized(normalizedFromPort(info, *port), stored)) continue;
    params[id] = stored;
    engine.set(static_cast<std::uint32_t>(id), stored);
  }
}

void Plugin::run(std::uint32_t frames) noexcept {
  switchToRequestedMode();
  applyParameterPorts();
  if (frames > 0) {
    Engine& engine = engines[activeMode];
    const float* inputs[Engine::kMaxChannels] = {audioIn[0], audioIn[1]};
    float* outputs[Engine::kMaxChannels] = {audioOut[0], audioOut[1]};
    engine.process(inputs, outputs, channels, static_cast<int>(frames));
    writeMeters();
  }
  if (latencyPort) *latencyPort = static_cast<float>(engines.latencySamples(activeMode));
  publishValues(activeMode);
}

void Plugin::writeMeters() noexcept {
  const Engine& engine = engines[activeMode];
  const Engine::Meters& m = engine.meters();
  const float neural = !engine.neuralActive() ? kNeuralOffValue
                       : m.neuralFault        ? kNeuralFaultValue
                                              : kNeuralOnValue;
  const float readings[kMeterPortCount] = {meterValue(m.inputPeak), meterValue(m.outputPeak),
                                           meterValue(m.reduction), neural,
                                           m.clipping ? 1.0f : 0.0f};
  for (std::uint32_t i = 0; i < kMeterPortCount; ++i)
    if (meterPorts[i]) *meterPorts[i] = readings[i];
}

void Plugin::publishValues(int mode) noexcept {
  Values& values = toSave.back();
  values.params = params;
  values.mode = mode;
  toSave.publish();
}

LV2_State_Status Plugin::save(LV2_State_Store_Function store, LV2_State_Handle handle) noexcept {
  if (!recordKey) return LV2_STATE_ERR_NO_FEATURE;
  toSave.update();
  const Values& values = toSave.front();
  const auto bytes =
      encodeStateRecord(values.params, static_cast<float>(modeToNormalized(values.mode)));
  return store(handle, recordKey, bytes.data(), bytes.size(), chunkType,
               LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

LV2_State_Status Plugin::restore(LV2_State_Retrieve_Function retrieve,
                                 LV2_State_Handle handle) noexcept {
  if (!recordKey) return LV2_STATE_ERR_NO_FEATURE;
  std::size_t size = 0;
  std::uint32_t type = 0;
  std::uint32_t flags = 0;
  const void* data = retrieve(handle, recordKey, &size, &type, &flags);
  if (!data) return LV2_STATE_ERR_NO_PROPERTY;
  if (type != chunkType) return LV2_STATE_ERR_BAD_TYPE;
  StateRecord record;
  if (!decodeStateRecord(static_cast<const std::uint8_t*>(data), size, record))
    return LV2_STATE_ERR_UNKNOWN;
  // Records older than the mode field load as the registered class's default.
  requestedMode =
      modeFromNormalized(record.hasMode ? record.modeNorm : modeToNormalized(kDefaultMode));
  params = record.params;
  // Every engine gets the values, keeping its signal state, as the VST 3
  // component's hand-over does; a switch of mode waits for the next block.
  for (int mode = 0; mode < kModeCount; ++mode)
    for (int id = 0; id < kEngineParamCount; ++id)
      engines[mode].set(static_cast<std::uint32_t>(id), params[id]);
  // The record holds until a port moves from where it stands now.
  for (std::uint32_t i = 0; i < kParamPortCount; ++i)
    if (controls[i]) seen[i] = *controls[i];
  publishValues(requestedMode);
  return LV2_STATE_SUCCESS;
}

}  // namespace orvane::lv2
