// Counts every heap allocation made while the engine processes: the audio
// path must make none. Its own binary, because it replaces the allocator.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <vector>

#include "engine_harness.h"

namespace {

std::atomic<bool> gCounting{false};
std::atomic<long> gAllocations{0};

void noteAllocation() noexcept {
  if (gCounting.load(std::memory_order_relaxed))
    gAllocations.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORV_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define ORV_ASAN 1
#endif

#ifdef ORV_ASAN
// AddressSanitizer owns malloc; its hook sees every allocation, operator new
// included.
// Declared here: GCC does not install the sanitizer headers.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*onMalloc)(const volatile void*,
                                                                          std::size_t),
                                                         void (*onFree)(const volatile void*));
namespace {
void onMalloc(const volatile void*, std::size_t) { noteAllocation(); }
void onFree(const volatile void*) {}
const int gHooked = __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree);
}  // namespace
#else
// glibc: the executable's definitions take the place of the library's for the
// whole process (operator new calls malloc), forwarding to glibc's own entry
// points.
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void __libc_free(void*);

void* malloc(std::size_t n) {
  noteAllocation();
  return __libc_malloc(n);
}
void* calloc(std::size_t count, std::size_t n) {
  noteAllocation();
  return __libc_calloc(count, n);
}
void* realloc(void* p, std::size_t n) {
  noteAllocation();
  return __libc_realloc(p, n);
}
void* memalign(std::size_t alignment, std::size_t n) {
  noteAllocation();
  return __libc_memalign(alignment, n);
}
void* aligned_alloc(std::size_t alignment, std::size_t n) { return memalign(alignment, n); }
int posix_memalign(void** p, std::size_t alignment, std::size_t n) {
  *p = memalign(alignment, n);
  return *p ? 0 : 12;  // ENOMEM
}
void free(void* p) { __libc_free(p); }
}
#endif

namespace orvane {
namespace {

class Counting {
 public:
  Counting() {
    gAllocations = 0;
    gCounting = true;
  }
  ~Counting() { gCounting = false; }
  long stop() {
    gCounting = false;
    return gAllocations.load();
  }
};

TEST(RealTime, TheCounterSeesAllocations) {
  Counting counting;
  auto p = std::make_unique<std::vector<int>>(100);
  void* q = std::malloc(10);
  const long count = counting.stop();
  std::free(q);
  EXPECT_GE(count, 2);
}

// Activation (nine set() calls and a realtime reset), blocks of several
// sizes across many frame steps, parameter changes, null buffers and empty
// blocks: not one allocation. Neural Live runs first, so that any lazy
// set-up inside the denoiser library on its first analysis shows up here.
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

        Counting counting;
        for (ParamId p = 0; p < kEngineParamCount; ++p) e->set(p, Defaults[p]);
        e->resetRealtime();
        for (int pos = 0, k = 0; pos + 1024 <= 4096; pos += 1024, ++k) {
          e->set(CleanupProfile, k % 2 ? 1.0f : 0.0f);
          e->process(ins, outs, channels, 1024);
        }
        e->process(nullptr, outs, channels, 3000);
        e->process(ins, leftOnly, channels, 1500);
        e->process(ins, outs, channels, 0);
        e->resetRealtime();
        e->process(ins, outs, channels, 2000);
        EXPECT_EQ(counting.stop(), 0)
            << cfg.name << " " << rate << " Hz, " << channels << " channels";
      }
}

}  // namespace
}  // namespace orvane
