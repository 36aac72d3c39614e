// The built bundle loaded with dlopen, as a host loads it, and the host tool
// run as a user runs it.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pluginterfaces/vst/ivstaudioprocessor.h>
#include <pluginterfaces/vst/ivstcomponent.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include "host.h"
#include "protocol/ids.h"
#include "support/state_bytes.h"

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

TEST(Bundle, FactoryAndClasses) {
  host::Module module(host::defaultBundle());
  const PFactoryInfo info = module.factoryInfo();
  EXPECT_STREQ(info.vendor, "Orvane");
  EXPECT_STREQ(info.url, "");
  EXPECT_EQ(info.flags, PFactoryInfo::kUnicode);
  const auto classes = module.classes();
  ASSERT_EQ(classes.size(), 2u);
  EXPECT_TRUE(FUID::fromTUID(classes[0].cid) == ProcessorID);
  EXPECT_EQ(classes[0].category, "Audio Module Class");
  EXPECT_EQ(classes[0].name, "Orvane");
  EXPECT_EQ(classes[0].subCategories, "Fx|Restoration");
  EXPECT_EQ(classes[0].flags, 1u);
  EXPECT_EQ(classes[0].cardinality, 0x7FFFFFFF);
  EXPECT_EQ(classes[0].version, "0.7.4");
  EXPECT_EQ(classes[0].sdkVersion, kVstVersionString) << "the SDK the module was built with";
  EXPECT_TRUE(FUID::fromTUID(classes[1].cid) == ControllerID);
  EXPECT_EQ(classes[1].category, "Component Controller Class");
  EXPECT_EQ(classes[1].name, "Orvane Controller");
  EXPECT_EQ(classes[1].subCategories, "");
  EXPECT_EQ(classes[1].flags, 0u);

  // The entry point hands out the one factory, one reference per call.
  void* handle = dlopen(module.sharedObject().c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(handle, nullptr);
  auto get = reinterpret_cast<IPluginFactory* (*)()>(dlsym(handle, "GetPluginFactory"));
  IPluginFactory* again = get();
  EXPECT_EQ(again, module.factory());
  EXPECT_EQ(again->release(), 1u) << "the module's own reference remains";
  dlclose(handle);
}

TEST(Bundle, EveryIdentifierCreatesAWorkingComponent) {
  host::Module module(host::defaultBundle());
  IPluginFactory* f = module.factory();
  const std::pair<const FUID*, float> ids[] = {
      {&ProcessorID, 0.5f}, {&LiveID, 1.0f}, {&NeuralLiveID, 0.0f}};
  for (const auto& [id, v1Mode] : ids) {
    TUID cid;
    std::memcpy(cid, id->toTUID(), sizeof(TUID));
    host::Plugin plugin(module, &cid);
    TUID controller;
    ASSERT_EQ(plugin.component()->getControllerClassId(controller), kResultOk);
    EXPECT_TRUE(FUID::fromTUID(controller) == ControllerID);
    // An older state takes the default mode of the identifier it was made with.
    plugin.loadState(test::stateBytes(1, {1, 0, 1, 0, 0.1f, 1, 0.5f, 0, 0.5f}));
    const auto saved = plugin.saveState();
    ASSERT_EQ(saved.size(), 44u);
    float mode;
    std::memcpy(&mode, saved.data() + 40, 4);
    EXPECT_EQ(mode, v1Mode);
    std::vector<std::vector<float>> audio{noisySpeechLike(4800, 1)};
    const auto r = plugin.process(audio, 48000, 256, {});
    for (float v : audio[0]) ASSERT_TRUE(std::isfinite(v));
    EXPECT_GE(r.neuralActive, 0.0);
  }
  void* obj = reinterpret_cast<void*>(1);
  EXPECT_EQ(f->createInstance(nullptr, IComponent::iid, &obj), kInvalidArgument);
  EXPECT_EQ(f->createInstance(LiveID.toTUID(), nullptr, &obj), kInvalidArgument);
  EXPECT_EQ(f->createInstance(LiveID.toTUID(), IComponent::iid, nullptr), kInvalidArgument);
  const FUID unknown(1, 2, 3, 4);
  EXPECT_NE(f->createInstance(unknown.toTUID(), IComponent::iid, &obj), kResultOk);
  // An interface the component does not have: nothing is handed out.
  obj = reinterpret_cast<void*>(1);
  EXPECT_NE(f->createInstance(LiveID.toTUID(), IPluginFactory::iid, &obj), kResultOk);
  EXPECT_EQ(obj, nullptr);
}

TEST(Bundle, BypassedOutputLinesUpWithTheInput) {
  struct Case {
    double rate;
    int channels;
  };
  host::Module module(host::defaultBundle());
  for (const Case c : {Case{44100, 2}, Case{48000, 1}}) {
    for (int mode = 0; mode < 3; ++mode) {
      host::Plugin plugin(module);
      plugin.setParameter(9, mode * 0.5);
      plugin.setParameter(7, 1.0);
      std::vector<std::vector<float>> audio;
      audio.reserve(c.channels);
      for (int ch = 0; ch < c.channels; ++ch) audio.push_back(noisySpeechLike(c.rate, 10 + ch));
      const auto input = audio;
      const auto r = plugin.process(audio, c.rate, 512, {});
      // The bypass glides in over the first milliseconds; from 0.1 s on the
      // output must be the input, sample for sample.
      double worst = 0;
      for (int ch = 0; ch < c.channels; ++ch)
        for (std::size_t i = static_cast<std::size_t>(c.rate / 10); i < input[ch].size(); ++i)
          worst = std::max(worst, double(std::fabs(audio[ch][i] - input[ch][i])));
      EXPECT_LT(worst, 1e-5) << c.rate << " Hz, mode " << mode << ", latency " << r.latency;
    }
  }
}

TEST(Bundle, AutomationChangesTheOutputAtItsSample) {
  host::Module module(host::defaultBundle());
  const std::int64_t at = 12345;
  for (int mode = 0; mode < 3; ++mode) {
    auto run = [&](bool automate) {
      host::Plugin plugin(module);
      plugin.setParameter(9, mode * 0.5);
      std::vector<std::vector<float>> audio{noisySpeechLike(30000, 3)};
      std::vector<host::Automation> points;
      if (automate) points.push_back({at, 6, 0.9});  // Output gain to +14.4 dB
      plugin.process(audio, 48000, 512, points);
      return audio[0];
    };
    const auto plain = run(false), automated = run(true);
    std::size_t first = 0;
    while (first < plain.size() && plain[first] == automated[first]) ++first;
    EXPECT_EQ(first, static_cast<std::size_t>(at)) << "mode " << mode;
  }
}

// The tool as a user runs it.
struct ToolRun {
  int status;
  std::string err;
};
ToolRun tool(const std::string& args) {
  const std::string errFile =
      (fs::temp_directory_path() / ("orvane-e2e-stderr-" + std::to_string(::getpid()))).string();
  const std::string cmd = std::string(ORV_HOST_TOOL) + " " + args + " >/dev/null 2>" + errFile;
  const int rc = std::system(cmd.c_str());
  std::string err;
  if (FILE* f = std::fopen(errFile.c_str(), "r")) {
    char buf[512];
    while (std::fgets(buf, sizeof buf, f)) err += buf;
    std::fclose(f);
  }
  std::remove(errFile.c_str());
  return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, err};
}

