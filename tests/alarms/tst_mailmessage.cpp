#include <alarms/EmailAddresses.h>
#include <alarms/MailMessage.h>

#include <QTest>

namespace {
QDateTime Noon()
{
    return QDateTime(QDate(2026, 3, 14), QTime(12, 0, 5), Qt::OffsetFromUTC, -5 * 3600);
}

// Decodes the RFC 2047 words of a header value (B encoding only) back to text.
QString DecodeWords(const QByteArray &value)
{
    QString text;
    const QList<QByteArray> words = value.simplified().split(' ');
    for (const QByteArray &word : words) {
        if (word.startsWith("=?UTF-8?B?") && word.endsWith("?="))
            text += QString::fromUtf8(QByteArray::fromBase64(word.mid(10, word.size() - 12)));
        else
            text += (text.isEmpty() ? QString() : QStringLiteral(" ")) + QString::fromLatin1(word);
    }
    return text;
}
} // namespace

class TestMailMessage : public QObject {
    Q_OBJECT
private slots:
    void parseEmailAddresses_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("commaList");
        QTest::newRow("one address unchanged") << "ops@example.com"
                                               << "ops@example.com";
        QTest::newRow("stored comma form unchanged") << "a@x.com,b@y.com,"
                                                     << "a@x.com,b@y.com,";
        QTest::newRow("two lines") << "a@x.com\r\nb@y.com"
                                   << "a@x.com,b@y.com";
        QTest::newRow("ending with a line break") << "a@x.com\r\nb@y.com\r\n"
                                                  << "a@x.com,b@y.com,";
        QTest::newRow("blanks copied") << " a@x.com \r\nb@y.com"
                                       << " a@x.com ,b@y.com";
        QTest::newRow("short last line kept") << "a@x.com\r\nb"
                                              << "a@x.com,b";
        QTest::newRow("lone LF") << "a@x.com\nb@y.com"
                                 << "a@x.com,b@y.com";
        QTest::newRow("lone CR keeps next character") << "a@x.com\rb@y.com"
                                                      << "a@x.com,b@y.com";
        QTest::newRow("empty") << ""
                               << "";
    }
    void parseEmailAddresses()
    {
        QFETCH(QString, list);
        QFETCH(QString, commaList);
        QString result = QStringLiteral("stale");
        QVERIFY(ParseEmailAddresses(list, result));
        QCOMPARE(result, commaList);
    }

    void recipientListsAreCheckedAsAWhole()
    {
        MailMessage message;
        QVERIFY(message.addRecipientList(QStringLiteral("a@x.com, b@y.com,")));
        QCOMPARE(message.recipientAddresses(), QStringList({"a@x.com", "b@y.com"}));

        MailMessage bad;
        QVERIFY(!bad.addRecipientList(QStringLiteral("a@x.com,not an address,")));
        QVERIFY(bad.lastError().contains(QLatin1String("not an address")));
        QVERIFY(bad.recipients().isEmpty());
        QVERIFY(!bad.addRecipientList(QStringLiteral(" , ")));
        QVERIFY(!bad.lastError().isEmpty());
        // An address can never smuggle a line or a second address into the envelope.
        QVERIFY(!bad.addRecipient(QString(), QStringLiteral("a@x.com\r\nRCPT TO:<b@y.com>")));
        QVERIFY(!bad.addRecipient(QString(), QStringLiteral("a@x.com>")));
        QVERIFY(!IsValidEmailAddress(QStringLiteral("@x.com")));
        QVERIFY(!IsValidEmailAddress(QStringLiteral("a@x.com\n")));
        QVERIFY(!IsValidEmailAddress(QStringLiteral("a@x.com\r\n")));
        QVERIFY(IsValidEmailAddress(QStringLiteral("first.last+tag@mail.example.co.uk")));
    }

    void composedMessageHasCrLfLinesAndStandardHeaders()
    {
        MailMessage message;
        QVERIFY(message.addRecipient(QStringLiteral("IT Support Team"), QStringLiteral("it@example.com")));
        message.subject = QStringLiteral("Message from Quellmark VKL-E");
        message.senderDisplayName = QStringLiteral("Quellmark VKL-E");
        message.senderAddress = QStringLiteral("vkl@example.com");
        message.body = QStringLiteral("first\rsecond\r\nthird\nfourth");
        const QByteArray bytes = ComposeMessage(message, Noon(), QStringLiteral("<id-1@example.com>"));

        QVERIFY(bytes.startsWith("Date: Sat, 14 Mar 2026 12:00:05 -0500\r\n"));
        QVERIFY(bytes.contains("\r\nFrom: \"Quellmark VKL-E\" <vkl@example.com>\r\n"));
        QVERIFY(bytes.contains("\r\nTo: \"IT Support Team\" <it@example.com>\r\n"));
        QVERIFY(bytes.contains("\r\nMessage-ID: <id-1@example.com>\r\n"));
        QVERIFY(bytes.contains("\r\nContent-Type: text/plain; charset=UTF-8\r\n"));
        QVERIFY(bytes.endsWith("\r\n\r\nfirst\r\nsecond\r\nthird\r\nfourth\r\n"));
        // Every line break on the wire is CR LF.
        QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
        QCOMPARE(bytes.count('\r'), bytes.count("\r\n"));
    }

    void attachmentsMakeAMultipartMessage()
    {
        MailMessage message;
        QVERIFY(message.addRecipient(QString(), QStringLiteral("it@example.com")));
        message.senderAddress = QStringLiteral("vkl@example.com");
        message.subject = QStringLiteral("Report");
        message.body = QStringLiteral("The report is attached.\r");
        QByteArray pdf;
        for (int i = 0; i < 300; ++i)
            pdf += char(i * 7);
        message.attachments = {{QStringLiteral("March 2026.pdf"), "application/pdf", pdf},
                               {QStringLiteral("M\u00E4rz 2026.pdf"), "application/pdf", "x"}};
        const QByteArray bytes = ComposeMessage(message, Noon(), QStringLiteral("<i@x>"));
        const qsizetype start = bytes.indexOf("Content-Type: multipart/mixed; boundary=\"");
        QVERIFY(start > 0);
        const qsizetype quote = bytes.indexOf('"', start) + 1;
        const QByteArray boundary = bytes.mid(quote, bytes.indexOf('"', quote) - quote);
        QCOMPARE(bytes.count("--" + boundary + "\r\n"), 3);
        QVERIFY(bytes.endsWith("--" + boundary + "--\r\n"));
        QVERIFY(bytes.contains("\r\n\r\nThe report is attached.\r\n--" + boundary));
        QVERIFY(bytes.contains("Content-Disposition: attachment; filename=\"March 2026.pdf\"\r\n"));
        QVERIFY(bytes.contains("filename*=UTF-8''M%C3%A4rz%202026.pdf"));
        // The file comes back whole from lines of at most 76 characters.
        const qsizetype data = bytes.indexOf("\r\n\r\n", bytes.indexOf("March 2026.pdf")) + 4;
        const QByteArray encoded = bytes.mid(data, bytes.indexOf("--" + boundary, data) - data);
        for (const QByteArray &line : encoded.split('\n'))
            QVERIFY(line.size() <= 77);
        QCOMPARE(QByteArray::fromBase64(QByteArray(encoded).replace("\r\n", "")), pdf);
        QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
    }

    void headerValuesStayOnOneLogicalLine_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::newRow("CR LF and a header") << "Freezer\r\nBcc: victim@example.com";
        QTest::newRow("lone LF") << "Freezer\nBcc: victim@example.com";
        QTest::newRow("lone CR") << "Freezer\rBcc: victim@example.com";
    }
    void headerValuesStayOnOneLogicalLine()
    {
        QFETCH(QString, subject);
        MailMessage message;
        QVERIFY(message.addRecipient(QString(), QStringLiteral("a@x.com")));
        message.subject = subject;
        message.senderAddress = QStringLiteral("vkl@example.com");
        const QByteArray bytes = ComposeMessage(message, Noon(), QStringLiteral("<i@x>"));
        const QByteArray headers = bytes.left(bytes.indexOf("\r\n\r\n") + 2);
        for (const QByteArray &line : headers.split('\n'))
            QVERIFY2(!line.startsWith("Bcc"), headers.constData());
        QVERIFY(headers.contains("Subject: Freezer"));
    }

    void nonAsciiTextIsEncoded()
    {
        const QString sensor =
            QStringLiteral("K\u00fchlraum \u00b0 S\u00fcd \u2013 Gefrierschrank Nummer zwei");
        MailMessage message;
        QVERIFY(message.addRecipient(QStringLiteral("Z\u00fcrich Team"), QStringLiteral("z@x.ch")));
        message.subject = QStringLiteral("Sensor: ") + sensor + QStringLiteral(" has generated an alarm!");
        message.senderDisplayName = QStringLiteral("Quellmark VKL");
        message.senderAddress = QStringLiteral("vkl@example.com");
        message.body = sensor + QStringLiteral(" = 5\r");
        const QByteArray bytes = ComposeMessage(message, Noon(), QStringLiteral("<i@x>"));
        const QByteArray headers = bytes.left(bytes.indexOf("\r\n\r\n") + 2);
        const QByteArray body = bytes.mid(bytes.indexOf("\r\n\r\n") + 4);

        for (char c : headers)
            QVERIFY(static_cast<unsigned char>(c) < 128);
        for (const QByteArray &line : headers.split('\n'))
            QVERIFY2(line.size() <= 80, line.constData());
        // Unfold the subject and decode its words.
        QByteArray subject = headers.mid(headers.indexOf("Subject: ") + 9);
        subject = subject.left(subject.indexOf("\r\nMessage-ID")).replace("\r\n", "");
        QCOMPARE(DecodeWords(subject), message.subject);
        QVERIFY(headers.contains("To: =?UTF-8?B?"));

        QVERIFY(headers.contains("Content-Transfer-Encoding: quoted-printable"));
        QCOMPARE(body,
                 QByteArray("K=C3=BChlraum =C2=B0 S=C3=BCd =E2=80=93 Gefrierschrank Nummer zwei =3D 5\r\n"));
    }

    void quotedPrintableKeepsLinesShort()
    {
        const QByteArray longLine(200, 'x');
        const QByteArray encoded = MailEncoding::QuotedPrintable(longLine + "\xc3\xa9 \r\nnext ");
        for (const QByteArray &line : encoded.split('\n'))
            QVERIFY(line.size() <= 77);
        QVERIFY(encoded.endsWith("=C3=A9=20\r\nnext=20"));
        QByteArray joined = encoded;
        joined.replace("=\r\n", "");
        QVERIFY(joined.startsWith(longLine));
    }
};

QTEST_GUILESS_MAIN(TestMailMessage)
#include "tst_mailmessage.moc"
