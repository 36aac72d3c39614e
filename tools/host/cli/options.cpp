#include "options.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "environment.h"
#include "names.h"

namespace orvane::host {

namespace {

struct Command {
  const char* name;
  const char* synopsis;
  const char* what;
};

constexpr Command kCommands[] = {
    {"process", "process IN OUT | process IN... -o DIR",
     "clean audio files (mono or stereo); folders with -o DIR"},
    {"info", "info", "the bundle used, its classes, buses, parameters and latency per mode"},
    {"state", "state save FILE | state load FILE | state lv2 FILE BUNDLE.lv2",
     "write the component state after the settings, load one and show it, or make it an LV2 "
     "preset"},
    {"render", "render OUT.png", "draw the plug-in's editor after the settings"},
    {"show", "show", "open the plug-in's editor in a window (X11) after the settings"},
    {"demo", "demo [DIR]", "clean the built-in noisy speech in all three modes"},
};

struct Option {
  const char* name;
  const char* shortName;  // or nullptr
  const char* value;      // placeholder, nullptr for a switch
  const char* commands;   // space-separated commands that take it
  const char* help;
};

constexpr Option kOptions[] = {
    {"--bundle", nullptr, "PATH", "process info state render show demo",
     "the .vst3 bundle (default: searched, see below)"},
    {"--language", nullptr, "CODE", "process info state render show demo",
     "en, pt-BR or es for this run (the stored choice is untouched)"},
    {"--mode", nullptr, "M", "process state render show",
     "live, classic or dsp, or any value of processing-mode"},
    {"--profile", nullptr, "P", "process state render show",
     "live, broadcast or studio, or any value of cleanup-profile"},
    {"--set", nullptr, "NAME=VALUE", "process state render show",
     "a parameter by identifier, key, English or local title; VALUE in\n"
     "its units (-3dB, 50%, 120Hz), a list entry or a unique prefix, on/off"},
    {"--at", nullptr, "WHEN:NAME=VALUE", "process",
     "a change at an input position: WHEN in samples, or seconds with\n"
     "an s (2.5s); the output lines up with the input across it"},
    {"--state", nullptr, "FILE", "process state render show",
     "load a saved component state before the other settings"},
    {"--output-dir", "-o", "DIR", "process", "batch: write each output into DIR"},
    {"--recursive", "-r", nullptr, "process", "batch: take audio files in sub-folders too"},
    {"--jobs", "-j", "N", "process", "batch: N files at once, each with its own plug-in"},
    {"--overwrite", nullptr, nullptr, "process", "batch: replace outputs that exist (else skip)"},
    {"--shard", nullptr, "K/N", "process",
     "batch: only the K-th of N fixed parts of the inputs (K = 1..N)"},
    {"--format", nullptr, "F", "process",
     "output container: wav, flac, aiff, w64, rf64, caf, au, ogg, opus,\n"
     "mp3 (default: the output's extension, else the input's)"},
    {"--bits", nullptr, "B", "process",
     "output samples: 8, 16, 24, 32, float, double (default: the input's)"},
    {"--spectrogram", nullptr, "PNG|DIR", "process",
     "draw the input above the output as a PNG; a batch writes one per\n"
     "file under DIR, named as the output plus .png"},
    {"--json", nullptr, nullptr, "process", "one JSON object per file (and a summary) on stdout"},
    {"--quiet", "-q", nullptr, "process", "print nothing but errors"},
    {"--block", nullptr, "N", "process info", "block size in samples (default 512)"},
    {"--rate", nullptr, "HZ", "info", "sample rate for the latency table (default 48000)"},
    {"--face", nullptr, "F", "render show", "main or advanced (default main)"},
    {"--screenshot", nullptr, "FILE", "show", "write a PNG of the window once drawn, then close"},
    {"--seconds", nullptr, "T", "show", "close the window after T seconds"},
    {"--scale", nullptr, "S", "render show",
     "device pixels per point (default 1); --set also takes the meters\n"
     "(input-peak ... clipping) as values 0 to 1"},
};

bool takes(const Option& o, const std::string& command) {
  const std::string list = std::string(" ") + o.commands + " ";
  return list.find(" " + command + " ") != std::string::npos;
}

const Command* findCommand(const std::string& name) {
  for (const Command& c : kCommands)
    if (name == c.name) return &c;
  return nullptr;
}

void printOptions(std::FILE* to, const std::string& command) {
  for (const Option& o : kOptions) {
    if (!command.empty() && !takes(o, command)) continue;
    std::string head = o.shortName ? std::string(o.shortName) + ", " + o.name : o.name;
    if (o.value) head += std::string(" ") + o.value;
    std::string help = o.help;
    std::string indented;
    for (char c : help)
      indented += c == '\n' ? std::string("\n") + std::string(27, ' ') : std::string(1, c);
    std::fprintf(to, "  %-24s %s\n", head.c_str(), indented.c_str());
  }
}

void printKeys(std::FILE* to) {
  std::fprintf(to, "\nparameter keys (names work in every interface language):\n");
  std::string line = " ";
  for (const KeyAndTitle& k : orvaneParameterKeys()) {
    if (line.size() + k.key.size() + 1 > 78) {
      std::fprintf(to, "%s\n", line.c_str());
      line = " ";
    }
    line += " " + k.key;
  }
  std::fprintf(to, "%s\n", line.c_str());
}

void printBundleSearch(std::FILE* to) {
  std::fprintf(to, "\nthe bundle: --bundle, else Orvane.vst3 in the first of:\n");
  const auto folders = bundleSearchPath();
  for (std::size_t i = 0; i < folders.size(); ++i)
    std::fprintf(to, "  %s%s\n", folders[i].c_str(),
                 i + 1 == folders.size() ? "  (this build)" : "");
}

void printHelp(std::FILE* to, const std::string& command) {
  if (const Command* c = findCommand(command)) {
    std::fprintf(to, "usage: orvane-host %s [options]\n  %s\n\noptions:\n", c->synopsis, c->what);
    printOptions(to, command);
    if (command != "demo" && command != "info") printKeys(to);
    if (command == "process")
      std::fprintf(to,
                   "\nThe output keeps the input's container, sample format, rate, channels,\n"
                   "text strings and broadcast chunk unless --format or --bits say otherwise.\n"
                   "reduction = input RMS minus output RMS, measured on the aligned files.\n"
                   "Exit status: 0 all done, 1 a file failed, 2 a usage error.\n");
    printBundleSearch(to);
    return;
  }
  std::fprintf(to, "usage: orvane-host COMMAND [options]   (orvane-host COMMAND --help)\n\n");
  for (const Command& c : kCommands) std::fprintf(to, "  %-38s %s\n", c.synopsis, c.what);
  std::fprintf(to, "\noptions:\n");
  printOptions(to, "");
  printKeys(to);
  printBundleSearch(to);
}

double number(const std::string& text, const std::string& option, const std::string& command) {
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != 0 || !std::isfinite(v))
    usageError(option + " takes a number, not '" + text + "'", command);
  return v;
}

int wholeNumber(const std::string& text, const std::string& option, const std::string& command,
                int lo, int hi) {
  const double v = number(text, option, command);
  if (v != std::floor(v) || v < lo || v > hi)
    usageError(option + " takes a whole number from " + std::to_string(lo) + " to " +
                   std::to_string(hi) + ", not '" + text + "'",
               command);
  return static_cast<int>(v);
}

void store(Options& o, const std::string& name, const std::string& value) {
  const std::string& cmd = o.command;
  if (name == "--bundle") o.bundle = value;
  if (name == "--language") o.language = value;
  if (name == "--mode") o.mode = value;
  if (name == "--profile") o.profile = value;
  if (name == "--state") o.stateFile = value;
  if (name == "--output-dir") o.outputDir = value;
  if (name == "--format") o.format = value;
  if (name == "--bits") o.bits = value;
  if (name == "--spectrogram") o.spectrogram = value;
  if (name == "--recursive") o.recursive = true;
  if (name == "--overwrite") o.overwrite = true;
  if (name == "--json") o.json = true;
  if (name == "--quiet") o.quiet = true;
  if (name == "--at") o.at.push_back(value);
  if (name == "--set") {
    const auto eq = value.find('=');
    if (eq == std::string::npos || eq == 0) usageError("--set takes NAME=VALUE, not " + value, cmd);
    o.sets.emplace_back(value.substr(0, eq), value.substr(eq + 1));
  }
  if (name == "--jobs") o.jobs = wholeNumber(value, name, cmd, 1, 256);
  if (name == "--block") o.block = wholeNumber(value, name, cmd, 1, 65536);
  if (name == "--rate") {
    o.rate = number(value, name, cmd);
    if (!(o.rate > 0) || o.rate > 1e6) usageError("--rate takes a rate in Hz", cmd);
  }
  if (name == "--shard") {
    const auto slash = value.find('/');
    if (slash == std::string::npos) usageError("--shard takes K/N, not " + value, cmd);
    o.shardCount = wholeNumber(value.substr(slash + 1), name, cmd, 1, 1 << 20);
    o.shardIndex = wholeNumber(value.substr(0, slash), name, cmd, 1, o.shardCount);
  }
  if (name == "--face") {
    if (value != "main" && value != "advanced") usageError("--face takes main or advanced", cmd);
    o.face = value;
  }
  if (name == "--screenshot") o.screenshot = value;
  if (name == "--seconds") {
    o.seconds = number(value, name, cmd);
    if (!(o.seconds > 0)) usageError("--seconds takes a time above 0", cmd);
  }
  if (name == "--scale") {
    o.scale = number(value, name, cmd);
    if (!(o.scale > 0) || o.scale > 4) usageError("--scale takes a number above 0 up to 4", cmd);
  }
}

// Refuses what only makes sense together with something else.
void checkCombinations(const Options& o) {
  if (o.command != "process") return;
  const bool batch = !o.outputDir.empty();
  if (!batch) {
    if (o.recursive || o.overwrite || o.jobs != 1 || o.shardCount)
      usageError("-r, -j, --overwrite and --shard apply to batches (with -o DIR)", o.command);
    if (o.positional.size() != 2)
      usageError("process takes IN OUT, or inputs and -o DIR", o.command);
  } else if (o.positional.empty()) {
    usageError("process -o DIR takes at least one input file or folder", o.command);
  }
}

}  // namespace

