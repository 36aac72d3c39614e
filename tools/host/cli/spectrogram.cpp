#include "spectrogram.h"

#include <cairo.h>
#include <fftw3.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "audio_file.h"
#include "editor/toolkit/canvas.h"
#include "files/files.h"

namespace orvane::host {

namespace fs = std::filesystem;

namespace {

constexpr double kPi = 3.14159265358979323846;

// Picture geometry in pixels: about 1000 wide, so it reads at 100 % on an
// ordinary screen and fits the README's column without scaling text below
// 11 px.
constexpr int kWidth = 1000;
constexpr int kLeft = 64;     // frequency labels
constexpr int kRight = 100;   // colour bar and its labels
constexpr int kCaption = 34;  // caption line above the first band
constexpr int kLabel = 24;    // band label above each plot
constexpr int kPlotHeight = 200;
constexpr int kGap = 14;       // between one plot and the next band's label
constexpr int kTimeAxis = 50;  // ticks, labels and title under the last plot
constexpr int kPlotWidth = kWidth - kLeft - kRight;
// 32 ms analysis windows: long enough to separate a voice's harmonics
// (31 Hz bins), short enough to place a word's onset within a few ms.
constexpr double kWindowSeconds = 0.032;
// The bar spans 90 dB below the picture's loudest level, rounded up to 10 dB:
// from speech peaks down to the noise a good recording leaves.
constexpr double kRangeDb = 90;
constexpr double kQuietestTopDb = -40;  // a silent picture still gets a scale

const tk::Font kTickFont = tk::Font::system(12);
const tk::Font kLabelFont = tk::Font::system(13, tk::FontWeight::Semibold);
const tk::Font kCaptionFont = tk::Font::system(14);
const tk::Color kInk = tk::Color::white(0.1);

double melOfHz(double hz) {
  return 2595.0 * std::log10(1.0 + hz / 700.0);
}
double hzOfMel(double mel) {
  return 700.0 * (std::pow(10.0, mel / 2595.0) - 1.0);
}

// Black through violet, red and orange to pale yellow. Every channel only
// rises from one stop to the next, so any greyscale conversion keeps the
// order of levels.
tk::Color levelColour(double t) {
  struct Stop {
    double at, r, g, b;
  };
  static constexpr Stop kStops[] = {{0.0, 0.0, 0.0, 0.0},     {0.2, 0.18, 0.02, 0.35},
                                    {0.45, 0.58, 0.10, 0.42}, {0.7, 0.93, 0.40, 0.42},
                                    {0.88, 1.0, 0.75, 0.45},  {1.0, 1.0, 1.0, 0.85}};
  t = std::clamp(t, 0.0, 1.0);
  std::size_t i = 1;
  while (i + 1 < std::size(kStops) && t > kStops[i].at) ++i;
  const Stop& a = kStops[i - 1];
  const Stop& b = kStops[i];
  const double f = (t - a.at) / (b.at - a.at);
  return {a.r + f * (b.r - a.r), a.g + f * (b.g - a.g), a.b + f * (b.b - a.b), 1.0};
}

std::uint32_t pixelOf(const tk::Color& c) {
  auto byte = [](double v) { return static_cast<int>(std::lround(v * 255)); };
  return tk::pixelWord(255, byte(c.red), byte(c.green), byte(c.blue));
}

class MemorySignal : public SignalSource {
 public:
  explicit MemorySignal(const std::vector<std::vector<float>>& data) : channels_(data) {}
  int channels() const override { return static_cast<int>(channels_.size()); }
  std::int64_t frames() const override {
    return channels_.empty() ? 0 : static_cast<std::int64_t>(channels_[0].size());
  }
  void read(std::int64_t first, int count, float* const* out) override {
    for (std::size_t c = 0; c < channels_.size(); ++c)
      for (int i = 0; i < count; ++i) {
        const std::int64_t at = first + i;
        out[c][i] = at >= 0 && at < frames() ? channels_[c][static_cast<std::size_t>(at)] : 0.0f;
      }
  }

