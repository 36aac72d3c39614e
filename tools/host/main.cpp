// orvane-host: cleans audio files through a VST 3 bundle, lists what a bundle
// offers, saves and loads component states, and runs the built-in demo.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "demo.h"
#include "editor_render.h"
#include "editor_show.h"
#include "host.h"

using namespace orvane::host;
namespace fs = std::filesystem;

namespace {

const char* kUsage = R"(usage:
  orvane-host process IN OUT [options]   clean an audio file (mono or stereo)
  orvane-host info [options]             classes, buses, parameters, latency per mode
  orvane-host state save FILE [options]  write the component state after the options
  orvane-host state load FILE [options]  load a state and show the resulting settings
  orvane-host demo [DIR]                 clean the built-in noisy speech in all three modes
  orvane-host render OUT.png [options]   draw the plug-in's editor after the options
  orvane-host show [options]             open the plug-in's editor in a window (X11)

options:
  --bundle PATH        the .vst3 bundle (default: the one this build produced)
  --mode M             live, classic or dsp (or an entry of "Processing mode")
  --profile P          live, broadcast or studio (or an entry of "Cleanup profile")
  --set NAME=VALUE     any parameter, by identifier or title; VALUE in its units,
                       a list entry, or on/off
  --at WHEN:NAME=VALUE a change delivered at an input sample (WHEN: samples, or
                       seconds with an "s" suffix)
  --state FILE         load a saved component state before the other settings
  --block N            block size (default 512)
  --rate HZ            sample rate for info (default 48000)
  --language CODE      en, pt-BR or es for this run (the stored choice is untouched)
  --face F             render, show: main or advanced (default main)
  --scale S            render, show: device pixels per point (default 1)
  --screenshot FILE    show: write a PNG of the window once drawn, then close
  --seconds T          show: close the window after T seconds
                       For render, --set also takes the meters (100 to 104) as
                       normalised values, as the audio component reports them.
)";

struct Options {
  std::string bundle = defaultBundle();
  std::string mode, profile, stateFile, language, face = "main", screenshot;
  double scale = 1.0, seconds = 0;
  std::vector<std::pair<std::string, std::string>> sets;
  std::vector<std::string> at;
  int block = 512;
  double rate = 48000.0;
  std::vector<std::string> positional;
};

[[noreturn]] void usage(const std::string& problem) {
  std::fprintf(stderr, "orvane-host: %s\n", problem.c_str());
  std::fputs(kUsage, stderr);
  std::exit(2);
}

double parseNumber(const std::string& text, const char* what) {
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != 0 || !std::isfinite(v))
    usage(std::string("bad ") + what + ": " + text);
  return v;
}

Options parse(int argc, char** argv, int first) {
  Options o;
  for (int i = first; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) usage("missing value after " + a);
      return argv[++i];
    };
    if (a == "--bundle")
      o.bundle = value();
    else if (a == "--mode")
      o.mode = value();
    else if (a == "--profile")
      o.profile = value();
    else if (a == "--state")
      o.stateFile = value();
    else if (a == "--language")
      o.language = value();
    else if (a == "--face") {
      o.face = value();
      if (o.face != "main" && o.face != "advanced") usage("face must be main or advanced");
    } else if (a == "--scale") {
      o.scale = parseNumber(value(), "scale");
      if (!(o.scale > 0) || o.scale > 4) usage("scale must be above 0 and at most 4");
    } else if (a == "--screenshot") {
      o.screenshot = value();
    } else if (a == "--seconds") {
      o.seconds = parseNumber(value(), "seconds");
      if (!(o.seconds > 0)) usage("seconds must be above 0");
    } else if (a == "--set") {
      const std::string s = value();
      const auto eq = s.find('=');
      if (eq == std::string::npos || eq == 0) usage("--set takes NAME=VALUE, not " + s);
      o.sets.emplace_back(s.substr(0, eq), s.substr(eq + 1));
    } else if (a == "--at")
      o.at.push_back(value());
    else if (a == "--block") {
      const double b = parseNumber(value(), "block size");
      if (b < 1 || b > 65536 || b != std::floor(b))
        usage("block size must be a whole number from 1 to 65536");
      o.block = static_cast<int>(b);
    } else if (a == "--rate") {
      o.rate = parseNumber(value(), "sample rate");
    } else if (a.size() > 1 && a[0] == '-' && a != "-")
      usage("unknown option " + a);
    else
      o.positional.push_back(a);
  }
  return o;
}

// A language for this process only: the plug-in reads ORV_LANGUAGE_FILE, so
// point it at a private file holding the code.
void useLanguage(const std::string& code) {
  if (code.empty()) return;
  if (code != "en" && code != "pt-BR" && code != "es") usage("language must be en, pt-BR or es");
  const fs::path file =
      fs::temp_directory_path() / ("orvane-host-language-" + std::to_string(::getpid()));
  std::ofstream(file) << code << '\n';
  ::setenv("ORV_LANGUAGE_FILE", file.c_str(), 1);
  // The file is only needed for this run; it goes when the tool exits,
  // whichever way (usage errors leave through std::exit too).
  static std::string toRemove;
  toRemove = file.string();
  std::atexit([] { ::unlink(toRemove.c_str()); });
}

