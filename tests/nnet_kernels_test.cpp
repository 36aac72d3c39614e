// Our network kernels against the library's own, bit for bit. The reference
// is librnnoise.a's nnet_default.o with its functions renamed
// (cmake/RnnoiseKernels.cmake); this binary is linked with --wrap for the two
// kernel functions, so the library's calls into them come here first and a
// test can run the library alone.
#include "denoiser/nnet_kernels.h"

#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "engine_harness.h"
#include "support/speech.h"

// NOLINTBEGIN(bugprone-reserved-identifier,readability-identifier-naming): names that --wrap
// gives the linker.
extern "C" {
void orv_reference_linear(const LinearLayer* layer, float* out, const float* in);
void orv_reference_activation(float* out, const float* in, int n, int activation);
void __real_rnn_compute_linear_c(const LinearLayer* layer, float* out, const float* in);
void __real_rnn_compute_activation_c(float* out, const float* in, int n, int activation);
}

namespace {

enum class Kernels { Ours, Library };
Kernels kernels = Kernels::Ours;

}  // namespace

extern "C" void __wrap_rnn_compute_linear_c(const LinearLayer* layer, float* out, const float* in) {
  (kernels == Kernels::Library ? orv_reference_linear : __real_rnn_compute_linear_c)(layer, out,
                                                                                     in);
}

extern "C" void __wrap_rnn_compute_activation_c(float* out, const float* in, int n,
                                                int activation) {
  (kernels == Kernels::Library ? orv_reference_activation : __real_rnn_compute_activation_c)(
      out, in, n, activation);
}
// NOLINTEND(bugprone-reserved-identifier,readability-identifier-naming)

namespace orvane {
namespace {

struct Path {
  const char* name;
  OrvNnetPath id;
  void (*linear)(const LinearLayer*, float*, const float*);
  void (*activation)(float*, const float*, int, int);
};

// Both of our paths where this processor runs them.
std::vector<Path> paths() {
  std::vector<Path> p{
      {"baseline", ORV_NNET_BASELINE, orv_linear_baseline, orv_activation_baseline}};
  if (__builtin_cpu_supports("avx2"))
    p.push_back({"avx2", ORV_NNET_AVX2, orv_linear_avx2, orv_activation_avx2});
  return p;
}

std::uint32_t bits(float x) {
  std::uint32_t b;
  std::memcpy(&b, &x, sizeof b);
  return b;
}

testing::AssertionResult sameBits(const std::vector<float>& expected,
                                  const std::vector<float>& actual) {
  for (std::size_t i = 0; i < expected.size(); ++i)
    if (bits(expected[i]) != bits(actual[i]))
      return testing::AssertionFailure()
             << "element " << i << ": library " << expected[i] << ", ours " << actual[i];
  return testing::AssertionSuccess();
}

// A layer whose arrays are heap copies of exactly the size the layer's shape
// implies, so that AddressSanitizer reports any read past them.
class ExactLayer {
 public:
  explicit ExactLayer(const LinearLayer& src) : layer(src) {
    const int M = src.nb_inputs, N = src.nb_outputs;
    int tiles = N / 8 * ((M + 3) / 4), entries = 0;
    if (src.weights_idx) {
      tiles = 0;
      for (int g = 0; g < N / 8; ++g)
        tiles += src.weights_idx[entries], entries += 1 + src.weights_idx[entries];
      layer.weights_idx = copy(idx, src.weights_idx, entries);
    }
    layer.bias = copy(bias, src.bias, N);
    layer.subias = copy(subias, src.subias, N);
    layer.scale = copy(scale, src.scale, N);
    layer.diag = copy(diag, src.diag, 3 * M);
    layer.weights = copy(weights, src.weights, 32 * tiles);
    layer.float_weights =
        copy(floatWeights, src.float_weights, src.weights_idx ? 32 * tiles : M * N);
  }
  const LinearLayer* get() const { return &layer; }

