#include "host_objects.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace orvane::host {

using namespace Steinberg;
using namespace Steinberg::Vst;

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
  const int64 base = mode == kIBSeekCur   ? static_cast<int64>(position)
                     : mode == kIBSeekEnd ? static_cast<int64>(data.size())
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

}  // namespace orvane::host
