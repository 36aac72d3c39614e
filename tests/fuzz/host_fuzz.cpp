// libFuzzer target for the audio component as hosts drive it. The input is a
// script of host calls on an activated component: blocks of any size with any
// bus layout, missing buffers, in-place buffers and silence flags; parameter
// queues with any identifiers, offsets (negative, past the block end, out of
// order) and values (NaN, infinities, out of range); mode messages; state
// records, valid or not; deactivation and set-up again at another rate or
// channel count. Every output sample the host gave must be written, finite and
// within +-4, every output silence flag true to its channel, every saved state
// valid; AddressSanitizer and UndefinedBehaviorSanitizer watch everything else.
#include <fuzzer/FuzzedDataProvider.h>
#include <public.sdk/source/vst/hosting/parameterchanges.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <tuple>
#include <utility>
#include <vector>

#include "processor/processor.h"
#include "protocol/state_record.h"
#include "support/state_bytes.h"
#include "support/vst_helpers.h"

namespace orvane {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

void require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "host fuzz: %s\n", what);
  std::abort();
}

constexpr int32 kMaxBlock = 512;

// Choices read from the input. An exhausted input reads as zeros, so zero is
// arranged to mean what an ordinary host does.
bool rarely(FuzzedDataProvider& in, int oneIn) {
  return in.ConsumeIntegralInRange(0, oneIn - 1) == oneIn - 1;
}
int around(FuzzedDataProvider& in, int usual, int max) {
  return (usual + in.ConsumeIntegralInRange(0, max)) % (max + 1);
}

ParamValue anyValue(FuzzedDataProvider& in) {
  const int kind = in.ConsumeIntegralInRange(0, 3);
  if (kind == 2)
    return in.PickValueInArray(
        {double(NAN), double(INFINITY), -double(INFINITY), -1.0, 2.0, 1e300});
  return kind == 3 ? in.ConsumeFloatingPoint<double>() : in.ConsumeProbability<double>();
}

float anySample(FuzzedDataProvider& in) {
  return rarely(in, 16) ? in.PickValueInArray({NAN, INFINITY, -1e30f, 1e-40f, 4.5f})
                        : in.ConsumeFloatingPointInRange(-1.5f, 1.5f);
}

// Input queues as a careless host may fill them: points kept in the order
// given, not sorted by offset.
class UnsortedQueue final : public test::Counted<IParamValueQueue> {
 public:
  explicit UnsortedQueue(ParamID id) : id(id) {}
  ParamID PLUGIN_API getParameterId() override { return id; }
  int32 PLUGIN_API getPointCount() override { return static_cast<int32>(points.size()); }
  tresult PLUGIN_API getPoint(int32 i, int32& offset, ParamValue& value) override {
    require(i >= 0 && i < getPointCount(), "point index out of range");
    std::tie(offset, value) = points[i];
    return kResultOk;
  }
  tresult PLUGIN_API addPoint(int32 offset, ParamValue value, int32& index) override {
    index = getPointCount();
    points.emplace_back(offset, value);
    return kResultOk;
  }
  ParamID id;
  std::vector<std::pair<int32, ParamValue>> points;
};

class UnsortedChanges final : public test::Counted<IParameterChanges> {
 public:
  int32 PLUGIN_API getParameterCount() override { return static_cast<int32>(queues.size()); }
  IParamValueQueue* PLUGIN_API getParameterData(int32 i) override {
    require(i >= 0 && i < getParameterCount(), "queue index out of range");
    return &queues[i];
  }
  IParamValueQueue* PLUGIN_API addParameterData(const ParamID& id, int32& index) override {
    index = getParameterCount();
    return &queues.emplace_back(id);
  }
  std::deque<UnsortedQueue> queues;
};

