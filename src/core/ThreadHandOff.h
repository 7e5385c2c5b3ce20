#pragma once

// Marks where this thread hands data to another thread through Qt's event queue (a queued call or
// a posted function). The queue orders the two threads with locks inside Qt; ThreadSanitizer
// cannot see them in Debian's uninstrumented Qt, so a build under it is told of the hand-off
// here, and the receiving thread takes it as each event is delivered (src/threadcheck). Every
// other build compiles this to nothing.
#if defined(TALLYPORT_TSAN)
extern "C" void __tsan_release(void *addr);
namespace ThreadHandOff {
extern char Token;
}
inline void MarkThreadHandOff()
{
    __tsan_release(&ThreadHandOff::Token);
}
#else
inline void MarkThreadHandOff() {}
#endif
