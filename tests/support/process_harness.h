// Drives an audio component the way a host does: buses, setup, activation,
// blocks of audio with input parameter changes, and the output changes read back.
#pragma once

#include <pluginterfaces/vst/ivstaudioprocessor.h>
#include <pluginterfaces/vst/ivstcomponent.h>
#include <public.sdk/source/vst/hosting/parameterchanges.h>

#include <map>
#include <vector>

namespace orvane::test {

struct Point {
  Steinberg::int32 offset;
  double value;
};

// One processed block's results.
struct BlockResult {
  Steinberg::tresult result = Steinberg::kResultFalse;
  std::vector<std::vector<float>> out;                            // per channel
  std::map<Steinberg::Vst::ParamID, std::vector<Point>> changes;  // output changes
  Steinberg::uint64 outSilenceFlags = ~0ull;
};

class ProcessHarness {
 public:
  ProcessHarness(Steinberg::Vst::IAudioProcessor* component, int channelCount)
      : processor(component), channels(channelCount) {}

  // Queues a point for the next block.
  void change(Steinberg::Vst::ParamID id, Steinberg::int32 offset, double value) {
    pending[id].push_back({offset, value});
  }

  // Processes `in` (per channel, all the same length) as one block, into
  // `channels` output channels (or `outChannels` when set).
  BlockResult run(const std::vector<std::vector<float>>& in, Steinberg::uint64 inSilence = 0);

  Steinberg::Vst::IAudioProcessor* processor;
  int channels;
  int outChannels = -1;  // a host whose output bus differs from its input bus
  std::map<Steinberg::Vst::ParamID, std::vector<Point>> pending;
};

}  // namespace orvane::test
