#include "report.h"

#include <algorithm>
#include <cmath>

#include "text.h"

namespace orvane::host {

namespace {

std::string db(double value) {
  if (!std::isfinite(value)) return "-inf dB";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f dB", value);
  return text;
}

std::string dbfs(double value) {
  return std::isfinite(value) ? db(value) + "FS" : "silent";
}

std::string jsonNumber(double value) {
  if (!std::isfinite(value)) return "null";
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

const char* statusName(FileResult::Status s) {
  switch (s) {
    case FileResult::Status::Done:
      return "done";
    case FileResult::Status::Skipped:
      return "skipped";
    case FileResult::Status::Failed:
      break;
  }
  return "failed";
}

std::string clippingText(const FileResult& r) {
  std::string text;
  if (r.clippedSamples > 0)
    text = std::to_string(r.clippedSamples) + " samples clamped to fit " + r.outputFormat;
  if (r.pluginClipped)
    text += std::string(text.empty() ? "" : "; ") + "the plug-in's output passed full scale";
  return text.empty() ? "none" : text;
}

}  // namespace

void printFileReport(std::FILE* to, const FileResult& r) {
  const char* channels = r.channels == 1 ? "mono" : "stereo";
  std::fprintf(to, "%s -> %s\n", r.input.c_str(), r.output.c_str());
  std::fprintf(to, "  audio        %.2f s, %d Hz %s, %s -> %s\n", r.seconds, r.sampleRate, channels,
               r.inputFormat.c_str(), r.outputFormat.c_str());
  std::fprintf(to, "  latency      %d samples, removed", r.latency);
  if (r.latencyRestarts)
    std::fprintf(to, " (%d restart%s for a new latency, %d at the end)", r.latencyRestarts,
                 r.latencyRestarts == 1 ? "" : "s", r.finalLatency);
  std::fprintf(to, "\n  input        peak %s, RMS %s\n", dbfs(r.inputPeakDb).c_str(),
               dbfs(r.inputRmsDb).c_str());
  std::fprintf(to, "  output       peak %s, RMS %s\n", dbfs(r.outputPeakDb).c_str(),
               dbfs(r.outputRmsDb).c_str());
  std::fprintf(to, "  reduction    %s (input RMS minus output RMS)\n", db(r.reductionDb()).c_str());
  std::fprintf(to, "  clipping     %s\n", clippingText(r).c_str());
  if (r.hasMeters) std::fprintf(to, "  neural       %s\n", r.neural.c_str());
  std::fprintf(to, "  real-time    %.4f (%.2f s for %.2f s of audio; %.2f s in the plug-in)\n",
               r.realTimeFactor(), r.wallSeconds, r.seconds, r.pluginSeconds);
}

void printBatchLine(std::FILE* to, const FileResult& r) {
  switch (r.status) {
    case FileResult::Status::Done:
      std::fprintf(to, "done     %s -> %s  %.1f s, reduction %s, real-time %.3f%s\n",
                   r.input.c_str(), r.output.c_str(), r.seconds, db(r.reductionDb()).c_str(),
                   r.realTimeFactor(), r.clippedSamples ? (", " + clippingText(r)).c_str() : "");
      break;
    case FileResult::Status::Skipped:
      std::fprintf(to, "skipped  %s: %s\n", r.input.c_str(), r.message.c_str());
      break;
    case FileResult::Status::Failed:
      std::fprintf(to, "failed   %s: %s\n", r.input.c_str(), r.message.c_str());
      break;
  }
}

void printJson(std::FILE* to, const FileResult& r) {
  std::string out = "{\"type\":\"file\",\"status\":\"" + std::string(statusName(r.status)) +
                    "\",\"input\":" + jsonString(r.input) + ",\"output\":" + jsonString(r.output);
  if (r.status != FileResult::Status::Done) {
    out += ",\"message\":" + jsonString(r.message) + "}";
    std::fprintf(to, "%s\n", out.c_str());
    return;
  }
  out += ",\"sampleRate\":" + std::to_string(r.sampleRate) +
         ",\"channels\":" + std::to_string(r.channels) + ",\"frames\":" + std::to_string(r.frames) +
         ",\"seconds\":" + jsonNumber(r.seconds) + ",\"inputFormat\":" + jsonString(r.inputFormat) +
         ",\"outputFormat\":" + jsonString(r.outputFormat) +
         ",\"latencySamples\":" + std::to_string(r.latency) +
         ",\"latencyRestarts\":" + std::to_string(r.latencyRestarts) +
         ",\"inputPeakDb\":" + jsonNumber(r.inputPeakDb) +
         ",\"inputRmsDb\":" + jsonNumber(r.inputRmsDb) +
         ",\"outputPeakDb\":" + jsonNumber(r.outputPeakDb) +
         ",\"outputRmsDb\":" + jsonNumber(r.outputRmsDb) +
         ",\"reductionDb\":" + jsonNumber(r.reductionDb()) +
         ",\"clippedSamples\":" + std::to_string(r.clippedSamples) +
         ",\"pluginClipped\":" + (r.pluginClipped ? "true" : "false") +
         ",\"wallSeconds\":" + jsonNumber(r.wallSeconds) +
         ",\"pluginSeconds\":" + jsonNumber(r.pluginSeconds) +
         ",\"realTimeFactor\":" + jsonNumber(r.realTimeFactor());
  if (r.hasMeters) out += ",\"neural\":" + jsonString(r.neural);
  std::fprintf(to, "%s}\n", out.c_str());
}

void printSummary(std::FILE* to, const Summary& s, bool json) {
  const double factor = s.audioSeconds > 0 ? s.wallSeconds / s.audioSeconds : 0.0;
  if (json) {
    std::fprintf(to,
                 "{\"type\":\"summary\",\"done\":%d,\"skipped\":%d,\"failed\":%d,"
                 "\"audioHours\":%s,\"wallSeconds\":%s,\"realTimeFactor\":%s}\n",
                 s.done, s.skipped, s.failed, jsonNumber(s.audioSeconds / 3600).c_str(),
                 jsonNumber(s.wallSeconds).c_str(), jsonNumber(factor).c_str());
    return;
  }
  std::fprintf(to,
               "%d done, %d skipped, %d failed; %.3f h of audio in %.1f s, real-time factor "
               "%.4f\n",
               s.done, s.skipped, s.failed, s.audioSeconds / 3600, s.wallSeconds, factor);
}

void ProgressBar::show(double fraction, const std::string& label) {
  constexpr int kWidth = 30;
  fraction = std::clamp(fraction, 0.0, 1.0);
  const int filled = static_cast<int>(std::lround(fraction * kWidth));
  std::string bar(filled, '#');
  bar += std::string(kWidth - filled, '.');
  // Cut the label to what fits beside the bar on an 80-column line.
  std::string shown = label;
  while (displayWidth(shown) > 40 && !shown.empty()) shown.erase(0, 1);
  std::fprintf(to, "\r[%s] %3d%% %s\033[K", bar.c_str(), static_cast<int>(fraction * 100),
               shown.c_str());
  std::fflush(to);
  drawn = true;
}

void ProgressBar::finish() {
  if (!drawn) return;
  std::fprintf(to, "\r\033[K");
  std::fflush(to);
  drawn = false;
}

}  // namespace orvane::host
