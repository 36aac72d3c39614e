/* The band-gain analysis added to RNNoise for the low-latency neural path. */
#ifndef ORVANE_ANALYZE_H
#define ORVANE_ANALYZE_H

#include <rnnoise.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Runs the first half of rnnoise_process_frame on one 480-sample frame at
 * 48 kHz (16-bit full scale): the library's input high-pass, feature extraction
 * and network inference. Writes the 32 band gains, each allowed to fall to no
 * less than 0.3 x its value of the previous frame, and returns the voice-activity
 * probability (0 for a frame the library judges silent, with all gains 0).
 *
 * A state must be driven either by this function or by rnnoise_process_frame
 * between two initialisations, never by both: the look-ahead copies and the
 * synthesis memory are left alone here. No allocation; about 10 kB of stack.
 * Nothing is checked: st must be valid, gains writable for 32 floats and in
 * readable for 480. */
float orvane_analyze(DenoiseState* st, float* gains, const float* in);

/* Non-zero when the linked RNNoise archive has the internal layout that
 * orvane_analyze relies on (state size and input high-pass memory position).
 * Creates and frees one state; not for the audio thread. */
int orvane_denoiser_layout_ok(void);

#ifdef __cplusplus
}
#endif

#endif
