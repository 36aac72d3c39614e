// The audio component.
#include "processor/processor.h"

#include <pluginterfaces/base/ustring.h>
#include <pluginterfaces/vst/ivstmessage.h>
#include <pluginterfaces/vst/ivstparameterchanges.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "protocol/ids.h"
#include "protocol/mode_messages.h"
#include "protocol/state_record.h"

namespace orvane {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr SpeakerArrangement kMono = SpeakerArr::kMono;      // 0x80000
constexpr SpeakerArrangement kStereo = SpeakerArr::kStereo;  // left | right
constexpr int32 kFlaggedChannels = 64;                       // bits of a silence-flag word

// Meters are reported in [0, 1]; a value that is not a number reads as full.
float meterValue(float v) noexcept {
  return v < 1.0f ? v : 1.0f;
}

// Input channel c from `start`, or null (silence) when the host flags it
// silent or gives no buffer for it: a flagged buffer is never read.
const float* inputChannel(const AudioBusBuffers* bus, int32 c, int32 start) noexcept {
  if (!bus || c >= bus->numChannels || !bus->channelBuffers32 || !bus->channelBuffers32[c])
    return nullptr;
  if (c < kFlaggedChannels && ((bus->silenceFlags >> c) & 1)) return nullptr;
  return bus->channelBuffers32[c] + start;
}

float* outputChannel(const AudioBusBuffers& bus, int32 c, int32 start) noexcept {
  if (c >= bus.numChannels || !bus.channelBuffers32 || !bus.channelBuffers32[c]) return nullptr;
  return bus.channelBuffers32[c] + start;
}

bool allZero(const float* x, int32 n) noexcept {
  for (int32 i = 0; i < n; ++i)
    if (x[i] != 0.0f) return false;
  return true;
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
  return static_cast<uint32>(engines.latencySamples(requestedMode.load()));
}

tresult PLUGIN_API Processor::setupProcessing(ProcessSetup& setup) {
  AudioBus* input = getAudioInput(0);
  if (setup.symbolicSampleSize != kSample32 || setup.maxSamplesPerBlock <= 0 || !input)
    return kResultFalse;
  const int channels = SpeakerArr::getChannelCount(input->getArrangement());
  if (!engines.prepare(setup.sampleRate, channels)) return kResultFalse;
  return AudioEffect::setupProcessing(setup);
}

tresult PLUGIN_API Processor::setActive(TBool state) {
  // No block runs now: a record handed over since the last block is taken here.
  takeHandOver();
  if (state) {
    ++activations;
    activeMode = requestedMode.load();
    for (int mode = 0; mode < kModeCount; ++mode) engines.load(mode, params);
  }
  publishValues();
  active = state;
  return AudioEffect::setActive(state);
}

tresult PLUGIN_API Processor::process(ProcessData& data) {
  if (data.symbolicSampleSize != kSample32 || data.numSamples < 0) return kResultFalse;
  takeHandOver();
  QueueCursors cursors = collectChanges(data.inputParameterChanges);
  switchToRequestedMode();
  const int32 firstEnd = applyChanges(cursors, 0, data.numSamples);
  // Without output buffers or samples this is a parameter flush: the changes
  // at offset 0 stand, later ones are dropped, no meters are written.
  bool agreedLayout = true;
  if (data.numSamples > 0 && data.numOutputs > 0 && data.outputs) {
    const BlockMeters meters = runSubBlocks(data, cursors, firstEnd);
    finishOutputs(data);
    reportToHost(data.outputParameterChanges, data.numSamples, meters);
    agreedLayout =
        data.outputs[0].numChannels == engines.channels() &&
        (data.numInputs <= 0 || !data.inputs || data.inputs[0].numChannels == engines.channels());
  }
  publishValues();
  blocksProcessed.fetch_add(1, std::memory_order_release);
  return agreedLayout ? kResultOk : kResultFalse;
}

// A setState() record waiting for the audio side replaces the nine values and
// reaches every engine; the engines' signal state is kept.
void Processor::takeHandOver() noexcept {
  if (!toAudio.update()) return;
  const Values& record = toAudio.front();
  params = record.params;
  takenTicket = record.stateTicket;
  for (int mode = 0; mode < kModeCount; ++mode)
    for (int i = 0; i < kEngineParamCount; ++i)
      engines[mode].set(static_cast<uint32_t>(i), params[i]);
}

// Files the host's queues by parameter. A mode change always takes effect from
// the block's first sample, so only the last point of its queue matters.
Processor::QueueCursors Processor::collectChanges(IParameterChanges* changes) noexcept {
  QueueCursors cursors{};
  if (!changes) return cursors;
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
      cursors[id].queue = queue;
    }
  }
  return cursors;
}

