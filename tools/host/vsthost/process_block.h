// One call of IAudioProcessor::process as a host makes it: planar 32-bit
// buffers for one input and one output bus, the parameter changes queued for
// the block, and the changes the component wrote back.
#pragma once

#include <pluginterfaces/vst/ivstaudioprocessor.h>
#include <public.sdk/source/vst/hosting/parameterchanges.h>

#include <vector>

namespace orvane::host {

class ProcessBlock {
 public:
  // Buffers for up to `maxFrames` frames; `processMode` is a
  // Steinberg::Vst::ProcessModes value.
  ProcessBlock(int channels, int maxFrames, Steinberg::int32 processMode);

  int channels() const { return static_cast<int>(inputs.size()); }
  int capacity() const { return maxFrames; }
  float* input(int channel) { return inputs[channel].data(); }
  float* output(int channel) { return outputs[channel].data(); }

  // Queues a point for the next run; points of one parameter go in offset order.
  void change(Steinberg::Vst::ParamID id, Steinberg::int32 offset,
              Steinberg::Vst::ParamValue value);

  // Processes the first `frames` frames (at most the capacity) with the queued
  // changes, which are then cleared. The output silence flags start all set,
  // so that the component has to say what it wrote.
  Steinberg::tresult run(Steinberg::Vst::IAudioProcessor& processor, Steinberg::int32 frames,
                         Steinberg::uint64 inputSilence = 0);

  // What the last run wrote back.
  Steinberg::Vst::IParameterChanges& outputChanges() { return outChanges; }
  Steinberg::uint64 outputSilence() const { return outSilence; }

 private:
  int maxFrames;
  Steinberg::int32 mode;
  std::vector<std::vector<float>> inputs, outputs;
  std::vector<float*> inPtrs, outPtrs;
  Steinberg::Vst::ParameterChanges inChanges, outChanges;
  Steinberg::uint64 outSilence = 0;
};

}  // namespace orvane::host
