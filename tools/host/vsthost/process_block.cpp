#include "process_block.h"

namespace orvane::host {

using namespace Steinberg;
using namespace Steinberg::Vst;

ProcessBlock::ProcessBlock(int channels, int frames, int32 processMode)
    : maxFrames(frames),
      mode(processMode),
      inputs(channels, std::vector<float>(frames)),
      outputs(channels, std::vector<float>(frames)),
      inChanges(16),
      outChanges(16) {
  for (int c = 0; c < channels; ++c) {
    inPtrs.push_back(inputs[c].data());
    outPtrs.push_back(outputs[c].data());
  }
}

void ProcessBlock::change(ParamID id, int32 offset, ParamValue value) {
  int32 index = 0;
  if (IParamValueQueue* queue = inChanges.addParameterData(id, index))
    queue->addPoint(offset, value, index);
}

tresult ProcessBlock::run(IAudioProcessor& processor, int32 frames, uint64 inputSilence) {
  AudioBusBuffers inBus{}, outBus{};
  inBus.numChannels = outBus.numChannels = channels();
  inBus.silenceFlags = inputSilence;
  outBus.silenceFlags = ~uint64(0);
  inBus.channelBuffers32 = inPtrs.data();
  outBus.channelBuffers32 = outPtrs.data();
  outChanges.clearQueue();

  ProcessData data{};
  data.processMode = mode;
  data.symbolicSampleSize = kSample32;
  data.numSamples = frames < maxFrames ? frames : maxFrames;
  data.numInputs = data.numOutputs = 1;
  data.inputs = &inBus;
  data.outputs = &outBus;
  data.inputParameterChanges = &inChanges;
  data.outputParameterChanges = &outChanges;
  const tresult result = processor.process(data);
  inChanges.clearQueue();
  outSilence = outBus.silenceFlags;
  return result;
}

}  // namespace orvane::host
