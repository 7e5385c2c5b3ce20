#include "EventLoopChoice.h"

#include <QtGlobal>

void PreferQtEventLoop()
{
    if (qEnvironmentVariableIsSet("QT_NO_GLIB") || qgetenv("TALLYPORT_EVENT_LOOP") == "glib")
        return;
    qputenv("QT_NO_GLIB", "1");
}