 private:
  const std::vector<std::vector<float>>& channels_;
};

class FileSignal : public SignalSource {
 public:
  explicit FileSignal(const std::string& path) : reader_(path) {}
  int channels() const override { return reader_.info().channels; }
  std::int64_t frames() const override { return reader_.info().frames; }
  void read(std::int64_t first, int count, float* const* out) override {
    const int skip = static_cast<int>(std::clamp<std::int64_t>(-first, 0, count));
    int got = 0;
    if (skip < count && first + skip < frames()) {
      reader_.seek(first + skip);
      std::vector<float*> at(out, out + channels());
      for (float*& p : at) p += skip;
      got = static_cast<int>(reader_.read(at.data(), count - skip));
    }
    for (int c = 0; c < channels(); ++c) {
      std::fill(out[c], out[c] + skip, 0.0f);
      std::fill(out[c] + skip + got, out[c] + count, 0.0f);
    }
  }

 private:
  AudioFileReader reader_;
};

// FFTW's planner keeps global state: plans are made and destroyed one at a
// time, while executing them is safe on any thread.
std::mutex& plannerLock() {
  static std::mutex lock;
  return lock;
}

// Power spectra of Hann-windowed frames, averaged over the channels, scaled
// so that a sine on a bin reads its own peak level squared.
class Analyser {
 public:
  explicit Analyser(int sampleRate)
      : n_(std::max(16, 2 * static_cast<int>(std::lround(sampleRate * kWindowSeconds / 2)))),
        window_(static_cast<std::size_t>(n_)),
        frame_(static_cast<float*>(fftwf_malloc(sizeof(float) * n_))),
        spectrum_(static_cast<fftwf_complex*>(fftwf_malloc(sizeof(fftwf_complex) * bins()))) {
    double sum = 0;
    for (int i = 0; i < n_; ++i) {
      window_[i] = static_cast<float>(0.5 - 0.5 * std::cos(2 * kPi * i / n_));
      sum += window_[i];
    }
    scale_ = 4.0 / (sum * sum);
    std::lock_guard<std::mutex> lock(plannerLock());
    plan_ = fftwf_plan_dft_r2c_1d(n_, frame_, spectrum_, FFTW_ESTIMATE);
  }
  ~Analyser() {
    {
      std::lock_guard<std::mutex> lock(plannerLock());
      fftwf_destroy_plan(plan_);
    }
    fftwf_free(frame_);
    fftwf_free(spectrum_);
  }
  Analyser(const Analyser&) = delete;
  Analyser& operator=(const Analyser&) = delete;

  int size() const { return n_; }
  int bins() const { return n_ / 2 + 1; }

  // The frame centred on `centre`, into power[0..bins()).
  void power(SignalSource& signal, std::int64_t centre, std::vector<double>& power) {
    const int channels = signal.channels();
    samples_.resize(static_cast<std::size_t>(channels) * n_);
    std::vector<float*> planes(static_cast<std::size_t>(channels));
    for (int c = 0; c < channels; ++c) planes[c] = samples_.data() + std::size_t(c) * n_;
    signal.read(centre - n_ / 2, n_, planes.data());
    power.assign(static_cast<std::size_t>(bins()), 0.0);
    for (float* x : planes) {
      for (int i = 0; i < n_; ++i) frame_[i] = x[i] * window_[i];
      fftwf_execute(plan_);
      for (int k = 0; k < bins(); ++k)
        power[k] += (double(spectrum_[k][0]) * spectrum_[k][0] +
                     double(spectrum_[k][1]) * spectrum_[k][1]) *
                    scale_ / channels;
    }
  }

