// The audio component and edit controller of one class, created, initialised
// and connected as a host does it; the controller mirrors the component's
// state. Main thread, except that process calls (through ProcessBlock or the
// stream driver) may run on one other thread at a time.
#pragma once

#include <pluginterfaces/vst/ivstaudioprocessor.h>
#include <pluginterfaces/vst/ivstcomponent.h>
#include <pluginterfaces/vst/ivsteditcontroller.h>
#include <pluginterfaces/vst/ivstmessage.h>
#include <public.sdk/source/vst/hosting/hostclasses.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "host_objects.h"
#include "module.h"

namespace orvane::host {

struct ParamDesc {
  Steinberg::Vst::ParamID id = 0;
  std::string title;  // as the controller shows it now, UTF-8
  std::string units;
  double defaultNormalized = 0;
  std::string defaultText;
  Steinberg::int32 stepCount = 0;
  Steinberg::int32 flags = 0;  // ParameterInfo flags
};

struct BusDesc {
  std::string name;
  Steinberg::int32 channels = 0;
  bool input = true;
};

class Plugin {
 public:
  // The first audio effect class of the module, or the class `cid`.
  explicit Plugin(Module& module, const Steinberg::TUID* cid = nullptr);
  ~Plugin();
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  std::vector<ParamDesc> parameters() const;
  std::vector<BusDesc> buses() const;
  // The class the component names as its controller.
  Steinberg::FUID controllerClass() const;
  // A value as the controller displays it, UTF-8.
  std::string valueText(Steinberg::Vst::ParamID id, double normalized) const;

  // Sets a parameter through the controller (as an editor edit would) and
  // queues it for the component's next block.
  void setParameter(Steinberg::Vst::ParamID id, double normalized);
  double parameter(Steinberg::Vst::ParamID id) const;
  // The queued settings, handed over once.
  std::vector<std::pair<Steinberg::Vst::ParamID, double>> takeQueued();

  // Buses for the channel count, then offline processing at the rate; throws
  // when refused.
  void setup(double sampleRate, int channels, int maxBlock);
  Steinberg::int32 latency() const;

  // Activation and processing on, and back off. stop() is safe to call when
  // not started.
  void start();
  void stop();
  // What a host does when the controller reports kLatencyChanged: processing
  // off, deactivate, activate, processing on. The latency is read afresh.
  void restart();
  // True when the controller asked for a latency restart since the last call.
  bool takeLatencyRestart();

  // Delivers the queued settings to the component now, with a block of no
  // samples (a host's parameter flush), so that a saved state holds them.
  void flush();

  std::vector<std::uint8_t> saveState() const;
  // Loads a component state into both objects; throws when refused.
  void loadState(const std::vector<std::uint8_t>& bytes);

  Steinberg::Vst::IComponent* component() const { return componentPtr; }
  Steinberg::Vst::IAudioProcessor* processor() const { return processorPtr; }
  Steinberg::Vst::IEditController* controller() const { return controllerPtr; }
  const std::vector<Steinberg::int32>& restarts() const { return handler.restarts; }

 private:
  void create(Module& module, const Steinberg::TUID& cid);
  void connect();
  void release() noexcept;

  Steinberg::Vst::HostApplication hostApp;
  RecordingHandler handler;
  Steinberg::Vst::IComponent* componentPtr = nullptr;
  Steinberg::Vst::IAudioProcessor* processorPtr = nullptr;
  Steinberg::Vst::IEditController* controllerPtr = nullptr;
  Steinberg::Vst::IConnectionPoint* componentPoint = nullptr;
  Steinberg::Vst::IConnectionPoint* controllerPoint = nullptr;
  bool separateController = false;
  bool running = false;
  std::size_t restartsSeen = 0;
  std::vector<std::pair<Steinberg::Vst::ParamID, double>> queued;
};

}  // namespace orvane::host
