/* Constants shared by the two paths of the network kernels (nnet_kernels.c,
 * nnet_kernels_avx2.c). Private to them. */
#ifndef ORVANE_NNET_KERNELS_IMPL_H
#define ORVANE_NNET_KERNELS_IMPL_H

/* tanh(x) ~ x (N0 + N1 x^2 + N2 x^4) / (D0 + D1 x^2 + D2 x^4), clamped to
 * [-1, 1]: the library's rational approximation (largest error 6e-5 with an
 * exact division; the approximate reciprocal it is evaluated with adds up to
 * 3.7e-4 relative). The values are the library's, to the last bit. */
#define ORV_TANH_N0 952.528015f
#define ORV_TANH_N1 96.3923569f
#define ORV_TANH_N2 0.608630419f
#define ORV_TANH_D0 952.723999f
#define ORV_TANH_D1 413.368011f
#define ORV_TANH_D2 11.8860092f

/* sigmoid(x) = 1/2 + tanh(x/2)/2: the same rational function with x/2 folded
 * into the coefficients (powers of two, so exact), plus one half, clamped to
 * [0, 1]. */
#define ORV_SIGMOID_N0 (ORV_TANH_N0 / 4)
#define ORV_SIGMOID_N1 (ORV_TANH_N1 / 16)
#define ORV_SIGMOID_N2 (ORV_TANH_N2 / 64)
#define ORV_SIGMOID_D0 ORV_TANH_D0
#define ORV_SIGMOID_D1 (ORV_TANH_D1 / 4)
#define ORV_SIGMOID_D2 (ORV_TANH_D2 / 16)

/* Softmax's exponential: e^x = 2^(x log2 e) with the exponent clamped to
 * [-50, 50], split into an integer i (rounded from t - 1/2, so t - i lies in
 * [0, 1]) that goes straight into the float's exponent field, and the cubic
 * C0 + C1 f + C2 f^2 + C3 f^3 for 2^f on [0, 1] (relative error 7.5e-5). The
 * values are the library's, to the last bit. */
#define ORV_LOG2_E 1.44269502f
#define ORV_EXP2_LIMIT 50.f
#define ORV_EXP2_C0 0.999925196f
#define ORV_EXP2_C1 0.695833564f
#define ORV_EXP2_C2 0.226067156f
#define ORV_EXP2_C3 0.0780245215f

/* int8 layers quantise their inputs to bytes 127 + round(127 x). Up to this
 * many inputs the bytes are computed once per call into a stack buffer (the
 * library's own limit too); wider layers quantise each tile's inputs as they
 * are used. */
#define ORV_NNET_MAX_QUANTISED 2048

#include "rnnoise_internal.h"

/* Adds the layer's bias and diagonal terms to out, which holds its products
 * (both paths share it). */
void orv_linear_finish(const LinearLayer* l, float* out, const float* in);

#endif
