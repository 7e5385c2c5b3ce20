#pragma once

#include <QObject>

class QSocketNotifier;
class QTimer;

// Turns SIGTERM and SIGINT (stop) and SIGHUP (read the settings again) into Qt signals delivered
// on the event loop: the handler only writes the signal number into a pipe, which the loop
// reads. Made once per run.
class StopSignals final : public QObject {
    Q_OBJECT
public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

signals:
    // "SIGTERM" or "SIGINT".
    void stopRequested(const QString &signalName);
    // SIGHUP.
    void reloadRequested();

private:
    void takeSignal();

    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_poll = nullptr;
};
