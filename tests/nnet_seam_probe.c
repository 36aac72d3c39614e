/* Uses RNNoise with nothing of ours in front of the archive, so the linker
 * takes the archive's own network kernels: the linker check in
 * cmake/rnnoise_kernels.ld must stop this link (test NnetSeam.*). */
#include <rnnoise.h>
#include <stddef.h>

int main(void) {
  DenoiseState* st = rnnoise_create(NULL);
  rnnoise_destroy(st);
  return 0;
}
