// What the editor's view files share about texts and list parameters. Main
// (user-interface) thread only (texts follow the current language).
#pragma once

#include <cmath>

#include "i18n/i18n.h"

namespace orvane {

inline const char* uiText(i18n::Key key) {
  return i18n::text(key).utf8;
}

// The item a list parameter's value selects: the nearest of 0, 0.5 and 1
// (halves away from zero).
inline int listIndex(double v) {
  return static_cast<int>(std::lround(2.0 * v));
}

}  // namespace orvane
