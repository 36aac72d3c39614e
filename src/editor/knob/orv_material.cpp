#include "editor/knob/orv_material.h"

namespace orvane {

std::shared_ptr<tk::Image> ORVMaterial(const std::vector<std::uint32_t>& pixels, int size,
                                       bool copy) {
  if (size <= 0) return nullptr;
  return tk::Image::fromPixelWords(pixels.data(), pixels.size(), size, size, copy);
}

}  // namespace orvane
