/* Our definitions of the two functions that do all of RNNoise's network
 * arithmetic, faster than the archive's own and bit for bit equal to them.
 *
 * The library's GRU, dense and convolution wrappers call rnn_compute_linear_c
 * for every matrix product and rnn_compute_activation_c for every activation.
 * The build links these definitions ahead of librnnoise.a, so the archive's
 * member that defines them (nnet_default.o) is never taken, and both
 * rnnoise_process_frame and orvane_analyze run the code here (see
 * cmake/RnnoiseKernels.cmake, which also makes the link fail if that member is
 * ever pulled in).
 *
 * The Debian build of RNNoise 0.2 evaluates the network with SSE instructions
 * whose results are defined by the processor: approximate reciprocals in the
 * activations, float-to-int conversions in the current rounding mode. Plain C
 * cannot express those, so both paths here are x86-64 vector code:
 *   - the baseline path uses only SSE2, which every x86-64 processor has;
 *   - the AVX2 path does the same operations eight lanes wide;
 *   - where the processor has AVX-512 VL and VNNI, the AVX2 path does its int8
 *     products with VNNI's byte dot products (exact integer sums: the same
 *     results).
 * One of them is chosen once per process from the processor when the code is
 * loaded; tests can force any with orvane_nnet_select.
 *
 * All functions are real-time safe: no allocation, no lock, no system call;
 * about 4 kB of stack. */
#ifndef ORVANE_NNET_KERNELS_H
#define ORVANE_NNET_KERNELS_H

#ifdef __cplusplus
extern "C" {
#endif

/* Inside the C block: C++ tests see the library internals with C linkage. */
#include "rnnoise_internal.h"

/* The library's activation codes. */
enum {
  ORV_ACTIVATION_LINEAR = 0,
  ORV_ACTIVATION_SIGMOID = 1,
  ORV_ACTIVATION_TANH = 2,
  ORV_ACTIVATION_RELU = 3,
  ORV_ACTIVATION_SOFTMAX = 4,
  ORV_ACTIVATION_SWISH = 5
};

/* ORV_NNET_VNNI is the AVX2 path with its int8 products done by AVX-512 VNNI
 * instructions (same results). */
typedef enum { ORV_NNET_BASELINE = 0, ORV_NNET_AVX2 = 1, ORV_NNET_VNNI = 2 } OrvNnetPath;

/* out (nb_outputs floats) = the layer applied to in (nb_inputs floats):
 *   - float weights, dense (float_weights without weights_idx): for each
 *     output i, the sum over inputs j in order of float_weights[j * N + i] *
 *     in[j], from 0, each product and sum rounded to single precision;
 *   - float weights, sparse (with weights_idx): blocks of 8 outputs, each
 *     listing its 8 x 4 tiles (a count, then each tile's first input); a tile
 *     holds its 4 columns one after the other, 8 rows each, and adds to every
 *     row its 4 products column by column;
 *   - int8 weights (weights, used when there are no float weights): each input
 *     is quantised to the byte 127 + round(127 x), every 8 x 4 tile (rows of 4
 *     bytes, dense tiles in input order or listed as above) adds its exact
 *     integer products, and each output is its integer sum converted to float
 *     times scale[i];
 *   - no weights at all: zeros.
 * Then bias[i] is added (subias[i] for int8 weights; none if it is NULL), and
 * with diag (N = 3 M), diag[i + k M] * in[i] to out[i + k M] for k = 0, 1, 2.
 * Columns past the last input add nothing, and neither does a tile listed
 * outside the inputs (the library would read past its buffers there). out and
 * in must not overlap. */
void rnn_compute_linear_c(const LinearLayer* layer, float* out, const float* in);

/* out[0..n) = activation(in[0..n)); in place allowed (out == in). Sigmoid and
 * tanh are the library's rational approximations with an approximate
 * reciprocal, clamped; ReLU keeps -0 and NaN; softmax uses the library's
 * exp2-based approximation and normalises by the float sum; swish is x times
 * the sigmoid; any other code copies. */
void rnn_compute_activation_c(float* out, const float* in, int n, int activation);

/* The path in use. */
OrvNnetPath orvane_nnet_path(void);

/* Makes every later call use the given path. Returns 0 (and changes nothing)
 * when this processor cannot run it. For tests and diagnostics: call it while
 * no network is being evaluated. */
int orvane_nnet_select(OrvNnetPath path);

/* The paths themselves, as the dispatching functions above call them. */
void orv_linear_baseline(const LinearLayer* layer, float* out, const float* in);
void orv_activation_baseline(float* out, const float* in, int n, int activation);
void orv_linear_avx2(const LinearLayer* layer, float* out, const float* in);
void orv_activation_avx2(float* out, const float* in, int n, int activation);
void orv_linear_vnni(const LinearLayer* layer, float* out, const float* in);

#ifdef __cplusplus
}
#endif

#endif
