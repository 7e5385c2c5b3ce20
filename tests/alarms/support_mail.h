#pragma once

#include <alarms/DeviceMailSource.h>
#include <alarms/MailManager.h>

#include <support/MailText.h>
#include <support/SmtpTestServer.h>
#include <support/TestState.h>

#include <QFile>
#include <QMap>

// Device names and address lists held in memory, as the database would give them.
class FakeDevices final : public DeviceMailSource {
public:
    bool deviceMailInfo(int deviceId, DeviceMailInfo &info, QString &errorText) override
    {
        if (!devices.contains(deviceId)) {
            errorText = QStringLiteral("Device %1 was not found.").arg(deviceId);
            return false;
        }
        info = devices.value(deviceId);
        return true;
    }
    QMap<int, DeviceMailInfo> devices;
};

// A program state, fake devices and a mail manager set up for a local test server.
struct MailFixture {
    MailFixture()
    {
        Config().OrgName = QStringLiteral("Acme Cold Storage");
        Config().OrgAddress = QStringLiteral("1 Harbour Road");
        Config().FromAddress = QStringLiteral("vkl@acme.test");
        Config().AdminEmailAddress = QStringLiteral("it@acme.test");
        Config().SMTPHost = QStringLiteral("127.0.0.1");
        Config().SMTPTimeOut = 5;
    }

    ConfigRecord &Config() { return t.state.Config; }

    // Points the settings at the server and loads them into the manager.
    void useServer(quint16 port)
    {
        Config().SMTPPort = qint16(port);
        mail.SetUpMailManager();
    }

    QByteArray file(const char *name) const
    {
        QFile f(t.state.programFile(QLatin1String(name)));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QByteArray sentLog() const { return file(MailManager::SentMailLogName); }
    QByteArray lastResult() const { return file(MailManager::LastResultName); }

    TestState t;
    FakeDevices devices;
    MailManager mail{t.state, &devices};
};