// Queues for any parameter identifiers, with points at any offsets (before,
// at and past the block's ends, in any order) and any values.
void fillChanges(FuzzedDataProvider& in, IParameterChanges& changes, int32 numSamples) {
  for (int q = in.ConsumeIntegralInRange(0, 6); q > 0; --q) {
    int32 index = 0;
    IParamValueQueue* queue = changes.addParameterData(
        rarely(in, 6) ? in.ConsumeIntegral<ParamID>()
                      : in.PickValueInArray<ParamID>({0, 2, 3, 5, 6, 7, 8, 9, 100, 104}),
        index);
    for (int p = in.ConsumeIntegralInRange(0, 5); p > 0 && queue; --p) {
      const int32 offset = rarely(in, 8) ? in.ConsumeIntegral<int32>()
                                         : in.ConsumeIntegralInRange<int32>(-2, numSamples + 2);
      queue->addPoint(offset, anyValue(in), index);
    }
  }
}

// One block: buses as this host lays them out, then the checks on what came back.
void processBlock(FuzzedDataProvider& in, Processor& component) {
  const int32 numSamples = around(in, 128, kMaxBlock);
  const int inChannels = around(in, 2, 3);
  const int outChannels = around(in, 2, 3);
  const bool inPlace = in.ConsumeBool();
  const bool wide = rarely(in, 32);  // 64-bit samples, refused

  // Each channel its own exact-size buffer, so any access past it is caught.
  std::vector<std::vector<float>> inBuffers(inChannels, std::vector<float>(numSamples));
  std::vector<std::vector<float>> outBuffers(outChannels,
                                             std::vector<float>(numSamples, std::nanf("")));
  std::vector<float*> inPtrs, outPtrs;
  for (auto& channel : inBuffers) {
    const float level = anySample(in);
    for (int32 i = 0; i < numSamples; ++i) channel[i] = level * ((i * 7919 % 211) / 105.0f - 1.0f);
    for (int spikes = in.ConsumeIntegralInRange(0, 3); spikes > 0 && numSamples > 0; --spikes)
      channel[in.ConsumeIntegralInRange<int32>(0, numSamples - 1)] = anySample(in);
    inPtrs.push_back(rarely(in, 16) ? nullptr : channel.data());
  }
  for (int c = 0; c < outChannels; ++c) {
    // In place, the output is the input's buffer (its samples are not a
    // sentinel then, but any left unprocessed may still fail the bounds).
    float* buffer = inPlace && c < inChannels && inPtrs[c] ? inPtrs[c] : outBuffers[c].data();
    outPtrs.push_back(rarely(in, 16) ? nullptr : buffer);
  }
  AudioBusBuffers inBus{}, outBus{};
  inBus.numChannels = inChannels;
  inBus.silenceFlags = rarely(in, 4) ? in.ConsumeIntegral<uint64>() : 0;
  inBus.channelBuffers32 = rarely(in, 16) ? nullptr : inPtrs.data();
  outBus.numChannels = outChannels;
  outBus.silenceFlags = in.ConsumeIntegral<uint64>();  // to be overwritten
  outBus.channelBuffers32 = rarely(in, 16) ? nullptr : outPtrs.data();

  UnsortedChanges inChanges;
  ParameterChanges outChanges(16);
  fillChanges(in, inChanges, numSamples);

  ProcessData data{};
  data.processMode = kRealtime;
  data.symbolicSampleSize = wide ? kSample64 : kSample32;
  data.numSamples = numSamples;
  data.numInputs = rarely(in, 8) ? 0 : 1;
  data.inputs = data.numInputs ? &inBus : nullptr;
  data.numOutputs = rarely(in, 16) ? 0 : 1;
  data.outputs = data.numOutputs ? &outBus : nullptr;
  data.inputParameterChanges = rarely(in, 8) ? nullptr : &inChanges;
  data.outputParameterChanges = rarely(in, 8) ? nullptr : &outChanges;

  const int agreed = component.preparedChannelCount();
  const bool served = numSamples == 0 || !data.numOutputs ||
                      (outChannels == agreed && (!data.numInputs || inChannels == agreed));
  const tresult result = component.process(data);
  require(result == (wide || !served ? kResultFalse : kResultOk), "unexpected result");
  if (wide || numSamples == 0 || !data.numOutputs || !outBus.channelBuffers32) return;
  for (int c = 0; c < outChannels; ++c) {
    const float* x = outPtrs[c];
    if (!x) continue;
    bool zero = true;
    for (int32 i = 0; i < numSamples; ++i) {
      require(std::isfinite(x[i]), "output sample not written or not finite");
      require(std::fabs(x[i]) <= 4.0f, "output sample beyond 4");
      zero = zero && x[i] == 0.0f;
    }
    require(zero == (((outBus.silenceFlags >> c) & 1) != 0), "wrong silence flag");
  }
  for (int32 q = 0; q < outChanges.getParameterCount(); ++q) {
    IParamValueQueue* queue = outChanges.getParameterData(q);
    for (int32 p = 0; p < queue->getPointCount(); ++p) {
      int32 offset = 0;
      ParamValue value = 0;
      queue->getPoint(p, offset, value);
      require(offset == numSamples - 1, "output point not at the last sample");
      require(value >= 0.0 && value <= 1.0, "output value outside [0, 1]");
    }
  }
}

