#include "support/vst_helpers.h"

#include <public.sdk/source/vst/hosting/hostclasses.h>
#include <public.sdk/source/vst/utility/stringconvert.h>

#include <algorithm>
#include <cstring>

namespace orvane::test {

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {
template <typename Self, typename Iface>
tresult queryAs(Self* self, const TUID iid, void** obj) {
  if (FUnknownPrivate::iidEqual(iid, FUnknown::iid) || FUnknownPrivate::iidEqual(iid, Iface::iid)) {
    self->addRef();
    *obj = static_cast<Iface*>(self);
    return kResultOk;
  }
  *obj = nullptr;
  return kNoInterface;
}
}  // namespace

tresult PLUGIN_API MemoryStream::queryInterface(const TUID queried, void** obj) {
  return queryAs<MemoryStream, IBStream>(this, queried, obj);
}

tresult PLUGIN_API MemoryStream::read(void* buffer, int32 numBytes, int32* numBytesRead) {
  if (numBytes < 0) return kInvalidArgument;
  const std::size_t n =
      std::min<std::size_t>(numBytes, data.size() - std::min(position, data.size()));
  if (n) std::memcpy(buffer, data.data() + position, n);
  position += n;
  if (numBytesRead) *numBytesRead = static_cast<int32>(n);
  return kResultOk;
}

tresult PLUGIN_API MemoryStream::write(void* buffer, int32 numBytes, int32* numBytesWritten) {
  if (numBytes < 0) return kInvalidArgument;
  std::size_t n = numBytes;
  if (position + n > writeLimit) n = writeLimit > position ? writeLimit - position : 0;
  if (data.size() < position + n) data.resize(position + n);
  if (n) std::memcpy(data.data() + position, buffer, n);
  position += n;
  if (numBytesWritten) *numBytesWritten = static_cast<int32>(n);
  return n == static_cast<std::size_t>(numBytes) ? kResultOk : kResultFalse;
}

tresult PLUGIN_API MemoryStream::seek(int64 pos, int32 mode, int64* result) {
  int64 base = mode == IBStream::kIBSeekCur   ? static_cast<int64>(position)
               : mode == IBStream::kIBSeekEnd ? static_cast<int64>(data.size())
                                              : 0;
  if (base + pos < 0) return kInvalidArgument;
  position = static_cast<std::size_t>(base + pos);
  if (result) *result = static_cast<int64>(position);
  return kResultOk;
}

tresult PLUGIN_API MemoryStream::tell(int64* pos) {
  if (pos) *pos = static_cast<int64>(position);
  return kResultOk;
}

tresult PLUGIN_API RecordingHandler::queryInterface(const TUID queried, void** obj) {
  return queryAs<RecordingHandler, IComponentHandler>(this, queried, obj);
}
tresult PLUGIN_API RecordingHandler::beginEdit(ParamID id) {
  edits.push_back("begin " + std::to_string(id));
  return kResultOk;
}
tresult PLUGIN_API RecordingHandler::performEdit(ParamID id, ParamValue value) {
  char text[64];
  std::snprintf(text, sizeof text, "perform %u %.6g", id, value);
  edits.emplace_back(text);
  return kResultOk;
}
tresult PLUGIN_API RecordingHandler::endEdit(ParamID id) {
  edits.push_back("end " + std::to_string(id));
  return kResultOk;
}
tresult PLUGIN_API RecordingHandler::restartComponent(int32 flags) {
  restarts.push_back(flags);
  return kResultOk;
}

tresult PLUGIN_API RecordingPeer::queryInterface(const TUID queried, void** obj) {
  return queryAs<RecordingPeer, IConnectionPoint>(this, queried, obj);
}
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