void Processor::switchToRequestedMode() noexcept {
  const int32 requested = requestedMode.load();
  if (activeMode == requested) return;
  activeMode = requested;
  engines.load(activeMode, params);
}

// Applies the readable points of every queue up to `limit` and returns the
// smallest offset beyond it where a queue still has a point (or the block end).
int32 Processor::applyChanges(QueueCursors& cursors, int32 limit, int32 numSamples) noexcept {
  Engine& engine = engines[activeMode];
  int32 next = numSamples;
  for (int id = 0; id < kEngineParamCount; ++id) {
    QueueCursor& cursor = cursors[id];
    if (!cursor.queue) continue;
    const int32 points = cursor.queue->getPointCount();
    for (; cursor.position < points; ++cursor.position) {
      int32 offset = 0;
      ParamValue value = 0;
      if (cursor.queue->getPoint(cursor.position, offset, value) != kResultOk) continue;
      if (offset > limit) {
        if (offset < next) next = offset;
        break;
      }
      float stored = 0.0f;
      if (offset >= 0 && acceptNormalized(value, stored)) {
        params[id] = stored;
        engine.set(static_cast<uint32_t>(id), static_cast<float>(value));
      }
    }
  }
  return next;
}

// Runs the active engine over the block, cut where parameter points fall, on
// the channels it was prepared for. It runs even when every input is flagged
// silent: glides, the gate's envelope, the delay lines and the denoiser's
// recurrent state all move on silence, so skipping a block would change the
// blocks after it. The flags spare only the reading of the flagged buffers.
Processor::BlockMeters Processor::runSubBlocks(ProcessData& data, QueueCursors& cursors,
                                               int32 firstEnd) noexcept {
  Engine& engine = engines[activeMode];
  const AudioBusBuffers* in = data.numInputs > 0 && data.inputs ? &data.inputs[0] : nullptr;
  const AudioBusBuffers& out = data.outputs[0];
  BlockMeters meters;
  for (int32 start = 0, end = firstEnd; start < data.numSamples;) {
    const float* inputs[Engine::kMaxChannels] = {};
    float* outputs[Engine::kMaxChannels] = {};
    for (int32 c = 0; c < engines.channels(); ++c) {
      inputs[c] = inputChannel(in, c, start);
      outputs[c] = outputChannel(out, c, start);
    }
    engine.process(inputs, outputs, engines.channels(), end - start);
    const Engine::Meters& m = engine.meters();
    meters.inputPeak = std::max(meters.inputPeak, m.inputPeak);
    meters.outputPeak = std::max(meters.outputPeak, m.outputPeak);
    meters.reduction = std::max(meters.reduction, m.reduction);
    meters.clipped = meters.clipped || m.clipping;
    meters.fault = meters.fault || m.neuralFault;
    const int32 next = applyChanges(cursors, end, data.numSamples);
    start = end;
    end = next;
  }
  return meters;
}

