// The command line: commands, the options each one takes, and their help.
// A usage error prints one line and exits with status 2.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace orvane::host {

struct Options {
  std::string command;
  std::vector<std::string> positional;

  std::string bundle, language;
  // Settings, as typed; resolved against the plug-in's parameters later.
  std::string mode, profile, stateFile;
  std::vector<std::pair<std::string, std::string>> sets;  // NAME, VALUE
  std::vector<std::string> at;                            // WHEN:NAME=VALUE
  int block = 512;
  double rate = 48000;
  // process
  std::string format, bits, outputDir;
  std::string spectrogram;  // a PNG for one file, a folder of them for a batch
  bool recursive = false, overwrite = false, json = false, quiet = false;
  int jobs = 1;
  int shardIndex = 0, shardCount = 0;  // --shard K/N: K in 1..N; 0/0 when absent
  // render and show
  std::string face = "main";
  double scale = 1;
  std::string screenshot;  // show
  double seconds = 0;      // show: 0 stays open
};

// Parses argv; prints help and exits 0 for --help, prints one line and exits
// 2 for a usage error (an unknown command or option, an option the command
// does not take, a malformed value).
Options parseCommandLine(int argc, char** argv);

[[noreturn]] void usageError(const std::string& problem, const std::string& command = {});

}  // namespace orvane::host
