#include "stream.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "process_block.h"

namespace orvane::host {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// The block loop of runStream in its steps. Positions count frames of the
// input: `fed` is the next input frame to hand the component (past the end of
// the input it gets silence), `written` the next one whose output goes to the
// sink. Since the last (re)start at input frame r with latency L, the output
// of fed frame f is the processed input frame f - L, so the first L outputs
// after a (re)start are discarded.
class StreamDriver {
 public:
  StreamDriver(Plugin& instance, AudioSource& from, AudioSink& to, const StreamSettings& run)
      : plugin(instance),
        source(from),
        sink(to),
        settings(run),
        block(run.channels, run.maxBlock, kOffline) {}

  StreamReport run() {
    begin();
    while (written < settings.frames) {
      queueDueChanges();
      restartIfAsked();
      const int frames = blockLength();
      feedInput(frames);
      processBlock(frames);
      readOutputChanges();
      emitOutput(frames);
      if (settings.progress) settings.progress(written);
      if (settings.cancel && settings.cancel->load()) throw Error("cancelled");
    }
    plugin.stop();
    report.finalLatency = latency;
    return report;
  }

 private:
  // Processing on at the settings queued before the run: they are delivered
  // with an empty block and the component restarted, so they hold from the
  // first frame instead of gliding in.
  void begin() {
    points = settings.automation;
    std::stable_sort(points.begin(), points.end(),
                     [](const Automation& a, const Automation& b) { return a.frame < b.frame; });
    plugin.setup(settings.sampleRate, settings.channels, settings.maxBlock);
    plugin.start();
    const auto initial = plugin.takeQueued();
    if (!initial.empty()) {
      for (const auto& [id, value] : initial) block.change(id, 0, value);
      if (block.run(*plugin.processor(), 0) != kResultOk)
        throw Error("the plug-in refused the settings");
      plugin.restart();
    }
    plugin.takeLatencyRestart();  // the settings above are already in force
    latency = plugin.latency();
    if (latency < 0) throw Error("the plug-in reports a negative latency");
    report.latency = latency;
    drop = latency;
  }

  // Changes whose input frame lines up with the next output: into this
  // block at offset 0, and mirrored to the controller as a host does.
  void queueDueChanges() {
    for (; nextPoint < points.size() && points[nextPoint].frame + latency <= fed; ++nextPoint) {
      const Automation& a = points[nextPoint];
      block.change(a.id, 0, a.normalized);
      plugin.controller()->setParamNormalized(a.id, a.normalized);
    }
  }

  // A latency change resumes from the first input frame not yet in the
  // output. Changes already queued go into the first block after the restart.
  void restartIfAsked() {
    if (!plugin.takeLatencyRestart()) return;
    plugin.restart();
    latency = plugin.latency();
    if (latency < 0) throw Error("the plug-in reports a negative latency");
    source.seek(std::min(written, settings.frames));
    fed = written;
    drop = latency;
    ++report.latencyRestarts;
  }

  // Up to a full block, shortened so that the next change opens a block.
  int blockLength() const {
    std::int64_t n = settings.maxBlock;
    if (nextPoint < points.size()) {
      const std::int64_t due = points[nextPoint].frame + latency - fed;
      if (due > 0) n = std::min(n, due);
    }
    return static_cast<int>(n);
  }

  void feedInput(int frames) {
    float* channels[2] = {};
    for (int c = 0; c < settings.channels; ++c) channels[c] = block.input(c);
    std::int64_t got = 0;
    if (fed < settings.frames) {
      const std::int64_t want = std::min<std::int64_t>(frames, settings.frames - fed);
      got = source.read(channels, want);
      if (got != want) throw Error("the input ended early");
    }
    for (int c = 0; c < settings.channels; ++c)
      std::fill(channels[c] + got, channels[c] + frames, 0.0f);
    fed += frames;
  }

  void processBlock(int frames) {
    const auto started = std::chrono::steady_clock::now();
    const tresult result = block.run(*plugin.processor(), frames);
    report.pluginSeconds +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (result != kResultOk) throw Error("the plug-in failed to process a block");
  }

