// The audio component.
#include "processor/processor.h"

#include <pluginterfaces/base/ustring.h>
#include <pluginterfaces/vst/ivstmessage.h>
#include <pluginterfaces/vst/ivstparameterchanges.h>

#include <climits>
#include <cmath>
#include <cstring>

#include "protocol/ids.h"
#include "protocol/mode_messages.h"
#include "protocol/state_record.h"

namespace orvane {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// Which engine runs which configuration, by processing-mode index.
struct EngineConfig {
  bool neural;
  bool live;
};
constexpr EngineConfig kEngineConfigs[kModeCount] = {{true, true}, {true, false}, {false, false}};

constexpr SpeakerArrangement kMono = SpeakerArr::kMono;      // 0x80000
constexpr SpeakerArrangement kStereo = SpeakerArr::kStereo;  // left | right

// Meters are reported in [0, 1]; a value that is not a number reads as full.
float meterValue(float v) noexcept {
  return v < 1.0f ? v : 1.0f;
}

}  // namespace

Processor::Processor(int defaultModeIndex) : defaultMode(defaultModeIndex) {
  setControllerClass(ControllerID);
}

FUnknown* Processor::create(void* /*context*/) {
  return static_cast<IAudioProcessor*>(new Processor(kDefaultMode));
}

tresult PLUGIN_API Processor::initialize(FUnknown* context) {
  const tresult result = AudioEffect::initialize(context);
  if (result != kResultOk) return result;
  addAudioInput(STR16("Input"), kStereo);
  addAudioOutput(STR16("Output"), kStereo);
  return result;
}

tresult PLUGIN_API Processor::setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                                 SpeakerArrangement* outputs, int32 numOuts) {
  if (!inputs || !outputs || numIns != 1 || numOuts != 1 || inputs[0] != outputs[0] ||
      (inputs[0] != kMono && inputs[0] != kStereo))
    return kResultFalse;
  return AudioEffect::setBusArrangements(inputs, numIns, outputs, numOuts);
}

tresult PLUGIN_API Processor::canProcessSampleSize(int32 symbolicSampleSize) {
  return symbolicSampleSize == kSample32 ? kResultTrue : kResultFalse;
}

uint32 PLUGIN_API Processor::getLatencySamples() {
  // The requested mode, so that the host sees a new mode's latency before the
  // process loop has switched to it.
  return static_cast<uint32>(latency[requestedMode.load()]);
}

tresult PLUGIN_API Processor::setupProcessing(ProcessSetup& setup) {
  AudioBus* input = getAudioInput(0);
  if (setup.symbolicSampleSize != kSample32 || setup.maxSamplesPerBlock <= 0 || !input)
    return kResultFalse;
  const int channels = SpeakerArr::getChannelCount(input->getArrangement());
  for (int mode = 0; mode < kModeCount; ++mode) {
    Engine& e = engines[mode];
    if (!e.prepare(setup.sampleRate, channels, kEngineConfigs[mode].neural,
                   kEngineConfigs[mode].live))
      return kResultFalse;
    latency[mode] = e.neuralActive() ? e.latencySamples() : 0;
  }
  return AudioEffect::setupProcessing(setup);
}

void Processor::loadEngine(int mode) noexcept {
  Engine& e = engines[mode];
  for (int i = 0; i < kEngineParamCount; ++i) e.set(static_cast<uint32_t>(i), params[i]);
  e.resetRealtime();
}

tresult PLUGIN_API Processor::setActive(TBool state) {
  if (state) {
    activeMode = requestedMode.load();
    for (int mode = 0; mode < kModeCount; ++mode) loadEngine(mode);
  }
  return AudioEffect::setActive(state);
}

namespace {

// One host queue for a parameter 0..8 and how far this block has read it.
struct QueueSlot {
  IParamValueQueue* queue = nullptr;
  int32 position = 0;
};

}  // namespace

