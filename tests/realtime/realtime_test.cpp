// The audio path never waits: while a thread runs an engine or the component's
// process loop it must not allocate, touch a mutex or a condition variable, or
// make a system call that a program can interpose. Its own binary, because
// watch.c replaces those functions for the whole process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/futex.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine_harness.h"
#include "lv2/plugin.h"
#include "processor/processor.h"
#include "realtime/watch.h"
#include "support/component.h"
#include "support/state_bytes.h"

namespace orvane {
namespace {

using namespace Steinberg;
using namespace Steinberg::Vst;

// What `work` called on this thread that it must not have; empty when nothing.
std::string forbiddenCalls(const std::function<void()>& work) {
  resetWatchedCalls();
  watchThisThread(1);
  work();
  watchThisThread(0);
  const long count = watchedCallCount();
  return count == 0 ? std::string() : std::to_string(count) + " calls, first " + firstWatchedCall();
}

void* volatile gSink;

// Each kind of call the watcher must catch, in this build (plain or sanitized).
TEST(RealTime, TheWatcherSeesEveryKindOfCall) {
  std::mutex mutex;
  std::condition_variable condition;
  int word = 0;
  const timespec zero{0, 0};
  const std::pair<const char*, std::function<void()>> calls[] = {
      {"malloc", [] { std::free(gSink = std::malloc(16)); }},
      {"pthread_mutex_lock", [&] { std::lock_guard<std::mutex> hold(mutex); }},
      {"pthread_cond_signal", [&] { condition.notify_one(); }},
      {"write", [] { EXPECT_EQ(::write(-1, "", 0), -1); }},
      {"read", [] { EXPECT_EQ(::read(-1, nullptr, 0), -1); }},
      {"open", [] { EXPECT_EQ(::open("/nonexistent/orvane", O_RDONLY), -1); }},
      {"syscall", [&] { ::syscall(SYS_futex, &word, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0); }},
      {"nanosleep", [&] { ::nanosleep(&zero, nullptr); }},
      {"usleep", [] { ::usleep(0); }},
      {"sched_yield", [] { ::sched_yield(); }},
  };
  for (const auto& [name, call] : calls)
    EXPECT_NE(forbiddenCalls(call).find(std::string("first ") + name), std::string::npos) << name;
  EXPECT_EQ(forbiddenCalls([] {}), "");
}

// Activation (nine set() calls and a realtime reset), blocks across many
// frame steps, parameter changes, null buffers and empty blocks. Neural Live
// runs first, so that any lazy set-up inside the denoiser library on its
// first analysis would show up here.
TEST(RealTime, EnginesNeverWait) {
  for (const auto& cfg : test::kAllConfigs)
    for (double rate : {8000.0, 44100.0, 48000.0, 96000.0, 192000.0})
      for (int channels : {1, 2}) {
        auto e = test::makeEngine(cfg, rate, channels);
        const test::Signal in = test::noise(channels, 4096, 0.3f, 1);
        test::Signal out(channels, std::vector<float>(4096));
        const float* ins[2] = {in[0].data(), in[channels - 1].data()};
        float* outs[2] = {out[0].data(), out[channels - 1].data()};
        float* leftOnly[2] = {out[0].data(), nullptr};
        EXPECT_EQ(forbiddenCalls([&] {
                    for (ParamId p = 0; p < kEngineParamCount; ++p) e->set(p, Defaults[p]);
                    e->resetRealtime();
                    for (int k = 0; k < 4; ++k) {
                      e->set(CleanupProfile, k % 2 ? 1.0f : 0.0f);
                      e->process(ins, outs, channels, 1024);
                    }
                    e->process(nullptr, outs, channels, 3000);
                    e->process(ins, leftOnly, channels, 1500);
                    e->process(ins, outs, channels, 0);
                  }),
                  "")
            << cfg.name << " " << rate << " Hz, " << channels << " channels";
      }
}

// The component's whole process loop as a busy host drives it: queue walks and
// sub-blocks, mode switches from the queue and from messages, silence flags,
// flushes, meters and the mode report, while another thread loads and saves
// states and sends mode messages. Only the audio thread is watched. The host's
// queues are warmed up first, so that only the component's calls could count.
TEST(RealTime, ProcessLoopNeverWaits) {
  test::Component comp(SpeakerArr::kStereo, -1, 44100.0);
  Processor* p = comp.processor;

  std::atomic<bool> done{false};
  std::thread ui([&] {
    const std::vector<std::uint8_t> records[2] = {test::stateWith(7, 1.0f), test::stateWith(9, 0)};
    for (int i = 0; !done.load(); ++i) {
      test::MemoryStream in(records[i % 2]), out;
      p->setState(&in);
      p->getState(&out);
      const int64 mode = i % 3;
      p->notify(test::makeMessage("ProcessingMode", &mode));
      std::this_thread::yield();
    }
  });

  host::ProcessBlock& block = comp.block;
  const test::Signal in = test::noise(2, 512, 0.3f, 2);
  for (int c = 0; c < 2; ++c) std::copy(in[c].begin(), in[c].end(), block.input(c));
  const int32 sizes[] = {512, 100, 1, 333, 0, 480};
  auto play = [&](int b) {
    const int32 n = sizes[b % 6];
    if (b % 4 == 0) block.change(ProcessingMode, 0, (b / 4 % 3) * 0.5);
    for (int32 offset : {0, n / 3, 2 * n / 3}) block.change(OutputGain, offset, (b % 7) / 7.0);
    block.change(Bypass, n / 2, b % 2);
    block.change(CleanupProfile, n, (b % 3) * 0.5);
    return forbiddenCalls([&] { EXPECT_EQ(block.run(*p, n, b % 5 == 0 ? 1 : 0), kResultOk); });
  };
  for (int b = 0; b < 24; ++b) play(b);  // warm the host's queues
  for (int b = 0; b < 600; ++b) ASSERT_EQ(play(b), "") << "block " << b;
  done = true;
  ui.join();
}

// The LV2 run as hosts drive it: ports moved and modes switched between
// blocks, meters and latency written, a block of no frames, while another
// thread saves the state.
TEST(RealTime, Lv2RunNeverWaits) {
  LV2_URID_Map map{
      nullptr, [](LV2_URID_Map_Handle, const char* uri) {
        return static_cast<LV2_URID>(std::strlen(uri));  // distinct for the two it maps
      }};
  auto plugin = lv2::Plugin::create(44100.0, 2, &map);
  ASSERT_TRUE(plugin);
  std::array<float, lv2::kLatencyPort + 1> ports{};
  for (std::uint32_t i = 0; i < ports.size(); ++i) plugin->connect(i, &ports[i]);
  test::Signal audio = test::noise(2, 512, 0.3f, 4);
  for (int c = 0; c < 2; ++c) {
    plugin->connect(lv2::audioInPort(c), audio[c].data());
    plugin->connect(lv2::audioOutPort(2, c), audio[c].data());  // in place, as hosts may
  }
  std::atomic<bool> done{false};
  std::thread ui([&] {
    auto store = [](LV2_State_Handle, uint32_t, const void*, size_t, uint32_t, uint32_t) {
      return LV2_STATE_SUCCESS;
    };
    while (!done.load()) EXPECT_EQ(plugin->save(store, nullptr), LV2_STATE_SUCCESS);
  });
  for (int b = 0; b < 300; ++b) {
    ports[ProcessingMode] = static_cast<float>(b / 7 % kModeCount);
    ports[OutputGain] = static_cast<float>(b % 13 - 6);
    ports[Bypass] = static_cast<float>(b / 5 % 2);
    ASSERT_EQ(forbiddenCalls([&] { plugin->run(b % 9 == 0 ? 0 : 512); }), "") << "block " << b;
  }
  done = true;
  ui.join();
}

}  // namespace
}  // namespace orvane
