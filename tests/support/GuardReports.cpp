#include "GuardReports.h"

namespace {
constexpr char kSwitch[] = "TALLYPORT_FORBID_NESTED_WAITS";
GuardReports *g_reports = nullptr;
QtMessageHandler g_previous = nullptr;

void collect(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (g_reports && type == QtWarningMsg && message.contains(QLatin1String("poll cycle")))
        g_reports->messages.append(message);
    else if (g_previous)
        g_previous(type, context, message);
}
} // namespace

GuardReports::GuardReports() : m_switch(qgetenv(kSwitch))
{
    qunsetenv(kSwitch);
    g_reports = this;
    g_previous = qInstallMessageHandler(collect);
}

GuardReports::~GuardReports()
{
    qInstallMessageHandler(g_previous);
    g_reports = nullptr;
    if (!m_switch.isNull())
        qputenv(kSwitch, m_switch);
}
