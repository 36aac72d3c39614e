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

// Calls whose replacement notes the call and forwards it: type, name,
// parameters, arguments. (The C library's names; parameter lists pass whole.)
// NOLINTBEGIN(readability-identifier-naming,bugprone-reserved-identifier,bugprone-macro-parentheses)
#define FORWARDED(X)                                                                \
  X(int, pthread_mutex_lock, (pthread_mutex_t * m), (m))                            \
  X(int, pthread_mutex_trylock, (pthread_mutex_t * m), (m))                         \
  X(int, pthread_mutex_unlock, (pthread_mutex_t * m), (m))                          \
  X(int, pthread_cond_wait, (pthread_cond_t * c, pthread_mutex_t * m), (c, m))      \
  X(int, pthread_cond_timedwait,                                                    \
    (pthread_cond_t * c, pthread_mutex_t * m, const struct timespec* t), (c, m, t)) \
  X(int, pthread_cond_signal, (pthread_cond_t * c), (c))                            \
  X(int, pthread_cond_broadcast, (pthread_cond_t * c), (c))                         \
  X(ssize_t, read, (int fd, void* buffer, size_t n), (fd, buffer, n))               \
  X(ssize_t, write, (int fd, const void* buffer, size_t n), (fd, buffer, n))        \
  X(int, nanosleep, (const struct timespec* t, struct timespec* left), (t, left))   \
  X(int, clock_nanosleep,                                                           \
    (clockid_t clock, int flags, const struct timespec* t, struct timespec* left),  \
    (clock, flags, t, left))                                                        \
  X(int, usleep, (useconds_t us), (us))                                             \
  X(int, sched_yield, (void), ())
#define DECLARE(type, name, params, args) static type(*next_##name) params;
#define LOOK_UP(type, name, params, args) NEXT(name);
#define DEFINE(type, name, params, args) \
  type name params {                     \
    note(#name);                         \
    return NEXT(name) args;              \
  }
FORWARDED(DECLARE)
static int (*next_open)(const char*, int, ...);
static int (*next_open64)(const char*, int, ...);
static int (*next_openat)(int, const char*, int, ...);
static long (*next_syscall)(long, ...);

__attribute__((constructor)) static void lookUpAll(void) {
  FORWARDED(LOOK_UP)
  NEXT(open), NEXT(open64), NEXT(openat), NEXT(syscall);
}

FORWARDED(DEFINE)

// The mode argument of the open calls is there only when a file may be
// created. The analyser's va_list check mistakes it for uninitialised when it
// has checked another C file earlier in the same run.
static int createsFile(int flags) {
  return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE;
}
#define OPEN(name, params, args)                                       \
  int name params {                                                    \
    va_list list;                                                      \
    va_start(list, flags);                                             \
    const mode_t mode = createsFile(flags) ? va_arg(list, mode_t) : 0; \
    va_end(list);                                                      \
    note(#name);                                                       \
    return NEXT(name) args;                                            \
  }
// NOLINTBEGIN(clang-analyzer-valist.Uninitialized)
OPEN(open, (const char* path, int flags, ...), (path, flags, mode))
OPEN(open64, (const char* path, int flags, ...), (path, flags, mode))
OPEN(openat, (int dir, const char* path, int flags, ...), (dir, path, flags, mode))
// NOLINTEND(clang-analyzer-valist.Uninitialized)

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
// NOLINTEND(readability-identifier-naming,bugprone-reserved-identifier,bugprone-macro-parentheses)