 private:
  int n_;
  std::vector<float> window_, samples_;
  float* frame_;
  fftwf_complex* spectrum_;
  fftwf_plan plan_ = nullptr;
  double scale_ = 1;
};

// Tick steps that read well, in seconds and in Hz.
constexpr double kTimeSteps[] = {0.01, 0.02, 0.05, 0.1, 0.2, 0.5, 1,    2,    5,    10,   15,
                                 30,   60,   120,  300, 600, 900, 1800, 3600, 7200, 14400};
constexpr double kHzTicks[] = {0,    100,   250,   500,   1000,  2000,  3000,  4000, 6000,
                               8000, 12000, 16000, 24000, 32000, 48000, 64000, 96000};

std::string number(double v, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, v);
  return text;
}

// Shortens a text with an ellipsis until it fits (whole UTF-8 characters).
std::string fitted(std::string text, const tk::Font& font, double width) {
  if (tk::measureText(text, font).width <= width) return text;
  while (!text.empty()) {
    // One character: its continuation bytes, then its lead byte.
    while (!text.empty() && (static_cast<unsigned char>(text.back()) & 0xC0) == 0x80)
      text.pop_back();
    if (!text.empty()) text.pop_back();
    if (tk::measureText(text + "…", font).width <= width) return text + "…";
  }
  return text;
}

void drawAxes(tk::Canvas& canvas, const SpectrogramLayout& layout, int bands, int sampleRate,
              double seconds) {
  const tk::Color tick = kInk;
  for (int b = 0; b < bands; ++b) {
    const tk::Rect plot = layout.plot(b);
    canvas.stroke(tk::Path::rect({plot.x - 0.5, plot.y - 0.5, plot.width + 1, plot.height + 1}),
                  tick);
    // Round values at least 18 px apart, and the top of the band (half the
    // rate) always, in place of a round value too close below it.
    const double nyquist = sampleRate / 2.0;
    std::vector<double> ticks;
    for (double hz : kHzTicks)
      if (hz < nyquist &&
          (ticks.empty() || layout.yForHz(b, ticks.back()) - layout.yForHz(b, hz) >= 18))
        ticks.push_back(hz);
    while (!ticks.empty() && layout.yForHz(b, ticks.back()) - plot.y < 18) ticks.pop_back();
    ticks.push_back(nyquist);
    for (double hz : ticks) {
      const double y = layout.yForHz(b, hz);
      canvas.fillRect({plot.x - 6, std::round(y) - 0.5, 6, 1}, tick);
      char text[16];
      std::snprintf(text, sizeof text, "%g", hz / 1000);
      const tk::Size size = tk::measureText(text, kTickFont);
      canvas.drawText(text,
                      {plot.x - 9 - size.width,
                       std::clamp(y - size.height / 2, plot.y - 4, plot.maxY() - size.height + 4)},
                      kTickFont, tick);
    }
    canvas.drawText("kHz", {8, plot.y - kLabel + 3}, kTickFont, tick);
  }
  const double pxPerSecond = kPlotWidth / std::max(seconds, 1e-9);
  double step = kTimeSteps[std::size(kTimeSteps) - 1];
  for (double s : kTimeSteps)
    if (s * pxPerSecond >= 80) {
      step = s;
      break;
    }
  const int decimals = step < 0.1 ? 2 : (step < 1 ? 1 : 0);
  const tk::Rect last = layout.plot(bands - 1);
  for (int i = 0; i * step <= seconds + 1e-9; ++i) {
    const double x = std::round(layout.xForSeconds(i * step)) + 0.5;
    for (int b = 0; b < bands; ++b) canvas.fillRect({x - 0.5, layout.plot(b).maxY(), 1, 6}, tick);
    const std::string text = number(i * step, decimals);
    const double w = tk::measureText(text, kTickFont).width;
    canvas.drawText(text, {x - w / 2, last.maxY() + 7}, kTickFont, tick);
  }
  const std::string title = "time (s)";
  canvas.drawText(title,
                  {last.midX() - tk::measureText(title, kTickFont).width / 2, last.maxY() + 26},
                  kTickFont, tick);
}

void drawColourBar(tk::Canvas& canvas, const SpectrogramLayout& layout, double topDb,
                   double bottomDb) {
  const tk::Rect bar = layout.colourBar();
  for (int y = 0; y < static_cast<int>(bar.height); ++y) {
    const double db = topDb - (y + 0.5) / bar.height * (topDb - bottomDb);
    canvas.fillRect({bar.x, bar.y + y, bar.width, 1},
                    levelColour((db - bottomDb) / (topDb - bottomDb)));
  }
  canvas.drawText("dBFS", {bar.x - 4, bar.y - 22}, kTickFont, kInk);
  for (int step = 0; step * 10 <= topDb - bottomDb + 1e-9; ++step) {
    const double db = topDb - step * 10;
    const double y = std::round(layout.yForDb(db, topDb, bottomDb));
    canvas.fillRect({bar.maxX(), y - 0.5, 5, 1}, kInk);
    const std::string text = number(db + 0.0, 0);  // never "-0"
    const tk::Size size = tk::measureText(text, kTickFont);
    canvas.drawText(text, {bar.maxX() + 8, y - size.height / 2}, kTickFont, kInk);
  }
}

}  // namespace

