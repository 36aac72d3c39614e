// The module's entry points and its factory.
#include "module/module.h"

#include <dlfcn.h>
#include <pluginterfaces/vst/vsttypes.h>
#include <public.sdk/source/main/pluginfactory.h>

#include <cstring>
#include <string>

#include "controller/controller.h"
#include "editor/vst3/vst3_view.h"
#include "params/parameters.h"
#include "processor/processor.h"
#include "protocol/ids.h"

// The SDK's module support: InitModule/DeinitModule run its registered
// initialisers and terminators (this module registers none) and read this handle.
// NOLINTBEGIN(readability-identifier-naming): names the SDK and hosts look up
void* moduleHandle = nullptr;
bool InitModule();
bool DeinitModule();
// NOLINTEND(readability-identifier-naming)

namespace orvane {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// The plug-in's version is the build's project version; the SDK version is the
// one of the headers this module was compiled against.
constexpr const char* kVersion = ORV_VERSION;
constexpr const char* kSdkVersion = kVstVersionString;

int loadCount = 0;
std::string loadedPath;

// Creates the factory's two listed classes' and the unlisted identifiers'
// audio components; everything else is the SDK factory's.
class OrvaneFactory : public CPluginFactory {
 public:
  using CPluginFactory::CPluginFactory;

  tresult PLUGIN_API createInstance(FIDString cid, FIDString iid, void** obj) override {
    if (!cid || !iid || !obj) return kInvalidArgument;
    int mode = -1;
    if (std::memcmp(cid, LiveID.toTUID(), sizeof(TUID)) == 0)
      mode = static_cast<int>(Mode::LiveDsp);
    else if (std::memcmp(cid, NeuralLiveID.toTUID(), sizeof(TUID)) == 0)
      mode = static_cast<int>(Mode::NeuralLive);
    if (mode < 0) return CPluginFactory::createInstance(cid, iid, obj);
    IAudioProcessor* created = new Processor(mode);
    const tresult result = created->queryInterface(iid, obj);
    created->release();
    return result;
  }
};

// The controllers hosts create open the editor.
FUnknown* createController(void* /*context*/) {
  return static_cast<IEditController*>(new Controller(&makeEditor));
}

const PClassInfo2& processorClass() {
  static const PClassInfo2 info(ProcessorID.toTUID(), PClassInfo::kManyInstances,
                                kVstAudioEffectClass, "Orvane", kDistributable, "Fx|Restoration",
                                nullptr, kVersion, kSdkVersion);
  return info;
}

const PClassInfo2& controllerClass() {
  static const PClassInfo2 info(ControllerID.toTUID(), PClassInfo::kManyInstances,
                                kVstComponentControllerClass, "Orvane Controller", 0, "", nullptr,
                                kVersion, kSdkVersion);
  return info;
}

}  // namespace

const std::string& modulePath() {
  return loadedPath;
}

}  // namespace orvane

// The exported VST 3 entry points, unmangled.
// NOLINTBEGIN(readability-identifier-naming): the names hosts look up
extern "C" {

SMTG_EXPORT_SYMBOL Steinberg::IPluginFactory* PLUGIN_API GetPluginFactory() {
  using namespace Steinberg;
  if (gPluginFactory) {
    gPluginFactory->addRef();
    return gPluginFactory;
  }
  static const PFactoryInfo factoryInfo("Orvane", "", "", PFactoryInfo::kUnicode);
  auto* factory = new orvane::OrvaneFactory(factoryInfo);
  gPluginFactory = factory;
  factory->registerClass(&orvane::processorClass(), orvane::Processor::create);
  factory->registerClass(&orvane::controllerClass(), orvane::createController);
  return gPluginFactory;
}

// Hosts call these around the module's lifetime; loads are counted so that
// nested loads initialise once.
SMTG_EXPORT_SYMBOL bool ModuleEntry(void* sharedLibraryHandle) {
  if (++orvane::loadCount == 1) {
    moduleHandle = sharedLibraryHandle;
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ModuleEntry), &info) && info.dli_fname)
      orvane::loadedPath = info.dli_fname;
    return InitModule();
  }
  return true;
}

SMTG_EXPORT_SYMBOL bool ModuleExit() {
  if (orvane::loadCount <= 0) return false;
  if (--orvane::loadCount == 0) {
    moduleHandle = nullptr;
    return DeinitModule();
  }
  return true;
}

}  // extern "C"
// NOLINTEND(readability-identifier-naming)
