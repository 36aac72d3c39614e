#include "support/process_harness.h"

namespace orvane::test {

using namespace Steinberg;
using namespace Steinberg::Vst;

BlockResult ProcessHarness::run(const std::vector<std::vector<float>>& in, uint64 inSilence) {
  const int32 frames = in.empty() ? 0 : static_cast<int32>(in[0].size());
  BlockResult r;
  const int outCount = outChannels < 0 ? channels : outChannels;
  r.out.assign(outCount, std::vector<float>(frames, -99.0f));
  std::vector<float*> inPtrs, outPtrs;
  std::vector<std::vector<float>> inCopy = in;
  for (auto& channel : inCopy) inPtrs.push_back(channel.data());
  for (auto& channel : r.out) outPtrs.push_back(channel.data());
  AudioBusBuffers inBus{}, outBus{};
  inBus.numChannels = static_cast<int32>(inCopy.size());
  inBus.silenceFlags = inSilence;
  inBus.channelBuffers32 = inPtrs.data();
  outBus.numChannels = outCount;
  outBus.silenceFlags = ~0ull;
  outBus.channelBuffers32 = outPtrs.data();

  ParameterChanges inChanges(16), outChanges(16);
  for (auto& [id, points] : pending) {
    int32 index = 0;
    IParamValueQueue* q = inChanges.addParameterData(id, index);
    for (const Point& p : points) q->addPoint(p.offset, p.value, index);
  }
  pending.clear();

  ProcessData data{};
  data.processMode = kRealtime;
  data.symbolicSampleSize = kSample32;
  data.numSamples = frames;
  data.numInputs = 1;
  data.numOutputs = 1;
  data.inputs = &inBus;
  data.outputs = &outBus;
  data.inputParameterChanges = &inChanges;
  data.outputParameterChanges = &outChanges;
  r.result = processor->process(data);
  r.outSilenceFlags = outBus.silenceFlags;
  for (int32 i = 0; i < outChanges.getParameterCount(); ++i) {
    IParamValueQueue* q = outChanges.getParameterData(i);
    for (int32 p = 0; p < q->getPointCount(); ++p) {
      int32 offset = 0;
      ParamValue value = 0;
      q->getPoint(p, offset, value);
      r.changes[q->getParameterId()].push_back({offset, value});
    }
  }
  return r;
}

}  // namespace orvane::test
