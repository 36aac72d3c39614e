/* Declarations of the RNNoise 0.2 internals that orvane_analyze reads and calls.
 *
 * librnnoise-dev ships only the public header, so these are written from the
 * library's documented 0.2 layout. They must match the linked archive exactly:
 * orvane_denoiser_layout_ok() checks the size and the high-pass memory position
 * against the archive at build time and in the tests.
 *
 * Only what orvane_analyze touches is spelt out; the rest is sized filler. */
#ifndef ORVANE_RNNOISE_INTERNAL_H
#define ORVANE_RNNOISE_INTERNAL_H

#include <rnnoise.h>
#include <stddef.h>

#define ORV_FRAME_SIZE 480
#define ORV_FREQ_SIZE 481 /* FRAME_SIZE + 1 bins of the 960-point spectrum */
#define ORV_NB_BANDS 32
#define ORV_NB_FEATURES 65

typedef struct {
  float r;
  float i;
} kiss_fft_cpx;

/* One layer of the network: seven pointers and two counts (64 bytes). */
typedef struct {
  const float* bias;
  const float* subias;
  const signed char* weights;
  const float* float_weights;
  const int* weights_idx;
  const float* diag;
  const float* scale;
  int nb_inputs;
  int nb_outputs;
} LinearLayer;

/* The default model: conv1, conv2, then input and recurrent weights of the
 * three GRUs, then the gain and voice-activity output layers. */
typedef struct {
  LinearLayer layers[10];
} RNNoise;

/* Convolution histories and the three GRU states, 6152 bytes in all. */
typedef struct {
  float data[1538];
} RNNState;

struct DenoiseState {
  RNNoise model;
  int arch; /* CPU choice for the inner loops; 0 = plain C in this build */
  float analysis_mem[ORV_FRAME_SIZE];
  int memid;
  float synthesis_mem[ORV_FRAME_SIZE];
  float pitch_buf[1728];
  float pitch_enh_buf[1728];
  float last_gain;
  int last_period;
  float mem_hp_x[2];         /* input high-pass memory */
  float lastg[ORV_NB_BANDS]; /* band gains of the previous frame */
  RNNState rnn;
  kiss_fft_cpx delayed_X[ORV_FREQ_SIZE];
  kiss_fft_cpx delayed_P[ORV_FREQ_SIZE];
  float delayed_Ex[ORV_NB_BANDS];
  float delayed_Ep[ORV_NB_BANDS];
  float delayed_Exp[ORV_NB_BANDS];
};

/* The byte offsets measured on the pinned archive. */
#define ORV_STATE_SIZE 32688
#define ORV_OFFSET_ARCH 640
#define ORV_OFFSET_MEM_HP_X 18320
#define ORV_OFFSET_LASTG 18328
#define ORV_OFFSET_RNN 18456

/* The tests include this header from C++ too. */
#ifdef __cplusplus
#define ORV_STATIC_ASSERT static_assert
#else
#define ORV_STATIC_ASSERT _Static_assert
#endif
ORV_STATIC_ASSERT(sizeof(LinearLayer) == 64, "LinearLayer layout");
ORV_STATIC_ASSERT(offsetof(struct DenoiseState, arch) == ORV_OFFSET_ARCH, "arch offset");
ORV_STATIC_ASSERT(offsetof(struct DenoiseState, mem_hp_x) == ORV_OFFSET_MEM_HP_X,
                  "mem_hp_x offset");
ORV_STATIC_ASSERT(offsetof(struct DenoiseState, lastg) == ORV_OFFSET_LASTG, "lastg offset");
ORV_STATIC_ASSERT(offsetof(struct DenoiseState, rnn) == ORV_OFFSET_RNN, "rnn offset");
ORV_STATIC_ASSERT(sizeof(struct DenoiseState) == ORV_STATE_SIZE, "DenoiseState size");

/* Library internals (global symbols of librnnoise.a). */
int rnn_compute_frame_features(DenoiseState* st, kiss_fft_cpx* X, kiss_fft_cpx* P, float* Ex,
                               float* Ep, float* Exp, float* features, const float* in);
void compute_rnn(const RNNoise* model, RNNState* rnn, float* gains, float* vad, const float* input,
                 int arch);

#endif
