// orvane-host process: one file with a detailed report, or a batch with one
// line per file and a summary.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "batch.h"
#include "commands.h"
#include "environment.h"
#include "spectrogram.h"

namespace orvane::host {

namespace fs = std::filesystem;

namespace {

// Redraws at most ten times a second, and only once the run has taken a
// second: short files never flash a bar.
class ThrottledBar {
 public:
  explicit ThrottledBar(bool shown) : enabled(shown), bar(stderr) {}
  void show(double fraction, const std::string& label) {
    if (!enabled) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - started < std::chrono::seconds(1) || now - last < std::chrono::milliseconds(100))
      return;
    last = now;
    bar.show(fraction, label);
  }
  void clear() { bar.finish(); }

 private:
  bool enabled;
  ProgressBar bar;
  std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now(), last;
};

Settings checkedSettings(Module& module, const Options& o) {
  Plugin probe(module);
  const ParameterNames names(probe);
  Settings settings = resolveSettings(names, o);
  settings.applyTo(probe);  // a state the plug-in refuses fails here, before any file
  return settings;
}

int processOne(Module& module, const Settings& settings, const Options& o,
               const std::atomic<bool>& cancel) {
  CleanJob job{o.positional[0], o.positional[1], o.format, o.bits, o.block, o.spectrogram};
  ThrottledBar bar(!o.quiet && ::isatty(STDERR_FILENO));
  std::mutex lifecycle;
  const FileResult r = cleanFile(module, lifecycle, settings, job, &cancel,
                                 [&](double f) { bar.show(f, job.input); });
  bar.clear();
  if (r.status != FileResult::Status::Done) throw Error(r.message);
  if (o.json)
    printJson(stdout, r);
  else if (!o.quiet)
    printFileReport(stdout, r);
  return 0;
}

int processBatch(Module& module, const Settings& settings, const Options& o,
                 const std::atomic<bool>& cancel) {
  const auto started = std::chrono::steady_clock::now();
  std::error_code ec;
  fs::create_directories(o.outputDir, ec);
  if (!fs::is_directory(o.outputDir, ec)) throw Error("cannot create the folder " + o.outputDir);
  JobList list = collectJobs(o.positional, o.outputDir, o.recursive, o.format);

  Summary summary;
  ThrottledBar bar(!o.quiet && ::isatty(STDERR_FILENO));
  auto report = [&](const FileResult& r) {
    bar.clear();
    if (r.status == FileResult::Status::Done) {
      ++summary.done;
      summary.audioSeconds += r.seconds;
    }
    summary.skipped += r.status == FileResult::Status::Skipped;
    summary.failed += r.status == FileResult::Status::Failed;
    if (r.status == FileResult::Status::Failed) printBatchLine(stderr, r);
    if (o.json)
      printJson(stdout, r);
    else if (!o.quiet && r.status != FileResult::Status::Failed)
      printBatchLine(stdout, r);
    std::fflush(stdout);
  };
  for (const FileResult& r : list.refused) report(r);

  std::vector<BatchJob> jobs;
  for (BatchJob& job : list.jobs) {
    if (o.shardCount && !inShard(job, o.shardIndex, o.shardCount)) continue;
    job.clean.format = o.format;
    job.clean.bits = o.bits;
    job.clean.block = o.block;
    if (!o.spectrogram.empty())
      job.clean.picture = (fs::path(o.spectrogram) / (job.key + ".png")).string();
    if (!o.overwrite && fs::exists(job.clean.output, ec)) {
      FileResult skipped;
      skipped.status = FileResult::Status::Skipped;
      skipped.input = job.clean.input;
      skipped.output = job.clean.output;
      skipped.message = job.clean.output + " exists (--overwrite replaces it)";
      report(skipped);
      continue;
    }
    std::error_code made;
    fs::create_directories(fs::path(job.clean.output).parent_path(), made);
    if (!job.clean.picture.empty())
      fs::create_directories(fs::path(job.clean.picture).parent_path(), made);
    jobs.push_back(std::move(job));
  }
  const std::size_t total = jobs.size();
  if (total)
    runJobs(jobs, o.jobs, module, settings, &cancel, report, [&](double f) {
      bar.show(f, std::to_string(summary.done + summary.failed) + "/" + std::to_string(total) +
                      " files");
    });
  bar.clear();
  summary.wallSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (!o.quiet || o.json) printSummary(stdout, summary, o.json);
  return summary.failed ? 1 : 0;
}

// A picture that could not be written fails the run before any audio is
// processed: a batch's folder is made here, a single picture's folder must
// exist.
void checkPictureDestination(const Options& o) {
  if (o.spectrogram.empty()) return;
  if (o.outputDir.empty()) return checkPicturePath(o.spectrogram);
  std::error_code ec;
  fs::create_directories(o.spectrogram, ec);
  if (!fs::is_directory(o.spectrogram, ec))
    throw Error("cannot create the picture folder " + o.spectrogram);
  checkPicturePath((fs::path(o.spectrogram) / "picture.png").string());
}

}  // namespace

int processCommand(const Options& o, const std::atomic<bool>& cancel) {
  checkPictureDestination(o);
  Module module(findBundle(o.bundle).path);
  const Settings settings = checkedSettings(module, o);
  return o.outputDir.empty() ? processOne(module, settings, o, cancel)
                             : processBatch(module, settings, o, cancel);
}

}  // namespace orvane::host
