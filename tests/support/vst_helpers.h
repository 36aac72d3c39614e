// Host-side stand-ins for driving the plug-in objects in tests: the host
// library's stream, handler and reference counting, and a connection peer
// that records what it gets.
#pragma once

#include <pluginterfaces/vst/ivstmessage.h>

#include <string>
#include <vector>

#include "vsthost/host_objects.h"

namespace orvane::test {

template <typename Interface>
using Counted = host::Counted<Interface>;
using host::MemoryStream;
using host::RecordingHandler;

// Stands in for the other side of a connection: records each message's
// identifier and "mode" attribute (or -1000 when absent).
class RecordingPeer : public Counted<Steinberg::Vst::IConnectionPoint> {
 public:
  Steinberg::tresult PLUGIN_API connect(Steinberg::Vst::IConnectionPoint*) override;
  Steinberg::tresult PLUGIN_API disconnect(Steinberg::Vst::IConnectionPoint*) override;
  Steinberg::tresult PLUGIN_API notify(Steinberg::Vst::IMessage* message) override;

  struct Received {
    std::string id;
    Steinberg::int64 mode;
  };
  std::vector<Received> messages;
};

// A message with an identifier and optionally an integer "mode" attribute,
// allocated the way a host does.
Steinberg::IPtr<Steinberg::Vst::IMessage> makeMessage(const char* id, const Steinberg::int64* mode);

// The host application object the SDK's hosting helpers provide (it can
// allocate messages and attribute lists).
Steinberg::FUnknown* hostContext();

// UTF-16 title to UTF-8 for comparisons.
std::string toUtf8(const Steinberg::Vst::TChar* text);

}  // namespace orvane::test
