#include "support/vst_helpers.h"

#include <public.sdk/source/vst/hosting/hostclasses.h>
#include <public.sdk/source/vst/utility/stringconvert.h>

#include <cstring>

namespace orvane::test {

using namespace Steinberg;
using namespace Steinberg::Vst;

tresult PLUGIN_API RecordingPeer::connect(IConnectionPoint*) {
  return kResultOk;
}
tresult PLUGIN_API RecordingPeer::disconnect(IConnectionPoint*) {
  return kResultOk;
}
tresult PLUGIN_API RecordingPeer::notify(IMessage* message) {
  int64 mode = -1000;
  if (message->getAttributes()) message->getAttributes()->getInt("mode", mode);
  messages.push_back({message->getMessageID() ? message->getMessageID() : "", mode});
  return kResultOk;
}

FUnknown* hostContext() {
  static HostApplication* host = new HostApplication;  // lives for the test process
  return host;
}

IPtr<IMessage> makeMessage(const char* id, const int64* mode) {
  auto* host = static_cast<HostApplication*>(hostContext());
  IMessage* raw = nullptr;
  TUID cid, iid;
  std::memcpy(cid, IMessage::iid, sizeof(TUID));
  std::memcpy(iid, IMessage::iid, sizeof(TUID));
  host->createInstance(cid, iid, reinterpret_cast<void**>(&raw));
  IPtr<IMessage> message = owned(raw);
  if (message && id) message->setMessageID(id);
  if (message && mode) message->getAttributes()->setInt("mode", *mode);
  return message;
}

std::string toUtf8(const TChar* text) {
  return StringConvert::convert(text);
}

}  // namespace orvane::test
