/* Uses the archive's FFT or pitch search alone (PROBE_PITCH), with nothing of
 * ours in front: the linker check in cmake/rnnoise_kernels.ld must stop this
 * link (tests FftSeam.*, PitchSeam.*). */
/* NOLINTBEGIN(readability-identifier-naming): the library's names. */
extern const char rnn_kfft[];
void rnn_fft_c(const void* st, const float* in, float* out);
void rnn_pitch_search(const float* x, float* y, int len, int maxPitch, int* pitch);
/* NOLINTEND(readability-identifier-naming) */

int main(void) {
  static float in[2 * 960], out[2 * 960];
  int pitch = 0;
#ifdef PROBE_PITCH
  rnn_pitch_search(in, out, 960, 588, &pitch);
#else
  rnn_fft_c(rnn_kfft, in, out);
#endif
  return pitch;
}
