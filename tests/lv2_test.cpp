// The built LV2 bundle loaded through lilv, as LV2 hosts load it, against the
// VST 3 component on the same input, settings and blocks: the same output bit
// for bit, the same latency, and state records that move between the two.
#include <gtest/gtest.h>
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "engine_harness.h"
#include "protocol/lv2_ports.h"
#include "support/component.h"
#include "support/state_bytes.h"

namespace orvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A folder of this test process's own: ctest runs the tests of this file as
// separate processes at the same time, and a shared folder lets one process's
// link replace another's under it.
std::filesystem::path scratch(const char* name) {
  return std::filesystem::temp_directory_path() /
         (std::string(name) + "-" + std::to_string(::getpid()));
}

// A lilv world holding only the built bundle, found through LV2_PATH, with the
// URID map every host offers.
struct Lv2World {
  Lv2World() {
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::filesystem::create_directory_symlink(ORV_LV2_BUNDLE, dir / "Orvane.lv2");
    setenv("LV2_PATH", dir.c_str(), 1);
    lilv_world_load_all(world);
  }
  ~Lv2World() {
    lilv_world_free(world);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
  const LilvPlugin* plugin(int channels) {
    LilvNode* uri = lilv_new_uri(world, channels == 1 ? lv2::kMonoUri : lv2::kStereoUri);
    const LilvPlugin* p = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
    lilv_node_free(uri);
    return p;
  }
  static LV2_URID map(LV2_URID_Map_Handle h, const char* uri) {
    auto& ids = *static_cast<std::map<std::string, LV2_URID>*>(h);
    return ids.emplace(uri, ids.size() + 1).first->second;
  }

  const std::filesystem::path dir = scratch("orvane-lv2-test");
  LilvWorld* world = lilv_world_new();
  std::map<std::string, LV2_URID> ids;
  LV2_URID_Map urid{&ids, map};
  LV2_Feature mapFeature{LV2_URID__map, &urid};
  const LV2_Feature* features[2] = {&mapFeature, nullptr};
};

Lv2World& world() {
  static Lv2World w;
  return w;
}

// One instance with its ports at the defaults the bundle declares.
struct Lv2Instance {
  Lv2Instance(int channelCount, double rate) : channels(channelCount) {
    const LilvPlugin* p = world().plugin(channels);
    instance = lilv_plugin_instantiate(p, rate, world().features);
    if (!instance) return;
    std::vector<float> defaults(lilv_plugin_get_num_ports(p));
    lilv_plugin_get_port_ranges_float(p, nullptr, nullptr, defaults.data());
    std::copy_n(defaults.begin(), lv2::kParamPortCount, controls);
    for (std::uint32_t i = 0; i <= lv2::kLatencyPort; ++i)
      lilv_instance_connect_port(instance, i, &controls[i]);
    for (int c = 0; c < channels; ++c) {
      lilv_instance_connect_port(instance, lv2::audioInPort(c), in[c].data());
      lilv_instance_connect_port(instance, lv2::audioOutPort(channels, c), out[c].data());
    }
    lilv_instance_activate(instance);
  }
  ~Lv2Instance() {
    if (instance) lilv_instance_deactivate(instance), lilv_instance_free(instance);
  }
  // A block of 512 frames.
  test::Signal play(const test::Signal& signal) {
    std::copy(signal.begin(), signal.end(), in.begin());
    lilv_instance_run(instance, 512);
    return {out.begin(), out.begin() + channels};
  }
  const LV2_State_Interface& state() const {
    return *static_cast<const LV2_State_Interface*>(
        lilv_instance_get_extension_data(instance, LV2_STATE__interface));
  }
  Bytes save() const {
    Bytes bytes;
    auto store = [](LV2_State_Handle h, uint32_t, const void* v, size_t size, uint32_t, uint32_t) {
      auto* to = static_cast<Bytes*>(h);
      to->assign(static_cast<const std::uint8_t*>(v), static_cast<const std::uint8_t*>(v) + size);
      return LV2_STATE_SUCCESS;
    };
    EXPECT_EQ(state().save(lilv_instance_get_handle(instance), store, &bytes, 0, nullptr),
              LV2_STATE_SUCCESS);
    return bytes;
  }
  LV2_State_Status restore(const Bytes& bytes, const char* type = LV2_ATOM__Chunk) {
    using Given = std::pair<const Bytes*, LV2_URID>;
    Given given{&bytes, Lv2World::map(&world().ids, type)};
    auto retrieve = [](LV2_State_Handle h, uint32_t, size_t* size, uint32_t* t, uint32_t* flags) {
      const auto& [b, urid] = *static_cast<const Given*>(h);
      *size = b->size(), *t = urid, *flags = LV2_STATE_IS_POD;
      return static_cast<const void*>(b->data());
    };
    return state().restore(lilv_instance_get_handle(instance), retrieve, &given, 0, nullptr);
  }

