#include "batch.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "audio_file.h"

namespace orvane::host {

namespace fs = std::filesystem;

namespace {

bool hidden(const fs::path& relative) {
  for (const fs::path& part : relative)
    if (part.string().size() > 1 && part.string()[0] == '.') return true;
  return false;
}

// Whether a file lies in the folder (given as weakly_canonical), links resolved.
bool inside(const fs::path& file, const fs::path& canonicalFolder) {
  std::error_code ec;
  const fs::path p = fs::weakly_canonical(file, ec);
  auto pi = p.begin();
  for (auto fi = canonicalFolder.begin(); fi != canonicalFolder.end() && !fi->empty(); ++fi, ++pi)
    if (pi == p.end() || *pi != *fi) return false;
  return true;
}

struct Candidate {
  std::string input;
  fs::path relative;  // the output's path under DIR
};

void addFolder(const fs::path& folder, bool recursive, const fs::path& outputDir,
               std::vector<Candidate>& out) {
  std::vector<Candidate> found;
  std::error_code ec;
  // Outputs of this or an earlier run are never taken as inputs.
  const fs::path outputs = fs::weakly_canonical(outputDir, ec);
  const bool outputsWithin = inside(outputs, fs::weakly_canonical(folder, ec));
  auto consider = [&](const fs::directory_entry& entry) {
    const fs::path relative = entry.path().lexically_relative(folder);
    if (hidden(relative) || !entry.is_regular_file(ec) ||
        !isAudioExtension(entry.path().extension().string()) ||
        (outputsWithin && inside(entry.path(), outputs)))
      return;
    found.push_back({entry.path().string(), relative});
  };
  if (recursive) {
    for (auto it = fs::recursive_directory_iterator(
             folder, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
      consider(*it);
  } else {
    for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator();
         it.increment(ec))
      consider(*it);
  }
  std::sort(found.begin(), found.end(),
            [](const Candidate& a, const Candidate& b) { return a.relative < b.relative; });
  out.insert(out.end(), found.begin(), found.end());
}

FileResult refusal(const std::string& input, const std::string& output, const std::string& why) {
  FileResult r;
  r.input = input;
  r.output = output;
  r.message = why;
  return r;
}

}  // namespace

JobList collectJobs(const std::vector<std::string>& inputs, const std::string& outputDir,
                    bool recursive, const std::string& format) {
  JobList list;
  std::vector<Candidate> candidates;
  std::error_code ec;
  for (const std::string& input : inputs) {
    if (fs::is_directory(input, ec))
      addFolder(input, recursive, outputDir, candidates);
    else if (fs::exists(input, ec))
      candidates.push_back({input, fs::path(input).filename()});
    else
      list.refused.push_back(refusal(input, "", "no such file or folder"));
  }
  const std::string extension = extensionForFormat(format);
  std::map<std::string, std::string> claimed;  // output -> input
  for (Candidate& c : candidates) {
    if (!extension.empty()) c.relative.replace_extension(extension);
    const std::string output = (fs::path(outputDir) / c.relative).lexically_normal().string();
    if (const auto it = claimed.find(output); it != claimed.end()) {
      list.refused.push_back(refusal(c.input, output, "has the same output as " + it->second));
      continue;
    }
    if (fs::exists(output, ec) && fs::equivalent(output, c.input, ec)) {
      list.refused.push_back(refusal(c.input, output, "the output would replace the input"));
      continue;
    }
    claimed.emplace(output, c.input);
    BatchJob job;
    job.clean.input = c.input;
    job.clean.output = output;
    job.key = c.relative.generic_string();
    list.jobs.push_back(std::move(job));
  }
  return list;
}

bool inShard(const BatchJob& job, int index, int count) {
  // FNV-1a, 64 bits: fixed, simple and well spread over path names.
  std::uint64_t h = 1469598103934665603ull;
  for (unsigned char c : job.key) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return static_cast<int>(h % static_cast<std::uint64_t>(count)) == index - 1;
}

void runJobs(const std::vector<BatchJob>& jobs, int workers, Module& module,
             const Settings& settings, const std::atomic<bool>* cancel,
             const std::function<void(const FileResult&)>& done,
             const std::function<void(double)>& progress) {
  std::mutex lifecycle, lock;
  std::condition_variable arrived;
  std::deque<FileResult> results;
  std::atomic<std::size_t> next{0};
  int stopped = 0;  // workers that have no more to do; under `lock`
  const int count = std::max(1, std::min<int>(workers, static_cast<int>(jobs.size())));
  // Each worker's share of its current file, for the progress bar.
  auto partial = std::make_unique<std::atomic<double>[]>(count);
  std::vector<std::thread> threads;
  for (int w = 0; w < count; ++w) {
    partial[w] = 0;
    threads.emplace_back([&, w] {
      for (std::size_t i; (i = next.fetch_add(1)) < jobs.size();) {
        if (cancel && cancel->load()) break;
        FileResult r = cleanFile(module, lifecycle, settings, jobs[i].clean, cancel,
                                 [&](double f) { partial[w] = f; });
        partial[w] = 0;
        std::lock_guard<std::mutex> guard(lock);
        results.push_back(std::move(r));
        arrived.notify_one();
      }
      std::lock_guard<std::mutex> guard(lock);
      ++stopped;
      arrived.notify_one();
    });
  }
  std::size_t finished = 0;
  std::unique_lock<std::mutex> guard(lock);
  for (bool more = true; more;) {
    arrived.wait_for(guard, std::chrono::milliseconds(200));
    more = stopped < count || !results.empty();
    while (!results.empty()) {
      const FileResult r = std::move(results.front());
      results.pop_front();
      ++finished;
      guard.unlock();
      done(r);
      guard.lock();
    }
    if (progress && more) {
      double share = double(finished);
      for (int w = 0; w < count; ++w) share += partial[w];
      guard.unlock();
      progress(share / double(jobs.size()));
      guard.lock();
    }
  }
  guard.unlock();
  for (std::thread& t : threads) t.join();
}

}  // namespace orvane::host