class Tool : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("orvane-e2e-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    host::writeAudioAtomic((dir / "in.wav").string(),
                           host::Audio{48000, {noisySpeechLike(24000, 4)}});
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string path(const char* name) const { return (dir / name).string(); }
  fs::path dir;
};

TEST_F(Tool, StateSavedByTheToolLoadsBackIdentically) {
  ASSERT_EQ(
      tool("state save " + path("a.state") + " --mode live --profile studio --set 6=-6 --set 3=25")
          .status,
      0);
  const auto bytes = host::readFileBytes(path("a.state"));
  ASSERT_EQ(bytes.size(), 44u);
  host::Module module(host::defaultBundle());
  host::Plugin plugin(module);
  plugin.loadState(bytes);
  EXPECT_EQ(plugin.saveState(), bytes);
  EXPECT_NEAR(plugin.parameter(6), 12.0 / 36.0, 1e-6);
  EXPECT_EQ(plugin.parameter(9), 0.0);
  EXPECT_EQ(plugin.parameter(8), 1.0);
  EXPECT_EQ(tool("state load " + path("a.state")).status, 0);
}

TEST_F(Tool, BadInputFailsWithOneLineAndWritesNothing) {
  const std::pair<std::string, std::string> cases[] = {
      {"process " + path("missing.wav") + " " + path("out.wav"), "no such file"},
      {"process " + path("in.wav") + " " + path("out.mp3"), "unsupported output format"},
      {"process " + path("in.wav") + " " + path("out.wav") + " --set Nonsense=1",
       "unknown parameter"},
      {"process " + path("in.wav") + " " + path("out.wav") + " --set 6=40", "takes -18 to 18 dB"},
      {"process " + path("in.wav") + " " + path("out.wav") + " --bundle " + dir.string(),
       "not a VST 3 bundle"},
      {"process " + path("a.state") + " " + path("out.wav"), "no such file"},
      {"state load " + path("in.wav"), "refused the state"},
  };
  for (const auto& [args, message] : cases) {
    const ToolRun r = tool(args + " --language en");
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_NE(r.err.find(message), std::string::npos) << args << " said: " << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  EXPECT_FALSE(fs::exists(path("out.wav")));
  EXPECT_FALSE(fs::exists(path("out.mp3")));
  // Three channels: refused before anything runs.
  host::writeAudioAtomic(
      path("three.wav"),
      host::Audio{48000,
                  {std::vector<float>(100), std::vector<float>(100), std::vector<float>(100)}});
  const ToolRun three = tool("process " + path("three.wav") + " " + path("out.wav"));
  EXPECT_EQ(three.status, 1);
  EXPECT_NE(three.err.find("channel count 3"), std::string::npos) << three.err;
  EXPECT_EQ(tool("process").status, 2) << "usage errors";
  // Leftover temporary files would betray a non-atomic write.
  for (const auto& entry : fs::directory_iterator(dir))
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
}

TEST_F(Tool, ProcessWritesAlignedOutput) {
  ASSERT_EQ(tool("process " + path("in.wav") + " " + path("out.wav") +
                 " --mode dsp --set Bypass=on --language en")
                .status,
            0);
  const auto in = host::readAudio(path("in.wav")), out = host::readAudio(path("out.wav"));
  ASSERT_EQ(out.frames(), in.frames());
  for (std::int64_t i = 4800; i < in.frames(); ++i)
    ASSERT_NEAR(out.channels[0][i], in.channels[0][i], 1e-6) << i;
}

}  // namespace
}  // namespace orvane
