#pragma once

// Qt's event queue and GLib's main contexts hand work from thread to thread under futex locks inside
// their (uninstrumented) libraries, which ThreadSanitizer cannot see. Where our code hands an object
// over through them, these calls tell it so; in other builds they are nothing.
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ORV_THREAD_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define ORV_THREAD_SANITIZER 1
#endif

#ifdef ORV_THREAD_SANITIZER
extern "C" void __tsan_acquire(void *address);
extern "C" void __tsan_release(void *address);
#endif

namespace orv::sanitizer {

// Everything this thread wrote so far goes, with the object at address, to the thread that takes it over.
inline void handOver([[maybe_unused]] void *address)
{
#ifdef ORV_THREAD_SANITIZER
    __tsan_release(address);
#endif
}

// This thread now owns the object at address that another thread handed over.
inline void takeOver([[maybe_unused]] void *address)
{
#ifdef ORV_THREAD_SANITIZER
    __tsan_acquire(address);
#endif
}

} // namespace orv::sanitizer
