// Clang's thread-safety attributes behind short macros, so that a clang build with
// -Wthread-safety checks which lock guards which member and which functions expect it held.
// Other compilers see nothing.
#ifndef RECFILEREADER_FILEACCESS_THREADANNOTATIONS_H
#define RECFILEREADER_FILEACCESS_THREADANNOTATIONS_H

#if defined(__clang__)
#define REC_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define REC_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(name) REC_THREAD_ANNOTATION(capability(name))
#define SCOPED_CAPABILITY REC_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(lock) REC_THREAD_ANNOTATION(guarded_by(lock))
#define ACQUIRED_BEFORE(...) REC_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define REQUIRES(...) REC_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) REC_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) REC_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) REC_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
// Only where a lock is held across calls in a way the analysis cannot follow; say why there.
#define NO_THREAD_SAFETY_ANALYSIS REC_THREAD_ANNOTATION(no_thread_safety_analysis)

#endif  // RECFILEREADER_FILEACCESS_THREADANNOTATIONS_H
