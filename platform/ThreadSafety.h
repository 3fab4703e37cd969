// Clang's thread-safety attributes, as macros that vanish under other compilers. Locks are
// declared capabilities, fields name the lock that guards them, and functions say which
// locks they need held (or take and give back), so that clang -Wthread-safety checks every
// access against its lock at compile time.
#pragma once

#if defined(__clang__)
#define ORVANE_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define ORVANE_THREAD_ANNOTATION(x)
#endif

// A type that is a lock.
#define ORVANE_CAPABILITY(name) ORVANE_THREAD_ANNOTATION(capability(name))
// An RAII type that holds a lock for its lifetime.
#define ORVANE_SCOPED_CAPABILITY ORVANE_THREAD_ANNOTATION(scoped_lockable)
// A field read or written only with the lock held.
#define ORVANE_GUARDED_BY(lock) ORVANE_THREAD_ANNOTATION(guarded_by(lock))
// A pointer whose target is read or written only with the lock held.
#define ORVANE_PT_GUARDED_BY(lock) ORVANE_THREAD_ANNOTATION(pt_guarded_by(lock))
// A function the caller must call with the locks held.
#define ORVANE_REQUIRES(...) ORVANE_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
// A function that takes the locks and returns with them held.
#define ORVANE_ACQUIRE(...) ORVANE_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
// A function that gives back locks the caller held.
#define ORVANE_RELEASE(...) ORVANE_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
// A function that takes the lock when it returns `result`.
#define ORVANE_TRY_ACQUIRE(...) ORVANE_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
// A function that must not be called with the locks held (it takes them itself).
#define ORVANE_EXCLUDES(...) ORVANE_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
// A function that returns a reference to the lock.
#define ORVANE_RETURN_CAPABILITY(lock) ORVANE_THREAD_ANNOTATION(lock_returned(lock))
// Opts a function out of the analysis; each use says why in a comment.
#define ORVANE_NO_THREAD_SAFETY_ANALYSIS ORVANE_THREAD_ANNOTATION(no_thread_safety_analysis)
