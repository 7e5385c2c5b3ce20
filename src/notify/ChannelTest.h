#pragma once

#include "HttpWorker.h"

#include <core/IniSettings.h>

#include <QObject>

class ProgramState;

// Sends one test message through a channel at once, outside its queue (nothing is stored or
// retried), and reports the receiver's answer. The settings window's Test button and
// tallyport --test-notify use it.
class ChannelTest final : public QObject {
    Q_OBJECT
public:
    explicit ChannelTest(QObject *parent = nullptr);

    // Starts the test; false with the reason when the channel cannot be used or a test runs.
    bool Start(const ProgramState &state, const NotifyChannelSettings &channel, QString &problem);
    bool running() const { return m_worker.busy(); }

    // The answer as shown to the user: "Delivered: HTTP 200 ..." or "Failed: ...".
    static QString AnswerText(const HttpOutcome &outcome);

signals:
    void finished(const HttpOutcome &outcome);

private:
    HttpWorker m_worker;
};
