// Runs audio through a plug-in from a source to a sink, block by block, as a
// host renders a track offline:
// - the reported latency is compensated exactly: the first L output frames
//   are dropped and L frames of silence are fed after the input, so output
//   frame n lines up with input frame n;
// - parameter changes arrive at the output frame that lines up with their
//   input frame (each opens a block, so they sit at offset 0);
// - when the controller asks for kLatencyChanged (the processing mode moves
//   to one with another latency), the driver restarts processing the way a
//   host does and resumes from the first input frame not yet in the output,
//   so the output stays aligned: every frame before the change comes from
//   the old configuration, every frame from it on from the new one, started
//   afresh at that frame.
// Memory does not grow with the length: one block of buffers.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "plugin.h"

namespace orvane::host {

// Planar audio in whole frames.
class AudioSource {
 public:
  virtual ~AudioSource() = default;
  // Reads up to `frames` frames into channels[c][0...]; returns how many were
  // read, fewer only at the end.
  virtual std::int64_t read(float* const* channels, std::int64_t frames) = 0;
  // Goes back to an earlier frame; throws host::Error when it cannot.
  virtual void seek(std::int64_t frame) = 0;
};

class AudioSink {
 public:
  virtual ~AudioSink() = default;
  virtual void write(const float* const* channels, std::int64_t frames) = 0;
};

// A parameter change at an input frame.
struct Automation {
  std::int64_t frame = 0;
  Steinberg::Vst::ParamID id = 0;
  double normalized = 0;
};

struct StreamSettings {
  double sampleRate = 48000;
  int channels = 2;
  std::int64_t frames = 0;  // input length
  int maxBlock = 512;
  std::vector<Automation> automation;
  // Called after each block with the output frames written so far.
  std::function<void(std::int64_t)> progress;
  // Called after each block for every output parameter the component wrote,
  // with the last value of its queue.
  std::function<void(Steinberg::Vst::ParamID, double)> outputValue;
  // Set from another thread (or a signal handler) to stop with an Error.
  const std::atomic<bool>* cancel = nullptr;
};

// The last and the largest value the component wrote to an output parameter.
struct OutputValue {
  double last = 0;
  double max = 0;
};

struct StreamReport {
  Steinberg::int32 latency = 0;       // at the start
  Steinberg::int32 finalLatency = 0;  // after the last restart
  int latencyRestarts = 0;
  double pluginSeconds = 0;  // time spent inside process()
  std::map<Steinberg::Vst::ParamID, OutputValue> outputs;
};

// Throws host::Error when the plug-in refuses the setup or a block, or the
// source or sink fail; processing is off again either way.
StreamReport runStream(Plugin& plugin, AudioSource& source, AudioSink& sink,
                       const StreamSettings& settings);

// The same on channels held in memory (equal lengths), replaced by the output.
StreamReport processInMemory(Plugin& plugin, std::vector<std::vector<float>>& audio,
                             double sampleRate, int maxBlock,
                             const std::vector<Automation>& automation = {});

}  // namespace orvane::host