// Output channels the engine did not write (more than it was prepared for, or
// on a bus this component does not declare) get silence rather than whatever
// the host's buffer held; the dry input would not line up with the processed
// channels, which lag it by the latency. Then every channel's silence flag
// says whether it is all zeros.
void Processor::finishOutputs(ProcessData& data) const noexcept {
  for (int32 bus = 0; bus < data.numOutputs; ++bus) {
    AudioBusBuffers& out = data.outputs[bus];
    const int32 written = bus == 0 ? engines.channels() : 0;
    uint64 silent = 0;
    for (int32 c = 0; c < out.numChannels && out.channelBuffers32; ++c) {
      float* x = out.channelBuffers32[c];
      if (!x) continue;
      if (c >= written) std::fill_n(x, data.numSamples, 0.0f);
      if (c < kFlaggedChannels && (c >= written || allZero(x, data.numSamples)))
        silent |= uint64{1} << c;
    }
    out.silenceFlags = silent;
  }
}

// The mode (when it changed) and the five meters, at the block's last sample.
void Processor::reportToHost(IParameterChanges* changes, int32 numSamples,
                             const BlockMeters& meters) noexcept {
  if (!changes) return;
  const int32 last = numSamples - 1;
  if (reportedMode != activeMode) {
    int32 index = 0;
    IParamValueQueue* queue = changes->addParameterData(ProcessingMode, index);
    if (queue && queue->addPoint(last, modeToNormalized(activeMode), index) == kResultOk)
      reportedMode = activeMode;
  }
  const float neural = !engines[activeMode].neuralActive() ? kNeuralOffValue
                       : meters.fault                      ? kNeuralFaultValue
                                                           : kNeuralOnValue;
  const std::pair<const ParamID*, float> readings[] = {
      {&InputPeak, meterValue(meters.inputPeak)}, {&OutputPeak, meterValue(meters.outputPeak)},
      {&Reduction, meterValue(meters.reduction)}, {&NeuralActive, neural},
      {&Clipping, meters.clipped ? 1.0f : 0.0f},
  };
  for (const auto& [id, value] : readings) {
    int32 index = 0;
    if (IParamValueQueue* queue = changes->addParameterData(*id, index))
      queue->addPoint(last, value, index);
  }
}

// The values as this block leaves them, for getState().
void Processor::publishValues() noexcept {
  Values& values = fromAudio.back();
  values.stateTicket = takenTicket;
  values.params = params;
  fromAudio.publish();
}

tresult PLUGIN_API Processor::setState(IBStream* state) {
  StateRecord record;
  const tresult result = readStateRecord(state, record);
  if (result != kResultOk) return result;
  ++lastSetState.stateTicket;
  lastSetState.params = record.params;
  toAudio.back() = lastSetState;
  toAudio.publish();
  const double modeNorm = record.hasMode ? record.modeNorm : modeToNormalized(defaultMode);
  requestedMode.exchange(modeFromNormalized(modeNorm));
  if (!active) {
    takeHandOver();
    publishValues();
  }
  return kResultOk;
}

tresult PLUGIN_API Processor::getState(IBStream* state) {
  // The mode is read after taking the newest finished block; when another block
  // finishes meanwhile, take that and read again, so the values and the mode
  // belong together. (Bounded: this thread may have been held up for a while.)
  fromAudio.update();
  int32 mode = requestedMode.load();
  for (int attempt = 0; attempt < 8 && fromAudio.update(); ++attempt) mode = requestedMode.load();
  const Values& block = fromAudio.front();
  // A record no block has taken yet is newer than anything a block finished with.
  const Values& values = block.stateTicket == lastSetState.stateTicket ? block : lastSetState;
  // The requested mode, which the process loop may not have switched to yet.
  return writeStateRecord(state, values.params, static_cast<float>(modeToNormalized(mode)));
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
  if (std::strcmp(id, msg::kRequestProgress) == 0) {
    sendProgress();
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

void Processor::sendProgress() {
  IPtr<IMessage> message = owned(allocateMessage());
  if (!message) return;
  message->setMessageID(msg::kProgress);
  if (IAttributeList* attributes = message->getAttributes()) {
    attributes->setInt(msg::kBlocks, blocksProcessed.load(std::memory_order_acquire));
    attributes->setInt(msg::kActivations, activations);
    attributes->setInt(msg::kActive, active ? 1 : 0);
  }
  sendMessage(message);
}

}  // namespace orvane
