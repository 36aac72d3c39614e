// Scoped flush-to-zero / denormals-are-zero for an audio block.
#pragma once

#if defined(__SSE__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

namespace orvane {

// Puts the current thread's floating-point unit into the engine's own mode
// while in scope: flush-to-zero and denormals-are-zero on, round to nearest,
// every exception masked. Restores the thread's previous control word
// (rounding mode, masks and sticky flags included) on every exit path.
//
// Denormals would otherwise appear in the one-pole filters as their states
// decay toward zero and slow each operation down a hundredfold. The rounding
// mode and masks are fixed too, so that a host that changed them gets the
// same output and no trap from the engine's deliberate inf/NaN handling.
class ScopedFlushDenormals {
 public:
#if defined(__SSE__) || defined(_M_X64)
  static constexpr unsigned kFlushToZero = 0x8000;       // MXCSR bit 15
  static constexpr unsigned kDenormalsAreZero = 0x0040;  // MXCSR bit 6
  static constexpr unsigned kAllMasked = 0x1F80;         // bits 7..12, round to nearest
  ScopedFlushDenormals() noexcept : saved(_mm_getcsr()) {
    _mm_setcsr(kAllMasked | kFlushToZero | kDenormalsAreZero);
  }
  ~ScopedFlushDenormals() {
    _mm_setcsr(saved);
  }

 private:
  unsigned saved;
#elif defined(__aarch64__)
  ScopedFlushDenormals() noexcept {
    __asm__ __volatile__("mrs %0, fpcr" : "=r"(saved));
    // FPCR.FZ alone: round to nearest, no traps, flush in both directions.
    const unsigned long flushToZero = 1ul << 24;
    __asm__ __volatile__("msr fpcr, %0" ::"r"(flushToZero));
  }
  ~ScopedFlushDenormals() {
    __asm__ __volatile__("msr fpcr, %0" ::"r"(saved));
  }

 private:
  unsigned long saved;
#else
  ScopedFlushDenormals() noexcept {}
#endif
  ScopedFlushDenormals(const ScopedFlushDenormals&) = delete;
  ScopedFlushDenormals& operator=(const ScopedFlushDenormals&) = delete;
};

}  // namespace orvane
