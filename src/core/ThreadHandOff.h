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

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <type_traits>
#include <utility>

namespace ThreadHandOff {
// Marks a hand-off whenever it is copied or moved: as the last member of a call queued to another
// thread, it marks after every other member is written, and so after all that the call carries.
struct Mark {
    Mark() = default;
    Mark(const Mark &) { MarkThreadHandOff(); }
    Mark(Mark &&) noexcept { MarkThreadHandOff(); }
    Mark &operator=(const Mark &) = default;
    Mark &operator=(Mark &&) noexcept = default;
};

template <typename Call> struct MarkedCall {
    Call call;
    Mark mark; // declared last: copied or moved after the call
    void operator()() { call(); }
};
} // namespace ThreadHandOff

// Queues `call` to run on the receiver's thread (dropped by Qt when the receiver is deleted
// first). The checker of a ThreadSanitizer build is told of the hand-off once the call, with all
// it carries, is written into the queued event, not before.
template <typename Call> void QueueToThread(QObject *receiver, Call &&call)
{
    QMetaObject::invokeMethod(receiver,
                              ThreadHandOff::MarkedCall<std::decay_t<Call>>{std::forward<Call>(call), {}},
                              Qt::QueuedConnection);
}

// Waits for a thread started for one job to end, takes what it handed over, and deletes it.
inline void DeleteEndedThread(QThread *&thread)
{
    thread->wait();
    TakeThreadHandOff();
    delete thread;
    thread = nullptr;
}
