#include "BackgroundPriority.h"

#include <QThread>

#include <sys/resource.h>
#include <unistd.h>

void RunAtBackgroundPriority(QThread &thread)
{
    // On Linux the nice value belongs to each thread, and 0 names the calling one: the change is
    // made on the thread itself, as it starts. It counts from the main thread's (whose ID is the
    // process's), not from the starting thread's, which may be a background one. Raising it needs
    // no privilege.
    QObject::connect(
        &thread, &QThread::started, &thread,
        [] {
            setpriority(PRIO_PROCESS, 0, getpriority(PRIO_PROCESS, id_t(getpid())) + BackgroundNiceIncrement);
        },
        Qt::DirectConnection);
}