std::string modeEntry(const std::string& m) {
  if (m == "live") return "0";
  if (m == "classic") return "1";
  if (m == "dsp") return "2";
  return m;
}
std::string profileEntry(const std::string& p) {
  if (p == "live") return "0";
  if (p == "broadcast") return "1";
  if (p == "studio") return "2";
  return p;
}

// The plug-in's "Processing mode" and "Cleanup profile" identifiers.
constexpr unsigned kModeId = 9;
constexpr unsigned kProfileId = 8;

void applySettings(Plugin& plugin, const Options& o) {
  if (!o.stateFile.empty()) plugin.loadState(readFileBytes(o.stateFile));
  if (!o.mode.empty())
    plugin.setParameter(kModeId, plugin.normalizedFromText(kModeId, modeEntry(o.mode)));
  if (!o.profile.empty())
    plugin.setParameter(kProfileId, plugin.normalizedFromText(kProfileId, profileEntry(o.profile)));
  for (const auto& [name, value] : o.sets) {
    const auto id = plugin.resolve(name);
    plugin.setParameter(id, plugin.normalizedFromText(id, value));
  }
}

std::vector<Automation> automationPoints(Plugin& plugin, const Options& o, int sampleRate) {
  std::vector<Automation> out;
  for (const std::string& spec : o.at) {
    const auto colon = spec.find(':');
    const auto eq = spec.find('=', colon == std::string::npos ? 0 : colon);
    if (colon == std::string::npos || eq == std::string::npos)
      usage("--at takes WHEN:NAME=VALUE, not " + spec);
    std::string when = spec.substr(0, colon);
    double sample;
    if (!when.empty() && when.back() == 's') {
      when.pop_back();
      sample = std::llround(parseNumber(when, "time") * sampleRate);
    } else {
      sample = parseNumber(when, "sample position");
      if (sample != std::floor(sample)) usage("sample positions are whole numbers: " + when);
    }
    if (sample < 0) usage("automation time cannot be negative: " + spec);
    const auto id = plugin.resolve(spec.substr(colon + 1, eq - colon - 1));
    out.push_back({static_cast<std::int64_t>(sample), id,
                   plugin.normalizedFromText(id, spec.substr(eq + 1))});
  }
  return out;
}

void progressBar(double fraction) {
  const int width = 40;
  const int filled = static_cast<int>(std::lround(fraction * width));
  std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################",
               width - filled, "", static_cast<int>(std::lround(fraction * 100)));
  if (fraction >= 1.0) std::fputc('\n', stderr);
}

int cmdProcess(const Options& o) {
  if (o.positional.size() != 2) usage("process takes IN and OUT");
  const std::string in = o.positional[0], out = o.positional[1];
  Audio audio = readAudio(in);
  if (audio.channels.size() != 1 && audio.channels.size() != 2)
    throw Error(in + ": unsupported channel count " + std::to_string(audio.channels.size()) +
                " (mono or stereo only)");
  // Check the output format before any work, so a bad name fails at once.
  checkAudioOutput(out);
  Module module(o.bundle);
  Plugin plugin(module);
  applySettings(plugin, o);
  const auto points = automationPoints(plugin, o, audio.sampleRate);
  const bool showProgress = ::isatty(STDERR_FILENO) && audio.frames() > 10 * audio.sampleRate;
  const ProcessReport r = plugin.process(
      audio.channels, audio.sampleRate, o.block, points,
      showProgress ? std::function<void(double)>(progressBar) : std::function<void(double)>());
  writeAudioAtomic(out, audio);
  std::printf("latency            %d samples (removed)\n", r.latency);
  std::printf("real-time factor   %.4f (%.2f s for %.2f s of audio)\n", r.realTimeFactor,
              r.wallSeconds, double(audio.frames()) / audio.sampleRate);
  std::printf("input peak         %.4f\n", r.inputPeak);
  std::printf("output peak        %.4f\n", r.outputPeak);
  std::printf("reduction (max)    %.4f\n", r.reduction);
  std::printf("neural active      %s\n", r.neuralActive < 0      ? "-"
                                         : r.neuralActive == 0.0 ? "no"
                                         : r.neuralActive < 1.0  ? "fault"
                                                                 : "yes");
  std::printf("clipping           %s\n", r.clipped ? "yes" : "no");
  std::printf("wrote              %s\n", out.c_str());
  return 0;
}

std::string flagNames(int flags) {
  std::string s;
  const std::pair<int, const char*> names[] = {
      {1, "automate"}, {2, "read-only"}, {8, "list"}, {65536, "bypass"}};
  for (const auto& [bit, name] : names)
    if (flags & bit) s += (s.empty() ? "" : ",") + std::string(name);
  return s.empty() ? "-" : s;
}

