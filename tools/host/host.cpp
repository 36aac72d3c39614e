// The VST 3 host behind the command-line tool and the end-to-end tests.
#include "host.h"

#include <dlfcn.h>
#include <pluginterfaces/base/ibstream.h>
#include <pluginterfaces/vst/ivstmessage.h>
#include <pluginterfaces/vst/vstspeaker.h>
#include <public.sdk/source/vst/hosting/hostclasses.h>
#include <public.sdk/source/vst/hosting/parameterchanges.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "files/files.h"

namespace orvane::host {

using namespace Steinberg;
using namespace Steinberg::Vst;
namespace fs = std::filesystem;

namespace {

std::string utf8(const TChar* text) {
  std::string out;
  for (; *text; ++text) {
    const unsigned c = static_cast<char16_t>(*text);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// Lower case ASCII with white space removed: "Output gain" == "outputgain".
std::string fold(const std::string& s) {
  std::string out;
  for (unsigned char c : s)
    if (!std::isspace(c)) out += static_cast<char>(std::tolower(c));
  return out;
}

// Reference counting and interface lookup for the host's own objects, which
// live as members of the host and are never freed through release().
template <typename Interface>
class HostObject : public Interface {
 public:
  tresult PLUGIN_API queryInterface(const TUID queried, void** obj) override {
    if (FUnknownPrivate::iidEqual(queried, Interface::iid) ||
        FUnknownPrivate::iidEqual(queried, FUnknown::iid)) {
      this->addRef();
      *obj = static_cast<Interface*>(this);
      return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
  }
  uint32 PLUGIN_API addRef() override { return ++refs; }
  uint32 PLUGIN_API release() override { return --refs; }

 private:
  std::atomic<uint32> refs{1};
};

// An in-memory stream for state transfers.
class BytesStream : public HostObject<IBStream> {
 public:
  explicit BytesStream(std::vector<std::uint8_t> bytes = {}) : data(std::move(bytes)) {}
  tresult PLUGIN_API read(void* buffer, int32 n, int32* done) override {
    if (n < 0) return kInvalidArgument;
    const std::size_t k = std::min<std::size_t>(n, data.size() - std::min(pos, data.size()));
    if (k) std::memcpy(buffer, data.data() + pos, k);
    pos += k;
    if (done) *done = static_cast<int32>(k);
    return kResultOk;
  }
  tresult PLUGIN_API write(void* buffer, int32 n, int32* done) override {
    if (n < 0) return kInvalidArgument;
    if (data.size() < pos + n) data.resize(pos + n);
    if (n) std::memcpy(data.data() + pos, buffer, n);
    pos += n;
    if (done) *done = n;
    return kResultOk;
  }
  tresult PLUGIN_API seek(int64 p, int32 mode, int64* result) override {
    const int64 base = mode == kIBSeekCur   ? static_cast<int64>(pos)
                       : mode == kIBSeekEnd ? static_cast<int64>(data.size())
                                            : 0;
    if (base + p < 0) return kInvalidArgument;
    pos = static_cast<std::size_t>(base + p);
    if (result) *result = static_cast<int64>(pos);
    return kResultOk;
  }
  tresult PLUGIN_API tell(int64* p) override {
    if (p) *p = static_cast<int64>(pos);
    return kResultOk;
  }
  std::vector<std::uint8_t> data;
  std::size_t pos = 0;
};

// Receives the controller's edits and restart requests.
class Handler : public HostObject<IComponentHandler> {
 public:
  tresult PLUGIN_API beginEdit(ParamID) override { return kResultOk; }
  tresult PLUGIN_API performEdit(ParamID, ParamValue) override { return kResultOk; }
  tresult PLUGIN_API endEdit(ParamID) override { return kResultOk; }
  tresult PLUGIN_API restartComponent(int32 flags) override {
    restarts.push_back(flags);
    return kResultOk;
  }
  std::vector<int32> restarts;
};

template <typename T>
T* query(FUnknown* from) {
  void* obj = nullptr;
  if (!from || from->queryInterface(T::iid, &obj) != kResultOk) return nullptr;
  return static_cast<T*>(obj);
}

}  // namespace

std::string uidString(const TUID cid) {
  char text[33];
  FUID::fromTUID(cid).toString(text);
  return text;
}

std::string defaultBundle() {
  return ORV_DEFAULT_BUNDLE;
}

// ---------------------------------------------------------------------------
// Module

Module::Module(const std::string& path) {
  std::error_code ec;
  fs::path p(path);
  if (!fs::exists(p, ec)) throw Error("no such bundle: " + path);
  if (fs::is_directory(p, ec)) {
    const fs::path so = p / "Contents" / "x86_64-linux" / (p.stem().string() + ".so");
    if (!fs::exists(so, ec)) throw Error(path + " is not a VST 3 bundle (no " + so.string() + ")");
    p = so;
  }
  soPath = p.string();
  handle = dlopen(soPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) throw Error(path + " cannot be loaded: " + dlerror());
  auto entry = reinterpret_cast<bool (*)(void*)>(dlsym(handle, "ModuleEntry"));
  exitFn = reinterpret_cast<bool (*)()>(dlsym(handle, "ModuleExit"));
  auto getFactory = reinterpret_cast<IPluginFactory* (*)()>(dlsym(handle, "GetPluginFactory"));
  if (!getFactory || !entry || !exitFn) {
    dlclose(handle);
    throw Error(path + " is not a VST 3 module (missing GetPluginFactory or ModuleEntry)");
  }
  if (!entry(handle)) {
    dlclose(handle);
    throw Error(path + ": the module refused to initialise");
  }
  factoryPtr = getFactory();
  if (!factoryPtr) {
    exitFn();
    dlclose(handle);
    throw Error(path + ": the module has no factory");
  }
}

Module::~Module() {
  if (factoryPtr) factoryPtr->release();
  if (exitFn) exitFn();
  if (handle) dlclose(handle);
}

PFactoryInfo Module::factoryInfo() const {
  PFactoryInfo info;
  factoryPtr->getFactoryInfo(&info);
  return info;
}

std::vector<ClassEntry> Module::classes() const {
  std::vector<ClassEntry> out;
  auto* f2 = query<IPluginFactory2>(factoryPtr);
  for (int32 i = 0; i < factoryPtr->countClasses(); ++i) {
    ClassEntry e;
    PClassInfo2 info2;
    PClassInfo info;
    if (f2 && f2->getClassInfo2(i, &info2) == kResultOk) {
      std::memcpy(e.cid, info2.cid, sizeof(TUID));
      e.name = info2.name;
      e.category = info2.category;
      e.subCategories = info2.subCategories;
      e.version = info2.version;
      e.sdkVersion = info2.sdkVersion;
      e.cardinality = info2.cardinality;
      e.flags = info2.classFlags;
    } else if (factoryPtr->getClassInfo(i, &info) == kResultOk) {
      std::memcpy(e.cid, info.cid, sizeof(TUID));
      e.name = info.name;
      e.category = info.category;
      e.cardinality = info.cardinality;
    } else {
      continue;
    }
    out.push_back(e);
  }
  if (f2) f2->release();
  return out;
}

// ---------------------------------------------------------------------------
// Plugin

struct Plugin::Impl {
  HostApplication hostApp;
  Handler handler;
  IConnectionPoint* componentPoint = nullptr;
  IConnectionPoint* controllerPoint = nullptr;
  bool separateController = false;
  bool active = false;
};

Plugin::Plugin(Module& module, const TUID* cid) : impl(std::make_unique<Impl>()) {
  TUID chosen{};
  bool found = false;
  if (cid) {
    std::memcpy(chosen, *cid, sizeof(TUID));
    found = true;
  } else {
    for (const ClassEntry& c : module.classes())
      if (c.category == kVstAudioEffectClass) {
        std::memcpy(chosen, c.cid, sizeof(TUID));
        found = true;
        break;
      }
  }
  if (!found) throw Error("the module has no audio effect class");
  void* obj = nullptr;
  if (module.factory()->createInstance(chosen, IComponent::iid, &obj) != kResultOk || !obj)
    throw Error("the module cannot create class " + uidString(chosen));
  componentPtr = static_cast<IComponent*>(obj);
  if (componentPtr->initialize(&impl->hostApp) != kResultOk) {
    componentPtr->release();
    componentPtr = nullptr;
    throw Error("the audio component refused to initialise");
  }
  processorPtr = query<IAudioProcessor>(componentPtr);
  if (!processorPtr) throw Error("the component is not an audio processor");

  controllerPtr = query<IEditController>(componentPtr);
  if (!controllerPtr) {
    TUID controllerCid;
    if (componentPtr->getControllerClassId(controllerCid) == kResultOk &&
        module.factory()->createInstance(controllerCid, IEditController::iid, &obj) == kResultOk) {
      controllerPtr = static_cast<IEditController*>(obj);
      impl->separateController = true;
      if (controllerPtr->initialize(&impl->hostApp) != kResultOk)
        throw Error("the edit controller refused to initialise");
    }
  }
  if (!controllerPtr) throw Error("the component has no edit controller");
  controllerPtr->setComponentHandler(&impl->handler);
  if (impl->separateController) {
    impl->componentPoint = query<IConnectionPoint>(componentPtr);
    impl->controllerPoint = query<IConnectionPoint>(controllerPtr);
    if (impl->componentPoint && impl->controllerPoint) {
      impl->componentPoint->connect(impl->controllerPoint);
      impl->controllerPoint->connect(impl->componentPoint);
    }
  }
  // Hosts hand the component's state to the controller after creation.
  BytesStream state;
  if (componentPtr->getState(&state) == kResultOk) {
    state.pos = 0;
    controllerPtr->setComponentState(&state);
  }
}

Plugin::~Plugin() {
  if (processorPtr && impl->active) {
    processorPtr->setProcessing(false);
    componentPtr->setActive(false);
  }
  if (impl->componentPoint && impl->controllerPoint) {
    impl->componentPoint->disconnect(impl->controllerPoint);
    impl->controllerPoint->disconnect(impl->componentPoint);
  }
  if (impl->componentPoint) impl->componentPoint->release();
  if (impl->controllerPoint) impl->controllerPoint->release();
  if (controllerPtr) {
    controllerPtr->setComponentHandler(nullptr);
    if (impl->separateController) controllerPtr->terminate();
    controllerPtr->release();
  }
  if (processorPtr) processorPtr->release();
  if (componentPtr) {
    componentPtr->terminate();
    componentPtr->release();
  }
}

const std::vector<int32>& Plugin::restarts() const {
  return impl->handler.restarts;
}

std::vector<ParamDesc> Plugin::parameters() const {
  std::vector<ParamDesc> out;
  for (int32 i = 0; i < controllerPtr->getParameterCount(); ++i) {
    ParameterInfo info{};
    if (controllerPtr->getParameterInfo(i, info) != kResultOk) continue;
    ParamDesc d;
    d.id = info.id;
    d.title = utf8(info.title);
    d.units = utf8(info.units);
    d.defaultNormalized = info.defaultNormalizedValue;
    d.stepCount = info.stepCount;
    d.flags = info.flags;
    String128 text{};
    if (controllerPtr->getParamStringByValue(info.id, info.defaultNormalizedValue, text) ==
        kResultOk)
      d.defaultText = utf8(text);
    out.push_back(d);
  }
  return out;
}

std::vector<BusDesc> Plugin::buses() const {
  std::vector<BusDesc> out;
  for (BusDirection dir : {kInput, kOutput}) {
    for (int32 i = 0; i < componentPtr->getBusCount(kAudio, dir); ++i) {
      BusInfo info{};
      if (componentPtr->getBusInfo(kAudio, dir, i, info) != kResultOk) continue;
      out.push_back({utf8(info.name), info.channelCount, dir == kInput});
    }
  }
  return out;
}

ParamID Plugin::resolve(const std::string& nameOrId) const {
  const auto params = parameters();
  char* end = nullptr;
  const unsigned long id = std::strtoul(nameOrId.c_str(), &end, 10);
  if (!nameOrId.empty() && end && *end == 0) {
    for (const ParamDesc& p : params)
      if (p.id == id) return p.id;
    throw Error("unknown parameter: " + nameOrId);
  }
  for (const ParamDesc& p : params)
    if (fold(p.title) == fold(nameOrId)) return p.id;
  throw Error("unknown parameter: " + nameOrId + " (see the info command for the list)");
}

double Plugin::normalizedFromText(ParamID id, const std::string& text) const {
  ParameterInfo info{};
  bool known = false;
  for (int32 i = 0; i < controllerPtr->getParameterCount() && !known; ++i)
    known = controllerPtr->getParameterInfo(i, info) == kResultOk && info.id == id;
  if (!known) throw Error("unknown parameter " + std::to_string(id));
  if (info.flags & ParameterInfo::kIsReadOnly)
    throw Error("parameter '" + utf8(info.title) + "' is read-only");
  const std::string t = fold(text);
  if (info.flags & ParameterInfo::kIsList) {
    for (int32 e = 0; e <= info.stepCount; ++e) {
      const double v = info.stepCount ? double(e) / info.stepCount : 0.0;
      String128 label{};
      controllerPtr->getParamStringByValue(id, v, label);
      if (fold(utf8(label)) == t || std::to_string(e) == t) return v;
    }
    std::string choices;
    for (int32 e = 0; e <= info.stepCount; ++e) {
      String128 label{};
      controllerPtr->getParamStringByValue(id, info.stepCount ? double(e) / info.stepCount : 0.0,
                                           label);
      choices += (e ? ", " : "") + ("\"" + utf8(label) + "\"");
    }
    throw Error("'" + text + "' is not an entry of '" + utf8(info.title) + "' (" + choices + ")");
  }
  if (info.stepCount == 1) {
    if (t == "on" || t == "true" || t == "1") return 1.0;
    if (t == "off" || t == "false" || t == "0") return 0.0;
    throw Error("'" + utf8(info.title) + "' takes on or off, not '" + text + "'");
  }
  char* end = nullptr;
  const double plain = std::strtod(text.c_str(), &end);
  if (text.empty() || !end || *end != 0 || !std::isfinite(plain))
    throw Error("'" + text + "' is not a number for '" + utf8(info.title) + "'");
  const double lo = controllerPtr->normalizedParamToPlain(id, 0.0);
  const double hi = controllerPtr->normalizedParamToPlain(id, 1.0);
  if (plain < std::min(lo, hi) - 1e-9 || plain > std::max(lo, hi) + 1e-9) {
    char range[96];
    std::snprintf(range, sizeof range, "%g to %g %s", lo, hi, utf8(info.units).c_str());
    throw Error("'" + utf8(info.title) + "' takes " + range + ", not " + text);
  }
  return std::clamp(controllerPtr->plainParamToNormalized(id, plain), 0.0, 1.0);
}

void Plugin::setParameter(ParamID id, double normalized) {
  controllerPtr->setParamNormalized(id, normalized);
  pending.emplace_back(id, normalized);
}

double Plugin::parameter(ParamID id) const {
  return controllerPtr->getParamNormalized(id);
}

void Plugin::setup(double sampleRate, int channels, int maxBlock) {
  if (channels != 1 && channels != 2)
    throw Error("unsupported channel count " + std::to_string(channels) + " (mono or stereo only)");
  SpeakerArrangement arr = channels == 1 ? SpeakerArr::kMono : SpeakerArr::kStereo;
  SpeakerArrangement in = arr, out = arr;
  if (processorPtr->setBusArrangements(&in, 1, &out, 1) != kResultTrue)
    throw Error("the plug-in refuses " + std::string(channels == 1 ? "mono" : "stereo") + " buses");
  ProcessSetup setup{kRealtime, kSample32, maxBlock, sampleRate};
  if (processorPtr->setupProcessing(setup) != kResultOk) {
    char text[64];
    std::snprintf(text, sizeof text, "%g Hz", sampleRate);
    throw Error(std::string("the plug-in refuses to process at ") + text);
  }
}

int32 Plugin::latency() const {
  return static_cast<int32>(processorPtr->getLatencySamples());
}

void Plugin::flush() {
  if (pending.empty()) return;
  setup(48000.0, 2, 512);
  if (componentPtr->setActive(true) != kResultOk) throw Error("the component refused to activate");
  processorPtr->setProcessing(true);
  ParameterChanges changes(static_cast<int32>(pending.size()));
  int32 index = 0;
  for (const auto& [id, value] : pending)
    changes.addParameterData(id, index)->addPoint(0, value, index);
  pending.clear();
  ProcessData data{};
  data.processMode = kOffline;
  data.symbolicSampleSize = kSample32;
  data.inputParameterChanges = &changes;
  const tresult result = processorPtr->process(data);
  processorPtr->setProcessing(false);
  componentPtr->setActive(false);
  if (result != kResultOk) throw Error("the plug-in refused the settings");
}

std::vector<std::uint8_t> Plugin::saveState() const {
  BytesStream s;
  if (componentPtr->getState(&s) != kResultOk)
    throw Error("the component could not save its state");
  return s.data;
}

void Plugin::loadState(const std::vector<std::uint8_t>& bytes) {
  BytesStream a(bytes);
  if (componentPtr->setState(&a) != kResultOk)
    throw Error("the component refused the state (wrong format, version or values)");
  BytesStream b(bytes);
  if (controllerPtr->setComponentState(&b) != kResultOk)
    throw Error("the controller refused the state");
}

ProcessReport Plugin::process(std::vector<std::vector<float>>& audio, double sampleRate,
                              int blockSize, const std::vector<Automation>& automation,
                              const std::function<void(double)>& progress) {
  if (blockSize < 1 || blockSize > 65536) throw Error("block size must be 1 to 65536");
  const int channels = static_cast<int>(audio.size());
  setup(sampleRate, channels, blockSize);
  if (componentPtr->setActive(true) != kResultOk) throw Error("the component refused to activate");
  impl->active = true;
  processorPtr->setProcessing(true);

  ProcessReport report;
  report.latency = latency();
  const std::int64_t frames = audio.empty() ? 0 : static_cast<std::int64_t>(audio[0].size());
  const std::int64_t total = frames + report.latency;
  std::vector<Automation> points = automation;
  std::stable_sort(points.begin(), points.end(),
                   [](const Automation& a, const Automation& b) { return a.sample < b.sample; });
  std::size_t nextPoint = 0;

  std::vector<std::vector<float>> inBlock(channels, std::vector<float>(blockSize));
  std::vector<std::vector<float>> outBlock(channels, std::vector<float>(blockSize));
  std::vector<std::vector<float>> result(channels, std::vector<float>(frames));
  std::vector<float*> inPtrs(channels), outPtrs(channels);
  for (int c = 0; c < channels; ++c) {
    inPtrs[c] = inBlock[c].data();
    outPtrs[c] = outBlock[c].data();
  }
  AudioBusBuffers inBus{}, outBus{};
  inBus.numChannels = outBus.numChannels = channels;
  inBus.channelBuffers32 = inPtrs.data();
  outBus.channelBuffers32 = outPtrs.data();
  ParameterChanges inChanges(64), outChanges(64);

  const auto started = std::chrono::steady_clock::now();
  for (std::int64_t pos = 0; pos < total; pos += blockSize) {
    const int n = static_cast<int>(std::min<std::int64_t>(blockSize, total - pos));
    for (int c = 0; c < channels; ++c)
      for (int i = 0; i < n; ++i) inBlock[c][i] = pos + i < frames ? audio[c][pos + i] : 0.0f;
    inChanges.clearQueue();
    outChanges.clearQueue();
    int32 index = 0;
    for (const auto& [id, value] : pending)
      inChanges.addParameterData(id, index)->addPoint(0, value, index);
    pending.clear();
    // A point at input sample s is delivered `latency` samples later, when the
    // output that lines up with input sample s is produced.
    while (nextPoint < points.size() && points[nextPoint].sample + report.latency < pos + n) {
      const Automation& a = points[nextPoint++];
      const std::int64_t at = a.sample + report.latency;
      if (at < pos) continue;
      inChanges.addParameterData(a.id, index)
          ->addPoint(static_cast<int32>(at - pos), a.normalized, index);
      controllerPtr->setParamNormalized(a.id, a.normalized);
    }
    ProcessData data{};
    data.processMode = kOffline;
    data.symbolicSampleSize = kSample32;
    data.numSamples = n;
    data.numInputs = data.numOutputs = 1;
    data.inputs = &inBus;
    data.outputs = &outBus;
    data.inputParameterChanges = &inChanges;
    data.outputParameterChanges = &outChanges;
    if (processorPtr->process(data) != kResultOk)
      throw Error("the plug-in failed to process a block");

    for (int32 q = 0; q < outChanges.getParameterCount(); ++q) {
      IParamValueQueue* queue = outChanges.getParameterData(q);
      const int32 count = queue->getPointCount();
      if (count == 0) continue;
      int32 offset = 0;
      ParamValue value = 0;
      queue->getPoint(count - 1, offset, value);
      const ParamID id = queue->getParameterId();
      controllerPtr->setParamNormalized(id, value);  // the host forwards meters to the controller
      switch (id) {
        case 100:
          report.inputPeak = std::max(report.inputPeak, value);
          break;
        case 101:
          report.outputPeak = std::max(report.outputPeak, value);
          break;
        case 102:
          report.reduction = std::max(report.reduction, value);
          break;
        case 103:
          report.neuralActive = value;
          break;
        case 104:
          report.clipped = report.clipped || value > 0.5;
          break;
        default:
          break;
      }
    }
    for (int c = 0; c < channels; ++c)
      for (int i = 0; i < n; ++i) {
        const std::int64_t at = pos + i - report.latency;
        if (at >= 0 && at < frames) result[c][at] = outBlock[c][i];
      }
    if (progress) progress(double(pos + n) / double(total));
  }
  report.wallSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  report.realTimeFactor = frames > 0 ? report.wallSeconds / (double(frames) / sampleRate) : 0.0;
  processorPtr->setProcessing(false);
  componentPtr->setActive(false);
  impl->active = false;
  audio = std::move(result);
  return report;
}

// ---------------------------------------------------------------------------
// Files

Audio readAudio(const std::string& path) {
  std::error_code ec;
  if (!fs::exists(path, ec)) throw Error("no such file: " + path);
  if (fs::is_directory(path, ec)) throw Error(path + " is a folder, not an audio file");
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) throw Error("cannot read " + path + ": not an audio file libsndfile knows");
  Audio a;
  a.sampleRate = info.samplerate;
  if (info.channels < 1 || info.frames < 0) {
    sf_close(f);
    throw Error(path + ": no audio channels");
  }
  std::vector<float> interleaved(static_cast<std::size_t>(info.frames) * info.channels);
  const sf_count_t got = sf_readf_float(f, interleaved.data(), info.frames);
  sf_close(f);
  if (got != info.frames) throw Error("cannot read " + path + ": the file is truncated");
  a.channels.assign(info.channels, std::vector<float>(static_cast<std::size_t>(got)));
  for (sf_count_t i = 0; i < got; ++i)
    for (int c = 0; c < info.channels; ++c) a.channels[c][i] = interleaved[i * info.channels + c];
  return a;
}

namespace {

int formatFor(const std::string& path) {
  std::string ext = fs::path(path).extension().string();
  for (auto& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  if (ext == ".wav") return SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  if (ext == ".flac") return SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
  if (ext == ".aiff" || ext == ".aif") return SF_FORMAT_AIFF | SF_FORMAT_FLOAT;
  throw Error("unsupported output format '" + ext + "' (use .wav, .flac or .aiff)");
}

}  // namespace

void checkAudioOutput(const std::string& path) {
  formatFor(path);
  std::error_code ec;
  const fs::path parent = fs::path(path).parent_path();
  if (!parent.empty() && !fs::is_directory(parent, ec))
    throw Error("cannot write " + path + ": no such folder " + parent.string());
}

void writeAudioAtomic(const std::string& path, const Audio& audio) {
  const int format = formatFor(path);
  SF_INFO info{};
  info.samplerate = audio.sampleRate;
  info.channels = static_cast<int>(audio.channels.size());
  info.format = format;
  if (!sf_format_check(&info)) throw Error("cannot write " + path + " in this format");
  const std::int64_t frames = audio.frames();
  std::vector<float> interleaved(static_cast<std::size_t>(frames) * info.channels);
  for (std::int64_t i = 0; i < frames; ++i)
    for (int c = 0; c < info.channels; ++c)
      interleaved[i * info.channels + c] = audio.channels[c][i];
  std::string openError;
  const bool written = files::writeAtomically(path, [&](const std::string& temp) {
    SNDFILE* f = sf_open(temp.c_str(), SFM_WRITE, &info);
    if (!f) {
      openError = sf_strerror(nullptr);
      return false;
    }
    const sf_count_t put = sf_writef_float(f, interleaved.data(), frames);
    return sf_close(f) == 0 && put == frames;
  });
  if (!written)
    throw Error("cannot write " + path + ": " +
                (openError.empty() ? std::string("the disk refused the data") : openError));
}

void writeFileAtomic(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  if (!files::writeFileAtomically(path, bytes)) throw Error("cannot write " + path);
}

std::vector<std::uint8_t> readFileBytes(const std::string& path) {
  // State files are tens of bytes; the limit only keeps a wrong path (a disk
  // image, a device) from being read whole.
  auto bytes = files::readFile(path, std::size_t(1) << 20);
  if (!bytes) throw Error("cannot read " + path);
  return *bytes;
}

}  // namespace orvane::host
