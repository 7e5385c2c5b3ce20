// Linked into every program of a ThreadSanitizer build only. Qt's event queue and signal delivery
// order threads with locks inside the uninstrumented Qt, which the checker cannot see; this tells
// it of that order. Every emitted signal (which may be queued to another thread) and every
// MarkThreadHandOff() releases one token; every event delivered acquires it. One token for all
// threads makes the checker see more order than the queue gives, so it misses some races between
// threads that merely both use events; what it reports is still a race.
#include "core/ThreadHandOff.h"

#include <QCoreApplication>

char ThreadHandOff::Token = 0;

// Qt exports this hook (its own signal dumper uses it); the layout is Qt 6's.
struct QSignalSpyCallbackSet {
    using BeginCallback = void (*)(QObject *caller, int signal_or_method_index, void **argv);
    using EndCallback = void (*)(QObject *caller, int signal_or_method_index);
    BeginCallback signal_begin_callback, slot_begin_callback;
    EndCallback signal_end_callback, slot_end_callback;
};
Q_CORE_EXPORT void qt_register_signal_spy_callbacks(QSignalSpyCallbackSet *callback_set);

namespace {

bool TakeHandOff(void **)
{
    TakeThreadHandOff();
    return false; // the event is delivered as usual
}

void SignalEmitted(QObject *, int, void **)
{
    MarkThreadHandOff();
}

QSignalSpyCallbackSet g_signalHooks{SignalEmitted, nullptr, nullptr, nullptr};

const bool g_installed = [] {
    qt_register_signal_spy_callbacks(&g_signalHooks);
    return QInternal::registerCallback(QInternal::EventNotifyCallback, TakeHandOff);
}();

} // namespace