std::unique_ptr<SignalSource> memorySignal(const std::vector<std::vector<float>>& channels) {
  return std::make_unique<MemorySignal>(channels);
}

std::unique_ptr<SignalSource> fileSignal(const std::string& path) {
  return std::make_unique<FileSignal>(path);
}

SpectrogramLayout::SpectrogramLayout(int sampleRate, double seconds, int bandCount)
    : sampleRate_(sampleRate),
      seconds_(seconds > 0 ? seconds : 1.0),
      bands_(std::max(1, bandCount)),
      width_(kWidth),
      height_(kCaption + bands_ * (kLabel + kPlotHeight + kGap) - kGap + kTimeAxis) {}

tk::Rect SpectrogramLayout::plot(int band) const {
  return {kLeft, double(kCaption + band * (kLabel + kPlotHeight + kGap) + kLabel), kPlotWidth,
          kPlotHeight};
}

tk::Rect SpectrogramLayout::colourBar() const {
  const double top = plot(0).y, bottom = plot(bands_ - 1).maxY();
  return {kLeft + kPlotWidth + 24, top, 16, bottom - top};
}

double SpectrogramLayout::xForSeconds(double seconds) const {
  return kLeft + seconds / seconds_ * kPlotWidth;
}

double SpectrogramLayout::secondsAtX(double x) const {
  return (x - kLeft) / kPlotWidth * seconds_;
}

double SpectrogramLayout::yForHz(int band, double hz) const {
  const tk::Rect p = plot(band);
  return p.maxY() - melOfHz(hz) / melOfHz(sampleRate_ / 2.0) * p.height;
}

double SpectrogramLayout::hzAtY(int band, double y) const {
  const tk::Rect p = plot(band);
  return hzOfMel((p.maxY() - y) / p.height * melOfHz(sampleRate_ / 2.0));
}

double SpectrogramLayout::yForDb(double db, double topDb, double bottomDb) const {
  const tk::Rect bar = colourBar();
  return bar.y + (topDb - db) / (topDb - bottomDb) * bar.height;
}

