// A VST 3 module opened as a host opens one: the shared object inside a
// .vst3 bundle loaded with dlopen, its entry point called, its factory taken.
// Every failure of this library is reported as a host::Error whose message is
// one line meant for the user.
#pragma once

#include <pluginterfaces/base/ipluginbase.h>

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

// The identifier as the SDK prints it: 32 upper-case hex digits.
std::string uidString(const Steinberg::TUID cid);

class Module {
 public:
  // `path` is a .vst3 bundle folder or the shared object inside one.
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

}  // namespace orvane::host
