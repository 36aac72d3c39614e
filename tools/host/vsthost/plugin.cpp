#include "plugin.h"

#include <pluginterfaces/vst/vstspeaker.h>
#include <public.sdk/source/vst/utility/stringconvert.h>

#include <cstdio>
#include <cstring>

#include "process_block.h"

namespace orvane::host {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

template <typename T>
T* query(FUnknown* from) {
  void* obj = nullptr;
  if (!from || from->queryInterface(T::iid, &obj) != kResultOk) return nullptr;
  return static_cast<T*>(obj);
}

std::string utf8(const TChar* text) {
  return StringConvert::convert(text);
}

}  // namespace

Plugin::Plugin(Module& module, const TUID* cid) {
  TUID chosen{};
  bool found = cid != nullptr;
  if (cid) {
    std::memcpy(chosen, *cid, sizeof(TUID));
  } else {
    for (const ClassEntry& c : module.classes())
      if (c.category == kVstAudioEffectClass) {
        std::memcpy(chosen, c.cid, sizeof(TUID));
        found = true;
        break;
      }
  }
  if (!found) throw Error("the module has no audio effect class");
  try {
    create(module, chosen);
    connect();
  } catch (...) {
    release();
    throw;
  }
}

Plugin::~Plugin() {
  release();
}

void Plugin::create(Module& module, const TUID& cid) {
  void* obj = nullptr;
  if (module.factory()->createInstance(cid, IComponent::iid, &obj) != kResultOk || !obj)
    throw Error("the module cannot create class " + uidString(cid));
  componentPtr = static_cast<IComponent*>(obj);
  if (componentPtr->initialize(&hostApp) != kResultOk) {
    componentPtr->release();
    componentPtr = nullptr;
    throw Error("the audio component refused to initialise");
  }
  processorPtr = query<IAudioProcessor>(componentPtr);
  if (!processorPtr) throw Error("the component is not an audio processor");

  controllerPtr = query<IEditController>(componentPtr);
  if (controllerPtr) return;
  TUID controllerCid;
  obj = nullptr;
  if (componentPtr->getControllerClassId(controllerCid) != kResultOk ||
      module.factory()->createInstance(controllerCid, IEditController::iid, &obj) != kResultOk ||
      !obj)
    throw Error("the component has no edit controller");
  controllerPtr = static_cast<IEditController*>(obj);
  separateController = true;
  if (controllerPtr->initialize(&hostApp) != kResultOk)
    throw Error("the edit controller refused to initialise");
}

void Plugin::connect() {
  controllerPtr->setComponentHandler(&handler);
  if (separateController) {
    componentPoint = query<IConnectionPoint>(componentPtr);
    controllerPoint = query<IConnectionPoint>(controllerPtr);
    if (componentPoint && controllerPoint) {
      componentPoint->connect(controllerPoint);
      controllerPoint->connect(componentPoint);
    }
  }
  // Hosts hand the component's state to the controller after creation.
  MemoryStream state;
  if (componentPtr->getState(&state) == kResultOk) {
    state.position = 0;
    controllerPtr->setComponentState(&state);
  }
  // What the controller asked while it was being set up is not news to a
  // host that has not started processing.
  restartsSeen = handler.restarts.size();
}

void Plugin::release() noexcept {
  stop();
  if (componentPoint && controllerPoint) {
    componentPoint->disconnect(controllerPoint);
    controllerPoint->disconnect(componentPoint);
  }
  if (componentPoint) componentPoint->release();
  if (controllerPoint) controllerPoint->release();
  componentPoint = controllerPoint = nullptr;
  if (controllerPtr) {
    controllerPtr->setComponentHandler(nullptr);
    if (separateController) controllerPtr->terminate();
    controllerPtr->release();
    controllerPtr = nullptr;
  }
  if (processorPtr) processorPtr->release();
  processorPtr = nullptr;
  if (componentPtr) {
    componentPtr->terminate();
    componentPtr->release();
    componentPtr = nullptr;
  }
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
    d.defaultText = valueText(info.id, info.defaultNormalizedValue);
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

FUID Plugin::controllerClass() const {
  TUID cid{};
  if (componentPtr->getControllerClassId(cid) != kResultOk) return {};
  return FUID::fromTUID(cid);
}

std::string Plugin::valueText(ParamID id, double normalized) const {
  String128 text{};
  if (controllerPtr->getParamStringByValue(id, normalized, text) != kResultOk) return {};
  return utf8(text);
}

void Plugin::setParameter(ParamID id, double normalized) {
  controllerPtr->setParamNormalized(id, normalized);
  queued.emplace_back(id, normalized);
}

double Plugin::parameter(ParamID id) const {
  return controllerPtr->getParamNormalized(id);
}

std::vector<std::pair<ParamID, double>> Plugin::takeQueued() {
  return std::exchange(queued, {});
}

void Plugin::setup(double sampleRate, int channels, int maxBlock) {
  if (channels != 1 && channels != 2)
    throw Error("unsupported channel count " + std::to_string(channels) + " (mono or stereo only)");
  SpeakerArrangement arrangement = channels == 1 ? SpeakerArr::kMono : SpeakerArr::kStereo;
  SpeakerArrangement in = arrangement, out = arrangement;
  if (processorPtr->setBusArrangements(&in, 1, &out, 1) != kResultTrue)
    throw Error("the plug-in refuses " + std::string(channels == 1 ? "mono" : "stereo") + " buses");
  // Files are processed offline, and every block says so too.
  ProcessSetup setup{kOffline, kSample32, maxBlock, sampleRate};
  if (processorPtr->setupProcessing(setup) != kResultOk) {
    char text[64];
    std::snprintf(text, sizeof text, "%g Hz", sampleRate);
    throw Error(std::string("the plug-in refuses to process at ") + text);
  }
}

int32 Plugin::latency() const {
  return static_cast<int32>(processorPtr->getLatencySamples());
}

void Plugin::start() {
  if (componentPtr->setActive(true) != kResultOk) throw Error("the component refused to activate");
  running = true;
  processorPtr->setProcessing(true);
}

void Plugin::stop() {
  if (!running) return;
  processorPtr->setProcessing(false);
  componentPtr->setActive(false);
  running = false;
}

void Plugin::restart() {
  stop();
  start();
}

bool Plugin::takeLatencyRestart() {
  bool asked = false;
  for (; restartsSeen < handler.restarts.size(); ++restartsSeen)
    asked = asked || (handler.restarts[restartsSeen] & kLatencyChanged) != 0;
  return asked;
}

void Plugin::flush() {
  if (queued.empty()) return;
  setup(48000.0, 2, 512);
  start();
  ProcessBlock block(2, 0, kOffline);
  for (const auto& [id, value] : takeQueued()) block.change(id, 0, value);
  const tresult result = block.run(*processorPtr, 0);
  stop();
  if (result != kResultOk) throw Error("the plug-in refused the settings");
}

std::vector<std::uint8_t> Plugin::saveState() const {
  MemoryStream s;
  if (componentPtr->getState(&s) != kResultOk)
    throw Error("the component could not save its state");
  return s.data;
}

void Plugin::loadState(const std::vector<std::uint8_t>& bytes) {
  MemoryStream a(bytes);
  if (componentPtr->setState(&a) != kResultOk)
    throw Error("the component refused the state (wrong format, version or values)");
  MemoryStream b(bytes);
  if (controllerPtr->setComponentState(&b) != kResultOk)
    throw Error("the controller refused the state");
}

}  // namespace orvane::host
