/* Build step: exits non-zero when the RNNoise archive's layout is not the one
 * orvane_analyze was written against. */
#include <stdio.h>

#include "orvane_analyze.h"

int main(void) {
  if (!orvane_denoiser_layout_ok()) {
    fprintf(stderr,
            "error: the linked librnnoise.a does not have the RNNoise 0.2 internal layout "
            "that orvane_analyze relies on (state size %d, expected 32688, or the input "
            "high-pass memory is not at byte 18320)\n",
            rnnoise_get_size());
    return 1;
  }
  return 0;
}
