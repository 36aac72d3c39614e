#include "module.h"

#include <dlfcn.h>

#include <cstring>
#include <filesystem>

namespace orvane::host {

using namespace Steinberg;
namespace fs = std::filesystem;

std::string uidString(const TUID cid) {
  char text[33];
  FUID::fromTUID(cid).toString(text);
  return text;
}

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
  factoryPtr->release();
  exitFn();
  dlclose(handle);
}

PFactoryInfo Module::factoryInfo() const {
  PFactoryInfo info;
  factoryPtr->getFactoryInfo(&info);
  return info;
}

std::vector<ClassEntry> Module::classes() const {
  std::vector<ClassEntry> out;
  FUnknownPtr<IPluginFactory2> f2(factoryPtr);
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
  return out;
}

}  // namespace orvane::host
