#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// The tallyport program run as a child process, its output collected as it comes.
class ProgramRun {
public:
    static QString BuiltProgram();

    explicit ProgramRun(const QString &program = BuiltProgram());
    ~ProgramRun();

    void setEnvironment(const QString &name, const QString &value);
    void start(const QStringList &arguments);
    // Waits for the end (with the event loop running); false when it did not end in time.
    bool finish(int timeoutMs = 20000);
    void terminate(); // SIGTERM
    void crash();     // SIGKILL

    bool outputContains(const QString &text);
    QString output();
    QString errors();
    int exitCode() const;
    bool exitedNormally() const;
    qint64 pid() const { return m_process.processId(); }

private:
    void collect();
    void showErrorsOfACrash();

    QProcess m_process;
    bool m_killed = false;
    bool m_errorsShown = false;
    QString m_out;
    QString m_err;
};