void loadState(FuzzedDataProvider& in, Processor& component) {
  std::vector<std::uint8_t> bytes;
  if (!rarely(in, 4)) {
    test::putU32(bytes, around(in, 2, 3));
    for (int i = 10 - in.ConsumeIntegralInRange(0, 2); i > 0; --i)
      test::putF32(
          bytes, rarely(in, 8) ? static_cast<float>(anyValue(in)) : in.ConsumeProbability<float>());
  } else {
    bytes = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange(0, 48));
  }
  test::MemoryStream stream(std::move(bytes));
  component.setState(&stream);
}

void saveState(Processor& component) {
  test::MemoryStream stream;
  require(component.getState(&stream) == kResultOk, "getState failed");
  stream.position = 0;
  StateRecord record;
  require(readStateRecord(&stream, record) == kResultOk && record.version == kStateVersion,
          "getState wrote a record that does not read back");
}

// A mode request (any value, or none), a request for the mode, or another message.
void sendMessage(FuzzedDataProvider& in, Processor& component) {
  const int kind = in.ConsumeIntegralInRange(0, 3);
  const int64 mode =
      rarely(in, 4) ? in.ConsumeIntegral<int64>() : in.ConsumeIntegralInRange<int64>(-1, 3);
  const char* ids[] = {"ProcessingMode", "ProcessingMode", "RequestProcessingMode", "Unrelated"};
  component.notify(test::makeMessage(ids[kind], kind == 0 ? &mode : nullptr));
}

// Deactivated, possibly another bus arrangement or set-up, activated again.
void reconfigure(FuzzedDataProvider& in, Processor& component) {
  component.setActive(false);
  if (in.ConsumeBool()) {
    SpeakerArrangement arr = in.ConsumeBool() ? SpeakerArr::kMono : SpeakerArr::kStereo, out = arr;
    component.setBusArrangements(&arr, 1, &out, 1);
  }
  if (in.ConsumeBool()) {
    // Any rate in range, or one just outside or not a number (refused).
    const double rate = rarely(in, 4) ? in.PickValueInArray({7999.0, 192001.0, double(NAN)})
                                      : in.ConsumeFloatingPointInRange(8000.0, 192000.0);
    ProcessSetup setup{kRealtime, kSample32, kMaxBlock, rate};
    component.setupProcessing(setup);
  }
  component.setActive(true);
}

}  // namespace
}  // namespace orvane

// NOLINTNEXTLINE(readability-identifier-naming): the entry point libFuzzer calls
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace orvane;
  FuzzedDataProvider in(data, size);
  test::RecordingPeer peer;
  IPtr<Processor> component = owned(new Processor(in.ConsumeIntegralInRange(0, 2)));
  require(component->initialize(test::hostContext()) == kResultOk, "initialize failed");
  component->connect(&peer);
  reconfigure(in, *component);
  for (int step = 0; step < 16 && in.remaining_bytes() > 0; ++step) {
    const int call = in.ConsumeIntegralInRange(0, 31);
    if (call < 20)
      processBlock(in, *component);
    else if (call < 25)
      loadState(in, *component);
    else if (call < 28)
      saveState(*component);
    else if (call < 31)
      sendMessage(in, *component);
    else
      reconfigure(in, *component);
  }
  saveState(*component);
  component->setActive(false);
  component->disconnect(&peer);
  component->terminate();
  return 0;
}
