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

#include "denoiser/fft_kernels.h"
#include "denoiser/pitch_kernels.h"
#include "engine_harness.h"
#include "support/speech.h"

// NOLINTBEGIN(bugprone-reserved-identifier,readability-identifier-naming): names that --wrap
// gives the linker.
extern "C" {
void orv_reference_linear(const LinearLayer* layer, float* out, const float* in);
void orv_reference_activation(float* out, const float* in, int n, int activation);
kiss_fft_state* orv_reference_fft_alloc_twiddles(int nfft, void* mem, std::size_t* lenmem,
                                                 const kiss_fft_state* base, int arch);
void orv_reference_fft_free(const kiss_fft_state* st, int arch);
void orv_reference_fft_c(const kiss_fft_state* st, const kiss_fft_cpx* fin, kiss_fft_cpx* fout);
void orv_reference_ifft_c(const kiss_fft_state* st, const kiss_fft_cpx* fin, kiss_fft_cpx* fout);
void orv_reference_pitch_xcorr(const float* x, const float* y, float* xcorr, int len, int max);
void orv_reference_pitch_downsample(float* x[], float* x_lp, int len, int C);
void orv_reference_pitch_search(const float* x_lp, float* y, int len, int max_pitch, int* pitch);
float orv_reference_remove_doubling(float* x, int maxperiod, int minperiod, int N, int* T0,
                                    int prev_period, float prev_gain);
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

bool hasVnni() {
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512vl") &&
         __builtin_cpu_supports("avx512vnni");
}

// Our paths where this processor runs them.
std::vector<Path> paths() {
  std::vector<Path> p{
      {"baseline", ORV_NNET_BASELINE, orv_linear_baseline, orv_activation_baseline}};
  if (__builtin_cpu_supports("avx2"))
    p.push_back({"avx2", ORV_NNET_AVX2, orv_linear_avx2, orv_activation_avx2});
  if (hasVnni()) p.push_back({"vnni", ORV_NNET_VNNI, orv_linear_vnni, orv_activation_avx2});
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
  EXPECT_EQ(chosen, hasVnni()                        ? ORV_NNET_VNNI
                    : __builtin_cpu_supports("avx2") ? ORV_NNET_AVX2
                                                     : ORV_NNET_BASELINE);
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

// The FFT, forward and inverse, on both paths: the library's built-in state
// and states allocated by both sides (other sizes, a radix-2 pass, twiddles
// shared with the built-in state), which must also hold the same tables. On
// speech frames at the library's 16-bit scale, random vectors, silence, full
// scale and denormal values, in the default and in the engine's flush-to-zero
// mode.
TEST(FftKernels, TransformsAndStatesMatchTheLibrary) {
  using State = std::unique_ptr<kiss_fft_state, void (*)(kiss_fft_state*)>;
  auto ours = [](int n, const kiss_fft_state* base) {
    return State(rnn_fft_alloc_twiddles(n, nullptr, nullptr, base, 0),
                 [](kiss_fft_state* st) { rnn_fft_free(st, 0); });
  };
  auto library = [](int n, const kiss_fft_state* base) {
    return State(orv_reference_fft_alloc_twiddles(n, nullptr, nullptr, base, 0),
                 [](kiss_fft_state* st) { orv_reference_fft_free(st, 0); });
  };
  // (The library's own allocation frees an uninitialised pointer on this
  // failure, so only ours is asked.)
  EXPECT_EQ(ours(7 * 32, nullptr), nullptr) << "a factor above 5";
  EXPECT_EQ(ours(100, &rnn_kfft), nullptr) << "not a power-of-two fraction";

  std::vector<std::pair<const kiss_fft_state*, const kiss_fft_state*>> states{
      {&rnn_kfft, &rnn_kfft}};
  std::vector<State> owned;
  for (auto [n, base] : {std::pair{960, static_cast<const kiss_fft_state*>(nullptr)},
                         {480, nullptr},
                         {60, nullptr},
                         {480, &rnn_kfft}}) {
    owned.push_back(ours(n, base));
    owned.push_back(library(n, base));
    const kiss_fft_state &a = *owned[owned.size() - 2], &b = *owned.back();
    ASSERT_TRUE(&a && &b) << n;
    EXPECT_EQ(std::memcmp(&a, &b, offsetof(kiss_fft_state, factors)), 0) << n;
    int used = 2;  // factor pairs up to the one that leaves length 1
    while (a.factors[used - 1] > 1 && used < 2 * ORV_FFT_MAX_FACTORS) used += 2;
    EXPECT_EQ(std::memcmp(a.factors, b.factors, sizeof(short) * used), 0) << n;
    EXPECT_EQ(std::memcmp(a.bitrev, b.bitrev, sizeof(int) * n), 0) << n;
    EXPECT_EQ(std::memcmp(a.twiddles, b.twiddles, sizeof(kiss_fft_cpx) * n), 0) << n;
    states.emplace_back(&a, &b);
  }

  const std::vector<float> speech = noisySpeech();
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> unit(-1.f, 1.f);
  const OrvNnetPath chosen = orvane_nnet_path();
  const unsigned csr = _mm_getcsr();
  for (const unsigned mode : {0x1F80u, 0x9FC0u})
    for (int input = 0; input < 9; ++input)
      for (const auto& [st, ref] : states) {
        const int n = st->nfft;
        std::vector<float> x(2 * n);
        for (int k = 0; k < 2 * n; ++k)
          x[k] = input < 4
                     ? (k % 2 ? 0.f : 32768.f * speech[(input * 7919 + k / 2) % speech.size()])
                 : input < 6  ? 32768.f * unit(rng)
                 : input == 6 ? 0.f
                 : input == 7 ? (unit(rng) < 0 ? -32768.f : 32767.f)
                              : 1e-39f * unit(rng);
        const auto* in = reinterpret_cast<const kiss_fft_cpx*>(x.data());
        std::vector<float> forward(2 * n), inverse(2 * n), out(2 * n);
        auto* o = reinterpret_cast<kiss_fft_cpx*>(out.data());
        _mm_setcsr(mode);
        orv_reference_fft_c(ref, in, reinterpret_cast<kiss_fft_cpx*>(forward.data()));
        orv_reference_ifft_c(ref, in, reinterpret_cast<kiss_fft_cpx*>(inverse.data()));
        for (const Path& p : paths()) {
          orvane_nnet_select(p.id);
          rnn_fft_c(st, in, o);
          EXPECT_TRUE(sameBits(forward, out)) << p.name << ", " << n << " points, input " << input;
          rnn_ifft_c(st, in, o);
          EXPECT_TRUE(sameBits(inverse, out)) << p.name << " inverse, " << n << ", input " << input;
        }
        _mm_setcsr(csr);
      }
  orvane_nnet_select(chosen);
}

// The pitch analysis as the library runs it per frame (downsampling of a
// 1728-sample buffer, mono and stereo, the search, the doubling check after
// several previous periods and gains) and the cross-correlation alone at
// lengths and lag counts around every vector width, on both paths. Inputs:
// speech at the library's 16-bit scale, random vectors, silence, full scale
// and denormal values, the last in the engine's flush-to-zero mode.
TEST(PitchKernels, AnalysisMatchesTheLibrary) {
  const std::vector<float> speech = noisySpeech();
  std::mt19937 rng(9);
  std::uniform_real_distribution<float> unit(-1.f, 1.f);
  const OrvNnetPath chosen = orvane_nnet_path();
  const unsigned csr = _mm_getcsr();
  for (int input = 0; input < 10; ++input) {
    std::vector<float> ch[2];
    for (auto& c : ch) {
      c.resize(1728);
      for (std::size_t k = 0; k < c.size(); ++k)
        c[k] = input < 6    ? 32768.f * speech[(input * 24007 + &c - ch + k) % speech.size()]
               : input == 6 ? 32768.f * unit(rng)
               : input == 7 ? 0.f
               : input == 8 ? (unit(rng) < 0 ? -32768.f : 32767.f)
                            : 1e-39f * unit(rng);
    }
    _mm_setcsr(input == 9 ? 0x9FC0u : 0x1F80u);
    std::vector<float> expected(864), ours(864), xe(600), xo(600);
    for (const Path& p : paths()) {
      orvane_nnet_select(p.id);
      for (int channels = 1; channels <= 2; ++channels) {
        float* x[2] = {ch[0].data(), ch[1].data()};
        orv_reference_pitch_downsample(x, expected.data(), 1728, channels);
        rnn_pitch_downsample(x, ours.data(), 1728, channels);
        ASSERT_TRUE(sameBits(expected, ours)) << p.name << ", input " << input << ", " << channels;
      }
      int pe = 0, po = 0;
      orv_reference_pitch_search(expected.data() + 384, expected.data(), 960, 588, &pe);
      rnn_pitch_search(ours.data() + 384, ours.data(), 960, 588, &po);
      EXPECT_EQ(pe, po) << p.name << ", input " << input;
      for (const auto& [prevPeriod, prevGain] :
           {std::pair{0, 0.f}, {768 - pe, .6f}, {2 * (768 - pe) / 3, .9f}}) {
        int te = 768 - pe, to = te;
        const float ge =
            orv_reference_remove_doubling(expected.data(), 768, 60, 960, &te, prevPeriod, prevGain);
        const float go = rnn_remove_doubling(ours.data(), 768, 60, 960, &to, prevPeriod, prevGain);
        EXPECT_EQ(te, to) << p.name << ", input " << input << ", previous " << prevPeriod;
        EXPECT_EQ(bits(ge), bits(go))
            << p.name << ", input " << input << ", previous " << prevPeriod;
      }
      for (const auto& [len, lags] :
           {std::pair{240, 147}, {480, 5}, {860, 5}, {1, 1}, {7, 33}, {9, 40}, {0, 3}}) {
        orv_reference_pitch_xcorr(ch[0].data(), ch[1].data(), xe.data(), len, lags);
        rnn_pitch_xcorr(ch[0].data(), ch[1].data(), xo.data(), len, lags);
        EXPECT_TRUE(sameBits(xe, xo))
            << p.name << ", input " << input << ", " << len << " x " << lags;
      }
    }
    _mm_setcsr(csr);
  }
  orvane_nnet_select(chosen);
}

}  // namespace
}  // namespace orvane