  int channels;
  LilvInstance* instance = nullptr;
  float controls[lv2::kLatencyPort + 1] = {};
  std::array<std::vector<float>, 2> in{std::vector<float>(512), std::vector<float>(512)};
  std::array<std::vector<float>, 2> out{std::vector<float>(512), std::vector<float>(512)};
};

// Blocks at the declared defaults, then changes of gain, focus, profile and
// bypass, then a switch of mode, all at block boundaries.
TEST(Lv2Edition, SameOutputAndLatencyAsTheVst3Component) {
  for (int mode = 0; mode < kModeCount; ++mode)
    for (double rate : {44100.0, 48000.0, 96000.0})
      for (int channels : {1, 2}) {
        SCOPED_TRACE(testing::Message() << "mode " << mode << ", " << rate << " Hz, " << channels);
        test::Component vst(
            channels == 1 ? Steinberg::Vst::SpeakerArr::kMono : Steinberg::Vst::SpeakerArr::kStereo,
            mode, rate);
        Lv2Instance lv2(channels, rate);
        ASSERT_NE(lv2.instance, nullptr);
        lv2.controls[ProcessingMode] = static_cast<float>(mode);
        const test::Signal in = test::noise(channels, 512, 0.4f, 7);
        for (int b = 0; b < 8; ++b) {
          const std::pair<ParamId, float> changes[] = {{OutputGain, -6.0f + 3.0f * b},
                                                       {FrequencyFocus, 60.0f + 10.0f * b},
                                                       {CleanupProfile, static_cast<float>(b % 3)},
                                                       {Bypass, b == 5 ? 1.0f : 0.0f}};
          for (const auto& [id, plain] : changes) {
            if (b < 2) continue;
            lv2.controls[id] = plain;
            const ParamInfo& p = kParams[id];  // normalised as a VST 3 host does it
            vst.block.change(id, 0, (plain - p.minPlain) / (p.maxPlain - p.minPlain));
          }
          if (b == 6) {
            lv2.controls[ProcessingMode] = static_cast<float>((mode + 1) % kModeCount);
            vst.block.change(ProcessingMode, 0, modeToNormalized((mode + 1) % kModeCount));
          }
          const test::Played expected = vst.play(in);
          ASSERT_EQ(lv2.play(in), expected.out) << "block " << b;
          EXPECT_EQ(lv2.controls[lv2::kLatencyPort], vst.processor->getLatencySamples());
          EXPECT_EQ(lv2.controls[lv2::kFirstMeterPort + 1],
                    static_cast<float>(expected.changes.at(OutputPeak).back().value));
        }
      }
}

// One record of a configured LV2 instance, made a preset by the host tool and
// loaded as hosts load presets, and given to a fresh VST 3 component: both
// play the same and save it back unchanged. Damaged records are refused and
// leave the instance as it was.
TEST(Lv2Edition, StateRecordsMoveBetweenTheEditions) {
  Lv2Instance configured(2, 48000.0);
  for (auto [id, plain] : {std::pair{NoiseReduction, 40.0f},
                           {OutputGain, -9.0f},
                           {CleanupProfile, 2.0f},
                           {ProcessingMode, 0.0f}})
    configured.controls[id] = plain;
  const test::Signal in = test::noise(2, 512, 0.4f, 3);
  configured.play(in);
  const Bytes record = configured.save();

  const auto dir = scratch("orvane-lv2-preset");
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "s.state", std::ios::binary)
      .write(reinterpret_cast<const char*>(record.data()), 44);
  const std::string convert = ORV_HOST_TOOL " state lv2 " + (dir / "s.state").string() + " " +
                              (dir / "p.lv2").string() + " > /dev/null";
  ASSERT_EQ(std::system(convert.c_str()), 0);
  LilvState* preset = lilv_state_new_from_file(world().world, &world().urid, nullptr,
                                               (dir / "p.lv2/preset.ttl").c_str());
  std::filesystem::remove_all(dir);
  ASSERT_NE(preset, nullptr);
  Lv2Instance restored(2, 48000.0);
  auto setPort = [](const char* symbol, void* to, const void* value, uint32_t size, uint32_t) {
    const LilvPlugin* p = world().plugin(2);
    LilvNode* name = lilv_new_string(world().world, symbol);
    const uint32_t index = lilv_port_get_index(p, lilv_plugin_get_port_by_symbol(p, name));
    lilv_node_free(name);
    static_cast<Lv2Instance*>(to)->controls[index] =
        size == 4 ? *static_cast<const float*>(value) : *static_cast<const double*>(value);
  };
  lilv_state_restore(preset, restored.instance, setPort, &restored, 0, nullptr);
  lilv_state_free(preset);
  EXPECT_TRUE(
      std::equal(restored.controls, restored.controls + lv2::kParamPortCount, configured.controls));

  test::Component vst(Steinberg::Vst::SpeakerArr::kStereo, -1, 48000.0);
  ASSERT_EQ(vst.setState(record), Steinberg::kResultOk);
  EXPECT_EQ(restored.save(), record);
  EXPECT_EQ(restored.play(in), vst.play(in).out);

  Bytes outOfRange = record;
  outOfRange[4 + 4 * 6 + 3] = 0x7f;  // output gain's float far above 1
  const Bytes damaged[] = {
      Bytes(record.begin(), record.end() - 1), outOfRange, test::stateBytes(3, {}), {}};
  Lv2Instance fresh(1, 48000.0);
  const Bytes before = fresh.save();
  for (const Bytes& bytes : damaged) EXPECT_NE(fresh.restore(bytes), LV2_STATE_SUCCESS);
  EXPECT_NE(fresh.restore(record, LV2_ATOM__String), LV2_STATE_SUCCESS);
  EXPECT_EQ(fresh.save(), before);
}

// The engines run from 8 to 192 kHz; hosts at other rates get no instance.
TEST(Lv2Edition, InstantiatesOnlyAtRatesTheEnginesRun) {
  for (double rate : {7999.0, 192001.0, 8000.0, 192000.0})
    EXPECT_EQ(Lv2Instance(1, rate).instance != nullptr, rate >= 8000 && rate <= 192000) << rate;
}

}  // namespace
}  // namespace orvane
