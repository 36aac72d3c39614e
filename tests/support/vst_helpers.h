// Host-side stand-ins for driving the plug-in objects in tests: the host
// library's stream, handler and reference counting, and a connection peer
// that records what it gets.
#pragma once

#include <pluginterfaces/vst/ivstmessage.h>
#include <public.sdk/source/vst/hosting/hostclasses.h>
#include <public.sdk/source/vst/utility/stringconvert.h>

#include <cstring>
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
  Steinberg::tresult PLUGIN_API connect(Steinberg::Vst::IConnectionPoint*) override {
    return Steinberg::kResultOk;
  }
  Steinberg::tresult PLUGIN_API disconnect(Steinberg::Vst::IConnectionPoint*) override {
    return Steinberg::kResultOk;
  }
  Steinberg::tresult PLUGIN_API notify(Steinberg::Vst::IMessage* message) override {
    Steinberg::int64 mode = -1000;
    if (message->getAttributes()) message->getAttributes()->getInt("mode", mode);
    messages.push_back({message->getMessageID() ? message->getMessageID() : "", mode});
    return Steinberg::kResultOk;
  }

  struct Received {
    std::string id;
    Steinberg::int64 mode;
  };
  std::vector<Received> messages;
};

// The host application object the SDK's hosting helpers provide (it can
// allocate messages and attribute lists); it lives for the test process.
inline Steinberg::FUnknown* hostContext() {
  static auto* host = new Steinberg::Vst::HostApplication;
  return host;
}

// A message with an identifier and optionally an integer "mode" attribute,
// allocated the way a host does.
inline Steinberg::IPtr<Steinberg::Vst::IMessage> makeMessage(const char* id,
                                                             const Steinberg::int64* mode) {
  using Steinberg::Vst::IMessage;
  IMessage* raw = nullptr;
  Steinberg::TUID cid;
  std::memcpy(cid, IMessage::iid, sizeof(Steinberg::TUID));
  static_cast<Steinberg::Vst::HostApplication*>(hostContext())
      ->createInstance(cid, cid, reinterpret_cast<void**>(&raw));
  Steinberg::IPtr<IMessage> message = Steinberg::owned(raw);
  if (message && id) message->setMessageID(id);
  if (message && mode) message->getAttributes()->setInt("mode", *mode);
  return message;
}

// UTF-16 title to UTF-8 for comparisons.
inline std::string toUtf8(const Steinberg::Vst::TChar* text) {
  return Steinberg::Vst::StringConvert::convert(text);
}

}  // namespace orvane::test