int cmdInfo(const Options& o) {
  if (!o.positional.empty()) usage("info takes no file");
  Module module(o.bundle);
  const auto factory = module.factoryInfo();
  std::printf("module   %s\nvendor   %s\n\nclasses\n", module.sharedObject().c_str(),
              factory.vendor);
  for (const ClassEntry& c : module.classes())
    std::printf("  %s  %-26s %-20s %s  %s\n", uidString(c.cid).c_str(), c.category.c_str(),
                c.name.c_str(), c.subCategories.empty() ? "-" : c.subCategories.c_str(),
                c.version.c_str());
  Plugin plugin(module);
  std::printf("\nbuses\n");
  for (const BusDesc& b : plugin.buses())
    std::printf("  %-6s %-8s %d channels\n", b.input ? "input" : "output", b.name.c_str(),
                b.channels);
  std::printf("\nparameters\n  %4s  %-24s %-5s %-22s %s\n", "id", "title", "units", "default",
              "flags");
  for (const ParamDesc& p : plugin.parameters())
    std::printf("  %4u  %-24s %-5s %-22s %s\n", p.id, p.title.c_str(),
                p.units.empty() ? "-" : p.units.c_str(), p.defaultText.c_str(),
                flagNames(p.flags).c_str());
  applySettings(plugin, o);
  plugin.setup(o.rate, 2, o.block);
  std::printf("\nlatency at %g Hz\n", o.rate);
  for (int m = 0; m < 3; ++m) {
    plugin.setParameter(kModeId, m * 0.5);
    std::printf("  %-16s %d samples\n",
                m == 0   ? "Neural Live"
                : m == 1 ? "Neural Classic"
                         : "Live DSP",
                plugin.latency());
  }
  return 0;
}

int cmdState(const Options& o) {
  if (o.positional.size() != 2 || (o.positional[0] != "save" && o.positional[0] != "load"))
    usage("state takes save FILE or load FILE");
  const std::string file = o.positional[1];
  Module module(o.bundle);
  Plugin plugin(module);
  if (o.positional[0] == "save") {
    applySettings(plugin, o);
    plugin.flush();
    const auto bytes = plugin.saveState();
    writeFileAtomic(file, bytes);
    std::printf("wrote %zu bytes to %s\n", bytes.size(), file.c_str());
    return 0;
  }
  plugin.loadState(readFileBytes(file));
  applySettings(plugin, o);
  for (const ParamDesc& p : plugin.parameters()) {
    if (p.flags & 2) continue;  // meters are not part of a state
    std::printf("  %4u  %-24s %.6f\n", p.id, p.title.c_str(), plugin.parameter(p.id));
  }
  return 0;
}

// Read-only parameters (the meters) reach a controller from the audio
// component through the host; for a picture the host sets them directly.
bool isReadOnly(const Plugin& plugin, Steinberg::Vst::ParamID id) {
  for (const ParamDesc& p : plugin.parameters())
    if (p.id == id) return (p.flags & 2) != 0;
  return false;
}

int cmdRender(const Options& o) {
  if (o.positional.size() != 1) usage("render takes OUT.png");
  const std::string out = o.positional[0];
  if (fs::path(out).extension() != ".png") usage("render writes a .png file");
  Module module(o.bundle);
  Plugin plugin(module);
  Options writable = o;
  writable.sets.clear();
  for (const auto& [name, value] : o.sets) {
    const auto id = plugin.resolve(name);
    if (!isReadOnly(plugin, id)) {
      writable.sets.emplace_back(name, value);
      continue;
    }
    const double v = parseNumber(value, "meter value");
    if (v < 0 || v > 1) usage("meter values are normalised, 0 to 1: " + value);
    plugin.controller()->setParamNormalized(id, v);
  }
  applySettings(plugin, writable);
  renderEditor(plugin, out, {o.face == "advanced", o.scale});
  std::printf("wrote %s\n", out.c_str());
  return 0;
}

int cmdShow(const Options& o) {
  if (!o.positional.empty()) usage("show takes no file");
  if (!o.screenshot.empty() && fs::path(o.screenshot).extension() != ".png")
    usage("--screenshot writes a .png file");
  Module module(o.bundle);
  Plugin plugin(module);
  applySettings(plugin, o);
  showEditor(plugin, {o.face == "advanced", o.scale, o.screenshot, o.seconds});
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) usage("no command");
  const std::string command = argv[1];
  if (command == "-h" || command == "--help" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  try {
    Options o = parse(argc, argv, 2);
    useLanguage(o.language);
    if (command == "process") return cmdProcess(o);
    if (command == "info") return cmdInfo(o);
    if (command == "state") return cmdState(o);
    if (command == "render") return cmdRender(o);
    if (command == "show") return cmdShow(o);
    if (command == "demo") {
      if (o.positional.size() > 1) usage("demo takes at most one folder");
      if (o.language.empty()) useLanguage("en");
      return runDemo(o.bundle, o.positional.empty() ? "demo-output" : o.positional[0]);
    }
    usage("unknown command " + command);
  } catch (const Error& e) {
    std::fprintf(stderr, "orvane-host: %s\n", e.what());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "orvane-host: %s\n", e.what());
    return 1;
  }
}