 private:
  template <typename T>
  static const T* copy(std::vector<T>& dst, const T* src, std::size_t n) {
    if (src) dst.assign(src, src + n);
    return src ? dst.data() : nullptr;
  }
  LinearLayer layer;
  std::vector<float> bias, subias, scale, diag, floatWeights;
  std::vector<signed char> weights;
  std::vector<int> idx;
};

// The voice recordings with pink noise 10 dB down.
std::vector<float> noisySpeech() {
  std::vector<float> s;
  for (const auto& rec : test::voiceRecordings()) s.insert(s.end(), rec.begin(), rec.end());
  const auto noise = test::pinkNoise(s.size(), test::rms(s.data(), s.size()) * 0.316f, 11);
  for (std::size_t i = 0; i < s.size(); ++i) s[i] += noise[i];
  return s;
}

// Each layer of the model with random vectors in [-1, 1], wider ones that
// quantise outside a byte, inputs that int8 layers quantise from an exact half
// (127 x = k + 1/2, where rounding rules part) and special values. (The
// inputs speech gives them: the last test.)
TEST(NnetKernels, EveryLayerMatchesTheLibraryOnRandomInputs) {
  const std::unique_ptr<DenoiseState, void (*)(DenoiseState*)> st(rnnoise_create(nullptr),
                                                                  rnnoise_destroy);
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> unit(-1.f, 1.f);
  const float inf = std::numeric_limits<float>::infinity();
  const float specials[] = {0.f, -0.f, 1.f, -1.f, 1e-40f, inf, -inf, std::nanf(""), 1e30f, -3.f};
  std::vector<float> halves;
  for (int k = -128; k < 128; ++k) {
    float x = (k + 0.5f) / 127.f;
    for (int step = 0; step < 8 && 127.f * x != k + 0.5f; ++step)
      x = std::nextafter(x, 127.f * x < k + 0.5f ? 2.f : -2.f);
    if (127.f * x == k + 0.5f) halves.push_back(x);
  }
  ASSERT_GT(halves.size(), 100u);
  for (const LinearLayer& l : st->model.layers) {
    const ExactLayer layer(l);
    for (int v = 0; v < 30; ++v) {
      std::vector<float> x(l.nb_inputs), expected(l.nb_outputs), ours(l.nb_outputs);
      for (std::size_t j = 0; j < x.size(); ++j)
        x[j] = v < 20   ? unit(rng)
               : v < 28 ? 3.f * unit(rng)
               : v < 29 ? halves[(j * 7 + v) % halves.size()]
                        : specials[j % std::size(specials)];
      orv_reference_linear(layer.get(), expected.data(), x.data());
      for (const Path& p : paths()) {
        p.linear(layer.get(), ours.data(), x.data());
        ASSERT_TRUE(sameBits(expected, ours))
            << p.name << ", input " << v << ", layer " << l.nb_inputs << " -> " << ours.size();
      }
    }
  }
}

// Signed zeros, denormals, the rational functions' whole working range and
// their clamp region at fine steps, magnitudes where x^2 overflows,
// infinities and NaN; every activation code, the library's unknown ones too;
// whole sweeps, in place, and short lengths for every vector tail; in the
// default floating-point mode and in the engine's flush-to-zero mode.
TEST(NnetKernels, ActivationsMatchTheLibraryOverASweep) {
  const float inf = std::numeric_limits<float>::infinity(), big = std::numeric_limits<float>::max();
  std::vector<float> x = {0.f,     -0.f,  1e-40f, -1e-40f,       1e-30f,
                          -1e-30f, 1e10f, -1e10f, 1e30f,         -1e30f,
                          big,     -inf,  inf,    std::nanf(""), -std::nanf("")};
  for (int k = -512; k <= 512; ++k) x.push_back(k / 32.f);
  for (int k = 4096; k <= 6144; ++k) x.push_back(k / 1024.f);  // tanh reaches 1 here
  const int n = static_cast<int>(x.size());
  ASSERT_LE(n, 4096) << "the library's swish holds at most 4096 values";
  const unsigned csr = _mm_getcsr();
  for (const unsigned mode : {0x1F80u, 0x9FC0u}) {
    _mm_setcsr(mode);
    for (int activation = -1; activation <= 6; ++activation)
      for (const int len : {n, 1, 2, 3, 5, 7, 9, 13}) {
        std::vector<float> in(x.begin(), x.begin() + len), expected(len);
        orv_reference_activation(expected.data(), in.data(), len, activation);
        for (const Path& p : paths()) {
          std::vector<float> ours(len), inPlace = in;
          p.activation(ours.data(), in.data(), len, activation);
          p.activation(inPlace.data(), inPlace.data(), len, activation);
          EXPECT_TRUE(sameBits(expected, ours))
              << p.name << ", activation " << activation << ", n " << len << ", mode " << mode;
          EXPECT_TRUE(sameBits(expected, inPlace))
              << p.name << " in place, activation " << activation << ", n " << len;
        }
      }
  }
  _mm_setcsr(csr);
}

// The neural configurations on noisy speech give the same output, to the
// bit, with either of our paths as with the library's own kernels.
TEST(NnetKernels, NeuralOutputEqualsTheLibraryAlone) {
  const OrvNnetPath chosen = orvane_nnet_path();
  EXPECT_EQ(chosen, __builtin_cpu_supports("avx2") ? ORV_NNET_AVX2 : ORV_NNET_BASELINE);
  EXPECT_FALSE(orvane_nnet_select(static_cast<OrvNnetPath>(7)));
  EXPECT_EQ(orvane_nnet_path(), chosen) << "an unknown path changes nothing";
  const test::Signal in{noisySpeech()};
  for (const auto& cfg : {test::kNeuralClassic, test::kNeuralLive}) {
    kernels = Kernels::Library;
    const test::Signal expected = test::run(*test::makeEngine(cfg, 48000, 1), in);
    kernels = Kernels::Ours;
    for (const Path& p : paths()) {
      ASSERT_TRUE(orvane_nnet_select(p.id));
      EXPECT_EQ(orvane_nnet_path(), p.id);
      EXPECT_TRUE(sameBits(expected[0], test::run(*test::makeEngine(cfg, 48000, 1), in)[0]))
          << cfg.name << ", " << p.name;
    }
  }
  orvane_nnet_select(chosen);
  EXPECT_GT(test::rms(in[0].data(), in[0].size()), 0.01f);
}

}  // namespace
}  // namespace orvane
