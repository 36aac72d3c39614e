// One file through a fresh plug-in instance, streamed from the input to an
// atomically written output.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "report.h"
#include "settings.h"
#include "vsthost/module.h"

namespace orvane::host {

struct CleanJob {
  std::string input, output;
  std::string format, bits;  // --format and --bits, empty for "as the input"
  int block = 512;
  std::string picture;  // a spectrogram of input and output to write, or empty
};

// Never throws for what goes wrong with the file: the result says it. The
// instance is created and released under `lifecycle`, so that workers on
// several threads never create or destroy instances at the same time.
// `progress` gets the fraction done.
FileResult cleanFile(Module& module, std::mutex& lifecycle, const Settings& settings,
                     const CleanJob& job, const std::atomic<bool>* cancel,
                     const std::function<void(double)>& progress);

}  // namespace orvane::host
