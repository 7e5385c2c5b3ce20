#include "ChannelTest.h"

#include "ChannelFormats.h"
#include "ChannelRules.h"

#include <core/Clock.h>
#include <core/ProgramState.h>

ChannelTest::ChannelTest(QObject *parent) : QObject(parent)
{
    connect(&m_worker, &HttpWorker::finished, this, [this](const QList<HttpOutcome> &outcomes) {
        HttpOutcome stopped;
        stopped.errorText = QStringLiteral("the test was stopped");
        emit finished(outcomes.value(0, stopped));
    });
}

bool ChannelTest::Start(const ProgramState &state, const NotifyChannelSettings &channel, QString &problem)
{
    problem = ChannelRules::Problem(channel);
    if (problem.isEmpty() && m_worker.busy())
        problem = QStringLiteral("A test of this channel is running.");
    if (!problem.isEmpty())
        return false;
    NotifyEvent event = NotifyEvent::make(QStringLiteral("test"), state.clock().now(), state.Config.OrgName);
    event.subject = QStringLiteral("Tallyport test message");
    event.text = QStringLiteral("This test message has been sent by %1 through the channel %2.")
                     .arg(event.organisation.isEmpty() ? event.collector : event.organisation, channel.name);
    NotifyChannelSettings once = channel;
    // A test alert ends at once, so it leaves nothing open in Alertmanager.
    once.repostSeconds = 0;
    return m_worker.start(ChannelFormats::Request(once, event, event.time));
}

QString ChannelTest::AnswerText(const HttpOutcome &outcome)
{
    return (outcome.delivered() ? QStringLiteral("Delivered: ") : QStringLiteral("Failed: ")) +
           outcome.summary();
}

#include "moc_ChannelTest.cpp"
