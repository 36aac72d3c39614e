// libFuzzer target for the component state reader: any bytes either fail
// cleanly or yield a record whose values are all in range and that writes back
// to the same leading bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "protocol/state_record.h"
#include "support/vst_helpers.h"

// NOLINTNEXTLINE(readability-identifier-naming): the entry point libFuzzer calls
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace orvane;
  test::MemoryStream in(std::vector<std::uint8_t>(data, data + size));
  StateRecord record;
  record.params.fill(-1.0f);
  if (readStateRecord(&in, record) != Steinberg::kResultOk) {
    if (record.params[0] != -1.0f) std::abort();  // a failed read must not write the record
    return 0;
  }
  for (float v : record.params)
    if (!(v >= 0.0f && v <= 1.0f)) std::abort();
  if (record.hasMode != (record.version == 2)) std::abort();
  if (record.version == 2) {
    test::MemoryStream out;
    if (writeStateRecord(&out, record.params, record.modeNorm) != Steinberg::kResultOk)
      std::abort();
    if (out.data.size() != 44 || std::memcmp(out.data.data(), data, 44) != 0) std::abort();
  }
  return 0;
}
