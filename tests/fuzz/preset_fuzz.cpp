// libFuzzer target for the preset reader: any bytes are either rejected with
// the output untouched or give ten values in [0, 1] that encode back to the file.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "presets/preset_file.h"

// NOLINTNEXTLINE(readability-identifier-naming): the entry point libFuzzer calls
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace orvane;
  const std::vector<std::uint8_t> bytes(data, data + size);
  preset::Values out;
  out.fill(-7.0);
  if (!preset::decode(bytes, 0.5, out)) {
    for (double v : out)
      if (v != -7.0) std::abort();
    return 0;
  }
  for (double v : out)
    if (!(v >= 0.0 && v <= 1.0)) std::abort();
  if (size == preset::kSizeV2 && preset::encode(out) != bytes) std::abort();
  if (size == preset::kSizeV1 && out[9] != 0.5) std::abort();
  return 0;
}
