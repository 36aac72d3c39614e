#include "editor/readouts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "i18n/i18n.h"
#include "params/parameters.h"

namespace orvane {

namespace {

// Slider i edits parameter i, whose plain range is in the table.
static_assert(kParams[FrequencyFocus].id == FrequencyFocus && kParams[OutputGain].id == OutputGain);
// Peaks below this read as -120 dB instead of minus infinity.
constexpr double kMeterFloor = 1e-6;

std::string format(const char* fmt, double v) {
  char text[64];
  std::snprintf(text, sizeof text, fmt, v);
  return text;
}

double peakDb(double peak) {
  // fmax also turns a NaN into the floor.
  return 20.0 * std::log10(std::fmax(kMeterFloor, peak));
}

}  // namespace

std::string sliderReadout(int slider, double v) {
  switch (slider) {
    case static_cast<int>(FrequencyFocus):
      return format("HP %.0f Hz", toPlain(kParams[FrequencyFocus], v));
    case static_cast<int>(OutputGain):
      return format("%+.1f dB", toPlain(kParams[OutputGain], v));
    default:
      return format("%.0f %%", 100.0 * v);
  }
}

std::string meterReadout(double inputPeak, double outputPeak, double clipping) {
  using i18n::Key;
  char text[128];
  std::snprintf(text, sizeof text, "%s %+.0f / %s %+.0f %s", i18n::text(Key::MeterIn).utf8,
                peakDb(inputPeak), i18n::text(Key::MeterOut).utf8, peakDb(outputPeak),
                clipping > 0.5 ? i18n::text(Key::Clipping).utf8 : "");
  return text;
}

}  // namespace orvane
