// Objects a host hands to a plug-in: reference counting for objects the host
// owns, an in-memory stream for states, and a component handler that records
// what the controller asks of the host.
#pragma once

#include <pluginterfaces/base/ibstream.h>
#include <pluginterfaces/vst/ivsteditcontroller.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace orvane::host {

// Reference counting and interface lookup for host objects that live as
// members or on the stack of their owner and are never freed through
// release(): the count is kept honest, never acted on. Objects that offer
// more than one interface override queryInterface.
template <typename Interface>
class Counted : public Interface {
 public:
  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID queried, void** obj) override {
    if (Steinberg::FUnknownPrivate::iidEqual(queried, Interface::iid) ||
        Steinberg::FUnknownPrivate::iidEqual(queried, Steinberg::FUnknown::iid)) {
      addRef();
      *obj = static_cast<Interface*>(this);
      return Steinberg::kResultOk;
    }
    *obj = nullptr;
    return Steinberg::kNoInterface;
  }
  Steinberg::uint32 PLUGIN_API addRef() override { return ++refs; }
  Steinberg::uint32 PLUGIN_API release() override { return --refs; }

 private:
  std::atomic<Steinberg::uint32> refs{1};
};

// A growable byte stream for component states.
class MemoryStream : public Counted<Steinberg::IBStream> {
 public:
  MemoryStream() = default;
  explicit MemoryStream(std::vector<std::uint8_t> bytes) : data(std::move(bytes)) {}

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

// Records the controller's edit gestures and restart requests. Main thread.
class RecordingHandler : public Counted<Steinberg::Vst::IComponentHandler> {
 public:
  Steinberg::tresult PLUGIN_API beginEdit(Steinberg::Vst::ParamID id) override;
  Steinberg::tresult PLUGIN_API performEdit(Steinberg::Vst::ParamID id,
                                            Steinberg::Vst::ParamValue value) override;
  Steinberg::tresult PLUGIN_API endEdit(Steinberg::Vst::ParamID id) override;
  Steinberg::tresult PLUGIN_API restartComponent(Steinberg::int32 flags) override;

  std::vector<Steinberg::int32> restarts;  // RestartFlags, in order
  std::vector<std::string> edits;          // "begin 3", "perform 3 0.5", "end 3"
};

}  // namespace orvane::host
