#include "NotifyCommand.h"

#include <core/HeadlessPrompts.h>

#include <core/Cipher.h>
#include <core/Clock.h>
#include <core/ConfigFile.h>
#include <core/ErrorLog.h>
#include <core/IniFile.h>
#include <core/LocalWait.h>
#include <core/ProgramState.h>
#include <core/StatusList.h>
#include <notify/ChannelTest.h>

#include <QDir>

namespace {
// The settings file's complaints go to standard error.
class StreamErrorLog final : public ErrorLog {
public:
    explicit StreamErrorLog(QTextStream &err) : m_err(err) {}
    void AddError(const QString &where, const QString &cause) override
    {
        m_err << where << ": " << cause << "\n";
        m_err.flush();
    }

private:
    QTextStream &m_err;
};

} // namespace

int RunNotifyTestCommand(const QString &channelName, const QString &programDirectory, QTextStream &out,
                         QTextStream &err)
{
    if (!QDir(programDirectory).exists()) {
        err << "The directory " << QDir::toNativeSeparators(programDirectory) << " does not exist.\n";
        return 1;
    }
    SystemClock clock;
    HeadlessPrompts prompts;
    StreamErrorLog errors(err);
    StatusList status;
    ProgramState state(programDirectory, clock, prompts, errors, status);
    // The organisation's name for the message, when there is a settings file.
    Cipher cipher;
    cipher.InitCipher();
    ConfigFile(state, cipher).ReadConfiguration();
    IniFile(state).Read();
    const NotifyChannelSettings *channel = nullptr;
    for (const NotifyChannelSettings &c : std::as_const(state.Ini.channels))
        if (c.name == channelName)
            channel = &c;
    if (!channel) {
        err << "No usable channel [notify." << channelName << "] in " << IniFile(state).path() << ".\n";
        return 1;
    }
    ChannelTest test;
    QString problem;
    HttpOutcome answer;
    QObject::connect(&test, &ChannelTest::finished, [&answer](const HttpOutcome &o) { answer = o; });
    if (!test.Start(state, *channel, problem)) {
        err << problem << "\n";
        return 1;
    }
    LocalWait wait;
    wait.endOn(&test, &ChannelTest::finished);
    wait.run(-1);
    (answer.delivered() ? out : err) << channelName << ": " << ChannelTest::AnswerText(answer) << "\n";
    return answer.delivered() ? 0 : 2;
}
