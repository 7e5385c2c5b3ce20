#pragma once

// Marks where this thread hands data to another thread through Qt's event queue (a queued call or
// a posted function) or by ending while another thread waits for it (QThread::wait). The queue
// and the wait order the two threads with locks inside Qt; ThreadSanitizer cannot see them in
// Debian's uninstrumented Qt, so a build under it is told of the hand-off here (a QThread's end
// is marked by its finished signal: every emitted signal marks one). The receiving thread takes
// it as each event is delivered (src/threadcheck), or by TakeThreadHandOff() after its wait.
// Every other build compiles both to nothing.
#if defined(TALLYPORT_TSAN)
extern "C" void __tsan_release(void *addr);
extern "C" void __tsan_acquire(void *addr);
namespace ThreadHandOff {
extern char Token;
}
inline void MarkThreadHandOff()
{
    __tsan_release(&ThreadHandOff::Token);
}
inline void TakeThreadHandOff()
{
    __tsan_acquire(&ThreadHandOff::Token);
}
#else
inline void MarkThreadHandOff() {}
inline void TakeThreadHandOff() {}
#endif

#include <QThread>

// Waits for a thread started for one job to end, takes what it handed over, and deletes it.
inline void DeleteEndedThread(QThread *&thread)
{
    thread->wait();
    TakeThreadHandOff();
    delete thread;
    thread = nullptr;
}
