/* Checks that the linked RNNoise archive has the layout orvane_analyze assumes. */
#include <string.h>

#include "orvane_analyze.h"
#include "rnnoise_internal.h"

int orvane_denoiser_layout_ok(void) {
  if (rnnoise_get_size() != ORV_STATE_SIZE || rnnoise_get_frame_size() != ORV_FRAME_SIZE) return 0;

  DenoiseState* st = rnnoise_create(NULL);
  if (!st) return 0;

  /* Run the library's own frame call on a ramp and recompute its input
   * high-pass independently: the two floats at the memory position we use must
   * equal the recomputed memories bit for bit. */
  float in[ORV_FRAME_SIZE], out[ORV_FRAME_SIZE];
  for (int i = 0; i < ORV_FRAME_SIZE; i++) in[i] = (float)((i % 97) * 300 - 14000);
  rnnoise_process_frame(st, out, in);

  float m0 = 0.f, m1 = 0.f;
  for (int i = 0; i < ORV_FRAME_SIZE; i++) {
    float xi = in[i];
    float yi = xi + m0;
    m0 = (float)(m1 + (-2.0 * (double)xi - (double)-1.99599f * (double)yi));
    m1 = (float)((double)xi - (double).996f * (double)yi);
  }
  float mem[2];
  memcpy(mem, (const unsigned char*)st + ORV_OFFSET_MEM_HP_X, sizeof mem);
  int ok = mem[0] == m0 && mem[1] == m1 && m0 != 0.f;
  rnnoise_destroy(st);
  return ok;
}
