#include "support_settings.h"

#include <alarms/DeviceMailSource.h>
#include <ui/settings/ConfigurationDialog.h>
#include <ui/settings/SettingsWidgets.h>

#include <QPushButton>

namespace {
// Test servers on this program's own loopback addresses, so the port can be fixed.
const char *kTyped = "127.0.20.1";
const char *kSaved = "127.0.20.2";
const char *kNobody = "127.0.20.3";
constexpr quint16 kPort = 2525;

class OneDevice final : public DeviceMailSource {
public:
    bool deviceMailInfo(int, DeviceMailInfo &info, QString &) override
    {
        info.deviceName = QStringLiteral("Lab");
        info.addressList = QStringLiteral("alarms@acme.test,");
        return true;
    }
};

SmtpTestServer::Options serverAt(const char *host)
{
    SmtpTestServer::Options options;
    options.host = QLatin1String(host);
    options.port = kPort;
    return options;
}
} // namespace

class TestTestEmail : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_f = std::make_unique<SettingsFixture>();
        ConfigRecord &c = m_f->t.state.Config;
        c.SMTPHost = QLatin1String(kSaved);
        c.SMTPPort = qint16(kPort);
        c.FromAddress = "saved@acme.test";
        c.AdminEmailAddress = "it@acme.test";
        c.OrgName = "Acme";
        m_f->save();
        m_f->mail.setDeviceSource(&m_devices);
        m_f->mail.SetUpMailManager();
        m_dialog = std::make_unique<ConfigurationDialog>(m_f->t.state, m_f->file, m_f->mail);
        m_dialog->show();
    }
    void cleanup()
    {
        m_dialog.reset();
        m_f.reset();
    }

    void testUsesTheTypedHostAndSenderAndSavesNothing()
    {
        SmtpTestServer typed(serverAt(kTyped));
        SmtpTestServer saved(serverAt(kSaved));
        QVERIFY2(typed.start() && saved.start(), qPrintable(typed.errorOutput() + saved.errorOutput()));
        const QByteArray before = m_f->fileBytes();

        TypeInto(box("txtHost"), QString(" ") + kTyped + " ");
        TypeInto(box("txtFromAddress"), "typed@acme.test");
        sendTest();
        QCOMPARE(texts(),
                 QStringList({QString("A test email has been successfully sent to it@acme.test using mail "
                                      "server ") +
                              kTyped}));
        QVERIFY(typed.waitForMessages(1));
        QCOMPARE(typed.messages().first().mailFrom, QString("typed@acme.test"));
        QCOMPARE(typed.messages().first().recipients, QStringList({"it@acme.test"}));
        QCOMPARE(m_f->fileBytes(), before);
        QVERIFY(buttonsEnabled());

        // The dialog stays open with its unsaved values; an alarm e-mail meanwhile goes out with
        // the saved settings.
        QString error;
        QVERIFY2(m_f->mail.SendAlarmEmail(1, "Freezer", "Too warm", error), qPrintable(error));
        QVERIFY(saved.waitForMessages(1));
        QCOMPARE(saved.messages().first().mailFrom, QString("saved@acme.test"));
        QCOMPARE(typed.messages().size(), 1);
    }

    void serverDownNamesTheAddressAndTheError()
    {
        TypeInto(box("txtHost"), kNobody);
        sendTest();
        QCOMPARE(texts().size(), 1);
        const QString prefix = "Failed to send email to 'it@acme.test'. The error is: ";
        QVERIFY2(texts().first().startsWith(prefix), qPrintable(texts().first()));
        QVERIFY(texts().first().size() > prefix.size());
        QVERIFY(buttonsEnabled());
    }

    void emptyHostOrSenderIsMarked_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("message");
        QTest::newRow("host") << QByteArray("txtHost") << "Please enter a valid SMTP host address";
        QTest::newRow("sender") << QByteArray("txtFromAddress") << "Please enter a from address";
    }
    void emptyHostOrSenderIsMarked()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, message);
        QLineEdit *empty = box(name.constData());
        TypeInto(empty, "   ");
        sendTest();
        QCOMPARE(texts(), QStringList({message}));
        QCOMPARE(empty->text(), QString());
        QVERIFY(IsMarkedYellow(empty));
        QCOMPARE(m_dialog->focusWidget(), empty);
        QVERIFY(buttonsEnabled());
        QTest::keyClick(empty, Qt::Key_A);
        QVERIFY(!IsMarkedYellow(empty));
    }

private:
    QLineEdit *box(const char *name) { return Control<QLineEdit>(*m_dialog, name); }
    void sendTest() { Control<QPushButton>(*m_dialog, "btnTestEmail")->click(); }
    bool buttonsEnabled() const
    {
        for (const char *name : {"btnTestEmail", "btnApply", "btnClose"})
            if (!Control<QPushButton>(*m_dialog, name)->isEnabled())
                return false;
        return true;
    }
    const QStringList &texts() const { return m_f->t.prompts.texts; }

    OneDevice m_devices;
    std::unique_ptr<SettingsFixture> m_f;
    std::unique_ptr<ConfigurationDialog> m_dialog;
};

QTEST_MAIN(TestTestEmail)
#include "tst_testemail.moc"
