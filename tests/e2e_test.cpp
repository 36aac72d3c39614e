// The built bundle loaded through the host library as a host loads it, and the
// host tool run as a user runs it: the README's own examples, names in every
// language, formats kept, bounded memory, alignment across mode changes,
// batches and shards.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <tuple>

#include "audio_file.h"
#include "files/files.h"
#include "params/parameters.h"
#include "protocol/ids.h"
#include "support/state_bytes.h"
#include "vsthost/stream.h"

namespace orvane {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;
namespace fs = std::filesystem;

std::vector<float> noisySpeechLike(std::size_t n, unsigned seed) {
  // Bursts of tone and noise with quiet gaps: enough to keep every stage busy.
  std::mt19937 rng(seed);
  std::normal_distribution<float> g(0.0f, 1.0f);
  std::vector<float> x(n);
  for (std::size_t i = 0; i < n; ++i) {
    const bool burst = (i / 4800) % 3 != 2;
    x[i] = 0.01f * g(rng) + (burst ? 0.3f * std::sin(0.05f * i) * std::sin(0.0007f * i) : 0.0f);
  }
  return x;
}

// Whole frames quantised to 16 bits, as a 16-bit file holds them.
std::vector<float> sixteenBit(std::vector<float> x) {
  for (float& v : x) v = std::nearbyint(v * 32768.0f) / 32768.0f;
  return x;
}

// --- The bundle through the host library -----------------------------------

TEST(Bundle, EveryIdentifierCreatesAWorkingComponent) {
  host::Module module(ORV_BUNDLE);
  IPluginFactory* f = module.factory();
  const std::pair<const FUID*, float> ids[] = {
      {&ProcessorID, 0.5f}, {&LiveID, 1.0f}, {&NeuralLiveID, 0.0f}};
  for (const auto& [id, v1Mode] : ids) {
    TUID cid;
    std::memcpy(cid, id->toTUID(), sizeof(TUID));
    host::Plugin plugin(module, &cid);
    EXPECT_TRUE(plugin.controllerClass() == ControllerID);
    // An older state takes the default mode of the identifier it was made with,
    // and the controller learns it by asking the component.
    plugin.loadState(test::olderState());
    EXPECT_EQ(plugin.saveState(), test::stateWith(9, v1Mode));
    EXPECT_EQ(plugin.parameter(ProcessingMode), v1Mode);
  }
  void* obj = reinterpret_cast<void*>(1);
  EXPECT_EQ(f->createInstance(nullptr, IComponent::iid, &obj), kInvalidArgument);
  EXPECT_EQ(f->createInstance(LiveID.toTUID(), nullptr, &obj), kInvalidArgument);
  EXPECT_EQ(f->createInstance(LiveID.toTUID(), IComponent::iid, nullptr), kInvalidArgument);
}

// Mono audio through a new instance in `mode` at 48 kHz, latency compensated
// by the host library, with `points` of automation.
std::vector<float> runBundle(host::Module& module, int mode, std::vector<float> x,
                             const std::vector<host::Automation>& points = {}, bool bypass = false,
                             host::StreamReport* report = nullptr) {
  host::Plugin plugin(module);
  plugin.setParameter(ProcessingMode, modeToNormalized(mode));
  if (bypass) plugin.setParameter(Bypass, 1.0);
  std::vector<std::vector<float>> audio{std::move(x)};
  const auto r = host::processInMemory(plugin, audio, 48000, 512, points);
  if (report) *report = r;
  return audio[0];
}

TEST(Bundle, AutomationChangesTheOutputAtItsSample) {
  host::Module module(ORV_BUNDLE);
  const std::int64_t at = 12345;
  const auto x = noisySpeechLike(30000, 3);
  for (int mode = 0; mode < kModeCount; ++mode) {
    const auto plain = runBundle(module, mode, x);
    const auto automated = runBundle(module, mode, x, {{at, OutputGain, 0.9}});  // +14.4 dB
    std::size_t first = 0;
    while (first < plain.size() && plain[first] == automated[first]) ++first;
    EXPECT_EQ(first, static_cast<std::size_t>(at)) << "mode " << mode;
  }
}

// A mode switch at sample s: everything before s is what the old mode gives
// without the switch, everything from s on is what the new mode gives for the
// input from s, started there; with Bypass on, the whole output is the input.
TEST(Alignment, ModeSwitchInEachDirectionKeepsTheOutputInPlace) {
  host::Module module(ORV_BUNDLE);
  const std::int64_t s = 24000 + 37;  // not on a block boundary
  const auto input = noisySpeechLike(48000, 7);
  const int latency[] = {95, 1440, 0};  // as the bundle reports them at 48 kHz
  for (int from = 0; from < kModeCount; ++from)
    for (int to = 0; to < kModeCount; ++to) {
      if (from == to) continue;
      SCOPED_TRACE(testing::Message() << "mode " << from << " to " << to);
      const std::vector<host::Automation> change{{s, ProcessingMode, modeToNormalized(to)}};
      host::StreamReport report;
      const auto switched = runBundle(module, from, input, change, false, &report);
      EXPECT_EQ(report.latency, latency[from]);
      EXPECT_EQ(report.finalLatency, latency[to]);
      EXPECT_EQ(report.latencyRestarts, 1);
      const auto before = runBundle(module, from, input);
      const auto after = runBundle(module, to, std::vector<float>(input.begin() + s, input.end()));
      ASSERT_EQ(switched.size(), input.size());
      for (std::int64_t i = 0; i < s; ++i) ASSERT_EQ(switched[i], before[i]) << i;
      for (std::size_t i = s; i < switched.size(); ++i) ASSERT_EQ(switched[i], after[i - s]) << i;
      const auto bypassed = runBundle(module, from, input, change, true);
      for (std::size_t i = 0; i < input.size(); ++i) ASSERT_NEAR(bypassed[i], input[i], 1e-6) << i;
    }
}

// --- The tool as a user runs it ----------------------------------------------

struct ToolRun {
  int status = -1;
  std::string out, err;
  long maxRssKb = 0;
};

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Starts a shell command line in `dir`, with `env` set (an empty value
// unsets), its output going to files there.
pid_t start(const std::string& line, const fs::path& dir,
            const std::map<std::string, std::string>& env) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(dir.c_str()) != 0) ::_exit(126);
    for (const auto& [name, value] : env)
      value.empty() ? ::unsetenv(name.c_str()) : ::setenv(name.c_str(), value.c_str(), 1);
    ::dup2(::open(".stdout", O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
    ::dup2(::open(".stderr", O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
    ::execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  return pid;
}

// Waits for a started command and reads back what it printed and its peak memory.
ToolRun finish(pid_t pid, const fs::path& dir) {
  ToolRun r;
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.maxRssKb = usage.ru_maxrss;
  r.out = slurp(dir / ".stdout");
  r.err = slurp(dir / ".stderr");
  fs::remove(dir / ".stdout");
  fs::remove(dir / ".stderr");
  return r;
}

class Tool : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/orvane-e2e-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir = pattern;
    fs::create_directories(dir / "home");
    // A fixed world: no stored language, the built bundle found first.
    env = {{"HOME", (dir / "home").string()},
           {"XDG_CONFIG_HOME", ""},
           {"ORV_LANGUAGE_FILE", ""},
           {"VST3_PATH", fs::path(ORV_BUNDLE).parent_path().string()},
           {"SLURM_ARRAY_TASK_ID", "3"}};  // the README's array job runs as task 3
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  ToolRun tool(const std::string& args, const std::map<std::string, std::string>& extra = {}) {
    auto all = env;
    for (const auto& [k, v] : extra) all[k] = v;
    return finish(start("exec " + std::string(ORV_HOST_TOOL) + " " + args, dir, all), dir);
  }
  std::string path(const std::string& name) const { return (dir / name).string(); }
  void writeWav(const std::string& name, std::vector<std::vector<float>> channels,
                int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16, int rate = 48000,
                const host::Metadata& metadata = {}) {
    fs::create_directories(fs::path(path(name)).parent_path());
    host::writeAudio(path(name), host::Audio{rate, std::move(channels)}, format, metadata);
  }
  bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }
  fs::path dir;
  std::map<std::string, std::string> env;
};

// Every example line of the README, run as written from a folder holding the
// files it names. (The names it uses in every language: the next test.)
TEST_F(Tool, ReadmeExamplesRunAsWritten) {
  const std::string prefix = "build/tools/host/orvane-host";
  std::vector<std::string> examples;
  std::ifstream readme(std::string(ORV_SOURCE_DIR) + "/README.md");
  for (std::string l; std::getline(readme, l);)
    if (l.rfind("    ", 0) == 0 && has(l, prefix)) examples.push_back(l.substr(4));
  ASSERT_GE(examples.size(), 9u) << "the README's examples went missing";

  const auto voice = sixteenBit(noisySpeechLike(48000 * 3, 5));
  fs::create_directories(dir / "build/tools/host");
  fs::create_symlink(ORV_HOST_TOOL, dir / prefix);
  for (const char* name : {"noisy.wav", "in.wav", "recordings/a.wav", "recordings/day2/b.wav"})
    writeWav(name, {voice, voice});
  for (const std::string& example : examples) {
    std::vector<std::string> commands{example};
    // GNU parallel runs the line once per argument after ":::".
    if (example.rfind("parallel ", 0) == 0) {
      const auto marker = example.find(" ::: ");
      std::istringstream args(example.substr(marker + 5));
      commands.clear();
      for (std::string a; args >> a;)
        commands.push_back(example.substr(9, marker - 9).replace(example.find("{}") - 9, 2, a));
    }
    for (const std::string& command : commands) {
      const ToolRun r = finish(start(command, dir, env), dir);
      EXPECT_EQ(r.status, 0) << command << "\n" << r.err;
      EXPECT_EQ(r.err, "") << command;
    }
  }
  EXPECT_TRUE(fs::exists(dir / "clean.wav"));
  EXPECT_TRUE(fs::exists(dir / "cleaned/day2/b.wav"));
  EXPECT_TRUE(fs::exists(dir / "clean.png"));
  EXPECT_TRUE(fs::exists(dir / "pictures/day2/b.wav.png"));
  EXPECT_EQ(host::readAudio(path("out.flac")).frames(), 48000 * 3);
}

// Every way to name a parameter reaches it, in every interface language; a
// name that fits two is refused with both.
TEST_F(Tool, NamesWorkInEveryLanguage) {
  const std::pair<std::string, std::string> cases[] = {
      {"",
       "--set output-gain=-3dB --set 'Dry / Wet=50 %' --set frequency-focus=120Hz"
       " --set 'PERFIL DE LIMPEZA=estu' --set 'modo de processamento=classic'"},
      {"en",
       "--set 'Output gain=-3' --set dry-wet=50% --set 'FREQUENCY FOCUS=120 hz'"
       " --set cleanup-profile=Studio --set 'processing mode=Neural Classic'"},
      // Decomposed accents (a + U+0303, i + U+0301) and Spanish titles.
      {"es",
       "--set 'ganancia de salida=-3 dB' --set 'original / limpio=50'"
       " --set 'enfoque de frecuencia=120'"
       " --set 'perfil de limpieza=Estudio' --set 9=clasico"},
      {"pt-BR",
       "--set 'GANHO DE SAI\xCC\x81"
       "DA=-3' --set 5=50% --set 4=120Hz"
       " --set 8=2 --set 'Modo de processamento=Neural Cla\xCC\x81ssico'"},
  };
  host::Module module(ORV_BUNDLE);
  for (const auto& [language, sets] : cases) {
    SCOPED_TRACE(language);
    const ToolRun r =
        tool("state save s.state " + sets + (language.empty() ? "" : " --language " + language));
    ASSERT_EQ(r.status, 0) << r.err;
    host::Plugin plugin(module);
    plugin.loadState(*files::readFile(path("s.state")));
    auto plain = [&](ParamId id) {
      return plugin.controller()->normalizedParamToPlain(id, plugin.parameter(id));
    };
    EXPECT_NEAR(plain(OutputGain), -3.0, 1e-4);
    EXPECT_NEAR(plain(DryWet), 50.0, 1e-4);
    EXPECT_NEAR(plain(FrequencyFocus), 120.0, 1e-4);
    EXPECT_EQ(plugin.parameter(CleanupProfile), 1.0) << "studio";
    EXPECT_EQ(plugin.parameter(ProcessingMode), modeToNormalized(1)) << "Neural Classic";
  }
  // The options for mode and profile; the record loads back identically.
  ASSERT_EQ(tool("state save s.state --mode live --profile broadcast --set 3=25").status, 0);
  const auto bytes = *files::readFile(path("s.state"));
  host::Plugin plugin(module);
  plugin.loadState(bytes);
  EXPECT_EQ(plugin.saveState(), bytes);
  EXPECT_EQ(plugin.parameter(ProcessingMode), 0.0);
  EXPECT_EQ(plugin.parameter(CleanupProfile), 0.5);
  EXPECT_NEAR(plugin.parameter(BodyRestore), 0.25, 1e-6);
  EXPECT_EQ(tool("state load s.state").status, 0);
}

// Bypassed runs through 16-bit WAV, 24-bit FLAC and float WAV: each output has
// the input's container, sample format, rate, channels and metadata, and the
// integer ones the very same samples.
TEST_F(Tool, FormatsAndMetadataAreKept) {
  host::Metadata tags, withBext;
  tags.strings = {{SF_STR_TITLE, "Entrevista"}, {SF_STR_ARTIST, "Zoë"}};
  SF_BROADCAST_INFO bext{};
  std::strcpy(bext.description, "field recording");
  bext.time_reference_low = 123456;
  withBext = tags;
  withBext.broadcast = bext;
  const auto left = sixteenBit(noisySpeechLike(30000, 21));
  writeWav("in/speech16.wav", {left, sixteenBit(noisySpeechLike(30000, 22))},
           SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, withBext);
  writeWav("in/speech24.flac", {left}, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 48000, tags);
  auto loud = left;
  loud[100] = 1.5f;  // beyond full scale: kept in float, clamped in 16 bits
  writeWav("in/float.wav", {loud}, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 32000, tags);

  ToolRun r = tool("process in -o out --set bypass=on --mode classic --json");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(r.out, "\"clippedSamples\":0"));
  for (const std::string name : {"speech16.wav", "speech24.flac", "float.wav"}) {
    SCOPED_TRACE(name);
    host::AudioFileReader in(path("in/" + name)), out(path("out/" + name));
    EXPECT_EQ(out.info().format, in.info().format);
    EXPECT_EQ(out.info().sampleRate, in.info().sampleRate);
    EXPECT_EQ(out.info().channels, in.info().channels);
    EXPECT_EQ(out.info().frames, in.info().frames);
    EXPECT_EQ(out.metadata().strings, in.metadata().strings);
    EXPECT_EQ(host::readAudio(path("out/" + name)).channels,
              host::readAudio(path("in/" + name)).channels);
  }
  const auto chunk = host::AudioFileReader(path("out/speech16.wav")).metadata().broadcast;
  ASSERT_TRUE(chunk.has_value());
  EXPECT_STREQ(chunk->description, "field recording");
  EXPECT_EQ(chunk->time_reference_low, 123456u);

  // Asked for another format: 16-bit FLAC, with the sample beyond full scale
  // clamped and counted.
  r = tool("process in/float.wav out/float16.flac --bits 16 --set bypass=on --json");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(r.out, "\"clippedSamples\":1,")) << r.out;
  EXPECT_EQ(host::AudioFileReader(path("out/float16.flac")).info().format,
            SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
  EXPECT_FLOAT_EQ(host::readAudio(path("out/float16.flac")).channels[0][100], 32767.0f / 32768.0f);
}

// A long file streams: the tool's peak memory for it stays near that for a
// short one, far below what holding the audio would take (69 MB as floats
// for 6 minutes, twice that with the output).
TEST_F(Tool, LongFilesRunInBoundedMemory) {
  const std::size_t longFrames = std::size_t(48000) * 60 * 6;
  writeWav("short.wav", {std::vector<float>(48000, 0.1f)});
  std::vector<float> x(longFrames);
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = 0.25f * std::sin(0.01f * float(i % 62832));
  writeWav("long.wav", {std::move(x)});
  const ToolRun small = tool("process short.wav short-out.wav --mode dsp");
  const ToolRun large = tool("process long.wav long-out.wav --mode dsp");
  ASSERT_EQ(small.status, 0) << small.err;
  ASSERT_EQ(large.status, 0) << large.err;
  EXPECT_EQ(host::AudioFileReader(path("long-out.wav")).info().frames, std::int64_t(longFrames));
  EXPECT_LT(large.maxRssKb - small.maxRssKb, 24 * 1024)
      << "short " << small.maxRssKb << " KB, long " << large.maxRssKb << " KB";
}

// A folder with two good files, an unreadable one and a 6-channel one: two
// outputs, one line per failure, status 1; a second run skips the work done;
// shards cover every input exactly once.
TEST_F(Tool, BatchesReportFailuresSkipDoneWorkAndShard) {
  const auto voice = sixteenBit(noisySpeechLike(9600, 31));
  writeWav("corpus/a.wav", {voice});
  writeWav("corpus/deeper/b.wav", {voice, voice});
  std::ofstream(path("corpus/broken.wav")) << "not audio at all";
  writeWav("corpus/six.wav", std::vector<std::vector<float>>(6, voice));
  std::ofstream(path("corpus/notes.txt")) << "left alone";

  ToolRun r = tool("process corpus -r -o out -j 2 --mode dsp");
  EXPECT_EQ(r.status, 1);
  std::istringstream errors(r.err);
  int failures = 0;
  for (std::string l; std::getline(errors, l); ++failures)
    EXPECT_EQ(l.rfind("failed   corpus/", 0), 0u) << l;
  EXPECT_EQ(failures, 2) << r.err;
  EXPECT_TRUE(has(r.err, "broken.wav: cannot read")) << r.err;
  EXPECT_TRUE(has(r.err, "six.wav: unsupported channel count 6")) << r.err;
  EXPECT_TRUE(has(r.out, "2 done, 0 skipped, 2 failed")) << r.out;
  std::set<std::string> written;
  for (const auto& e : fs::recursive_directory_iterator(dir / "out"))
    if (e.is_regular_file()) written.insert(e.path().lexically_relative(dir / "out").string());
  EXPECT_EQ(written, (std::set<std::string>{"a.wav", "deeper/b.wav"}));
  r = tool("process corpus -r -o out -j 2 --mode dsp");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(has(r.out, "0 done, 2 skipped, 2 failed")) << r.out;

  for (int i = 0; i < 12; ++i) writeWav("many/f" + std::to_string(i) + ".wav", {voice});
  std::map<std::string, int> seen;
  for (const std::string k : {"1", "2", "3"}) {
    std::string args = "process many --mode dsp -o shard" + k;
    ASSERT_EQ(tool(args.append(" --shard ").append(k).append("/3")).status, 0);
    for (const auto& e : fs::directory_iterator(dir / ("shard" + k)))
      ++seen[e.path().filename().string()];
  }
  EXPECT_EQ(seen.size(), 12u);
  for (const auto& [name, count] : seen) EXPECT_EQ(count, 1) << name;
}

// A run never takes its own outputs as inputs, never writes one output for
// two inputs, and never replaces an input, however it is spelt or linked.
TEST_F(Tool, RunsNeverOverwriteTheirInputs) {
  const auto voice = sixteenBit(noisySpeechLike(4800, 51));
  writeWav("corpus/a.wav", {voice});
  writeWav("corpus/b.flac", {voice}, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
  writeWav("corpus/cleaned/old.wav", {voice});  // an earlier run's output folder
  ToolRun r = tool("process corpus corpus/a.wav -r -o corpus/cleaned --mode dsp --format wav");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(has(r.err, "has the same output as corpus/a.wav")) << r.err;
  EXPECT_TRUE(has(r.out, "2 done")) << r.out;
  EXPECT_TRUE(fs::exists(path("corpus/cleaned/b.wav"))) << "--format names the output";
  EXPECT_FALSE(fs::exists(path("corpus/cleaned/cleaned/old.wav")));
  r = tool("process ./corpus/a.wav -o corpus --overwrite --mode dsp");  // another spelling
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(has(r.err, "the output would replace the input")) << r.err;
  fs::create_hard_link(path("corpus/a.wav"), path("corpus/link.wav"));
  for (const char* out : {"corpus/a.wav", "corpus/../corpus/a.wav", "corpus/link.wav"}) {
    r = tool(std::string("process corpus/a.wav ") + out + " --mode dsp");
    EXPECT_EQ(r.status, 1) << out;
    EXPECT_TRUE(has(r.err, "is the input file itself")) << r.err;
  }
  EXPECT_EQ(host::readAudio(path("corpus/a.wav")).channels[0], voice);
}

// Levels in dBFS over all channels (a stereo file reads as its mono
// signal), and the reduction as the difference of the RMS levels.
TEST_F(Tool, ReportGivesLevelsInDecibels) {
  std::vector<float> sine(48000);
  for (std::size_t i = 0; i < sine.size(); ++i)
    sine[i] = 0.5f * std::sin(2 * 3.14159265f * 1000.0f * float(i) / 48000.0f);
  writeWav("sine.wav", {sine, sine}, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  const ToolRun r = tool("process sine.wav out.wav --set bypass=on --json");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::pair<std::string, double> fields[] = {{"inputPeakDb", -6.02},
                                                   {"inputRmsDb", -9.03},
                                                   {"outputRmsDb", -9.03},
                                                   {"reductionDb", 0.0},
                                                   {"seconds", 1.0}};
  for (const auto& [name, value] : fields) {
    const auto at = r.out.find("\"" + name + "\":");
    ASSERT_NE(at, std::string::npos) << name;
    EXPECT_NEAR(std::strtod(r.out.c_str() + at + name.size() + 3, nullptr), value, 0.01) << name;
  }
}

// An interrupted run removes the output it was writing and says why.
TEST_F(Tool, InterruptedRunLeavesNoPartialOutput) {
  writeWav("minute.wav", {noisySpeechLike(48000 * 60, 41), noisySpeechLike(48000 * 60, 42)});
  const pid_t pid =
      start("exec " + std::string(ORV_HOST_TOOL) + " process minute.wav out.wav --mode classic",
            dir, env);
  // Wait until the output's temporary file exists: the run is under way.
  bool started = false;
  for (int i = 0; i < 600 && !started; ++i) {
    ::usleep(50000);
    for (const auto& e : fs::directory_iterator(dir))
      started = started || e.path().filename().string().rfind("out.wav.", 0) == 0;
  }
  EXPECT_TRUE(started);
  ::kill(pid, SIGINT);
  EXPECT_EQ(finish(pid, dir).status, 128 + SIGINT);
  for (const auto& e : fs::directory_iterator(dir))
    EXPECT_EQ(e.path().filename().string().rfind("out.wav", 0), std::string::npos) << e.path();
}

// What each command line answers: its status and a part of what it prints
// (a failure in one line on standard error). Nothing is written on failure,
// and no temporary file is left that would betray a non-atomic write;
// --language leaves nothing behind either.
TEST_F(Tool, CommandLinesSayWhatTheyDo) {
  writeWav("in.wav", {noisySpeechLike(24000, 4)});
  writeWav("three.wav", std::vector<std::vector<float>>(3, std::vector<float>(100)));
  fs::create_directories(dir / "tmp");
  const std::string bundle = ORV_BUNDLE;
  const std::tuple<std::string, int, std::string> cases[] = {
      {"process --help", 0, "--shard K/N"},
      {"process --help", 0, "output-gain"},  // the keys are listed
      {"info --language es", 0, "Ganancia de salida"},
      {"info", 0, "found through VST3_PATH"},
      {"info --bundle " + bundle, 0, "found through --bundle"},
      {"info --face main", 2, "--face does not apply to info"},
      {"process a.wav b.wav -j 2", 2, "apply to batches"},
      {"process", 2, ""},
      {"process missing.wav out.wav", 1, "no such file"},
      {"process in.wav out.xyz", 1, "unsupported output format"},
      {"process in.wav out.wav --spectrogram nowhere/in.png", 1, "no such folder nowhere"},
      {"process in.wav out.wav --spectrogram in.wav", 1, "must be named .png"},
      {"process in.wav out.wav --set Nonsense=1", 1, "unknown parameter"},
      {"process in.wav out.wav --set 6=40", 1, "takes -18 to 18 dB"},
      {"process in.wav out.wav --bundle " + dir.string(), 1, "not a VST 3 bundle"},
      {"process three.wav out.wav", 1, "channel count 3"},
      {"state load in.wav", 1, "refused the state"},
      {"state save t.state --set out=1", 1, "could mean output-gain"},
      {"state save t.state --set out=1", 1, "output-peak"},
      {"state save t.state --set processing-mode=neural", 1, "could mean neural-live"},
      {"state save t.state --set 'Output gian=1'", 1, "closest are output-gain"}};
  for (const auto& [args, status, says] : cases) {
    const ToolRun r = tool(args, {{"TMPDIR", (dir / "tmp").string()}});
    EXPECT_EQ(r.status, status) << args;
    EXPECT_TRUE(has(status == 0 ? r.out : r.err, says)) << args << " said: " << r.out << r.err;
    EXPECT_EQ(status == 1 ? std::count(r.err.begin(), r.err.end(), '\n') : 1, 1) << r.err;
  }
  std::set<std::string> files;
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.is_regular_file()) files.insert(entry.path().filename());
  EXPECT_EQ(files, (std::set<std::string>{"in.wav", "three.wav"}));
  EXPECT_TRUE(fs::is_empty(dir / "tmp"));
  EXPECT_TRUE(fs::is_empty(dir / "home"));

  // Hosts' own folder.
  fs::create_directories(dir / "home/.vst3");
  fs::create_directory_symlink(ORV_BUNDLE, dir / "home/.vst3/Orvane.vst3");
  EXPECT_TRUE(has(tool("info", {{"VST3_PATH", ""}}).out, "found through ~/.vst3"));
}

}  // namespace
}  // namespace orvane