  // The component's output parameters (meters, a mode it settled on) go to
  // the controller, as a host forwards them, and into the report.
  void readOutputChanges() {
    IParameterChanges& changes = block.outputChanges();
    for (int32 q = 0; q < changes.getParameterCount(); ++q) {
      IParamValueQueue* queue = changes.getParameterData(q);
      if (!queue || queue->getPointCount() == 0) continue;
      int32 offset = 0;
      ParamValue value = 0;
      if (queue->getPoint(queue->getPointCount() - 1, offset, value) != kResultOk) continue;
      const ParamID id = queue->getParameterId();
      plugin.controller()->setParamNormalized(id, value);
      auto [it, fresh] = report.outputs.try_emplace(id, OutputValue{value, value});
      it->second.last = value;
      if (!fresh) it->second.max = std::max(it->second.max, value);
      if (settings.outputValue) settings.outputValue(id, value);
    }
  }

  void emitOutput(int frames) {
    const std::int64_t skip = std::min<std::int64_t>(drop, frames);
    drop -= skip;
    const std::int64_t count = std::min<std::int64_t>(frames - skip, settings.frames - written);
    if (count <= 0) return;
    const float* channels[2] = {};
    for (int c = 0; c < settings.channels; ++c) channels[c] = block.output(c) + skip;
    sink.write(channels, count);
    written += count;
  }

  Plugin& plugin;
  AudioSource& source;
  AudioSink& sink;
  const StreamSettings& settings;
  ProcessBlock block;
  std::vector<Automation> points;
  std::size_t nextPoint = 0;
  int32 latency = 0;
  std::int64_t fed = 0;
  std::int64_t written = 0;
  std::int64_t drop = 0;
  StreamReport report;
};

class MemorySource : public AudioSource {
 public:
  explicit MemorySource(const std::vector<std::vector<float>>& channels) : audio(channels) {}
  std::int64_t read(float* const* channels, std::int64_t frames) override {
    const std::int64_t n = std::min<std::int64_t>(frames, length() - position);
    for (std::size_t c = 0; c < audio.size(); ++c)
      std::memcpy(channels[c], audio[c].data() + position, sizeof(float) * n);
    position += n;
    return n;
  }
  void seek(std::int64_t frame) override {
    position = std::clamp<std::int64_t>(frame, 0, length());
  }

 private:
  std::int64_t length() const {
    return audio.empty() ? 0 : static_cast<std::int64_t>(audio[0].size());
  }
  const std::vector<std::vector<float>>& audio;
  std::int64_t position = 0;
};

class MemorySink : public AudioSink {
 public:
  explicit MemorySink(std::vector<std::vector<float>>& channels) : audio(channels) {}
  void write(const float* const* channels, std::int64_t frames) override {
    for (std::size_t c = 0; c < audio.size(); ++c)
      audio[c].insert(audio[c].end(), channels[c], channels[c] + frames);
  }

 private:
  std::vector<std::vector<float>>& audio;
};

}  // namespace

StreamReport runStream(Plugin& plugin, AudioSource& source, AudioSink& sink,
                       const StreamSettings& settings) {
  if (settings.maxBlock < 1 || settings.maxBlock > 65536)
    throw Error("block size must be 1 to 65536");
  if (settings.channels != 1 && settings.channels != 2)
    throw Error("unsupported channel count " + std::to_string(settings.channels) +
                " (mono or stereo only)");
  try {
    return StreamDriver(plugin, source, sink, settings).run();
  } catch (...) {
    plugin.stop();
    throw;
  }
}

StreamReport processInMemory(Plugin& plugin, std::vector<std::vector<float>>& audio,
                             double sampleRate, int maxBlock,
                             const std::vector<Automation>& automation) {
  StreamSettings settings;
  settings.sampleRate = sampleRate;
  settings.channels = static_cast<int>(audio.size());
  settings.frames = audio.empty() ? 0 : static_cast<std::int64_t>(audio[0].size());
  settings.maxBlock = maxBlock;
  settings.automation = automation;
  std::vector<std::vector<float>> result(audio.size());
  for (auto& channel : result) channel.reserve(static_cast<std::size_t>(settings.frames));
  MemorySource source(audio);
  MemorySink sink(result);
  StreamReport report = runStream(plugin, source, sink, settings);
  audio = std::move(result);
  return report;
}

}  // namespace orvane::host
