// An audio component set up and driven the way hosts do it: buses, set-up,
// activation, messages to a recording peer, and blocks through the host
// library's buffers with the output changes read back.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <utility>
#include <vector>

#include "params/parameters.h"
#include "processor/processor.h"
#include "support/vst_helpers.h"
#include "vsthost/process_block.h"

namespace orvane::test {

using namespace Steinberg;
using namespace Steinberg::Vst;
using Signal = std::vector<std::vector<float>>;  // [channel][sample]

// One processed block's results.
struct Played {
  Steinberg::tresult result;
  test::Signal out;  // per channel
  uint64 outSilenceFlags;
  struct Point {
    int32 offset;
    double value;
  };
  std::map<ParamID, std::vector<Point>> changes;  // output changes
};

// `in` (a signal for each of the block's channels) as one block.
inline Played play(host::ProcessBlock& block, IAudioProcessor& processor, const test::Signal& in,
                   uint64 inSilence = 0) {
  const auto n = static_cast<int32>(in[0].size());
  for (std::size_t c = 0; c < in.size(); ++c) std::copy(in[c].begin(), in[c].end(), block.input(c));
  Played r{block.run(processor, n, inSilence), {}, block.outputSilence(), {}};
  for (int c = 0; c < block.channels(); ++c)
    r.out.emplace_back(block.output(c), block.output(c) + n);
  for (int32 q = 0; q < block.outputChanges().getParameterCount(); ++q) {
    IParamValueQueue* queue = block.outputChanges().getParameterData(q);
    for (int32 i = 0; i < queue->getPointCount(); ++i) {
      Played::Point point{};
      queue->getPoint(i, point.offset, point.value);
      r.changes[queue->getParameterId()].push_back(point);
    }
  }
  return r;
}

// A component set up the way hosts do it, with its messages going to a peer
// and its blocks played through a host's buffers; `mode` (when given) is
// requested by message after activation.
struct Component {
  explicit Component(SpeakerArrangement arr = SpeakerArr::kStereo, int64 mode = -1,
                     double rate = 48000.0)
      : processor(owned(new Processor(kDefaultMode))),
        block(arr == SpeakerArr::kMono ? 1 : 2, 512, kRealtime) {
    EXPECT_EQ(processor->initialize(test::hostContext()), kResultOk);
    processor->connect(&peer);
    SpeakerArrangement in = arr, out = arr;
    EXPECT_EQ(processor->setBusArrangements(&in, 1, &out, 1), kResultTrue);
    ProcessSetup setup{kRealtime, kSample32, 512, rate};
    EXPECT_EQ(processor->setupProcessing(setup), kResultOk);
    EXPECT_EQ(processor->setActive(true), kResultOk);
    if (mode >= 0) send("ProcessingMode", &mode);
  }
  ~Component() {
    processor->setActive(false);
    processor->disconnect(&peer);
    processor->terminate();
  }
  tresult setState(std::vector<std::uint8_t> bytes) {
    test::MemoryStream s(std::move(bytes));
    return processor->setState(&s);
  }
  std::vector<std::uint8_t> getState() {
    test::MemoryStream s;
    EXPECT_EQ(processor->getState(&s), kResultOk);
    return s.data;
  }
  tresult send(const char* id, const int64* mode) {
    return processor->notify(test::makeMessage(id, mode));
  }
  Played play(const test::Signal& in, uint64 inSilence = 0) {
    return test::play(block, *processor, in, inSilence);
  }

  IPtr<Processor> processor;
  test::RecordingPeer peer;
  host::ProcessBlock block;
};

}  // namespace orvane::test
