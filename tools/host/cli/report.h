// What a run reports, for people (aligned text) and for scripts (one JSON
// object per line).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace orvane::host {

// One file's outcome.
struct FileResult {
  enum class Status { Done, Skipped, Failed } status = Status::Failed;
  std::string input, output;
  std::string message;  // why it was skipped or failed

  std::string inputFormat, outputFormat;
  int sampleRate = 0, channels = 0;
  std::int64_t frames = 0;
  double seconds = 0;  // audio length

  int latency = 0;  // samples removed at the start
  int finalLatency = 0;
  int latencyRestarts = 0;
  double wallSeconds = 0;    // the whole pass: read, process, write
  double pluginSeconds = 0;  // inside the plug-in's process calls
  double inputPeakDb = 0, inputRmsDb = 0, outputPeakDb = 0, outputRmsDb = 0;
  std::int64_t clippedSamples = 0;  // clamped to fit the output format
  // From the plug-in's own meters, when it is Orvane:
  bool hasMeters = false;
  bool pluginClipped = false;   // its output went past full scale in some block
  std::string neural;           // "active", "inactive" or "fault"
  double meterReductionDb = 0;  // largest block reading; 0 when it converts the rate

  double reductionDb() const { return inputRmsDb - outputRmsDb; }
  double realTimeFactor() const { return seconds > 0 ? wallSeconds / seconds : 0.0; }
};

// The detailed text for a single file.
void printFileReport(std::FILE* to, const FileResult& r);
// One line per file of a batch.
void printBatchLine(std::FILE* to, const FileResult& r);
// One JSON object on one line.
void printJson(std::FILE* to, const FileResult& r);

struct Summary {
  int done = 0, skipped = 0, failed = 0;
  double audioSeconds = 0;  // of the files done
  double wallSeconds = 0;   // the whole run
};
void printSummary(std::FILE* to, const Summary& s, bool json);

// A bar on one terminal line, redrawn in place; finish() ends the line.
class ProgressBar {
 public:
  explicit ProgressBar(std::FILE* stream) : to(stream) {}
  void show(double fraction, const std::string& label);
  void finish();

 private:
  std::FILE* to;
  bool drawn = false;
};

}  // namespace orvane::host
