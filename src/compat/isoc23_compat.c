// Lets the prebuilt VST 3 SDK archives link against bookworm's glibc 2.36.
//
// The archives were compiled against glibc 2.38 or newer, whose headers redirect
// sscanf to __isoc23_sscanf (C23 rules: "0b" prefixes for %i). glibc 2.36 has
// no such symbol, so the module would not link with --no-undefined. The SDK only
// parses decimal and hex numbers with it, where both rule sets agree, so
// forwarding to the classic vsscanf is exact for its uses.
#include <stdarg.h>
#include <stdio.h>

// The name is glibc's, reserved by design.
// NOLINTBEGIN
__attribute__((visibility("hidden"))) int __isoc23_sscanf(const char* s, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = vsscanf(s, format, args);
  va_end(args);
  return n;
}
// NOLINTEND
