// Wraps pixel words into a toolkit image.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "editor/toolkit/image.h"

namespace orvane {

// An image of size x size pixels (and points) from the first size * size
// words. With copy the words are copied into the image; without, the image
// refers to `pixels`, which must outlive it unchanged. Null when size is not
// positive or the vector holds fewer words than the picture needs.
std::shared_ptr<tk::Image> ORVMaterial(const std::vector<std::uint32_t>& pixels, int size,
                                       bool copy);

}  // namespace orvane
