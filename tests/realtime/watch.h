// Watches what one thread calls while it should never wait: every heap
// allocation, every mutex and condition-variable call, and the system calls a
// program can interpose (read, write, open, syscall, sleeps, sched_yield).
// Linking watch.c into a test binary replaces those functions for the whole
// process; they count only on a thread that has switched watching on.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Starts (non-zero) or stops watching the calling thread.
void watchThisThread(int on);
// Calls seen on watched threads since the last reset, and the name of the
// first of them (null when none).
long watchedCallCount(void);
const char* firstWatchedCall(void);
void resetWatchedCalls(void);

#ifdef __cplusplus
}
#endif
