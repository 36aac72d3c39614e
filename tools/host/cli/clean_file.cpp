#include "clean_file.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "audio_file.h"
#include "files/files.h"
#include "names.h"
#include "params/parameters.h"
#include "protocol/ids.h"
#include "spectrogram.h"

namespace orvane::host {

namespace fs = std::filesystem;

namespace {

// A plug-in instance whose creation and release are serialised.
class Instance {
 public:
  Instance(Module& module, std::mutex& serialised) : lifecycle(serialised) {
    std::lock_guard<std::mutex> lock(lifecycle);
    plugin = std::make_unique<Plugin>(module);
  }
  ~Instance() {
    std::lock_guard<std::mutex> lock(lifecycle);
    plugin.reset();
  }
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;
  Plugin& operator*() { return *plugin; }
  Plugin* operator->() { return plugin.get(); }

 private:
  std::mutex& lifecycle;
  std::unique_ptr<Plugin> plugin;
};

// What Orvane's own meters said over the whole file.
struct MeterWatch {
  bool on = false, fault = false, clipped = false;
  void see(Steinberg::Vst::ParamID id, double value) {
    if (id == NeuralActive) {
      const NeuralState s = neuralStateFromMeter(value);
      on = on || s != NeuralState::Off;
      fault = fault || s == NeuralState::Fault;
    } else if (id == Clipping) {
      clipped = clipped || clippingFromMeter(value);
    }
  }
  const char* neural() const { return fault ? "fault" : (on ? "active" : "inactive"); }
};

// The settings a run used, in English: Orvane's mode always, then every
// parameter away from its default, with its unit ("Output gain -3 dB").
std::string describeSettings(const Plugin& plugin, bool orvane) {
  std::string text;
  for (const ParamDesc& p : plugin.parameters()) {
    const double value = plugin.parameter(p.id);
    const bool mode = orvane && p.id == ProcessingMode;
    if ((p.flags & Steinberg::Vst::ParameterInfo::kIsReadOnly) ||
        (!mode && std::abs(value - p.defaultNormalized) < 1e-6))
      continue;
    std::string shown = plugin.valueText(p.id, value);
    // "-3.0000" reads as "-3"
    if (shown.find('.') != std::string::npos &&
        shown.find_first_not_of("-0123456789.") == std::string::npos) {
      shown.erase(shown.find_last_not_of('0') + 1);
      if (shown.back() == '.') shown.pop_back();
    }
    std::string part = mode ? englishText(shown) : englishText(p.title) + " " + englishText(shown);
    if (!p.units.empty()) part += " " + p.units;
    if (mode)
      text.insert(0, text.empty() ? part : part + ", ");
    else
      text.append(text.empty() ? "" : ", ").append(part);
  }
  return text.empty() ? "default settings" : text;
}

// The input above the output, both read back from their files.
void writePicture(const CleanJob& job, const FileResult& r, const std::string& settings) {
  char rate[64];
  std::snprintf(rate, sizeof rate, "%g kHz %s", r.sampleRate / 1000.0,
                r.channels == 2 ? "stereo" : "mono");
  std::string latency = std::to_string(r.latency) + " samples (" +
                        std::to_string(std::lround(1000.0 * r.latency / r.sampleRate)) + " ms)";
  if (r.latencyRestarts) latency += ", then " + std::to_string(r.finalLatency) + " after a restart";
  SpectrogramPicture picture{r.sampleRate,
                             fs::path(job.input).filename().string() + " → " +
                                 fs::path(job.output).filename().string() + ", " + rate +
                                 ", latency removed: " + latency,
                             {}};
  picture.bands.push_back({"input", fileSignal(job.input)});
  picture.bands.push_back({"output: " + settings, fileSignal(job.output)});
  writeSpectrogram(job.picture, picture);
}

void process(Module& module, std::mutex& lifecycle, const Settings& settings, const CleanJob& job,
             const std::atomic<bool>* cancel, const std::function<void(double)>& progress,
             FileResult& r) {
  const auto started = std::chrono::steady_clock::now();
  // Any spelling, link or hard link of the input: the cleaned file would
  // replace the recording it came from.
  std::error_code ec;
  if (fs::equivalent(job.input, job.output, ec))
    throw Error(job.output + " is the input file itself; choose another output");
  AudioFileReader reader(job.input);
  const FileInfo& in = reader.info();
  r.sampleRate = in.sampleRate;
  r.channels = in.channels;
  r.frames = in.frames;
  r.seconds = double(in.frames) / in.sampleRate;
  r.inputFormat = describeFormat(in.format);
  if (in.channels != 1 && in.channels != 2)
    throw Error("unsupported channel count " + std::to_string(in.channels) +
                " (mono or stereo only)");
  const int format = chooseOutputFormat(in, job.output, job.format, job.bits);
  r.outputFormat = describeFormat(format);
  const fs::path parent = fs::path(job.output).parent_path();
  if (!parent.empty() && !fs::is_directory(parent, ec))
    throw Error("cannot write " + job.output + ": no such folder " + parent.string());

  Instance plugin(module, lifecycle);
  settings.applyTo(*plugin);
  MeterWatch meters;
  r.hasMeters = plugin->controllerClass() == ControllerID;
  StreamSettings stream;
  stream.sampleRate = in.sampleRate;
  stream.channels = in.channels;
  stream.frames = in.frames;
  stream.maxBlock = job.block;
  stream.automation = settings.automation(in.sampleRate);
  stream.cancel = cancel;
  stream.outputValue = [&](Steinberg::Vst::ParamID id, double v) { meters.see(id, v); };
  if (progress && in.frames > 0)
    stream.progress = [&](std::int64_t done) { progress(double(done) / double(in.frames)); };

  StreamReport report;
  std::int64_t clipped = 0;
  Levels outLevels;
  const bool written = files::writeAtomically(job.output, [&](const std::string& temp) {
    AudioFileWriter writer(temp, format, in.sampleRate, in.channels, reader.metadata());
    report = runStream(*plugin, reader, writer, stream);
    writer.close();
    clipped = writer.clipped();
    outLevels = writer.levels();
    return true;
  });
  if (!written) throw Error("cannot write " + job.output);

  r.latency = report.latency;
  r.finalLatency = report.finalLatency;
  r.latencyRestarts = report.latencyRestarts;
  r.pluginSeconds = report.pluginSeconds;
  r.inputPeakDb = reader.levels().peakDb();
  r.inputRmsDb = reader.levels().rmsDb();
  r.outputPeakDb = outLevels.peakDb();
  r.outputRmsDb = outLevels.rmsDb();
  r.clippedSamples = clipped;
  r.pluginClipped = meters.clipped;
  r.neural = meters.neural();
  r.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (!job.picture.empty()) writePicture(job, r, describeSettings(*plugin, r.hasMeters));
  r.status = FileResult::Status::Done;
}

}  // namespace

FileResult cleanFile(Module& module, std::mutex& lifecycle, const Settings& settings,
                     const CleanJob& job, const std::atomic<bool>* cancel,
                     const std::function<void(double)>& progress) {
  FileResult r;
  r.input = job.input;
  r.output = job.output;
  try {
    process(module, lifecycle, settings, job, cancel, progress, r);
  } catch (const std::exception& e) {
    r.status = FileResult::Status::Failed;
    r.message = e.what();
  }
  return r;
}

}  // namespace orvane::host
