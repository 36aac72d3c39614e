// A small VST 3 host: loads a bundle with dlopen, sets up its audio component
// and edit controller as a host does, and runs audio through them. The
// command-line tool and the end-to-end tests are built on it.
// Every failure is reported as a host::Error whose message is one line meant
// for the user.
#pragma once

#include <pluginterfaces/base/ipluginbase.h>
#include <pluginterfaces/vst/ivstaudioprocessor.h>
#include <pluginterfaces/vst/ivstcomponent.h>
#include <pluginterfaces/vst/ivsteditcontroller.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvane::host {

struct Error : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct ClassEntry {
  Steinberg::TUID cid;
  std::string name;
  std::string category;
  std::string subCategories;
  std::string version;
  std::string sdkVersion;
  Steinberg::int32 cardinality = 0;
  Steinberg::uint32 flags = 0;
};

std::string uidString(const Steinberg::TUID cid);

// A loaded module. The path is a .vst3 bundle folder or the shared object
// inside one.
class Module {
 public:
  explicit Module(const std::string& path);
  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  Steinberg::IPluginFactory* factory() const { return factoryPtr; }
  Steinberg::PFactoryInfo factoryInfo() const;
  std::vector<ClassEntry> classes() const;
  const std::string& sharedObject() const { return soPath; }

 private:
  std::string soPath;
  void* handle = nullptr;
  Steinberg::IPluginFactory* factoryPtr = nullptr;
  bool (*exitFn)() = nullptr;
};

struct ParamDesc {
  Steinberg::Vst::ParamID id = 0;
  std::string title;
  std::string units;
  double defaultNormalized = 0;
  std::string defaultText;
  Steinberg::int32 stepCount = 0;
  Steinberg::int32 flags = 0;
};

struct BusDesc {
  std::string name;
  Steinberg::int32 channels = 0;
  bool input = true;
};

// Peaks and states the component reported through its meter parameters, and
// what the run cost.
struct ProcessReport {
  Steinberg::int32 latency = 0;
  double wallSeconds = 0;
  double realTimeFactor = 0;  // processing time / audio time
  double inputPeak = 0;
  double outputPeak = 0;
  double reduction = 0;
  double neuralActive = -1;  // last value written, -1 when never
  bool clipped = false;
};

// A parameter change at an input sample: it reaches the output that lines up
// with that sample (the host delivers it `latency` samples into processing).
struct Automation {
  std::int64_t sample = 0;
  Steinberg::Vst::ParamID id = 0;
  double normalized = 0;
};

// The component and controller of one class, created, initialised and
// connected; the controller mirrors the component's state.
class Plugin {
 public:
  // The first audio effect class of the module, or the class `cid`.
  explicit Plugin(Module& module, const Steinberg::TUID* cid = nullptr);
  ~Plugin();
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  std::vector<ParamDesc> parameters() const;
  std::vector<BusDesc> buses() const;

  // A parameter by identifier or by title (current language, case and space
  // insensitive).
  Steinberg::Vst::ParamID resolve(const std::string& nameOrId) const;
  // A value given as the user would type it: a list entry's label or index,
  // on/off for a switch, or a plain number in the parameter's units.
  double normalizedFromText(Steinberg::Vst::ParamID id, const std::string& text) const;

  // Sets a parameter through the controller (as an editor edit would) and
  // queues it for the component's first block.
  void setParameter(Steinberg::Vst::ParamID id, double normalized);
  double parameter(Steinberg::Vst::ParamID id) const;

  // Buses for the channel count, then processing setup; throws when refused.
  void setup(double sampleRate, int channels, int maxBlock);
  Steinberg::int32 latency() const;

  // Delivers the queued settings to the component now, with a block of no
  // samples (a host's parameter flush), so that a saved state holds them.
  void flush();

  std::vector<std::uint8_t> saveState() const;
  // Loads a component state into both objects; throws when refused.
  void loadState(const std::vector<std::uint8_t>& bytes);

  // Processes whole channels (1 or 2, equal lengths) in place, latency
  // removed, so output sample n lines up with input sample n. `progress`, if
  // set, is called with the fraction done.
  ProcessReport process(std::vector<std::vector<float>>& audio, double sampleRate, int blockSize,
                        const std::vector<Automation>& automation,
                        const std::function<void(double)>& progress = {});

  Steinberg::Vst::IComponent* component() const { return componentPtr; }
  Steinberg::Vst::IAudioProcessor* processor() const { return processorPtr; }
  Steinberg::Vst::IEditController* controller() const { return controllerPtr; }
  const std::vector<Steinberg::int32>& restarts() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl;
  Steinberg::Vst::IComponent* componentPtr = nullptr;
  Steinberg::Vst::IAudioProcessor* processorPtr = nullptr;
  Steinberg::Vst::IEditController* controllerPtr = nullptr;
  std::vector<std::pair<Steinberg::Vst::ParamID, double>> pending;
};

// Audio files through libsndfile.
struct Audio {
  int sampleRate = 0;
  std::vector<std::vector<float>> channels;
  std::int64_t frames() const {
    return channels.empty() ? 0 : static_cast<std::int64_t>(channels[0].size());
  }
};
Audio readAudio(const std::string& path);
// Writes next to `path` and renames over it, so a reader never sees a partial
// file and a failure leaves any old file in place. The format follows the
// extension: .wav (32-bit float), .flac (24-bit), .aiff/.aif (32-bit float).
void writeAudioAtomic(const std::string& path, const Audio& audio);
// Throws unless `path` names a format writeAudioAtomic supports in an existing folder.
void checkAudioOutput(const std::string& path);
// The same for raw bytes.
void writeFileAtomic(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> readFileBytes(const std::string& path);

// The bundle this build produced (the tool's default).
std::string defaultBundle();

}  // namespace orvane::host
