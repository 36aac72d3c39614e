#include "support/speech.h"

namespace orvane::test {

std::vector<float> pinkNoise(std::size_t count, float rmsLevel, std::uint32_t seed) {
  std::vector<float> out = signals::pinkNoise(count, seed);
  const float scale = rmsLevel / rms(out.data(), out.size());
  for (auto& v : out) v *= scale;
  return out;
}

}  // namespace orvane::test