tresult PLUGIN_API Processor::process(ProcessData& data) {
  if (data.symbolicSampleSize != kSample32 || data.numSamples < 0) return kResultFalse;
  const int32 numSamples = data.numSamples;

  // Collect the queues. A mode change always takes effect from the block's
  // first sample, so only the last point of its queue matters.
  std::array<QueueSlot, kEngineParamCount> slots{};
  if (IParameterChanges* changes = data.inputParameterChanges) {
    const int32 count = changes->getParameterCount();
    for (int32 i = 0; i < count; ++i) {
      IParamValueQueue* queue = changes->getParameterData(i);
      if (!queue) continue;
      const ParamID id = queue->getParameterId();
      if (id == ProcessingMode) {
        const int32 points = queue->getPointCount();
        int32 offset = 0;
        ParamValue value = 0;
        if (points > 0 && queue->getPoint(points - 1, offset, value) == kResultOk &&
            std::isfinite(value))
          requestedMode.exchange(modeFromNormalized(value));
      } else if (id < static_cast<ParamID>(kEngineParamCount)) {
        slots[id].queue = queue;
      }
    }
  }

  const int32 requested = requestedMode.load();
  if (activeMode != requested) {
    activeMode = requested;
    loadEngine(activeMode);
  }
  Engine& engine = engines[activeMode];

  // Applies the readable points of every queue up to `limit`, and returns the
  // smallest offset beyond it where a queue still has a point (or the block end).
  auto applyUpTo = [&](int32 limit) noexcept {
    int32 next = numSamples;
    for (int id = 0; id < kEngineParamCount; ++id) {
      QueueSlot& slot = slots[id];
      if (!slot.queue) continue;
      const int32 points = slot.queue->getPointCount();
      while (slot.position < points) {
        int32 offset = 0;
        ParamValue value = 0;
        if (slot.queue->getPoint(slot.position, offset, value) != kResultOk) {
          ++slot.position;
          continue;
        }
        if (offset > limit) {
          if (offset < next) next = offset;
          break;
        }
        float stored = 0.0f;
        if (offset >= 0 && acceptNormalized(value, stored)) {
          params[id] = stored;
          engine.set(static_cast<uint32_t>(id), static_cast<float>(value));
        }
        ++slot.position;
      }
    }
    return next;
  };

  int32 end = applyUpTo(0);

  // A flush (no audio) applies the changes at offset 0 and nothing else.
  if (data.numInputs == 0 || data.numOutputs == 0 || !data.inputs || !data.outputs ||
      numSamples == 0)
    return kResultOk;

  AudioBusBuffers& in = data.inputs[0];
  AudioBusBuffers& out = data.outputs[0];
  const int32 channels = out.numChannels;
  if ((channels != 1 && channels != 2) || channels != in.numChannels) return kResultFalse;

  float inputPeak = 0.0f, outputPeak = 0.0f, reduction = 0.0f;
  bool clipped = false, fault = false;
  int32 start = 0;
  while (true) {
    const float* inPtrs[Engine::kMaxChannels] = {};
    float* outPtrs[Engine::kMaxChannels] = {};
    for (int32 c = 0; c < channels; ++c) {
      const bool silent = (in.silenceFlags >> c) & 1;
      if (!silent && in.channelBuffers32 && in.channelBuffers32[c])
        inPtrs[c] = in.channelBuffers32[c] + start;
      if (out.channelBuffers32 && out.channelBuffers32[c])
        outPtrs[c] = out.channelBuffers32[c] + start;
    }
    engine.process(inPtrs, outPtrs, channels, end - start);
    const Engine::Meters& m = engine.meters();
    if (m.inputPeak > inputPeak) inputPeak = m.inputPeak;
    if (m.outputPeak > outputPeak) outputPeak = m.outputPeak;
    if (m.reduction > reduction) reduction = m.reduction;
    clipped = clipped || m.clipping;
    fault = fault || m.neuralFault;

    const int32 next = applyUpTo(end);
    start = end;
    if (start >= numSamples) break;
    end = next;
  }
  out.silenceFlags = 0;

  IParameterChanges* outChanges = data.outputParameterChanges;
  if (!outChanges) return kResultOk;
  const int32 last = numSamples - 1;
  if (reportedMode != activeMode) {
    int32 index = 0;
    IParamValueQueue* queue = outChanges->addParameterData(ProcessingMode, index);
    if (queue && queue->addPoint(last, modeToNormalized(activeMode), index) == kResultOk)
      reportedMode = activeMode;
  }
  const float neural = !engine.neuralActive() ? 0.0f : (fault ? 0.75f : 1.0f);
  const std::pair<const ParamID*, float> meters[] = {
      {&InputPeak, meterValue(inputPeak)}, {&OutputPeak, meterValue(outputPeak)},
      {&Reduction, meterValue(reduction)}, {&NeuralActive, neural},
      {&Clipping, clipped ? 1.0f : 0.0f},
  };
  for (const auto& [id, value] : meters) {
    int32 index = 0;
    if (IParamValueQueue* queue = outChanges->addParameterData(*id, index))
      queue->addPoint(last, value, index);
  }
  return kResultOk;
}

tresult PLUGIN_API Processor::setState(IBStream* state) {
  StateRecord record;
  const tresult result = readStateRecord(state, record);
  if (result != kResultOk) return result;
  params = record.params;
  const double modeNorm = record.hasMode ? record.modeNorm : modeToNormalized(defaultMode);
  requestedMode.exchange(modeFromNormalized(modeNorm));
  for (Engine& e : engines)
    for (int i = 0; i < kEngineParamCount; ++i) e.set(static_cast<uint32_t>(i), params[i]);
  return kResultOk;
}

tresult PLUGIN_API Processor::getState(IBStream* state) {
  // The requested mode, which the process loop may not have switched to yet.
  return writeStateRecord(state, params,
                          static_cast<float>(modeToNormalized(requestedMode.load())));
}

tresult PLUGIN_API Processor::notify(IMessage* message) {
  if (!message || !message->getMessageID()) return kInvalidArgument;
  const char* id = message->getMessageID();
  if (std::strcmp(id, msg::kProcessingMode) == 0) {
    int64 mode = 0;
    IAttributeList* attributes = message->getAttributes();
    if (!attributes || attributes->getInt(msg::kMode, mode) != kResultOk ||
        static_cast<uint64>(mode) >= static_cast<uint64>(kModeCount))
      return kInvalidArgument;
    requestedMode.exchange(static_cast<int32>(mode));
    sendModeState();
    return kResultOk;
  }
  if (std::strcmp(id, msg::kRequestProcessingMode) == 0) {
    sendModeState();
    return kResultOk;
  }
  return AudioEffect::notify(message);
}

void Processor::sendModeState() {
  IPtr<IMessage> message = owned(allocateMessage());
  if (!message) return;  // no host context: nothing to answer through
  message->setMessageID(msg::kProcessingModeState);
  if (IAttributeList* attributes = message->getAttributes())
    attributes->setInt(msg::kMode, requestedMode.load());
  sendMessage(message);
}

}  // namespace orvane
