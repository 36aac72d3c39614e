// Counts every heap allocation made while the engine processes: the audio
// path must make none. Its own binary, because it replaces the allocator.
#include <gtest/gtest.h>
#include <public.sdk/source/vst/hosting/parameterchanges.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "engine_harness.h"
#include "processor/processor.h"
#include "support/vst_helpers.h"

namespace {
std::atomic<bool> gCounting{false};
std::atomic<long> gAllocations{0};
void noteAllocation() noexcept {
  if (gCounting.load(std::memory_order_relaxed)) gAllocations.fetch_add(1);
}
}  // namespace

#if defined(__SANITIZE_ADDRESS__)
#define ORV_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORV_ASAN 1
#endif
#endif
#ifdef ORV_ASAN
// AddressSanitizer owns malloc; its hook sees every allocation, operator new
// included. (Declared here: GCC does not install the sanitizer headers.)
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*onMalloc)(const volatile void*,
                                                                          std::size_t),
                                                         void (*onFree)(const volatile void*));
namespace {
const int gHooked = __sanitizer_install_malloc_and_free_hooks(
    [](const volatile void*, std::size_t) { noteAllocation(); }, [](const volatile void*) {});
}  // namespace
#else
// glibc: these definitions replace the library's for the whole process
// (operator new calls malloc) and forward to glibc's own entry points.
// NOLINTBEGIN(bugprone-reserved-identifier,readability-identifier-naming): glibc's names
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void __libc_free(void*);
void* malloc(std::size_t n) {
  return noteAllocation(), __libc_malloc(n);
}
void* calloc(std::size_t count, std::size_t n) {
  return noteAllocation(), __libc_calloc(count, n);
}
void* realloc(void* p, std::size_t n) {
  return noteAllocation(), __libc_realloc(p, n);
}
void* memalign(std::size_t alignment, std::size_t n) {
  return noteAllocation(), __libc_memalign(alignment, n);
}
void* aligned_alloc(std::size_t alignment, std::size_t n) {
  return memalign(alignment, n);
}
int posix_memalign(void** p, std::size_t alignment, std::size_t n) {
  *p = memalign(alignment, n);
  return *p ? 0 : 12;  // ENOMEM
}
void free(void* p) {
  __libc_free(p);
}
}
// NOLINTEND(bugprone-reserved-identifier,readability-identifier-naming)
#endif

namespace orvane {
namespace {

long countAllocations(const std::function<void()>& work) {
  gAllocations = 0;
  gCounting = true;
  work();
  gCounting = false;
  return gAllocations.load();
}

TEST(RealTime, TheCounterSeesAllocations) {
  void* q = nullptr;
  EXPECT_GE(countAllocations([&] {
              auto p = std::make_unique<std::vector<int>>(100);
              q = std::malloc(10);
            }),
            2);
  std::free(q);
}

// Activation (nine set() calls and a realtime reset), blocks across many
// frame steps, parameter changes, null buffers and empty blocks: not one
// allocation. Neural Live runs first, so that any lazy set-up inside the
// denoiser library on its first analysis would show up here.
TEST(RealTime, ProcessingAllocatesNothing) {
  for (const auto& cfg : test::kAllConfigs)
    for (double rate : {8000.0, 44100.0, 48000.0, 96000.0, 192000.0})
      for (int channels : {1, 2}) {
        auto e = test::makeEngine(cfg, rate, channels);
        const test::Signal in = test::noise(channels, 4096, 0.3f, 1);
        test::Signal out(channels, std::vector<float>(4096));
        const float* ins[2] = {in[0].data(), in[channels - 1].data()};
        float* outs[2] = {out[0].data(), out[channels - 1].data()};
        float* leftOnly[2] = {out[0].data(), nullptr};
        const long count = countAllocations([&] {
          for (ParamId p = 0; p < kEngineParamCount; ++p) e->set(p, Defaults[p]);
          e->resetRealtime();
          for (int k = 0; k < 4; ++k) {
            e->set(CleanupProfile, k % 2 ? 1.0f : 0.0f);
            e->process(ins, outs, channels, 1024);
          }
          e->process(nullptr, outs, channels, 3000);
          e->process(ins, leftOnly, channels, 1500);
          e->process(ins, outs, channels, 0);
        });
        EXPECT_EQ(count, 0) << cfg.name << " " << rate << " Hz, " << channels << " channels";
      }
}

// The component's process loop around the engines: queue walks, sub-blocks,
// a mode switch with its realtime reset, meters and the mode report written
// back. The host's queues are warmed up and cleared first, so that only the
// component's own allocations could count.
TEST(RealTime, ProcessLoopAllocatesNothing) {
  using namespace Steinberg;
  using namespace Steinberg::Vst;
  Steinberg::IPtr<Processor> p = Steinberg::owned(new Processor(kDefaultMode));
  ASSERT_EQ(p->initialize(test::hostContext()), kResultOk);
  ProcessSetup setup{kRealtime, kSample32, 512, 44100.0};
  ASSERT_EQ(p->setupProcessing(setup), kResultOk);
  ASSERT_EQ(p->setActive(true), kResultOk);
  const test::Signal in = test::noise(2, 512, 0.3f, 2);
  test::Signal out(2, std::vector<float>(512));
  float* ins[2] = {const_cast<float*>(in[0].data()), const_cast<float*>(in[1].data())};
  float* outs[2] = {out[0].data(), out[1].data()};
  AudioBusBuffers inBus{}, outBus{};
  inBus.numChannels = outBus.numChannels = 2;
  inBus.channelBuffers32 = ins;
  outBus.channelBuffers32 = outs;
  ParameterChanges inChanges(16), outChanges(16);
  ProcessData data{};
  data.symbolicSampleSize = kSample32;
  data.numSamples = 512;
  data.numInputs = data.numOutputs = 1;
  data.inputs = &inBus;
  data.outputs = &outBus;
  data.inputParameterChanges = &inChanges;
  data.outputParameterChanges = &outChanges;
  auto block = [&](double mode) {
    inChanges.clearQueue();
    outChanges.clearQueue();
    int32 index = 0;
    inChanges.addParameterData(ProcessingMode, index)->addPoint(0, mode, index);
    IParamValueQueue* q = inChanges.addParameterData(OutputGain, index);
    for (int32 offset : {0, 100, 300}) q->addPoint(offset, offset / 600.0, index);
    return countAllocations([&] { EXPECT_EQ(p->process(data), kResultOk); });
  };
  for (double mode : {0.0, 1.0, 0.5}) block(mode);  // warm the host's queues
  for (double mode : {0.0, 0.5, 1.0, 0.0}) EXPECT_EQ(block(mode), 0) << "mode " << mode;
  p->setActive(false);
  p->terminate();
}

}  // namespace
}  // namespace orvane
