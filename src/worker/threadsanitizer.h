#ifndef THREADSANITIZER_H
#define THREADSANITIZER_H

// Qt's mutexes and wait conditions live in Qt's own library, which a ThreadSanitizer build of
// this program does not instrument, so the sanitizer cannot see that they order what two threads
// do and reports every field they guard as a race. These calls tell it, right after a lock is
// taken and right before it is given up. In other builds they are empty.
#if defined(__SANITIZE_THREAD__)
#define TIDEPOOL_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TIDEPOOL_THREAD_SANITIZER 1
#endif
#endif

#ifdef TIDEPOOL_THREAD_SANITIZER
extern "C" void __tsan_acquire(void *address);
extern "C" void __tsan_release(void *address);
#endif

namespace ThreadSanitizer {

#ifdef TIDEPOOL_THREAD_SANITIZER
inline void lockTaken(void *lock)
{
    __tsan_acquire(lock);
}
inline void lockGivenUp(void *lock)
{
    __tsan_release(lock);
}
#else
inline void lockTaken(void *) { }
inline void lockGivenUp(void *) { }
#endif

} // namespace ThreadSanitizer

#endif // THREADSANITIZER_H