[[noreturn]] void usageError(const std::string& problem, const std::string& command) {
  std::fprintf(stderr, "orvane-host: %s (orvane-host %s--help)\n", problem.c_str(),
               command.empty() ? "" : (command + " ").c_str());
  std::exit(2);
}

Options parseCommandLine(int argc, char** argv) {
  if (argc < 2) usageError("no command");
  Options o;
  o.command = argv[1];
  if (o.command == "--help" || o.command == "-h" || o.command == "help") {
    printHelp(stdout, argc > 2 ? argv[2] : "");
    std::exit(0);
  }
  if (!findCommand(o.command)) usageError("unknown command '" + o.command + "'");
  for (int i = 2; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      printHelp(stdout, o.command);
      std::exit(0);
    }
    if (arg.size() < 2 || arg[0] != '-') {
      o.positional.push_back(arg);
      continue;
    }
    std::string inlineValue;
    bool hasInline = false;
    if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      inlineValue = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
      hasInline = true;
    }
    const Option* option = nullptr;
    for (const Option& candidate : kOptions)
      if (arg == candidate.name || (candidate.shortName && arg == candidate.shortName))
        option = &candidate;
    if (!option) usageError("unknown option " + arg, o.command);
    if (!takes(*option, o.command))
      usageError(std::string(option->name) + " does not apply to " + o.command, o.command);
    std::string value;
    if (option->value) {
      if (hasInline) {
        value = inlineValue;
      } else {
        if (i + 1 >= argc) usageError("missing value after " + arg, o.command);
        value = argv[++i];
      }
    } else if (hasInline) {
      usageError(std::string(option->name) + " takes no value", o.command);
    }
    store(o, option->name, value);
  }
  checkCombinations(o);
  return o;
}

}  // namespace orvane::host
