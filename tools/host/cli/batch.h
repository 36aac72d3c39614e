// Many files: the inputs of `process IN... -o DIR` turned into jobs, a
// deterministic share of them for one machine, and workers that run them in
// parallel, each with its own plug-in instance.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "clean_file.h"
#include "report.h"

namespace orvane::host {

struct BatchJob {
  CleanJob clean;
  std::string key;  // the output's path under DIR: the same on every machine
};

struct JobList {
  std::vector<BatchJob> jobs;
  std::vector<FileResult> refused;  // inputs that cannot become jobs, with why
};

// Files are taken as given; folders give their audio files (by extension,
// hidden ones and anything under DIR left out), in sub-folders too with
// `recursive`, each written to the same relative path under DIR. With a
// --format the extension follows it. Two inputs for one output, or an output
// that would replace its input, are refused.
JobList collectJobs(const std::vector<std::string>& inputs, const std::string& outputDir,
                    bool recursive, const std::string& format);

// Whether a job belongs to shard `index` (1..count): decided by a hash of its
// key alone, so every machine agrees without seeing the others' lists, and
// each input falls in exactly one shard.
bool inShard(const BatchJob& job, int index, int count);

// Runs the jobs on `workers` threads. `done` is called on the calling thread
// for each result as it comes; `progress` there too, every fraction of a
// second, with the share of the work done. Jobs not started when `cancel` is
// set are left out.
void runJobs(const std::vector<BatchJob>& jobs, int workers, Module& module,
             const Settings& settings, const std::atomic<bool>* cancel,
             const std::function<void(const FileResult&)>& done,
             const std::function<void(double)>& progress);

}  // namespace orvane::host