Spectrogram drawSpectrogram(const SpectrogramPicture& picture) {
  const int bands = static_cast<int>(picture.bands.size());
  std::int64_t frames = 0;
  for (const SpectrogramBand& b : picture.bands) frames = std::max(frames, b.signal->frames());
  const double seconds = double(frames) / picture.sampleRate;
  Spectrogram out{nullptr, SpectrogramLayout(picture.sampleRate, seconds, bands)};
  const SpectrogramLayout& layout = out.layout;

  // Each row shows the strongest bin between its lower and upper edge, or
  // the bin nearest its middle where rows are finer than bins.
  Analyser analyser(picture.sampleRate);
  const double binHz = double(picture.sampleRate) / analyser.size();
  std::vector<std::pair<int, int>> rowBins(kPlotHeight);
  for (int r = 0; r < kPlotHeight; ++r) {
    const double y = layout.plot(0).y + r;
    const double lo = layout.hzAtY(0, y + 1), hi = layout.hzAtY(0, y);
    int first = static_cast<int>(std::ceil(lo / binHz)), last = static_cast<int>(hi / binHz);
    if (first > last)
      first = last = static_cast<int>(std::lround(layout.hzAtY(0, y + 0.5) / binHz));
    rowBins[r] = {std::clamp(first, 0, analyser.bins() - 1),
                  std::clamp(last, 0, analyser.bins() - 1)};
  }
  std::vector<std::vector<float>> levels(static_cast<std::size_t>(bands));
  double loudest = -1e300;
  std::vector<double> power;
  for (int b = 0; b < bands; ++b) {
    levels[b].resize(std::size_t(kPlotWidth) * kPlotHeight);
    for (int c = 0; c < kPlotWidth; ++c) {
      const double t = layout.secondsAtX(kLeft + c + 0.5);
      analyser.power(*picture.bands[b].signal, std::llround(t * picture.sampleRate), power);
      for (int r = 0; r < kPlotHeight; ++r) {
        double p = 0;
        for (int k = rowBins[r].first; k <= rowBins[r].second; ++k) p = std::max(p, power[k]);
        const double db = 10 * std::log10(std::max(p, 1e-20));
        levels[b][std::size_t(c) * kPlotHeight + r] = static_cast<float>(db);
        loudest = std::max(loudest, db);
      }
    }
  }
  out.topDb = std::clamp(std::ceil(loudest / 10 - 1e-9) * 10, kQuietestTopDb, 0.0);
  out.bottomDb = out.topDb - kRangeDb;

  out.image = tk::Image::create(layout.width(), layout.height());
  cairo_t* cr = cairo_create(out.image->surface());
  tk::Canvas canvas(cr);
  canvas.fillRect({0, 0, double(layout.width()), double(layout.height())}, tk::Color::white(1));
  cairo_surface_flush(out.image->surface());
  unsigned char* data = cairo_image_surface_get_data(out.image->surface());
  const int stride = cairo_image_surface_get_stride(out.image->surface());
  for (int b = 0; b < bands; ++b) {
    const tk::Rect plot = layout.plot(b);
    for (int c = 0; c < kPlotWidth; ++c)
      for (int r = 0; r < kPlotHeight; ++r) {
        const double db = levels[b][std::size_t(c) * kPlotHeight + r];
        auto* row = reinterpret_cast<std::uint32_t*>(data + (int(plot.y) + r) * stride);
        row[kLeft + c] = pixelOf(levelColour((db - out.bottomDb) / kRangeDb));
      }
  }
  cairo_surface_mark_dirty(out.image->surface());

  canvas.drawText(fitted(picture.caption, kCaptionFont, layout.width() - 16), {8, 8}, kCaptionFont,
                  kInk);
  for (int b = 0; b < bands; ++b) {
    const tk::Rect plot = layout.plot(b);
    double room = plot.width;
    if (picture.bands[b].signal->channels() == 2) {
      const std::string note = "stereo: both channels' power, averaged";
      const double w = tk::measureText(note, kTickFont).width;
      canvas.drawText(note, {plot.maxX() - w, plot.y - kLabel + 3}, kTickFont, kInk);
      room -= w + 16;
    }
    canvas.drawText(fitted(picture.bands[b].label, kLabelFont, room), {plot.x, plot.y - kLabel + 2},
                    kLabelFont, kInk);
  }
  drawAxes(canvas, layout, bands, picture.sampleRate, seconds);
  drawColourBar(canvas, layout, out.topDb, out.bottomDb);
  cairo_destroy(cr);
  cairo_surface_flush(out.image->surface());
  return out;
}

void checkPicturePath(const std::string& path) {
  std::error_code ec;
  if (fs::is_directory(path, ec))
    throw Error("cannot write the picture " + path + ": it is a folder (a batch, with -o DIR, " +
                "takes a folder for its pictures)");
  std::string extension = fs::path(path).extension().string();
  for (char& ch : extension) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  if (extension != ".png") throw Error("the picture " + path + " must be named .png");
  fs::path parent = fs::path(path).parent_path();
  if (parent.empty()) parent = ".";
  if (!fs::is_directory(parent, ec))
    throw Error("cannot write the picture " + path + ": no such folder " + parent.string());
  // A file made and removed again: the one answer every file system (and a
  // run as root) gives truly.
  std::string probe = (parent / ".orvane-picture-XXXXXX").string();
  const int fd = ::mkstemp(probe.data());
  if (fd < 0) throw Error("cannot write the picture " + path + ": " + std::strerror(errno));
  ::close(fd);
  ::unlink(probe.c_str());
}

void writeSpectrogram(const std::string& path, const SpectrogramPicture& picture) {
  const Spectrogram s = drawSpectrogram(picture);
  if (!files::writeAtomically(path,
                              [&](const std::string& temp) { return s.image->writePng(temp); }))
    throw Error("cannot write the picture " + path);
}

}  // namespace orvane::host
