// The replacements behind watch.h. Each notes the call when the calling thread
// is watched, then forwards to the function it replaces (the next definition
// in the library search order: the C library's, or a sanitizer's). Built with
// _GNU_SOURCE (RTLD_NEXT, open64, O_TMPFILE).
#include "watch.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <stdarg.h>
#include <stdatomic.h>
#include <stddef.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

// Thread-local in the executable itself: reading it calls nothing.
static _Thread_local int watched;
static atomic_long callCount;
static _Atomic(const char*) firstCall;

void watchThisThread(int on) {
  watched = on;
}
long watchedCallCount(void) {
  return atomic_load(&callCount);
}
const char* firstWatchedCall(void) {
  return atomic_load(&firstCall);
}
void resetWatchedCalls(void) {
  atomic_store(&callCount, 0);
  atomic_store(&firstCall, NULL);
}

static void note(const char* name) {
  if (!watched) return;
  atomic_fetch_add(&callCount, 1);
  const char* none = NULL;
  atomic_compare_exchange_strong(&firstCall, &none, name);
}

// The replaced function, looked up once. Lookups happen at load time (below),
// so that none happens on a watched thread.
static void* lookUp(void** slot, const char* name) {
  if (!*slot) *slot = dlsym(RTLD_NEXT, name);
  return *slot;
}
#define NEXT(name) ((__typeof__(next_##name))lookUp((void**)&next_##name, #name))

// NOLINTBEGIN(readability-identifier-naming,bugprone-reserved-identifier): the C library's names
static int (*next_pthread_mutex_lock)(pthread_mutex_t*);
static int (*next_pthread_mutex_trylock)(pthread_mutex_t*);
static int (*next_pthread_mutex_unlock)(pthread_mutex_t*);
static int (*next_pthread_cond_wait)(pthread_cond_t*, pthread_mutex_t*);
static int (*next_pthread_cond_timedwait)(pthread_cond_t*, pthread_mutex_t*,
                                          const struct timespec*);
static int (*next_pthread_cond_signal)(pthread_cond_t*);
static int (*next_pthread_cond_broadcast)(pthread_cond_t*);
static ssize_t (*next_read)(int, void*, size_t);
static ssize_t (*next_write)(int, const void*, size_t);
static int (*next_open)(const char*, int, ...);
static int (*next_open64)(const char*, int, ...);
static int (*next_openat)(int, const char*, int, ...);
static long (*next_syscall)(long, ...);
static int (*next_nanosleep)(const struct timespec*, struct timespec*);
static int (*next_clock_nanosleep)(clockid_t, int, const struct timespec*, struct timespec*);
static int (*next_usleep)(useconds_t);
static int (*next_sched_yield)(void);

__attribute__((constructor)) static void lookUpAll(void) {
  NEXT(pthread_mutex_lock), NEXT(pthread_mutex_trylock), NEXT(pthread_mutex_unlock);
  NEXT(pthread_cond_wait), NEXT(pthread_cond_timedwait), NEXT(pthread_cond_signal);
  NEXT(pthread_cond_broadcast), NEXT(read), NEXT(write), NEXT(open), NEXT(open64), NEXT(openat);
  NEXT(syscall), NEXT(nanosleep), NEXT(clock_nanosleep), NEXT(usleep), NEXT(sched_yield);
}

int pthread_mutex_lock(pthread_mutex_t* m) {
  note("pthread_mutex_lock");
  return NEXT(pthread_mutex_lock)(m);
}
int pthread_mutex_trylock(pthread_mutex_t* m) {
  note("pthread_mutex_trylock");
  return NEXT(pthread_mutex_trylock)(m);
}
int pthread_mutex_unlock(pthread_mutex_t* m) {
  note("pthread_mutex_unlock");
  return NEXT(pthread_mutex_unlock)(m);
}
int pthread_cond_wait(pthread_cond_t* c, pthread_mutex_t* m) {
  note("pthread_cond_wait");
  return NEXT(pthread_cond_wait)(c, m);
}
int pthread_cond_timedwait(pthread_cond_t* c, pthread_mutex_t* m, const struct timespec* t) {
  note("pthread_cond_timedwait");
  return NEXT(pthread_cond_timedwait)(c, m, t);
}
int pthread_cond_signal(pthread_cond_t* c) {
  note("pthread_cond_signal");
  return NEXT(pthread_cond_signal)(c);
}
int pthread_cond_broadcast(pthread_cond_t* c) {
  note("pthread_cond_broadcast");
  return NEXT(pthread_cond_broadcast)(c);
}
ssize_t read(int fd, void* buffer, size_t n) {
  note("read");
  return NEXT(read)(fd, buffer, n);
}
ssize_t write(int fd, const void* buffer, size_t n) {
  note("write");
  return NEXT(write)(fd, buffer, n);
}

