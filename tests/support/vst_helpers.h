// Host-side stand-ins for driving the plug-in objects in tests: an in-memory
// stream, a component handler and a connection peer that record what they get.
#pragma once

#include <pluginterfaces/base/ibstream.h>
#include <pluginterfaces/vst/ivsteditcontroller.h>
#include <pluginterfaces/vst/ivstmessage.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace orvane::test {

// Reference counting shared by the stand-ins below. They live on the stack of
// a test, so the count is only kept honest, never acted on.
template <typename Interface>
class Counted : public Interface {
 public:
  Steinberg::uint32 PLUGIN_API addRef() override { return ++refs; }
  Steinberg::uint32 PLUGIN_API release() override { return --refs; }

 private:
  std::atomic<Steinberg::uint32> refs{1};
};

class MemoryStream : public Counted<Steinberg::IBStream> {
 public:
  MemoryStream() = default;
  explicit MemoryStream(std::vector<std::uint8_t> bytes) : data(std::move(bytes)) {}

  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
  Steinberg::tresult PLUGIN_API read(void* buffer, Steinberg::int32 numBytes,
                                     Steinberg::int32* numBytesRead) override;
  Steinberg::tresult PLUGIN_API write(void* buffer, Steinberg::int32 numBytes,
                                      Steinberg::int32* numBytesWritten) override;
  Steinberg::tresult PLUGIN_API seek(Steinberg::int64 pos, Steinberg::int32 mode,
                                     Steinberg::int64* result) override;
  Steinberg::tresult PLUGIN_API tell(Steinberg::int64* pos) override;

  std::vector<std::uint8_t> data;
  std::size_t position = 0;
  // Writes fail once the stream holds this many bytes (a full disk).
  std::size_t writeLimit = SIZE_MAX;
};

class RecordingHandler : public Counted<Steinberg::Vst::IComponentHandler> {
 public:
  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
  Steinberg::tresult PLUGIN_API beginEdit(Steinberg::Vst::ParamID id) override;
  Steinberg::tresult PLUGIN_API performEdit(Steinberg::Vst::ParamID id,
                                            Steinberg::Vst::ParamValue value) override;
  Steinberg::tresult PLUGIN_API endEdit(Steinberg::Vst::ParamID id) override;
  Steinberg::tresult PLUGIN_API restartComponent(Steinberg::int32 flags) override;

  std::vector<Steinberg::int32> restarts;
  std::vector<std::string> edits;  // "begin 3", "perform 3 0.5", "end 3"
};

// Stands in for the other side of a connection: records each message's
// identifier and "mode" attribute (or -1000 when absent).
class RecordingPeer : public Counted<Steinberg::Vst::IConnectionPoint> {
 public:
  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
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
