// Spectrograms a person can read: one band per signal, stacked over a shared
// time axis in seconds, each with a frequency axis in kHz, and one colour bar
// in dBFS whose range holds for every band of the picture, so bands compare
// directly. Drawn with Cairo and Pango through the widget layer's canvas; the
// transforms are FFTW's. Any thread (FFTW's planner is serialised inside).
//
// Frequencies use the mel scale: speech lives below 4 kHz, where a linear
// axis of a 48 kHz file would give it a sixth of the height (a 24th at
// 192 kHz), while the mel scale gives it half the height at 44.1 and 48 kHz
// and still two fifths at 192 kHz, and shows the rest of the band above.
// Levels are calibrated so that a sine reads its own level (a full-scale sine
// is 0 dBFS); the colours rise in lightness from the floor to the top, so
// their order survives greyscale.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "editor/toolkit/geometry.h"
#include "editor/toolkit/image.h"

namespace orvane::host {

// Frames of one signal, read on demand so that a long file is never held
// whole. Mono or stereo.
class SignalSource {
 public:
  virtual ~SignalSource() = default;
  virtual int channels() const = 0;
  virtual std::int64_t frames() const = 0;
  // Frames [first, first + count) into out[c][0..count); frames outside the
  // signal read as 0. Throws host::Error when the signal cannot be read.
  virtual void read(std::int64_t first, int count, float* const* out) = 0;
};

// Channels held in memory by the caller, who keeps them alive and unchanged.
std::unique_ptr<SignalSource> memorySignal(const std::vector<std::vector<float>>& channels);
// An audio file, opened now (throws host::Error as the file reader does).
std::unique_ptr<SignalSource> fileSignal(const std::string& path);

struct SpectrogramBand {
  std::string label;  // what the signal is: "input", a mode and its settings
  std::unique_ptr<SignalSource> signal;
};

struct SpectrogramPicture {
  int sampleRate = 48000;
  std::string caption;  // the file, the rate, the latency removed
  std::vector<SpectrogramBand> bands;
};

// Where things are in a picture, in pixels.
class SpectrogramLayout {
 public:
  SpectrogramLayout(int sampleRate, double seconds, int bandCount);

  int width() const { return width_; }
  int height() const { return height_; }
  tk::Rect plot(int band) const;
  tk::Rect colourBar() const;
  double xForSeconds(double seconds) const;
  double yForHz(int band, double hz) const;
  double yForDb(double db, double topDb, double bottomDb) const;
  // The inverse mappings, at a pixel's position.
  double secondsAtX(double x) const;
  double hzAtY(int band, double y) const;

 private:
  int sampleRate_;
  double seconds_;
  int bands_;
  int width_, height_;
};

struct Spectrogram {
  std::shared_ptr<tk::Image> image;
  SpectrogramLayout layout;
  double topDb = 0, bottomDb = 0;  // the colour bar's range
};

// Draws the picture; stereo bands show both channels' power, averaged, and
// say so. Throws host::Error when a signal cannot be read.
Spectrogram drawSpectrogram(const SpectrogramPicture& picture);

// Refuses, with one line, a picture path that cannot be written: a folder,
// not a .png name, or in a folder that does not exist or takes no new file.
void checkPicturePath(const std::string& path);
// Draws and writes the picture atomically; throws host::Error.
void writeSpectrogram(const std::string& path, const SpectrogramPicture& picture);

}  // namespace orvane::host
