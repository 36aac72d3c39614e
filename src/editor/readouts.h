// The editor's number texts: the value read-out beside each slider and the
// level line at the bottom right. Main thread only (they read the current
// language).
#pragma once

#include <string>

namespace orvane {

// Slider i's read-out for the normalised value v: a percentage for sliders
// 0, 1, 2, 3 and 5 ("37 %"), the high-pass corner for slider 4 ("HP 50 Hz",
// 35 to 180 Hz) and the output gain for slider 6 ("+0.0 dB", -18 to +18 dB).
std::string sliderReadout(int slider, double v);

// "IN +0 / OUT -6 " and, while clipping is above 0.5, the clipping word after
// the last space. Levels are peaks in dB, floored at -120 dB (a peak of 1e-6).
std::string meterReadout(double inputPeak, double outputPeak, double clipping);

}  // namespace orvane
