// The alarm e-mail list frame of the configuration window.
#include "support_treewindow.h"

#include <ui/config/EmailListFrame.h>

#include <support/SmtpTestServer.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>

namespace {
constexpr int Octet = 34;

QStringList entries(const TreeWindow &w)
{
    QStringList list;
    const QListWidget *box = w.window->emailFrame()->lstEmailAddr;
    for (int i = 0; i < box->count(); ++i)
        list.append(box->item(i)->text());
    return list;
}

void rightClickEntry(TreeWindow &w, int row)
{
    QListWidget *box = w.window->emailFrame()->lstEmailAddr;
    QTest::mouseClick(box->viewport(), Qt::RightButton, {}, box->visualItemRect(box->item(row)).center());
}
} // namespace

class TestEmailList : public QObject {
    Q_OBJECT
private slots:
    void newDeviceFirst()
    {
        TreeWindow w(Octet);
        w.trigger("mnuAdd");
        w.click("btnServerEmailAddresses");
        QCOMPARE(w.t.prompts.texts, QStringList{"Please save the new server before adding email addresses."});
        QVERIFY(!w.find<QWidget>("frmSetup_2")->isVisible());
    }

    void addSavesAtOnceRemovalWaits()
    {
        TreeWindow w(Octet);
        const qint64 id = w.addRecord("Cold store", "127.0.34.200", true, true, "a@x.org,,b@y.org,");
        w.select(id);
        w.trigger("mnuEditServer"); // no device there: the record still fills the frame
        w.t.prompts.texts.clear();
        w.click("btnServerEmailAddresses");
        QVERIFY(w.find<QWidget>("frmSetup_2")->isVisible());
        QVERIFY(!w.find<QWidget>("frmSetup_0")->isVisible());
        QCOMPARE(w.find<QWidget>("frmSetup_2")->property("title").toString(),
                 QStringLiteral("Add email addresses for: Cold store"));
        QCOMPARE(entries(w), QStringList({"a@x.org", "", "b@y.org"}));

        w.type("txtEmailAddr", "nobody-at-example.org");
        w.click("btnAddEmail");
        QCOMPARE(w.t.prompts.texts,
                 QStringList{"Please verify email address.  This email address does not seem valid."});
        QCOMPARE(w.record(id).EmailAddress, QStringLiteral("a@x.org,,b@y.org,"));

        for (const QString &slip :
             {QStringLiteral("night@.example.org"), QStringLiteral("night shift@example.org"),
              QStringLiteral("n\u00e4cht@example.org")}) {
            w.find<QLineEdit>("txtEmailAddr")->setText(slip);
            w.click("btnAddEmail");
            QCOMPARE(w.t.prompts.texts.last(),
                     QStringLiteral("Please verify email address.  This email address does not seem valid."));
        }
        QCOMPARE(w.t.prompts.texts.size(), 4);
        w.t.prompts.texts = w.t.prompts.texts.mid(0, 1);
        w.type("txtEmailAddr", "night@example.org");
        w.click("btnAddEmail");
        QCOMPARE(w.record(id).EmailAddress, QStringLiteral("a@x.org,,b@y.org,night@example.org,"));
        QCOMPARE(w.find<QLineEdit>("txtEmailAddr")->text(), QString());

        // Removals change the list only; the next Add writes them.
        w.window->emailFrame()->lstEmailAddr->setCurrentRow(1);
        w.click("btnDeleteEmailAddress");
        w.t.prompts.queueAnswer(Prompts::Answer::No);
        rightClickEntry(w, 0);
        QCOMPARE(entries(w), QStringList({"a@x.org", "b@y.org", "night@example.org"}));
        w.t.prompts.queueAnswer(Prompts::Answer::Yes);
        rightClickEntry(w, 0);
        QCOMPARE(w.t.prompts.texts.mid(1),
                 QStringList({"Remove this email address?", "Remove this email address?"}));
        QCOMPARE(entries(w), QStringList({"b@y.org", "night@example.org"}));
        QCOMPARE(w.record(id).EmailAddress, QStringLiteral("a@x.org,,b@y.org,night@example.org,"));
        w.type("txtEmailAddr", "day@example.org");
        w.click("btnAddEmail");
        QCOMPARE(w.record(id).EmailAddress, QStringLiteral("b@y.org,night@example.org,day@example.org,"));
        w.screenshot(QStringLiteral("tree-email-list"));

        w.click("btnCloseEmailFrame");
        QVERIFY(w.find<QWidget>("frmSetup_0")->isVisible());
        QVERIFY(!w.find<QWidget>("frmSetup_2")->isVisible());

        // A removal followed by the device's Save (not enabled: no device is asked) writes the
        // shortened list as well.
        w.click("btnServerEmailAddresses");
        w.window->emailFrame()->lstEmailAddr->setCurrentRow(0);
        w.click("btnDeleteEmailAddress");
        w.click("btnCloseEmailFrame");
        w.find<QCheckBox>("chkEnable")->setChecked(false);
        w.click("btnSaveServer");
        QCOMPARE(w.record(id).EmailAddress, QStringLiteral("night@example.org,day@example.org,"));
    }

    void testMessage()
    {
        SmtpTestServer smtp;
        QVERIFY2(smtp.start(), qPrintable(smtp.errorOutput()));
        TreeWindow w(Octet);
        ConfigRecord &c = w.t.state.Config;
        c.SMTPHost = "127.0.0.1";
        c.SMTPPort = qint16(smtp.port());
        c.SMTPTimeOut = 5;
        c.AuthenticationMethod = "NONE";
        c.FromAddress = "tallyport@example.com";
        w.mail.SetUpMailManager();
        const qint64 id = w.addRecord("Cold store", "10.0.0.9", true, true, "ops@example.org,");
        w.select(id);
        w.click("btnServerEmailAddresses");
        w.click("btnTestEmailAddr");
        QCOMPARE(w.t.prompts.texts,
                 QStringList{"Select an address to send a test message to and then click Test button."});
        w.window->emailFrame()->lstEmailAddr->setCurrentRow(0);
        w.click("btnTestEmailAddr");
        QCOMPARE(w.t.prompts.texts.last(), QStringLiteral("Email successfully sent to ops@example.org"));
        QVERIFY(smtp.waitForMessages(1));
        QCOMPARE(smtp.messages().first().recipients, QStringList{"ops@example.org"});
        QVERIFY(w.find<QWidget>("btnTestEmailAddr")->isEnabled());
    }
};

QTEST_MAIN(TestEmailList)
#include "tst_emaillist.moc"