// The mode argument is there only when a file may be created.
// The analyser's va_list check mistakes these for uninitialised when it has
// checked another C file earlier in the same run; the va_start is right above.
static int createsFile(int flags) {
  return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE;
}
int open(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
  const mode_t mode = createsFile(flags) ? va_arg(args, mode_t) : 0;
  va_end(args);
  note("open");
  return NEXT(open)(path, flags, mode);
}
int open64(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
  const mode_t mode = createsFile(flags) ? va_arg(args, mode_t) : 0;
  va_end(args);
  note("open64");
  return NEXT(open64)(path, flags, mode);
}
int openat(int dir, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
  const mode_t mode = createsFile(flags) ? va_arg(args, mode_t) : 0;
  va_end(args);
  note("openat");
  return NEXT(openat)(dir, path, flags, mode);
}
// Futexes, among others, are reached this way. The kernel takes at most six
// arguments; passing six whatever the call is how the C library does it too.
long syscall(long number, ...) {
  va_list args;
  va_start(args, number);
  long a[6];
  // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
  for (int i = 0; i < 6; ++i) a[i] = va_arg(args, long);
  va_end(args);
  note("syscall");
  return NEXT(syscall)(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}
int nanosleep(const struct timespec* t, struct timespec* left) {
  note("nanosleep");
  return NEXT(nanosleep)(t, left);
}
int clock_nanosleep(clockid_t clock, int flags, const struct timespec* t, struct timespec* left) {
  note("clock_nanosleep");
  return NEXT(clock_nanosleep)(clock, flags, t, left);
}
int usleep(useconds_t us) {
  note("usleep");
  return NEXT(usleep)(us);
}
int sched_yield(void) {
  note("sched_yield");
  return NEXT(sched_yield)();
}

// Heap allocation. Under AddressSanitizer, which owns malloc, its hook sees
// every allocation, operator new included; otherwise these definitions
// replace the C library's for the whole process (operator new calls malloc)
// and forward to its own entry points.
#if defined(__SANITIZE_ADDRESS__)
#define WATCH_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define WATCH_ASAN 1
#endif
#endif
#ifdef WATCH_ASAN
// Declared here: GCC does not install the sanitizer headers.
int __sanitizer_install_malloc_and_free_hooks(void (*onMalloc)(const volatile void*, size_t),
                                              void (*onFree)(const volatile void*));
static void onMalloc(const volatile void* p, size_t n) {
  (void)p, (void)n;
  note("malloc");
}
static void onFree(const volatile void* p) {
  (void)p;
}
__attribute__((constructor)) static void hookAllocator(void) {
  __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree);
}
#else
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);
void* malloc(size_t n) {
  note("malloc");
  return __libc_malloc(n);
}
void* calloc(size_t count, size_t n) {
  note("calloc");
  return __libc_calloc(count, n);
}
void* realloc(void* p, size_t n) {
  note("realloc");
  return __libc_realloc(p, n);
}
void* memalign(size_t alignment, size_t n) {
  note("memalign");
  return __libc_memalign(alignment, n);
}
void* aligned_alloc(size_t alignment, size_t n) {
  note("aligned_alloc");
  return __libc_memalign(alignment, n);
}
int posix_memalign(void** p, size_t alignment, size_t n) {
  note("posix_memalign");
  *p = __libc_memalign(alignment, n);
  return *p ? 0 : 12;  // ENOMEM
}
void free(void* p) {
  __libc_free(p);
}
#endif
// NOLINTEND(readability-identifier-naming,bugprone-reserved-identifier)
