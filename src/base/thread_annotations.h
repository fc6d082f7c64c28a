#pragma once

// Which mutex guards what, in a form clang's thread-safety analysis checks
// (-Wthread-safety): state marked GUARDED_BY a mutex is touched only while
// it is held, and a function marked REQUIRES or EXCLUDES is called only with
// or without it. Other compilers see nothing.
#if defined(__clang__)
#define QUERN_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define QUERN_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(name) QUERN_THREAD_ANNOTATION(capability(name))
#define SCOPED_CAPABILITY QUERN_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(mutex) QUERN_THREAD_ANNOTATION(guarded_by(mutex))
#define REQUIRES(...) QUERN_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) QUERN_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) QUERN_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) QUERN_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define RETURN_CAPABILITY(mutex) QUERN_THREAD_ANNOTATION(lock_returned(mutex))
#define NO_THREAD_SAFETY_ANALYSIS QUERN_THREAD_ANNOTATION(no_thread_safety_analysis)
